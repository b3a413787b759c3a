// THexEditor: what each cell shows and how it is painted, the cursor frame and the
// caret, and the focus and scroll hooks that keep the caret in place.
//
// Deciding and painting are apart: CellFacts gathers what a cell depends on, DecideCell
// (CellLook.h) answers what it shows, and the paint routines below only draw answers.
// Text is drawn glyph by glyph at multiples of CharWidth, so every character sits in
// its cell whatever the font's own (often fractional) advance is.
#include "hexeditor/HexEditor.h"

#include "hexeditor/CellRuns.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>

#include <algorithm>

// ------------------------------------------------------------------ deciding

TCellFacts THexEditor::CellFacts(int col, int row, int32_t dataSize)
{
    TCellFacts facts;
    facts.col = col;
    facts.row = row;
    facts.bytesPerLine = FLayout.BytesPerLine();
    facts.bytesPerColumn = GetBytesPerColumn();
    facts.noData = dataSize < 1;
    facts.fontColor = FontColor();
    facts.focusFrame = FocusFrame;
    facts.focused = Focused();
    facts.currentCol = Col();
    facts.currentRow = Row();
    bool twinInChars = false;
    facts.otherFieldCol = GetOtherFieldCol(Col(), twinInChars);
    facts.swapNibbles = SwapNibbles;

    switch (CellKind(col, FLayout.BytesPerLine())) {
    case ckOffset:
        facts.offsetText = GetOffsetText(row);
        return facts;
    case ckMarker:
        facts.marker = IsMarkerPos(row);
        return facts;
    case ckGap:
        return facts;
    case ckHex:
    case ckChar:
        break;
    }
    if (facts.noData) {
        facts.beyondData = true;
        return facts;
    }
    const int32_t lineOffset = GetLineOffset(row);
    // Asked of the layout, not through GetPosAtCursor: painting must not change which
    // field the editor thinks it is in.
    bool cellInChars = false;
    const int32_t p = FLayout.PosAtCell(col, row, cellInChars);
    facts.beyondData = p >= dataSize || (FLayout.Variable() && OutOfBounds(col, row));
    if (facts.beyondData)
        return facts;
    CheckInternalBuffer(lineOffset);
    facts.value = InternalBufferByte(p);
    facts.charByte = TranslateToAnsiChar(facts.value);
    facts.changed = HasChanged(p);
    facts.selectionExists = SelAnchor != -1;
    facts.selected = IsSelected(p);
    return facts;
}

TCellLook THexEditor::CellLook(int col, int row)
{
    return DecideCell(CellFacts(col, row, GetDataSize()), *FColors);
}

// ------------------------------------------------------------------ painting

QFont THexEditor::MarkerFont() const
{
    QFont marker = font();
    marker.setFamily(QStringLiteral("Arial"));
    if (marker.pointSize() > 0)
        marker.setPointSize(std::max(1, MarkerFontSize(marker.pointSize())));
    else if (marker.pixelSize() > 0)
        marker.setPixelSize(std::max(1, MarkerFontSize(marker.pixelSize())));
    return marker;
}

void THexEditor::PrepareGlyphs()
{
    const QFont current = font();
    if (FGlyphsReady && FGlyphFont == current)
        return;
    FGlyphFont = current;
    FRawFont = QRawFont::fromFont(current);
    FGlyphIndex.fill(0);
    if (FRawFont.isValid()) {
        for (int code = 0; code < 256; ++code) {
            const QChar ch(UnicodeFromWindows1252(uint8_t(code)));
            quint32 glyph = 0;
            int count = 1;
            if (FRawFont.glyphIndexesForChars(&ch, 1, &glyph, &count) && count == 1)
                FGlyphIndex[size_t(code)] = glyph;
        }
    }
    FGlyphAscent = QFontMetrics(current).ascent();
    FGlyphsReady = true;
}

void THexEditor::PaintGlyphs(QPainter& painter, const QRect& rect, const std::string& text)
{
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(qsizetype(text.size()));
    positions.reserve(qsizetype(text.size()));
    const int step = std::max(1, CharWidth);
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t code = uint8_t(text[i]);
        if (code == ' ')
            continue;
        const qreal x = qreal(i) * step;
        const quint32 glyph = FGlyphIndex[code];
        if (glyph != 0) {
            glyphs.push_back(glyph);
            positions.push_back(QPointF(x, 0));
        } else if (code >= 0x20) {
            // Not in this font: let font fallback find it, in its cell.
            painter.drawText(
                QPointF(rect.x() + x, rect.y() + FGlyphAscent), QString(QChar(UnicodeFromWindows1252(code))));
        }
    }
    if (glyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(FRawFont);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(QPointF(rect.x(), rect.y() + FGlyphAscent), run);
}

// Writes a text opaquely and clipped: the rectangle is filled with the background and
// the text, from its top-left corner, is cut at its edges.
void THexEditor::PaintLook(QPainter& painter, const QRect& rect, const std::string& text, TColor textColor,
    TColor backColor, TCellFont cellFont)
{
    if (rect.isEmpty())
        return;
    painter.fillRect(rect, ColorToQColor(backColor, palette()));
    if (text.find_first_not_of(' ') == std::string::npos)
        return;
    painter.setClipRect(rect);
    painter.setPen(ColorToQColor(textColor, palette()));
    if (cellFont == cfMarker) {
        const QFont marker = MarkerFont();
        painter.setFont(marker);
        QString chars;
        for (char c : text)
            chars += QChar(UnicodeFromWindows1252(uint8_t(c)));
        painter.drawText(QPointF(rect.x(), rect.y() + QFontMetrics(marker).ascent()), chars);
        painter.setFont(font());
    } else if (FRawFont.isValid()) {
        PaintGlyphs(painter, rect, text);
    } else {
        const int step = std::max(1, CharWidth);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != ' ')
                painter.drawText(QPointF(rect.x() + qreal(i) * step, rect.y() + FGlyphAscent),
                    QString(QChar(UnicodeFromWindows1252(uint8_t(text[i])))));
        }
    }
    painter.setClipping(false);
}

namespace {

// A dotted frame drawn by inverting every other pixel of its edges, as the platform's
// focus rectangle is; drawing it twice restores the pixels.
void PaintFocusRect(QPainter& painter, const QRect& frame)
{
    if (frame.isEmpty())
        return;
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0)
            painter.fillRect(QRect(x, y, 1, 1), Qt::white);
    };
    const int left = frame.left();
    const int right = frame.right();
    const int top = frame.top();
    const int bottom = frame.bottom();
    for (int x = left; x <= right; ++x) {
        dot(x, top);
        if (bottom != top)
            dot(x, bottom);
    }
    for (int y = top + 1; y < bottom; ++y) {
        dot(left, y);
        if (right != left)
            dot(right, y);
    }
    painter.restore();
}

} // namespace

void THexEditor::PaintMark(QPainter& painter, const QRect& rect, TCursorMark mark)
{
    switch (mark) {
    case cmNone:
        return;
    case cmCaret:
        // The caret is already on this cell (CurrentCellMoved and the scroll hooks put it
        // there); PaintOverlay draws it. A paint never moves it.
        return;
    case cmFocusFrame:
    case cmOutlineFrame: {
        const QRect frame(rect.left(), rect.top(), std::max(0, CharWidth), rect.height());
        if (mark == cmFocusFrame) {
            PaintFocusRect(painter, frame);
        } else if (!frame.isEmpty()) {
            painter.save();
            painter.setPen(QPen(ColorToQColor(FColors->CursorFrame(), palette()), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(frame.adjusted(0, 0, -1, -1));
            painter.restore();
        }
        return;
    }
    }
}

void THexEditor::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState)
{
    PrepareGlyphs();
    const TCellLook look = CellLook(col, row);
    PaintLook(painter, rect, look.text, look.textColor, look.backColor, look.font);
    PaintMark(painter, rect, look.mark);
}

void THexEditor::PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow)
{
    PrepareGlyphs();
    const int32_t dataSize = GetDataSize();
    const size_t cells = size_t(lastCol - firstCol + 1);
    FRowLooks.resize(cells);
    FRowRects.resize(cells);

    // Columns are the same on every row: their rectangles are taken once and moved down.
    const QRect firstRowRect = CellRect(firstCol, firstRow);
    std::vector<QRect> columns(cells);
    for (int c = firstCol; c <= lastCol; ++c)
        columns[size_t(c - firstCol)] = CellRect(c, firstRow);

    for (int row = firstRow; row <= lastRow; ++row) {
        const QRect rowRect = CellRect(firstCol, row);
        if (rowRect.isNull())
            continue;
        const int dy = rowRect.y() - firstRowRect.y();
        try {
            for (size_t i = 0; i < cells; ++i) {
                const int col = firstCol + int(i);
                QRect rect = columns[i];
                if (!rect.isNull()) {
                    rect.moveTop(rect.y() + dy);
                    rect.setHeight(rowRect.height());
                }
                FRowRects[i] = rect;
                FRowLooks[i] = DecideCell(CellFacts(col, row, dataSize), *FColors);
            }
        } catch (...) {
            // A row whose bytes cannot be read (a read error of the read window) is left
            // blank; the other rows are drawn and the error is reported after the paint.
            NotePaintError();
            painter.fillRect(
                rowRect.united(CellRect(lastCol, row)), ColorToQColor(FColors->Background(), palette()));
            continue;
        }
        for (const TCellRun& run : JoinCellRuns(FRowLooks, FRowRects, CharWidth))
            PaintLook(painter, run.rect, run.text, run.textColor, run.backColor, run.font);
        for (size_t i = 0; i < cells; ++i) {
            if (FRowLooks[i].mark != cmNone && !FRowRects[i].isNull())
                PaintMark(painter, FRowRects[i], FRowLooks[i].mark);
        }
    }
}

void THexEditor::PaintOverlay(QPainter& painter)
{
    if (GetCaretShown())
        PaintCaret(painter, FCaretPos, FCaretShapeStyle, FCaretShapeWidth, FCaretShapeHeight,
            FCaretShapeColor, palette());
}

// ------------------------------------------------------------------ the caret

void THexEditor::CreateColoredCaret()
{
    DestroyCaret();
    FCaretShapeStyle = CaretStyle;
    FCaretShapeWidth = CharWidth;
    FCaretShapeHeight = LineHeight;
    FCaretShapeColor = FColors->CursorFrame();
    FCaretBitmap = CaretBitmap(CaretStyle, CharWidth, LineHeight, FCaretShapeColor, palette());
    FCaretExists = true;
    FCaretShown = false;
}

QRect THexEditor::CaretRect() const
{
    return QRect(FCaretPos, CaretSize(FCaretShapeWidth, FCaretShapeHeight));
}

void THexEditor::SetCaretPos(QPoint pos)
{
    if (pos == FCaretPos)
        return;
    const QRect old = CaretRect();
    FCaretPos = pos;
    if (GetCaretShown()) {
        viewport()->update(old);
        viewport()->update(CaretRect());
    }
}

void THexEditor::ShowCaret()
{
    if (!FCaretExists || FCaretShown)
        return;
    FCaretShown = true;
    viewport()->update(CaretRect());
}

void THexEditor::HideCaret()
{
    if (!GetCaretShown())
        return;
    FCaretShown = false;
    viewport()->update(CaretRect());
}

void THexEditor::DestroyCaret()
{
    HideCaret();
    FCaretExists = false;
}

void THexEditor::CaretToCell(int col, int row)
{
    const QRect rect = CellRect(col, row);
    SetCaretPos(rect.isNull() ? QPoint(-50, -50) : rect.topLeft());
}

// ------------------------------------------------------------------ focus and scrolling

void THexEditor::WMSetFocus()
{
    TCustomGrid::WMSetFocus();
    CreateColoredCaret();
    CaretToCell(Col(), Row());
    ShowCaret();
    Invalidate();
}

void THexEditor::WMKillFocus()
{
    TCustomGrid::WMKillFocus();
    HideCaret();
    DestroyCaret();
    Selecting = false;
    Invalidate();
}

void THexEditor::WMVScroll()
{
    TCustomGrid::WMVScroll();
    CaretToCell(Col(), Row());
}

void THexEditor::WMHScroll()
{
    TCustomGrid::WMHScroll();
    CaretToCell(Col(), Row());
}

void THexEditor::CurrentCellMoved()
{
    CaretToCell(Col(), Row());
}

void THexEditor::TopLeftChanged()
{
    // However the view moved (keys, the host, the scroll bars), the caret goes with
    // its cell or leaves the screen with it.
    TCustomGrid::TopLeftChanged();
    CaretToCell(Col(), Row());
}
