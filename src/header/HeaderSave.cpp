#include "header/HeaderSave.h"

#include "base/Errors.h"
#include "base/FileStream.h"
#include "header/Checksum.h"
#include "header/FieldValue.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <unordered_map>

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
    if (ref.section == FieldRef::kDosExtra)
        return opened.dosExtra[static_cast<size_t>(ref.index)];
    const auto section = static_cast<size_t>(ref.section);
    if (section >= opened.sections.size())
        return 0;
    if (ref.index == FieldRef::kNameRow)
        return opened.sections[section].rawName;
    return opened.sections[section].rows[static_cast<size_t>(ref.index)];
}

void SetOpenedValue(ImageHeaders& opened, const FieldRef& ref, uint64_t value)
{
    if (ref.section == FieldRef::kHeader)
        opened.values[static_cast<size_t>(ref.index)] = value;
    else if (ref.section == FieldRef::kDirectories)
        opened.directories[static_cast<size_t>(ref.index)] = static_cast<uint32_t>(value);
    else if (ref.section == FieldRef::kDosExtra)
        opened.dosExtra[static_cast<size_t>(ref.index)] = value;
    else if (static_cast<size_t>(ref.section) >= opened.sections.size())
        return;
    else if (ref.index == FieldRef::kNameRow) {
        SectionValues& section = opened.sections[static_cast<size_t>(ref.section)];
        section.rawName = value;
        section.name.clear();
        for (int i = 0; i < kSectionNameBytes && ((value >> (8 * i)) & 0xFF) != 0; ++i)
            section.name.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    } else
        opened.sections[static_cast<size_t>(ref.section)].rows[static_cast<size_t>(ref.index)]
            = static_cast<uint32_t>(value);
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

uint64_t OpenedFieldValue(const ImageHeaders& opened, const FieldRef& ref)
{
    return OpenedValue(opened, ref);
}

HeaderWriteInput WriteInputAsRead(const ImageHeaders& opened)
{
    HeaderWriteInput input;
    input.hasPe = opened.kind == ImageKind::Pe;
    input.layout = input.hasPe ? opened.layout : OptionalLayout::Pe32;
    const size_t count = input.hasPe ? input.values.size() : static_cast<size_t>(kDosFieldCount);
    for (size_t i = 0; i < count; ++i)
        input.values[i] = static_cast<int64_t>(opened.values[i]);
    input.hasDosExtra = true;
    for (size_t i = 0; i < input.dosExtra.size(); ++i)
        input.dosExtra[i] = static_cast<int64_t>(opened.dosExtra[i]);
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
        input.sectionNames.push_back(section.rawName);
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
    result.fields.reserve(full.items.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const WriteItem& item = full.items[i];
        const bool inside = uint64_t(item.position) + item.width <= opened.fileSize;
        const bool edited = (uint64_t(InputValue(input, fields[i])) & WidthMask(item.width))
            != (OpenedValue(opened, fields[i]) & WidthMask(item.width));
        if (!inside && edited) {
            result.notWritten.push_back(fields[i]);
        } else {
            result.plan.items.push_back(item);
            result.fields.push_back(fields[i]);
        }
    }
    for (const WriteItem& item : input.extra) {
        if (uint64_t(item.position) + item.width <= opened.fileSize)
            result.plan.items.push_back(item);
    }
    return result;
}

namespace {

// Planned bytes further apart than this go in separate writes: a hostile PE offset far into a
// big file must not make a save read, hold and rewrite everything in between. Real headers lie
// within a few KiB of each other and always go in one write.
constexpr uint64_t kSpanGap = 64 * 1024;

// One write: from the first to the last planned byte of a run of planned bytes, as read under
// the lock (old), as it will be written (bytes) and as read back afterwards (after).
struct Span {
    uint64_t position = 0;
    std::vector<uint8_t> old;
    std::vector<uint8_t> bytes;
    uint64_t End() const { return position + bytes.size(); }
};

struct SaveImage {
    std::vector<Span> spans;
    std::vector<size_t> edited; // plan items that must read back
    // The span holding pos (every planned byte is in one).
    Span& At(uint64_t pos)
    {
        for (Span& span : spans)
            if (pos >= span.position && pos < span.End())
                return span;
        return spans.front(); // unreachable: ReadSpans covers every planned byte
    }
};

// The plan item's bytes below limit.
struct Clip {
    uint64_t begin = 0;
    uint64_t end = 0;
};
Clip ItemClip(const WriteItem& item, uint64_t limit)
{
    const uint64_t begin = item.position;
    return Clip{begin, std::min<uint64_t>(begin + item.width, std::max(limit, begin))};
}

// Plan items past the fields are the input's extra values (time stamps outside the header):
// laid last, so they win, and checked on read-back like edits.
bool IsExtra(const SavePlan& save, size_t item)
{
    return item >= save.fields.size();
}

bool IsAssigned(const SaveChecks& checks, const FieldRef& ref)
{
    return std::find(checks.assigned.begin(), checks.assigned.end(), ref) != checks.assigned.end();
}

// Reads the spans the plan covers below limit. Answers false when the file gives fewer bytes.
bool ReadSpans(const SavePlan& save, const ByteReader& file, uint64_t limit, SaveImage& image)
{
    std::vector<Clip> clips;
    for (const WriteItem& item : save.plan.items) {
        const Clip clip = ItemClip(item, limit);
        if (clip.begin < clip.end)
            clips.push_back(clip);
    }
    std::sort(clips.begin(), clips.end(), [](const Clip& a, const Clip& b) { return a.begin < b.begin; });
    std::vector<Clip> runs;
    for (const Clip& clip : clips) {
        if (!runs.empty() && clip.begin <= runs.back().end + kSpanGap)
            runs.back().end = std::max(runs.back().end, clip.end);
        else
            runs.push_back(clip);
    }
    for (const Clip& run : runs) {
        Span& span = image.spans.emplace_back();
        span.position = run.begin;
        span.old.resize(static_cast<size_t>(run.end - run.begin));
        if (file.ReadAt(span.position, span.old.data(), span.old.size()) != span.old.size())
            return false;
        span.bytes = span.old;
    }
    return true;
}

// Lays the plan into the spans: unedited items first, then edited ones, so an edit wins
// wherever header structures share bytes. Answers the first two edited fields that want
// different values in one byte.
std::optional<std::pair<FieldRef, FieldRef>> LayImage(const SavePlan& save, const ImageHeaders& opened,
    const SaveChecks& checks, uint64_t limit, SaveImage& image)
{
    const auto& items = save.plan.items;
    auto byteOf = [&](size_t i, uint64_t pos) {
        return static_cast<uint8_t>(items[i].value >> (8 * (pos - items[i].position)));
    };
    std::vector<int> pass(items.size()); // 0 unedited, 1 edited, 2 extra
    for (size_t i = 0; i < items.size(); ++i)
        pass[i] = IsExtra(save, i) ? 2
            : items[i].value != (OpenedValue(opened, save.fields[i]) & WidthMask(items[i].width))
                || IsAssigned(checks, save.fields[i])
            ? 1
            : 0;
    std::unordered_map<uint64_t, size_t> owner; // which edited item wrote a byte
    for (const int round : {0, 1, 2}) {
        for (size_t i = 0; i < items.size(); ++i) {
            const Clip clip = ItemClip(items[i], limit);
            if (pass[i] != round || clip.begin >= clip.end)
                continue;
            if (round == 2)
                image.edited.push_back(i);
            if (round == 1) {
                for (uint64_t b = clip.begin; b < clip.end; ++b) {
                    const auto [at, fresh] = owner.try_emplace(b, i);
                    if (!fresh && byteOf(at->second, b) != byteOf(i, b))
                        return std::pair{save.fields[at->second], save.fields[i]};
                }
                image.edited.push_back(i);
            }
            Span& span = image.At(clip.begin);
            for (uint64_t b = clip.begin; b < clip.end; ++b)
                span.bytes[static_cast<size_t>(b - span.position)] = byteOf(i, b);
        }
    }
    return std::nullopt;
}

// The fields whose bytes on disk differ from the values read at open.
std::vector<FieldRef> ChangedSinceOpen(
    const SavePlan& save, const ImageHeaders& opened, uint64_t limit, SaveImage& image)
{
    std::vector<FieldRef> changed;
    for (size_t i = 0; i < save.fields.size(); ++i) {
        const WriteItem& item = save.plan.items[i];
        const uint64_t value = OpenedValue(opened, save.fields[i]);
        const Clip clip = ItemClip(item, limit);
        for (uint64_t b = clip.begin; b < clip.end; ++b) {
            const Span& span = image.At(b);
            if (span.old[static_cast<size_t>(b - span.position)]
                != static_cast<uint8_t>(value >> (8 * (b - item.position)))) {
                changed.push_back(save.fields[i]);
                break;
            }
        }
    }
    return changed;
}

// Writes old back after a failed write; answers whether the span holds it afterwards (a write
// that fails may still have stored it, so the bytes are read back then).
bool PutBack(ByteWriter& file, uint64_t position, const std::vector<uint8_t>& old)
{
    try {
        file.WriteAt(position, old.data(), old.size());
        return true;
    } catch (const std::exception&) {
    }
    try {
        std::vector<uint8_t> now(old.size());
        return file.ReadAt(position, now.data(), now.size()) == now.size() && now == old;
    } catch (const std::exception&) {
        return false;
    }
}

// Writes every span; when one fails, puts the old bytes of those written back (last first).
bool WriteSpans(ByteWriter& file, const SaveImage& image, SaveResult& result)
{
    size_t touched = 0;
    try {
        for (const Span& span : image.spans) {
            ++touched;
            ++result.writes;
            file.WriteAt(span.position, span.bytes.data(), span.bytes.size());
        }
        return true;
    } catch (const std::exception& error) {
        result.error = error.what();
    }
    result.outcome = SaveOutcome::Unchanged;
    for (size_t i = touched; i-- > 0;) {
        const Span& span = image.spans[i];
        if (!PutBack(file, span.position, span.old)) {
            result.outcome = SaveOutcome::Damaged;
            result.unrestoredPosition = span.position;
            result.unrestoredLength = span.old.size();
        }
    }
    try {
        file.Flush();
    } catch (const std::exception&) {
        // What is read from the file is the old bytes again; that is all that can be done.
    }
    return false;
}

// The part after the write: flush, size, read back.
void FinishSave(
    const SavePlan& save, ByteWriter& file, uint64_t sizeAtCheck, const SaveImage& image, SaveResult& result)
{
    try {
        file.Flush();
    } catch (const std::exception& error) {
        // Nothing is put back: the bytes are in the file as far as any reader can tell, and
        // a second write would only meet the same failure.
        result.outcome = SaveOutcome::NotFlushed;
        result.error = error.what();
    }
    try {
        const uint64_t size = file.Size();
        for (const Span& span : image.spans) {
            WriteRange& after = result.readBack.emplace_back();
            after.position = span.position;
            after.bytes.resize(span.bytes.size());
            after.bytes.resize(file.ReadAt(span.position, after.bytes.data(), after.bytes.size()));
        }
        if (result.outcome != SaveOutcome::Saved)
            return;
        if (size != sizeAtCheck) {
            result.outcome = SaveOutcome::SizeChanged;
            result.sizeAtOpen = sizeAtCheck;
            result.sizeNow = size;
            return;
        }
    } catch (const std::exception& error) {
        if (result.outcome == SaveOutcome::Saved) {
            result.outcome = SaveOutcome::NotVerified;
            result.error = error.what();
        }
        return;
    }
    bool extraWrong = false;
    for (const size_t i : image.edited) {
        const WriteItem& item = save.plan.items[i];
        const Clip clip = ItemClip(item, sizeAtCheck);
        for (size_t s = 0; s < image.spans.size(); ++s) {
            const Span& span = image.spans[s];
            if (clip.begin < span.position || clip.begin >= span.End())
                continue;
            const auto from = static_cast<size_t>(clip.begin - span.position);
            const auto to = static_cast<size_t>(std::min(clip.end, span.End()) - span.position);
            const std::vector<uint8_t>& after = result.readBack[s].bytes;
            if (after.size() < to
                || !std::equal(span.bytes.begin() + static_cast<ptrdiff_t>(from),
                    span.bytes.begin() + static_cast<ptrdiff_t>(to),
                    after.begin() + static_cast<ptrdiff_t>(from))) {
                if (IsExtra(save, i))
                    extraWrong = true;
                else
                    result.fields.push_back(save.fields[i]);
            }
        }
    }
    if (!result.fields.empty() || extraWrong)
        result.outcome = SaveOutcome::NotVerified;
}

} // namespace

std::optional<std::vector<WriteRange>> SaveImageRanges(const HeaderWriteInput& input,
    const ImageHeaders& opened, const ByteReader& file, const SaveChecks& checks)
{
    const SavePlan save = PlanSave(input, opened);
    if (save.tooWide)
        return std::nullopt;
    // Save writes nothing at or past the size the file had when it was opened.
    const uint64_t limit = std::min(opened.fileSize, file.Size());
    SaveImage image;
    if (!ReadSpans(save, file, limit, image))
        throw EReadError("file", "It is shorter than when it was opened");
    if (LayImage(save, opened, checks, limit, image))
        return std::nullopt;
    std::vector<WriteRange> ranges;
    for (Span& span : image.spans)
        ranges.push_back(WriteRange{span.position, std::move(span.bytes)});
    return ranges;
}

std::optional<uint32_t> ChecksumAfterSave(const HeaderWriteInput& input, const ImageHeaders& opened,
    const ByteReader& file, const SaveChecks& checks)
{
    std::optional<std::vector<WriteRange>> ranges = SaveImageRanges(input, opened, file, checks);
    if (!ranges)
        return std::nullopt;
    const PlannedBytes after(file, std::move(*ranges));
    return PeChecksum(after, CheckSumPosition(input.peOffset));
}

SaveResult SaveHeaders(
    const HeaderWriteInput& input, const ImageHeaders& opened, ByteWriter& file, const SaveChecks& checks)
{
    SavePlan save = PlanSave(input, opened);
    if (save.tooWide) {
        SaveResult result = Refused(FileChange::None);
        result.tooWide = save.tooWide;
        return result;
    }
    if (std::optional<SaveResult> changed = CheckContent(file, opened.fileSize))
        return *changed;

    // Nothing at or past the size the file had when it was opened is written, and the file is
    // no shorter now: the write cannot grow it.
    const uint64_t limit = opened.fileSize;
    SaveImage image;
    try {
        const uint64_t sizeAtCheck = file.Size();
        if (!ReadSpans(save, file, limit, image)) {
            SaveResult result = Refused(FileChange::Truncated);
            result.sizeAtOpen = opened.fileSize;
            result.sizeNow = file.Size();
            return result;
        }
        if (checks.sameAsOpened) {
            std::vector<FieldRef> changed = ChangedSinceOpen(save, opened, limit, image);
            if (!changed.empty()) {
                SaveResult result = Refused(FileChange::ChangedSinceOpen);
                result.fields = std::move(changed);
                return result;
            }
        }
        if (const auto overlap = LayImage(save, opened, checks, limit, image)) {
            SaveResult result = Refused(FileChange::Overlap);
            result.fields = {overlap->first, overlap->second};
            return result;
        }

        SaveResult result;
        result.notWritten = std::move(save.notWritten);
        if (image.spans.empty())
            return result;
        if (WriteSpans(file, image, result))
            FinishSave(save, file, sizeAtCheck, image, result);
        return result;
    } catch (const std::exception& error) {
        // Reading failed before anything was written.
        SaveResult result;
        result.outcome = SaveOutcome::Unchanged;
        result.error = error.what();
        return result;
    }
}

SaveResult SaveHeaders(const HeaderWriteInput& input, const ImageHeaders& opened, FileStream& file,
    const FileIdentity& atOpen, const SaveChecks& checks)
{
    // Another save (ours or a tool that locks) waits until this one is done, so the bytes
    // read again below are the ones the write replaces.
    struct LockScope {
        FileStream& file;
        bool taken = false;
        ~LockScope()
        {
            if (taken)
                file.Unlock();
        }
    } lock{file};
    if (!file.Locked()) {
        try {
            file.Lock(kSaveLockWait);
            lock.taken = true;
        } catch (const ELockError&) {
            SaveResult result = Refused(FileChange::Locked);
            result.lockWait = kSaveLockWait;
            return result;
        }
    }
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
    return SaveHeaders(input, opened, static_cast<ByteWriter&>(file), checks);
}

std::vector<FieldRef> AdoptSavedBytes(
    ImageHeaders& opened, const HeaderWriteInput& input, const SaveResult& result)
{
    std::vector<FieldRef> overwritten;
    for (const FieldRef& ref : PlannedFields(input)) {
        const uint64_t position = InputPosition(input, ref);
        const int width = ref.Field().width;
        uint64_t value = OpenedValue(opened, ref);
        bool seen = false;
        for (const WriteRange& range : result.readBack) {
            const uint64_t end = range.position + range.bytes.size();
            for (int b = 0; b < width; ++b) {
                const uint64_t at = position + uint64_t(b);
                if (at < range.position || at >= end)
                    continue;
                value &= ~(0xFFull << (8 * b));
                value |= uint64_t(range.bytes[static_cast<size_t>(at - range.position)]) << (8 * b);
                seen = true;
            }
        }
        if (!seen)
            continue;
        SetOpenedValue(opened, ref, value);
        if (value != (uint64_t(InputValue(input, ref)) & WidthMask(width)))
            overwritten.push_back(ref);
    }
    return overwritten;
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
    auto names = [&](const std::vector<FieldRef>& fields) {
        std::string text;
        for (const FieldRef& ref : fields)
            text.append("\n").append(SavedFieldName(ref, sectionCaptions));
        return text;
    };
    switch (result.outcome) {
    case SaveOutcome::Saved: {
        if (result.notWritten.empty())
            return std::string(kSaveCompleteText);
        return "Save complete, except for these edited fields, which were not written because the "
               "file ends before them:"
            + names(result.notWritten);
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
        case FileChange::Locked:
            return "Cannot save file " + file + ": another program kept it locked for "
                + std::to_string(result.lockWait.count() / 1000) + " seconds." + nothing;
        case FileChange::ChangedSinceOpen:
            return "Cannot save file " + file
                + ": it was changed by another program since it was opened. These fields differ from what "
                  "was read then:"
                + names(result.fields) + "\n" + nothing.substr(1);
        case FileChange::Overlap:
            return "Cannot save file " + file + ": " + SavedFieldName(result.fields.at(0), sectionCaptions)
                + " and " + SavedFieldName(result.fields.at(1), sectionCaptions)
                + " are stored in the same bytes of this file but were given different values." + nothing;
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
    case SaveOutcome::NotFlushed:
        return result.error + "; the new header bytes were written, but they may not have reached the disk.";
    case SaveOutcome::SizeChanged:
        return "The file " + file + " changed size while saving, from " + std::to_string(result.sizeAtOpen)
            + " to " + std::to_string(result.sizeNow)
            + " bytes: another program is writing it. The header bytes were written; check the file.";
    case SaveOutcome::NotVerified:
        if (result.fields.empty())
            return "The file " + file + " was written, but it could not be read back. " + result.error;
        return "The file " + file
            + " was written, but these edited fields do not read back their new values (another program "
              "may be writing it):"
            + names(result.fields);
    }
    return result.error;
}
