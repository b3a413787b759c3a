#pragma once
// The one place that tells the user something. Tests install a responder that
// records each message and answers it, so window logic runs without blocking.
#include <QString>

#include <functional>

class QWidget;

enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgButtons {
    Ok,
    OkCancel,
    YesNo, // No is the default
    SaveDiscardCancel, // Save answers Ok
};
enum class MsgResult { Ok, Cancel, Yes, No, Discard };
enum class MsgKind {
    Plain, // ShowMessage: OK only, the application title as caption
    Box, // MessageBox: explicit caption, buttons and icon
    Error, // the top-level error display
};

struct MessageRecord {
    MsgKind kind = MsgKind::Plain;
    QString text;
    QString caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
};

// The application's title, the caption of plain messages and error displays.
inline constexpr const char* kApplicationTitle = "Korvex";

void ShowMessage(const QString& text);
MsgResult MessageBox(
    QWidget* owner, const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon);
// The top-level error display: shows an error's message and returns.
void ShowErrorMessage(const QString& text);

using MessageResponder = std::function<MsgResult(const MessageRecord&)>;
// Installs a responder (an empty one restores the real modal boxes); answers the previous one.
MessageResponder SetMessageResponder(MessageResponder responder);
