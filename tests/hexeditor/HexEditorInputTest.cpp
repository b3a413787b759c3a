// THexEditor driven by key and mouse events on the offscreen platform: the key table,
// selection with Shift, markers, clicks, typing in overwrite and insert mode, the
// read-only view, the Tab key and the queued state notifications.
#include "HexEditorTestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace {

std::vector<uint8_t> Counting(int size)
{
    std::vector<uint8_t> data(size_t(size > 0 ? size : 0));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i);
    return data;
}

bool ShowFocused(QWidget& widget)
{
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        return false;
    QApplication::setActiveWindow(widget.window());
    widget.setFocus();
    return QTest::qWaitFor([&] { return widget.hasFocus(); });
}

// A focused editor of 700 x 400 pixels holding the given bytes.
std::unique_ptr<TestHexEditor> MakeEditor(const std::vector<uint8_t>& data)
{
    auto editor = std::make_unique<TestHexEditor>();
    editor->resize(700, 400);
    if (data.empty())
        editor->CreateEmptyFile("Untitled");
    else
        Fill(*editor, data);
    if (!ShowFocused(*editor))
        throw std::runtime_error("the editor did not get the focus");
    return editor;
}

TGridCoord Cell(const THexEditor& editor)
{
    return {editor.Col(), editor.Row()};
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
    Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

void Click(THexEditor& editor, int col, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPoint at = editor.CellRect(col, row).center();
    SendMouse(editor.viewport(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, modifiers);
    SendMouse(editor.viewport(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, modifiers);
}

// Shift held while the keys are pressed, as a user selects.
void ShiftKeys(THexEditor& editor, Qt::Key key, int times)
{
    QTest::keyPress(&editor, Qt::Key_Shift);
    for (int i = 0; i < times; ++i)
        QTest::keyClick(&editor, key, Qt::ShiftModifier);
    QTest::keyRelease(&editor, Qt::Key_Shift);
}

// The bytes as hex text, low digit last whatever SwapNibbles says.
QByteArray RawHex(THexEditor& editor)
{
    const std::vector<uint8_t> data = Data(editor);
    return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size())).toHex();
}

// Types one character the keyboard has no Qt key name for.
void TypeChar(QWidget* widget, QChar ch)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &release);
}

} // namespace

class HexEditorInputTest : public QObject {
    Q_OBJECT

    TempDirFixture FTemp;

private slots:
    void init() { FTemp.Init(); }
    void cleanup() { QCOMPARE(FTemp.Finish(), QStringList()); }

    void keyTable_data();
    void keyTable();
    void pageKeys();
    void variableLineLengthColumnRule();
    void shiftSelects();
    void shiftAloneStartsSelecting();
    void markers();
    void markerOnARowThatIsGone();
    void clicks_data();
    void clicks();
    void dragSelects();
    void clickEndsASelection();
    void doubleClickDoesNotSelect();
    void typingOverwrite_data();
    void typingOverwrite();
    void typingWithAnAltCode();
    void onKeyPressMayChangeTheCharacter();
    void typingInsert_data();
    void typingInsert();
    void insertKeyClearsChangeMarks();
    void eraseKeys_data();
    void eraseKeys();
    void readOnlyView();
    void tabAndDialogCode();
    void stateNotificationsAreQueued();
    void emptyData();
};

void HexEditorInputTest::keyTable_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("startCol");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("selected");

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    const int shift = Qt::ShiftModifier;
    auto row = [](const char* name, int size, int c0, int r0, int key, int mods, int times, int c, int r) {
        // Pressing Shift starts selecting: a move made with it held selects.
        QTest::newRow(name) << size << c0 << r0 << key << mods << times << c << r
                            << ((mods & Qt::ShiftModifier) ? 1 : 0);
    };
    // 100 bytes, B = 16: rows 0 to 6, the last byte (99) is at (8, 6) and (38, 6).
    row("Right from column 33 wraps to the next row", 100, 33, 0, Qt::Key_Right, none, 1, 2, 1);
    row("Left from column 2 of row 1 goes back", 100, 2, 1, Qt::Key_Left, none, 1, 33, 0);
    row("Right steps nibble by nibble", 100, 2, 0, Qt::Key_Right, none, 3, 5, 0);
    row("Left steps nibble by nibble", 100, 7, 0, Qt::Key_Left, none, 3, 4, 0);
    row("Left at position 0 stays", 100, 2, 0, Qt::Key_Left, none, 1, 2, 0);
    row("Right on the last byte stays", 100, 8, 6, Qt::Key_Right, none, 3, 9, 6);
    row("character field: Left at 0 stays", 100, 35, 0, Qt::Key_Left, none, 1, 35, 0);
    row("character field: Right wraps", 100, 50, 0, Qt::Key_Right, none, 1, 35, 1);
    row("character field: Left wraps", 100, 35, 1, Qt::Key_Left, none, 1, 50, 0);
    row("character field: Right at the last byte stays", 100, 38, 6, Qt::Key_Right, none, 1, 38, 6);
    row("End, 10 bytes, hex field", 10, 4, 0, Qt::Key_End, none, 1, 20, 0);
    row("End, 10 bytes, character field", 10, 36, 0, Qt::Key_End, none, 1, 44, 0);
    row("End on a full row: the last byte's first column", 100, 7, 1, Qt::Key_End, none, 1, 32, 1);
    row("Home", 100, 21, 2, Qt::Key_Home, none, 1, 2, 2);
    row("Home, character field", 100, 40, 2, Qt::Key_Home, none, 1, 35, 2);
    row("Ctrl+Home", 100, 21, 2, Qt::Key_Home, ctrl, 1, 2, 0);
    row("Ctrl+Home, character field", 100, 40, 2, Qt::Key_Home, ctrl, 1, 35, 0);
    row("Ctrl+End", 100, 21, 2, Qt::Key_End, ctrl, 1, 8, 6);
    row("Ctrl+End, character field", 100, 40, 2, Qt::Key_End, ctrl, 1, 38, 6);
    row("Down keeps the column", 100, 5, 1, Qt::Key_Down, none, 2, 5, 3);
    row("Down on the last row stays", 100, 5, 6, Qt::Key_Down, none, 1, 5, 6);
    row("Down past the data lands on the last byte", 100, 30, 5, Qt::Key_Down, none, 1, 8, 6);
    row("Down past the data, character field", 100, 45, 5, Qt::Key_Down, none, 1, 38, 6);
    row("Up", 100, 5, 2, Qt::Key_Up, none, 1, 5, 1);
    row("Up on row 0 stays", 100, 5, 0, Qt::Key_Up, none, 1, 5, 0);
    row("Tab from column 13 to the character field", 100, 13, 0, Qt::Key_Tab, none, 1, 40, 0);
    row("Tab there and back lands on the first column", 100, 13, 0, Qt::Key_Tab, none, 2, 12, 0);
    row("Shift+Tab works the same", 100, 13, 0, Qt::Key_Backtab, shift, 1, 40, 0);
    row("Ctrl+T works the same", 100, 13, 0, Qt::Key_T, ctrl, 1, 40, 0);
    row("Ctrl+Right: the last character of the row", 100, 5, 2, Qt::Key_Right, ctrl, 1, 50, 2);
    row("Ctrl+Right on the last row lands on the last byte", 100, 5, 6, Qt::Key_Right, ctrl, 1, 8, 6);
    // Keys outside the table go to the grid.
    row("Ctrl+Left is the grid's: one column left", 100, 5, 2, Qt::Key_Left, ctrl, 1, 4, 2);
    row("Ctrl+Left never stops on the field gap", 100, 35, 2, Qt::Key_Left, ctrl, 1, 35, 2);
    row("Ctrl+Up scrolls, the cell stays", 100, 5, 2, Qt::Key_Up, ctrl, 1, 5, 2);
    row("Backspace in overwrite mode is the grid's Left", 100, 5, 1, Qt::Key_Backspace, none, 1, 4, 1);
    row("Backspace at the first column stays", 100, 2, 1, Qt::Key_Backspace, none, 1, 2, 1);
    row("Delete in overwrite mode moves nothing", 100, 5, 1, Qt::Key_Delete, none, 1, 5, 1);
    row("a letter moves nothing", 100, 35, 1, Qt::Key_Q, ctrl, 1, 35, 1);
}

void HexEditorInputTest::keyTable()
{
    QFETCH(int, size);
    QFETCH(int, startCol);
    QFETCH(int, startRow);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, times);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(int, selected);

    // Navigation is the same in the read-only view, and never changes the data.
    for (bool readOnly : {false, true}) {
        auto editor = MakeEditor(Counting(size));
        editor->SetReadOnlyView(readOnly);
        editor->MoveColRow(startCol, startRow, true, true);
        QCOMPARE(Cell(*editor), (TGridCoord{startCol, startRow}));
        for (int i = 0; i < times; ++i)
            QTest::keyClick(editor.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(Cell(*editor), (TGridCoord{col, row}));
        QCOMPARE(Data(*editor), Counting(size));
        QCOMPARE(editor->GetSelCount(), selected);
    }
}

void HexEditorInputTest::pageKeys()
{
    auto editor = MakeEditor(Counting(4096)); // 256 rows
    const int visible = editor->VisibleRowCount();
    QVERIFY(visible > 3 && visible < 100);
    editor->MoveColRow(7, 2, true, true);

    QTest::keyClick(editor.get(), Qt::Key_PageDown);
    QCOMPARE(Cell(*editor), (TGridCoord{7, 2 + visible - 1}));
    QCOMPARE(editor->TopRow(), visible - 1);
    QTest::keyClick(editor.get(), Qt::Key_PageUp);
    QCOMPARE(Cell(*editor), (TGridCoord{7, 2}));
    QCOMPARE(editor->TopRow(), 0);

    // With Ctrl: the last and the first visible row, no scrolling.
    QTest::keyClick(editor.get(), Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{7, visible - 1}));
    QCOMPARE(editor->TopRow(), 0);
    editor->SetTopRow(40);
    editor->MoveColRow(7, 45, true, true);
    QTest::keyClick(editor.get(), Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{7, 40}));
    QCOMPARE(editor->TopRow(), 40);

    // At the ends the rows are limited.
    QTest::keyClick(editor.get(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(editor.get(), Qt::Key_PageDown);
    QCOMPARE(editor->Row(), 255);
    QCOMPARE(editor->TopRow(), 256 - visible);
    QTest::keyClick(editor.get(), Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(editor.get(), Qt::Key_PageUp);
    QCOMPARE(Cell(*editor), (TGridCoord{2, 0}));
}

void HexEditorInputTest::variableLineLengthColumnRule()
{
    // Rows of 10, 6 and then 16 bytes.
    auto editor = MakeEditor(Counting(40));
    editor->SetLineLengths({10, 6});
    editor->SetVariableLineLength(true);
    QCOMPARE(editor->RowCount(), 4);

    // From inside a long row down into a short one: the column is pulled in.
    editor->MoveColRow(19, 0, true, true);
    QTest::keyClick(editor.get(), Qt::Key_Down);
    QCOMPARE(Cell(*editor), (TGridCoord{13, 1}));
    // On the last column of its line the cursor stays at the line's end.
    QTest::keyClick(editor.get(), Qt::Key_Up);
    QCOMPARE(Cell(*editor), (TGridCoord{21, 0}));
    QTest::keyClick(editor.get(), Qt::Key_Down);
    QTest::keyClick(editor.get(), Qt::Key_Down);
    QCOMPARE(Cell(*editor), (TGridCoord{33, 2}));
    // Not at the line's end: the column stays where it fits.
    editor->MoveColRow(6, 2, true, true);
    QTest::keyClick(editor.get(), Qt::Key_Up);
    QCOMPARE(Cell(*editor), (TGridCoord{6, 1}));
    // Character field, and Ctrl+Right to the row's last character.
    editor->MoveColRow(44, 0, true, true);
    QTest::keyClick(editor.get(), Qt::Key_Down);
    QCOMPARE(Cell(*editor), (TGridCoord{40, 1}));
    QTest::keyClick(editor.get(), Qt::Key_Home);
    QTest::keyClick(editor.get(), Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{40, 1}));
    // End on a short row.
    editor->MoveColRow(2, 1, true, true);
    QTest::keyClick(editor.get(), Qt::Key_End);
    QCOMPARE(Cell(*editor), (TGridCoord{12, 1}));
    QCOMPARE(editor->GetCursorPos(), 15);
}

void HexEditorInputTest::shiftSelects()
{
    auto editor = MakeEditor(Counting(100));
    editor->MoveColRow(39, 0, true, true); // position 4, character field
    ShiftKeys(*editor, Qt::Key_Right, 3);
    QCOMPARE(editor->GetSelAnchor(), 4);
    QCOMPARE(editor->GetSelFirst(), 4);
    QCOMPARE(editor->GetSelLast(), 7);
    QCOMPARE(editor->GetSelCount(), 4);
    QCOMPARE(editor->GetSelStart(), 4);
    QCOMPARE(editor->GetSelEnd(), 7);
    // Left without Shift ends it.
    QTest::keyClick(editor.get(), Qt::Key_Left);
    QCOMPARE(editor->GetSelCount(), 0);
    QCOMPARE(editor->GetCursorPos(), 6);

    editor->MoveColRow(39, 0, true, true);
    ShiftKeys(*editor, Qt::Key_Left, 2);
    QCOMPARE(editor->GetSelFirst(), 2);
    QCOMPARE(editor->GetSelLast(), 4);
    QCOMPARE(editor->GetSelEnd(), 2);
    QCOMPARE(editor->GetSelStart(), 4);

    // In the hex field the selection grows by whole bytes as the nibbles are passed.
    editor->MoveColRow(4, 1, true, true); // position 17
    ShiftKeys(*editor, Qt::Key_Right, 3);
    QCOMPARE(editor->GetSelFirst(), 17);
    QCOMPARE(editor->GetSelLast(), 18);
    // Shift+Down extends a row further.
    ShiftKeys(*editor, Qt::Key_Down, 1);
    QCOMPARE(editor->GetSelLast(), 34);
    QCOMPARE(editor->GetSelAnchor(), 17);
}

void HexEditorInputTest::shiftAloneStartsSelecting()
{
    auto editor = MakeEditor(Counting(100));
    editor->SetSelStart(10);
    editor->SetSelEnd(20);
    QTest::keyPress(editor.get(), Qt::Key_Shift);
    QVERIFY(editor->GetSelecting());
    QCOMPARE(editor->GetSelCount(), 0); // a new start
    // Held down (auto-repeat), it keeps what was selected since.
    QTest::keyClick(editor.get(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(editor.get(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyPress(editor.get(), Qt::Key_Shift, Qt::ShiftModifier);
    QCOMPARE(editor->GetSelCount(), 2);
    QTest::keyRelease(editor.get(), Qt::Key_Shift);
    // Selecting stays on after release until the next key without Shift.
    QVERIFY(editor->GetSelecting());
    QTest::keyClick(editor.get(), Qt::Key_Up);
    QVERIFY(!editor->GetSelecting());
    QCOMPARE(editor->GetSelCount(), 0);
}

void HexEditorInputTest::markers()
{
    auto editor = MakeEditor(Counting(512)); // 32 rows
    editor->MoveColRow(9, 5, true, true);
    QTest::keyClick(editor.get(), Qt::Key_3, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->GetMarker(3), 5);
    QCOMPARE(editor->CellLook(1, 5).text, std::string("3"));
    editor->MoveColRow(40, 20, true, true);
    editor->SetSelStart(editor->GetCursorPos());
    editor->SetSelEnd(editor->GetCursorPos() + 3);
    QTest::keyClick(editor.get(), Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{2, 5}));
    QCOMPARE(editor->GetSelCount(), 0);
    // Marker 4 is unset: column 2 of the current row.
    editor->MoveColRow(40, 12, true, true);
    QTest::keyClick(editor.get(), Qt::Key_4, Qt::ControlModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{2, 12}));
    QCOMPARE(editor->GetMarker(4), -1);
    // Setting a marker again moves it; the lowest index wins on a shared row.
    QTest::keyClick(editor.get(), Qt::Key_1, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(editor.get(), Qt::Key_0, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->CellLook(1, 12).text, std::string("0"));
    // Markers work in the read-only view too.
    editor->SetReadOnlyView(true);
    editor->MoveColRow(2, 30, true, true);
    QTest::keyClick(editor.get(), Qt::Key_9, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->GetMarker(9), 30);
    QTest::keyClick(editor.get(), Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(editor->Row(), 5);
}

void HexEditorInputTest::markerOnARowThatIsGone()
{
    auto editor = MakeEditor(Counting(512));
    editor->MoveColRow(2, 30, true, true);
    QTest::keyClick(editor.get(), Qt::Key_6, Qt::ControlModifier | Qt::ShiftModifier);
    Fill(*editor, Counting(64)); // 4 rows now
    editor->MoveColRow(2, 2, true, true);
    QTest::keyClick(editor.get(), Qt::Key_6, Qt::ControlModifier);
    QCOMPARE(editor->Row(), 2);
    QCOMPARE(editor->GetMarker(6), 1);
}

void HexEditorInputTest::clicks_data()
{
    QTest::addColumn<int>("fromCol"); // the current cell before the click (row 0)
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("endCol");
    QTest::addColumn<int>("endRow");
    // 100 bytes: the last row holds 96 to 99.
    QTest::newRow("a hex cell") << 2 << 13 << 2 << 13 << 2;
    QTest::newRow("a character cell") << 2 << 40 << 3 << 40 << 3;
    QTest::newRow("the field gap: the row's last hex column") << 2 << 34 << 2 << 33 << 2;
    QTest::newRow("the field gap from the character field") << 40 << 34 << 4 << 33 << 4;
    QTest::newRow("the field gap of the last row: the last byte") << 2 << 34 << 6 << 8 << 6;
    QTest::newRow("past the end, hex cell: the last byte") << 2 << 20 << 6 << 8 << 6;
    QTest::newRow("past the end, from the character field") << 40 << 20 << 6 << 38 << 6;
    QTest::newRow("past the end in the character field, from the hex field") << 2 << 45 << 6 << 8 << 6;
    QTest::newRow("the offset column moves nothing") << 7 << 0 << 3 << 7 << 0;
}

void HexEditorInputTest::clicks()
{
    QFETCH(int, fromCol);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(int, endCol);
    QFETCH(int, endRow);
    auto editor = MakeEditor(Counting(100));
    editor->MoveColRow(fromCol, 0, true, true);
    Click(*editor, col, row);
    QCOMPARE(Cell(*editor), (TGridCoord{endCol, endRow}));
    QCOMPARE(editor->GetSelCount(), 0);
    QVERIFY(editor->GetSelecting()); // until the next key without Shift
}

void HexEditorInputTest::dragSelects()
{
    auto editor = MakeEditor(Counting(100));
    QWidget* viewport = editor->viewport();
    SendMouse(
        viewport, QEvent::MouseButtonPress, editor->CellRect(3, 1).center(), Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseMove, editor->CellRect(8, 1).center(), Qt::NoButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseMove, editor->CellRect(10, 2).center(), Qt::NoButton, Qt::LeftButton);
    SendMouse(
        viewport, QEvent::MouseButtonRelease, editor->CellRect(10, 2).center(), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(editor->GetSelAnchor(), 16);
    QCOMPARE(editor->GetSelFirst(), 16);
    QCOMPARE(editor->GetSelLast(), 36);
    QCOMPARE(Cell(*editor), (TGridCoord{10, 2}));
    // Back above the anchor.
    SendMouse(
        viewport, QEvent::MouseButtonPress, editor->CellRect(40, 3).center(), Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseMove, editor->CellRect(36, 2).center(), Qt::NoButton, Qt::LeftButton);
    SendMouse(
        viewport, QEvent::MouseButtonRelease, editor->CellRect(36, 2).center(), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(editor->GetSelFirst(), 33);
    QCOMPARE(editor->GetSelLast(), 53);
    QCOMPARE(editor->GetSelEnd(), 33);
}

void HexEditorInputTest::clickEndsASelection()
{
    auto editor = MakeEditor(Counting(100));
    editor->SetSelStart(3);
    editor->SetSelEnd(30);
    Click(*editor, 20, 4, Qt::ShiftModifier); // a Shift-click does not extend it
    QCOMPARE(editor->GetSelCount(), 0);
    QCOMPARE(editor->GetCursorPos(), 73);
    // The right button leaves the selection alone.
    editor->SetSelStart(3);
    editor->SetSelEnd(30);
    const QPoint at = editor->CellRect(20, 5).center();
    SendMouse(editor->viewport(), QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
    SendMouse(editor->viewport(), QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
    QCOMPARE(editor->GetSelCount(), 28);
}

void HexEditorInputTest::doubleClickDoesNotSelect()
{
    auto editor = MakeEditor(Counting(100));
    const QPoint at = editor->CellRect(6, 2).center();
    QWidget* viewport = editor->viewport();
    SendMouse(viewport, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    QVERIFY(editor->GetSelecting());
    SendMouse(viewport, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    QVERIFY(!editor->GetSelecting());
    QCOMPARE(Cell(*editor), (TGridCoord{6, 2}));
}

void HexEditorInputTest::typingOverwrite_data()
{
    QTest::addColumn<int>("startCol");
    QTest::addColumn<bool>("swap");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("data"); // the first three bytes afterwards
    QTest::addColumn<int>("col");
    // The data starts 00 01 02.
    QTest::newRow("two digits make a byte") << 2 << false << "aB" << QByteArray("ab0102") << 4;
    QTest::newRow("second digit only") << 3 << false << "7" << QByteArray("070102") << 4;
    QTest::newRow("across bytes") << 3 << false << "9F3" << QByteArray("09f302") << 6;
    QTest::newRow("swapped: the first column is the low digit")
        << 2 << true << "12" << QByteArray("210102") << 4;
    QTest::newRow("not a hex digit") << 2 << false << "g-z " << QByteArray("000102") << 2;
    QTest::newRow("character field") << 35 << false << "Hi" << QByteArray("486902") << 37;
    QTest::newRow("character field, blank") << 36 << false << " " << QByteArray("002002") << 37;
}

void HexEditorInputTest::typingOverwrite()
{
    QFETCH(int, startCol);
    QFETCH(bool, swap);
    QFETCH(QString, typed);
    QFETCH(QByteArray, data);
    QFETCH(int, col);
    auto editor = MakeEditor(Counting(20));
    editor->SetSwapNibbles(swap);
    editor->MoveColRow(startCol, 0, true, true);
    QTest::keyClicks(editor.get(), typed);
    QCOMPARE(RawHex(*editor).left(6), data);
    QCOMPARE(editor->GetDataSize(), 20);
    QCOMPARE(Cell(*editor), (TGridCoord{col, 0}));
    const bool changed = data != QByteArray("000102");
    QCOMPARE(editor->GetModified(), changed);
    // Overwritten bytes are marked.
    QCOMPARE(editor->HasChanged(0) || editor->HasChanged(1), changed);

    // A typed character ends a selection and overwrites at the cursor.
    editor->SetSelStart(10);
    editor->SetSelEnd(12);
    QTest::keyClicks(editor.get(), startCol > 34 ? "Z" : "E");
    QCOMPARE(editor->GetSelCount(), 0);
    QCOMPARE(editor->GetByteAtPos(10), uint8_t(startCol > 34 ? 'Z' : swap ? 0x0E : 0xEA));
    QCOMPARE(editor->GetByteAtPos(11), uint8_t(11));
}

void HexEditorInputTest::typingWithAnAltCode()
{
    auto editor = MakeEditor(Counting(20));
    editor->MoveColRow(35, 0, true, true);
    // A character that follows an Alt release is taken as an ANSI code and stored in
    // the OEM code page.
    QTest::keyPress(editor.get(), Qt::Key_Alt);
    QTest::keyRelease(editor.get(), Qt::Key_Alt);
    TypeChar(editor.get(), QChar(0xE9));
    QCOMPARE(editor->GetByteAtPos(0), AnsiToOemChar(0xE9));
    QVERIFY(AnsiToOemChar(0xE9) != 0xE9);
    // Only the next one.
    TypeChar(editor.get(), QChar(0xE9));
    QCOMPARE(editor->GetByteAtPos(1), uint8_t(0xE9));
    QCOMPARE(editor->Col(), 37);
}

void HexEditorInputTest::onKeyPressMayChangeTheCharacter()
{
    auto editor = MakeEditor(Counting(20));
    editor->OnKeyPress = [](THexEditor*, char& key) {
        if (key == 'x')
            key = 'F';
    };
    QTest::keyClicks(editor.get(), "xx");
    QCOMPARE(editor->GetByteAtPos(0), uint8_t(0xFF));
}

void HexEditorInputTest::typingInsert_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("startCol");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("col");
    QTest::newRow("a nibble opens a new byte") << QByteArray("1122") << 2 << "a" << QByteArray("a01122") << 3;
    QTest::newRow("the second nibble completes it")
        << QByteArray("1122") << 2 << "ab" << QByteArray("ab1122") << 4;
    QTest::newRow("two bytes") << QByteArray("1122") << 4 << "abcd" << QByteArray("11abcd22") << 8;
    QTest::newRow("second column of the last byte appends a zero byte")
        << QByteArray("1122") << 5 << "f" << QByteArray("112f00") << 6;
    QTest::newRow("typing on after that fills the new byte")
        << QByteArray("1122") << 5 << "f34" << QByteArray("112f3400") << 8;
    QTest::newRow("character field") << QByteArray("1122") << 36 << "Qr" << QByteArray("11517222") << 38;
    // Every second digit typed on the last byte opens a zero byte to go on with.
    QTest::newRow("empty data") << QByteArray() << 2 << "5e" << QByteArray("5e00") << 4;
    QTest::newRow("empty data, on and on") << QByteArray() << 2 << "5e6" << QByteArray("5e60") << 5;
}

void HexEditorInputTest::typingInsert()
{
    QFETCH(QByteArray, before);
    QFETCH(int, startCol);
    QFETCH(QString, typed);
    QFETCH(QByteArray, after);
    QFETCH(int, col);
    auto editor = MakeEditor(Bytes(before));
    editor->SetAllowInsertMode(true);
    QTest::keyClick(editor.get(), Qt::Key_Insert);
    QVERIFY(editor->IsInsertMode());
    editor->MoveColRow(startCol, 0, true, true);
    QTest::keyClicks(editor.get(), typed);
    QCOMPARE(Hex(*editor).toLower(), after);
    QCOMPARE(editor->Col(), col);
    // Nothing is marked as changed in insert mode.
    for (int p = 0; p < editor->GetDataSize(); ++p)
        QVERIFY(!editor->HasChanged(p));
}

void HexEditorInputTest::insertKeyClearsChangeMarks()
{
    auto editor = MakeEditor(Counting(20));
    QTest::keyClicks(editor.get(), "ff");
    QVERIFY(editor->HasChanged(0));
    // Without AllowInsertMode the key still flips the toggle and clears the marks.
    QTest::keyClick(editor.get(), Qt::Key_Insert);
    QVERIFY(editor->GetInsertToggle());
    QVERIFY(!editor->IsInsertMode());
    QCOMPARE(editor->GetChangeMarks().CountSet(), 0);
    QVERIFY(!editor->HasChanged(0));
    QCOMPARE(editor->GetByteAtPos(0), uint8_t(0xFF));
    QVERIFY(editor->GetModified());
    // Typing still overwrites, the cursor moved on from the Insert key not at all.
    QCOMPARE(Cell(*editor), (TGridCoord{4, 0}));
    QTest::keyClicks(editor.get(), "1");
    QCOMPARE(editor->GetByteAtPos(1), uint8_t(0x11));
}

void HexEditorInputTest::eraseKeys_data()
{
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("selFrom"); // -1: no selection
    QTest::addColumn<int>("selTo");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("cursorAfter");
    // The data is 00 01 02 03 04 05.
    QTest::newRow("insert: Backspace erases the byte before")
        << true << -1 << -1 << 3 << int(Qt::Key_Backspace) << 0 << QByteArray("0001030405") << 2;
    QTest::newRow("insert: Backspace at 0 does nothing")
        << true << -1 << -1 << 0 << int(Qt::Key_Backspace) << 0 << QByteArray("000102030405") << 0;
    // In insert mode the cursor stands between bytes: selecting from 2 to 4 takes 2 and 3.
    QTest::newRow("insert: Backspace takes the selection only")
        << true << 2 << 4 << 2 << int(Qt::Key_Backspace) << 0 << QByteArray("00010405") << 2;
    QTest::newRow("insert: Delete erases the byte at the cursor")
        << true << -1 << -1 << 3 << int(Qt::Key_Delete) << 0 << QByteArray("0001020405") << 3;
    QTest::newRow("insert: Delete takes the selection")
        << true << 1 << 5 << 1 << int(Qt::Key_Delete) << 0 << QByteArray("0005") << 1;
    QTest::newRow("overwrite: Delete changes nothing")
        << false << -1 << -1 << 3 << int(Qt::Key_Delete) << 0 << QByteArray("000102030405") << 3;
    QTest::newRow("overwrite: Ctrl+Delete takes the byte at the cursor")
        << false << -1 << -1 << 3 << int(Qt::Key_Delete) << int(Qt::ControlModifier)
        << QByteArray("0001020405") << 3;
    QTest::newRow("overwrite: Ctrl+Delete takes the selection")
        << false << 1 << 2 << 1 << int(Qt::Key_Delete) << int(Qt::ControlModifier) << QByteArray("00030405")
        << 1;
    QTest::newRow("overwrite: Backspace only moves")
        << false << -1 << -1 << 3 << int(Qt::Key_Backspace) << 0 << QByteArray("000102030405") << 2;
}

void HexEditorInputTest::eraseKeys()
{
    QFETCH(bool, insert);
    QFETCH(int, selFrom);
    QFETCH(int, selTo);
    QFETCH(int, cursor);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, after);
    QFETCH(int, cursorAfter);
    auto editor = MakeEditor(Bytes("000102030405"));
    editor->SetAllowInsertMode(true);
    if (insert)
        QTest::keyClick(editor.get(), Qt::Key_Insert);
    QCOMPARE(editor->IsInsertMode(), insert);
    editor->SetSelStart(cursor);
    if (selFrom >= 0) {
        QCOMPARE(selFrom, cursor);
        editor->SetSelEnd(selTo);
    }
    QTest::keyClick(editor.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(Hex(*editor).toLower(), after);
    QCOMPARE(editor->GetCursorPos(), cursorAfter);
}

void HexEditorInputTest::readOnlyView()
{
    auto editor = MakeEditor(Counting(100));
    editor->SetAllowInsertMode(true);
    editor->SetReadOnlyView(true);
    editor->MoveColRow(5, 1, true, true);
    // Typing changes nothing and does not move the cursor.
    QTest::keyClicks(editor.get(), "A");
    QTest::keyClick(editor.get(), Qt::Key_A, Qt::ShiftModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{5, 1}));
    // Backspace reaches the grid as Left, also in insert mode.
    QTest::keyClick(editor.get(), Qt::Key_Insert);
    QVERIFY(editor->IsInsertMode());
    QTest::keyClick(editor.get(), Qt::Key_Backspace);
    QCOMPARE(Cell(*editor), (TGridCoord{4, 1}));
    // Delete goes to the grid unchanged: it moves nothing and removes nothing.
    editor->SetSelStart(20);
    editor->SetSelEnd(25);
    QTest::keyClick(editor.get(), Qt::Key_Delete);
    QTest::keyClick(editor.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(editor->GetSelCount(), 5); // insert mode: 20 to 24
    QTest::keyClicks(editor.get(), "7");
    QTest::keyClick(editor.get(), Qt::Key_Tab);
    QTest::keyClicks(editor.get(), "xyz");
    QCOMPARE(Data(*editor), Counting(100));
    QVERIFY(!editor->GetModified());
    QVERIFY(!editor->GetCanUndo());
    // Selection with Shift works (between bytes, as insert mode has it).
    ShiftKeys(*editor, Qt::Key_Right, 2);
    QCOMPARE(editor->GetSelCount(), 2);
    QTest::keyClick(editor.get(), Qt::Key_Insert);
    QTest::keyClick(editor.get(), Qt::Key_Home); // a key without Shift ends it
    QCOMPARE(editor->GetSelCount(), 0);
    ShiftKeys(*editor, Qt::Key_Right, 2);
    QCOMPARE(editor->GetSelCount(), 3);
}

void HexEditorInputTest::tabAndDialogCode()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* editor = new TestHexEditor;
    auto* next = new QLineEdit;
    layout->addWidget(editor);
    layout->addWidget(next);
    window.resize(700, 500);
    Fill(*editor, Counting(100));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    editor->setFocus();
    QTRY_VERIFY(editor->hasFocus());

    const uint32_t code = editor->WMGetDlgCode();
    QVERIFY(code & DLGC_WANTARROWS);
    QVERIFY(code & DLGC_WANTCHARS);
    QVERIFY(code & DLGC_WANTTAB);
    editor->MoveColRow(13, 0, true, true);
    QTest::keyClick(editor, Qt::Key_Tab);
    QVERIFY(editor->hasFocus());
    QCOMPARE(editor->Col(), 40);

    editor->SetWantTabs(false);
    QVERIFY(!(editor->WMGetDlgCode() & DLGC_WANTTAB));
    QTest::keyClick(editor, Qt::Key_Tab);
    QTRY_VERIFY(next->hasFocus());
    QCOMPARE(editor->Col(), 40);
    QVERIFY(!editor->GetCaretExists());
}

void HexEditorInputTest::stateNotificationsAreQueued()
{
    auto editor = MakeEditor(Counting(100));
    QCoreApplication::sendPostedEvents(editor.get(), WM_STATECHANGED);

    // Count the posted messages as they are delivered, and the events they cause.
    struct Counter : QObject {
        int posted = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            posted += event->type() == WM_STATECHANGED;
            return false;
        }
    } counter;
    editor->installEventFilter(&counter);
    int calls = 0;
    bool insideTheHandler = false;
    editor->OnStateChanged = [&](THexEditor*) {
        QVERIFY(!insideTheHandler);
        ++calls;
    };

    insideTheHandler = true;
    QTest::keyPress(editor.get(), Qt::Key_Shift);
    QTest::keyClick(editor.get(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(editor.get(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyRelease(editor.get(), Qt::Key_Shift);
    QTest::keyClick(editor.get(), Qt::Key_Insert);
    insideTheHandler = false;
    QCOMPARE(calls, 0);
    QCoreApplication::sendPostedEvents(editor.get(), WM_STATECHANGED);
    QVERIFY(counter.posted >= 4); // Shift, two selection changes, Insert
    QCOMPARE(calls, counter.posted);
    editor->removeEventFilter(&counter);
}

void HexEditorInputTest::emptyData()
{
    auto editor = MakeEditor({});
    for (Qt::Key key :
        {Qt::Key_Right, Qt::Key_Down, Qt::Key_End, Qt::Key_Tab, Qt::Key_PageDown, Qt::Key_Left})
        QTest::keyClick(editor.get(), key);
    QTest::keyClick(editor.get(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(editor.get(), Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(Cell(*editor), (TGridCoord{2, 0}));
    Click(*editor, 20, 0);
    QCOMPARE(Cell(*editor), (TGridCoord{2, 0}));
    // Typing in overwrite mode has nowhere to go.
    QTest::keyClicks(editor.get(), "12");
    QCOMPARE(editor->GetDataSize(), 0);
}

QTEST_MAIN(HexEditorInputTest)
#include "HexEditorInputTest.moc"
