// THexEditor: the selection, the markers and the cell checks behind every cell move.
#include "hexeditor/HexEditor.h"

#include "base/Errors.h"

#include <algorithm>

void THexEditor::Select(int fromCol, int fromRow, int toCol, int toRow)
{
    const int32_t oldFirst = SelFirst;
    const int32_t oldLast = SelLast;
    int32_t p = GetPosAtCursor(toCol, toRow);
    if (SelAnchor == -1) {
        SelAnchor = GetPosAtCursor(fromCol, fromRow);
        if (IsInsertMode()) {
            // The cursor stands between bytes: the byte under the far end is not taken.
            if (SelAnchor > p)
                --SelAnchor;
            else if (SelAnchor < p)
                --p;
        }
        SelFirst = std::min(p, SelAnchor);
        SelLast = std::max(p, SelAnchor);
        RedrawPos(SelFirst, SelLast);
    } else {
        if (p < SelAnchor) {
            SelFirst = p;
            SelLast = SelAnchor;
        } else {
            SelLast = IsInsertMode() ? p - 1 : p;
            SelFirst = SelAnchor;
        }
        // Only an end that moved has rows to repaint.
        if (SelFirst != oldFirst)
            RedrawPos(std::min(oldFirst, SelFirst), std::max(oldFirst, SelFirst));
        if (SelLast != oldLast)
            RedrawPos(std::min(oldLast, SelLast), std::max(oldLast, SelLast));
    }
    StateNotification();
}

bool THexEditor::IsSelected(int32_t position) const
{
    return SelAnchor != -1 && SelFirst <= position && position <= SelLast;
}

void THexEditor::ResetSelection(bool redraw)
{
    Selecting = false;
    const int32_t oldFirst = SelFirst;
    const int32_t oldLast = SelLast;
    const bool hadSelection = SelAnchor != -1;
    SelAnchor = SelFirst = SelLast = -1;
    // Without a selection there is nothing to take off the screen (the old range, -1,
    // would name row 0).
    if (redraw && hadSelection)
        RedrawPos(oldFirst, oldLast);
    StateNotification();
}

void THexEditor::RedrawPos(int32_t from, int32_t to)
{
    const int lastRow = RowCount() - 1;
    const int top = std::clamp(GetRow(from), 0, lastRow);
    const int bottom = std::clamp(GetRow(to), 0, lastRow);
    InvalidateBox(2, top, ColCount() - 1, bottom);
}

int32_t THexEditor::GetSelStart()
{
    if (SelAnchor == -1)
        return GetPosAtCursor(Col(), Row());
    return SelAnchor;
}

int32_t THexEditor::GetSelEnd()
{
    if (SelAnchor == -1)
        return GetPosAtCursor(Col(), Row());
    return SelAnchor == SelLast ? SelFirst : SelLast;
}

int32_t THexEditor::GetSelCount() const
{
    return SelAnchor == -1 ? 0 : SelLast - SelFirst + 1;
}

void THexEditor::SetSelStart(int32_t position)
{
    if (position < 0 || position >= GetDataSize())
        throw Exception("Invalid SelStart");
    ResetSelection(true);
    MoveTo(GetCursorAtPos(position, SyncInCharField()));
}

void THexEditor::SetSelEnd(int32_t position)
{
    if (position < 0 || position >= GetDataSize())
        throw Exception("Invalid SelEnd");
    ResetSelection(true);
    const TGridCoord cell = GetCursorAtPos(position, SyncInCharField());
    Select(Col(), Row(), cell.x, cell.y);
}

int32_t THexEditor::GetCursorPos()
{
    const int32_t p = GetPosAtCursor(Col(), Row());
    return std::clamp(p, 0, std::max(0, GetDataSize() - 1));
}

// ------------------------------------------------------------------ markers

int THexEditor::IsMarkerPos(int row) const
{
    for (int i = 0; i < 10; ++i)
        if (Markers[static_cast<size_t>(i)] == row)
            return i;
    return -1;
}

int32_t THexEditor::GetMarker(uint8_t index) const
{
    if (index > 9)
        throw Exception("SetMarker : Invalid marker index");
    return Markers[index];
}

void THexEditor::SetMarker(uint8_t index, int32_t row)
{
    if (index > 9)
        throw Exception("SetMarker : Invalid marker index");
    if (Markers[index] == row)
        return;
    Markers[index] = row;
    Invalidate();
}

int32_t THexEditor::GetMarkerRow(uint8_t index) const
{
    const int32_t row = Markers[index % 10];
    return row == -1 ? Row() : row;
}

// ------------------------------------------------------------------ cell checks

bool THexEditor::SelectCell(int col, int row)
{
    const int oldRow = Row();
    bool ok;
    if (GetDataSize() > 0) {
        ok = CheckSelectCell(col, row);
    } else {
        ok = col == 2 && row == 0;
        if (ok)
            return true;
    }
    if (ok) {
        // The cursor frame on the twin cell moves with the current cell.
        const int oldTwin = GetOtherFieldCol(Col());
        if (oldTwin >= 0 && oldTwin < ColCount())
            InvalidateCell(oldTwin, oldRow);
        const int newTwin = GetOtherFieldCol(col);
        if (newTwin >= 0 && newTwin < ColCount())
            InvalidateCell(newTwin, row);
        if (Selecting)
            Select(Col(), Row(), col, row);
        else
            ResetSelection(true);
        CaretToCell(col, row);
    }
    return ok;
}

bool THexEditor::CheckSelectCell(int col, int row)
{
    bool ok = TCustomGrid::SelectCell(col, row);
    if (ok && FLayout.Variable() && OutOfBounds(col, row))
        ok = false;
    if (FSelectCellGuard) {
        FSelectCellGuard = false;
        struct Rearm {
            bool& guard;
            ~Rearm() { guard = true; }
        } rearm{FSelectCellGuard};
        if (ok) {
            if (!IsKeyDown(VK_SHIFT) && !IsKeyDown(VK_LBUTTON))
                ResetSelection(true);
            const int32_t p = GetPosAtCursor(col, row);
            const int32_t size = GetDataSize();
            if (p >= size) {
                // Aiming past the end of the data lands on the last byte.
                MoveTo(GetCursorAtPos(size - 1, SyncInCharField()));
                ok = false;
            } else if (col == FLayout.GapCol()) {
                ok = false;
                if (IsKeyDown(VK_LBUTTON))
                    MoveTo(std::max(2, col - 1), row);
            }
        }
    }
    return ok;
}
