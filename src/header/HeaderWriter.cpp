#include "header/HeaderWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>

namespace {

WriteItem Item(const HeaderField& field, uint32_t position, int64_t value)
{
    const uint64_t mask = field.width >= 8 ? ~0ull : (1ull << (8 * field.width)) - 1;
    return WriteItem{position, field.width, static_cast<uint64_t>(value) & mask};
}

// Writes bytes back; answers whether the range holds them afterwards. A write that fails may
// still have stored them (or the range never changed), so the bytes are read back then.
bool PutBack(ByteWriter& file, uint64_t position, const std::vector<uint8_t>& bytes)
{
    try {
        file.WriteAt(position, bytes.data(), bytes.size());
        return true;
    } catch (const std::exception&) {
    }
    try {
        std::vector<uint8_t> now(bytes.size());
        return file.ReadAt(position, now.data(), now.size()) == now.size() && now == bytes;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

const HeaderField& FieldRef::Field() const
{
    if (section == kHeader)
        return HeaderFields(layout)[static_cast<size_t>(index)];
    if (section == kDirectories)
        return DataDirectoryFields(layout)[static_cast<size_t>(index)];
    if (section == kDosExtra)
        return DosExtraFields()[static_cast<size_t>(index)];
    if (index == kNameRow)
        return SectionNameField();
    return SectionFields()[static_cast<size_t>(index)];
}

std::vector<FieldRef> PlannedFields(const HeaderWriteInput& input)
{
    // The DOS rows never include the checksum (18) or e_lfanew; the MZ and PE signatures are
    // never written.
    std::vector<FieldRef> fields;
    const auto header = HeaderFields(input.layout);
    const size_t headerRows = input.hasPe ? header.size() : DosFields().size();
    const size_t sectionRows = SectionFields().size();
    const size_t directoryRows = std::min<size_t>(2 * input.directories.size(), kDataDirectoryFieldCount);
    fields.reserve(headerRows + (input.hasPe ? directoryRows + input.sections.size() * sectionRows : 0));
    // The DOS header's words in file order, so adjacent ones go in one write.
    const auto dos = DosFields();
    const auto extra = DosExtraFields();
    size_t nextExtra = 0;
    auto extraBefore = [&](uint32_t offset) {
        for (; input.hasDosExtra && nextExtra < extra.size() && extra[nextExtra].offset < offset;
             ++nextExtra) {
            if (static_cast<int>(nextExtra) != kLfanewExtraIndex)
                fields.push_back(FieldRef{FieldRef::kDosExtra, static_cast<int>(nextExtra), input.layout});
        }
    };
    for (size_t i = 0; i < headerRows; ++i) {
        if (i < dos.size())
            extraBefore(dos[i].offset);
        else if (i == dos.size())
            extraBefore(UINT32_MAX);
        if (header[i].Present())
            fields.push_back(FieldRef{FieldRef::kHeader, static_cast<int>(i), input.layout});
    }
    extraBefore(UINT32_MAX);
    if (!input.hasPe)
        return fields;
    for (size_t i = 0; i < directoryRows; ++i)
        fields.push_back(FieldRef{FieldRef::kDirectories, static_cast<int>(i), input.layout});
    const bool names = input.sectionNames.size() == input.sections.size();
    for (size_t s = 0; s < input.sections.size(); ++s) {
        if (names)
            fields.push_back(FieldRef{static_cast<int>(s), FieldRef::kNameRow, input.layout});
        for (size_t r = 0; r < sectionRows; ++r)
            fields.push_back(FieldRef{static_cast<int>(s), static_cast<int>(r), input.layout});
    }
    return fields;
}

int64_t InputValue(const HeaderWriteInput& input, const FieldRef& ref)
{
    if (ref.section == FieldRef::kHeader)
        return input.values[static_cast<size_t>(ref.index)];
    if (ref.section == FieldRef::kDirectories)
        return input.directories[static_cast<size_t>(ref.index / 2)][static_cast<size_t>(ref.index % 2)];
    if (ref.section == FieldRef::kDosExtra)
        return input.dosExtra[static_cast<size_t>(ref.index)];
    if (ref.index == FieldRef::kNameRow)
        return static_cast<int64_t>(input.sectionNames[static_cast<size_t>(ref.section)]);
    return input.sections[static_cast<size_t>(ref.section)][static_cast<size_t>(ref.index)];
}

void SetInputValue(HeaderWriteInput& input, const FieldRef& ref, int64_t value)
{
    if (ref.section == FieldRef::kHeader)
        input.values.at(static_cast<size_t>(ref.index)) = value;
    else if (ref.section == FieldRef::kDirectories)
        input.directories.at(static_cast<size_t>(ref.index / 2)).at(static_cast<size_t>(ref.index % 2))
            = value;
    else if (ref.section == FieldRef::kDosExtra)
        input.dosExtra.at(static_cast<size_t>(ref.index)) = value;
    else if (ref.index == FieldRef::kNameRow)
        input.sectionNames.at(static_cast<size_t>(ref.section)) = static_cast<uint64_t>(value);
    else
        input.sections.at(static_cast<size_t>(ref.section)).at(static_cast<size_t>(ref.index)) = value;
}

uint32_t InputPosition(const HeaderWriteInput& input, const FieldRef& ref)
{
    return FieldPosition(ref.Field(), input.peOffset, input.optHeaderSize,
        ref.section < 0 ? 0u : static_cast<uint32_t>(ref.section));
}

WritePlan BuildWritePlan(const HeaderWriteInput& input)
{
    WritePlan plan;
    const std::vector<FieldRef> fields = PlannedFields(input);
    plan.items.reserve(fields.size());
    for (const FieldRef& ref : fields)
        plan.items.push_back(Item(ref.Field(), InputPosition(input, ref), InputValue(input, ref)));
    return plan;
}

std::vector<WriteRange> JoinWriteRanges(const WritePlan& plan, uint64_t sizeLimit)
{
    std::vector<WriteRange> ranges;
    for (const WriteItem& item : plan.items) {
        if (item.position >= sizeLimit)
            continue;
        // Only the bytes inside the file as it was opened are written: a header that runs past
        // the end of a truncated file must not grow it.
        const size_t count = static_cast<size_t>(std::min<uint64_t>(item.width, sizeLimit - item.position));
        if (ranges.empty() || ranges.back().position + ranges.back().bytes.size() != item.position)
            ranges.push_back(WriteRange{item.position, {}});
        for (size_t b = 0; b < count; ++b)
            ranges.back().bytes.push_back(static_cast<uint8_t>(item.value >> (8 * b)));
    }
    return ranges;
}

PlannedBytes::PlannedBytes(const ByteReader& file, std::vector<WriteRange> ranges)
    : FFile(file)
    , FRanges(std::move(ranges))
{
}

size_t PlannedBytes::ReadAt(uint64_t pos, void* buffer, size_t count) const
{
    const size_t got = FFile.ReadAt(pos, buffer, count);
    auto* out = static_cast<uint8_t*>(buffer);
    // Later ranges win where ranges overlap, as they would on disk.
    for (const WriteRange& range : FRanges) {
        const uint64_t begin = std::max(pos, range.position);
        const uint64_t end = std::min<uint64_t>(pos + got, range.position + range.bytes.size());
        if (begin < end)
            std::memcpy(out + (begin - pos), range.bytes.data() + (begin - range.position), end - begin);
    }
    return got;
}

WriteResult ApplyWritePlan(const WritePlan& plan, ByteWriter& file, uint64_t sizeLimit)
{
    WriteResult result;
    const std::vector<WriteRange> ranges = JoinWriteRanges(plan, sizeLimit);
    result.ranges = ranges.size();
    if (ranges.empty())
        return result;

    // Every old byte is read before the first write, so each copy holds what the file held
    // at the start even where ranges overlap.
    std::vector<std::vector<uint8_t>> old(ranges.size());
    try {
        for (size_t i = 0; i < ranges.size(); ++i) {
            old[i].resize(ranges[i].bytes.size());
            if (file.ReadAt(ranges[i].position, old[i].data(), old[i].size()) != old[i].size()) {
                result.outcome = WriteOutcome::Unchanged;
                result.error
                    = "The file ends before offset " + std::to_string(ranges[i].position + old[i].size());
                return result;
            }
        }
    } catch (const std::exception& error) {
        result.outcome = WriteOutcome::Unchanged;
        result.error = error.what();
        return result;
    }

    size_t touched = 0; // ranges a write may have changed
    try {
        for (const WriteRange& range : ranges) {
            ++touched;
            file.WriteAt(range.position, range.bytes.data(), range.bytes.size());
        }
        file.Flush();
        return result;
    } catch (const std::exception& error) {
        result.error = error.what();
    }

    size_t firstUnrestored = touched;
    for (size_t i = touched; i-- > 0;) {
        if (!PutBack(file, ranges[i].position, old[i]))
            firstUnrestored = i;
    }
    bool flushed = true;
    try {
        file.Flush();
    } catch (const std::exception&) {
        flushed = false;
    }
    if (firstUnrestored == touched && flushed) {
        result.outcome = WriteOutcome::Unchanged;
        return result;
    }
    // When only the last flush failed, nothing says which bytes reached the disk: the
    // first range written is named.
    const size_t named = firstUnrestored == touched ? 0 : firstUnrestored;
    result.outcome = WriteOutcome::Damaged;
    result.unrestoredPosition = ranges[named].position;
    result.unrestoredLength = ranges[named].bytes.size();
    return result;
}
