#include "header/FieldTable.h"

#include <array>

namespace {

using S = HeaderStructure;
using P = FieldPage;
using C = ValueClass;

constexpr HeaderField Row(std::string_view box, std::string_view caption, HeaderStructure structure,
    uint32_t offset, uint8_t width, FieldPage page, ValueClass valueClass)
{
    uint8_t maxLength = width == 1 ? 3 : width == 2 ? 5 : 10;
    uint8_t parseBits = valueClass == ValueClass::Dword ? 64 : 32;
    return HeaderField{box, caption, structure, offset, width, maxLength, page, valueClass, parseBits};
}

// Section rows are all shown as dwords with ten characters, but the 2-byte rows 6 and 7
// are parsed at 32 bits when saved.
constexpr HeaderField SectionRow(std::string_view caption, uint32_t offset, uint8_t width)
{
    return HeaderField{{}, caption, S::Section, offset, width, 10, P::SectionPage, C::Dword,
        static_cast<uint8_t>(width == 2 ? 32 : 64)};
}

constexpr std::array<HeaderField, kHeaderFieldCount> kHeaderFields{{
    Row("EdLastPage", "Bytes On Last Page:", S::Dos, 2, 2, P::TabMZ, C::Word),
    Row("EdPages", "Pages In File:", S::Dos, 4, 2, P::TabMZ, C::Word),
    Row("EdSizeHd", "Size Of Header:", S::Dos, 8, 2, P::TabMZ, C::Word),
    Row("EdMinRam", "Minimum Ram Needed:", S::Dos, 10, 2, P::TabMZ, C::Word),
    Row("EdMaxRam", "Maximum Ram Needed:", S::Dos, 12, 2, P::TabMZ, C::Word),
    Row("Ed_SS", "Stack Segment:", S::Dos, 14, 2, P::TabMZ, C::Word),
    Row("Ed_SP", "Stack Pointer:", S::Dos, 16, 2, P::TabMZ, C::Word),
    Row("Ed_IP", "Instruction Pointer:", S::Dos, 20, 2, P::TabMZ, C::Word),
    Row("Ed_CS", "Code Segment:", S::Dos, 22, 2, P::TabMZ, C::Word),

    Row("EdMachine", "Machine:", S::File, 0, 2, P::TabFileHd, C::Word),
    Row("EdSections", "Number Of Sections:", S::File, 2, 2, P::TabFileHd, C::Word),
    Row("EdDateStamp", "Time Date Stamp:", S::File, 4, 4, P::TabFileHd, C::Dword),
    Row("EdSymbolTable", "Pointer To Symbol Table:", S::File, 8, 4, P::TabFileHd, C::Dword),
    Row("EdSymbols", "Number Of Symbols:", S::File, 12, 4, P::TabFileHd, C::Dword),
    Row("EdSizeOptHd", "Size Of Optional Header:", S::File, 16, 2, P::TabFileHd, C::Word),
    Row("EdChar", "Characteristics:", S::File, 18, 2, P::TabFileHd, C::Word),

    Row("EdMagic", "Magic:", S::Optional, 0, 2, P::TabStandard, C::Word),
    Row("EdMajorLinker", "Major Linker Version:", S::Optional, 2, 1, P::TabStandard, C::Byte),
    Row("EdMinorLinker", "Minor Linker Version:", S::Optional, 3, 1, P::TabStandard, C::Byte),
    Row("EdCode", "Size Of Code:", S::Optional, 4, 4, P::TabStandard, C::Dword),
    Row("EdInitData", "Size Of Initialized Data:", S::Optional, 8, 4, P::TabStandard, C::Dword),
    Row("EdUnInitData", "Size Of Uninitialized Data:", S::Optional, 12, 4, P::TabStandard, C::Dword),
    Row("EdEntryPoint", "Address Of Entry Point:", S::Optional, 16, 4, P::TabStandard, C::Dword),
    Row("EdBaseCode", "Base Of Code:", S::Optional, 20, 4, P::TabStandard, C::Dword),
    Row("EdBaseData", "Base Of Data:", S::Optional, 24, 4, P::TabStandard, C::Dword),
    Row("EdImageBase", "Image Base:", S::Optional, 28, 4, P::TabNT, C::Dword),
    Row("EdSectionAlign", "Section Alignment:", S::Optional, 32, 4, P::TabNT, C::Dword),
    Row("EdFileAlign", "File Alignment:", S::Optional, 36, 4, P::TabNT, C::Dword),
    Row("EdMajorOS", "Major Operating Version:", S::Optional, 40, 2, P::TabNT, C::Word),
    Row("EdMinorOS", "Minor Operating Version:", S::Optional, 42, 2, P::TabNT, C::Word),
    Row("EdMajorImage", "Major Image Version:", S::Optional, 44, 2, P::TabNT, C::Word),
    Row("EdMinorImage", "Minor Image Version:", S::Optional, 46, 2, P::TabNT, C::Word),
    Row("EdMajorSubsystem", "Major Subsystem Version:", S::Optional, 48, 2, P::TabNT, C::Word),
    Row("EdMinorSubsystem", "Minor Subsystem Version:", S::Optional, 50, 2, P::TabNT, C::Word),
    Row("EdWin32Version", "Win32 Version Value:", S::Optional, 52, 4, P::TabNT, C::Dword),
    Row("EdSizeImage", "Size Of Image:", S::Optional, 56, 4, P::TabNT, C::Dword),
    Row("EdWin32SizeHd", "Size Of Headers:", S::Optional, 60, 4, P::TabNT, C::Dword),
    Row("EdCheckSum", "CheckSum:", S::Optional, 64, 4, P::TabNT, C::Dword),
    Row("EdSubsystem", "Subsystem:", S::Optional, 68, 2, P::TabNT, C::Word),
    Row("EdDLLChar", "DLL Characteristics:", S::Optional, 70, 2, P::TabNT, C::Word),
    Row("EdStackRes", "Size Of Stack Reserve:", S::Optional, 72, 4, P::TabNT, C::Dword),
    Row("EdStackCom", "Size Of Stack Commit:", S::Optional, 76, 4, P::TabNT, C::Dword),
    Row("EdHeapRes", "Size Of Heap Reserve:", S::Optional, 80, 4, P::TabNT, C::Dword),
    Row("EdHeapCom", "Size Of Heap Commit:", S::Optional, 84, 4, P::TabNT, C::Dword),
    Row("EdLoaderFlags", "Loader Flags:", S::Optional, 88, 4, P::TabNT, C::Dword),
    Row("EdRva", "Number Of Rva And Sizes:", S::Optional, 92, 4, P::TabNT, C::Dword),
}};

constexpr std::array<HeaderField, kSectionRowCount> kSectionFields{{
    SectionRow("Virtual Size:", 8, 4),
    SectionRow("Virtual Address:", 12, 4),
    SectionRow("Size Of Raw Data:", 16, 4),
    SectionRow("Pointer To Raw Data:", 20, 4),
    SectionRow("Pointer To Relocations:", 24, 4),
    SectionRow("Pointer To Line Numbers:", 28, 4),
    SectionRow("Number Of Relocations:", 32, 2),
    SectionRow("Number Of Line Numbers:", 34, 2),
    SectionRow("Characteristics:", 36, 4),
}};

constexpr std::array<std::string_view, kSectionFlagCount> kCharacteristicTexts{
    "Section can be discarded",
    "Section is not cachable",
    "Section is not pageable",
    "Section is shareable",
    "Section is executable",
    "Section is readable",
    "Section is writeable",
    "Section contains code",
    "Section contains initialized data",
    "Section contains uninitialized data",
    "Section contains comments",
    "Section contents will not be part of image",
    "Section contains extended relocations",
};

constexpr std::array<uint32_t, kSectionFlagCount> kCharacteristicMasks{
    0x02000000,
    0x04000000,
    0x08000000,
    0x10000000,
    0x20000000,
    0x40000000,
    0x80000000,
    0x00000020,
    0x00000040,
    0x00000080,
    0x00000200,
    0x00000800,
    0x01000000,
};

constexpr std::array<FileFlag, 4> kFileFlags{{
    {"CheckBoxSystem", "System file", 0x1000},
    {"CheckBoxDLL", "File is a DLL", 0x2000},
    {"CheckBoxExec", "File is executable", 0x0002},
    {"CheckBox32Bit", "32 bit word machine", 0x0100},
}};

} // namespace

std::span<const HeaderField> HeaderFields()
{
    return kHeaderFields;
}

std::span<const HeaderField> DosFields()
{
    return HeaderFields().subspan(0, kDosFieldCount);
}

std::span<const HeaderField> FileFields()
{
    return HeaderFields().subspan(kDosFieldCount, kFileFieldCount);
}

std::span<const HeaderField> OptionalFields()
{
    return HeaderFields().subspan(kDosFieldCount + kFileFieldCount, kOptionalFieldCount);
}

std::span<const HeaderField> SectionFields()
{
    return kSectionFields;
}

int HeaderFieldIndex(std::string_view box)
{
    for (size_t i = 0; i < kHeaderFields.size(); ++i) {
        if (kHeaderFields[i].box == box)
            return static_cast<int>(i);
    }
    return -1;
}

int EntryPointFieldIndex()
{
    static const int index = HeaderFieldIndex("EdEntryPoint");
    return index;
}

std::span<const std::string_view> CharacteristicTexts()
{
    return kCharacteristicTexts;
}

std::span<const uint32_t> CharacteristicMasks()
{
    return kCharacteristicMasks;
}

std::span<const FileFlag> FileCharacteristicFlags()
{
    return kFileFlags;
}

uint32_t FieldPosition(const HeaderField& field, uint32_t peOffset, uint16_t optHeaderSize, uint32_t section)
{
    // Unsigned 32-bit throughout: the positions wrap exactly as the reader and the writer
    // compute them, so both always address the same bytes.
    switch (field.structure) {
    case HeaderStructure::Dos:
        return field.offset;
    case HeaderStructure::File:
        return peOffset + 4u + field.offset;
    case HeaderStructure::Optional:
        return peOffset + 24u + field.offset;
    case HeaderStructure::Section:
        return peOffset + 24u + optHeaderSize + kSectionHeaderSize * section + field.offset;
    }
    return field.offset;
}
