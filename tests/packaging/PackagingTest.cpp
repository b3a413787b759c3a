// Korvex as a Debian desktop citizen, checked with Debian's own tools: the desktop entry, the
// AppStream metadata and the manual pages validate and agree with the programs; an install
// and the package made from this build tree hold exactly the expected files; dpkg-shlibdeps
// found the dependencies and lintian finds no error.
#include "hexviewer/FrmHex.h"
#include "viewer/FrmAbout.h"
#include "viewer/FrmView.h"

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDirIterator>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <map>

namespace {

const QString kAppId = QStringLiteral("io.github.korvex.Korvex");

QString Source(const QString& relative)
{
    return QStringLiteral(KORVEX_SOURCE_DIR "/") + relative;
}

QStringList FromCMake(const char* list)
{
    return QString::fromUtf8(list).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
    QString Describe() const { return QStringLiteral("exit %1\n%2%3").arg(exitCode).arg(out, err); }
};

ToolRun Run(const QString& program, const QStringList& arguments,
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    environment.insert("LC_ALL", "C.UTF-8"); // man renders as lintian has it render
    environment.insert("MANWIDTH", "80");
    environment.insert("MANROFFSEQ", "");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolRun run;
    if (process.waitForStarted() && process.waitForFinished(5 * 60 * 1000)
        && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Every file under root, relative to it, sorted.
QStringList FilesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The metainfo's texts of an element, or its values of an attribute, in document order.
QStringList Metainfo(const QString& element, const QString& attribute = {})
{
    QStringList values;
    QXmlStreamReader xml(ReadText(Source("packaging/" + kAppId + ".metainfo.xml")));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != element)
            continue;
        values << (attribute.isEmpty() ? xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed()
                                       : xml.attributes().value(attribute).toString());
    }
    return values;
}

std::map<QString, QString> DesktopEntry()
{
    std::map<QString, QString> keys;
    for (const QString& line : ReadText(Source("packaging/" + kAppId + ".desktop")).split('\n'))
        if (line.contains('=') && !line.startsWith('#'))
            keys[line.section('=', 0, 0)] = line.section('=', 1);
    return keys;
}

// The dialog or main window an object lies in (the main window holds the viewer's dialog).
const QObject* OwnerWindow(const QObject* object)
{
    for (object = object->parent(); object; object = object->parent()) {
        if (qobject_cast<const QDialog*>(object) || qobject_cast<const QMainWindow*>(object))
            return object;
    }
    return nullptr;
}

QStringList Shortcuts(const QWidget& window)
{
    QStringList keys;
    for (QAction* action : window.findChildren<QAction*>())
        if (!action->shortcut().isEmpty() && OwnerWindow(action) == &window)
            keys << action->shortcut().toString();
    return keys;
}

} // namespace

class PackagingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FWork;
    std::map<QString, QString> FDebs; // package name: its file
    QString FRoot; // both packages unpacked

private slots:
    void initTestCase()
    {
        QStringList missing;
        for (const char* tool : {"desktop-file-validate", "appstreamcli", "man", "dpkg-parsechangelog",
                 "dpkg-deb", "dpkg-shlibdeps", "file", "lintian"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                missing << tool;
        QVERIFY2(missing.isEmpty(),
            qPrintable("missing " + missing.join(", ") + ": run scripts/install-deps test"));
        // One package for the checks below, made from this tree's install rules and programs.
        const ToolRun cpack = Run(KORVEX_CPACK,
            {"--config", KORVEX_BINARY_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", FWork.filePath("deb")});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.Describe()));
        const QString arch = Run("dpkg", {"--print-architecture"}).out.trimmed();
        QStringList names;
        FRoot = FWork.filePath("root");
        for (const QString package : {"korvex-cli", "korvex"}) {
            FDebs[package] = FWork.filePath("deb/" + package + "_" KORVEX_VERSION "_" + arch + ".deb");
            names << QFileInfo(FDebs[package]).fileName();
            QCOMPARE(Run("dpkg-deb", {"-x", FDebs[package], FRoot}).exitCode, 0);
        }
        QCOMPARE(QDir(FWork.filePath("deb")).entryList({"*.deb"}), names);
    }

    void validates_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop entry")
            << "desktop-file-validate" << QStringList{Source("packaging/" + kAppId + ".desktop")};
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{"validate", "--no-net",
                                         Source("packaging/" + kAppId + ".metainfo.xml")};
        // As lintian renders a manual page: any groff warning counts.
        for (const QString& program : FromCMake(KORVEX_PROGRAMS))
            QTest::newRow(qPrintable("man " + program))
                << "man"
                << QStringList{"--warnings", "-l", "-Tutf8", "-Z",
                       KORVEX_BINARY_DIR "/packaging/man/" + program + ".1"};
    }
    void validates()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        const ToolRun run = Run(tool, arguments);
        // A manual page's rendered text may well say "error"; only the tool's complaints count.
        const bool outComplains = tool != "man" && run.out.contains("error");
        QVERIFY2(
            run.exitCode == 0 && !outComplains && !run.err.contains("error") && !run.err.contains("warning"),
            qPrintable(run.Describe()));
        if (!run.out.trimmed().isEmpty() && tool != "man")
            qInfo("%s", qPrintable(run.out.trimmed()));
    }

    // The entry, the metadata, the icon, the changelog, the about box and the programs agree.
    void filesAgree()
    {
        auto entry = DesktopEntry();
        QCOMPARE(entry["Exec"], QStringLiteral("korvex %f"));
        QCOMPARE(entry["Categories"], QStringLiteral("Development;Utility;"));
        QCOMPARE(entry["MimeType"],
            QStringLiteral("application/x-msdownload;application/x-dosexec;application/"
                           "vnd.microsoft.portable-executable;application/x-ms-dos-executable;"));
        QCOMPARE(Metainfo("mediatype").join(';') + ';', entry["MimeType"]);
        QCOMPARE(Metainfo("launchable"), QStringList{kAppId + ".desktop"});
        QCOMPARE(entry["Icon"], kAppId);
        QVERIFY(QFile::exists(Source("packaging/" + kAppId + ".svg")));
        QVERIFY(FromCMake(KORVEX_PROGRAMS).contains(Metainfo("binary").value(0)));

        // Screenshots: the README's pictures, at the address of the docs folder.
        const QString readme = ReadText(Source("README.md"));
        QVERIFY(Metainfo("image").size() >= 3);
        for (const QString& image : Metainfo("image")) {
            const QString picture = "docs/" + image.section('/', -1);
            QVERIFY2(image.startsWith("https://") && image.endsWith('/' + picture), qPrintable(image));
            QVERIFY2(
                QFile::exists(Source(picture)) && readme.contains('(' + picture + ')'), qPrintable(picture));
        }

        // The newest release everywhere is the version project() gives.
        QCOMPARE(Metainfo("release", "version").value(0), QStringLiteral(KORVEX_VERSION));
        QCOMPARE(
            Run("dpkg-parsechangelog", {"-l", Source("packaging/changelog"), "-S", "Version"}).out.trimmed(),
            QStringLiteral(KORVEX_VERSION));
        TFrmAbout about;
        QCOMPARE(about.Label1->text(), QStringLiteral("Korvex v" KORVEX_VERSION));

        // The manual pages carry that version and the newest changelog entry's date.
        const qint64 stamp
            = Run("dpkg-parsechangelog", {"-l", Source("packaging/changelog"), "-S", "Timestamp"})
                  .out.toLongLong();
        const QString date = QDateTime::fromSecsSinceEpoch(stamp, Qt::UTC).toString("yyyy-MM-dd");
        for (const QString& program : FromCMake(KORVEX_PROGRAMS)) {
            const QString heading
                = ReadText(KORVEX_BINARY_DIR "/packaging/man/" + program + ".1").section('\n', 0, 0);
            QCOMPARE(heading,
                ".TH " + program.toUpper() + " 1 " + date
                    + " \"Korvex " KORVEX_VERSION "\" \"User Commands\"");
        }
    }

    // A file manager offers Korvex for .exe and .dll files: GIO, given the package's desktop entry
    // and program, names it for the type shared-mime-info gives real ones.
    void mimeAssociation()
    {
        if (QStandardPaths::findExecutable("gio").isEmpty()
            || QStandardPaths::findExecutable("update-desktop-database").isEmpty())
            QSKIP("gio or update-desktop-database missing: run scripts/install-deps test");
        const QString data = FWork.filePath("xdg");
        QVERIFY(QDir().mkpath(data + "/applications"));
        QVERIFY(QFile::copy(FRoot + "/usr/share/applications/" + kAppId + ".desktop",
            data + "/applications/" + kAppId + ".desktop"));
        QCOMPARE(Run("update-desktop-database", {data + "/applications"}).exitCode, 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", data);
        environment.insert("XDG_DATA_DIRS", "/usr/share");
        environment.insert("XDG_CONFIG_HOME", FWork.filePath("config"));
        environment.insert("PATH", FRoot + "/usr/bin:" + environment.value("PATH"));
        const QString exe = FWork.filePath("stub.exe");
        QVERIFY(QFile::copy("/usr/share/nsis/Stubs/zlib-x86-unicode", exe));
        const QStringList types = DesktopEntry()["MimeType"].split(';', Qt::SkipEmptyParts);
        for (const QString& file : {exe,
                 QDir("/usr/lib/gcc/x86_64-w64-mingw32")
                         .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)
                         .value(0)
                         .filePath()
                     + "/libssp-0.dll"}) {
            const ToolRun info = Run("gio", {"info", "-a", "standard::content-type", file}, environment);
            const QString type = info.out.section("standard::content-type: ", 1).trimmed();
            QVERIFY2(types.contains(type), qPrintable(file + ": " + info.Describe()));
            const ToolRun mime = Run("gio", {"mime", type}, environment);
            QVERIFY2(mime.out.contains("Registered applications:\n\t" + kAppId + ".desktop"),
                qPrintable(mime.Describe()));
        }
    }

    // Every shortcut of the main window and of the hex viewer has its line under KEYS, in
    // that window's part.
    void manPageNamesEveryShortcut()
    {
        const ToolRun page = Run("man", {"-l", Source("packaging/korvex.1")});
        const QString keys = page.out.section(QRegularExpression("\\nKEYS\\n"), 1)
                                 .section(QRegularExpression("\\n[A-Z][A-Z ]+\\n"), 0, 0);
        TFrmView view;
        const TFrmHex& viewer = *view.FrmHex;
        const std::pair<QString, const QWidget*> parts[]
            = {{keys.section("Hex viewer:", 0, 0), &view}, {keys.section("Hex viewer:", 1), &viewer}};
        QVERIFY(Shortcuts(view).size() >= 7 && Shortcuts(viewer).size() >= 5);
        for (const auto& [part, window] : parts) {
            for (const QString& key : Shortcuts(*window)) {
                const QRegularExpression line("^\\s+" + QRegularExpression::escape(key) + "\\s+\\S",
                    QRegularExpression::MultilineOption);
                QVERIFY2(line.match(part).hasMatch(), qPrintable(window->objectName() + ": " + key));
            }
        }
    }

    // cmake --install and the package put exactly the expected files: the package under /usr,
    // its manual pages and changelog compressed.
    void installAndPackageHoldTheFiles()
    {
        const QString prefix = FWork.filePath("prefix");
        const ToolRun install = Run(KORVEX_CMAKE, {"--install", KORVEX_BINARY_DIR, "--prefix", prefix});
        QVERIFY2(install.exitCode == 0, qPrintable(install.Describe()));
        QStringList installed = FromCMake(KORVEX_INSTALLED);
        installed.sort();
        QCOMPARE(FilesUnder(prefix), installed);

        const QRegularExpression compressed("(/man/man[1-9]/[^/]+\\.[1-9]|/doc/[^/]+/changelog)$");
        QStringList packaged;
        for (const QString& file : installed)
            packaged << "usr/" + file + (compressed.match(file).hasMatch() ? ".gz" : "");
        packaged.sort();
        QCOMPARE(FilesUnder(FRoot), packaged);
        for (const QString& program : FromCMake(KORVEX_PROGRAMS))
            QVERIFY2(QFileInfo(FRoot + "/usr/bin/" + program).isExecutable(), qPrintable(program));
    }

    void packageFieldsAndLintian_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QStringList>("needed"); // libraries it must depend on
        QTest::addColumn<QString>("refused"); // what its dependencies must not name
        QTest::newRow("korvex") << "korvex" << QStringList{"libc6", "libstdc\\+\\+6", "libqt6widgets6"}
                                << "korvex-cli";
        // The tool links the C++ runtime statically: a machine without Qt or g++'s runtime runs it.
        QTest::newRow("korvex-cli") << "korvex-cli" << QStringList{"libc6"} << "qt|libstdc|libgl|libx";
    }
    void packageFieldsAndLintian()
    {
        QFETCH(QString, package);
        QFETCH(QStringList, needed);
        QFETCH(QString, refused);
        const QString deb = FDebs[package];
        QCOMPARE(Run("dpkg-deb", {"-f", deb, "Package"}).out.trimmed(), package);
        QCOMPARE(Run("dpkg-deb", {"-f", deb, "Version"}).out.trimmed(), QStringLiteral(KORVEX_VERSION));
        const QString depends = Run("dpkg-deb", {"-f", deb, "Depends"}).out;
        for (const QString& library : needed)
            QVERIFY2(QRegularExpression(QStringLiteral("(^|, )%1 \\(>= [0-9.]+\\)").arg(library))
                         .match(depends)
                         .hasMatch(),
                qPrintable(depends));
        QVERIFY2(!depends.contains(QRegularExpression(refused)), qPrintable(depends));

        // Errors fail; warnings and notes are listed in the output.
        const ToolRun lintian = Run("lintian", {"--info", "--display-info", deb});
        const QStringList tags = lintian.out.split('\n').filter(QRegularExpression("^[EWI]: "));
        for (const QString& tag : tags)
            qInfo("lintian: %s", qPrintable(tag));
        QVERIFY2(tags.filter(QRegularExpression("^E: ")).isEmpty() && lintian.exitCode == 0,
            qPrintable(lintian.Describe()));
    }

    // Both programs run from their packages without a display and name the project's version;
    // the window's --help answers before it needs one.
    void versionFromPackages()
    {
        QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            headless.remove(display);
        for (const QString& program : FromCMake(KORVEX_PROGRAMS)) {
            const ToolRun version = Run(FRoot + "/usr/bin/" + program, {"--version"}, headless);
            QVERIFY2(version.exitCode == 0
                    && version.out.contains(QRegularExpression(
                        "(^|[^0-9.])" + QRegularExpression::escape(KORVEX_VERSION) + "($|[^0-9.])")),
                qPrintable(version.Describe()));
            const ToolRun help = Run(FRoot + "/usr/bin/" + program, {"--help"}, headless);
            QVERIFY2(help.exitCode == 0 && help.out.contains("korvex"), qPrintable(help.Describe()));
        }
    }
};

QTEST_MAIN(PackagingTest)
#include "PackagingTest.moc"
