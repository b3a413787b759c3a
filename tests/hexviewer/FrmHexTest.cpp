// The hex viewer window: its form, the status line, copy as hex text, the byte search
// behind the hexadecimal find, and a search in a real PE32 file.
#include "HexViewerTestSupport.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>

#include <algorithm>

namespace {

// The search as the window's byte search defines it, one position at a time.
int32_t NaiveFindBytes(
    const std::vector<uint8_t>& data, const std::vector<uint8_t>& pattern, int32_t end, int32_t start)
{
    const int64_t size = static_cast<int64_t>(data.size());
    if (start < 0 || start >= size || pattern.empty())
        return -1;
    const int64_t last = std::min<int64_t>(end, size);
    for (int64_t i = start; i + static_cast<int64_t>(pattern.size()) <= last; ++i) {
        if (std::equal(pattern.begin(), pattern.end(), data.begin() + i))
            return static_cast<int32_t>(i);
    }
    return -1;
}

QString HexText(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    for (size_t i = from; i < from + count; ++i) {
        text += QLatin1Char(digits[bytes[i] >> 4]);
        text += QLatin1Char(digits[bytes[i] & 15]);
    }
    return text;
}

} // namespace

class FrmHexTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FWindows = std::make_unique<HexViewerWindows>(); }
    void cleanupTestCase() { FWindows.reset(); }
    void init()
    {
        ResetDialog();
        FLog.Clear();
    }

    void namedControls_data();
    void namedControls();
    void menuItems_data();
    void menuItems();
    void editorSettings();
    void statusLine_data();
    void statusLine();
    void copy_data();
    void copy();
    void copyNothingSelected();
    void copyLargeSelection();
    void findBytes_data();
    void findBytes();
    void findBytesMatchesNaiveScan();
    void findBytesAcrossBlocks_data();
    void findBytesAcrossBlocks();
    void escapeClosesViewer();
    void realFileSearch();

private:
    std::unique_ptr<HexViewerWindows> FWindows;
    MessageLog FLog;
};

void FrmHexTest::namedControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::newRow("HexEditor") << "HexEditor"
                               << "THexEditor";
    QTest::newRow("StatusBar") << "StatusBar"
                               << "QStatusBar";
    QTest::newRow("MenuHexEdit") << "MenuHexEdit"
                                 << "QMenuBar";
    QTest::newRow("MnuEdit") << "MnuEdit"
                             << "QMenu";
}

void FrmHexTest::namedControls()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QObject* control = FrmHex->findChild<QObject*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(FrmHex->objectName(), QStringLiteral("FrmHex"));
}

void FrmHexTest::menuItems_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("copy") << 0 << "MnuItemCopy"
                          << "Copy" << QKeySequence(Qt::CTRL | Qt::Key_C);
    QTest::newRow("offset") << 1 << "MenuItemOffset"
                            << "Go To Offset ..." << QKeySequence(Qt::Key_F1);
    QTest::newRow("line") << 2 << "MenuItemLine"
                          << "Go To Line ..." << QKeySequence(Qt::Key_F2);
    QTest::newRow("find") << 3 << "MenuItemFind"
                          << "Find ..." << QKeySequence(Qt::Key_F3);
    QTest::newRow("next") << 4 << "MenuItemNext"
                          << "Find Next" << QKeySequence(Qt::Key_F4);
}

void FrmHexTest::menuItems()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    QCOMPARE(FrmHex->MnuEdit->title(), QStringLiteral("&Edit"));
    const QList<QAction*> actions = FrmHex->MnuEdit->actions();
    QCOMPARE(actions.size(), 5);
    QAction* action = actions[index];
    QCOMPARE(action->objectName(), name);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);
}

void FrmHexTest::editorSettings()
{
    THexEditor* editor = FrmHex->HexEditor;
    QVERIFY(editor->GetReadOnlyView());
    QCOMPARE(editor->GetBytesPerLine(), 16);
    QCOMPARE(editor->GetBytesPerColumn(), 1);
    QCOMPARE(editor->GetTranslation(), ttASCII);
    QCOMPARE(editor->GetOffsetDisplay(), odHex);
    QCOMPARE(editor->GetOffsetSeparator(), ':');
    QVERIFY(!editor->CreateBackup);
    QCOMPARE(editor->BackupExtension, std::string(".bak"));
    QVERIFY(editor->GetFocusFrame());
    QCOMPARE(editor->font().pixelSize(), 13);
    QVERIFY(QFontInfo(editor->font()).fixedPitch());
    QCOMPARE(editor->GetFileName(), std::string("Untitled"));
    QVERIFY(editor->OnStateChanged);
    // The editor fills the window above the status bar.
    QVERIFY(editor->geometry().bottom() < FrmHex->StatusBar->geometry().top());
    QCOMPARE(FrmHex->StatusBar->height(), 19);
}

void FrmHexTest::statusLine_data()
{
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selEnd"); // -1: only the start is set
    QTest::addColumn<QString>("status");
    QTest::newRow("sixteen bytes") << 0 << 15 << "Selection: 16";
    QTest::newRow("caret only") << 5 << -1 << "Selection: 0";
    QTest::newRow("backwards") << 4 << 2 << "Selection: 3";
    QTest::newRow("one byte") << 7 << 7 << "Selection: 1";
    QTest::newRow("everything") << 0 << 63 << "Selection: 64";
}

void FrmHexTest::statusLine()
{
    QFETCH(int, selStart);
    QFETCH(int, selEnd);
    QFETCH(QString, status);
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    Fill(data);
    QCOMPARE(FrmHex->StatusText(), QStringLiteral("Selection: 0"));
    FrmHex->HexEditor->SetSelStart(selStart);
    if (selEnd >= 0)
        FrmHex->HexEditor->SetSelEnd(selEnd);
    // The editor posts its notification: the text follows once it has been handled.
    QTRY_COMPARE(FrmHex->StatusText(), status);
}

void FrmHexTest::copy_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<QString>("clipboard");
    const QByteArray mz("\x4D\x5A\x90\x00\x03\x00\x00\x00", 8);
    QTest::newRow("four bytes") << mz << 0 << 3 << "4D5A9000";
    QTest::newRow("backwards from 4 to 2") << mz << 4 << 2 << "900003";
    QTest::newRow("one byte") << mz << 1 << 1 << "5A";
    QTest::newRow("lower-case never") << QByteArray("\xAB\xCD\xEF", 3) << 0 << 2 << "ABCDEF";
    QTest::newRow("last byte") << mz << 7 << 7 << "00";
}

void FrmHexTest::copy()
{
    QFETCH(QByteArray, data);
    QFETCH(int, selStart);
    QFETCH(int, selEnd);
    QFETCH(QString, clipboard);
    Fill(std::vector<uint8_t>(data.begin(), data.end()));
    FrmHex->HexEditor->SetSelStart(selStart);
    FrmHex->HexEditor->SetSelEnd(selEnd);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    FrmHex->MnuItemCopy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QVERIFY(FLog.records.empty());
}

void FrmHexTest::copyNothingSelected()
{
    Fill(Bytes("MZ"));
    FrmHex->HexEditor->SetSelStart(1);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    FrmHex->MnuItemCopy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    QVERIFY(FLog.records.empty());
}

void FrmHexTest::copyLargeSelection()
{
    // A selection far beyond any edit box limit is copied whole.
    std::vector<uint8_t> data((1 << 20) + 100);
    QRandomGenerator random(7);
    for (auto& b : data)
        b = static_cast<uint8_t>(random.bounded(256));
    Fill(data);
    FrmHex->HexEditor->SetSelStart(50);
    FrmHex->HexEditor->SetSelEnd(50 + (1 << 20) - 1);
    FrmHex->MnuItemCopy->trigger();
    const QString text = QGuiApplication::clipboard()->text();
    QCOMPARE(text.size(), qsizetype(2) << 20);
    QCOMPARE(text, HexText(data, 50, 1 << 20));
}

void FrmHexTest::findBytes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("expected");
    QTest::newRow("AA in AAA from 0") << QByteArray("AAA") << QByteArray("AA") << 3 << 0 << 0;
    QTest::newRow("AA in AAA from 1") << QByteArray("AAA") << QByteArray("AA") << 3 << 1 << 1;
    QTest::newRow("AA in AAA from 2") << QByteArray("AAA") << QByteArray("AA") << 3 << 2 << -1;
    QTest::newRow("start at the end of the data") << QByteArray("AAA") << QByteArray("A") << 3 << 3 << -1;
    QTest::newRow("start past the end of the data") << QByteArray("AAA") << QByteArray("A") << 3 << 9 << -1;
    QTest::newRow("negative start") << QByteArray("AAA") << QByteArray("A") << 3 << -1 << -1;
    QTest::newRow("restart after a partial match") << QByteArray("AAB") << QByteArray("AB") << 3 << 0 << 1;
    QTest::newRow("match on the last byte") << QByteArray("xyzB") << QByteArray("B") << 4 << 0 << 3;
    QTest::newRow("end cuts the match off") << QByteArray("xyAB") << QByteArray("AB") << 3 << 0 << -1;
    QTest::newRow("end beyond the data") << QByteArray("xyAB") << QByteArray("AB") << 1000 << 0 << 2;
    QTest::newRow("pattern longer than the data") << QByteArray("AB") << QByteArray("ABC") << 2 << 0 << -1;
    QTest::newRow("exact, no case folding") << QByteArray("abAB") << QByteArray("AB") << 4 << 0 << 2;
    QTest::newRow("zero bytes") << QByteArray("\x01\x00\x00\x02", 4) << QByteArray("\x00\x02", 2) << 4 << 0
                                << 2;
}

void FrmHexTest::findBytes()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, pattern);
    QFETCH(int, end);
    QFETCH(int, start);
    QFETCH(int, expected);
    Fill(std::vector<uint8_t>(data.begin(), data.end()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(pattern.constData());
    QCOMPARE(FrmHex->FindBytes(bytes, static_cast<int32_t>(pattern.size()), end, start), expected);
}

void FrmHexTest::findBytesMatchesNaiveScan()
{
    // Small alphabets give many partial and overlapping matches.
    QRandomGenerator random(2024);
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> data(1 + random.bounded(300));
        for (auto& b : data)
            b = static_cast<uint8_t>('a' + random.bounded(3));
        Fill(data);
        for (int query = 0; query < 25; ++query) {
            std::vector<uint8_t> pattern(1 + random.bounded(4));
            for (auto& b : pattern)
                b = static_cast<uint8_t>('a' + random.bounded(3));
            const auto size = static_cast<int32_t>(data.size());
            const int32_t start = static_cast<int32_t>(random.bounded(size + 2));
            const int32_t end = static_cast<int32_t>(random.bounded(size + 5));
            QCOMPARE(FrmHex->FindBytes(pattern.data(), static_cast<int32_t>(pattern.size()), end, start),
                NaiveFindBytes(data, pattern, end, start));
        }
    }
}

void FrmHexTest::findBytesAcrossBlocks_data()
{
    // The search reads the data in 4 MiB blocks; matches on and around the seams count.
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("start");
    const int block = 4 << 20;
    QTest::newRow("ends at the first seam") << block - 4 << 0;
    QTest::newRow("straddles the first seam") << block - 2 << 0;
    QTest::newRow("starts at the seam") << block << 0;
    QTest::newRow("straddles the second seam") << 2 * block - 6 << 5;
    QTest::newRow("last bytes of the data") << 2 * block + 100 - 4 << block;
}

void FrmHexTest::findBytesAcrossBlocks()
{
    QFETCH(int, at);
    QFETCH(int, start);
    const std::vector<uint8_t> pattern{0xDE, 0xAD, 0xBE, 0xEF};
    std::vector<uint8_t> data(2 * (4 << 20) + 100, 0xDE); // every byte a first-byte candidate
    std::copy(pattern.begin(), pattern.end(), data.begin() + at);
    Fill(data);
    const auto size = static_cast<int32_t>(data.size());
    QCOMPARE(FrmHex->FindBytes(pattern.data(), 4, size, start), at);
    QCOMPARE(FrmHex->FindBytes(pattern.data(), 4, size, at + 1), -1);
    QCOMPARE(FrmHex->FindBytes(pattern.data(), 4, at + 3, start), -1);
}

void FrmHexTest::escapeClosesViewer()
{
    Fill(Bytes("MZ"));
    FrmHex->HexEditor->setFocus();
    QVERIFY(FrmHex->isVisible());
    QTest::keyClick(FrmHex->HexEditor, Qt::Key_Escape);
    QApplication::processEvents();
    QVERIFY(!FrmHex->isVisible());
}

void FrmHexTest::realFileSearch()
{
    // A PE32 plug-in nobody here wrote, searched for a text that is really in it.
    const QString path = QStringLiteral("/usr/share/nsis/Plugins/x86-ansi/System.dll");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        QSKIP("Debian's nsis-common is not installed");
    const QByteArray bytes = file.readAll();
    Fill(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const QByteArray needle("Mingw-w64 runtime failure");
    const int32_t expected = static_cast<int32_t>(bytes.indexOf(needle));
    QVERIFY(expected > 0);

    // Text (Insensitive) with the text typed in another case, then Find Next.
    FrmEdit->Edit1->setText(QStringLiteral("MINGW-W64 RUNTIME FAILURE"));
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(Selection(), std::make_pair(expected, expected + static_cast<int32_t>(needle.size()) - 1));
    QCOMPARE(FrmHex->HexEditor->GetCursorPos(), expected);

    // The same bytes by hexadecimal search, from the start; then the copy of the match.
    FrmHex->HexEditor->SetSelStart(0);
    FrmHex->FindSkip = 0;
    FrmEdit->RadioButtonHex->setChecked(true);
    FrmEdit->Edit1->setText(QString::fromLatin1(needle.toHex()));
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(Selection().first, expected);
    FrmHex->MnuItemCopy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(needle.toHex().toUpper()));
    QVERIFY2(FLog.records.empty(), qPrintable(FLog.Texts().join(QLatin1Char('|'))));
}

QTEST_MAIN(FrmHexTest)
#include "FrmHexTest.moc"
