// Imports, delay imports and exports.
#include "contents/Contents.h"

#include "contents/ContentsSupport.h"

namespace {

constexpr int kExportEntry = 0;
constexpr int kImportEntry = 1;
constexpr int kBoundImportEntry = 11;
constexpr int kDelayImportEntry = 13;

// The lookup table of one DLL: names and hints, or ordinals, until the zero entry. budget
// bounds the entries of all DLLs together (each takes its own bytes in a sound file).
void ReadThunks(const ImageMap& map, ImageContents& contents, ImportDll& dll, uint32_t lookupRva,
    uint32_t iatRva, uint64_t& budget, std::string_view what)
{
    const unsigned width = map.Is64() ? 8 : 4;
    const auto start = map.OffsetOf(lookupRva);
    if (!start) {
        Anomaly(contents, what, dll.offset,
            "its lookup table at RVA " + HexOffset(lookupRva) + " is not in the file");
        return;
    }
    const uint64_t ordinalFlag = map.Is64() ? uint64_t(1) << 63 : uint64_t(1) << 31;
    for (uint64_t i = 0;; ++i) {
        const uint64_t offset = *start + i * width;
        const auto entry = map.Is64() ? map.U64(offset) : std::optional<uint64_t>(map.U32(offset));
        if (!entry) {
            Anomaly(contents, what, offset, "the lookup table runs past the end of the file");
            return;
        }
        if (*entry == 0)
            return;
        if (budget == 0) {
            Anomaly(
                contents, what, offset, "more lookup entries than the file can hold; the rest is not read");
            return;
        }
        --budget;
        ImportFunction function;
        function.offset = offset;
        function.thunkRva = static_cast<uint32_t>(iatRva + i * width);
        if (*entry & ordinalFlag) {
            function.ordinal = static_cast<uint16_t>(*entry);
        } else {
            const auto nameRva = static_cast<uint32_t>(*entry & 0x7FFFFFFF);
            const auto nameOffset = map.OffsetOf(nameRva);
            const auto hint = nameOffset ? map.U16(*nameOffset) : std::nullopt;
            if (!hint) {
                // A table that points outside the file is no table: what follows is not read.
                Anomaly(contents, what, offset,
                    "hint/name RVA " + HexOffset(nameRva)
                        + " is not in the file; the rest of the table is not read");
                dll.functions.push_back(std::move(function));
                return;
            } else {
                function.hint = *hint;
                bool terminated = false;
                function.name = map.CString(*nameOffset + 2, kMaxNameLength, &terminated);
                if (!terminated)
                    Anomaly(contents, what, *nameOffset + 2, "the function name has no end");
            }
        }
        dll.functions.push_back(std::move(function));
    }
}

// The DLL name; nothing when the name is not in the file or has no end.
std::optional<std::string> DllName(
    const ImageMap& map, ImageContents& contents, uint32_t rva, uint64_t at, std::string_view what)
{
    const auto offset = map.OffsetOf(rva);
    bool terminated = false;
    std::string name = offset ? map.CString(*offset, kMaxNameLength, &terminated) : std::string();
    if (!offset)
        Anomaly(contents, what, at, "the DLL name RVA " + HexOffset(rva) + " is not in the file");
    else if (!terminated)
        Anomaly(contents, what, *offset, "the DLL name has no end");
    if (!terminated)
        return std::nullopt;
    return name;
}

} // namespace

void DecodeImports(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kImportEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    if (!start) {
        Anomaly(contents, "Import directory", map.DirectoryEntryOffset(kImportEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    static constexpr std::string_view names[]
        = {"OriginalFirstThunk", "TimeDateStamp", "ForwarderChain", "Name", "FirstThunk"};
    uint64_t budget = map.FileSize() / (map.Is64() ? 8 : 4);
    for (uint64_t offset = *start;; offset += 20) {
        ContentsField fields[5];
        bool read = true;
        bool zero = true;
        for (size_t f = 0; f < 5; ++f) {
            const auto value = map.U32(offset + 4 * f);
            read = read && value;
            fields[f] = {names[f], value.value_or(0), offset + 4 * f, 4};
            zero = zero && fields[f].value == 0;
        }
        if (!read) {
            Anomaly(contents, "Import directory", offset, "the descriptors run past the end of the file");
            return;
        }
        if (zero)
            return;
        ImportDll dll;
        dll.offset = offset;
        dll.fields.assign(fields, fields + 5);
        const auto name
            = DllName(map, contents, static_cast<uint32_t>(fields[3].value), offset, "Import descriptor");
        if (!name) {
            // Not a descriptor: the list has ended without its zero entry.
            Anomaly(contents, "Import directory", offset,
                "no zero descriptor ends the list; the rest is not read");
            return;
        }
        dll.name = *name;
        const auto lookup = static_cast<uint32_t>(fields[0].value != 0 ? fields[0].value : fields[4].value);
        ReadThunks(map, contents, dll, lookup, static_cast<uint32_t>(fields[4].value), budget,
            "Import lookup table");
        contents.imports.push_back(std::move(dll));
    }
}

void DecodeDelayImports(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kDelayImportEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    if (!start) {
        Anomaly(contents, "Delay import directory", map.DirectoryEntryOffset(kDelayImportEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    static constexpr std::string_view names[]
        = {"Attributes", "DllNameRVA", "ModuleHandleRVA", "ImportAddressTableRVA", "ImportNameTableRVA",
            "BoundImportAddressTableRVA", "UnloadInformationTableRVA", "TimeDateStamp"};
    uint64_t budget = map.FileSize() / (map.Is64() ? 8 : 4);
    for (uint64_t offset = *start;; offset += 32) {
        ContentsField fields[8];
        bool read = true;
        bool zero = true;
        for (size_t f = 0; f < 8; ++f) {
            const auto value = map.U32(offset + 4 * f);
            read = read && value;
            fields[f] = {names[f], value.value_or(0), offset + 4 * f, 4};
            zero = zero && fields[f].value == 0;
        }
        if (!read) {
            Anomaly(
                contents, "Delay import directory", offset, "the descriptors run past the end of the file");
            return;
        }
        if (zero)
            return;
        // Without the RVA attribute (old linkers) the fields hold virtual addresses.
        const uint32_t bias = (fields[0].value & 1) ? 0 : static_cast<uint32_t>(map.ImageBase());
        auto at = [&](size_t f) { return static_cast<uint32_t>(fields[f].value - bias); };
        ImportDll dll;
        dll.offset = offset;
        dll.fields.assign(fields, fields + 8);
        const auto name = DllName(map, contents, at(1), offset, "Delay import descriptor");
        if (!name) {
            Anomaly(contents, "Delay import directory", offset,
                "no zero descriptor ends the list; the rest is not read");
            return;
        }
        dll.name = *name;
        ReadThunks(map, contents, dll, at(4), at(3), budget, "Delay import name table");
        contents.delayImports.push_back(std::move(dll));
    }
}

void DecodeBoundImports(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kBoundImportEntry);
    const uint32_t size = map.DirectorySize(kBoundImportEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    if (!start) {
        Anomaly(contents, "Bound import directory", map.DirectoryEntryOffset(kBoundImportEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    // Entries of 8 bytes (the forwarder references after their module), up to an empty one or
    // the directory's size: names are offsets from the directory's start.
    uint32_t forwarders = 0;
    for (uint64_t at = 0; at + 8 <= size; at += 8) {
        const uint64_t offset = *start + at;
        const auto stamp = map.U32(offset);
        const auto name = map.U16(offset + 4);
        const auto count = map.U16(offset + 6);
        if (!stamp || !name || !count) {
            Anomaly(contents, "Bound import directory", offset, "the entries run past the end of the file");
            return;
        }
        if (*stamp == 0 && *name == 0 && *count == 0)
            return;
        BoundImport entry;
        entry.timeDateStamp = *stamp;
        entry.offset = offset;
        entry.forwarder = forwarders > 0;
        entry.name = map.CString(*start + *name, kMaxNameLength);
        forwarders = entry.forwarder ? forwarders - 1 : *count;
        contents.boundImports.push_back(std::move(entry));
    }
}

void DecodeExports(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kExportEntry);
    const uint32_t size = map.DirectorySize(kExportEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    uint32_t values[11] = {};
    static constexpr std::string_view names[] = {"Characteristics", "TimeDateStamp", "MajorVersion",
        "MinorVersion", "Name", "Base", "NumberOfFunctions", "NumberOfNames", "AddressOfFunctions",
        "AddressOfNames", "AddressOfNameOrdinals"};
    static constexpr uint8_t widths[] = {4, 4, 2, 2, 4, 4, 4, 4, 4, 4, 4};
    if (!start || *start + 40 > map.FileSize()) {
        Anomaly(contents, "Export directory", start.value_or(map.DirectoryEntryOffset(kExportEntry)),
            "it is not in the file");
        return;
    }
    ExportTable& table = contents.exports;
    table.present = true;
    table.offset = *start;
    uint64_t at = *start;
    for (size_t f = 0; f < 11; ++f) {
        values[f] = widths[f] == 2 ? *map.U16(at) : *map.U32(at);
        table.fields.push_back({names[f], values[f], at, widths[f]});
        at += widths[f];
    }
    table.timeDateStamp = values[1];
    table.base = values[5];
    table.name = DllName(map, contents, values[4], *start, "Export directory").value_or(std::string());

    const auto functionsAt = map.OffsetOf(values[8]);
    uint64_t count = values[6];
    if (count != 0 && !functionsAt) {
        Anomaly(contents, "Export directory", *start, "AddressOfFunctions is not in the file");
        count = 0;
    } else if (functionsAt && count > (map.FileSize() - *functionsAt) / 4) {
        count = (map.FileSize() - *functionsAt) / 4;
        Anomaly(contents, "Export address table", *functionsAt,
            "NumberOfFunctions " + std::to_string(values[6]) + " runs past the end of the file; "
                + std::to_string(count) + " read");
    }
    std::vector<std::vector<std::string>> functionNames(count);
    const auto namesAt = map.OffsetOf(values[9]);
    const auto ordinalsAt = map.OffsetOf(values[10]);
    uint64_t nameCount = values[7];
    if (nameCount != 0 && (!namesAt || !ordinalsAt)) {
        Anomaly(contents, "Export directory", *start, "the name tables are not in the file");
        nameCount = 0;
    } else if (nameCount != 0
        && (nameCount > (map.FileSize() - *namesAt) / 4 || nameCount > (map.FileSize() - *ordinalsAt) / 2)) {
        nameCount = std::min((map.FileSize() - *namesAt) / 4, (map.FileSize() - *ordinalsAt) / 2);
        Anomaly(contents, "Export name table", *namesAt,
            "NumberOfNames " + std::to_string(values[7]) + " runs past the end of the file; "
                + std::to_string(nameCount) + " read");
    }
    for (uint64_t i = 0; i < nameCount; ++i) {
        const uint16_t index = *map.U16(*ordinalsAt + 2 * i);
        const uint32_t nameRva = *map.U32(*namesAt + 4 * i);
        if (index >= count) {
            Anomaly(contents, "Export name ordinal table", *ordinalsAt + 2 * i,
                "index " + std::to_string(index) + " is past the address table");
            continue;
        }
        const auto nameOffset = map.OffsetOf(nameRva);
        if (!nameOffset) {
            Anomaly(contents, "Export name table", *namesAt + 4 * i,
                "name RVA " + HexOffset(nameRva) + " is not in the file");
            continue;
        }
        functionNames[index].push_back(map.CString(*nameOffset, kMaxNameLength));
    }
    // Any real table at once (a hostile count only as far as entries are there).
    table.functions.reserve(static_cast<size_t>(std::min<uint64_t>(count, 1 << 16)));
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t address = *map.U32(*functionsAt + 4 * i);
        if (address == 0)
            continue;
        ExportFunction function;
        function.ordinal = static_cast<uint32_t>(table.base + i);
        function.rva = address;
        function.offset = *functionsAt + 4 * i;
        function.names = std::move(functionNames[i]);
        if (address >= rva && address - rva < size) {
            if (const auto text = map.OffsetOf(address))
                function.forwarder = map.CString(*text, kMaxNameLength);
        }
        table.functions.push_back(std::move(function));
    }
}
