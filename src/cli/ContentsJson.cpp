// show --contents: the decoded directories as the `contents` JSON object, and as indented text.
#include "cli/ContentsJson.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <unordered_map>

namespace {

using Json = nlohmann::ordered_json;

// The contents are walked once, in WriteContents, for two writers: JsonText streams the JSON
// straight into the output line (a tree of 5,781 exports costs more to build and free than to
// print), JsonTree builds the tree the indented text is made from. Both give what nlohmann's
// dump(-1, ' ', false, replace) gives for the same tree, byte for byte.

class JsonText {
public:
    // Writes after text's present end; the text is used as a raw buffer meanwhile, so each
    // piece costs a copy, not a length check and a grow.
    explicit JsonText(std::string& text)
        : FText(text)
        , FEnd(text.size())
    {
        FText.resize(std::max<size_t>(FText.capacity(), FEnd + 4096));
    }
    ~JsonText() { FText.resize(FEnd); }
    JsonText(const JsonText&) = delete;
    JsonText& operator=(const JsonText&) = delete;

    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    void Key(std::string_view key)
    {
        Separate();
        Quoted(key);
        Put(":");
        FAfterKey = true;
    }
    void Number(uint64_t value)
    {
        Separate();
        char* at = Room(20);
        FEnd = static_cast<size_t>(std::to_chars(at, at + 20, value).ptr - FText.data());
    }
    void Bool(bool value)
    {
        Separate();
        Put(value ? std::string_view("true") : std::string_view("false"));
    }
    void Null()
    {
        Separate();
        Put("null");
    }
    void String(std::string_view value)
    {
        Separate();
        Quoted(value);
    }

private:
    // At least count bytes free after the end; answers where they start.
    char* Room(size_t count)
    {
        if (FEnd + count > FText.size())
            FText.resize(std::max(2 * FText.size(), FEnd + count));
        return FText.data() + FEnd;
    }
    void Put(std::string_view piece)
    {
        std::memcpy(Room(piece.size()), piece.data(), piece.size());
        FEnd += piece.size();
    }
    void Open(char bracket)
    {
        Separate();
        *Room(1) = bracket;
        ++FEnd;
        ++FDepth;
        FWritten &= ~Level();
    }
    void Close(char bracket)
    {
        *Room(1) = bracket;
        ++FEnd;
        --FDepth;
    }
    void Separate()
    {
        if (FAfterKey) {
            FAfterKey = false;
            return;
        }
        if (FDepth == 0)
            return;
        if (FWritten & Level()) {
            *Room(1) = ',';
            ++FEnd;
        }
        FWritten |= Level();
    }
    uint64_t Level() const { return uint64_t(1) << (FDepth - 1); }

    // Printable ASCII but the quote and the backslash, eight bytes at a time.
    static bool Plain(std::string_view value)
    {
        constexpr uint64_t ones = 0x0101010101010101, high = 0x8080808080808080;
        auto hasZero = [](uint64_t v) { return ((v - ones) & ~v & high) != 0; };
        size_t i = 0;
        for (; i + 8 <= value.size(); i += 8) {
            uint64_t v;
            std::memcpy(&v, value.data() + i, 8);
            // The high bit test first: below it the others see only 7-bit bytes.
            if ((v & high) != 0 || ((v - 0x20 * ones) & ~v & high) != 0 || hasZero(v ^ ('"' * ones))
                || hasZero(v ^ ('\\' * ones)) || hasZero(v ^ (0x7F * ones)))
                return false;
        }
        return std::all_of(value.begin() + static_cast<std::ptrdiff_t>(i), value.end(),
            [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
    }

    void Quoted(std::string_view value)
    {
        // Printable ASCII goes as it is; anything else (escapes, UTF-8, invalid bytes) as the
        // library writes it.
        if (!Plain(value)) {
            Put(Json(std::string(value)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            return;
        }
        char* at = Room(value.size() + 2);
        at[0] = '"';
        std::memcpy(at + 1, value.data(), value.size());
        at[value.size() + 1] = '"';
        FEnd += value.size() + 2;
    }

    std::string& FText;
    size_t FEnd; // the written text's end
    int FDepth = 0; // objects and arrays open (the walk nests a few deep)
    uint64_t FWritten = 0; // bit d - 1: something is written in the open one at depth d
    bool FAfterKey = false;
};

class JsonTree {
public:
    void BeginObject() { Open(Json::object()); }
    void EndObject() { FOpen.pop_back(); }
    void BeginArray() { Open(Json::array()); }
    void EndArray() { FOpen.pop_back(); }
    void Key(std::string_view key) { FKey = key; }
    void Number(uint64_t value) { Put(value); }
    void Bool(bool value) { Put(value); }
    void Null() { Put(nullptr); }
    void String(std::string_view value) { Put(std::string(value)); }

    Json Root;

private:
    // A value goes into the innermost open object (under the last key) or array. Nothing is
    // added beside an open container before it closes, so the pointers stay valid.
    Json& Put(Json value)
    {
        if (FOpen.empty())
            return Root = std::move(value);
        Json& parent = *FOpen.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return parent.back();
        }
        return parent[FKey] = std::move(value);
    }
    void Open(Json value) { FOpen.push_back(&Put(std::move(value))); }

    std::vector<Json*> FOpen;
    std::string FKey;
};

template <typename Out> void NumberMember(Out& out, std::string_view key, uint64_t value)
{
    out.Key(key);
    out.Number(value);
}

template <typename Out> void StringMember(Out& out, std::string_view key, std::string_view value)
{
    out.Key(key);
    out.String(value);
}

template <typename Out> void PutFields(Out& out, const std::vector<ContentsField>& fields)
{
    for (const ContentsField& field : fields)
        NumberMember(out, field.name, field.value);
}

template <typename Out> void Strings(Out& out, const std::vector<std::string_view>& list)
{
    out.BeginArray();
    for (const std::string_view item : list)
        out.String(item);
    out.EndArray();
}

template <typename Out> void Imports(Out& out, const std::vector<ImportDll>& dlls)
{
    out.BeginArray();
    for (const ImportDll& dll : dlls) {
        out.BeginObject();
        StringMember(out, "dll", dll.name);
        PutFields(out, dll.fields);
        out.Key("functions");
        out.BeginArray();
        for (const ImportFunction& function : dll.functions) {
            out.BeginObject();
            if (function.ordinal) {
                NumberMember(out, "ordinal", *function.ordinal);
            } else {
                StringMember(out, "name", function.name);
                NumberMember(out, "hint", function.hint);
            }
            NumberMember(out, "thunk_rva", function.thunkRva);
            out.EndObject();
        }
        out.EndArray();
        out.EndObject();
    }
    out.EndArray();
}

template <typename Out> void Exports(Out& out, const ExportTable& table)
{
    if (!table.present)
        return out.Null();
    out.BeginObject();
    StringMember(out, "name", table.name);
    PutFields(out, table.fields);
    out.Key("functions");
    out.BeginArray();
    for (const ExportFunction& function : table.functions) {
        out.BeginObject();
        NumberMember(out, "ordinal", function.ordinal);
        NumberMember(out, "rva", function.rva);
        out.Key("names");
        out.BeginArray();
        for (const std::string& name : function.names)
            out.String(name);
        out.EndArray();
        out.Key("forwarder");
        if (function.forwarder.empty())
            out.Null();
        else
            out.String(function.forwarder);
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
}

template <typename Out> void Resources(Out& out, const std::vector<ResourceLeaf>& leaves)
{
    out.BeginArray();
    for (const ResourceLeaf& leaf : leaves) {
        out.BeginObject();
        out.Key("type");
        const std::string_view standard = ResourceTypeName(leaf.type);
        if (!leaf.typeName.empty())
            out.String(leaf.typeName);
        else if (!standard.empty())
            out.String(standard);
        else
            out.Number(leaf.type);
        out.Key("name");
        if (leaf.name.empty())
            out.Number(leaf.id);
        else
            out.String(leaf.name);
        NumberMember(out, "language", leaf.language);
        NumberMember(out, "rva", leaf.rva);
        NumberMember(out, "size", leaf.size);
        NumberMember(out, "codepage", leaf.codePage);
        out.EndObject();
    }
    out.EndArray();
}

template <typename Out> void Version(Out& out, const VersionInfo& info)
{
    if (!info.present)
        return out.Null();
    // A key the string table holds twice keeps its first place and its last value, as a
    // JSON object assigned key by key does.
    std::vector<std::pair<std::string_view, std::string_view>> strings;
    std::unordered_map<std::string_view, size_t> place;
    for (const auto& [key, value] : info.strings) {
        const auto [at, added] = place.try_emplace(key, strings.size());
        if (added)
            strings.emplace_back(key, value);
        else
            strings[at->second].second = value;
    }
    out.BeginObject();
    StringMember(out, "FileVersion", info.fileVersion);
    StringMember(out, "ProductVersion", info.productVersion);
    // The fixed info's versions keep their keys; the table's own texts are under "strings".
    for (const auto& [key, value] : strings) {
        if (key != "FileVersion" && key != "ProductVersion" && key != "fixed" && key != "strings") {
            StringMember(out, key, value);
        }
    }
    out.Key("fixed");
    out.BeginObject();
    PutFields(out, info.fixed);
    out.EndObject();
    out.Key("strings");
    out.BeginObject();
    for (const auto& [key, value] : strings) {
        StringMember(out, key, value);
    }
    out.EndObject();
    out.EndObject();
}

template <typename Out> void Debug(Out& out, const std::vector<DebugEntry>& entries)
{
    out.BeginArray();
    for (const DebugEntry& entry : entries) {
        out.BeginObject();
        StringMember(out, "type", entry.typeName);
        PutFields(out, entry.fields);
        if (entry.codeView) {
            out.Key("codeview");
            out.BeginObject();
            StringMember(out, "format", entry.codeView->format);
            StringMember(out, "guid", entry.codeView->guid);
            NumberMember(out, "age", entry.codeView->age);
            StringMember(out, "pdb", entry.codeView->pdb);
            out.EndObject();
        }
        if (!entry.repro.empty()) {
            StringMember(out, "repro", entry.repro);
        }
        if (entry.extendedDllCharacteristics) {
            NumberMember(out, "ex_dll_characteristics", *entry.extendedDllCharacteristics);
            out.Key("ex_dll_characteristics_flags");
            Strings(out, entry.extendedFlags);
        }
        out.EndObject();
    }
    out.EndArray();
}

template <typename Out> void LoadConfigJson(Out& out, const LoadConfig& config)
{
    if (!config.present)
        return out.Null();
    out.BeginObject();
    PutFields(out, config.fields);
    if (config.guardFlags) {
        out.Key("guard_flags");
        Strings(out, config.guardFlagNames);
    }
    out.EndObject();
}

template <typename Out> void Tls(Out& out, const TlsDirectory& tls)
{
    if (!tls.present)
        return out.Null();
    out.BeginObject();
    PutFields(out, tls.fields);
    out.Key("callbacks");
    out.BeginArray();
    for (const uint64_t callback : tls.callbacks)
        out.Number(callback);
    out.EndArray();
    out.EndObject();
}

template <typename Out> void RelocationsJson(Out& out, const Relocations& relocations)
{
    out.BeginObject();
    out.Key("blocks");
    out.BeginArray();
    for (const Relocations::Block& block : relocations.blocks) {
        out.BeginObject();
        NumberMember(out, "page_rva", block.pageRva);
        NumberMember(out, "entries", block.entries);
        out.EndObject();
    }
    out.EndArray();
    NumberMember(out, "entries", relocations.entries);
    out.Key("by_type");
    out.BeginObject();
    for (const auto& [name, count] : relocations.byType) {
        NumberMember(out, name, count);
    }
    out.EndObject();
    out.EndObject();
}

template <typename Out> void Range(Out& out, const std::optional<ExceptionTable::Range>& range)
{
    if (!range)
        return out.Null();
    out.BeginObject();
    NumberMember(out, "begin", range->begin);
    NumberMember(out, "end", range->end);
    out.EndObject();
}

template <typename Out> void Exceptions(Out& out, const ExceptionTable& table)
{
    if (!table.present)
        return out.Null();
    out.BeginObject();
    NumberMember(out, "count", table.count);
    out.Key("first");
    Range(out, table.first);
    out.Key("last");
    Range(out, table.last);
    out.EndObject();
}

template <typename Out> void Clr(Out& out, const ClrHeader& clr)
{
    if (!clr.present)
        return out.Null();
    out.BeginObject();
    PutFields(out, clr.fields);
    StringMember(out, "runtime_version", clr.runtimeVersion);
    out.Key("flags");
    Strings(out, clr.flagNames);
    StringMember(out, "metadata_version", clr.metadataVersion);
    out.EndObject();
}

template <typename Out> void Rich(Out& out, const RichHeader& rich)
{
    if (!rich.present)
        return out.Null();
    out.BeginObject();
    NumberMember(out, "offset", rich.offset);
    NumberMember(out, "key", rich.key);
    out.Key("checksum_valid");
    out.Bool(rich.checksumValid);
    out.Key("entries");
    out.BeginArray();
    for (const RichHeader::Entry& entry : rich.entries) {
        out.BeginObject();
        NumberMember(out, "product", entry.product);
        NumberMember(out, "build", entry.build);
        NumberMember(out, "count", entry.count);
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
}

template <typename Out> void Overlay(Out& out, const ::Overlay& overlay)
{
    if (!overlay.present)
        return out.Null();
    out.BeginObject();
    NumberMember(out, "offset", overlay.offset);
    NumberMember(out, "size", overlay.size);
    out.Key("certificates");
    out.Bool(overlay.holdsCertificates);
    out.EndObject();
}

template <typename Out> void WriteContents(Out& out, const ImageContents& contents)
{
    out.BeginObject();
    out.Key("imports");
    Imports(out, contents.imports);
    out.Key("delay_imports");
    Imports(out, contents.delayImports);
    out.Key("exports");
    Exports(out, contents.exports);
    out.Key("resources");
    Resources(out, contents.resources);
    out.Key("version_info");
    Version(out, contents.versionInfo);
    out.Key("manifest");
    if (contents.manifest)
        out.String(*contents.manifest);
    else
        out.Null();
    out.Key("debug");
    Debug(out, contents.debug);
    out.Key("load_config");
    LoadConfigJson(out, contents.loadConfig);
    out.Key("tls");
    Tls(out, contents.tls);
    out.Key("relocations");
    RelocationsJson(out, contents.relocations);
    out.Key("exceptions");
    Exceptions(out, contents.exceptions);
    out.Key("clr");
    Clr(out, contents.clr);
    out.Key("rich_header");
    Rich(out, contents.rich);
    out.Key("overlay");
    Overlay(out, contents.overlay);
    out.Key("certificates");
    out.BeginArray();
    for (const Certificate& certificate : contents.certificates) {
        out.BeginObject();
        NumberMember(out, "offset", certificate.offset);
        NumberMember(out, "length", certificate.length);
        NumberMember(out, "revision", certificate.revision);
        NumberMember(out, "type", certificate.type);
        out.EndObject();
    }
    out.EndArray();
    out.Key("anomalies");
    out.BeginArray();
    for (const std::string& anomaly : contents.anomalies)
        out.String(anomaly);
    out.EndArray();
    out.EndObject();
}

void TextOf(const Json& value, int indent, const std::string& key, std::string& text)
{
    const std::string pad(static_cast<size_t>(indent), ' ');
    if (value.is_object() || value.is_array()) {
        if (value.empty()) {
            text.append(pad).append(key).append(value.is_object() ? ": {}\n" : ": (none)\n");
            return;
        }
        text.append(pad).append(key).append(":\n");
        size_t i = 0;
        for (auto it = value.begin(); it != value.end(); ++it, ++i) {
            std::string label(1, '[');
            label.append(std::to_string(i)).push_back(']');
            TextOf(*it, indent + 2, value.is_object() ? it.key() : label, text);
        }
        return;
    }
    text.append(pad).append(key).append(": ");
    if (value.is_string())
        text.append(value.get_ref<const std::string&>());
    else if (value.is_null())
        text.append("(none)");
    else
        text.append(value.dump());
    text.push_back('\n');
}

} // namespace

nlohmann::ordered_json ContentsJson(const ImageContents& contents)
{
    JsonTree tree;
    WriteContents(tree, contents);
    return std::move(tree.Root);
}

void AppendContentsJson(std::string& text, const ImageContents& contents)
{
    // Room for the whole text at once (its keys and numbers estimated), so it is not copied as it
    // grows: 660 KB for MinGW's libstdc++.
    size_t room = 8192 + 128 * (contents.resources.size() + contents.anomalies.size())
        + 48 * contents.relocations.blocks.size();
    for (const ExportFunction& function : contents.exports.functions) {
        room += 80 + function.forwarder.size();
        for (const std::string& name : function.names)
            room += name.size() + 3;
    }
    for (const auto* dlls : {&contents.imports, &contents.delayImports}) {
        for (const ImportDll& dll : *dlls) {
            room += 256 + dll.name.size();
            for (const ImportFunction& function : dll.functions)
                room += 64 + function.name.size();
        }
    }
    for (const std::string& anomaly : contents.anomalies)
        room += anomaly.size();
    text.reserve(text.size() + room);
    JsonText out(text);
    WriteContents(out, contents);
}

std::string ContentsText(const ImageContents& contents)
{
    std::string text = "\nContents\n";
    const Json object = ContentsJson(contents);
    for (auto it = object.begin(); it != object.end(); ++it)
        TextOf(*it, 2, it.key(), text);
    return text;
}
