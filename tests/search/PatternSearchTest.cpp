#include "search/PatternSearch.h"
#include "search/Translation.h"

#include <QTest>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const QByteArray& text)
{
    return Bytes(text.begin(), text.end());
}

// The search as the editor defines it: a byte-by-byte scan that, after a partial match
// fails, restarts at the byte after the partial match's first byte.
int32_t NaiveFind(const Bytes& data, const Bytes& pattern, int32_t start, int32_t end, bool ignoreCase)
{
    const int32_t size = int32_t(data.size());
    const int32_t count = int32_t(pattern.size());
    const int32_t last = end >= size ? size - 1 : end;
    if (count < 1 || start + count > last + 1)
        return -1;
    int32_t i = start;
    int32_t j = 0;
    int32_t restart = start + 1;
    while (i <= last) {
        uint8_t c = data[i];
        if (ignoreCase)
            c = AnsiLowerChar(c);
        if (pattern[j] == c) {
            if (j == count - 1)
                return i - count + 1;
            if (j == 0)
                restart = i + 1;
            ++i;
            ++j;
        } else {
            i = restart;
            j = 0;
            restart = i + 1;
        }
    }
    return -1;
}

// The same search through the scanner, fed in blocks whose sizes blockSize() picks, the
// way the editor feeds it from its read window.
int32_t ScannerFind(const Bytes& data, const Bytes& pattern, int32_t start, int32_t end, bool ignoreCase,
    const std::function<int32_t()>& blockSize)
{
    const int32_t size = int32_t(data.size());
    const int32_t count = int32_t(pattern.size());
    const int32_t last = end >= size ? size - 1 : end;
    if (count < 1 || start + count > last + 1)
        return -1;
    PatternScanner scanner(pattern.data(), count, ignoreCase);
    scanner.Reset(start);
    for (int32_t i = start; i <= last;) {
        const int32_t n = std::min(blockSize(), last - i + 1);
        const int32_t hit = scanner.Feed(data.data() + i, n);
        if (hit >= 0)
            return hit;
        i += n;
        if (scanner.NextPosition() != i)
            return -2;
    }
    return -1;
}

int32_t WholeBufferFind(const Bytes& data, const Bytes& pattern, int32_t start, int32_t end, bool ignoreCase)
{
    const int32_t size = int32_t(data.size());
    const int32_t last = end >= size ? size - 1 : end;
    if (pattern.empty() || start + int32_t(pattern.size()) > last + 1)
        return -1;
    return FindPattern(
        data.data() + start, last - start + 1, start, pattern.data(), int32_t(pattern.size()), ignoreCase);
}

} // namespace

class PatternSearchTest : public QObject {
    Q_OBJECT
private slots:
    void find_data();
    void find();
    void longPatternsOverTinyBlocks();
    void runsOfPatternBytes_data();
    void runsOfPatternBytes();
    void runsOfPatternBytesEveryPosition_data();
    void runsOfPatternBytesEveryPosition();
    void resetStartsOverAndFindsEveryMatch();
    void emptyPatternNeverMatches();
    void differentialAgainstNaiveScan_data();
    void differentialAgainstNaiveScan();
};

void PatternSearchTest::find_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<int>("expected");
    QTest::newRow("aa in aaa") << QByteArray("aaa") << QByteArray("aa") << 0 << 2 << false << 0;
    QTest::newRow("ab in aab restarts") << QByteArray("aab") << QByteArray("ab") << 0 << 2 << false << 1;
    QTest::newRow("aab in aaab restarts") << QByteArray("aaab") << QByteArray("aab") << 0 << 3 << false << 1;
    QTest::newRow("overlapping abab") << QByteArray("abababc") << QByteArray("ababc") << 0 << 6 << false << 2;
    QTest::newRow("one byte") << QByteArray("xyz") << QByteArray("z") << 0 << 2 << false << 2;
    QTest::newRow("absent") << QByteArray("xyz") << QByteArray("q") << 0 << 2 << false << -1;
    QTest::newRow("whole data") << QByteArray("needle") << QByteArray("needle") << 0 << 5 << false << 0;
    QTest::newRow("case differs") << QByteArray("xABCx") << QByteArray("abc") << 0 << 4 << false << -1;
    QTest::newRow("ignore case ABC vs abc")
        << QByteArray("xABCx") << QByteArray("abc") << 0 << 4 << true << 1;
    QTest::newRow("ignore case abc vs abc")
        << QByteArray("xabcx") << QByteArray("abc") << 0 << 4 << true << 1;
    // The caller lower-cases the pattern; an upper-case pattern byte never matches.
    QTest::newRow("ignore case unlowered pattern")
        << QByteArray("xABCx") << QByteArray("ABC") << 0 << 4 << true << -1;
    QTest::newRow("ignore case Y umlaut")
        << QByteArray("\x9F", 1) << QByteArray("\xFF", 1) << 0 << 0 << true << 0;
    QTest::newRow("ignore case S caron")
        << QByteArray("-\x8A-", 3) << QByteArray("\x9A-", 2) << 0 << 2 << true << 1;
    QTest::newRow("ignore case times sign")
        << QByteArray("\xD7", 1) << QByteArray("\xF7", 1) << 0 << 0 << true << -1;
    QTest::newRow("ignore case A grave")
        << QByteArray("\xC0\xE0", 2) << QByteArray("\xE0\xE0", 2) << 0 << 1 << true << 0;
    QTest::newRow("start skips earlier match")
        << QByteArray("abxab") << QByteArray("ab") << 1 << 4 << false << 3;
    QTest::newRow("start on match") << QByteArray("abxab") << QByteArray("ab") << 3 << 4 << false << 3;
    QTest::newRow("end cuts match") << QByteArray("xxxab") << QByteArray("ab") << 0 << 3 << false << -1;
    QTest::newRow("end beyond data") << QByteArray("xxxab") << QByteArray("ab") << 0 << 100 << false << 3;
    // start + count = last + 1: exactly one alignment is compared.
    QTest::newRow("one alignment matches") << QByteArray("xxab") << QByteArray("ab") << 2 << 3 << false << 2;
    QTest::newRow("one alignment differs") << QByteArray("xxax") << QByteArray("ab") << 2 << 3 << false << -1;
    // start + count = last + 2: the pattern cannot fit.
    QTest::newRow("no room") << QByteArray("xxab") << QByteArray("ab") << 2 << 2 << false << -1;
    QTest::newRow("no room at data end") << QByteArray("xxab") << QByteArray("ab") << 3 << 9 << false << -1;
    QTest::newRow("empty data") << QByteArray() << QByteArray("a") << 0 << 0 << false << -1;
    QTest::newRow("zero bytes") << QByteArray("\x00\x01\x00\x00", 4) << QByteArray("\x00\x00", 2) << 0 << 3
                                << false << 2;
}

void PatternSearchTest::find()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, pattern);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(bool, ignoreCase);
    QFETCH(int, expected);
    const Bytes d = ToBytes(data);
    const Bytes p = ToBytes(pattern);
    QCOMPARE(NaiveFind(d, p, start, end, ignoreCase), expected);
    for (int32_t block : {1, 2, 3, 5, 1 << 16}) {
        QCOMPARE(ScannerFind(d, p, start, end, ignoreCase, [block] { return block; }), expected);
    }
    QCOMPARE(WholeBufferFind(d, p, start, end, ignoreCase), expected);
}

void PatternSearchTest::longPatternsOverTinyBlocks()
{
    // A pattern much longer than the blocks, matched only across many of them, and a
    // near miss just before it.
    Bytes pattern(100);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = uint8_t('a' + i % 7);
    Bytes data(1000, 'z');
    std::copy(pattern.begin(), pattern.end() - 1, data.begin() + 200);
    std::copy(pattern.begin(), pattern.end(), data.begin() + 613);
    for (int32_t block : {1, 3, 7, 64, 99, 100, 101, 613}) {
        QCOMPARE(ScannerFind(data, pattern, 0, 999, false, [block] { return block; }), 613);
        QCOMPARE(ScannerFind(data, pattern, 0, 712, false, [block] { return block; }), 613);
        QCOMPARE(ScannerFind(data, pattern, 0, 711, false, [block] { return block; }), -1);
        QCOMPARE(ScannerFind(data, pattern, 614, 999, false, [block] { return block; }), -1);
    }
    QCOMPARE(NaiveFind(data, pattern, 0, 999, false), 613);
}

void PatternSearchTest::runsOfPatternBytes_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<bool>("ignoreCase");
    for (bool ignoreCase : {false, true}) {
        for (int at : {5, 16382, 16383, 16384, 40000, 65530, 69995}) {
            QTest::addRow("at %d%s", at, ignoreCase ? " ignoring case" : "") << at << ignoreCase;
        }
    }
}

void PatternSearchTest::runsOfPatternBytes()
{
    // Long runs of the pattern's first and last byte make nearly every position a
    // candidate that fails in the middle: the worst case for a candidate filter.
    QFETCH(int, at);
    QFETCH(bool, ignoreCase);
    Bytes data(70000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = ignoreCase && i % 3 == 0 ? 'A' : 'a';
    const Bytes pattern = {'a', 'a', 'b', 'a', 'a'};
    data[at + 2] = ignoreCase ? 'B' : 'b';
    QCOMPARE(NaiveFind(data, pattern, 0, 69999, ignoreCase), at);
    QCOMPARE(WholeBufferFind(data, pattern, 0, 69999, ignoreCase), at);
    for (int32_t block : {4096, 32768, 65536})
        QCOMPARE(ScannerFind(data, pattern, 0, 69999, ignoreCase, [block] { return block; }), at);
    QCOMPARE(WholeBufferFind(data, pattern, at + 1, 69999, ignoreCase), -1);
}

void PatternSearchTest::runsOfPatternBytesEveryPosition_data()
{
    QTest::addColumn<bool>("ignoreCase");
    QTest::newRow("case sensitive") << false;
    QTest::newRow("ignoring case") << true;
}

void PatternSearchTest::runsOfPatternBytesEveryPosition()
{
    // The same worst case with the match at every position in turn, so that wherever the
    // scan changes its method (and wherever it splits its work) a match sits right there.
    QFETCH(bool, ignoreCase);
    const int32_t size = 20000;
    Bytes data(size);
    for (int32_t i = 0; i < size; ++i)
        data[i] = ignoreCase && i % 3 == 0 ? 'A' : 'a';
    const Bytes pattern = {'a', 'a', 'b', 'a', 'a'};
    for (int32_t at = 0; at + 5 <= size; ++at) {
        data[at + 2] = ignoreCase ? 'B' : 'b';
        const int32_t found = WholeBufferFind(data, pattern, 0, size - 1, ignoreCase);
        data[at + 2] = ignoreCase && (at + 2) % 3 == 0 ? 'A' : 'a';
        if (found != at)
            QFAIL(qPrintable(QString("match at %1 found at %2").arg(at).arg(found)));
    }
}

void PatternSearchTest::resetStartsOverAndFindsEveryMatch()
{
    const Bytes data = ToBytes("abcabcab");
    const Bytes pattern = ToBytes("cab");
    PatternScanner scanner(pattern.data(), int32_t(pattern.size()), false);
    scanner.Reset(0);
    QCOMPARE(scanner.Feed(data.data(), 6), 2);
    // A new scan from position 3 must not see the bytes kept from the old one.
    scanner.Reset(3);
    QCOMPARE(scanner.Feed(data.data() + 3, 2), -1);
    QCOMPARE(scanner.NextPosition(), int64_t(5));
    QCOMPARE(scanner.Feed(data.data() + 5, 3), 5);
    scanner.Reset(6);
    QCOMPARE(scanner.Feed(data.data() + 6, 2), -1);
    // Kept bytes from a different place do not join with new ones after a reset.
    scanner.Reset(100);
    QCOMPARE(scanner.Feed(data.data(), 1), -1);
    scanner.Reset(0);
    QCOMPARE(scanner.Feed(data.data() + 5, 1), -1);
    QCOMPARE(scanner.Feed(data.data() + 1, 2), -1);
}

void PatternSearchTest::emptyPatternNeverMatches()
{
    const Bytes data = ToBytes("abc");
    PatternScanner scanner(data.data(), 0, false);
    scanner.Reset(0);
    QCOMPARE(scanner.Feed(data.data(), 3), -1);
    QCOMPARE(scanner.NextPosition(), int64_t(3));
    QCOMPARE(scanner.Feed(data.data(), 0), -1);
    QCOMPARE(scanner.NextPosition(), int64_t(3));
    QCOMPARE(FindPattern(data.data(), 3, 0, data.data(), -1, true), -1);
}

void PatternSearchTest::differentialAgainstNaiveScan_data()
{
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<int>("maxBlock");
    QTest::newRow("ab small blocks") << QByteArray("ab") << 600 << 40;
    QTest::newRow("abAB small blocks") << QByteArray("abAB") << 600 << 40;
    QTest::newRow("abAB large blocks") << QByteArray("abAB") << 5000 << 3000;
    QTest::newRow("folding specials") << QByteArray("\x8A\x9A\x9F\xFF\xD7\xF7x", 7) << 2000 << 300;
    QTest::newRow("aaab runs") << QByteArray("aaaaaaaaaaaaaaaaAb") << 40000 << 20000;
    QTest::newRow("all bytes") << QByteArray() << 3000 << 500;
}

void PatternSearchTest::differentialAgainstNaiveScan()
{
    QFETCH(QByteArray, alphabet);
    QFETCH(int, maxSize);
    QFETCH(int, maxBlock);
    // Seeded from the row's name (its text, not its address), so every run draws the same cases.
    std::mt19937 random(uint32_t(qHash(QByteArrayView(QTest::currentDataTag()))));
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    auto symbol = [&]() -> uint8_t {
        return alphabet.isEmpty() ? uint8_t(pick(0, 255))
                                  : uint8_t(alphabet[pick(0, int(alphabet.size()) - 1)]);
    };
    const int cases = maxSize > 10000 ? 40 : 400;
    int matches = 0;
    for (int round = 0; round < cases; ++round) {
        Bytes data(size_t(pick(0, maxSize)));
        for (uint8_t& b : data)
            b = symbol();
        Bytes pattern;
        if (!data.empty() && pick(0, 1) == 0) {
            // A piece of the data itself, so that long matches occur.
            const int from = pick(0, int(data.size()) - 1);
            const int length = pick(1, std::min(int(data.size()) - from, 60));
            pattern.assign(data.begin() + from, data.begin() + from + length);
        } else {
            pattern.resize(size_t(pick(1, 12)));
            for (uint8_t& b : pattern)
                b = symbol();
        }
        const bool ignoreCase = pick(0, 1) == 1;
        if (ignoreCase && pick(0, 9) != 0)
            AnsiLowerBuffer(pattern.data(), int32_t(pattern.size()));
        const int32_t size = int32_t(data.size());
        int32_t start = pick(0, size);
        const int32_t end = pick(start - 3, size + 5);
        const int32_t expected = NaiveFind(data, pattern, start, end, ignoreCase);
        auto blockSize = [&] { return pick(1, maxBlock); };
        QCOMPARE(ScannerFind(data, pattern, start, end, ignoreCase, blockSize), expected);
        QCOMPARE(WholeBufferFind(data, pattern, start, end, ignoreCase), expected);
        // Find next, as the dialog does: every later match in turn.
        for (int32_t found = expected, next = 0; found >= 0 && next < 20; ++next) {
            ++matches;
            start = found + 1;
            found = NaiveFind(data, pattern, start, end, ignoreCase);
            QCOMPARE(ScannerFind(data, pattern, start, end, ignoreCase, blockSize), found);
        }
    }
    QVERIFY(matches > cases / 10);
}

QTEST_GUILESS_MAIN(PatternSearchTest)
#include "PatternSearchTest.moc"
