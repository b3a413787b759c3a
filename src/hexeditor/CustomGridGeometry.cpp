// TCustomGrid: geometry (where cells are on the viewport, which are visible, the cell
// under a point) through the two axes, and the repaint requests built on it.
#include "hexeditor/CustomGrid.h"

#include <algorithm>
#include <climits>
#include <utility>

int TCustomGrid::ColLineWidth(int col) const
{
    const TGridOption option = col < FFixedCols ? goFixedVertLine : goVertLine;
    return FOptions.Contains(option) ? FGridLineWidth : 0;
}

int TCustomGrid::RowPitch(int row) const
{
    const TGridOption option = row < FFixedRows ? goFixedHorzLine : goHorzLine;
    return FDefaultRowHeight + (FOptions.Contains(option) ? FGridLineWidth : 0);
}

void TCustomGrid::RebuildColStarts()
{
    FColStarts.resize(size_t(FColCount) + 1);
    FColStarts[0] = 0;
    for (int c = 0; c < FColCount; ++c)
        FColStarts[size_t(c) + 1] = FColStarts[size_t(c)] + FColWidths[size_t(c)] + ColLineWidth(c);
}

GridAxis TCustomGrid::Cols() const
{
    return GridAxis::PerCell(FColCount, FFixedCols, FLeftCol, viewport()->width(), FColStarts, FColWidths);
}

GridAxis TCustomGrid::Rows() const
{
    const int fixedPitch = FDefaultRowHeight + (FOptions.Contains(goFixedHorzLine) ? FGridLineWidth : 0);
    return GridAxis::Uniform(FRowCount, FFixedRows, FTopRow, viewport()->height(), FDefaultRowHeight,
        fixedPitch, RowPitch(FFixedRows));
}

int TCustomGrid::FixedWidth() const
{
    return Cols().FixedExtent();
}

int TCustomGrid::FixedHeight() const
{
    return Rows().FixedExtent();
}

int TCustomGrid::ColX(int col) const
{
    return int(std::clamp<int64_t>(Cols().Pos(col), INT_MIN / 2, INT_MAX / 2));
}

int64_t TCustomGrid::RowY(int row) const
{
    return Rows().Pos(row);
}

int TCustomGrid::RowsThatFit() const
{
    const int pitch = RowPitch(FFixedRows);
    const int available = viewport()->height() - FixedHeight();
    if (pitch <= 0)
        return FRowCount;
    if (available < FDefaultRowHeight)
        return 0;
    return (available - FDefaultRowHeight) / pitch + 1;
}

int TCustomGrid::MaxTopRow() const
{
    return std::max(FFixedRows, FRowCount - std::max(1, RowsThatFit()));
}

int TCustomGrid::MaxLeftCol() const
{
    // The smallest first column that still shows the last column whole.
    const int clientWidth = viewport()->width();
    const int last = FColCount - 1;
    if (last < FFixedCols)
        return FFixedCols;
    const int64_t lastRight = FColStarts[size_t(last)] + FColWidths[size_t(last)];
    for (int left = FFixedCols; left < last; ++left) {
        if (FixedWidth() + lastRight - FColStarts[size_t(left)] <= clientWidth)
            return left;
    }
    return last;
}

int TCustomGrid::VisibleRowCount() const
{
    const int left = FRowCount - FTopRow;
    return std::max(0, std::min(left, std::max(1, RowsThatFit())));
}

int TCustomGrid::VisibleColCount() const
{
    const int clientWidth = viewport()->width();
    int count = 0;
    for (int c = FLeftCol; c < FColCount; ++c) {
        if (int64_t(ColX(c)) + FColWidths[size_t(c)] > clientWidth)
            break;
        ++count;
    }
    return FLeftCol < FColCount ? std::max(1, count) : 0;
}

int TCustomGrid::LastVisibleCol() const
{
    return Cols().LastVisible();
}

int TCustomGrid::LastVisibleRow() const
{
    return Rows().LastVisible();
}

bool TCustomGrid::IsCellVisible(int col, int row) const
{
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount)
        return false;
    if (col >= FFixedCols && col < FLeftCol)
        return false;
    if (row >= FFixedRows && row < FTopRow)
        return false;
    return col <= LastVisibleCol() && row <= LastVisibleRow();
}

QRect TCustomGrid::CellRect(int col, int row) const
{
    if (!IsCellVisible(col, row))
        return QRect();
    const int x = ColX(col);
    const int y = int(RowY(row));
    const int right = int(std::min<int64_t>(int64_t(x) + FColWidths[size_t(col)], viewport()->width()));
    const int bottom = std::min(y + FDefaultRowHeight, viewport()->height());
    return QRect(x, y, right - x, bottom - y);
}

QRect TCustomGrid::BoxRect(int left, int top, int right, int bottom) const
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    int c0, c1, r0, r1;
    if (!Cols().VisibleSpan(left, right, c0, c1) || !Rows().VisibleSpan(top, bottom, r0, r1))
        return QRect();
    const QRect first = CellRect(c0, r0);
    const QRect last = CellRect(c1, r1);
    return QRect(QPoint(first.x(), first.y()),
        QSize(last.x() + last.width() - first.x(), last.y() + last.height() - first.y()));
}

TGridCoord TCustomGrid::MouseCoord(int x, int y) const
{
    const TGridCoord none{-1, -1};
    if (x < 0 || y < 0 || x >= viewport()->width() || y >= viewport()->height())
        return none;
    const int col = Cols().CellAt(x);
    if (col < 0)
        return none;
    const int row = Rows().CellAt(y);
    if (row < 0)
        return none;
    return {col, row};
}

void TCustomGrid::MouseToCell(int x, int y, int& col, int& row) const
{
    const TGridCoord cell = MouseCoord(x, y);
    col = cell.x;
    row = cell.y;
}

TGridRect TCustomGrid::Selection() const
{
    return {std::min(FAnchor.x, FCol), std::min(FAnchor.y, FRow), std::max(FAnchor.x, FCol),
        std::max(FAnchor.y, FRow)};
}

// ---------------------------------------------------------------- invalidation

void TCustomGrid::InvalidateCell(int col, int row)
{
    const QRect rect = CellRect(col, row);
    if (!rect.isEmpty())
        viewport()->update(rect);
}

void TCustomGrid::InvalidateCol(int col)
{
    InvalidateBox(col, 0, col, FRowCount - 1);
}

void TCustomGrid::InvalidateRow(int row)
{
    InvalidateBox(0, row, FColCount - 1, row);
}

void TCustomGrid::InvalidateRows(int firstRow, int lastRow)
{
    InvalidateBox(0, firstRow, FColCount - 1, lastRow);
}

void TCustomGrid::InvalidateBox(int left, int top, int right, int bottom)
{
    const QRect rect = BoxRect(left, top, right, bottom);
    if (!rect.isEmpty())
        viewport()->update(rect);
}

void TCustomGrid::InvalidateGrid()
{
    viewport()->update();
}

void TCustomGrid::Repaint()
{
    viewport()->repaint();
}
