// The resource tree, the version resource and the manifest.
#include "contents/Contents.h"

#include "contents/ContentsSupport.h"

#include <algorithm>
#include <unordered_set>

namespace {

constexpr int kResourceEntry = 2;
constexpr uint32_t kVersionType = 16;
constexpr uint32_t kManifestType = 24;

void AppendUtf8(std::string& text, uint32_t code)
{
    if (code < 0x80) {
        text.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        text.push_back(static_cast<char>(0xC0 | code >> 6));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | code >> 12));
        text.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | code >> 18));
        text.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// UTF-16LE units to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const uint8_t* bytes, size_t units)
{
    std::string text;
    text.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        uint32_t code = bytes[2 * i] | bytes[2 * i + 1] << 8;
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units) {
            const uint32_t low = bytes[2 * i + 2] | bytes[2 * i + 3] << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                code = 0xFFFD;
            }
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        AppendUtf8(text, code);
    }
    return text;
}

class TreeReader {
public:
    TreeReader(const ImageMap& map, ImageContents& contents, uint64_t base)
        : FMap(map)
        , FContents(contents)
        , FBase(base)
        , FBudget(map.FileSize() / 8)
    {
    }

    void Directory(uint32_t relative, size_t depth, ResourceLeaf path)
    {
        const uint64_t offset = FBase + relative;
        if (!FSeen.insert(offset).second) {
            Anomaly(FContents, "Resource directory", offset, "it is reached again (a cycle); not read twice");
            return;
        }
        const auto named = FMap.U16(offset + 12);
        const auto ids = FMap.U16(offset + 14);
        if (!named || !ids) {
            Anomaly(FContents, "Resource directory", offset, "it is not in the file");
            return;
        }
        FContents.resourceDirectories.push_back(offset);
        const uint32_t count = uint32_t(*named) + *ids;
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t entry = offset + 16 + 8 * uint64_t(i);
            const auto name = FMap.U32(entry);
            const auto target = FMap.U32(entry + 4);
            if (!name || !target) {
                Anomaly(FContents, "Resource directory", offset,
                    std::to_string(count) + " entries run past the end of the file");
                return;
            }
            if (FBudget == 0) {
                Anomaly(FContents, "Resource directory", entry,
                    "more entries than the file can hold; the rest is not read");
                return;
            }
            --FBudget;
            ResourceLeaf leaf = path;
            std::string text;
            uint32_t id = 0;
            if (*name & 0x80000000u)
                text = Name(*name & 0x7FFFFFFFu);
            else
                id = *name;
            if (depth == 0) {
                leaf.type = id;
                leaf.typeName = text;
            } else if (depth == 1) {
                leaf.id = id;
                leaf.name = text;
            } else {
                leaf.language = id;
            }
            if (*target & 0x80000000u) {
                if (depth + 1 >= kMaxResourceDepth) {
                    Anomaly(FContents, "Resource directory", entry,
                        "the tree is deeper than " + std::to_string(kMaxResourceDepth)
                            + " levels; cut there");
                    continue;
                }
                Directory(*target & 0x7FFFFFFFu, depth + 1, leaf);
            } else {
                Data(*target, std::move(leaf));
            }
        }
    }

private:
    std::string Name(uint32_t relative)
    {
        const uint64_t offset = FBase + relative;
        const auto length = FMap.U16(offset);
        FUnits.resize(2 * size_t(length.value_or(0)));
        if (!length || !FMap.Read(offset + 2, FUnits.data(), FUnits.size())) {
            Anomaly(FContents, "Resource name", offset, "it is not in the file");
            return {};
        }
        return Utf16ToUtf8(FUnits.data(), *length);
    }

    void Data(uint32_t relative, ResourceLeaf leaf)
    {
        const uint64_t offset = FBase + relative;
        const auto rva = FMap.U32(offset);
        const auto size = FMap.U32(offset + 4);
        const auto codePage = FMap.U32(offset + 8);
        if (!rva || !size || !codePage) {
            Anomaly(FContents, "Resource data entry", offset, "it is not in the file");
            return;
        }
        leaf.offset = offset;
        leaf.rva = *rva;
        leaf.size = *size;
        leaf.codePage = *codePage;
        const auto data = FMap.OffsetOf(*rva);
        if (data && *size <= FMap.FileSize() - *data)
            leaf.dataOffset = *data;
        else
            Anomaly(FContents, "Resource data entry", offset, "its data is not in the file");
        FContents.resources.push_back(std::move(leaf));
    }

    const ImageMap& FMap;
    ImageContents& FContents;
    uint64_t FBase;
    uint64_t FBudget;
    std::unordered_set<uint64_t> FSeen;
    std::vector<uint8_t> FUnits;
};

// One block of the version resource: wLength, wValueLength, wType, a UTF-16 key, padding to 4,
// the value, padding, the children.
struct VersionBlock {
    size_t end = 0; // within the data
    std::string key;
    size_t value = 0;
    size_t valueLength = 0; // in bytes
    size_t children = 0;
};

std::optional<VersionBlock> ReadBlock(const std::vector<uint8_t>& data, size_t at, size_t limit)
{
    if (at + 6 > limit)
        return std::nullopt;
    const size_t length = data[at] | data[at + 1] << 8;
    const size_t valueLength = data[at + 2] | data[at + 3] << 8;
    const bool text = (data[at + 4] | data[at + 5] << 8) == 1;
    if (length < 6 || at + length > limit)
        return std::nullopt;
    VersionBlock block;
    block.end = at + length;
    size_t p = at + 6;
    size_t units = 0;
    while (p + 2 * units + 1 < block.end && (data[p + 2 * units] | data[p + 2 * units + 1]))
        ++units;
    block.key = Utf16ToUtf8(data.data() + p, units);
    p += 2 * units + 2;
    p = std::min((p + 3) & ~size_t(3), block.end);
    block.value = p;
    // A text value counts its length in UTF-16 units.
    block.valueLength = std::min(text ? 2 * valueLength : valueLength, block.end - p);
    block.children = std::min((p + block.valueLength + 3) & ~size_t(3), block.end);
    return block;
}

std::string VersionText(uint32_t ms, uint32_t ls)
{
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "."
        + std::to_string(ls & 0xFFFF);
}

void DecodeVersion(const ImageMap& map, ImageContents& contents, const ResourceLeaf& leaf)
{
    std::vector<uint8_t> data(leaf.size);
    if (!map.Read(leaf.dataOffset, data.data(), data.size()))
        return;
    const auto root = ReadBlock(data, 0, data.size());
    if (!root || root->valueLength < 52) {
        Anomaly(contents, "Version resource", leaf.dataOffset, "it has no fixed file info");
        return;
    }
    VersionInfo& info = contents.versionInfo;
    info.present = true;
    info.offset = leaf.dataOffset + root->value;
    static constexpr std::string_view names[] = {"Signature", "StrucVersion", "FileVersionMS",
        "FileVersionLS", "ProductVersionMS", "ProductVersionLS", "FileFlagsMask", "FileFlags", "FileOS",
        "FileType", "FileSubtype", "FileDateMS", "FileDateLS"};
    uint32_t values[13];
    for (size_t f = 0; f < 13; ++f) {
        const size_t at = root->value + 4 * f;
        values[f] = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16
            | uint32_t(data[at + 3]) << 24;
        info.fixed.push_back({names[f], values[f], info.offset + 4 * f, 4});
    }
    if (values[0] != 0xFEEF04BD)
        Anomaly(contents, "Version resource", info.offset, "the fixed file info's signature is wrong");
    info.fileVersion = VersionText(values[2], values[3]);
    info.productVersion = VersionText(values[4], values[5]);

    // StringFileInfo -> the first StringTable -> its strings.
    for (size_t at = root->children; at < root->end;) {
        const auto child = ReadBlock(data, at, root->end);
        if (!child)
            break;
        if (child->key == "StringFileInfo") {
            const auto table = ReadBlock(data, child->children, child->end);
            for (size_t s = table ? table->children : child->end; table && s < table->end;) {
                const auto entry = ReadBlock(data, s, table->end);
                if (!entry)
                    break;
                std::string value = Utf16ToUtf8(data.data() + entry->value, entry->valueLength / 2);
                while (!value.empty() && value.back() == '\0')
                    value.pop_back();
                info.strings.emplace_back(entry->key, std::move(value));
                s = (entry->end + 3) & ~size_t(3);
            }
            return;
        }
        at = (child->end + 3) & ~size_t(3);
    }
}

} // namespace

void DecodeResources(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kResourceEntry);
    if (rva == 0)
        return;
    const auto base = map.OffsetOf(rva);
    if (!base) {
        Anomaly(contents, "Resource directory", map.DirectoryEntryOffset(kResourceEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    TreeReader(map, contents, *base).Directory(0, 0, {});

    for (const ResourceLeaf& leaf : contents.resources) {
        if (leaf.dataOffset == 0 || !leaf.typeName.empty())
            continue;
        if (leaf.type == kVersionType && !contents.versionInfo.present)
            DecodeVersion(map, contents, leaf);
        if (leaf.type == kManifestType && !contents.manifest) {
            std::string text(std::min<size_t>(leaf.size, kMaxManifestSize), '\0');
            if (map.Read(leaf.dataOffset, text.data(), text.size()))
                contents.manifest = std::move(text);
        }
    }
}

std::string_view ResourceTypeName(uint32_t type)
{
    static constexpr std::string_view names[] = {"", "RT_CURSOR", "RT_BITMAP", "RT_ICON", "RT_MENU",
        "RT_DIALOG", "RT_STRING", "RT_FONTDIR", "RT_FONT", "RT_ACCELERATOR", "RT_RCDATA", "RT_MESSAGETABLE",
        "RT_GROUP_CURSOR", "", "RT_GROUP_ICON", "", "RT_VERSION", "RT_DLGINCLUDE", "", "RT_PLUGPLAY",
        "RT_VXD", "RT_ANICURSOR", "RT_ANIICON", "RT_HTML", "RT_MANIFEST"};
    return type < std::size(names) ? names[type] : std::string_view();
}
