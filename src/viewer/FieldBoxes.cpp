#include "viewer/FieldBoxes.h"

#include <array>

namespace {

using P = FieldPage;

// Row i is the box of FieldId i.
constexpr std::array<FieldBox, kFieldIdCount> kBoxes{{
    {FieldId::LastPage, "EdLastPage", 5, P::TabMZ},
    {FieldId::Pages, "EdPages", 5, P::TabMZ},
    {FieldId::SizeHd, "EdSizeHd", 5, P::TabMZ},
    {FieldId::MinRam, "EdMinRam", 5, P::TabMZ},
    {FieldId::MaxRam, "EdMaxRam", 5, P::TabMZ},
    {FieldId::SS, "Ed_SS", 5, P::TabMZ},
    {FieldId::SP, "Ed_SP", 5, P::TabMZ},
    {FieldId::IP, "Ed_IP", 5, P::TabMZ},
    {FieldId::CS, "Ed_CS", 5, P::TabMZ},
    {FieldId::Machine, "EdMachine", 5, P::TabFileHd},
    {FieldId::Sections, "EdSections", 5, P::TabFileHd},
    {FieldId::DateStamp, "EdDateStamp", 10, P::TabFileHd},
    {FieldId::SymbolTable, "EdSymbolTable", 10, P::TabFileHd},
    {FieldId::Symbols, "EdSymbols", 10, P::TabFileHd},
    {FieldId::SizeOptHd, "EdSizeOptHd", 5, P::TabFileHd},
    {FieldId::Char, "EdChar", 5, P::TabFileHd},
    {FieldId::Magic, "EdMagic", 5, P::TabStandard},
    {FieldId::MajorLinker, "EdMajorLinker", 3, P::TabStandard},
    {FieldId::MinorLinker, "EdMinorLinker", 3, P::TabStandard},
    {FieldId::Code, "EdCode", 10, P::TabStandard},
    {FieldId::InitData, "EdInitData", 10, P::TabStandard},
    {FieldId::UnInitData, "EdUnInitData", 10, P::TabStandard},
    {FieldId::EntryPoint, "EdEntryPoint", 10, P::TabStandard},
    {FieldId::BaseCode, "EdBaseCode", 10, P::TabStandard},
    {FieldId::BaseData, "EdBaseData", 10, P::TabStandard},
    {FieldId::ImageBase, "EdImageBase", 10, P::TabNT},
    {FieldId::SectionAlign, "EdSectionAlign", 10, P::TabNT},
    {FieldId::FileAlign, "EdFileAlign", 10, P::TabNT},
    {FieldId::MajorOS, "EdMajorOS", 5, P::TabNT},
    {FieldId::MinorOS, "EdMinorOS", 5, P::TabNT},
    {FieldId::MajorImage, "EdMajorImage", 5, P::TabNT},
    {FieldId::MinorImage, "EdMinorImage", 5, P::TabNT},
    {FieldId::MajorSubsystem, "EdMajorSubsystem", 5, P::TabNT},
    {FieldId::MinorSubsystem, "EdMinorSubsystem", 5, P::TabNT},
    {FieldId::Win32Version, "EdWin32Version", 10, P::TabNT},
    {FieldId::SizeImage, "EdSizeImage", 10, P::TabNT},
    {FieldId::Win32SizeHd, "EdWin32SizeHd", 10, P::TabNT},
    {FieldId::CheckSum, "EdCheckSum", 10, P::TabNT},
    {FieldId::Subsystem, "EdSubsystem", 5, P::TabNT},
    {FieldId::DLLChar, "EdDLLChar", 5, P::TabNT},
    {FieldId::StackRes, "EdStackRes", 10, P::TabNT},
    {FieldId::StackCom, "EdStackCom", 10, P::TabNT},
    {FieldId::HeapRes, "EdHeapRes", 10, P::TabNT},
    {FieldId::HeapCom, "EdHeapCom", 10, P::TabNT},
    {FieldId::LoaderFlags, "EdLoaderFlags", 10, P::TabNT},
    {FieldId::Rva, "EdRva", 10, P::TabNT},
    {FieldId::Relocs, "EdRelocs", 5, P::TabMZ},
    {FieldId::RelocTable, "EdRelocTable", 5, P::TabMZ},
    {FieldId::Overlay, "EdOverlay", 5, P::TabMZ},
    {FieldId::Res0, "EdRes0", 5, P::TabMZ},
    {FieldId::Res1, "EdRes1", 5, P::TabMZ},
    {FieldId::Res2, "EdRes2", 5, P::TabMZ},
    {FieldId::Res3, "EdRes3", 5, P::TabMZ},
    {FieldId::OemId, "EdOemId", 5, P::TabMZ},
    {FieldId::OemInfo, "EdOemInfo", 5, P::TabMZ},
    {FieldId::Res2_0, "EdRes2_0", 5, P::TabMZ},
    {FieldId::Res2_1, "EdRes2_1", 5, P::TabMZ},
    {FieldId::Res2_2, "EdRes2_2", 5, P::TabMZ},
    {FieldId::Res2_3, "EdRes2_3", 5, P::TabMZ},
    {FieldId::Res2_4, "EdRes2_4", 5, P::TabMZ},
    {FieldId::Res2_5, "EdRes2_5", 5, P::TabMZ},
    {FieldId::Res2_6, "EdRes2_6", 5, P::TabMZ},
    {FieldId::Res2_7, "EdRes2_7", 5, P::TabMZ},
    {FieldId::Res2_8, "EdRes2_8", 5, P::TabMZ},
    {FieldId::Res2_9, "EdRes2_9", 5, P::TabMZ},
    {FieldId::Lfanew, "EdLfanew", 10, P::TabMZ},
    {FieldId::DirRva0, "EdDirRva0", 10, P::TabDataDir},
    {FieldId::DirSize0, "EdDirSize0", 10, P::TabDataDir},
    {FieldId::DirRva1, "EdDirRva1", 10, P::TabDataDir},
    {FieldId::DirSize1, "EdDirSize1", 10, P::TabDataDir},
    {FieldId::DirRva2, "EdDirRva2", 10, P::TabDataDir},
    {FieldId::DirSize2, "EdDirSize2", 10, P::TabDataDir},
    {FieldId::DirRva3, "EdDirRva3", 10, P::TabDataDir},
    {FieldId::DirSize3, "EdDirSize3", 10, P::TabDataDir},
    {FieldId::DirRva4, "EdDirRva4", 10, P::TabDataDir},
    {FieldId::DirSize4, "EdDirSize4", 10, P::TabDataDir},
    {FieldId::DirRva5, "EdDirRva5", 10, P::TabDataDir},
    {FieldId::DirSize5, "EdDirSize5", 10, P::TabDataDir},
    {FieldId::DirRva6, "EdDirRva6", 10, P::TabDataDir},
    {FieldId::DirSize6, "EdDirSize6", 10, P::TabDataDir},
    {FieldId::DirRva7, "EdDirRva7", 10, P::TabDataDir},
    {FieldId::DirSize7, "EdDirSize7", 10, P::TabDataDir},
    {FieldId::DirRva8, "EdDirRva8", 10, P::TabDataDir},
    {FieldId::DirSize8, "EdDirSize8", 10, P::TabDataDir},
    {FieldId::DirRva9, "EdDirRva9", 10, P::TabDataDir},
    {FieldId::DirSize9, "EdDirSize9", 10, P::TabDataDir},
    {FieldId::DirRva10, "EdDirRva10", 10, P::TabDataDir},
    {FieldId::DirSize10, "EdDirSize10", 10, P::TabDataDir},
    {FieldId::DirRva11, "EdDirRva11", 10, P::TabDataDir},
    {FieldId::DirSize11, "EdDirSize11", 10, P::TabDataDir},
    {FieldId::DirRva12, "EdDirRva12", 10, P::TabDataDir},
    {FieldId::DirSize12, "EdDirSize12", 10, P::TabDataDir},
    {FieldId::DirRva13, "EdDirRva13", 10, P::TabDataDir},
    {FieldId::DirSize13, "EdDirSize13", 10, P::TabDataDir},
    {FieldId::DirRva14, "EdDirRva14", 10, P::TabDataDir},
    {FieldId::DirSize14, "EdDirSize14", 10, P::TabDataDir},
    {FieldId::DirRva15, "EdDirRva15", 10, P::TabDataDir},
    {FieldId::DirSize15, "EdDirSize15", 10, P::TabDataDir},
    {FieldId::VirtualSize, {}, 10, P::SectionPage},
    {FieldId::VirtualAddress, {}, 10, P::SectionPage},
    {FieldId::SizeOfRawData, {}, 10, P::SectionPage},
    {FieldId::PointerToRawData, {}, 10, P::SectionPage},
    {FieldId::PointerToRelocations, {}, 10, P::SectionPage},
    {FieldId::PointerToLinenumbers, {}, 10, P::SectionPage},
    {FieldId::NumberOfRelocations, {}, 10, P::SectionPage},
    {FieldId::NumberOfLinenumbers, {}, 10, P::SectionPage},
    {FieldId::SectionCharacteristics, {}, 10, P::SectionPage},
    {FieldId::SectionName, "EdSectionName", 8, P::SectionPage},
}};

// The check boxes of FileCharacteristicFlags() and DllCharacteristicFlags(), in their order.
constexpr std::array<std::string_view, 16> kFileFlagBoxes{
    "CheckBoxSystem",
    "CheckBoxDLL",
    "CheckBoxExec",
    "CheckBox32Bit",
    "CheckBoxFileRelocsStripped",
    "CheckBoxFileLineNumsStripped",
    "CheckBoxFileLocalSymsStripped",
    "CheckBoxFileAggressiveWsTrim",
    "CheckBoxFileLargeAddressAware",
    "CheckBoxFileReserved40",
    "CheckBoxFileBytesReversedLo",
    "CheckBoxFileDebugStripped",
    "CheckBoxFileRemovableRunFromSwap",
    "CheckBoxFileNetRunFromSwap",
    "CheckBoxFileUpSystemOnly",
    "CheckBoxFileBytesReversedHi",
};

constexpr std::array<std::string_view, 11> kDllFlagBoxes{
    "CheckBoxDllHighEntropyVA",
    "CheckBoxDllDynamicBase",
    "CheckBoxDllForceIntegrity",
    "CheckBoxDllNxCompatible",
    "CheckBoxDllNoIsolation",
    "CheckBoxDllNoSEH",
    "CheckBoxDllNoBind",
    "CheckBoxDllAppContainer",
    "CheckBoxDllWDMDriver",
    "CheckBoxDllControlFlowGuard",
    "CheckBoxDllTerminalServerAware",
};

constexpr bool BoxesInOrder()
{
    for (size_t i = 0; i < kBoxes.size(); ++i) {
        if (kBoxes[i].id != static_cast<FieldId>(i))
            return false;
    }
    return true;
}
static_assert(BoxesInOrder());

} // namespace

const FieldBox& BoxOf(FieldId id)
{
    return kBoxes[static_cast<size_t>(id)];
}

int BoxMaxLength(FieldId id, OptionalLayout layout)
{
    if (id < FieldId::VirtualSize && FieldOf(id, layout).width == 8)
        return 20;
    return BoxOf(id).maxLength;
}

std::optional<FieldId> FieldOfBox(std::string_view name)
{
    for (const FieldBox& box : kBoxes) {
        if (!name.empty() && box.name == name)
            return box.id;
    }
    return std::nullopt;
}

std::span<const std::string_view> FileFlagBoxes()
{
    return kFileFlagBoxes;
}

std::span<const std::string_view> DllFlagBoxes()
{
    return kDllFlagBoxes;
}
