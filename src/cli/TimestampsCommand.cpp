// set-timestamps: every time stamp the image holds set to one value and the checksum made to
// match, in one save per file, so two builds of the same sources can be made byte-identical.
#include "cli/CliCommands.h"

#include "base/Errors.h"
#include "contents/Contents.h"
#include "header/Checksum.h"
#include "header/FieldTable.h"
#include "header/HeaderSave.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr uint32_t kBoundNewStyle
    = 0xFFFFFFFFu; // an import descriptor bound through the bound import directory

struct StampChange {
    std::string name;
    uint64_t offset = 0;
    uint32_t old = 0;
};

std::string Shown(uint32_t value)
{
    return "0x" + HexText(value, 8);
}

uint32_t FieldStamp(const std::vector<ContentsField>& fields, std::string_view name, uint64_t& offset)
{
    for (const ContentsField& field : fields) {
        if (field.name == name && field.width == 4) {
            offset = field.offset;
            return static_cast<uint32_t>(field.value);
        }
    }
    offset = 0;
    return 0;
}

// Every time stamp outside the file header, with its place. An import or delay-import
// descriptor's stamp is 0 when it is not bound and is left so; a bound one's is the bound
// DLL's stamp (or 0xFFFFFFFF, "see the bound import directory", which stays, so the descriptor
// still says it is bound). The stamps that stand for DLLs (old-style descriptors, the bound
// import directory) take the new value too: it matches no DLL, so the loader takes the
// binding as stale and resolves those imports as if unbound, which is always correct.
std::vector<StampChange> DirectoryStamps(const ImageContents& contents)
{
    std::vector<StampChange> stamps;
    auto add = [&](std::string name, const std::vector<ContentsField>& fields, bool bound) {
        uint64_t offset = 0;
        const uint32_t value = FieldStamp(fields, "TimeDateStamp", offset);
        if (offset != 0 && (!bound || (value != 0 && value != kBoundNewStyle)))
            stamps.push_back({std::move(name), offset, value});
    };
    if (contents.exports.present)
        add("exports.TimeDateStamp", contents.exports.fields, false);
    for (size_t i = 0; i < contents.imports.size(); ++i)
        add("imports." + std::to_string(i) + ".TimeDateStamp", contents.imports[i].fields, true);
    for (size_t i = 0; i < contents.delayImports.size(); ++i)
        add("delay_imports." + std::to_string(i) + ".TimeDateStamp", contents.delayImports[i].fields, true);
    for (size_t i = 0; i < contents.boundImports.size(); ++i)
        stamps.push_back({"bound_imports." + std::to_string(i) + ".TimeDateStamp",
            contents.boundImports[i].offset, contents.boundImports[i].timeDateStamp});
    for (size_t i = 0; i < contents.resourceDirectories.size(); ++i) {
        // The directory was read, so its first 16 bytes are in the file; the stamp is at +4.
        stamps.push_back({"resources.directory." + std::to_string(i) + ".TimeDateStamp",
            contents.resourceDirectories[i] + 4});
    }
    // The REPRO entry's hash is its data, not a stamp: only the entry's own field changes.
    for (size_t i = 0; i < contents.debug.size(); ++i)
        add("debug." + std::to_string(i) + ".TimeDateStamp", contents.debug[i].fields, false);
    if (contents.loadConfig.present)
        add("load_config.TimeDateStamp", contents.loadConfig.fields, false);
    return stamps;
}

// The value: --time, else SOURCE_DATE_EPOCH, else 0. Throws CliFailure(kCliUsage) for a value
// that is no 32-bit number.
uint32_t WantedTime(const CliContext& context, const std::optional<std::string>& given)
{
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    const bool fromEnvironment = !given && epoch != nullptr && *epoch != '\0';
    if (!given && !fromEnvironment)
        return 0;
    const std::string text = given ? *given : std::string(epoch);
    const std::optional<uint64_t> value = ParseCliNumber(text);
    if (!value || *value > 0xFFFFFFFFu) {
        const std::string message = (given ? "--time" : "SOURCE_DATE_EPOCH") + std::string(" '") + text
            + "' is not a time stamp (seconds since 1970 that fit 32 bits)";
        Report(context, message);
        throw CliFailure(kCliUsage, message);
    }
    return static_cast<uint32_t>(*value);
}

uint32_t ReadStamp(const ByteReader& file, uint64_t offset)
{
    uint8_t bytes[4] = {};
    if (file.ReadAt(offset, bytes, 4) != 4)
        throw EReadError("file", "It ends before offset " + std::to_string(offset + 4));
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

int SetFileTimestamps(const CliContext& context, const TimestampsOptions& options, const std::string& file,
    uint32_t time, bool prefix)
{
    const FileStream::Mode mode
        = options.dryRun ? FileStream::Mode::OpenRead : FileStream::Mode::OpenReadWrite;
    OpenImage image = OpenAndRead(context, file, mode, "set-timestamps");
    const ImageHeaders& headers = image.headers;
    const HeaderWriteInput asRead = WriteInputAsRead(headers);
    HeaderWriteInput input = asRead;
    std::string changes;
    auto note = [&](const std::string& name, uint32_t old, uint32_t now) {
        if (old != now)
            changes += (prefix ? file + ": " : std::string()) + name + ": " + Shown(old) + " -> " + Shown(now)
                + "\n";
    };
    const FieldRef stampField{FieldRef::kHeader, HeaderIndex(FieldId::DateStamp), input.layout};
    note("TimeDateStamp", static_cast<uint32_t>(InputValue(asRead, stampField)), time);
    SetInputValue(input, stampField, time);

    const ImageContents contents = DecodeContents(*image.stream, headers);
    for (StampChange& stamp : DirectoryStamps(contents)) {
        if (stamp.offset + 4 > headers.fileSize || stamp.offset > 0xFFFFFFFFu - 4) {
            const std::string message
                = stamp.name + " lies beyond what a save can address; nothing was written";
            ReportFile(context, file, message);
            return kCliFileError;
        }
        stamp.old = ReadStamp(*image.stream, stamp.offset);
        // Structures may share bytes in a hostile file: each place is written once.
        const bool twice = std::any_of(input.extra.begin(), input.extra.end(),
            [&](const WriteItem& item) { return item.position == stamp.offset; });
        if (twice)
            continue;
        note(stamp.name, stamp.old, time);
        input.extra.push_back(WriteItem{static_cast<uint32_t>(stamp.offset), 4, time});
    }

    const FieldRef checksumField{FieldRef::kHeader, HeaderIndex(FieldId::CheckSum), input.layout};
    // Both header fields count as assigned: they win over overlapping header structures and
    // must read back, as set's assignments do.
    const SaveChecks checks{false, {stampField, checksumField}};
    const std::optional<uint32_t> checksum = ChecksumAfterSave(input, headers, *image.stream, checks);
    if (!checksum) { // a hostile layout: the two header fields share bytes
        ReportFile(context, file,
            "TimeDateStamp and CheckSum share bytes of this file but were given different values; nothing "
            "was written");
        return kCliFileError;
    }
    note("CheckSum", static_cast<uint32_t>(InputValue(asRead, checksumField)), *checksum);
    SetInputValue(input, checksumField, *checksum);
    // Only a change the signature's digest covers is refused: a file whose stamps already hold
    // the value keeps its signature, and a broken or absent one has nothing to protect.
    GuardSignature(context, file, image, input, checks, options.breakSignature);

    if (!options.dryRun && !changes.empty()) {
        // Under the lock OpenAndRead took: the header bytes and the stamps are read again and
        // written with one write per run of nearby bytes, all or nothing.
        const SaveResult result = SaveHeaders(input, headers, *image.stream, image.identity, checks);
        if (result.outcome != SaveOutcome::Saved || !result.notWritten.empty()) {
            std::vector<std::string> captions;
            for (const SectionValues& section : headers.sections)
                captions.push_back(SectionCaption(section));
            ReportFile(context, file, SaveResultText(result, file, captions));
            return kCliFileError;
        }
    }
    context.out << changes;
    return kCliOk;
}

} // namespace

int RunTimestamps(const CliContext& context, const TimestampsOptions& options)
{
    uint32_t time = 0;
    try {
        time = WantedTime(context, options.time);
    } catch (const CliFailure& failure) {
        return failure.Status;
    }
    int status = kCliOk;
    for (const std::string& file : options.files) {
        status = std::max(status, ForFile(context, file, [&]() -> int {
            return SetFileTimestamps(context, options, file, time, options.files.size() > 1);
        }));
    }
    return status;
}
