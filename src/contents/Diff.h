#pragma once
// Two images compared part by part, each difference named as show --contents names the part
// (header fields by their PE/COFF names, sections, directories, imports, exports, resources,
// debug entries, Rich header, overlay, signature), then the bytes that still differ: per
// region (the headers, each section's raw data, the overlay) the count and ranges of the
// differing bytes that no named difference covers.
#include "contents/Contents.h"

#include <cstdint>
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
