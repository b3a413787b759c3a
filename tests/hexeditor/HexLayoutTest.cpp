// HexLayout without a widget: position <-> cell against a plain model of the rows, for
// fixed and variable lines; the twin columns; the column widths by BytesPerColumn; the
// implicit rows past the stored list; the line length rules.
#include "hexeditor/HexLayout.h"

#include "base/Errors.h"

#include <QTest>

#include <functional>
#include <vector>

namespace {

using Lengths = std::vector<int32_t>;

// The rows as a plain list of starts: the given lengths first, then B per row, until
// the data (size bytes) is covered.
std::vector<int64_t> ModelStarts(int32_t bytesPerLine, const Lengths& lengths, int32_t size)
{
    std::vector<int64_t> starts{0};
    for (size_t i = 0; starts.back() < size; ++i)
        starts.push_back(starts.back() + (i < lengths.size() ? lengths[i] : bytesPerLine));
    return starts;
}

HexLayout Layout(int32_t bytesPerLine, const Lengths& lengths, bool variable)
{
    HexLayout layout;
    layout.SetBytesPerLine(bytesPerLine);
    layout.SetLineLengths(lengths);
    layout.SetVariable(variable);
    return layout;
}

QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return QString::fromStdString(e.Message());
    }
    return QStringLiteral("(none)");
}

} // namespace

class HexLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void mapping_data()
    {
        QTest::addColumn<int>("bytesPerLine");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<bool>("variable");
        QTest::addColumn<int>("size");
        QTest::newRow("16 fixed") << 16 << QList<int>() << false << 1000;
        QTest::newRow("1 fixed") << 1 << QList<int>() << false << 40;
        QTest::newRow("3 fixed, partial last row") << 3 << QList<int>() << false << 100;
        QTest::newRow("256 fixed") << 256 << QList<int>() << false << 2000;
        QTest::newRow("16 variable, no lengths") << 16 << QList<int>() << true << 300;
        QTest::newRow("16 variable 10, 6") << 16 << QList<int>{10, 6} << true << 40;
        QTest::newRow("16 variable 4, 4, 16, 1") << 16 << QList<int>{4, 4, 16, 1} << true << 200;
        QTest::newRow("5 variable, every length")
            << 5 << QList<int>{1, 2, 3, 4, 5, 5, 4, 3, 2, 1} << true << 90;
        // Lengths stored while the mode is off change nothing.
        QTest::newRow("16 fixed with stored lengths") << 16 << QList<int>{3, 9} << false << 100;
    }
    void mapping()
    {
        QFETCH(int, bytesPerLine);
        QFETCH(QList<int>, lengths);
        QFETCH(bool, variable);
        QFETCH(int, size);
        const Lengths given(lengths.begin(), lengths.end());
        const HexLayout layout = Layout(bytesPerLine, given, variable);
        const std::vector<int64_t> starts = ModelStarts(bytesPerLine, variable ? given : Lengths(), size);
        const int rows = int(starts.size()) - 1;
        QCOMPARE(layout.RowCountFor(size), rows);
        QCOMPARE(layout.ColCount(), 3 * bytesPerLine + 3);
        for (int row = 0; row <= rows; ++row)
            QCOMPARE(int64_t(layout.LineOffset(row)), starts[size_t(row)]);

        int row = 0;
        for (int32_t p = 0; p < size; ++p) {
            while (starts[size_t(row) + 1] <= p)
                ++row;
            const int k = int(p - starts[size_t(row)]);
            QCOMPARE(layout.RowOf(p, rows), row);
            for (const bool inChars : {false, true}) {
                const TGridCoord cell = layout.CellAtPos(p, inChars, rows);
                QCOMPARE(cell.y, row);
                QCOMPARE(cell.x, inChars ? 2 * bytesPerLine + 3 + k : 2 * k + 2);
                QVERIFY(!layout.OutOfBounds(cell.x, cell.y));
                bool flag = !inChars;
                QCOMPARE(layout.PosAtCell(cell.x, cell.y, flag), p);
                QCOMPARE(flag, inChars);
                // The twin column is the same byte in the other field, and back.
                const int twin = layout.OtherFieldCol(cell.x);
                QCOMPARE(layout.PosAtCell(twin, cell.y, flag), p);
                QCOMPARE(flag, !inChars);
                QCOMPARE(layout.OtherFieldCol(twin), cell.x);
            }
            // Both nibble columns of a byte are the byte.
            bool flag = true;
            QCOMPARE(layout.PosAtCell(2 * k + 3, row, flag), p);
            QVERIFY(!flag);
        }
        // The last column of every row is where the row's bytes end.
        for (int r = 0; r < rows; ++r) {
            const int length = int(starts[size_t(r) + 1] - starts[size_t(r)]);
            const int lastHex = variable ? 2 * length + 1 : 2 * bytesPerLine + 1;
            QCOMPARE(
                layout.LastColumnOfLine(2, r, layout.ColCount()), variable ? lastHex : layout.ColCount() - 1);
            QCOMPARE(layout.OutOfBounds(lastHex + 1, r), variable);
        }
    }

    void edgeCells()
    {
        const HexLayout fixed = Layout(16, {}, false);
        bool flag = false;
        QCOMPARE(fixed.PosAtCell(34, 2, flag), 48); // the gap: the next row's first byte
        QVERIFY(!flag);
        QCOMPARE(fixed.PosAtCell(0, 2, flag), 31); // the offset column: row start - 1
        QCOMPARE(fixed.PosAtCell(0, 0, flag), 0); // ... never below 0
        QCOMPARE(fixed.PosAtCell(1, 2, flag), 32);
        QCOMPARE(fixed.CellAtPos(-1, true, 10), (TGridCoord{2, 0}));
        QCOMPARE(fixed.OtherFieldCol(13), 40);
        QCOMPARE(fixed.OtherFieldCol(37), 6);
        QVERIFY(!fixed.OutOfBounds(500, 0)); // never in fixed mode
        const HexLayout variable = Layout(16, {10, 6}, true);
        QVERIFY(variable.OutOfBounds(34, 1)); // the gap always is
        QVERIFY(!variable.OutOfBounds(1, 1));
    }

    // The queries read rows past the stored list as growth would store them.
    void implicitRowsMatchGrownOnes_data()
    {
        QTest::addColumn<int>("bytesPerLine");
        QTest::addColumn<QList<int>>("lengths");
        QTest::newRow("empty list") << 7 << QList<int>();
        QTest::newRow("two lengths") << 16 << QList<int>{10, 6};
        QTest::newRow("256 per line") << 256 << QList<int>{100};
    }
    void implicitRowsMatchGrownOnes()
    {
        QFETCH(int, bytesPerLine);
        QFETCH(QList<int>, lengths);
        const HexLayout sparse = Layout(bytesPerLine, Lengths(lengths.begin(), lengths.end()), true);
        HexLayout grown = sparse;
        const int rows = 50;
        grown.GrowTo(size_t(rows) + 1);
        QCOMPARE(sparse.Offsets().size(), size_t(lengths.size() + (lengths.isEmpty() ? 0 : 1)));
        for (int row = -2; row <= rows; ++row) {
            QCOMPARE(sparse.LineOffset(row), grown.LineOffset(row));
            QCOMPARE(sparse.LineLength(row), grown.LineLength(row));
        }
        for (int32_t p : {0, 1, 9, 10, 15, 16, 17, 99, 100, 101, 255, 256, 1000, 12799, 12800, INT32_MAX - 1})
            QCOMPARE(sparse.RowOf(p, rows), grown.RowOf(p, rows));
        HexLayout top = sparse;
        top.SetLineLengths({bytesPerLine});
        top.GrowTo(3);
        QCOMPARE(top.RowOf(INT32_MAX, 20), 19);
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("bytesPerColumn");
        QTest::addColumn<bool>("marker");
        QTest::addColumn<QList<int>>("widths"); // columns 1 to 9
        QTest::newRow("G 1") << 1 << true << QList<int>{1, 1, 2, 1, 2, 1, 2, 1, 2};
        QTest::newRow("G 2") << 2 << true << QList<int>{1, 1, 1, 1, 2, 1, 1, 1, 2};
        QTest::newRow("G 4, no marker column") << 4 << false << QList<int>{0, 1, 1, 1, 1, 1, 1, 1, 2};
    }
    void columnWidths()
    {
        QFETCH(int, bytesPerColumn);
        QFETCH(bool, marker);
        QFETCH(QList<int>, widths);
        HexLayout layout;
        layout.SetBytesPerColumn(bytesPerColumn);
        QCOMPARE(layout.BytesPerColumn(), bytesPerColumn);
        QCOMPARE(layout.BytesPerColumnDoubled(), 2 * bytesPerColumn);
        for (int col = 1; col <= 9; ++col)
            QCOMPARE(layout.ColWidthInChars(col, marker), widths[col - 1]);
        // The gap and the character field are one character each.
        for (int col = layout.GapCol(); col < layout.ColCount(); ++col)
            QCOMPARE(layout.ColWidthInChars(col, marker), 1);
    }

    void lineLengthRules()
    {
        HexLayout layout = Layout(16, {}, true);
        QCOMPARE(
            ErrorOf([&] { layout.SetLineLength(0, 17, 3); }), QStringLiteral("Invalid Line Length argument"));
        QCOMPARE(layout.Offsets(), (Lengths{0, 16, 32, 48})); // the list grew first
        QCOMPARE(
            ErrorOf([&] { layout.SetLineLength(-1, 4, 3); }), QStringLiteral("Invalid Line Length argument"));
        QVERIFY(layout.SetLineLength(1, 4, 3));
        QVERIFY(!layout.SetLineLength(1, 4, 3));
        QCOMPARE(layout.Offsets(), (Lengths{0, 16, 20, 36}));
        QCOMPARE(ErrorOf([&] {
            layout.SetLineLengths({4, 0});
        }),
            QStringLiteral("Invalid Line Length argument"));
        QCOMPARE(layout.Offsets(), (Lengths{0, 16, 20, 36})); // nothing changed
        layout.SetBytesPerLine(8); // forgets the lengths, ends the mode
        QVERIFY(!layout.Variable());
        QVERIFY(layout.Offsets().empty());
    }
};

QTEST_APPLESS_MAIN(HexLayoutTest)
#include "HexLayoutTest.moc"
