// The hardening report: plain reads of what Contents, the header reader and Authenticode found.
#include "contents/Hardening.h"

#include "contents/Authenticode.h"
#include "header/Checksum.h"
#include "header/FieldTable.h"

#include <algorithm>

namespace {

// IMAGE_FILE_* and IMAGE_DLLCHARACTERISTICS_* bits.
constexpr uint32_t kRelocsStripped = 0x0001;
constexpr uint32_t kHighEntropyVa = 0x0020;
constexpr uint32_t kDynamicBase = 0x0040;
constexpr uint32_t kForceIntegrity = 0x0080;
constexpr uint32_t kNxCompat = 0x0100;
constexpr uint32_t kNoSeh = 0x0400;
constexpr uint32_t kAppContainer = 0x1000;
constexpr uint32_t kGuardCf = 0x4000;
constexpr uint32_t kCfInstrumented = 0x100; // IMAGE_GUARD_CF_INSTRUMENTED
constexpr uint32_t kCetCompat = 0x1; // IMAGE_DLLCHARACTERISTICS_EX_CET_COMPAT
constexpr uint32_t kClrIlOnly = 0x1;
constexpr uint32_t kScnExecute = 0x20000000;
constexpr uint32_t kScnWrite = 0x80000000;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr int kSectionCharacteristics = kSectionRowCount - 1;

std::string Hex(uint64_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

std::string SetOrNot(std::string_view flag, bool set)
{
    return std::string(flag) + (set ? " set" : " not set");
}

uint64_t Value(const ImageHeaders& headers, FieldId id)
{
    return headers.values[static_cast<size_t>(HeaderIndex(id))];
}

} // namespace

const std::vector<std::string>& HardeningNames()
{
    static const std::vector<std::string> names{"aslr", "high-entropy-aslr", "dep", "cfg", "safeseh", "gs",
        "cet", "force-integrity", "appcontainer", "dotnet", "signed", "checksum", "no-wx"};
    return names;
}

std::string_view HardeningStateName(HardeningState state)
{
    switch (state) {
    case HardeningState::Yes:
        return "yes";
    case HardeningState::No:
        return "no";
    case HardeningState::NotApplicable:
        break;
    }
    return "n/a";
}

std::vector<HardeningRow> HardeningReport(
    const ByteReader& file, const ImageHeaders& headers, const ImageContents& contents)
{
    const uint32_t dll = static_cast<uint32_t>(Value(headers, FieldId::DLLChar));
    const uint32_t characteristics = static_cast<uint32_t>(Value(headers, FieldId::Char));
    const bool pe32Plus = headers.layout == OptionalLayout::Pe32Plus;
    const bool x86 = Value(headers, FieldId::Machine) == kMachineI386;
    // Native code properties say nothing about an assembly that holds IL only.
    const bool ilOnly = contents.clr.present && (contents.clr.flags & kClrIlOnly) != 0;
    const LoadConfig& config = contents.loadConfig;
    auto yes = [](bool b) { return b ? HardeningState::Yes : HardeningState::No; };
    std::vector<HardeningRow> rows;
    auto add
        = [&](std::string_view name, std::string_view title, HardeningState state, std::string evidence) {
              rows.push_back({name, title, state, std::move(evidence)});
          };
    auto native = [&](HardeningState state) { return ilOnly ? HardeningState::NotApplicable : state; };

    const bool stripped = (characteristics & kRelocsStripped) != 0;
    add("aslr", "ASLR", yes((dll & kDynamicBase) != 0 && !stripped),
        SetOrNot("DYNAMIC_BASE", (dll & kDynamicBase) != 0) + ", "
            + (stripped ? "RELOCS_STRIPPED set"
                        : "relocations kept (" + std::to_string(contents.relocations.entries) + " entries)"));
    add("high-entropy-aslr", "high-entropy ASLR", yes(pe32Plus && (dll & kHighEntropyVa) != 0),
        std::string(pe32Plus ? "PE32+, " : "PE32 (32-bit addresses), ")
            + SetOrNot("HIGH_ENTROPY_VA", (dll & kHighEntropyVa) != 0));
    add("dep", "DEP", yes((dll & kNxCompat) != 0), SetOrNot("NX_COMPAT", (dll & kNxCompat) != 0));

    const bool guardCf = (dll & kGuardCf) != 0;
    const bool instrumented = config.guardFlags && (*config.guardFlags & kCfInstrumented) != 0;
    add("cfg", "CFG", native(yes(guardCf && instrumented)),
        SetOrNot("GUARD_CF", guardCf) + ", "
            + (config.guardFlags ? "GuardFlags " + Hex(*config.guardFlags)
                        + (instrumented ? " (CF_INSTRUMENTED)" : " (no CF_INSTRUMENTED)")
                                 : std::string("no GuardFlags in the load config")));

    if (!x86) {
        add("safeseh", "SafeSEH", HardeningState::NotApplicable,
            "not x86: exception handlers are table-based");
    } else if ((dll & kNoSeh) != 0) {
        add("safeseh", "SafeSEH", native(HardeningState::Yes), "NO_SEH set: no SEH handlers");
    } else {
        const bool table = config.seHandlerTable && *config.seHandlerTable != 0;
        add("safeseh", "SafeSEH", native(yes(table)),
            table ? "SEHandlerTable " + Hex(*config.seHandlerTable) + ", "
                    + std::to_string(config.seHandlerCount.value_or(0)) + " handlers"
                  : std::string("NO_SEH not set, no SEHandlerTable in the load config"));
    }

    const bool cookie = config.securityCookie && *config.securityCookie != 0;
    add("gs", "stack cookie (/GS)", native(yes(cookie)),
        cookie ? "SecurityCookie " + Hex(*config.securityCookie)
               : std::string(config.present ? "no SecurityCookie in the load config" : "no load config"));

    std::optional<uint32_t> extended;
    for (const DebugEntry& entry : contents.debug)
        if (entry.extendedDllCharacteristics)
            extended = *entry.extendedDllCharacteristics;
    add("cet", "CET shadow stack", native(yes(extended && (*extended & kCetCompat) != 0)),
        extended ? "EX_DLLCHARACTERISTICS " + Hex(*extended) + ", "
                + SetOrNot("CET_COMPAT", (*extended & kCetCompat) != 0)
                 : std::string("no EX_DLLCHARACTERISTICS debug entry"));
    add("force-integrity", "Force Integrity", yes((dll & kForceIntegrity) != 0),
        SetOrNot("FORCE_INTEGRITY", (dll & kForceIntegrity) != 0));
    add("appcontainer", "AppContainer", yes((dll & kAppContainer) != 0),
        SetOrNot("APPCONTAINER", (dll & kAppContainer) != 0));
    add("dotnet", ".NET", yes(contents.clr.present),
        contents.clr.present ? "CLR header, Flags " + Hex(contents.clr.flags)
                + (ilOnly ? " (ILONLY: native code properties do not apply)" : "")
                             : std::string("no CLR header"));

    const AuthenticodeReport signature = VerifyAuthenticode(file, headers);
    add("signed", "signed and intact", yes(signature.state == SignatureState::Intact),
        SignatureStateText(signature));
    const ImageChecksum checksum = ReadImageChecksum(file, headers.peOffset);
    add("checksum", "checksum right", yes(checksum.Matches()),
        "stored " + Hex(checksum.stored) + ", computed " + Hex(checksum.computed));

    std::string wx;
    for (size_t i = 0; i < headers.sections.size(); ++i) {
        const uint32_t flags = headers.sections[i].rows[kSectionCharacteristics];
        if ((flags & kScnWrite) != 0 && (flags & kScnExecute) != 0)
            wx += (wx.empty() ? "" : ", ") + std::to_string(i) + " " + headers.sections[i].name;
    }
    add("no-wx", "no writable-and-executable section", yes(wx.empty()),
        wx.empty()
            ? std::to_string(headers.sections.size()) + " sections, none both MEM_WRITE and MEM_EXECUTE"
            : "MEM_WRITE and MEM_EXECUTE: section " + wx);
    return rows;
}
