// End to end on real PE32+ files nobody here wrote (NSIS's x64 plug-ins, systemd-boot's EFI
// images, MinGW-w64's runtime DLLs): korvex-snapshot opens them in the real window, and what it
// shows is compared with objdump's reading; saves leave them byte for byte as they were, edits
// reach exactly their bytes, and Recompute Checksum gives the checksum the saved file has.
#include "support/ImageBytes.h"
#include "support/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>

namespace {

// objdump -p: "Name value" lines of the optional header and the data directory entries.
struct Objdump {
    QMap<QString, quint64> fields;
    QList<QPair<quint64, quint64>> directories;
};

Objdump RunObjdump(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("objdump"), {QStringLiteral("-p"), path});
    Objdump result;
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return result;
    static const QRegularExpression field(R"(^(\w+)\s+([0-9a-fA-F]+)(\s|$))");
    static const QRegularExpression entry(R"(^Entry [0-9a-f] ([0-9a-f]+) ([0-9a-f]+) )");
    for (const QString& line : QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n')) {
        if (auto e = entry.match(line); e.hasMatch())
            result.directories.append(
                {e.captured(1).toULongLong(nullptr, 16), e.captured(2).toULongLong(nullptr, 16)});
        else if (auto f = field.match(line); f.hasMatch() && !result.fields.contains(f.captured(1)))
            result.fields[f.captured(1)]
                = f.captured(2).toULongLong(nullptr, f.captured(1).endsWith("Version") ? 10 : 16);
    }
    return result;
}

QStringList RealPe32PlusFiles()
{
    QStringList files;
    for (const QString& name :
        QDir("/usr/share/nsis/Plugins/amd64-unicode").entryList({"*.dll"}, QDir::Files).mid(0, 3))
        files << "/usr/share/nsis/Plugins/amd64-unicode/" + name;
    for (const QString& name : QDir("/usr/lib/systemd/boot/efi").entryList({"*.efi"}, QDir::Files))
        files << "/usr/lib/systemd/boot/efi/" + name;
    for (const QString& dir :
        QDir("/usr/lib/gcc/x86_64-w64-mingw32").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& name : QDir("/usr/lib/gcc/x86_64-w64-mingw32/" + dir)
                                       .entryList({"libssp*.dll", "libatomic*.dll"}, QDir::Files))
            files << "/usr/lib/gcc/x86_64-w64-mingw32/" + dir + "/" + name;
    return files;
}

} // namespace

class SnapshotPe32PlusEndToEndTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;

    QString Copy(const QString& source, const QString& name) { return CopyTo(FDir, source, name); }

private slots:
    void realFiles_data()
    {
        QTest::addColumn<QString>("source");
        const QStringList files = RealPe32PlusFiles();
        if (files.isEmpty() || QStandardPaths::findExecutable("objdump").isEmpty())
            QSKIP("no PE32+ files or no objdump (scripts/install-deps test installs them)");
        for (const QString& file : files)
            QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
    }

    // Opened and saved without edits: every box shows what objdump reads, the file is unchanged.
    void realFiles()
    {
        QFETCH(QString, source);
        const QString path = Copy(source, QStringLiteral("copy"));
        const QByteArray bytes = ReadAll(path);
        const QJsonObject json = Snapshot({path, QStringLiteral("--save")});
        QVERIFY(!json.isEmpty());
        const QJsonArray messages = json[QStringLiteral("messages")].toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].toObject()[QStringLiteral("text")].toString(), QStringLiteral("Save complete!"));
        QCOMPARE(ReadAll(path), bytes);

        const Objdump objdump = RunObjdump(source);
        const QJsonObject edits = json[QStringLiteral("edits")].toObject();
        const QJsonObject labels = json[QStringLiteral("labels")].toObject();
        auto shown = [&](const char* box) { return edits[QLatin1String(box)].toString(); };
        QCOMPARE(shown("EdMagic"), QStringLiteral("020B"));
        QCOMPARE(labels[QStringLiteral("LabelMagic")].toString(), QStringLiteral("PE32+"));
        QCOMPARE(labels[QStringLiteral("LabelMachine")].toString(), QStringLiteral("x64"));
        QCOMPARE(shown("EdBaseData"), QString());
        QCOMPARE(json[QStringLiteral("disabled")].toArray().first().toString(), QStringLiteral("EdBaseData"));
        const std::pair<const char*, const char*> eight[] = {{"EdImageBase", "ImageBase"},
            {"EdStackRes", "SizeOfStackReserve"}, {"EdStackCom", "SizeOfStackCommit"},
            {"EdHeapRes", "SizeOfHeapReserve"}, {"EdHeapCom", "SizeOfHeapCommit"}};
        for (const auto& [box, name] : eight)
            QCOMPARE(shown(box), Hex(objdump.fields.value(name), 16));
        const std::pair<const char*, const char*> four[] = {{"EdSectionAlign", "SectionAlignment"},
            {"EdSizeImage", "SizeOfImage"}, {"EdCheckSum", "CheckSum"}, {"EdLoaderFlags", "LoaderFlags"},
            {"EdRva", "NumberOfRvaAndSizes"}, {"EdEntryPoint", "AddressOfEntryPoint"}};
        for (const auto& [box, name] : four)
            QCOMPARE(shown(box), Hex(objdump.fields.value(name), 8));
        QCOMPARE(shown("EdDLLChar"), Hex(objdump.fields.value("DllCharacteristics"), 4));
        QCOMPARE(shown("EdSubsystem"), Hex(objdump.fields.value("Subsystem"), 4));
        const QJsonObject checks = json[QStringLiteral("checks")].toObject();
        const quint64 dll = objdump.fields.value("DllCharacteristics");
        QCOMPARE(checks[QStringLiteral("CheckBoxDllHighEntropyVA")].toBool(), (dll & 0x20) != 0);
        QCOMPARE(checks[QStringLiteral("CheckBoxDllDynamicBase")].toBool(), (dll & 0x40) != 0);
        QCOMPARE(checks[QStringLiteral("CheckBoxDllNxCompatible")].toBool(), (dll & 0x100) != 0);
        QCOMPARE(checks[QStringLiteral("CheckBoxDllTerminalServerAware")].toBool(), (dll & 0x8000) != 0);
        QCOMPARE(objdump.directories.size(), 16);
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(edits[QString("EdDirRva%1").arg(i)].toString(), Hex(objdump.directories[i].first, 8));
            QCOMPARE(edits[QString("EdDirSize%1").arg(i)].toString(), Hex(objdump.directories[i].second, 8));
        }
        // The stored checksum is right exactly where the plain computation says so.
        const quint32 sum = PlainChecksum(bytes);
        QCOMPARE(labels[QStringLiteral("LabelCheckSum")].toString(),
            Hex(sum, 8) + (sum == objdump.fields.value("CheckSum") ? ", matches" : ", differs"));
    }

    // Edits of every 8-byte field and of directory entries land on exactly their bytes; the
    // recomputed checksum is the saved file's.
    void editsAndChecksum()
    {
        const QStringList files = RealPe32PlusFiles();
        if (files.isEmpty())
            QSKIP("no PE32+ files installed");
        const QString path = Copy(files.first(), QStringLiteral("edited.dll"));
        QByteArray expected = ReadAll(path);
        const qsizetype optional = qsizetype(Le(expected, 60, 4)) + 24;
        Put(expected, optional + 24, 0x0000000180000000ull, 8);
        Put(expected, optional + 72, 0x0000000000400000ull, 8);
        Put(expected, optional + 80, 0xFFFFFFFFFFFFFFFFull, 8);
        Put(expected, optional + 88, 0x0000000000200000ull, 8);
        Put(expected, optional + 96, 0x0000000000002000ull, 8);
        Put(expected, optional + 112 + 8 * 4, 0x00012340, 4); // security directory
        Put(expected, optional + 112 + 8 * 4 + 4, 0x00000208, 4);
        Put(expected, optional + 70, Le(expected, optional + 70, 2) ^ 0x4000, 2); // control flow guard
        Put(expected, optional + 64, PlainChecksum(expected), 4);

        const QJsonObject json = Snapshot({path, "--type", "EdImageBase", "180000000", "--type", "EdStackRes",
            "400000", "--type", "EdStackCom", "ffffffffffffffff", "--toggle", "--type", "EdHeapRes",
            "2097152", "--type", "EdHeapCom", "8192", "--type", "EdDirRva4", "74560", "--type", "EdDirSize4",
            "520", "--click", "CheckBoxDllControlFlowGuard", "--trigger", "MnuCheckSum", "--save"});
        QVERIFY(!json.isEmpty());
        const QJsonArray messages = json[QStringLiteral("messages")].toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].toObject()[QStringLiteral("text")].toString(), QStringLiteral("Save complete!"));
        QCOMPARE(ReadAll(path), expected);
        QCOMPARE(json[QStringLiteral("labels")].toObject()[QStringLiteral("LabelCheckSum")].toString(),
            QString::number(PlainChecksum(expected)) + ", matches");
        // objdump reads the saved file as edited.
        const Objdump after = RunObjdump(path);
        QCOMPARE(after.fields.value("ImageBase"), 0x180000000ull);
        QCOMPARE(after.fields.value("SizeOfStackCommit"), 0xFFFFFFFFFFFFFFFFull);
        QCOMPARE(after.fields.value("CheckSum"), quint64(PlainChecksum(expected)));
        QCOMPARE(after.directories.value(4), (QPair<quint64, quint64>(0x12340, 0x208)));
    }
};

QTEST_GUILESS_MAIN(SnapshotPe32PlusEndToEndTest)
#include "SnapshotPe32PlusEndToEndTest.moc"
