// Files dropped on the main window: one local file opens exactly as Open opens it (the open
// file closed first); several files, a folder or a remote address change nothing and say so.
#include "ViewerTestSupport.h"

#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace {

const QString kNotPe = QStringLiteral("The file does not have a valid MZ or PE header.");

// Everything the window shows of a file, to compare a drop with an open.
QStringList Shown(TFrmView& view)
{
    QStringList shown{view.windowTitle()};
    for (QAction* action : {view.MnuOpen, view.MnuCloseFile, view.MnuSave, view.MnuHexView})
        shown << QStringLiteral("%1 %2 %3")
                     .arg(action->objectName())
                     .arg(action->isEnabled())
                     .arg(action->isChecked());
    for (QWidget* page : {view.TabMZ, view.TabPE})
        shown << QString::number(view.PageControl1->isTabVisible(view.PageControl1->indexOf(page)));
    for (TEdit* edit : view.HeaderEdits())
        shown << edit->text();
    for (int i = 0; i < view.PageControl3->count(); ++i)
        shown << view.PageControl3->tabText(i);
    for (TEdit* edit : view.SectionEdits)
        shown << edit->text();
    for (QCheckBox* box : view.findChildren<QCheckBox*>())
        shown << QString::number(box->isChecked());
    shown << view.LabelDate->text() << view.LabelFileoffset->text()
          << QString::number(view.ButSave->isEnabled());
    return shown;
}

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Drags data over the window as the window system reports it, drops it, and lets the
// window finish what the drop started.
DropResult Drop(
    TFrmView& view, const QMimeData& data, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
{
    DropResult result;
    const QPoint at = view.rect().center();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    result.enterAccepted = enter.isAccepted();
    if (!result.enterAccepted)
        return result;
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drop);
    result.dropAccepted = drop.isAccepted();
    result.action = drop.dropAction();
    QApplication::processEvents();
    return result;
}

DropResult DropUrls(TFrmView& view, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    // File managers also offer the names as text; a box must not take them as typing.
    QStringList names;
    for (const QUrl& url : urls)
        names << url.toString();
    data.setText(names.join(QLatin1Char('\n')));
    return Drop(view, data);
}

// A file with three sections, different from SampleBuilder's two.
std::vector<uint8_t> OtherImage()
{
    return PeBuilder()
        .TimeDateStamp(1000000000)
        .Characteristics(0x2102)
        .EntryPoint(0x3000)
        .AddSection(PeSection("CODE").Virtual(0x1000, 0x100).Raw(0x400, 0x200).Characteristics(0x60000020))
        .AddSection(PeSection("DATA").Virtual(0x2000, 0x100).Raw(0x600, 0x200).Characteristics(0xC0000040))
        .AddSection(PeSection(".reloc").Virtual(0x3000, 0x100).Raw(0x800, 0x200).Characteristics(0x42000040))
        .Build();
}

} // namespace

class FrmViewDropTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { StartupFileName.clear(); }

    // What a drop shows equals what Close and then Open show for the same files.
    void dropOpensAsOpenDoes_data()
    {
        QTest::addColumn<QString>("openFirst");
        QTest::addColumn<QString>("dropped");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no file open") << QString() << "a.exe" << QStringList();
        QTest::newRow("fewer pages than before") << "other.exe"
                                                 << "a.exe" << QStringList();
        QTest::newRow("more pages than before") << "a.exe"
                                                << "other.exe" << QStringList();
        QTest::newRow("the open file again") << "a.exe"
                                             << "a.exe" << QStringList();
        QTest::newRow("name with blanks") << "a.exe"
                                          << "my file.exe" << QStringList();
        QTest::newRow("not an image: closed, then refused") << "a.exe"
                                                            << "notes.txt" << QStringList{kNotPe};
    }
    void dropOpensAsOpenDoes()
    {
        QFETCH(QString, openFirst);
        QFETCH(QString, dropped);
        QFETCH(QStringList, messages);
        ImageFolder folder;
        folder.Write("a.exe", SampleBuilder().Build());
        folder.Write("my file.exe", SampleBuilder().Characteristics(0x2102).Build());
        folder.Write("other.exe", OtherImage());
        folder.Write("notes.txt", {'n', 'o', 't', 'e', 's', '\n'});

        // The display of Close then Open, in a window of its own.
        std::vector<uint8_t> before = Bytes(folder.Path(dropped));
        QStringList expected;
        {
            MessageLog log;
            auto reference = std::make_unique<TFrmView>();
            if (!openFirst.isEmpty()) {
                StartupFileName = folder.Path(openFirst);
                ActivateWindow(*reference);
                reference->MnuCloseFile->trigger();
            }
            StartupFileName = folder.Path(dropped);
            ActivateWindow(*reference);
            expected = Shown(*reference);
            QCOMPARE(log.Texts(), messages);
        }

        MessageLog log;
        auto view = std::make_unique<TFrmView>();
        if (!openFirst.isEmpty()) {
            StartupFileName = folder.Path(openFirst);
            ActivateWindow(*view);
            QVERIFY(view->FileStream);
        }
        const DropResult result = DropUrls(*view, {QUrl::fromLocalFile(folder.Path(dropped))});
        QVERIFY(result.enterAccepted);
        QVERIFY(result.dropAccepted);
        // Opening takes nothing from the source: never a move.
        QCOMPARE(result.action, Qt::CopyAction);
        QCOMPARE(log.Texts(), messages);
        QCOMPARE(Shown(*view), expected);
        if (messages.isEmpty()) {
            QCOMPARE(view->windowTitle(), QStringLiteral("Korvex  -  [") + folder.Path(dropped) + "]");
            QCOMPARE(view->OpenFileName(), folder.Path(dropped));
            QCOMPARE(int(view->SectionTabs.size()), view->PageControl3->count());
        } else {
            QCOMPARE(view->windowTitle(), QStringLiteral("Korvex"));
            QVERIFY(!view->FileStream);
        }
        QCOMPARE(Bytes(folder.Path(dropped)), before);
    }

    // Refused drops: one plain message, and the window as it was (with or without a file).
    void refusedDropChangesNothing_data()
    {
        QTest::addColumn<QStringList>("names"); // in the image folder, or whole URLs
        QTest::addColumn<bool>("fileOpen");
        QTest::addColumn<QString>("message");
        const QString several = QStringLiteral("Drop one file at a time.");
        const QString folder = QStringLiteral("A folder cannot be opened. Drop a file.");
        const QString remote = QStringLiteral("Only a file on this computer can be opened.");
        QTest::newRow("two files") << QStringList{"a.exe", "other.exe"} << true << several;
        QTest::newRow("two files, none open") << QStringList{"a.exe", "other.exe"} << false << several;
        QTest::newRow("a file and a folder") << QStringList{"a.exe", "sub"} << true << several;
        QTest::newRow("a folder") << QStringList{"sub"} << true << folder;
        QTest::newRow("a folder, none open") << QStringList{"sub"} << false << folder;
        QTest::newRow("web address") << QStringList{"https://example.com/a.exe"} << true << remote;
        QTest::newRow("file on another host") << QStringList{"file://server/share/a.exe"} << true << remote;
    }
    void refusedDropChangesNothing()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, fileOpen);
        QFETCH(QString, message);
        ImageFolder folder;
        folder.Write("a.exe", SampleBuilder().Build());
        folder.Write("other.exe", OtherImage());
        QVERIFY(QDir().mkpath(folder.Path("sub")));
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << (name.contains(QLatin1Char(':')) ? QUrl(name) : QUrl::fromLocalFile(folder.Path(name)));

        MessageLog log;
        auto view = std::make_unique<TFrmView>();
        if (fileOpen) {
            StartupFileName = folder.Path("other.exe");
            ActivateWindow(*view);
        }
        const QStringList shown = Shown(*view);
        const ::FileStream* stream = view->FileStream.get();
        QCOMPARE(bool(stream), fileOpen);

        const DropResult result = DropUrls(*view, urls);
        QVERIFY(result.enterAccepted);
        QCOMPARE(log.records.size(), size_t(1));
        QCOMPARE(log.records[0].kind, MsgKind::Plain);
        QCOMPARE(log.records[0].text, message);
        QCOMPARE(log.records[0].caption, QStringLiteral("Korvex"));
        QCOMPARE(Shown(*view), shown);
        QCOMPARE(view->FileStream.get(), stream);
    }

    // Text without addresses is not a file: the window does not take it, nothing happens.
    void textIsNotTaken()
    {
        ImageFolder folder;
        const QString path = folder.Write("a.exe", SampleBuilder().Build());
        MessageLog log;
        auto view = OpenedView(path);
        const QStringList shown = Shown(*view);
        QMimeData text;
        text.setText(path);
        const DropResult result = Drop(*view, text);
        QVERIFY(!result.enterAccepted);
        QVERIFY(log.records.empty());
        QCOMPARE(Shown(*view), shown);
    }

    // A drop lands on the window wherever it is let go: no box or page takes it on the way
    // (the first widget from the pointer up that accepts drops is the drop's target).
    void everyPointDropsOnTheWindow()
    {
        ImageFolder folder;
        const QString path = folder.Write("other.exe", OtherImage());
        MessageLog log;
        auto view = OpenedView(path, true);
        QVERIFY(view->acceptDrops());
        QVERIFY(view->SectionEdits.size() > 0);
        QStringList takers;
        for (QWidget* child : view->findChildren<QWidget*>()) {
            if (child->acceptDrops())
                takers << QStringLiteral("%1 (%2)").arg(
                    child->objectName(), child->metaObject()->className());
        }
        QCOMPARE(takers, QStringList());
    }
};

QTEST_MAIN(FrmViewDropTest)
#include "FrmViewDropTest.moc"
