// TCustomGrid: painting. Only the cells inside the update rectangle are painted, block
// by block (fixed or scrolling rows x fixed or scrolling columns); errors raised while
// painting are kept and reported once after the paint, and the rest is still drawn.
#include "hexeditor/CustomGrid.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>

TGridDrawState TCustomGrid::CellDrawState(int col, int row) const
{
    TGridDrawState state;
    if (col < FFixedCols || row < FFixedRows) {
        state.Include(gdFixed);
        return state;
    }
    const TGridRect selection = Selection();
    if (col >= selection.left && col <= selection.right && row >= selection.top && row <= selection.bottom)
        state.Include(gdSelected);
    if (col == FCol && row == FRow && hasFocus())
        state.Include(gdFocused);
    return state;
}

void TCustomGrid::PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow)
{
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = firstCol; col <= lastCol; ++col) {
            const QRect rect = CellRect(col, row);
            if (rect.isNull())
                continue;
            const TGridDrawState state = CellDrawState(col, row);
            if (FDefaultDrawing) {
                QColor fill = EffectiveColor();
                if (state.Contains(gdFixed))
                    fill = ColorToQColor(clBtnFace, palette());
                else if (state.Contains(gdSelected) && !state.Contains(gdFocused))
                    fill = ColorToQColor(clHighlight, palette());
                painter.fillRect(rect, fill);
            }
            try {
                DrawCell(painter, col, row, rect, state);
            } catch (...) {
                // The other cells are still drawn; the error is reported after the paint.
                NotePaintError();
                painter.fillRect(rect, EffectiveColor());
            }
            if (FDefaultDrawing && state.Contains(gdFocused)) {
                painter.save();
                painter.setPen(QPen(ColorToQColor(FFontColor, palette()), 1, Qt::DotLine));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
                painter.restore();
            }
        }
    }
}

void TCustomGrid::DrawCell(QPainter&, int, int, const QRect&, TGridDrawState) { }

void TCustomGrid::PaintOverlay(QPainter&) { }

void TCustomGrid::PaintPart(const std::function<void()>& part)
{
    try {
        part();
    } catch (...) {
        NotePaintError();
    }
}

void TCustomGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QRect clip = event->rect();
    FPaintError = nullptr;
    // Each part is painted on its own, so one that fails leaves the others drawn.
    PaintPart([&] { PaintGrid(painter, clip); });
    PaintPart([&] { PaintOverlay(painter); });

    if (FPaintError)
        ReportPaintError();
    else if (clip.contains(viewport()->rect()))
        FPaintErrorReported = false; // the whole grid drew cleanly: the fault is gone
}

TCustomGrid::TSpan TCustomGrid::ColPaintSpan(int from, int to, const QRect& clip) const
{
    TSpan span{INT_MAX, -1};
    const GridAxis cols = Cols();
    for (int c = from; c <= to; ++c) {
        const int x = ColX(c);
        const int pitch = cols.Pitch(c);
        if (int64_t(x) + pitch <= clip.left() && pitch > 0)
            continue;
        if (x > clip.right())
            break;
        span.first = std::min(span.first, c);
        span.last = c;
    }
    return span;
}

TCustomGrid::TSpan TCustomGrid::RowPaintSpan(
    int from, int to, int64_t areaTop, int firstIndex, int pitch, const QRect& clip) const
{
    TSpan span{INT_MAX, -1};
    if (from > to || pitch <= 0)
        return span;
    const int64_t top = std::max<int64_t>(clip.top(), areaTop);
    const int64_t a = firstIndex + std::max<int64_t>(0, (top - areaTop) / pitch);
    const int64_t b = firstIndex + (clip.bottom() - areaTop) / pitch;
    span.first = int(std::max<int64_t>(from, a));
    span.last = int(std::min<int64_t>(to, b));
    return span;
}

void TCustomGrid::PaintGrid(QPainter& painter, const QRect& clip)
{
    const int lastCol = LastVisibleCol();
    const int lastRow = LastVisibleRow();
    // The columns and rows of each area (fixed, scrolling) that meet the update rectangle.
    const TSpan colSpans[2]
        = {ColPaintSpan(0, std::min(FFixedCols - 1, lastCol), clip), ColPaintSpan(FLeftCol, lastCol, clip)};
    const TSpan rowSpans[2] = {RowPaintSpan(0, std::min(FFixedRows - 1, lastRow), 0, 0, RowPitch(0), clip),
        RowPaintSpan(FTopRow, lastRow, FixedHeight(), FTopRow, RowPitch(FFixedRows), clip)};
    for (const TSpan& rows : rowSpans) {
        for (const TSpan& cols : colSpans) {
            if (rows.first > rows.last || cols.first > cols.last)
                continue;
            PaintPart([&] {
                try {
                    PaintCells(painter, cols.first, cols.last, rows.first, rows.last);
                } catch (...) {
                    // Nothing stale stays where the block could not be drawn.
                    painter.fillRect(CellRect(cols.first, rows.first).united(CellRect(cols.last, rows.last)),
                        EffectiveColor());
                    throw;
                }
            });
        }
    }

    const int clientWidth = viewport()->width();
    const int clientHeight = viewport()->height();
    int gridRight = 0;
    if (lastCol >= 0)
        gridRight = int(std::min<int64_t>(int64_t(ColX(lastCol)) + Cols().Pitch(lastCol), clientWidth));
    int gridBottom = FixedHeight();
    if (lastRow >= 0)
        gridBottom = int(std::min<int64_t>(RowY(lastRow) + RowPitch(lastRow), clientHeight));
    if (FGridLineWidth > 0)
        PaintGridLines(painter, colSpans, rowSpans, gridRight, gridBottom);

    // The area no cell covers.
    const QColor empty = EffectiveColor();
    if (gridRight < clientWidth)
        painter.fillRect(gridRight, 0, clientWidth - gridRight, clientHeight, empty);
    if (gridBottom < clientHeight)
        painter.fillRect(0, gridBottom, gridRight, clientHeight - gridBottom, empty);
}

void TCustomGrid::PaintGridLines(
    QPainter& painter, const TSpan (&colSpans)[2], const TSpan (&rowSpans)[2], int gridRight, int gridBottom)
{
    // Lines fill the gaps after cells.
    const QColor lineColor = palette().color(QPalette::Mid);
    for (const TSpan& cols : colSpans) {
        for (int c = cols.first; c <= cols.last; ++c) {
            if (ColLineWidth(c) > 0)
                painter.fillRect(ColX(c) + FColWidths[size_t(c)], 0, ColLineWidth(c), gridBottom, lineColor);
        }
    }
    for (const TSpan& rows : rowSpans) {
        for (int r = rows.first; r <= rows.last; ++r) {
            const int line = RowPitch(r) - FDefaultRowHeight;
            if (line > 0)
                painter.fillRect(0, int(RowY(r)) + FDefaultRowHeight, gridRight, line, lineColor);
        }
    }
}

void TCustomGrid::NotePaintError()
{
    if (!FPaintError)
        FPaintError = std::current_exception();
}

void TCustomGrid::ReportPaintError()
{
    const std::exception_ptr error = std::exchange(FPaintError, nullptr);
    if (FPaintErrorQueued || FPaintErrorReported)
        return;
    FPaintErrorQueued = true;
    FPaintErrorReported = true;
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            Guarded([&] { std::rethrow_exception(error); });
            FPaintErrorQueued = false;
        },
        Qt::QueuedConnection);
}
