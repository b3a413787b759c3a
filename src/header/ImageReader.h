#pragma once
// Reads the headers of a PE image into values in the order of the header field table of its
// layout (PE32+ for magic 0x20B, PE32 for every other), with the data directories shown.
// Bytes missing at the end of the file read as 0; nothing is read out of bounds.
#include "header/FieldTable.h"

#include "base/ByteIo.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ImageKind {
    NotMz, // no "MZ": rejected, nothing to show
    DosOnly, // "MZ" but no "PE" at a PE offset from 5 to size + 4: DOS header page only
    Pe, // the full display
    TooManySections, // more than 96 sections: rejected after the DOS values were read
};

struct SectionValues {
    std::string name; // bytes up to the first zero, at most 8
    uint64_t rawName = 0; // all 8 name bytes, little-endian (what Save writes back unedited)
    std::array<uint32_t, kSectionRowCount> rows{};
    bool holdsEntryPoint = false; // the page caption gets "  *"
};

struct ImageHeaders {
    ImageKind kind = ImageKind::NotMz;
    uint64_t fileSize = 0;
    // The optional header's layout, from its magic as read (Pe only).
    OptionalLayout layout = OptionalLayout::Pe32;
    // Values in HeaderFields(layout) order; the DOS part is valid unless NotMz, the rest only for
    // Pe. A box the layout does not have reads as 0.
    std::array<uint64_t, kHeaderFieldCount> values{};
    // The DOS header's other words and e_lfanew, in DosExtraFields() order (valid unless NotMz).
    std::array<uint64_t, kDosExtraFieldCount> dosExtra{};
    // Data directories in DataDirectoryFields(layout) order (entry i: RVA 2 i, size 2 i + 1);
    // only the first directoryEntries entries are shown and read, the others are 0.
    std::array<uint32_t, kDataDirectoryFieldCount> directories{};
    int directoryEntries = 0;
    uint32_t peOffset = 0;
    uint16_t sectionCount = 0; // as read (also when there are too many)
    uint16_t optHeaderSize = 0;
    std::vector<SectionValues> sections; // Pe only, sectionCount entries
    // Caption of LabelFileoffset: the entry point's file offset, or the entry point
    // itself when no section holds it.
    uint32_t entryPointFileOffset = 0;
    bool entryPointFound = false;
};

ImageHeaders ReadImageHeaders(const ByteReader& image);

// Where the headers the reader looked at end: the DOS header (64 bytes) for DosOnly, else the
// end of the optional header's fixed part, of the data directories shown and of the section
// table, whichever lies last. A file shorter than this had missing bytes read as 0.
uint64_t HeadersEnd(const ImageHeaders& headers);

// What the window says when it rejects a file (NotMz, and after kTooManySectionsText for
// TooManySections).
inline constexpr std::string_view kNotPeText = "The file does not have a valid MZ or PE header.";
inline constexpr std::string_view kTooManySectionsText = "To many sections. File might be corrupted.";
