#include "header/Checksum.h"

#include "header/FieldTable.h"

#include "base/FileStream.h"
#include "base/MappedFile.h"

#include <algorithm>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KORVEX_X86 1
#endif

namespace {

// Since 2^16 = 1 modulo 0xFFFF, a little-endian 32-bit dword is congruent to the sum of its two
// 16-bit words: adding whole dwords (or qwords) into wide accumulators and folding once at the
// end gives the one's-complement sum of the words without a carry per word.

// Bytes summed between folds: keeps every 64-bit lane far from overflowing, whatever the count.
constexpr size_t kChunk = size_t(1) << 24;

uint64_t WordsSum(const uint8_t* bytes, size_t count)
{
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 2 <= count; i += 2)
        sum += uint64_t(bytes[i]) | (uint64_t(bytes[i + 1]) << 8);
    if (i < count)
        sum += bytes[i]; // an odd last byte is a word with high byte 0
    return sum;
}

#ifdef KORVEX_X86
// 64 bytes a round: each 32-bit lane is widened into a 64-bit accumulator lane.
uint64_t Sse2Sum(const uint8_t* bytes, size_t count, size_t& done)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
    size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 48));
        acc0 = _mm_add_epi64(acc0, _mm_unpacklo_epi32(a, zero));
        acc1 = _mm_add_epi64(acc1, _mm_unpackhi_epi32(a, zero));
        acc2 = _mm_add_epi64(acc2, _mm_unpacklo_epi32(b, zero));
        acc3 = _mm_add_epi64(acc3, _mm_unpackhi_epi32(b, zero));
        acc0 = _mm_add_epi64(acc0, _mm_unpacklo_epi32(c, zero));
        acc1 = _mm_add_epi64(acc1, _mm_unpackhi_epi32(c, zero));
        acc2 = _mm_add_epi64(acc2, _mm_unpacklo_epi32(d, zero));
        acc3 = _mm_add_epi64(acc3, _mm_unpackhi_epi32(d, zero));
    }
    done = i;
    const __m128i all = _mm_add_epi64(_mm_add_epi64(acc0, acc1), _mm_add_epi64(acc2, acc3));
    alignas(16) uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), all);
    return lanes[0] + lanes[1];
}

// The same with 256-bit registers, 128 bytes a round.
__attribute__((target("avx2"))) uint64_t Avx2Sum(const uint8_t* bytes, size_t count, size_t& done)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
    size_t i = 0;
    for (; i + 128 <= count; i += 128) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 64));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 96));
        acc0 = _mm256_add_epi64(acc0, _mm256_unpacklo_epi32(a, zero));
        acc1 = _mm256_add_epi64(acc1, _mm256_unpackhi_epi32(a, zero));
        acc2 = _mm256_add_epi64(acc2, _mm256_unpacklo_epi32(b, zero));
        acc3 = _mm256_add_epi64(acc3, _mm256_unpackhi_epi32(b, zero));
        acc0 = _mm256_add_epi64(acc0, _mm256_unpacklo_epi32(c, zero));
        acc1 = _mm256_add_epi64(acc1, _mm256_unpackhi_epi32(c, zero));
        acc2 = _mm256_add_epi64(acc2, _mm256_unpacklo_epi32(d, zero));
        acc3 = _mm256_add_epi64(acc3, _mm256_unpackhi_epi32(d, zero));
    }
    done = i;
    const __m256i all = _mm256_add_epi64(_mm256_add_epi64(acc0, acc1), _mm256_add_epi64(acc2, acc3));
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), all);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// Four 64-bit lanes with the carry of each qword added back (end-around), for machines
// without the vector paths above; still no per-word work.
uint64_t QwordSum(const uint8_t* bytes, size_t count, size_t& done)
{
    uint64_t lanes[4] = {};
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        for (int l = 0; l < 4; ++l) {
            uint64_t q = 0;
            for (int b = 0; b < 8; ++b)
                q |= uint64_t(bytes[i + 8 * size_t(l) + size_t(b)]) << (8 * b);
            const uint64_t before = lanes[l];
            lanes[l] += q;
            lanes[l] += lanes[l] < before; // 2^64 = 1 modulo 0xFFFF
        }
    }
    done = i;
    uint64_t sum = 0;
    for (uint64_t lane : lanes)
        sum += FoldOnesComplement(lane);
    return sum;
}

uint64_t ChunkSum(SumKernel kernel, const uint8_t* bytes, size_t count)
{
    size_t done = 0;
    uint64_t sum = 0;
    switch (kernel) {
#ifdef KORVEX_X86
    case SumKernel::Avx2:
        sum = Avx2Sum(bytes, count, done);
        break;
    case SumKernel::Sse2:
        sum = Sse2Sum(bytes, count, done);
        break;
#endif
    default:
        sum = QwordSum(bytes, count, done);
        break;
    }
    return FoldOnesComplement(sum) + WordsSum(bytes + done, count - done);
}

} // namespace

bool SumKernelAvailable(SumKernel kernel)
{
    switch (kernel) {
    case SumKernel::Portable:
        return true;
#ifdef KORVEX_X86
    case SumKernel::Sse2:
        return true;
    case SumKernel::Avx2:
        return HasAvx2();
#endif
    default:
        return false;
    }
}

SumKernel BestSumKernel()
{
    static const SumKernel best = SumKernelAvailable(SumKernel::Avx2) ? SumKernel::Avx2
        : SumKernelAvailable(SumKernel::Sse2)                         ? SumKernel::Sse2
                                                                      : SumKernel::Portable;
    return best;
}

uint64_t OnesComplementSum(SumKernel kernel, const uint8_t* bytes, size_t count)
{
    if (!SumKernelAvailable(kernel))
        kernel = SumKernel::Portable;
    uint64_t sum = 0;
    for (size_t start = 0; start < count; start += kChunk)
        sum += FoldOnesComplement(ChunkSum(kernel, bytes + start, std::min(kChunk, count - start)));
    return sum;
}

uint16_t FoldOnesComplement(uint64_t sum)
{
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

uint64_t OnesComplementSum(const uint8_t* bytes, size_t count)
{
    return OnesComplementSum(BestSumKernel(), bytes, count);
}

uint32_t PeChecksum(const ByteReader& image, uint64_t fieldPosition)
{
    // A file of some size is summed through a mapping: reading would copy every byte first, and
    // the copy costs more than the sum. A file cut meanwhile is summed again, read as it is now.
    constexpr uint64_t kMapFrom = uint64_t(1) << 20;
    if (const auto* file = dynamic_cast<const FileStream*>(&image)) {
        const uint64_t size = file->Size();
        if (size >= kMapFrom) {
            const MappedFile mapped(file->Handle(), size);
            if (mapped.Data()) {
                const uint32_t sum = PeChecksum(mapped.Data(), size, fieldPosition);
                if (!mapped.Shrank())
                    return sum;
            }
        }
    }
    // Blocks small enough to stay in the processor's cache between the read and the sum.
    constexpr size_t kBlock = size_t(256) << 10;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kBlock]);
    const uint64_t size = image.Size();
    uint64_t sum = 0;
    uint64_t length = 0;
    while (length < size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock, size - length));
        const size_t got = image.ReadAt(length, buffer.get(), want);
        // The CheckSum field counts as 0, wherever the block boundaries fall.
        for (uint64_t b = fieldPosition; b < fieldPosition + 4; ++b) {
            if (b >= length && b < length + got)
                buffer[b - length] = 0;
        }
        sum += FoldOnesComplement(OnesComplementSum(buffer.get(), got));
        length += got;
        if (got < want)
            break; // the file ended early: it is summed as far as it goes
    }
    return uint32_t(FoldOnesComplement(sum)) + static_cast<uint32_t>(length);
}

uint32_t PeChecksum(const uint8_t* image, uint64_t size, uint64_t fieldPosition)
{
    // Three runs, each from an even offset: up to the word that holds the field's first byte,
    // an 8-byte window over the field with the field zeroed, and the rest.
    const uint64_t windowStart = std::min<uint64_t>(fieldPosition & ~uint64_t(1), size);
    const uint64_t windowEnd = std::min<uint64_t>(windowStart + 8, size);
    uint8_t window[8] = {};
    std::copy(image + windowStart, image + windowEnd, window);
    for (uint64_t b = fieldPosition; b < fieldPosition + 4; ++b) {
        if (b >= windowStart && b < windowEnd)
            window[b - windowStart] = 0;
    }
    const uint64_t sum = FoldOnesComplement(OnesComplementSum(image, static_cast<size_t>(windowStart)))
        + FoldOnesComplement(OnesComplementSum(window, static_cast<size_t>(windowEnd - windowStart)))
        + FoldOnesComplement(OnesComplementSum(image + windowEnd, static_cast<size_t>(size - windowEnd)));
    return uint32_t(FoldOnesComplement(sum)) + static_cast<uint32_t>(size);
}

namespace {

uint32_t StoredChecksum(const uint8_t* bytes, size_t got)
{
    uint32_t stored = 0;
    for (size_t b = got; b-- > 0;)
        stored = (stored << 8) | bytes[b];
    return stored;
}

} // namespace

ImageChecksum ReadImageChecksum(const ByteReader& image, uint32_t peOffset)
{
    ImageChecksum result;
    const uint64_t position = CheckSumPosition(peOffset);
    uint8_t stored[4] = {};
    result.stored = StoredChecksum(stored, image.ReadAt(position, stored, sizeof stored));
    result.computed = PeChecksum(image, position);
    return result;
}

ImageChecksum ReadImageChecksum(const uint8_t* image, uint64_t size, uint32_t peOffset)
{
    ImageChecksum result;
    const uint64_t position = CheckSumPosition(peOffset);
    result.stored = position < size
        ? StoredChecksum(image + position, static_cast<size_t>(std::min<uint64_t>(4, size - position)))
        : 0;
    result.computed = PeChecksum(image, size, position);
    return result;
}
