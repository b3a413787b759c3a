#pragma once
// THexEditor: a grid control that shows a block of bytes as offset, hex and character
// columns, keeps the bytes in a temporary working file, and edits them with undo.
//
// This header holds the whole class. Its implementation is split by concern:
//   HexEditor.cpp          construction, properties, state notification, window hooks
//   HexEditorData.cpp      working file, load/save, byte and range access
//   HexEditorUndo.cpp      undo records and change marks
//   HexEditorEdit.cpp      editing operations and nibble shifts
//   HexEditorLayout.cpp    geometry: the named operations over HexLayout (HexLayout.h,
//                          Qt-free: cells <-> positions, line starts), metrics
//   HexEditorSelection.cpp selection, markers, SelectCell
//   HexEditorFind.cpp      find, seek, character translation, AsText/AsHex
//   HexEditorPaint.cpp     colours, cell drawing, the caret, focus and scrolling hooks
//   HexEditorInput.cpp     keyboard and mouse
//
// Positions are zero-based 32-bit byte indices into the data; -1 means none for the
// selection fields, the markers and the read window's start.
//
// Has a window: the state notification is posted only when the widget's platform
// window state exists (Qt::WA_WState_Created, set once the widget or its top-level
// has been shown or winId() was asked for); before that it is dropped.
#include "hexeditor/Caret.h"
#include "hexeditor/CellLook.h"
#include "hexeditor/ChangeMarks.h"
#include "hexeditor/Colors.h"
#include "hexeditor/CustomGrid.h"
#include "hexeditor/HexLayout.h"
#include "hexeditor/HexText.h"
#include "hexeditor/UndoStore.h"
#include "hexeditor/WorkingFile.h"
#include "search/Translation.h"

#include <QEvent>
#include <QImage>
#include <QRawFont>

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The event type of the state-changed notification the editor posts to itself.
constexpr QEvent::Type WM_STATECHANGED = static_cast<QEvent::Type>(QEvent::User + 2);

// The posted state-changed message; WParam and LParam are both 7.
class TStateChangedEvent : public QEvent {
public:
    TStateChangedEvent(int wParam, int lParam)
        : QEvent(WM_STATECHANGED)
        , WParam(wParam)
        , LParam(lParam)
    {
    }
    int WParam;
    int LParam;
};

class THexEditor;
using TNotifyEvent = std::function<void(THexEditor* sender)>;
// Called with every typed character before the editor takes it; may change it.
using TKeyPressEvent = std::function<void(THexEditor* sender, char& key)>;

class THexEditor : public TCustomGrid {
    Q_OBJECT

public:
    explicit THexEditor(QWidget* parent = nullptr);
    ~THexEditor() override;

    // After the host has set the properties: starts over with empty data "Untitled".
    void Loaded();

    // ---------------------------------------------------------------- published properties
    bool GetShowMarkerColumn() const { return ShowMarkerColumn; }
    void SetShowMarkerColumn(bool value);
    int32_t GetBytesPerColumn() const { return FLayout.BytesPerColumn(); }
    void SetBytesPerColumn(int32_t value); // below 1: "Invalid BytesPerColumn argument"
    TNotifyEvent OnStateChanged;
    TTranslationType GetTranslation() const { return Translation; }
    void SetTranslation(TTranslationType value);
    bool CreateBackup = true;
    std::string BackupExtension = ".bak";
    TOffsetDisplayStyle GetOffsetDisplay() const { return OffsetDisplay; }
    void SetOffsetDisplay(TOffsetDisplayStyle value);
    int32_t GetBytesPerLine() const { return FLayout.BytesPerLine(); }
    void SetBytesPerLine(int32_t value); // 1 to 256, else "Invalid BytesPerLine argument"
    TCaretStyle GetCaretStyle() const { return CaretStyle; }
    void SetCaretStyle(TCaretStyle value);
    bool GetFocusFrame() const { return FocusFrame; }
    void SetFocusFrame(bool value);
    char GetOffsetSeparator() const { return OffsetSeparator; }
    void SetOffsetChar(char value); // the setter of OffsetSeparator
    void SetOffsetSeparator(char value) { SetOffsetChar(value); }
    bool GetSwapNibbles() const { return SwapNibbles != 0; }
    void SetSwapNibbles(bool value);
    bool GetMaskWhiteSpaces() const { return MaskWhiteSpaces; }
    void SetMaskWhiteSpaces(bool value);
    char GetMaskChar() const { return MaskChar; }
    void SetMaskChar(char value);
    bool GetNoSizeChange() const { return NoSizeChange; }
    void SetNoSizeChange(bool value);
    bool GetAllowInsertMode() const { return AllowInsertMode; }
    void SetAllowInsertMode(bool value);
    bool GetAutoCaretMode() const { return AutoCaretMode; }
    void SetAutoCaretMode(bool value);
    bool GetWantTabs() const { return WantTabs; }
    void SetWantTabs(bool value);
    bool GetReadOnlyView() const { return ReadOnlyView; }
    void SetReadOnlyView(bool value);
    // The colour set. The editor owns it; SetColors puts another set in its place
    // (without copying or repainting) and frees the one it held.
    TColors* GetColors() const { return FColors.get(); }
    void SetColors(std::unique_ptr<TColors> colors);
    TKeyPressEvent OnKeyPress;
    // Font: QWidget::font()/setFont(); a change reaches CMFontChanged.

    // ---------------------------------------------------------------- public values
    const std::string& GetFileName() const { return FileName; }
    bool GetModified() const { return Modified; }
    void SetModified(bool flag);
    bool GetReadOnlyFile() const { return ReadOnlyFile; }
    void SetReadOnlyFile(bool flag);
    bool GetCanUndo() const { return CanUndo; }
    const std::string& GetUndoDescription() const { return UndoDescription; }
    bool GetIsInsertMode() const { return InsertToggle && AllowInsertMode && !NoSizeChange; }
    bool IsInsertMode() const { return GetIsInsertMode(); }
    int32_t GetCharWidth() const { return CharWidth; }
    int32_t GetLineHeight() const { return LineHeight; }
    int32_t GetOffsetDisplayWidth() const { return OffsetDisplayWidth; }
    bool GetVariableLineLength() const { return FLayout.Variable(); }
    const std::vector<int32_t>& GetLineOffsets() const { return FLayout.Offsets(); }
    // The geometry (columns, line starts, position <-> cell) without the widget.
    const HexLayout& Layout() const { return FLayout; }
    int32_t GetSelAnchor() const { return SelAnchor; }
    int32_t GetSelFirst() const { return SelFirst; }
    int32_t GetSelLast() const { return SelLast; }
    bool GetSelecting() const { return Selecting; }
    void SetSelecting(bool value) { Selecting = value; }
    bool GetInsertToggle() const { return InsertToggle; }
    // A name that reaches the working file (for hosts and tests): the file leaves the
    // temporary folder as soon as it is open, so while data is held this is the process's
    // link to the open file. The undo store and change marks.
    std::string WorkingFileName() const { return FWorkingFile.ReachablePath(); }
    const UndoStore& GetUndoStore() const { return FUndo; }
    const ChangeMarks& GetChangeMarks() const { return FChangeMarks; }

    // ---------------------------------------------------------------- whole data
    void CreateEmptyFile(const std::string& name);
    // Answers whether the file was loaded (false when it cannot be opened for reading).
    bool LoadFromFile(const std::string& fileName);
    bool LoadFromStream(std::istream& stream);
    // Loads count bytes of source from offset on, copied by the kernel into the working file
    // (bytes past the source's end read as 0). As LoadFromStream, FileName and ReadOnlyFile
    // stay. "Invalid LoadFromFileRange argument" for a negative count.
    bool LoadFromFileRange(const FileStream& source, uint64_t offset, int32_t count);
    // Answers whether the data was written (false also when the backup copy failed).
    bool SaveToFile(const std::string& fileName);
    bool SaveToStream(std::ostream& stream);
    void FreeFile();
    void TestStream();
    int32_t GetDataSize();

    // ---------------------------------------------------------------- byte and range access
    uint8_t GetByteAtPos(int32_t position);
    void SetByteAtPos(int32_t position, uint8_t value);
    void GetMemAtPos(uint8_t* buffer, int32_t position, int32_t count);
    void SetMemAtPos(const uint8_t* buffer, int32_t position, int32_t count);
    uint8_t GetMemory(int32_t position); // "Invalid GetMemory index"
    void SetMemory(int32_t position, uint8_t value); // "Invalid SetMemory index"
    // A new block of count bytes from position (count is cut at the data's end and set
    // to 0, with no block, when the read fails). "Invalid BufferFromFile argument".
    std::unique_ptr<uint8_t[]> BufferFromFile(int32_t position, int32_t& count);
    void MoveFileMem(int32_t from, int32_t to, int32_t count);
    void CheckInternalBuffer(int32_t position);
    void SetInternalBufferByte(int32_t position, uint8_t value);
    // The byte at position from the read window; CheckInternalBuffer must cover it.
    uint8_t InternalBufferByte(int32_t position) const { return FWorkingFile.WindowByte(position); }
    int32_t GetWindowStart() const { return FWorkingFile.WindowStart(); }
    int32_t GetCachedDataSize() const { return FWorkingFile.CachedSize(); }

    // ---------------------------------------------------------------- notification
    void StateNotification();
    void WMSTATECHANGED(int wParam);

    // ---------------------------------------------------------------- undo and change marks
    bool CreateUndo(uint8_t kind, int32_t position, int32_t count, int32_t fourth);
    // Answers whether a step was taken back.
    bool Undo();
    void ResetUndo();
    bool HasChanged(int32_t position) const;
    void SetChanged(int32_t position, bool flag);

    // ---------------------------------------------------------------- editing
    void ChangeByte(uint8_t oldByte, uint8_t newByte, int32_t position, int col, int row);
    void InsertBuffer(const uint8_t* buffer, int32_t count, int32_t position);
    void AppendBuffer(const uint8_t* buffer, int32_t count);
    void ReplaceSelection(const uint8_t* buffer, int32_t count);
    void DeleteSelection();
    void InternalErase(bool backspace);
    bool InsertNibble(int32_t position, bool high);
    bool DeleteNibble(int32_t position, bool high);

    // ---------------------------------------------------------------- translation
    // The character drawn for a stored byte, and the byte stored for a typed character
    // (0: refused), in the current Translation.
    uint8_t TranslateToAnsiChar(uint8_t value) const;
    uint8_t TranslateFromAnsiChar(uint8_t value) const;
    void ConvertRange(int32_t from, int32_t to, TTranslationType fromType, TTranslationType toType);

    // ---------------------------------------------------------------- geometry
    // The position of a cell; leaves the InCharField flag on the cell's field.
    int32_t GetPosAtCursor(int col, int row);
    // Puts the InCharField flag on the current cell's field and answers it.
    bool SyncInCharField();
    TGridCoord GetCursorAtPos(int32_t position, bool inCharField);
    int GetRow(int32_t position);
    int GetOtherFieldCol(int col, bool& inCharField) const;
    int GetOtherFieldCol(int col) { return GetOtherFieldCol(col, InCharField); }
    bool OutOfBounds(int col, int row);
    bool GetInCharField();
    void SetInCharField(bool value);
    int32_t GetLineOffset(int row);
    int32_t GetLineLength(int row);
    void SetLineLength(int row, int32_t length); // "Invalid Line Length argument"
    void SetLineLengths(const std::vector<int32_t>& lengths);
    void SetVariableLineLength(bool value);
    void CalcSizes();
    void AdjustMetrics();
    void SetOffsetDisplayWidth();
    // The offset column's text for row (empty data: the row-0 text of empty data).
    std::string GetOffsetText(int row);

    // ---------------------------------------------------------------- selection and markers
    void Select(int fromCol, int fromRow, int toCol, int toRow);
    bool IsSelected(int32_t position) const;
    void ResetSelection(bool redraw);
    void RedrawPos(int32_t from, int32_t to);
    int32_t GetSelStart();
    void SetSelStart(int32_t position); // "Invalid SelStart"
    int32_t GetSelEnd();
    void SetSelEnd(int32_t position); // "Invalid SelEnd"
    int32_t GetSelCount() const;
    int32_t GetCursorPos();
    int IsMarkerPos(int row) const;
    int32_t GetMarker(uint8_t index) const; // "SetMarker : Invalid marker index"
    void SetMarker(uint8_t index, int32_t row); // "SetMarker : Invalid marker index"
    int32_t GetMarkerRow(uint8_t index) const;

    // ---------------------------------------------------------------- drawing and caret
    // What the cell (col, row) shows: text, colours, font and cursor mark. Reads the
    // byte through the read window, like painting does.
    TCellLook CellLook(int col, int row);
    // The caret: it exists only while the control has the focus.
    void CreateColoredCaret();
    bool GetCaretExists() const { return FCaretExists; }
    bool GetCaretShown() const { return FCaretExists && FCaretShown; }
    QPoint GetCaretPos() const { return FCaretPos; }
    const QImage& GetCaretBitmap() const { return FCaretBitmap; }
    // How often painting and searching (re)loaded the read window from the working file.
    int64_t GetWindowLoads() const { return FWorkingFile.WindowLoads(); }

    // ---------------------------------------------------------------- keyboard
    // The editor's own navigation keys; true when the key was one of them.
    bool ParseKeyDown(TShiftState shift, uint8_t key);

    // ---------------------------------------------------------------- find, seek, text
    // The pattern is changed in place (translated for asText, lower-cased for ignoreCase).
    int32_t Find(uint8_t* pattern, int32_t count, int32_t start, int32_t end, bool ignoreCase, bool asText);
    bool Seek(int32_t offset, int32_t origin, bool refuseOutside);
    std::string GetAsText();
    void SetAsText(const std::string& text);
    std::string GetAsHex();
    void SetAsHex(const std::string& text);

protected:
    // ---------------------------------------------------------------- internal workers
    void DoCreateUndo(uint8_t kind, int32_t position, int32_t count, int32_t fourth);
    void InternalInsertBuffer(const uint8_t* buffer, int32_t count, int32_t position);
    void InternalAppendBuffer(const uint8_t* buffer, int32_t count);
    // Both of them; no position is the end of the data.
    void InsertAt(
        const uint8_t* buffer, int32_t count, std::optional<int32_t> position, const char* tooLarge);
    void InternalDeleteSelection(int32_t start, int32_t end, int col, int row);
    void InternalGetCurSel(int32_t& start, int32_t& end, int& col, int& row);
    bool InternalInsertNibble(int32_t position, bool high);
    bool InternalDeleteNibble(int32_t position, bool high);
    std::unique_ptr<FileStream> CreateShift4BitStream(int32_t start, std::string& fileName);
    void InternalConvertRange(int32_t from, int32_t to, TTranslationType fromType, TTranslationType toType);
    void AdjustLineLengthsCount();
    void ClearOffsets();
    bool CheckSelectCell(int col, int row);
    // Moves the current cell (anchor moved, scrolled into view).
    void MoveTo(int col, int row) { MoveColRow(col, row, true, true); }
    void MoveTo(TGridCoord cell) { MoveColRow(cell.x, cell.y, true, true); }
    // Puts the caret at the top-left corner of a cell (off screen when the cell is not
    // visible).
    void CaretToCell(int col, int row);
    // The caret primitives of the platform, done by hand: the caret is drawn over the
    // cells by PaintOverlay.
    void SetCaretPos(QPoint pos);
    void ShowCaret();
    void HideCaret();
    void DestroyCaret();
    QRect CaretRect() const;
    // Column rule of the page and vertical keys.
    int TargetColumn(int targetRow);
    int LastColumnOfLine(int col, int row);
    bool IsAtLineEnd(int col, int row);
    // The parts of ParseKeyDown.
    void PageKey(bool down, bool ctrl);
    void EndKey(bool ctrl, bool inChars, int32_t size);
    bool HorizontalKey(bool right, bool ctrl, int32_t p, bool inChars, int32_t size);
    bool MarkerKey(TShiftState shift, uint8_t digit);

    // ---------------------------------------------------------------- grid hooks
    bool SelectCell(int col, int row) override;
    void CMFontChanged() override;
    bool event(QEvent* event) override;
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state) override;
    void PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow) override;
    void PaintOverlay(QPainter& painter) override;
    void KeyDown(uint16_t& key, TShiftState shift) override;
    void KeyUp(uint16_t& key, TShiftState shift) override;
    void WMChar(uint8_t ch) override;
    uint32_t WMGetDlgCode() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void WMSetFocus() override;
    void WMKillFocus() override;
    void WMVScroll() override;
    void WMHScroll() override;
    void TopLeftChanged() override;
    void CurrentCellMoved() override;

    // ---------------------------------------------------------------- state
    // Names the design gives keep their names; the rest carry the F prefix.
    WorkingFile FWorkingFile;
    ChangeMarks FChangeMarks;
    UndoStore FUndo;

    std::string FileName = "---";
    bool Modified = false;
    bool ReadOnlyFile = true;
    bool CanUndo = false;
    std::string UndoDescription = "No Undo";

    // BytesPerLine, BytesPerColumn, VariableLineLength and LineOffsets.
    HexLayout FLayout;
    bool ShowMarkerColumn = true;
    TOffsetDisplayStyle OffsetDisplay = odHex;
    char OffsetSeparator = ':';
    int32_t CharWidth = -1;
    int32_t LineHeight = 0;
    int32_t OffsetDisplayWidth = -1;
    bool InCharField = false;

    int32_t SelAnchor = -1;
    int32_t SelFirst = -1;
    int32_t SelLast = -1;
    bool Selecting = false;
    std::array<int32_t, 10> Markers;

    TTranslationType Translation = ttAnsi;
    int SwapNibbles = 0; // 0 or 1, compared as a column offset
    bool NoSizeChange = false;
    bool AllowInsertMode = false;
    bool InsertToggle = false;
    bool AltCharPending = false;
    TCaretStyle CaretStyle = csFull;
    bool AutoCaretMode = true;
    bool FocusFrame = true;
    bool MaskWhiteSpaces = true;
    char MaskChar = '.';
    bool WantTabs = true;
    bool ReadOnlyView = false;

    bool FWindowCreatedOnce = false;
    // Off while CheckSelectCell moves the cell itself.
    bool FSelectCellGuard = true;

    // ---------------------------------------------------------------- painting state
    std::unique_ptr<TColors> FColors;
    // The caret: its bitmap, and the shape it was made with (drawn by inversion).
    QImage FCaretBitmap;
    bool FCaretExists = false;
    bool FCaretShown = false;
    QPoint FCaretPos{-50, -50};
    TCaretStyle FCaretShapeStyle = csFull;
    int FCaretShapeWidth = 0;
    int FCaretShapeHeight = 0;
    TColor FCaretShapeColor = clNavy;

private:
    void FinishLoad();
    bool ShiftNibble(bool insert, int32_t position, bool high);
    // Undo's step for every kind but a byte change, up to putting the caret back:
    // answers false for a kind it does not know, and where the change marks end.
    bool TakeBack(const TUndoRec& rec, const uint8_t* saved, int32_t& marksFrom);
    // Runs a relayout that keeps the caret on its byte and field and the selection as it
    // was.
    template <typename Relayout> void KeepCaretAcross(Relayout&& relayout);

    // What a cell shows, from the facts painting already knows (one data size query
    // and one read window check per row).
    TCellFacts CellFacts(int col, int row, int32_t dataSize);
    void PaintLook(QPainter& painter, const QRect& rect, const std::string& text, TColor textColor,
        TColor backColor, TCellFont font);
    void PaintMark(QPainter& painter, const QRect& rect, TCursorMark mark);
    void PaintGlyphs(QPainter& painter, const QRect& rect, const std::string& text);
    void PrepareGlyphs();
    QFont MarkerFont() const;

    // Glyphs of the control's font by Windows-1252 code, placed one per CharWidth.
    QFont FGlyphFont;
    QRawFont FRawFont;
    std::array<quint32, 256> FGlyphIndex{};
    bool FGlyphsReady = false;
    int FGlyphAscent = 0;
    // Row buffers of PaintCells, kept to save allocations.
    std::vector<TCellLook> FRowLooks;
    std::vector<QRect> FRowRects;
};
