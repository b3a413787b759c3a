// THexEditor: undo records and change marks.
#include "hexeditor/HexEditor.h"

#include <vector>

namespace {
bool SavesOneByte(uint8_t kind)
{
    return kind == ukByteChanged || kind == ukInsertNibble || kind == ukDeleteNibble;
}
} // namespace

bool THexEditor::CreateUndo(uint8_t kind, int32_t position, int32_t count, int32_t fourth)
{
    bool allowed = GetDataSize() > 0 || kind == ukInsertBuffer || kind == ukAppendBuffer;
    if (NoSizeChange && allowed) {
        switch (kind) {
        case ukBytesRemoved:
        case ukInsertBuffer:
        case ukAppendBuffer:
        case ukInsertNibble:
        case ukDeleteNibble:
            allowed = false;
            break;
        case ukReplaceSelection:
            allowed = count == fourth;
            break;
        default:
            break;
        }
    }
    if (allowed) {
        CanUndo = true;
        DoCreateUndo(kind, position, count, fourth);
        Modified = true;
    }
    StateNotification();
    return allowed;
}

void THexEditor::DoCreateUndo(uint8_t kind, int32_t position, int32_t count, int32_t fourth)
{
    // Steps that move or rewrite ranges leave the read window empty, also on failure.
    struct WindowReset {
        WorkingFile& file;
        bool active;
        ~WindowReset()
        {
            if (active)
                file.InvalidateWindow();
        }
    } windowReset{FWorkingFile,
        kind == ukBytesRemoved || kind == ukInsertBuffer || kind == ukReplaceSelection
            || kind == ukAppendBuffer || kind == ukConvert};

    UndoDescription = UndoKindDescription(kind);

    TUndoRec rec;
    rec.kind = kind;
    rec.changed = SavesOneByte(kind) && HasChanged(position) ? 1 : 0;
    rec.modified = Modified ? 1 : 0;
    rec.caretPos = GetPosAtCursor(Col(), Row());
    rec.inCharField = InCharField ? 1 : 0;
    rec.digitOffset = InCharField ? 0 : static_cast<uint8_t>(Col() - GetCursorAtPos(rec.caretPos, false).x);
    rec.selFirst = SelFirst;
    rec.selLast = SelLast;
    rec.selAnchor = SelAnchor;
    rec.position = position;
    rec.count = count;
    rec.fourth = fourth;

    int32_t savedCount = 0;
    if (SavesOneByte(kind))
        savedCount = 1;
    else if (kind == ukBytesRemoved || kind == ukConvert)
        savedCount = count;
    else if (kind == ukReplaceSelection)
        savedCount = fourth;
    std::vector<uint8_t> saved(static_cast<size_t>(savedCount > 0 ? savedCount : 0));
    if (!saved.empty())
        GetMemAtPos(saved.data(), position, savedCount);
    FUndo.Push(rec, saved.data(), saved.size());
}

bool THexEditor::Undo()
{
    if (!CanUndo || FUndo.StreamSize() <= 4) {
        ResetUndo();
        return false;
    }
    const TUndoRec rec = FUndo.Newest();
    const uint8_t* saved = FUndo.NewestSaved();
    const int32_t p = rec.position;

    auto restore = [&] {
        const bool inChars = rec.inCharField != 0;
        TGridCoord cell = GetCursorAtPos(rec.caretPos, inChars);
        if (!inChars && GetDataSize() > 0)
            cell.x += rec.digitOffset;
        if (cell.y >= 0 && cell.y < RowCount() && cell.x >= FixedCols() && cell.x < ColCount())
            MoveTo(cell);
        else
            MoveTo(GetCursorAtPos(GetDataSize() - 1, inChars));
        SelFirst = rec.selFirst;
        SelLast = rec.selLast;
        SelAnchor = rec.selAnchor;
        Modified = rec.modified != 0;
    };
    if (rec.kind == ukByteChanged) {
        SetByteAtPos(p, saved[0]);
        SetChanged(p, rec.changed != 0);
        restore();
        InvalidateRow(GetRow(p));
        SetInternalBufferByte(p, saved[0]);
    } else {
        int32_t marksFrom = p;
        if (!TakeBack(rec, saved, marksFrom))
            return false;
        restore();
        if (rec.kind == ukInsertNibble || rec.kind == ukDeleteNibble) {
            // The opposite shift kept the size: the step's extra byte goes now.
            FWorkingFile.SetFileSize(FWorkingFile.FileSize() - 1);
            CalcSizes();
        }
        Invalidate();
        FChangeMarks.CutAt(marksFrom);
    }

    FWorkingFile.InvalidateSize();
    FUndo.RemoveNewest(FUndo.NewestLength());
    if (FUndo.StreamSize() < 5) {
        ResetUndo();
    } else {
        UndoDescription = UndoKindDescription(FUndo.Newest().kind);
        StateNotification();
    }
    return true;
}

bool THexEditor::TakeBack(const TUndoRec& rec, const uint8_t* saved, int32_t& marksFrom)
{
    const int32_t p = rec.position;
    const int32_t n = rec.count;
    switch (rec.kind) {
    case ukBytesRemoved:
    case ukInsertBuffer:
    case ukReplaceSelection:
    case ukAppendBuffer:
    case ukInsertNibble:
    case ukDeleteNibble:
    case ukConvert:
        break;
    default:
        return false;
    }
    FWorkingFile.InvalidateWindow();
    // The provisional caret cell while bytes are taken out: column 10 of row 0, or the
    // last hex column when the rows are narrower than that.
    const int provisionalCol = std::min(10, FLayout.LastHexCol());
    switch (rec.kind) {
    case ukBytesRemoved:
        InternalInsertBuffer(saved, n, p);
        break;
    case ukInsertBuffer:
        InternalDeleteSelection(p, p + n, provisionalCol, 0);
        break;
    case ukReplaceSelection:
        InternalDeleteSelection(p, p + n, provisionalCol, 0);
        InternalInsertBuffer(saved, rec.fourth, p);
        marksFrom = p - 1 < 0 ? 0 : p - 1;
        break;
    case ukAppendBuffer:
        SetCol(2);
        FWorkingFile.SetFileSize(static_cast<uint64_t>(p));
        CalcSizes();
        break;
    case ukInsertNibble:
    case ukDeleteNibble:
        if (rec.kind == ukInsertNibble)
            InternalDeleteNibble(p, false);
        else
            InternalInsertNibble(p, false);
        SetByteAtPos(p, saved[0]);
        SetChanged(p, rec.changed != 0);
        break;
    default: // ukConvert
        SetMemAtPos(saved, p, n);
        break;
    }
    return true;
}

void THexEditor::ResetUndo()
{
    CanUndo = false;
    UndoDescription = "No Undo";
    FUndo.Clear();
    if (OnStateChanged)
        OnStateChanged(this);
}

bool THexEditor::HasChanged(int32_t position) const
{
    if (IsInsertMode())
        return false;
    return FChangeMarks.Get(position);
}

void THexEditor::SetChanged(int32_t position, bool flag)
{
    if (IsInsertMode())
        FChangeMarks.Clear();
    if (flag || position < FChangeMarks.Size())
        FChangeMarks.Set(position, flag);
}
