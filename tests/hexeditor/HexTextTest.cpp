#include "hexeditor/HexText.h"

#include <QTest>

#include <climits>
#include <random>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(TOffsetDisplayStyle)

class HexTextTest : public QObject {
    Q_OBJECT
private slots:
    void hexToBin_data();
    void hexToBin();
    void hexToBinReadsOnlyCountCharacters();
    void binToHex_data();
    void binToHex();
    void hexRoundTrip();
    void intToOctal_data();
    void intToOctal();
    void offsetDisplayWidth_data();
    void offsetDisplayWidth();
    void offsetText_data();
    void offsetText();
    void offsetTextsFillTheirWidth();
    void emptyDataOffsetText_data();
    void emptyDataOffsetText();
};

void HexTextTest::hexToBin_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("swap");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("odd digit dropped") << QByteArray("123") << false << QByteArray("\x12", 1);
    QTest::newRow("no digits") << QByteArray("zz") << false << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << QByteArray();
    QTest::newRow("blank between pairs") << QByteArray("1f a0") << false << QByteArray("\x1F\xA0", 2);
    QTest::newRow("swapped") << QByteArray("1f a0") << true << QByteArray("\xF1\x0A", 2);
    QTest::newRow("pair split by separators")
        << QByteArray("1-f\r\na 0") << false << QByteArray("\x1F\xA0", 2);
    QTest::newRow("upper and lower") << QByteArray("ABcdEf") << false << QByteArray("\xAB\xCD\xEF", 3);
    QTest::newRow("letters past f skipped") << QByteArray("0g1G") << false << QByteArray("\x01", 1);
    QTest::newRow("zero bytes") << QByteArray("0000") << false << QByteArray("\x00\x00", 2);
    QTest::newRow("swap keeps symmetric") << QByteArray("77") << true << QByteArray("\x77", 1);
    QTest::newRow("high bit characters skipped") << QByteArray("\xC4"
                                                               "4\xFF"
                                                               "1")
                                                 << false << QByteArray("\x41", 1);
}

void HexTextTest::hexToBin()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, swap);
    QFETCH(QByteArray, bytes);
    // Guard bytes around the room the caller has to provide.
    std::vector<uint8_t> dest(text.size() / 2 + 2, 0x5A);
    int32_t n = -7;
    uint8_t* result = ConvertHexToBin(text.constData(), dest.data() + 1, int32_t(text.size()), swap, n);
    QCOMPARE(result, dest.data() + 1);
    QCOMPARE(n, int32_t(bytes.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(dest.data() + 1), n), bytes);
    QCOMPARE(dest.front(), uint8_t(0x5A));
    for (size_t i = 1 + size_t(n); i < dest.size(); ++i)
        QCOMPARE(dest[i], uint8_t(0x5A));
}

void HexTextTest::hexToBinReadsOnlyCountCharacters()
{
    uint8_t dest[4] = {};
    int32_t n = 0;
    ConvertHexToBin("12345678", dest, 3, false, n);
    QCOMPARE(n, 1);
    QCOMPARE(dest[0], uint8_t(0x12));
    QCOMPARE(dest[1], uint8_t(0));
    ConvertHexToBin("12", dest, 0, false, n);
    QCOMPARE(n, 0);
}

void HexTextTest::binToHex_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("swap");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("plain") << QByteArray("\x1F\xA0", 2) << false << QByteArray("1FA0");
    QTest::newRow("swapped") << QByteArray("\x1F\xA0", 2) << true << QByteArray("F10A");
    QTest::newRow("extremes") << QByteArray("\x00\xFF\x09", 3) << false << QByteArray("00FF09");
    QTest::newRow("extremes swapped") << QByteArray("\x00\xFF\x09", 3) << true << QByteArray("00FF90");
    QTest::newRow("empty") << QByteArray() << false << QByteArray();
}

void HexTextTest::binToHex()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, swap);
    QFETCH(QByteArray, text);
    std::vector<char> dest(2 * bytes.size() + 3, 'x');
    char* result = ConvertBinToHex(
        reinterpret_cast<const uint8_t*>(bytes.constData()), dest.data(), int32_t(bytes.size()), swap);
    QCOMPARE(result, dest.data());
    QCOMPARE(QByteArray(dest.data(), int(text.size())), text);
    QCOMPARE(dest[2 * bytes.size()], '\0');
    QCOMPARE(dest[2 * bytes.size() + 1], 'x');
}

void HexTextTest::hexRoundTrip()
{
    std::mt19937 random(42);
    for (bool swap : {false, true}) {
        std::vector<uint8_t> bytes(1000);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        std::vector<char> text(2 * bytes.size() + 1);
        ConvertBinToHex(bytes.data(), text.data(), int32_t(bytes.size()), swap);
        std::vector<uint8_t> back(bytes.size());
        int32_t n = 0;
        ConvertHexToBin(text.data(), back.data(), int32_t(2 * bytes.size()), swap, n);
        QCOMPARE(n, int32_t(bytes.size()));
        QCOMPARE(back, bytes);
    }
}

void HexTextTest::intToOctal_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "00";
    QTest::newRow("7") << 7 << "07";
    QTest::newRow("8") << 8 << "010";
    QTest::newRow("16") << 16 << "020";
    QTest::newRow("992") << 992 << "01740";
    QTest::newRow("4096") << 4096 << "010000";
    QTest::newRow("max") << INT_MAX << "017777777777";
    QTest::newRow("-1 as 32-bit pattern") << -1 << "037777777777";
    QTest::newRow("min as 32-bit pattern") << INT_MIN << "020000000000";
}

void HexTextTest::intToOctal()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(IntToOctal(value)), text);
}

void HexTextTest::offsetDisplayWidth_data()
{
    QTest::addColumn<TOffsetDisplayStyle>("style");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("width");
    QTest::newRow("hex 992") << odHex << 992 << 6;
    QTest::newRow("dec 992") << odDec << 992 << 4;
    QTest::newRow("octal 992") << odOctal << 992 << 8;
    QTest::newRow("none 992") << odNone << 992 << 0;
    QTest::newRow("hex 0") << odHex << 0 << 4;
    QTest::newRow("dec 0") << odDec << 0 << 2;
    QTest::newRow("octal 0") << odOctal << 0 << 5;
    QTest::newRow("hex 15") << odHex << 15 << 4;
    QTest::newRow("hex 16") << odHex << 16 << 5;
    QTest::newRow("dec 9") << odDec << 9 << 2;
    QTest::newRow("dec 10") << odDec << 10 << 3;
    QTest::newRow("octal 7") << odOctal << 7 << 5;
    QTest::newRow("octal 8") << odOctal << 8 << 6;
    QTest::newRow("hex max") << odHex << INT_MAX << 11;
    QTest::newRow("dec max") << odDec << INT_MAX << 11;
    QTest::newRow("octal max") << odOctal << INT_MAX << 15;
}

void HexTextTest::offsetDisplayWidth()
{
    QFETCH(TOffsetDisplayStyle, style);
    QFETCH(int, last);
    QFETCH(int, width);
    QCOMPARE(OffsetDisplayWidth(style, last), width);
}

void HexTextTest::offsetText_data()
{
    QTest::addColumn<TOffsetDisplayStyle>("style");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<char>("separator");
    QTest::addColumn<QString>("text");
    QTest::newRow("hex row 1") << odHex << 16 << 6 << ':' << "0x010:";
    QTest::newRow("hex row 0") << odHex << 0 << 6 << ':' << "0x000:";
    QTest::newRow("hex last row") << odHex << 992 << 6 << ':' << "0x3E0:";
    QTest::newRow("hex upper case") << odHex << 0xABC << 6 << ':' << "0xABC:";
    QTest::newRow("dec row 1") << odDec << 16 << 4 << ':' << " 16:";
    QTest::newRow("dec row 0") << odDec << 0 << 4 << ':' << "  0:";
    QTest::newRow("dec last row") << odDec << 992 << 4 << ':' << "992:";
    QTest::newRow("octal row 1") << odOctal << 16 << 8 << ':' << "o 00020:";
    QTest::newRow("octal row 0") << odOctal << 0 << 8 << ':' << "o 00000:";
    QTest::newRow("octal last row") << odOctal << 992 << 8 << ':' << "o 01740:";
    QTest::newRow("none") << odNone << 16 << 0 << ':' << " ";
    QTest::newRow("other separator") << odHex << 16 << 6 << '|' << "0x010|";
    QTest::newRow("too narrow not cut") << odHex << 0x1234 << 4 << ':' << "0x1234:";
}

void HexTextTest::offsetText()
{
    QFETCH(TOffsetDisplayStyle, style);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(char, separator);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(OffsetText(style, offset, width, separator)), text);
}

void HexTextTest::offsetTextsFillTheirWidth()
{
    // Every row text is exactly as wide as the column computed from the last row.
    for (TOffsetDisplayStyle style : {odHex, odDec, odOctal}) {
        for (int last : {0, 7, 8, 15, 16, 99, 100, 511, 512, 4095, 4096, 65535, 65536, 1 << 30, INT_MAX}) {
            const int width = OffsetDisplayWidth(style, last);
            for (int offset : {0, 1, last / 3, last / 2, last}) {
                const std::string text = OffsetText(style, offset, width, ':');
                QCOMPARE(int(text.size()), width);
                QCOMPARE(text.back(), ':');
            }
        }
    }
}

void HexTextTest::emptyDataOffsetText_data()
{
    QTest::addColumn<TOffsetDisplayStyle>("style");
    QTest::addColumn<QString>("text");
    QTest::newRow("hex") << odHex << "0x0:";
    QTest::newRow("dec") << odDec << "0:";
    QTest::newRow("octal") << odOctal << "o 0:";
    QTest::newRow("none") << odNone << "   ";
}

void HexTextTest::emptyDataOffsetText()
{
    QFETCH(TOffsetDisplayStyle, style);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(EmptyDataOffsetText(style, ':')), text);
}

QTEST_GUILESS_MAIN(HexTextTest)
#include "HexTextTest.moc"
