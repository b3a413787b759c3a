#pragma once
// TCustomGrid: the grid base of the hex editor, in the shape of the classic framework's
// grid control, on a QAbstractScrollArea.
//
// Geometry: ColCount x RowCount cells; the first FixedCols columns and FixedRows rows
// are fixed (they do not scroll and never become current). Every column has its own
// width; every row has DefaultRowHeight. A cell is followed by a grid line of
// GridLineWidth pixels when the matching option is set.
//
// Scrolling is by whole rows and columns: the vertical scroll bar's value is the first
// visible scrolling row (TopRow - FixedRows), so tens of millions of rows fit an int.
// Nothing here is proportional to the row count: rows have no per-row state.
//
// Painting: only the cells inside the update rectangle are painted, through the virtual
// PaintCells (per block of cells) whose default calls DrawCell per cell. The viewport is
// opaque: invalidating never erases, each cell fills its own rectangle. The area right
// of the last column and below the last row is filled with Color.
//
// Input: Qt events are turned into the classic hooks (KeyDown, KeyUp, WMChar,
// MouseDown, MouseMove, MouseUp, WMSetFocus, WMKillFocus, WMVScroll, WMHScroll) with
// virtual-key codes and a TShiftState (VirtualKeys.h). A subclass overrides a hook and
// calls the base's version for what it leaves alone.
//
// Errors: no exception may reach Qt. Every event entry runs under the process's error
// sink (base/ErrorSink.h), which the application points at its error display.
#include "hexeditor/Graphics.h"
#include "hexeditor/GridAxis.h"
#include "hexeditor/GridCoord.h"
#include "hexeditor/SmallSet.h"
#include "hexeditor/VirtualKeys.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

class QPainter;
class QTimer;

enum TGridOption {
    goFixedVertLine,
    goFixedHorzLine,
    goVertLine,
    goHorzLine,
    goRangeSelect,
    goDrawFocusSelected,
    goTabs,
    goThumbTracking,
};
using TGridOptions = TSmallSet<TGridOption>;

enum TGridDrawStateItem { gdSelected, gdFocused, gdFixed };
using TGridDrawState = TSmallSet<TGridDrawStateItem>;

enum TGridBorderStyle { bsNone, bsSingle };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TCustomGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TCustomGrid(QWidget* parent = nullptr);
    ~TCustomGrid() override;

    // --- Size and layout. Every setter may be called at any time; it keeps the current
    // cell, TopRow and LeftCol inside the grid and repaints. Counts are at least 1;
    // fixed counts are lowered as needed to stay below the counts.
    int ColCount() const { return FColCount; }
    void SetColCount(int value);
    int RowCount() const { return FRowCount; }
    void SetRowCount(int value);
    int FixedCols() const { return FFixedCols; }
    // Changing a fixed count puts LeftCol (TopRow) on the first scrolling column (row).
    void SetFixedCols(int value); // raises EInvalidGridOperation unless 0 <= value < ColCount
    int FixedRows() const { return FFixedRows; }
    void SetFixedRows(int value); // raises EInvalidGridOperation unless 0 <= value < RowCount
    // Width of column col in pixels (0 allowed); col outside the grid raises
    // EInvalidGridOperation("Grid index out of range").
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int DefaultColWidth() const { return FDefaultColWidth; }
    void SetDefaultColWidth(int value); // also resets every column to that width
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    void SetDefaultRowHeight(int value); // the height of every row
    int GridLineWidth() const { return FGridLineWidth; }
    void SetGridLineWidth(int value);
    TGridOptions Options() const { return FOptions; }
    void SetOptions(TGridOptions value);
    // When on, the base fills each cell with Color (fixed cells with the button face)
    // before DrawCell and frames the focused current cell.
    bool DefaultDrawing() const { return FDefaultDrawing; }
    void SetDefaultDrawing(bool value);

    // --- Appearance.
    TGridBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TGridBorderStyle value);
    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool value);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value);
    // The control's colour (cells painted by default drawing and the empty area).
    TColor Color() const { return FColor; }
    void SetColor(TColor value); // also turns ParentColor off
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);
    QColor EffectiveColor() const; // Color resolved, or the parent's when ParentColor
    // The colour of text in the control's font.
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value);
    // The mouse pointer over the cells (the I-beam for the hex editor, an hourglass while
    // a long operation runs).
    QCursor Cursor() const;
    void SetCursor(const QCursor& cursor);

    // --- Current cell and scroll position.
    int Col() const { return FCol; }
    void SetCol(int value); // MoveColRow(value, Row, true, true) when value differs
    int Row() const { return FRow; }
    void SetRow(int value); // MoveColRow(Col, value, true, true) when value differs
    int TopRow() const { return FTopRow; }
    void SetTopRow(int value); // clamped to FixedRows..the largest useful first row
    int LeftCol() const { return FLeftCol; }
    void SetLeftCol(int value); // clamped like TopRow
    // Scrolling rows (columns) from TopRow (LeftCol) that are fully visible; at least 1
    // while any scrolling row (column) is left, even when the viewport is too small.
    int VisibleRowCount() const;
    int VisibleColCount() const;
    // The last row (column) that is at least partly visible, -1 when none is.
    int LastVisibleRow() const;
    int LastVisibleCol() const;
    bool IsCellVisible(int col, int row) const;
    // The range anchor and the current cell as a block.
    TGridCoord Anchor() const { return FAnchor; }
    TGridRect Selection() const;

    // Makes (col, row) the current cell. Raises EInvalidGridOperation("Grid index out of
    // range") for a cell outside the grid or in a fixed row or column. Asks SelectCell
    // first and changes nothing when it refuses; otherwise makes the cell current,
    // restarts the anchor there when moveAnchor (or without goRangeSelect), scrolls it
    // into view when show, and repaints the old and the new current cell.
    void MoveColRow(int col, int row, bool moveAnchor, bool show);

    // Cell rectangles in viewport pixels, cut at the viewport's right and bottom edges.
    // A cell that is not visible gives QRect(): x, y, width and height all 0.
    QRect CellRect(int col, int row) const;
    // The rectangle covering the visible part of a block of cells (any corner order).
    QRect BoxRect(int left, int top, int right, int bottom) const;
    // The cell under a viewport point, (-1, -1) when there is none.
    TGridCoord MouseCoord(int x, int y) const;
    void MouseToCell(int x, int y, int& col, int& row) const;

    // Repaint requests; none of them erases, and invisible cells cost nothing.
    void InvalidateCell(int col, int row);
    void InvalidateCol(int col);
    void InvalidateRow(int row);
    void InvalidateRows(int firstRow, int lastRow);
    void InvalidateBox(int left, int top, int right, int bottom);
    void InvalidateGrid();
    void Invalidate() { InvalidateGrid(); }
    void Repaint(); // paints the invalid area now

    bool Focused() const { return hasFocus(); }

    // Whether a modifier key (VK_SHIFT, VK_CONTROL, VK_MENU) or a mouse button
    // (VK_LBUTTON, VK_RBUTTON, VK_MBUTTON) is down, as the platform reports it or as the
    // last input event a grid received says.
    static bool IsKeyDown(uint16_t virtualKey);

    // The process's error sink under the grid's name (base/ErrorSink.h): where errors
    // from the hooks go; empty puts the default (the log) back.
    using TErrorHandler = std::function<void(const std::exception&)>;
    static void SetErrorHandler(TErrorHandler handler);

protected:
    // --- Hooks for a subclass.
    // Asked before every change of the current cell; false keeps the old cell.
    virtual bool SelectCell(int col, int row);
    // Paints one cell into rect (viewport pixels, already cut to the viewport).
    virtual void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state);
    // Paints the visible cells firstCol..lastCol x firstRow..lastRow, a block that lies
    // wholly in one of the four areas (fixed or scrolling rows x fixed or scrolling
    // columns), so its cells sit side by side: a subclass may draw a row as one text run.
    // The default calls DrawCell for each cell with CellRect and its draw state.
    virtual void PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow);
    // Painted after the cells and grid lines (a caret, a frame).
    virtual void PaintOverlay(QPainter& painter);
    // The draw state the base gives a cell.
    TGridDrawState CellDrawState(int col, int row) const;

    // Key handling. KeyDown's default is the grid's navigation: arrows one cell, Page
    // Up/Down a page of rows, Home/End first/last column (with Ctrl first/last cell),
    // Ctrl+Up/Down scroll one row, Tab/Shift+Tab next/previous cell with goTabs. Every
    // move goes through MoveColRow. Setting key to 0 marks it as handled.
    virtual void KeyDown(uint16_t& key, TShiftState shift);
    virtual void KeyUp(uint16_t& key, TShiftState shift);
    // The typed character (one Windows-1252 byte); arrives after KeyDown, also when
    // KeyDown handled the key. Default: nothing.
    virtual void WMChar(uint8_t ch);
    // Which keys the control takes from the focus chain: DLGC_WANTTAB makes Tab and
    // Shift+Tab reach KeyDown. Default: arrows, plus Tab when goTabs is set.
    virtual uint32_t WMGetDlgCode();

    // Mouse handling, in viewport pixels. MouseDown's default: take the focus; a left
    // press on a scrolling cell makes it current (through MoveColRow); moving with the
    // left button held moves the current cell with the pointer and scrolls at the edges.
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

    // Focus: defaults repaint the current cell.
    virtual void WMSetFocus();
    virtual void WMKillFocus();
    // Called after the user scrolled with a scroll bar or the wheel (the base has moved
    // TopRow or LeftCol and asked for the repaint).
    virtual void WMVScroll();
    virtual void WMHScroll();
    // Called after every change of TopRow or LeftCol, however it came about.
    virtual void TopLeftChanged();
    // Called after the current cell moved, or the cells moved under it (column widths, row
    // height, size): what follows the current cell on screen goes there, never in a paint.
    virtual void CurrentCellMoved() { }
    // Called after the control's font changed.
    virtual void CMFontChanged();

    // --- Qt plumbing.
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Runs f; an exception goes to the error sink instead of Qt.
    void Guarded(const std::function<void()>& f);
    // Called from a catch block while painting: keeps the error to be reported once the
    // paint is over. Painting goes on with what it can draw.
    void NotePaintError();

private:
    // Geometry helpers; none proportional to the row count.
    GridAxis Cols() const;
    GridAxis Rows() const;
    int ColLineWidth(int col) const;
    int RowPitch(int row) const; // height plus line of a row
    int FixedWidth() const;
    int FixedHeight() const;
    int ColX(int col) const; // left edge, meaningful for visible columns
    int64_t RowY(int row) const;
    int RowsThatFit() const; // scrolling rows that fit fully below the fixed rows
    int MaxTopRow() const;
    int MaxLeftCol() const;
    void RebuildColStarts();
    void LayoutChanged(bool topLeftMoved = false); // clamps, updates the scroll bars, repaints
    void ClampCurrent();
    void UpdateScrollBars();
    void ScrollTo(int topRow, int leftCol, bool byUser);
    void ScrollInView(int col, int row);
    void ApplyFrame();
    void DispatchMouseDown(QMouseEvent* event, bool doubleClick);
    void SelectingTick();

    // Where a navigation key takes the current cell and the first visible row; false
    // for a key that is not one.
    struct TKeyTarget {
        int col;
        int row;
        int top;
    };
    bool CtrlKeyTarget(uint16_t key, TKeyTarget& target) const;
    bool PlainKeyTarget(uint16_t key, TShiftState shift, TKeyTarget& target) const;

    // Painting in parts: a part that fails is noted and leaves the others drawn.
    struct TSpan {
        int first;
        int last;
    };
    void PaintPart(const std::function<void()>& part);
    void PaintGrid(QPainter& painter, const QRect& clip);
    void PaintGridLines(QPainter& painter, const TSpan (&colSpans)[2], const TSpan (&rowSpans)[2],
        int gridRight, int gridBottom);
    // The columns (rows) from..to that meet the update rectangle.
    TSpan ColPaintSpan(int from, int to, const QRect& clip) const;
    TSpan RowPaintSpan(int from, int to, int64_t areaTop, int firstIndex, int pitch, const QRect& clip) const;

    int FColCount = 5;
    int FRowCount = 5;
    int FFixedCols = 1;
    int FFixedRows = 1;
    int FDefaultColWidth = 64;
    int FDefaultRowHeight = 24;
    int FGridLineWidth = 1;
    std::vector<int> FColWidths;
    std::vector<int> FColStarts; // FColStarts[c]: sum of widths and lines of columns < c
    TGridOptions FOptions{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine, goRangeSelect};
    bool FDefaultDrawing = true;
    TGridBorderStyle FBorderStyle = bsSingle;
    bool FCtl3D = true;
    TScrollStyle FScrollBars = ssBoth;
    TColor FColor = clWindow;
    bool FParentColor = false;
    TColor FFontColor = clWindowText;

    int FCol = 1;
    int FRow = 1;
    TGridCoord FAnchor{1, 1};
    int FTopRow = 1;
    int FLeftCol = 1;

    bool FUpdatingScrollBars = false;
    bool FSelecting = false; // left button held after a press on a cell
    QPoint FLastMousePos;
    QTimer* FScrollTimer = nullptr;

    // Errors raised while painting are never shown from inside the paint: a message box
    // repaints the grid under it and would raise the same error again. The first error
    // of a paint is kept and reported through a queued call; further failing paints add
    // nothing until the whole grid has been painted without an error again.
    void ReportPaintError();
    std::exception_ptr FPaintError; // the first error of the paint in progress
    bool FPaintErrorQueued = false; // a report is queued or being shown
    bool FPaintErrorReported = false; // no clean full paint since the last report
};
