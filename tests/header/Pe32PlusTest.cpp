// The PE32+ layout, the data directories and the value names: tables, reading, saving and the
// 64-bit unsigned value texts, on images built with PeBuilder.
#include "base/Errors.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/HeaderWriter.h"
#include "header/ImageNames.h"
#include "header/ImageReader.h"
#include "support/PeBuilder.h"
#include "viewer/FieldBoxes.h"

#include <QTest>

Q_DECLARE_METATYPE(FieldId)
Q_DECLARE_METATYPE(OptionalLayout)
Q_DECLARE_METATYPE(ValueClass)
Q_DECLARE_METATYPE(ValueNames)
Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

constexpr OptionalLayout kPe32 = OptionalLayout::Pe32;
constexpr OptionalLayout kPlus = OptionalLayout::Pe32Plus;

int Index(FieldId id)
{
    return HeaderIndex(id);
}

// What the window does between open and save: each value shown as hexadecimal text in its
// box, then parsed back as Save parses it.
HeaderWriteInput InputThroughBoxes(const ImageHeaders& headers)
{
    auto throughBox = [](uint64_t value, const HeaderField& field) {
        const std::string shown = ClassValueText(int64_t(value), true, field.valueClass);
        return ParseFieldValue(shown, true, field);
    };
    HeaderWriteInput input;
    input.layout = headers.layout;
    input.hasPe = headers.kind == ImageKind::Pe;
    input.peOffset = headers.peOffset;
    input.optHeaderSize = headers.optHeaderSize;
    const auto fields = HeaderFields(headers.layout);
    for (int i = 0; i < kHeaderFieldCount; ++i)
        if (fields[size_t(i)].Present())
            input.values[size_t(i)] = throughBox(headers.values[size_t(i)], fields[size_t(i)]);
    const auto directories = DataDirectoryFields(headers.layout);
    for (int e = 0; e < headers.directoryEntries; ++e)
        input.directories.push_back(
            {throughBox(headers.directories[size_t(2 * e)], directories[size_t(2 * e)]),
                throughBox(headers.directories[size_t(2 * e + 1)], directories[size_t(2 * e + 1)])});
    for (const SectionValues& section : headers.sections) {
        auto& rows = input.sections.emplace_back();
        for (int r = 0; r < kSectionRowCount; ++r)
            rows[size_t(r)] = throughBox(section.rows[size_t(r)], SectionFields()[size_t(r)]);
    }
    return input;
}

PeBuilder Plus()
{
    return PeBuilder()
        .Pe32Plus()
        .EntryPoint(0x1010)
        .ImageBase(0x123456789ABCDEF0ull)
        .Optional(72, 0x1122334455667788ull, 8)
        .Optional(80, 0x8000000000000001ull, 8)
        .Optional(88, 0xFFFFFFFFFFFFFFFFull, 8)
        .Optional(96, 0x0000000100000000ull, 8)
        .Optional(104, 0xA5A5A5A5, 4)
        .Optional(64, 0xCAFEF00D, 4)
        .DataDirectory(0, 0x3000, 0x40)
        .DataDirectory(1, 0x3100, 0x28)
        .DataDirectory(14, 0x4000, 0x48)
        .DataDirectory(15, 0xDEADBEEF, 0xFEEDFACE)
        .AddSection(PeSection(".text").Virtual(0x1000, 0x200).Raw(0x400, 0x200).Characteristics(0x60000020));
}

} // namespace

class Pe32PlusTest : public QObject {
    Q_OBJECT
private slots:
    void layoutRows_data();
    void layoutRows();
    void pe32PlusRowsCoverTheFixedPart();
    void layoutForMagic_data();
    void layoutForMagic();
    void directoryRows();
    void directoryEntriesShown_data();
    void directoryEntriesShown();
    void readsByMagic_data();
    void readsByMagic();
    void missingBytesReadAsZero();
    void unsignedTexts_data();
    void unsignedTexts();
    void editsLandOnTheirBytes_data();
    void editsLandOnTheirBytes();
    void saveWithoutEditsIsIdentical_data();
    void saveWithoutEditsIsIdentical();
    void directoryEditPastTheEndIsNamed();
    void valueNames_data();
    void valueNames();
    void namesOfTexts_data();
    void namesOfTexts();
};

void Pe32PlusTest::layoutRows_data()
{
    QTest::addColumn<FieldId>("field");
    QTest::addColumn<uint>("offset32");
    QTest::addColumn<int>("width32");
    QTest::addColumn<uint>("offsetPlus");
    QTest::addColumn<int>("widthPlus"); // 0: not in the PE32+ layout
    QTest::addColumn<int>("maxLengthPlus");
    QTest::addColumn<ValueClass>("classPlus");
    using C = ValueClass;
    QTest::newRow("magic") << FieldId::Magic << 0u << 2 << 0u << 2 << 5 << C::Word;
    QTest::newRow("base of code") << FieldId::BaseCode << 20u << 4 << 20u << 4 << 10 << C::Dword;
    QTest::newRow("base of data") << FieldId::BaseData << 24u << 4 << 0u << 0 << 10 << C::Dword;
    QTest::newRow("image base") << FieldId::ImageBase << 28u << 4 << 24u << 8 << 20 << C::Qword;
    QTest::newRow("section alignment") << FieldId::SectionAlign << 32u << 4 << 32u << 4 << 10 << C::Dword;
    QTest::newRow("checksum") << FieldId::CheckSum << 64u << 4 << 64u << 4 << 10 << C::Dword;
    QTest::newRow("dll characteristics") << FieldId::DLLChar << 70u << 2 << 70u << 2 << 5 << C::Word;
    QTest::newRow("stack reserve") << FieldId::StackRes << 72u << 4 << 72u << 8 << 20 << C::Qword;
    QTest::newRow("stack commit") << FieldId::StackCom << 76u << 4 << 80u << 8 << 20 << C::Qword;
    QTest::newRow("heap reserve") << FieldId::HeapRes << 80u << 4 << 88u << 8 << 20 << C::Qword;
    QTest::newRow("heap commit") << FieldId::HeapCom << 84u << 4 << 96u << 8 << 20 << C::Qword;
    QTest::newRow("loader flags") << FieldId::LoaderFlags << 88u << 4 << 104u << 4 << 10 << C::Dword;
    QTest::newRow("rva count") << FieldId::Rva << 92u << 4 << 108u << 4 << 10 << C::Dword;
}

void Pe32PlusTest::layoutRows()
{
    QFETCH(FieldId, field);
    QFETCH(uint, offset32);
    QFETCH(int, width32);
    QFETCH(uint, offsetPlus);
    QFETCH(int, widthPlus);
    QFETCH(int, maxLengthPlus);
    QFETCH(ValueClass, classPlus);
    const int index = Index(field);
    // The PE32 table is the one every magic but 0x20B keeps.
    const HeaderField& pe32 = HeaderFields(kPe32)[size_t(index)];
    QCOMPARE(&pe32, &HeaderFields()[size_t(index)]);
    QCOMPARE(pe32.offset, offset32);
    QCOMPARE(int(pe32.width), width32);

    const HeaderField& plus = HeaderFields(kPlus)[size_t(index)];
    QCOMPARE(plus.id, field);
    QCOMPARE(plus.caption, pe32.caption);
    QCOMPARE(int(plus.width), widthPlus);
    QCOMPARE(plus.Present(), widthPlus != 0);
    if (plus.Present())
        QCOMPARE(plus.offset, offsetPlus);
    QCOMPARE(BoxMaxLength(field, kPlus), maxLengthPlus);
    QCOMPARE(plus.valueClass, classPlus);
    QCOMPARE(HexDigits(plus.valueClass), classPlus == ValueClass::Qword ? 16 : HexDigits(pe32.valueClass));
}

void Pe32PlusTest::pe32PlusRowsCoverTheFixedPart()
{
    // The DOS and file rows are the same rows; the optional rows cover 112 bytes without gap.
    for (int i = 0; i < kDosFieldCount + kFileFieldCount; ++i) {
        QCOMPARE(HeaderFields(kPlus)[size_t(i)].offset, HeaderFields()[size_t(i)].offset);
        QCOMPARE(HeaderFields(kPlus)[size_t(i)].width, HeaderFields()[size_t(i)].width);
    }
    uint32_t next = 0;
    int absent = 0;
    for (const HeaderField& field : OptionalFields(kPlus)) {
        if (!field.Present()) {
            ++absent;
            continue;
        }
        QCOMPARE(field.offset, next);
        next += field.width;
    }
    QCOMPARE(next, 112u);
    QCOMPARE(absent, 1);
    QCOMPARE(OptionalFixedSize(kPlus), 112u);
    QCOMPARE(OptionalFixedSize(kPe32), 96u);
}

void Pe32PlusTest::layoutForMagic_data()
{
    QTest::addColumn<uint>("magic");
    QTest::addColumn<OptionalLayout>("layout");
    QTest::newRow("PE32") << 0x10Bu << kPe32;
    QTest::newRow("PE32+") << 0x20Bu << kPlus;
    QTest::newRow("ROM") << 0x107u << kPe32;
    QTest::newRow("zero") << 0u << kPe32;
    QTest::newRow("byte-swapped PE32+") << 0xB02u << kPe32;
    QTest::newRow("PE32+ plus 0x10000") << 0x1020Bu << kPe32;
}

void Pe32PlusTest::layoutForMagic()
{
    QFETCH(uint, magic);
    QFETCH(OptionalLayout, layout);
    QCOMPARE(LayoutForMagic(magic), layout);
}

void Pe32PlusTest::directoryRows()
{
    QCOMPARE(int(DataDirectoryNames().size()), kDataDirectoryCount);
    const char* names[] = {"Export", "Import", "Resource", "Exception", "Security", "Base Relocation",
        "Debug", "Architecture", "Global Pointer", "TLS", "Load Config", "Bound Import", "IAT",
        "Delay Import", "CLR Runtime", "Reserved"};
    for (OptionalLayout layout : {kPe32, kPlus}) {
        const auto fields = DataDirectoryFields(layout);
        QCOMPARE(int(fields.size()), kDataDirectoryFieldCount);
        for (int i = 0; i < kDataDirectoryCount; ++i) {
            QCOMPARE(DataDirectoryNames()[size_t(i)], std::string_view(names[i]));
            const HeaderField& rva = fields[size_t(2 * i)];
            const HeaderField& size = fields[size_t(2 * i + 1)];
            QCOMPARE(QString::fromLatin1(BoxOf(rva.id).name), QString("EdDirRva%1").arg(i));
            QCOMPARE(QString::fromLatin1(BoxOf(size.id).name), QString("EdDirSize%1").arg(i));
            QCOMPARE(rva.caption, std::string(names[i]) + " RVA:");
            QCOMPARE(size.caption, std::string(names[i]) + " Size:");
            QCOMPARE(rva.offset, OptionalFixedSize(layout) + 8u * uint32_t(i));
            QCOMPARE(size.offset, rva.offset + 4);
            for (const HeaderField* field : {&rva, &size}) {
                QCOMPARE(field->structure, HeaderStructure::Optional);
                QCOMPARE(int(field->width), 4);
                QCOMPARE(field->valueClass, ValueClass::Dword);
                QCOMPARE(BoxMaxLength(field->id, layout), 10);
                QCOMPARE(BoxOf(field->id).page, FieldPage::TabDataDir);
            }
            QCOMPARE(DirectoryIndex(rva.id), 2 * i);
            QCOMPARE(DirectoryIndex(size.id), 2 * i + 1);
        }
    }
    QVERIFY(!FieldOfBox("EdDirRva16"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, Index(FieldId::DirRva0));
}

void Pe32PlusTest::directoryEntriesShown_data()
{
    QTest::addColumn<OptionalLayout>("layout");
    QTest::addColumn<quint64>("rvaCount");
    QTest::addColumn<int>("optHeaderSize");
    QTest::addColumn<int>("shown");
    QTest::newRow("PE32 all") << kPe32 << 16ull << 224 << 16;
    QTest::newRow("PE32 count 0") << kPe32 << 0ull << 224 << 0;
    QTest::newRow("PE32 count 5") << kPe32 << 5ull << 224 << 5;
    QTest::newRow("PE32 count huge") << kPe32 << 0xFFFFFFFFull << 224 << 16;
    QTest::newRow("PE32 fixed part only") << kPe32 << 16ull << 96 << 0;
    QTest::newRow("PE32 one entry fits") << kPe32 << 16ull << 104 << 1;
    QTest::newRow("PE32 one byte short") << kPe32 << 16ull << 103 << 0;
    QTest::newRow("PE32 optional header 0") << kPe32 << 16ull << 0 << 0;
    QTest::newRow("PE32 larger than needed") << kPe32 << 16ull << 0xFFFF << 16;
    QTest::newRow("PE32+ all") << kPlus << 16ull << 240 << 16;
    QTest::newRow("PE32+ with a PE32 size") << kPlus << 16ull << 224 << 14;
    QTest::newRow("PE32+ fixed part only") << kPlus << 16ull << 112 << 0;
    QTest::newRow("PE32+ count 2") << kPlus << 2ull << 240 << 2;
}

void Pe32PlusTest::directoryEntriesShown()
{
    QFETCH(OptionalLayout, layout);
    QFETCH(quint64, rvaCount);
    QFETCH(int, optHeaderSize);
    QFETCH(int, shown);
    QCOMPARE(DataDirectoryEntriesShown(layout, rvaCount, uint16_t(optHeaderSize)), shown);
}

void Pe32PlusTest::readsByMagic_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::addColumn<OptionalLayout>("layout");
    QTest::newRow("PE32+") << Plus().Build() << kPlus;
    // The same bytes with another magic are read in the PE32 layout, whatever they hold.
    QTest::newRow("PE32+ bytes, magic 10B") << Plus().Magic(0x10B).Build() << kPe32;
    QTest::newRow("PE32+ bytes, ROM magic") << Plus().Magic(0x107).Build() << kPe32;
    QTest::newRow("PE32") << PeBuilder().DataDirectory(1, 0x2000, 0x3C).Build() << kPe32;
}

void Pe32PlusTest::readsByMagic()
{
    QFETCH(std::vector<uint8_t>, bytes);
    QFETCH(OptionalLayout, layout);
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    QCOMPARE(headers.kind, ImageKind::Pe);
    QCOMPARE(headers.layout, layout);
    // Every value is the little-endian number at its place in the chosen layout.
    const uint64_t optional = 0x80 + 24;
    const auto fields = HeaderFields(layout);
    for (int i = kDosFieldCount + kFileFieldCount; i < kHeaderFieldCount; ++i) {
        const HeaderField& field = fields[size_t(i)];
        const uint64_t expected = field.Present() ? ReadLe(bytes, optional + field.offset, field.width) : 0;
        QCOMPARE(headers.values[size_t(i)], expected);
    }
    const uint64_t rvaCount = ReadLe(bytes, optional + (layout == kPlus ? 108 : 92), 4);
    const int shown = DataDirectoryEntriesShown(layout, rvaCount, headers.optHeaderSize);
    QCOMPARE(headers.directoryEntries, shown);
    for (int i = 0; i < kDataDirectoryFieldCount; ++i)
        QCOMPARE(uint64_t(headers.directories[size_t(i)]),
            i < 2 * shown ? ReadLe(bytes, optional + OptionalFixedSize(layout) + 4u * uint32_t(i), 4) : 0);
    // The section table follows SizeOfOptionalHeader whatever the layout.
    QCOMPARE(headers.sections.size(), size_t(ReadLe(bytes, 0x86, 2)));
    if (layout == kPlus) {
        QCOMPARE(headers.values[size_t(Index(FieldId::ImageBase))], 0x123456789ABCDEF0ull);
        QCOMPARE(headers.values[size_t(Index(FieldId::HeapRes))], 0xFFFFFFFFFFFFFFFFull);
        QCOMPARE(headers.values[size_t(Index(FieldId::Rva))], 16ull);
        QCOMPARE(headers.directories[29], 0x48u);
        QCOMPARE(headers.sections[0].name, std::string(".text"));
        QVERIFY(headers.sections[0].holdsEntryPoint);
    }
}

void Pe32PlusTest::missingBytesReadAsZero()
{
    // Cut in the middle of the image base: its low bytes are read, the rest are 0.
    const std::vector<uint8_t> bytes = Plus().TruncateTo(0x80 + 24 + 24 + 3).Build();
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    QCOMPARE(headers.layout, kPlus);
    QCOMPARE(headers.values[size_t(Index(FieldId::ImageBase))], 0xBCDEF0ull);
    QCOMPARE(headers.values[size_t(Index(FieldId::StackRes))], 0ull);
    QCOMPARE(headers.values[size_t(Index(FieldId::Rva))], 0ull);
    QCOMPARE(headers.directoryEntries, 0);
}

void Pe32PlusTest::unsignedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("reads"); // by the qword parse (and so fits its 8 bytes)
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QString>("other"); // the text in the other radix
    QTest::newRow("decimal max") << "18446744073709551615" << false << true << ~0ull << "FFFFFFFFFFFFFFFF";
    QTest::newRow("decimal max + 1") << "18446744073709551616" << false << false << 0ull << "";
    QTest::newRow("decimal 2^63") << "9223372036854775808" << false << true << (1ull << 63)
                                  << "8000000000000000";
    QTest::newRow("decimal zero") << "0" << false << true << 0ull << "0000000000000000";
    QTest::newRow("hex max") << "FFFFFFFFFFFFFFFF" << true << true << ~0ull << "18446744073709551615";
    QTest::newRow("hex lower case") << "140000000" << true << true << 0x140000000ull << "5368709120";
    QTest::newRow("hex 17 digits") << "10000000000000000" << true << false << 0ull << "";
    QTest::newRow("hex leading zeros") << "000000000000000001" << true << true << 1ull << "1";
    QTest::newRow("hex short") << "1" << true << true << 1ull << "1";
}

void Pe32PlusTest::unsignedTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(bool, reads);
    QFETCH(quint64, value);
    QFETCH(QString, other);
    const HeaderField& field = HeaderFields(kPlus)[size_t(Index(FieldId::ImageBase))];
    const std::string source = text.toStdString();
    const std::optional<int64_t> toggled = ParseFittingValue(source, hex, field, false);
    const std::optional<int64_t> saved = ParseFittingValue(source, hex, field, true);
    QCOMPARE(toggled.has_value(), reads);
    QCOMPARE(saved.has_value(), reads);
    if (!reads) {
        QVERIFY_THROWS_EXCEPTION(EConvertError, ParseFieldValue(source, hex, field));
        return;
    }
    QCOMPARE(uint64_t(*toggled), value);
    QCOMPARE(uint64_t(*saved), value);
    QCOMPARE(QString::fromStdString(ClassValueText(*toggled, !hex, ValueClass::Qword)), other);
    // Back again gives the value, and the text never outgrows the box.
    QCOMPARE(uint64_t(ParseClassValue(other.toStdString(), !hex, ValueClass::Qword)), value);
    QVERIFY(other.size() <= BoxMaxLength(field.id, kPlus));
    // The number reader's own syntax: no sign for an unsigned value.
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToUInt64("-" + source));
}

void Pe32PlusTest::editsLandOnTheirBytes_data()
{
    QTest::addColumn<FieldId>("field");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<uint>("offset"); // from the start of the optional header
    QTest::addColumn<int>("width");
    QTest::newRow("image base") << FieldId::ImageBase << 0xFEDCBA9876543210ull << 24u << 8;
    QTest::newRow("stack reserve") << FieldId::StackRes << 0x8000000000000000ull << 72u << 8;
    QTest::newRow("stack commit") << FieldId::StackCom << 0x1ull << 80u << 8;
    QTest::newRow("heap reserve") << FieldId::HeapRes << 0x0123456789ABCDEFull << 88u << 8;
    QTest::newRow("heap commit") << FieldId::HeapCom << 0xFFFFFFFF00000000ull << 96u << 8;
    QTest::newRow("loader flags") << FieldId::LoaderFlags << 0x11223344ull << 104u << 4;
    QTest::newRow("rva count") << FieldId::Rva << 15ull << 108u << 4;
    QTest::newRow("dll characteristics") << FieldId::DLLChar << 0x4160ull << 70u << 2;
    QTest::newRow("export rva") << FieldId::DirRva0 << 0x77665544ull << 112u << 4;
    QTest::newRow("clr size") << FieldId::DirSize14 << 0x1234ull << 112u + 8 * 14 + 4 << 4;
    QTest::newRow("reserved rva") << FieldId::DirRva15 << 0ull << 112u + 8 * 15 << 4;
}

void Pe32PlusTest::editsLandOnTheirBytes()
{
    QFETCH(FieldId, field);
    QFETCH(quint64, value);
    QFETCH(uint, offset);
    QFETCH(int, width);
    const std::vector<uint8_t> original = Plus().Build();
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(original));
    HeaderWriteInput input = InputThroughBoxes(headers);
    const bool isDirectory = field >= FieldId::DirRva0 && field <= FieldId::DirSize15;
    if (isDirectory) {
        const int directory = DirectoryIndex(field);
        input.directories[size_t(directory / 2)][size_t(directory % 2)] = int64_t(value);
    } else {
        input.values[size_t(Index(field))] = int64_t(value);
    }
    // Base Of Data is not in the layout: whatever its box held is never written.
    input.values[size_t(Index(FieldId::BaseData))] = 0x7777;

    MemoryBytes file(original);
    const SaveResult result = SaveHeaders(input, headers, file);
    QCOMPARE(int(result.outcome), int(SaveOutcome::Saved));
    QVERIFY(result.notWritten.empty());
    std::vector<uint8_t> expected = original;
    WriteLe(expected, 0x80 + 24 + offset, value, width);
    QCOMPARE(file.bytes, expected);
}

void Pe32PlusTest::saveWithoutEditsIsIdentical_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    const uint64_t optional = 0x80 + 24;
    QTest::newRow("PE32+") << Plus().Build();
    QTest::newRow("three directories") << Plus().NumberOfRvaAndSizes(3).Build();
    QTest::newRow("short optional header") << Plus().SizeOfOptionalHeader(130).Build();
    QTest::newRow("cut in image base") << Plus().TruncateTo(optional + 27).Build();
    QTest::newRow("cut in heap commit") << Plus().TruncateTo(optional + 100).Build();
    QTest::newRow("cut in directories") << Plus().TruncateTo(optional + 112 + 8 * 5 + 2).Build();
    QTest::newRow("magic 10B over PE32+ bytes") << Plus().Magic(0x10B).Build();
    QTest::newRow("no sections") << PeBuilder().Pe32Plus().Build();
    QTest::newRow("PE32 with directories") << PeBuilder().DataDirectory(5, 0x9000, 0x10).Build();
}

void Pe32PlusTest::saveWithoutEditsIsIdentical()
{
    QFETCH(std::vector<uint8_t>, bytes);
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    QCOMPARE(headers.kind, ImageKind::Pe);
    MemoryBytes file(bytes);
    const SaveResult result = SaveHeaders(InputThroughBoxes(headers), headers, file);
    QCOMPARE(int(result.outcome), int(SaveOutcome::Saved));
    QVERIFY(result.notWritten.empty());
    QCOMPARE(file.bytes, bytes);
}

void Pe32PlusTest::directoryEditPastTheEndIsNamed()
{
    // The file ends inside entry 5: an edit there is named and not written, the rest is saved.
    const std::vector<uint8_t> bytes = Plus().TruncateTo(0x80 + 24 + 112 + 8 * 5 + 2).Build();
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    QCOMPARE(headers.directoryEntries, 16);
    HeaderWriteInput input = InputThroughBoxes(headers);
    input.directories[5][0] = 0x5555;
    input.directories[0][1] = 0x41;
    MemoryBytes file(bytes);
    const SaveResult result = SaveHeaders(input, headers, file);
    QCOMPARE(int(result.outcome), int(SaveOutcome::Saved));
    QCOMPARE(result.notWritten.size(), size_t(1));
    QCOMPARE(result.notWritten[0], (FieldRef{FieldRef::kDirectories, 10, kPlus}));
    QCOMPARE(QString::fromStdString(SavedFieldName(result.notWritten[0], {})),
        QString("\"Base Relocation RVA:\""));
    std::vector<uint8_t> expected = bytes;
    WriteLe(expected, 0x80 + 24 + 112 + 4, 0x41, 4);
    QCOMPARE(file.bytes, expected);
}

void Pe32PlusTest::valueNames_data()
{
    QTest::addColumn<ValueNames>("kind");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QString>("name");
    using N = ValueNames;
    QTest::newRow("i386") << N::Machine << 0x14Cull << "Intel 386";
    QTest::newRow("amd64") << N::Machine << 0x8664ull << "x64";
    QTest::newRow("arm64") << N::Machine << 0xAA64ull << "ARM64";
    QTest::newRow("armnt") << N::Machine << 0x1C4ull << "ARM Thumb-2";
    QTest::newRow("ia64") << N::Machine << 0x200ull << "Intel Itanium";
    QTest::newRow("machine unknown") << N::Machine << 0x1234ull << "unknown";
    QTest::newRow("machine wide") << N::Machine << 0x1014Cull << "unknown";
    QTest::newRow("PE32") << N::Magic << 0x10Bull << "PE32";
    QTest::newRow("PE32+") << N::Magic << 0x20Bull << "PE32+";
    QTest::newRow("ROM") << N::Magic << 0x107ull << "ROM";
    QTest::newRow("magic unknown") << N::Magic << 0ull << "unknown";
    QTest::newRow("gui") << N::Subsystem << 2ull << "Windows GUI";
    QTest::newRow("console") << N::Subsystem << 3ull << "Windows console";
    QTest::newRow("native") << N::Subsystem << 1ull << "Native";
    QTest::newRow("efi application") << N::Subsystem << 10ull << "EFI application";
    QTest::newRow("efi boot driver") << N::Subsystem << 11ull << "EFI boot service driver";
    QTest::newRow("subsystem 0") << N::Subsystem << 0ull << "unknown";
    QTest::newRow("subsystem 4") << N::Subsystem << 4ull << "unknown";
}

void Pe32PlusTest::valueNames()
{
    QFETCH(ValueNames, kind);
    QFETCH(quint64, value);
    QFETCH(QString, name);
    QCOMPARE(
        QString::fromLatin1(ValueName(kind, value).data(), qsizetype(ValueName(kind, value).size())), name);
}

void Pe32PlusTest::namesOfTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("name");
    QTest::newRow("hex") << "8664" << true << "x64";
    QTest::newRow("hex lower case") << "aa64" << true << "ARM64";
    QTest::newRow("decimal") << "332" << false << "Intel 386";
    QTest::newRow("hex digits in decimal") << "014C" << false << "";
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("blank") << " 14C" << true << "";
    QTest::newRow("wider than a word") << "1014C" << true << "unknown";
    QTest::newRow("wider than 64 bits") << "123456789012345678901234" << false << "unknown";
}

void Pe32PlusTest::namesOfTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(QString, name);
    const std::string_view found = ValueNameOfText(ValueNames::Machine, text.toStdString(), hex);
    QCOMPARE(QString::fromLatin1(found.data(), qsizetype(found.size())), name);
}

QTEST_APPLESS_MAIN(Pe32PlusTest)
#include "Pe32PlusTest.moc"
