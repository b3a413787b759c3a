// End to end: korvex-snapshot opens real PE32 files nobody here wrote (Debian's NSIS stubs
// and plugins, and an installer made by makensis now) in the real window, saves them and
// edits them. The expectations come from reading the files' bytes directly.
#include "support/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>

namespace {

// Builds a small installer with makensis; empty when makensis is not installed.
QString BuildInstaller(const QTemporaryDir& dir)
{
    const QString makensis = QStandardPaths::findExecutable(QStringLiteral("makensis"));
    if (makensis.isEmpty())
        return {};
    const QString script = dir.filePath(QStringLiteral("inst.nsi"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("Name \"Korvex test\"\n"
               "OutFile \"inst.exe\"\n"
               "RequestExecutionLevel user\n"
               "InstallDir \"$TEMP\\korvex\"\n"
               "Section\n"
               "  DetailPrint \"hello\"\n"
               "SectionEnd\n");
    file.close();
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(makensis, {QStringLiteral("-V1"), script});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    return dir.filePath(QStringLiteral("inst.exe"));
}

// pefile's reading of a file: the DOS header's words, the file characteristics, the section
// names (Latin-1, up to the first zero) and the first name's raw bytes in hex. Empty when
// Debian's python3-pefile is not installed.
QJsonObject Pefile(const QString& path)
{
    static const char* script = R"(
import json, sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
d = pe.DOS_HEADER
words = lambda b: [b[i] | b[i + 1] << 8 for i in range(0, len(b), 2)]
print(json.dumps({"dos": {"e_crlc": d.e_crlc, "e_lfarlc": d.e_lfarlc, "e_ovno": d.e_ovno,
    "e_res": words(d.e_res), "e_oemid": d.e_oemid, "e_oeminfo": d.e_oeminfo,
    "e_res2": words(d.e_res2), "e_lfanew": d.e_lfanew},
    "characteristics": pe.FILE_HEADER.Characteristics,
    "names": [s.Name.split(b"\0")[0].decode("latin-1") for s in pe.sections],
    "raw0": pe.sections[0].Name.hex() if pe.sections else ""}))
)";
    QProcess process;
    process.start(
        QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

} // namespace

class SnapshotEndToEndTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;

    QString Source(const QString& source)
    {
        if (source == QLatin1String("makensis")) {
            static QString installer;
            if (installer.isEmpty())
                installer = BuildInstaller(FDir);
            return installer;
        }
        return QFile::exists(source) ? source : QString();
    }

private slots:
    void realFiles_data()
    {
        QTest::addColumn<QString>("source");
        const QString plugins = QStringLiteral("/usr/share/nsis/Plugins/x86-ansi/");
        for (const char* name : {"System.dll", "nsDialogs.dll", "InstallOptions.dll", "LangDLL.dll",
                 "Math.dll", "nsExec.dll", "UserInfo.dll", "VPatch.dll"})
            QTest::newRow(name) << plugins + QLatin1String(name);
        const QString stubs = QStringLiteral("/usr/share/nsis/Stubs/");
        for (const char* name :
            {"zlib-x86-ansi", "lzma-x86-unicode", "bzip2_solid-x86-ansi", "lzma_solid-x86-unicode"})
            QTest::newRow(name) << stubs + QLatin1String(name);
        QTest::newRow("installer built by makensis") << QStringLiteral("makensis");
    }

    // Open and save without edits: every box shows the file's value, the file stays the same.
    void realFiles()
    {
        QFETCH(QString, source);
        const QString original = Source(source);
        if (original.isEmpty())
            QSKIP("file not installed (scripts/install-deps test installs nsis and nsis-common)");
        const QString path = CopyTo(FDir, original, QStringLiteral("copy of file"));
        QVERIFY(!path.isEmpty());
        const QByteArray bytes = ReadAll(path);
        QVERIFY(bytes.size() > 0x200);

        const QJsonObject json = Snapshot({path, QStringLiteral("--save")});
        QVERIFY(!json.isEmpty());
        const QJsonArray messages = json[QStringLiteral("messages")].toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].toObject()[QStringLiteral("text")].toString(), QStringLiteral("Save complete!"));
        QCOMPARE(messages[0].toObject()[QStringLiteral("caption")].toString(), QStringLiteral("Saved All"));
        QCOMPARE(json[QStringLiteral("title")].toString(), QStringLiteral("Korvex  -  [") + path + "]");
        QVERIFY(json[QStringLiteral("hex")].toBool());
        QCOMPARE(ReadAll(path), bytes);

        const uint32_t pe = Le(bytes, 60, 4);
        const QJsonObject edits = json[QStringLiteral("edits")].toObject();
        QCOMPARE(edits[QStringLiteral("EdLastPage")].toString(), Hex(Le(bytes, 2, 2), 4));
        QCOMPARE(edits[QStringLiteral("Ed_CS")].toString(), Hex(Le(bytes, 22, 2), 4));
        QCOMPARE(edits[QStringLiteral("EdMachine")].toString(), QStringLiteral("014C"));
        QCOMPARE(edits[QStringLiteral("EdDateStamp")].toString(), Hex(Le(bytes, pe + 8, 4), 8));
        QCOMPARE(edits[QStringLiteral("EdChar")].toString(), Hex(Le(bytes, pe + 22, 2), 4));
        QCOMPARE(edits[QStringLiteral("EdMagic")].toString(), QStringLiteral("010B"));
        QCOMPARE(edits[QStringLiteral("EdMajorLinker")].toString(), Hex(Le(bytes, pe + 26, 1), 2));
        QCOMPARE(edits[QStringLiteral("EdEntryPoint")].toString(), Hex(Le(bytes, pe + 40, 4), 8));
        QCOMPARE(edits[QStringLiteral("EdImageBase")].toString(), Hex(Le(bytes, pe + 52, 4), 8));
        QCOMPARE(edits[QStringLiteral("EdRva")].toString(), Hex(Le(bytes, pe + 116, 4), 8));
        const QJsonObject checks = json[QStringLiteral("checks")].toObject();
        const uint32_t characteristics = Le(bytes, pe + 22, 2);
        QCOMPARE(checks[QStringLiteral("CheckBoxDLL")].toBool(), (characteristics & 0x2000) != 0);
        QCOMPARE(checks[QStringLiteral("CheckBoxExec")].toBool(), (characteristics & 0x0002) != 0);

        const uint32_t count = Le(bytes, pe + 6, 2);
        const uint32_t table = pe + 24 + Le(bytes, pe + 20, 2);
        const uint32_t entry = Le(bytes, pe + 40, 4);
        const QJsonArray sections = json[QStringLiteral("sections")].toArray();
        QCOMPARE(uint32_t(sections.size()), count);
        QVERIFY(count > 0);
        bool entryFound = false;
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype header = table + 40 * i;
            const QJsonObject section = sections[int(i)].toObject();
            const QByteArray name = bytes.mid(header, 8);
            const uint32_t va = Le(bytes, header + 12, 4), vs = Le(bytes, header + 8, 4);
            const bool holds = va <= entry && entry < va + vs;
            entryFound = entryFound || holds;
            QCOMPARE(section[QStringLiteral("caption")].toString(),
                QString::fromLatin1(name.left(name.indexOf('\0') < 0 ? 8 : name.indexOf('\0')))
                    + (holds ? QStringLiteral("  *") : QString()));
            const QJsonArray texts = section[QStringLiteral("texts")].toArray();
            for (int r = 0; r < 9; ++r) {
                const int width = r == 6 || r == 7 ? 2 : 4;
                const int offset = r < 6 ? 8 + 4 * r : r == 6 ? 32 : r == 7 ? 34 : 36;
                QCOMPARE(texts[r].toString(), Hex(Le(bytes, header + offset, width), 8));
            }
            const uint32_t flags = Le(bytes, header + 36, 4);
            QCOMPARE(section[QStringLiteral("checks")].toArray()[5].toBool(), (flags & 0x40000000u) != 0);
            QCOMPARE(section[QStringLiteral("checks")].toArray()[7].toBool(), (flags & 0x20u) != 0);
        }
        QVERIFY(entryFound);
    }

    // Edits through the real controls reach exactly their bytes.
    void editsThroughTheControls()
    {
        const QString original = Source(QStringLiteral("/usr/share/nsis/Stubs/zlib-x86-ansi"));
        if (original.isEmpty())
            QSKIP("nsis-common is not installed");
        const QString path = CopyTo(FDir, original, QStringLiteral("edited stub.exe"));
        QByteArray expected = ReadAll(path);
        const uint32_t pe = Le(expected, 60, 4);
        const uint32_t table = pe + 24 + Le(expected, pe + 20, 2);
        auto put = [&](qsizetype offset, uint32_t value, int width) {
            for (int i = 0; i < width; ++i)
                expected[offset + i] = char(value >> (8 * i));
        };
        put(pe + 22, Le(expected, pe + 22, 2) ^ 0x2000, 2); // File is a DLL
        put(pe + 52, 0x10000000, 4); // image base
        put(table + 36, Le(expected, table + 36, 4) ^ 0x80000000u, 4); // first section writeable
        put(table + 40 + 32, 0x1234, 2); // relocations of the second

        const QJsonObject json = Snapshot({path, "--click", "CheckBoxDLL", "--type", "EdImageBase",
            "10000000", "--click", "S0.F6", "--toggle", "--type", "S1.R6", "4660", "--save"});
        QVERIFY(!json.isEmpty());
        const QJsonArray messages = json[QStringLiteral("messages")].toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].toObject()[QStringLiteral("text")].toString(), QStringLiteral("Save complete!"));
        QVERIFY(!json[QStringLiteral("hex")].toBool());
        QCOMPARE(ReadAll(path), expected);

        // Reopened, the window shows the new values.
        const QJsonObject again = Snapshot({path});
        QCOMPARE(again[QStringLiteral("edits")].toObject()[QStringLiteral("EdImageBase")].toString(),
            QStringLiteral("10000000"));
        QCOMPARE(again[QStringLiteral("sections")]
                     .toArray()[1]
                     .toObject()[QStringLiteral("texts")]
                     .toArray()[6]
                     .toString(),
            QStringLiteral("00001234"));
    }

    // The DOS header's other words, the sixteen file characteristics bits and the section names
    // as the window shows them and as pefile reads them, before and after an edit of each kind.
    void newFieldsMatchPefile_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("PE32 plug-in") << QStringLiteral("/usr/share/nsis/Plugins/x86-ansi/System.dll");
        QTest::newRow("PE32 stub") << QStringLiteral("/usr/share/nsis/Stubs/zlib-x86-ansi");
        QTest::newRow("PE32+ plug-in") << QStringLiteral("/usr/share/nsis/Plugins/amd64-unicode/Banner.dll");
    }
    void newFieldsMatchPefile()
    {
        QFETCH(QString, source);
        const QString original = Source(source);
        if (original.isEmpty() || Pefile(original).isEmpty())
            QSKIP(
                "file or pefile not installed (scripts/install-deps test installs nsis and python3-pefile)");
        const QString path = CopyTo(FDir, original, QStringLiteral("fields.exe"));
        const QJsonObject read = Pefile(path);
        const QJsonObject json = Snapshot({path});
        const QJsonObject edits = json[QStringLiteral("edits")].toObject();
        const QJsonObject dos = read[QStringLiteral("dos")].toObject();
        const std::pair<const char*, const char*> words[]
            = {{"EdRelocs", "e_crlc"}, {"EdRelocTable", "e_lfarlc"}, {"EdOverlay", "e_ovno"},
                {"EdOemId", "e_oemid"}, {"EdOemInfo", "e_oeminfo"}};
        for (const auto& [box, name] : words)
            QCOMPARE(edits[QLatin1String(box)].toString(), Hex(dos[QLatin1String(name)].toInteger(), 4));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(
                edits[QString("EdRes%1").arg(i)].toString(), Hex(dos["e_res"].toArray()[i].toInteger(), 4));
        for (int i = 0; i < 10; ++i)
            QCOMPARE(edits[QString("EdRes2_%1").arg(i)].toString(),
                Hex(dos["e_res2"].toArray()[i].toInteger(), 4));
        QCOMPARE(edits[QStringLiteral("EdLfanew")].toString(), Hex(dos["e_lfanew"].toInteger(), 8));
        const qint64 characteristics = read[QStringLiteral("characteristics")].toInteger();
        const QJsonObject checks = json[QStringLiteral("checks")].toObject();
        const std::pair<const char*, int> bits[] = {{"CheckBoxFileRelocsStripped", 0x1},
            {"CheckBoxFileLineNumsStripped", 0x4}, {"CheckBoxFileLocalSymsStripped", 0x8},
            {"CheckBoxFileLargeAddressAware", 0x20}, {"CheckBoxFileDebugStripped", 0x200},
            {"CheckBoxExec", 0x2}, {"CheckBox32Bit", 0x100}, {"CheckBoxDLL", 0x2000}};
        for (const auto& [box, bit] : bits)
            QCOMPARE(checks[QLatin1String(box)].toBool(), (characteristics & bit) != 0);
        const QJsonArray names = read[QStringLiteral("names")].toArray();
        QCOMPARE(json[QStringLiteral("sections")].toArray().size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(edits[QString("S%1.Name").arg(i)].toString(), names[i].toString());

        // One edit of each kind; pefile reads them back and nothing else changed.
        const QByteArray before = ReadAll(path);
        const QJsonObject saved = Snapshot({path, "--type", "EdOemId", "1234", "--type", "EdRes2_9", "BEEF",
            "--click", "CheckBoxFileLargeAddressAware", "--type", "S0.Name", "k\u00e9y", "--save"});
        QCOMPARE(saved[QStringLiteral("messages")].toArray().size(), 1);
        QCOMPARE(saved[QStringLiteral("messages")].toArray()[0].toObject()[QStringLiteral("text")].toString(),
            QStringLiteral("Save complete!"));
        const QJsonObject after = Pefile(path);
        QCOMPARE(after["dos"]["e_oemid"].toInteger(), 0x1234);
        QCOMPARE(after["dos"]["e_res2"].toArray()[9].toInteger(), 0xBEEF);
        QCOMPARE(after["characteristics"].toInteger(), characteristics ^ 0x20);
        QCOMPARE(after["names"].toArray()[0].toString(), QString::fromUtf8("k\xC3\xA9y"));
        QCOMPARE(after["raw0"].toString(), QStringLiteral("6be9790000000000"));
        int changed = 0;
        const QByteArray now = ReadAll(path);
        for (qsizetype i = 0; i < now.size(); ++i)
            changed += now[i] != before[i];
        QVERIFY2(changed <= 2 + 2 + 1 + 8, qPrintable(QString::number(changed)));

        // Someone else's file, opened by a user who may only read it: shown whole, not saved.
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            return;
        QFile::setPermissions(
            path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
        QFile::setPermissions(
            FDir.path(), QFile::permissions(FDir.path()) | QFile::ExeOther | QFile::ReadOther);
        const QJsonObject foreign = RunSnapshot("setpriv",
            {"--reuid=65534", "--regid=65534", "--clear-groups", KORVEX_SNAPSHOT, path, "--type", "EdOemId",
                "1", "--save"});
        QCOMPARE(foreign[QStringLiteral("title")].toString(), "Korvex  -  [" + path + "] [read-only] *");
        QCOMPARE(foreign[QStringLiteral("edits")].toObject()[QStringLiteral("S0.Name")].toString(),
            QString::fromUtf8("k\xC3\xA9y"));
        QVERIFY(!foreign["buttons"]["ButSave"]["enabled"].toBool());
        QCOMPARE(ReadAll(path), now);
    }

    void unusableFilesAreReported()
    {
        const QString missing = FDir.filePath(QStringLiteral("no such file.exe"));
        const QJsonObject json = Snapshot({missing});
        const QJsonArray messages = json[QStringLiteral("messages")].toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].toObject()[QStringLiteral("text")].toString(),
            QStringLiteral("Cannot open file ") + missing);
        QCOMPARE(json[QStringLiteral("title")].toString(), QStringLiteral("Korvex"));

        const QString text = FDir.filePath(QStringLiteral("text.exe"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("hello");
        file.close();
        const QJsonObject rejected = Snapshot({text, "--save", "--toggle"});
        const QJsonArray shown = rejected[QStringLiteral("messages")].toArray();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].toObject()[QStringLiteral("text")].toString(),
            QStringLiteral("The file does not have a valid MZ or PE header."));
        QCOMPARE(ReadAll(text), QByteArray("hello"));
    }
};

QTEST_GUILESS_MAIN(SnapshotEndToEndTest)
#include "SnapshotEndToEndTest.moc"
