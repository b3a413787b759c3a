#include "header/FieldTable.h"

#include <array>

namespace {

using S = HeaderStructure;
using C = ValueClass;

constexpr HeaderField Row(FieldId id, std::string_view caption, std::string_view peName,
    HeaderStructure structure, uint32_t offset, uint8_t width, ValueClass valueClass)
{
    uint8_t parseBits = static_cast<uint8_t>(ToggleParseBits(valueClass));
    return HeaderField{id, caption, structure, offset, width, valueClass, parseBits, peName};
}

// An 8-byte PE32+ field: 16 hexadecimal or up to 20 decimal digits.
constexpr HeaderField Qword(FieldId id, std::string_view caption, std::string_view peName, uint32_t offset)
{
    return Row(id, caption, peName, S::Optional, offset, 8, C::Qword);
}

// A box the layout does not have: it keeps its place in the table (row i is the same box in
// both layouts) but has no bytes.
constexpr HeaderField Absent(FieldId id, std::string_view caption, std::string_view peName)
{
    return HeaderField{id, caption, S::Optional, 0, 0, C::Dword, 64, peName};
}

// Section rows are all shown as dwords with ten characters, but the 2-byte rows 6 and 7
// are parsed at 32 bits when saved.
constexpr HeaderField SectionRow(
    FieldId id, std::string_view caption, std::string_view peName, uint32_t offset, uint8_t width)
{
    return HeaderField{
        id, caption, S::Section, offset, width, C::Dword, static_cast<uint8_t>(width == 2 ? 32 : 64), peName};
}

constexpr std::array<HeaderField, kHeaderFieldCount> kHeaderFields{{
    Row(FieldId::LastPage, "Bytes On Last Page:", "e_cblp", S::Dos, 2, 2, C::Word),
    Row(FieldId::Pages, "Pages In File:", "e_cp", S::Dos, 4, 2, C::Word),
    Row(FieldId::SizeHd, "Size Of Header:", "e_cparhdr", S::Dos, 8, 2, C::Word),
    Row(FieldId::MinRam, "Minimum Ram Needed:", "e_minalloc", S::Dos, 10, 2, C::Word),
    Row(FieldId::MaxRam, "Maximum Ram Needed:", "e_maxalloc", S::Dos, 12, 2, C::Word),
    Row(FieldId::SS, "Stack Segment:", "e_ss", S::Dos, 14, 2, C::Word),
    Row(FieldId::SP, "Stack Pointer:", "e_sp", S::Dos, 16, 2, C::Word),
    Row(FieldId::IP, "Instruction Pointer:", "e_ip", S::Dos, 20, 2, C::Word),
    Row(FieldId::CS, "Code Segment:", "e_cs", S::Dos, 22, 2, C::Word),

    Row(FieldId::Machine, "Machine:", "Machine", S::File, 0, 2, C::Word),
    Row(FieldId::Sections, "Number Of Sections:", "NumberOfSections", S::File, 2, 2, C::Word),
    Row(FieldId::DateStamp, "Time Date Stamp:", "TimeDateStamp", S::File, 4, 4, C::Dword),
    Row(FieldId::SymbolTable, "Pointer To Symbol Table:", "PointerToSymbolTable", S::File, 8, 4, C::Dword),
    Row(FieldId::Symbols, "Number Of Symbols:", "NumberOfSymbols", S::File, 12, 4, C::Dword),
    Row(FieldId::SizeOptHd, "Size Of Optional Header:", "SizeOfOptionalHeader", S::File, 16, 2, C::Word),
    Row(FieldId::Char, "Characteristics:", "Characteristics", S::File, 18, 2, C::Word),

    Row(FieldId::Magic, "Magic:", "Magic", S::Optional, 0, 2, C::Word),
    Row(FieldId::MajorLinker, "Major Linker Version:", "MajorLinkerVersion", S::Optional, 2, 1, C::Byte),
    Row(FieldId::MinorLinker, "Minor Linker Version:", "MinorLinkerVersion", S::Optional, 3, 1, C::Byte),
    Row(FieldId::Code, "Size Of Code:", "SizeOfCode", S::Optional, 4, 4, C::Dword),
    Row(FieldId::InitData, "Size Of Initialized Data:", "SizeOfInitializedData", S::Optional, 8, 4, C::Dword),
    Row(FieldId::UnInitData, "Size Of Uninitialized Data:", "SizeOfUninitializedData", S::Optional, 12, 4,
        C::Dword),
    Row(FieldId::EntryPoint, "Address Of Entry Point:", "AddressOfEntryPoint", S::Optional, 16, 4, C::Dword),
    Row(FieldId::BaseCode, "Base Of Code:", "BaseOfCode", S::Optional, 20, 4, C::Dword),
    Row(FieldId::BaseData, "Base Of Data:", "BaseOfData", S::Optional, 24, 4, C::Dword),
    Row(FieldId::ImageBase, "Image Base:", "ImageBase", S::Optional, 28, 4, C::Dword),
    Row(FieldId::SectionAlign, "Section Alignment:", "SectionAlignment", S::Optional, 32, 4, C::Dword),
    Row(FieldId::FileAlign, "File Alignment:", "FileAlignment", S::Optional, 36, 4, C::Dword),
    Row(FieldId::MajorOS, "Major Operating Version:", "MajorOperatingSystemVersion", S::Optional, 40, 2,
        C::Word),
    Row(FieldId::MinorOS, "Minor Operating Version:", "MinorOperatingSystemVersion", S::Optional, 42, 2,
        C::Word),
    Row(FieldId::MajorImage, "Major Image Version:", "MajorImageVersion", S::Optional, 44, 2, C::Word),
    Row(FieldId::MinorImage, "Minor Image Version:", "MinorImageVersion", S::Optional, 46, 2, C::Word),
    Row(FieldId::MajorSubsystem, "Major Subsystem Version:", "MajorSubsystemVersion", S::Optional, 48, 2,
        C::Word),
    Row(FieldId::MinorSubsystem, "Minor Subsystem Version:", "MinorSubsystemVersion", S::Optional, 50, 2,
        C::Word),
    Row(FieldId::Win32Version, "Win32 Version Value:", "Win32VersionValue", S::Optional, 52, 4, C::Dword),
    Row(FieldId::SizeImage, "Size Of Image:", "SizeOfImage", S::Optional, 56, 4, C::Dword),
    Row(FieldId::Win32SizeHd, "Size Of Headers:", "SizeOfHeaders", S::Optional, 60, 4, C::Dword),
    Row(FieldId::CheckSum, "CheckSum:", "CheckSum", S::Optional, 64, 4, C::Dword),
    Row(FieldId::Subsystem, "Subsystem:", "Subsystem", S::Optional, 68, 2, C::Word),
    Row(FieldId::DLLChar, "DLL Characteristics:", "DllCharacteristics", S::Optional, 70, 2, C::Word),
    Row(FieldId::StackRes, "Size Of Stack Reserve:", "SizeOfStackReserve", S::Optional, 72, 4, C::Dword),
    Row(FieldId::StackCom, "Size Of Stack Commit:", "SizeOfStackCommit", S::Optional, 76, 4, C::Dword),
    Row(FieldId::HeapRes, "Size Of Heap Reserve:", "SizeOfHeapReserve", S::Optional, 80, 4, C::Dword),
    Row(FieldId::HeapCom, "Size Of Heap Commit:", "SizeOfHeapCommit", S::Optional, 84, 4, C::Dword),
    Row(FieldId::LoaderFlags, "Loader Flags:", "LoaderFlags", S::Optional, 88, 4, C::Dword),
    Row(FieldId::Rva, "Number Of Rva And Sizes:", "NumberOfRvaAndSizes", S::Optional, 92, 4, C::Dword),
}};

// PE32+: no Base Of Data; the image base and the four stack and heap sizes take 8 bytes.
constexpr std::array<HeaderField, kHeaderFieldCount> MakePe32PlusFields()
{
    std::array<HeaderField, kHeaderFieldCount> fields = kHeaderFields;
    auto set = [&fields](FieldId id, const HeaderField& field) { fields[static_cast<size_t>(id)] = field; };
    set(FieldId::BaseData, Absent(FieldId::BaseData, "Base Of Data:", "BaseOfData"));
    set(FieldId::ImageBase, Qword(FieldId::ImageBase, "Image Base:", "ImageBase", 24));
    set(FieldId::StackRes, Qword(FieldId::StackRes, "Size Of Stack Reserve:", "SizeOfStackReserve", 72));
    set(FieldId::StackCom, Qword(FieldId::StackCom, "Size Of Stack Commit:", "SizeOfStackCommit", 80));
    set(FieldId::HeapRes, Qword(FieldId::HeapRes, "Size Of Heap Reserve:", "SizeOfHeapReserve", 88));
    set(FieldId::HeapCom, Qword(FieldId::HeapCom, "Size Of Heap Commit:", "SizeOfHeapCommit", 96));
    set(FieldId::LoaderFlags,
        Row(FieldId::LoaderFlags, "Loader Flags:", "LoaderFlags", S::Optional, 104, 4, C::Dword));
    set(FieldId::Rva,
        Row(FieldId::Rva, "Number Of Rva And Sizes:", "NumberOfRvaAndSizes", S::Optional, 108, 4, C::Dword));
    return fields;
}

constexpr std::array<HeaderField, kHeaderFieldCount> kPe32PlusFields = MakePe32PlusFields();

struct DirectoryEntry {
    std::string_view name;
    std::string_view rvaCaption;
    std::string_view sizeCaption;
};

constexpr std::array<DirectoryEntry, kDataDirectoryCount> kDirectories{{
    {"Export", "Export RVA:", "Export Size:"},
    {"Import", "Import RVA:", "Import Size:"},
    {"Resource", "Resource RVA:", "Resource Size:"},
    {"Exception", "Exception RVA:", "Exception Size:"},
    {"Security", "Security RVA:", "Security Size:"},
    {"Base Relocation", "Base Relocation RVA:", "Base Relocation Size:"},
    {"Debug", "Debug RVA:", "Debug Size:"},
    {"Architecture", "Architecture RVA:", "Architecture Size:"},
    {"Global Pointer", "Global Pointer RVA:", "Global Pointer Size:"},
    {"TLS", "TLS RVA:", "TLS Size:"},
    {"Load Config", "Load Config RVA:", "Load Config Size:"},
    {"Bound Import", "Bound Import RVA:", "Bound Import Size:"},
    {"IAT", "IAT RVA:", "IAT Size:"},
    {"Delay Import", "Delay Import RVA:", "Delay Import Size:"},
    {"CLR Runtime", "CLR Runtime RVA:", "CLR Runtime Size:"},
    {"Reserved", "Reserved RVA:", "Reserved Size:"},
}};

constexpr std::array<std::string_view, kDataDirectoryCount> MakeDirectoryNames()
{
    std::array<std::string_view, kDataDirectoryCount> names{};
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = kDirectories[i].name;
    return names;
}

constexpr std::array<std::string_view, kDataDirectoryCount> kDirectoryNames = MakeDirectoryNames();

// The directory rows of a layout, from the end of its fixed part on.
constexpr std::array<HeaderField, kDataDirectoryFieldCount> MakeDirectoryFields(uint32_t start)
{
    std::array<HeaderField, kDataDirectoryFieldCount> fields{};
    for (size_t i = 0; i < kDirectories.size(); ++i) {
        const auto offset = static_cast<uint32_t>(start + 8 * i);
        const auto row = static_cast<int>(2 * i);
        fields[2 * i] = Row(DirectoryFieldId(row), kDirectories[i].rvaCaption, "VirtualAddress", S::Optional,
            offset, 4, C::Dword);
        fields[2 * i + 1] = Row(DirectoryFieldId(row + 1), kDirectories[i].sizeCaption, "Size", S::Optional,
            offset + 4, 4, C::Dword);
    }
    return fields;
}

constexpr uint32_t kPe32FixedSize = 96;
constexpr uint32_t kPe32PlusFixedSize = 112;
constexpr std::array<HeaderField, kDataDirectoryFieldCount> kPe32Directories
    = MakeDirectoryFields(kPe32FixedSize);
constexpr std::array<HeaderField, kDataDirectoryFieldCount> kPe32PlusDirectories
    = MakeDirectoryFields(kPe32PlusFixedSize);

constexpr std::array<HeaderField, kSectionRowCount> kSectionFields{{
    SectionRow(FieldId::VirtualSize, "Virtual Size:", "VirtualSize", 8, 4),
    SectionRow(FieldId::VirtualAddress, "Virtual Address:", "VirtualAddress", 12, 4),
    SectionRow(FieldId::SizeOfRawData, "Size Of Raw Data:", "SizeOfRawData", 16, 4),
    SectionRow(FieldId::PointerToRawData, "Pointer To Raw Data:", "PointerToRawData", 20, 4),
    SectionRow(FieldId::PointerToRelocations, "Pointer To Relocations:", "PointerToRelocations", 24, 4),
    SectionRow(FieldId::PointerToLinenumbers, "Pointer To Line Numbers:", "PointerToLinenumbers", 28, 4),
    SectionRow(FieldId::NumberOfRelocations, "Number Of Relocations:", "NumberOfRelocations", 32, 2),
    SectionRow(FieldId::NumberOfLinenumbers, "Number Of Line Numbers:", "NumberOfLinenumbers", 34, 2),
    SectionRow(FieldId::SectionCharacteristics, "Characteristics:", "Characteristics", 36, 4),
}};

constexpr HeaderField kSectionName{FieldId::SectionName, "Name:", S::Section, 0, 8, C::Qword, 64, "Name"};

constexpr std::array<HeaderField, kDosExtraFieldCount> kDosExtraFields{{
    Row(FieldId::Relocs, "Relocations:", "e_crlc", S::Dos, 6, 2, C::Word),
    Row(FieldId::RelocTable, "Relocation Table:", "e_lfarlc", S::Dos, 24, 2, C::Word),
    Row(FieldId::Overlay, "Overlay Number:", "e_ovno", S::Dos, 26, 2, C::Word),
    Row(FieldId::Res0, "Reserved 0:", "e_res[0]", S::Dos, 28, 2, C::Word),
    Row(FieldId::Res1, "Reserved 1:", "e_res[1]", S::Dos, 30, 2, C::Word),
    Row(FieldId::Res2, "Reserved 2:", "e_res[2]", S::Dos, 32, 2, C::Word),
    Row(FieldId::Res3, "Reserved 3:", "e_res[3]", S::Dos, 34, 2, C::Word),
    Row(FieldId::OemId, "OEM Identifier:", "e_oemid", S::Dos, 36, 2, C::Word),
    Row(FieldId::OemInfo, "OEM Information:", "e_oeminfo", S::Dos, 38, 2, C::Word),
    Row(FieldId::Res2_0, "Reserved2 0:", "e_res2[0]", S::Dos, 40, 2, C::Word),
    Row(FieldId::Res2_1, "Reserved2 1:", "e_res2[1]", S::Dos, 42, 2, C::Word),
    Row(FieldId::Res2_2, "Reserved2 2:", "e_res2[2]", S::Dos, 44, 2, C::Word),
    Row(FieldId::Res2_3, "Reserved2 3:", "e_res2[3]", S::Dos, 46, 2, C::Word),
    Row(FieldId::Res2_4, "Reserved2 4:", "e_res2[4]", S::Dos, 48, 2, C::Word),
    Row(FieldId::Res2_5, "Reserved2 5:", "e_res2[5]", S::Dos, 50, 2, C::Word),
    Row(FieldId::Res2_6, "Reserved2 6:", "e_res2[6]", S::Dos, 52, 2, C::Word),
    Row(FieldId::Res2_7, "Reserved2 7:", "e_res2[7]", S::Dos, 54, 2, C::Word),
    Row(FieldId::Res2_8, "Reserved2 8:", "e_res2[8]", S::Dos, 56, 2, C::Word),
    Row(FieldId::Res2_9, "Reserved2 9:", "e_res2[9]", S::Dos, 58, 2, C::Word),
    Row(FieldId::Lfanew, "PE Header Offset:", "e_lfanew", S::Dos, 60, 4, C::Dword),
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

constexpr std::array<FileFlag, 16> kFileFlags{{
    {"System file", 0x1000},
    {"File is a DLL", 0x2000},
    {"File is executable", 0x0002},
    {"32 bit word machine", 0x0100},
    {"Relocations stripped", 0x0001},
    {"Line numbers stripped", 0x0004},
    {"Local symbols stripped", 0x0008},
    {"Aggressive working set trim", 0x0010},
    {"Large address aware", 0x0020},
    {"Reserved (0x0040)", 0x0040},
    {"Bytes reversed (low)", 0x0080},
    {"Debug information stripped", 0x0200},
    {"Removable: run from swap", 0x0400},
    {"Network: run from swap", 0x0800},
    {"Uniprocessor only", 0x4000},
    {"Bytes reversed (high)", 0x8000},
}};

constexpr std::array<FileFlag, 11> kDllFlags{{
    {"High Entropy VA", 0x0020},
    {"Dynamic Base (ASLR)", 0x0040},
    {"Force Integrity", 0x0080},
    {"NX Compatible (DEP)", 0x0100},
    {"No Isolation", 0x0200},
    {"No SEH", 0x0400},
    {"No Bind", 0x0800},
    {"AppContainer", 0x1000},
    {"WDM Driver", 0x2000},
    {"Control Flow Guard", 0x4000},
    {"Terminal Server Aware", 0x8000},
}};

// Row i of every table is the field it names: lookups by id are plain indexing.
constexpr bool IdsInOrder()
{
    for (size_t i = 0; i < kHeaderFields.size(); ++i) {
        if (kHeaderFields[i].id != static_cast<FieldId>(i)
            || kPe32PlusFields[i].id != static_cast<FieldId>(i))
            return false;
    }
    for (size_t i = 0; i < kDosExtraFields.size(); ++i) {
        if (DosExtraIndex(kDosExtraFields[i].id) != static_cast<int>(i))
            return false;
    }
    for (size_t i = 0; i < kPe32Directories.size(); ++i) {
        if (DirectoryIndex(kPe32Directories[i].id) != static_cast<int>(i)
            || kPe32PlusDirectories[i].id != kPe32Directories[i].id)
            return false;
    }
    for (size_t i = 0; i < kSectionFields.size(); ++i) {
        if (SectionRowIndex(kSectionFields[i].id) != static_cast<int>(i))
            return false;
    }
    return true;
}
static_assert(IdsInOrder());

// The index of the first field whose member equals key, or -1.
int IndexOf(std::span<const HeaderField> fields, std::string_view HeaderField::*member, std::string_view key)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].*member == key)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

std::span<const HeaderField> HeaderFields()
{
    return kHeaderFields;
}

std::span<const HeaderField> HeaderFields(OptionalLayout layout)
{
    if (layout == OptionalLayout::Pe32Plus)
        return kPe32PlusFields;
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

std::span<const HeaderField> OptionalFields(OptionalLayout layout)
{
    return HeaderFields(layout).subspan(kDosFieldCount + kFileFieldCount, kOptionalFieldCount);
}

uint32_t OptionalFixedSize(OptionalLayout layout)
{
    return layout == OptionalLayout::Pe32Plus ? kPe32PlusFixedSize : kPe32FixedSize;
}

std::span<const HeaderField> DataDirectoryFields(OptionalLayout layout)
{
    if (layout == OptionalLayout::Pe32Plus)
        return kPe32PlusDirectories;
    return kPe32Directories;
}

std::span<const std::string_view> DataDirectoryNames()
{
    return kDirectoryNames;
}

int DataDirectoryEntriesShown(OptionalLayout layout, uint64_t rvaCount, uint16_t optHeaderSize)
{
    const uint64_t start = OptionalFixedSize(layout);
    int shown = 0;
    while (shown < kDataDirectoryCount && uint64_t(shown) < rvaCount
        && start + 8u * uint64_t(shown) + 8u <= optHeaderSize)
        ++shown;
    return shown;
}

std::span<const HeaderField> SectionFields()
{
    return kSectionFields;
}

const HeaderField& SectionNameField()
{
    return kSectionName;
}

uint64_t PackSectionName(std::string_view latin1)
{
    uint64_t value = 0;
    for (size_t i = 0; i < latin1.size() && i < kSectionNameBytes; ++i)
        value |= uint64_t(static_cast<unsigned char>(latin1[i])) << (8 * i);
    return value;
}

std::span<const HeaderField> DosExtraFields()
{
    return kDosExtraFields;
}

int DosExtraFieldIndexByPeName(std::string_view peName)
{
    return IndexOf(kDosExtraFields, &HeaderField::peName, peName);
}

int HeaderFieldIndexByPeName(std::string_view peName)
{
    // Both layouts name the same row alike.
    return IndexOf(kHeaderFields, &HeaderField::peName, peName);
}

const HeaderField& FieldOf(FieldId id, OptionalLayout layout)
{
    const auto index = static_cast<size_t>(id);
    if (index < kHeaderFields.size())
        return HeaderFields(layout)[index];
    if (id <= FieldId::Lfanew)
        return kDosExtraFields[static_cast<size_t>(DosExtraIndex(id))];
    if (id <= FieldId::DirSize15)
        return DataDirectoryFields(layout)[static_cast<size_t>(DirectoryIndex(id))];
    if (id == FieldId::SectionName)
        return kSectionName;
    return kSectionFields[static_cast<size_t>(SectionRowIndex(id))];
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

std::span<const FileFlag> DllCharacteristicFlags()
{
    return kDllFlags;
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

uint32_t CheckSumPosition(uint32_t peOffset)
{
    return FieldPosition(FieldOf(FieldId::CheckSum), peOffset, 0);
}

std::vector<std::string_view> FlagCaptions(std::span<const FileFlag> flags, uint64_t value)
{
    std::vector<std::string_view> names;
    for (const FileFlag& flag : flags) {
        if (value & flag.bit)
            names.push_back(flag.caption);
    }
    return names;
}

std::vector<std::string_view> SectionFlagCaptions(uint64_t value)
{
    std::vector<std::string_view> names;
    const auto masks = CharacteristicMasks();
    for (size_t f = 0; f < masks.size(); ++f) {
        if (value & masks[f])
            names.push_back(CharacteristicTexts()[f]);
    }
    return names;
}
