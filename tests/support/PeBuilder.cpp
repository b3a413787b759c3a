#include "support/PeBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

template <size_t N> void Put(std::array<uint8_t, N>& bytes, uint32_t offset, uint64_t value, int width)
{
    if (width != 1 && width != 2 && width != 4 && width != 8)
        throw std::invalid_argument("PeBuilder: width must be 1, 2, 4 or 8");
    if (offset + static_cast<uint64_t>(width) > N)
        throw std::out_of_range("PeBuilder: field outside its header");
    for (int i = 0; i < width; ++i)
        bytes[offset + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// The real-mode stub every linker puts behind the DOS header.
std::vector<uint8_t> DosStub()
{
    static const char kStub[] = "\x0E\x1F\xBA\x0E\x00\xB4\x09\xCD\x21\xB8\x01\x4C\xCD\x21"
                                "This program cannot be run in DOS mode.\r\r\n$";
    std::vector<uint8_t> stub(64, 0);
    std::memcpy(stub.data(), kStub, sizeof kStub - 1);
    return stub;
}

constexpr uint64_t kMaxNaturalSize = 64ull << 20;

} // namespace

PeSection& PeSection::Name(std::string_view text)
{
    name.fill(0);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), 8), name.begin());
    return *this;
}

PeSection& PeSection::NameBytes(const std::array<uint8_t, 8>& bytes)
{
    name = bytes;
    return *this;
}

PeSection& PeSection::Virtual(uint32_t address, uint32_t size)
{
    virtualAddress = address;
    virtualSize = size;
    return *this;
}

PeSection& PeSection::Raw(uint32_t pointer, uint32_t size)
{
    pointerToRawData = pointer;
    sizeOfRawData = size;
    return *this;
}

PeSection& PeSection::Relocations(uint32_t pointer, uint16_t count)
{
    pointerToRelocations = pointer;
    numberOfRelocations = count;
    return *this;
}

PeSection& PeSection::LineNumbers(uint32_t pointer, uint16_t count)
{
    pointerToLinenumbers = pointer;
    numberOfLinenumbers = count;
    return *this;
}

PeSection& PeSection::Characteristics(uint32_t value)
{
    characteristics = value;
    return *this;
}

PeSection& PeSection::Data(std::vector<uint8_t> bytes)
{
    data = std::move(bytes);
    return *this;
}

PeBuilder::PeBuilder()
    : FStub(DosStub())
{
    FDos[0] = 'M';
    FDos[1] = 'Z';
    Dos(2, 0x90); // bytes on last page
    Dos(4, 3); // pages
    Dos(8, 4); // header paragraphs
    Dos(12, 0xFFFF); // maximum memory
    Dos(16, 0xB8); // stack pointer
    Dos(24, 0x40); // relocation table offset
    PeOffset(0x80);

    Machine(0x014C);
    TimeDateStamp(0);
    SizeOfOptionalHeader(224);
    Characteristics(0x0102);

    Magic(0x010B);
    LinkerVersion(14, 0);
    Optional(20, 0x1000, 4); // base of code
    ImageBase(0x00400000);
    Alignment(0x1000, 0x200);
    Optional(40, 6, 2); // operating system version 6.0
    Optional(48, 6, 2); // subsystem version 6.0
    Optional(56, 0x1000, 4); // size of image
    Optional(60, 0x200, 4); // size of headers
    Optional(68, 3, 2); // console subsystem
    Optional(72, 0x100000, 4);
    Optional(76, 0x1000, 4);
    Optional(80, 0x100000, 4);
    Optional(84, 0x1000, 4);
    Optional(92, 16, 4); // data directory count
}

PeBuilder& PeBuilder::Dos(uint32_t offset, uint32_t value, int width)
{
    Put(FDos, offset, value, width);
    return *this;
}

PeBuilder& PeBuilder::PeOffset(uint32_t offset)
{
    return Dos(60, offset, 4);
}

PeBuilder& PeBuilder::Signature(std::string_view fourBytes)
{
    if (fourBytes.size() != 4)
        throw std::invalid_argument("PeBuilder: the PE signature has four bytes");
    std::copy(fourBytes.begin(), fourBytes.end(), FSignature.begin());
    return *this;
}

PeBuilder& PeBuilder::DosOnly()
{
    FHasPe = false;
    return *this;
}

PeBuilder& PeBuilder::FileHeader(uint32_t offset, uint32_t value, int width)
{
    Put(FFileHeader, offset, value, width);
    return *this;
}

PeBuilder& PeBuilder::SectionCount(uint16_t value)
{
    FSectionCount = value;
    return *this;
}

PeBuilder& PeBuilder::SymbolTable(uint32_t pointer, uint32_t count)
{
    FileHeader(8, pointer, 4);
    return FileHeader(12, count, 4);
}

PeBuilder& PeBuilder::Optional(uint32_t offset, uint64_t value, int width)
{
    Put(FOptional, offset, value, width);
    return *this;
}

PeBuilder& PeBuilder::Pe32Plus()
{
    FPe32Plus = true;
    Machine(0x8664);
    SizeOfOptionalHeader(240);
    Characteristics(0x0022);
    std::fill(FOptional.begin() + 24, FOptional.begin() + 112, uint8_t(0));
    Magic(0x020B);
    ImageBase(0x140000000ull);
    Alignment(0x1000, 0x200);
    Optional(40, 6, 2);
    Optional(48, 6, 2);
    Optional(56, 0x1000, 4);
    Optional(60, 0x200, 4);
    Optional(68, 3, 2);
    Optional(70, 0x8160, 2); // high entropy VA, dynamic base, NX, terminal server aware
    Optional(72, 0x100000, 8);
    Optional(80, 0x1000, 8);
    Optional(88, 0x100000, 8);
    Optional(96, 0x1000, 8);
    return NumberOfRvaAndSizes(16);
}

PeBuilder& PeBuilder::ImageBase(uint64_t value)
{
    if (FPe32Plus)
        return Optional(24, value, 8);
    return Optional(28, value, 4);
}

PeBuilder& PeBuilder::LinkerVersion(uint8_t major, uint8_t minor)
{
    Optional(2, major, 1);
    return Optional(3, minor, 1);
}

PeBuilder& PeBuilder::Alignment(uint32_t section, uint32_t file)
{
    Optional(32, section, 4);
    return Optional(36, file, 4);
}

PeBuilder& PeBuilder::DataDirectory(int index, uint32_t rva, uint32_t size)
{
    if (index < 0 || index >= 16)
        throw std::out_of_range("PeBuilder: data directory index");
    const uint32_t start = FPe32Plus ? 112 : 96;
    Optional(start + 8 * static_cast<uint32_t>(index), rva, 4);
    return Optional(start + 4 + 8 * static_cast<uint32_t>(index), size, 4);
}

PeBuilder& PeBuilder::AddSection(PeSection section)
{
    FSections.push_back(std::move(section));
    return *this;
}

PeBuilder& PeBuilder::Patch(uint64_t offset, std::vector<uint8_t> bytes)
{
    FPatches.push_back({offset, std::move(bytes)});
    return *this;
}

PeBuilder& PeBuilder::PatchLe(uint64_t offset, uint64_t value, int width)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    return Patch(offset, std::move(bytes));
}

PeBuilder& PeBuilder::TruncateTo(uint64_t size)
{
    FSize = size;
    return *this;
}

uint64_t PeBuilder::SectionTableOffset() const
{
    const uint64_t peOffset = ReadLe({FDos.begin(), FDos.end()}, 60, 4);
    const uint64_t optSize = FFileHeader[16] | (FFileHeader[17] << 8);
    return peOffset + 24 + optSize;
}

std::vector<uint8_t> PeBuilder::Build() const
{
    // Everything is laid out as (offset, bytes) pieces first, so that the final size is
    // known before any byte is placed and pieces beyond a truncation cost nothing.
    struct Piece {
        uint64_t offset;
        const uint8_t* data;
        size_t size;
    };
    std::vector<Piece> pieces;
    pieces.push_back({0, FDos.data(), FDos.size()});
    pieces.push_back({FDos.size(), FStub.data(), FStub.size()});

    std::array<uint8_t, 20> fileHeader = FFileHeader;
    const uint16_t count = FSectionCount.value_or(static_cast<uint16_t>(FSections.size()));
    Put(fileHeader, 2, count, 2);

    const uint64_t peOffset = ReadLe({FDos.begin(), FDos.end()}, 60, 4);
    const uint64_t optSize = fileHeader[16] | (fileHeader[17] << 8);
    std::vector<std::array<uint8_t, 40>> headers;
    if (FHasPe) {
        pieces.push_back({peOffset, FSignature.data(), FSignature.size()});
        pieces.push_back({peOffset + 4, fileHeader.data(), fileHeader.size()});
        pieces.push_back({peOffset + 24, FOptional.data(), std::min<size_t>(optSize, FOptional.size())});
        headers.reserve(FSections.size());
        for (size_t i = 0; i < FSections.size(); ++i) {
            const PeSection& s = FSections[i];
            std::array<uint8_t, 40>& h = headers.emplace_back();
            std::copy(s.name.begin(), s.name.end(), h.begin());
            Put(h, 8, s.virtualSize, 4);
            Put(h, 12, s.virtualAddress, 4);
            Put(h, 16, s.sizeOfRawData, 4);
            Put(h, 20, s.pointerToRawData, 4);
            Put(h, 24, s.pointerToRelocations, 4);
            Put(h, 28, s.pointerToLinenumbers, 4);
            Put(h, 32, s.numberOfRelocations, 2);
            Put(h, 34, s.numberOfLinenumbers, 2);
            Put(h, 36, s.characteristics, 4);
            pieces.push_back({peOffset + 24 + optSize + 40 * i, h.data(), h.size()});
        }
        for (const PeSection& s : FSections) {
            if (!s.data.empty())
                pieces.push_back({s.pointerToRawData, s.data.data(), s.data.size()});
        }
    }
    // The PE offset is placed again after the PE headers, so that the image always points
    // where PeOffset() said even when the headers overlap the DOS header.
    pieces.push_back({60, FDos.data() + 60, 4});
    for (const PatchBytes& patch : FPatches)
        pieces.push_back({patch.offset, patch.bytes.data(), patch.bytes.size()});

    uint64_t size = 0;
    if (FSize) {
        size = *FSize;
    } else {
        for (const Piece& piece : pieces)
            size = std::max(size, piece.offset + piece.size);
        if (size > kMaxNaturalSize)
            throw std::length_error("PeBuilder: image would be larger than 64 MiB; use TruncateTo()");
    }

    std::vector<uint8_t> image(size, 0);
    for (const Piece& piece : pieces) {
        if (piece.offset >= size)
            continue;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size, size - piece.offset));
        std::memcpy(image.data() + piece.offset, piece.data, n);
    }
    return image;
}

void PeBuilder::WriteFile(const std::string& path) const
{
    WriteFileBytes(path, Build());
}

uint64_t ReadLe(const std::vector<uint8_t>& bytes, uint64_t offset, int width)
{
    uint64_t value = 0;
    for (int i = width; i-- > 0;) {
        const uint64_t pos = offset + static_cast<uint64_t>(i);
        value = (value << 8) | (pos < bytes.size() ? bytes[pos] : 0);
    }
    return value;
}

uint32_t PlainChecksum(std::vector<uint8_t> bytes, uint64_t fieldPosition)
{
    for (uint64_t b = fieldPosition; b < fieldPosition + 4 && b < bytes.size(); ++b)
        bytes[b] = 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + uint32_t(bytes.size());
}

uint32_t PlainChecksum(const std::vector<uint8_t>& bytes)
{
    return PlainChecksum(bytes, ReadLe(bytes, 60, 4) + 24 + 64);
}

void WriteLe(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value, int width)
{
    if (offset + static_cast<uint64_t>(width) > bytes.size())
        bytes.resize(offset + static_cast<uint64_t>(width), 0);
    for (int i = 0; i < width; ++i)
        bytes[offset + static_cast<uint64_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}
