// show --contents: the decoded directories as the `contents` JSON object, and as indented text.
#include "cli/ContentsJson.h"

namespace {

using Json = nlohmann::ordered_json;

void PutFields(Json& object, const std::vector<ContentsField>& fields)
{
    for (const ContentsField& field : fields)
        object[std::string(field.name)] = field.value;
}

Json Imports(const std::vector<ImportDll>& dlls)
{
    Json list = Json::array();
    for (const ImportDll& dll : dlls) {
        Json entry = Json::object();
        entry["dll"] = dll.name;
        PutFields(entry, dll.fields);
        Json functions = Json::array();
        for (const ImportFunction& function : dll.functions) {
            Json item = Json::object();
            if (function.ordinal) {
                item["ordinal"] = *function.ordinal;
            } else {
                item["name"] = function.name;
                item["hint"] = function.hint;
            }
            item["thunk_rva"] = function.thunkRva;
            functions.push_back(std::move(item));
        }
        entry["functions"] = std::move(functions);
        list.push_back(std::move(entry));
    }
    return list;
}

Json Exports(const ExportTable& table)
{
    if (!table.present)
        return nullptr;
    Json object = Json::object();
    object["name"] = table.name;
    PutFields(object, table.fields);
    Json functions = Json::array();
    for (const ExportFunction& function : table.functions) {
        Json item = Json::object();
        item["ordinal"] = function.ordinal;
        item["rva"] = function.rva;
        item["names"] = function.names;
        item["forwarder"] = function.forwarder.empty() ? Json() : Json(function.forwarder);
        functions.push_back(std::move(item));
    }
    object["functions"] = std::move(functions);
    return object;
}

Json Resources(const std::vector<ResourceLeaf>& leaves)
{
    Json list = Json::array();
    for (const ResourceLeaf& leaf : leaves) {
        Json item = Json::object();
        const std::string_view standard = ResourceTypeName(leaf.type);
        if (!leaf.typeName.empty())
            item["type"] = leaf.typeName;
        else if (!standard.empty())
            item["type"] = standard;
        else
            item["type"] = leaf.type;
        item["name"] = leaf.name.empty() ? Json(leaf.id) : Json(leaf.name);
        item["language"] = leaf.language;
        item["rva"] = leaf.rva;
        item["size"] = leaf.size;
        item["codepage"] = leaf.codePage;
        list.push_back(std::move(item));
    }
    return list;
}

Json Version(const VersionInfo& info)
{
    if (!info.present)
        return nullptr;
    Json object = Json::object();
    object["FileVersion"] = info.fileVersion;
    object["ProductVersion"] = info.productVersion;
    Json strings = Json::object();
    for (const auto& [key, value] : info.strings) {
        // The fixed info's versions keep their keys; the table's own texts are under "strings".
        if (key != "FileVersion" && key != "ProductVersion" && key != "fixed" && key != "strings")
            object[key] = value;
        strings[key] = value;
    }
    Json fixed = Json::object();
    PutFields(fixed, info.fixed);
    object["fixed"] = std::move(fixed);
    object["strings"] = std::move(strings);
    return object;
}

Json Debug(const std::vector<DebugEntry>& entries)
{
    Json list = Json::array();
    for (const DebugEntry& entry : entries) {
        Json item = Json::object();
        item["type"] = entry.typeName;
        PutFields(item, entry.fields);
        if (entry.codeView) {
            item["codeview"] = {{"format", entry.codeView->format}, {"guid", entry.codeView->guid},
                {"age", entry.codeView->age}, {"pdb", entry.codeView->pdb}};
        }
        if (!entry.repro.empty())
            item["repro"] = entry.repro;
        if (entry.extendedDllCharacteristics) {
            item["ex_dll_characteristics"] = *entry.extendedDllCharacteristics;
            item["ex_dll_characteristics_flags"] = entry.extendedFlags;
        }
        list.push_back(std::move(item));
    }
    return list;
}

Json LoadConfigJson(const LoadConfig& config)
{
    if (!config.present)
        return nullptr;
    Json object = Json::object();
    PutFields(object, config.fields);
    if (config.guardFlags)
        object["guard_flags"] = config.guardFlagNames;
    return object;
}

Json Tls(const TlsDirectory& tls)
{
    if (!tls.present)
        return nullptr;
    Json object = Json::object();
    PutFields(object, tls.fields);
    object["callbacks"] = tls.callbacks;
    return object;
}

Json RelocationsJson(const Relocations& relocations)
{
    Json blocks = Json::array();
    for (const Relocations::Block& block : relocations.blocks)
        blocks.push_back({{"page_rva", block.pageRva}, {"entries", block.entries}});
    Json byType = Json::object();
    for (const auto& [name, count] : relocations.byType)
        byType[std::string(name)] = count;
    return {{"blocks", std::move(blocks)}, {"entries", relocations.entries}, {"by_type", std::move(byType)}};
}

Json Exceptions(const ExceptionTable& table)
{
    if (!table.present)
        return nullptr;
    Json object = {{"count", table.count}};
    auto range = [](const std::optional<ExceptionTable::Range>& r) {
        return r ? Json{{"begin", r->begin}, {"end", r->end}} : Json();
    };
    object["first"] = range(table.first);
    object["last"] = range(table.last);
    return object;
}

Json Clr(const ClrHeader& clr)
{
    if (!clr.present)
        return nullptr;
    Json object = Json::object();
    PutFields(object, clr.fields);
    object["runtime_version"] = clr.runtimeVersion;
    object["flags"] = clr.flagNames;
    object["metadata_version"] = clr.metadataVersion;
    return object;
}

Json Rich(const RichHeader& rich)
{
    if (!rich.present)
        return nullptr;
    Json entries = Json::array();
    for (const RichHeader::Entry& entry : rich.entries)
        entries.push_back({{"product", entry.product}, {"build", entry.build}, {"count", entry.count}});
    return {{"offset", rich.offset}, {"key", rich.key}, {"checksum_valid", rich.checksumValid},
        {"entries", std::move(entries)}};
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
    Json object = Json::object();
    object["imports"] = Imports(contents.imports);
    object["delay_imports"] = Imports(contents.delayImports);
    object["exports"] = Exports(contents.exports);
    object["resources"] = Resources(contents.resources);
    object["version_info"] = Version(contents.versionInfo);
    object["manifest"] = contents.manifest ? Json(*contents.manifest) : Json();
    object["debug"] = Debug(contents.debug);
    object["load_config"] = LoadConfigJson(contents.loadConfig);
    object["tls"] = Tls(contents.tls);
    object["relocations"] = RelocationsJson(contents.relocations);
    object["exceptions"] = Exceptions(contents.exceptions);
    object["clr"] = Clr(contents.clr);
    object["rich_header"] = Rich(contents.rich);
    object["overlay"] = contents.overlay.present
        ? Json{{"offset", contents.overlay.offset}, {"size", contents.overlay.size},
            {"certificates", contents.overlay.holdsCertificates}}
        : Json();
    Json certificates = Json::array();
    for (const Certificate& certificate : contents.certificates)
        certificates.push_back({{"offset", certificate.offset}, {"length", certificate.length},
            {"revision", certificate.revision}, {"type", certificate.type}});
    object["certificates"] = std::move(certificates);
    object["anomalies"] = contents.anomalies;
    return object;
}

std::string ContentsText(const ImageContents& contents)
{
    std::string text = "\nContents\n";
    const Json object = ContentsJson(contents);
    for (auto it = object.begin(); it != object.end(); ++it)
        TextOf(*it, 2, it.key(), text);
    return text;
}
