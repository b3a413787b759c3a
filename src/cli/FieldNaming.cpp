#include "cli/FieldNaming.h"

#include "cli/CliSupport.h"
#include "header/FieldNames.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool SameKey(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithKey(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameKey(text.substr(0, prefix.size()), prefix);
}

// Edit distance with adjacent transpositions, case folded: "shwo" is one step from "show".
size_t Distance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// Every name a field of this shape could have: what the nearest names are chosen from. Section
// rows keep the section as given (".2", "[.text]").
std::vector<std::string> Candidates(std::string_view given)
{
    std::vector<std::string> names;
    for (const HeaderField& field : HeaderFields())
        names.emplace_back(field.peName);
    for (const HeaderField& field : DosExtraFields())
        names.emplace_back(field.peName);
    std::string selector = ".0";
    if (StartsWithKey(given, "section")) {
        const size_t close = given.find(']');
        const size_t end = close != std::string_view::npos ? close + 1 : given.rfind('.');
        if (end != std::string_view::npos && end > 7)
            selector = std::string(given.substr(7, end - 7));
    }
    names.push_back("section" + selector + ".Name");
    for (const HeaderField& row : SectionFields())
        names.push_back("section" + selector + "." + std::string(row.peName));
    for (int e = 0; e < kDataDirectoryCount; ++e) {
        names.push_back("directory." + DirectoryKey(e) + ".VirtualAddress");
        names.push_back("directory." + DirectoryKey(e) + ".Size");
    }
    return names;
}

NameResolution Unknown(std::string_view name)
{
    return NameResolution{
        std::nullopt, "unknown field " + std::string(name) + NearestNamesHint(name, Candidates(name))};
}

NameResolution Found(NamedField::Kind kind, int index, int section, std::string canonical)
{
    return NameResolution{NamedField{kind, index, section, std::move(canonical)}, {}};
}

std::optional<int> DecimalIndex(std::string_view text)
{
    if (text.empty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return static_cast<int>(*ParseCliNumber(text));
}

NameResolution ResolveHeader(std::string_view name)
{
    const auto fields = HeaderFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        if (SameKey(name, fields[i].peName))
            return Found(NamedField::Kind::Header, static_cast<int>(i), -1, std::string(fields[i].peName));
    }
    if (SameKey(name, "e_lfanew"))
        return Found(NamedField::Kind::PeOffset, 0, -1, "e_lfanew");
    const auto extra = DosExtraFields();
    for (size_t i = 0; i < extra.size(); ++i) {
        if (SameKey(name, extra[i].peName))
            return Found(NamedField::Kind::DosExtra, static_cast<int>(i), -1, std::string(extra[i].peName));
    }
    return Unknown(name);
}

} // namespace

int SectionIndex(std::string_view selector, const ImageHeaders& headers, std::string& refusal)
{
    if (selector.size() >= 2 && selector.front() == '[' && selector.back() == ']') {
        const std::string_view wanted = selector.substr(1, selector.size() - 2);
        for (const bool exact : {true, false}) {
            for (size_t s = 0; s < headers.sections.size(); ++s) {
                const std::string name = SectionNameText(headers.sections[s]);
                if (exact ? name == wanted : SameKey(name, wanted))
                    return static_cast<int>(s);
            }
        }
        std::vector<std::string> names;
        std::string list;
        for (const SectionValues& section : headers.sections) {
            names.push_back(SectionNameText(section));
            list += (list.empty() ? "" : ", ") + names.back();
        }
        refusal = "no section named " + std::string(wanted) + NearestNamesHint(wanted, names)
            + (list.empty() ? " (the file has no sections)" : " (the file has " + list + ")");
        return -1;
    }
    const std::optional<int> index
        = selector.size() > 1 && selector[0] == '.' ? DecimalIndex(selector.substr(1)) : std::nullopt;
    return index ? *index : -2;
}

namespace {

NameResolution ResolveSection(std::string_view name, const ImageHeaders& headers)
{
    // section[NAME].ROW (a name may hold dots) or section.N.ROW
    std::string_view rest = name.substr(7);
    const size_t close = rest.size() > 0 && rest[0] == '[' ? rest.find(']') : rest.find('.', 1);
    if (close == std::string_view::npos)
        return Unknown(name);
    const size_t selectorEnd = rest[0] == '[' ? close + 1 : close;
    const std::string_view selector = rest.substr(0, selectorEnd);
    if (selectorEnd >= rest.size() || rest[selectorEnd] != '.')
        return Unknown(name);
    const std::string_view row = rest.substr(selectorEnd + 1);
    std::string refusal;
    const int section = SectionIndex(selector, headers, refusal);
    if (section == -1)
        return NameResolution{std::nullopt, refusal};
    if (section < 0)
        return Unknown(name);
    const std::string prefix = "section." + std::to_string(section) + ".";
    if (SameKey(row, "Name"))
        return Found(NamedField::Kind::SectionName, 0, section, prefix + "Name");
    const auto rows = SectionFields();
    for (size_t r = 0; r < rows.size(); ++r) {
        if (SameKey(row, rows[r].peName))
            return Found(NamedField::Kind::SectionRow, static_cast<int>(r), section,
                prefix + std::string(rows[r].peName));
    }
    return Unknown(name);
}

NameResolution ResolveDirectory(std::string_view name)
{
    const std::string_view rest = name.substr(10);
    const size_t dot = rest.find('.');
    if (dot == std::string_view::npos)
        return Unknown(name);
    const std::string_view entry = rest.substr(0, dot);
    const std::string_view part = rest.substr(dot + 1);
    std::optional<int> index = DecimalIndex(entry);
    for (int e = 0; e < kDataDirectoryCount && !index; ++e) {
        if (SameKey(entry, DirectoryKey(e)))
            index = e;
    }
    const auto rows = DataDirectoryFields(OptionalLayout::Pe32);
    const int half = SameKey(part, rows[0].peName) ? 0 : SameKey(part, rows[1].peName) ? 1 : -1;
    if (!index || *index >= kDataDirectoryCount || half < 0)
        return Unknown(name);
    return Found(NamedField::Kind::Directory, 2 * *index + half, -1,
        "directory." + DirectoryKey(*index) + "." + std::string(rows[static_cast<size_t>(half)].peName));
}

std::string Value(uint64_t value, ValueClass valueClass, bool decimal)
{
    const std::string text = ClassValueText(static_cast<int64_t>(value), !decimal, valueClass);
    return decimal ? text : "0x" + text;
}

} // namespace

NameResolution ResolveFieldName(std::string_view name, const ImageHeaders& headers)
{
    if (StartsWithKey(name, "section") && name.size() > 7 && (name[7] == '.' || name[7] == '['))
        return ResolveSection(name, headers);
    if (StartsWithKey(name, "directory."))
        return ResolveDirectory(name);
    if (name.find('.') != std::string_view::npos)
        return Unknown(name);
    return ResolveHeader(name);
}

std::optional<std::string> NamedFieldText(
    const NamedField& field, const ImageHeaders& headers, bool decimal, std::string& refusal)
{
    const bool pe = headers.kind == ImageKind::Pe;
    const std::string& name = field.canonical;
    switch (field.kind) {
    case NamedField::Kind::PeOffset:
        return Value(headers.peOffset, ValueClass::Dword, decimal);
    case NamedField::Kind::DosExtra:
        return Value(headers.dosExtra[static_cast<size_t>(field.index)],
            DosExtraFields()[static_cast<size_t>(field.index)].valueClass, decimal);
    case NamedField::Kind::Header: {
        const HeaderField& row = HeaderFields(headers.layout)[static_cast<size_t>(field.index)];
        if (!pe && field.index >= kDosFieldCount) {
            refusal = name + ": the file has no PE header (only an MZ header)";
            return std::nullopt;
        }
        if (!row.Present()) {
            refusal = name + ": a PE32+ optional header has no such field";
            return std::nullopt;
        }
        return Value(headers.values[static_cast<size_t>(field.index)], row.valueClass, decimal);
    }
    case NamedField::Kind::Directory:
        if (!pe || field.index / 2 >= headers.directoryEntries) {
            refusal = name + ": the file has " + std::to_string(headers.directoryEntries)
                + " data directory entries (NumberOfRvaAndSizes and SizeOfOptionalHeader decide which)";
            return std::nullopt;
        }
        return Value(headers.directories[static_cast<size_t>(field.index)],
            DataDirectoryFields(headers.layout)[static_cast<size_t>(field.index)].valueClass, decimal);
    case NamedField::Kind::SectionRow:
    case NamedField::Kind::SectionName:
        break;
    }
    const size_t count = pe ? headers.sections.size() : 0;
    if (static_cast<size_t>(field.section) >= count) {
        refusal = name + ": the file has " + std::to_string(count) + (count == 1 ? " section" : " sections");
        return std::nullopt;
    }
    const SectionValues& section = headers.sections[static_cast<size_t>(field.section)];
    if (field.kind == NamedField::Kind::SectionName)
        return SectionNameText(section);
    return Value(section.rows[static_cast<size_t>(field.index)],
        SectionFields()[static_cast<size_t>(field.index)].valueClass, decimal);
}

std::string NearestNamesHint(std::string_view given, const std::vector<std::string>& candidates)
{
    // Near: at most half the name's length away (a word left out, a typo or two).
    const size_t limit = std::max<size_t>(2, given.size() / 2);
    size_t best = limit + 1;
    std::vector<std::string_view> nearest;
    for (const std::string& candidate : candidates) {
        const size_t distance = Distance(given, candidate);
        if (distance < best) {
            best = distance;
            nearest.clear();
        }
        if (distance == best && nearest.size() < 3
            && std::find(nearest.begin(), nearest.end(), candidate) == nearest.end())
            nearest.push_back(candidate);
    }
    if (nearest.empty())
        return {};
    std::string hint = " (did you mean ";
    for (size_t i = 0; i < nearest.size(); ++i)
        hint.append(i == 0                    ? ""
                    : i + 1 == nearest.size() ? " or "
                                              : ", ")
            .append("`")
            .append(nearest[i])
            .append("`");
    return hint + "?)";
}

std::vector<std::string_view> FlagConstants(FlagSet set, uint32_t value)
{
    // winnt.h's names, bit i = 0..31 (empty for a bit without one).
    static constexpr std::array<std::string_view, 16> kFile{"IMAGE_FILE_RELOCS_STRIPPED",
        "IMAGE_FILE_EXECUTABLE_IMAGE", "IMAGE_FILE_LINE_NUMS_STRIPPED", "IMAGE_FILE_LOCAL_SYMS_STRIPPED",
        "IMAGE_FILE_AGGRESIVE_WS_TRIM", "IMAGE_FILE_LARGE_ADDRESS_AWARE", "", "IMAGE_FILE_BYTES_REVERSED_LO",
        "IMAGE_FILE_32BIT_MACHINE", "IMAGE_FILE_DEBUG_STRIPPED", "IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP",
        "IMAGE_FILE_NET_RUN_FROM_SWAP", "IMAGE_FILE_SYSTEM", "IMAGE_FILE_DLL", "IMAGE_FILE_UP_SYSTEM_ONLY",
        "IMAGE_FILE_BYTES_REVERSED_HI"};
    static constexpr std::array<std::string_view, 16> kDll{"", "", "", "", "",
        "IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA", "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE",
        "IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT",
        "IMAGE_DLLCHARACTERISTICS_NO_ISOLATION", "IMAGE_DLLCHARACTERISTICS_NO_SEH",
        "IMAGE_DLLCHARACTERISTICS_NO_BIND", "IMAGE_DLLCHARACTERISTICS_APPCONTAINER",
        "IMAGE_DLLCHARACTERISTICS_WDM_DRIVER", "IMAGE_DLLCHARACTERISTICS_GUARD_CF",
        "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"};
    // Bits 20..23 hold the alignment, a number rather than flags.
    static constexpr std::array<std::string_view, 32> kSection{"", "", "", "IMAGE_SCN_TYPE_NO_PAD", "",
        "IMAGE_SCN_CNT_CODE", "IMAGE_SCN_CNT_INITIALIZED_DATA", "IMAGE_SCN_CNT_UNINITIALIZED_DATA",
        "IMAGE_SCN_LNK_OTHER", "IMAGE_SCN_LNK_INFO", "", "IMAGE_SCN_LNK_REMOVE", "IMAGE_SCN_LNK_COMDAT", "",
        "", "IMAGE_SCN_GPREL", "", "IMAGE_SCN_MEM_PURGEABLE", "IMAGE_SCN_MEM_LOCKED", "IMAGE_SCN_MEM_PRELOAD",
        "", "", "", "", "IMAGE_SCN_LNK_NRELOC_OVFL", "IMAGE_SCN_MEM_DISCARDABLE", "IMAGE_SCN_MEM_NOT_CACHED",
        "IMAGE_SCN_MEM_NOT_PAGED", "IMAGE_SCN_MEM_SHARED", "IMAGE_SCN_MEM_EXECUTE", "IMAGE_SCN_MEM_READ",
        "IMAGE_SCN_MEM_WRITE"};
    static constexpr std::array<std::string_view, 15> kAlign{"", "IMAGE_SCN_ALIGN_1BYTES",
        "IMAGE_SCN_ALIGN_2BYTES", "IMAGE_SCN_ALIGN_4BYTES", "IMAGE_SCN_ALIGN_8BYTES",
        "IMAGE_SCN_ALIGN_16BYTES", "IMAGE_SCN_ALIGN_32BYTES", "IMAGE_SCN_ALIGN_64BYTES",
        "IMAGE_SCN_ALIGN_128BYTES", "IMAGE_SCN_ALIGN_256BYTES", "IMAGE_SCN_ALIGN_512BYTES",
        "IMAGE_SCN_ALIGN_1024BYTES", "IMAGE_SCN_ALIGN_2048BYTES", "IMAGE_SCN_ALIGN_4096BYTES",
        "IMAGE_SCN_ALIGN_8192BYTES"};
    const std::span<const std::string_view> names = set == FlagSet::File
        ? std::span<const std::string_view>(kFile)
        : set == FlagSet::Dll ? std::span<const std::string_view>(kDll)
                              : std::span<const std::string_view>(kSection);
    std::vector<std::string_view> found;
    for (size_t bit = 0; bit < names.size(); ++bit) {
        if (set == FlagSet::Section && bit == 20) {
            const uint32_t align = (value >> 20) & 0xF;
            if (align < kAlign.size() && align != 0)
                found.push_back(kAlign[align]);
        }
        if ((value >> bit) & 1 && !names[bit].empty())
            found.push_back(names[bit]);
    }
    return found;
}
