#include "hexeditor/HexDumpLine.h"

#include <QtTest>

#include <climits>
#include <vector>

Q_DECLARE_METATYPE(THexDumpLayout)

namespace {

// Data of 0x00, 0x01, ... and a character function that marks the byte.
uint8_t ByteAt(int32_t position)
{
    return uint8_t(position);
}

uint8_t CharOf(uint8_t value)
{
    return value >= 0x20 && value < 0x7F ? value : '.';
}

THexDumpLayout Layout(const std::function<void(THexDumpLayout&)>& change)
{
    THexDumpLayout layout;
    layout.offsetDisplayWidth = 4;
    change(layout);
    return layout;
}

} // namespace

class HexDumpLineTest : public QObject {
    Q_OBJECT

private slots:
    void defaultsOnThreeBytes();
    void lines_data();
    void lines();
    void readsOnlyPresentBytes();
};

void HexDumpLineTest::defaultsOnThreeBytes()
{
    const std::vector<uint8_t> data{'A', 'B', 'C'};
    const std::string line = FormatHexDumpLine(
        Layout([](THexDumpLayout&) {}), 0, 2, [&](int32_t p) { return data.at(size_t(p)); }, CharOf);
    QCOMPARE(QString::fromStdString(line),
        QString("0x0:") + "4142 43" + QString(33, ' ') + ";" + "ABC" + QString(13, ' '));
}

void HexDumpLineTest::lines_data()
{
    QTest::addColumn<THexDumpLayout>("layout");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("line");
    auto small = [](const std::function<void(THexDumpLayout&)>& change) {
        return Layout([&](THexDumpLayout& l) {
            l.bytesPerLine = 4;
            l.displayCharField = false;
            l.memFieldSeparator = 0;
            change(l);
        });
    };
    QTest::newRow("editor layout: swapped, one per group, blank separator") << Layout([](THexDumpLayout& l) {
        l.bytesPerLine = 2;
        l.bytesPerColumn = 1;
        l.swapNibbles = true;
        l.memFieldSeparator = ' ';
    }) << 0x4F << 0x4F << "0x4F:F4     O ";
    QTest::newRow("octal values") << small([](THexDumpLayout& l) { l.memFieldDisplay = odOctal; }) << 8 << 100
                                  << "0x8:00100011 00120013 ";
    QTest::newRow("octal 255") << small([](THexDumpLayout& l) {
        l.memFieldDisplay = odOctal;
        l.bytesPerLine = 1;
        l.bytesPerColumn = 4;
    }) << 255 << 255 << "0xFF:0377";
    QTest::newRow("decimal values") << small([](THexDumpLayout& l) { l.memFieldDisplay = odDec; }) << 7 << 9
                                    << "0x7:  7  8   9    ";
    QTest::newRow("missing octal") << small([](THexDumpLayout& l) { l.memFieldDisplay = odOctal; }) << 8 << 8
                                   << "0x8:0010              ";
    QTest::newRow("no value field") << small([](THexDumpLayout& l) {
        l.memFieldDisplay = odNone;
        l.displayCharField = true;
        l.charFieldSeparator = '|';
        l.memFieldSeparator = ';';
    }) << 0x41 << 0x42 << "0x41:;AB  |";
    QTest::newRow("decimal offset") << small([](THexDumpLayout& l) { l.offsetDisplay = odDec; }) << 16 << 100
                                    << " 16:1011 1213 ";
    QTest::newRow("octal offset") << small([](THexDumpLayout& l) {
        l.offsetDisplay = odOctal;
        l.offsetDisplayWidth = 8;
    }) << 16 << 100 << "o 00020:1011 1213 ";
    QTest::newRow("no offset, no separator") << small([](THexDumpLayout& l) {
        l.offsetDisplay = odNone;
        l.offsetSeparator = 0;
    }) << 0 << 100 << "0001 0203 ";
    QTest::newRow("width never measured") << small([](THexDumpLayout& l) { l.offsetDisplayWidth = -1; })
                                          << 0x1234 << 0x1300 << "0x1234:3435 3637 ";
    QTest::newRow("groups of zero bytes: no blanks")
        << small([](THexDumpLayout& l) { l.bytesPerColumn = 0; }) << 0 << 100 << "0x0:00010203";
    QTest::newRow("nothing present") << small([](THexDumpLayout&) {}) << 5 << 4 << "0x5:          ";
    QTest::newRow("last line of the position range")
        << small([](THexDumpLayout& l) { l.offsetDisplayWidth = 11; }) << (INT_MAX - 1) << INT_MAX
        << "0x7FFFFFFE:FEFF      ";
}

void HexDumpLineTest::lines()
{
    QFETCH(THexDumpLayout, layout);
    QFETCH(int, start);
    QFETCH(int, last);
    QFETCH(QString, line);
    QCOMPARE(QString::fromStdString(FormatHexDumpLine(layout, start, last, ByteAt, CharOf)), line);
}

void HexDumpLineTest::readsOnlyPresentBytes()
{
    std::vector<int32_t> read;
    FormatHexDumpLine(
        Layout([](THexDumpLayout&) {}), 32, 35,
        [&](int32_t p) {
            read.push_back(p);
            return uint8_t(p);
        },
        CharOf);
    for (int32_t p : read)
        QVERIFY(p >= 32 && p <= 35);
    QVERIFY(!read.empty());
}

QTEST_MAIN(HexDumpLineTest)
#include "HexDumpLineTest.moc"
