#include "hexeditor/CustomGrid.h"

#include "base/ErrorSink.h"
#include "base/Errors.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QtDebug>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

// What the last input events seen by any grid said about the modifiers and buttons.
// The platform's own answer is asked too; this fills in where it lags behind (events
// that were synthesised rather than read from the window system).
Qt::KeyboardModifiers TrackedModifiers;
Qt::MouseButtons TrackedButtons;

void TrackKeyEvent(const QKeyEvent& event)
{
    Qt::KeyboardModifiers modifiers
        = event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const TShiftState state = ShiftStateFromKeyEvent(event);
    modifiers.setFlag(Qt::ShiftModifier, state.Contains(ssShift));
    modifiers.setFlag(Qt::ControlModifier, state.Contains(ssCtrl));
    modifiers.setFlag(Qt::AltModifier, state.Contains(ssAlt));
    TrackedModifiers = modifiers;
}

bool MouseButtonFromQt(Qt::MouseButton qtButton, TMouseButton& button)
{
    switch (qtButton) {
    case Qt::LeftButton:
        button = mbLeft;
        return true;
    case Qt::RightButton:
        button = mbRight;
        return true;
    case Qt::MiddleButton:
        button = mbMiddle;
        return true;
    default:
        return false;
    }
}

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

// ---------------------------------------------------------------- geometry

int TCustomGrid::ColLineWidth(int col) const
{
    const TGridOption option = col < FFixedCols ? goFixedVertLine : goVertLine;
    return FOptions.Contains(option) ? FGridLineWidth : 0;
}

int TCustomGrid::RowPitch(int row) const
{
    const TGridOption option = row < FFixedRows ? goFixedHorzLine : goHorzLine;
    return FDefaultRowHeight + (FOptions.Contains(option) ? FGridLineWidth : 0);
}

void TCustomGrid::RebuildColStarts()
{
    FColStarts.resize(size_t(FColCount) + 1);
    FColStarts[0] = 0;
    for (int c = 0; c < FColCount; ++c)
        FColStarts[size_t(c) + 1] = FColStarts[size_t(c)] + FColWidths[size_t(c)] + ColLineWidth(c);
}

int TCustomGrid::FixedWidth() const
{
    return int(std::min<int64_t>(FColStarts[size_t(FFixedCols)], INT_MAX / 2));
}

int TCustomGrid::FixedHeight() const
{
    return int(std::min<int64_t>(int64_t(FFixedRows) * RowPitch(0), INT_MAX / 2));
}

int TCustomGrid::ColX(int col) const
{
    int64_t x = col < FFixedCols ? FColStarts[size_t(col)]
                                 : FixedWidth() + FColStarts[size_t(col)] - FColStarts[size_t(FLeftCol)];
    return int(std::clamp<int64_t>(x, INT_MIN / 2, INT_MAX / 2));
}

int64_t TCustomGrid::RowY(int row) const
{
    if (row < FFixedRows)
        return int64_t(row) * RowPitch(0);
    return FixedHeight() + int64_t(row - FTopRow) * RowPitch(FFixedRows);
}

int TCustomGrid::RowsThatFit() const
{
    const int pitch = RowPitch(FFixedRows);
    const int available = viewport()->height() - FixedHeight();
    if (pitch <= 0)
        return FRowCount;
    if (available < FDefaultRowHeight)
        return 0;
    return (available - FDefaultRowHeight) / pitch + 1;
}

int TCustomGrid::MaxTopRow() const
{
    return std::max(FFixedRows, FRowCount - std::max(1, RowsThatFit()));
}

int TCustomGrid::MaxLeftCol() const
{
    // The smallest first column that still shows the last column whole.
    const int clientWidth = viewport()->width();
    const int last = FColCount - 1;
    if (last < FFixedCols)
        return FFixedCols;
    const int64_t lastRight = FColStarts[size_t(last)] + FColWidths[size_t(last)];
    for (int left = FFixedCols; left < last; ++left) {
        if (FixedWidth() + lastRight - FColStarts[size_t(left)] <= clientWidth)
            return left;
    }
    return last;
}

int TCustomGrid::VisibleRowCount() const
{
    const int left = FRowCount - FTopRow;
    return std::max(0, std::min(left, std::max(1, RowsThatFit())));
}

int TCustomGrid::VisibleColCount() const
{
    const int clientWidth = viewport()->width();
    int count = 0;
    for (int c = FLeftCol; c < FColCount; ++c) {
        if (int64_t(ColX(c)) + FColWidths[size_t(c)] > clientWidth)
            break;
        ++count;
    }
    return FLeftCol < FColCount ? std::max(1, count) : 0;
}

int TCustomGrid::LastVisibleCol() const
{
    const int clientWidth = viewport()->width();
    int last = -1;
    for (int c = 0; c < FFixedCols; ++c) {
        if (ColX(c) >= clientWidth)
            return last;
        last = c;
    }
    for (int c = FLeftCol; c < FColCount; ++c) {
        if (ColX(c) >= clientWidth)
            break;
        last = c;
    }
    return last;
}

int TCustomGrid::LastVisibleRow() const
{
    if (FDefaultRowHeight <= 0)
        return -1; // rows without height show nothing
    const int clientHeight = viewport()->height();
    const int fixedPitch = RowPitch(0);
    int last = -1;
    if (FFixedRows > 0) {
        const int fixedShown = (clientHeight + fixedPitch - 1) / fixedPitch;
        last = std::min(FFixedRows, fixedShown) - 1;
        if (last < FFixedRows - 1)
            return last;
    }
    const int available = clientHeight - FixedHeight();
    if (available <= 0)
        return last;
    const int pitch = RowPitch(FFixedRows);
    const int64_t shown = (int64_t(available) + pitch - 1) / pitch;
    return int(std::min<int64_t>(FRowCount - 1, FTopRow + shown - 1));
}

bool TCustomGrid::IsCellVisible(int col, int row) const
{
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount)
        return false;
    if (col >= FFixedCols && col < FLeftCol)
        return false;
    if (row >= FFixedRows && row < FTopRow)
        return false;
    return col <= LastVisibleCol() && row <= LastVisibleRow();
}

QRect TCustomGrid::CellRect(int col, int row) const
{
    if (!IsCellVisible(col, row))
        return QRect();
    const int x = ColX(col);
    const int y = int(RowY(row));
    const int right = int(std::min<int64_t>(int64_t(x) + FColWidths[size_t(col)], viewport()->width()));
    const int bottom = std::min(y + FDefaultRowHeight, viewport()->height());
    return QRect(x, y, right - x, bottom - y);
}

// The first and last visible index of [from, to] when the visible ones are
// [0, min(fixed - 1, lastVisible)] followed by [scrollFirst, lastVisible].
static bool VisibleSpan(int from, int to, int fixed, int scrollFirst, int lastVisible, int& first, int& last)
{
    first = INT_MAX;
    last = -1;
    const int fixedEnd = std::min(fixed - 1, lastVisible);
    if (from <= fixedEnd && to >= 0) {
        first = std::max(from, 0);
        last = std::min(to, fixedEnd);
    }
    const int a = std::max(from, scrollFirst);
    const int b = std::min(to, lastVisible);
    if (a <= b) {
        first = std::min(first, a);
        last = std::max(last, b);
    }
    return last >= 0 && first <= last;
}

QRect TCustomGrid::BoxRect(int left, int top, int right, int bottom) const
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    int c0, c1, r0, r1;
    if (!VisibleSpan(left, right, FFixedCols, FLeftCol, LastVisibleCol(), c0, c1))
        return QRect();
    if (!VisibleSpan(top, bottom, FFixedRows, FTopRow, LastVisibleRow(), r0, r1))
        return QRect();
    const QRect first = CellRect(c0, r0);
    const QRect last = CellRect(c1, r1);
    return QRect(QPoint(first.x(), first.y()),
        QSize(last.x() + last.width() - first.x(), last.y() + last.height() - first.y()));
}

TGridCoord TCustomGrid::MouseCoord(int x, int y) const
{
    const TGridCoord none{-1, -1};
    if (x < 0 || y < 0 || x >= viewport()->width() || y >= viewport()->height())
        return none;
    int col = -1;
    for (int c = 0; c < FFixedCols && col < 0; ++c) {
        if (x < int64_t(ColX(c)) + FColWidths[size_t(c)] + ColLineWidth(c))
            col = c;
    }
    if (col < 0 && x >= FixedWidth()) {
        for (int c = FLeftCol; c < FColCount; ++c) {
            if (x < int64_t(ColX(c)) + FColWidths[size_t(c)] + ColLineWidth(c)) {
                col = c;
                break;
            }
        }
    }
    if (col < 0 || FDefaultRowHeight <= 0)
        return none;
    int64_t row;
    if (y < FixedHeight())
        row = y / RowPitch(0);
    else
        row = FTopRow + (y - FixedHeight()) / RowPitch(FFixedRows);
    if (row >= FRowCount)
        return none;
    return {col, int(row)};
}

void TCustomGrid::MouseToCell(int x, int y, int& col, int& row) const
{
    const TGridCoord cell = MouseCoord(x, y);
    col = cell.x;
    row = cell.y;
}

TGridRect TCustomGrid::Selection() const
{
    return {std::min(FAnchor.x, FCol), std::min(FAnchor.y, FRow), std::max(FAnchor.x, FCol),
        std::max(FAnchor.y, FRow)};
}

// ---------------------------------------------------------------- invalidation

void TCustomGrid::InvalidateCell(int col, int row)
{
    const QRect rect = CellRect(col, row);
    if (!rect.isEmpty())
        viewport()->update(rect);
}

void TCustomGrid::InvalidateCol(int col)
{
    InvalidateBox(col, 0, col, FRowCount - 1);
}

void TCustomGrid::InvalidateRow(int row)
{
    InvalidateBox(0, row, FColCount - 1, row);
}

void TCustomGrid::InvalidateRows(int firstRow, int lastRow)
{
    InvalidateBox(0, firstRow, FColCount - 1, lastRow);
}

void TCustomGrid::InvalidateBox(int left, int top, int right, int bottom)
{
    const QRect rect = BoxRect(left, top, right, bottom);
    if (!rect.isEmpty())
        viewport()->update(rect);
}

void TCustomGrid::InvalidateGrid()
{
    viewport()->update();
}

void TCustomGrid::Repaint()
{
    viewport()->repaint();
}

// ---------------------------------------------------------------- current cell and scrolling

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

// ---------------------------------------------------------------- painting

TGridDrawState TCustomGrid::CellDrawState(int col, int row) const
{
    TGridDrawState state;
    if (col < FFixedCols || row < FFixedRows) {
        state.Include(gdFixed);
        return state;
    }
    const TGridRect selection = Selection();
    if (col >= selection.left && col <= selection.right && row >= selection.top && row <= selection.bottom)
        state.Include(gdSelected);
    if (col == FCol && row == FRow && hasFocus())
        state.Include(gdFocused);
    return state;
}

void TCustomGrid::PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow)
{
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = firstCol; col <= lastCol; ++col) {
            const QRect rect = CellRect(col, row);
            if (rect.isNull())
                continue;
            const TGridDrawState state = CellDrawState(col, row);
            if (FDefaultDrawing) {
                QColor fill = EffectiveColor();
                if (state.Contains(gdFixed))
                    fill = ColorToQColor(clBtnFace, palette());
                else if (state.Contains(gdSelected) && !state.Contains(gdFocused))
                    fill = ColorToQColor(clHighlight, palette());
                painter.fillRect(rect, fill);
            }
            try {
                DrawCell(painter, col, row, rect, state);
            } catch (...) {
                // The other cells are still drawn; the error is reported after the paint.
                NotePaintError();
                painter.fillRect(rect, EffectiveColor());
            }
            if (FDefaultDrawing && state.Contains(gdFocused)) {
                painter.save();
                painter.setPen(QPen(ColorToQColor(FFontColor, palette()), 1, Qt::DotLine));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
                painter.restore();
            }
        }
    }
}

bool TCustomGrid::SelectCell(int, int)
{
    return true;
}

void TCustomGrid::DrawCell(QPainter&, int, int, const QRect&, TGridDrawState) { }

void TCustomGrid::PaintOverlay(QPainter&) { }

void TCustomGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QRect clip = event->rect();
    FPaintError = nullptr;
    // Each part is painted on its own, so one that fails leaves the others drawn.
    auto paintPart = [this](const std::function<void()>& part) {
        try {
            part();
        } catch (...) {
            NotePaintError();
        }
    };
    paintPart([&] {
        const int clientWidth = viewport()->width();
        const int clientHeight = viewport()->height();
        const int lastCol = LastVisibleCol();
        const int lastRow = LastVisibleRow();

        // Columns of each area that meet the update rectangle.
        struct Span {
            int first;
            int last;
        };
        auto colSpan = [&](int from, int to) {
            Span span{INT_MAX, -1};
            for (int c = from; c <= to; ++c) {
                const int x = ColX(c);
                const int64_t end = int64_t(x) + FColWidths[size_t(c)] + ColLineWidth(c);
                if (end <= clip.left() && FColWidths[size_t(c)] + ColLineWidth(c) > 0)
                    continue;
                if (x > clip.right())
                    break;
                span.first = std::min(span.first, c);
                span.last = c;
            }
            return span;
        };
        auto rowSpan = [&](int from, int to, int64_t areaTop, int firstIndex, int pitch) {
            Span span{INT_MAX, -1};
            if (from > to || pitch <= 0)
                return span;
            const int64_t top = std::max<int64_t>(clip.top(), areaTop);
            const int64_t a = firstIndex + std::max<int64_t>(0, (top - areaTop) / pitch);
            const int64_t b = firstIndex + (clip.bottom() - areaTop) / pitch;
            span.first = int(std::max<int64_t>(from, a));
            span.last = int(std::min<int64_t>(to, b));
            return span;
        };
        const Span colSpans[2] = {colSpan(0, std::min(FFixedCols - 1, lastCol)), colSpan(FLeftCol, lastCol)};
        const Span rowSpans[2] = {rowSpan(0, std::min(FFixedRows - 1, lastRow), 0, 0, RowPitch(0)),
            rowSpan(FTopRow, lastRow, FixedHeight(), FTopRow, RowPitch(FFixedRows))};
        for (const Span& rows : rowSpans) {
            for (const Span& cols : colSpans) {
                if (rows.first > rows.last || cols.first > cols.last)
                    continue;
                paintPart([&] {
                    try {
                        PaintCells(painter, cols.first, cols.last, rows.first, rows.last);
                    } catch (...) {
                        // Nothing stale stays where the block could not be drawn.
                        painter.fillRect(
                            CellRect(cols.first, rows.first).united(CellRect(cols.last, rows.last)),
                            EffectiveColor());
                        throw;
                    }
                });
            }
        }

        // Grid lines in the gaps after cells.
        int gridRight = 0;
        if (lastCol >= 0)
            gridRight = int(std::min<int64_t>(
                int64_t(ColX(lastCol)) + FColWidths[size_t(lastCol)] + ColLineWidth(lastCol), clientWidth));
        int gridBottom = FixedHeight();
        if (lastRow >= 0)
            gridBottom = int(std::min<int64_t>(RowY(lastRow) + RowPitch(lastRow), clientHeight));
        if (FGridLineWidth > 0) {
            const QColor lineColor = palette().color(QPalette::Mid);
            for (const Span& cols : colSpans) {
                for (int c = cols.first; c <= cols.last; ++c) {
                    if (ColLineWidth(c) > 0)
                        painter.fillRect(
                            ColX(c) + FColWidths[size_t(c)], 0, ColLineWidth(c), gridBottom, lineColor);
                }
            }
            for (const Span& rows : rowSpans) {
                for (int r = rows.first; r <= rows.last; ++r) {
                    const int line = RowPitch(r) - FDefaultRowHeight;
                    if (line > 0)
                        painter.fillRect(0, int(RowY(r)) + FDefaultRowHeight, gridRight, line, lineColor);
                }
            }
        }

        // The area no cell covers.
        const QColor empty = EffectiveColor();
        if (gridRight < clientWidth)
            painter.fillRect(gridRight, 0, clientWidth - gridRight, clientHeight, empty);
        if (gridBottom < clientHeight)
            painter.fillRect(0, gridBottom, gridRight, clientHeight - gridBottom, empty);
    });
    paintPart([&] { PaintOverlay(painter); });

    if (FPaintError)
        ReportPaintError();
    else if (clip.contains(viewport()->rect()))
        FPaintErrorReported = false; // the whole grid drew cleanly: the fault is gone
}

void TCustomGrid::NotePaintError()
{
    if (!FPaintError)
        FPaintError = std::current_exception();
}

void TCustomGrid::ReportPaintError()
{
    const std::exception_ptr error = std::exchange(FPaintError, nullptr);
    if (FPaintErrorQueued || FPaintErrorReported)
        return;
    FPaintErrorQueued = true;
    FPaintErrorReported = true;
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            Guarded([&] { std::rethrow_exception(error); });
            FPaintErrorQueued = false;
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------- keyboard

bool TCustomGrid::IsKeyDown(uint16_t virtualKey)
{
    if (PlatformKeyDown(virtualKey))
        return true;
    switch (virtualKey) {
    case VK_SHIFT:
        return TrackedModifiers & Qt::ShiftModifier;
    case VK_CONTROL:
        return TrackedModifiers & Qt::ControlModifier;
    case VK_MENU:
        return TrackedModifiers & Qt::AltModifier;
    case VK_LBUTTON:
        return TrackedButtons & Qt::LeftButton;
    case VK_RBUTTON:
        return TrackedButtons & Qt::RightButton;
    case VK_MBUTTON:
        return TrackedButtons & Qt::MiddleButton;
    default:
        return false;
    }
}

uint32_t TCustomGrid::WMGetDlgCode()
{
    uint32_t code = DLGC_WANTARROWS;
    if (FOptions.Contains(goTabs))
        code |= DLGC_WANTTAB;
    return code;
}

void TCustomGrid::KeyDown(uint16_t& key, TShiftState shift)
{
    if (key == 0)
        return;
    int col = FCol;
    int row = FRow;
    int top = FTopRow;
    const int page = std::max(1, RowsThatFit());
    if (shift.Contains(ssCtrl)) {
        switch (key) {
        case VK_UP:
            --top;
            break;
        case VK_DOWN:
            ++top;
            break;
        case VK_LEFT:
            --col;
            break;
        case VK_RIGHT:
            ++col;
            break;
        case VK_PRIOR:
            row = FTopRow;
            break;
        case VK_NEXT:
            row = FTopRow + VisibleRowCount() - 1;
            break;
        case VK_HOME:
            col = FFixedCols;
            row = FFixedRows;
            break;
        case VK_END:
            col = FColCount - 1;
            row = FRowCount - 1;
            break;
        default:
            return;
        }
    } else {
        switch (key) {
        case VK_UP:
            --row;
            break;
        case VK_DOWN:
            ++row;
            break;
        case VK_LEFT:
            --col;
            break;
        case VK_RIGHT:
            ++col;
            break;
        case VK_PRIOR:
            row -= page;
            top -= page;
            break;
        case VK_NEXT:
            row += page;
            top += page;
            break;
        case VK_HOME:
            col = FFixedCols;
            break;
        case VK_END:
            col = FColCount - 1;
            break;
        case VK_TAB:
            if (!FOptions.Contains(goTabs) || shift.Contains(ssAlt))
                return;
            if (shift.Contains(ssShift)) {
                if (col > FFixedCols) {
                    --col;
                } else if (row > FFixedRows) {
                    --row;
                    col = FColCount - 1;
                }
            } else {
                if (col < FColCount - 1) {
                    ++col;
                } else if (row < FRowCount - 1) {
                    ++row;
                    col = FFixedCols;
                }
            }
            break;
        default:
            return;
        }
    }
    col = std::clamp(col, FFixedCols, FColCount - 1);
    row = int(std::clamp<int64_t>(row, FFixedRows, FRowCount - 1));
    if (top != FTopRow)
        ScrollTo(int(std::clamp<int64_t>(top, FFixedRows, FRowCount - 1)), FLeftCol, false);
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

// The character a key press types, as the classic platform's translation would
// produce it, or -1 when it types none.
static int TypedChar(const QKeyEvent& event, uint16_t key, TShiftState shift)
{
    const bool ctrl = shift.Contains(ssCtrl);
    const bool alt = shift.Contains(ssAlt);
    if (alt && !ctrl)
        return -1; // Alt+key is a menu key, not typing
    switch (key) {
    case VK_BACK:
        return ctrl ? 0x7F : 0x08;
    case VK_TAB:
        return ctrl ? -1 : 0x09;
    case VK_RETURN:
        return ctrl ? 0x0A : 0x0D;
    case VK_ESCAPE:
        return 0x1B;
    case VK_DELETE:
        return -1;
    default:
        break;
    }
    if (ctrl && !alt) {
        // Ctrl+letter types its control code; Ctrl with other keys types nothing
        // except the few punctuation control codes.
        if (key >= 'A' && key <= 'Z')
            return key - 'A' + 1;
        switch (key) {
        case VK_OEM_4:
            return 0x1B;
        case VK_OEM_5:
            return 0x1C;
        case VK_OEM_6:
            return 0x1D;
        default:
            return -1;
        }
    }
    return CharFromText(event.text());
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
    TrackedButtons = event->buttons();
    TrackedModifiers = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
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
    TrackedButtons = event->buttons();
    const QPoint pos = event->position().toPoint();
    const TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    Guarded([&] { MouseMove(shift, pos.x(), pos.y()); });
}

void TCustomGrid::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    TrackedButtons = event->buttons();
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

// ---------------------------------------------------------------- focus, scroll and font hooks

void TCustomGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    Guarded([this] { WMSetFocus(); });
}

void TCustomGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    TrackedModifiers = {};
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
