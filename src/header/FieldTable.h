#pragma once
// The header field table: every shown header field as data. The reader, the writer,
// the radix toggle and the window all walk this one table.
#include <cstdint>
#include <span>
#include <string_view>

enum class HeaderStructure : uint8_t { Dos, File, Optional, Section };

// The display class fixes the hexadecimal digit count and the parse width.
enum class ValueClass : uint8_t {
    Byte, // 2 hex digits, parsed at 32 bits
    Word, // 4 hex digits, parsed at 32 bits
    Dword, // 8 hex digits, parsed at 64 bits
};

enum class FieldPage : uint8_t { TabMZ, TabFileHd, TabStandard, TabNT, SectionPage };

struct HeaderField {
    std::string_view box; // objectName of the edit; empty for section rows
    std::string_view caption; // label caption
    HeaderStructure structure;
    uint32_t offset; // from the start of its structure
    uint8_t width; // bytes in the file: 1, 2 or 4
    uint8_t maxLength; // the edit's maximum text length
    FieldPage page;
    ValueClass valueClass;
    // Width at which Save parses the box: 32 or 64 bits. It follows the display class
    // except for section rows 6 and 7, which are shown as dwords but saved from 32 bits.
    uint8_t parseBits;
};

// Width at which the radix toggle parses a box of this class: 32 or 64 bits.
constexpr int ToggleParseBits(ValueClass valueClass)
{
    return valueClass == ValueClass::Dword ? 64 : 32;
}

inline constexpr int kDosFieldCount = 9;
inline constexpr int kFileFieldCount = 7;
inline constexpr int kOptionalFieldCount = 30;
inline constexpr int kHeaderFieldCount = kDosFieldCount + kFileFieldCount + kOptionalFieldCount; // 46
inline constexpr int kSectionRowCount = 9;
inline constexpr int kSectionFlagCount = 13;
inline constexpr int kMaxSections = 96;
inline constexpr uint32_t kSectionHeaderSize = 40;

// The 46 DOS, file and optional header rows, in table order.
std::span<const HeaderField> HeaderFields();
// Slices of HeaderFields().
std::span<const HeaderField> DosFields();
std::span<const HeaderField> FileFields();
std::span<const HeaderField> OptionalFields();
// The nine rows of a section page.
std::span<const HeaderField> SectionFields();

// Index in HeaderFields() of the box with that name, or -1.
int HeaderFieldIndex(std::string_view box);

// Index of EdEntryPoint in HeaderFields(); LabelFileoffset follows it in the converted set.
int EntryPointFieldIndex();

// Section characteristics check boxes: captions and bits, flag f = 0..12.
std::span<const std::string_view> CharacteristicTexts();
std::span<const uint32_t> CharacteristicMasks();

// File characteristics check boxes (box name, caption, bit), in the group box's order.
struct FileFlag {
    std::string_view box;
    std::string_view caption;
    uint16_t bit;
};
std::span<const FileFlag> FileCharacteristicFlags();

// Absolute file position of a field, computed in 32-bit unsigned arithmetic.
// section is only used for section rows.
uint32_t FieldPosition(
    const HeaderField& field, uint32_t peOffset, uint16_t optHeaderSize, uint32_t section = 0);
