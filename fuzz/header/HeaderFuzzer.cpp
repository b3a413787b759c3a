// Feeds arbitrary bytes to the header reader as a file image, saves the values back
// unchanged and edited, and checks what must always hold: no crash, no read or write out
// of bounds, the file never grows, an unchanged save leaves every byte as it was, and an
// edited save changes nothing but the planned bytes.
#include "Errors.h"
#include "FieldValue.h"
#include "HeaderWriter.h"
#include "ImageReader.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

HeaderWriteInput Input(const ImageHeaders& headers)
{
    HeaderWriteInput input;
    input.hasPe = headers.kind == ImageKind::Pe;
    input.peOffset = headers.peOffset;
    input.optHeaderSize = headers.optHeaderSize;
    for (int i = 0; i < kHeaderFieldCount; ++i)
        input.values[size_t(i)] = headers.values[size_t(i)];
    for (const SectionValues& section : headers.sections) {
        auto& rows = input.sections.emplace_back();
        for (int r = 0; r < kSectionRowCount; ++r)
            rows[size_t(r)] = section.rows[size_t(r)];
    }
    return input;
}

// The field value texts: every value read survives the trip through both radixes.
void CheckTexts(uint32_t value, const HeaderField& field)
{
    const int64_t parsed = ParseFieldValue(std::to_string(value), false, ToggleParseBits(field.valueClass));
    const std::string hex = FieldValueText(parsed, true, HexDigits(field.valueClass));
    Check(IsHexText(hex));
    Check(ParseFieldValue(hex, true, ToggleParseBits(field.valueClass)) == parsed);
    const uint64_t mask = field.width == 4 ? 0xFFFFFFFFull : (1ull << (8 * field.width)) - 1;
    Check((uint64_t(ParseFieldValue(hex, true, field)) & mask) == value);
}

// The number reader on the first bytes as text: it answers or throws EConvertError, nothing else.
void CheckNumberReader(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size < 24 ? size : 24);
    for (int bits : {32, 64}) {
        try {
            const int64_t value = bits == 32 ? StrToInt(text) : StrToInt64(text);
            Check(bits == 64 || (value >= INT32_MIN && value <= INT32_MAX));
            // Canonical decimal text reads back to the same value.
            Check(ParseFieldValue(FieldValueText(value, false, 0), false, bits) == value);
        } catch (const EConvertError& e) {
            // The message is a C string, so it can only be compared up to a zero byte.
            if (text.find('\0') == std::string::npos)
                Check(std::string(e.what()) == "'" + text + "' is not a valid integer value");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckNumberReader(data, size);

    const std::vector<uint8_t> original(data, data + size);
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(original));
    Check(headers.fileSize == size);
    const bool mz = size >= 2 && data[0] == 'M' && data[1] == 'Z';
    Check((headers.kind == ImageKind::NotMz) == !mz);
    if (headers.kind == ImageKind::NotMz)
        return 0;
    Check(headers.sections.size() == (headers.kind == ImageKind::Pe ? headers.sectionCount : 0u));
    if (headers.kind == ImageKind::Pe)
        Check(headers.sectionCount <= kMaxSections);
    if (headers.kind == ImageKind::TooManySections)
        Check(headers.sectionCount > kMaxSections);
    for (const SectionValues& section : headers.sections) {
        Check(section.name.size() <= 8);
        Check(section.name.find('\0') == std::string::npos);
    }
    for (int i = 0; i < kHeaderFieldCount; ++i)
        CheckTexts(headers.values[size_t(i)], HeaderFields()[size_t(i)]);
    for (const SectionValues& section : headers.sections)
        for (int r = 0; r < kSectionRowCount; ++r)
            CheckTexts(section.rows[size_t(r)], SectionFields()[size_t(r)]);
    if (headers.kind == ImageKind::TooManySections)
        return 0;

    // Saved unchanged: byte for byte the same file.
    HeaderWriteInput input = Input(headers);
    MemoryBytes same(original);
    ApplyWritePlan(BuildWritePlan(input), same, headers.fileSize);
    Check(same.bytes == original);

    // Saved with every value changed: only planned bytes below the old size may change.
    uint64_t seed = 0x9E3779B97F4A7C15ull ^ size;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return int64_t(seed);
    };
    for (int64_t& v : input.values)
        v = next();
    for (auto& rows : input.sections)
        for (int64_t& v : rows)
            v = next();
    const WritePlan plan = BuildWritePlan(input);
    std::vector<uint8_t> expected = original;
    for (const WriteItem& item : plan.items)
        for (uint64_t b = 0; b < item.width; ++b)
            if (item.position + b < expected.size())
                expected[item.position + b] = uint8_t(item.value >> (8 * b));
    MemoryBytes edited(original);
    ApplyWritePlan(plan, edited, headers.fileSize);
    Check(edited.bytes.size() == original.size());
    Check(edited.bytes == expected);
    // The signatures are never written.
    Check(edited.bytes[0] == 'M' && edited.bytes[1] == 'Z');
    return 0;
}
