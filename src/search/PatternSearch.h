#pragma once
// Pattern search over data that arrives block by block, as it does through the hex
// editor's read window.
//
// The answer is always the one of the plain byte-by-byte scan: the lowest position p
// at which every pattern byte equals the data byte (the data byte lower-cased with
// AnsiLowerChar when ignoring case; the pattern is compared as given, so the caller
// lower-cases it first). Matches that span block boundaries are found: the scanner
// keeps the last count - 1 bytes it was fed. Its memory is bounded by the pattern size
// plus a fixed work area, never by the size of the data.
//
// Typical use, searching positions start..last:
//     PatternScanner scanner(pattern, count, ignoreCase);
//     scanner.Reset(start);
//     for (int32_t i = start; i <= last; ) {
//         // make bytes i..i+n-1 available (n >= 1, i + n - 1 <= last)
//         int32_t p = scanner.Feed(bytes, n);
//         if (p >= 0) return p;
//         i += n;
//     }
//     return -1;
// Because only bytes up to last are fed, every answer p satisfies p + count - 1 <= last.
#include <cstddef>
#include <cstdint>
#include <vector>

class PatternScanner {
public:
    // count < 1 gives a scanner that never matches.
    PatternScanner(const uint8_t* pattern, int32_t count, bool ignoreCase);

    // Starts a new scan whose first fed byte is at position (forgets the kept bytes).
    void Reset(int32_t position);

    // Scans the next length bytes of the data, which follow the bytes fed since the last
    // Reset. Answers the lowest position of a match that ends inside this block, or -1.
    // After a match the scan may go on with the next block; matches that end later in
    // the same block are not reported.
    int32_t Feed(const uint8_t* data, int32_t length);

    // Position of the next byte Feed expects.
    int64_t NextPosition() const { return FNext; }

    int32_t Count() const { return static_cast<int32_t>(FPattern.size()); }
    bool IgnoreCase() const { return FIgnoreCase; }

private:
    int32_t ScanBoundary(const uint8_t* data, int32_t length);
    int32_t ScanBody(const uint8_t* data, int32_t length);
    void KeepTail(const uint8_t* data, int32_t length);
    int64_t SearchFiltered(const uint8_t* data, size_t size);
    int64_t SearchLowered(const uint8_t* data, size_t size);

    std::vector<uint8_t> FPattern;
    bool FIgnoreCase;
    int64_t FNext = 0;
    // The last (up to count - 1) bytes fed, lower-cased when ignoring case.
    std::vector<uint8_t> FTail;
    // Work area: kept bytes followed by the head of a block, or a lower-cased chunk
    // (at most max(16 KiB, count) + count - 1 bytes).
    std::vector<uint8_t> FWork;
    // The values the first and the last byte of a match may have (both cases of each
    // when ignoring case; the same byte twice otherwise).
    uint8_t FFirstCases[2] = {0, 0};
    uint8_t FLastCases[2] = {0, 0};
    bool FCandidateFilter = false;
    // False when some pattern byte is one that lower-casing never yields.
    bool FMatchable = true;
};

// The same answer as one scanner fed the whole buffer at once, for data in memory:
// the lowest match position (basePosition + index), or -1.
int32_t FindPattern(const uint8_t* data, int32_t length, int32_t basePosition, const uint8_t* pattern,
    int32_t count, bool ignoreCase);
