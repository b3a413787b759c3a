#include "ui/Messages.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QStyle>
#include <QWidget>

#include <algorithm>

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

// The frame draws the caption between the window icon and the frame's buttons; a box narrower
// than they need together cuts the caption short ("K… ex"). Measured in the title bar's font,
// made bold as most window managers draw it.
int CaptionWidth(const QWidget& box, const QString& caption)
{
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    const int button
        = std::max(box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box), metrics.height() + 8);
    // the icon on the left, up to three buttons on the right
    return metrics.horizontalAdvance(caption) + 4 * button;
}

// The box sizes itself from its layout each time it is shown, so the width goes into the
// layout: an empty row as wide as the caption needs.
void FitCaption(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const QMargins margins = grid->contentsMargins();
    const int width = CaptionWidth(box, box.windowTitle()) - margins.left() - margins.right();
    grid->addItem(new QSpacerItem(std::max(0, width), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
        grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
}

MsgResult Present(QWidget* owner, const MessageRecord& record)
{
    if (Responder())
        return Responder()(record);
    if (!owner)
        owner = QApplication::activeWindow();
    QMessageBox box(ToQtIcon(record.icon), record.caption, record.text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("MessageBox"));
    if (record.buttons == MsgButtons::YesNo) {
        // A question whose Yes does harm: Enter and Escape both answer No.
        box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        FitCaption(box);
        return box.exec() == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    }
    if (record.buttons == MsgButtons::SaveDiscardCancel) {
        box.addButton(QMessageBox::Save);
        box.addButton(QMessageBox::Discard);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        FitCaption(box);
        const int answer = box.exec();
        return answer == QMessageBox::Save   ? MsgResult::Ok
            : answer == QMessageBox::Discard ? MsgResult::Discard
                                             : MsgResult::Cancel;
    }
    box.addButton(QMessageBox::Ok);
    if (record.buttons == MsgButtons::OkCancel)
        box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    FitCaption(box);
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
