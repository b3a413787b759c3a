// TCustomGrid: keyboard and mouse. Qt's events become the classic hooks (virtual keys,
// shift states, the typed character); the defaults move the current cell, and a drag
// with the left button scrolls when the pointer leaves the cells.
#include "hexeditor/CustomGrid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>

bool TCustomGrid::IsKeyDown(uint16_t virtualKey)
{
    return PlatformKeyDown(virtualKey) || TrackedKeyDown(virtualKey);
}

uint32_t TCustomGrid::WMGetDlgCode()
{
    uint32_t code = DLGC_WANTARROWS;
    if (FOptions.Contains(goTabs))
        code |= DLGC_WANTTAB;
    return code;
}

namespace {

// The rows and columns an arrow key moves by; false for any other key.
bool ArrowStep(uint16_t key, int& rows, int& cols)
{
    rows = key == VK_DOWN ? 1 : key == VK_UP ? -1 : 0;
    cols = key == VK_RIGHT ? 1 : key == VK_LEFT ? -1 : 0;
    return rows != 0 || cols != 0;
}

} // namespace

bool TCustomGrid::CtrlKeyTarget(uint16_t key, TKeyTarget& t) const
{
    int rows = 0;
    int cols = 0;
    if (ArrowStep(key, rows, cols)) {
        // Ctrl+Up/Down scroll instead of moving.
        t.top += rows;
        t.col += cols;
        return true;
    }
    switch (key) {
    case VK_PRIOR:
        t.row = FTopRow;
        return true;
    case VK_NEXT:
        t.row = FTopRow + VisibleRowCount() - 1;
        return true;
    case VK_HOME:
        t.col = FFixedCols;
        t.row = FFixedRows;
        return true;
    case VK_END:
        t.col = FColCount - 1;
        t.row = FRowCount - 1;
        return true;
    default:
        return false;
    }
}

bool TCustomGrid::PlainKeyTarget(uint16_t key, TShiftState shift, TKeyTarget& t) const
{
    int rows = 0;
    int cols = 0;
    if (ArrowStep(key, rows, cols)) {
        t.row += rows;
        t.col += cols;
        return true;
    }
    const int page = std::max(1, RowsThatFit());
    switch (key) {
    case VK_PRIOR:
        t.row -= page;
        t.top -= page;
        return true;
    case VK_NEXT:
        t.row += page;
        t.top += page;
        return true;
    case VK_HOME:
        t.col = FFixedCols;
        return true;
    case VK_END:
        t.col = FColCount - 1;
        return true;
    case VK_TAB:
        if (!FOptions.Contains(goTabs) || shift.Contains(ssAlt))
            return false;
        // Tab runs along the row and on to the next one; Shift+Tab back.
        if (shift.Contains(ssShift)) {
            if (t.col > FFixedCols) {
                --t.col;
            } else if (t.row > FFixedRows) {
                --t.row;
                t.col = FColCount - 1;
            }
        } else if (t.col < FColCount - 1) {
            ++t.col;
        } else if (t.row < FRowCount - 1) {
            ++t.row;
            t.col = FFixedCols;
        }
        return true;
    default:
        return false;
    }
}

void TCustomGrid::KeyDown(uint16_t& key, TShiftState shift)
{
    if (key == 0)
        return;
    TKeyTarget t{FCol, FRow, FTopRow};
    const bool known = shift.Contains(ssCtrl) ? CtrlKeyTarget(key, t) : PlainKeyTarget(key, shift, t);
    if (!known)
        return;
    const int col = std::clamp(t.col, FFixedCols, FColCount - 1);
    const int row = int(std::clamp<int64_t>(t.row, FFixedRows, FRowCount - 1));
    if (t.top != FTopRow)
        ScrollTo(int(std::clamp<int64_t>(t.top, FFixedRows, FRowCount - 1)), FLeftCol, false);
    if (col != FCol || row != FRow)
        MoveColRow(col, row, !shift.Contains(ssShift), true);
}

void TCustomGrid::KeyUp(uint16_t&, TShiftState) { }

void TCustomGrid::WMChar(uint8_t) { }

bool TCustomGrid::event(QEvent* event)
{
    // Tab and Shift+Tab normally move the focus; a grid that wants them takes them.
    if (event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab) {
            bool wanted = false;
            Guarded([&] { wanted = (WMGetDlgCode() & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) != 0; });
            if (wanted) {
                keyPressEvent(keyEvent);
                return true;
            }
        }
    }
    return QAbstractScrollArea::event(event);
}

void TCustomGrid::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    TrackKeyEvent(*event);
    Guarded([&] {
        uint16_t key = VirtualKeyFromQt(event->key(), event->modifiers());
        const TShiftState shift = ShiftStateFromKeyEvent(*event);
        const uint16_t pressed = key;
        if (key != 0)
            KeyDown(key, shift);
        const int ch = TypedChar(*event, pressed, shift);
        if (ch >= 0)
            WMChar(uint8_t(ch));
    });
}

void TCustomGrid::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
    if (event->isAutoRepeat())
        return; // the key is still held
    TrackKeyEvent(*event);
    Guarded([&] {
        uint16_t key = VirtualKeyFromQt(event->key(), event->modifiers());
        if (key != 0)
            KeyUp(key, ShiftStateFromKeyEvent(*event));
    });
}

// ---------------------------------------------------------------- mouse

void TCustomGrid::DispatchMouseDown(QMouseEvent* event, bool doubleClick)
{
    event->accept();
    TrackMouseButtons(event->buttons());
    TrackMouseModifiers(event->modifiers());
    TMouseButton button;
    if (!MouseButtonFromQt(event->button(), button))
        return;
    TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    if (doubleClick)
        shift.Include(ssDouble);
    const QPoint pos = event->position().toPoint();
    Guarded([&] { MouseDown(button, shift, pos.x(), pos.y()); });
}

void TCustomGrid::mousePressEvent(QMouseEvent* event)
{
    DispatchMouseDown(event, false);
}

void TCustomGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    DispatchMouseDown(event, true);
}

void TCustomGrid::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    TrackMouseButtons(event->buttons());
    const QPoint pos = event->position().toPoint();
    const TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    Guarded([&] { MouseMove(shift, pos.x(), pos.y()); });
}

void TCustomGrid::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    TrackMouseButtons(event->buttons());
    TMouseButton button;
    if (!MouseButtonFromQt(event->button(), button))
        return;
    const QPoint pos = event->position().toPoint();
    const TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    Guarded([&] { MouseUp(button, shift, pos.x(), pos.y()); });
}

void TCustomGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (!hasFocus() && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    if (button != mbLeft)
        return;
    const TGridCoord cell = MouseCoord(x, y);
    if (cell.x < FFixedCols || cell.y < FFixedRows)
        return;
    FSelecting = true;
    FLastMousePos = QPoint(x, y);
    const bool extend = shift.Contains(ssShift) && FOptions.Contains(goRangeSelect);
    MoveColRow(cell.x, cell.y, !extend, true);
}

void TCustomGrid::MouseMove(TShiftState shift, int x, int y)
{
    if (!FSelecting)
        return;
    if (!shift.Contains(ssLeft)) {
        FSelecting = false;
        FScrollTimer->stop();
        return;
    }
    FLastMousePos = QPoint(x, y);
    const bool outside
        = x < FixedWidth() || y < FixedHeight() || x >= viewport()->width() || y >= viewport()->height();
    if (outside) {
        if (!FScrollTimer->isActive())
            FScrollTimer->start();
        return;
    }
    FScrollTimer->stop();
    const TGridCoord cell = MouseCoord(x, y);
    if (cell.x >= FFixedCols && cell.y >= FFixedRows && (cell.x != FCol || cell.y != FRow))
        MoveColRow(cell.x, cell.y, !FOptions.Contains(goRangeSelect), true);
}

void TCustomGrid::MouseUp(TMouseButton button, TShiftState, int, int)
{
    if (button == mbLeft) {
        FSelecting = false;
        FScrollTimer->stop();
    }
}

void TCustomGrid::SelectingTick()
{
    if (!FSelecting || !IsKeyDown(VK_LBUTTON)) {
        FSelecting = false;
        FScrollTimer->stop();
        return;
    }
    // One row or column further towards the pointer per tick.
    const int x = FLastMousePos.x();
    const int y = FLastMousePos.y();
    const TGridCoord cell = MouseCoord(x, y);
    int row = FRow;
    if (y < FixedHeight())
        row = FTopRow - 1;
    else if (y >= viewport()->height())
        row = FTopRow + VisibleRowCount();
    else if (cell.y >= FFixedRows)
        row = cell.y;
    int col = FCol;
    if (x < FixedWidth())
        col = FLeftCol - 1;
    else if (x >= viewport()->width())
        col = FLeftCol + VisibleColCount();
    else if (cell.x >= FFixedCols)
        col = cell.x;
    row = std::clamp(row, FFixedRows, FRowCount - 1);
    col = std::clamp(col, FFixedCols, FColCount - 1);
    if (col != FCol || row != FRow)
        MoveColRow(col, row, !FOptions.Contains(goRangeSelect), true);
}
