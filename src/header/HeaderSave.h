#pragma once
// Save as one transaction: the values shown go into the file and nothing else does. Under an
// exclusive lock the header bytes are read again, the fields are laid into one byte image
// (unedited fields first, edited ones last, so an edit wins where header structures overlap)
// and the span from the first to the last byte written goes out in one write, then a flush
// (planned bytes more than 64 KiB apart, as only a hostile PE offset makes them, go in one
// write per run).
// Nothing is written when a value does not fit its field, two edited fields disagree on a
// byte, or the open file is no longer the file that was opened; a failed write puts the old
// bytes back; afterwards every edited field must read back its value and the size must be
// unchanged. Edited fields that lie beyond the end of the file are named, not dropped.
#include "header/HeaderWriter.h"
#include "header/ImageReader.h"

#include "base/FileIdentity.h"

#include <chrono>
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
    Unchanged, // the read or the write failed; the file holds its old bytes again
    Damaged, // the write failed and not every old byte could be put back
    NotFlushed, // written, but the flush failed: the bytes may not have reached the disk
    SizeChanged, // written, but the file's size changed meanwhile (sizeAtOpen: at the check)
    NotVerified, // written, but the edited `fields` do not read back their new values
};

enum class FileChange : uint8_t {
    None,
    Gone, // no file under its name any more (deleted or renamed)
    Replaced, // another file under its name
    Truncated, // shorter than when it was opened
    NotMz, // no longer starts with "MZ"
    Locked, // another program kept its lock for all of lockWait
    ChangedSinceOpen, // the `fields` hold other values on disk than when it was opened
    Overlap, // the two `fields` share bytes but were given different values
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
    std::vector<FieldRef> fields; // see ChangedSinceOpen, Overlap, NotVerified
    std::chrono::milliseconds lockWait{0};
    size_t writes = 0; // write calls the save made (flushes and restoring writes not counted)
    // Once written: what the written ranges hold now (read back), for AdoptSavedBytes.
    std::vector<WriteRange> readBack;
};

// How long a save waits for another holder's lock on the file.
inline constexpr std::chrono::milliseconds kSaveLockWait{5000};

struct SaveChecks {
    // The window's check: the header bytes on disk must still hold the values read at open
    // (`opened`); a field that differs refuses the save, so no one else's change is undone.
    bool sameAsOpened = false;
    // Fields that count as edited even when their value is the one read (the command line's
    // assignments): they win over overlapping fields and must read back.
    std::vector<FieldRef> assigned;
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
    std::vector<FieldRef> fields; // the field of each plan item
    std::vector<FieldRef> notWritten;
};
SavePlan PlanSave(const HeaderWriteInput& input, const ImageHeaders& opened);

// The byte image Save would write for input, nothing written: the spans of the file it rewrites,
// with the fields laid over the file's bytes as they are now. Nothing when Save would refuse a
// value that does not fit its field or two edited fields that disagree. Throws when the file
// cannot be read.
std::optional<std::vector<WriteRange>> SaveImageRanges(const HeaderWriteInput& input,
    const ImageHeaders& opened, const ByteReader& file, const SaveChecks& checks = {});

// The checksum the file will have once Save writes input: the file's bytes as they are now,
// with the save's byte image laid over them in memory (nothing is written). Nothing when Save
// would refuse a value that does not fit its field or two edited fields that disagree.
// Throws when the file cannot be read.
std::optional<uint32_t> ChecksumAfterSave(const HeaderWriteInput& input, const ImageHeaders& opened,
    const ByteReader& file, const SaveChecks& checks = {});

// Saves input into an image that has no name (in memory), or into a file the caller has
// locked. opened is what the reader gave when the image was opened: its size bounds every
// write, its values tell edited fields apart.
SaveResult SaveHeaders(const HeaderWriteInput& input, const ImageHeaders& opened, ByteWriter& file,
    const SaveChecks& checks = {});

// Saves into the open file under an exclusive lock (taken here unless the stream holds it),
// after checking that the file under its name is still the one held open (device and inode
// as atOpen), that it is no shorter than at open and that it still starts with "MZ".
SaveResult SaveHeaders(const HeaderWriteInput& input, const ImageHeaders& opened, FileStream& file,
    const FileIdentity& atOpen, const SaveChecks& checks = {});

// The value opened holds for a field (0 for a section the reader did not see).
uint64_t OpenedFieldValue(const ImageHeaders& opened, const FieldRef& ref);

// After a save that wrote: makes opened hold the values the file holds now at the positions
// it was read from, so the next save compares with them. Answers the fields whose value now
// differs from input's (an edited field overlapping them was written over them).
std::vector<FieldRef> AdoptSavedBytes(
    ImageHeaders& opened, const HeaderWriteInput& input, const SaveResult& result);

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
