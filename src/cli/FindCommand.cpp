// find: every offset at which a text or byte pattern occurs, found by the hex editor's search
// with its case rules, the file streamed in blocks that overlap by the pattern's length - 1.
#include "cli/CliCommands.h"

#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/RawData.h"
#include "search/PatternSearch.h"
#include "search/Translation.h"

#include <climits>
#include <cstring>
#include <memory>

namespace {

// Bytes scanned per read: large enough for few system calls, small enough to stay in cache.
constexpr size_t kFindBlock = size_t(1) << 20;

// The next code point of UTF-8 text at i, or -1 for a malformed sequence.
int32_t NextCodePoint(const std::string& text, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    int32_t code = 0;
    int32_t least = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        code = lead & 0x1F;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        code = lead & 0x0F;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        return -1;
    }
    if (i + static_cast<size_t>(extra) >= text.size())
        return -1;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = byte(i + static_cast<size_t>(k));
        if ((next & 0xC0) != 0x80)
            return -1;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return -1;
    i += static_cast<size_t>(extra) + 1;
    return code;
}

// A UTF-16 code unit with the ASCII and Latin-1 capitals folded to small letters.
char16_t Fold16(char16_t unit)
{
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7))
        return static_cast<char16_t>(unit + 0x20);
    return unit;
}

// The first offset in data at which the UTF-16LE units match, case folded, or -1.
int64_t FindFolded16(const uint8_t* data, size_t size, const std::vector<char16_t>& units)
{
    const size_t bytes = 2 * units.size();
    for (size_t i = 0; i + bytes <= size; ++i) {
        size_t k = 0;
        while (k < units.size()
            && Fold16(static_cast<char16_t>(data[i + 2 * k] | data[i + 2 * k + 1] << 8)) == units[k])
            ++k;
        if (k == units.size())
            return static_cast<int64_t>(i);
    }
    return -1;
}

// The pattern's bytes: hex digit pairs, the text in Windows-1252 as the find dialog takes
// typed text, or with --utf16 the text in UTF-16LE (as strings -el reads wide strings). Nothing,
// with the reason, for a pattern that cannot be searched for.
std::optional<std::vector<uint8_t>> PatternBytes(const FindOptions& options, std::string& error)
{
    std::vector<uint8_t> bytes;
    const std::string& text = options.pattern;
    if (text.empty()) {
        error = "find: the pattern is empty";
        return std::nullopt;
    }
    if (options.hex) {
        if (!IsHexText(text) || text.size() % 2 != 0) {
            error = "find: Invalid Hex value. (--hex takes pairs of hexadecimal digits, e.g. 4D5A90)";
            return std::nullopt;
        }
        for (size_t i = 0; i < text.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        return bytes;
    }
    for (size_t i = 0; i < text.size();) {
        const size_t at = i;
        const int32_t code = NextCodePoint(text, i);
        if (code < 0) {
            error = "find: the pattern is not valid UTF-8 text";
            return std::nullopt;
        }
        if (options.utf16) {
            const auto unit = [&bytes](uint32_t u) {
                bytes.push_back(static_cast<uint8_t>(u & 0xFF));
                bytes.push_back(static_cast<uint8_t>(u >> 8));
            };
            if (code > 0xFFFF) {
                unit(0xD800 + ((static_cast<uint32_t>(code) - 0x10000) >> 10));
                unit(0xDC00 + ((static_cast<uint32_t>(code) - 0x10000) & 0x3FF));
            } else {
                unit(static_cast<uint32_t>(code));
            }
            continue;
        }
        const int ansi = code <= 0xFFFF ? Windows1252FromUnicode(static_cast<char16_t>(code)) : -1;
        if (ansi < 0) {
            error = "find: the character '" + text.substr(at, i - at) + "' (U+"
                + HexText(static_cast<uint64_t>(code), 4)
                + ") has no Windows-1252 code; give its bytes with --hex";
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(ansi));
    }
    return bytes;
}

} // namespace

int RunFind(const CliContext& context, const FindOptions& options)
{
    if (options.hex && (options.ignoreCase || options.utf16)) {
        Report(context,
            std::string("find: ") + (options.utf16 ? "--utf16" : "--ignore-case")
                + " applies to text patterns, not to --hex");
        return kCliUsage;
    }
    std::string error;
    std::optional<std::vector<uint8_t>> pattern = PatternBytes(options, error);
    if (!pattern) {
        Report(context, error);
        return kCliUsage;
    }
    // Wide text folds by code unit; the editor's search folds single Windows-1252 bytes.
    const bool wideFold = options.utf16 && options.ignoreCase;
    std::vector<char16_t> wide;
    for (size_t i = 0; wideFold && i + 1 < pattern->size(); i += 2)
        wide.push_back(Fold16(static_cast<char16_t>((*pattern)[i] | (*pattern)[i + 1] << 8)));
    if (options.ignoreCase && !options.utf16)
        AnsiLowerBuffer(pattern->data(), static_cast<int32_t>(pattern->size()));
    const size_t count = pattern->size();
    if (count > kFindBlock) {
        Report(context, "find: the pattern is longer than " + std::to_string(kFindBlock) + " bytes");
        return kCliUsage;
    }

    return ForFile(context, options.file, [&]() -> int {
        const std::unique_ptr<FileStream> stream
            = OpenFile(context, options.file, FileStream::Mode::OpenRead);
        // Sections name where a match lies; a file without them is searched all the same.
        ImageHeaders headers = ReadHeadersCached(*stream);
        if (headers.kind != ImageKind::Pe)
            headers.sections.clear();
        std::vector<std::string> names;
        for (const SectionValues& section : headers.sections)
            names.push_back(SectionNameText(section));

        PatternScanner scanner(pattern->data(), static_cast<int32_t>(count), options.ignoreCase && !wideFold);
        auto firstHit = [&](const uint8_t* data, size_t size) -> int64_t {
            if (wideFold)
                return FindFolded16(data, size, wide);
            // Each scan starts afresh: the block already holds the bytes a match across the
            // last one needs.
            scanner.Reset(0);
            return scanner.Feed(data, static_cast<int32_t>(size));
        };
        const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kFindBlock + count - 1]);
        std::string lines;
        uint64_t matches = 0;
        uint64_t base = 0; // file offset of buffer[0]
        size_t carried = 0; // bytes kept from the block before
        for (;;) {
            const size_t got = stream->ReadAt(base + carried, buffer.get() + carried, kFindBlock);
            const size_t filled = carried + got;
            for (size_t from = 0; from + count <= filled;) {
                const int64_t hit = firstHit(buffer.get() + from, filled - from);
                if (hit < 0)
                    break;
                const uint64_t offset = base + from + static_cast<size_t>(hit);
                lines += HexText(offset, 8);
                if (const std::optional<SectionHit> in = SectionAtFileOffset(headers, offset))
                    lines += "\t" + names[static_cast<size_t>(in->section)] + "\t" + HexText(in->rva, 8);
                lines += '\n';
                ++matches;
                from += static_cast<size_t>(hit) + 1;
            }
            if (lines.size() > size_t(64) << 10) {
                context.out << lines;
                lines.clear();
            }
            if (got < kFindBlock)
                break;
            // A match that starts in the last count - 1 bytes ends in the next block.
            const size_t keep = std::min(count - 1, filled);
            std::memmove(buffer.get(), buffer.get() + filled - keep, keep);
            base += filled - keep;
            carried = keep;
        }
        context.out << lines;
        return matches > 0 ? kCliOk : kCliCheckFailed;
    });
}
