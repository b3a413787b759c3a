// show: every field the window shows, as aligned text or as JSON keyed by the PE/COFF names.
#include "cli/CliCommands.h"

#include "header/Checksum.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/ImageNames.h"
#include "header/TimeStamp.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <span>

namespace {

using Json = nlohmann::ordered_json;

// Bytes read at open in one go: the headers, and the whole of most files for the checksum.
constexpr size_t kShowCache = size_t(256) << 10;

const char* FormatName(const ImageHeaders& headers)
{
    if (headers.kind != ImageKind::Pe)
        return "MZ";
    return headers.layout == OptionalLayout::Pe32Plus ? "PE32+" : "PE32";
}

// The captions of the window's check boxes that the value ticks.
template <typename Flags> std::vector<std::string_view> FlagNames(const Flags& flags, uint64_t value)
{
    std::vector<std::string_view> names;
    for (const auto& flag : flags) {
        if (value & flag.bit)
            names.push_back(flag.caption);
    }
    return names;
}

std::vector<std::string_view> SectionFlagNames(uint32_t value)
{
    std::vector<std::string_view> names;
    const auto masks = CharacteristicMasks();
    for (size_t f = 0; f < masks.size(); ++f) {
        if (value & masks[f])
            names.push_back(CharacteristicTexts()[f]);
    }
    return names;
}

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

std::string SectionName(const SectionValues& section)
{
    SectionValues plain = section;
    plain.holdsEntryPoint = false;
    return SectionCaption(plain);
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
        return Joined(FlagNames(FileCharacteristicFlags(), value));
    if (field.peName == "DllCharacteristics")
        return Joined(FlagNames(DllCharacteristicFlags(), value));
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
        if (i + 1 == static_cast<size_t>(kDosFieldCount))
            writer.Line(2, "e_lfanew", writer.Value(headers.peOffset, ValueClass::Dword));
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
                r == 8 ? Joined(SectionFlagNames(value)) : std::string());
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

Json ShowJson(const std::string& file, const ImageHeaders& headers, const ImageChecksum* checksum)
{
    Json json;
    json["file"] = file;
    json["format"] = FormatName(headers);
    const auto fields = HeaderFields(headers.layout);
    for (const size_t i : ShownRows(headers)) {
        json[std::string(fields[i].peName)] = headers.values[i];
        if (i + 1 == static_cast<size_t>(kDosFieldCount))
            json["e_lfanew"] = headers.peOffset;
    }
    if (headers.kind != ImageKind::Pe)
        return json;

    Json directories = Json::array();
    for (int e = 0; e < headers.directoryEntries; ++e) {
        Json entry;
        entry["name"] = DataDirectoryNames()[static_cast<size_t>(e)];
        entry["VirtualAddress"] = headers.directories[static_cast<size_t>(2 * e)];
        entry["Size"] = headers.directories[static_cast<size_t>(2 * e + 1)];
        directories.push_back(std::move(entry));
    }
    json["data_directories"] = std::move(directories);

    Json sections = Json::array();
    const auto sectionRows = SectionFields();
    for (const SectionValues& section : headers.sections) {
        Json entry;
        entry["Name"] = SectionName(section);
        for (size_t r = 0; r < sectionRows.size(); ++r)
            entry[std::string(sectionRows[r].peName)] = section.rows[r];
        entry["entry_point"] = section.holdsEntryPoint;
        entry["flags"] = SectionFlagNames(section.rows[8]);
        sections.push_back(std::move(entry));
    }
    json["sections"] = std::move(sections);
    json["entry_point_file_offset"] = headers.entryPointFileOffset;
    if (checksum)
        json["checksum"] = {
            {"stored", checksum->stored}, {"computed", checksum->computed}, {"matches", checksum->Matches()}};

    auto value = [&](std::string_view name) {
        return headers.values[static_cast<size_t>(HeaderFieldIndexByPeName(name))];
    };
    json["machine_name"] = ValueName(ValueNames::Machine, value("Machine"));
    json["magic_name"] = ValueName(ValueNames::Magic, value("Magic"));
    json["subsystem_name"] = ValueName(ValueNames::Subsystem, value("Subsystem"));
    json["time_date_stamp_text"] = StampCaption(static_cast<uint32_t>(value("TimeDateStamp")));
    json["characteristics_flags"] = FlagNames(FileCharacteristicFlags(), value("Characteristics"));
    json["dll_characteristics_flags"] = FlagNames(DllCharacteristicFlags(), value("DllCharacteristics"));
    return json;
}

} // namespace

int RunShow(const CliContext& context, const ShowOptions& options)
{
    int status = kCliOk;
    bool first = true;
    const bool array = options.json && options.files.size() > 1;
    if (array)
        context.out << '[';
    for (const std::string& file : options.files) {
        OpenImage image;
        ImageChecksum checksum;
        try {
            image = OpenAndRead(context, file, FileStream::Mode::OpenRead, nullptr, kShowCache);
            if (image.headers.kind == ImageKind::Pe)
                checksum = ReadImageChecksum(*image.cached, image.headers.peOffset);
        } catch (const CliFailure& failure) {
            status = std::max(status, failure.Status);
            continue;
        } catch (const std::exception& error) {
            ReportFile(context, file, error.what());
            status = kCliFileError;
            continue;
        }
        const ImageChecksum* shownChecksum = image.headers.kind == ImageKind::Pe ? &checksum : nullptr;
        if (options.json) {
            if (array)
                context.out << (first ? "\n" : ",\n");
            context.out << ShowJson(file, image.headers, shownChecksum)
                               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
            if (!array)
                context.out << '\n';
        } else {
            if (!first)
                context.out << '\n';
            context.out << ShowText(file, image.headers, shownChecksum, options.decimal);
        }
        first = false;

        const uint64_t headersEnd = HeadersEnd(image.headers);
        if (image.headers.fileSize < headersEnd) {
            ReportFile(context, file,
                "the file ends at " + std::to_string(image.headers.fileSize)
                    + " bytes, inside its headers (they end at " + std::to_string(headersEnd)
                    + "); the missing bytes are shown as 0");
            status = std::max<int>(status, kCliFileError);
        }
    }
    if (array)
        context.out << (first ? "]\n" : "\n]\n");
    return status;
}
