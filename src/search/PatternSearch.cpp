#include "search/PatternSearch.h"

#include "search/Translation.h"

#include <algorithm>
#include <cstring>
#include <functional>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KORVEX_SCAN_X86 1
#endif

namespace {

// Bytes lower-cased per step when ignoring case: small enough to stay in the first
// level cache together with the pattern's shift table, large enough that the per-call
// set-up of the search is lost in the noise.
constexpr int32_t kFoldChunk = 16 * 1024;

// Lowest index at which needle occurs in haystack, or -1.
int64_t SearchBytes(const uint8_t* haystack, size_t length, const uint8_t* needle, size_t count)
{
    if (count > length)
        return -1;
#if defined(__GLIBC__)
    const void* hit = memmem(haystack, length, needle, count);
    return hit ? static_cast<const uint8_t*>(hit) - haystack : -1;
#else
    const uint8_t* end = haystack + length;
    const uint8_t* hit = std::search(
        haystack, end, std::boyer_moore_horspool_searcher<const uint8_t*>(needle, needle + count));
    return hit != end ? hit - haystack : -1;
#endif
}

// Lowest index in [from, limit) at which the first byte is one of first[0..1] and the byte
// count - 1 further on is one of last[0..1]; limit when there is none. The caller keeps
// limit + count - 1 <= the data size.
using CandidateFinder = size_t (*)(
    const uint8_t* data, size_t from, size_t limit, size_t count, const uint8_t* first, const uint8_t* last);

size_t NextCandidateScalar(
    const uint8_t* data, size_t from, size_t limit, size_t count, const uint8_t* first, const uint8_t* last)
{
    for (size_t i = from; i < limit; ++i) {
        const uint8_t x = data[i];
        const uint8_t y = data[i + count - 1];
        if ((x == first[0] || x == first[1]) && (y == last[0] || y == last[1]))
            return i;
    }
    return limit;
}

#if KORVEX_SCAN_X86
size_t NextCandidateSse2(
    const uint8_t* data, size_t from, size_t limit, size_t count, const uint8_t* first, const uint8_t* last)
{
    const __m128i f0 = _mm_set1_epi8(static_cast<char>(first[0]));
    const __m128i f1 = _mm_set1_epi8(static_cast<char>(first[1]));
    const __m128i l0 = _mm_set1_epi8(static_cast<char>(last[0]));
    const __m128i l1 = _mm_set1_epi8(static_cast<char>(last[1]));
    size_t i = from;
    for (; i + 16 <= limit; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + count - 1));
        const __m128i hit = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(x, f0), _mm_cmpeq_epi8(x, f1)),
            _mm_or_si128(_mm_cmpeq_epi8(y, l0), _mm_cmpeq_epi8(y, l1)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0)
            return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    return NextCandidateScalar(data, i, limit, count, first, last);
}

__attribute__((target("avx2"))) size_t NextCandidateAvx2(
    const uint8_t* data, size_t from, size_t limit, size_t count, const uint8_t* first, const uint8_t* last)
{
    const __m256i f0 = _mm256_set1_epi8(static_cast<char>(first[0]));
    const __m256i f1 = _mm256_set1_epi8(static_cast<char>(first[1]));
    const __m256i l0 = _mm256_set1_epi8(static_cast<char>(last[0]));
    const __m256i l1 = _mm256_set1_epi8(static_cast<char>(last[1]));
    size_t i = from;
    for (; i + 32 <= limit; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + count - 1));
        const __m256i hit
            = _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(x, f0), _mm256_cmpeq_epi8(x, f1)),
                _mm256_or_si256(_mm256_cmpeq_epi8(y, l0), _mm256_cmpeq_epi8(y, l1)));
        const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
        if (mask != 0)
            return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    return NextCandidateSse2(data, i, limit, count, first, last);
}
#endif

CandidateFinder ChooseCandidateFinder()
{
#if KORVEX_SCAN_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return NextCandidateAvx2;
    return NextCandidateSse2;
#else
    return NextCandidateScalar;
#endif
}

const CandidateFinder kNextCandidate = ChooseCandidateFinder();

// The bytes that lower-case to v, as a pair (the same byte twice when there is one).
// Answers false when no byte does, or when more than two do (the Windows-1252 rules never
// give more; the scanner then lower-cases whole chunks instead).
bool CasePair(uint8_t v, uint8_t pair[2])
{
    int found = 0;
    for (int c = 0; c < 256; ++c) {
        if (AnsiLowerChar(static_cast<uint8_t>(c)) != v)
            continue;
        if (found == 2)
            return false;
        pair[found++] = static_cast<uint8_t>(c);
    }
    if (found == 1)
        pair[1] = pair[0];
    return found > 0;
}

} // namespace

PatternScanner::PatternScanner(const uint8_t* pattern, int32_t count, bool ignoreCase)
    : FIgnoreCase(ignoreCase)
{
    if (count > 0)
        FPattern.assign(pattern, pattern + count);
    FTail.reserve(FPattern.empty() ? 0 : FPattern.size() - 1);
    if (count <= 0)
        return;
    if (!ignoreCase) {
        FFirstCases[0] = FFirstCases[1] = FPattern.front();
        FLastCases[0] = FLastCases[1] = FPattern.back();
        FCandidateFilter = true;
        return;
    }
    // Lower-casing yields exactly the bytes that are their own lower case; a pattern
    // holding any other byte can never match.
    for (const uint8_t b : FPattern)
        FMatchable = FMatchable && AnsiLowerChar(b) == b;
    FCandidateFilter = CasePair(FPattern.front(), FFirstCases) && CasePair(FPattern.back(), FLastCases);
}

void PatternScanner::Reset(int32_t position)
{
    FNext = position;
    FTail.clear();
}

int32_t PatternScanner::Feed(const uint8_t* data, int32_t length)
{
    if (length <= 0)
        return -1;
    int32_t result = -1;
    if (!FPattern.empty()) {
        result = ScanBoundary(data, length);
        if (result < 0)
            result = ScanBody(data, length);
        KeepTail(data, length);
    }
    FNext += length;
    return result;
}

// Alignments that start in the kept bytes and end in this block. Only the first
// count - 1 bytes of the block can take part, so the work area stays pattern-sized.
int32_t PatternScanner::ScanBoundary(const uint8_t* data, int32_t length)
{
    if (FTail.empty())
        return -1;
    const size_t count = FPattern.size();
    const size_t head = std::min(static_cast<size_t>(length), count - 1);
    FWork.resize(FTail.size() + head);
    std::memcpy(FWork.data(), FTail.data(), FTail.size());
    if (FIgnoreCase)
        AnsiLowerCopy(data, FWork.data() + FTail.size(), static_cast<int32_t>(head));
    else
        std::memcpy(FWork.data() + FTail.size(), data, head);
    // Every match in the work area starts in the kept bytes: one that started in the
    // block would need count bytes of it.
    const int64_t hit = SearchBytes(FWork.data(), FWork.size(), FPattern.data(), count);
    if (hit < 0)
        return -1;
    return static_cast<int32_t>(FNext - static_cast<int64_t>(FTail.size()) + hit);
}

// Alignments that lie wholly inside the block.
int32_t PatternScanner::ScanBody(const uint8_t* data, int32_t length)
{
    const size_t count = FPattern.size();
    const size_t size = static_cast<size_t>(length);
    if (size < count)
        return -1;
    int64_t hit;
    if (!FMatchable)
        hit = -1;
    else if (FCandidateFilter)
        hit = SearchFiltered(data, size);
    else
        hit = SearchLowered(data, size);
    return hit < 0 ? -1 : static_cast<int32_t>(FNext + hit);
}

// Candidates are the positions whose first and last bytes fit the pattern's (one vector
// pass; when ignoring case it looks for both cases of each); only those get the bytes
// between compared. Data that keeps producing false candidates (long runs of the
// pattern's own bytes) is handed to memmem, which stays linear in the worst case.
int64_t PatternScanner::SearchFiltered(const uint8_t* data, size_t size)
{
    const size_t count = FPattern.size();
    const size_t limit = size - count + 1;
    const uint8_t* pattern = FPattern.data();
    size_t work = 0;
    for (size_t i = 0;; ++i) {
        i = kNextCandidate(data, i, limit, count, FFirstCases, FLastCases);
        if (i >= limit)
            return -1;
        size_t k = 1;
        if (FIgnoreCase) {
            while (k + 1 < count && AnsiLowerChar(data[i + k]) == pattern[k])
                ++k;
        } else if (count > 2) {
            k = std::memcmp(data + i + 1, pattern + 1, count - 2) == 0 ? count - 1 : count / 2;
        }
        if (k + 1 >= count)
            return static_cast<int64_t>(i);
        work += k + 16;
        if (work > i + 16384) {
            const size_t rest = i + 1;
            const int64_t hit = FIgnoreCase ? SearchLowered(data + rest, size - rest)
                                            : SearchBytes(data + rest, size - rest, pattern, count);
            return hit < 0 ? -1 : static_cast<int64_t>(rest) + hit;
        }
    }
}

// Ignoring case, without the candidate filter: lower-case a chunk at a time into the work area and search it
// there. Consecutive chunks overlap by count - 1 bytes so that every alignment is seen whole.
int64_t PatternScanner::SearchLowered(const uint8_t* data, size_t size)
{
    const size_t count = FPattern.size();
    const size_t step = std::max(static_cast<size_t>(kFoldChunk), count);
    FWork.resize(step + count - 1);
    for (size_t offset = 0; offset + count <= size; offset += step) {
        const size_t chunk = std::min(size - offset, step + count - 1);
        AnsiLowerCopy(data + offset, FWork.data(), static_cast<int32_t>(chunk));
        const int64_t hit = SearchBytes(FWork.data(), chunk, FPattern.data(), count);
        if (hit >= 0)
            return static_cast<int64_t>(offset) + hit;
    }
    return -1;
}

// Keeps the last count - 1 bytes fed so far (lower-cased when ignoring case).
void PatternScanner::KeepTail(const uint8_t* data, int32_t length)
{
    const size_t keep = FPattern.size() - 1;
    const size_t size = static_cast<size_t>(length);
    if (keep == 0)
        return;
    if (size >= keep) {
        FTail.resize(keep);
        if (FIgnoreCase)
            AnsiLowerCopy(data + size - keep, FTail.data(), static_cast<int32_t>(keep));
        else
            std::memcpy(FTail.data(), data + size - keep, keep);
        return;
    }
    const size_t old = FTail.size();
    const size_t drop = old + size > keep ? old + size - keep : 0;
    FTail.erase(FTail.begin(), FTail.begin() + static_cast<std::ptrdiff_t>(drop));
    const size_t at = FTail.size();
    FTail.resize(at + size);
    if (FIgnoreCase)
        AnsiLowerCopy(data, FTail.data() + at, length);
    else
        std::memcpy(FTail.data() + at, data, size);
}

int32_t FindPattern(const uint8_t* data, int32_t length, int32_t basePosition, const uint8_t* pattern,
    int32_t count, bool ignoreCase)
{
    PatternScanner scanner(pattern, count, ignoreCase);
    scanner.Reset(basePosition);
    return scanner.Feed(data, length);
}
