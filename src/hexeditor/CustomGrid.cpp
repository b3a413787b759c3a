// TCustomGrid: construction, the size and appearance settings, the current cell and
// scrolling, the focus and font hooks, and the error guard of every event entry.
// Geometry, painting and input have files of their own (CustomGridGeometry.cpp,
// CustomGridPaint.cpp, CustomGridInput.cpp).
#include "hexeditor/CustomGrid.h"

#include "base/ErrorSink.h"
#include "base/Errors.h"

#include <QFocusEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
constexpr int AutoScrollInterval = 60; // milliseconds between rows while dragging outside
} // namespace

TCustomGrid::TCustomGrid(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    FColWidths.assign(size_t(FColCount), FDefaultColWidth);
    RebuildColStarts();
    FScrollTimer = new QTimer(this);
    FScrollTimer->setInterval(AutoScrollInterval);
    connect(FScrollTimer, &QTimer::timeout, this, [this] { Guarded([this] { SelectingTick(); }); });
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setTracking(FOptions.Contains(goThumbTracking));
    horizontalScrollBar()->setTracking(FOptions.Contains(goThumbTracking));
    ApplyFrame();
    UpdateScrollBars();
}

TCustomGrid::~TCustomGrid() = default;

// ---------------------------------------------------------------- size and layout

void TCustomGrid::SetColCount(int value)
{
    value = std::max(1, value);
    if (value == FColCount)
        return;
    FColCount = value;
    FColWidths.resize(size_t(value), FDefaultColWidth);
    if (FFixedCols >= value)
        FFixedCols = value - 1;
    RebuildColStarts();
    LayoutChanged();
}

void TCustomGrid::SetRowCount(int value)
{
    value = std::max(1, value);
    if (value == FRowCount)
        return;
    FRowCount = value;
    if (FFixedRows >= value)
        FFixedRows = value - 1;
    LayoutChanged();
}

void TCustomGrid::SetFixedCols(int value)
{
    if (value < 0)
        throw EInvalidGridOperation();
    if (value >= FColCount)
        throw EInvalidGridOperation("Fixed column count must be less than column count");
    if (value == FFixedCols)
        return;
    FFixedCols = value;
    // The view starts over at the first scrolling column.
    const bool moved = FLeftCol != value;
    FLeftCol = value;
    RebuildColStarts();
    LayoutChanged(moved);
}

void TCustomGrid::SetFixedRows(int value)
{
    if (value < 0)
        throw EInvalidGridOperation();
    if (value >= FRowCount)
        throw EInvalidGridOperation("Fixed row count must be less than row count");
    if (value == FFixedRows)
        return;
    FFixedRows = value;
    const bool moved = FTopRow != value;
    FTopRow = value;
    LayoutChanged(moved);
}

int TCustomGrid::ColWidths(int col) const
{
    if (col < 0 || col >= FColCount)
        throw EInvalidGridOperation();
    return FColWidths[size_t(col)];
}

void TCustomGrid::SetColWidths(int col, int width)
{
    if (col < 0 || col >= FColCount)
        throw EInvalidGridOperation();
    width = std::max(0, width);
    if (FColWidths[size_t(col)] == width)
        return;
    FColWidths[size_t(col)] = width;
    RebuildColStarts();
    LayoutChanged();
}

void TCustomGrid::SetDefaultColWidth(int value)
{
    value = std::max(0, value);
    FDefaultColWidth = value;
    std::fill(FColWidths.begin(), FColWidths.end(), value);
    RebuildColStarts();
    LayoutChanged();
}

void TCustomGrid::SetDefaultRowHeight(int value)
{
    value = std::max(0, value);
    if (value == FDefaultRowHeight)
        return;
    FDefaultRowHeight = value;
    LayoutChanged();
}

void TCustomGrid::SetGridLineWidth(int value)
{
    value = std::max(0, value);
    if (value == FGridLineWidth)
        return;
    FGridLineWidth = value;
    RebuildColStarts();
    LayoutChanged();
}

void TCustomGrid::SetOptions(TGridOptions value)
{
    if (value == FOptions)
        return;
    FOptions = value;
    verticalScrollBar()->setTracking(FOptions.Contains(goThumbTracking));
    horizontalScrollBar()->setTracking(FOptions.Contains(goThumbTracking));
    RebuildColStarts();
    LayoutChanged();
}

void TCustomGrid::SetDefaultDrawing(bool value)
{
    if (value == FDefaultDrawing)
        return;
    FDefaultDrawing = value;
    InvalidateGrid();
}

// ---------------------------------------------------------------- appearance

void TCustomGrid::SetBorderStyle(TGridBorderStyle value)
{
    if (value == FBorderStyle)
        return;
    FBorderStyle = value;
    ApplyFrame();
}

void TCustomGrid::SetCtl3D(bool value)
{
    if (value == FCtl3D)
        return;
    FCtl3D = value;
    ApplyFrame();
}

void TCustomGrid::ApplyFrame()
{
    if (FBorderStyle == bsNone) {
        setFrameStyle(QFrame::NoFrame);
    } else if (FCtl3D) {
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
}

void TCustomGrid::SetScrollBars(TScrollStyle value)
{
    FScrollBars = value;
    const bool vertical = value == ssVertical || value == ssBoth;
    const bool horizontal = value == ssHorizontal || value == ssBoth;
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void TCustomGrid::SetColor(TColor value)
{
    FParentColor = false;
    if (value == FColor)
        return;
    FColor = value;
    InvalidateGrid();
}

void TCustomGrid::SetParentColor(bool value)
{
    if (value == FParentColor)
        return;
    FParentColor = value;
    InvalidateGrid();
}

QColor TCustomGrid::EffectiveColor() const
{
    if (FParentColor && parentWidget())
        return parentWidget()->palette().color(QPalette::Window);
    return ColorToQColor(FColor, palette());
}

void TCustomGrid::SetFontColor(TColor value)
{
    if (value == FFontColor)
        return;
    FFontColor = value;
    InvalidateGrid();
}

QCursor TCustomGrid::Cursor() const
{
    return viewport()->cursor();
}

void TCustomGrid::SetCursor(const QCursor& cursor)
{
    viewport()->setCursor(cursor);
}

// ---------------------------------------------------------------- current cell and scrolling

bool TCustomGrid::SelectCell(int, int)
{
    return true;
}

void TCustomGrid::SetCol(int value)
{
    if (value != FCol)
        MoveColRow(value, FRow, true, true);
}

void TCustomGrid::SetRow(int value)
{
    if (value != FRow)
        MoveColRow(FCol, value, true, true);
}

void TCustomGrid::SetTopRow(int value)
{
    ScrollTo(value, FLeftCol, false);
}

void TCustomGrid::SetLeftCol(int value)
{
    ScrollTo(FTopRow, value, false);
}

void TCustomGrid::MoveColRow(int col, int row, bool moveAnchor, bool show)
{
    if (col < FFixedCols || row < FFixedRows || col >= FColCount || row >= FRowCount)
        throw EInvalidGridOperation();
    if (!SelectCell(col, row))
        return;
    const int oldCol = FCol;
    const int oldRow = FRow;
    const TGridRect oldSelection = Selection();
    FCol = col;
    FRow = row;
    if (moveAnchor || !FOptions.Contains(goRangeSelect))
        FAnchor = {col, row};
    if (show)
        ScrollInView(col, row);
    InvalidateCell(oldCol, oldRow);
    InvalidateCell(col, row);
    if (FDefaultDrawing && !(Selection() == oldSelection)) {
        InvalidateBox(oldSelection.left, oldSelection.top, oldSelection.right, oldSelection.bottom);
        const TGridRect selection = Selection();
        InvalidateBox(selection.left, selection.top, selection.right, selection.bottom);
    }
    CurrentCellMoved();
}

void TCustomGrid::ScrollInView(int col, int row)
{
    int top = FTopRow;
    int left = FLeftCol;
    if (row >= FFixedRows) {
        const int fit = std::max(1, RowsThatFit());
        if (row < top)
            top = row;
        else if (row >= int64_t(top) + fit)
            top = row - fit + 1;
    }
    if (col >= FFixedCols) {
        const int clientWidth = viewport()->width();
        const int64_t right = FColStarts[size_t(col)] + FColWidths[size_t(col)];
        if (col < left) {
            left = col;
        } else {
            while (left < col && FixedWidth() + right - FColStarts[size_t(left)] > clientWidth)
                ++left;
        }
    }
    ScrollTo(top, left, false);
}

void TCustomGrid::ScrollTo(int topRow, int leftCol, bool byUser)
{
    topRow = std::clamp(topRow, FFixedRows, MaxTopRow());
    leftCol = std::clamp(leftCol, FFixedCols, MaxLeftCol());
    const bool vertical = topRow != FTopRow;
    const bool horizontal = leftCol != FLeftCol;
    if (!vertical && !horizontal) {
        UpdateScrollBars(); // a bar dragged past the clamp goes back
        return;
    }
    FTopRow = topRow;
    FLeftCol = leftCol;
    UpdateScrollBars();
    InvalidateGrid();
    TopLeftChanged();
    if (byUser && vertical)
        WMVScroll();
    if (byUser && horizontal)
        WMHScroll();
}

void TCustomGrid::ClampCurrent()
{
    FCol = std::clamp(FCol, FFixedCols, FColCount - 1);
    FRow = std::clamp(FRow, FFixedRows, FRowCount - 1);
    FAnchor.x = std::clamp(FAnchor.x, FFixedCols, FColCount - 1);
    FAnchor.y = std::clamp(FAnchor.y, FFixedRows, FRowCount - 1);
}

void TCustomGrid::LayoutChanged(bool topLeftMoved)
{
    ClampCurrent();
    const int top = std::clamp(FTopRow, FFixedRows, MaxTopRow());
    const int left = std::clamp(FLeftCol, FFixedCols, MaxLeftCol());
    const bool moved = topLeftMoved || top != FTopRow || left != FLeftCol;
    FTopRow = top;
    FLeftCol = left;
    UpdateScrollBars();
    InvalidateGrid();
    if (moved)
        TopLeftChanged();
    CurrentCellMoved();
}

void TCustomGrid::UpdateScrollBars()
{
    FUpdatingScrollBars = true;
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, MaxTopRow() - FFixedRows);
    vertical->setPageStep(std::max(1, std::min(RowsThatFit(), FRowCount)));
    vertical->setValue(FTopRow - FFixedRows);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, MaxLeftCol() - FFixedCols);
    horizontal->setPageStep(std::max(1, VisibleColCount()));
    horizontal->setValue(FLeftCol - FFixedCols);
    FUpdatingScrollBars = false;
}

void TCustomGrid::scrollContentsBy(int, int)
{
    // The content is not shifted by pixels: a bar's value is a row or column index.
    if (FUpdatingScrollBars)
        return;
    Guarded([this] {
        ScrollTo(
            verticalScrollBar()->value() + FFixedRows, horizontalScrollBar()->value() + FFixedCols, true);
    });
}

void TCustomGrid::resizeEvent(QResizeEvent*)
{
    Guarded([this] { LayoutChanged(); });
}

// ---------------------------------------------------------------- focus, scroll and font hooks

void TCustomGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    Guarded([this] { WMSetFocus(); });
}

void TCustomGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    ForgetTrackedModifiers();
    FSelecting = false;
    FScrollTimer->stop();
    Guarded([this] { WMKillFocus(); });
}

void TCustomGrid::WMSetFocus()
{
    InvalidateCell(FCol, FRow);
}

void TCustomGrid::WMKillFocus()
{
    InvalidateCell(FCol, FRow);
}

void TCustomGrid::WMVScroll() { }

void TCustomGrid::WMHScroll() { }

void TCustomGrid::TopLeftChanged() { }

void TCustomGrid::CMFontChanged() { }

void TCustomGrid::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
        Guarded([this] {
            CMFontChanged();
            InvalidateGrid();
        });
        break;
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        InvalidateGrid();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- errors

void TCustomGrid::SetErrorHandler(TErrorHandler handler)
{
    SetErrorSink(std::move(handler));
}

void TCustomGrid::Guarded(const std::function<void()>& f)
{
    RunGuarded(f);
}
