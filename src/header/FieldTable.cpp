#include "header/FieldTable.h"

#include <array>

namespace {

using S = HeaderStructure;
using P = FieldPage;
using C = ValueClass;

constexpr HeaderField Row(std::string_view box, std::string_view caption, std::string_view peName,
    HeaderStructure structure, uint32_t offset, uint8_t width, FieldPage page, ValueClass valueClass)
{
    uint8_t maxLength = width == 1 ? 3 : width == 2 ? 5 : width == 8 ? 20 : 10;
    uint8_t parseBits = static_cast<uint8_t>(ToggleParseBits(valueClass));
    return HeaderField{
        box, caption, structure, offset, width, maxLength, page, valueClass, parseBits, peName};
}

// An 8-byte PE32+ field: 16 hexadecimal or up to 20 decimal digits.
constexpr HeaderField Qword(
    std::string_view box, std::string_view caption, std::string_view peName, uint32_t offset)
{
    return Row(box, caption, peName, S::Optional, offset, 8, P::TabNT, C::Qword);
}

// A box the layout does not have: it keeps its place in the table (row i is the same box in
// both layouts) but has no bytes.
constexpr HeaderField Absent(
    std::string_view box, std::string_view caption, std::string_view peName, FieldPage page)
{
    return HeaderField{box, caption, S::Optional, 0, 0, 10, page, C::Dword, 64, peName};
}

// Section rows are all shown as dwords with ten characters, but the 2-byte rows 6 and 7
// are parsed at 32 bits when saved.
constexpr HeaderField SectionRow(
    std::string_view caption, std::string_view peName, uint32_t offset, uint8_t width)
{
    return HeaderField{{}, caption, S::Section, offset, width, 10, P::SectionPage, C::Dword,
        static_cast<uint8_t>(width == 2 ? 32 : 64), peName};
}

constexpr std::array<HeaderField, kHeaderFieldCount> kHeaderFields{{
    Row("EdLastPage", "Bytes On Last Page:", "e_cblp", S::Dos, 2, 2, P::TabMZ, C::Word),
    Row("EdPages", "Pages In File:", "e_cp", S::Dos, 4, 2, P::TabMZ, C::Word),
    Row("EdSizeHd", "Size Of Header:", "e_cparhdr", S::Dos, 8, 2, P::TabMZ, C::Word),
    Row("EdMinRam", "Minimum Ram Needed:", "e_minalloc", S::Dos, 10, 2, P::TabMZ, C::Word),
    Row("EdMaxRam", "Maximum Ram Needed:", "e_maxalloc", S::Dos, 12, 2, P::TabMZ, C::Word),
    Row("Ed_SS", "Stack Segment:", "e_ss", S::Dos, 14, 2, P::TabMZ, C::Word),
    Row("Ed_SP", "Stack Pointer:", "e_sp", S::Dos, 16, 2, P::TabMZ, C::Word),
    Row("Ed_IP", "Instruction Pointer:", "e_ip", S::Dos, 20, 2, P::TabMZ, C::Word),
    Row("Ed_CS", "Code Segment:", "e_cs", S::Dos, 22, 2, P::TabMZ, C::Word),

    Row("EdMachine", "Machine:", "Machine", S::File, 0, 2, P::TabFileHd, C::Word),
    Row("EdSections", "Number Of Sections:", "NumberOfSections", S::File, 2, 2, P::TabFileHd, C::Word),
    Row("EdDateStamp", "Time Date Stamp:", "TimeDateStamp", S::File, 4, 4, P::TabFileHd, C::Dword),
    Row("EdSymbolTable", "Pointer To Symbol Table:", "PointerToSymbolTable", S::File, 8, 4, P::TabFileHd,
        C::Dword),
    Row("EdSymbols", "Number Of Symbols:", "NumberOfSymbols", S::File, 12, 4, P::TabFileHd, C::Dword),
    Row("EdSizeOptHd", "Size Of Optional Header:", "SizeOfOptionalHeader", S::File, 16, 2, P::TabFileHd,
        C::Word),
    Row("EdChar", "Characteristics:", "Characteristics", S::File, 18, 2, P::TabFileHd, C::Word),

    Row("EdMagic", "Magic:", "Magic", S::Optional, 0, 2, P::TabStandard, C::Word),
    Row("EdMajorLinker", "Major Linker Version:", "MajorLinkerVersion", S::Optional, 2, 1, P::TabStandard,
        C::Byte),
    Row("EdMinorLinker", "Minor Linker Version:", "MinorLinkerVersion", S::Optional, 3, 1, P::TabStandard,
        C::Byte),
    Row("EdCode", "Size Of Code:", "SizeOfCode", S::Optional, 4, 4, P::TabStandard, C::Dword),
    Row("EdInitData", "Size Of Initialized Data:", "SizeOfInitializedData", S::Optional, 8, 4, P::TabStandard,
        C::Dword),
    Row("EdUnInitData", "Size Of Uninitialized Data:", "SizeOfUninitializedData", S::Optional, 12, 4,
        P::TabStandard, C::Dword),
    Row("EdEntryPoint", "Address Of Entry Point:", "AddressOfEntryPoint", S::Optional, 16, 4, P::TabStandard,
        C::Dword),
    Row("EdBaseCode", "Base Of Code:", "BaseOfCode", S::Optional, 20, 4, P::TabStandard, C::Dword),
    Row("EdBaseData", "Base Of Data:", "BaseOfData", S::Optional, 24, 4, P::TabStandard, C::Dword),
    Row("EdImageBase", "Image Base:", "ImageBase", S::Optional, 28, 4, P::TabNT, C::Dword),
    Row("EdSectionAlign", "Section Alignment:", "SectionAlignment", S::Optional, 32, 4, P::TabNT, C::Dword),
    Row("EdFileAlign", "File Alignment:", "FileAlignment", S::Optional, 36, 4, P::TabNT, C::Dword),
    Row("EdMajorOS", "Major Operating Version:", "MajorOperatingSystemVersion", S::Optional, 40, 2, P::TabNT,
        C::Word),
    Row("EdMinorOS", "Minor Operating Version:", "MinorOperatingSystemVersion", S::Optional, 42, 2, P::TabNT,
        C::Word),
    Row("EdMajorImage", "Major Image Version:", "MajorImageVersion", S::Optional, 44, 2, P::TabNT, C::Word),
    Row("EdMinorImage", "Minor Image Version:", "MinorImageVersion", S::Optional, 46, 2, P::TabNT, C::Word),
    Row("EdMajorSubsystem", "Major Subsystem Version:", "MajorSubsystemVersion", S::Optional, 48, 2, P::TabNT,
        C::Word),
    Row("EdMinorSubsystem", "Minor Subsystem Version:", "MinorSubsystemVersion", S::Optional, 50, 2, P::TabNT,
        C::Word),
    Row("EdWin32Version", "Win32 Version Value:", "Win32VersionValue", S::Optional, 52, 4, P::TabNT,
        C::Dword),
    Row("EdSizeImage", "Size Of Image:", "SizeOfImage", S::Optional, 56, 4, P::TabNT, C::Dword),
    Row("EdWin32SizeHd", "Size Of Headers:", "SizeOfHeaders", S::Optional, 60, 4, P::TabNT, C::Dword),
    Row("EdCheckSum", "CheckSum:", "CheckSum", S::Optional, 64, 4, P::TabNT, C::Dword),
    Row("EdSubsystem", "Subsystem:", "Subsystem", S::Optional, 68, 2, P::TabNT, C::Word),
    Row("EdDLLChar", "DLL Characteristics:", "DllCharacteristics", S::Optional, 70, 2, P::TabNT, C::Word),
    Row("EdStackRes", "Size Of Stack Reserve:", "SizeOfStackReserve", S::Optional, 72, 4, P::TabNT, C::Dword),
    Row("EdStackCom", "Size Of Stack Commit:", "SizeOfStackCommit", S::Optional, 76, 4, P::TabNT, C::Dword),
    Row("EdHeapRes", "Size Of Heap Reserve:", "SizeOfHeapReserve", S::Optional, 80, 4, P::TabNT, C::Dword),
    Row("EdHeapCom", "Size Of Heap Commit:", "SizeOfHeapCommit", S::Optional, 84, 4, P::TabNT, C::Dword),
    Row("EdLoaderFlags", "Loader Flags:", "LoaderFlags", S::Optional, 88, 4, P::TabNT, C::Dword),
    Row("EdRva", "Number Of Rva And Sizes:", "NumberOfRvaAndSizes", S::Optional, 92, 4, P::TabNT, C::Dword),
}};

// PE32+: no Base Of Data; the image base and the four stack and heap sizes take 8 bytes.
constexpr std::array<HeaderField, kHeaderFieldCount> MakePe32PlusFields()
{
    std::array<HeaderField, kHeaderFieldCount> fields = kHeaderFields;
    auto set = [&fields](std::string_view box, const HeaderField& field) {
        for (HeaderField& row : fields) {
            if (row.box == box)
                row = field;
        }
    };
    set("EdBaseData", Absent("EdBaseData", "Base Of Data:", "BaseOfData", P::TabStandard));
    set("EdImageBase", Qword("EdImageBase", "Image Base:", "ImageBase", 24));
    set("EdStackRes", Qword("EdStackRes", "Size Of Stack Reserve:", "SizeOfStackReserve", 72));
    set("EdStackCom", Qword("EdStackCom", "Size Of Stack Commit:", "SizeOfStackCommit", 80));
    set("EdHeapRes", Qword("EdHeapRes", "Size Of Heap Reserve:", "SizeOfHeapReserve", 88));
    set("EdHeapCom", Qword("EdHeapCom", "Size Of Heap Commit:", "SizeOfHeapCommit", 96));
    set("EdLoaderFlags",
        Row("EdLoaderFlags", "Loader Flags:", "LoaderFlags", S::Optional, 104, 4, P::TabNT, C::Dword));
    set("EdRva",
        Row("EdRva", "Number Of Rva And Sizes:", "NumberOfRvaAndSizes", S::Optional, 108, 4, P::TabNT,
            C::Dword));
    return fields;
}

constexpr std::array<HeaderField, kHeaderFieldCount> kPe32PlusFields = MakePe32PlusFields();

struct DirectoryEntry {
    std::string_view name;
    std::string_view rvaBox;
    std::string_view sizeBox;
    std::string_view rvaCaption;
    std::string_view sizeCaption;
};

constexpr std::array<DirectoryEntry, kDataDirectoryCount> kDirectories{{
    {"Export", "EdDirRva0", "EdDirSize0", "Export RVA:", "Export Size:"},
    {"Import", "EdDirRva1", "EdDirSize1", "Import RVA:", "Import Size:"},
    {"Resource", "EdDirRva2", "EdDirSize2", "Resource RVA:", "Resource Size:"},
    {"Exception", "EdDirRva3", "EdDirSize3", "Exception RVA:", "Exception Size:"},
    {"Security", "EdDirRva4", "EdDirSize4", "Security RVA:", "Security Size:"},
    {"Base Relocation", "EdDirRva5", "EdDirSize5", "Base Relocation RVA:", "Base Relocation Size:"},
    {"Debug", "EdDirRva6", "EdDirSize6", "Debug RVA:", "Debug Size:"},
    {"Architecture", "EdDirRva7", "EdDirSize7", "Architecture RVA:", "Architecture Size:"},
    {"Global Pointer", "EdDirRva8", "EdDirSize8", "Global Pointer RVA:", "Global Pointer Size:"},
    {"TLS", "EdDirRva9", "EdDirSize9", "TLS RVA:", "TLS Size:"},
    {"Load Config", "EdDirRva10", "EdDirSize10", "Load Config RVA:", "Load Config Size:"},
    {"Bound Import", "EdDirRva11", "EdDirSize11", "Bound Import RVA:", "Bound Import Size:"},
    {"IAT", "EdDirRva12", "EdDirSize12", "IAT RVA:", "IAT Size:"},
    {"Delay Import", "EdDirRva13", "EdDirSize13", "Delay Import RVA:", "Delay Import Size:"},
    {"CLR Runtime", "EdDirRva14", "EdDirSize14", "CLR Runtime RVA:", "CLR Runtime Size:"},
    {"Reserved", "EdDirRva15", "EdDirSize15", "Reserved RVA:", "Reserved Size:"},
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
        fields[2 * i] = Row(kDirectories[i].rvaBox, kDirectories[i].rvaCaption, "VirtualAddress", S::Optional,
            offset, 4, P::TabDataDir, C::Dword);
        fields[2 * i + 1] = Row(kDirectories[i].sizeBox, kDirectories[i].sizeCaption, "Size", S::Optional,
            offset + 4, 4, P::TabDataDir, C::Dword);
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
    SectionRow("Virtual Size:", "VirtualSize", 8, 4),
    SectionRow("Virtual Address:", "VirtualAddress", 12, 4),
    SectionRow("Size Of Raw Data:", "SizeOfRawData", 16, 4),
    SectionRow("Pointer To Raw Data:", "PointerToRawData", 20, 4),
    SectionRow("Pointer To Relocations:", "PointerToRelocations", 24, 4),
    SectionRow("Pointer To Line Numbers:", "PointerToLinenumbers", 28, 4),
    SectionRow("Number Of Relocations:", "NumberOfRelocations", 32, 2),
    SectionRow("Number Of Line Numbers:", "NumberOfLinenumbers", 34, 2),
    SectionRow("Characteristics:", "Characteristics", 36, 4),
}};

constexpr HeaderField kSectionName{
    "EdSectionName", "Name:", S::Section, 0, 8, 8, P::SectionPage, C::Qword, 64, "Name"};

constexpr std::array<HeaderField, kDosExtraFieldCount> kDosExtraFields{{
    Row("EdRelocs", "Relocations:", "e_crlc", S::Dos, 6, 2, P::TabMZ, C::Word),
    Row("EdRelocTable", "Relocation Table:", "e_lfarlc", S::Dos, 24, 2, P::TabMZ, C::Word),
    Row("EdOverlay", "Overlay Number:", "e_ovno", S::Dos, 26, 2, P::TabMZ, C::Word),
    Row("EdRes0", "Reserved 0:", "e_res[0]", S::Dos, 28, 2, P::TabMZ, C::Word),
    Row("EdRes1", "Reserved 1:", "e_res[1]", S::Dos, 30, 2, P::TabMZ, C::Word),
    Row("EdRes2", "Reserved 2:", "e_res[2]", S::Dos, 32, 2, P::TabMZ, C::Word),
    Row("EdRes3", "Reserved 3:", "e_res[3]", S::Dos, 34, 2, P::TabMZ, C::Word),
    Row("EdOemId", "OEM Identifier:", "e_oemid", S::Dos, 36, 2, P::TabMZ, C::Word),
    Row("EdOemInfo", "OEM Information:", "e_oeminfo", S::Dos, 38, 2, P::TabMZ, C::Word),
    Row("EdRes2_0", "Reserved2 0:", "e_res2[0]", S::Dos, 40, 2, P::TabMZ, C::Word),
    Row("EdRes2_1", "Reserved2 1:", "e_res2[1]", S::Dos, 42, 2, P::TabMZ, C::Word),
    Row("EdRes2_2", "Reserved2 2:", "e_res2[2]", S::Dos, 44, 2, P::TabMZ, C::Word),
    Row("EdRes2_3", "Reserved2 3:", "e_res2[3]", S::Dos, 46, 2, P::TabMZ, C::Word),
    Row("EdRes2_4", "Reserved2 4:", "e_res2[4]", S::Dos, 48, 2, P::TabMZ, C::Word),
    Row("EdRes2_5", "Reserved2 5:", "e_res2[5]", S::Dos, 50, 2, P::TabMZ, C::Word),
    Row("EdRes2_6", "Reserved2 6:", "e_res2[6]", S::Dos, 52, 2, P::TabMZ, C::Word),
    Row("EdRes2_7", "Reserved2 7:", "e_res2[7]", S::Dos, 54, 2, P::TabMZ, C::Word),
    Row("EdRes2_8", "Reserved2 8:", "e_res2[8]", S::Dos, 56, 2, P::TabMZ, C::Word),
    Row("EdRes2_9", "Reserved2 9:", "e_res2[9]", S::Dos, 58, 2, P::TabMZ, C::Word),
    Row("EdLfanew", "PE Header Offset:", "e_lfanew", S::Dos, 60, 4, P::TabMZ, C::Dword),
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
    {"CheckBoxSystem", "System file", 0x1000},
    {"CheckBoxDLL", "File is a DLL", 0x2000},
    {"CheckBoxExec", "File is executable", 0x0002},
    {"CheckBox32Bit", "32 bit word machine", 0x0100},
    {"CheckBoxFileRelocsStripped", "Relocations stripped", 0x0001},
    {"CheckBoxFileLineNumsStripped", "Line numbers stripped", 0x0004},
    {"CheckBoxFileLocalSymsStripped", "Local symbols stripped", 0x0008},
    {"CheckBoxFileAggressiveWsTrim", "Aggressive working set trim", 0x0010},
    {"CheckBoxFileLargeAddressAware", "Large address aware", 0x0020},
    {"CheckBoxFileReserved40", "Reserved (0x0040)", 0x0040},
    {"CheckBoxFileBytesReversedLo", "Bytes reversed (low)", 0x0080},
    {"CheckBoxFileDebugStripped", "Debug information stripped", 0x0200},
    {"CheckBoxFileRemovableRunFromSwap", "Removable: run from swap", 0x0400},
    {"CheckBoxFileNetRunFromSwap", "Network: run from swap", 0x0800},
    {"CheckBoxFileUpSystemOnly", "Uniprocessor only", 0x4000},
    {"CheckBoxFileBytesReversedHi", "Bytes reversed (high)", 0x8000},
}};

constexpr std::array<FileFlag, 11> kDllFlags{{
    {"CheckBoxDllHighEntropyVA", "High Entropy VA", 0x0020},
    {"CheckBoxDllDynamicBase", "Dynamic Base (ASLR)", 0x0040},
    {"CheckBoxDllForceIntegrity", "Force Integrity", 0x0080},
    {"CheckBoxDllNxCompatible", "NX Compatible (DEP)", 0x0100},
    {"CheckBoxDllNoIsolation", "No Isolation", 0x0200},
    {"CheckBoxDllNoSEH", "No SEH", 0x0400},
    {"CheckBoxDllNoBind", "No Bind", 0x0800},
    {"CheckBoxDllAppContainer", "AppContainer", 0x1000},
    {"CheckBoxDllWDMDriver", "WDM Driver", 0x2000},
    {"CheckBoxDllControlFlowGuard", "Control Flow Guard", 0x4000},
    {"CheckBoxDllTerminalServerAware", "Terminal Server Aware", 0x8000},
}};

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

int DataDirectoryFieldIndex(std::string_view box)
{
    return IndexOf(kPe32Directories, &HeaderField::box, box);
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

int DosExtraFieldIndex(std::string_view box)
{
    return IndexOf(kDosExtraFields, &HeaderField::box, box);
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

int HeaderFieldIndex(std::string_view box)
{
    return IndexOf(kHeaderFields, &HeaderField::box, box);
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
    static const HeaderField& field = HeaderFields()[static_cast<size_t>(HeaderFieldIndex("EdCheckSum"))];
    return FieldPosition(field, peOffset, 0);
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
