// THexEditor on screen: what each cell shows (text, colours, font, cursor marks), the
// pixels of a few known states, text runs against cell-by-cell drawing, the caret's
// life, and how little a cursor move repaints and reads.
#include "HexEditorTestSupport.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <memory>
#include <set>

Q_DECLARE_METATYPE(TCursorMark)

namespace {

// Byte p of the test data is 0x40 + p (so byte 15 is 0x4F, byte 16 '0x50').
std::vector<uint8_t> Counting(int size)
{
    std::vector<uint8_t> data(size_t(size > 0 ? size : 0));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(0x40 + i);
    return data;
}

// Shows the editor and gives it the keyboard focus (the offscreen platform has an
// active window and focus like any other).
bool ShowFocused(QWidget& widget)
{
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        return false;
    QApplication::setActiveWindow(&widget);
    widget.setFocus();
    return QTest::qWaitFor([&] { return widget.hasFocus(); });
}

QImage Shot(THexEditor& editor)
{
    return editor.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor Rgb(TColor color)
{
    return ColorToQColor(color, QApplication::palette());
}

// An editor whose paints are recorded (the rows of every block painted).
class RecordingEditor : public TestHexEditor {
public:
    std::set<int> paintedRows;
    bool perCell = false;

protected:
    void PaintCells(QPainter& painter, int firstCol, int lastCol, int firstRow, int lastRow) override
    {
        for (int r = firstRow; r <= lastRow; ++r)
            paintedRows.insert(r);
        if (perCell)
            TCustomGrid::PaintCells(painter, firstCol, lastCol, firstRow, lastRow); // DrawCell per cell
        else
            THexEditor::PaintCells(painter, firstCol, lastCol, firstRow, lastRow);
    }
};

// Counts the queued calls delivered to an object.
class QueuedCallCounter : public QObject {
public:
    explicit QueuedCallCounter(QObject& target) { target.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::MetaCall ? 1 : 0;
        return false;
    }
    int count = 0;
};

} // namespace

class HexEditorPaintTest : public QObject {
    Q_OBJECT

private slots:
    void cellLook_data();
    void cellLook();
    void cursorMarks_data();
    void cursorMarks();
    void pixelsOfSelectionAndChanges();
    void pixelsOfCaretAndFrame_data();
    void pixelsOfCaretAndFrame();
    void rowsPastTheEndAreBlank();
    void textRunsLookLikeCellByCell();
    void markerUsesTheSmallerFont();
    void fontIsFixedPitch();
    void caretLifecycle();
    void caretFollowsScrolling();
    void caretStyleFollowsInsertMode();
    void cursorMoveRepaintsOneRow();
    void pageRepaintLoadsTheWindowOnce();
    void colourSetCanBeReplaced();
};

void HexEditorPaintTest::cellLook_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("bytesPerColumn");
    QTest::addColumn<bool>("swap");
    QTest::addColumn<int>("selFrom"); // -1: no selection
    QTest::addColumn<int>("selTo");
    QTest::addColumn<int>("changed"); // position marked as changed, -1: none
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("markerRow"); // marker 7 on this row, -1: none
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("textColor");
    QTest::addColumn<uint>("backColor");
    QTest::addColumn<int>("font");

    const uint window = clWindow;
    const uint fontColor = clWindowText;
    auto plain = [&](const char* name, int g, int col, int row, const char* text, uint color) {
        QTest::newRow(name) << 64 << g << false << -1 << -1 << -1 << false << -1 << col << row << text
                            << color << window << int(cfNormal);
    };
    // Groups of two bytes: columns 2-5 odd, 6-9 even, 10-13 odd.
    plain("G2 col 2", 2, 2, 1, "5", clBlue);
    plain("G2 col 5", 2, 5, 1, "1", clBlue);
    plain("G2 col 6", 2, 6, 1, "5", clNavy);
    plain("G2 col 9", 2, 9, 1, "3", clNavy);
    plain("G2 col 10", 2, 10, 1, "5", clBlue);
    plain("G2 col 33", 2, 33, 1, "F", clNavy);
    // One byte per group: the colours alternate byte by byte.
    plain("G1 col 2", 1, 2, 1, "5", clBlue);
    plain("G1 col 3", 1, 3, 1, "0", clBlue);
    plain("G1 col 4", 1, 4, 1, "5", clNavy);
    plain("G1 col 6", 1, 6, 1, "5", clBlue);
    plain("character", 2, 35, 1, "P", fontColor);
    plain("field gap", 2, 34, 1, " ", fontColor);
    plain("offset", 2, 0, 1, "0x10:", clBlack);
    plain("no marker", 2, 1, 1, " ", fontColor);

    auto selected = [&](const char* name, int g, int col, uint text, uint back, int changed = -1) {
        QTest::newRow(name) << 64 << g << false << 16 << 19 << changed << false << -1 << col << 1
                            << QString(col > 34       ? "P"
                                       : col % 2 == 0 ? "5"
                                                      : "0")
                            << text << back << int(cfNormal);
    };
    selected("selected, group 0: group colour behind the inverted one", 2, 2, 0x00FFFF, clBlue);
    selected("selected, group 1", 2, 6, 0x7FFFFF, clNavy);
    selected("selected, G1 second byte", 1, 4, 0x7FFFFF, clNavy);
    selected("selected character", 2, 35, window, fontColor);
    selected("selected and changed", 2, 2, 0xA8FFFF, clMaroon, 16);
    selected("selected and changed character", 2, 35, 0xA8FFFF, clMaroon, 16);
    // Just outside the selection.
    QTest::newRow("after the selection") << 64 << 2 << false << 16 << 19 << -1 << false << -1 << 10 << 1
                                         << "5" << uint(clBlue) << window << int(cfNormal);

    QTest::newRow("changed") << 64 << 2 << false << -1 << -1 << 17 << false << -1 << 4 << 1 << "5"
                             << uint(clMaroon) << 0xA8FFFFu << int(cfNormal);
    QTest::newRow("changed character") << 64 << 2 << false << -1 << -1 << 17 << false << -1 << 36 << 1 << "Q"
                                       << uint(clMaroon) << 0xA8FFFFu << int(cfNormal);
    QTest::newRow("changed, insert mode shows no mark")
        << 64 << 2 << false << -1 << -1 << 17 << true << -1 << 4 << 1 << "5" << uint(clBlue) << window
        << int(cfNormal);

    QTest::newRow("0x4F, first column") << 64 << 2 << false << -1 << -1 << -1 << false << -1 << 32 << 0 << "4"
                                        << uint(clNavy) << window << int(cfNormal);
    QTest::newRow("0x4F, second column") << 64 << 2 << false << -1 << -1 << -1 << false << -1 << 33 << 0
                                         << "F" << uint(clNavy) << window << int(cfNormal);
    QTest::newRow("0x4F swapped, first column") << 64 << 2 << true << -1 << -1 << -1 << false << -1 << 32 << 0
                                                << "F" << uint(clNavy) << window << int(cfNormal);
    QTest::newRow("0x4F swapped, second column") << 64 << 2 << true << -1 << -1 << -1 << false << -1 << 33
                                                 << 0 << "4" << uint(clNavy) << window << int(cfNormal);

    QTest::newRow("marker 7 on row 3") << 64 << 2 << false << -1 << -1 << -1 << false << 3 << 1 << 3 << "7"
                                       << uint(clWhite) << uint(clMaroon) << int(cfMarker);
    QTest::newRow("marker column of another row") << 64 << 2 << false << -1 << -1 << -1 << false << 3 << 1
                                                  << 2 << " " << fontColor << window << int(cfNormal);

    // 40 bytes: row 2 holds positions 32 to 39.
    QTest::newRow("last byte") << 40 << 2 << false << -1 << -1 << -1 << false << -1 << 17 << 2 << "7"
                               << uint(clNavy) << window << int(cfNormal);
    QTest::newRow("past the end, hex") << 40 << 2 << false << -1 << -1 << -1 << false << -1 << 18 << 2 << " "
                                       << fontColor << window << int(cfNormal);
    QTest::newRow("past the end, character") << 40 << 2 << false << -1 << -1 << -1 << false << -1 << 43 << 2
                                             << " " << fontColor << window << int(cfNormal);
    QTest::newRow("past the end inside a selection")
        << 40 << 2 << false << 30 << 39 << -1 << false << -1 << 18 << 2 << " " << fontColor << window
        << int(cfNormal);

    QTest::newRow("empty data: offset") << 0 << 2 << false << -1 << -1 << -1 << false << -1 << 0 << 0
                                        << "0x0:" << uint(clBlack) << window << int(cfNormal);
    QTest::newRow("empty data: marker") << 0 << 2 << false << -1 << -1 << -1 << false << -1 << 1 << 0 << "   "
                                        << uint(clBlack) << window << int(cfNormal);
    QTest::newRow("empty data: hex") << 0 << 2 << false << -1 << -1 << -1 << false << -1 << 2 << 0 << "   "
                                     << uint(clBlack) << window << int(cfNormal);
    QTest::newRow("empty data: character") << 0 << 2 << false << -1 << -1 << -1 << false << -1 << 40 << 0
                                           << "   " << uint(clBlack) << window << int(cfNormal);
}

void HexEditorPaintTest::cellLook()
{
    QFETCH(int, size);
    QFETCH(int, bytesPerColumn);
    QFETCH(bool, swap);
    QFETCH(int, selFrom);
    QFETCH(int, selTo);
    QFETCH(int, changed);
    QFETCH(bool, insert);
    QFETCH(int, markerRow);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(uint, textColor);
    QFETCH(uint, backColor);
    QFETCH(int, font);

    TempDirScope temp;
    TestHexEditor editor;
    if (size > 0)
        Fill(editor, Counting(size));
    else
        editor.CreateEmptyFile("Untitled");
    editor.SetBytesPerColumn(bytesPerColumn);
    editor.SetSwapNibbles(swap);
    if (selFrom >= 0) {
        editor.SetSelStart(selFrom);
        editor.SetSelEnd(selTo);
    }
    if (changed >= 0)
        editor.SetChanged(changed, true);
    if (insert) {
        editor.SetAllowInsertMode(true);
        editor.SetInsertToggle(true);
    }
    if (markerRow >= 0)
        editor.SetMarker(7, markerRow);

    const TCellLook look = editor.CellLook(col, row);
    QCOMPARE(QString::fromStdString(look.text), text);
    QCOMPARE(uint(look.textColor), textColor);
    QCOMPARE(uint(look.backColor), backColor);
    QCOMPARE(int(look.font), font);
    // Unfocused: no cursor marks, except that empty data keeps the caret in column 2.
    QCOMPARE(look.mark, size == 0 && col == 2 ? cmCaret : cmNone);
}

void HexEditorPaintTest::cursorMarks_data()
{
    QTest::addColumn<int>("cursor"); // position of the cursor, in the hex field
    QTest::addColumn<bool>("inChars");
    QTest::addColumn<bool>("focusFrame");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<TCursorMark>("mark");
    // Position 0x25 is (12, 2) in the hex field and (40, 2) in the character field.
    QTest::newRow("current hex cell") << 0x25 << false << true << 12 << 2 << cmCaret;
    QTest::newRow("its twin") << 0x25 << false << true << 40 << 2 << cmFocusFrame;
    QTest::newRow("its twin, no focus frame") << 0x25 << false << false << 40 << 2 << cmOutlineFrame;
    QTest::newRow("second nibble of the byte") << 0x25 << false << true << 13 << 2 << cmNone;
    QTest::newRow("twin on another row") << 0x25 << false << true << 40 << 1 << cmNone;
    QTest::newRow("current character cell") << 0x25 << true << true << 40 << 2 << cmCaret;
    QTest::newRow("twin of a character: the first nibble") << 0x25 << true << true << 12 << 2 << cmFocusFrame;
    QTest::newRow("twin of a character, not the second nibble") << 0x25 << true << true << 13 << 2 << cmNone;
}

void HexEditorPaintTest::cursorMarks()
{
    QFETCH(int, cursor);
    QFETCH(bool, inChars);
    QFETCH(bool, focusFrame);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(TCursorMark, mark);

    TempDirScope temp;
    THexEditor editor;
    Fill(editor, Counting(100));
    QVERIFY(ShowFocused(editor));
    editor.SetFocusFrame(focusFrame);
    editor.SetSelStart(cursor);
    editor.SetInCharField(inChars);
    QCOMPARE(editor.CellLook(col, row).mark, mark);

    // Without the focus there are no marks at all.
    editor.clearFocus();
    QTRY_VERIFY(!editor.hasFocus());
    QCOMPARE(editor.CellLook(col, row).mark, cmNone);
}

void HexEditorPaintTest::pixelsOfSelectionAndChanges()
{
    TempDirScope temp;
    THexEditor editor;
    editor.resize(700, 300);
    Fill(editor, Counting(64));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.SetSelStart(16);
    editor.SetSelEnd(19); // row 1, groups 0 and 1
    editor.SetChanged(40, true); // row 2, byte 8: columns 18 and 19
    const QImage image = Shot(editor);

    // Column 5 is double width: its right half is empty space of the group.
    const QRect group0 = editor.CellRect(5, 1);
    QCOMPARE(image.pixelColor(group0.right(), group0.center().y()), QColor(0, 0, 255));
    const QRect group1 = editor.CellRect(9, 1);
    QCOMPARE(image.pixelColor(group1.right(), group1.center().y()), QColor(0, 0, 128));
    // The selected character cells have the font colour behind them.
    const QRect chars = editor.CellRect(36, 1);
    QCOMPARE(image.pixelColor(chars.right(), chars.bottom()), Rgb(clWindowText));
    // Outside the selection: the window colour.
    const QRect after = editor.CellRect(13, 1);
    QCOMPARE(image.pixelColor(after.right(), after.bottom()), Rgb(clWindow));
    // The changed byte: pale yellow behind both digits and its character.
    for (int col : {18, 19, 43}) {
        const QRect cell = editor.CellRect(col, 2);
        QCOMPARE(image.pixelColor(cell.left(), cell.bottom()), QColor(255, 255, 168));
    }
    // A digit really is drawn in a selected cell: the inverted colour appears in it.
    const QRect digit = editor.CellRect(4, 1);
    bool yellow = false;
    for (int y = digit.top(); y <= digit.bottom(); ++y)
        for (int x = digit.left(); x <= digit.right(); ++x)
            yellow = yellow || (qRed(image.pixel(x, y)) > 200 && qBlue(image.pixel(x, y)) < 100);
    QVERIFY(yellow);
}

void HexEditorPaintTest::pixelsOfCaretAndFrame_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("focusFrame");
    QTest::newRow("full, dotted frame") << int(csFull) << true;
    QTest::newRow("left line, outline frame") << int(csLeftLine) << false;
    QTest::newRow("bottom line") << int(csBottomLine) << true;
}

void HexEditorPaintTest::pixelsOfCaretAndFrame()
{
    QFETCH(int, style);
    QFETCH(bool, focusFrame);

    TempDirScope temp;
    THexEditor editor;
    editor.resize(700, 300);
    Fill(editor, Counting(64));
    QVERIFY(ShowFocused(editor));
    editor.SetAutoCaretMode(false);
    editor.SetCaretStyle(TCaretStyle(style));
    editor.SetFocusFrame(focusFrame);
    editor.SetSelStart(50); // row 3, byte 2: hex column 6, character column 37
    QImage image = Shot(editor);

    const QRect cell = editor.CellRect(6, 3);
    QCOMPARE(editor.GetCaretPos(), cell.topLeft());
    const int w = editor.GetCharWidth();
    const int h = editor.GetLineHeight() - 2;
    const QColor frame(0, 0, 128); // CursorFrame on a white background
    const QColor white = Rgb(clWindow);
    // The caret's bottom row lies below the digit: only the caret colours it.
    const int bottom = cell.top() + h - 1;
    switch (TCaretStyle(style)) {
    case csFull:
        QCOMPARE(image.pixelColor(cell.left(), bottom), frame);
        QCOMPARE(image.pixelColor(cell.left() + w - 1, bottom), frame);
        QCOMPARE(image.pixelColor(cell.left() + w, bottom), white);
        QCOMPARE(image.pixelColor(cell.left(), cell.top() + h), white);
        break;
    case csLeftLine:
        QCOMPARE(image.pixelColor(cell.left(), bottom), frame);
        QCOMPARE(image.pixelColor(cell.left() + 1, bottom), frame);
        QCOMPARE(image.pixelColor(cell.left() + 2, bottom), white);
        QCOMPARE(image.pixelColor(cell.left(), cell.top()), frame);
        break;
    case csBottomLine:
        QCOMPARE(image.pixelColor(cell.left() + 3, bottom), frame);
        QCOMPARE(image.pixelColor(cell.left() + 3, bottom - 1), frame);
        QCOMPARE(image.pixelColor(cell.left() + 3, bottom - 2), white);
        break;
    }

    // The twin cell carries the frame, one character wide.
    const QRect twin = editor.CellRect(37, 3);
    const QColor a = image.pixelColor(twin.left(), twin.top());
    const QColor b = image.pixelColor(twin.left() + 1, twin.top());
    if (focusFrame) {
        // Every other pixel of the edge is inverted.
        QVERIFY2((a == Qt::black) != (b == Qt::black), "a dotted edge");
        QVERIFY(a == white || b == white);
    } else {
        QCOMPARE(a, frame);
        QCOMPARE(b, frame);
        QCOMPARE(image.pixelColor(twin.left() + w - 1, twin.bottom()), frame);
    }
    QCOMPARE(image.pixelColor(twin.left() + w, twin.top()), white); // one character wide

    // Focus gone: neither caret nor frame.
    editor.clearFocus();
    QTRY_VERIFY(!editor.hasFocus());
    image = Shot(editor);
    QCOMPARE(image.pixelColor(cell.left(), bottom), white);
    QCOMPARE(image.pixelColor(twin.left(), twin.top()), white);
    QCOMPARE(image.pixelColor(twin.left() + 1, twin.top()), white);
}

void HexEditorPaintTest::rowsPastTheEndAreBlank()
{
    TempDirScope temp;
    THexEditor editor;
    editor.resize(700, 300);
    Fill(editor, Counting(40));
    QVERIFY(ShowFocused(editor));
    editor.SetSelStart(39); // the cursor frame's row, and the caret in the last cell
    const QImage image = Shot(editor);
    const QColor white = Rgb(clWindow);
    for (int col : {18, 19, 33, 43, 50}) {
        const QRect cell = editor.CellRect(col, 2);
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                QCOMPARE(image.pixelColor(x, y), white);
    }
    // Below the last row: the control's colour.
    const QRect last = editor.CellRect(2, 2);
    QCOMPARE(image.pixelColor(last.left(), last.bottom() + 5), white);
}

void HexEditorPaintTest::textRunsLookLikeCellByCell()
{
    // The same state drawn in text runs and cell by cell gives the same pixels.
    TempDirScope temp;
    RecordingEditor runs;
    RecordingEditor cells;
    cells.perCell = true;
    for (RecordingEditor* editor : {&runs, &cells}) {
        editor->resize(760, 260);
        Fill(*editor, Counting(300));
        editor->SetMarker(3, 2);
        editor->SetChanged(21, true);
        editor->SetChanged(40, true);
        editor->SetSelStart(33);
        editor->SetSelEnd(70);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
    }
    const QImage a = Shot(runs);
    const QImage b = Shot(cells);
    QCOMPARE(a.size(), b.size());
    // Runs are not cut at every cell edge, so the faint anti-aliased fringe of a glyph may
    // reach a pixel into its neighbour; nothing else may differ.
    int faint = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (p == q)
                continue;
            const int diff = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                std::abs(qBlue(p) - qBlue(q))});
            QVERIFY2(diff <= 64, qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
            ++faint;
        }
    }
    QVERIFY2(faint < 40, qPrintable(QString("%1 faint pixels").arg(faint)));
}

void HexEditorPaintTest::markerUsesTheSmallerFont()
{
    TempDirScope temp;
    THexEditor editor;
    editor.resize(700, 200);
    Fill(editor, Counting(64));
    editor.SetMarker(7, 1);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    const QImage image = Shot(editor);
    const QRect cell = editor.CellRect(1, 1);
    // White digit on maroon, ending well above the bottom of a full-size glyph row.
    int whiteRows = 0;
    int lowestWhite = -1;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        bool any = false;
        for (int x = cell.left(); x <= cell.right(); ++x)
            any = any || image.pixelColor(x, y) == QColor(255, 255, 255);
        if (any) {
            ++whiteRows;
            lowestWhite = y;
        }
    }
    QVERIFY(whiteRows > 0);
    QCOMPARE(image.pixelColor(cell.right(), cell.bottom()), QColor(128, 0, 0));
    const int normalBaseline = cell.top() + QFontMetrics(editor.font()).ascent();
    QVERIFY2(lowestWhite < normalBaseline, "the 9-point digit sits higher than a 12-point one");
}

void HexEditorPaintTest::fontIsFixedPitch()
{
    THexEditor editor;
    QVERIFY(QFontInfo(editor.font()).fixedPitch());
    QCOMPARE(editor.font().pointSize(), 12);
    // Even where the family is a proportional face.
    const QFont font = FixedPitchFont(QStringLiteral("Arial"), 10);
    const QFontMetricsF metrics(font);
    for (QChar ch : QStringLiteral("iM.0"))
        QCOMPARE(metrics.horizontalAdvance(ch), metrics.horizontalAdvance(QLatin1Char('w')));
    QCOMPARE(font.pointSize(), 10);
}

void HexEditorPaintTest::caretLifecycle()
{
    TempDirScope temp;
    THexEditor editor;
    editor.resize(700, 300);
    Fill(editor, Counting(64));
    QVERIFY(!editor.GetCaretExists());
    QVERIFY(ShowFocused(editor));
    QVERIFY(editor.GetCaretShown());
    QCOMPARE(editor.GetCaretBitmap().size(), QSize(editor.GetCharWidth(), editor.GetLineHeight() - 2));
    // Focus puts the caret on the current cell, before any paint.
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(editor.Col(), editor.Row()).topLeft());
    editor.SetSelStart(20);
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(10, 1).topLeft());
    // A rebuilt caret is placed at once; a paint neither moves it nor queues a repaint.
    editor.SetCaretStyle(csBottomLine);
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(10, 1).topLeft());
    QueuedCallCounter queued(editor);
    editor.viewport()->repaint();
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(10, 1).topLeft());
    QCoreApplication::processEvents();
    QCOMPARE(queued.count, 0);

    // A font change rebuilds it at the new size.
    QFont bigger = editor.font();
    bigger.setPointSize(20);
    editor.setFont(bigger);
    QVERIFY(editor.GetCaretShown());
    QCOMPARE(editor.GetCaretBitmap().size(), QSize(editor.GetCharWidth(), editor.GetLineHeight() - 2));
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(10, 1).topLeft());

    // Losing the focus destroys it and ends a selection in progress.
    QTest::keyPress(&editor, Qt::Key_Shift);
    QVERIFY(editor.GetSelecting());
    QTest::keyRelease(&editor, Qt::Key_Shift);
    editor.clearFocus();
    QTRY_VERIFY(!editor.hasFocus());
    QVERIFY(!editor.GetCaretExists());
    QVERIFY(!editor.GetSelecting());
}

void HexEditorPaintTest::caretFollowsScrolling()
{
    TempDirScope temp;
    THexEditor editor;
    editor.resize(700, 300);
    Fill(editor, Counting(4096));
    QVERIFY(ShowFocused(editor));
    editor.SetSelStart(0x25);
    const QPoint home = editor.CellRect(12, 2).topLeft();
    QCOMPARE(editor.GetCaretPos(), home);
    // Scrolling the current cell out of view takes the caret off the screen.
    editor.verticalScrollBar()->setValue(100);
    QCOMPARE(editor.GetCaretPos(), QPoint(-50, -50));
    editor.SetTopRow(50);
    QCOMPARE(editor.GetCaretPos(), QPoint(-50, -50));
    editor.verticalScrollBar()->setValue(0);
    QCOMPARE(editor.GetCaretPos(), home);
    // A key that scrolls brings it along.
    QTest::keyClick(&editor, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(editor.Col(), editor.Row()).topLeft());
    QVERIFY(editor.GetCaretPos().y() > 0);
}

void HexEditorPaintTest::caretStyleFollowsInsertMode()
{
    TempDirScope temp;
    THexEditor editor;
    Fill(editor, Counting(64));
    editor.SetAllowInsertMode(true);
    QVERIFY(ShowFocused(editor));
    QCOMPARE(editor.GetCaretStyle(), csFull);
    QTest::keyClick(&editor, Qt::Key_Insert);
    QVERIFY(editor.IsInsertMode());
    QCOMPARE(editor.GetCaretStyle(), csLeftLine);
    // The rebuilt caret stays on the current cell.
    const QImage bitmap = editor.GetCaretBitmap();
    QCOMPARE(bitmap.pixelColor(1, 0), QColor(255, 255, 127));
    QCOMPARE(bitmap.pixelColor(2, 0), QColor(Qt::black));
    QCOMPARE(editor.GetCaretPos(), editor.CellRect(editor.Col(), editor.Row()).topLeft());
    QTest::keyClick(&editor, Qt::Key_Insert);
    QCOMPARE(editor.GetCaretStyle(), csFull);
    // Without AutoCaretMode the style stays as set.
    editor.SetAutoCaretMode(false);
    editor.SetCaretStyle(csBottomLine);
    QTest::keyClick(&editor, Qt::Key_Insert);
    QCOMPARE(editor.GetCaretStyle(), csBottomLine);
}

void HexEditorPaintTest::cursorMoveRepaintsOneRow()
{
    TempDirScope temp;
    RecordingEditor editor;
    editor.resize(700, 400);
    Fill(editor, Counting(1024));
    QVERIFY(ShowFocused(editor));
    editor.SetSelStart(0x34); // row 3
    QCoreApplication::processEvents();
    QTRY_VERIFY(!editor.paintedRows.empty());
    QTest::qWait(20);
    editor.paintedRows.clear();

    QTest::keyClick(&editor, Qt::Key_Right);
    QTest::keyClick(&editor, Qt::Key_Tab);
    QTRY_VERIFY(!editor.paintedRows.empty());
    QTest::qWait(20);
    QCOMPARE(editor.paintedRows, (std::set<int>{3}));

    // Extending a selection by one byte repaints the rows between its old and new end.
    QTest::keyPress(&editor, Qt::Key_Shift);
    QTest::keyClick(&editor, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&editor, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyRelease(&editor, Qt::Key_Shift);
    QTest::qWait(20);
    editor.paintedRows.clear();
    QTest::keyPress(&editor, Qt::Key_Shift);
    QTest::keyClick(&editor, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyRelease(&editor, Qt::Key_Shift);
    QTRY_VERIFY(!editor.paintedRows.empty());
    QTest::qWait(20);
    QCOMPARE(editor.paintedRows, (std::set<int>{4}));
}

void HexEditorPaintTest::pageRepaintLoadsTheWindowOnce()
{
    TempDirScope temp;
    THexEditor editor;
    editor.resize(1000, 800);
    Fill(editor, std::vector<uint8_t>(size_t(1) << 20, 0x5A));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    for (int top : {0, 1000, 30000, editor.RowCount() - 5}) {
        editor.SetTopRow(top);
        const int64_t before = editor.GetWindowLoads();
        editor.viewport()->repaint();
        QVERIFY2(editor.GetWindowLoads() - before <= 1, qPrintable(QString("top row %1").arg(top)));
        const int64_t again = editor.GetWindowLoads();
        editor.viewport()->repaint();
        QCOMPARE(editor.GetWindowLoads(), again);
    }
}

void HexEditorPaintTest::colourSetCanBeReplaced()
{
    TempDirScope temp;
    THexEditor editor;
    Fill(editor, Counting(64));
    QCOMPARE(editor.GetColors()->Control(), static_cast<TCustomGrid*>(&editor));
    QCOMPARE(editor.Color(), clWindow);
    auto colors = std::make_unique<TColors>(&editor);
    colors->SetOddColumn(clGreen);
    TColors* raw = colors.get();
    editor.SetColors(std::move(colors));
    QCOMPARE(editor.GetColors(), raw);
    QCOMPARE(uint(editor.CellLook(2, 0).textColor), uint(clGreen));
    editor.SetColors(nullptr); // drawing always has a set
    QCOMPARE(editor.GetColors(), raw);
    // The background is also the control's colour.
    editor.GetColors()->SetBackground(clYellow);
    QCOMPARE(editor.Color(), clYellow);
    QCOMPARE(uint(editor.CellLook(2, 0).backColor), uint(clYellow));
}

QTEST_MAIN(HexEditorPaintTest)
#include "HexEditorPaintTest.moc"
