// THexEditor: grid geometry - positions <-> cells, line lengths, offsets and metrics.
#include "hexeditor/HexEditor.h"

#include "base/Errors.h"

#include <QFontMetrics>

#include <algorithm>

namespace {
// Freezes painting while the grid is rebuilt, so intermediate layouts are never shown.
class PaintFreeze {
public:
    explicit PaintFreeze(QWidget* widget)
        : FWidget(widget)
        , FWasEnabled(widget->updatesEnabled())
    {
        FWidget->setUpdatesEnabled(false);
    }
    ~PaintFreeze() { FWidget->setUpdatesEnabled(FWasEnabled); }

private:
    QWidget* FWidget;
    bool FWasEnabled;
};

// A line start, computed wide and kept as a position: the rows past the last position
// that fits all start at INT32_MAX (and have no bytes).
int32_t ClampedOffset(int64_t offset)
{
    return static_cast<int32_t>(std::clamp<int64_t>(offset, 0, INT32_MAX));
}
} // namespace

int32_t THexEditor::GetPosAtCursor(int col, int row)
{
    const int charStart = 2 * BytesPerLine + 3;
    InCharField = col > 2 * BytesPerLine + 2;
    const int64_t base = GetLineOffset(row);
    const int64_t pos = InCharField ? base + (col - charStart) : base + (col - 2) / 2;
    return pos < 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(pos, INT32_MAX));
}

TGridCoord THexEditor::GetCursorAtPos(int32_t position, bool inCharField)
{
    if (position < 0)
        return TGridCoord{2, 0};
    const int row = GetRow(position);
    const int32_t k = VariableLineLength ? position - GetLineOffset(row) : position % BytesPerLine;
    const int col = inCharField ? 2 * BytesPerLine + 3 + k : 2 * k + 2;
    return TGridCoord{col, row};
}

int THexEditor::GetRow(int32_t position)
{
    if (!VariableLineLength)
        return position / BytesPerLine;
    // The first row starting beyond the position ends the scan; offsets only grow, so
    // a binary search gives the same row as scanning from the top.
    AdjustLineLengthsCount();
    const int rows = RowCount();
    const auto first = LineOffsets.begin();
    const auto last = first + std::min<ptrdiff_t>(rows, static_cast<ptrdiff_t>(LineOffsets.size()));
    const auto it = std::upper_bound(first, last, position);
    if (it == last)
        return rows - 1;
    return static_cast<int>(it - first) - 1;
}

int THexEditor::GetOtherFieldCol(int col, bool& inCharField) const
{
    inCharField = col > 2 * BytesPerLine + 2;
    if (inCharField)
        return 2 * (col - (2 * BytesPerLine + 3)) + 2;
    return 2 * BytesPerLine + 3 + (col - 2) / 2;
}

bool THexEditor::OutOfBounds(int col, int row)
{
    if (!VariableLineLength)
        return false;
    if (col > 2 * BytesPerLine + 2)
        return col > GetLineLength(row) + 2 * BytesPerLine + 2;
    return col > 2 * GetLineLength(row) + 1;
}

bool THexEditor::GetInCharField()
{
    if (GetDataSize() < 1)
        return false;
    GetPosAtCursor(Col(), Row());
    return InCharField;
}

void THexEditor::SetInCharField(bool value)
{
    if (GetDataSize() < 1)
        return;
    GetPosAtCursor(Col(), Row());
    if (InCharField != value)
        MoveTo(GetOtherFieldCol(Col(), InCharField), Row());
}

// ------------------------------------------------------------------ line lengths

int32_t THexEditor::GetLineOffset(int row)
{
    if (!VariableLineLength)
        return static_cast<int32_t>(
            std::clamp<int64_t>(static_cast<int64_t>(row) * BytesPerLine, INT32_MIN, INT32_MAX));
    if (row < 0)
        return 0;
    if (LineOffsets.empty())
        LineOffsets.push_back(0);
    while (LineOffsets.size() <= static_cast<size_t>(row))
        LineOffsets.push_back(ClampedOffset(int64_t(LineOffsets.back()) + BytesPerLine));
    return LineOffsets[static_cast<size_t>(row)];
}

int32_t THexEditor::GetLineLength(int row)
{
    if (!VariableLineLength)
        return BytesPerLine;
    const int32_t next = GetLineOffset(row + 1);
    return next - GetLineOffset(row);
}

void THexEditor::AdjustLineLengthsCount()
{
    if (LineOffsets.empty())
        LineOffsets.push_back(0);
    while (LineOffsets.size() < static_cast<size_t>(RowCount()) + 1)
        LineOffsets.push_back(ClampedOffset(int64_t(LineOffsets.back()) + BytesPerLine));
}

void THexEditor::ClearOffsets()
{
    LineOffsets.clear();
}

void THexEditor::SetLineLength(int row, int32_t length)
{
    AdjustLineLengthsCount();
    if (length < 1 || length > BytesPerLine || row < 0)
        throw Exception("Invalid Line Length argument");
    while (LineOffsets.size() < static_cast<size_t>(row) + 2)
        LineOffsets.push_back(ClampedOffset(int64_t(LineOffsets.back()) + BytesPerLine));
    // The stored length, not B: setting a row twice while the mode is off must not
    // shift the following rows twice.
    const int32_t old = LineOffsets[static_cast<size_t>(row) + 1] - LineOffsets[static_cast<size_t>(row)];
    if (length == old)
        return;
    const int32_t delta = length - old;
    for (size_t i = static_cast<size_t>(row) + 1; i < LineOffsets.size(); ++i)
        LineOffsets[i] = ClampedOffset(int64_t(LineOffsets[i]) + delta);
    if (VariableLineLength) {
        CalcSizes();
        Invalidate();
    }
}

void THexEditor::SetLineLengths(const std::vector<int32_t>& lengths)
{
    // Lengths outside 1..B would make the line-end searches run without end.
    for (int32_t length : lengths)
        if (length < 1 || length > BytesPerLine)
            throw Exception("Invalid Line Length argument");
    const int32_t anchor = SelAnchor;
    const int32_t first = SelFirst;
    const int32_t last = SelLast;
    const int32_t p = GetPosAtCursor(Col(), Row());
    const bool inChars = InCharField;

    LineOffsets.clear();
    if (!lengths.empty()) {
        int64_t sum = 0;
        LineOffsets.push_back(0);
        for (int32_t length : lengths) {
            sum += length;
            LineOffsets.push_back(ClampedOffset(sum));
        }
    }
    CalcSizes();
    MoveTo(GetCursorAtPos(std::clamp(p, 0, std::max(0, GetDataSize() - 1)), inChars));
    SelAnchor = anchor;
    SelFirst = first;
    SelLast = last;
    Invalidate();
}

void THexEditor::SetVariableLineLength(bool value)
{
    if (value == VariableLineLength)
        return;
    const int32_t anchor = SelAnchor;
    const int32_t first = SelFirst;
    const int32_t last = SelLast;
    const int32_t p = GetPosAtCursor(Col(), Row());
    VariableLineLength = value;
    CalcSizes();
    MoveTo(GetCursorAtPos(std::clamp(p, 0, std::max(0, GetDataSize() - 1)), InCharField));
    SelAnchor = anchor;
    SelFirst = first;
    SelLast = last;
    Invalidate();
}

// ------------------------------------------------------------------ sizes and metrics

void THexEditor::CalcSizes()
{
    FWorkingFile.InvalidateSize();
    const int32_t size = GetDataSize();
    if (size < FChangeMarks.Size())
        FChangeMarks.SetSize(size);
    const int columns = 3 * BytesPerLine + 3;
    if (size >= 1) {
        int rows;
        if (VariableLineLength) {
            int k = size / BytesPerLine;
            while (GetLineOffset(k) < size)
                ++k;
            rows = k;
        } else {
            rows = static_cast<int>((static_cast<int64_t>(size) + BytesPerLine - 1) / BytesPerLine);
        }
        SetRowCount(rows);
        SetColCount(columns);
        SetFixedCols(2);
    } else {
        SetColCount(columns);
        SetFixedCols(2);
        SetRowCount(1);
        if (LineOffsets.empty())
            SetLineLength(0, BytesPerLine);
    }
    SetFixedRows(0);
    FWorkingFile.InvalidateWindow();
    AdjustMetrics();
}

void THexEditor::AdjustMetrics()
{
    const QFontMetrics metrics(font());
    CharWidth = metrics.horizontalAdvance(QLatin1Char('w'));
    SetOffsetDisplayWidth();
    SetColWidths(1, ShowMarkerColumn ? CharWidth : 0);
    const int lastHex = 2 * BytesPerLine + 1;
    for (int c = 2; c <= lastHex; ++c)
        SetColWidths(c, c % FBytesPerColumnDoubled == 1 ? 2 * CharWidth : CharWidth);
    for (int c = lastHex + 1; c <= 3 * BytesPerLine + 2; ++c)
        SetColWidths(c, CharWidth);
    LineHeight = metrics.height() + 2;
    SetDefaultRowHeight(LineHeight);
}

void THexEditor::SetOffsetDisplayWidth()
{
    if (OffsetDisplay == odNone)
        OffsetDisplayWidth = 0;
    else
        OffsetDisplayWidth = ::OffsetDisplayWidth(OffsetDisplay, GetLineOffset(RowCount() - 1));
    SetColWidths(0, std::max(0, OffsetDisplayWidth * CharWidth));
}

std::string THexEditor::GetOffsetText(int row)
{
    if (GetDataSize() < 1)
        return EmptyDataOffsetText(OffsetDisplay, OffsetSeparator);
    return OffsetText(OffsetDisplay, GetLineOffset(row), OffsetDisplayWidth, OffsetSeparator);
}

void THexEditor::SetBytesPerLine(int32_t value)
{
    if (value < 1 || value > 256)
        throw Exception("Invalid BytesPerLine argument");
    if (value == BytesPerLine)
        return;
    PaintFreeze freeze(this);
    ClearOffsets();
    VariableLineLength = false;
    const int32_t anchor = SelAnchor;
    const int32_t first = SelFirst;
    const int32_t last = SelLast;
    const int32_t p = GetPosAtCursor(Col(), Row());
    BytesPerLine = value;
    FHexColumnCount = 2 * value;
    CalcSizes();
    MoveTo(GetCursorAtPos(std::clamp(p, 0, std::max(0, GetDataSize() - 1)), InCharField));
    SelAnchor = anchor;
    SelFirst = first;
    SelLast = last;
}
