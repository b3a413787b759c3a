// The hex editor's geometry as plain arithmetic on B, the line starts and the mode.
#include "hexeditor/HexLayout.h"

#include "base/Errors.h"

#include <algorithm>
#include <climits>

namespace {
int32_t ClampedOffset(int64_t offset)
{
    return static_cast<int32_t>(std::clamp<int64_t>(offset, 0, INT32_MAX));
}
} // namespace

void HexLayout::SetBytesPerLine(int32_t value)
{
    FOffsets.clear();
    FVariable = false;
    FBytesPerLine = value;
}

int HexLayout::OtherFieldCol(int col) const
{
    if (IsCharCol(col))
        return 2 * (col - CharStart()) + 2;
    return CharStart() + (col - 2) / 2;
}

int HexLayout::ColWidthInChars(int col, bool showMarkerColumn) const
{
    if (col == 1)
        return showMarkerColumn ? 1 : 0;
    if (col >= 2 && col <= LastHexCol() && col % FBytesPerColumnDoubled == 1)
        return 2;
    return 1;
}

int32_t HexLayout::Entry(int64_t k) const
{
    if (k < static_cast<int64_t>(FOffsets.size()))
        return FOffsets[static_cast<size_t>(k)];
    // Growth appends the last entry plus B, clamped, again and again.
    const int64_t base = FOffsets.empty() ? 0 : static_cast<int64_t>(FOffsets.size()) - 1;
    const int64_t value = FOffsets.empty() ? 0 : FOffsets.back();
    return ClampedOffset(value + (k - base) * FBytesPerLine);
}

int32_t HexLayout::LineOffset(int row) const
{
    if (!FVariable)
        return static_cast<int32_t>(
            std::clamp<int64_t>(static_cast<int64_t>(row) * FBytesPerLine, INT32_MIN, INT32_MAX));
    if (row < 0)
        return 0;
    return Entry(row);
}

int32_t HexLayout::LineLength(int row) const
{
    if (!FVariable)
        return FBytesPerLine;
    return LineOffset(row + 1) - LineOffset(row);
}

int HexLayout::RowOf(int32_t position, int rowCount) const
{
    if (!FVariable)
        return position / FBytesPerLine;
    // The first row starting beyond the position ends the scan; starts only grow, so a
    // binary search over the stored ones gives the same row as scanning from the top.
    const size_t stored = std::min(static_cast<size_t>(std::max(rowCount, 0)), FOffsets.size());
    const auto first = FOffsets.begin();
    const auto last = first + static_cast<ptrdiff_t>(stored);
    const auto it = std::upper_bound(first, last, position);
    if (it != last)
        return static_cast<int>(it - first) - 1;
    if (static_cast<size_t>(rowCount) <= FOffsets.size() || position == INT32_MAX)
        return rowCount - 1;
    // Rows past the stored list are B long: the first of them starting beyond position.
    const int64_t base = FOffsets.empty() ? 0 : static_cast<int64_t>(FOffsets.size()) - 1;
    const int64_t value = FOffsets.empty() ? 0 : FOffsets.back();
    int64_t k = position < value ? base : base + (position - value) / FBytesPerLine + 1;
    k = std::max<int64_t>(k, static_cast<int64_t>(FOffsets.size()));
    return k < rowCount ? static_cast<int>(k) - 1 : rowCount - 1;
}

int HexLayout::RowCountFor(int32_t dataSize) const
{
    if (!FVariable)
        return static_cast<int>((static_cast<int64_t>(dataSize) + FBytesPerLine - 1) / FBytesPerLine);
    int k = dataSize / FBytesPerLine;
    while (LineOffset(k) < dataSize)
        ++k;
    return k;
}

bool HexLayout::OutOfBounds(int col, int row) const
{
    if (!FVariable)
        return false;
    if (IsCharCol(col))
        return col > LineLength(row) + GapCol();
    return col > 2 * LineLength(row) + 1;
}

int HexLayout::LastColumnOfLine(int col, int row, int colCount) const
{
    int c = IsCharCol(col) ? CharStart() : 2;
    // Line lengths are kept within 1..B, so the end is found inside the grid; the bound
    // only keeps a broken list from running away.
    while (c < colCount - 1 && !IsAtLineEnd(c, row))
        ++c;
    return c;
}

int32_t HexLayout::PosAtCell(int col, int row, bool& inCharField) const
{
    inCharField = IsCharCol(col);
    const int64_t base = LineOffset(row);
    const int64_t pos = inCharField ? base + (col - CharStart()) : base + (col - 2) / 2;
    return pos < 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(pos, INT32_MAX));
}

TGridCoord HexLayout::CellAtPos(int32_t position, bool inCharField, int rowCount) const
{
    if (position < 0)
        return TGridCoord{2, 0};
    const int row = RowOf(position, rowCount);
    const int32_t k = FVariable ? position - LineOffset(row) : position % FBytesPerLine;
    const int col = inCharField ? CharStart() + k : 2 * k + 2;
    return TGridCoord{col, row};
}

void HexLayout::Reach(int row)
{
    if (FVariable && row >= 0)
        GrowTo(static_cast<size_t>(row) + 1);
}

void HexLayout::GrowTo(size_t count)
{
    if (FOffsets.empty())
        FOffsets.push_back(0);
    while (FOffsets.size() < count)
        FOffsets.push_back(ClampedOffset(int64_t(FOffsets.back()) + FBytesPerLine));
}

bool HexLayout::SetLineLength(int row, int32_t length, int rowCount)
{
    GrowTo(static_cast<size_t>(std::max(rowCount, 0)) + 1);
    if (length < 1 || length > FBytesPerLine || row < 0)
        throw Exception("Invalid Line Length argument");
    GrowTo(static_cast<size_t>(row) + 2);
    // The stored length, not B: setting a row twice while the mode is off must not
    // shift the following rows twice.
    const int32_t old = FOffsets[static_cast<size_t>(row) + 1] - FOffsets[static_cast<size_t>(row)];
    if (length == old)
        return false;
    const int32_t delta = length - old;
    for (size_t i = static_cast<size_t>(row) + 1; i < FOffsets.size(); ++i)
        FOffsets[i] = ClampedOffset(int64_t(FOffsets[i]) + delta);
    return true;
}

void HexLayout::CheckLineLengths(const std::vector<int32_t>& lengths) const
{
    // Lengths outside 1..B would make the line-end searches run without end.
    for (int32_t length : lengths)
        if (length < 1 || length > FBytesPerLine)
            throw Exception("Invalid Line Length argument");
}

void HexLayout::SetLineLengths(const std::vector<int32_t>& lengths)
{
    CheckLineLengths(lengths);
    FOffsets.clear();
    if (lengths.empty())
        return;
    int64_t sum = 0;
    FOffsets.push_back(0);
    for (int32_t length : lengths) {
        sum += length;
        FOffsets.push_back(ClampedOffset(sum));
    }
}
