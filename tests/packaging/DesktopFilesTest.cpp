// The files that make Korvex a desktop citizen: the desktop entry and the AppStream metadata
// pass Debian's validators and agree with each other and with what is installed, the manual
// pages render cleanly and name every shortcut the windows have, and every place that shows
// the version shows the project's.
#include "PackagingTestSupport.h"

#include "hexviewer/FrmHex.h"
#include "viewer/FrmAbout.h"
#include "viewer/FrmView.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

#include <map>

namespace {

const QString kAppId = QStringLiteral("io.github.korvex.Korvex");

QString ReadText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The keys of the desktop entry's main group.
std::map<QString, QString> DesktopEntry()
{
    std::map<QString, QString> keys;
    bool inGroup = false;
    for (const QString& line : ReadText(SourcePath("packaging/" + kAppId + ".desktop")).split('\n')) {
        if (line.startsWith('['))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.contains('=') && !line.startsWith('#'))
            keys[line.section('=', 0, 0)] = line.section('=', 1);
    }
    return keys;
}

// Texts of the metainfo's elements by name, in document order.
QStringList MetainfoTexts(const QString& element)
{
    QStringList texts;
    QXmlStreamReader xml(ReadText(SourcePath("packaging/" + kAppId + ".metainfo.xml")));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element)
            texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    }
    return texts;
}

QStringList ReleaseVersions()
{
    QStringList versions;
    QXmlStreamReader xml(ReadText(SourcePath("packaging/" + kAppId + ".metainfo.xml")));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("release"))
            versions << xml.attributes().value("version").toString();
    }
    return versions;
}

QProcessEnvironment ManEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    environment.insert("MANROFFSEQ", "");
    environment.insert("MANWIDTH", "80");
    return environment;
}

// Shortcut texts of a window's menu commands.
QStringList Shortcuts(const QWidget& window)
{
    QStringList keys;
    for (QAction* action : window.findChildren<QAction*>())
        if (!action->shortcut().isEmpty())
            keys << action->shortcut().toString();
    keys.sort();
    return keys;
}

} // namespace

class DesktopFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QStringList missing
            = MissingTools({"desktop-file-validate", "appstreamcli", "man", "dpkg-parsechangelog"});
        if (!missing.isEmpty())
            QFAIL(qPrintable(MissingToolsMessage(missing)));
    }

    void desktopEntryValidates()
    {
        const ToolRun run
            = RunTool("desktop-file-validate", {SourcePath("packaging/" + kAppId + ".desktop")});
        QVERIFY2(run.started && run.exitCode == 0, qPrintable(run.Describe()));
        QVERIFY2(!run.out.contains("error:") && !run.err.contains("error:"), qPrintable(run.Describe()));
        if (!run.out.isEmpty())
            qInfo("desktop-file-validate: %s", qPrintable(run.out.trimmed()));
    }

    void desktopEntryKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << "Type"
                              << "Application";
        QTest::newRow("name") << "Name"
                              << "Korvex";
        QTest::newRow("opens the file it is given") << "Exec"
                                                    << "korvex %f";
        QTest::newRow("icon") << "Icon" << kAppId;
        QTest::newRow("not in a terminal") << "Terminal"
                                           << "false";
        QTest::newRow("menus") << "Categories"
                               << "Development;Utility;";
        QTest::newRow("file types") << "MimeType"
                                    << "application/x-msdownload;application/x-dosexec;"
                                       "application/vnd.microsoft.portable-executable;";
    }
    void desktopEntryKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const auto keys = DesktopEntry();
        QVERIFY2(keys.count(key), qPrintable(key));
        QCOMPARE(keys.at(key), value);
    }

    void metainfoValidates()
    {
        const ToolRun run = RunTool(
            "appstreamcli", {"validate", "--no-net", SourcePath("packaging/" + kAppId + ".metainfo.xml")});
        QVERIFY2(run.started && run.exitCode == 0, qPrintable(run.Describe()));
    }

    // The entry, the metadata, the icon and the programs name each other consistently.
    void namesAgree()
    {
        const auto entry = DesktopEntry();
        QCOMPARE(MetainfoTexts("id"), QStringList{kAppId});
        QCOMPARE(MetainfoTexts("launchable"), QStringList{kAppId + ".desktop"});
        QVERIFY(QFile::exists(SourcePath("packaging/" + entry.at("Icon") + ".svg")));
        const QStringList programs = ListFromCMake(KORVEX_PROGRAMS);
        QVERIFY(programs.contains(entry.at("Exec").section(' ', 0, 0)));
        for (const QString& binary : MetainfoTexts("binary"))
            QVERIFY2(programs.contains(binary), qPrintable(binary));
        QCOMPARE(MetainfoTexts("mediatype").join(';') + ';', entry.at("MimeType"));
        QCOMPARE(MetainfoTexts("category").join(';') + ';', entry.at("Categories"));
    }

    // Screenshots are the README's pictures, at the address of the docs folder.
    void screenshotsAreTheReadmes()
    {
        const QStringList images = MetainfoTexts("image");
        QVERIFY(images.size() >= 3);
        const QString readme = ReadText(SourcePath("README.md"));
        for (const QString& image : images) {
            QVERIFY2(image.startsWith("https://"), qPrintable(image));
            const QString docsPath = "docs/" + image.section('/', -1);
            QVERIFY2(image.endsWith('/' + docsPath), qPrintable(image));
            QVERIFY2(QFile::exists(SourcePath(docsPath)), qPrintable(docsPath));
            QVERIFY2(readme.contains('(' + docsPath + ')'), qPrintable(docsPath));
        }
    }

    // The newest release everywhere is the version project() gives, and the about box shows it.
    void versionIsTheProjects()
    {
        const QString version = QStringLiteral(KORVEX_VERSION);
        QVERIFY(!ReleaseVersions().isEmpty());
        QCOMPARE(ReleaseVersions().constFirst(), version);
        const ToolRun changelog
            = RunTool("dpkg-parsechangelog", {"-l", SourcePath("packaging/changelog"), "-S", "Version"});
        QVERIFY2(changelog.exitCode == 0, qPrintable(changelog.Describe()));
        QCOMPARE(changelog.out.trimmed(), version);
        TFrmAbout about;
        QCOMPARE(about.Label1->text(), "Korvex v" + version);
    }

    void manPageRenders_data()
    {
        QTest::addColumn<QString>("program");
        for (const QString& program : ListFromCMake(KORVEX_PROGRAMS))
            QTest::newRow(qPrintable(program)) << program;
    }
    void manPageRenders()
    {
        QFETCH(QString, program);
        // As lintian renders it: every groff warning counts.
        const ToolRun run = RunTool("man",
            {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", SourcePath("packaging/" + program + ".1")},
            ManEnvironment());
        QVERIFY2(run.exitCode == 0 && run.err.trimmed().isEmpty(), qPrintable(run.Describe()));
        const ToolRun text
            = RunTool("man", {"-l", SourcePath("packaging/" + program + ".1")}, ManEnvironment());
        QVERIFY2(text.exitCode == 0, qPrintable(text.Describe()));
        const QRegularExpression name("^NAME\\n\\s+" + QRegularExpression::escape(program) + " - \\S",
            QRegularExpression::MultilineOption);
        QVERIFY2(name.match(text.out).hasMatch(), qPrintable(text.out.left(400)));
    }

    // Every shortcut of the main window and of the hex viewer has its line under KEYS, in
    // that window's part.
    void manPageNamesEveryShortcut()
    {
        const ToolRun text = RunTool("man", {"-l", SourcePath("packaging/korvex.1")}, ManEnvironment());
        QVERIFY2(text.exitCode == 0, qPrintable(text.Describe()));
        const QString keys = text.out.section(QRegularExpression("\\nKEYS\\n"), 1)
                                 .section(QRegularExpression("\\n[A-Z][A-Z ]+\\n"), 0, 0);
        const QString mainPart = keys.section("Hex viewer:", 0, 0);
        const QString viewerPart = keys.section("Hex viewer:", 1);
        QVERIFY(!mainPart.isEmpty() && !viewerPart.isEmpty());
        TFrmView view;
        TFrmHex viewer;
        QVERIFY(Shortcuts(view).size() >= 7);
        QVERIFY(Shortcuts(viewer).size() >= 5);
        for (const auto& [part, window] : {std::pair<QString, QWidget*>{mainPart, &view},
                 std::pair<QString, QWidget*>{viewerPart, &viewer}}) {
            for (const QString& key : Shortcuts(*window)) {
                const QRegularExpression line("^\\s+" + QRegularExpression::escape(key) + "\\s+\\S",
                    QRegularExpression::MultilineOption);
                QVERIFY2(line.match(part).hasMatch(), qPrintable(window->objectName() + ": " + key));
            }
        }
    }
};

QTEST_MAIN(DesktopFilesTest)
#include "DesktopFilesTest.moc"
