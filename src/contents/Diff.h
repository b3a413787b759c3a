#pragma once
// Two images compared part by part, each difference named as show --contents names the part
// (header fields by their PE/COFF names, sections, directories, imports, exports, resources,
// debug entries, Rich header, overlay, signature), then the bytes that still differ: per
// region (the headers, each section's raw data, the overlay) the count and ranges of the
// differing bytes that no named difference covers.
#include "contents/Contents.h"
#include "header/HeaderWriter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class DiffChange : uint8_t { Changed, Added, Removed };

struct DiffByteRange {
    uint64_t offsetA = 0;
    uint64_t offsetB = 0;
    uint64_t length = 0;
};

struct Difference {
    std::string part; // "header", "directory", "section", "imports", ..., "bytes"
    std::string name; // "Machine", "section.2.Characteristics", "imports.KERNEL32.dll.CreateFileW"
    DiffChange change = DiffChange::Changed;
    std::optional<uint64_t> oldValue, newValue; // numbers
    std::string oldText, newText; // names, dates, texts ("x64", a PDB path)
    std::vector<std::string> flagsAdded, flagsRemoved;
    // bytes: the region and what differs in it; ranges beyond kMaxDiffRanges are counted only.
    uint64_t count = 0;
    std::vector<DiffByteRange> ranges;
    uint64_t rangeCount = 0;
    // The header field of A it names (a box of the window), when A has that field: a section's
    // name row also stands for a whole section B lacks. otherSection: B's index of the section
    // a section row of A was matched with.
    std::optional<FieldRef> field;
    int otherSection = -1;
};

inline constexpr size_t kMaxDiffRanges = 64;

struct DiffSide {
    const ByteReader& file;
    const ImageHeaders& headers;
    const ImageContents& contents;
};

// Every difference between two PE images, named parts first, then the bytes. Throws when a
// file cannot be read.
std::vector<Difference> DiffImages(const DiffSide& a, const DiffSide& b);

// "changed", "added", "removed"
std::string_view DiffChangeName(DiffChange change);

// How a difference reads in words, numbers (values and offsets) written by number: the value
// part ("0x14C -> 0x8664 (i386 -> x64)", "added \"KERNEL32.dll\"", "3 differ in 1 range: ...")
// and the whole line ("Machine: ...", "bytes in headers: ...").
using DiffNumberText = std::function<std::string(uint64_t)>;
std::string DifferenceValueText(const Difference& d, const DiffNumberText& number);
std::string DifferenceText(const Difference& d, const DiffNumberText& number);
