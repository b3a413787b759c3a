// The debug directory, the load configuration and TLS: what a hardening check reads.
#include "contents/Contents.h"

#include "contents/ContentsSupport.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace {

constexpr int kDebugEntry = 6;
constexpr int kTlsEntry = 9;
constexpr int kLoadConfigEntry = 10;
constexpr uint32_t kDebugEntrySize = 28;
constexpr uint32_t kCodeViewType = 2;
constexpr uint32_t kReproType = 16;
constexpr uint32_t kExDllCharacteristicsType = 20;

// Reads the fields one after the other from offset; width 0 stands for a pointer (4 or 8
// bytes). Stops at the first that does not lie in the file (false) or not within limit bytes.
struct FieldLayout {
    std::string_view name;
    uint8_t width;
};

bool ReadFields(const ImageMap& map, uint64_t offset, std::span<const FieldLayout> layout, uint64_t limit,
    std::vector<ContentsField>& fields)
{
    uint64_t at = 0;
    for (const FieldLayout& field : layout) {
        const uint8_t width = field.width != 0 ? field.width : (map.Is64() ? 8 : 4);
        if (at + width > limit)
            return true;
        std::optional<uint64_t> value;
        if (width == 2)
            value = map.U16(offset + at);
        else if (width == 4)
            value = map.U32(offset + at);
        else
            value = map.U64(offset + at);
        if (!value)
            return false;
        fields.push_back({field.name, *value, offset + at, width});
        at += width;
    }
    return true;
}

std::optional<uint64_t> FieldValue(const std::vector<ContentsField>& fields, std::string_view name)
{
    for (const ContentsField& field : fields) {
        if (field.name == name)
            return field.value;
    }
    return std::nullopt;
}

std::string Hex(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

std::optional<CodeViewInfo> ReadCodeView(
    const ImageMap& map, ImageContents& contents, uint64_t offset, uint32_t size)
{
    uint8_t head[24];
    if (size < 16 || !map.Read(offset, head, std::min<size_t>(size, sizeof head))) {
        Anomaly(contents, "CodeView record", offset, "it is not in the file");
        return std::nullopt;
    }
    auto u32 = [&](size_t at) {
        return uint32_t(head[at]) | uint32_t(head[at + 1]) << 8 | uint32_t(head[at + 2]) << 16
            | uint32_t(head[at + 3]) << 24;
    };
    CodeViewInfo info;
    info.format.assign(reinterpret_cast<const char*>(head), 4);
    size_t pathAt = 0;
    char text[64];
    if (info.format == "RSDS" && size >= 24) {
        std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", u32(4),
            head[8] | head[9] << 8, head[10] | head[11] << 8, head[12], head[13], head[14], head[15],
            head[16], head[17], head[18], head[19]);
        info.guid = text;
        info.age = u32(20);
        pathAt = 24;
    } else if (info.format == "NB10") {
        std::snprintf(text, sizeof text, "%08X", u32(8));
        info.guid = text;
        info.age = u32(12);
        pathAt = 16;
    } else {
        return std::nullopt;
    }
    bool terminated = false;
    info.pdb = map.CString(offset + pathAt, std::min<size_t>(size - pathAt, kMaxNameLength), &terminated);
    return info;
}

} // namespace

void DecodeDebug(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kDebugEntry);
    const uint32_t size = map.DirectorySize(kDebugEntry);
    if (rva == 0 || size == 0)
        return;
    const auto start = map.OffsetOf(rva);
    if (!start) {
        Anomaly(contents, "Debug directory", map.DirectoryEntryOffset(kDebugEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    static constexpr FieldLayout layout[]
        = {{"Characteristics", 4}, {"TimeDateStamp", 4}, {"MajorVersion", 2}, {"MinorVersion", 2},
            {"Type", 4}, {"SizeOfData", 4}, {"AddressOfRawData", 4}, {"PointerToRawData", 4}};
    const uint32_t count = size / kDebugEntrySize;
    for (uint32_t i = 0; i < count; ++i) {
        DebugEntry entry;
        entry.offset = *start + uint64_t(i) * kDebugEntrySize;
        if (!ReadFields(map, entry.offset, layout, kDebugEntrySize, entry.fields)
            || entry.fields.size() < 8) {
            Anomaly(contents, "Debug directory", entry.offset,
                std::to_string(count) + " entries run past the end of the file");
            return;
        }
        entry.type = static_cast<uint32_t>(entry.fields[4].value);
        entry.typeName = DebugTypeName(entry.type);
        const auto dataSize = static_cast<uint32_t>(entry.fields[5].value);
        const auto dataRva = static_cast<uint32_t>(entry.fields[6].value);
        std::optional<uint64_t> data = entry.fields[7].value;
        if (*data == 0)
            data = dataRva != 0 ? map.OffsetOf(dataRva) : std::nullopt;
        if (data && dataSize != 0) {
            if (entry.type == kCodeViewType) {
                entry.codeView = ReadCodeView(map, contents, *data, dataSize);
            } else if (entry.type == kReproType) {
                const auto length = map.U32(*data);
                std::vector<uint8_t> hash(std::min<uint32_t>(length.value_or(0), std::min(dataSize, 256u)));
                if (length && map.Read(*data + 4, hash.data(), hash.size()))
                    entry.repro = Hex(hash.data(), hash.size());
                else
                    Anomaly(contents, "REPRO debug data", *data, "it is not in the file");
            } else if (entry.type == kExDllCharacteristicsType) {
                entry.extendedDllCharacteristics = map.U32(*data);
                static constexpr std::pair<uint32_t, std::string_view> flags[] = {{0x01, "CET_COMPAT"},
                    {0x02, "CET_COMPAT_STRICT_MODE"}, {0x04, "CET_SET_CONTEXT_IP_VALIDATION_RELAXED_MODE"},
                    {0x08, "CET_DYNAMIC_APIS_ALLOW_IN_PROC"}, {0x10, "CET_RESERVED_1"},
                    {0x20, "CET_RESERVED_2"}, {0x40, "FORWARD_CFI_COMPAT"}, {0x80, "HOTPATCH_COMPATIBLE"}};
                for (const auto& [bit, name] : flags) {
                    if (entry.extendedDllCharacteristics.value_or(0) & bit)
                        entry.extendedFlags.push_back(name);
                }
            }
        }
        contents.debug.push_back(std::move(entry));
    }
}

void DecodeLoadConfig(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kLoadConfigEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    const auto size = start ? map.U32(*start) : std::nullopt;
    if (!size) {
        Anomaly(contents, "Load configuration directory", map.DirectoryEntryOffset(kLoadConfigEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    // PE32 keeps ProcessHeapFlags before ProcessAffinityMask; PE32+ the other way round.
    FieldLayout layout[] = {{"Size", 4}, {"TimeDateStamp", 4}, {"MajorVersion", 2}, {"MinorVersion", 2},
        {"GlobalFlagsClear", 4}, {"GlobalFlagsSet", 4}, {"CriticalSectionDefaultTimeout", 4},
        {"DeCommitFreeBlockThreshold", 0}, {"DeCommitTotalFreeThreshold", 0}, {"LockPrefixTable", 0},
        {"MaximumAllocationSize", 0}, {"VirtualMemoryThreshold", 0}, {"ProcessAffinityMask", 0},
        {"ProcessHeapFlags", 4}, {"CSDVersion", 2}, {"DependentLoadFlags", 2}, {"EditList", 0},
        {"SecurityCookie", 0}, {"SEHandlerTable", 0}, {"SEHandlerCount", 0},
        {"GuardCFCheckFunctionPointer", 0}, {"GuardCFDispatchFunctionPointer", 0},
        {"GuardCFFunctionTable", 0}, {"GuardCFFunctionCount", 0}, {"GuardFlags", 4},
        {"CodeIntegrityFlags", 2}, {"CodeIntegrityCatalog", 2}, {"CodeIntegrityCatalogOffset", 4},
        {"CodeIntegrityReserved", 4}, {"GuardAddressTakenIatEntryTable", 0},
        {"GuardAddressTakenIatEntryCount", 0}, {"GuardLongJumpTargetTable", 0},
        {"GuardLongJumpTargetCount", 0}, {"DynamicValueRelocTable", 0}, {"CHPEMetadataPointer", 0},
        {"GuardRFFailureRoutine", 0}, {"GuardRFFailureRoutineFunctionPointer", 0},
        {"DynamicValueRelocTableOffset", 4}, {"DynamicValueRelocTableSection", 2}, {"Reserved2", 2},
        {"GuardRFVerifyStackPointerFunctionPointer", 0}, {"HotPatchTableOffset", 4}, {"Reserved3", 4},
        {"EnclaveConfigurationPointer", 0}, {"VolatileMetadataPointer", 0}, {"GuardEHContinuationTable", 0},
        {"GuardEHContinuationCount", 0}, {"GuardXFGCheckFunctionPointer", 0},
        {"GuardXFGDispatchFunctionPointer", 0}, {"GuardXFGTableDispatchFunctionPointer", 0},
        {"CastGuardOsDeterminedFailureMode", 0}, {"GuardMemcpyFunctionPointer", 0}};
    if (!map.Is64())
        std::swap(layout[12], layout[13]);
    LoadConfig& config = contents.loadConfig;
    config.present = true;
    config.offset = *start;
    config.size = *size;
    if (!ReadFields(map, *start, layout, *size, config.fields))
        Anomaly(contents, "Load configuration directory", *start,
            "its Size " + std::to_string(*size) + " runs past the end of the file");
    config.securityCookie = FieldValue(config.fields, "SecurityCookie");
    config.seHandlerTable = FieldValue(config.fields, "SEHandlerTable");
    config.seHandlerCount = FieldValue(config.fields, "SEHandlerCount");
    config.guardCFCheckFunctionPointer = FieldValue(config.fields, "GuardCFCheckFunctionPointer");
    config.guardCFFunctionTable = FieldValue(config.fields, "GuardCFFunctionTable");
    config.guardCFFunctionCount = FieldValue(config.fields, "GuardCFFunctionCount");
    if (const auto flags = FieldValue(config.fields, "GuardFlags")) {
        config.guardFlags = static_cast<uint32_t>(*flags);
        config.guardFlagNames = GuardFlagNames(*config.guardFlags);
    }
}

void DecodeTls(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kTlsEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    static constexpr FieldLayout layout[] = {{"StartAddressOfRawData", 0}, {"EndAddressOfRawData", 0},
        {"AddressOfIndex", 0}, {"AddressOfCallBacks", 0}, {"SizeOfZeroFill", 4}, {"Characteristics", 4}};
    TlsDirectory& tls = contents.tls;
    if (!start || !ReadFields(map, *start, layout, ~uint64_t(0), tls.fields)) {
        Anomaly(contents, "TLS directory", start.value_or(map.DirectoryEntryOffset(kTlsEntry)),
            "it is not in the file");
        tls.fields.clear();
        return;
    }
    tls.present = true;
    tls.offset = *start;
    const uint64_t callbacks = tls.fields[3].value;
    if (callbacks == 0)
        return;
    const auto at = map.OffsetOf(static_cast<uint32_t>(callbacks - map.ImageBase()));
    if (callbacks < map.ImageBase() || !at) {
        Anomaly(contents, "TLS directory", *start,
            "AddressOfCallBacks " + HexOffset(callbacks) + " is not in the file");
        return;
    }
    const unsigned width = map.Is64() ? 8 : 4;
    for (uint64_t offset = *at;; offset += width) {
        const auto value = map.Is64() ? map.U64(offset) : std::optional<uint64_t>(map.U32(offset));
        if (!value) {
            Anomaly(contents, "TLS callbacks", *at, "the list runs past the end of the file");
            return;
        }
        if (*value == 0)
            return;
        if (tls.callbacks.size() == kMaxTlsCallbacks) {
            Anomaly(contents, "TLS callbacks", *at,
                "more than " + std::to_string(kMaxTlsCallbacks) + " callbacks; the rest is not read");
            return;
        }
        tls.callbacks.push_back(*value);
    }
}

std::string_view DebugTypeName(uint32_t type)
{
    static constexpr std::string_view names[] = {"UNKNOWN", "COFF", "CODEVIEW", "FPO", "MISC", "EXCEPTION",
        "FIXUP", "OMAP_TO_SRC", "OMAP_FROM_SRC", "BORLAND", "RESERVED10", "CLSID", "VC_FEATURE", "POGO",
        "ILTCG", "MPX", "REPRO", "EMBEDDED_PORTABLE_PDB", "SPGO", "PDBCHECKSUM", "EX_DLLCHARACTERISTICS"};
    return type < std::size(names) ? names[type] : names[0];
}

std::vector<std::string_view> GuardFlagNames(uint32_t flags)
{
    static constexpr std::pair<uint32_t, std::string_view> names[] = {{0x100, "CF_INSTRUMENTED"},
        {0x200, "CFW_INSTRUMENTED"}, {0x400, "CF_FUNCTION_TABLE_PRESENT"}, {0x800, "SECURITY_COOKIE_UNUSED"},
        {0x1000, "PROTECT_DELAYLOAD_IAT"}, {0x2000, "DELAYLOAD_IAT_IN_ITS_OWN_SECTION"},
        {0x4000, "CF_EXPORT_SUPPRESSION_INFO_PRESENT"}, {0x8000, "CF_ENABLE_EXPORT_SUPPRESSION"},
        {0x10000, "CF_LONGJUMP_TABLE_PRESENT"}, {0x20000, "RF_INSTRUMENTED"}, {0x40000, "RF_ENABLE"},
        {0x80000, "RF_STRICT"}, {0x100000, "RETPOLINE_PRESENT"}, {0x400000, "EH_CONTINUATION_TABLE_PRESENT"},
        {0x800000, "XFG_ENABLED"}, {0x1000000, "CASTGUARD_PRESENT"}, {0x2000000, "MEMCPY_PRESENT"}};
    std::vector<std::string_view> result;
    for (const auto& [bit, name] : names) {
        if (flags & bit)
            result.push_back(name);
    }
    return result;
}
