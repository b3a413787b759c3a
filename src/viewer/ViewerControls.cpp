#include "viewer/ViewerControls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTab>
#include <QStylePainter>

TEdit::TEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setValidator(new LengthValidator(this));
    // The validator sees the edited text only, so the length before the edit is kept here.
    connect(
        this, &QLineEdit::textChanged, this, [this](const QString& text) { FAcceptedLength = text.size(); });
}

void TEdit::SetMaxLength(int maxLength)
{
    FMaxLength = maxLength;
    setProperty("MaxLength", maxLength);
}

void TEdit::SetLook(bool edited, bool invalid)
{
    if (edited == FEdited && invalid == FInvalid)
        return;
    FEdited = edited;
    FInvalid = invalid;
    QFont face = font();
    face.setBold(edited);
    setFont(face);
    ApplyColors();
}

void TEdit::SetCompared(bool compared)
{
    if (compared == FCompared)
        return;
    FCompared = compared;
    ApplyColors();
    update();
}

void TEdit::ApplyColors()
{
    QPalette colors = palette();
    const QPalette standard = parentWidget() ? parentWidget()->palette() : QPalette();
    // Edited: dark blue on pale yellow; invalid: dark red on pale red; differing from the
    // compared file: the usual text on pale blue. All stay readable.
    colors.setColor(QPalette::Text,
        FInvalid      ? QColor(160, 0, 0)
            : FEdited ? QColor(0, 0, 160)
                      : standard.color(QPalette::Text));
    colors.setColor(QPalette::Base,
        FInvalid        ? QColor(255, 214, 214)
            : FEdited   ? QColor(255, 246, 196)
            : FCompared ? QColor(214, 232, 255)
                        : standard.color(QPalette::Base));
    setPalette(colors);
}

void TEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (!FCompared)
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(0, 90, 200), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

QValidator::State TEdit::LengthValidator::validate(QString& input, int&) const
{
    // Only growth past the limit is refused: a longer text the program wrote can
    // still be shortened by the user.
    const int limit = FEdit->MaxLength();
    if (limit > 0 && input.size() > limit && input.size() > FEdit->FAcceptedLength)
        return Invalid;
    return Acceptable;
}

TCheckBox::TCheckBox(const QString& caption, QWidget* parent)
    : QCheckBox(caption, parent)
{
}

void TCheckBox::mouseReleaseEvent(QMouseEvent* event)
{
    FStateBeforeRelease = checkState();
    QCheckBox::mouseReleaseEvent(event);
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), event->position().toPoint());
}

void TCheckBox::keyReleaseEvent(QKeyEvent* event)
{
    FStateBeforeRelease = checkState();
    QCheckBox::keyReleaseEvent(event);
    if (OnMouseUp && checkState() != FStateBeforeRelease)
        OnMouseUp(this, Qt::NoButton, event->modifiers(), QPoint());
}

void TOwnerDrawTabBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    const int current = currentIndex();
    // Inactive tabs first, the active one last so its shape overlaps its neighbours.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < count(); ++i) {
            if ((i == current) != (pass == 1))
                continue;
            const QRect rect = tabRect(i);
            if (!rect.isValid() || !rect.intersects(this->rect()))
                continue;
            QStyleOptionTab option;
            initStyleOption(&option, i);
            option.text.clear();
            painter.drawControl(QStyle::CE_TabBarTabShape, option);
            if (OnDrawTab) {
                painter.save();
                painter.setFont(font());
                OnDrawTab(painter, i, rect, i == current);
                painter.restore();
            }
        }
    }
}

TPageControl::TPageControl(QWidget* parent, bool ownerDraw)
    : QTabWidget(parent)
{
    if (ownerDraw) {
        FOwnerDrawTabBar = new TOwnerDrawTabBar(this);
        setTabBar(FOwnerDrawTabBar);
    }
}
