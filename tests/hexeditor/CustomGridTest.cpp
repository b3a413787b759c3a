#include "hexeditor/CustomGrid.h"
#include "base/Errors.h"
#include "search/Translation.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QtTest>

#include <memory>
#include <optional>
#include <stdexcept>

Q_DECLARE_METATYPE(TShiftState)

namespace {

// A grid that records what the base asks of it.
class TestGrid : public TCustomGrid {
public:
    using TCustomGrid::CellDrawState;

    std::vector<TGridCoord> selectAsked;
    std::optional<TGridCoord> veto; // SelectCell refuses this cell
    bool vetoAll = false;
    bool throwInSelect = false;
    int throwInDrawRow = -1; // DrawCell fails on this row
    bool painting = false;
    QSet<QPair<int, int>> drawn;
    std::vector<TGridRect> blocks;
    QStringList events; // KeyDown/KeyUp/WMChar/scroll hooks in order
    bool consumeKeys = false;
    int overlayPaints = 0;

protected:
    bool SelectCell(int col, int row) override
    {
        selectAsked.push_back({col, row});
        if (throwInSelect)
            throw Exception("select failed");
        if (vetoAll)
            return false;
        return !(veto && veto->x == col && veto->y == row);
    }
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState) override
    {
        if (row == throwInDrawRow)
            throw Exception("read failed");
        drawn.insert({col, row});
        painter.fillRect(rect, Qt::white);
    }
    void PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow) override
    {
        blocks.push_back({firstCol, firstRow, lastCol, lastRow});
        TCustomGrid::PaintCells(painter, firstCol, lastCol, firstRow, lastRow);
    }
    void PaintOverlay(QPainter&) override { ++overlayPaints; }
    void paintEvent(QPaintEvent* event) override
    {
        painting = true;
        TCustomGrid::paintEvent(event);
        painting = false;
    }
    void KeyDown(uint16_t& key, TShiftState shift) override
    {
        events << QStringLiteral("down %1").arg(key);
        if (consumeKeys)
            key = 0;
        TCustomGrid::KeyDown(key, shift);
    }
    void KeyUp(uint16_t& key, TShiftState shift) override
    {
        events << QStringLiteral("up %1").arg(key);
        TCustomGrid::KeyUp(key, shift);
    }
    void WMChar(uint8_t ch) override { events << QStringLiteral("char %1").arg(ch); }
    void WMVScroll() override { events << QStringLiteral("vscroll"); }
    void WMHScroll() override { events << QStringLiteral("hscroll"); }
    void TopLeftChanged() override { events << QStringLiteral("topleft"); }
};

constexpr int RowHeight = 10;

// Columns: two fixed (10 and 20 pixels), then 8 columns of 30 pixels; 100 rows of 10
// pixels; the viewport is exactly width x height (no frame, no scroll bars).
std::unique_ptr<TestGrid> MakeGrid(int width = 200, int height = 100)
{
    auto grid = std::make_unique<TestGrid>();
    grid->SetBorderStyle(bsNone);
    grid->SetScrollBars(ssNone);
    grid->SetDefaultDrawing(false);
    grid->SetGridLineWidth(0);
    grid->SetColCount(10);
    grid->SetRowCount(100);
    grid->SetFixedRows(0);
    grid->SetFixedCols(2);
    grid->SetDefaultColWidth(30);
    grid->SetColWidths(0, 10);
    grid->SetColWidths(1, 20);
    grid->SetDefaultRowHeight(RowHeight);
    grid->resize(width, height);
    grid->show();
    if (!QTest::qWaitForWindowExposed(grid.get()))
        throw std::runtime_error("grid window not exposed");
    grid->events.clear();
    grid->selectAsked.clear();
    return grid;
}

QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EInvalidGridOperation& e) {
        return QString::fromStdString(e.Message());
    }
    return {};
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
    Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

} // namespace

class CustomGridTest : public QObject {
    Q_OBJECT

private slots:
    void countsKeepCurrentCellInside();
    void fixedCountsAreChecked();
    void widths();
    void cellRect_data();
    void cellRect();
    void cellRectWithGridLines();
    void boxRectAndMouseCoord();
    void moveRejectsCellsOutsideTheGrid_data();
    void moveRejectsCellsOutsideTheGrid();
    void setRowOutsideRaises();
    void selectCellVetoKeepsTheCell();
    void moveScrollsIntoView();
    void visibleRows_data();
    void visibleRows();
    void topRowIsClamped();
    void hugeGridScrollsToTheLastRow();
    void keyMapping_data();
    void keyMapping();
    void typedText_data();
    void typedText();
    void defaultKeys_data();
    void defaultKeys();
    void pageKeysScroll();
    void tabNeedsTheOption();
    void characterFollowsKeyDown_data();
    void characterFollowsKeyDown();
    void keyUpSkipsAutoRepeat();
    void clickSelectsThroughSelectCell();
    void dragMovesAndAutoscrolls();
    void drawCellOnlyForVisibleCells();
    void invalidateCellRepaintsOnlyThatCell();
    void scrollBarScrollsByRows();
    void errorsGoToTheHandler();
    void paintErrorsAreReportedOnceAfterPainting();
    void isKeyDownFollowsInput();
};

void CustomGridTest::countsKeepCurrentCellInside()
{
    auto grid = MakeGrid();
    grid->MoveColRow(9, 99, true, true);
    grid->SetRowCount(50);
    QCOMPARE(grid->Row(), 49);
    grid->SetColCount(5);
    QCOMPARE(grid->Col(), 4);
    QCOMPARE(grid->ColWidths(4), 30);
    grid->SetColCount(7);
    QCOMPARE(grid->ColWidths(6), 30); // new columns take the default width
    // Lowering a count below the fixed count lowers the fixed count.
    grid->SetFixedRows(3);
    QCOMPARE(grid->Row(), 49);
    grid->SetRowCount(2);
    QCOMPARE(grid->FixedRows(), 1);
    QCOMPARE(grid->Row(), 1);
    grid->SetRowCount(0);
    QCOMPARE(grid->RowCount(), 1);
    QCOMPARE(grid->FixedRows(), 0);
    QCOMPARE(grid->Row(), 0);
    // Raising the fixed columns pushes the current column out of them.
    grid->MoveColRow(2, 0, true, true);
    grid->SetFixedCols(4);
    QCOMPARE(grid->Col(), 4);
}

void CustomGridTest::fixedCountsAreChecked()
{
    auto grid = MakeGrid();
    QCOMPARE(ErrorOf([&] { grid->SetFixedCols(10); }),
        QString("Fixed column count must be less than column count"));
    QCOMPARE(
        ErrorOf([&] { grid->SetFixedRows(100); }), QString("Fixed row count must be less than row count"));
    QCOMPARE(ErrorOf([&] { grid->SetFixedCols(-1); }), QString("Grid index out of range"));
    QCOMPARE(grid->FixedCols(), 2);
    QCOMPARE(grid->FixedRows(), 0);
}

void CustomGridTest::widths()
{
    auto grid = MakeGrid();
    QCOMPARE(grid->ColWidths(0), 10);
    QCOMPARE(grid->ColWidths(1), 20);
    QCOMPARE(grid->ColWidths(9), 30);
    grid->SetColWidths(3, 0);
    QCOMPARE(grid->ColWidths(3), 0);
    QCOMPARE(grid->CellRect(4, 0).x(), 60); // 10 + 20 + 30 + 0
    QCOMPARE(ErrorOf([&] { grid->ColWidths(10); }), QString("Grid index out of range"));
    QCOMPARE(ErrorOf([&] { grid->SetColWidths(-1, 5); }), QString("Grid index out of range"));
    grid->SetDefaultColWidth(12);
    for (int c = 0; c < grid->ColCount(); ++c)
        QCOMPARE(grid->ColWidths(c), 12);
}

void CustomGridTest::cellRect_data()
{
    QTest::addColumn<int>("leftCol");
    QTest::addColumn<int>("topRow");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QRect>("expected");
    // Viewport 200 x 100: fixed 30 pixels, then columns 2..7 from x 30 (the 6th, col 7, is
    // cut at 200), rows 0..9.
    QTest::newRow("fixed 0") << 2 << 0 << 0 << 0 << QRect(0, 0, 10, 10);
    QTest::newRow("fixed 1") << 2 << 0 << 1 << 3 << QRect(10, 30, 20, 10);
    QTest::newRow("first scrolling") << 2 << 0 << 2 << 0 << QRect(30, 0, 30, 10);
    QTest::newRow("cut at the right") << 2 << 0 << 7 << 9 << QRect(180, 90, 20, 10);
    QTest::newRow("right of the view") << 2 << 0 << 8 << 0 << QRect();
    QTest::newRow("below the view") << 2 << 0 << 2 << 10 << QRect();
    QTest::newRow("scrolled left col") << 4 << 0 << 4 << 0 << QRect(30, 0, 30, 10);
    QTest::newRow("scrolled out col") << 4 << 0 << 3 << 0 << QRect();
    QTest::newRow("fixed stays when scrolled") << 4 << 5 << 1 << 5 << QRect(10, 0, 20, 10);
    QTest::newRow("scrolled top row") << 2 << 5 << 2 << 6 << QRect(30, 10, 30, 10);
    QTest::newRow("scrolled out row") << 2 << 5 << 2 << 4 << QRect();
    QTest::newRow("outside the grid") << 2 << 0 << 10 << 0 << QRect();
    QTest::newRow("negative") << 2 << 0 << -1 << 0 << QRect();
}

void CustomGridTest::cellRect()
{
    QFETCH(int, leftCol);
    QFETCH(int, topRow);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QRect, expected);
    auto grid = MakeGrid();
    grid->SetLeftCol(leftCol);
    grid->SetTopRow(topRow);
    QCOMPARE(grid->LeftCol(), leftCol);
    QCOMPARE(grid->TopRow(), topRow);
    const QRect rect = grid->CellRect(col, row);
    QCOMPARE(rect, expected);
    if (expected.isNull()) {
        // Invisible cells are all zero.
        QCOMPARE(rect.x() + rect.y() + rect.width() + rect.height(), 0);
    }
}

void CustomGridTest::cellRectWithGridLines()
{
    auto grid = MakeGrid();
    grid->SetGridLineWidth(2);
    grid->SetOptions({goVertLine, goHorzLine});
    // Fixed columns have no lines without goFixedVertLine; scrolling ones do.
    QCOMPARE(grid->CellRect(2, 0), QRect(30, 0, 30, 10));
    QCOMPARE(grid->CellRect(3, 1), QRect(62, 12, 30, 10));
    // 100 pixels hold rows at 0, 12, ..., 84: eight whole rows.
    QCOMPARE(grid->VisibleRowCount(), 8);
}

void CustomGridTest::boxRectAndMouseCoord()
{
    auto grid = MakeGrid();
    QCOMPARE(grid->BoxRect(2, 1, 3, 2), QRect(30, 10, 60, 20));
    QCOMPARE(grid->BoxRect(3, 2, 2, 1), QRect(30, 10, 60, 20));
    QCOMPARE(grid->BoxRect(0, 0, 9, 99), QRect(0, 0, 200, 100)); // cut to the view
    grid->SetLeftCol(5);
    // A block over fixed and scrolled-out columns covers the visible ones only.
    QCOMPARE(grid->BoxRect(1, 0, 5, 0), QRect(10, 0, 50, 10));
    QCOMPARE(grid->BoxRect(2, 0, 4, 0), QRect());
    QCOMPARE(grid->MouseCoord(5, 5), (TGridCoord{0, 0}));
    QCOMPARE(grid->MouseCoord(30, 19), (TGridCoord{5, 1}));
    QCOMPARE(grid->MouseCoord(29, 0), (TGridCoord{1, 0}));
    QCOMPARE(grid->MouseCoord(-1, 0), (TGridCoord{-1, -1}));
    grid->SetRowCount(3);
    QCOMPARE(grid->MouseCoord(40, 35), (TGridCoord{-1, -1})); // below the last row
}

void CustomGridTest::moveRejectsCellsOutsideTheGrid_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::newRow("negative col") << -1 << 5;
    QTest::newRow("negative row") << 3 << -1;
    QTest::newRow("col past the end") << 10 << 5;
    QTest::newRow("row past the end") << 3 << 100;
    QTest::newRow("fixed col") << 1 << 5;
    QTest::newRow("fixed row") << 3 << 0; // with one fixed row
}

void CustomGridTest::moveRejectsCellsOutsideTheGrid()
{
    QFETCH(int, col);
    QFETCH(int, row);
    auto grid = MakeGrid();
    grid->SetFixedRows(1);
    grid->MoveColRow(4, 7, true, true);
    grid->selectAsked.clear();
    QCOMPARE(ErrorOf([&] { grid->MoveColRow(col, row, true, true); }), QString("Grid index out of range"));
    QVERIFY(grid->selectAsked.empty());
    QCOMPARE(grid->Col(), 4);
    QCOMPARE(grid->Row(), 7);
}

void CustomGridTest::setRowOutsideRaises()
{
    auto grid = MakeGrid();
    grid->SetRow(5);
    QCOMPARE(grid->Row(), 5);
    QCOMPARE(ErrorOf([&] { grid->SetRow(100); }), QString("Grid index out of range"));
    QCOMPARE(ErrorOf([&] { grid->SetCol(1); }), QString("Grid index out of range"));
    QCOMPARE(grid->Row(), 5);
    grid->selectAsked.clear();
    grid->SetRow(5); // no change, nothing asked
    QVERIFY(grid->selectAsked.empty());
    grid->SetCol(6);
    QCOMPARE(grid->Col(), 6);
    QCOMPARE(grid->selectAsked.size(), size_t(1));
    QCOMPARE(grid->selectAsked[0], (TGridCoord{6, 5}));
}

void CustomGridTest::selectCellVetoKeepsTheCell()
{
    auto grid = MakeGrid();
    grid->SetOptions(grid->Options() + TGridOptions{goRangeSelect});
    grid->MoveColRow(3, 4, true, true);
    grid->MoveColRow(5, 6, false, true); // anchor stays at (3, 4)
    QCOMPARE(grid->Anchor(), (TGridCoord{3, 4}));
    grid->veto = TGridCoord{7, 50};
    grid->selectAsked.clear();
    grid->MoveColRow(7, 50, true, true);
    QCOMPARE(grid->selectAsked.size(), size_t(1));
    QCOMPARE(grid->selectAsked[0], (TGridCoord{7, 50}));
    QCOMPARE(grid->Col(), 5);
    QCOMPARE(grid->Row(), 6);
    QCOMPARE(grid->Anchor(), (TGridCoord{3, 4}));
    QCOMPARE(grid->TopRow(), 0); // no scrolling either
    grid->MoveColRow(7, 51, true, true);
    QCOMPARE(grid->Col(), 7);
    QCOMPARE(grid->Row(), 51);
    QCOMPARE(grid->Anchor(), (TGridCoord{7, 51}));
}

void CustomGridTest::moveScrollsIntoView()
{
    auto grid = MakeGrid(); // 10 rows, columns 2..6 whole, 7 cut
    grid->MoveColRow(2, 50, true, true);
    QCOMPARE(grid->TopRow(), 41);
    grid->MoveColRow(2, 45, true, true);
    QCOMPARE(grid->TopRow(), 41); // already visible
    grid->MoveColRow(2, 10, true, true);
    QCOMPARE(grid->TopRow(), 10);
    grid->MoveColRow(2, 60, true, false); // show off: no scrolling
    QCOMPARE(grid->TopRow(), 10);
    grid->MoveColRow(7, 60, true, true);
    QCOMPARE(grid->TopRow(), 51);
    QCOMPARE(grid->LeftCol(), 3); // column 7 now whole: 30 + 5 * 30 = 180
    QCOMPARE(grid->CellRect(7, 60), QRect(150, 90, 30, 10));
    grid->MoveColRow(9, 60, true, true);
    QCOMPARE(grid->LeftCol(), 5); // the last useful left column
    grid->MoveColRow(2, 60, true, true);
    QCOMPARE(grid->LeftCol(), 2);
}

void CustomGridTest::visibleRows_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("fixedRows");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("visible");
    QTest::newRow("exact") << 100 << 0 << 100 << 10;
    QTest::newRow("partial row not counted") << 105 << 0 << 100 << 10;
    QTest::newRow("one short") << 99 << 0 << 100 << 9;
    QTest::newRow("fixed row takes room") << 100 << 1 << 100 << 9;
    QTest::newRow("fewer rows than room") << 100 << 0 << 4 << 4;
    QTest::newRow("tiny view still one") << 5 << 0 << 100 << 1;
}

void CustomGridTest::visibleRows()
{
    QFETCH(int, height);
    QFETCH(int, fixedRows);
    QFETCH(int, rowCount);
    QFETCH(int, visible);
    auto grid = MakeGrid(200, height);
    grid->SetRowCount(rowCount);
    grid->SetFixedRows(fixedRows);
    QCOMPARE(grid->VisibleRowCount(), visible);
    QCOMPARE(grid->TopRow(), fixedRows);
}

void CustomGridTest::topRowIsClamped()
{
    auto grid = MakeGrid();
    grid->SetTopRow(95);
    QCOMPARE(grid->TopRow(), 90); // the last ten rows fill the view
    QCOMPARE(grid->VisibleRowCount(), 10);
    grid->SetTopRow(-3);
    QCOMPARE(grid->TopRow(), 0);
    grid->SetTopRow(90);
    grid->SetRowCount(20);
    QCOMPARE(grid->TopRow(), 10);
    grid->resize(200, 150); // more room: the first row comes back
    QTRY_COMPARE(grid->TopRow(), 5);
    QCOMPARE(grid->VisibleRowCount(), 15);
}

void CustomGridTest::hugeGridScrollsToTheLastRow()
{
    auto grid = MakeGrid();
    grid->SetScrollBars(ssBoth);
    const int rows = 512 * 1024 * 1024 / 16; // 33,554,432 rows
    grid->SetRowCount(rows);
    grid->SetRow(rows - 1);
    const int fit = grid->VisibleRowCount();
    QVERIFY(fit >= 1);
    QCOMPARE(grid->TopRow(), rows - fit);
    QCOMPARE(grid->verticalScrollBar()->maximum(), rows - fit);
    QCOMPARE(grid->verticalScrollBar()->value(), rows - fit);
    QVERIFY(!grid->CellRect(2, rows - 1).isNull());
    grid->drawn.clear();
    grid->viewport()->repaint();
    QVERIFY(grid->drawn.contains({2, rows - 1}));
    QVERIFY(!grid->drawn.contains({2, rows - fit - 1}));
    QTest::keyClick(grid.get(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(grid->Row(), 0);
    QCOMPARE(grid->TopRow(), 0);
    QTest::keyClick(grid.get(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid->Row(), rows - 1);
    QCOMPARE(grid->Col(), 9);
}

void CustomGridTest::keyMapping_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("press");
    QTest::addColumn<int>("vk");
    QTest::addColumn<TShiftState>("shift");
    const int none = Qt::NoModifier;
    QTest::newRow("a") << int(Qt::Key_A) << none << true << int('A') << TShiftState{};
    QTest::newRow("shift z") << int(Qt::Key_Z) << int(Qt::ShiftModifier) << true << int('Z')
                             << TShiftState{ssShift};
    QTest::newRow("ctrl 3") << int(Qt::Key_3) << int(Qt::ControlModifier) << true << int('3')
                            << TShiftState{ssCtrl};
    QTest::newRow("ctrl shift 3 as symbol")
        << int(Qt::Key_NumberSign) << int(Qt::ControlModifier | Qt::ShiftModifier) << true << int('3')
        << TShiftState{ssShift, ssCtrl};
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << none << true << int(VK_BACK) << TShiftState{};
    QTest::newRow("tab") << int(Qt::Key_Tab) << none << true << int(VK_TAB) << TShiftState{};
    QTest::newRow("backtab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << true << int(VK_TAB)
                             << TShiftState{ssShift};
    QTest::newRow("return") << int(Qt::Key_Return) << none << true << int(VK_RETURN) << TShiftState{};
    QTest::newRow("enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true << int(VK_RETURN)
                           << TShiftState{};
    QTest::newRow("page up") << int(Qt::Key_PageUp) << int(Qt::ControlModifier) << true << int(VK_PRIOR)
                             << TShiftState{ssCtrl};
    QTest::newRow("page down") << int(Qt::Key_PageDown) << none << true << int(VK_NEXT) << TShiftState{};
    QTest::newRow("end") << int(Qt::Key_End) << none << true << int(VK_END) << TShiftState{};
    QTest::newRow("home") << int(Qt::Key_Home) << none << true << int(VK_HOME) << TShiftState{};
    QTest::newRow("left") << int(Qt::Key_Left) << int(Qt::AltModifier) << true << int(VK_LEFT)
                          << TShiftState{ssAlt};
    QTest::newRow("up") << int(Qt::Key_Up) << none << true << int(VK_UP) << TShiftState{};
    QTest::newRow("right") << int(Qt::Key_Right) << none << true << int(VK_RIGHT) << TShiftState{};
    QTest::newRow("down") << int(Qt::Key_Down) << none << true << int(VK_DOWN) << TShiftState{};
    QTest::newRow("insert") << int(Qt::Key_Insert) << none << true << int(VK_INSERT) << TShiftState{};
    QTest::newRow("delete") << int(Qt::Key_Delete) << int(Qt::ControlModifier) << true << int(VK_DELETE)
                            << TShiftState{ssCtrl};
    QTest::newRow("f1") << int(Qt::Key_F1) << none << true << int(VK_F1) << TShiftState{};
    QTest::newRow("f3") << int(Qt::Key_F3) << none << true << int(VK_F3) << TShiftState{};
    QTest::newRow("f12") << int(Qt::Key_F12) << none << true << int(VK_F12) << TShiftState{};
    QTest::newRow("keypad 7") << int(Qt::Key_7) << int(Qt::KeypadModifier) << true << int(VK_NUMPAD0 + 7)
                              << TShiftState{};
    QTest::newRow("keypad home") << int(Qt::Key_Home) << int(Qt::KeypadModifier) << true << int(VK_HOME)
                                 << TShiftState{};
    // A modifier key counts as held while pressed, as released when let go.
    QTest::newRow("shift pressed") << int(Qt::Key_Shift) << none << true << int(VK_SHIFT)
                                   << TShiftState{ssShift};
    QTest::newRow("shift released") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << false << int(VK_SHIFT)
                                    << TShiftState{};
    QTest::newRow("ctrl pressed with shift") << int(Qt::Key_Control) << int(Qt::ShiftModifier) << true
                                             << int(VK_CONTROL) << TShiftState{ssShift, ssCtrl};
    QTest::newRow("alt released") << int(Qt::Key_Alt) << int(Qt::AltModifier) << false << int(VK_MENU)
                                  << TShiftState{};
    QTest::newRow("alt pressed") << int(Qt::Key_Alt) << none << true << int(VK_MENU) << TShiftState{ssAlt};
    QTest::newRow("unknown") << int(Qt::Key_LaunchMail) << none << true << 0 << TShiftState{};
}

void CustomGridTest::keyMapping()
{
    QFETCH(int, qtKey);
    QFETCH(int, modifiers);
    QFETCH(bool, press);
    QFETCH(int, vk);
    QFETCH(TShiftState, shift);
    const auto mods = Qt::KeyboardModifiers(modifiers);
    QCOMPARE(int(VirtualKeyFromQt(qtKey, mods)), vk);
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, mods);
    QCOMPARE(ShiftStateFromKeyEvent(event).Bits(), shift.Bits());
}

void CustomGridTest::typedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");
    QTest::newRow("ascii") << "A" << 0x41;
    QTest::newRow("control") << "\x01" << 0x01;
    QTest::newRow("latin-1") << QString(QChar(0xE9)) << 0xE9;
    QTest::newRow("euro") << QString(QChar(0x20AC)) << 0x80;
    QTest::newRow("trade mark") << QString(QChar(0x2122)) << 0x99;
    QTest::newRow("y diaeresis") << QString(QChar(0x0178)) << 0x9F;
    QTest::newRow("not in the code page") << QString(QChar(0x03A9)) << -1;
    QTest::newRow("c1 control is not a character") << QString(QChar(0x81)) << -1;
    QTest::newRow("two characters") << "ab" << -1;
    QTest::newRow("empty") << "" << -1;
}

void CustomGridTest::typedText()
{
    QFETCH(QString, text);
    QFETCH(int, byte);
    QCOMPARE(CharFromText(text), byte);
    if (byte >= 0)
        QCOMPARE(UnicodeFromWindows1252(uint8_t(byte)), text.at(0).unicode());
}

void CustomGridTest::defaultKeys_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("startCol");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("right") << int(Qt::Key_Right) << none << 4 << 5 << 5 << 5;
    QTest::newRow("right at the end") << int(Qt::Key_Right) << none << 9 << 5 << 9 << 5;
    QTest::newRow("left") << int(Qt::Key_Left) << none << 4 << 5 << 3 << 5;
    QTest::newRow("left stops at the fixed columns") << int(Qt::Key_Left) << none << 2 << 5 << 2 << 5;
    QTest::newRow("down") << int(Qt::Key_Down) << none << 4 << 5 << 4 << 6;
    QTest::newRow("down at the end") << int(Qt::Key_Down) << none << 4 << 99 << 4 << 99;
    QTest::newRow("up") << int(Qt::Key_Up) << none << 4 << 5 << 4 << 4;
    QTest::newRow("up at the top") << int(Qt::Key_Up) << none << 4 << 0 << 4 << 0;
    QTest::newRow("page down") << int(Qt::Key_PageDown) << none << 4 << 5 << 4 << 15;
    QTest::newRow("page down near the end") << int(Qt::Key_PageDown) << none << 4 << 95 << 4 << 99;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << none << 4 << 25 << 4 << 15;
    QTest::newRow("page up near the top") << int(Qt::Key_PageUp) << none << 4 << 5 << 4 << 0;
    QTest::newRow("home") << int(Qt::Key_Home) << none << 6 << 5 << 2 << 5;
    QTest::newRow("end") << int(Qt::Key_End) << none << 4 << 5 << 9 << 5;
    QTest::newRow("ctrl home") << int(Qt::Key_Home) << ctrl << 6 << 50 << 2 << 0;
    QTest::newRow("ctrl end") << int(Qt::Key_End) << ctrl << 4 << 5 << 9 << 99;
    QTest::newRow("ctrl page up") << int(Qt::Key_PageUp) << ctrl << 4 << 8 << 4 << 0;
    QTest::newRow("ctrl page down") << int(Qt::Key_PageDown) << ctrl << 4 << 3 << 4 << 9;
    QTest::newRow("ctrl right") << int(Qt::Key_Right) << ctrl << 4 << 3 << 5 << 3;
    QTest::newRow("tab") << int(Qt::Key_Tab) << none << 4 << 3 << 5 << 3;
    QTest::newRow("tab wraps") << int(Qt::Key_Tab) << none << 9 << 3 << 2 << 4;
    QTest::newRow("tab at the last cell") << int(Qt::Key_Tab) << none << 9 << 99 << 9 << 99;
    QTest::newRow("shift tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 4 << 3 << 3 << 3;
    QTest::newRow("shift tab wraps") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 2 << 3 << 9 << 2;
    QTest::newRow("a letter moves nothing") << int(Qt::Key_A) << none << 4 << 3 << 4 << 3;
}

void CustomGridTest::defaultKeys()
{
    QFETCH(int, qtKey);
    QFETCH(int, modifiers);
    QFETCH(int, startCol);
    QFETCH(int, startRow);
    QFETCH(int, col);
    QFETCH(int, row);
    auto grid = MakeGrid();
    grid->SetOptions(grid->Options() + TGridOptions{goTabs});
    grid->MoveColRow(startCol, startRow, true, true);
    grid->selectAsked.clear();
    QTest::keyClick(grid.get(), Qt::Key(qtKey), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(grid->Col(), col);
    QCOMPARE(grid->Row(), row);
    const bool moved = col != startCol || row != startRow;
    QCOMPARE(grid->selectAsked.size(), size_t(moved ? 1 : 0));
    if (moved)
        QCOMPARE(grid->selectAsked.back(), (TGridCoord{col, row}));
    QVERIFY(grid->CellRect(col, row).isValid()); // the new cell is in view
}

void CustomGridTest::pageKeysScroll()
{
    auto grid = MakeGrid();
    grid->MoveColRow(2, 3, true, true);
    QTest::keyClick(grid.get(), Qt::Key_PageDown);
    QCOMPARE(grid->Row(), 13);
    QCOMPARE(grid->TopRow(), 10); // the view moves by a page too
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(grid->TopRow(), 11); // Ctrl+Down scrolls without moving
    QCOMPARE(grid->Row(), 13);
    QTest::keyClick(grid.get(), Qt::Key_PageUp);
    QCOMPARE(grid->Row(), 3);
    QCOMPARE(grid->TopRow(), 1);
    grid->vetoAll = true;
    QTest::keyClick(grid.get(), Qt::Key_Down);
    QCOMPARE(grid->Row(), 3); // a refused move changes nothing
}

void CustomGridTest::tabNeedsTheOption()
{
    auto grid = MakeGrid();
    grid->MoveColRow(4, 3, true, true);
    QVERIFY(!grid->Options().Contains(goTabs));
    QTest::keyClick(grid.get(), Qt::Key_Tab);
    QCOMPARE(grid->Col(), 4);
    grid->SetOptions(grid->Options() + TGridOptions{goTabs});
    QTest::keyClick(grid.get(), Qt::Key_Tab);
    QCOMPARE(grid->Col(), 5);
    QVERIFY(grid->events.contains(QStringLiteral("down 9")));
}

void CustomGridTest::characterFollowsKeyDown_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("events");
    const int none = Qt::NoModifier;
    QTest::newRow("letter") << int(Qt::Key_A) << none << "a" << QStringList{"down 65", "char 97"};
    QTest::newRow("shifted letter") << int(Qt::Key_A) << int(Qt::ShiftModifier) << "A"
                                    << QStringList{"down 65", "char 65"};
    QTest::newRow("ctrl letter types its control code")
        << int(Qt::Key_C) << int(Qt::ControlModifier) << "c" << QStringList{"down 67", "char 3"};
    QTest::newRow("ctrl digit types nothing")
        << int(Qt::Key_1) << int(Qt::ControlModifier) << "1" << QStringList{"down 49"};
    QTest::newRow("alt letter types nothing")
        << int(Qt::Key_X) << int(Qt::AltModifier) << "x" << QStringList{"down 88"};
    QTest::newRow("altgr types") << int(Qt::Key_E) << int(Qt::ControlModifier | Qt::AltModifier)
                                 << QString(QChar(0x20AC)) << QStringList{"down 69", "char 128"};
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << none << "" << QStringList{"down 8", "char 8"};
    QTest::newRow("delete types nothing") << int(Qt::Key_Delete) << none << "\x7f" << QStringList{"down 46"};
    QTest::newRow("arrow") << int(Qt::Key_Left) << none << "" << QStringList{"down 37"};
    QTest::newRow("not in the code page")
        << int(Qt::Key_unknown) << none << QString(QChar(0x03A9)) << QStringList{"char"};
}

void CustomGridTest::characterFollowsKeyDown()
{
    QFETCH(int, qtKey);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QStringList, events);
    auto grid = MakeGrid();
    grid->consumeKeys = true; // the character still arrives after a consumed key
    QKeyEvent event(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(modifiers), text);
    QApplication::sendEvent(grid.get(), &event);
    if (events == QStringList{"char"})
        QVERIFY(grid->events.isEmpty()); // neither a key nor a character
    else
        QCOMPARE(grid->events, events);
}

void CustomGridTest::keyUpSkipsAutoRepeat()
{
    auto grid = MakeGrid();
    QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier, QString(), true);
    QApplication::sendEvent(grid.get(), &repeated);
    QVERIFY(grid->events.isEmpty());
    QKeyEvent released(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(grid.get(), &released);
    QCOMPARE(grid->events, QStringList{"up 18"});
}

void CustomGridTest::clickSelectsThroughSelectCell()
{
    auto grid = MakeGrid();
    QWidget* view = grid->viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(95, 35)); // column 4, row 3
    QCOMPARE(grid->Col(), 4);
    QCOMPARE(grid->Row(), 3);
    QCOMPARE(grid->selectAsked.back(), (TGridCoord{4, 3}));
    QVERIFY(grid->hasFocus());
    grid->selectAsked.clear();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(5, 55)); // a fixed cell
    QVERIFY(grid->selectAsked.empty());
    QCOMPARE(grid->Col(), 4);
    QTest::mouseClick(view, Qt::RightButton, {}, QPoint(125, 55)); // right button moves nothing
    QVERIFY(grid->selectAsked.empty());
    grid->veto = TGridCoord{2, 1};
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(35, 15));
    QCOMPARE(grid->selectAsked.size(), size_t(1));
    QCOMPARE(grid->Col(), 4);
    QCOMPARE(grid->Row(), 3);
}

void CustomGridTest::dragMovesAndAutoscrolls()
{
    auto grid = MakeGrid();
    QWidget* view = grid->viewport();
    SendMouse(view, QEvent::MouseButtonPress, QPoint(35, 5), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(grid->Row(), 0);
    QVERIFY(TCustomGrid::IsKeyDown(VK_LBUTTON));
    SendMouse(view, QEvent::MouseMove, QPoint(65, 45), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(grid->Col(), 3);
    QCOMPARE(grid->Row(), 4);
    // Below the view: the grid keeps scrolling one row at a time towards the pointer.
    SendMouse(view, QEvent::MouseMove, QPoint(65, 130), Qt::NoButton, Qt::LeftButton);
    QTRY_VERIFY(grid->Row() >= 12);
    QVERIFY(grid->TopRow() >= 3);
    QCOMPARE(grid->Col(), 3);
    QVERIFY(grid->CellRect(grid->Col(), grid->Row()).isValid());
    SendMouse(view, QEvent::MouseButtonRelease, QPoint(65, 130), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!TCustomGrid::IsKeyDown(VK_LBUTTON));
    const int row = grid->Row();
    QTest::qWait(200);
    QCOMPARE(grid->Row(), row); // released: no more scrolling
    // Moving without a press moves nothing.
    SendMouse(view, QEvent::MouseMove, QPoint(35, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(grid->Row(), row);
}

void CustomGridTest::drawCellOnlyForVisibleCells()
{
    auto grid = MakeGrid(); // columns 0..7 (7 cut), rows 0..9 visible
    grid->SetRowCount(1000);
    grid->SetTopRow(500);
    grid->SetLeftCol(4);
    grid->drawn.clear();
    grid->blocks.clear();
    grid->overlayPaints = 0;
    grid->viewport()->repaint();
    QSet<QPair<int, int>> expected;
    for (int row = 500; row <= 509; ++row) {
        for (int col : {0, 1, 4, 5, 6, 7, 8, 9}) // column 9 starts at 180
            expected.insert({col, row});
    }
    QCOMPARE(grid->drawn, expected);
    QCOMPARE(grid->overlayPaints, 1);
    // Two blocks: fixed columns and scrolling columns, each contiguous.
    QCOMPARE(grid->blocks.size(), size_t(2));
    QCOMPARE(grid->blocks[0], (TGridRect{0, 500, 1, 509}));
    QCOMPARE(grid->blocks[1], (TGridRect{4, 500, 9, 509}));
}

void CustomGridTest::invalidateCellRepaintsOnlyThatCell()
{
    auto grid = MakeGrid();
    grid->viewport()->repaint();
    QTRY_VERIFY(!grid->drawn.isEmpty());
    // Let the window's first paints pass before recording.
    for (int last = -1; last != grid->overlayPaints;) {
        last = grid->overlayPaints;
        QTest::qWait(50);
    }
    grid->drawn.clear();
    grid->InvalidateCell(3, 4);
    QTRY_VERIFY(!grid->drawn.isEmpty());
    QCOMPARE(grid->drawn, (QSet<QPair<int, int>>{{3, 4}}));
    grid->drawn.clear();
    grid->InvalidateCell(3, 40); // invisible: no paint at all
    grid->InvalidateRow(2);
    QTRY_VERIFY(!grid->drawn.isEmpty());
    for (const auto& cell : grid->drawn)
        QCOMPARE(cell.second, 2);
    QVERIFY(grid->drawn.contains({0, 2}));
    QVERIFY(grid->drawn.contains({7, 2}));
}

void CustomGridTest::scrollBarScrollsByRows()
{
    auto grid = MakeGrid();
    grid->SetScrollBars(ssBoth);
    grid->SetFixedRows(1);
    QTRY_VERIFY(grid->verticalScrollBar()->isVisible());
    const int fit = grid->VisibleRowCount();
    QCOMPARE(grid->verticalScrollBar()->maximum(), 100 - fit - 1);
    grid->events.clear();
    grid->verticalScrollBar()->setValue(20);
    QCOMPARE(grid->TopRow(), 21);
    QCOMPARE(grid->events, (QStringList{"topleft", "vscroll"}));
    grid->events.clear();
    grid->SetTopRow(5); // programmatic: no scroll message, but the bar follows
    QCOMPARE(grid->events, QStringList{"topleft"});
    QCOMPARE(grid->verticalScrollBar()->value(), 4);
    grid->events.clear();
    grid->horizontalScrollBar()->setValue(1);
    QCOMPARE(grid->LeftCol(), 3);
    QCOMPARE(grid->events, (QStringList{"topleft", "hscroll"}));
    // The wheel scrolls through the bar, as the user's scrolling.
    grid->events.clear();
    const int top = grid->TopRow();
    QWheelEvent wheel(QPointF(50, 50), grid->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
        QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &wheel);
    QVERIFY(grid->TopRow() > top);
    QVERIFY(grid->events.contains(QStringLiteral("vscroll")));
    // Thumb tracking follows the option.
    QVERIFY(!grid->verticalScrollBar()->hasTracking());
    grid->SetOptions(grid->Options() + TGridOptions{goThumbTracking});
    QVERIFY(grid->verticalScrollBar()->hasTracking());
}

void CustomGridTest::errorsGoToTheHandler()
{
    auto grid = MakeGrid();
    QStringList errors;
    TCustomGrid::SetErrorHandler([&](const std::exception& e) { errors << e.what(); });
    grid->MoveColRow(2, 0, true, true);
    grid->throwInSelect = true;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(95, 35));
    QTest::keyClick(grid.get(), Qt::Key_Down);
    TCustomGrid::SetErrorHandler(nullptr);
    QCOMPARE(errors, (QStringList{"select failed", "select failed"}));
    QCOMPARE(grid->Row(), 0);
}

void CustomGridTest::paintErrorsAreReportedOnceAfterPainting()
{
    auto grid = MakeGrid();
    int reports = 0;
    bool reportedWhilePainting = false;
    TCustomGrid::SetErrorHandler([&](const std::exception& e) {
        QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("read failed"));
        ++reports;
        reportedWhilePainting = reportedWhilePainting || grid->painting;
        // A message box repaints the grid under it, which raises the error again.
        grid->viewport()->repaint();
        grid->viewport()->repaint();
    });
    grid->throwInDrawRow = 3;
    grid->drawn.clear();
    const int overlays = grid->overlayPaints;
    grid->viewport()->repaint();
    QCOMPARE(reports, 0); // never from inside the paint
    QVERIFY(grid->drawn.contains({2, 2}) && grid->drawn.contains({2, 4}));
    QVERIFY(grid->overlayPaints > overlays); // the rest of the paint went on
    QCoreApplication::processEvents();
    QCOMPARE(reports, 1);
    for (int i = 0; i < 3; ++i) {
        grid->viewport()->repaint();
        QCoreApplication::processEvents();
    }
    QCOMPARE(reports, 1);
    QVERIFY(!reportedWhilePainting);

    // Once the whole grid paints cleanly, a new failure is reported again.
    grid->throwInDrawRow = -1;
    grid->viewport()->repaint();
    grid->throwInDrawRow = 5;
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
    TCustomGrid::SetErrorHandler(nullptr);
    QCOMPARE(reports, 2);
}

void CustomGridTest::isKeyDownFollowsInput()
{
    auto grid = MakeGrid();
    QTest::keyPress(grid.get(), Qt::Key_Shift);
    QVERIFY(TCustomGrid::IsKeyDown(VK_SHIFT));
    QVERIFY(!TCustomGrid::IsKeyDown(VK_CONTROL));
    QTest::keyRelease(grid.get(), Qt::Key_Shift);
    QVERIFY(!TCustomGrid::IsKeyDown(VK_SHIFT));
    QVERIFY(!TCustomGrid::IsKeyDown('A'));
}

QTEST_MAIN(CustomGridTest)
#include "CustomGridTest.moc"
