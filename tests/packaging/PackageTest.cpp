// `cmake --install` and the Debian package, both from this build tree: exactly the expected
// files, dependencies found by dpkg-shlibdeps, and lintian finding no error.
#include "PackagingTestSupport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Where a file an install puts under its prefix lands in the package: under /usr, with the
// manual pages and the changelog compressed as Debian wants them.
QString PackagedPath(const QString& installed)
{
    static const QRegularExpression manPage("/man/man[1-9]/[^/]+\\.[1-9]$");
    static const QRegularExpression changelog("/doc/[^/]+/changelog$");
    QString path = "usr/" + installed;
    if (manPage.match(path).hasMatch() || changelog.match(path).hasMatch())
        path += ".gz";
    return path;
}

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class PackageTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FWork;
    QString FDeb;
    QString FRoot; // the package unpacked

private slots:
    void initTestCase()
    {
        const QStringList missing = MissingTools({"dpkg-deb", "dpkg-shlibdeps", "lintian", "file", "gzip"});
        if (!missing.isEmpty())
            QFAIL(qPrintable(MissingToolsMessage(missing)));
        QVERIFY(FWork.isValid());
        // One package for all checks, made from this tree's install rules and binaries.
        const ToolRun cpack = RunTool(KORVEX_CPACK,
            {"--config", KORVEX_BINARY_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", FWork.filePath("deb")});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.Describe()));
        const QStringList debs = QDir(FWork.filePath("deb")).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(debs,
            QStringList{"korvex_" KORVEX_VERSION "_" + RunTool("dpkg", {"--print-architecture"}).out.trimmed()
                + ".deb"});
        FDeb = FWork.filePath("deb/" + debs.constFirst());
        FRoot = FWork.filePath("root");
        const ToolRun unpack = RunTool("dpkg-deb", {"-x", FDeb, FRoot});
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.Describe()));
    }

    void installPutsExactlyTheFiles()
    {
        const QString prefix = FWork.filePath("prefix");
        const ToolRun install = RunTool(KORVEX_CMAKE, {"--install", KORVEX_BINARY_DIR, "--prefix", prefix});
        QVERIFY2(install.exitCode == 0, qPrintable(install.Describe()));
        QCOMPARE(FilesUnder(prefix), Sorted(ListFromCMake(KORVEX_INSTALLED)));
        for (const QString& program : ListFromCMake(KORVEX_PROGRAMS))
            QVERIFY2(QFileInfo(prefix + "/bin/" + program).isExecutable(), qPrintable(program));
    }

    void packageHoldsExactlyTheFiles()
    {
        QStringList expected;
        for (const QString& installed : ListFromCMake(KORVEX_INSTALLED))
            expected << PackagedPath(installed);
        QCOMPARE(FilesUnder(FRoot), Sorted(expected));
        for (const QString& program : ListFromCMake(KORVEX_PROGRAMS))
            QVERIFY2(QFileInfo(FRoot + "/usr/bin/" + program).isExecutable(), qPrintable(program));
        for (const QString& file : expected) {
            if (file.endsWith(".gz")) {
                const ToolRun test = RunTool("gzip", {"-t", FRoot + '/' + file});
                QVERIFY2(test.exitCode == 0, qPrintable(file + ": " + test.Describe()));
            }
        }
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("name") << "Package"
                              << "^korvex$";
        QTest::newRow("version") << "Version"
                                 << "^" + QRegularExpression::escape(KORVEX_VERSION) + "$";
        // dpkg-shlibdeps found the libraries the programs link.
        QTest::newRow("C library") << "Depends"
                                   << "(^|, )libc6 \\(>= [0-9.]+\\)";
        QTest::newRow("Qt widgets") << "Depends"
                                    << "(^|, )libqt6widgets6 \\(>= [0-9.]+\\)";
        QTest::newRow("C++ library") << "Depends"
                                     << "(^|, )libstdc\\+\\+6 \\(>= [0-9.]+\\)";
        QTest::newRow("maintainer") << "Maintainer"
                                    << "^[^<>]+ <[^@<>]+@[^@<>]+>$";
        QTest::newRow("section") << "Section"
                                 << "^devel$";
    }
    void controlFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, pattern);
        const ToolRun fields = RunTool("dpkg-deb", {"-f", FDeb, field});
        QVERIFY2(fields.exitCode == 0, qPrintable(fields.Describe()));
        const QString value = fields.out.trimmed();
        QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(), qPrintable(field + ": " + value));
    }

    // Errors fail; warnings and notes are listed in the test's output.
    void lintianFindsNoError()
    {
        const ToolRun lintian = RunTool("lintian", {"--info", "--display-info", FDeb});
        QVERIFY2(lintian.started, "lintian did not start");
        QStringList errors;
        for (const QString& line : lintian.out.split('\n')) {
            if (line.startsWith("E: "))
                errors << line;
            else if (line.startsWith("W: ") || line.startsWith("I: "))
                qInfo("lintian: %s", qPrintable(line));
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        // By default lintian fails only on errors, and on its own failures.
        QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.Describe()));
    }

    // The command-line tool runs from the package and names the project's version.
    void cliVersionFromPackage()
    {
        if (!ListFromCMake(KORVEX_PROGRAMS).contains("korvex-cli"))
            QSKIP("this tree has no korvex-cli");
        const ToolRun version = RunTool(FRoot + "/usr/bin/korvex-cli", {"--version"});
        QVERIFY2(version.exitCode == 0, qPrintable(version.Describe()));
        QVERIFY2(
            QRegularExpression("(^|[^0-9.])" + QRegularExpression::escape(KORVEX_VERSION) + "($|[^0-9.])")
                .match(version.out)
                .hasMatch(),
            qPrintable(version.out));
    }
};

QTEST_GUILESS_MAIN(PackageTest)
#include "PackageTest.moc"
