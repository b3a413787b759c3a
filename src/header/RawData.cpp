#include "header/RawData.h"

std::optional<std::string_view> SectionBodyRefusal(uint32_t rawSize, uint32_t rawPointer, uint64_t fileSize)
{
    if (rawSize == 0)
        return kSectionSizeZeroText;
    if (rawPointer > fileSize)
        return kRawPointerPastEofText;
    if (rawSize > fileSize - rawPointer)
        return kSectionTooLargeText;
    return std::nullopt;
}

std::optional<SectionHit> SectionAtFileOffset(const ImageHeaders& headers, uint64_t offset)
{
    for (size_t s = 0; s < headers.sections.size(); ++s) {
        const SectionValues& section = headers.sections[s];
        const uint64_t pointer = section.rows[3];
        const uint64_t size = section.rows[2];
        if (offset >= pointer && offset - pointer < size)
            return SectionHit{
                static_cast<int>(s), static_cast<uint32_t>(section.rows[1] + (offset - pointer))};
    }
    return std::nullopt;
}
