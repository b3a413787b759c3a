#include "HeaderWriter.h"

#include <algorithm>

namespace {

WriteItem Item(const HeaderField& field, uint32_t position, int64_t value)
{
    const uint64_t mask = field.width == 4 ? 0xFFFFFFFFull : (1ull << (8 * field.width)) - 1;
    return WriteItem{position, field.width, static_cast<uint32_t>(static_cast<uint64_t>(value) & mask)};
}

} // namespace

WritePlan BuildWritePlan(const HeaderWriteInput& input)
{
    WritePlan plan;
    const auto fields = HeaderFields();
    // The DOS rows never include the relocation count (6) or the checksum (18); the MZ and
    // PE signatures, the data directories and the section names are never written.
    const int headerRows = input.hasPe ? kHeaderFieldCount : kDosFieldCount;
    plan.items.reserve(static_cast<size_t>(headerRows) + input.sections.size() * kSectionRowCount);
    for (int i = 0; i < headerRows; ++i) {
        const HeaderField& field = fields[static_cast<size_t>(i)];
        plan.items.push_back(Item(field, FieldPosition(field, input.peOffset, input.optHeaderSize),
            input.values[static_cast<size_t>(i)]));
    }
    if (!input.hasPe)
        return plan;
    for (size_t s = 0; s < input.sections.size(); ++s) {
        for (int r = 0; r < kSectionRowCount; ++r) {
            const HeaderField& field = SectionFields()[static_cast<size_t>(r)];
            plan.items.push_back(Item(field,
                FieldPosition(field, input.peOffset, input.optHeaderSize, static_cast<uint32_t>(s)),
                input.sections[s][static_cast<size_t>(r)]));
        }
    }
    return plan;
}

void ApplyWritePlan(const WritePlan& plan, ByteWriter& file, uint64_t sizeLimit)
{
    for (const WriteItem& item : plan.items) {
        if (item.position >= sizeLimit)
            continue;
        // Only the bytes inside the file as it was opened are written: a header that runs past
        // the end of a truncated file must not grow it.
        const size_t count = static_cast<size_t>(std::min<uint64_t>(item.width, sizeLimit - item.position));
        uint8_t bytes[4];
        for (size_t b = 0; b < 4; ++b)
            bytes[b] = static_cast<uint8_t>(item.value >> (8 * b));
        file.WriteAt(item.position, bytes, count);
    }
    file.Flush();
}
