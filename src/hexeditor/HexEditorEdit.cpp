// THexEditor: the editing operations and the nibble shifts.
#include "hexeditor/HexEditor.h"

#include "base/Errors.h"
#include "hexeditor/Hourglass.h"

#include <climits>

void THexEditor::ChangeByte(uint8_t oldByte, uint8_t newByte, int32_t position, int /*col*/, int row)
{
    if (oldByte == newByte)
        return;
    if (!CreateUndo(ukByteChanged, position, 1, 0))
        return;
    SetByteAtPos(position, newByte);
    SetInternalBufferByte(position, newByte);
    if (!IsInsertMode())
        SetChanged(position, true);
    const TGridCoord hex = GetCursorAtPos(position, false);
    InvalidateCell(hex.x, row);
    InvalidateCell(hex.x + 1, row);
    InvalidateCell(GetCursorAtPos(position, true).x, row);
}

void THexEditor::InternalInsertBuffer(const uint8_t* buffer, int32_t count, int32_t position)
{
    InsertAt(buffer, count, position, "Invalid InsertBuffer argument");
}

void THexEditor::InternalAppendBuffer(const uint8_t* buffer, int32_t count)
{
    // The insert at position = size (the size as it is once the stream exists).
    InsertAt(buffer, count, std::nullopt, "Invalid AppendBuffer argument");
}

void THexEditor::InsertAt(
    const uint8_t* buffer, int32_t count, std::optional<int32_t> at, const char* tooLarge)
{
    TestStream();
    if (GetDataSize() == 0) {
        FWorkingFile.Stream()->Seek(0, SeekOrigin::Beginning);
        FChangeMarks.Clear();
    }
    const int32_t old = GetDataSize();
    const int32_t position = at.value_or(old);
    if (static_cast<int64_t>(old) + count > INT32_MAX)
        throw Exception(tooLarge);
    FWorkingFile.SetFileSize(static_cast<uint64_t>(old) + static_cast<uint64_t>(count));
    if (position < old)
        MoveFileMem(position, position + count, old - position);
    SetMemAtPos(buffer, position, count);
    CalcSizes();
}

void THexEditor::InsertBuffer(const uint8_t* buffer, int32_t count, int32_t position)
{
    if (count < 1)
        return; // nothing to insert, nothing to record
    if (!CreateUndo(ukInsertBuffer, position, count, 0))
        return;
    InternalInsertBuffer(buffer, count, position);
    FChangeMarks.CutAt(position);
    if (GetPosAtCursor(Col(), Row()) == position) {
        SelAnchor = position;
        SelFirst = position;
        SelLast = position + count - 1;
        StateNotification();
    }
    Invalidate();
}

void THexEditor::AppendBuffer(const uint8_t* buffer, int32_t count)
{
    if (count < 1)
        return;
    if (!CreateUndo(ukAppendBuffer, GetDataSize(), count, 0))
        return;
    const int32_t old = GetDataSize();
    FChangeMarks.CutAt(old);
    InternalAppendBuffer(buffer, count);
    MoveTo(GetCursorAtPos(old, SyncInCharField()));
    SelAnchor = old;
    SelFirst = old;
    SelLast = old + count - 1;
    StateNotification();
    Invalidate();
}

void THexEditor::InternalGetCurSel(int32_t& start, int32_t& end, int& col, int& row)
{
    if (SelAnchor == -1) {
        start = GetPosAtCursor(Col(), Row());
        end = start + 1;
        col = Col();
        row = Row();
    } else {
        start = SelFirst;
        end = SelLast + 1;
        const TGridCoord cell = GetCursorAtPos(SelFirst, SyncInCharField());
        col = cell.x;
        row = cell.y;
    }
    FChangeMarks.CutAt(start);
}

void THexEditor::InternalDeleteSelection(int32_t start, int32_t end, int col, int row)
{
    const int32_t size = GetDataSize();
    if (end <= size - 1)
        MoveFileMem(end, start, size - end);
    FWorkingFile.SetFileSize(static_cast<uint64_t>(size - (end - start)));
    const int32_t newSize = GetDataSize();
    if (GetPosAtCursor(col, row) >= newSize)
        MoveTo(GetCursorAtPos(newSize - 1, InCharField));
    else
        MoveTo(col, row);
    CalcSizes();
    ResetSelection(false);
    Invalidate();
}

void THexEditor::DeleteSelection()
{
    int32_t start = 0;
    int32_t end = 0;
    int col = 0;
    int row = 0;
    InternalGetCurSel(start, end, col, row);
    // With the caret past the last byte there is nothing under it to remove.
    const int32_t size = GetDataSize();
    if (start < 0 || start >= size)
        return;
    if (end > size)
        end = size;
    if (!CreateUndo(ukBytesRemoved, start, end - start, 0))
        return;
    InternalDeleteSelection(start, end, col, row);
}

void THexEditor::InternalErase(bool backspace)
{
    const int32_t p = GetCursorPos();
    if (backspace) {
        if (p != 0 && CreateUndo(ukBytesRemoved, p - 1, 1, 0)) {
            InternalDeleteSelection(p - 1, p, Col(), Row());
            Seek(p - 1, 0, true);
        }
    } else if (p != GetDataSize() && CreateUndo(ukBytesRemoved, p, 1, 0)) {
        InternalDeleteSelection(p, p + 1, Col(), Row());
    }
}

void THexEditor::ReplaceSelection(const uint8_t* buffer, int32_t count)
{
    if (SelAnchor == -1) {
        InsertBuffer(buffer, count, GetSelStart());
        return;
    }
    if (count < 0)
        count = 0;
    if (NoSizeChange) {
        const int32_t length = GetSelCount();
        if (length < count) {
            count = length;
        } else if (length > count) {
            SetSelStart(std::min(GetSelStart(), GetSelEnd()));
            SetSelEnd(GetSelStart() + count - 1);
        }
    }
    if (!CreateUndo(ukReplaceSelection, SelFirst, count, GetSelCount()))
        return;
    const TGridCoord caret{Col(), Row()};
    int32_t start = 0;
    int32_t end = 0;
    int col = 0;
    int row = 0;
    InternalGetCurSel(start, end, col, row);
    InternalDeleteSelection(start, end, col, row);
    if (count > 0)
        InternalInsertBuffer(buffer, count, start);
    FChangeMarks.CutAt(start);
    if (count > 0 && GetPosAtCursor(caret.x, caret.y) == start && start < GetDataSize()) {
        MoveTo(caret);
        SelAnchor = start;
        SelFirst = start;
        SelLast = start + count - 1;
        StateNotification();
    }
}

std::unique_ptr<FileStream> THexEditor::CreateShift4BitStream(int32_t start, std::string& fileName)
{
    if (!FWorkingFile.IsOpen())
        return nullptr;
    return ::CreateShift4BitStream(
        *FWorkingFile.Stream(), start, GetDataSize(), FWorkingFile.Directory(), fileName);
}

bool THexEditor::InternalInsertNibble(int32_t position, bool high)
{
    TestStream();
    if (GetDataSize() == 0)
        return false;
    THourglass hourglass;
    return ShiftInsertNibble(FWorkingFile, position, high);
}

bool THexEditor::InternalDeleteNibble(int32_t position, bool high)
{
    TestStream();
    if (GetDataSize() == 0)
        return false;
    THourglass hourglass;
    return ShiftDeleteNibble(FWorkingFile, position, high);
}

// The recorded nibble shifts: permission, the shift, then the marks and sizes.
bool THexEditor::ShiftNibble(bool insert, int32_t position, bool high)
{
    if (position < 0 || position >= GetDataSize())
        return false;
    if (!CreateUndo(insert ? ukInsertNibble : ukDeleteNibble, position, 0, 0))
        return false;
    ResetSelection(false);
    const bool result = insert ? InternalInsertNibble(position, high) : InternalDeleteNibble(position, high);
    if (result)
        FChangeMarks.CutAt(position);
    FWorkingFile.InvalidateWindow();
    CalcSizes();
    return result;
}

bool THexEditor::InsertNibble(int32_t position, bool high)
{
    if (GetDataSize() == 0) {
        ResetSelection(false);
        const uint8_t zero = 0;
        AppendBuffer(&zero, 1);
        return true;
    }
    return ShiftNibble(true, position, high);
}

bool THexEditor::DeleteNibble(int32_t position, bool high)
{
    return ShiftNibble(false, position, high);
}
