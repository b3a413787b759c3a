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
} // namespace

int32_t THexEditor::GetPosAtCursor(int col, int row)
{
    FLayout.Reach(row);
    return FLayout.PosAtCell(col, row, InCharField);
}

bool THexEditor::SyncInCharField()
{
    // As GetPosAtCursor leaves it (the line starts reach the caret's row), without the position.
    FLayout.Reach(Row());
    InCharField = FLayout.IsCharCol(Col());
    return InCharField;
}

TGridCoord THexEditor::GetCursorAtPos(int32_t position, bool inCharField)
{
    // The line starts reach the last row first, as GetRow leaves them.
    if (position >= 0 && FLayout.Variable())
        AdjustLineLengthsCount();
    return FLayout.CellAtPos(position, inCharField, RowCount());
}

int THexEditor::GetRow(int32_t position)
{
    if (FLayout.Variable())
        AdjustLineLengthsCount();
    return FLayout.RowOf(position, RowCount());
}

int THexEditor::GetOtherFieldCol(int col, bool& inCharField) const
{
    inCharField = FLayout.IsCharCol(col);
    return FLayout.OtherFieldCol(col);
}

bool THexEditor::OutOfBounds(int col, int row)
{
    FLayout.Reach(row + 1);
    return FLayout.OutOfBounds(col, row);
}

bool THexEditor::GetInCharField()
{
    if (GetDataSize() < 1)
        return false;
    return SyncInCharField();
}

void THexEditor::SetInCharField(bool value)
{
    if (GetDataSize() < 1)
        return;
    if (SyncInCharField() != value)
        MoveTo(GetOtherFieldCol(Col(), InCharField), Row());
}

// ------------------------------------------------------------------ line lengths

int32_t THexEditor::GetLineOffset(int row)
{
    FLayout.Reach(row);
    return FLayout.LineOffset(row);
}

int32_t THexEditor::GetLineLength(int row)
{
    FLayout.Reach(row + 1);
    return FLayout.LineLength(row);
}

void THexEditor::AdjustLineLengthsCount()
{
    FLayout.GrowTo(static_cast<size_t>(RowCount()) + 1);
}

void THexEditor::ClearOffsets()
{
    FLayout.ClearOffsets();
}

void THexEditor::SetLineLength(int row, int32_t length)
{
    if (FLayout.SetLineLength(row, length, RowCount()) && FLayout.Variable()) {
        CalcSizes();
        Invalidate();
    }
}

template <typename Relayout> void THexEditor::KeepCaretAcross(Relayout&& relayout)
{
    const int32_t anchor = SelAnchor;
    const int32_t first = SelFirst;
    const int32_t last = SelLast;
    const int32_t p = GetPosAtCursor(Col(), Row());
    const bool inChars = InCharField;
    relayout();
    MoveTo(GetCursorAtPos(std::clamp(p, 0, std::max(0, GetDataSize() - 1)), inChars));
    // The move may have cleared the selection.
    SelAnchor = anchor;
    SelFirst = first;
    SelLast = last;
}

void THexEditor::SetLineLengths(const std::vector<int32_t>& lengths)
{
    FLayout.CheckLineLengths(lengths);
    KeepCaretAcross([&] {
        FLayout.SetLineLengths(lengths);
        CalcSizes();
    });
    Invalidate();
}

void THexEditor::SetVariableLineLength(bool value)
{
    if (value == FLayout.Variable())
        return;
    KeepCaretAcross([&] {
        FLayout.SetVariable(value);
        CalcSizes();
    });
    Invalidate();
}

// ------------------------------------------------------------------ sizes and metrics

void THexEditor::CalcSizes()
{
    FWorkingFile.InvalidateSize();
    const int32_t size = GetDataSize();
    if (size < FChangeMarks.Size())
        FChangeMarks.SetSize(size);
    const int columns = FLayout.ColCount();
    if (size >= 1) {
        const int rows = FLayout.RowCountFor(size);
        // The on-demand list holds every start the count looked at.
        FLayout.Reach(rows);
        SetRowCount(rows);
        SetColCount(columns);
        SetFixedCols(2);
    } else {
        SetColCount(columns);
        SetFixedCols(2);
        SetRowCount(1);
        if (FLayout.Offsets().empty())
            SetLineLength(0, FLayout.BytesPerLine());
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
    const int lastCol = FLayout.ColCount() - 1;
    for (int c = 1; c <= lastCol; ++c)
        SetColWidths(c, FLayout.ColWidthInChars(c, ShowMarkerColumn) * CharWidth);
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
    if (value == FLayout.BytesPerLine())
        return;
    PaintFreeze freeze(this);
    // The caret's byte is taken in the layout it was on (in variable mode too); the new
    // layout has fixed lines and no stored lengths.
    KeepCaretAcross([&] {
        FLayout.SetBytesPerLine(value);
        CalcSizes();
    });
}
