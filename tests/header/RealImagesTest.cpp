// The reader against images built by real linkers (the NSIS stubs and plug-ins that Debian
// ships) and against the bundled sample, checked with objdump as an independent reader, and
// saved back unchanged.
#include "base/FileStream.h"
#include "header/FieldValue.h"
#include "header/HeaderWriter.h"
#include "header/ImageReader.h"
#include "support/PeBuilder.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char* const kNsisDir = "/usr/share/nsis";

struct ObjdumpView {
    bool pe32Plus = false;
    QMap<QString, quint64> fields; // objdump's field name -> value
    quint64 startAddress = 0;
    QList<QPair<quint64, quint64>> directories; // "Entry i RVA size" lines
    QList<QPair<QString, quint64>> sections; // name, VMA
};

ObjdumpView RunObjdump(const QString& path)
{
    QProcess process;
    process.start("objdump", {"-x", path});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        qFatal("objdump failed on %s", qPrintable(path));
    ObjdumpView view;
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    static const QRegularExpression field(R"(^(\w+)\s+([0-9a-fA-F]+)(\s|$))");
    static const QRegularExpression section(
        R"(^\s+\d+\s+(\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+[0-9a-f]+\s+[0-9a-f]+)");
    static const QRegularExpression characteristics(R"(^Characteristics 0x([0-9a-f]+))");
    static const QRegularExpression entry(R"(^Entry [0-9a-f] ([0-9a-f]+) ([0-9a-f]+) )");
    bool inSections = false;
    for (const QString& line : out.split('\n')) {
        if (line.startsWith("start address 0x"))
            view.startAddress = line.mid(16).toULongLong(nullptr, 16);
        if (line.startsWith("Magic"))
            view.pe32Plus = line.contains("PE32+");
        if (auto e = entry.match(line); e.hasMatch())
            view.directories.append(
                {e.captured(1).toULongLong(nullptr, 16), e.captured(2).toULongLong(nullptr, 16)});
        if (auto m = characteristics.match(line); m.hasMatch())
            view.fields["Characteristics"] = m.captured(1).toULongLong(nullptr, 16);
        else if (auto f = field.match(line); f.hasMatch() && !inSections)
            // objdump shows the version numbers in decimal and everything else in hexadecimal.
            view.fields[f.captured(1)]
                = f.captured(2).toULongLong(nullptr, f.captured(1).endsWith("Version") ? 10 : 16);
        if (line.startsWith("Sections:"))
            inSections = true;
        else if (line.startsWith("SYMBOL TABLE"))
            inSections = false;
        else if (auto s = section.match(line); inSections && s.hasMatch())
            view.sections.append({s.captured(1), s.captured(2).toULongLong(nullptr, 16)});
    }
    return view;
}

} // namespace

class RealImagesTest : public QObject {
    Q_OBJECT
private slots:
    void agreesWithObjdump_data();
    void agreesWithObjdump();
};

void RealImagesTest::agreesWithObjdump_data()
{
    QTest::addColumn<QString>("path");
    if (QStandardPaths::findExecutable("objdump").isEmpty())
        QSKIP("objdump is not installed");
    QTest::newRow("bundled sample") << QString(KORVEX_SAMPLE);
    // nsis-common comes with scripts/install-deps test; without it only the sample is checked.
    QStringList files;
    for (const QString& stub :
        QDir(QString(kNsisDir) + "/Stubs").entryList({"*-x86-*", "*-amd64-*"}, QDir::Files))
        files << QString(kNsisDir) + "/Stubs/" + stub;
    for (const char* dir : {"x86-ansi", "amd64-unicode"}) {
        const QString plugins = QString(kNsisDir) + "/Plugins/" + dir;
        for (const QString& dll : QDir(plugins).entryList({"*.dll"}, QDir::Files).mid(0, 4))
            files << plugins + "/" + dll;
    }
    for (const QString& file : files)
        QTest::newRow(qPrintable(file.mid(int(strlen(kNsisDir)) + 1))) << file;
    // PE32+ images from other linkers: systemd-boot's EFI images and MinGW-w64's runtime DLLs.
    for (const QString& name : QDir("/usr/lib/systemd/boot/efi").entryList({"*.efi"}, QDir::Files))
        QTest::newRow(qPrintable(name)) << "/usr/lib/systemd/boot/efi/" + name;
    for (const QString& dir :
        QDir("/usr/lib/gcc/x86_64-w64-mingw32").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& name :
            QDir("/usr/lib/gcc/x86_64-w64-mingw32/" + dir).entryList({"*.dll"}, QDir::Files).mid(0, 3))
            QTest::newRow(qPrintable(name)) << "/usr/lib/gcc/x86_64-w64-mingw32/" + dir + "/" + name;
}

void RealImagesTest::agreesWithObjdump()
{
    QFETCH(QString, path);
    const ObjdumpView view = RunObjdump(path);
    for (const char* name : {"Characteristics", "MajorLinkerVersion", "SizeOfCode", "AddressOfEntryPoint",
             "BaseOfCode", "ImageBase", "SectionAlignment", "FileAlignment", "SizeOfImage", "SizeOfHeaders",
             "Subsystem", "DllCharacteristics", "NumberOfRvaAndSizes"})
        QVERIFY2(view.fields.contains(name), name);
    QVERIFY(!view.sections.isEmpty());

    QTemporaryDir dir;
    const std::string copy = dir.path().toStdString() + "/image";
    const std::vector<uint8_t> original = ReadFileBytes(path.toStdString());
    WriteFileBytes(copy, original);
    FileStream stream(copy, FileStream::Mode::OpenReadWrite);
    const ImageHeaders headers = ReadImageHeaders(stream);
    QCOMPARE(headers.kind, ImageKind::Pe);

    auto value = [&](FieldId id) { return quint64(headers.values[size_t(HeaderIndex(id))]); };
    QCOMPARE(value(FieldId::Magic), view.pe32Plus ? 0x20Bu : 0x10Bu);
    QCOMPARE(value(FieldId::Char), view.fields.value("Characteristics"));
    QCOMPARE(value(FieldId::SizeOptHd), view.pe32Plus ? 240u : 224u);
    QCOMPARE(value(FieldId::MajorLinker), view.fields.value("MajorLinkerVersion"));
    QCOMPARE(value(FieldId::Code), view.fields.value("SizeOfCode"));
    QCOMPARE(value(FieldId::EntryPoint), view.fields.value("AddressOfEntryPoint"));
    QCOMPARE(value(FieldId::BaseCode), view.fields.value("BaseOfCode"));
    // Past BaseOfCode the two layouts differ; each is read in its own.
    QCOMPARE(headers.layout, view.pe32Plus ? OptionalLayout::Pe32Plus : OptionalLayout::Pe32);
    QCOMPARE(value(FieldId::ImageBase), view.fields.value("ImageBase"));
    QCOMPARE(value(FieldId::SectionAlign), view.fields.value("SectionAlignment"));
    QCOMPARE(value(FieldId::FileAlign), view.fields.value("FileAlignment"));
    QCOMPARE(value(FieldId::SizeImage), view.fields.value("SizeOfImage"));
    QCOMPARE(value(FieldId::Win32SizeHd), view.fields.value("SizeOfHeaders"));
    QCOMPARE(value(FieldId::CheckSum), view.fields.value("CheckSum"));
    QCOMPARE(value(FieldId::Subsystem), view.fields.value("Subsystem"));
    QCOMPARE(value(FieldId::DLLChar), view.fields.value("DllCharacteristics"));
    QCOMPARE(value(FieldId::StackRes), view.fields.value("SizeOfStackReserve"));
    QCOMPARE(value(FieldId::StackCom), view.fields.value("SizeOfStackCommit"));
    QCOMPARE(value(FieldId::HeapRes), view.fields.value("SizeOfHeapReserve"));
    QCOMPARE(value(FieldId::HeapCom), view.fields.value("SizeOfHeapCommit"));
    QCOMPARE(value(FieldId::LoaderFlags), view.fields.value("LoaderFlags"));
    QCOMPARE(value(FieldId::Rva), view.fields.value("NumberOfRvaAndSizes"));
    QCOMPARE(value(FieldId::EntryPoint), view.startAddress - view.fields.value("ImageBase"));
    QCOMPARE(headers.directoryEntries, int(view.directories.size()));
    for (int i = 0; i < headers.directoryEntries; ++i) {
        QCOMPARE(quint64(headers.directories[size_t(2 * i)]), view.directories[i].first);
        QCOMPARE(quint64(headers.directories[size_t(2 * i + 1)]), view.directories[i].second);
    }
    const quint64 imageBase = view.fields.value("ImageBase");
    QCOMPARE(qsizetype(headers.sections.size()), view.sections.size());
    for (qsizetype i = 0; i < view.sections.size(); ++i) {
        // A name "/<n>" stands for a longer one in the COFF string table, which objdump shows.
        const QString name = QString::fromStdString(headers.sections[size_t(i)].name);
        if (!name.startsWith('/'))
            QCOMPARE(name, view.sections[i].first);
        QCOMPARE(quint64(headers.sections[size_t(i)].rows[1]), view.sections[i].second - imageBase);
    }

    // Saved right after opening, through the decimal and hexadecimal texts: unchanged.
    HeaderWriteInput input;
    input.layout = headers.layout;
    input.hasPe = true;
    input.peOffset = headers.peOffset;
    input.optHeaderSize = headers.optHeaderSize;
    for (int i = 0; i < kHeaderFieldCount; ++i) {
        const HeaderField& field = HeaderFields(headers.layout)[size_t(i)];
        input.values[size_t(i)] = ParseFieldValue(
            ClassValueText(int64_t(headers.values[size_t(i)]), true, field.valueClass), true, field);
    }
    for (int e = 0; e < headers.directoryEntries; ++e)
        input.directories.push_back(
            {ParseFieldValue(std::to_string(headers.directories[size_t(2 * e)]), false, 64),
                ParseFieldValue(std::to_string(headers.directories[size_t(2 * e + 1)]), false, 64)});
    for (const SectionValues& section : headers.sections) {
        auto& rows = input.sections.emplace_back();
        for (int r = 0; r < kSectionRowCount; ++r)
            rows[size_t(r)]
                = ParseFieldValue(std::to_string(section.rows[size_t(r)]), false, SectionFields()[size_t(r)]);
    }
    ApplyWritePlan(BuildWritePlan(input), stream, headers.fileSize);
    QCOMPARE(ReadFileBytes(copy), original);
}

QTEST_GUILESS_MAIN(RealImagesTest)
#include "RealImagesTest.moc"
