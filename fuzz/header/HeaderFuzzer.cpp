// Feeds arbitrary bytes to the header reader as a file image, saves the values back
// unchanged and edited, and checks what must always hold: no crash, no read or write out
// of bounds, the file never grows, an unchanged save leaves every byte as it was, an
// edited save changes nothing but the planned bytes, every edited value reads back (or two
// edited fields that share a byte with different values are refused, and then nothing is
// written), and a save whose Nth write or flush fails (N from the input) leaves the old image
// or the new one, never a mix.
#include "base/Errors.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/HeaderWriter.h"
#include "header/ImageReader.h"

#include <algorithm>
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
    input.layout = headers.layout;
    input.hasPe = headers.kind == ImageKind::Pe;
    input.peOffset = headers.peOffset;
    input.optHeaderSize = headers.optHeaderSize;
    for (int i = 0; i < kHeaderFieldCount; ++i)
        input.values[size_t(i)] = int64_t(headers.values[size_t(i)]);
    for (int e = 0; e < headers.directoryEntries; ++e)
        input.directories.push_back(
            {headers.directories[size_t(2 * e)], headers.directories[size_t(2 * e + 1)]});
    for (const SectionValues& section : headers.sections) {
        auto& rows = input.sections.emplace_back();
        for (int r = 0; r < kSectionRowCount; ++r)
            rows[size_t(r)] = section.rows[size_t(r)];
    }
    return input;
}

// The field value texts: every value read survives the trip through both radixes.
void CheckTexts(uint64_t value, const HeaderField& field)
{
    if (!field.Present())
        return;
    const int64_t parsed
        = ParseClassValue(ClassValueText(int64_t(value), false, ValueClass::Qword), false, field.valueClass);
    const std::string hex = ClassValueText(parsed, true, field.valueClass);
    Check(IsHexText(hex));
    Check(ParseClassValue(hex, true, field.valueClass) == parsed);
    const uint64_t mask = field.width >= 8 ? ~0ull : (1ull << (8 * field.width)) - 1;
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

// An image whose failAt-th write or flush fails (and with everyLater each one after it); a
// failing write stores half of its bytes first.
class FailingImage : public MemoryBytes {
public:
    using MemoryBytes::MemoryBytes;
    void WriteAt(uint64_t pos, const void* buffer, size_t count) override
    {
        const bool fail = Due();
        MemoryBytes::WriteAt(pos, buffer, fail ? count / 2 : count);
        if (fail)
            throw EWriteError("image", "No space left on device");
    }
    void Flush() override
    {
        if (Due())
            throw EWriteError("image", "Input/output error");
    }
    uint64_t failAt = 0;
    bool everyLater = false;
    uint64_t failures = 0;

private:
    bool Due()
    {
        ++operations;
        const bool due = operations == failAt || (everyLater && operations > failAt);
        failures += due;
        return due;
    }
    uint64_t operations = 0;
};

// Edited values that fit their fields (a negative one as its two's complement), saved through
// the transaction with a failure at a write the input chooses.
void CheckSaveIsAllOrNothing(const std::vector<uint8_t>& original, const ImageHeaders& headers,
    HeaderWriteInput input, uint64_t choice)
{
    for (const FieldRef& ref : PlannedFields(input)) {
        const int bits = 8 * ref.Field().width;
        int64_t& value = ref.section == FieldRef::kHeader ? input.values[size_t(ref.index)]
            : ref.section == FieldRef::kDirectories
            ? input.directories[size_t(ref.index / 2)][size_t(ref.index % 2)]
            : input.sections[size_t(ref.section)][size_t(ref.index)];
        value = (choice >> 7) & 1 ? value >> (64 - bits) : int64_t(uint64_t(value) >> (64 - bits));
        Check(FieldValueFits(value, ref.Field().width));
    }
    MemoryBytes fresh(original);
    const SaveResult saved = SaveHeaders(input, headers, fresh);
    Check(fresh.bytes.size() == original.size());
    const std::vector<FieldRef> fields = PlannedFields(input);
    const WritePlan plan = BuildWritePlan(input);
    auto edited = [&](size_t i) {
        const uint64_t mask = plan.items[i].width >= 8 ? ~0ull : (1ull << (8 * plan.items[i].width)) - 1;
        return plan.items[i].value != (OpenedFieldValue(headers, fields[i]) & mask);
    };
    auto inside
        = [&](size_t i) { return uint64_t(plan.items[i].position) + plan.items[i].width <= original.size(); };
    if (saved.outcome == SaveOutcome::Refused) {
        // Only two edited fields that want different bytes in one place are refused.
        Check(saved.change == FileChange::Overlap && saved.fields.size() == 2 && fresh.bytes == original);
        size_t a = 0, b = 0;
        for (size_t i = 0; i < fields.size(); ++i) {
            a = fields[i] == saved.fields[0] ? i : a;
            b = fields[i] == saved.fields[1] ? i : b;
        }
        Check(edited(a) && edited(b));
        bool disagree = false;
        for (uint64_t p = plan.items[b].position; p < uint64_t(plan.items[b].position) + plan.items[b].width;
             ++p)
            if (p >= plan.items[a].position && p < uint64_t(plan.items[a].position) + plan.items[a].width)
                disagree |= uint8_t(plan.items[a].value >> (8 * (p - plan.items[a].position)))
                    != uint8_t(plan.items[b].value >> (8 * (p - plan.items[b].position)));
        Check(disagree);
        return;
    }
    Check(saved.outcome == SaveOutcome::Saved && saved.writes <= 1);
    // Only bytes of fields it wrote may change; an edited field the file ends before is not
    // written at all; every edited field inside the file reads back its value.
    std::vector<bool> written(original.size(), false);
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool left = std::find(saved.notWritten.begin(), saved.notWritten.end(), fields[i])
            != saved.notWritten.end();
        Check(!left || !inside(i));
        for (uint64_t b = plan.items[i].position;
             !left && b < uint64_t(plan.items[i].position) + plan.items[i].width && b < original.size(); ++b)
            written[b] = true;
        if (edited(i) && inside(i)) {
            uint64_t value = 0;
            for (int b = plan.items[i].width; b-- > 0;)
                value = (value << 8) | fresh.bytes[plan.items[i].position + size_t(b)];
            Check(value == plan.items[i].value);
        }
    }
    for (size_t b = 0; b < original.size(); ++b)
        Check(written[b] || fresh.bytes[b] == original[b]);

    FailingImage image(original);
    image.failAt = 1 + choice % (saved.writes + 2);
    image.everyLater = (choice >> 6) & 1;
    const SaveResult result = SaveHeaders(input, headers, image);
    Check(image.bytes.size() == original.size());
    switch (result.outcome) {
    case SaveOutcome::Saved:
        Check(image.failures == 0 && image.bytes == fresh.bytes);
        break;
    case SaveOutcome::Unchanged:
        Check(image.failures > 0 && image.bytes == original);
        break;
    case SaveOutcome::NotFlushed:
        // The one write went through; only the flush failed, and nothing was put back.
        Check(image.failures == 1 && image.bytes == fresh.bytes);
        break;
    case SaveOutcome::Damaged:
        // Only a failure while putting the old bytes back can leave a mix.
        Check(image.failures > 1 && image.everyLater);
        Check(result.unrestoredLength > 0
            && result.unrestoredPosition + result.unrestoredLength <= original.size());
        break;
    case SaveOutcome::Refused:
    case SaveOutcome::SizeChanged:
    case SaveOutcome::NotVerified:
        Check(false);
        break;
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
        CheckTexts(headers.values[size_t(i)], HeaderFields(headers.layout)[size_t(i)]);
    for (int i = 0; i < 2 * headers.directoryEntries; ++i)
        CheckTexts(headers.directories[size_t(i)], DataDirectoryFields(headers.layout)[size_t(i)]);
    for (const SectionValues& section : headers.sections)
        for (int r = 0; r < kSectionRowCount; ++r)
            CheckTexts(section.rows[size_t(r)], SectionFields()[size_t(r)]);
    if (headers.kind == ImageKind::TooManySections)
        return 0;

    // Saved unchanged: byte for byte the same file.
    HeaderWriteInput input = Input(headers);
    MemoryBytes same(original);
    Check(ApplyWritePlan(BuildWritePlan(input), same, headers.fileSize).outcome == WriteOutcome::Written);
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
    for (auto& entry : input.directories)
        for (int64_t& v : entry)
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
    Check(ApplyWritePlan(plan, edited, headers.fileSize).outcome == WriteOutcome::Written);
    Check(edited.bytes.size() == original.size());
    Check(edited.bytes == expected);
    // The signatures are never written.
    Check(edited.bytes[0] == 'M' && edited.bytes[1] == 'Z');

    uint64_t choice = 0;
    for (size_t i = size >= 8 ? size - 8 : 0; i < size; ++i)
        choice = (choice << 8) | data[i];
    CheckSaveIsAllOrNothing(original, headers, input, choice);
    return 0;
}
