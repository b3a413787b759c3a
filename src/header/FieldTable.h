#pragma once
// The header field tables: every shown header field as data. The reader, the writer, the radix
// toggle and the window all walk these tables: the PE32 layout (every magic but 0x20B), the
// PE32+ layout (magic 0x20B) and the data directories that follow either.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

enum class HeaderStructure : uint8_t { Dos, File, Optional, Section };

// The display class fixes the hexadecimal digit count and the parse width.
enum class ValueClass : uint8_t {
    Byte, // 2 hex digits, parsed at 32 bits
    Word, // 4 hex digits, parsed at 32 bits
    Dword, // 8 hex digits, parsed at 64 bits
    Qword, // 16 hex digits, parsed as 64-bit unsigned (the 8-byte fields of PE32+)
};

// The layout of the optional header, chosen by its magic as read when the file is opened.
enum class OptionalLayout : uint8_t { Pe32, Pe32Plus };

inline constexpr uint32_t kPe32PlusMagic = 0x20B;

constexpr OptionalLayout LayoutForMagic(uint64_t magic)
{
    return magic == kPe32PlusMagic ? OptionalLayout::Pe32Plus : OptionalLayout::Pe32;
}

// Every field of the tables by identity: the 46 header rows in table order, the DOS header's
// other words, the data directory entries (RVA and size of each) and the section rows. The
// window's table gives each its box; here they are only numbers, so a misspelt field does not build.
enum class FieldId : uint8_t {
    // DOS header
    LastPage,
    Pages,
    SizeHd,
    MinRam,
    MaxRam,
    SS,
    SP,
    IP,
    CS,
    // File header
    Machine,
    Sections,
    DateStamp,
    SymbolTable,
    Symbols,
    SizeOptHd,
    Char,
    // Optional header, standard fields
    Magic,
    MajorLinker,
    MinorLinker,
    Code,
    InitData,
    UnInitData,
    EntryPoint,
    BaseCode,
    BaseData,
    // Optional header, additional fields
    ImageBase,
    SectionAlign,
    FileAlign,
    MajorOS,
    MinorOS,
    MajorImage,
    MinorImage,
    MajorSubsystem,
    MinorSubsystem,
    Win32Version,
    SizeImage,
    Win32SizeHd,
    CheckSum,
    Subsystem,
    DLLChar,
    StackRes,
    StackCom,
    HeapRes,
    HeapCom,
    LoaderFlags,
    Rva,
    // The DOS header's other words, e_lfanew last
    Relocs,
    RelocTable,
    Overlay,
    Res0,
    Res1,
    Res2,
    Res3,
    OemId,
    OemInfo,
    Res2_0,
    Res2_1,
    Res2_2,
    Res2_3,
    Res2_4,
    Res2_5,
    Res2_6,
    Res2_7,
    Res2_8,
    Res2_9,
    Lfanew,
    // Data directory entry i: RVA at DirRva0 + 2 i, size after it
    DirRva0,
    DirSize0,
    DirRva1,
    DirSize1,
    DirRva2,
    DirSize2,
    DirRva3,
    DirSize3,
    DirRva4,
    DirSize4,
    DirRva5,
    DirSize5,
    DirRva6,
    DirSize6,
    DirRva7,
    DirSize7,
    DirRva8,
    DirSize8,
    DirRva9,
    DirSize9,
    DirRva10,
    DirSize10,
    DirRva11,
    DirSize11,
    DirRva12,
    DirSize12,
    DirRva13,
    DirSize13,
    DirRva14,
    DirSize14,
    DirRva15,
    DirSize15,
    // Section header rows 0..8, then the name
    VirtualSize,
    VirtualAddress,
    SizeOfRawData,
    PointerToRawData,
    PointerToRelocations,
    PointerToLinenumbers,
    NumberOfRelocations,
    NumberOfLinenumbers,
    SectionCharacteristics,
    SectionName,
};

struct HeaderField {
    FieldId id;
    // The label caption; messages name the field by it (the window's and the command line's).
    std::string_view caption;
    HeaderStructure structure;
    uint32_t offset; // from the start of its structure
    uint8_t width; // bytes in the file: 1, 2, 4 or 8; 0 for a box the layout does not have
    ValueClass valueClass;
    // Width at which Save parses the box: 32 or 64 bits. It follows the display class
    // except for section rows 6 and 7, which are shown as dwords but saved from 32 bits.
    uint8_t parseBits;
    // The field's name as the PE/COFF documentation and common parsers spell it (e_cblp,
    // TimeDateStamp, SizeOfRawData, ...); directory rows are VirtualAddress and Size. The
    // command line and its JSON use these names.
    std::string_view peName;

    // False for a box its layout leaves out (Base Of Data in PE32+): never read, converted,
    // validated or written.
    constexpr bool Present() const { return width != 0; }
};

// Width at which the radix toggle parses a box of this class: 32 or 64 bits (a qword box is
// read as 64-bit unsigned).
constexpr int ToggleParseBits(ValueClass valueClass)
{
    return valueClass == ValueClass::Dword || valueClass == ValueClass::Qword ? 64 : 32;
}

inline constexpr int kDosFieldCount = 9;
inline constexpr int kFileFieldCount = 7;
inline constexpr int kOptionalFieldCount = 30;
inline constexpr int kHeaderFieldCount = kDosFieldCount + kFileFieldCount + kOptionalFieldCount; // 46
inline constexpr int kSectionRowCount = 9;
inline constexpr int kSectionFlagCount = 13;
inline constexpr int kMaxSections = 96;
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr int kDataDirectoryCount = 16;
inline constexpr int kDataDirectoryFieldCount = 2 * kDataDirectoryCount; // RVA and size of each

// The 46 DOS, file and optional header rows of the PE32 layout, in table order.
std::span<const HeaderField> HeaderFields();
// The same 46 boxes in the given layout: row i is the same box in both.
std::span<const HeaderField> HeaderFields(OptionalLayout layout);
// Slices of HeaderFields().
std::span<const HeaderField> DosFields();
std::span<const HeaderField> FileFields();
std::span<const HeaderField> OptionalFields();
std::span<const HeaderField> OptionalFields(OptionalLayout layout);

// Bytes of the optional header before its data directories: 96 (PE32) or 112 (PE32+).
uint32_t OptionalFixedSize(OptionalLayout layout);

// The data directory rows of a layout: entry i has its RVA at row 2 i and its size at 2 i + 1
// (boxes EdDirRva<i> and EdDirSize<i>, 4 bytes each, optional-header offsets after the fixed part).
std::span<const HeaderField> DataDirectoryFields(OptionalLayout layout);
// "Export", "Import", ... "Reserved", entry i = 0..15.
std::span<const std::string_view> DataDirectoryNames();
// How many entries are shown, edited and saved: entry i counts when i < NumberOfRvaAndSizes and
// its 8 bytes lie within SizeOfOptionalHeader (both as read), so the entries shown are a prefix.
int DataDirectoryEntriesShown(OptionalLayout layout, uint64_t rvaCount, uint16_t optHeaderSize);
// The nine rows of a section page.
std::span<const HeaderField> SectionFields();
// A section's name: 8 bytes at the start of its header (Latin-1, zero padded). In a write plan
// its value is the 8 bytes read little-endian.
const HeaderField& SectionNameField();
inline constexpr int kSectionNameBytes = 8;
uint64_t PackSectionName(std::string_view latin1);

// The DOS header's other words (e_crlc, e_lfarlc, e_ovno, e_res, e_oemid, e_oeminfo, e_res2)
// and e_lfanew last, which is shown but never written: moving the PE header is not patching it.
inline constexpr int kDosExtraFieldCount = 20;
std::span<const HeaderField> DosExtraFields();
inline constexpr int kLfanewExtraIndex = kDosExtraFieldCount - 1;
// Index in DosExtraFields() of the row with that PE name, or -1.
int DosExtraFieldIndexByPeName(std::string_view peName);

// Index in HeaderFields() (either layout) of the row with that PE/COFF name, or -1.
int HeaderFieldIndexByPeName(std::string_view peName);

// Where a field stands in its table. Asking a table for a field of another one is a mistake of
// the caller: it does not build where the index is a constant, and throws otherwise.
constexpr int FieldTableIndex(FieldId id, FieldId first, int count)
{
    const int index = static_cast<int>(id) - static_cast<int>(first);
    if (index < 0 || index >= count)
        throw std::out_of_range("field of another table");
    return index;
}
// Index in HeaderFields(layout) of a header row.
constexpr int HeaderIndex(FieldId id)
{
    return FieldTableIndex(id, FieldId::LastPage, kHeaderFieldCount);
}
// Index in DosExtraFields().
constexpr int DosExtraIndex(FieldId id)
{
    return FieldTableIndex(id, FieldId::Relocs, kDosExtraFieldCount);
}
// Index in DataDirectoryFields(layout): entry i's RVA at 2 i, its size at 2 i + 1.
constexpr int DirectoryIndex(FieldId id)
{
    return FieldTableIndex(id, FieldId::DirRva0, kDataDirectoryFieldCount);
}
constexpr FieldId DirectoryFieldId(int index)
{
    return static_cast<FieldId>(static_cast<int>(FieldId::DirRva0) + index);
}
// Row of SectionFields().
constexpr int SectionRowIndex(FieldId id)
{
    return FieldTableIndex(id, FieldId::VirtualSize, kSectionRowCount);
}
inline constexpr int kFieldIdCount = static_cast<int>(FieldId::SectionName) + 1;
// The row of any field in the layout's table (a section row or name for the section ids).
const HeaderField& FieldOf(FieldId id, OptionalLayout layout = OptionalLayout::Pe32);

// Section characteristics check boxes: captions and bits, flag f = 0..12.
std::span<const std::string_view> CharacteristicTexts();
std::span<const uint32_t> CharacteristicMasks();

// File characteristics flags (caption, bit) in the order of the window's check boxes: the four
// classic boxes, then the other twelve bits from the lowest.
struct FileFlag {
    std::string_view caption;
    uint16_t bit;
};
std::span<const FileFlag> FileCharacteristicFlags();

// DLL characteristics flags (caption, bit of DllCharacteristics), in display order.
std::span<const FileFlag> DllCharacteristicFlags();

// The captions of the flags set in value, in the flags' order.
std::vector<std::string_view> FlagCaptions(std::span<const FileFlag> flags, uint64_t value);
// The captions of the section characteristics set in value, in check box order.
std::vector<std::string_view> SectionFlagCaptions(uint64_t value);

// Absolute file position of a field, computed in 32-bit unsigned arithmetic.
// section is only used for section rows.
uint32_t FieldPosition(
    const HeaderField& field, uint32_t peOffset, uint16_t optHeaderSize, uint32_t section = 0);

// File position of the 4 CheckSum bytes (the same in both layouts), in 32-bit arithmetic.
uint32_t CheckSumPosition(uint32_t peOffset);
