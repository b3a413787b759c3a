#include "header/ImageReader.h"
#include "support/PeBuilder.h"

#include <QTest>

#include <cstring>

Q_DECLARE_METATYPE(FieldId)
Q_DECLARE_METATYPE(ImageKind)
Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

ImageHeaders Read(const std::vector<uint8_t>& bytes)
{
    return ReadImageHeaders(MemoryBytes(bytes));
}

uint32_t Value(const ImageHeaders& headers, FieldId id)
{
    return headers.values[size_t(HeaderIndex(id))];
}

// A reader whose reported size differs from the bytes it serves, as a file that grows or
// shrinks under the reader would; also stands in for files of 4 GiB and more.
class SizedBytes : public ByteReader {
public:
    SizedBytes(std::vector<uint8_t> bytes, uint64_t size)
        : FBytes(std::move(bytes))
        , FSize(size)
    {
    }
    uint64_t Size() const override { return FSize; }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override
    {
        return MemoryBytes(FBytes).ReadAt(pos, buffer, count);
    }

private:
    std::vector<uint8_t> FBytes;
    uint64_t FSize;
};

// Fails the test on any read that reaches past the end.
class StrictBytes : public ByteReader {
public:
    explicit StrictBytes(std::vector<uint8_t> bytes)
        : FBytes(std::move(bytes))
    {
    }
    uint64_t Size() const override { return FBytes.size(); }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override
    {
        if (pos >= FBytes.size())
            return 0;
        const size_t n = std::min<uint64_t>(count, FBytes.size() - pos);
        std::memcpy(buffer, FBytes.data() + pos, n);
        // Poison the rest: the reader must not use bytes a read did not deliver.
        std::memset(static_cast<uint8_t*>(buffer) + n, 0xA5, count - n);
        return n;
    }

private:
    std::vector<uint8_t> FBytes;
};

PeSection Text()
{
    return PeSection(".text").Virtual(0x1000, 0x200).Raw(0x400, 0x200).Characteristics(0x60000020);
}

} // namespace

class ImageReaderTest : public QObject {
    Q_OBJECT
private slots:
    void rejectsWithoutMz_data();
    void rejectsWithoutMz();
    void dosOnly_data();
    void dosOnly();
    void peOffsetPlausibility_data();
    void peOffsetPlausibility();
    void readsEveryFieldAtItsOffset();
    void valuesAreUnsigned();
    void sectionRowsAndNames();
    void sectionNames_data();
    void sectionNames();
    void sectionCounts_data();
    void sectionCounts();
    void missingBytesReadAsZero_data();
    void missingBytesReadAsZero();
    void sectionTableFollowsOptionalHeaderSize();
    void entryPoint_data();
    void entryPoint();
};

void ImageReaderTest::rejectsWithoutMz_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::newRow("empty") << std::vector<uint8_t>{};
    QTest::newRow("M only") << std::vector<uint8_t>{'M'};
    QTest::newRow("Z only") << std::vector<uint8_t>{'Z'};
    QTest::newRow("ZM") << std::vector<uint8_t>{'Z', 'M'};
    QTest::newRow("mz") << std::vector<uint8_t>{'m', 'z'};
    QTest::newRow("full image with ZM") << PeBuilder().AddSection(Text()).Patch(0, {'Z', 'M'}).Build();
    QTest::newRow("PE file without stub") << std::vector<uint8_t>{'P', 'E', 0, 0};
}

void ImageReaderTest::rejectsWithoutMz()
{
    QFETCH(std::vector<uint8_t>, bytes);
    const ImageHeaders headers = Read(bytes);
    QCOMPARE(headers.kind, ImageKind::NotMz);
    QCOMPARE(headers.fileSize, uint64_t(bytes.size()));
    for (uint32_t v : headers.values)
        QCOMPARE(v, 0u);
    QVERIFY(headers.sections.empty());
    QCOMPARE(headers.sectionCount, uint16_t(0));
}

void ImageReaderTest::dosOnly_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::addColumn<uint>("peOffset");
    QTest::newRow("MZ only") << std::vector<uint8_t>{'M', 'Z'} << 0u;
    QTest::newRow("no PE headers") << PeBuilder().DosOnly().Build() << 0x80u;
    QTest::newRow("PE offset 0, PE elsewhere")
        << PeBuilder().AddSection(Text()).PatchLe(60, 0, 4).Build() << 0u;
    QTest::newRow("huge PE offset") << PeBuilder().PeOffset(0xFFFFFFF0).TruncateTo(0x400).Build()
                                    << 0xFFFFFFF0u;
    QTest::newRow("PE offset past the end")
        << PeBuilder().PeOffset(0x1000).TruncateTo(0x200).Build() << 0x1000u;
    QTest::newRow("wrong signature") << PeBuilder().Signature(std::string("PX\0\0", 4)).Build() << 0x80u;
    QTest::newRow("lower-case signature") << PeBuilder().Signature(std::string("pe\0\0", 4)).Build() << 0x80u;
    QTest::newRow("P as last byte") << PeBuilder().TruncateTo(0x81).Build() << 0x80u;
    QTest::newRow("file ends at PE offset") << PeBuilder().TruncateTo(0x80).Build() << 0x80u;
    QTest::newRow("too many sections elsewhere")
        << PeBuilder().SectionCount(500).PatchLe(60, 0, 4).Build() << 0u;
}

void ImageReaderTest::dosOnly()
{
    QFETCH(std::vector<uint8_t>, bytes);
    QFETCH(uint, peOffset);
    const ImageHeaders headers = Read(bytes);
    QCOMPARE(headers.kind, ImageKind::DosOnly);
    QCOMPARE(headers.peOffset, peOffset);
    for (int i = 0; i < kDosFieldCount; ++i)
        QCOMPARE(headers.values[size_t(i)], uint32_t(ReadLe(bytes, DosFields()[size_t(i)].offset, 2)));
    for (int i = kDosFieldCount; i < kHeaderFieldCount; ++i)
        QCOMPARE(headers.values[size_t(i)], 0u);
    QCOMPARE(headers.sectionCount, uint16_t(0));
    QVERIFY(headers.sections.empty());
}

void ImageReaderTest::peOffsetPlausibility_data()
{
    // The image has "PE" at the offset in question; the reported size decides.
    QTest::addColumn<uint>("peOffset");
    QTest::addColumn<quint64>("reportedSize");
    QTest::addColumn<ImageKind>("kind");
    for (uint offset = 1; offset <= 4; ++offset)
        QTest::addRow("offset %u", offset) << offset << quint64(0x400) << ImageKind::DosOnly;
    QTest::newRow("offset 5") << 5u << quint64(0x400) << ImageKind::Pe;
    QTest::newRow("size + 4 passes") << 0x200u << quint64(0x200 - 4) << ImageKind::Pe;
    QTest::newRow("size + 5 fails") << 0x200u << quint64(0x200 - 5) << ImageKind::DosOnly;
    // A file of 4 GiB and more is not judged by its size modulo 2^32.
    QTest::newRow("size over 4 GiB") << 0x200u << quint64(0x100000010) << ImageKind::Pe;
    QTest::newRow("size 4 GiB, offset 0") << 0u << quint64(0x100000000) << ImageKind::DosOnly;
}

void ImageReaderTest::peOffsetPlausibility()
{
    QFETCH(uint, peOffset);
    QFETCH(quint64, reportedSize);
    QFETCH(ImageKind, kind);
    std::vector<uint8_t> bytes = PeBuilder().DosOnly().PeOffset(peOffset).TruncateTo(0x400).Build();
    if (peOffset >= 2) { // offsets 0 and 1 would overwrite "MZ"
        bytes[peOffset] = 'P';
        bytes[peOffset + 1] = 'E';
        WriteLe(bytes, peOffset + 6, 0, 2); // no sections
    }
    const ImageHeaders headers = ReadImageHeaders(SizedBytes(bytes, reportedSize));
    QCOMPARE(headers.kind, kind);
    QCOMPARE(headers.fileSize, reportedSize);
}

void ImageReaderTest::readsEveryFieldAtItsOffset()
{
    // Every header byte differs, so a field read at a wrong offset or width shows.
    std::vector<uint8_t> bytes = PeBuilder().DosOnly().TruncateTo(0x200).Build();
    for (size_t i = 2; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + 3);
    WriteLe(bytes, 60, 0x80, 4);
    std::memcpy(&bytes[0x80], "PE\0\0", 4);
    WriteLe(bytes, 0x86, 0, 2); // no sections

    const ImageHeaders headers = Read(bytes);
    QCOMPARE(headers.kind, ImageKind::Pe);
    // Absolute positions of all 46 rows with the PE header at 0x80.
    const uint32_t dos[] = {2, 4, 8, 10, 12, 14, 16, 20, 22};
    const uint32_t file[] = {0x84, 0x86, 0x88, 0x8C, 0x90, 0x94, 0x96};
    const int optionalWidths[]
        = {2, 1, 1, 4, 4, 4, 4, 4, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 4, 4, 4, 4, 2, 2, 4, 4, 4, 4, 4, 4};
    int row = 0;
    for (uint32_t pos : dos)
        QCOMPARE(headers.values[size_t(row++)], uint32_t(ReadLe(bytes, pos, 2)));
    const int fileWidths[] = {2, 2, 4, 4, 4, 2, 2};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(headers.values[size_t(row++)], uint32_t(ReadLe(bytes, file[i], fileWidths[i])));
    uint32_t pos = 0x98;
    for (int width : optionalWidths) {
        QCOMPARE(headers.values[size_t(row++)], uint32_t(ReadLe(bytes, pos, width)));
        pos += uint32_t(width);
    }
    QCOMPARE(pos, 0xF8u);
    QCOMPARE(headers.optHeaderSize, uint16_t(ReadLe(bytes, 0x94, 2)));
    QCOMPARE(headers.peOffset, 0x80u);
}

void ImageReaderTest::valuesAreUnsigned()
{
    const ImageHeaders headers = Read(PeBuilder()
                                          .LinkerVersion(255, 128)
                                          .ImageBase(0xFFFFFFFF)
                                          .TimeDateStamp(0x80000000)
                                          .Characteristics(0xFFFF)
                                          .Dos(2, 0xFFFF)
                                          .Build());
    QCOMPARE(headers.kind, ImageKind::Pe);
    QCOMPARE(Value(headers, FieldId::MajorLinker), 255u);
    QCOMPARE(Value(headers, FieldId::MinorLinker), 128u);
    QCOMPARE(Value(headers, FieldId::ImageBase), 4294967295u);
    QCOMPARE(Value(headers, FieldId::DateStamp), 2147483648u);
    QCOMPARE(Value(headers, FieldId::Char), 65535u);
    QCOMPARE(Value(headers, FieldId::LastPage), 65535u);
}

void ImageReaderTest::sectionRowsAndNames()
{
    const ImageHeaders headers = Read(PeBuilder()
                                          .EntryPoint(0x1010)
                                          .AddSection(Text())
                                          .AddSection(PeSection(".data")
                                                          .Virtual(0x2000, 0x80000001)
                                                          .Raw(0x600, 0xFFFFFFFF)
                                                          .Relocations(0x12345678, 0xFFFF)
                                                          .LineNumbers(0x9ABCDEF0, 0x8001)
                                                          .Characteristics(0xC0000040))
                                          .Build());
    QCOMPARE(headers.kind, ImageKind::Pe);
    QCOMPARE(headers.sectionCount, uint16_t(2));
    QCOMPARE(int(headers.sections.size()), 2);
    QCOMPARE(headers.sections[0].name, std::string(".text"));
    QCOMPARE(headers.sections[1].name, std::string(".data"));
    const std::array<uint32_t, 9> text{0x200, 0x1000, 0x200, 0x400, 0, 0, 0, 0, 0x60000020};
    const std::array<uint32_t, 9> data{
        0x80000001, 0x2000, 0xFFFFFFFF, 0x600, 0x12345678, 0x9ABCDEF0, 0xFFFF, 0x8001, 0xC0000040};
    QCOMPARE(headers.sections[0].rows, text);
    QCOMPARE(headers.sections[1].rows, data);
    QVERIFY(headers.sections[0].holdsEntryPoint);
    QVERIFY(!headers.sections[1].holdsEntryPoint);
    QCOMPARE(Value(headers, FieldId::Sections), 2u);
}

void ImageReaderTest::sectionNames_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("eight characters, no terminator") << QByteArray("ABCDEFGH") << QByteArray("ABCDEFGH");
    QTest::newRow("zero inside") << QByteArray(".tx\0yz\0\0", 8) << QByteArray(".tx");
    QTest::newRow("all zero") << QByteArray(8, '\0') << QByteArray("");
    QTest::newRow("leading zero") << QByteArray("\0text\0\0\0", 8) << QByteArray("");
    QTest::newRow("bytes above 127") << QByteArray("\xE9t\xE9\0\0\0\0\0", 8) << QByteArray("\xE9t\xE9");
    QTest::newRow("blanks kept") << QByteArray(" a b    ") << QByteArray(" a b    ");
}

void ImageReaderTest::sectionNames()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, name);
    std::array<uint8_t, 8> bytes{};
    std::memcpy(bytes.data(), raw.constData(), 8);
    // The next header's name follows right after: it must not leak into this one.
    const ImageHeaders headers = Read(
        PeBuilder().AddSection(PeSection().NameBytes(bytes)).AddSection(PeSection("NEXTNAME")).Build());
    QCOMPARE(int(headers.sections.size()), 2);
    QCOMPARE(QByteArray::fromStdString(headers.sections[0].name), name);
    QCOMPARE(headers.sections[1].name, std::string("NEXTNAME"));
}

void ImageReaderTest::sectionCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<ImageKind>("kind");
    QTest::newRow("0") << 0 << ImageKind::Pe;
    QTest::newRow("1") << 1 << ImageKind::Pe;
    QTest::newRow("96") << 96 << ImageKind::Pe;
    QTest::newRow("97") << 97 << ImageKind::TooManySections;
    QTest::newRow("65535") << 65535 << ImageKind::TooManySections;
}

void ImageReaderTest::sectionCounts()
{
    QFETCH(int, count);
    QFETCH(ImageKind, kind);
    PeBuilder builder;
    builder.Dos(2, 0x1234).EntryPoint(0x5000);
    for (int i = 0; i < std::min(count, 97); ++i)
        builder.AddSection(
            PeSection("S" + std::to_string(i)).Virtual(0x1000u * uint32_t(i + 1), 0x100).Raw(0, 0));
    builder.SectionCount(uint16_t(count));
    const ImageHeaders headers = Read(builder.Build());
    QCOMPARE(headers.kind, kind);
    QCOMPARE(headers.sectionCount, uint16_t(count));
    QCOMPARE(Value(headers, FieldId::LastPage), 0x1234u);
    if (kind == ImageKind::TooManySections) {
        QVERIFY(headers.sections.empty());
        return;
    }
    QCOMPARE(int(headers.sections.size()), count);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(headers.sections[size_t(i)].name, "S" + std::to_string(i));
        QCOMPARE(headers.sections[size_t(i)].rows[1], 0x1000u * uint32_t(i + 1));
        QCOMPARE(headers.sections[size_t(i)].holdsEntryPoint, i == 4);
    }
    // Without a section holding it, the entry point stands for its own file offset.
    QCOMPARE(headers.entryPointFound, count >= 5);
    QCOMPARE(headers.entryPointFileOffset, count >= 5 ? 0u : 0x5000u);
}

void ImageReaderTest::missingBytesReadAsZero_data()
{
    QTest::addColumn<quint64>("size");
    QTest::addColumn<FieldId>("id");
    QTest::addColumn<uint>("value");
    // Field values: Machine 0x14C at 0x84, TimeDateStamp 0x11223344 at 0x88, ImageBase 0x12345678 at 0xB4.
    QTest::newRow("inside PE signature") << quint64(0x82) << FieldId::Machine << 0u;
    QTest::newRow("inside machine") << quint64(0x85) << FieldId::Machine << 0x4Cu;
    QTest::newRow("before time stamp") << quint64(0x88) << FieldId::DateStamp << 0u;
    QTest::newRow("half time stamp") << quint64(0x8A) << FieldId::DateStamp << 0x3344u;
    QTest::newRow("three bytes of time stamp") << quint64(0x8B) << FieldId::DateStamp << 0x223344u;
    QTest::newRow("half image base") << quint64(0xB6) << FieldId::ImageBase << 0x5678u;
    QTest::newRow("end of optional part") << quint64(0xF8) << FieldId::Rva << 16u;
    QTest::newRow("before number of rva") << quint64(0xF4) << FieldId::Rva << 0u;
    QTest::newRow("one byte of number of rva") << quint64(0xF5) << FieldId::Rva << 16u;
}

void ImageReaderTest::missingBytesReadAsZero()
{
    QFETCH(quint64, size);
    QFETCH(FieldId, id);
    QFETCH(uint, value);
    const std::vector<uint8_t> bytes = PeBuilder()
                                           .TimeDateStamp(0x11223344)
                                           .ImageBase(0x12345678)
                                           .SectionCount(0)
                                           .TruncateTo(size)
                                           .Build();
    // The poisoned reader fills undelivered bytes with A5: none may show up in a value.
    const ImageHeaders headers = ReadImageHeaders(StrictBytes(bytes));
    QCOMPARE(headers.kind, ImageKind::Pe);
    QCOMPARE(Value(headers, id), value);
    for (int i = kDosFieldCount; i < kHeaderFieldCount; ++i) {
        const HeaderField& field = HeaderFields()[size_t(i)];
        const uint32_t pos = FieldPosition(field, 0x80, 0);
        if (pos >= size)
            QCOMPARE(headers.values[size_t(i)], 0u);
        else if (pos + field.width <= size)
            QCOMPARE(headers.values[size_t(i)], uint32_t(ReadLe(bytes, pos, field.width)));
    }
}

void ImageReaderTest::sectionTableFollowsOptionalHeaderSize()
{
    // Section table cut inside the second header: the first is whole, the second has its
    // name and virtual size and half its virtual address, the rest reads as 0.
    PeBuilder builder;
    builder.AddSection(Text()).AddSection(
        PeSection("SECOND").Virtual(0x11223344, 0x55667788).Raw(0x600, 0x200).Characteristics(0xFFFFFFFF));
    const uint64_t second = builder.SectionTableOffset() + 40;
    const ImageHeaders cut = ReadImageHeaders(StrictBytes(builder.TruncateTo(second + 14).Build()));
    QCOMPARE(cut.kind, ImageKind::Pe);
    QCOMPARE(cut.sections[0].rows[8], 0x60000020u);
    QCOMPARE(cut.sections[1].name, std::string("SECOND"));
    const std::array<uint32_t, 9> partial{0x55667788, 0x3344, 0, 0, 0, 0, 0, 0, 0};
    QCOMPARE(cut.sections[1].rows, partial);

    // A size of optional header that points the section table past the end: all zero.
    const ImageHeaders past = ReadImageHeaders(
        StrictBytes(PeBuilder().SizeOfOptionalHeader(0xFFFF).AddSection(Text()).TruncateTo(0x400).Build()));
    QCOMPARE(past.kind, ImageKind::Pe);
    QCOMPARE(past.optHeaderSize, uint16_t(0xFFFF));
    QCOMPARE(int(past.sections.size()), 1);
    QCOMPARE(past.sections[0].name, std::string());
    QCOMPARE(past.sections[0].rows, (std::array<uint32_t, 9>{}));

    // A small optional header: the section table lies over the optional header's fields.
    const ImageHeaders small = Read(PeBuilder().SizeOfOptionalHeader(0x10).AddSection(Text()).Build());
    QCOMPARE(small.optHeaderSize, uint16_t(0x10));
    QCOMPARE(small.sections[0].name, std::string(".text"));
    QCOMPARE(small.sections[0].rows[0], 0x200u);
    QCOMPARE(Value(small, FieldId::EntryPoint), 0x7865742Eu); // ".tex", the start of the name
}

void ImageReaderTest::entryPoint_data()
{
    QTest::addColumn<uint>("entryPoint");
    QTest::addColumn<QList<uint>>("sections"); // VA, VS, raw pointer per section
    QTest::addColumn<QList<bool>>("holds");
    QTest::addColumn<uint>("fileOffset");
    QTest::newRow("inside") << 0x1010u << QList<uint>{0x1000, 0x200, 0x400} << QList<bool>{true} << 0x410u;
    QTest::newRow("at start") << 0x1000u << QList<uint>{0x1000, 0x200, 0x400} << QList<bool>{true} << 0x400u;
    QTest::newRow("last byte") << 0x11FFu << QList<uint>{0x1000, 0x200, 0x400} << QList<bool>{true} << 0x5FFu;
    QTest::newRow("VA + VS is outside")
        << 0x1200u << QList<uint>{0x1000, 0x200, 0x400} << QList<bool>{false} << 0x1200u;
    QTest::newRow("below") << 0xFFFu << QList<uint>{0x1000, 0x200, 0x400} << QList<bool>{false} << 0xFFFu;
    QTest::newRow("VS 0") << 0x1000u << QList<uint>{0x1000, 0, 0x400} << QList<bool>{false} << 0x1000u;
    QTest::newRow("second section") << 0x2004u << QList<uint>{0x1000, 0x1000, 0x400, 0x2000, 0x1000, 0x800}
                                    << QList<bool>{false, true} << 0x804u;
    QTest::newRow("two sections, later wins")
        << 0x2010u << QList<uint>{0x1000, 0x2000, 0x400, 0x2000, 0x1000, 0x800, 0x5000, 0x100, 0xC00}
        << QList<bool>{true, true, false} << 0x810u;
    QTest::newRow("two sections, reversed")
        << 0x2010u << QList<uint>{0x2000, 0x1000, 0x800, 0x1000, 0x2000, 0x400} << QList<bool>{true, true}
        << 0x1410u;
    QTest::newRow("top bit addresses")
        << 0x80000010u << QList<uint>{0x80000000, 0x100, 0x400} << QList<bool>{true} << 0x410u;
    QTest::newRow("end wraps") << 0xFFFFF800u << QList<uint>{0xFFFFF000, 0x2000, 0x400} << QList<bool>{false}
                               << 0xFFFFF800u;
    QTest::newRow("end exactly 2^32")
        << 0xFFFFF800u << QList<uint>{0xFFFFF000, 0x1000, 0x400} << QList<bool>{false} << 0xFFFFF800u;
    QTest::newRow("offset wraps") << 0x1800u << QList<uint>{0x1000, 0x1000, 0xFFFFFF00} << QList<bool>{true}
                                  << 0x700u;
    QTest::newRow("no sections") << 0x1234u << QList<uint>{} << QList<bool>{} << 0x1234u;
}

void ImageReaderTest::entryPoint()
{
    QFETCH(uint, entryPoint);
    QFETCH(QList<uint>, sections);
    QFETCH(QList<bool>, holds);
    QFETCH(uint, fileOffset);
    PeBuilder builder;
    builder.EntryPoint(entryPoint);
    for (qsizetype i = 0; i + 2 < sections.size(); i += 3)
        builder.AddSection(PeSection("S").Virtual(sections[i], sections[i + 1]).Raw(sections[i + 2], 0x200));
    const ImageHeaders headers = Read(builder.Build());
    QCOMPARE(headers.kind, ImageKind::Pe);
    QCOMPARE(qsizetype(headers.sections.size()), holds.size());
    bool any = false;
    for (qsizetype i = 0; i < holds.size(); ++i) {
        QCOMPARE(headers.sections[size_t(i)].holdsEntryPoint, holds[i]);
        any = any || holds[i];
    }
    QCOMPARE(headers.entryPointFound, any);
    QCOMPARE(headers.entryPointFileOffset, fileOffset);
}

QTEST_APPLESS_MAIN(ImageReaderTest)
#include "ImageReaderTest.moc"
