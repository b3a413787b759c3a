#include "header/FieldTable.h"
#include "viewer/FieldBoxes.h"

#include <QTest>

#include <set>

Q_DECLARE_METATYPE(FieldId)
Q_DECLARE_METATYPE(HeaderStructure)
Q_DECLARE_METATYPE(ValueClass)
Q_DECLARE_METATYPE(FieldPage)

class FieldTableTest : public QObject {
    Q_OBJECT
private slots:
    void rowsHaveTheirLayout_data();
    void rowsHaveTheirLayout();
    void headerRowsAreContiguous();
    void sectionRows_data();
    void sectionRows();
    void slicesAndLookup();
    void characteristicFlags();
    void fieldPositionsWrapIn32Bits_data();
    void fieldPositionsWrapIn32Bits();
};

void FieldTableTest::rowsHaveTheirLayout_data()
{
    QTest::addColumn<FieldId>("field");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<HeaderStructure>("structure");
    QTest::addColumn<uint>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<FieldPage>("page");
    QTest::addColumn<ValueClass>("valueClass");
    QTest::addColumn<int>("parseBits");

    using S = HeaderStructure;
    using P = FieldPage;
    using C = ValueClass;
    auto row = [](FieldId id, const char* box, const char* caption, S s, uint offset, int width,
                   int maxLength, P page, C c, int bits) {
        QTest::newRow(box) << id << QString(box) << QString(caption) << s << offset << width << maxLength
                           << page << c << bits;
    };
    row(FieldId::LastPage, "EdLastPage", "Bytes On Last Page:", S::Dos, 2, 2, 5, P::TabMZ, C::Word, 32);
    row(FieldId::SP, "Ed_SP", "Stack Pointer:", S::Dos, 16, 2, 5, P::TabMZ, C::Word, 32);
    row(FieldId::IP, "Ed_IP", "Instruction Pointer:", S::Dos, 20, 2, 5, P::TabMZ, C::Word, 32);
    row(FieldId::CS, "Ed_CS", "Code Segment:", S::Dos, 22, 2, 5, P::TabMZ, C::Word, 32);
    row(FieldId::Machine, "EdMachine", "Machine:", S::File, 0, 2, 5, P::TabFileHd, C::Word, 32);
    row(FieldId::DateStamp, "EdDateStamp", "Time Date Stamp:", S::File, 4, 4, 10, P::TabFileHd, C::Dword, 64);
    row(FieldId::Char, "EdChar", "Characteristics:", S::File, 18, 2, 5, P::TabFileHd, C::Word, 32);
    row(FieldId::Magic, "EdMagic", "Magic:", S::Optional, 0, 2, 5, P::TabStandard, C::Word, 32);
    row(FieldId::MajorLinker, "EdMajorLinker", "Major Linker Version:", S::Optional, 2, 1, 3, P::TabStandard,
        C::Byte, 32);
    row(FieldId::MinorLinker, "EdMinorLinker", "Minor Linker Version:", S::Optional, 3, 1, 3, P::TabStandard,
        C::Byte, 32);
    row(FieldId::UnInitData, "EdUnInitData", "Size Of Uninitialized Data:", S::Optional, 12, 4, 10,
        P::TabStandard, C::Dword, 64);
    row(FieldId::BaseData, "EdBaseData", "Base Of Data:", S::Optional, 24, 4, 10, P::TabStandard, C::Dword,
        64);
    row(FieldId::ImageBase, "EdImageBase", "Image Base:", S::Optional, 28, 4, 10, P::TabNT, C::Dword, 64);
    row(FieldId::MajorOS, "EdMajorOS", "Major Operating Version:", S::Optional, 40, 2, 5, P::TabNT, C::Word,
        32);
    row(FieldId::CheckSum, "EdCheckSum", "CheckSum:", S::Optional, 64, 4, 10, P::TabNT, C::Dword, 64);
    row(FieldId::DLLChar, "EdDLLChar", "DLL Characteristics:", S::Optional, 70, 2, 5, P::TabNT, C::Word, 32);
    row(FieldId::Rva, "EdRva", "Number Of Rva And Sizes:", S::Optional, 92, 4, 10, P::TabNT, C::Dword, 64);
}

void FieldTableTest::rowsHaveTheirLayout()
{
    QFETCH(FieldId, field);
    QFETCH(QString, box);
    QFETCH(QString, caption);
    QFETCH(HeaderStructure, structure);
    QFETCH(uint, offset);
    QFETCH(int, width);
    QFETCH(int, maxLength);
    QFETCH(FieldPage, page);
    QFETCH(ValueClass, valueClass);
    QFETCH(int, parseBits);

    const HeaderField& row = HeaderFields()[static_cast<size_t>(HeaderIndex(field))];
    QCOMPARE(row.id, field);
    QCOMPARE(QString::fromLatin1(BoxOf(field).name), box);
    QCOMPARE(FieldOfBox(box.toStdString()), std::optional<FieldId>(field));
    QCOMPARE(QString::fromUtf8(row.caption.data(), qsizetype(row.caption.size())), caption);
    QCOMPARE(row.structure, structure);
    QCOMPARE(row.offset, offset);
    QCOMPARE(int(row.width), width);
    QCOMPARE(int(BoxOf(field).maxLength), maxLength);
    QCOMPARE(BoxOf(field).page, page);
    QCOMPARE(row.valueClass, valueClass);
    QCOMPARE(int(row.parseBits), parseBits);
    QCOMPARE(ToggleParseBits(row.valueClass), parseBits);
}

void FieldTableTest::headerRowsAreContiguous()
{
    QCOMPARE(int(HeaderFields().size()), 46);
    // DOS rows: every word from 2 to 22 except the relocation count (6) and the checksum (18).
    const uint32_t dosOffsets[] = {2, 4, 8, 10, 12, 14, 16, 20, 22};
    for (int i = 0; i < kDosFieldCount; ++i)
        QCOMPARE(DosFields()[size_t(i)].offset, dosOffsets[i]);

    // File and optional header rows cover their 20 and 96 bytes without gap or overlap.
    for (auto [fields, size] : {std::pair{FileFields(), 20u}, std::pair{OptionalFields(), 96u}}) {
        uint32_t next = 0;
        for (const HeaderField& field : fields) {
            QCOMPARE(field.offset, next);
            QVERIFY(field.width == 1 || field.width == 2 || field.width == 4);
            // The box takes the longest decimal text of its width.
            QCOMPARE(int(BoxOf(field.id).maxLength), field.width == 1 ? 3 : field.width == 2 ? 5 : 10);
            QCOMPARE(field.valueClass,
                field.width == 1       ? ValueClass::Byte
                    : field.width == 2 ? ValueClass::Word
                                       : ValueClass::Dword);
            next += field.width;
        }
        QCOMPARE(next, size);
    }

    std::set<std::string_view> names;
    for (const HeaderField& field : HeaderFields())
        names.insert(BoxOf(field.id).name);
    QCOMPARE(int(names.size()), kHeaderFieldCount);
}

void FieldTableTest::sectionRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<uint>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("parseBits");
    QTest::newRow("0") << 0 << "Virtual Size:" << 8u << 4 << 64;
    QTest::newRow("1") << 1 << "Virtual Address:" << 12u << 4 << 64;
    QTest::newRow("2") << 2 << "Size Of Raw Data:" << 16u << 4 << 64;
    QTest::newRow("3") << 3 << "Pointer To Raw Data:" << 20u << 4 << 64;
    QTest::newRow("4") << 4 << "Pointer To Relocations:" << 24u << 4 << 64;
    QTest::newRow("5") << 5 << "Pointer To Line Numbers:" << 28u << 4 << 64;
    QTest::newRow("6") << 6 << "Number Of Relocations:" << 32u << 2 << 32;
    QTest::newRow("7") << 7 << "Number Of Line Numbers:" << 34u << 2 << 32;
    QTest::newRow("8") << 8 << "Characteristics:" << 36u << 4 << 64;
}

void FieldTableTest::sectionRows()
{
    QFETCH(int, row);
    QFETCH(QString, caption);
    QFETCH(uint, offset);
    QFETCH(int, width);
    QFETCH(int, parseBits);
    QCOMPARE(int(SectionFields().size()), kSectionRowCount);
    const HeaderField& field = SectionFields()[size_t(row)];
    QVERIFY(BoxOf(field.id).name.empty());
    QCOMPARE(QString::fromUtf8(field.caption.data(), qsizetype(field.caption.size())), caption);
    QCOMPARE(field.structure, HeaderStructure::Section);
    QCOMPARE(field.offset, offset);
    QCOMPARE(int(field.width), width);
    QCOMPARE(int(BoxOf(field.id).maxLength), 10);
    QCOMPARE(BoxOf(field.id).page, FieldPage::SectionPage);
    // Shown as dwords (8 digits) also where the field has 2 bytes.
    QCOMPARE(field.valueClass, ValueClass::Dword);
    QCOMPARE(int(field.parseBits), parseBits);
}

void FieldTableTest::slicesAndLookup()
{
    QCOMPARE(int(DosFields().size()), 9);
    QCOMPARE(int(FileFields().size()), 7);
    QCOMPARE(int(OptionalFields().size()), 30);
    QCOMPARE(DosFields().front().id, FieldId::LastPage);
    QCOMPARE(FileFields().front().id, FieldId::Machine);
    QCOMPARE(OptionalFields().front().id, FieldId::Magic);
    QCOMPARE(OptionalFields().back().id, FieldId::Rva);
    QCOMPARE(HeaderIndex(FieldId::LastPage), 0);
    QCOMPARE(HeaderIndex(FieldId::Rva), 45);
    QCOMPARE(FieldOfBox("LabelFileoffset"), std::nullopt);
    QCOMPARE(FieldOfBox(""), std::nullopt);
    QCOMPARE(HeaderIndex(FieldId::EntryPoint), 22);
    QCOMPARE(BoxOf(HeaderFields()[22].id).name, std::string_view("EdEntryPoint"));
    QCOMPARE(BoxOf(HeaderFields()[23].id).name, std::string_view("EdBaseCode"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, HeaderIndex(FieldId::Relocs));
}

void FieldTableTest::characteristicFlags()
{
    const std::pair<const char*, uint32_t> expected[] = {
        {"Section can be discarded", 0x02000000},
        {"Section is not cachable", 0x04000000},
        {"Section is not pageable", 0x08000000},
        {"Section is shareable", 0x10000000},
        {"Section is executable", 0x20000000},
        {"Section is readable", 0x40000000},
        {"Section is writeable", 0x80000000},
        {"Section contains code", 0x00000020},
        {"Section contains initialized data", 0x00000040},
        {"Section contains uninitialized data", 0x00000080},
        {"Section contains comments", 0x00000200},
        {"Section contents will not be part of image", 0x00000800},
        {"Section contains extended relocations", 0x01000000},
    };
    QCOMPARE(int(CharacteristicTexts().size()), kSectionFlagCount);
    QCOMPARE(int(CharacteristicMasks().size()), kSectionFlagCount);
    for (int f = 0; f < kSectionFlagCount; ++f) {
        QCOMPARE(CharacteristicTexts()[size_t(f)], std::string_view(expected[f].first));
        QCOMPARE(CharacteristicMasks()[size_t(f)], expected[f].second);
    }

    // The four classic boxes first, then every other bit once.
    const auto flags = FileCharacteristicFlags();
    QCOMPARE(int(flags.size()), 16);
    uint32_t bits = 0;
    for (const FileFlag& flag : flags) {
        QVERIFY((bits & flag.bit) == 0);
        bits |= flag.bit;
        if (&flag >= &flags[4])
            QVERIFY(FileFlagBoxes()[size_t(&flag - flags.data())].starts_with("CheckBoxFile"));
    }
    QCOMPARE(bits, 0xFFFFu);
    QCOMPARE(FileFlagBoxes()[0], std::string_view("CheckBoxSystem"));
    QCOMPARE(flags[0].caption, std::string_view("System file"));
    QCOMPARE(flags[0].bit, uint16_t(0x1000));
    QCOMPARE(FileFlagBoxes()[1], std::string_view("CheckBoxDLL"));
    QCOMPARE(flags[1].caption, std::string_view("File is a DLL"));
    QCOMPARE(flags[1].bit, uint16_t(0x2000));
    QCOMPARE(FileFlagBoxes()[2], std::string_view("CheckBoxExec"));
    QCOMPARE(flags[2].caption, std::string_view("File is executable"));
    QCOMPARE(flags[2].bit, uint16_t(0x0002));
    QCOMPARE(FileFlagBoxes()[3], std::string_view("CheckBox32Bit"));
    QCOMPARE(flags[3].caption, std::string_view("32 bit word machine"));
    QCOMPARE(flags[3].bit, uint16_t(0x0100));
}

void FieldTableTest::fieldPositionsWrapIn32Bits_data()
{
    QTest::addColumn<FieldId>("field"); // a header or section row
    QTest::addColumn<uint>("peOffset");
    QTest::addColumn<int>("optHeaderSize");
    QTest::addColumn<uint>("section");
    QTest::addColumn<uint>("position");
    QTest::newRow("dos ignores pe offset") << FieldId::CS << 0x80u << 224 << 0u << 22u;
    QTest::newRow("file header") << FieldId::SizeOptHd << 0x80u << 224 << 0u << 0x94u;
    QTest::newRow("optional header") << FieldId::Rva << 0x80u << 224 << 0u << 0xF4u;
    QTest::newRow("optional ignores its size") << FieldId::Magic << 0x80u << 0 << 0u << 0x98u;
    QTest::newRow("first section row 0") << FieldId::VirtualSize << 0x80u << 224 << 0u << 0x180u;
    QTest::newRow("third section row 8")
        << FieldId::SectionCharacteristics << 0x80u << 224 << 2u << 0x178u + 80u + 36u;
    QTest::newRow("file header wraps") << FieldId::Char << 0xFFFFFFF0u << 224 << 0u << 0x6u;
    QTest::newRow("optional header wraps") << FieldId::Magic << 0xFFFFFFF0u << 224 << 0u << 0x8u;
    QTest::newRow("section wraps") << FieldId::VirtualSize << 0xFFFFFF00u << 0xFFFF << 1u << 0xFF47u;
}

void FieldTableTest::fieldPositionsWrapIn32Bits()
{
    QFETCH(FieldId, field);
    QFETCH(uint, peOffset);
    QFETCH(int, optHeaderSize);
    QFETCH(uint, section);
    QFETCH(uint, position);
    QCOMPARE(FieldPosition(FieldOf(field), peOffset, uint16_t(optHeaderSize), section), position);
}

QTEST_APPLESS_MAIN(FieldTableTest)
#include "FieldTableTest.moc"
