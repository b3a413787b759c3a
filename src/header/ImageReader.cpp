#include "header/ImageReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads width bytes little-endian at pos. Bytes past the end of the image read as 0, so a
// field never shows bytes of another field.
uint64_t ReadLe(const ByteReader& image, uint64_t pos, unsigned width)
{
    uint8_t bytes[8] = {};
    size_t got = image.ReadAt(pos, bytes, width);
    if (got < width)
        std::memset(bytes + got, 0, width - got);
    uint64_t value = 0;
    for (unsigned i = width; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

// The size test for the PE offset: the offset must be at least 5 and no more than size + 4.
// Done in 64 bits so that a file of 4 GiB or more is not judged by its size modulo 2^32.
bool PeOffsetPlausible(uint32_t peOffset, uint64_t size)
{
    return peOffset >= 5 && peOffset - 5u < size;
}

// The section rows and names, and which section holds the entry point (and so its file offset).
void ReadSectionTable(const ByteReader& image, ImageHeaders& result)
{
    const auto entryPoint
        = static_cast<uint32_t>(result.values[static_cast<size_t>(HeaderIndex(FieldId::EntryPoint))]);
    result.sections.resize(result.sectionCount);
    for (uint32_t s = 0; s < result.sectionCount; ++s) {
        SectionValues& section = result.sections[s];
        const uint32_t headerPos = result.peOffset + 24u + result.optHeaderSize + kSectionHeaderSize * s;

        char name[8] = {};
        size_t got = image.ReadAt(headerPos, name, sizeof name);
        section.name.assign(name, strnlen(name, got));
        section.rawName = ReadLe(image, headerPos, kSectionNameBytes);

        for (int r = 0; r < kSectionRowCount; ++r) {
            const HeaderField& field = SectionFields()[static_cast<size_t>(r)];
            section.rows[static_cast<size_t>(r)] = static_cast<uint32_t>(
                ReadLe(image, FieldPosition(field, result.peOffset, result.optHeaderSize, s), field.width));
        }

        const uint32_t virtualSize = section.rows[0];
        const uint32_t virtualAddress = section.rows[1];
        const uint32_t rawPointer = section.rows[3];
        // The end wraps in 32 bits, as the loader's own arithmetic would.
        if (virtualAddress <= entryPoint && entryPoint < uint32_t(virtualAddress + virtualSize)) {
            section.holdsEntryPoint = true;
            result.entryPointFound = true;
            result.entryPointFileOffset = entryPoint - virtualAddress + rawPointer; // the later section wins
        }
    }
    if (!result.entryPointFound)
        result.entryPointFileOffset = entryPoint;
}

} // namespace

ImageHeaders ReadImageHeaders(const ByteReader& image)
{
    ImageHeaders result;
    result.fileSize = image.Size();

    if (ReadLe(image, 0, 1) != 'M' || ReadLe(image, 1, 1) != 'Z')
        return result; // NotMz

    for (int i = 0; i < kDosFieldCount; ++i) {
        const HeaderField& field = HeaderFields()[static_cast<size_t>(i)];
        result.values[static_cast<size_t>(i)] = ReadLe(image, field.offset, field.width);
    }

    for (size_t i = 0; i < result.dosExtra.size(); ++i) {
        const HeaderField& field = DosExtraFields()[i];
        result.dosExtra[i] = ReadLe(image, field.offset, field.width);
    }

    result.peOffset = static_cast<uint32_t>(ReadLe(image, 60, 4));
    result.kind = ImageKind::DosOnly;
    if (!PeOffsetPlausible(result.peOffset, result.fileSize))
        return result;
    // Fewer than two bytes read leave zeros, which never match "PE".
    if (ReadLe(image, result.peOffset, 1) != 'P' || ReadLe(image, uint64_t(result.peOffset) + 1, 1) != 'E')
        return result;

    result.sectionCount = static_cast<uint16_t>(ReadLe(image, uint32_t(result.peOffset + 6u), 2));
    if (result.sectionCount > kMaxSections) {
        result.kind = ImageKind::TooManySections;
        return result;
    }
    result.kind = ImageKind::Pe;

    constexpr auto sizeOptIndex = static_cast<size_t>(HeaderIndex(FieldId::SizeOptHd));
    constexpr auto magicIndex = static_cast<size_t>(HeaderIndex(FieldId::Magic));
    for (int i = kDosFieldCount; i < kHeaderFieldCount; ++i) {
        // The magic (the first optional row, the same in both layouts) chooses the layout of
        // the rows after it. OptHeaderSize is only known once its row is read; the file and
        // optional rows do not depend on it.
        const HeaderField& field = HeaderFields(result.layout)[static_cast<size_t>(i)];
        if (field.Present())
            result.values[static_cast<size_t>(i)]
                = ReadLe(image, FieldPosition(field, result.peOffset, 0), field.width);
        if (static_cast<size_t>(i) == sizeOptIndex)
            result.optHeaderSize = static_cast<uint16_t>(result.values[sizeOptIndex]);
        if (static_cast<size_t>(i) == magicIndex)
            result.layout = LayoutForMagic(result.values[magicIndex]);
    }

    constexpr auto rvaIndex = static_cast<size_t>(HeaderIndex(FieldId::Rva));
    const uint64_t rvaCount = result.values[rvaIndex];
    result.directoryEntries = DataDirectoryEntriesShown(result.layout, rvaCount, result.optHeaderSize);
    const auto directoryFields = DataDirectoryFields(result.layout);
    for (int i = 0; i < 2 * result.directoryEntries; ++i) {
        const HeaderField& field = directoryFields[static_cast<size_t>(i)];
        result.directories[static_cast<size_t>(i)]
            = static_cast<uint32_t>(ReadLe(image, FieldPosition(field, result.peOffset, 0), field.width));
    }

    ReadSectionTable(image, result);
    return result;
}

uint64_t HeadersEnd(const ImageHeaders& headers)
{
    constexpr uint64_t kDosHeaderSize = 64;
    if (headers.kind != ImageKind::Pe)
        return kDosHeaderSize;
    // 64-bit sums: a PE offset near 4 GiB does not wrap here, so a short file is always seen.
    const uint64_t optional = uint64_t(headers.peOffset) + 24u;
    const uint64_t fixedEnd = optional + OptionalFixedSize(headers.layout);
    const uint64_t directoriesEnd = fixedEnd + 8u * uint64_t(headers.directoryEntries);
    const uint64_t sectionsEnd
        = optional + headers.optHeaderSize + uint64_t(kSectionHeaderSize) * headers.sectionCount;
    return std::max({kDosHeaderSize, fixedEnd, directoriesEnd, sectionsEnd});
}
