#pragma once
// The raw data of sections and of the entry point as the window shows it: the checks its
// View command makes before it reads a section's body, the size of the entry-point dump, and
// which section's raw data holds a file offset.
#include "header/ImageReader.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Bytes the Dump command shows from the entry point's file offset.
inline constexpr uint32_t kEntryDumpSize = 512;

inline constexpr std::string_view kSectionSizeZeroText = "Section size is zero.";
inline constexpr std::string_view kRawPointerPastEofText = "Pointer to raw data passes EOF.";
inline constexpr std::string_view kSectionTooLargeText = "Section size is to large.";

// Why a section body of rawSize bytes at rawPointer cannot be shown from a file of fileSize
// bytes (the View command's three tests, in its order), or nothing when it can. A body that
// ends exactly at the end of the file passes.
std::optional<std::string_view> SectionBodyRefusal(uint32_t rawSize, uint32_t rawPointer, uint64_t fileSize);

// The first section whose raw data (PointerToRawData, SizeOfRawData as read) holds the file
// offset, and the offset's RVA there (VirtualAddress + distance into the raw data, 32 bits).
struct SectionHit {
    int section = -1;
    uint32_t rva = 0;
};
std::optional<SectionHit> SectionAtFileOffset(const ImageHeaders& headers, uint64_t offset);
