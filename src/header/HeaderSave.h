#pragma once
// Save as one transaction: the values shown go into the file and nothing else does. Nothing
// is written when a value does not fit its field or the open file is no longer the file that
// was opened; a failed write or flush puts the old bytes back; edited fields that lie beyond
// the end of the file are named, not silently dropped.
#include "header/HeaderWriter.h"
#include "header/ImageReader.h"

#include "base/FileIdentity.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class FileStream;

enum class SaveOutcome : uint8_t {
    Saved, // written and flushed (notWritten may still name edited fields past the end)
    Refused, // nothing written: a value does not fit, or the file changed since it was opened
    Unchanged, // a read, write or the flush failed; the file holds its old bytes again
    Damaged, // a write or the flush failed and not every old byte could be put back
};

enum class FileChange : uint8_t {
    None,
    Gone, // no file under its name any more (deleted or renamed)
    Replaced, // another file under its name
    Truncated, // shorter than when it was opened
    NotMz, // no longer starts with "MZ"
    Unknown, // it could not be checked (error says why)
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Saved;
    FileChange change = FileChange::None;
    uint64_t sizeAtOpen = 0; // Truncated: the sizes then and now
    uint64_t sizeNow = 0;
    std::optional<FieldRef> tooWide; // Refused because this value does not fit its field
    std::string error; // Unchanged, Damaged, Unknown: what failed
    uint64_t unrestoredPosition = 0; // Damaged: the first range not put back
    uint64_t unrestoredLength = 0;
    // Edited fields (value cut to the field differs from the value read at open) that lie
    // wholly or partly beyond the end of the file: none of their bytes is written.
    std::vector<FieldRef> notWritten;
    size_t writes = 0; // write calls the save made (flushes and restoring writes not counted)
};

// The values the window holds right after it opened the file, before any edit: every value as
// read, in the layout as read, with the data directory entries shown and every section.
// Saving it rewrites the file's own bytes; edits are applied to it with SetInputValue.
HeaderWriteInput WriteInputAsRead(const ImageHeaders& opened);

// What Save writes for input into a file opened as `opened`, before it checks the file: the
// first value that does not fit its field (then nothing is written), the write plan, and the
// edited fields it leaves out because the file ends before them.
struct SavePlan {
    std::optional<FieldRef> tooWide;
    WritePlan plan;
    std::vector<FieldRef> notWritten;
};
SavePlan PlanSave(const HeaderWriteInput& input, const ImageHeaders& opened);

// The checksum the file will have once Save writes input: the file's bytes as they are now,
// with the save plan laid over them in memory (nothing is written). Nothing when Save would
// refuse a value that does not fit its field. Throws when the file cannot be read.
std::optional<uint32_t> ChecksumAfterSave(
    const HeaderWriteInput& input, const ImageHeaders& opened, const ByteReader& file);

// Saves input into an image that has no name (in memory). opened is what the reader gave when
// the image was opened: its size bounds every write, its values tell edited fields apart.
SaveResult SaveHeaders(const HeaderWriteInput& input, const ImageHeaders& opened, ByteWriter& file);

// Saves into the open file, after checking that the file under its name is still the one
// held open (device and inode as atOpen), that it is no shorter than at open and that it
// still starts with "MZ".
SaveResult SaveHeaders(
    const HeaderWriteInput& input, const ImageHeaders& opened, FileStream& file, const FileIdentity& atOpen);

// A section's name in UTF-8 (its bytes read as Latin-1).
std::string SectionNameText(const SectionValues& section);
// A section's page caption as the window shows it: the name, and "  *" when the section
// holds the entry point.
std::string SectionCaption(const SectionValues& section);

// How messages name a field (FieldDisplayName), given the page captions of the sections.
std::string SavedFieldName(const FieldRef& ref, std::span<const std::string> sectionCaptions);

// The text the user is shown for a result; fileName as the user knows it.
std::string SaveResultText(
    const SaveResult& result, std::string_view fileName, std::span<const std::string> sectionCaptions);

inline constexpr std::string_view kSaveCompleteText = "Save complete!";
