// Base relocations, the exception table, the CLR header, the Rich header, the certificate table
// and the overlay; and DecodeContents, which runs every decoder.
#include "contents/Contents.h"

#include "contents/ContentsSupport.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kExceptionEntry = 3;
constexpr int kSecurityEntry = 4;
constexpr int kRelocationEntry = 5;
constexpr int kClrEntry = 14;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kMachineArmNt = 0x1C4;

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t Rotl(uint32_t value, unsigned count)
{
    count &= 31;
    return count == 0 ? value : (value << count) | (value >> (32 - count));
}

} // namespace

void DecodeRelocations(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kRelocationEntry);
    const uint32_t size = map.DirectorySize(kRelocationEntry);
    if (rva == 0 || size == 0)
        return;
    const auto start = map.OffsetOf(rva);
    if (!start) {
        Anomaly(contents, "Base relocation directory", map.DirectoryEntryOffset(kRelocationEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    uint64_t end = *start + size;
    if (end > map.FileSize()) {
        Anomaly(contents, "Base relocation directory", *start, "its Size runs past the end of the file");
        end = map.FileSize();
    }
    std::array<uint64_t, 16> counts{};
    std::vector<uint8_t> block;
    Relocations& relocations = contents.relocations;
    for (uint64_t at = *start; at + 8 <= end;) {
        const uint32_t page = *map.U32(at);
        const uint32_t blockSize = *map.U32(at + 4);
        if (blockSize < 8) {
            Anomaly(contents, "Base relocation block", at,
                "its SizeOfBlock " + std::to_string(blockSize) + " is below 8; the rest is not read");
            break;
        }
        const uint64_t blockEnd = std::min<uint64_t>(at + blockSize, end);
        if (at + blockSize > end)
            Anomaly(contents, "Base relocation block", at, "it runs past the end of the directory");
        const auto entries = static_cast<uint32_t>((blockEnd - at - 8) / 2);
        block.resize(2 * size_t(entries));
        map.Read(at + 8, block.data(), block.size());
        for (uint32_t e = 0; e < entries; ++e)
            ++counts[block[2 * e + 1] >> 4];
        relocations.blocks.push_back({page, entries, at});
        relocations.entries += entries;
        at = blockEnd;
    }
    for (uint16_t type = 0; type < 16; ++type) {
        if (counts[type] != 0)
            relocations.byType.emplace_back(RelocationTypeName(type), counts[type]);
    }
}

void DecodeExceptions(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kExceptionEntry);
    const uint32_t size = map.DirectorySize(kExceptionEntry);
    const uint16_t machine = map.Machine();
    const bool arm = machine == kMachineArm64 || machine == kMachineArmNt;
    if (rva == 0 || size == 0 || (machine != kMachineAmd64 && !arm))
        return;
    const auto start = map.OffsetOf(rva);
    if (!start) {
        Anomaly(contents, "Exception directory", map.DirectoryEntryOffset(kExceptionEntry),
            "its RVA " + HexOffset(rva) + " is not in the file");
        return;
    }
    const unsigned width = arm ? 8 : 12;
    ExceptionTable& table = contents.exceptions;
    table.present = true;
    table.offset = *start;
    uint64_t count = size / width;
    if (count > (map.FileSize() - *start) / width) {
        count = (map.FileSize() - *start) / width;
        Anomaly(contents, "Exception directory", *start, "its Size runs past the end of the file");
    }
    table.count = static_cast<uint32_t>(count);
    auto range = [&](uint64_t i) {
        const uint64_t at = *start + i * width;
        ExceptionTable::Range result{*map.U32(at), *map.U32(at + 4)};
        if (arm) {
            // Packed unwind data carries the function's length in words; otherwise there is no end.
            const uint32_t data = result.end;
            result.end = (data & 3) != 0 ? result.begin + ((data >> 2) & 0x7FF) * 4 : 0;
        }
        return result;
    };
    if (count != 0) {
        table.first = range(0);
        table.last = range(count - 1);
    }
}

void DecodeClr(const ImageMap& map, ImageContents& contents)
{
    const uint32_t rva = map.DirectoryRva(kClrEntry);
    if (rva == 0)
        return;
    const auto start = map.OffsetOf(rva);
    uint8_t header[72];
    if (!start || !map.Read(*start, header, sizeof header)) {
        Anomaly(contents, "CLR header", start.value_or(map.DirectoryEntryOffset(kClrEntry)),
            "it is not in the file");
        return;
    }
    static constexpr std::pair<std::string_view, uint8_t> specs[] = {{"cb", 4}, {"MajorRuntimeVersion", 2},
        {"MinorRuntimeVersion", 2}, {"MetaDataRVA", 4}, {"MetaDataSize", 4}, {"Flags", 4},
        {"EntryPointToken", 4}, {"ResourcesRVA", 4}, {"ResourcesSize", 4}, {"StrongNameSignatureRVA", 4},
        {"StrongNameSignatureSize", 4}, {"CodeManagerTableRVA", 4}, {"CodeManagerTableSize", 4},
        {"VTableFixupsRVA", 4}, {"VTableFixupsSize", 4}, {"ExportAddressTableJumpsRVA", 4},
        {"ExportAddressTableJumpsSize", 4}, {"ManagedNativeHeaderRVA", 4}, {"ManagedNativeHeaderSize", 4}};
    ClrHeader& clr = contents.clr;
    clr.present = true;
    clr.offset = *start;
    size_t at = 0;
    for (const auto& [name, width] : specs) {
        const uint32_t value = width == 2 ? uint32_t(header[at] | header[at + 1] << 8) : Le32(header + at);
        clr.fields.push_back({name, value, *start + at, width});
        at += width;
    }
    clr.runtimeVersion = std::to_string(clr.fields[1].value) + "." + std::to_string(clr.fields[2].value);
    clr.flags = static_cast<uint32_t>(clr.fields[5].value);
    clr.entryPointToken = static_cast<uint32_t>(clr.fields[6].value);
    static constexpr std::pair<uint32_t, std::string_view> flags[]
        = {{0x1, "ILONLY"}, {0x2, "32BITREQUIRED"}, {0x4, "IL_LIBRARY"}, {0x8, "STRONGNAMESIGNED"},
            {0x10, "NATIVE_ENTRYPOINT"}, {0x10000, "TRACKDEBUGDATA"}, {0x20000, "32BITPREFERRED"}};
    for (const auto& [bit, name] : flags) {
        if (clr.flags & bit)
            clr.flagNames.push_back(name);
    }
    const auto root = map.OffsetOf(static_cast<uint32_t>(clr.fields[3].value));
    const auto signature = root ? map.U32(*root) : std::nullopt;
    const auto length = root ? map.U32(*root + 12) : std::nullopt;
    if (!signature || *signature != 0x424A5342 || !length) {
        Anomaly(contents, "CLR metadata root", root.value_or(*start), "it has no metadata signature");
        return;
    }
    clr.metadataVersion = map.CString(*root + 16, std::min<uint32_t>(*length, 255));
}

void DecodeRich(const ImageMap& map, ImageContents& contents)
{
    // It lies between the DOS stub and the PE header, on dword boundaries.
    const uint64_t limit = std::min<uint64_t>(map.Headers().peOffset, map.FileSize());
    if (limit < 0x80 + 8)
        return;
    std::vector<uint8_t> head(static_cast<size_t>(limit));
    if (!map.Read(0, head.data(), head.size()))
        return;
    size_t rich = 0;
    for (size_t at = 0x80; at + 8 <= head.size(); at += 4) {
        if (std::memcmp(head.data() + at, "Rich", 4) == 0) {
            rich = at;
            break;
        }
    }
    if (rich == 0)
        return;
    const uint32_t key = Le32(head.data() + rich + 4);
    size_t dans = 0;
    for (size_t at = rich; at >= 4;) {
        at -= 4;
        if ((Le32(head.data() + at) ^ key) == 0x536E6144) { // "DanS"
            dans = at;
            break;
        }
    }
    if (rich < dans + 16 || Le32(head.data() + dans) != (key ^ 0x536E6144)) {
        Anomaly(contents, "Rich header", rich, "no \"DanS\" start before \"Rich\"");
        return;
    }
    RichHeader& header = contents.rich;
    header.present = true;
    header.offset = dans;
    header.key = key;
    uint32_t checksum = static_cast<uint32_t>(dans);
    for (size_t i = 0; i < dans; ++i) {
        if (i < 0x3C || i >= 0x40)
            checksum += Rotl(head[i], static_cast<unsigned>(i));
    }
    for (size_t at = dans + 16; at + 8 <= rich; at += 8) {
        const uint32_t id = Le32(head.data() + at) ^ key;
        const uint32_t count = Le32(head.data() + at + 4) ^ key;
        header.entries.push_back({static_cast<uint16_t>(id >> 16), static_cast<uint16_t>(id), count});
        checksum += Rotl(id, count);
    }
    header.checksumValid = checksum == key;
}

void DecodeCertificates(const ImageMap& map, ImageContents& contents)
{
    // The security entry holds a file offset, not an RVA.
    const uint32_t start = map.DirectoryRva(kSecurityEntry);
    const uint32_t size = map.DirectorySize(kSecurityEntry);
    if (start == 0 || size == 0)
        return;
    uint64_t end = uint64_t(start) + size;
    if (end > map.FileSize()) {
        Anomaly(contents, "Certificate table", start, "it runs past the end of the file");
        end = map.FileSize();
    }
    for (uint64_t at = start; at + 8 <= end;) {
        Certificate certificate{at, *map.U32(at), *map.U16(at + 4), *map.U16(at + 6)};
        if (certificate.length < 8) {
            Anomaly(contents, "WIN_CERTIFICATE", at,
                "its dwLength " + std::to_string(certificate.length) + " is below 8; the rest is not read");
            return;
        }
        if (at + certificate.length > end)
            Anomaly(contents, "WIN_CERTIFICATE", at, "it runs past the end of the certificate table");
        contents.certificates.push_back(certificate);
        at += (uint64_t(certificate.length) + 7) & ~uint64_t(7);
    }
}

void DecodeOverlay(const ImageMap& map, ImageContents& contents)
{
    const uint64_t start = map.RawDataEnd();
    if (start == 0 || start >= map.FileSize())
        return;
    contents.overlay = {true, start, map.FileSize() - start, false};
    const uint32_t certificates = map.DirectoryRva(kSecurityEntry);
    contents.overlay.holdsCertificates
        = map.DirectorySize(kSecurityEntry) != 0 && certificates >= start && certificates < map.FileSize();
}

std::string_view RelocationTypeName(uint16_t type)
{
    static constexpr std::string_view names[]
        = {"ABSOLUTE", "HIGH", "LOW", "HIGHLOW", "HIGHADJ", "MIPS_JMPADDR", "SECTION", "REL32",
            "RISCV_LOW12S", "MIPS_JMPADDR16", "DIR64", "TYPE_11", "TYPE_12", "TYPE_13", "TYPE_14", "TYPE_15"};
    return names[type & 15];
}

ImageContents DecodeContents(const ByteReader& file, const ImageHeaders& headers)
{
    ImageContents contents;
    if (headers.kind != ImageKind::Pe)
        return contents;
    const ImageMap map(file, headers);
    DecodeRich(map, contents);
    DecodeImports(map, contents);
    DecodeDelayImports(map, contents);
    DecodeBoundImports(map, contents);
    DecodeExports(map, contents);
    DecodeResources(map, contents);
    DecodeDebug(map, contents);
    DecodeLoadConfig(map, contents);
    DecodeTls(map, contents);
    DecodeRelocations(map, contents);
    DecodeExceptions(map, contents);
    DecodeClr(map, contents);
    DecodeCertificates(map, contents);
    DecodeOverlay(map, contents);
    return contents;
}
