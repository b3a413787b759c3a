#pragma once
// Shared pieces of the hex viewer tests: a message recorder, the two windows as the
// program creates them, and data put into the viewer the way the main window does.
#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmEdit.h"
#include "hexviewer/FrmHex.h"
#include "support/ModalDriver.h"
#include "ui/Messages.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// Records every message and answers OK; restores the real boxes when it goes.
class MessageLog {
public:
    MessageLog()
    {
        SetMessageResponder([this](const MessageRecord& record) {
            records.push_back(record);
            return MsgResult::Ok;
        });
    }
    ~MessageLog() { SetMessageResponder({}); }
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
};

// FrmHex and FrmEdit as start-up makes them. The viewer is shown (not modally), so the
// editor's posted state notifications arrive.
class HexViewerWindows {
public:
    HexViewerWindows()
    {
        FrmHex = new TFrmHex;
        FrmEdit = new TFrmEdit(FrmHex);
        FrmHex->show();
        (void)QTest::qWaitForWindowExposed(FrmHex);
        QApplication::processEvents();
    }
    ~HexViewerWindows() { delete FrmHex; } // takes FrmEdit with it
    HexViewerWindows(const HexViewerWindows&) = delete;
    HexViewerWindows& operator=(const HexViewerWindows&) = delete;
};

inline std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Puts bytes into the viewer's editor as the only content, caret on the first byte.
inline void Fill(const std::vector<uint8_t>& bytes)
{
    THexEditor* editor = FrmHex->HexEditor;
    editor->CreateEmptyFile("Untitled");
    editor->ReplaceSelection(bytes.data(), static_cast<int32_t>(bytes.size()));
    editor->ResetUndo();
    editor->SetSelStart(0);
    QApplication::processEvents();
}

// The dialog back in its start state: no text, "Text (Insensitive)", no skip.
inline void ResetDialog()
{
    FrmEdit->hide();
    FrmEdit->Edit1->clear();
    FrmEdit->RadioButtonTextI->setChecked(true);
    FindSkip = 0;
    EditMode = 0;
}

// The editor's selection as [first, last], or [-1, -1] without one.
inline std::pair<int32_t, int32_t> Selection()
{
    THexEditor* editor = FrmHex->HexEditor;
    if (editor->GetSelCount() == 0)
        return {-1, -1};
    return {editor->GetSelFirst(), editor->GetSelLast()};
}
