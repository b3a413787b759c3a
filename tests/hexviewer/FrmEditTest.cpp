// The go-to and find dialog: its form, the three modes shown from the viewer's menu,
// go to offset and line, hexadecimal and text find, Find Next and what stays open.
#include "HexViewerTestSupport.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

namespace {

enum class Search { Hex, TextSensitive, TextInsensitive };

void ChooseSearch(Search search)
{
    switch (search) {
    case Search::Hex:
        FrmEdit->RadioButtonHex->setChecked(true);
        break;
    case Search::TextSensitive:
        FrmEdit->RadioButtonTextS->setChecked(true);
        break;
    case Search::TextInsensitive:
        FrmEdit->RadioButtonTextI->setChecked(true);
        break;
    }
}

// The dialog shown (not modally) in a mode, with a text typed, and OK pressed as a user
// presses it: errors go to the error display, the dialog decides whether it closes.
void PressOk(char mode, const QString& text)
{
    FrmHex->EditMode = mode;
    FrmEdit->show();
    FrmEdit->Edit1->setText(text);
    FrmEdit->ButOk->click();
    QApplication::processEvents();
}

std::vector<uint8_t> Counting(int count)
{
    std::vector<uint8_t> data(static_cast<size_t>(count));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    return data;
}

} // namespace

Q_DECLARE_METATYPE(Search)

class FrmEditTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FWindows = std::make_unique<HexViewerWindows>(); }
    void cleanupTestCase() { FWindows.reset(); }
    void init()
    {
        ResetDialog();
        FLog.Clear();
    }

    void form();
    void modesFromTheMenu_data();
    void modesFromTheMenu();
    void inputKeptAcrossModes();
    void enterIsOkEscapeIsClose_data();
    void enterIsOkEscapeIsClose();
    void goToOffset_data();
    void goToOffset();
    void goToLine_data();
    void goToLine();
    void find_data();
    void find();
    void findNextThroughOverlappingMatches_data();
    void findNextThroughOverlappingMatches();
    void findAfterNotFoundStartsAtSelection();
    void findNextAfterMatchOnLastByte_data();
    void findNextAfterMatchOnLastByte();
    void findNextBeforeAnyFind();
    void otherModeOnlyCloses();

private:
    std::unique_ptr<HexViewerWindows> FWindows;
    MessageLog FLog;
};

void FrmEditTest::form()
{
    QCOMPARE(FrmEdit->objectName(), QStringLiteral("FrmEdit"));
    QCOMPARE(FrmEdit->Edit1->maxLength(), 256);
    QCOMPARE(FrmEdit->ButOk->text(), QStringLiteral("&OK"));
    QCOMPARE(FrmEdit->ButClose->text(), QStringLiteral("&Close"));
    QCOMPARE(FrmEdit->RadioButtonHex->text(), QStringLiteral("Hexadecimal search"));
    QCOMPARE(FrmEdit->RadioButtonTextS->text(), QStringLiteral("Text (Sensitive)"));
    QCOMPARE(FrmEdit->RadioButtonTextI->text(), QStringLiteral("Text (Insensitive)"));
    for (const char* name :
        {"Label1", "Edit1", "ButOk", "ButClose", "RadioButtonHex", "RadioButtonTextS", "RadioButtonTextI"})
        QVERIFY2(FrmEdit->findChild<QWidget*>(QString::fromLatin1(name)), name);
    // One group: choosing one unchecks the others.
    FrmEdit->RadioButtonHex->setChecked(true);
    QVERIFY(!FrmEdit->RadioButtonTextI->isChecked());
    QVERIFY(!FrmEdit->RadioButtonTextS->isChecked());
    QVERIFY(!FrmEdit->ButOk->autoDefault() && !FrmEdit->ButOk->isDefault());
    QVERIFY(!FrmEdit->ButClose->autoDefault() && !FrmEdit->ButClose->isDefault());
}

void FrmEditTest::modesFromTheMenu_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<char>("mode");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("radioShown");
    QTest::newRow("F1") << int(Qt::Key_F1) << 'a' << "Go To Offset" << 90
                        << "Go To Offset (use prefix \"0x\" for hex.)" << false;
    QTest::newRow("F2") << int(Qt::Key_F2) << 'b' << "Go To Line" << 90
                        << "Go To Line Number (use prefix \"0x\" for hex.)" << false;
    QTest::newRow("F3") << int(Qt::Key_F3) << 'c' << "Find" << 170 << "Find String" << true;
}

void FrmEditTest::modesFromTheMenu()
{
    QFETCH(int, key);
    QFETCH(char, mode);
    QFETCH(QString, caption);
    QFETCH(int, height);
    QFETCH(QString, prompt);
    QFETCH(bool, radioShown);
    Fill(Counting(64));
    // The offscreen platform leaves a closed dialog the active window: activate the
    // viewer again as a window manager would.
    QApplication::setActiveWindow(FrmHex);
    QVERIFY(QTest::qWaitForWindowActive(FrmHex));
    FrmHex->HexEditor->setFocus();
    bool focused = false;
    const bool shown = WhileModal(
        FrmEdit, [&] { QTest::keyClick(FrmHex->HexEditor, static_cast<Qt::Key>(key)); },
        [&] {
            QCOMPARE(FrmHex->EditMode, mode);
            QCOMPARE(FrmEdit->windowTitle(), caption);
            QCOMPARE(FrmEdit->Height(), height);
            QCOMPARE(FrmEdit->Label1->text(), prompt);
            QCOMPARE(FrmEdit->RadioButtonHex->isVisible(), radioShown);
            QCOMPARE(FrmEdit->RadioButtonTextS->isVisible(), radioShown);
            QCOMPARE(FrmEdit->RadioButtonTextI->isVisible(), radioShown);
            QVERIFY(FrmEdit->height() < height);
            focused = FrmEdit->focusWidget() == FrmEdit->Edit1;
            FrmEdit->ButClose->click();
        });
    QVERIFY(shown);
    QVERIFY(focused);
    QVERIFY(!FrmEdit->isVisible());
}

void FrmEditTest::inputKeptAcrossModes()
{
    Fill(Counting(64));
    // Go to offset through the real modal dialog, typing into the box.
    const bool shown = WhileModal(
        FrmEdit, [] { FrmHex->MenuItemOffset->trigger(); },
        [] {
            QTest::keyClicks(FrmEdit->Edit1, QStringLiteral("0x20"));
            FrmEdit->ButOk->click();
        });
    QVERIFY(shown);
    QCOMPARE(FrmHex->HexEditor->GetCursorPos(), 32);
    QVERIFY(!FrmEdit->isVisible());
    // The find dialog opens with the last offset still in the box.
    QString text;
    QVERIFY(WhileModal(
        FrmEdit, [] { FrmHex->MenuItemFind->trigger(); },
        [&] {
            text = FrmEdit->Edit1->text();
            FrmEdit->close();
        }));
    QCOMPARE(text, QStringLiteral("0x20"));
}

void FrmEditTest::enterIsOkEscapeIsClose_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("caret"); // Enter is OK, Escape is Close
    QTest::newRow("Enter") << int(Qt::Key_Return) << 5;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0;
}

void FrmEditTest::enterIsOkEscapeIsClose()
{
    QFETCH(int, key);
    QFETCH(int, caret);
    Fill(Counting(64));
    bool openAfterKey = true;
    QVERIFY(WhileModal(
        FrmEdit, [] { FrmHex->MenuItemOffset->trigger(); },
        [&] {
            FrmEdit->Edit1->setText(QStringLiteral("5"));
            QTest::keyClick(FrmEdit->Edit1, Qt::Key(key));
            QApplication::processEvents();
            openAfterKey = FrmEdit->isVisible();
            FrmEdit->close();
        }));
    QVERIFY(!openAfterKey);
    QCOMPARE(FrmHex->HexEditor->GetCursorPos(), caret);
}

void FrmEditTest::goToOffset_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret"); // expected caret, or -1 when refused
    QTest::addColumn<QString>("message"); // the error shown, if any
    QTest::newRow("0x20") << "0x20" << 32 << "";
    QTest::newRow("32") << "32" << 32 << "";
    QTest::newRow("$20") << "$20" << 32 << "";
    QTest::newRow("0X3f") << "0X3f" << 63 << "";
    QTest::newRow("0") << "0" << 0 << "";
    QTest::newRow("last byte") << "99" << 99 << "";
    QTest::newRow("not a number") << "zz" << -1 << "'zz' is not a valid integer value";
    QTest::newRow("empty") << "" << -1 << "'' is not a valid integer value";
    QTest::newRow("past the data") << "100" << -1 << "Invalid SelStart";
    QTest::newRow("negative") << "-1" << -1 << "Invalid SelStart";
    QTest::newRow("too big for 32 bits")
        << "0x100000000" << -1 << "'0x100000000' is not a valid integer value";
}

void FrmEditTest::goToOffset()
{
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(QString, message);
    Fill(Counting(100));
    FrmHex->HexEditor->SetSelStart(7);
    FrmHex->FindSkip = 1;
    PressOk('a', text);
    if (caret >= 0) {
        QVERIFY(FLog.records.empty());
        QCOMPARE(FrmHex->HexEditor->GetCursorPos(), caret);
        QCOMPARE(FrmHex->HexEditor->GetSelCount(), 0);
        QVERIFY(!FrmEdit->isVisible());
    } else {
        QCOMPARE(FLog.Texts(), QStringList{message});
        QCOMPARE(FLog.records[0].kind, MsgKind::Error);
        QCOMPARE(FrmHex->HexEditor->GetCursorPos(), 7);
        QVERIFY(FrmEdit->isVisible());
    }
    QCOMPARE(FrmHex->FindSkip, uint16_t(1)); // the go-to modes leave it alone
}

void FrmEditTest::goToLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("message");
    QTest::newRow("line 1") << "1" << 0 << "";
    QTest::newRow("line 3") << "3" << 2 << "";
    QTest::newRow("hex line") << "0x4" << 3 << "";
    QTest::newRow("last line") << "7" << 6 << "";
    QTest::newRow("line 0") << "0" << -1 << "Grid index out of range";
    QTest::newRow("past the rows") << "8" << -1 << "Grid index out of range";
    QTest::newRow("lowest number") << "-2147483648" << -1 << "Grid index out of range";
    QTest::newRow("not a number") << "x" << -1 << "'x' is not a valid integer value";
}

void FrmEditTest::goToLine()
{
    QFETCH(QString, text);
    QFETCH(int, row);
    QFETCH(QString, message);
    Fill(Counting(100)); // 7 lines of 16 bytes, the last one of 4
    FrmHex->HexEditor->SetSelStart(20);
    const int oldRow = FrmHex->HexEditor->Row();
    PressOk('b', text);
    if (row >= 0) {
        QVERIFY2(FLog.records.empty(), qPrintable(FLog.Texts().join(QLatin1Char('|'))));
        QCOMPARE(FrmHex->HexEditor->Row(), row);
        // Line 3 holds the bytes from 32 on; the caret keeps its column (byte 4 of the line).
        QCOMPARE(FrmHex->HexEditor->GetCursorPos(), std::min(row * 16 + 4, 99));
        QVERIFY(!FrmEdit->isVisible());
    } else {
        QCOMPARE(FLog.Texts(), QStringList{message});
        QCOMPARE(FrmHex->HexEditor->Row(), oldRow);
        QVERIFY(FrmEdit->isVisible());
    }
}

void FrmEditTest::find_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Search>("search");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("first"); // -1: nothing found or refused
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("message");
    const QByteArray image("\x00\x01MZ\x90\x00"
                           "abcABC",
        12);
    QTest::newRow("hex, lower-case digits") << image << Search::Hex << "4d5a" << 2 << 3 << "";
    QTest::newRow("hex, upper-case digits") << image << Search::Hex << "4D5A90" << 2 << 4 << "";
    QTest::newRow("hex, zero byte") << image << Search::Hex << "0001" << 0 << 1 << "";
    QTest::newRow("hex, no match") << image << Search::Hex << "4D4D" << -1 << -1 << "String Not Found.";
    QTest::newRow("hex, odd length") << image << Search::Hex << "4D5" << -1 << -1 << "Invalid Hex value.";
    QTest::newRow("hex, not hex") << image << Search::Hex << "4G" << -1 << -1 << "Invalid Hex value.";
    QTest::newRow("hex, blank inside") << image << Search::Hex << "4D 5A" << -1 << -1 << "Invalid Hex value.";
    QTest::newRow("hex, empty") << image << Search::Hex << "" << -1 << -1 << "Invalid Hex value.";
    QTest::newRow("insensitive mz") << image << Search::TextInsensitive << "mz" << 2 << 3 << "";
    QTest::newRow("sensitive mz") << image << Search::TextSensitive << "mz" << -1 << -1
                                  << "String Not Found.";
    QTest::newRow("sensitive MZ") << image << Search::TextSensitive << "MZ" << 2 << 3 << "";
    QTest::newRow("sensitive ABC") << image << Search::TextSensitive << "ABC" << 9 << 11 << "";
    QTest::newRow("insensitive ABC") << image << Search::TextInsensitive << "ABC" << 6 << 8 << "";
    QTest::newRow("text, empty") << image << Search::TextInsensitive << "" << -1 << -1 << "String Not Found.";
    QTest::newRow("text longer than the data")
        << image << Search::TextSensitive << "MZ..........." << -1 << -1 << "String Not Found.";
}

void FrmEditTest::find()
{
    QFETCH(QByteArray, data);
    QFETCH(Search, search);
    QFETCH(QString, text);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, message);
    Fill(std::vector<uint8_t>(data.begin(), data.end()));
    FrmHex->FindSkip = 0;
    ChooseSearch(search);
    PressOk('c', text);
    if (first >= 0) {
        QVERIFY2(FLog.records.empty(), qPrintable(FLog.Texts().join(QLatin1Char('|'))));
        QCOMPARE(Selection(), std::make_pair(first, last));
        QCOMPARE(FrmHex->HexEditor->GetCursorPos(), first); // the caret stays on the first byte
        QCOMPARE(FrmHex->FindSkip, uint16_t(1));
        QVERIFY(!FrmEdit->isVisible());
        QTRY_COMPARE(FrmHex->StatusText(), QStringLiteral("Selection: %1").arg(last - first + 1));
    } else {
        QCOMPARE(FLog.Texts(), QStringList{message});
        QCOMPARE(FLog.records[0].kind, MsgKind::Plain);
        QCOMPARE(FLog.records[0].caption, QStringLiteral("Korvex"));
        QCOMPARE(Selection(), std::make_pair(-1, -1));
        QCOMPARE(FrmHex->FindSkip, uint16_t(0));
        QVERIFY(FrmEdit->isVisible());
    }
}

void FrmEditTest::findNextThroughOverlappingMatches_data()
{
    QTest::addColumn<Search>("search");
    QTest::addColumn<QString>("text");
    QTest::newRow("text") << Search::TextSensitive << "aa";
    QTest::newRow("insensitive") << Search::TextInsensitive << "AA";
    QTest::newRow("hex") << Search::Hex << "6161";
}

void FrmEditTest::findNextThroughOverlappingMatches()
{
    QFETCH(Search, search);
    QFETCH(QString, text);
    Fill(Bytes("aaaa"));
    ChooseSearch(search);
    PressOk('c', text);
    QCOMPARE(Selection(), std::make_pair(0, 1));
    FrmEdit->hide();
    for (int expected : {1, 2}) {
        FrmHex->MenuItemNext->trigger();
        QCOMPARE(Selection(), std::make_pair(expected, expected + 1));
        QCOMPARE(FrmHex->EditMode, 'c');
        QVERIFY(!FrmEdit->isVisible()); // Find Next never shows the dialog
    }
    QVERIFY(FLog.records.empty());
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(FLog.Texts(), QStringList{"String Not Found."});
    QCOMPARE(FrmHex->FindSkip, uint16_t(0));
    QCOMPARE(Selection(), std::make_pair(2, 3));
    QVERIFY(!FrmEdit->isVisible());
}

void FrmEditTest::findAfterNotFoundStartsAtSelection()
{
    Fill(Bytes("xxabxxab"));
    ChooseSearch(Search::TextSensitive);
    PressOk('c', QStringLiteral("ab"));
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(Selection(), std::make_pair(6, 7));
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(FLog.Texts(), QStringList{"String Not Found."});
    // With no skip the next search starts at the selection start and finds it again.
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(Selection(), std::make_pair(6, 7));
    QCOMPARE(FLog.records.size(), size_t(1));
    QCOMPARE(FrmHex->FindSkip, uint16_t(1));
}

void FrmEditTest::findNextAfterMatchOnLastByte_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("hex");
    QTest::newRow("last byte") << QByteArray("xyzB") << "42";
    QTest::newRow("last two bytes") << QByteArray("xyAB") << "4142";
    QTest::newRow("one-byte data") << QByteArray("B") << "42";
}

void FrmEditTest::findNextAfterMatchOnLastByte()
{
    // The next search would start at the end of the data: that is no match, reported
    // like any other, not an error.
    QFETCH(QByteArray, data);
    QFETCH(QString, hex);
    Fill(std::vector<uint8_t>(data.begin(), data.end()));
    ChooseSearch(Search::Hex);
    PressOk('c', hex);
    QCOMPARE(Selection().second, static_cast<int32_t>(data.size()) - 1);
    FrmEdit->hide();
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(FLog.Texts(), QStringList{"String Not Found."});
    QCOMPARE(FLog.records[0].kind, MsgKind::Plain);
    QCOMPARE(FrmHex->FindSkip, uint16_t(0));
    FLog.Clear();
    FrmHex->MenuItemNext->trigger(); // from the selection start itself: found again
    QVERIFY(FLog.records.empty());
    QCOMPARE(Selection().second, static_cast<int32_t>(data.size()) - 1);
}

void FrmEditTest::findNextBeforeAnyFind()
{
    Fill(Bytes("some bytes"));
    FrmHex->MenuItemNext->trigger();
    QCOMPARE(FLog.Texts(), QStringList{"String Not Found."});
    QCOMPARE(FrmHex->EditMode, 'c');
    QVERIFY(!FrmEdit->isVisible());
}

void FrmEditTest::otherModeOnlyCloses()
{
    Fill(Bytes("abc"));
    FrmHex->HexEditor->SetSelStart(1);
    PressOk('x', QStringLiteral("0"));
    QVERIFY(!FrmEdit->isVisible());
    QCOMPARE(FrmHex->HexEditor->GetCursorPos(), 1);
    QVERIFY(FLog.records.empty());
}

QTEST_MAIN(FrmEditTest)
#include "FrmEditTest.moc"
