#pragma once
// Turns parsed header values into a write plan and applies it to the open file, all or
// nothing: the old bytes of every range are kept, and a failed write or flush puts them back.
#include "header/FieldTable.h"

#include "base/ByteIo.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct WriteItem {
    uint32_t position; // absolute file position, 32-bit arithmetic
    uint8_t width; // 1, 2, 4 or 8 bytes
    uint64_t value; // already cut to width; written little-endian
};

struct WritePlan {
    std::vector<WriteItem> items;
};

struct HeaderWriteInput {
    // The layout of the optional header as read at open; it fixes where each value goes.
    OptionalLayout layout = OptionalLayout::Pe32;
    // Parsed values in HeaderFields(layout) order (already cut or not; the plan cuts them). A
    // box the layout does not have is never written.
    std::array<int64_t, kHeaderFieldCount> values{};
    bool hasPe = false; // file and optional header (and sections) are written only then
    uint32_t peOffset = 0;
    uint16_t optHeaderSize = 0;
    // The data directory entries shown (ImageHeaders::directoryEntries of them): RVA, size.
    std::vector<std::array<int64_t, 2>> directories;
    // sectionCount x 9 parsed section rows, as loaded (not the edited count).
    std::vector<std::array<int64_t, kSectionRowCount>> sections;
    // Values outside the header (time stamps in the directories), written with it in the same
    // transaction; each lies inside the file. They are no field: PlannedFields does not list them.
    std::vector<WriteItem> extra;
    // The DOS header's other words in DosExtraFields() order (e_lfanew is never written); an
    // input that does not carry them leaves those bytes alone.
    bool hasDosExtra = false;
    std::array<int64_t, kDosExtraFieldCount> dosExtra{};
    // Each section's 8 name bytes little-endian (PackSectionName); written only when there is
    // one for every section.
    std::vector<uint64_t> sectionNames;
};

// A written field: a row of HeaderFields(layout) (section kHeader), a row of
// DataDirectoryFields(layout) (section kDirectories), or row `index` of section page `section`.
struct FieldRef {
    static constexpr int kHeader = -1;
    static constexpr int kDirectories = -2;
    static constexpr int kDosExtra = -3; // a row of DosExtraFields()
    static constexpr int kNameRow = kSectionRowCount; // a section's name (SectionNameField())
    int section = kHeader;
    int index = 0;
    OptionalLayout layout = OptionalLayout::Pe32;
    const HeaderField& Field() const;
    bool operator==(const FieldRef&) const = default;
};

// The fields the plan writes, in plan order (the same order as WritePlan::items).
std::vector<FieldRef> PlannedFields(const HeaderWriteInput& input);
// The parsed value of a field in the input.
int64_t InputValue(const HeaderWriteInput& input, const FieldRef& ref);
// Replaces it (the field must be one PlannedFields(input) lists).
void SetInputValue(HeaderWriteInput& input, const FieldRef& ref, int64_t value);
// Where the save writes the field: its file position from the input's PE offset and optional
// header size (32-bit, as the reader reads it).
uint32_t InputPosition(const HeaderWriteInput& input, const FieldRef& ref);

// The plan in write order: DOS rows (skipping offsets 6 and 18), file header, optional
// header (the rows its layout has), the data directory entries shown, then each section's
// rows 0..8 at PEOffset + 24 + OptHeaderSize + 40 i + 8.
WritePlan BuildWritePlan(const HeaderWriteInput& input);

// One write: adjacent bytes of the plan.
struct WriteRange {
    uint64_t position = 0;
    std::vector<uint8_t> bytes;
};

// The plan's bytes below sizeLimit (the file's size when it was opened, so the file never
// grows), in plan order, an item joining the run before it when it starts where that run
// ends. Joining changes no byte: only bytes the plan writes anyway are in a run.
std::vector<WriteRange> JoinWriteRanges(const WritePlan& plan, uint64_t sizeLimit);

enum class WriteOutcome : uint8_t {
    Written, // every range written and flushed
    Unchanged, // a read, write or the flush failed; the file holds its old bytes again
    Damaged, // a write or the flush failed and the old bytes could not all be put back
};

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Written;
    std::string error; // the failure, as its error message says it
    uint64_t unrestoredPosition = 0; // Damaged: the first range not known to be restored
    uint64_t unrestoredLength = 0;
    size_t ranges = 0; // writes the plan takes (flush not counted)
};

// A file's bytes as they would be after the ranges were written: nothing is written, the
// ranges are laid over what the file gives as it is read.
class PlannedBytes : public ByteReader {
public:
    PlannedBytes(const ByteReader& file, std::vector<WriteRange> ranges);
    uint64_t Size() const override { return FFile.Size(); }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override;

private:
    const ByteReader& FFile;
    std::vector<WriteRange> FRanges;
};

// Reads the old bytes of every range, writes the ranges and flushes. When a write or the
// flush fails, writes the old bytes back (in reverse order) and flushes again; a range whose
// restoring write fails counts as restored only when reading it back gives the old bytes.
WriteResult ApplyWritePlan(const WritePlan& plan, ByteWriter& file, uint64_t sizeLimit);
