#pragma once
// The hex editor's caret: three shapes drawn the way the classic bitmap caret is, by
// inverting the screen with a bitmap whose black part leaves the cell alone and whose
// coloured part (CursorFrame with red, green and blue complemented) turns a white
// background into CursorFrame.
#include "hexeditor/Graphics.h"

#include <QImage>
#include <QPoint>
#include <QRect>

class QPainter;

enum TCaretStyle { csFull = 0, csLeftLine = 1, csBottomLine = 2 };

// The caret bitmap's size: charWidth x (lineHeight - 2), never negative.
QSize CaretSize(int charWidth, int lineHeight);

// The coloured part of the caret bitmap, in bitmap coordinates: the whole bitmap
// (csFull), a bar 2 pixels wide at the left (csLeftLine) or 2 pixels high at the bottom
// (csBottomLine), cut to the bitmap.
QRect CaretBarRect(TCaretStyle style, int charWidth, int lineHeight);

// The colour of the coloured part: cursorFrame resolved to RGB, each channel
// complemented.
QColor CaretInkColor(TColor cursorFrame, const QPalette& palette);

// The caret bitmap itself: black, with the bar in CaretInkColor.
QImage CaretBitmap(
    TCaretStyle style, int charWidth, int lineHeight, TColor cursorFrame, const QPalette& palette);

// Inverts the painter's device with the caret bitmap placed at topLeft: every pixel
// under the bar becomes itself XOR the ink colour; the rest is untouched. Painting it
// twice restores the pixels. Needs a raster device (a QImage or a widget).
void PaintCaret(QPainter& painter, QPoint topLeft, TCaretStyle style, int charWidth, int lineHeight,
    TColor cursorFrame, const QPalette& palette);
