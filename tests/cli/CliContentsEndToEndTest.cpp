// End to end on real files nobody here wrote: every value pefile reads from the directories
// (pefile_contents.py prints them in the shape of the `contents` object) is what
// `korvex-cli show --contents --json` prints, and a sound file gives no anomaly.
#include "CliTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every value of expected, recursively, is in actual; arrays have the same length.
void Compare(
    const QJsonValue& expected, const QJsonValue& actual, const QString& path, QStringList& differences)
{
    if (expected.isObject()) {
        const QJsonObject want = expected.toObject();
        const QJsonObject have = actual.toObject();
        for (auto it = want.begin(); it != want.end(); ++it) {
            if (!have.contains(it.key()))
                differences << path + "." + it.key() + " missing";
            else
                Compare(it.value(), have.value(it.key()), path + "." + it.key(), differences);
        }
    } else if (expected.isArray()) {
        const QJsonArray want = expected.toArray();
        const QJsonArray have = actual.toArray();
        if (want.size() != have.size()) {
            differences << QString("%1: %2 items, korvex-cli %3").arg(path).arg(want.size()).arg(have.size());
            return;
        }
        for (qsizetype i = 0; i < want.size(); ++i)
            Compare(want[i], have[i], QString("%1[%2]").arg(path).arg(i), differences);
    } else if (expected != actual) {
        differences << path + ": pefile " + QJsonDocument(QJsonArray{expected}).toJson(QJsonDocument::Compact)
                + ", korvex-cli " + QJsonDocument(QJsonArray{actual}).toJson(QJsonDocument::Compact);
    }
}

} // namespace

class CliContentsEndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir FBuilt;

    // An ARM64 image with an exception table (.pdata): no Debian package ships one, so clang and
    // lld-link build it from three functions.
    QString Arm64Image()
    {
        const QString source = FBuilt.filePath("arm64.c"), object = FBuilt.filePath("arm64.obj");
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly))
            return source;
        file.write("void g(volatile int* p) { for (int i = 0; i < 8; ++i) p[i] = i; }\n"
                   "int f(int n) { volatile int a[8]; g(a); return a[n & 7] + n; }\n"
                   "int start(void) { return f(3); }\n");
        file.close();
        RunTool("/usr/bin/clang", {"--target=aarch64-pc-windows-msvc", "-O1", "-c", source, "-o", object});
        const QString image = FBuilt.filePath("arm64.exe");
        RunTool("/usr/bin/lld-link",
            {"/entry:start", "/subsystem:console", "/nodefaultlib", object, "/out:" + image});
        return image;
    }

private slots:
    void AgreesWithPefile_data()
    {
        QTest::addColumn<QString>("file");
        QStringList files = RealFiles();
        // Signed EFI images (a certificate table in the overlay) and a .NET assembly (CLR header).
        for (const QString& name : QDir(QStringLiteral("/usr/lib/shim")).entryList({"*.efi*"}, QDir::Files))
            files << "/usr/lib/shim/" + name;
        files << QStringLiteral("/usr/lib/mono/4.5/mscorlib.dll");
        // Built by MSVC's linker (a Rich header): an NSIS installer, an AutoIt script, InstallShield.
        for (const char* name : {"clam-nsis.exe", "clam.ea06.exe", "clam_ISmsi_int.exe"})
            files << QStringLiteral("/usr/share/clamav-testfiles/") + name;
        files << Arm64Image();
        for (const QString& file : files) {
            QFile image(file);
            // NSIS's stubs without a PE header are no case for the directories.
            if (image.open(QIODevice::ReadOnly) && image.read(2) == "MZ")
                QTest::newRow(qPrintable(file)) << file;
        }
    }

    void AgreesWithPefile()
    {
        QFETCH(QString, file);
        QVERIFY2(QFile::exists(file), "installed by scripts/install-deps test");
        const ToolRun pefile
            = RunTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral(PEFILE_CONTENTS), file});
        QVERIFY2(pefile.status == 0, pefile.err.constData());
        const ToolRun korvex = RunCliTool({"show", "--contents", "--json", file});
        QCOMPARE(korvex.status, 0);
        const QJsonObject contents
            = QJsonDocument::fromJson(korvex.out).object().value("contents").toObject();
        QVERIFY(!contents.isEmpty());

        QStringList differences;
        Compare(QJsonDocument::fromJson(pefile.out).object(), contents, "contents", differences);
        QVERIFY2(differences.isEmpty(), qPrintable(differences.mid(0, 10).join('\n')));
        QCOMPARE(contents.value("anomalies").toArray(), QJsonArray());
    }

    // The same files: each property `check` reports is what pefile's reading of the flags, the
    // load config, the debug and CLR directories and the sections gives.
    void HardeningAgreesWithPefile_data() { AgreesWithPefile_data(); }

    void HardeningAgreesWithPefile()
    {
        QFETCH(QString, file);
        const ToolRun pefile
            = RunTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral(PEFILE_HARDENING), file});
        QVERIFY2(pefile.status == 0, pefile.err.constData());
        const ToolRun korvex = RunCliTool({"check", "--json", file});
        QCOMPARE(korvex.status, 0);
        QJsonObject states;
        for (const QJsonValue& row :
            QJsonDocument::fromJson(korvex.out).object().value("properties").toArray())
            states[row["name"].toString()] = row["state"];
        QStringList differences;
        Compare(QJsonDocument::fromJson(pefile.out).object(), states, "check", differences);
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join('\n')));
    }
};

QTEST_GUILESS_MAIN(CliContentsEndToEndTest)
#include "CliContentsEndToEndTest.moc"
