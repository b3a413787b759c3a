#pragma once
// The PE image checksum: the 16-bit one's-complement sum of the file's little-endian 16-bit
// words (an odd last byte is a word with high byte 0), the 4 bytes of the CheckSum field
// counted as 0, folded to 16 bits, plus the file's length, as a 32-bit value.
#include "base/ByteIo.h"

#include <cstddef>
#include <cstdint>

// The one's-complement sum of count bytes taken as little-endian 16-bit words from an even
// offset (an odd last byte is a word with high byte 0), not yet folded: any value congruent
// to the sum modulo 0xFFFF, and 0 only when every word is 0.
uint64_t OnesComplementSum(const uint8_t* bytes, size_t count);

// The ways the sum can be taken; OnesComplementSum uses the fastest the processor has. Each
// gives the same folded result (tests compare them with the plain word-by-word sum).
enum class SumKernel { Portable, Sse2, Avx2 };
bool SumKernelAvailable(SumKernel kernel);
SumKernel BestSumKernel();
uint64_t OnesComplementSum(SumKernel kernel, const uint8_t* bytes, size_t count);

// Folds a sum to 16 bits with end-around carries.
uint16_t FoldOnesComplement(uint64_t sum);

// The checksum of the whole image; the 4 bytes at fieldPosition count as 0 (as far as the
// image has them). Maps a big file (a FileStream), else reads it front to back in large blocks.
uint32_t PeChecksum(const ByteReader& image, uint64_t fieldPosition);
// The same for an image held in memory, without copying it.
uint32_t PeChecksum(const uint8_t* image, uint64_t size, uint64_t fieldPosition);

// The CheckSum field as stored in the file and the checksum the file has, as the window shows
// them beside EdCheckSum. Bytes of the field past the end of the file read as 0.
struct ImageChecksum {
    uint32_t stored = 0;
    uint32_t computed = 0;
    bool Matches() const { return stored == computed; }
};
ImageChecksum ReadImageChecksum(const ByteReader& image, uint32_t peOffset);
ImageChecksum ReadImageChecksum(const uint8_t* image, uint64_t size, uint32_t peOffset);
