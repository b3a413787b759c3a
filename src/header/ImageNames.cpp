#include "header/ImageNames.h"

#include "base/Errors.h"
#include "header/FieldValue.h"

#include <array>
#include <utility>

namespace {

using Name = std::pair<uint16_t, std::string_view>;

constexpr std::string_view kUnknown = "unknown";

// IMAGE_FILE_MACHINE_*
constexpr std::array kMachines{
    Name{0x0000, "any machine"},
    Name{0x014C, "Intel 386"},
    Name{0x0162, "MIPS R3000"},
    Name{0x0166, "MIPS R4000"},
    Name{0x0168, "MIPS R10000"},
    Name{0x0169, "MIPS WCE v2"},
    Name{0x0184, "Alpha AXP"},
    Name{0x01A2, "Hitachi SH3"},
    Name{0x01A3, "Hitachi SH3 DSP"},
    Name{0x01A6, "Hitachi SH4"},
    Name{0x01A8, "Hitachi SH5"},
    Name{0x01C0, "ARM"},
    Name{0x01C2, "ARM Thumb"},
    Name{0x01C4, "ARM Thumb-2"},
    Name{0x01D3, "Matsushita AM33"},
    Name{0x01F0, "PowerPC"},
    Name{0x01F1, "PowerPC with FPU"},
    Name{0x0200, "Intel Itanium"},
    Name{0x0266, "MIPS16"},
    Name{0x0284, "Alpha 64"},
    Name{0x0366, "MIPS with FPU"},
    Name{0x0466, "MIPS16 with FPU"},
    Name{0x0520, "Infineon TriCore"},
    Name{0x0CEF, "CEF"},
    Name{0x0EBC, "EFI byte code"},
    Name{0x5032, "RISC-V 32-bit"},
    Name{0x5064, "RISC-V 64-bit"},
    Name{0x5128, "RISC-V 128-bit"},
    Name{0x6232, "LoongArch 32-bit"},
    Name{0x6264, "LoongArch 64-bit"},
    Name{0x8664, "x64"},
    Name{0x9041, "Mitsubishi M32R"},
    Name{0xA641, "ARM64EC"},
    Name{0xA64E, "ARM64X"},
    Name{0xAA64, "ARM64"},
    Name{0xC0EE, "CLR pure MSIL"},
};

constexpr std::array kMagics{
    Name{0x0107, "ROM"},
    Name{0x010B, "PE32"},
    Name{0x020B, "PE32+"},
};

// IMAGE_SUBSYSTEM_*
constexpr std::array kSubsystems{
    Name{1, "Native"},
    Name{2, "Windows GUI"},
    Name{3, "Windows console"},
    Name{5, "OS/2 console"},
    Name{7, "POSIX console"},
    Name{8, "Native Windows 9x driver"},
    Name{9, "Windows CE GUI"},
    Name{10, "EFI application"},
    Name{11, "EFI boot service driver"},
    Name{12, "EFI runtime driver"},
    Name{13, "EFI ROM"},
    Name{14, "Xbox"},
    Name{16, "Windows boot application"},
};

template <size_t N> std::string_view Find(const std::array<Name, N>& names, uint64_t value)
{
    for (const Name& name : names) {
        if (name.first == value)
            return name.second;
    }
    return kUnknown;
}

} // namespace

std::string_view ValueName(ValueNames kind, uint64_t value)
{
    switch (kind) {
    case ValueNames::Machine:
        return Find(kMachines, value);
    case ValueNames::Magic:
        return Find(kMagics, value);
    case ValueNames::Subsystem:
        return Find(kSubsystems, value);
    }
    return kUnknown;
}

std::string_view ValueNameOfText(ValueNames kind, const std::string& text, bool hex)
{
    if (hex ? !IsHexText(text) : !IsDecimalText(text))
        return {};
    try {
        return ValueName(kind, StrToUInt64(hex ? "0x" + text : text));
    } catch (const EConvertError&) {
        return kUnknown; // more digits than 64 bits hold: no field value
    }
}
