#include "ui/Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace {

MessageResponder& Responder()
{
    static MessageResponder responder;
    return responder;
}

QMessageBox::Icon ToQtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

MsgResult Present(QWidget* owner, const MessageRecord& record)
{
    if (Responder())
        return Responder()(record);
    if (!owner)
        owner = QApplication::activeWindow();
    QMessageBox box(ToQtIcon(record.icon), record.caption, record.text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.addButton(QMessageBox::Ok);
    if (record.buttons == MsgButtons::OkCancel)
        box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? MsgResult::Ok : MsgResult::Cancel;
}

} // namespace

void ShowMessage(const QString& text)
{
    Present(nullptr,
        {MsgKind::Plain, text, QString::fromLatin1(kApplicationTitle), MsgButtons::Ok, MsgIcon::None});
}

MsgResult MessageBox(
    QWidget* owner, const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    return Present(owner, {MsgKind::Box, text, caption, buttons, icon});
}

void ShowErrorMessage(const QString& text)
{
    Present(nullptr,
        {MsgKind::Error, text, QString::fromLatin1(kApplicationTitle), MsgButtons::Ok, MsgIcon::Error});
}

MessageResponder SetMessageResponder(MessageResponder responder)
{
    MessageResponder old = std::move(Responder());
    Responder() = std::move(responder);
    return old;
}
