// Files dropped on the main window: one local file opens exactly as Close and then Open would
// open it; several files, a folder or a remote address change nothing and say so.
#include "ViewerTestSupport.h"

#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace {

// Everything the window shows, to compare a drop with Close and Open.
QStringList Shown(TFrmView& view)
{
    QStringList shown{view.windowTitle(), view.LabelDate->text(), view.LabelFileoffset->text()};
    for (QAction* action : {view.MnuOpen, view.MnuCloseFile, view.MnuSave, view.MnuHexView})
        shown << QStringLiteral("%1 %2").arg(action->isEnabled()).arg(action->isChecked());
    for (int i = 0; i < view.PageControl1->count(); ++i)
        shown << QString::number(view.PageControl1->isTabVisible(i));
    for (int i = 0; i < view.PageControl3->count(); ++i)
        shown << view.PageControl3->tabText(i);
    for (QLineEdit* edit : view.findChildren<QLineEdit*>())
        shown << edit->text();
    for (QCheckBox* box : view.findChildren<QCheckBox*>())
        shown << QString::number(box->isChecked());
    return shown;
}

// Drags urls (offered as text too, as file managers do) over the window, drops them and lets
// the window finish what the drop started. Answers whether the window took the drag, and the
// drop as a copy although a move was proposed.
bool Drop(TFrmView& view, const QList<QUrl>& urls, const QString& text = {})
{
    QMimeData data;
    data.setUrls(urls);
    data.setText(text);
    const QPoint at = view.rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    // Shift proposes a move.
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&view, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::ShiftModifier);
    const bool moveProposed = drop.proposedAction() == Qt::MoveAction;
    QApplication::sendEvent(&view, &drop);
    // Opening reads the file and takes nothing from its source: never a move.
    const bool copied = drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    if (!moveProposed || !copied)
        qWarning("move proposed: %d, taken as a copy: %d", moveProposed, copied);
    QApplication::processEvents();
    return moveProposed && copied;
}

void WriteImages(const ImageFolder& folder)
{
    folder.Write("a.exe", SampleBuilder().Build());
    folder.Write("my file.exe", SampleBuilder().Characteristics(0x2102).Build());
    folder.Write("other.exe",
        PeBuilder()
            .TimeDateStamp(1000000000)
            .AddSection(
                PeSection("CODE").Virtual(0x1000, 0x100).Raw(0x400, 0x200).Characteristics(0x60000020))
            .AddSection(
                PeSection("DATA").Virtual(0x2000, 0x100).Raw(0x600, 0x200).Characteristics(0xC0000040))
            .AddSection(PeSection(".reloc").Virtual(0x3000, 0x100).Raw(0x800, 0x200))
            .Build());
    folder.Write("notes.txt", {'n', 'o', 't', 'e', 's', '\n'});
    QDir().mkpath(folder.Path("sub"));
}

// A window that opened name through Open, or none when name is empty.
std::unique_ptr<TFrmView> ViewWith(const ImageFolder& folder, const QString& name)
{
    auto view = std::make_unique<TFrmView>();
    if (!name.isEmpty()) {
        view->StartupFileName = folder.Path(name);
        ActivateWindow(*view);
    }
    return view;
}

} // namespace

class FrmViewDropTest : public QObject {
    Q_OBJECT

private slots:
    void dropOpensAsCloseAndOpenDo_data()
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
        QTest::newRow("not an image: closed, then refused")
            << "a.exe"
            << "notes.txt" << QStringList{"The file does not have a valid MZ or PE header."};
    }
    void dropOpensAsCloseAndOpenDo()
    {
        QFETCH(QString, openFirst);
        QFETCH(QString, dropped);
        QFETCH(QStringList, messages);
        ImageFolder folder;
        WriteImages(folder);
        const std::vector<uint8_t> before = Bytes(folder.Path(dropped));
        QStringList expected;
        {
            MessageLog log;
            auto reference = ViewWith(folder, openFirst);
            if (!openFirst.isEmpty())
                reference->MnuCloseFile->trigger();
            reference->StartupFileName = folder.Path(dropped);
            ActivateWindow(*reference);
            expected = Shown(*reference);
        }

        MessageLog log;
        auto view = ViewWith(folder, openFirst);
        QCOMPARE(bool(view->FileStream), !openFirst.isEmpty());
        QVERIFY(Drop(*view, {QUrl::fromLocalFile(folder.Path(dropped))}, folder.Path(dropped)));
        QCOMPARE(log.Texts(), messages);
        QCOMPARE(Shown(*view), expected);
        const QString title = QStringLiteral("Korvex  -  [") + folder.Path(dropped) + "]";
        QCOMPARE(view->windowTitle(), messages.isEmpty() ? title : QStringLiteral("Korvex"));
        QCOMPARE(bool(view->FileStream), messages.isEmpty());
        QCOMPARE(int(view->SectionTabs.size()), view->PageControl3->count());
        QCOMPARE(Bytes(folder.Path(dropped)), before);
    }

    // Refused: one plain message (none for mere text), the window as it was.
    void refusedDropChangesNothing_data()
    {
        QTest::addColumn<QStringList>("names"); // in the image folder, or whole URLs
        QTest::addColumn<QString>("openFirst");
        QTest::addColumn<QString>("message");
        const QString several = QStringLiteral("Drop one file at a time.");
        const QString folder = QStringLiteral("A folder cannot be opened. Drop a file.");
        const QString remote = QStringLiteral("Only a file on this computer can be opened.");
        QTest::newRow("two files") << QStringList{"a.exe", "other.exe"} << "other.exe" << several;
        QTest::newRow("two files, none open") << QStringList{"a.exe", "other.exe"} << QString() << several;
        QTest::newRow("a file and a folder") << QStringList{"a.exe", "sub"} << "other.exe" << several;
        QTest::newRow("a folder") << QStringList{"sub"} << "other.exe" << folder;
        QTest::newRow("a folder, none open") << QStringList{"sub"} << QString() << folder;
        QTest::newRow("web address") << QStringList{"https://example.com/a.exe"} << "other.exe" << remote;
        QTest::newRow("file on another host") << QStringList{"file://server/a.exe"} << "other.exe" << remote;
        QTest::newRow("text, no address") << QStringList() << "other.exe" << QString();
    }
    void refusedDropChangesNothing()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, openFirst);
        QFETCH(QString, message);
        ImageFolder folder;
        WriteImages(folder);
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << (name.contains(':') ? QUrl(name) : QUrl::fromLocalFile(folder.Path(name)));
        MessageLog log;
        auto view = ViewWith(folder, openFirst);
        const QStringList shown = Shown(*view);
        const ::FileStream* stream = view->FileStream.get();

        QCOMPARE(Drop(*view, urls, folder.Path("a.exe")), !message.isEmpty());
        QCOMPARE(log.Texts(), message.isEmpty() ? QStringList() : QStringList{message});
        for (const MessageRecord& record : log.records)
            QVERIFY(record.kind == MsgKind::Plain && record.caption == QStringLiteral("Korvex"));
        QCOMPARE(Shown(*view), shown);
        QCOMPARE(view->FileStream.get(), stream);
    }

    // A drop lands on the window wherever it is let go: no box or page takes it on the way
    // (the first widget from the pointer up that accepts drops is the drop's target).
    void onlyTheWindowTakesDrops()
    {
        ImageFolder folder;
        WriteImages(folder);
        MessageLog log;
        auto view = ViewWith(folder, "other.exe");
        QVERIFY(view->acceptDrops());
        QCOMPARE(view->PageControl3->count(), 3);
        QStringList takers;
        // The window's own widgets: its dialogs (the hex viewer's find box) are windows of their own.
        for (QWidget* child : view->findChildren<QWidget*>())
            if (child->window() == view.get() && child->acceptDrops())
                takers << QString::fromLatin1(child->metaObject()->className()) + ' ' + child->objectName();
        QCOMPARE(takers, QStringList());
    }
};

QTEST_MAIN(FrmViewDropTest)
#include "FrmViewDropTest.moc"
