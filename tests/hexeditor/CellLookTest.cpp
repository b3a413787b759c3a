#include "hexeditor/CellLook.h"

#include <QtTest>

Q_DECLARE_METATYPE(TCellFacts)
Q_DECLARE_METATYPE(TCursorMark)
Q_DECLARE_METATYPE(TCellFont)

namespace {

constexpr TColor FontColor = 0x010101; // a font colour distinct from every default

// A data cell of row 3 (B = 16, G = 2), not current, no selection, no change.
TCellFacts Cell(int col, uint8_t value = 0x4F)
{
    TCellFacts facts;
    facts.col = col;
    facts.row = 3;
    facts.value = value;
    facts.charByte = 'O';
    facts.fontColor = FontColor;
    facts.currentCol = 2;
    facts.currentRow = 7;
    facts.otherFieldCol = 35;
    return facts;
}

TCellFacts With(TCellFacts facts, const std::function<void(TCellFacts&)>& change)
{
    change(facts);
    return facts;
}

} // namespace

class CellLookTest : public QObject {
    Q_OBJECT

private slots:
    void cellKind_data();
    void cellKind();
    void decide_data();
    void decide();
    void markerFontSize_data();
    void markerFontSize();
};

void CellLookTest::cellKind_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("bytesPerLine");
    QTest::addColumn<int>("kind");
    QTest::newRow("offset") << 0 << 16 << int(ckOffset);
    QTest::newRow("marker") << 1 << 16 << int(ckMarker);
    QTest::newRow("first hex") << 2 << 16 << int(ckHex);
    QTest::newRow("last hex") << 33 << 16 << int(ckHex);
    QTest::newRow("gap") << 34 << 16 << int(ckGap);
    QTest::newRow("first char") << 35 << 16 << int(ckChar);
    QTest::newRow("last char") << 50 << 16 << int(ckChar);
    QTest::newRow("one byte per line: gap") << 4 << 1 << int(ckGap);
    QTest::newRow("one byte per line: char") << 5 << 1 << int(ckChar);
}

void CellLookTest::cellKind()
{
    QFETCH(int, col);
    QFETCH(int, bytesPerLine);
    QFETCH(int, kind);
    QCOMPARE(int(CellKind(col, bytesPerLine)), kind);
}

void CellLookTest::decide_data()
{
    QTest::addColumn<TCellFacts>("facts");
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("textColor");
    QTest::addColumn<uint>("backColor");
    QTest::addColumn<TCellFont>("font");
    QTest::addColumn<TCursorMark>("mark");
    const uint window = clWindow;

    // Group colours with two bytes per group: columns 2-5 odd, 6-9 even, 10-13 odd.
    for (int col : {2, 5, 10, 13, 26, 29})
        QTest::addRow("G2 col %d odd group", col)
            << Cell(col) << (col % 2 == 0 ? "4" : "F") << uint(clBlue) << window << cfNormal << cmNone;
    for (int col : {6, 9, 30, 33})
        QTest::addRow("G2 col %d even group", col)
            << Cell(col) << (col % 2 == 0 ? "4" : "F") << uint(clNavy) << window << cfNormal << cmNone;
    // One byte per group: the colours alternate byte by byte.
    auto g1 = [](int col) { return With(Cell(col), [](TCellFacts& f) { f.bytesPerColumn = 1; }); };
    QTest::newRow("G1 first byte high") << g1(2) << "4" << uint(clBlue) << window << cfNormal << cmNone;
    QTest::newRow("G1 first byte low") << g1(3) << "F" << uint(clBlue) << window << cfNormal << cmNone;
    QTest::newRow("G1 second byte") << g1(4) << "4" << uint(clNavy) << window << cfNormal << cmNone;
    QTest::newRow("G1 third byte") << g1(7) << "F" << uint(clBlue) << window << cfNormal << cmNone;
    QTest::newRow("G0 counts as G1") << With(g1(4), [](TCellFacts& f) { f.bytesPerColumn = 0; }) << "4"
                                     << uint(clNavy) << window << cfNormal << cmNone;
    // Swapped nibbles: the first column shows the low digit.
    auto swapped = [](int col) { return With(Cell(col), [](TCellFacts& f) { f.swapNibbles = 1; }); };
    QTest::newRow("swap first column") << swapped(2) << "F" << uint(clBlue) << window << cfNormal << cmNone;
    QTest::newRow("swap second column") << swapped(3) << "4" << uint(clBlue) << window << cfNormal << cmNone;
    // Character field.
    QTest::newRow("char") << Cell(40) << "O" << uint(FontColor) << window << cfNormal << cmNone;
    QTest::newRow("char selected") << With(Cell(40),
        [](TCellFacts& f) {
            f.selectionExists = true;
            f.selected = true;
        }) << "O" << window << uint(FontColor)
                                   << cfNormal << cmNone;
    // Selection.
    auto selected = [](TCellFacts f) {
        f.selectionExists = true;
        f.selected = true;
        return f;
    };
    QTest::newRow("selected group 0")
        << selected(Cell(2)) << "4" << uint(0x00FFFF) << uint(0xFF0000) << cfNormal << cmNone;
    QTest::newRow("selected group 1")
        << selected(Cell(7)) << "F" << uint(0x7FFFFF) << uint(0x800000) << cfNormal << cmNone;
    QTest::newRow("selected without a selection") << With(Cell(2), [](TCellFacts& f) { f.selected = true; })
                                                  << "4" << uint(clBlue) << window << cfNormal << cmNone;
    QTest::newRow("not selected in a selection")
        << With(Cell(2), [](TCellFacts& f) { f.selectionExists = true; }) << "4" << uint(clBlue) << window
        << cfNormal << cmNone;
    // Changed bytes.
    auto changed = [](TCellFacts f) {
        f.changed = true;
        return f;
    };
    QTest::newRow("changed hex") << changed(Cell(6)) << "4" << uint(clMaroon) << uint(0xA8FFFF) << cfNormal
                                 << cmNone;
    QTest::newRow("changed char") << changed(Cell(40)) << "O" << uint(clMaroon) << uint(0xA8FFFF) << cfNormal
                                  << cmNone;
    QTest::newRow("changed and selected")
        << selected(changed(Cell(2))) << "4" << uint(0xA8FFFF) << uint(clMaroon) << cfNormal << cmNone;
    QTest::newRow("changed and selected char")
        << selected(changed(Cell(40))) << "O" << uint(0xA8FFFF) << uint(clMaroon) << cfNormal << cmNone;
    // Offset, marker and gap columns.
    QTest::newRow("offset") << With(Cell(0), [](TCellFacts& f) { f.offsetText = "0x030:"; })
                            << "0x030:" << uint(clBlack) << window << cfNormal << cmNone;
    QTest::newRow("no marker") << Cell(1) << " " << uint(FontColor) << window << cfNormal << cmNone;
    QTest::newRow("marker 7") << With(Cell(1), [](TCellFacts& f) { f.marker = 7; }) << "7" << uint(clWhite)
                              << uint(clMaroon) << cfMarker << cmNone;
    QTest::newRow("gap") << Cell(34) << " " << uint(FontColor) << window << cfNormal << cmNone;
    // Past the end of the data: blank, and no cursor mark even on the current cell.
    auto focusedHere = [](TCellFacts f) {
        f.focused = true;
        f.currentRow = f.row;
        f.currentCol = f.col;
        return f;
    };
    QTest::newRow("beyond the data") << With(
        focusedHere(Cell(12)), [](TCellFacts& f) { f.beyondData = true; })
                                     << " " << uint(FontColor) << window << cfNormal << cmNone;
    QTest::newRow("beyond the data, char") << With(Cell(45), [](TCellFacts& f) { f.beyondData = true; })
                                           << " " << uint(FontColor) << window << cfNormal << cmNone;
    // No data at all: row 0 is three blanks everywhere but the offset.
    auto empty = [](int col) {
        return With(Cell(col), [](TCellFacts& f) {
            f.noData = true;
            f.row = 0;
            f.offsetText = "0x0:";
            f.marker = 2;
        });
    };
    QTest::newRow("empty offset") << empty(0) << "0x0:" << uint(clBlack) << window << cfNormal << cmNone;
    QTest::newRow("empty marker") << empty(1) << "   " << uint(clBlack) << window << cfNormal << cmNone;
    QTest::newRow("empty caret column")
        << empty(2) << "   " << uint(clBlack) << window << cfNormal << cmCaret;
    QTest::newRow("empty char") << empty(40) << "   " << uint(clBlack) << window << cfNormal << cmNone;
    // Cursor marks.
    QTest::newRow("caret") << focusedHere(Cell(12)) << "4" << uint(clBlue) << window << cfNormal << cmCaret;
    auto twin = [](bool focusFrame) {
        TCellFacts f = Cell(40);
        f.focused = true;
        f.currentRow = 3;
        f.currentCol = 12;
        f.otherFieldCol = 40;
        f.focusFrame = focusFrame;
        return f;
    };
    QTest::newRow("focus frame") << twin(true) << "O" << uint(FontColor) << window << cfNormal
                                 << cmFocusFrame;
    QTest::newRow("outline frame") << twin(false) << "O" << uint(FontColor) << window << cfNormal
                                   << cmOutlineFrame;
    QTest::newRow("no focus, no marks") << With(twin(true), [](TCellFacts& f) { f.focused = false; }) << "O"
                                        << uint(FontColor) << window << cfNormal << cmNone;
    QTest::newRow("other row, no marks") << With(twin(true), [](TCellFacts& f) { f.currentRow = 4; }) << "O"
                                         << uint(FontColor) << window << cfNormal << cmNone;
    QTest::newRow("caret in the char field") << With(twin(true),
        [](TCellFacts& f) {
            f.currentCol = 40;
            f.otherFieldCol = 12;
        }) << "O" << uint(FontColor) << window
                                             << cfNormal << cmCaret;
}

void CellLookTest::decide()
{
    QFETCH(TCellFacts, facts);
    QFETCH(QString, text);
    QFETCH(uint, textColor);
    QFETCH(uint, backColor);
    QFETCH(TCellFont, font);
    QFETCH(TCursorMark, mark);
    const TColors colors(nullptr);
    const TCellLook look = DecideCell(facts, colors);
    QCOMPARE(QString::fromLatin1(look.text.data(), qsizetype(look.text.size())), text);
    QCOMPARE(uint(look.textColor), textColor);
    QCOMPARE(uint(look.backColor), backColor);
    QCOMPARE(look.font, font);
    QCOMPARE(look.mark, mark);
}

void CellLookTest::markerFontSize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expected");
    QTest::newRow("12") << 12 << 9;
    QTest::newRow("10: 7.5 up to even") << 10 << 8;
    QTest::newRow("14: 10.5 down to even") << 14 << 10;
    QTest::newRow("6: 4.5 down to even") << 6 << 4;
    QTest::newRow("2: 1.5 up to even") << 2 << 2;
    QTest::newRow("9: 6.75") << 9 << 7;
    QTest::newRow("11: 8.25") << 11 << 8;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("pixel height -12") << -12 << -9;
    QTest::newRow("pixel height -10") << -10 << -8;
}

void CellLookTest::markerFontSize()
{
    QFETCH(int, size);
    QFETCH(int, expected);
    QCOMPARE(MarkerFontSize(size), expected);
}

QTEST_MAIN(CellLookTest)
#include "CellLookTest.moc"
