#pragma once
// Turns parsed header values into a write plan and applies it to the open file.
#include "FieldTable.h"

#include "ByteIo.h"

#include <array>
#include <cstdint>
#include <vector>

struct WriteItem {
    uint32_t position; // absolute file position, 32-bit arithmetic
    uint8_t width;     // 1, 2 or 4 bytes
    uint32_t value;    // already cut to width; written little-endian
};

struct WritePlan {
    std::vector<WriteItem> items;
};

struct HeaderWriteInput {
    // Parsed values in HeaderFields() order (already cut or not; the plan cuts them).
    std::array<int64_t, kHeaderFieldCount> values{};
    bool hasPe = false; // file and optional header (and sections) are written only then
    uint32_t peOffset = 0;
    uint16_t optHeaderSize = 0;
    // sectionCount x 9 parsed section rows, as loaded (not the edited count).
    std::vector<std::array<int64_t, kSectionRowCount>> sections;
};

// The plan in write order: DOS rows (skipping offsets 6 and 18), file header, optional
// header, then each section's rows 0..8 at PEOffset + 24 + OptHeaderSize + 40 i + 8.
WritePlan BuildWritePlan(const HeaderWriteInput& input);

// Writes every item, skipping the bytes of an item that lie at or beyond sizeLimit
// (the file's size when it was opened), so the file never grows. Every write is checked
// (EWriteError names the file and the reason); the file is flushed at the end.
void ApplyWritePlan(const WritePlan& plan, ByteWriter& file, uint64_t sizeLimit);
