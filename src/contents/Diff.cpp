// The comparer behind korvex-cli diff: named parts first, then the bytes no name covers.
#include "contents/Diff.h"

#include "header/FieldNames.h"
#include "header/FieldTable.h"
#include "header/HeaderSave.h"
#include "header/ImageNames.h"
#include "header/TimeStamp.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr size_t kChunk = size_t(1) << 20;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::vector<std::string> Strings(const std::vector<std::string_view>& views)
{
    return {views.begin(), views.end()};
}

std::vector<std::string> FlagNames(std::span<const FileFlag> flags, uint64_t value)
{
    return Strings(FlagCaptions(flags, value));
}

std::vector<std::string> SectionFlags(uint64_t value)
{
    return Strings(SectionFlagCaptions(value));
}

// What is in one list and not in the other, in the list's order (lists may be long in a
// hostile file: one pass over each).
std::vector<std::string> Missing(const std::vector<std::string>& from, const std::vector<std::string>& in)
{
    const std::unordered_set<std::string> there(in.begin(), in.end());
    std::vector<std::string> missing;
    for (const std::string& name : from) {
        if (!there.contains(name))
            missing.push_back(name);
    }
    return missing;
}

// A region compared byte by byte: the same length from startA in A and startB in B.
struct Region {
    std::string label;
    uint64_t startA = 0;
    uint64_t startB = 0;
    uint64_t length = 0;
};

struct RawSpan {
    uint64_t start = 0;
    uint64_t end = 0;
};

class Differ {
public:
    Differ(const DiffSide& a, const DiffSide& b)
        : A(a)
        , B(b)
    {
    }

    std::vector<Difference> Run()
    {
        Headers();
        Directories();
        Sections();
        Imports("imports", A.contents.imports, B.contents.imports);
        Imports("delay_imports", A.contents.delayImports, B.contents.delayImports);
        BoundImports();
        Exports();
        Resources();
        Version();
        Debug();
        Fields("load_config", A.contents.loadConfig.present, B.contents.loadConfig.present,
            A.contents.loadConfig.fields, B.contents.loadConfig.fields);
        Fields("tls", A.contents.tls.present, B.contents.tls.present, A.contents.tls.fields,
            B.contents.tls.fields);
        if (A.contents.tls.callbacks != B.contents.tls.callbacks)
            Value("tls", "tls.callbacks", A.contents.tls.callbacks.size(), B.contents.tls.callbacks.size());
        Fields("clr", A.contents.clr.present, B.contents.clr.present, A.contents.clr.fields,
            B.contents.clr.fields);
        Text("clr", "clr.metadata_version", A.contents.clr.metadataVersion, B.contents.clr.metadataVersion);
        Rich();
        Overlay();
        Bytes();
        return std::move(FOut);
    }

private:
    const DiffSide& A;
    const DiffSide& B;
    std::vector<Difference> FOut;
    std::vector<RawSpan> FNamed; // A's bytes that named differences cover

    void Named(uint64_t offset, uint64_t width) { FNamed.push_back({offset, offset + width}); }

    Difference& Value(const std::string& part, std::string name, uint64_t old, uint64_t now)
    {
        Difference& d = FOut.emplace_back();
        d.part = part;
        d.name = std::move(name);
        d.oldValue = old;
        d.newValue = now;
        return d;
    }

    Difference* Text(
        const std::string& part, std::string name, const std::string& old, const std::string& now)
    {
        if (old == now)
            return nullptr;
        Difference& d = FOut.emplace_back();
        d.part = part;
        d.name = std::move(name);
        d.oldText = old;
        d.newText = now;
        return &d;
    }

    // A part only one side has: added when B has it, removed when A has it.
    Difference& Presence(const std::string& part, std::string name, bool inB, std::string text = {},
        std::optional<uint64_t> value = std::nullopt)
    {
        Difference& d = FOut.emplace_back();
        d.part = part;
        d.name = std::move(name);
        d.change = inB ? DiffChange::Added : DiffChange::Removed;
        (inB ? d.newText : d.oldText) = std::move(text);
        (inB ? d.newValue : d.oldValue) = value;
        return d;
    }

    static void Annotate(const HeaderField& field, Difference& d)
    {
        const uint64_t old = *d.oldValue, now = *d.newValue;
        auto named = [&](ValueNames kind) {
            d.oldText = ValueName(kind, old);
            d.newText = ValueName(kind, now);
        };
        if (field.peName == "Machine") {
            named(ValueNames::Machine);
        } else if (field.peName == "Magic") {
            named(ValueNames::Magic);
        } else if (field.peName == "Subsystem") {
            named(ValueNames::Subsystem);
        } else if (field.peName == "TimeDateStamp") {
            d.oldText = StampCaption(static_cast<uint32_t>(old));
            d.newText = StampCaption(static_cast<uint32_t>(now));
        } else if (field.structure == HeaderStructure::File && field.peName == "Characteristics") {
            d.flagsAdded = Missing(
                FlagNames(FileCharacteristicFlags(), now), FlagNames(FileCharacteristicFlags(), old));
            d.flagsRemoved = Missing(
                FlagNames(FileCharacteristicFlags(), old), FlagNames(FileCharacteristicFlags(), now));
        } else if (field.peName == "DllCharacteristics") {
            d.flagsAdded
                = Missing(FlagNames(DllCharacteristicFlags(), now), FlagNames(DllCharacteristicFlags(), old));
            d.flagsRemoved
                = Missing(FlagNames(DllCharacteristicFlags(), old), FlagNames(DllCharacteristicFlags(), now));
        }
    }

    void Headers()
    {
        const ImageHeaders& ha = A.headers;
        const ImageHeaders& hb = B.headers;
        // The DOS header's other words, e_lfanew last.
        const auto extras = DosExtraFields();
        for (size_t i = 0; i < extras.size(); ++i) {
            const uint64_t old = ha.dosExtra[i], now = hb.dosExtra[i];
            if (old == now)
                continue;
            Value("header", std::string(extras[i].peName), old, now).field
                = FieldRef{FieldRef::kDosExtra, static_cast<int>(i), ha.layout};
            Named(extras[i].offset, extras[i].width);
        }
        const auto fieldsA = HeaderFields(ha.layout);
        const auto fieldsB = HeaderFields(hb.layout);
        for (size_t i = 0; i < fieldsA.size(); ++i) {
            const HeaderField& fa = fieldsA[i];
            const HeaderField& fb = fieldsB[i];
            if (!fa.Present() && !fb.Present())
                continue;
            const FieldRef ref{FieldRef::kHeader, static_cast<int>(i), fa.Present() ? ha.layout : hb.layout};
            if (fa.Present() != fb.Present()) {
                Difference& d = Presence(
                    "header", FieldPeName(ref), fb.Present(), {}, fb.Present() ? hb.values[i] : ha.values[i]);
                if (fa.Present()) {
                    d.field = ref;
                    Named(FieldPosition(fa, ha.peOffset, ha.optHeaderSize), fa.width);
                }
                continue;
            }
            if (ha.values[i] == hb.values[i])
                continue;
            Difference& d = Value("header", FieldPeName(ref), ha.values[i], hb.values[i]);
            d.field = ref;
            Annotate(fa, d);
            Named(FieldPosition(fa, ha.peOffset, ha.optHeaderSize), fa.width);
        }
    }

    void Directories()
    {
        const int entries = std::max(A.headers.directoryEntries, B.headers.directoryEntries);
        for (int e = 0; e < entries; ++e) {
            const bool inA = e < A.headers.directoryEntries, inB = e < B.headers.directoryEntries;
            for (int half = 0; half < 2; ++half) {
                const auto index = static_cast<size_t>(2 * e + half);
                const FieldRef ref{
                    FieldRef::kDirectories, 2 * e + half, inA ? A.headers.layout : B.headers.layout};
                const uint64_t old = A.headers.directories[index], now = B.headers.directories[index];
                if (inA != inB) {
                    Difference& d = Presence("directory", FieldPeName(ref), inB, {}, inB ? now : old);
                    if (inA)
                        d.field = ref;
                } else if (old != now) {
                    Value("directory", FieldPeName(ref), old, now).field = ref;
                    Named(FieldPosition(DataDirectoryFields(A.headers.layout)[index], A.headers.peOffset,
                              A.headers.optHeaderSize),
                        4);
                }
            }
        }
    }

    // Matched by index where the names agree, then by name, then what is left at one index.
    std::vector<std::pair<size_t, size_t>> FMatched;

    void Sections()
    {
        const auto& sa = A.headers.sections;
        const auto& sb = B.headers.sections;
        std::vector<bool> usedA(sa.size()), usedB(sb.size());
        auto match = [&](size_t i, size_t j) {
            usedA[i] = usedB[j] = true;
            FMatched.emplace_back(i, j);
        };
        for (size_t i = 0; i < std::min(sa.size(), sb.size()); ++i) {
            if (sa[i].name == sb[i].name)
                match(i, i);
        }
        for (size_t i = 0; i < sa.size(); ++i) {
            for (size_t j = 0; j < sb.size() && !usedA[i]; ++j) {
                if (!usedB[j] && sa[i].name == sb[j].name)
                    match(i, j);
            }
        }
        for (size_t i = 0; i < std::min(sa.size(), sb.size()); ++i) {
            if (!usedA[i] && !usedB[i]) {
                match(i, i);
                if (Difference* d = Text("section", "section." + std::to_string(i) + ".Name",
                        SectionNameText(sa[i]), SectionNameText(sb[i]))) {
                    d->field = FieldRef{static_cast<int>(i), FieldRef::kNameRow, A.headers.layout};
                    d->otherSection = static_cast<int>(i);
                }
                Named(FieldPosition(SectionFields()[0], A.headers.peOffset, A.headers.optHeaderSize,
                          static_cast<uint32_t>(i))
                        - 8,
                    8);
            }
        }
        std::sort(FMatched.begin(), FMatched.end());
        for (size_t i = 0; i < sa.size(); ++i) {
            if (!usedA[i])
                Presence("section", "section." + std::to_string(i), false, SectionNameText(sa[i])).field
                    = FieldRef{static_cast<int>(i), FieldRef::kNameRow, A.headers.layout};
        }
        for (size_t j = 0; j < sb.size(); ++j) {
            if (!usedB[j])
                Presence("section", "section." + std::to_string(j), true, SectionNameText(sb[j]));
        }
        const auto rows = SectionFields();
        for (const auto& [i, j] : FMatched) {
            for (size_t r = 0; r < rows.size(); ++r) {
                const uint64_t old = sa[i].rows[r], now = sb[j].rows[r];
                if (old == now)
                    continue;
                const FieldRef ref{static_cast<int>(i), static_cast<int>(r), A.headers.layout};
                Difference& d = Value("section", FieldPeName(ref), old, now);
                d.field = ref;
                d.otherSection = static_cast<int>(j);
                if (rows[r].peName == "Characteristics") {
                    d.flagsAdded = Missing(SectionFlags(now), SectionFlags(old));
                    d.flagsRemoved = Missing(SectionFlags(old), SectionFlags(now));
                }
                Named(FieldPosition(
                          rows[r], A.headers.peOffset, A.headers.optHeaderSize, static_cast<uint32_t>(i)),
                    rows[r].width);
            }
        }
    }

    // Fields of one structure, matched by name.
    void Fields(const std::string& prefix, bool presentA, bool presentB, const std::vector<ContentsField>& fa,
        const std::vector<ContentsField>& fb)
    {
        if (presentA != presentB) {
            Presence(prefix, prefix, presentB);
            return;
        }
        for (const ContentsField& field : fa) {
            const auto other = std::find_if(
                fb.begin(), fb.end(), [&](const ContentsField& f) { return f.name == field.name; });
            const std::string name = prefix + "." + std::string(field.name);
            if (other == fb.end()) {
                Presence(prefix, name, false, {}, field.value);
            } else if (other->value != field.value) {
                Value(prefix, name, field.value, other->value);
                Named(field.offset, field.width);
            }
        }
        for (const ContentsField& field : fb) {
            if (std::none_of(
                    fa.begin(), fa.end(), [&](const ContentsField& f) { return f.name == field.name; }))
                Presence(prefix, prefix + "." + std::string(field.name), true, {}, field.value);
        }
    }

    static std::string FunctionKey(const ImportFunction& function)
    {
        return function.ordinal ? "#" + std::to_string(*function.ordinal) : function.name;
    }

    void Imports(const std::string& part, const std::vector<ImportDll>& da, const std::vector<ImportDll>& db)
    {
        // By name, in any case; a name imported twice pairs its descriptors in order.
        auto keys = [](const std::vector<ImportDll>& dlls) {
            std::vector<std::string> result;
            std::unordered_map<std::string, size_t> seen;
            for (const ImportDll& dll : dlls) {
                const std::string name = Lower(dll.name);
                result.push_back(name + "/" + std::to_string(seen[name]++));
            }
            return result;
        };
        const std::vector<std::string> keysA = keys(da), keysB = keys(db);
        std::unordered_map<std::string, const ImportDll*> byNameA, byNameB;
        for (size_t i = 0; i < da.size(); ++i)
            byNameA.emplace(keysA[i], &da[i]);
        for (size_t i = 0; i < db.size(); ++i)
            byNameB.emplace(keysB[i], &db[i]);
        for (size_t i = 0; i < da.size(); ++i) {
            if (!byNameB.contains(keysA[i]))
                Presence(part, part + "." + da[i].name, false, da[i].name);
        }
        for (size_t i = 0; i < db.size(); ++i) {
            const ImportDll& dll = db[i];
            const auto found = byNameA.find(keysB[i]);
            if (found == byNameA.end()) {
                Presence(part, part + "." + dll.name, true, dll.name);
                continue;
            }
            const ImportDll* old = found->second;
            std::vector<std::string> fa, fb;
            for (const ImportFunction& function : old->functions)
                fa.push_back(FunctionKey(function));
            for (const ImportFunction& function : dll.functions)
                fb.push_back(FunctionKey(function));
            for (const std::string& name : Missing(fa, fb))
                Presence(part, part + "." + old->name + "." + name, false, name);
            for (const std::string& name : Missing(fb, fa))
                Presence(part, part + "." + dll.name + "." + name, true, name);
        }
        // The descriptors' own fields, where both sides hold the same DLL at the same place.
        for (size_t i = 0; i < std::min(da.size(), db.size()); ++i) {
            if (Lower(da[i].name) == Lower(db[i].name))
                Fields(part + "." + std::to_string(i), true, true, da[i].fields, db[i].fields);
        }
    }

    void BoundImports()
    {
        const auto& ba = A.contents.boundImports;
        const auto& bb = B.contents.boundImports;
        for (size_t i = 0; i < std::max(ba.size(), bb.size()); ++i) {
            const std::string name = "bound_imports." + std::to_string(i);
            if (i >= ba.size() || i >= bb.size()) {
                const BoundImport& entry = i < ba.size() ? ba[i] : bb[i];
                Presence("bound_imports", name, i >= ba.size(), entry.name, entry.timeDateStamp);
                continue;
            }
            Text("bound_imports", name + ".name", ba[i].name, bb[i].name);
            if (ba[i].timeDateStamp != bb[i].timeDateStamp) {
                Value("bound_imports", name + ".TimeDateStamp", ba[i].timeDateStamp, bb[i].timeDateStamp);
                Named(ba[i].offset, 4);
            }
        }
    }

    void Exports()
    {
        const ExportTable& ea = A.contents.exports;
        const ExportTable& eb = B.contents.exports;
        Fields("exports", ea.present, eb.present, ea.fields, eb.fields);
        if (!ea.present || !eb.present)
            return;
        Text("exports", "exports.name", ea.name, eb.name);
        auto key = [](const ExportFunction& f, uint32_t base) {
            return f.names.empty() ? "#" + std::to_string(f.ordinal + base) : f.names.front();
        };
        std::map<std::string, const ExportFunction*> fa, fb;
        for (const ExportFunction& f : ea.functions)
            fa.emplace(key(f, 0), &f);
        for (const ExportFunction& f : eb.functions)
            fb.emplace(key(f, 0), &f);
        for (const auto& [name, f] : fa) {
            const auto other = fb.find(name);
            if (other == fb.end()) {
                Presence("exports", "exports." + name, false, name, f->rva);
                continue;
            }
            if (f->rva != other->second->rva)
                Value("exports", "exports." + name + ".rva", f->rva, other->second->rva);
            Text("exports", "exports." + name + ".forwarder", f->forwarder, other->second->forwarder);
        }
        for (const auto& [name, f] : fb) {
            if (!fa.contains(name))
                Presence("exports", "exports." + name, true, name, f->rva);
        }
    }

    static std::string LeafKey(const ResourceLeaf& leaf)
    {
        std::string type(leaf.typeName);
        if (type.empty()) {
            type = ResourceTypeName(leaf.type);
            if (type.empty())
                type = std::to_string(leaf.type);
        }
        return type + "/" + (leaf.name.empty() ? std::to_string(leaf.id) : leaf.name) + "/"
            + std::to_string(leaf.language);
    }

    void Resources()
    {
        std::map<std::string, const ResourceLeaf*> la, lb;
        for (const ResourceLeaf& leaf : A.contents.resources)
            la.emplace(LeafKey(leaf), &leaf);
        for (const ResourceLeaf& leaf : B.contents.resources)
            lb.emplace(LeafKey(leaf), &leaf);
        for (const auto& [key, leaf] : la) {
            const auto other = lb.find(key);
            if (other == lb.end())
                Presence("resources", "resources." + key, false, {}, leaf->size);
            else if (leaf->size != other->second->size)
                Value("resources", "resources." + key + ".size", leaf->size, other->second->size);
        }
        for (const auto& [key, leaf] : lb) {
            if (!la.contains(key))
                Presence("resources", "resources." + key, true, {}, leaf->size);
        }
        // The directory tables' time stamps, where both trees have the same tables.
        const auto& da = A.contents.resourceDirectories;
        const auto& db = B.contents.resourceDirectories;
        if (da.size() != db.size())
            return;
        for (size_t i = 0; i < da.size(); ++i) {
            uint8_t sa[4] = {}, sb[4] = {};
            if (A.file.ReadAt(da[i] + 4, sa, 4) != 4 || B.file.ReadAt(db[i] + 4, sb, 4) != 4
                || std::memcmp(sa, sb, 4) == 0)
                continue;
            auto le = [](const uint8_t* p) {
                return uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
            };
            Value("resources", "resources.directory." + std::to_string(i) + ".TimeDateStamp", le(sa), le(sb));
            Named(da[i] + 4, 4);
        }
    }

    void Version()
    {
        const VersionInfo& va = A.contents.versionInfo;
        const VersionInfo& vb = B.contents.versionInfo;
        if (va.present != vb.present) {
            Presence(
                "version_info", "version_info", vb.present, vb.present ? vb.fileVersion : va.fileVersion);
            return;
        }
        Fields("version_info.fixed", true, true, va.fixed, vb.fixed);
        Text("version_info", "version_info.FileVersion", va.fileVersion, vb.fileVersion);
        Text("version_info", "version_info.ProductVersion", va.productVersion, vb.productVersion);
        auto find = [](const VersionInfo& info, const std::string& key) -> const std::string* {
            for (const auto& [k, v] : info.strings) {
                if (k == key)
                    return &v;
            }
            return nullptr;
        };
        for (const auto& [key, value] : va.strings) {
            const std::string* other = find(vb, key);
            if (!other)
                Presence("version_info", "version_info.strings." + key, false, value);
            else
                Text("version_info", "version_info.strings." + key, value, *other);
        }
        for (const auto& [key, value] : vb.strings) {
            if (!find(va, key))
                Presence("version_info", "version_info.strings." + key, true, value);
        }
        if (A.contents.manifest.has_value() != B.contents.manifest.has_value())
            Presence("manifest", "manifest", B.contents.manifest.has_value());
        else if (A.contents.manifest && *A.contents.manifest != *B.contents.manifest)
            Text("manifest", "manifest", *A.contents.manifest, *B.contents.manifest);
    }

    void Debug()
    {
        const auto& da = A.contents.debug;
        const auto& db = B.contents.debug;
        for (size_t i = 0; i < std::max(da.size(), db.size()); ++i) {
            const std::string name = "debug." + std::to_string(i);
            if (i >= da.size() || i >= db.size()) {
                const DebugEntry& entry = i < da.size() ? da[i] : db[i];
                Presence("debug", name, i >= da.size(), std::string(entry.typeName));
                continue;
            }
            Fields(name, true, true, da[i].fields, db[i].fields);
            const auto& ca = da[i].codeView;
            const auto& cb = db[i].codeView;
            if (ca.has_value() != cb.has_value()) {
                Presence("debug", name + ".codeview", cb.has_value(), cb ? cb->pdb : ca->pdb);
            } else if (ca) {
                Text("debug", name + ".format", ca->format, cb->format);
                Text("debug", name + ".pdb", ca->pdb, cb->pdb);
                Text("debug", name + ".guid", ca->guid, cb->guid);
                if (ca->age != cb->age)
                    Value("debug", name + ".age", ca->age, cb->age);
            }
            Text("debug", name + ".repro", da[i].repro, db[i].repro);
        }
    }

    void Rich()
    {
        const RichHeader& ra = A.contents.rich;
        const RichHeader& rb = B.contents.rich;
        if (ra.present != rb.present) {
            Presence("rich_header", "rich_header", rb.present);
            return;
        }
        if (!ra.present)
            return;
        using Key = std::pair<uint16_t, uint16_t>;
        std::map<Key, uint32_t> ea, eb;
        for (const auto& e : ra.entries)
            ea[{e.product, e.build}] += e.count;
        for (const auto& e : rb.entries)
            eb[{e.product, e.build}] += e.count;
        auto name = [](const Key& k) {
            return "rich_header." + std::to_string(k.first) + "." + std::to_string(k.second);
        };
        bool named = ra.key != rb.key;
        for (const auto& [k, count] : ea) {
            const auto other = eb.find(k);
            if (other == eb.end())
                Presence("rich_header", name(k), false, {}, count);
            else if (other->second != count)
                Value("rich_header", name(k) + ".count", count, other->second);
            named = named || other == eb.end() || other->second != count;
        }
        for (const auto& [k, count] : eb) {
            if (!ea.contains(k)) {
                Presence("rich_header", name(k), true, {}, count);
                named = true;
            }
        }
        if (ra.key != rb.key)
            Value("rich_header", "rich_header.key", ra.key, rb.key);
        // The entries are stored masked with the key: a named change touches all their bytes.
        if (named)
            Named(ra.offset, 16 + 8 * uint64_t(ra.entries.size()) + 8);
    }

    static std::string Signature(const ImageContents& contents)
    {
        if (contents.certificates.empty())
            return "unsigned";
        uint64_t bytes = 0;
        for (const Certificate& certificate : contents.certificates)
            bytes += certificate.length;
        return "signed (" + std::to_string(contents.certificates.size()) + " certificate"
            + (contents.certificates.size() == 1 ? "" : "s") + ", " + std::to_string(bytes) + " bytes)";
    }

    void Overlay()
    {
        const ::Overlay& oa = A.contents.overlay;
        const ::Overlay& ob = B.contents.overlay;
        if (oa.present != ob.present)
            Presence("overlay", "overlay", ob.present, {}, ob.present ? ob.size : oa.size);
        else if (oa.present && oa.size != ob.size)
            Value("overlay", "overlay.size", oa.size, ob.size);
        Text("signature", "signature", Signature(A.contents), Signature(B.contents));
    }

    // Where the raw data of the sections lies in a file, clipped to it.
    static std::vector<RawSpan> RawSpans(const DiffSide& side)
    {
        std::vector<RawSpan> spans;
        const uint64_t size = side.headers.fileSize;
        for (const SectionValues& section : side.headers.sections) {
            const uint64_t start = std::min<uint64_t>(section.rows[3], size); // PointerToRawData
            spans.push_back({start, std::min<uint64_t>(start + section.rows[2], size)});
        }
        return spans;
    }

    static uint64_t HeadersEnd(const DiffSide& side, const std::vector<RawSpan>& spans)
    {
        uint64_t end = side.contents.overlay.present ? side.contents.overlay.offset : side.headers.fileSize;
        for (const RawSpan& span : spans) {
            if (span.end > span.start)
                end = std::min(end, span.start);
        }
        return end;
    }

    std::string SectionLabel(size_t i) const
    {
        return "section." + std::to_string(i) + " (" + SectionNameText(A.headers.sections[i]) + ")";
    }

    std::vector<Region> Regions() const
    {
        const std::vector<RawSpan> sa = RawSpans(A), sb = RawSpans(B);
        const uint64_t overlayA = A.contents.overlay.present ? A.contents.overlay.offset : A.headers.fileSize;
        const uint64_t overlayB = B.contents.overlay.present ? B.contents.overlay.offset : B.headers.fileSize;
        const bool sameLayout = A.headers.fileSize == B.headers.fileSize && sa.size() == sb.size()
            && overlayA == overlayB
            && std::equal(sa.begin(), sa.end(), sb.begin(),
                [](const RawSpan& x, const RawSpan& y) { return x.start == y.start && x.end == y.end; });
        std::vector<Region> regions;
        if (sameLayout) {
            // One pass over the whole file, each piece named by what holds it.
            const uint64_t size = A.headers.fileSize, headersEnd = HeadersEnd(A, sa);
            std::vector<uint64_t> cuts{0, size, headersEnd, overlayA};
            for (const RawSpan& span : sa) {
                cuts.push_back(span.start);
                cuts.push_back(span.end);
            }
            std::sort(cuts.begin(), cuts.end());
            cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
            for (size_t c = 0; c + 1 < cuts.size() && cuts[c] < size; ++c) {
                const uint64_t at = cuts[c];
                std::string label = at < headersEnd ? "headers"
                    : at >= overlayA                ? "overlay"
                                                    : "between sections";
                for (size_t i = 0; i < sa.size(); ++i) {
                    if (at >= sa[i].start && at < sa[i].end) {
                        label = SectionLabel(i);
                        break;
                    }
                }
                if (!regions.empty() && regions.back().label == label)
                    regions.back().length += cuts[c + 1] - at;
                else
                    regions.push_back({label, at, at, cuts[c + 1] - at});
            }
            return regions;
        }
        // The layouts differ (already named): each part compared from its own start.
        regions.push_back({"headers", 0, 0, std::min(HeadersEnd(A, sa), HeadersEnd(B, sb))});
        for (const auto& [i, j] : FMatched) {
            regions.push_back({SectionLabel(i), sa[i].start, sb[j].start,
                std::min(sa[i].end - sa[i].start, sb[j].end - sb[j].start)});
        }
        if (A.contents.overlay.present && B.contents.overlay.present)
            regions.push_back(
                {"overlay", overlayA, overlayB, std::min(A.contents.overlay.size, B.contents.overlay.size)});
        return regions;
    }

    void Bytes()
    {
        std::sort(FNamed.begin(), FNamed.end(),
            [](const RawSpan& x, const RawSpan& y) { return x.start < y.start; });
        std::vector<RawSpan> merged;
        for (const RawSpan& span : FNamed) {
            if (!merged.empty() && span.start <= merged.back().end)
                merged.back().end = std::max(merged.back().end, span.end);
            else
                merged.push_back(span);
        }
        FNamed = std::move(merged);
        std::vector<uint8_t> ba(kChunk), bb(kChunk);
        for (const Region& region : Regions()) {
            Difference d;
            d.part = "bytes";
            d.name = region.label;
            uint64_t runEnd = ~uint64_t(0); // where the last range ends in A
            for (uint64_t done = 0; done < region.length;) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, region.length - done));
                const uint64_t atA = region.startA + done, atB = region.startB + done;
                if (A.file.ReadAt(atA, ba.data(), n) != n || B.file.ReadAt(atB, bb.data(), n) != n)
                    throw std::runtime_error("the file ends before offset " + std::to_string(atA + n));
                done += n;
                if (std::memcmp(ba.data(), bb.data(), n) == 0)
                    continue;
                for (size_t k = FirstDiffering(ba.data(), bb.data(), 0, n); k < n;
                     k = FirstDiffering(ba.data(), bb.data(), k + 1, n)) {
                    const uint64_t at = atA + k;
                    if (IsNamed(at))
                        continue;
                    ++d.count;
                    if (at == runEnd) {
                        if (d.rangeCount <= kMaxDiffRanges)
                            ++d.ranges.back().length;
                    } else if (++d.rangeCount <= kMaxDiffRanges) {
                        d.ranges.push_back({at, atB + k, 1});
                    }
                    runEnd = at + 1;
                }
            }
            if (d.count > 0)
                FOut.push_back(std::move(d));
        }
    }

    // The first k from `from` on where the bytes differ, or n; eight bytes at a time.
    static size_t FirstDiffering(const uint8_t* a, const uint8_t* b, size_t from, size_t n)
    {
        while (from + 8 <= n) {
            uint64_t x, y;
            std::memcpy(&x, a + from, 8);
            std::memcpy(&y, b + from, 8);
            if (x != y)
                break;
            from += 8;
        }
        while (from < n && a[from] == b[from])
            ++from;
        return from;
    }

    bool IsNamed(uint64_t offset) const
    {
        // FNamed is sorted and merged: the last span that starts at or before offset.
        const auto after = std::upper_bound(FNamed.begin(), FNamed.end(), offset,
            [](uint64_t at, const RawSpan& span) { return at < span.start; });
        return after != FNamed.begin() && offset < std::prev(after)->end;
    }
};

} // namespace

std::vector<Difference> DiffImages(const DiffSide& a, const DiffSide& b)
{
    return Differ(a, b).Run();
}

std::string_view DiffChangeName(DiffChange change)
{
    switch (change) {
    case DiffChange::Changed:
        return "changed";
    case DiffChange::Added:
        return "added";
    case DiffChange::Removed:
        return "removed";
    }
    return "changed";
}

std::string DifferenceValueText(const Difference& d, const DiffNumberText& number)
{
    if (d.part == "bytes") {
        std::string line = std::to_string(d.count) + " differ in " + std::to_string(d.rangeCount)
            + (d.rangeCount == 1 ? " range:" : " ranges:");
        for (const DiffByteRange& range : d.ranges) {
            line += " " + number(range.offsetA) + "+" + std::to_string(range.length);
            if (range.offsetB != range.offsetA)
                line += " (B " + number(range.offsetB) + ")";
        }
        if (d.rangeCount > d.ranges.size())
            line += " and " + std::to_string(d.rangeCount - d.ranges.size()) + " more";
        return line;
    }
    if (d.change != DiffChange::Changed) {
        std::string line(DiffChangeName(d.change));
        const std::string& text = d.change == DiffChange::Added ? d.newText : d.oldText;
        const std::optional<uint64_t>& value = d.change == DiffChange::Added ? d.newValue : d.oldValue;
        if (!text.empty())
            line += " \"" + text + "\"";
        if (value)
            line += " " + number(*value);
        return line;
    }
    std::string line;
    if (d.oldValue && d.newValue)
        line = number(*d.oldValue) + " -> " + number(*d.newValue);
    else
        line = "\"" + d.oldText + "\" -> \"" + d.newText + "\"";
    std::string notes;
    if (d.oldValue && (!d.oldText.empty() || !d.newText.empty()))
        notes = d.oldText + " -> " + d.newText;
    for (const std::string& flag : d.flagsAdded)
        notes += (notes.empty() ? "+" : ", +") + flag;
    for (const std::string& flag : d.flagsRemoved)
        notes += (notes.empty() ? "-" : ", -") + flag;
    if (!notes.empty())
        line += " (" + notes + ")";
    return line;
}

std::string DifferenceText(const Difference& d, const DiffNumberText& number)
{
    return (d.part == "bytes" ? "bytes in " : "") + d.name + ": " + DifferenceValueText(d, number);
}
