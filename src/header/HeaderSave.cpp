#include "header/HeaderSave.h"

#include "base/Errors.h"
#include "base/FileStream.h"
#include "header/Checksum.h"
#include "header/FieldValue.h"

#include <cerrno>
#include <cstdio>
#include <exception>

namespace {

uint64_t WidthMask(int width)
{
    return width >= 8 ? ~0ull : (1ull << (8 * width)) - 1;
}

// The value read at open for a field; a section the reader did not see reads as 0.
uint64_t OpenedValue(const ImageHeaders& opened, const FieldRef& ref)
{
    if (ref.section == FieldRef::kHeader)
        return opened.values[static_cast<size_t>(ref.index)];
    if (ref.section == FieldRef::kDirectories)
        return opened.directories[static_cast<size_t>(ref.index)];
    const auto section = static_cast<size_t>(ref.section);
    if (section >= opened.sections.size())
        return 0;
    return opened.sections[section].rows[static_cast<size_t>(ref.index)];
}

SaveResult Refused(FileChange change)
{
    SaveResult result;
    result.outcome = SaveOutcome::Refused;
    result.change = change;
    return result;
}

// What every file can be checked for: no shorter than at open, still starting with "MZ".
std::optional<SaveResult> CheckContent(ByteWriter& file, uint64_t sizeAtOpen)
{
    try {
        const uint64_t size = file.Size();
        if (size < sizeAtOpen) {
            SaveResult result = Refused(FileChange::Truncated);
            result.sizeAtOpen = sizeAtOpen;
            result.sizeNow = size;
            return result;
        }
        char signature[2] = {};
        if (file.ReadAt(0, signature, 2) != 2 || signature[0] != 'M' || signature[1] != 'Z')
            return Refused(FileChange::NotMz);
    } catch (const std::exception& error) {
        SaveResult result = Refused(FileChange::Unknown);
        result.error = error.what();
        return result;
    }
    return std::nullopt;
}

std::string Hex(uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

HeaderWriteInput WriteInputAsRead(const ImageHeaders& opened)
{
    HeaderWriteInput input;
    input.hasPe = opened.kind == ImageKind::Pe;
    input.layout = input.hasPe ? opened.layout : OptionalLayout::Pe32;
    const size_t count = input.hasPe ? input.values.size() : static_cast<size_t>(kDosFieldCount);
    for (size_t i = 0; i < count; ++i)
        input.values[i] = static_cast<int64_t>(opened.values[i]);
    if (!input.hasPe)
        return input;
    input.peOffset = opened.peOffset;
    input.optHeaderSize = opened.optHeaderSize;
    for (size_t e = 0; e < static_cast<size_t>(opened.directoryEntries); ++e)
        input.directories.push_back({opened.directories[2 * e], opened.directories[2 * e + 1]});
    input.sections.reserve(opened.sections.size());
    for (const SectionValues& section : opened.sections) {
        auto& rows = input.sections.emplace_back();
        for (size_t r = 0; r < rows.size(); ++r)
            rows[r] = section.rows[r];
    }
    return input;
}

SavePlan PlanSave(const HeaderWriteInput& input, const ImageHeaders& opened)
{
    SavePlan result;
    const std::vector<FieldRef> fields = PlannedFields(input);
    // A value that does not fit would lose digits: the window refuses it before saving, and
    // so does every other caller, here.
    for (const FieldRef& ref : fields) {
        if (!FieldValueFits(InputValue(input, ref), ref.Field().width)) {
            result.tooWide = ref;
            return result;
        }
    }
    // An edited field the file ends before cannot be stored without growing the file: it is
    // left out whole and named. Unedited fields there hold what was read, so writing their
    // bytes inside the file changes nothing.
    const WritePlan full = BuildWritePlan(input);
    result.plan.items.reserve(full.items.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const WriteItem& item = full.items[i];
        const bool inside = uint64_t(item.position) + item.width <= opened.fileSize;
        const bool edited = (uint64_t(InputValue(input, fields[i])) & WidthMask(item.width))
            != (OpenedValue(opened, fields[i]) & WidthMask(item.width));
        if (!inside && edited)
            result.notWritten.push_back(fields[i]);
        else
            result.plan.items.push_back(item);
    }
    return result;
}

std::optional<uint32_t> ChecksumAfterSave(
    const HeaderWriteInput& input, const ImageHeaders& opened, const ByteReader& file)
{
    const SavePlan save = PlanSave(input, opened);
    if (save.tooWide)
        return std::nullopt;
    // Save writes nothing at or past the size the file had when it was opened.
    const PlannedBytes after(file, JoinWriteRanges(save.plan, opened.fileSize));
    return PeChecksum(after, CheckSumPosition(input.peOffset));
}

SaveResult SaveHeaders(const HeaderWriteInput& input, const ImageHeaders& opened, ByteWriter& file)
{
    SavePlan save = PlanSave(input, opened);
    if (save.tooWide) {
        SaveResult result = Refused(FileChange::None);
        result.tooWide = save.tooWide;
        return result;
    }
    if (std::optional<SaveResult> changed = CheckContent(file, opened.fileSize))
        return *changed;

    SaveResult result;
    result.notWritten = std::move(save.notWritten);
    const WritePlan& plan = save.plan;
    const WriteResult written = ApplyWritePlan(plan, file, opened.fileSize);
    result.writes = written.ranges;
    result.error = written.error;
    switch (written.outcome) {
    case WriteOutcome::Written:
        result.outcome = SaveOutcome::Saved;
        break;
    case WriteOutcome::Unchanged:
        result.outcome = SaveOutcome::Unchanged;
        break;
    case WriteOutcome::Damaged:
        result.outcome = SaveOutcome::Damaged;
        result.unrestoredPosition = written.unrestoredPosition;
        result.unrestoredLength = written.unrestoredLength;
        break;
    }
    return result;
}

SaveResult SaveHeaders(
    const HeaderWriteInput& input, const ImageHeaders& opened, FileStream& file, const FileIdentity& atOpen)
{
    // Checked right before writing: a file deleted, renamed or replaced after it was opened
    // is not the one the user means any more, and writing into the old one would be lost.
    try {
        const FileIdentity open = IdentityOf(file);
        int errorNumber = 0;
        const std::optional<FileIdentity> named = IdentityAt(file.FileName(), errorNumber);
        if (!named && (errorNumber == ENOENT || errorNumber == ENOTDIR))
            return Refused(FileChange::Gone);
        if (!named) {
            SaveResult result = Refused(FileChange::Unknown);
            result.error = SystemErrorText(errorNumber);
            return result;
        }
        if (!named->SameFileAs(open))
            return Refused(FileChange::Replaced);
        if (open.size < atOpen.size) {
            SaveResult result = Refused(FileChange::Truncated);
            result.sizeAtOpen = atOpen.size;
            result.sizeNow = open.size;
            return result;
        }
    } catch (const std::exception& error) {
        SaveResult result = Refused(FileChange::Unknown);
        result.error = error.what();
        return result;
    }
    return SaveHeaders(input, opened, static_cast<ByteWriter&>(file));
}

std::string SectionNameText(const SectionValues& section)
{
    std::string caption;
    for (const char c : section.name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            caption.push_back(c);
        } else {
            caption.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            caption.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return caption;
}

std::string SectionCaption(const SectionValues& section)
{
    return SectionNameText(section) + (section.holdsEntryPoint ? "  *" : "");
}

std::string SavedFieldName(const FieldRef& ref, std::span<const std::string> sectionCaptions)
{
    if (ref.section < 0) // a header or data directory row
        return FieldDisplayName(ref.Field().caption);
    const auto section = static_cast<size_t>(ref.section);
    const std::string page = section < sectionCaptions.size() ? sectionCaptions[section]
                                                              : "section " + std::to_string(ref.section + 1);
    return FieldDisplayName(ref.Field().caption, page);
}

std::string SaveResultText(
    const SaveResult& result, std::string_view fileName, std::span<const std::string> sectionCaptions)
{
    const std::string file(fileName);
    const std::string nothing = " Nothing was written.";
    switch (result.outcome) {
    case SaveOutcome::Saved: {
        if (result.notWritten.empty())
            return std::string(kSaveCompleteText);
        std::string text
            = "Save complete, except for these edited fields, which were not written because the "
              "file ends before them:";
        for (const FieldRef& ref : result.notWritten)
            text.append("\n").append(SavedFieldName(ref, sectionCaptions));
        return text;
    }
    case SaveOutcome::Refused:
        if (result.tooWide)
            return FieldWidthMessage(
                       SavedFieldName(*result.tooWide, sectionCaptions), result.tooWide->Field().width)
                + nothing;
        switch (result.change) {
        case FileChange::Gone:
            return "Cannot save file " + file + ": it was deleted or renamed after it was opened." + nothing;
        case FileChange::Replaced:
            return "Cannot save file " + file + ": another file was put in its place after it was opened."
                + nothing;
        case FileChange::Truncated:
            return "Cannot save file " + file + ": it was truncated from " + std::to_string(result.sizeAtOpen)
                + " to " + std::to_string(result.sizeNow) + " bytes after it was opened." + nothing;
        case FileChange::NotMz:
            return "Cannot save file " + file + ": it no longer starts with \"MZ\"." + nothing;
        case FileChange::Unknown:
        case FileChange::None:
            break;
        }
        return "Cannot save file " + file + ": it cannot be checked. " + result.error + "." + nothing;
    case SaveOutcome::Unchanged:
        return result.error + "; the file was left unchanged.";
    case SaveOutcome::Damaged:
        return result.error + "; the file may be damaged: the " + std::to_string(result.unrestoredLength)
            + " bytes at offset " + Hex(result.unrestoredPosition) + " could not be restored.";
    }
    return result.error;
}
