#pragma once
// Where an RVA lies in the file, by the loader's rules as common parsers apply them, and a
// reader that never reaches outside the file. Every decoder, the window and the command line
// map through ImageMap, so they agree on every offset they show.
#include "base/ByteIo.h"
#include "header/ImageReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ImageMap {
public:
    ImageMap(const ByteReader& file, const ImageHeaders& headers);

    // The file offset of an RVA: inside a section's file-backed part (raw pointer aligned down
    // to 512 when FileAlignment is at least 512; the raw size capped by the virtual size
    // rounded up to SectionAlignment and by the next section's start), or the RVA itself when
    // no section holds it and it lies inside the file (the headers are mapped as they are).
    // Nothing for an RVA that the file does not back.
    std::optional<uint64_t> OffsetOf(uint32_t rva) const;

    // Bounded reads: false (and nothing read) unless all count bytes lie inside the file.
    bool Read(uint64_t offset, void* buffer, size_t count) const;
    std::optional<uint16_t> U16(uint64_t offset) const;
    std::optional<uint32_t> U32(uint64_t offset) const;
    std::optional<uint64_t> U64(uint64_t offset) const;
    // A zero-terminated string of at most maxLength bytes; terminated says whether the zero
    // was found within that length and the file. All strings read through one map together scan
    // at most a few times the file's size (then they read as empty and unterminated), so many
    // entries naming one long string cost no more than the file; each is charged the bytes it
    // scanned, so a small file may still name many short strings.
    std::string CString(uint64_t offset, size_t maxLength, bool* terminated = nullptr) const;

    uint64_t FileSize() const { return FFileSize; }
    const ByteReader& File() const { return FFile; }
    const ImageHeaders& Headers() const { return FHeaders; }
    bool Is64() const { return FHeaders.layout == OptionalLayout::Pe32Plus; }
    uint64_t ImageBase() const { return FImageBase; }
    uint16_t Machine() const { return FMachine; }
    // Directory entry i (0 RVA and size when the header does not show it).
    uint32_t DirectoryRva(int entry) const;
    uint32_t DirectorySize(int entry) const;
    // The file offset of directory entry i's 8 bytes in the optional header.
    uint64_t DirectoryEntryOffset(int entry) const;

    // Where the raw data of the sections (and the headers) ends, within the file.
    uint64_t RawDataEnd() const;

private:
    struct Span {
        uint32_t virtualStart;
        uint32_t virtualSize; // the part the file backs
        uint32_t rawStart;
    };
    const ByteReader& FFile;
    const uint8_t* FBytes; // the file in memory, when the reader has it so
    const ImageHeaders& FHeaders;
    uint64_t FFileSize;
    uint64_t FImageBase = 0;
    uint16_t FMachine = 0;
    uint32_t FSectionAlignment = 0;
    uint32_t FFileAlignment = 0;
    mutable uint64_t FStringBudget;
    std::vector<Span> FSpans; // in table order: the first that holds an RVA wins
};

// Reads a file through a few cached blocks: the decoders' many small reads of a file that is
// not in memory cost a system call per block, not per field.
class BlockCachedReader : public ByteReader {
public:
    explicit BlockCachedReader(const ByteReader& file);
    uint64_t Size() const override { return FSize; }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override;

private:
    static constexpr size_t kBlockSize = 64 << 10;
    static constexpr size_t kBlocks = 8;
    struct Block {
        uint64_t start = ~uint64_t(0);
        size_t size = 0;
        std::vector<uint8_t> bytes;
    };
    const ByteReader& FFile;
    uint64_t FSize;
    mutable Block FBlocks[kBlocks];
    mutable size_t FNext = 0; // the block replaced next
};

// "0x1A2B" (upper-case hexadecimal), as anomalies name offsets.
std::string HexOffset(uint64_t value);
