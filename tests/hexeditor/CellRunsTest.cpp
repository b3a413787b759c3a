#include "hexeditor/CellRuns.h"

#include <QtTest>

namespace {

constexpr TColor FontColor = 0x010101;

TCellLook Look(const std::string& text, TColor textColor = clBlue, TColor backColor = clWindow,
    TCellFont font = cfNormal)
{
    TCellLook look;
    look.text = text;
    look.textColor = textColor;
    look.backColor = backColor;
    look.font = font;
    return look;
}

struct Row {
    std::vector<TCellLook> looks;
    std::vector<QRect> rects;
    int x = 0;
    void Add(const TCellLook& look, int width, int height = 17)
    {
        looks.push_back(look);
        rects.push_back(QRect(x, 34, width, height));
        x += width;
    }
};

QString Describe(const std::vector<TCellRun>& runs)
{
    QStringList parts;
    for (const TCellRun& run : runs)
        parts << QStringLiteral("%1+%2 [%3] %4")
                     .arg(run.rect.x())
                     .arg(run.rect.width())
                     .arg(QString::fromLatin1(run.text.data(), qsizetype(run.text.size())))
                     .arg(run.cellCount);
    return parts.join(" | ");
}

} // namespace

class CellRunsTest : public QObject {
    Q_OBJECT

private slots:
    void hexGroupsJoin();
    void coloursSplitRuns();
    void cellsThatCannotJoin();
    void emptyAndHiddenCells();
};

void CellRunsTest::hexGroupsJoin()
{
    // One byte per group: every second nibble column is double width.
    Row row;
    row.Add(Look("0x010:", clBlack), 48);
    row.Add(Look(" ", clBlack), 0); // hidden marker column
    row.Add(Look("4"), 8);
    row.Add(Look("F"), 16);
    row.Add(Look("0", clNavy), 8);
    row.Add(Look("1", clNavy), 16);
    row.Add(Look("A"), 8);
    row.Add(Look("B"), 16);
    const auto runs = JoinCellRuns(row.looks, row.rects, 8);
    QCOMPARE(Describe(runs), QString("0+48 [0x010:] 1 | 48+24 [4F ] 2 | 72+24 [01 ] 2 | 96+24 [AB ] 2"));
    QCOMPARE(runs[1].firstCell, 2);
    QCOMPARE(runs[1].textColor, clBlue);
    QCOMPARE(runs[2].textColor, clNavy);
    QCOMPARE(runs[0].rect.y(), 34);
    QCOMPARE(runs[0].rect.height(), 17);
}

void CellRunsTest::coloursSplitRuns()
{
    Row row;
    row.Add(Look("A", FontColor), 8);
    row.Add(Look("B", FontColor), 8);
    row.Add(Look("C", clWindow, FontColor), 8); // selected: colours swapped
    row.Add(Look("D", clWindow, FontColor), 8);
    row.Add(Look("E", clMaroon, 0xA8FFFF), 8); // changed
    row.Add(Look("7", clWhite, clMaroon, cfMarker), 8);
    row.Add(Look("8", clWhite, clMaroon, cfNormal), 8); // same colours, other font
    const auto runs = JoinCellRuns(row.looks, row.rects, 8);
    QCOMPARE(Describe(runs), QString("0+16 [AB] 2 | 16+16 [CD] 2 | 32+8 [E] 1 | 40+8 [7] 1 | 48+8 [8] 1"));
}

void CellRunsTest::cellsThatCannotJoin()
{
    Row row;
    row.Add(Look("1"), 8);
    row.Add(Look("2"), 5); // cut by the viewport's edge: not a whole character
    row.Add(Look("3"), 8);
    row.Add(Look("45"), 8); // longer than its width
    row.Add(Look("6"), 8);
    row.Add(Look("7"), 8, 10); // another height
    row.x += 8; // a gap
    row.Add(Look("8"), 8);
    row.Add(Look("9"), 8);
    const auto runs = JoinCellRuns(row.looks, row.rects, 8);
    QCOMPARE(Describe(runs),
        QString("0+8 [1] 1 | 8+5 [2] 1 | 13+8 [3] 1 | 21+8 [45] 1 | 29+8 [6] 1 | 37+8 [7] 1 | 53+16 [89] 2"));
    // Without a character width nothing joins.
    QCOMPARE(int(JoinCellRuns(row.looks, row.rects, 0).size()), 8);
}

void CellRunsTest::emptyAndHiddenCells()
{
    QVERIFY(JoinCellRuns({}, {}, 8).empty());
    Row row;
    row.Add(Look("A"), 0);
    row.Add(Look("B"), 8, 0);
    QVERIFY(JoinCellRuns(row.looks, row.rects, 8).empty());
}

QTEST_MAIN(CellRunsTest)
#include "CellRunsTest.moc"
