#pragma once
// Builds PE32 and PE32+ images in memory, so a test states its input in a few lines:
//
//     auto bytes = PeBuilder().EntryPoint(0x1010)
//                      .AddSection(PeSection(".text").Virtual(0x1000, 0x200).Raw(0x400, 0x200))
//                      .TruncateTo(0x180).Build();
//
// Every field can be set to any value, also inconsistent ones; nothing is derived from the
// sections except NumberOfSections (unless SectionCount() overrides it).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One section header plus the raw bytes placed at its PointerToRawData.
struct PeSection {
    PeSection() = default;
    explicit PeSection(std::string_view sectionName) { Name(sectionName); }

    // The 8 name bytes as given: shorter names are padded with zeros, longer ones cut.
    PeSection& Name(std::string_view text);
    PeSection& NameBytes(const std::array<uint8_t, 8>& bytes);
    PeSection& Virtual(uint32_t address, uint32_t size);
    PeSection& Raw(uint32_t pointer, uint32_t size);
    PeSection& Relocations(uint32_t pointer, uint16_t count);
    PeSection& LineNumbers(uint32_t pointer, uint16_t count);
    PeSection& Characteristics(uint32_t value);
    // Bytes written at PointerToRawData (they make the image at least that long).
    PeSection& Data(std::vector<uint8_t> bytes);

    std::array<uint8_t, 8> name{};
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
    uint32_t pointerToRelocations = 0;
    uint32_t pointerToLinenumbers = 0;
    uint16_t numberOfRelocations = 0;
    uint16_t numberOfLinenumbers = 0;
    uint32_t characteristics = 0;
    std::vector<uint8_t> data;
};

class PeBuilder {
public:
    // A minimal plausible PE32 executable: DOS header and stub, PE header at 0x80, i386,
    // a 224-byte optional header, no sections.
    PeBuilder();

    // DOS header (64 bytes), any field by offset and width (1, 2 or 4 bytes).
    PeBuilder& Dos(uint32_t offset, uint32_t value, int width = 2);
    // DOS header offset 60; the PE headers are placed there.
    PeBuilder& PeOffset(uint32_t offset);
    // The four bytes at the PE offset ("PE\0\0" by default).
    PeBuilder& Signature(std::string_view fourBytes);
    // Leave out everything after the DOS header and stub (no PE signature or headers).
    PeBuilder& DosOnly();

    // File header (20 bytes after the signature), any field by offset and width.
    PeBuilder& FileHeader(uint32_t offset, uint32_t value, int width);
    PeBuilder& Machine(uint16_t value) { return FileHeader(0, value, 2); }
    // NumberOfSections written into the file header, independent of the added sections.
    PeBuilder& SectionCount(uint16_t value);
    PeBuilder& TimeDateStamp(uint32_t value) { return FileHeader(4, value, 4); }
    PeBuilder& SymbolTable(uint32_t pointer, uint32_t count);
    // SizeOfOptionalHeader; the section table follows the optional header at this distance.
    PeBuilder& SizeOfOptionalHeader(uint16_t value) { return FileHeader(16, value, 2); }
    PeBuilder& Characteristics(uint16_t value) { return FileHeader(18, value, 2); }

    // Switches to a plausible PE32+ (x64) optional header: magic 0x20B, 240 bytes (112 fixed +
    // 16 data directories), image base 0x140000000, 8-byte stack and heap sizes. Call it first:
    // it rewrites the optional header's fixed part.
    PeBuilder& Pe32Plus();

    // Optional header (up to 240 bytes: 96 or 112 fixed + 16 data directories), any field,
    // width 1, 2, 4 or 8.
    PeBuilder& Optional(uint32_t offset, uint64_t value, int width);
    PeBuilder& Magic(uint16_t value) { return Optional(0, value, 2); }
    PeBuilder& LinkerVersion(uint8_t major, uint8_t minor);
    PeBuilder& EntryPoint(uint32_t rva) { return Optional(16, rva, 4); }
    // 4 bytes at 28 for PE32, 8 bytes at 24 for PE32+.
    PeBuilder& ImageBase(uint64_t value);
    PeBuilder& Alignment(uint32_t section, uint32_t file);
    PeBuilder& NumberOfRvaAndSizes(uint32_t value) { return Optional(FPe32Plus ? 108 : 92, value, 4); }
    // Entry index of the directories after the fixed part (96 for PE32, 112 for PE32+).
    PeBuilder& DataDirectory(int index, uint32_t rva, uint32_t size);

    PeBuilder& AddSection(PeSection section);

    // Raw bytes written over the built image last (the image grows to hold them).
    PeBuilder& Patch(uint64_t offset, std::vector<uint8_t> bytes);
    PeBuilder& PatchLe(uint64_t offset, uint64_t value, int width);
    // The image is cut to (or padded with zeros to) exactly size bytes.
    PeBuilder& TruncateTo(uint64_t size);

    // Where the section table starts with the current settings.
    uint64_t SectionTableOffset() const;
    std::vector<uint8_t> Build() const;
    // Builds and writes the image to path; throws std::runtime_error on failure.
    void WriteFile(const std::string& path) const;

private:
    std::array<uint8_t, 64> FDos{};
    std::vector<uint8_t> FStub;
    bool FHasPe = true;
    std::array<uint8_t, 4> FSignature{'P', 'E', 0, 0};
    std::array<uint8_t, 20> FFileHeader{};
    std::array<uint8_t, 240> FOptional{};
    bool FPe32Plus = false;
    std::optional<uint16_t> FSectionCount;
    std::vector<PeSection> FSections;
    struct PatchBytes {
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<PatchBytes> FPatches;
    std::optional<uint64_t> FSize;
};

// Little-endian helpers for test expectations.
uint64_t ReadLe(const std::vector<uint8_t>& bytes, uint64_t offset, int width);
void WriteLe(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value, int width);

// The checksum as the format describes it, one word at a time with the carry folded each
// step: an independent reading for the tests of the fast one. The 4 bytes at fieldPosition
// count as 0; without a position, the CheckSum field the image's PE offset gives.
uint32_t PlainChecksum(std::vector<uint8_t> bytes, uint64_t fieldPosition);
uint32_t PlainChecksum(const std::vector<uint8_t>& bytes);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
