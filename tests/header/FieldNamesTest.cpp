// The PE/COFF names of the field tables and what is built on them: the names by which the
// command line sets exactly the fields the window saves, the values as read, where the headers
// end, the View checks and the section that holds a file offset.
#include "header/FieldNames.h"
#include "header/FieldTable.h"
#include "header/HeaderSave.h"
#include "header/RawData.h"
#include "support/PeBuilder.h"

#include <QTest>

#include <set>

namespace {

std::vector<uint8_t> Image(const QString& kind)
{
    PeBuilder builder;
    if (kind == "dos only")
        return builder.DosOnly().Build();
    if (kind == "PE32+")
        builder.Pe32Plus();
    builder.EntryPoint(0x1010).NumberOfRvaAndSizes(kind == "four directories" ? 4 : 16);
    builder.AddSection(PeSection(".text").Virtual(0x1000, 0x300).Raw(0x400, 0x200));
    builder.AddSection(PeSection(".data").Virtual(0x2000, 0x100).Raw(0x600, 0x200));
    builder.AddSection(PeSection(".bss").Virtual(0x3000, 0x80));
    return builder.TruncateTo(kind == "truncated" ? 0x190 : 0x800).Build();
}

HeaderWriteInput AsRead(const std::vector<uint8_t>& bytes)
{
    return WriteInputAsRead(ReadImageHeaders(MemoryBytes(bytes)));
}

} // namespace

class FieldNamesTest : public QObject {
    Q_OBJECT

private slots:
    // Every row has its own name, found again by it, the same in both layouts.
    void namesColumn()
    {
        std::set<std::string_view> names;
        for (const OptionalLayout layout : {OptionalLayout::Pe32, OptionalLayout::Pe32Plus}) {
            const auto fields = HeaderFields(layout);
            for (size_t i = 0; i < fields.size(); ++i) {
                QVERIFY(!fields[i].peName.empty());
                QCOMPARE(HeaderFieldIndexByPeName(fields[i].peName), int(i));
                QCOMPARE(fields[i].peName, HeaderFields()[i].peName);
                names.insert(fields[i].peName);
            }
            for (size_t i = 0; i < DataDirectoryFields(layout).size(); ++i)
                QCOMPARE(DataDirectoryFields(layout)[i].peName,
                    i % 2 ? std::string_view("Size") : "VirtualAddress");
        }
        QCOMPARE(names.size(), size_t(kHeaderFieldCount));
        QCOMPARE(HeaderFields()[0].peName, std::string_view("e_cblp"));
        QCOMPARE(FieldOf(FieldId::Win32Version).peName, std::string_view("Win32VersionValue"));
        QCOMPARE(SectionFields()[5].peName, std::string_view("PointerToLinenumbers"));
        QCOMPARE(HeaderFieldIndexByPeName("e_lfanew"), -1);
        QCOMPARE(DirectoryKey(5), std::string("BaseRelocation"));
    }

    void everySavedFieldByItsName_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"PE32", "PE32+", "dos only", "four directories"})
            QTest::newRow(kind) << kind;
    }

    // The names reach exactly the fields a save writes: each by its canonical name, directories
    // also by index and in any case.
    void everySavedFieldByItsName()
    {
        QFETCH(QString, kind);
        const HeaderWriteInput input = AsRead(Image(kind));
        const std::vector<FieldRef> fields = PlannedFields(input);
        QVERIFY(fields.size() >= size_t(kDosFieldCount));
        std::set<std::string> names;
        for (const FieldRef& ref : fields) {
            const std::string name = FieldPeName(ref);
            names.insert(name);
            const FieldLookup lookup = LookUpSavedField(name, input);
            QVERIFY2(lookup.field && *lookup.field == ref, name.c_str());
            if (ref.section == FieldRef::kDirectories) {
                const std::string byIndex = "directory." + std::to_string(ref.index / 2)
                    + (ref.index % 2 ? ".Size" : ".VirtualAddress");
                QVERIFY(LookUpSavedField(byIndex, input).field == ref);
                std::string lower = name;
                std::transform(lower.begin() + 10, lower.end() - (ref.index % 2 ? 5 : 15), lower.begin() + 10,
                    ::tolower);
                QVERIFY2(LookUpSavedField(lower, input).field == ref, lower.c_str());
            }
        }
        QCOMPARE(names.size(), fields.size());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("e_lfanew") << "PE32"
                                  << "e_lfanew"
                                  << "e_lfanew cannot be set: the PE header offset is never written";
        QTest::newRow("Base Of Data in PE32+")
            << "PE32+"
            << "BaseOfData"
            << "BaseOfData cannot be set: a PE32+ optional header has no such field";
        QTest::newRow("PE field of a DOS-only file")
            << "dos only"
            << "TimeDateStamp"
            << "TimeDateStamp cannot be set: the file has no PE header";
        QTest::newRow("directory of a DOS-only file")
            << "dos only"
            << "directory.0.Size"
            << "directory.0.Size cannot be set: the file has no PE header";
        QTest::newRow("directory not shown")
            << "four directories"
            << "directory.Debug.Size"
            << "directory.Debug.Size cannot be set: the file's optional header has 4 data directory entries";
        QTest::newRow("section past the last")
            << "PE32"
            << "section.3.VirtualSize"
            << "section.3.VirtualSize cannot be set: the file has 3 sections";
        QTest::newRow("name of a section past the last")
            << "PE32"
            << "section.3.Name"
            << "section.3.Name cannot be set: the file has 3 sections";
        QTest::newRow("unknown header field") << "PE32"
                                              << "TimeStamp"
                                              << "unknown field TimeStamp";
        QTest::newRow("names are case sensitive") << "PE32"
                                                  << "timedatestamp"
                                                  << "unknown field timedatestamp";
        QTest::newRow("unknown section row") << "PE32"
                                             << "section.0.Size"
                                             << "unknown field section.0.Size";
        QTest::newRow("section index not a number") << "PE32"
                                                    << "section.x.VirtualSize"
                                                    << "unknown field section.x.VirtualSize";
        QTest::newRow("signed section index") << "PE32"
                                              << "section.-1.VirtualSize"
                                              << "unknown field section.-1.VirtualSize";
        QTest::newRow("directory 16") << "PE32"
                                      << "directory.16.Size"
                                      << "unknown field directory.16.Size";
        QTest::newRow("unknown directory") << "PE32"
                                           << "directory.Foo.Size"
                                           << "unknown field directory.Foo.Size";
        QTest::newRow("unknown directory part") << "PE32"
                                                << "directory.0.RVA"
                                                << "unknown field directory.0.RVA";
        QTest::newRow("unknown group") << "PE32"
                                       << "header.Machine"
                                       << "unknown field header.Machine";
        QTest::newRow("empty") << "PE32"
                               << ""
                               << "unknown field ";
    }

    void refusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const FieldLookup lookup = LookUpSavedField(name.toStdString(), AsRead(Image(kind)));
        QVERIFY(!lookup.field);
        QVERIFY2(QString::fromStdString(lookup.refusal).startsWith(reason), lookup.refusal.c_str());
    }

    void valuesAsReadSaveTheSameBytes_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"PE32", "PE32+", "dos only", "four directories", "truncated"})
            QTest::newRow(kind) << kind;
    }

    // The values as read are what the window holds after opening: saving them changes no byte.
    void valuesAsReadSaveTheSameBytes()
    {
        QFETCH(QString, kind);
        const std::vector<uint8_t> bytes = Image(kind);
        MemoryBytes file(bytes);
        const ImageHeaders opened = ReadImageHeaders(file);
        const HeaderWriteInput input = WriteInputAsRead(opened);
        QCOMPARE(input.hasPe, kind != "dos only");
        QCOMPARE(input.directories.size(), size_t(opened.directoryEntries));
        QCOMPARE(input.sections.size(), opened.sections.size());
        const SaveResult result = SaveHeaders(input, opened, file);
        QCOMPARE(int(result.outcome), int(SaveOutcome::Saved));
        QVERIFY(result.writes > 0);
        QVERIFY(result.notWritten.empty());
        QCOMPARE(file.bytes, bytes);
    }

    void headersEnd_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qulonglong>("end");
        // PE offset 0x80; the section table after a 224-byte (PE32) or 240-byte (PE32+) optional header.
        QTest::newRow("PE32") << "PE32" << qulonglong(0x80 + 24 + 224 + 3 * 40);
        QTest::newRow("PE32+") << "PE32+" << qulonglong(0x80 + 24 + 240 + 3 * 40);
        QTest::newRow("dos only") << "dos only" << qulonglong(64);
    }

    void headersEnd()
    {
        QFETCH(QString, kind);
        QFETCH(qulonglong, end);
        QCOMPARE(HeadersEnd(ReadImageHeaders(MemoryBytes(Image(kind)))), uint64_t(end));
        // A section table cut short still ends where its last header would.
        QCOMPARE(HeadersEnd(ReadImageHeaders(MemoryBytes(Image("truncated")))),
            uint64_t(0x80 + 24 + 224 + 3 * 40));
    }

    void sectionBodyChecks_data()
    {
        QTest::addColumn<uint>("size");
        QTest::addColumn<uint>("pointer");
        QTest::addColumn<qulonglong>("fileSize");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("size zero") << 0u << 0u << 100ull << "Section size is zero.";
        QTest::newRow("size zero past the end") << 0u << 200u << 100ull << "Section size is zero.";
        QTest::newRow("pointer past the end") << 1u << 101u << 100ull << "Pointer to raw data passes EOF.";
        QTest::newRow("pointer at the end") << 1u << 100u << 100ull << "Section size is to large.";
        QTest::newRow("one byte too many") << 51u << 50u << 100ull << "Section size is to large.";
        QTest::newRow("no wrap in 32 bits") << 0xFFFFFFFFu << 1u << 100ull << "Section size is to large.";
        QTest::newRow("ends at the end") << 50u << 50u << 100ull << "";
        QTest::newRow("whole file") << 100u << 0u << 100ull << "";
        QTest::newRow("beyond 4 GiB") << 0xFFFFFFFFu << 0xFFFFFFFFu << 0x200000000ull << "";
    }

    void sectionBodyChecks()
    {
        QFETCH(uint, size);
        QFETCH(uint, pointer);
        QFETCH(qulonglong, fileSize);
        QFETCH(QString, refusal);
        const std::optional<std::string_view> result = SectionBodyRefusal(size, pointer, fileSize);
        QCOMPARE(result ? QString::fromUtf8(result->data(), qsizetype(result->size())) : QString(), refusal);
    }

    // The first section whose raw data holds an offset, with the RVA there.
    void sectionAtFileOffset()
    {
        const ImageHeaders headers = ReadImageHeaders(MemoryBytes(Image("PE32")));
        const struct {
            uint64_t offset;
            int section;
            uint32_t rva;
        } rows[] = {{0x3FF, -1, 0}, {0x400, 0, 0x1000}, {0x5FF, 0, 0x11FF}, {0x600, 1, 0x2000},
            {0x7FF, 1, 0x21FF}, {0x800, -1, 0}, {0, -1, 0}};
        for (const auto& row : rows) {
            const std::optional<SectionHit> hit = SectionAtFileOffset(headers, row.offset);
            QCOMPARE(hit ? hit->section : -1, row.section);
            if (hit)
                QCOMPARE(hit->rva, row.rva);
        }
    }
};

QTEST_GUILESS_MAIN(FieldNamesTest)
#include "FieldNamesTest.moc"
