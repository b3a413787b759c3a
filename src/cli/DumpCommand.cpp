// dump: bytes of a section's raw data, at the entry point or at an offset, as hexdump -C shows them.
#include "cli/CliCommands.h"

#include "cli/FieldNaming.h"
#include "cli/HexDump.h"
#include "header/HeaderSave.h"
#include "header/RawData.h"

#include <algorithm>
#include <memory>

namespace {

struct Range {
    uint64_t offset = 0;
    uint64_t length = 0;
};

int Usage(const CliContext& context, const std::string& message)
{
    Report(context, message);
    return kCliUsage;
}

// Index (0-based) or name of a section, as show lists them.
std::optional<size_t> FindSection(const ImageHeaders& headers, const std::string& which)
{
    if (!which.empty()
        && std::all_of(which.begin(), which.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const std::optional<uint64_t> index = ParseCliNumber(which);
        if (index && *index < headers.sections.size())
            return static_cast<size_t>(*index);
        return std::nullopt;
    }
    // The name as shown, else in any case, as get and set take section names.
    std::string refusal;
    const int index = SectionIndex("[" + which + "]", headers, refusal);
    return index >= 0 ? std::optional<size_t>(static_cast<size_t>(index)) : std::nullopt;
}

// Dumps the range; requested is the length asked for (hexdump -n 0 prints nothing at all, a
// range that finds no bytes still prints its offset).
void Dump(const CliContext& context, const ByteReader& file, const Range& range, uint64_t requested)
{
    if (requested == 0)
        return;
    HexDumpWriter writer(context.out, range.offset);
    constexpr size_t kBlock = size_t(256) << 10;
    const std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
    for (uint64_t done = 0; done < range.length;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock, range.length - done));
        const size_t got = file.ReadAt(range.offset + done, block.get(), want);
        writer.Feed(block.get(), got);
        done += got;
        if (got < want)
            break; // the file ended (it shrank meanwhile): only bytes it has are shown
    }
    writer.Finish();
}

} // namespace

int RunDump(const CliContext& context, const DumpOptions& options)
{
    const int chosen
        = int(options.section.has_value()) + int(options.entry) + int(options.offset.has_value());
    if (chosen != 1)
        return Usage(context, "dump: give exactly one of --section, --entry and --offset");
    std::optional<uint64_t> length;
    if (options.length) {
        length = ParseCliNumber(*options.length);
        if (!length)
            return Usage(
                context, "dump: --length " + *options.length + " is not a decimal or 0x-hexadecimal number");
    }
    std::optional<uint64_t> offset;
    if (options.offset) {
        offset = ParseCliNumber(*options.offset);
        if (!offset)
            return Usage(
                context, "dump: --offset " + *options.offset + " is not a decimal or 0x-hexadecimal number");
    }

    return ForFile(context, options.file, [&]() -> int {
        if (offset) {
            // Any file: no header is needed to show bytes at an offset.
            const std::unique_ptr<FileStream> stream
                = OpenFile(context, options.file, FileStream::Mode::OpenRead);
            const uint64_t size = stream->Size();
            if (*offset > size) {
                ReportFile(context, options.file,
                    "offset " + std::to_string(*offset) + " passes EOF (the file has " + std::to_string(size)
                        + " bytes)");
                return kCliFileError;
            }
            const uint64_t requested = length.value_or(~0ull);
            Dump(context, *stream, Range{*offset, std::min(requested, size - *offset)}, requested);
            return kCliOk;
        }

        const OpenImage image = OpenAndRead(
            context, options.file, FileStream::Mode::OpenRead, options.entry ? "entry point" : "sections");
        const ImageHeaders& headers = image.headers;
        const uint64_t size = image.stream->Size();
        if (options.section) {
            const std::optional<size_t> index = FindSection(headers, *options.section);
            if (!index)
                return Usage(context,
                    "dump: no section " + *options.section + " (the file has "
                        + std::to_string(headers.sections.size()) + "; see korvex-cli show)");
            const SectionValues& section = headers.sections[*index];
            const uint32_t rawSize = section.rows[2];
            const uint32_t rawPointer = section.rows[3];
            // The window's View checks, with its messages.
            if (const std::optional<std::string_view> refusal
                = SectionBodyRefusal(rawSize, rawPointer, size)) {
                ReportFile(context, options.file, *refusal);
                return kCliFileError;
            }
            const uint64_t requested = std::min<uint64_t>(length.value_or(rawSize), rawSize);
            Dump(context, *image.stream, Range{rawPointer, requested}, requested);
            return kCliOk;
        }

        // The window's Dump shows 512 bytes from the entry point's file offset and zeros for
        // those past the end of the file; only bytes the file has are shown here.
        const uint64_t start = headers.entryPointFileOffset;
        const uint64_t wanted = length.value_or(kEntryDumpSize);
        const uint64_t available = start < size ? std::min(wanted, size - start) : 0;
        if (available > 0)
            Dump(context, *image.stream, Range{start, available}, available);
        if (available < wanted) {
            ReportFile(context, options.file,
                std::to_string(wanted - available) + " of the " + std::to_string(wanted)
                    + " bytes at the entry point's file offset 0x" + HexText(start, 8)
                    + " lie past the end of the file and are not shown");
            if (available == 0)
                return kCliFileError;
        }
        return kCliOk;
    });
}
