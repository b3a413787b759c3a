#include "header/HeaderWriter.h"
#include "base/Errors.h"
#include "base/FileStream.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/ImageReader.h"
#include "support/PeBuilder.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

Q_DECLARE_METATYPE(FieldId)
Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

// What the window does between open and save: every value goes into a box as decimal text,
// the toggle turns it into hexadecimal text, and save parses that text at its save width.
HeaderWriteInput InputThroughBoxes(const ImageHeaders& headers)
{
    auto throughBox = [](uint32_t value, const HeaderField& field) {
        const std::string decimal = std::to_string(value);
        const int64_t toggled = ParseFieldValue(decimal, false, ToggleParseBits(field.valueClass));
        const std::string hex = FieldValueText(toggled, true, HexDigits(field.valueClass));
        return ParseFieldValue(hex, true, field);
    };
    HeaderWriteInput input;
    input.hasPe = headers.kind == ImageKind::Pe;
    input.peOffset = headers.peOffset;
    input.optHeaderSize = headers.optHeaderSize;
    for (int i = 0; i < kHeaderFieldCount; ++i)
        input.values[size_t(i)] = throughBox(headers.values[size_t(i)], HeaderFields()[size_t(i)]);
    for (const SectionValues& section : headers.sections) {
        auto& rows = input.sections.emplace_back();
        for (int r = 0; r < kSectionRowCount; ++r)
            rows[size_t(r)] = throughBox(section.rows[size_t(r)], SectionFields()[size_t(r)]);
    }
    return input;
}

int Index(FieldId id)
{
    return HeaderIndex(id);
}

// Records the calls; throws EWriteError on the failAt-th write or on Flush when asked.
class FailingWriter : public MemoryBytes {
public:
    using MemoryBytes::MemoryBytes;
    void WriteAt(uint64_t pos, const void* buffer, size_t count) override
    {
        if (++writes == failAt)
            throw EWriteError("image.exe", "No space left on device");
        MemoryBytes::WriteAt(pos, buffer, count);
    }
    void Flush() override
    {
        ++flushes;
        if (failFlush)
            throw EWriteError("image.exe", "Input/output error");
    }
    int writes = 0;
    int failAt = -1;
    int flushes = 0;
    bool failFlush = false;
};

PeBuilder TwoSections()
{
    return PeBuilder()
        .TimeDateStamp(0x65F42328)
        .EntryPoint(0x1010)
        .AddSection(PeSection(".text")
                        .Virtual(0x1000, 0x39)
                        .Raw(0x400, 0x200)
                        .Characteristics(0x60000020)
                        .Data(std::vector<uint8_t>(0x200, 0xCC)))
        .AddSection(PeSection(".data")
                        .Virtual(0x2000, 0x50)
                        .Raw(0x600, 0x200)
                        .Relocations(0x1234, 3)
                        .LineNumbers(0x5678, 0xFFFF)
                        .Characteristics(0xC0000040)
                        .Data(std::vector<uint8_t>(0x200, 0x11)));
}

} // namespace

class HeaderWriterTest : public QObject {
    Q_OBJECT
private slots:
    void planForDosOnly();
    void planForPe();
    void planPositionsWrapIn32Bits();
    void valuesAreCutToTheirWidth_data();
    void valuesAreCutToTheirWidth();
    void sectionsAsLoadedNotAsEdited();
    void writesLittleEndianAndNothingElse();
    void neverWritesAtOrBeyondTheLimit();
    void saveAfterOpenIsByteIdentical_data();
    void saveAfterOpenIsByteIdentical();
    void truncatedFileOnDiskStaysIdentical();
    void failingWritePutsOldBytesBack();
    void failingFlushTwiceMayDamage();
    void readOnlyStreamNamesFileAndReason();
    void overlappingLayouts_data();
    void overlappingLayouts();
};

void HeaderWriterTest::planForDosOnly()
{
    HeaderWriteInput input;
    for (int i = 0; i < kHeaderFieldCount; ++i)
        input.values[size_t(i)] = 100 + i;
    input.hasPe = false;
    input.peOffset = 0x80;
    input.sections.resize(2); // ignored without a PE header
    const WritePlan plan = BuildWritePlan(input);
    QCOMPARE(int(plan.items.size()), 9);
    const uint32_t positions[] = {2, 4, 8, 10, 12, 14, 16, 20, 22};
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(plan.items[size_t(i)].position, positions[i]);
        QCOMPARE(int(plan.items[size_t(i)].width), 2);
        QCOMPARE(plan.items[size_t(i)].value, uint32_t(100 + i));
    }
}

void HeaderWriterTest::planForPe()
{
    HeaderWriteInput input;
    input.hasPe = true;
    input.peOffset = 0x80;
    input.optHeaderSize = 0xE0;
    for (int i = 0; i < kHeaderFieldCount; ++i)
        input.values[size_t(i)] = i;
    input.sections.resize(2);
    for (int r = 0; r < kSectionRowCount; ++r) {
        input.sections[0][size_t(r)] = 0x100 + r;
        input.sections[1][size_t(r)] = 0x200 + r;
    }
    const WritePlan plan = BuildWritePlan(input);
    QCOMPARE(int(plan.items.size()), 46 + 18);

    // File header from PEOffset + 4, optional header straight after, ending at PEOffset + 120.
    uint32_t next = 0x84;
    for (int i = kDosFieldCount; i < kHeaderFieldCount; ++i) {
        const WriteItem& item = plan.items[size_t(i)];
        QCOMPARE(item.position, next);
        QCOMPARE(item.width, HeaderFields()[size_t(i)].width);
        QCOMPARE(item.value, uint32_t(i));
        next += item.width;
    }
    QCOMPARE(next, 0x80u + 120u);

    // Section i from PEOffset + 24 + OptHeaderSize + 40 i + 8, 32 bytes each, names skipped.
    const uint8_t widths[] = {4, 4, 4, 4, 4, 4, 2, 2, 4};
    for (uint32_t s = 0; s < 2; ++s) {
        next = 0x80 + 24 + 0xE0 + 40 * s + 8;
        for (int r = 0; r < kSectionRowCount; ++r) {
            const WriteItem& item = plan.items[size_t(46 + 9 * int(s) + r)];
            QCOMPARE(item.position, next);
            QCOMPARE(item.width, widths[r]);
            QCOMPARE(item.value, uint32_t(0x100 * (s + 1) + uint32_t(r)));
            next += item.width;
        }
        QCOMPARE(next, 0x80u + 24u + 0xE0u + 40u * (s + 1));
    }
}

void HeaderWriterTest::planPositionsWrapIn32Bits()
{
    HeaderWriteInput input;
    input.hasPe = true;
    input.peOffset = 0xFFFFFFF0;
    input.optHeaderSize = 0xFFFF;
    input.sections.resize(1);
    const WritePlan plan = BuildWritePlan(input);
    QCOMPARE(plan.items[size_t(Index(FieldId::Machine))].position, 0xFFFFFFF4u);
    QCOMPARE(plan.items[size_t(Index(FieldId::Char))].position, 0x6u);
    QCOMPARE(plan.items[size_t(Index(FieldId::Magic))].position, 0x8u);
    QCOMPARE(plan.items[46].position, uint32_t(0xFFFFFFF0u + 24u + 0xFFFFu + 8u));
}

void HeaderWriterTest::valuesAreCutToTheirWidth_data()
{
    QTest::addColumn<FieldId>("field"); // a header or section row
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<uint>("stored"); // what the plan makes of the value
    QTest::addColumn<bool>("fits"); // false: Save refuses it and writes nothing
    QTest::newRow("word 70000") << FieldId::Char << "70000" << false << 4464u << false;
    QTest::newRow("word 1FFFF") << FieldId::Machine << "1FFFF" << true << 0xFFFFu << false;
    QTest::newRow("byte 1FF") << FieldId::MajorLinker << "1FF" << true << 0xFFu << false;
    QTest::newRow("byte 256") << FieldId::MinorLinker << "256" << false << 0u << false;
    QTest::newRow("dword ten hex digits")
        << FieldId::ImageBase << "FF12345678" << true << 0x12345678u << false;
    QTest::newRow("dword 9999999999") << FieldId::CheckSum << "9999999999" << false << 0x540BE3FFu << false;
    QTest::newRow("dword lower case") << FieldId::DateStamp << "ffffffff" << true << 0xFFFFFFFFu << true;
    QTest::newRow("row 6 00012345") << FieldId::NumberOfRelocations << "00012345" << true << 0x2345u << false;
    QTest::newRow("row 7 decimal 70000")
        << FieldId::NumberOfLinenumbers << "70000" << false << 4464u << false;
    QTest::newRow("row 6 FFFFFFFF") << FieldId::NumberOfRelocations << "FFFFFFFF" << true << 0xFFFFu << true;
    QTest::newRow("row 8 ten digits")
        << FieldId::SectionCharacteristics << "1C0000040" << true << 0xC0000040u << false;
    QTest::newRow("row 0 decimal") << FieldId::VirtualSize << "4294967296" << false << 0u << false;
}

void HeaderWriterTest::valuesAreCutToTheirWidth()
{
    QFETCH(FieldId, field);
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(uint, stored);
    QFETCH(bool, fits);
    HeaderWriteInput input;
    input.hasPe = true;
    input.peOffset = 0x80;
    input.optHeaderSize = 0xE0;
    input.sections.resize(1);
    size_t item = 0;
    const bool sectionRow = field >= FieldId::VirtualSize;
    const int row = sectionRow ? SectionRowIndex(field) : 0;
    if (sectionRow) {
        input.sections[0][size_t(row)]
            = ParseFieldValue(text.toStdString(), hex, SectionFields()[size_t(row)]);
        item = size_t(kHeaderFieldCount + row);
    } else {
        item = size_t(Index(field));
        input.values[item] = ParseFieldValue(text.toStdString(), hex, HeaderFields()[item]);
    }
    const WritePlan plan = BuildWritePlan(input);
    QCOMPARE(plan.items[item].value, stored);

    // The bytes in the file: exactly width bytes little-endian, the neighbours untouched.
    MemoryBytes file(std::vector<uint8_t>(0x400, 0xEE));
    ApplyWritePlan(WritePlan{{plan.items[item]}}, file, file.Size());
    const WriteItem& w = plan.items[item];
    QCOMPARE(ReadLe(file.bytes, w.position, w.width), uint64_t(stored));
    QCOMPARE(file.bytes[w.position - 1], uint8_t(0xEE));
    QCOMPARE(file.bytes[w.position + w.width], uint8_t(0xEE));

    // Save itself never cuts: a value that does not fit is refused, naming its field.
    ImageHeaders opened;
    opened.fileSize = 0x400;
    opened.sections.resize(1);
    MemoryBytes image(std::vector<uint8_t>(0x400, 0xEE));
    image.bytes[0] = 'M';
    image.bytes[1] = 'Z';
    const std::vector<uint8_t> before = image.bytes;
    const SaveResult result = SaveHeaders(input, opened, image);
    QCOMPARE(result.outcome == SaveOutcome::Refused, !fits);
    QCOMPARE(image.bytes == before, !fits);
    if (!fits)
        QVERIFY(result.tooWide
            && *result.tooWide == (sectionRow ? FieldRef{0, row} : FieldRef{-1, Index(field)}));
}

void HeaderWriterTest::sectionsAsLoadedNotAsEdited()
{
    const std::vector<uint8_t> original = TwoSections().Build();
    HeaderWriteInput input = InputThroughBoxes(ReadImageHeaders(MemoryBytes(original)));
    // Edited counts are stored, but the table is still written where and as often as loaded.
    input.values[size_t(Index(FieldId::Sections))] = 5;
    input.values[size_t(Index(FieldId::SizeOptHd))] = 0x10;
    input.sections[1][8] = 0x40000040;
    MemoryBytes file(original);
    ApplyWritePlan(BuildWritePlan(input), file, file.Size());

    std::vector<uint8_t> expected = original;
    WriteLe(expected, 0x86, 5, 2);
    WriteLe(expected, 0x94, 0x10, 2);
    WriteLe(expected, 0x178 + 40 + 36, 0x40000040, 4);
    QCOMPARE(file.bytes, expected);
}

void HeaderWriterTest::writesLittleEndianAndNothingElse()
{
    const std::vector<uint8_t> original = TwoSections().Build();
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(original));
    HeaderWriteInput input = InputThroughBoxes(headers);
    // Change every written field: each must land at its place, and nothing else may change.
    for (int i = 0; i < kHeaderFieldCount; ++i)
        input.values[size_t(i)] = 0x01020304 * (i + 1);
    for (auto& rows : input.sections)
        for (int r = 0; r < kSectionRowCount; ++r)
            rows[size_t(r)] = 0x0A0B0C0D + r;
    MemoryBytes file(original);
    ApplyWritePlan(BuildWritePlan(input), file, file.Size());
    QCOMPARE(file.bytes.size(), original.size());

    std::vector<bool> written(original.size(), false);
    for (int i = 0; i < kHeaderFieldCount; ++i) {
        const HeaderField& field = HeaderFields()[size_t(i)];
        const uint32_t pos = FieldPosition(field, 0x80, 0xE0);
        const uint64_t mask = field.width == 4 ? 0xFFFFFFFF : (1u << (8 * field.width)) - 1;
        QCOMPARE(ReadLe(file.bytes, pos, field.width), uint64_t(0x01020304u * uint32_t(i + 1)) & mask);
        for (int b = 0; b < field.width; ++b)
            written[pos + uint32_t(b)] = true;
    }
    for (uint32_t s = 0; s < 2; ++s) {
        for (int r = 0; r < kSectionRowCount; ++r) {
            const HeaderField& field = SectionFields()[size_t(r)];
            const uint32_t pos = FieldPosition(field, 0x80, 0xE0, s);
            QCOMPARE(ReadLe(file.bytes, pos, field.width),
                uint64_t(0x0A0B0C0D + r) & (field.width == 4 ? 0xFFFFFFFF : 0xFFFF));
            for (int b = 0; b < field.width; ++b)
                written[pos + uint32_t(b)] = true;
        }
    }
    // Signatures, relocation count, checksum, PE offset, data directories, names, bodies.
    for (size_t i = 0; i < original.size(); ++i) {
        if (!written[i])
            QVERIFY2(file.bytes[i] == original[i], qPrintable(QString("byte %1 changed").arg(i, 0, 16)));
    }
    QVERIFY(!written[0] && !written[6] && !written[18] && !written[60] && !written[0x80] && !written[0x178]);
}

void HeaderWriterTest::neverWritesAtOrBeyondTheLimit()
{
    WritePlan plan;
    plan.items = {{0, 4, 0x44332211}, {6, 4, 0x88776655}, {8, 2, 0xBBAA}, {9, 1, 0xCC}, {0xFFFFFFFF, 4, 1}};
    MemoryBytes file(std::vector<uint8_t>(8, 0));
    ApplyWritePlan(plan, file, file.Size());
    QCOMPARE(file.bytes, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0, 0, 0x55, 0x66}));

    // A limit below the size (the size when the file was opened) is honoured too.
    MemoryBytes grown(std::vector<uint8_t>(8, 0));
    ApplyWritePlan(plan, grown, 5);
    QCOMPARE(grown.bytes, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0}));
}

void HeaderWriterTest::saveAfterOpenIsByteIdentical_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    const uint64_t table = TwoSections().SectionTableOffset();
    QTest::newRow("two sections") << TwoSections().Build();
    QTest::newRow("no sections") << PeBuilder().Build();
    QTest::newRow("DOS only") << PeBuilder().DosOnly().Build();
    QTest::newRow("MZ only") << std::vector<uint8_t>{'M', 'Z'};
    QTest::newRow("three bytes") << std::vector<uint8_t>{'M', 'Z', 0x90};
    QTest::newRow("cut in DOS header") << TwoSections().TruncateTo(15).Build();
    QTest::newRow("PE at the end") << PeBuilder().TruncateTo(0x82).Build();
    QTest::newRow("cut in file header") << TwoSections().TruncateTo(0x8A).Build();
    QTest::newRow("cut in optional header") << TwoSections().TruncateTo(0xB6).Build();
    QTest::newRow("cut after optional part") << TwoSections().TruncateTo(0xF9).Build();
    QTest::newRow("cut in section name") << TwoSections().TruncateTo(table + 3).Build();
    QTest::newRow("cut in section row 6") << TwoSections().TruncateTo(table + 40 + 33).Build();
    QTest::newRow("cut in section row 8") << TwoSections().TruncateTo(table + 40 + 38).Build();
    QTest::newRow("table past the end")
        << TwoSections().SizeOfOptionalHeader(0xFFFF).TruncateTo(0x300).Build();
    QTest::newRow("table over optional header") << TwoSections().SizeOfOptionalHeader(8).Build();
    QTest::newRow("PE header over DOS header") << TwoSections().PeOffset(12).Build();
    QTest::newRow("PE offset 5") << TwoSections().PeOffset(5).SectionCount(1).Build();
    QTest::newRow("top-bit values") << PeBuilder()
                                           .ImageBase(0xFFFFFFFF)
                                           .LinkerVersion(255, 255)
                                           .AddSection(PeSection("ABCDEFGH")
                                                           .Virtual(0x80000000, 0xFFFFFFFF)
                                                           .Relocations(0xFFFFFFFF, 0xFFFF)
                                                           .Characteristics(0xFFFFFFFF))
                                           .Build();
    QTest::newRow("96 sections") << [] {
        PeBuilder b;
        for (int i = 0; i < 96; ++i)
            b.AddSection(PeSection("S")
                             .Virtual(uint32_t(i) << 12, 0x1000)
                             .Raw(uint32_t(i) * 7, 0x3F)
                             .Characteristics(0xE0000020u + uint32_t(i)));
        return b.Build();
    }();
}

void HeaderWriterTest::saveAfterOpenIsByteIdentical()
{
    QFETCH(std::vector<uint8_t>, bytes);
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    QVERIFY(headers.kind != ImageKind::NotMz);
    MemoryBytes file(bytes);
    ApplyWritePlan(BuildWritePlan(InputThroughBoxes(headers)), file, headers.fileSize);
    QCOMPARE(file.bytes.size(), bytes.size());
    QCOMPARE(file.bytes, bytes);
}

void HeaderWriterTest::truncatedFileOnDiskStaysIdentical()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/cut.exe";
    const std::vector<uint8_t> bytes
        = TwoSections().TruncateTo(TwoSections().SectionTableOffset() + 50).Build();
    WriteFileBytes(path, bytes);
    {
        FileStream stream(path, FileStream::Mode::OpenReadWrite);
        const ImageHeaders headers = ReadImageHeaders(stream);
        QCOMPARE(headers.kind, ImageKind::Pe);
        QCOMPARE(int(headers.sections.size()), 2);
        HeaderWriteInput input = InputThroughBoxes(headers);
        input.sections[1][8] = 0x12345678; // beyond the end: must not grow the file
        input.values[size_t(Index(FieldId::Char))] = 0x210F;
        ApplyWritePlan(BuildWritePlan(input), stream, headers.fileSize);
    }
    std::vector<uint8_t> expected = bytes;
    WriteLe(expected, 0x96, 0x210F, 2);
    QCOMPARE(std::filesystem::file_size(path), uintmax_t(bytes.size()));
    QCOMPARE(ReadFileBytes(path), expected);
}

void HeaderWriterTest::failingWritePutsOldBytesBack()
{
    // Every field edited: a write that stopped half way would leave a mix.
    const std::vector<uint8_t> original = TwoSections().Build();
    HeaderWriteInput input = InputThroughBoxes(ReadImageHeaders(MemoryBytes(original)));
    for (int64_t& value : input.values)
        value = ~value & 0x7F;
    FailingWriter file(original);
    file.failAt = 4; // the file and optional header: the fourth of six ranges
    const WriteResult result = ApplyWritePlan(BuildWritePlan(input), file, file.Size());
    QCOMPARE(int(result.outcome), int(WriteOutcome::Unchanged));
    QCOMPARE(QString::fromStdString(result.error),
        QString("Cannot write file image.exe. No space left on device"));
    QCOMPARE(file.bytes, original);
    QCOMPARE(file.writes, 4 + 4); // then the four ranges it may have touched are put back
    QCOMPARE(file.flushes, 1);
}

void HeaderWriterTest::failingFlushTwiceMayDamage()
{
    // Neither the flush nor the flush after putting the old bytes back goes through: nobody
    // can say what reached the disk, and the first range is named.
    FailingWriter file(TwoSections().Build());
    file.failFlush = true;
    const WriteResult result = ApplyWritePlan(BuildWritePlan(HeaderWriteInput{}), file, file.Size());
    QCOMPARE(int(result.outcome), int(WriteOutcome::Damaged));
    QCOMPARE(result.unrestoredPosition, uint64_t(2));
    QCOMPARE(result.unrestoredLength, uint64_t(4));
    QCOMPARE(file.bytes, TwoSections().Build());
    QCOMPARE(file.writes, 3 + 3);
    QCOMPARE(file.flushes, 2);
}

void HeaderWriterTest::readOnlyStreamNamesFileAndReason()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/image.exe";
    TwoSections().WriteFile(path);
    FileStream stream(path, FileStream::Mode::OpenRead);
    const HeaderWriteInput input = InputThroughBoxes(ReadImageHeaders(stream));
    const WriteResult result = ApplyWritePlan(BuildWritePlan(input), stream, stream.Size());
    // Nothing could be written, so reading back finds the old bytes everywhere.
    QCOMPARE(int(result.outcome), int(WriteOutcome::Unchanged));
    const QString error = QString::fromStdString(result.error);
    QVERIFY2(error.startsWith(QString::fromStdString("Cannot write file " + path + ". ")), qPrintable(error));
    QVERIFY(error.size() > int(("Cannot write file " + path + ". ").size()));
}

void HeaderWriterTest::overlappingLayouts_data()
{
    QTest::addColumn<std::vector<uint8_t>>("image");
    QTest::newRow("SizeOfOptionalHeader 0") << TwoSections().SizeOfOptionalHeader(0).Build();
    QTest::newRow("SizeOfOptionalHeader 0x10") << TwoSections().SizeOfOptionalHeader(0x10).Build();
    QTest::newRow("e_lfanew 0x10") << TwoSections().PeOffset(0x10).Build();
    QTest::newRow("PE32+, SizeOfOptionalHeader 0x10")
        << TwoSections().Pe32Plus().SizeOfOptionalHeader(0x10).Build();
}

// Where header structures share bytes, each field set alone (as the window saves: every other
// value as read) reads back its value and no other byte changes, also in a second save after
// it; another edited field that wants other bytes there is refused, and both are named.
void HeaderWriterTest::overlappingLayouts()
{
    QFETCH(std::vector<uint8_t>, image);
    const ImageHeaders opened = ReadImageHeaders(MemoryBytes(image));
    QCOMPARE(int(opened.kind), int(ImageKind::Pe));
    const HeaderWriteInput asRead = WriteInputAsRead(opened);
    const std::vector<FieldRef> fields = PlannedFields(asRead);
    const SaveChecks window{true, {}};
    auto mask = [](int width) { return width >= 8 ? ~0ull : (1ull << (8 * width)) - 1; };
    int overlaps = 0;
    for (const FieldRef& ref : fields) {
        const int width = ref.Field().width;
        const uint64_t at = InputPosition(asRead, ref);
        if (at + uint64_t(width) > image.size())
            continue;
        const uint64_t value = ~ReadLe(image, at, width) & mask(width); // every byte differs
        HeaderWriteInput input = asRead;
        SetInputValue(input, ref, int64_t(value));
        MemoryBytes file(image);
        const SaveResult result = SaveHeaders(input, opened, file, window);
        QCOMPARE(int(result.outcome), int(SaveOutcome::Saved));
        std::vector<uint8_t> expected = image;
        WriteLe(expected, at, value, width);
        QCOMPARE(file.bytes, expected);

        ImageHeaders adopted = opened;
        overlaps += !AdoptSavedBytes(adopted, input, result).empty();
        QCOMPARE(int(SaveHeaders(WriteInputAsRead(adopted), adopted, file, window).outcome),
            int(SaveOutcome::Saved));
        QCOMPARE(file.bytes, expected);

        for (const FieldRef& other : fields) {
            const uint64_t otherAt = InputPosition(asRead, other);
            const int otherWidth = other.Field().width;
            if (other == ref || otherAt + uint64_t(otherWidth) > image.size()
                || otherAt >= at + uint64_t(width) || at >= otherAt + uint64_t(otherWidth))
                continue;
            HeaderWriteInput both = input;
            const uint64_t otherValue
                = (ReadLe(expected, otherAt, otherWidth) ^ 0x5555555555555555ull) & mask(otherWidth);
            SetInputValue(both, other, int64_t(otherValue));
            MemoryBytes refused(image);
            const SaveResult conflict = SaveHeaders(both, opened, refused, window);
            QCOMPARE(int(conflict.outcome), int(SaveOutcome::Refused));
            QCOMPARE(int(conflict.change), int(FileChange::Overlap));
            const std::string text = SaveResultText(conflict, "o.dll", {});
            QVERIFY2(text.find(SavedFieldName(ref, {})) != std::string::npos
                    && text.find(SavedFieldName(other, {})) != std::string::npos,
                text.c_str());
            QCOMPARE(refused.bytes, image);
            break;
        }
    }
    QVERIFY(overlaps > 0);
}

QTEST_APPLESS_MAIN(HeaderWriterTest)
#include "HeaderWriterTest.moc"
