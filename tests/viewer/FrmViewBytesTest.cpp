// View and Dump: the main window hands bytes of the open file to the hex viewer. What the
// viewer holds is read while it is shown modally; expectations come from the file's bytes.
#include "ViewerTestSupport.h"

#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmEdit.h"
#include "hexviewer/FrmHex.h"
#include "support/ModalDriver.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

// What the viewer showed while it was open.
struct Shown {
    bool shown = false;
    QString caption;
    QByteArray data;
    QString status;
    int32_t caret = -1;
    int32_t selCount = -1;
    bool canUndo = true;
    bool undoEmpty = false;
    qint64 workingFileSize = -1;
};

// The main window with a file open and its viewer windows made as start-up makes them.
// The viewer and its dialog of the window OpenWithViewer made last.
TFrmHex* FrmHex = nullptr;
TFrmEdit* FrmEdit = nullptr;

std::unique_ptr<TFrmView> OpenWithViewer(const QString& path)
{
    auto view = OpenedView(path);
    FrmHex = view->FrmHex;
    FrmEdit = FrmHex->FrmEdit;
    return view;
}

Shown Click(QPushButton* button)
{
    ShowPagesOf(button);
    Shown result;
    result.shown = WhileModal(
        FrmHex, [button] { button->click(); },
        [&result] {
            QApplication::processEvents(); // the editor's posted notifications
            THexEditor* editor = FrmHex->HexEditor;
            const std::string text = editor->GetAsText();
            result.data = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
            result.status = FrmHex->StatusText();
            result.caret = editor->GetCursorPos();
            result.selCount = editor->GetSelCount();
            result.canUndo = editor->GetCanUndo();
            result.undoEmpty = editor->GetUndoStore().Empty();
            result.workingFileSize = QFileInfo(QString::fromStdString(editor->WorkingFileName())).size();
            FrmHex->close();
        });
    result.caption = FrmHex->windowTitle();
    return result;
}

Shown ViewSection(TFrmView& view, int section)
{
    ShowPagesOf(view.ButView);
    view.PageControl3->setCurrentIndex(section);
    return Click(view.ButView);
}

QByteArray Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    QByteArray slice(static_cast<qsizetype>(count), '\0');
    for (size_t i = 0; i < count && from + i < bytes.size(); ++i)
        slice[static_cast<qsizetype>(i)] = static_cast<char>(bytes[from + i]);
    return slice;
}

std::vector<uint8_t> Filled(size_t count, uint8_t first)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i * 7);
    return bytes;
}

// Three sections with distinct bytes; the entry point lies in .text.
PeBuilder ThreeSections()
{
    return PeBuilder()
        .EntryPoint(0x1010)
        .AddSection(PeSection(".text").Virtual(0x1000, 0x200).Raw(0x400, 0x200).Data(Filled(0x200, 1)))
        .AddSection(PeSection(".data").Virtual(0x2000, 0x100).Raw(0x600, 0x100).Data(Filled(0x100, 2)))
        .AddSection(PeSection(".bss").Virtual(0x3000, 0x100).Raw(0, 0))
        .AddSection(PeSection(".rsrc").Virtual(0x4000, 0x300).Raw(0x700, 0x300).Data(Filled(0x300, 3)));
}

// Section headers read straight from a file's bytes: (pointer, size) per section.
std::vector<std::pair<uint32_t, uint32_t>> RawRanges(const std::vector<uint8_t>& bytes)
{
    const auto pe = ReadLe(bytes, 0x3C, 4);
    const auto count = ReadLe(bytes, pe + 6, 2);
    const auto table = pe + 24 + ReadLe(bytes, pe + 20, 2);
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (uint64_t i = 0; i < count; ++i)
        ranges.emplace_back(static_cast<uint32_t>(ReadLe(bytes, table + 40 * i + 20, 4)),
            static_cast<uint32_t>(ReadLe(bytes, table + 40 * i + 16, 4)));
    return ranges;
}

} // namespace

class FrmViewBytesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { FLog.Clear(); }

    void viewSection_data();
    void viewSection();
    void secondViewReplacesTheFirst_data();
    void secondViewReplacesTheFirst();
    void rangeChecks_data();
    void rangeChecks();
    void noSectionHeader();
    void sameBytesInEitherRadix();
    void unparsableSize();
    void dump_data();
    void dump();
    void viewsDoNotPileUp();
    void caretFieldKeptAcrossViews();
    void realStub();

private:
    ImageFolder FFolder;
    MessageLog FLog;
};

void FrmViewBytesTest::viewSection_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("caption");
    QTest::newRow(".text, holds the entry point") << 0 << "View Section Body  [.text  *]";
    QTest::newRow(".data") << 1 << "View Section Body  [.data]";
    QTest::newRow(".rsrc, ends at the end of the file") << 3 << "View Section Body  [.rsrc]";
}

void FrmViewBytesTest::viewSection()
{
    QFETCH(int, section);
    QFETCH(QString, caption);
    const auto bytes = ThreeSections().Build();
    auto view = OpenWithViewer(FFolder.Write("three.exe", bytes));
    const auto range = RawRanges(bytes)[static_cast<size_t>(section)];
    const Shown shown = ViewSection(*view, section);
    QVERIFY(shown.shown);
    QVERIFY2(FLog.records.empty(), qPrintable(FLog.Texts().join(QLatin1Char('|'))));
    QCOMPARE(shown.caption, caption);
    QCOMPARE(shown.data, Slice(bytes, range.first, range.second));
    QCOMPARE(shown.caret, 0);
    QCOMPARE(shown.selCount, 0);
    QCOMPARE(shown.status, QStringLiteral("Selection: 0"));
    QCOMPARE(view->RawDataPointer, range.first);
    QCOMPARE(view->RawDataSize, range.second);
    // The viewer keeps the bytes after it closes; the user's file is untouched.
    QCOMPARE(FrmHex->HexEditor->GetDataSize(), static_cast<int32_t>(range.second));
    QCOMPARE(Bytes(FFolder.Path("three.exe")), bytes);
}

void FrmViewBytesTest::secondViewReplacesTheFirst_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("larger, then smaller") << 3 << 1;
    QTest::newRow("smaller, then larger") << 1 << 3;
    QTest::newRow("same section twice") << 0 << 0;
}

void FrmViewBytesTest::secondViewReplacesTheFirst()
{
    QFETCH(int, first);
    QFETCH(int, second);
    const auto bytes = ThreeSections().Build();
    auto view = OpenWithViewer(FFolder.Write("two-views.exe", bytes));
    const auto ranges = RawRanges(bytes);
    QVERIFY(ViewSection(*view, first).shown);
    // The user selects something and leaves; the next view starts afresh.
    FrmHex->HexEditor->SetSelStart(5);
    FrmHex->HexEditor->SetSelEnd(9);
    const Shown shown = ViewSection(*view, second);
    QVERIFY(shown.shown);
    const auto range = ranges[static_cast<size_t>(second)];
    QCOMPARE(shown.data, Slice(bytes, range.first, range.second));
    QCOMPARE(shown.selCount, 0);
    QCOMPARE(shown.caret, 0);
    QCOMPARE(shown.status, QStringLiteral("Selection: 0"));
    QCOMPARE(shown.workingFileSize, static_cast<qint64>(range.second));
}

void FrmViewBytesTest::rangeChecks_data()
{
    // Edited (not saved) texts of section 1 (.data, 0x100 bytes at 0x600; the file
    // is 0xA00 bytes long), in hexadecimal as shown after opening.
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("pointer");
    QTest::addColumn<QString>("message"); // empty: shown
    QTest::addColumn<int>("shownBytes");
    QTest::newRow("size zero") << "0"
                               << "600"
                               << "Section size is zero." << 0;
    QTest::newRow("zero size wins over a bad pointer") << "00000000"
                                                       << "FFFFFFFF"
                                                       << "Section size is zero." << 0;
    QTest::newRow("pointer past the end") << "10"
                                          << "A01"
                                          << "Pointer to raw data passes EOF." << 0;
    QTest::newRow("pointer FFFFFFFF, unsigned") << "10"
                                                << "FFFFFFFF"
                                                << "Pointer to raw data passes EOF." << 0;
    QTest::newRow("pointer at the end, one byte") << "1"
                                                  << "A00"
                                                  << "Section size is to large." << 0;
    QTest::newRow("one byte past the end") << "401"
                                           << "600"
                                           << "Section size is to large." << 0;
    QTest::newRow("size FFFFFFFF, unsigned") << "FFFFFFFF"
                                             << "600"
                                             << "Section size is to large." << 0;
    QTest::newRow("ends exactly at the end") << "400"
                                             << "600"
                                             << "" << 0x400;
    QTest::newRow("edited size, fewer bytes") << "10"
                                              << "600"
                                              << "" << 0x10;
    QTest::newRow("last byte of the file") << "1"
                                           << "9FF"
                                           << "" << 1;
}

void FrmViewBytesTest::rangeChecks()
{
    QFETCH(QString, size);
    QFETCH(QString, pointer);
    QFETCH(QString, message);
    QFETCH(int, shownBytes);
    const auto bytes = ThreeSections().Build();
    QCOMPARE(bytes.size(), size_t(0xA00));
    auto view = OpenWithViewer(FFolder.Write("ranges.exe", bytes));
    TypeText(view->SectionEdits[1 * 9 + 2], size);
    TypeText(view->SectionEdits[1 * 9 + 3], pointer);
    const Shown shown = ViewSection(*view, 1);
    // The caption is set before the checks.
    QCOMPARE(shown.caption, QStringLiteral("View Section Body  [.data]"));
    if (message.isEmpty()) {
        QVERIFY(shown.shown);
        QVERIFY(FLog.records.empty());
        const uint32_t from = pointer.toUInt(nullptr, 16);
        QCOMPARE(shown.data, Slice(bytes, from, static_cast<size_t>(shownBytes)));
    } else {
        QVERIFY(!shown.shown);
        QCOMPARE(FLog.Texts(), QStringList{message});
        QCOMPARE(FLog.records[0].kind, MsgKind::Plain);
        QCOMPARE(FLog.records[0].caption, QStringLiteral("Korvex"));
    }
}

void FrmViewBytesTest::noSectionHeader()
{
    auto view = OpenWithViewer(FFolder.Write("none.exe", PeBuilder().Build()));
    QCOMPARE(view->PageControl3->count(), 0);
    const Shown shown = Click(view->ButView);
    QVERIFY(!shown.shown);
    QCOMPARE(FLog.Texts(), QStringList{"No Section header!"});
}

void FrmViewBytesTest::sameBytesInEitherRadix()
{
    const auto bytes = ThreeSections().Build();
    auto view = OpenWithViewer(FFolder.Write("radix.exe", bytes));
    const Shown inHex = ViewSection(*view, 3);
    view->MnuHexView->trigger(); // decimal now: "768" and "1792"
    QCOMPARE(view->SectionEdits[3 * 9 + 2]->text(), QStringLiteral("768"));
    const Shown inDecimal = ViewSection(*view, 3);
    QVERIFY(inHex.shown && inDecimal.shown);
    QCOMPARE(inDecimal.data, inHex.data);
    QCOMPARE(inDecimal.data.size(), 0x300);
}

void FrmViewBytesTest::unparsableSize()
{
    const auto bytes = ThreeSections().Build();
    auto view = OpenWithViewer(FFolder.Write("parse.exe", bytes));
    view->MnuHexView->trigger(); // decimal
    // Above 2147483647 the 32-bit reader refuses a decimal text.
    TypeText(view->SectionEdits[1 * 9 + 2], QStringLiteral("4294967295"));
    Shown shown = ViewSection(*view, 1);
    QVERIFY(!shown.shown);
    QCOMPARE(FLog.Texts(), QStringList{"'4294967295' is not a valid integer value"});
    QCOMPARE(FLog.records[0].kind, MsgKind::Error);
    QCOMPARE(shown.caption, QStringLiteral("View Section Body  [.data]"));
    FLog.Clear();
    TypeText(view->SectionEdits[1 * 9 + 2], QStringLiteral("2147483647"));
    shown = ViewSection(*view, 1);
    QVERIFY(!shown.shown);
    QCOMPARE(FLog.Texts(), QStringList{"Section size is to large."});
}

void FrmViewBytesTest::dump_data()
{
    QTest::addColumn<uint32_t>("entryPoint"); // RVA
    QTest::addColumn<uint32_t>("fileSize"); // the image cut to this size
    QTest::addColumn<uint32_t>("offset"); // where the dump starts in the file
    QTest::newRow("inside the file") << 0x1010u << 0xA00u << 0x410u;
    QTest::newRow("near the end") << 0x4200u << 0xA00u << 0x900u;
    QTest::newRow("last byte") << 0x42FFu << 0xA00u << 0x9FFu;
    QTest::newRow("past the end") << 0x42FFu << 0x900u << 0x9FFu;
}

void FrmViewBytesTest::dump()
{
    QFETCH(uint32_t, entryPoint);
    QFETCH(uint32_t, fileSize);
    QFETCH(uint32_t, offset);
    const auto bytes = ThreeSections().EntryPoint(entryPoint).TruncateTo(fileSize).Build();
    auto view = OpenWithViewer(FFolder.Write("dump.exe", bytes));
    QCOMPARE(
        view->LabelFileoffset->text(), QStringLiteral("%1").arg(offset, 8, 16, QLatin1Char('0')).toUpper());
    const Shown shown = Click(view->ButDump);
    QVERIFY(shown.shown);
    QVERIFY(FLog.records.empty());
    QCOMPARE(shown.caption, QStringLiteral("Dump of entry point"));
    QCOMPARE(shown.data.size(), 512);
    // The bytes that exist, then zeros.
    QCOMPARE(shown.data, Slice(bytes, offset, 512));
    const qsizetype inFile = std::max<qsizetype>(0, std::min<qsizetype>(512, qsizetype(fileSize) - offset));
    QCOMPARE(shown.data.mid(inFile), QByteArray(512 - inFile, '\0'));
    QCOMPARE(shown.caret, 0);
    QCOMPARE(shown.status, QStringLiteral("Selection: 0"));
}

void FrmViewBytesTest::viewsDoNotPileUp()
{
    // Big sections one after another: the editor keeps no undo copy of an earlier view
    // and its working file holds only the bytes shown.
    const uint32_t mib = 1 << 20;
    PeBuilder builder;
    builder.AddSection(PeSection(".a").Raw(0x400, 3 * mib).Data(Filled(3 * mib, 1)))
        .AddSection(PeSection(".b").Raw(0x400 + 3 * mib, mib).Data(Filled(mib, 2)))
        .AddSection(PeSection(".c").Raw(0x400 + 4 * mib, 2 * mib).Data(Filled(2 * mib, 3)));
    const auto bytes = builder.Build();
    auto view = OpenWithViewer(FFolder.Write("big.exe", bytes));
    const auto ranges = RawRanges(bytes);
    for (int round = 0; round < 2; ++round) {
        for (int section : {0, 1, 2, 0}) {
            const Shown shown = ViewSection(*view, section);
            const auto range = ranges[static_cast<size_t>(section)];
            QVERIFY(shown.shown);
            QCOMPARE(shown.data.size(), static_cast<qsizetype>(range.second));
            QVERIFY(shown.data == Slice(bytes, range.first, range.second));
            QVERIFY(!shown.canUndo);
            QVERIFY(shown.undoEmpty);
            QCOMPARE(shown.workingFileSize, static_cast<qint64>(range.second));
        }
    }
    QVERIFY(FLog.records.empty());
}

void FrmViewBytesTest::caretFieldKeptAcrossViews()
{
    // A caret left in the character column stays there for the next view, as it would
    // when the old bytes were simply replaced.
    const auto bytes = ThreeSections().Build();
    auto view = OpenWithViewer(FFolder.Write("field.exe", bytes));
    QVERIFY(ViewSection(*view, 0).shown);
    FrmHex->HexEditor->SetInCharField(true);
    QVERIFY(FrmHex->HexEditor->GetInCharField());
    QVERIFY(ViewSection(*view, 1).shown);
    QVERIFY(FrmHex->HexEditor->GetInCharField());
    QCOMPARE(FrmHex->HexEditor->GetCursorPos(), 0);
}

void FrmViewBytesTest::realStub()
{
    // A PE32 stub nobody here wrote: view the section that holds the installer's error
    // text, find the text in the viewer and dump the entry point.
    const QString source = QStringLiteral("/usr/share/nsis/Stubs/lzma-x86-ansi");
    if (!QFile::exists(source))
        QSKIP("Debian's nsis-common is not installed");
    const QString path = FFolder.Path(QStringLiteral("stub.exe"));
    QVERIFY(QFile::copy(source, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const auto bytes = Bytes(path);
    const QByteArray needle("Installer integrity check has failed");
    const QByteArray all(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    const qsizetype at = all.indexOf(needle);
    QVERIFY(at > 0);
    const auto ranges = RawRanges(bytes);
    int section = -1;
    for (size_t i = 0; i < ranges.size(); ++i)
        if (ranges[i].first <= at && at < qsizetype(ranges[i].first) + ranges[i].second)
            section = static_cast<int>(i);
    QVERIFY(section >= 0);

    auto view = OpenWithViewer(path);
    Shown shown;
    int32_t found = -1;
    ShowPagesOf(view->ButView);
    view->PageControl3->setCurrentIndex(section);
    shown.shown = WhileModal(
        FrmHex, [&] { view->ButView->click(); },
        [&] {
            const std::string text = FrmHex->HexEditor->GetAsText();
            shown.data = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
            // F3: a text search typed in other letter case.
            QVERIFY(WhileModal(
                FrmEdit, [] { FrmHex->MenuItemFind->trigger(); },
                [] {
                    FrmEdit->Edit1->setText(QStringLiteral("INSTALLER INTEGRITY CHECK"));
                    FrmEdit->RadioButtonTextI->setChecked(true);
                    FrmEdit->ButOk->click();
                }));
            found = FrmHex->HexEditor->GetSelFirst();
            FrmHex->close();
        });
    QVERIFY(shown.shown);
    const auto range = ranges[static_cast<size_t>(section)];
    QCOMPARE(shown.data, Slice(bytes, range.first, range.second));
    QCOMPARE(found, static_cast<int32_t>(at - range.first));

    const Shown dumped = Click(view->ButDump);
    QVERIFY(dumped.shown);
    const uint32_t entry = view->LabelFileoffset->text().toUInt(nullptr, 16);
    QCOMPARE(dumped.data, Slice(bytes, entry, 512));
    QVERIFY2(FLog.records.empty(), qPrintable(FLog.Texts().join(QLatin1Char('|'))));
}

QTEST_MAIN(FrmViewBytesTest)
#include "FrmViewBytesTest.moc"
