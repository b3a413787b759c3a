// THexEditor: keyboard and mouse. The editor's own navigation keys (ParseKeyDown),
// typing into the hex and character fields, the Insert, Backspace and Delete keys, and
// the mouse; every cell move goes through the grid's MoveColRow and so SelectCell.
#include "hexeditor/HexEditor.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr TShiftState NoShift{};
constexpr TShiftState OnlyShift{ssShift};
constexpr TShiftState OnlyCtrl{ssCtrl};
constexpr TShiftState ShiftCtrl{ssShift, ssCtrl};

} // namespace

// ------------------------------------------------------------------ column rule

bool THexEditor::IsAtLineEnd(int col, int row)
{
    FLayout.Reach(row + 1);
    return FLayout.IsAtLineEnd(col, row);
}

int THexEditor::LastColumnOfLine(int col, int row)
{
    FLayout.Reach(row + 1);
    return FLayout.LastColumnOfLine(col, row, ColCount());
}

int THexEditor::TargetColumn(int targetRow)
{
    int c = Col();
    if (FLayout.Variable() && IsAtLineEnd(Col(), Row()))
        return LastColumnOfLine(c, targetRow);
    while (c > 2 && OutOfBounds(c, targetRow))
        --c;
    return c;
}

// ------------------------------------------------------------------ keys

bool THexEditor::ParseKeyDown(TShiftState shift, uint8_t key)
{
    if (shift.Empty() && key != VK_SHIFT && !IsInsertMode())
        ResetSelection(true);

    // The field the cursor is in before the move.
    const int32_t p = GetPosAtCursor(Col(), Row());
    const bool inChars = InCharField;
    const int32_t size = GetDataSize();
    const bool ctrl = shift.Contains(ssCtrl);

    switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
        PageKey(key == VK_NEXT, ctrl);
        return true;
    case VK_HOME:
        MoveTo(inChars ? FLayout.CharStart() : 2, ctrl ? 0 : Row());
        return true;
    case VK_END:
        EndKey(ctrl, inChars, size);
        return true;
    case VK_LEFT:
    case VK_RIGHT:
        return HorizontalKey(key == VK_RIGHT, ctrl, p, inChars, size);
    case VK_DOWN:
    case VK_UP: {
        if (ctrl)
            return false;
        const int target = Row() + (key == VK_DOWN ? 1 : -1);
        if (target >= 0 && target < RowCount())
            MoveTo(TargetColumn(target), target);
        return true;
    }
    case 'T':
    case VK_TAB:
        // Ctrl+T, Tab and Shift+Tab go to the same byte in the other field.
        if (key == 'T' ? !ctrl : !(shift == NoShift || shift == OnlyShift))
            return false;
        if (size > 0)
            SetCol(GetOtherFieldCol(Col(), InCharField));
        return true;
    case VK_SHIFT:
        if (!(shift == OnlyShift))
            return false;
        if (!Selecting)
            ResetSelection(true);
        Selecting = true;
        return true;
    default:
        break;
    }
    if (key >= '0' && key <= '9')
        return MarkerKey(shift, uint8_t(key - '0'));
    return false;
}

void THexEditor::PageKey(bool down, bool ctrl)
{
    const int visible = VisibleRowCount();
    int target;
    if (!down) {
        if (ctrl) {
            target = TopRow();
        } else {
            target = std::max(0, Row() - visible + 1);
            SetTopRow(std::max(0, TopRow() - visible + 1));
        }
    } else if (ctrl) {
        target = std::min(RowCount() - 1, TopRow() + visible - 1);
    } else {
        target = std::min(RowCount() - 1, Row() + visible - 1);
        SetTopRow(std::min(std::max(0, RowCount() - visible), TopRow() + visible - 1));
    }
    MoveTo(TargetColumn(target), target);
}

void THexEditor::EndKey(bool ctrl, bool inChars, int32_t size)
{
    if (ctrl) {
        MoveTo(GetCursorAtPos(size - 1, inChars));
    } else {
        const int32_t last = std::min(GetLineOffset(Row() + 1) - 1, size - 1);
        MoveTo(GetCursorAtPos(last, inChars));
    }
}

bool THexEditor::HorizontalKey(bool right, bool ctrl, int32_t p, bool inChars, int32_t size)
{
    const bool firstNibble = (Col() - 2) % 2 == 0;
    if (!right) {
        if (ctrl)
            return false;
        if (inChars) {
            MoveTo(GetCursorAtPos(std::max(p - 1, 0), true));
        } else if (!firstNibble) {
            MoveTo(Col() - 1, Row());
        } else if (p > 0) {
            const TGridCoord previous = GetCursorAtPos(p - 1, false);
            MoveTo(previous.x + 1, previous.y);
        }
    } else if (ctrl) {
        int c = ColCount() - 1;
        while (c > 2 && OutOfBounds(c, Row()))
            --c;
        MoveTo(c, Row());
    } else if (inChars) {
        MoveTo(GetCursorAtPos(std::min(p + 1, size - 1), true));
    } else if (firstNibble) {
        MoveTo(Col() + 1, Row());
    } else if (p + 1 < size) {
        MoveTo(GetCursorAtPos(p + 1, false));
    }
    return true;
}

bool THexEditor::MarkerKey(TShiftState shift, uint8_t digit)
{
    if (shift == ShiftCtrl) {
        SetMarker(digit, Row());
        return true;
    }
    if (shift == OnlyCtrl) {
        ResetSelection(true);
        const int32_t row = GetMarkerRow(digit);
        if (row < RowCount())
            MoveTo(2, row);
        else
            SetMarker(digit, 1);
        return true;
    }
    return false;
}

void THexEditor::KeyDown(uint16_t& key, TShiftState shift)
{
    if (key == VK_INSERT) {
        key = 0;
        InsertToggle = !InsertToggle;
        if (AutoCaretMode)
            SetAutoCaretMode(true);
        FChangeMarks.Clear();
        Invalidate();
        StateNotification();
        return;
    }
    const uint8_t pressed = uint8_t(key & 0xFF);
    if (key == VK_BACK) {
        if (IsInsertMode() && !ReadOnlyView) {
            key = 0;
            // A selection goes on its own; without one the byte before the cursor goes.
            if (GetSelCount() > 0)
                DeleteSelection();
            else
                InternalErase(true);
        } else {
            key = VK_LEFT;
        }
    } else if (key == VK_DELETE && !ReadOnlyView) {
        key = 0;
        if (shift == OnlyCtrl || (GetSelCount() > 0 && IsInsertMode()))
            DeleteSelection();
        else if (IsInsertMode())
            InternalErase(false);
    }
    if (ParseKeyDown(shift, pressed))
        key = 0;
    else
        TCustomGrid::KeyDown(key, shift);
}

void THexEditor::KeyUp(uint16_t& key, TShiftState shift)
{
    AltCharPending = key == VK_MENU;
    TCustomGrid::KeyUp(key, shift);
}

void THexEditor::WMChar(uint8_t code)
{
    char typed = char(code);
    if (OnKeyPress)
        OnKeyPress(this, typed);
    const uint8_t ch = uint8_t(typed);
    if (ReadOnlyView)
        return;
    const int32_t p = GetPosAtCursor(Col(), Row());
    const bool inChars = InCharField;
    const int32_t size = GetDataSize();
    if (p >= size && !IsInsertMode())
        return;

    if (!inChars) {
        static const char digits[] = "0123456789abcdef0123456789ABCDEF";
        const char* at = ch != 0 ? std::strchr(digits, ch) : nullptr;
        if (!at)
            return;
        const uint8_t d = uint8_t((at - digits) % 16);
        if (!IsInsertMode())
            ResetSelection(true);
        const int first = GetCursorAtPos(p, false).x;
        const uint8_t old = p < size ? GetByteAtPos(p) : 0;
        uint8_t value;
        if (Col() - SwapNibbles == first || GetSelCount() != 0)
            value = uint8_t(d * 16 + (old & 0x0F));
        else
            value = uint8_t((old & 0xF0) + d);
        // At the append position there is no byte to change: the nibble starts a new one.
        if (IsInsertMode() && (Col() == first || GetSelCount() > 0 || p >= size)) {
            value &= SwapNibbles ? 0x0F : 0xF0;
            if (size == 0)
                AppendBuffer(&value, 1);
            else if (GetSelCount() == 0)
                InsertBuffer(&value, 1, p);
            else
                ReplaceSelection(&value, 1);
            ParseKeyDown(NoShift, VK_RIGHT);
            return;
        }
        ChangeByte(old, value, p, Col(), Row());
        if (IsInsertMode() && Col() != first && size == p + 1) {
            const uint8_t zero = 0;
            AppendBuffer(&zero, 1);
            return;
        }
        ParseKeyDown(NoShift, VK_RIGHT);
        return;
    }

    const uint8_t value = AltCharPending ? AnsiToOemChar(ch) : TranslateFromAnsiChar(ch);
    if (value < 0x20 && !AltCharPending)
        return;
    AltCharPending = false;
    if (!IsInsertMode())
        ResetSelection(true);
    if (IsInsertMode()) {
        if (GetSelCount() > 0)
            ReplaceSelection(&value, 1);
        else
            InsertBuffer(&value, 1, p);
    } else {
        ChangeByte(GetByteAtPos(p), value, p, Col(), Row());
    }
    ParseKeyDown(NoShift, VK_RIGHT);
}

uint32_t THexEditor::WMGetDlgCode()
{
    uint32_t code = TCustomGrid::WMGetDlgCode() | DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (WantTabs)
        code |= DLGC_WANTTAB;
    else
        code &= ~DLGC_WANTTAB;
    return code;
}

// ------------------------------------------------------------------ mouse

void THexEditor::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TCustomGrid::MouseDown(button, shift, x, y);
    if (button != mbLeft)
        return;
    ResetSelection(true);
    if (!shift.Contains(ssDouble))
        Selecting = true;
}
