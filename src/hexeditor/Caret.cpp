#include "hexeditor/Caret.h"

#include <QPainter>

#include <algorithm>

QSize CaretSize(int charWidth, int lineHeight)
{
    return QSize(std::max(0, charWidth), std::max(0, lineHeight - 2));
}

QRect CaretBarRect(TCaretStyle style, int charWidth, int lineHeight)
{
    const QSize size = CaretSize(charWidth, lineHeight);
    QRect bar;
    switch (style) {
    case csFull:
        bar = QRect(QPoint(0, 0), size);
        break;
    case csLeftLine:
        bar = QRect(0, 0, 2, size.height());
        break;
    case csBottomLine:
        bar = QRect(0, size.height() - 2, size.width(), 2);
        break;
    }
    return bar.intersected(QRect(QPoint(0, 0), size));
}

QColor CaretInkColor(TColor cursorFrame, const QPalette& palette)
{
    // A system colour is resolved first: complementing the stored constant would name
    // no colour at all.
    const TColor rgb = ColorFromQColor(ColorToQColor(cursorFrame, palette));
    return ColorToQColor(rgb ^ 0xFFFFFF, palette);
}

QImage CaretBitmap(
    TCaretStyle style, int charWidth, int lineHeight, TColor cursorFrame, const QPalette& palette)
{
    QImage bitmap(CaretSize(charWidth, lineHeight), QImage::Format_RGB32);
    bitmap.fill(Qt::black);
    const QRect bar = CaretBarRect(style, charWidth, lineHeight);
    if (!bar.isEmpty()) {
        QPainter painter(&bitmap);
        painter.fillRect(bar, CaretInkColor(cursorFrame, palette));
    }
    return bitmap;
}

void PaintCaret(QPainter& painter, QPoint topLeft, TCaretStyle style, int charWidth, int lineHeight,
    TColor cursorFrame, const QPalette& palette)
{
    const QRect bar = CaretBarRect(style, charWidth, lineHeight);
    if (bar.isEmpty())
        return;
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(bar.translated(topLeft), CaretInkColor(cursorFrame, palette));
    painter.restore();
}
