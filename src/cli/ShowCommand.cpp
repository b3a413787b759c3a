// show: every field the window shows, as aligned text or as JSON keyed by the PE/COFF names.
#include "cli/CliCommands.h"

#include "cli/ContentsJson.h"
#include "cli/FieldNaming.h"

#include "base/MappedFile.h"
#include "header/Checksum.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/ImageNames.h"
#include "header/TimeStamp.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <span>
#include <sstream>
#include <thread>

namespace {

using Json = nlohmann::ordered_json;

// Files up to this size are read whole, once, into one buffer kept for the next file: the
// headers and the checksum are then taken from memory.
constexpr uint64_t kWholeFile = uint64_t(8) << 20;
// Bigger files are mapped instead: copying them costs more than mapping their pages.
constexpr uint64_t kMapFrom = uint64_t(1) << 20;
// From this size a thread of its own sums the file while the directories are decoded.
constexpr uint64_t kSumBesideFrom = uint64_t(4) << 20;

struct ShownFile {
    ImageHeaders headers;
    ImageChecksum checksum;
    std::optional<ImageContents> contents; // show --contents
    std::string contentsJson; // show --contents --json: the `contents` object's text
};

// What show makes of a file beside its headers.
struct ShowWants {
    bool contents = false;
    bool json = false;
};

// Decodes the directories and, for JSON, writes them out at once (while a big file's checksum
// may still be summed beside).
void DecodeInto(ShownFile& shown, const ByteReader& file, ShowWants wants)
{
    if (!wants.contents)
        return;
    shown.contents = DecodeContents(file, shown.headers);
    if (wants.json)
        AppendContentsJson(shown.contentsJson, *shown.contents);
}

class FileReader {
public:
    ShownFile Read(const CliContext& context, const std::string& file, ShowWants wants)
    {
        const std::unique_ptr<FileStream> stream = OpenFile(context, file, FileStream::Mode::OpenRead);
        ShownFile shown;
        try {
            const uint64_t size = stream->Size();
            if (size > kMapFrom) {
                // Mapped, the checksum and the decoders read the page cache in place; a file
                // cut meanwhile is read again below, as it is now.
                const MappedFile mapped(stream->Handle(), size);
                if (mapped.Data()) {
                    shown = ReadBytes(context, file, mapped.Data(), size, wants);
                    if (!mapped.Shrank())
                        return shown;
                }
            }
            if (size <= kWholeFile) {
                if (size > FCapacity) {
                    FCapacity = std::max<uint64_t>(size, uint64_t(256) << 10);
                    FBuffer.reset(new uint8_t[FCapacity]);
                }
                const size_t got = stream->ReadAt(0, FBuffer.get(), static_cast<size_t>(size));
                shown = ReadBytes(context, file, FBuffer.get(), got, wants);
            } else {
                shown = ShownFile();
                shown.headers = ReadImageHeaders(HeadCachedReader(*stream, 64u << 10));
                AcceptImage(context, file, shown.headers);
                if (shown.headers.kind == ImageKind::Pe)
                    shown.checksum = ReadImageChecksum(*stream, shown.headers.peOffset);
                DecodeInto(shown, BlockCachedReader(*stream), wants);
            }
        } catch (const CliFailure&) {
            throw;
        } catch (const std::exception& error) {
            ReportFile(context, file, error.what());
            throw CliFailure(kCliFileError, error.what());
        }
        return shown;
    }

private:
    // The headers, the checksum and (for --contents) the directories of a file in memory.
    static ShownFile ReadBytes(const CliContext& context, const std::string& file, const uint8_t* bytes,
        uint64_t size, ShowWants wants)
    {
        ShownFile shown;
        shown.headers = ReadImageHeaders(SpanReader(bytes, size));
        AcceptImage(context, file, shown.headers);
        const bool pe = shown.headers.kind == ImageKind::Pe;
        // The checksum reads every byte, the decoders a few: a big file gets one thread each.
        std::jthread summer;
        if (pe && wants.contents && size >= kSumBesideFrom)
            summer = std::jthread(
                [&] { shown.checksum = ReadImageChecksum(bytes, size, shown.headers.peOffset); });
        else if (pe)
            shown.checksum = ReadImageChecksum(bytes, size, shown.headers.peOffset);
        DecodeInto(shown, SpanReader(bytes, size), wants);
        if (summer.joinable())
            summer.join();
        return shown;
    }

    std::unique_ptr<uint8_t[]> FBuffer;
    uint64_t FCapacity = 0;
};

// Fills a JSON object key by key in a fixed order. Built once, an object of the same shape (the
// same keys in the same order: the next file of the same format with as many directories and
// sections) is refilled in place, so its keys are not made again for every file.
class ObjectFiller {
public:
    ObjectFiller(Json& object, bool refill, size_t keys)
        : FObject(object.get_ref<Json::object_t&>())
        , FRefill(refill)
    {
        if (!refill)
            FObject.reserve(keys); // a growing vector of entries with constant keys copies every key
    }

    template <typename Value> void Put(std::string_view key, Value&& value)
    {
        Slot(key) = std::forward<Value>(value);
    }

    // The slot of a nested object or array, as it was last time when refilling.
    Json& Slot(std::string_view key)
    {
        if (FRefill)
            return (FObject.begin() + static_cast<std::ptrdiff_t>(FCursor++))->second;
        return FObject.emplace_back(std::string(key), Json()).second;
    }

private:
    Json::object_t& FObject;
    bool FRefill;
    size_t FCursor = 0;
};

const char* FormatName(const ImageHeaders& headers)
{
    if (headers.kind != ImageKind::Pe)
        return "MZ";
    return headers.layout == OptionalLayout::Pe32Plus ? "PE32+" : "PE32";
}

// The captions of the window's check boxes that the value ticks.

std::string Joined(const std::vector<std::string_view>& names)
{
    std::string text;
    for (const std::string_view name : names) {
        if (!text.empty())
            text += ", ";
        text += name;
    }
    return text;
}

// What a header row shows beside its value in the window: a name, the date, check boxes.
std::string Annotation(const HeaderField& field, uint64_t value)
{
    if (field.peName == "Machine")
        return std::string(ValueName(ValueNames::Machine, value));
    if (field.peName == "Magic")
        return std::string(ValueName(ValueNames::Magic, value));
    if (field.peName == "Subsystem")
        return std::string(ValueName(ValueNames::Subsystem, value));
    if (field.peName == "TimeDateStamp")
        return StampCaption(static_cast<uint32_t>(value));
    if (field.structure == HeaderStructure::File && field.peName == "Characteristics")
        return Joined(FlagCaptions(FileCharacteristicFlags(), value));
    if (field.peName == "DllCharacteristics")
        return Joined(FlagCaptions(DllCharacteristicFlags(), value));
    return {};
}

// Header rows the file has, in table order: the DOS rows always, the others for a PE file.
std::vector<size_t> ShownRows(const ImageHeaders& headers)
{
    std::vector<size_t> rows;
    const auto fields = HeaderFields(headers.layout);
    const size_t count = headers.kind == ImageKind::Pe ? fields.size() : static_cast<size_t>(kDosFieldCount);
    for (size_t i = 0; i < count; ++i) {
        if (fields[i].Present())
            rows.push_back(i);
    }
    return rows;
}

class TextWriter {
public:
    explicit TextWriter(bool decimal)
        : FHex(!decimal)
    {
    }

    std::string Value(uint64_t value, ValueClass valueClass) const
    {
        return ClassValueText(static_cast<int64_t>(value), FHex, valueClass);
    }

    void Heading(std::string_view text) { FText.append("\n").append(text).append("\n"); }

    void Line(int indent, std::string_view name, const std::string& value, const std::string& note = {})
    {
        FText.append(static_cast<size_t>(indent), ' ').append(name);
        Pad(indent + name.size(), 32);
        FText.append(value);
        if (!note.empty()) {
            Pad(value.size(), 18);
            FText.append(note);
        }
        FText.push_back('\n');
    }

    std::string& Text() { return FText; }

private:
    void Pad(size_t used, size_t width) { FText.append(used < width ? width - used : 1, ' '); }

    bool FHex;
    std::string FText;
};

std::string ShowText(
    const std::string& file, const ImageHeaders& headers, const ImageChecksum* checksum, bool decimal)
{
    TextWriter writer(decimal);
    writer.Text().append("File: ").append(file).append("\nFormat: ").append(FormatName(headers)).append("\n");
    const auto fields = HeaderFields(headers.layout);
    const std::vector<size_t> rows = ShownRows(headers);
    for (const size_t i : rows) {
        const HeaderField& field = fields[i];
        if (i == 0)
            writer.Heading("DOS header");
        else if (i == static_cast<size_t>(kDosFieldCount))
            writer.Heading("File header");
        else if (i == static_cast<size_t>(kDosFieldCount + kFileFieldCount))
            writer.Heading("Optional header");
        writer.Line(2, field.peName, writer.Value(headers.values[i], field.valueClass),
            Annotation(field, headers.values[i]));
        if (i + 1 == static_cast<size_t>(kDosFieldCount)) {
            writer.Line(2, "e_lfanew", writer.Value(headers.peOffset, ValueClass::Dword));
            const auto extra = DosExtraFields();
            for (size_t x = 0; x < extra.size(); ++x) {
                if (static_cast<int>(x) != kLfanewExtraIndex)
                    writer.Line(2, extra[x].peName, writer.Value(headers.dosExtra[x], extra[x].valueClass));
            }
        }
    }
    if (headers.kind != ImageKind::Pe)
        return writer.Text();

    writer.Heading("Data directories");
    const auto directories = DataDirectoryFields(headers.layout);
    if (headers.directoryEntries == 0)
        writer.Text().append("  (none)\n");
    for (int e = 0; e < headers.directoryEntries; ++e) {
        const auto rva = static_cast<size_t>(2 * e);
        writer.Line(2, DataDirectoryNames()[static_cast<size_t>(e)],
            writer.Value(headers.directories[rva], directories[rva].valueClass) + "  "
                + writer.Value(headers.directories[rva + 1], directories[rva + 1].valueClass));
    }

    writer.Heading("Sections");
    if (headers.sections.empty())
        writer.Text().append("  (none)\n");
    const auto sectionRows = SectionFields();
    for (size_t s = 0; s < headers.sections.size(); ++s) {
        const SectionValues& section = headers.sections[s];
        writer.Text()
            .append("  section ")
            .append(std::to_string(s))
            .append(": ")
            .append(SectionCaption(section))
            .append("\n");
        for (size_t r = 0; r < sectionRows.size(); ++r) {
            const uint32_t value = section.rows[r];
            writer.Line(4, sectionRows[r].peName, writer.Value(value, sectionRows[r].valueClass),
                r == 8 ? Joined(SectionFlagCaptions(value)) : std::string());
        }
    }

    writer.Heading("Entry point");
    writer.Line(2, "entry_point_file_offset", writer.Value(headers.entryPointFileOffset, ValueClass::Dword),
        headers.entryPointFound ? std::string() : "no section holds the entry point");
    if (checksum) {
        writer.Heading("Checksum");
        writer.Line(2, "stored", writer.Value(checksum->stored, ValueClass::Dword));
        writer.Line(2, "computed", writer.Value(checksum->computed, ValueClass::Dword),
            checksum->Matches() ? "matches" : "differs");
    }
    return writer.Text();
}

// The JSON of one file; refill says that json already holds the JSON of a file of the same shape.
void FillJson(Json& json, bool refill, const std::string& file, const ImageHeaders& headers,
    const ImageChecksum* checksum)
{
    ObjectFiller object(json, refill, 128); // every key: no reference into it moves
    object.Put("file", file);
    object.Put("format", FormatName(headers));
    const auto fields = HeaderFields(headers.layout);
    for (const size_t i : ShownRows(headers)) {
        object.Put(fields[i].peName, headers.values[i]);
        if (i + 1 == static_cast<size_t>(kDosFieldCount)) {
            object.Put("e_lfanew", headers.peOffset);
            const auto extra = DosExtraFields();
            for (size_t x = 0; x < extra.size(); ++x) {
                if (static_cast<int>(x) != kLfanewExtraIndex)
                    object.Put(extra[x].peName, headers.dosExtra[x]);
            }
        }
    }
    if (headers.kind != ImageKind::Pe)
        return;

    Json& directories = object.Slot("data_directories");
    if (!refill)
        directories = Json::array();
    for (int e = 0; e < headers.directoryEntries; ++e) {
        if (!refill)
            directories.push_back(Json::object());
        ObjectFiller entry(directories[static_cast<size_t>(e)], refill, 3);
        entry.Put("name", DataDirectoryNames()[static_cast<size_t>(e)]);
        entry.Put("VirtualAddress", headers.directories[static_cast<size_t>(2 * e)]);
        entry.Put("Size", headers.directories[static_cast<size_t>(2 * e + 1)]);
    }

    Json& sections = object.Slot("sections");
    if (!refill)
        sections = Json::array();
    const auto sectionRows = SectionFields();
    for (size_t s = 0; s < headers.sections.size(); ++s) {
        const SectionValues& section = headers.sections[s];
        if (!refill)
            sections.push_back(Json::object());
        ObjectFiller entry(sections[s], refill, 12);
        entry.Put("Name", SectionNameText(section));
        for (size_t r = 0; r < sectionRows.size(); ++r)
            entry.Put(sectionRows[r].peName, section.rows[r]);
        entry.Put("entry_point", section.holdsEntryPoint);
        entry.Put("flags", SectionFlagCaptions(section.rows[8]));
        entry.Put("flag_constants", FlagConstants(FlagSet::Section, section.rows[8]));
    }
    object.Put("entry_point_file_offset", headers.entryPointFileOffset);
    if (checksum) {
        Json& sums = object.Slot("checksum");
        if (!refill)
            sums = Json::object();
        ObjectFiller entry(sums, refill, 3);
        entry.Put("stored", checksum->stored);
        entry.Put("computed", checksum->computed);
        entry.Put("matches", checksum->Matches());
    }

    auto value = [&](std::string_view name) {
        return headers.values[static_cast<size_t>(HeaderFieldIndexByPeName(name))];
    };
    object.Put("machine_name", ValueName(ValueNames::Machine, value("Machine")));
    object.Put("magic_name", ValueName(ValueNames::Magic, value("Magic")));
    object.Put("subsystem_name", ValueName(ValueNames::Subsystem, value("Subsystem")));
    object.Put("time_date_stamp_text", StampCaption(static_cast<uint32_t>(value("TimeDateStamp"))));
    object.Put("characteristics_flags", FlagCaptions(FileCharacteristicFlags(), value("Characteristics")));
    object.Put("characteristics_constants",
        FlagConstants(FlagSet::File, static_cast<uint32_t>(value("Characteristics"))));
    object.Put(
        "dll_characteristics_flags", FlagCaptions(DllCharacteristicFlags(), value("DllCharacteristics")));
    object.Put("dll_characteristics_constants",
        FlagConstants(FlagSet::Dll, static_cast<uint32_t>(value("DllCharacteristics"))));
}

// The JSON of each file, reusing the keys of the last file of the same shape.
class JsonMaker {
public:
    Json& Make(const std::string& file, const ImageHeaders& headers, const ImageChecksum* checksum)
    {
        const Shape shape{headers.kind, headers.layout, headers.directoryEntries, headers.sections.size()};
        const bool refill = FHave && shape == FShape;
        if (!refill)
            FJson = Json::object();
        FillJson(FJson, refill, file, headers, checksum);
        FShape = shape;
        FHave = true;
        return FJson;
    }

private:
    struct Shape {
        ImageKind kind;
        OptionalLayout layout;
        int directories;
        size_t sections;
        bool operator==(const Shape&) const = default;
    };
    Json FJson;
    Shape FShape{};
    bool FHave = false;
};

// Shows files one after the other; each worker thread has one.
class FileShower {
public:
    struct Result {
        bool shown = false;
        std::string text; // the file's JSON object (one line) or text block
        std::string tail; // written right after text: the contents' JSON, not copied into it
        std::string errors; // what it said on the error stream
        int status = kCliOk;
    };

    Result Show(const CliContext& base, const std::string& file, const ShowOptions& options)
    {
        Result result;
        std::ostringstream errors;
        const CliContext context{errors, errors, base.open};
        result.status = ForFile(context, file, [&]() -> int {
            ShownFile image = FReader.Read(context, file, {options.contents, options.json});
            const ImageChecksum* checksum = image.headers.kind == ImageKind::Pe ? &image.checksum : nullptr;
            if (options.json) {
                const Json& json = FMaker.Make(file, image.headers, checksum);
                result.text = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
                if (image.contents) {
                    // The last key, written after the header's object without its closing brace.
                    result.text.pop_back();
                    result.text.append(",\"contents\":");
                    result.tail = std::move(image.contentsJson);
                    result.tail.push_back('}');
                }
            } else {
                result.text = ShowText(file, image.headers, checksum, options.decimal);
                if (image.contents)
                    result.text += ContentsText(*image.contents);
            }
            result.shown = true;
            const uint64_t headersEnd = HeadersEnd(image.headers);
            if (image.headers.fileSize < headersEnd) {
                ReportFile(context, file,
                    "the file ends at " + std::to_string(image.headers.fileSize)
                        + " bytes, inside its headers (they end at " + std::to_string(headersEnd)
                        + "); the missing bytes are shown as 0");
                return kCliFileError;
            }
            return kCliOk;
        });
        result.errors = errors.str();
        return result;
    }

private:
    FileReader FReader;
    JsonMaker FMaker;
};

// Files shown between two writes of the output: bounds the memory the results take.
constexpr size_t kShowBatch = 256;
// Below this many files one thread does it all.
constexpr size_t kParallelFrom = 32;

} // namespace

int RunShow(const CliContext& context, const ShowOptions& options)
{
    const std::vector<std::string>& files = options.files;
    // Many files are shown by several threads at once; the output keeps the files' order.
    const size_t workers
        = files.size() < kParallelFrom ? 1 : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<FileShower> showers(workers);
    std::vector<FileShower::Result> results;

    int status = kCliOk;
    bool first = true;
    for (size_t start = 0; start < files.size(); start += kShowBatch) {
        const size_t count = std::min(kShowBatch, files.size() - start);
        results.assign(count, {});
        std::atomic<size_t> next{0};
        auto work = [&](FileShower& shower) {
            for (size_t i = next++; i < count; i = next++)
                results[i] = shower.Show(context, files[start + i], options);
        };
        std::vector<std::thread> threads;
        for (size_t w = 1; w < workers; ++w)
            threads.emplace_back(work, std::ref(showers[w]));
        work(showers[0]);
        for (std::thread& thread : threads)
            thread.join();

        for (const FileShower::Result& result : results) {
            context.err << result.errors;
            status = std::max(status, result.status);
            if (!result.shown)
                continue;
            // JSON Lines: one object per line whatever the number of files.
            if (options.json)
                context.out << result.text << result.tail << '\n';
            else
                context.out << (first ? "" : "\n") << result.text;
            first = false;
        }
    }
    return status;
}
