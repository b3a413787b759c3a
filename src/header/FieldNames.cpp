#include "header/FieldNames.h"

#include "header/FieldTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool SameKey(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// A decimal index without sign or blanks.
std::optional<int> Index(std::string_view text)
{
    int value = 0;
    if (text.empty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

FieldLookup Refuse(std::string text)
{
    return FieldLookup{std::nullopt, std::move(text)};
}

FieldLookup Accept(const FieldRef& ref, const HeaderWriteInput& input, std::string_view name)
{
    const std::vector<FieldRef> saved = PlannedFields(input);
    if (std::find(saved.begin(), saved.end(), ref) != saved.end())
        return FieldLookup{ref, {}};
    return Refuse(std::string(name) + " cannot be set: the file has no PE header");
}

FieldLookup LookUpHeader(std::string_view name, const HeaderWriteInput& input)
{
    if (name == "e_lfanew")
        return Refuse("e_lfanew cannot be set: the PE header offset is never written");
    if (const int extra = DosExtraFieldIndexByPeName(name); extra >= 0)
        return Accept(FieldRef{FieldRef::kDosExtra, extra, input.layout}, input, name);
    const int index = HeaderFieldIndexByPeName(name);
    if (index < 0)
        return Refuse("unknown field " + std::string(name));
    const HeaderField& field = HeaderFields(input.layout)[static_cast<size_t>(index)];
    if (input.hasPe && !field.Present())
        return Refuse(std::string(name) + " cannot be set: a "
            + (input.layout == OptionalLayout::Pe32Plus ? "PE32+" : "PE32")
            + " optional header has no such field");
    return Accept(FieldRef{FieldRef::kHeader, index, input.layout}, input, name);
}

FieldLookup LookUpDirectory(
    std::string_view name, std::string_view entry, std::string_view part, const HeaderWriteInput& input)
{
    std::optional<int> index = Index(entry);
    if (!index) {
        for (int e = 0; e < kDataDirectoryCount && !index; ++e) {
            if (SameKey(entry, DirectoryKey(e)))
                index = e;
        }
    }
    const int half = part == "VirtualAddress" ? 0 : part == "Size" ? 1 : -1;
    if (!index || *index >= kDataDirectoryCount || half < 0)
        return Refuse("unknown field " + std::string(name));
    if (!input.hasPe)
        return Refuse(std::string(name) + " cannot be set: the file has no PE header");
    if (*index >= static_cast<int>(input.directories.size()))
        return Refuse(std::string(name) + " cannot be set: the file's optional header has "
            + std::to_string(input.directories.size())
            + " data directory entries (NumberOfRvaAndSizes and SizeOfOptionalHeader decide which)");
    return Accept(FieldRef{FieldRef::kDirectories, 2 * *index + half, input.layout}, input, name);
}

FieldLookup LookUpSection(
    std::string_view name, std::string_view section, std::string_view row, const HeaderWriteInput& input)
{
    const std::optional<int> index = Index(section);
    const auto rows = SectionFields();
    const auto found = std::find_if(
        rows.begin(), rows.end(), [row](const HeaderField& field) { return field.peName == row; });
    if (!index || (found == rows.end() && row != "Name"))
        return Refuse("unknown field " + std::string(name));
    if (*index >= static_cast<int>(input.sections.size()))
        return Refuse(std::string(name) + " cannot be set: the file has "
            + std::to_string(input.sections.size())
            + (input.sections.size() == 1 ? " section" : " sections"));
    if (row == "Name")
        return Accept(FieldRef{*index, FieldRef::kNameRow, input.layout}, input, name);
    return Accept(FieldRef{*index, static_cast<int>(found - rows.begin()), input.layout}, input, name);
}

} // namespace

std::string DirectoryKey(int entry)
{
    std::string key(DataDirectoryNames()[static_cast<size_t>(entry)]);
    key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
    return key;
}

std::string FieldPeName(const FieldRef& ref)
{
    const std::string row(ref.Field().peName);
    if (ref.section == FieldRef::kHeader || ref.section == FieldRef::kDosExtra)
        return row;
    if (ref.section == FieldRef::kDirectories)
        return "directory." + DirectoryKey(ref.index / 2) + "." + row;
    return "section." + std::to_string(ref.section) + "." + row;
}

FieldLookup LookUpSavedField(std::string_view name, const HeaderWriteInput& input)
{
    const size_t firstDot = name.find('.');
    if (firstDot == std::string_view::npos)
        return LookUpHeader(name, input);
    const std::string_view group = name.substr(0, firstDot);
    const std::string_view rest = name.substr(firstDot + 1);
    const size_t secondDot = rest.find('.');
    if (secondDot == std::string_view::npos || (group != "section" && group != "directory"))
        return Refuse("unknown field " + std::string(name));
    const std::string_view which = rest.substr(0, secondDot);
    const std::string_view row = rest.substr(secondDot + 1);
    if (group == "section")
        return LookUpSection(name, which, row, input);
    return LookUpDirectory(name, which, row, input);
}
