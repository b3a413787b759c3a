// End to end on real files nobody here wrote: what `korvex-cli show --json` reads agrees field by
// field with objdump's reading and with what the window shows (korvex-snapshot); files the
// window rejects get the window's message and a non-zero exit; the text form carries the same
// values.
#include "CliTestSupport.h"
#include "header/FieldTable.h"
#include "viewer/FieldBoxes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {

// The window's box for each PE/COFF name: written out here, not taken from the table under test.
const std::pair<const char*, const char*> kBoxes[] = {{"EdLastPage", "e_cblp"}, {"EdPages", "e_cp"},
    {"EdSizeHd", "e_cparhdr"}, {"EdMinRam", "e_minalloc"}, {"EdMaxRam", "e_maxalloc"}, {"Ed_SS", "e_ss"},
    {"Ed_SP", "e_sp"}, {"Ed_IP", "e_ip"}, {"Ed_CS", "e_cs"}, {"EdMachine", "Machine"},
    {"EdSections", "NumberOfSections"}, {"EdDateStamp", "TimeDateStamp"},
    {"EdSymbolTable", "PointerToSymbolTable"}, {"EdSymbols", "NumberOfSymbols"},
    {"EdSizeOptHd", "SizeOfOptionalHeader"}, {"EdChar", "Characteristics"}, {"EdMagic", "Magic"},
    {"EdMajorLinker", "MajorLinkerVersion"}, {"EdMinorLinker", "MinorLinkerVersion"},
    {"EdCode", "SizeOfCode"}, {"EdInitData", "SizeOfInitializedData"},
    {"EdUnInitData", "SizeOfUninitializedData"}, {"EdEntryPoint", "AddressOfEntryPoint"},
    {"EdBaseCode", "BaseOfCode"}, {"EdBaseData", "BaseOfData"}, {"EdImageBase", "ImageBase"},
    {"EdSectionAlign", "SectionAlignment"}, {"EdFileAlign", "FileAlignment"},
    {"EdMajorOS", "MajorOperatingSystemVersion"}, {"EdMinorOS", "MinorOperatingSystemVersion"},
    {"EdMajorImage", "MajorImageVersion"}, {"EdMinorImage", "MinorImageVersion"},
    {"EdMajorSubsystem", "MajorSubsystemVersion"}, {"EdMinorSubsystem", "MinorSubsystemVersion"},
    {"EdWin32Version", "Win32VersionValue"}, {"EdSizeImage", "SizeOfImage"},
    {"EdWin32SizeHd", "SizeOfHeaders"}, {"EdCheckSum", "CheckSum"}, {"EdSubsystem", "Subsystem"},
    {"EdDLLChar", "DllCharacteristics"}, {"EdStackRes", "SizeOfStackReserve"},
    {"EdStackCom", "SizeOfStackCommit"}, {"EdHeapRes", "SizeOfHeapReserve"},
    {"EdHeapCom", "SizeOfHeapCommit"}, {"EdLoaderFlags", "LoaderFlags"}, {"EdRva", "NumberOfRvaAndSizes"}};

// objdump -p names the optional header fields a little differently.
const std::pair<const char*, const char*> kObjdumpNames[] = {{"Magic", "Magic"},
    {"MajorLinkerVersion", "MajorLinkerVersion"}, {"MinorLinkerVersion", "MinorLinkerVersion"},
    {"SizeOfCode", "SizeOfCode"}, {"SizeOfInitializedData", "SizeOfInitializedData"},
    {"SizeOfUninitializedData", "SizeOfUninitializedData"}, {"AddressOfEntryPoint", "AddressOfEntryPoint"},
    {"BaseOfCode", "BaseOfCode"}, {"ImageBase", "ImageBase"}, {"SectionAlignment", "SectionAlignment"},
    {"FileAlignment", "FileAlignment"}, {"MajorOSystemVersion", "MajorOperatingSystemVersion"},
    {"MinorOSystemVersion", "MinorOperatingSystemVersion"}, {"MajorImageVersion", "MajorImageVersion"},
    {"MinorImageVersion", "MinorImageVersion"}, {"MajorSubsystemVersion", "MajorSubsystemVersion"},
    {"MinorSubsystemVersion", "MinorSubsystemVersion"}, {"Win32Version", "Win32VersionValue"},
    {"SizeOfImage", "SizeOfImage"}, {"SizeOfHeaders", "SizeOfHeaders"}, {"CheckSum", "CheckSum"},
    {"Subsystem", "Subsystem"}, {"DllCharacteristics", "DllCharacteristics"},
    {"SizeOfStackReserve", "SizeOfStackReserve"}, {"SizeOfStackCommit", "SizeOfStackCommit"},
    {"SizeOfHeapReserve", "SizeOfHeapReserve"}, {"SizeOfHeapCommit", "SizeOfHeapCommit"},
    {"LoaderFlags", "LoaderFlags"}, {"NumberOfRvaAndSizes", "NumberOfRvaAndSizes"}};

struct Objdump {
    QMap<QString, quint64> fields;
    QString timeDate;
    QList<QPair<quint64, quint64>> directories;
    struct Section {
        QString name;
        quint64 vma = 0;
        quint64 fileOffset = 0;
    };
    QList<Section> sections;
};

Objdump RunObjdump(const QString& path)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    const ToolRun run
        = RunTool(QStringLiteral("objdump"), {QStringLiteral("-p"), QStringLiteral("-h"), path}, environment);
    Objdump result;
    static const QRegularExpression field(R"(^(\w+)\s+([0-9a-fA-F]+)(\s|$))");
    static const QRegularExpression characteristics(R"(^Characteristics 0x([0-9a-f]+))");
    static const QRegularExpression entry(R"(^Entry [0-9a-f] ([0-9a-f]+) ([0-9a-f]+) )");
    static const QRegularExpression section(
        R"(^\s+\d+\s+(\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)\s)");
    bool inSections = false;
    for (const QString& line : QString::fromLocal8Bit(run.out).split('\n')) {
        if (line.startsWith(QLatin1String("Sections:")))
            inSections = true;
        if (inSections) {
            if (auto s = section.match(line); s.hasMatch())
                result.sections.append({s.captured(1), s.captured(2).toULongLong(nullptr, 16),
                    s.captured(3).toULongLong(nullptr, 16)});
        } else if (line.startsWith(QLatin1String("Time/Date\t")) && result.timeDate.isEmpty()) {
            result.timeDate = line.mid(9).trimmed();
        } else if (auto e = entry.match(line); e.hasMatch()) {
            result.directories.append(
                {e.captured(1).toULongLong(nullptr, 16), e.captured(2).toULongLong(nullptr, 16)});
        } else if (auto c = characteristics.match(line); c.hasMatch()) {
            result.fields[QStringLiteral("Characteristics")] = c.captured(1).toULongLong(nullptr, 16);
        } else if (auto f = field.match(line); f.hasMatch() && !result.fields.contains(f.captured(1))) {
            // objdump writes the version numbers in decimal, everything else in hexadecimal.
            result.fields[f.captured(1)]
                = f.captured(2).toULongLong(nullptr, f.captured(1).endsWith("Version") ? 10 : 16);
        }
    }
    return result;
}

QString CTimeUtc(quint64 stamp)
{
    const std::time_t seconds = static_cast<std::time_t>(stamp);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &parts);
    return QString::fromLatin1(text);
}

QJsonObject Snapshot(const QString& path)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const ToolRun run = RunTool(QStringLiteral(KORVEX_SNAPSHOT), {path}, environment);
    return run.status == 0 ? QJsonDocument::fromJson(run.out).object() : QJsonObject();
}

// The objects of JSON Lines.
QJsonArray JsonLines(const QByteArray& lines)
{
    QJsonArray objects;
    for (const QByteArray& line : lines.split('\n')) {
        if (!line.isEmpty())
            objects.append(QJsonDocument::fromJson(line).object());
    }
    return objects;
}

// readpe's constant names must be ours, but for the bits it calls UNKNOWN[0x..]: as many, and
// each one it knows among them.
void CompareConstants(const QJsonValue& ours, const QJsonValue& readpe, const char* what)
{
    const QJsonArray mine = ours.toArray(), theirs = readpe.toArray();
    QVERIFY2(mine.size() == theirs.size(), what);
    for (const QJsonValue& name : theirs)
        QVERIFY2(name.toString().startsWith(QLatin1String("UNKNOWN[")) || mine.contains(name),
            qPrintable(QLatin1String(what) + ": " + name.toString()));
}

quint64 HexOf(const QJsonValue& text)
{
    bool ok = false;
    const quint64 value = text.toString().toULongLong(&ok, 16);
    return ok ? value : ~0ull;
}

} // namespace

class CliShowEndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;

private slots:
    void realFiles_data()
    {
        QTest::addColumn<QString>("path");
        const QStringList files = RealFiles();
        if (files.size() < 20 || QStandardPaths::findExecutable(QStringLiteral("objdump")).isEmpty())
            QSKIP("real PE files or objdump missing (scripts/install-deps test installs them)");
        for (const QString& file : files)
            QTest::newRow(qPrintable(file.section('/', -2))) << file;
    }

    void realFiles()
    {
        QFETCH(QString, path);
        const ToolRun cli = RunCliTool({QStringLiteral("show"), QStringLiteral("--json"), path});
        const QJsonObject window = Snapshot(path);
        QVERIFY(!window.isEmpty());
        const QJsonArray messages = window[QStringLiteral("messages")].toArray();

        // A file the window rejects: the same messages, exit status 3, nothing on standard output.
        if (!messages.isEmpty()) {
            QStringList expected;
            for (const QJsonValue& message : messages)
                expected << "korvex-cli: " + path + ": "
                        + message.toObject()[QStringLiteral("text")].toString();
            QCOMPARE(cli.status, 3);
            QCOMPARE(QString::fromUtf8(cli.err).trimmed().split('\n'), expected);
            QVERIFY(cli.out.isEmpty());
            return;
        }
        QCOMPARE(cli.status, 0);
        QCOMPARE(cli.err, QByteArray());
        const QJsonObject json = QJsonDocument::fromJson(cli.out).object();
        QCOMPARE(json[QStringLiteral("file")].toString(), path);

        // The window: every box, the labels beside them, the check boxes, the section pages.
        const QJsonObject edits = window[QStringLiteral("edits")].toObject();
        const QJsonArray disabled = window[QStringLiteral("disabled")].toArray();
        for (const auto& [box, key] : kBoxes) {
            if (disabled.contains(QLatin1String(box))) {
                QVERIFY2(!json.contains(QLatin1String(key)), key);
                continue;
            }
            QVERIFY2(json.contains(QLatin1String(key)), key);
            QCOMPARE(json[QLatin1String(key)].toInteger(), qint64(HexOf(edits[QLatin1String(box)])));
        }
        const bool pe32Plus = edits[QStringLiteral("EdMagic")].toString() == QLatin1String("020B");
        QCOMPARE(json[QStringLiteral("format")].toString(),
            pe32Plus ? QStringLiteral("PE32+") : QStringLiteral("PE32"));
        const QJsonObject labels = window[QStringLiteral("labels")].toObject();
        QCOMPARE(json[QStringLiteral("entry_point_file_offset")].toInteger(),
            qint64(HexOf(labels[QStringLiteral("LabelFileoffset")])));
        const QJsonObject checksum = json[QStringLiteral("checksum")].toObject();
        QCOMPARE(Hex(quint64(checksum[QStringLiteral("computed")].toInteger()), 8)
                + (checksum[QStringLiteral("matches")].toBool() ? ", matches" : ", differs"),
            labels[QStringLiteral("LabelCheckSum")].toString());
        QCOMPARE(
            checksum[QStringLiteral("stored")].toInteger(), json[QStringLiteral("CheckSum")].toInteger());
        QCOMPARE(json[QStringLiteral("machine_name")].toString(),
            labels[QStringLiteral("LabelMachine")].toString());
        QCOMPARE(
            json[QStringLiteral("magic_name")].toString(), labels[QStringLiteral("LabelMagic")].toString());
        QCOMPARE(json[QStringLiteral("subsystem_name")].toString(),
            labels[QStringLiteral("LabelSubsystem")].toString());
        QCOMPARE(json[QStringLiteral("time_date_stamp_text")].toString(),
            labels[QStringLiteral("LabelDate")].toString());
        const QJsonObject checks = window[QStringLiteral("checks")].toObject();
        const QJsonArray fileFlags = json[QStringLiteral("characteristics_flags")].toArray();
        const QJsonArray dllFlags = json[QStringLiteral("dll_characteristics_flags")].toArray();
        for (size_t f = 0; f < FileCharacteristicFlags().size(); ++f) {
            const std::string_view caption = FileCharacteristicFlags()[f].caption, box = FileFlagBoxes()[f];
            QCOMPARE(fileFlags.contains(QLatin1String(caption.data(), qsizetype(caption.size()))),
                checks[QLatin1String(box.data(), qsizetype(box.size()))].toBool());
        }
        for (size_t f = 0; f < DllCharacteristicFlags().size(); ++f) {
            const std::string_view caption = DllCharacteristicFlags()[f].caption, box = DllFlagBoxes()[f];
            QCOMPARE(dllFlags.contains(QLatin1String(caption.data(), qsizetype(caption.size()))),
                checks[QLatin1String(box.data(), qsizetype(box.size()))].toBool());
        }

        const QJsonArray directories = json[QStringLiteral("data_directories")].toArray();
        for (int e = 0; e < 16; ++e) {
            const QString rva = QStringLiteral("EdDirRva%1").arg(e),
                          size = QStringLiteral("EdDirSize%1").arg(e);
            if (disabled.contains(rva)) {
                QVERIFY(e >= directories.size());
                continue;
            }
            QVERIFY(e < directories.size());
            const QJsonObject entry = directories[e].toObject();
            QCOMPARE(entry[QStringLiteral("VirtualAddress")].toInteger(), qint64(HexOf(edits[rva])));
            QCOMPARE(entry[QStringLiteral("Size")].toInteger(), qint64(HexOf(edits[size])));
        }

        static const char* const kRows[]
            = {"VirtualSize", "VirtualAddress", "SizeOfRawData", "PointerToRawData", "PointerToRelocations",
                "PointerToLinenumbers", "NumberOfRelocations", "NumberOfLinenumbers", "Characteristics"};
        const QJsonArray pages = window[QStringLiteral("sections")].toArray();
        const QJsonArray sections = json[QStringLiteral("sections")].toArray();
        QCOMPARE(sections.size(), pages.size());
        for (int s = 0; s < sections.size(); ++s) {
            const QJsonObject section = sections[s].toObject();
            const QJsonObject page = pages[s].toObject();
            QCOMPARE(section[QStringLiteral("Name")].toString()
                    + (section[QStringLiteral("entry_point")].toBool() ? QStringLiteral("  *") : QString()),
                page[QStringLiteral("caption")].toString());
            for (int r = 0; r < 9; ++r)
                QCOMPARE(section[QLatin1String(kRows[r])].toInteger(),
                    qint64(HexOf(page[QStringLiteral("texts")].toArray()[r])));
            int ticked = 0;
            for (const QJsonValue& check : page[QStringLiteral("checks")].toArray())
                ticked += check.toBool();
            QCOMPARE(section[QStringLiteral("flags")].toArray().size(), ticked);
        }

        // The characteristics' constant names, against pev's readpe.
        const QJsonObject readpe = QJsonDocument::fromJson(
            RunTool(QStringLiteral("readpe"), {"-f", "json", "-h", "coff", "-h", "optional", "-S", path}).out)
                                       .object();
        CompareConstants(json[QStringLiteral("characteristics_constants")],
            readpe[QStringLiteral("COFF/File header")][QStringLiteral("Characteristics names")], "file");
        CompareConstants(json[QStringLiteral("dll_characteristics_constants")],
            readpe[QStringLiteral("Optional/Image header")][QStringLiteral("DLL characteristics names")],
            "DLL");
        const QJsonArray readpeSections = readpe[QStringLiteral("Sections")].toArray();
        QCOMPARE(readpeSections.size(), sections.size());
        for (int s = 0; s < sections.size(); ++s)
            CompareConstants(sections[s].toObject()[QStringLiteral("flag_constants")],
                readpeSections[s].toObject()[QStringLiteral("Characteristic Names")], "section");

        // objdump, an independent reader.
        const Objdump objdump = RunObjdump(path);
        QVERIFY(!objdump.fields.isEmpty());
        for (const auto& [name, key] : kObjdumpNames)
            QCOMPARE(
                quint64(json[QLatin1String(key)].toInteger()), objdump.fields.value(QLatin1String(name)));
        if (!pe32Plus)
            QCOMPARE(
                quint64(json[QStringLiteral("BaseOfData")].toInteger()), objdump.fields.value("BaseOfData"));
        QCOMPARE(quint64(json[QStringLiteral("Characteristics")].toInteger()),
            objdump.fields.value("Characteristics"));
        QCOMPARE(CTimeUtc(quint64(json[QStringLiteral("TimeDateStamp")].toInteger())), objdump.timeDate);
        QCOMPARE(directories.size(), objdump.directories.size());
        for (int e = 0; e < directories.size(); ++e) {
            QCOMPARE(quint64(directories[e].toObject()[QStringLiteral("VirtualAddress")].toInteger()),
                objdump.directories[e].first);
            QCOMPARE(quint64(directories[e].toObject()[QStringLiteral("Size")].toInteger()),
                objdump.directories[e].second);
        }
        QCOMPARE(sections.size(), objdump.sections.size());
        const quint64 imageBase = quint64(json[QStringLiteral("ImageBase")].toInteger());
        for (int s = 0; s < sections.size(); ++s) {
            const QJsonObject section = sections[s].toObject();
            const QString name = section[QStringLiteral("Name")].toString();
            if (!name.startsWith('/')) // a long name lives in the string table, which objdump reads
                QCOMPARE(name, objdump.sections[s].name);
            QCOMPARE(imageBase + quint64(section[QStringLiteral("VirtualAddress")].toInteger()),
                objdump.sections[s].vma);
            if (section[QStringLiteral("SizeOfRawData")].toInteger() > 0)
                QCOMPARE(quint64(section[QStringLiteral("PointerToRawData")].toInteger()),
                    objdump.sections[s].fileOffset);
        }

        // The text form shows the same values, in the window's hexadecimal digits.
        const ToolRun text = RunCliTool({QStringLiteral("show"), path});
        QCOMPARE(text.status, 0);
        const QString shown = QString::fromUtf8(text.out);
        for (const auto& [box, key] : kBoxes) {
            if (disabled.contains(QLatin1String(box)))
                continue;
            const QRegularExpression line(
                "\n  " + QLatin1String(key) + " +" + edits[QLatin1String(box)].toString() + "( |\n)");
            QVERIFY2(line.match(shown).hasMatch(), key);
        }
    }

    // JSON Lines: one object a line for one file as for several, in the order given, so jq reads
    // them alike; a failed file is left out and makes the exit status 3.
    void severalFiles()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("jq")).isEmpty())
            QSKIP("jq missing (scripts/install-deps test installs it)");
        const QStringList files = RealFiles();
        if (files.size() < 20)
            QSKIP("real PE files missing");
        QStringList pes;
        for (const QString& file : files) {
            if (ReadAll(file).startsWith("MZ") && pes.size() < 3)
                pes << file;
        }
        const QString lines = FDir.filePath(QStringLiteral("lines.json"));
        const ToolRun one = RunCliTool({QStringLiteral("show"), QStringLiteral("--json"), pes[0]});
        QCOMPARE(one.status, 0);
        QVERIFY(WriteAll(lines, one.out));
        QCOMPARE(QString::fromUtf8(RunTool(QStringLiteral("jq"), {"-r", ".file", lines}).out), pes[0] + "\n");

        const ToolRun run = RunCliTool(QStringList{QStringLiteral("show"), QStringLiteral("--json"), pes[0],
            QStringLiteral("/nonexistent/file.dll"), pes[1], pes[2]});
        QCOMPARE(run.status, 3);
        QCOMPARE(run.out.count('\n'), 3);
        QVERIFY(WriteAll(lines, run.out));
        QCOMPARE(QString::fromUtf8(RunTool(QStringLiteral("jq"), {"-r", ".file", lines}).out),
            pes.join('\n') + "\n");
        QVERIFY(run.err.contains("/nonexistent/file.dll"));
    }

    // Many files are shown by several threads: the output is still each file's own, in the
    // order given, with the messages of the files that cannot be shown in order too.
    void manyFilesInOrder()
    {
        QStringList files = RealFiles();
        if (files.size() < 40)
            QSKIP("real PE files missing");
        files << files.mid(0, 10); // some twice, after files of other shapes
        QByteArray texts, errors;
        QJsonArray objects;
        for (const QString& file : files) {
            const ToolRun json = RunCliTool({QStringLiteral("show"), QStringLiteral("--json"), file});
            const ToolRun text = RunCliTool({QStringLiteral("show"), file});
            errors += json.err;
            if (json.status != 0)
                continue;
            objects.append(QJsonDocument::fromJson(json.out).object());
            texts += (texts.isEmpty() ? "" : "\n") + text.out;
        }
        QVERIFY(!errors.isEmpty());
        ToolRun all = RunCliTool(QStringList{QStringLiteral("show"), QStringLiteral("--json")} + files);
        QCOMPARE(all.status, 3);
        QCOMPARE(all.err, errors);
        QCOMPARE(JsonLines(all.out), objects);
        all = RunCliTool(QStringList{QStringLiteral("show")} + files);
        QCOMPARE(all.status, 3);
        QCOMPARE(all.out, texts);
    }
};

QTEST_GUILESS_MAIN(CliShowEndToEndTest)
#include "CliShowEndToEndTest.moc"
