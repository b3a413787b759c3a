#pragma once
// What the data directories point to, decoded read-only from any file, however hostile: each
// decoder returns what it could read and adds an anomaly (naming the structure and its file
// offset) where it had to stop or skip. Nothing is read outside the file; every count, string
// and depth is bounded (see the limits below), so the work grows with the file at most.
#include "contents/ImageMap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Limits on hostile input, besides the file's own size.
inline constexpr size_t kMaxNameLength = 4096; // import, export and PDB names, forwarders
inline constexpr size_t kMaxResourceDepth = 3; // type, name, language; deeper trees are cut
inline constexpr size_t kMaxVersionDepth = 8; // nesting of the version resource's blocks
inline constexpr size_t kMaxManifestSize = 1 << 20; // bytes of manifest text kept
inline constexpr size_t kMaxTlsCallbacks = 4096;
inline constexpr size_t kMaxAnomalies = 256; // listed; one more line says there were more

// A named field of a structure as read: the name as the PE/COFF documentation spells it.
struct ContentsField {
    std::string_view name;
    uint64_t value = 0;
    uint64_t offset = 0; // file offset of the field
    uint8_t width = 4; // bytes
};

struct ImportFunction {
    std::string name; // empty when imported by ordinal
    uint16_t hint = 0;
    std::optional<uint16_t> ordinal; // set when imported by ordinal
    uint32_t thunkRva = 0; // the IAT slot the loader fills
    uint64_t offset = 0; // file offset of the lookup entry
};

struct ImportDll {
    std::string name;
    uint64_t offset = 0; // file offset of the descriptor
    std::vector<ContentsField> fields; // the descriptor's fields
    std::vector<ImportFunction> functions;
};

// An entry of the bound import directory: the time stamp of the DLL the imports were bound
// against, and of each DLL it forwards to (forwarders follow their module, marked).
struct BoundImport {
    std::string name;
    uint32_t timeDateStamp = 0;
    uint64_t offset = 0; // of the entry (TimeDateStamp is its first field)
    bool forwarder = false;
};

struct ExportFunction {
    uint32_t ordinal = 0; // biased by Base
    uint32_t rva = 0;
    std::vector<std::string> names;
    std::string forwarder; // "DLL.Name" when the RVA lies inside the export directory
    uint64_t offset = 0; // file offset of the address table entry
};

struct ExportTable {
    bool present = false;
    std::string name;
    uint64_t offset = 0;
    std::vector<ContentsField> fields; // Characteristics, TimeDateStamp, ..., AddressOfNameOrdinals
    uint32_t timeDateStamp = 0;
    uint32_t base = 0;
    std::vector<ExportFunction> functions; // address table entries that are not 0
};

struct ResourceLeaf {
    uint32_t type = 0; // the id, when typeName is empty
    std::string typeName;
    uint32_t id = 0;
    std::string name;
    uint32_t language = 0;
    uint32_t rva = 0;
    uint32_t size = 0;
    uint32_t codePage = 0;
    uint64_t offset = 0; // of the data entry
    uint64_t dataOffset = 0; // of the data (0 when the file does not back it)
};

struct VersionInfo {
    bool present = false;
    uint64_t offset = 0; // of VS_FIXEDFILEINFO
    std::vector<ContentsField> fixed; // dwSignature, dwStrucVersion, dwFileVersionMS, ...
    std::string fileVersion; // "1.2.3.4" from the fixed info
    std::string productVersion;
    std::vector<std::pair<std::string, std::string>> strings; // the first string table, in order
};

struct CodeViewInfo {
    std::string format; // "RSDS" or "NB10"
    std::string guid; // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} (RSDS); NB10's signature as 8 digits
    uint32_t age = 0;
    std::string pdb;
};

struct DebugEntry {
    uint64_t offset = 0; // of the directory entry
    std::vector<ContentsField> fields; // Characteristics, TimeDateStamp, ..., PointerToRawData
    uint32_t type = 0;
    std::string_view typeName;
    std::optional<CodeViewInfo> codeView;
    std::string repro; // the REPRO hash in hex
    std::optional<uint32_t> extendedDllCharacteristics; // EX_DLLCHARACTERISTICS
    std::vector<std::string_view> extendedFlags; // "CET_COMPAT", ...
};

struct LoadConfig {
    bool present = false;
    uint64_t offset = 0;
    uint32_t size = 0; // the structure's own Size field
    std::vector<ContentsField> fields; // those that lie within Size, in order
    std::optional<uint64_t> securityCookie;
    std::optional<uint64_t> seHandlerTable, seHandlerCount;
    std::optional<uint64_t> guardCFCheckFunctionPointer;
    std::optional<uint64_t> guardCFFunctionTable, guardCFFunctionCount;
    std::optional<uint32_t> guardFlags;
    std::vector<std::string_view> guardFlagNames;
};

struct TlsDirectory {
    bool present = false;
    uint64_t offset = 0;
    std::vector<ContentsField> fields; // StartAddressOfRawData, ..., Characteristics
    std::vector<uint64_t> callbacks; // virtual addresses
};

struct Relocations {
    struct Block {
        uint32_t pageRva = 0;
        uint32_t entries = 0;
        uint64_t offset = 0;
    };
    std::vector<Block> blocks;
    uint64_t entries = 0;
    std::vector<std::pair<std::string_view, uint64_t>> byType; // type name, count (types seen)
};

struct ExceptionTable {
    bool present = false;
    uint64_t offset = 0;
    uint32_t count = 0;
    struct Range {
        uint32_t begin = 0;
        uint32_t end = 0; // 0 when the entry does not say (ARM64 unpacked)
    };
    std::optional<Range> first, last;
};

struct ClrHeader {
    bool present = false;
    uint64_t offset = 0;
    std::vector<ContentsField> fields; // cb, MajorRuntimeVersion, ..., Flags, EntryPointToken, ...
    std::string runtimeVersion; // "2.5"
    uint32_t flags = 0;
    std::vector<std::string_view> flagNames;
    uint32_t entryPointToken = 0;
    std::string metadataVersion; // from the metadata root ("v4.0.30319")
};

struct RichHeader {
    bool present = false;
    uint64_t offset = 0; // of "DanS"
    uint32_t key = 0;
    bool checksumValid = false;
    struct Entry {
        uint16_t product = 0;
        uint16_t build = 0;
        uint32_t count = 0;
    };
    std::vector<Entry> entries;
};

struct Certificate {
    uint64_t offset = 0;
    uint32_t length = 0;
    uint16_t revision = 0;
    uint16_t type = 0;
};

struct Overlay {
    bool present = false;
    uint64_t offset = 0;
    uint64_t size = 0;
    bool holdsCertificates = false; // the certificate table lies in it
};

struct ImageContents {
    std::vector<ImportDll> imports;
    std::vector<ImportDll> delayImports;
    std::vector<BoundImport> boundImports;
    ExportTable exports;
    std::vector<ResourceLeaf> resources;
    std::vector<uint64_t> resourceDirectories; // file offset of each directory table read
    VersionInfo versionInfo;
    std::optional<std::string> manifest;
    std::vector<DebugEntry> debug;
    LoadConfig loadConfig;
    TlsDirectory tls;
    Relocations relocations;
    ExceptionTable exceptions;
    ClrHeader clr;
    RichHeader rich;
    Overlay overlay;
    std::vector<Certificate> certificates;
    std::vector<std::string> anomalies;
};

// Decodes every directory of a PE image (headers as ReadImageHeaders gives them). Anything but
// a PE image gives empty contents. Never throws on what the file holds.
ImageContents DecodeContents(const ByteReader& file, const ImageHeaders& headers);

// The decoders one by one (each appends its anomalies).
void DecodeImports(const ImageMap& map, ImageContents& contents);
void DecodeDelayImports(const ImageMap& map, ImageContents& contents);
void DecodeBoundImports(const ImageMap& map, ImageContents& contents);
void DecodeExports(const ImageMap& map, ImageContents& contents);
void DecodeResources(const ImageMap& map, ImageContents& contents);
void DecodeDebug(const ImageMap& map, ImageContents& contents);
void DecodeLoadConfig(const ImageMap& map, ImageContents& contents);
void DecodeTls(const ImageMap& map, ImageContents& contents);
void DecodeRelocations(const ImageMap& map, ImageContents& contents);
void DecodeExceptions(const ImageMap& map, ImageContents& contents);
void DecodeClr(const ImageMap& map, ImageContents& contents);
void DecodeRich(const ImageMap& map, ImageContents& contents);
void DecodeCertificates(const ImageMap& map, ImageContents& contents);
void DecodeOverlay(const ImageMap& map, ImageContents& contents);

// Standard names.
std::string_view ResourceTypeName(uint32_t type); // "RT_ICON", ...; empty for others
std::string_view DebugTypeName(uint32_t type); // "CODEVIEW", ...; "UNKNOWN" for others
std::string_view RelocationTypeName(uint16_t type); // "HIGHLOW", "DIR64", ...
std::vector<std::string_view> GuardFlagNames(uint32_t flags); // "CF_INSTRUMENTED", ...
