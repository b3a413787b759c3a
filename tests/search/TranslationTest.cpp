#include "search/Translation.h"

#include <QTest>

#include <iconv.h>

#include <array>
#include <cstring>
#include <optional>
#include <vector>

Q_DECLARE_METATYPE(TTranslationType)

namespace {

// The EBCDIC pairs as documented for the component: EBCDIC code, Latin-1 code.
std::vector<std::pair<int, int>> EbcdicPairs()
{
    std::vector<std::pair<int, int>> pairs = {{0x40, 0x20}};
    for (int k = 0; k < 10; ++k)
        pairs.push_back({0xF0 + k, '0' + k});
    for (int k = 0; k < 9; ++k) {
        pairs.push_back({0xC1 + k, 'A' + k});
        pairs.push_back({0xD1 + k, 'J' + k});
        pairs.push_back({0x81 + k, 'a' + k});
        pairs.push_back({0x91 + k, 'j' + k});
    }
    for (int k = 0; k < 8; ++k) {
        pairs.push_back({0xE2 + k, 'S' + k});
        pairs.push_back({0xA2 + k, 's' + k});
    }
    const int punctuation[][2]
        = {{0x4B, '.'}, {0x4C, '<'}, {0x4D, '('}, {0x4E, '+'}, {0x50, '&'}, {0x5A, '!'}, {0x5B, '$'},
            {0x5C, '*'}, {0x5D, ')'}, {0x5E, ';'}, {0x60, '-'}, {0x61, '/'}, {0x6A, '|'}, {0x6B, ','},
            {0x6C, '%'}, {0x6D, '_'}, {0x6E, '>'}, {0x6F, '?'}, {0x79, '`'}, {0x7A, ':'}, {0x7B, '#'},
            {0x7C, '@'}, {0x7D, '\''}, {0x7E, '='}, {0x7F, '"'}, {0xA1, '~'}, {0xE0, '\\'}, {0x4F, 0xFE}};
    for (const auto& p : punctuation)
        pairs.push_back({p[0], p[1]});
    return pairs;
}

// One byte through the C library's converters; nothing when the byte has no character
// in the target set (or the converter is missing).
std::optional<uint8_t> Iconv(const char* from, const char* to, uint8_t byte)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || inLeft != 0 || sizeof out - outLeft != 1)
        return std::nullopt;
    return static_cast<uint8_t>(out[0]);
}

bool HaveCodePageConverters()
{
    for (const char* name : {"IBM437", "CP1252"}) {
        iconv_t cd = iconv_open("UTF-32LE", name);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return false;
        iconv_close(cd);
    }
    return true;
}

std::vector<uint8_t> AllBytes()
{
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    return all;
}

const TTranslationType kAllTypes[] = {ttAnsi, ttDos8, ttASCII, ttMac, ttEBCDIC};

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT
private slots:
    void macTablesAreInversePermutations();
    void macTableEntries_data();
    void macTableEntries();
    void ebcdicTablesHoldExactlyThePairs();
    void oemAnsiIsReversibleAndKeepsAscii();
    void oemAnsiMapsSharedCharactersThroughUnicode();
    void oemAnsiPairsLeftoversInAscendingOrder();
    void ansiLowerChar_data();
    void ansiLowerChar();
    void ansiLowerBufferAgreesWithChar();
    void toAnsiChar_data();
    void toAnsiChar();
    void fromAnsiChar_data();
    void fromAnsiChar();
    void controlCharactersRefusedInEveryTranslation();
    void charFunctionsAgreeWithBuffers();
    void bufferTranslation_data();
    void bufferTranslation();
    void bufferRoundTrips_data();
    void bufferRoundTrips();
    void bufferTranslationInPlaceAndEmpty();
};

void TranslationTest::macTablesAreInversePermutations()
{
    bool seen[128] = {};
    for (int i = 0; i < 128; ++i) {
        QVERIFY(ctMacToISO[i] >= 128);
        QVERIFY(!seen[ctMacToISO[i] - 128]);
        seen[ctMacToISO[i] - 128] = true;
        QCOMPARE(int(ctISOToMac[ctMacToISO[i] - 128]), 128 + i);
        QCOMPARE(int(ctMacToISO[ctISOToMac[i] - 128]), 128 + i);
    }
}

void TranslationTest::macTableEntries_data()
{
    QTest::addColumn<int>("mac");
    QTest::addColumn<int>("iso");
    QTest::newRow("80 A umlaut") << 0x80 << 0xC4;
    QTest::newRow("8F e grave") << 0x8F << 0xE8;
    QTest::newRow("A5 leftover") << 0xA5 << 0x80;
    QTest::newRow("AF O slash") << 0xAF << 0xD8;
    QTest::newRow("CA nbsp") << 0xCA << 0xA0;
    QTest::newRow("D8 y umlaut") << 0xD8 << 0xFF;
    QTest::newRow("E5 A circumflex") << 0xE5 << 0xC2;
    QTest::newRow("FF last") << 0xFF << 0x9D;
}

void TranslationTest::macTableEntries()
{
    QFETCH(int, mac);
    QFETCH(int, iso);
    QCOMPARE(int(ctMacToISO[mac - 128]), iso);
    QCOMPARE(int(ctISOToMac[iso - 128]), mac);
}

void TranslationTest::ebcdicTablesHoldExactlyThePairs()
{
    std::array<int, 256> toIso{};
    std::array<int, 256> toEbcdic{};
    for (const auto& [e, i] : EbcdicPairs()) {
        toIso[e] = i;
        toEbcdic[i] = e;
    }
    toIso[0x51] = '&'; // one way only: '&' goes back to 0x50
    for (int c = 0; c < 256; ++c) {
        QCOMPARE(int(ctEBCDICToISO[c]), toIso[c]);
        QCOMPARE(int(ctISOToEBCDIC[c]), toEbcdic[c]);
    }
    int nonZeroToIso = 0;
    int nonZeroToEbcdic = 0;
    for (int c = 0; c < 256; ++c) {
        nonZeroToIso += ctEBCDICToISO[c] != 0;
        nonZeroToEbcdic += ctISOToEBCDIC[c] != 0;
    }
    QCOMPARE(nonZeroToIso, 92);
    QCOMPARE(nonZeroToEbcdic, 91);
    QCOMPARE(int(ctISOToEBCDIC['&']), 0x50);
    QCOMPARE(int(ctEBCDICToISO[0x4F]), 0xFE);
    QCOMPARE(int(ctISOToEBCDIC[0xFE]), 0x4F);
    for (int c : {int('['), int(']'), int('^'), int('{'), int('}'), 0x1F, 0x7F, 0xFD})
        QCOMPARE(int(ctISOToEBCDIC[c]), 0);
}

void TranslationTest::oemAnsiIsReversibleAndKeepsAscii()
{
    for (int c = 0; c < 256; ++c) {
        const uint8_t b = static_cast<uint8_t>(c);
        QCOMPARE(int(AnsiToOemChar(OemToAnsiChar(b))), c);
        QCOMPARE(int(OemToAnsiChar(AnsiToOemChar(b))), c);
        if (c < 128) {
            QCOMPARE(int(OemToAnsiChar(b)), c);
            QCOMPARE(int(AnsiToOemChar(b)), c);
        } else {
            QVERIFY(OemToAnsiChar(b) >= 128);
        }
    }
}

void TranslationTest::oemAnsiMapsSharedCharactersThroughUnicode()
{
    // Characters both pages have: fixed rows, so the check holds without the converters.
    const int shared[][2] = {{0x84, 0xE4}, {0x81, 0xFC}, {0xE1, 0xDF}, {0x9C, 0xA3}, {0xFF, 0xA0},
        {0x9F, 0x83}, {0xE6, 0xB5}, {0xF8, 0xB0}};
    for (const auto& row : shared) {
        QCOMPARE(int(OemToAnsiChar(uint8_t(row[0]))), row[1]);
        QCOMPARE(int(AnsiToOemChar(uint8_t(row[1]))), row[0]);
    }
    if (!HaveCodePageConverters())
        QSKIP("the C library has no IBM437/CP1252 converters");
    int sharedCount = 0;
    for (int c = 128; c < 256; ++c) {
        const std::optional<uint8_t> ansi = Iconv("IBM437", "CP1252", uint8_t(c));
        if (ansi) {
            ++sharedCount;
            QCOMPARE(int(OemToAnsiChar(uint8_t(c))), int(*ansi));
        }
        const std::optional<uint8_t> oem = Iconv("CP1252", "IBM437", uint8_t(c));
        if (oem)
            QCOMPARE(int(AnsiToOemChar(uint8_t(c))), int(*oem));
    }
    QVERIFY(sharedCount > 40);
}

void TranslationTest::oemAnsiPairsLeftoversInAscendingOrder()
{
    // OEM 0x9E (peseta) is the first OEM code Windows-1252 lacks, the euro sign 0x80 the
    // first ANSI code OEM lacks.
    QCOMPARE(int(OemToAnsiChar(0x9E)), 0x80);
    QCOMPARE(int(AnsiToOemChar(0x80)), 0x9E);
    if (!HaveCodePageConverters())
        QSKIP("the C library has no IBM437/CP1252 converters");
    int previous = -1;
    int leftovers = 0;
    for (int c = 128; c < 256; ++c) {
        if (Iconv("IBM437", "CP1252", uint8_t(c)))
            continue;
        const int ansi = OemToAnsiChar(uint8_t(c));
        QVERIFY(!Iconv("CP1252", "IBM437", uint8_t(ansi)));
        QVERIFY(ansi > previous);
        previous = ansi;
        ++leftovers;
    }
    QVERIFY(leftovers > 0);
}

void TranslationTest::ansiLowerChar_data()
{
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("lower");
    QTest::newRow("A") << int('A') << int('a');
    QTest::newRow("Z") << int('Z') << int('z');
    QTest::newRow("@ before A") << int('@') << int('@');
    QTest::newRow("[ after Z") << int('[') << int('[');
    QTest::newRow("a stays") << int('a') << int('a');
    QTest::newRow("S caron") << 0x8A << 0x9A;
    QTest::newRow("OE") << 0x8C << 0x9C;
    QTest::newRow("Z caron") << 0x8E << 0x9E;
    QTest::newRow("Y umlaut") << 0x9F << 0xFF;
    QTest::newRow("8B stays") << 0x8B << 0x8B;
    QTest::newRow("8D stays") << 0x8D << 0x8D;
    QTest::newRow("9A stays") << 0x9A << 0x9A;
    QTest::newRow("A grave") << 0xC0 << 0xE0;
    QTest::newRow("O umlaut") << 0xD6 << 0xF6;
    QTest::newRow("times stays") << 0xD7 << 0xD7;
    QTest::newRow("O slash") << 0xD8 << 0xF8;
    QTest::newRow("thorn") << 0xDE << 0xFE;
    QTest::newRow("sharp s stays") << 0xDF << 0xDF;
    QTest::newRow("BF stays") << 0xBF << 0xBF;
    QTest::newRow("FF stays") << 0xFF << 0xFF;
    QTest::newRow("zero stays") << 0x00 << 0x00;
}

void TranslationTest::ansiLowerChar()
{
    QFETCH(int, c);
    QFETCH(int, lower);
    QCOMPARE(int(AnsiLowerChar(uint8_t(c))), lower);
}

void TranslationTest::ansiLowerBufferAgreesWithChar()
{
    // Every byte at every offset of the vector width, with lengths that leave tails.
    std::vector<uint8_t> source;
    for (int round = 0; round < 3; ++round)
        for (int c = 0; c < 256; ++c)
            source.push_back(static_cast<uint8_t>((c * 37 + round) & 0xFF));
    for (int start : {0, 1, 7, 15, 16, 31}) {
        for (int length : {0, 1, 15, 16, 17, 33, 255, 700}) {
            std::vector<uint8_t> copy(source.size() + 2, 0xAA);
            AnsiLowerCopy(source.data() + start, copy.data() + 1, length);
            std::vector<uint8_t> inPlace(source.begin() + start, source.begin() + start + length);
            AnsiLowerBuffer(inPlace.data(), length);
            for (int i = 0; i < length; ++i) {
                const uint8_t expected = AnsiLowerChar(source[start + i]);
                QCOMPARE(copy[i + 1], expected);
                QCOMPARE(inPlace[i], expected);
            }
            QCOMPARE(copy[0], uint8_t(0xAA));
            QCOMPARE(copy[length + 1], uint8_t(0xAA));
        }
    }
    uint8_t untouched = 'A';
    AnsiLowerBuffer(&untouched, 0);
    AnsiLowerBuffer(&untouched, -5);
    QCOMPARE(untouched, uint8_t('A'));
}

void TranslationTest::toAnsiChar_data()
{
    QTest::addColumn<TTranslationType>("type");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("drawn");
    const int mask = '.';
    QTest::newRow("ansi C4 as is") << ttAnsi << 0xC4 << 0xC4;
    QTest::newRow("ansi control as is") << ttAnsi << 0x05 << 0x05;
    QTest::newRow("dos8 84 a umlaut") << ttDos8 << 0x84 << 0xE4;
    QTest::newRow("dos8 C4 box drawing") << ttDos8 << 0xC4 << int(OemToAnsiChar(0xC4));
    QTest::newRow("dos8 A") << ttDos8 << 0x41 << 0x41;
    QTest::newRow("ascii C4 masked") << ttASCII << 0xC4 << mask;
    QTest::newRow("ascii 80 masked") << ttASCII << 0x80 << mask;
    QTest::newRow("ascii 7F") << ttASCII << 0x7F << 0x7F;
    QTest::newRow("mac 80") << ttMac << 0x80 << 0xC4;
    QTest::newRow("mac A5") << ttMac << 0xA5 << 0x80;
    QTest::newRow("mac 7E") << ttMac << 0x7E << 0x7E;
    QTest::newRow("ebcdic C1 is A") << ttEBCDIC << 0xC1 << int('A');
    QTest::newRow("ebcdic 4A masked") << ttEBCDIC << 0x4A << mask;
    QTest::newRow("ebcdic 00 masked") << ttEBCDIC << 0x00 << mask;
    QTest::newRow("ebcdic 51 ampersand") << ttEBCDIC << 0x51 << int('&');
    QTest::newRow("ebcdic 4F thorn") << ttEBCDIC << 0x4F << 0xFE;
    QTest::newRow("unknown masked") << TTranslationType(5) << 0x41 << mask;
}

void TranslationTest::toAnsiChar()
{
    QFETCH(TTranslationType, type);
    QFETCH(int, b);
    QFETCH(int, drawn);
    QCOMPARE(int(TranslateToAnsiChar(type, '.', uint8_t(b))), drawn);
    // The mask character is the caller's choice.
    if (drawn == '.')
        QCOMPARE(int(TranslateToAnsiChar(type, '#', uint8_t(b))), int('#'));
}

void TranslationTest::fromAnsiChar_data()
{
    QTest::addColumn<TTranslationType>("type");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("stored");
    QTest::newRow("ansi blank") << ttAnsi << 0x20 << 0x20;
    QTest::newRow("ansi FF") << ttAnsi << 0xFF << 0xFF;
    QTest::newRow("dos8 a umlaut") << ttDos8 << 0xE4 << 0x84;
    QTest::newRow("dos8 euro") << ttDos8 << 0x80 << 0x9E;
    QTest::newRow("ascii a") << ttASCII << int('a') << int('a');
    QTest::newRow("ascii 7F") << ttASCII << 0x7F << 0x7F;
    QTest::newRow("ascii a umlaut refused") << ttASCII << 0xE4 << 0;
    QTest::newRow("ascii 80 refused") << ttASCII << 0x80 << 0;
    QTest::newRow("mac x") << ttMac << int('x') << int('x');
    QTest::newRow("mac A umlaut") << ttMac << 0xC4 << 0x80;
    QTest::newRow("mac 80") << ttMac << 0x80 << 0xA5;
    QTest::newRow("ebcdic A is C1") << ttEBCDIC << int('A') << 0xC1;
    QTest::newRow("ebcdic ampersand") << ttEBCDIC << int('&') << 0x50;
    QTest::newRow("ebcdic bracket refused") << ttEBCDIC << int('[') << 0;
    QTest::newRow("ebcdic E4 refused") << ttEBCDIC << 0xE4 << 0;
    QTest::newRow("unknown refused") << TTranslationType(7) << int('A') << 0;
}

void TranslationTest::fromAnsiChar()
{
    QFETCH(TTranslationType, type);
    QFETCH(int, c);
    QFETCH(int, stored);
    QCOMPARE(int(TranslateFromAnsiChar(type, uint8_t(c))), stored);
}

void TranslationTest::controlCharactersRefusedInEveryTranslation()
{
    for (TTranslationType type : kAllTypes)
        for (int c = 0; c < 0x20; ++c)
            QCOMPARE(int(TranslateFromAnsiChar(type, uint8_t(c))), 0);
    // The first printable character is taken everywhere.
    for (TTranslationType type : kAllTypes)
        QVERIFY(TranslateFromAnsiChar(type, 0x20) != 0);
}

void TranslationTest::charFunctionsAgreeWithBuffers()
{
    const std::vector<uint8_t> all = AllBytes();
    for (TTranslationType type : kAllTypes) {
        std::vector<uint8_t> toAnsi(256);
        std::vector<uint8_t> fromAnsi(256);
        TranslateBufferToAnsi(type, all.data(), toAnsi.data(), 256);
        TranslateBufferFromAnsi(type, all.data(), fromAnsi.data(), 256);
        for (int b = 0; b < 256; ++b) {
            const uint8_t drawn = TranslateToAnsiChar(type, '.', uint8_t(b));
            const bool masked = (type == ttASCII && b >= 128) || (type == ttEBCDIC && toAnsi[b] == 0);
            QCOMPARE(drawn, masked ? uint8_t('.') : toAnsi[b]);
            const uint8_t stored = TranslateFromAnsiChar(type, uint8_t(b));
            const bool refused = b < 0x20 || (type == ttASCII && b >= 128);
            QCOMPARE(stored, refused ? uint8_t(0) : fromAnsi[b]);
        }
    }
}

void TranslationTest::bufferTranslation_data()
{
    QTest::addColumn<TTranslationType>("type");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("ansi");
    QTest::newRow("ansi copy") << ttAnsi << QByteArray("\x00\xC4\x80", 3) << QByteArray("\x00\xC4\x80", 3);
    QTest::newRow("dos8") << ttDos8 << QByteArray("\x84\x41\x9E", 3) << QByteArray("\xE4\x41\x80", 3);
    QTest::newRow("ascii converts high codes")
        << ttASCII << QByteArray("\x84\x9E", 2) << QByteArray("\xE4\x80", 2);
    QTest::newRow("mac") << ttMac << QByteArray("\x80\x41\xFF", 3) << QByteArray("\xC4\x41\x9D", 3);
    QTest::newRow("ebcdic") << ttEBCDIC << QByteArray("\xC8\x85\x93\x93\x96\x40\xF1", 7)
                            << QByteArray("Hello 1");
}

void TranslationTest::bufferTranslation()
{
    QFETCH(TTranslationType, type);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, ansi);
    const int n = int(stored.size());
    QByteArray out(n, '\x55');
    TranslateBufferToAnsi(type, reinterpret_cast<const uint8_t*>(stored.constData()),
        reinterpret_cast<uint8_t*>(out.data()), n);
    QCOMPARE(out, ansi);
    QByteArray back(n, '\x55');
    TranslateBufferFromAnsi(
        type, reinterpret_cast<const uint8_t*>(ansi.constData()), reinterpret_cast<uint8_t*>(back.data()), n);
    QCOMPARE(back, stored);
}

void TranslationTest::bufferRoundTrips_data()
{
    QTest::addColumn<TTranslationType>("type");
    QTest::newRow("ansi") << ttAnsi;
    QTest::newRow("dos8") << ttDos8;
    QTest::newRow("ascii") << ttASCII;
    QTest::newRow("mac") << ttMac;
}

void TranslationTest::bufferRoundTrips()
{
    QFETCH(TTranslationType, type);
    const std::vector<uint8_t> all = AllBytes();
    std::vector<uint8_t> there(256);
    std::vector<uint8_t> back(256);
    TranslateBufferToAnsi(type, all.data(), there.data(), 256);
    TranslateBufferFromAnsi(type, there.data(), back.data(), 256);
    QCOMPARE(back, all);
    TranslateBufferFromAnsi(type, all.data(), there.data(), 256);
    TranslateBufferToAnsi(type, there.data(), back.data(), 256);
    QCOMPARE(back, all);
}

void TranslationTest::bufferTranslationInPlaceAndEmpty()
{
    const std::vector<uint8_t> all = AllBytes();
    for (TTranslationType type : kAllTypes) {
        std::vector<uint8_t> expected(256);
        TranslateBufferToAnsi(type, all.data(), expected.data(), 256);
        std::vector<uint8_t> inPlace = all;
        TranslateBufferToAnsi(type, inPlace.data(), inPlace.data(), 256);
        QCOMPARE(inPlace, expected);
        TranslateBufferFromAnsi(type, all.data(), expected.data(), 256);
        inPlace = all;
        TranslateBufferFromAnsi(type, inPlace.data(), inPlace.data(), 256);
        QCOMPARE(inPlace, expected);

        std::vector<uint8_t> untouched(4, 0x55);
        TranslateBufferToAnsi(type, all.data() + 0xC1, untouched.data(), 0);
        TranslateBufferFromAnsi(type, all.data() + 0xC1, untouched.data(), 0);
        QCOMPARE(untouched, std::vector<uint8_t>(4, 0x55));
    }
    // An unknown type writes nothing.
    std::vector<uint8_t> untouched(256, 0x55);
    TranslateBufferToAnsi(TTranslationType(9), all.data(), untouched.data(), 256);
    TranslateBufferFromAnsi(TTranslationType(9), all.data(), untouched.data(), 256);
    QCOMPARE(untouched, std::vector<uint8_t>(256, 0x55));
}

QTEST_GUILESS_MAIN(TranslationTest)
#include "TranslationTest.moc"
