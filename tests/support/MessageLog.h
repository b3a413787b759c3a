#pragma once
// Records every message the program shows, errors that reach the top-level error display
// included, and answers each; puts the real boxes and the previous error sink back when
// it goes.
#include "ui/Guard.h"
#include "ui/Messages.h"

#include <QStringList>

#include <vector>

class MessageLog {
public:
    MessageLog()
        : FOldSink(InstallErrorDisplay())
    {
        SetMessageResponder([this](const MessageRecord& record) {
            records.push_back(record);
            return answer;
        });
    }
    ~MessageLog()
    {
        SetMessageResponder({});
        SetErrorSink(std::move(FOldSink));
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    QStringList Texts() const
    {
        QStringList texts;
        for (const auto& record : records)
            texts << record.text;
        return texts;
    }
    void Clear() { records.clear(); }

    std::vector<MessageRecord> records;
    MsgResult answer = MsgResult::Ok;

private:
    ErrorSink FOldSink;
};
