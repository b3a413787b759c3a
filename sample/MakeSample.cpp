// Writes the bundled sample image: a small but complete PE32 GUI program that shows a
// message box and exits. Every header value is one a real linker could have written.
//   korvex_make_sample OUTPUT
#include "support/PeBuilder.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

constexpr uint32_t kImageBase = 0x00400000;
constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionAlign = 0x1000;

void Put(std::vector<uint8_t>& bytes, uint32_t offset, const std::string& text)
{
    std::memcpy(bytes.data() + offset, text.c_str(), text.size() + 1);
}

// x86 code of .text (RVA 0x1000). The helper at 0x1000 returns its argument plus one; the
// entry point at 0x1010 shows a message box, calls the helper, stores the result in .data
// and ends the process.
std::vector<uint8_t> Code()
{
    // clang-format off
    std::vector<uint8_t> code = {
        0x55,                               // 1000 push ebp
        0x8B, 0xEC,                         // 1001 mov ebp, esp
        0x8B, 0x45, 0x08,                   // 1003 mov eax, [ebp+8]
        0x40,                               // 1006 inc eax
        0x5D,                               // 1007 pop ebp
        0xC2, 0x04, 0x00,                   // 1008 ret 4
        0xCC, 0xCC, 0xCC, 0xCC, 0xCC,       // 100B padding
        0x6A, 0x00,                         // 1010 push MB_OK
        0x68, 0xA0, 0x20, 0x40, 0x00,       // 1012 push caption
        0x68, 0xB0, 0x20, 0x40, 0x00,       // 1017 push text
        0x6A, 0x00,                         // 101C push 0 (no owner)
        0xFF, 0x15, 0x08, 0x20, 0x40, 0x00, // 101E call [MessageBoxA]
        0x6A, 0x01,                         // 1024 push 1
        0xE8, 0xD5, 0xFF, 0xFF, 0xFF,       // 1026 call 1000
        0xA3, 0x00, 0x30, 0x40, 0x00,       // 102B mov [403000], eax
        0x6A, 0x00,                         // 1030 push 0
        0xFF, 0x15, 0x00, 0x20, 0x40, 0x00, // 1032 call [ExitProcess]
        0xCC,                               // 1038 int3
    };
    // clang-format on
    return code;
}

// .rdata (RVA 0x2000): import address tables, import descriptors, lookup tables, names and
// the message texts.
std::vector<uint8_t> ReadOnlyData()
{
    std::vector<uint8_t> data(kFileAlign, 0);
    WriteLe(data, 0x00, 0x2060, 4); // IAT KERNEL32: ExitProcess
    WriteLe(data, 0x08, 0x2070, 4); // IAT USER32: MessageBoxA
    // Import descriptors: lookup table, time stamp, forwarder chain, name, address table.
    WriteLe(data, 0x10, 0x2050, 4);
    WriteLe(data, 0x1C, 0x2080, 4);
    WriteLe(data, 0x20, 0x2000, 4);
    WriteLe(data, 0x24, 0x2058, 4);
    WriteLe(data, 0x30, 0x208D, 4);
    WriteLe(data, 0x34, 0x2008, 4);
    WriteLe(data, 0x50, 0x2060, 4); // lookup table KERNEL32
    WriteLe(data, 0x58, 0x2070, 4); // lookup table USER32
    Put(data, 0x62, "ExitProcess");
    Put(data, 0x72, "MessageBoxA");
    Put(data, 0x80, "KERNEL32.dll");
    Put(data, 0x8D, "USER32.dll");
    Put(data, 0xA0, "Korvex sample");
    Put(data, 0xB0, "Hello from a PE32 image.");
    return data;
}

std::vector<uint8_t> InitialisedData()
{
    std::vector<uint8_t> data(kFileAlign, 0);
    WriteLe(data, 0x04, 0x20240315, 4);
    Put(data, 0x08, "Korvex");
    for (uint32_t i = 0; i < 16; ++i)
        WriteLe(data, 0x10 + 4 * i, i * i, 4);
    return data;
}

const std::string kManifest
    = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
      "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
      "    <security><requestedPrivileges>\r\n"
      "      <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\r\n"
      "    </requestedPrivileges></security>\r\n"
      "  </trustInfo>\r\n"
      "</assembly>\r\n";

constexpr uint32_t kManifestOffset = 0x58;

// .rsrc (RVA 0x5000): a resource tree of type, name and language levels holding the
// application manifest (type 24, id 1, language 0x409).
std::vector<uint8_t> Resources()
{
    std::vector<uint8_t> data(kFileAlign, 0);
    WriteLe(data, 0x0E, 1, 2); // one id entry
    WriteLe(data, 0x10, 24, 4); // RT_MANIFEST
    WriteLe(data, 0x14, 0x80000018, 4); // subdirectory
    WriteLe(data, 0x26, 1, 2);
    WriteLe(data, 0x28, 1, 4); // id 1
    WriteLe(data, 0x2C, 0x80000030, 4);
    WriteLe(data, 0x3E, 1, 2);
    WriteLe(data, 0x40, 0x409, 4); // English (United States)
    WriteLe(data, 0x44, 0x48, 4); // data entry
    WriteLe(data, 0x48, 0x5000 + kManifestOffset, 4);
    WriteLe(data, 0x4C, kManifest.size(), 4);
    std::memcpy(data.data() + kManifestOffset, kManifest.data(), kManifest.size());
    return data;
}

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes)
{
    bytes.resize(kFileAlign, 0);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex_make_sample OUTPUT\n");
        return 2;
    }
    try {
        PeBuilder()
            .TimeDateStamp(0x65F42328) // 2024-03-15 10:30:00 UTC
            .Characteristics(0x010F) // executable, 32 bit, relocations and symbols stripped
            .LinkerVersion(14, 36)
            .Optional(4, 0x200, 4) // size of code
            .Optional(8, 0x600, 4) // size of initialised data
            .Optional(12, 0x200, 4) // size of uninitialised data
            .EntryPoint(0x1010)
            .Optional(20, 0x1000, 4) // base of code
            .Optional(24, 0x2000, 4) // base of data
            .ImageBase(kImageBase)
            .Alignment(kSectionAlign, kFileAlign)
            .Optional(40, 6, 2)
            .Optional(48, 6, 2)
            .Optional(56, 0x6000, 4) // size of image
            .Optional(60, 0x400, 4) // size of headers
            .Optional(68, 2, 2) // Windows GUI
            .Optional(70, 0x8100, 2) // NX compatible, terminal server aware
            .DataDirectory(1, 0x2010, 0x3C)
            .DataDirectory(2, 0x5000, kManifestOffset + static_cast<uint32_t>(kManifest.size()))
            .DataDirectory(12, 0x2000, 0x10)
            .AddSection(PeSection(".text")
                            .Virtual(0x1000, 0x39)
                            .Raw(0x400, 0x200)
                            .Characteristics(0x60000020)
                            .Data(Padded(Code())))
            .AddSection(PeSection(".rdata")
                            .Virtual(0x2000, 0xCA)
                            .Raw(0x600, 0x200)
                            .Characteristics(0x40000040)
                            .Data(ReadOnlyData()))
            .AddSection(PeSection(".data")
                            .Virtual(0x3000, 0x50)
                            .Raw(0x800, 0x200)
                            .Characteristics(0xC0000040)
                            .Data(InitialisedData()))
            .AddSection(PeSection(".bss").Virtual(0x4000, 0x180).Raw(0, 0).Characteristics(0xC0000080))
            .AddSection(PeSection(".rsrc")
                            .Virtual(0x5000, kManifestOffset + static_cast<uint32_t>(kManifest.size()))
                            .Raw(0xA00, 0x200)
                            .Characteristics(0x40000040)
                            .Data(Resources()))
            .WriteFile(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvex_make_sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
