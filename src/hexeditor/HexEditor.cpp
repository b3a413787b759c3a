// THexEditor: construction, property setters, state notification and window hooks.
#include "hexeditor/HexEditor.h"

#include "base/Errors.h"

#include <QCoreApplication>

THexEditor::THexEditor(QWidget* parent)
    : TCustomGrid(parent)
{
    // The members start at their defaults (HexEditor.h); what is set here is the grid
    // base's shape and what has no in-class default.
    FColors = std::make_unique<TColors>(this);
    SetParentColor(false);
    SetColor(FColors->Background());
    // Every cell is one character wide: a proportional stand-in will not do.
    setFont(FixedPitchFont(QStringLiteral("Courier"), 12));
    SetBorderStyle(bsSingle);
    SetDefaultDrawing(false);
    SetOptions(TGridOptions{goVertLine, goHorzLine, goTabs, goThumbTracking});
    SetGridLineWidth(0);
    SetCtl3D(false);
    SetCursor(QCursor(Qt::IBeamCursor));
    Markers.fill(-1);
    ResetUndo();
    SetDefaultColWidth(0);
    SetDefaultRowHeight(0);
    SetColCount(FLayout.ColCount());
    SetRowCount(1);
    SetFixedRows(0);
}

THexEditor::~THexEditor()
{
    // Nothing may be posted to or fired from a half-destroyed control.
    OnStateChanged = nullptr;
    FreeFile();
    FUndo.Clear();
    FChangeMarks.Clear();
    FLayout.ClearOffsets();
    // FWorkingFile's destructor deletes the working file.
}

void THexEditor::Loaded()
{
    CreateEmptyFile("Untitled");
}

bool THexEditor::event(QEvent* e)
{
    if (e->type() == WM_STATECHANGED) {
        const int wParam = static_cast<TStateChangedEvent*>(e)->WParam;
        Guarded([&] { WMSTATECHANGED(wParam); });
        return true;
    }
    if (e->type() == QEvent::Show && !FWindowCreatedOnce) {
        // The window exists now: start over with empty data unless the host has
        // already given the editor its data.
        FWindowCreatedOnce = true;
        if (FileName == "---") {
            // Data the host gave before the first show (a stream load, an insert) is
            // kept; only its name changes.
            Guarded([&] {
                if (GetDataSize() == 0)
                    CreateEmptyFile("Untitled");
                else
                    FileName = "Untitled";
            });
        }
    }
    return TCustomGrid::event(e);
}

void THexEditor::StateNotification()
{
    if (testAttribute(Qt::WA_WState_Created))
        QCoreApplication::postEvent(this, new TStateChangedEvent(7, 7));
}

void THexEditor::WMSTATECHANGED(int wParam)
{
    if (wParam == 7 && OnStateChanged)
        OnStateChanged(this);
}

void THexEditor::CMFontChanged()
{
    TCustomGrid::CMFontChanged();
    if (testAttribute(Qt::WA_WState_Created)) {
        AdjustMetrics();
        if (Focused()) {
            CreateColoredCaret();
            CaretToCell(Col(), Row());
            ShowCaret();
        }
    }
}

// ------------------------------------------------------------------ property setters

void THexEditor::SetShowMarkerColumn(bool value)
{
    if (value == ShowMarkerColumn)
        return;
    ShowMarkerColumn = value;
    AdjustMetrics();
}

void THexEditor::SetBytesPerColumn(int32_t value)
{
    // The column widths and the group colours divide by it.
    if (value < 1)
        throw Exception("Invalid BytesPerColumn argument");
    if (value == FLayout.BytesPerColumn())
        return;
    FLayout.SetBytesPerColumn(value);
    AdjustMetrics();
    Invalidate();
}

void THexEditor::SetTranslation(TTranslationType value)
{
    if (value == Translation)
        return;
    Translation = value;
    Invalidate();
}

void THexEditor::SetOffsetDisplay(TOffsetDisplayStyle value)
{
    if (value == OffsetDisplay)
        return;
    OffsetDisplay = value;
    SetOffsetDisplayWidth();
    Invalidate();
}

void THexEditor::SetCaretStyle(TCaretStyle value)
{
    if (value == CaretStyle)
        return;
    CaretStyle = value;
    if (Focused()) {
        CreateColoredCaret();
        CaretToCell(Col(), Row());
        ShowCaret();
        Invalidate();
    }
}

void THexEditor::SetFocusFrame(bool value)
{
    if (value == FocusFrame)
        return;
    FocusFrame = value;
    Invalidate();
}

void THexEditor::SetOffsetChar(char value)
{
    if (value == OffsetSeparator)
        return;
    OffsetSeparator = value;
    Invalidate();
}

void THexEditor::SetSwapNibbles(bool value)
{
    const int stored = value ? 1 : 0;
    if (stored == SwapNibbles)
        return;
    SwapNibbles = stored;
    Invalidate();
}

void THexEditor::SetMaskWhiteSpaces(bool value)
{
    if (value == MaskWhiteSpaces)
        return;
    MaskWhiteSpaces = value;
    Invalidate();
}

void THexEditor::SetMaskChar(char value)
{
    if (value == MaskChar)
        return;
    MaskChar = value;
    Invalidate();
}

void THexEditor::SetNoSizeChange(bool value)
{
    NoSizeChange = value;
    SetAllowInsertMode(AllowInsertMode);
}

void THexEditor::SetAllowInsertMode(bool value)
{
    AllowInsertMode = NoSizeChange ? false : value;
    StateNotification();
}

void THexEditor::SetAutoCaretMode(bool value)
{
    AutoCaretMode = value;
    if (value)
        SetCaretStyle(IsInsertMode() ? csLeftLine : csFull);
}

void THexEditor::SetWantTabs(bool value)
{
    WantTabs = value;
}

void THexEditor::SetReadOnlyView(bool value)
{
    ReadOnlyView = value;
}

void THexEditor::SetColors(std::unique_ptr<TColors> colors)
{
    // Drawing needs a colour set at all times.
    if (colors)
        FColors = std::move(colors);
}

void THexEditor::SetModified(bool flag)
{
    Modified = flag;
    if (!flag) {
        CanUndo = false;
        FChangeMarks.Clear();
        Invalidate();
    }
}

void THexEditor::SetReadOnlyFile(bool flag)
{
    if (flag && !ReadOnlyFile) {
        ReadOnlyFile = true;
        StateNotification();
    }
}
