// korvex-cli diff and set-timestamps end to end: real files against themselves and against
// copies patched by korvex-cli set, and two builds of one DLL by Debian's MinGW-w64 cross
// compiler, which differ only in the time stamps the linker wrote and are made identical.
#include "CliTestSupport.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

QJsonObject ShownJson(const QString& file)
{
    return QJsonDocument::fromJson(RunCliTool({"show", "--json", file}).out).object();
}

QStringList PeFiles()
{
    QStringList files = RealFiles();
    for (const QString& name : QDir(QStringLiteral("/usr/lib/shim")).entryList({"*.efi*"}, QDir::Files))
        files << "/usr/lib/shim/" + name;
    files << QStringLiteral("/usr/lib/mono/4.5/mscorlib.dll");
    QStringList pe;
    for (const QString& file : files) {
        // NSIS's stubs without a PE header are refused by diff (exit status 3), as by show --contents.
        if (ShownJson(file).value("format").toString().startsWith("PE"))
            pe << file;
    }
    return pe;
}

// diff --json's lines by name.
QMap<QString, QJsonObject> DiffLines(const QByteArray& out)
{
    QMap<QString, QJsonObject> lines;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.isEmpty()) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            lines.insert(object.value("name").toString(), object);
        }
    }
    return lines;
}

// Builds ../a.c as a.dll in folder (the linker derives the image base from the output's name,
// so both builds are named alike).
bool BuildDll(const QString& folder, bool timestamp)
{
    QDir().mkpath(folder);
    QProcess gcc;
    gcc.setWorkingDirectory(folder);
    QStringList arguments{"-shared", "-O2", "-o", "a.dll", "../a.c"};
    if (!timestamp)
        arguments << "-Wl,--no-insert-timestamp";
    gcc.start(QStringLiteral("x86_64-w64-mingw32-gcc"), arguments);
    return gcc.waitForFinished(120000) && gcc.exitStatus() == QProcess::NormalExit && gcc.exitCode() == 0;
}

} // namespace

class CliDiffEndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    qint64 FBuildStart = 0, FBuildEnd = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QFile source(FDir.filePath("a.c"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("__declspec(dllexport) int twice(int x) { return 2 * x; }\n"
                     "__declspec(dllexport) const char* name(void) { return \"korvex\"; }\n");
        source.close();
        FBuildStart = QDateTime::currentSecsSinceEpoch();
        QVERIFY2(
            BuildDll(FDir.filePath("stamped"), true), "x86_64-w64-mingw32-gcc: scripts/install-deps test");
        QThread::sleep(1);
        QVERIFY(BuildDll(FDir.filePath("plain"), false));
        FBuildEnd = QDateTime::currentSecsSinceEpoch();
    }

    void SameFileIsEqual_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString& file : PeFiles())
            QTest::newRow(qPrintable(file)) << file;
    }

    void SameFileIsEqual()
    {
        QFETCH(QString, file);
        const ToolRun run = RunCliTool({"diff", file, file});
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.status, 0);
    }

    void PatchedCopyNamesThePatch_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("assignments");
        const QString mingw = "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll";
        QTest::newRow("PE32+ DLL, flags and a section")
            << mingw
            << QStringList{"DllCharacteristics=0x40", "section.1.Characteristics=0x60000020",
                   "MajorImageVersion=3", "--checksum"};
        QTest::newRow("PE32 stub, machine and subsystem")
            << "/usr/share/nsis/Stubs/zlib-x86-unicode" << QStringList{"Machine=0x8664", "Subsystem=3"};
        QTest::newRow("EFI image, a directory and the DOS header")
            << "/usr/lib/systemd/boot/efi/systemd-bootx64.efi"
            << QStringList{"e_cblp=0x91", "e_oemid=7", "directory.Architecture.Size=16",
                   "section.0.NumberOfLinenumbers=2"};
    }

    void PatchedCopyNamesThePatch()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, assignments);
        const QString copy = FDir.filePath("patched");
        QFile::remove(copy);
        QVERIFY(QFile::copy(file, copy));
        QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const ToolRun set = RunCliTool(QStringList{"set", copy} + assignments);
        QVERIFY2(set.status == 0, set.err.constData());

        const ToolRun diff = RunCliTool({"diff", "--json", file, copy});
        QCOMPARE(diff.status, 1);
        const QMap<QString, QJsonObject> lines = DiffLines(diff.out);
        // Each assignment is named with the value set (set prints "NAME: old -> new" for each).
        QSet<QString> expected;
        for (const QByteArray& line : set.out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QString name = QString::fromUtf8(line.left(line.indexOf(':')));
            expected.insert(name);
            const QString assigned = assignments.filter(QRegularExpression("^" + name + "=")).value(0);
            if (!assigned.isEmpty()) {
                bool ok = false;
                QCOMPARE(
                    lines.value(name).value("new").toInteger(), assigned.section('=', 1).toLongLong(&ok, 0));
            }
        }
        const QList<QString> named = lines.keys();
        QCOMPARE(QSet<QString>(named.begin(), named.end()), expected);
    }

    void BuildsDifferOnlyInTheirTimeStamps()
    {
        const ToolRun diff
            = RunCliTool({"diff", "--json", FDir.filePath("stamped/a.dll"), FDir.filePath("plain/a.dll")});
        QCOMPARE(diff.status, 1);
        const QMap<QString, QJsonObject> lines = DiffLines(diff.out);
        // The linker wrote the time of the build into the file header and the export directory,
        // and the checksum covers them; without the stamp it writes 0.
        const QList<QString> named = lines.keys();
        QCOMPARE(QSet<QString>(named.begin(), named.end()),
            (QSet<QString>{"TimeDateStamp", "exports.TimeDateStamp", "CheckSum"}));
        for (const char* stamp : {"TimeDateStamp", "exports.TimeDateStamp"}) {
            const qint64 old = lines.value(stamp).value("old").toInteger();
            QVERIFY2(old >= FBuildStart && old <= FBuildEnd, stamp);
            QCOMPARE(lines.value(stamp).value("new").toInteger(), 0);
        }
    }

    void SetTimestampsMakesTheBuildsIdentical()
    {
        QStringList copies;
        for (const char* build : {"stamped", "plain"}) {
            copies << FDir.filePath(QString(build) + ".dll");
            QFile::remove(copies.back());
            QVERIFY(QFile::copy(FDir.filePath(QString(build) + "/a.dll"), copies.back()));
        }
        const QByteArray before = ReadAll(copies[0]);
        QVERIFY(RunCliTool(QStringList{"set-timestamps", "--dry-run"} + copies).status == 0);
        QCOMPARE(ReadAll(copies[0]), before);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SOURCE_DATE_EPOCH", "1700000000");
        const ToolRun run
            = RunTool(QStringLiteral(KORVEX_CLI), QStringList{"set-timestamps"} + copies, environment);
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(RunTool(QStringLiteral("/usr/bin/cmp"), copies).status, 0);
        QCOMPARE(RunCliTool({"checksum", copies[0]}).status, 0);
        // objdump reads the file header's and the export directory's stamps as the one given.
        const ToolRun objdump = RunTool(QStringLiteral("/usr/bin/objdump"), {"-p", copies[0]});
        QVERIFY(objdump.out.contains("Time/Date\t\tTue Nov 14 22:13:20 2023"));
        QVERIFY(objdump.out.contains("Time/Date stamp \t\t6553f100"));
    }

    // pefile reads every stamp of every real file as the one given, and the checksum as stored.
    void SetTimestampsAgreesWithPefile()
    {
        QStringList copies;
        for (const QString& file : PeFiles()) {
            copies << FDir.filePath("stamps-" + QString::number(copies.size()));
            QVERIFY(QFile::copy(file, copies.back()));
            QFile(copies.back()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        const ToolRun run
            = RunCliTool(QStringList{"set-timestamps", "--break-signature", "--time", "0x11111111"} + copies);
        QVERIFY2(run.status == 0, run.err.constData());
        const ToolRun pefile = RunTool(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(PEFILE_STAMPS), QStringLiteral("0x11111111")} + copies);
        QVERIFY2(pefile.status == 0, pefile.err.constData());
        QCOMPARE(pefile.out.trimmed(), QByteArray("[]"));
    }

    void SignedFileNeedsBreakSignature()
    {
        const QString copy = FDir.filePath("signed.efi");
        QFile::remove(copy);
        QVERIFY2(QFile::copy("/usr/lib/shim/fbx64.efi.signed", copy), "shim-helpers-amd64-signed");
        QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const QByteArray before = ReadAll(copy);
        QCOMPARE(RunCliTool({"set-timestamps", "--time", "5", copy}).status, 1); // refused as set refuses
        QCOMPARE(ReadAll(copy), before);
        QCOMPARE(RunCliTool({"set-timestamps", "--time", "5", "--break-signature", copy}).status, 0);
        QCOMPARE(ShownJson(copy).value("TimeDateStamp").toInteger(), 5);
    }
};

QTEST_GUILESS_MAIN(CliDiffEndToEndTest)
#include "CliDiffEndToEndTest.moc"
