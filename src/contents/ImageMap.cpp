#include "contents/ImageMap.h"

#include <algorithm>
#include <cstring>

namespace {

uint64_t HeaderValue(const ImageHeaders& headers, std::string_view peName)
{
    const int index = HeaderFieldIndexByPeName(peName);
    return index < 0 ? 0 : headers.values[static_cast<size_t>(index)];
}

uint64_t AlignUp(uint64_t value, uint64_t alignment)
{
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

} // namespace

std::string HexOffset(uint64_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    char text[19];
    char* end = text + sizeof text;
    char* p = end;
    do {
        *--p = digits[value & 15];
        value >>= 4;
    } while (value != 0);
    *--p = 'x';
    *--p = '0';
    return std::string(p, end);
}

BlockCachedReader::BlockCachedReader(const ByteReader& file)
    : FFile(file)
    , FSize(file.Size())
{
}

size_t BlockCachedReader::ReadAt(uint64_t pos, void* buffer, size_t count) const
{
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count && pos + done < FSize) {
        const uint64_t at = pos + done;
        const uint64_t start = at - at % kBlockSize;
        Block* block = nullptr;
        for (Block& candidate : FBlocks) {
            if (candidate.start == start)
                block = &candidate;
        }
        if (!block) {
            block = &FBlocks[FNext];
            FNext = (FNext + 1) % kBlocks;
            block->bytes.resize(kBlockSize);
            block->start = start;
            block->size = FFile.ReadAt(start, block->bytes.data(), kBlockSize);
        }
        if (at - start >= block->size)
            break;
        const size_t take = std::min<uint64_t>(count - done, block->size - (at - start));
        std::memcpy(out + done, block->bytes.data() + (at - start), take);
        done += take;
    }
    return done;
}

ImageMap::ImageMap(const ByteReader& file, const ImageHeaders& headers)
    : FFile(file)
    , FBytes(file.Bytes())
    , FHeaders(headers)
    , FFileSize(file.Size())
    , FStringBudget(4 * FFileSize + (uint64_t(1) << 20))
{
    if (headers.kind != ImageKind::Pe)
        return;
    FImageBase = HeaderValue(headers, "ImageBase");
    FMachine = static_cast<uint16_t>(HeaderValue(headers, "Machine"));
    FSectionAlignment = static_cast<uint32_t>(HeaderValue(headers, "SectionAlignment"));
    FFileAlignment = static_cast<uint32_t>(HeaderValue(headers, "FileAlignment"));
    // Below a page the sections are aligned as the file is.
    const uint32_t sectionAlignment = FSectionAlignment < 0x1000 ? FFileAlignment : FSectionAlignment;

    std::vector<uint32_t> starts;
    for (const SectionValues& section : headers.sections) {
        uint32_t start = section.rows[1];
        if (sectionAlignment != 0 && start % sectionAlignment != 0)
            start = start / sectionAlignment * sectionAlignment;
        starts.push_back(start);
    }
    std::vector<uint32_t> sorted = starts;
    std::sort(sorted.begin(), sorted.end());

    for (size_t s = 0; s < headers.sections.size(); ++s) {
        const SectionValues& section = headers.sections[s];
        const uint32_t virtualSize = section.rows[0];
        const uint32_t rawSize = section.rows[2];
        uint32_t rawStart = section.rows[3];
        // The loader reads raw data from 512-byte boundaries whatever the pointer says.
        if (FFileAlignment >= 0x200)
            rawStart &= ~uint32_t(0x1FF);
        uint64_t backed = rawSize;
        if (virtualSize != 0)
            backed = std::min<uint64_t>(backed, AlignUp(virtualSize, sectionAlignment));
        // A later section that starts inside this one takes over from there.
        const auto next = std::upper_bound(sorted.begin(), sorted.end(), starts[s]);
        if (next != sorted.end())
            backed = std::min<uint64_t>(backed, *next - starts[s]);
        backed = std::min<uint64_t>(backed, 0xFFFFFFFFu - starts[s]);
        FSpans.push_back({starts[s], static_cast<uint32_t>(backed), rawStart});
    }
}

std::optional<uint64_t> ImageMap::OffsetOf(uint32_t rva) const
{
    for (const Span& span : FSpans) {
        if (rva >= span.virtualStart && rva - span.virtualStart < span.virtualSize) {
            const uint64_t offset = uint64_t(span.rawStart) + (rva - span.virtualStart);
            if (offset < FFileSize)
                return offset;
            return std::nullopt;
        }
    }
    for (size_t s = 0; s < FHeaders.sections.size(); ++s) {
        // Inside a section's virtual tail: zeros in memory, nothing in the file.
        const uint32_t start = FSpans[s].virtualStart;
        const uint32_t size = std::max(FHeaders.sections[s].rows[0], FHeaders.sections[s].rows[2]);
        if (rva >= start && rva - start < size)
            return std::nullopt;
    }
    if (rva < FFileSize)
        return rva;
    return std::nullopt;
}

bool ImageMap::Read(uint64_t offset, void* buffer, size_t count) const
{
    if (offset > FFileSize || count > FFileSize - offset)
        return false;
    if (FBytes) {
        std::memcpy(buffer, FBytes + offset, count);
        return true;
    }
    return FFile.ReadAt(offset, buffer, count) == count;
}

std::optional<uint16_t> ImageMap::U16(uint64_t offset) const
{
    uint8_t b[2];
    if (!Read(offset, b, 2))
        return std::nullopt;
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

std::optional<uint32_t> ImageMap::U32(uint64_t offset) const
{
    uint8_t b[4];
    if (!Read(offset, b, 4))
        return std::nullopt;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

std::optional<uint64_t> ImageMap::U64(uint64_t offset) const
{
    const auto low = U32(offset);
    const auto high = U32(offset + 4);
    if (!low || !high)
        return std::nullopt;
    return uint64_t(*high) << 32 | *low;
}

std::string ImageMap::CString(uint64_t offset, size_t maxLength, bool* terminated) const
{
    std::string text;
    if (terminated)
        *terminated = false;
    if (offset >= FFileSize)
        return text;
    const size_t length
        = static_cast<size_t>(std::min<uint64_t>({maxLength, FFileSize - offset, FStringBudget}));
    if (FBytes) {
        const char* start = reinterpret_cast<const char*>(FBytes) + offset;
        const auto* zero = static_cast<const char*>(std::memchr(start, 0, length));
        const size_t used = zero ? static_cast<size_t>(zero - start) : length;
        FStringBudget -= zero ? used + 1 : used;
        if (terminated)
            *terminated = zero != nullptr;
        return std::string(start, used);
    }
    char chunk[256];
    for (size_t done = 0; done < length;) {
        const size_t want = std::min(sizeof chunk, length - done);
        const size_t got = FFile.ReadAt(offset + done, chunk, want);
        const void* zero = std::memchr(chunk, 0, got);
        if (zero) {
            const auto used = static_cast<size_t>(static_cast<const char*>(zero) - chunk);
            FStringBudget -= used + 1;
            text.append(chunk, used);
            if (terminated)
                *terminated = true;
            return text;
        }
        FStringBudget -= got;
        text.append(chunk, got);
        if (got < want)
            break;
        done += got;
    }
    return text;
}

uint32_t ImageMap::DirectoryRva(int entry) const
{
    return entry < FHeaders.directoryEntries ? FHeaders.directories[static_cast<size_t>(2 * entry)] : 0;
}

uint32_t ImageMap::DirectorySize(int entry) const
{
    return entry < FHeaders.directoryEntries ? FHeaders.directories[static_cast<size_t>(2 * entry + 1)] : 0;
}

uint64_t ImageMap::DirectoryEntryOffset(int entry) const
{
    return uint64_t(FHeaders.peOffset) + 24u + OptionalFixedSize(FHeaders.layout) + 8u * uint64_t(entry);
}

uint64_t ImageMap::RawDataEnd() const
{
    // As common parsers count it: the optional header and each section's raw data, where they
    // end inside the file.
    uint64_t end = 0;
    auto take = [&](uint64_t start, uint64_t size) {
        if (start + size <= FFileSize)
            end = std::max(end, start + size);
    };
    take(uint64_t(FHeaders.peOffset) + 24u, FHeaders.optHeaderSize);
    for (const SectionValues& section : FHeaders.sections)
        take(section.rows[3], section.rows[2]);
    return end;
}
