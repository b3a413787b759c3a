// THexEditor on the offscreen platform: construction, loading and saving, errors, the
// state notification, editing, translation, geometry, selection, markers, find, seek
// and the text forms of the data.
#include "HexEditorTestSupport.h"

#include "base/Errors.h"

#include <QApplication>
#include <QFontInfo>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
void WriteFile(const std::string& name, const std::vector<uint8_t>& data)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(none)";
}

int32_t NaiveFind(
    const std::vector<uint8_t>& data, const std::vector<uint8_t>& pattern, int32_t start, int32_t last)
{
    for (int64_t p = start; p + static_cast<int64_t>(pattern.size()) - 1 <= last; ++p)
        if (std::equal(pattern.begin(), pattern.end(), data.begin() + p))
            return static_cast<int32_t>(p);
    return -1;
}
} // namespace

class HexEditorTest : public QObject {
    Q_OBJECT

    TempDirFixture FTemp;

private slots:
    void init() { FTemp.Init(); }
    void cleanup()
    {
        // No editor of a finished test may leave a temporary file behind.
        QCOMPARE(FTemp.Finish(), QStringList());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void constructionDefaults()
    {
        THexEditor ed;
        QCOMPARE(ed.GetFileName(), std::string("---"));
        QCOMPARE(ed.GetDataSize(), 0);
        QCOMPARE(ed.GetCursorPos(), 0);
        QVERIFY(ed.GetReadOnlyFile());
        QVERIFY(!ed.GetModified());
        QVERIFY(!ed.GetCanUndo());
        QCOMPARE(ed.GetUndoDescription(), std::string("No Undo"));
        QCOMPARE(ed.GetBytesPerLine(), 16);
        QCOMPARE(ed.GetBytesPerColumn(), 2);
        QCOMPARE(ed.ColCount(), 51);
        QCOMPARE(ed.RowCount(), 1);
        QCOMPARE(ed.GetCharWidth(), -1);
        QCOMPARE(ed.GetOffsetDisplayWidth(), -1);
        QCOMPARE(ed.GetOffsetSeparator(), ':');
        QCOMPARE(ed.GetMaskChar(), '.');
        QCOMPARE(ed.GetTranslation(), ttAnsi);
        QCOMPARE(ed.GetOffsetDisplay(), odHex);
        QVERIFY(ed.CreateBackup);
        QCOMPARE(ed.BackupExtension, std::string(".bak"));
        QVERIFY(ed.GetWantTabs() && ed.GetAutoCaretMode() && ed.GetFocusFrame() && ed.GetMaskWhiteSpaces());
        QVERIFY(!ed.GetReadOnlyView() && !ed.GetNoSizeChange() && !ed.GetAllowInsertMode());
        QCOMPARE(ed.font().pointSize(), 12);
        QVERIFY(QFontInfo(ed.font()).fixedPitch());
        for (uint8_t i = 0; i < 10; ++i)
            QCOMPARE(ed.GetMarker(i), -1);
        QVERIFY(!fs::exists(ed.WorkingFileName())); // created only when data arrives
    }

    void windowCreationStartsEmptyData()
    {
        THexEditor ed;
        ed.show();
        QCOMPARE(ed.GetFileName(), std::string("Untitled"));
        QCOMPARE(ed.Col(), 2);
        QCOMPARE(ed.Row(), 0);
        QVERIFY(ed.GetCharWidth() > 0);
        QCOMPARE(ed.GetOffsetText(0), std::string("0x0:"));
        // Data given before the window exists is kept.
        THexEditor other;
        Fill(other, {1, 2, 3});
        other.LoadFromFile("/nonexistent/x"); // fails, changes nothing
        other.show();
        QCOMPARE(other.GetFileName(), std::string("Untitled"));
        QCOMPARE(other.GetDataSize(), 3);
    }

    void stateNotificationIsQueued()
    {
        THexEditor ed;
        int calls = 0;
        ed.OnStateChanged = [&](THexEditor* sender) {
            QCOMPARE(sender, &ed);
            ++calls;
        };
        ed.Loaded(); // ResetUndo fires at once; the posted ones are dropped (no window)
        QCOMPARE(calls, 1);
        ed.SetAllowInsertMode(true);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);

        ed.show();
        calls = 0;
        ed.SetAllowInsertMode(false);
        ed.SetNoSizeChange(false); // one more through SetAllowInsertMode
        QCOMPARE(calls, 0); // not inside the operation
        QCoreApplication::sendPostedEvents(&ed, WM_STATECHANGED);
        QCOMPARE(calls, 2);
        ed.ResetUndo();
        QCOMPARE(calls, 3); // synchronous
        // Only WParam 7 fires the event.
        QCoreApplication::postEvent(&ed, new TStateChangedEvent(6, 7));
        QCoreApplication::sendPostedEvents(&ed, WM_STATECHANGED);
        QCOMPARE(calls, 3);
    }

    void errorsChangeNothing_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("message");
        QTest::newRow("SetSelStart") << 0 << "Invalid SelStart";
        QTest::newRow("SetSelEnd") << 1 << "Invalid SelEnd";
        QTest::newRow("GetMemory") << 2 << "Invalid GetMemory index";
        QTest::newRow("SetMemory") << 3 << "Invalid SetMemory index";
        QTest::newRow("BufferFromFile") << 4 << "Invalid BufferFromFile argument";
        QTest::newRow("SetBytesPerLine 0") << 5 << "Invalid BytesPerLine argument";
        QTest::newRow("SetBytesPerLine 257") << 6 << "Invalid BytesPerLine argument";
        QTest::newRow("SetBytesPerColumn 0") << 7 << "Invalid BytesPerColumn argument";
        QTest::newRow("SetMarker 10") << 8 << "SetMarker : Invalid marker index";
        QTest::newRow("GetMarker 10") << 9 << "SetMarker : Invalid marker index";
        QTest::newRow("SetLineLength 17") << 10 << "Invalid Line Length argument";
        QTest::newRow("SetLineLengths with 0") << 11 << "Invalid Line Length argument";
        QTest::newRow("SetLineLengths with 17") << 12 << "Invalid Line Length argument";
        QTest::newRow("SetSelEnd = DataSize") << 13 << "Invalid SelEnd";
        QTest::newRow("SetSelStart negative") << 14 << "Invalid SelStart";
    }
    void errorsChangeNothing()
    {
        QFETCH(int, op);
        QFETCH(QString, message);
        THexEditor ed;
        ed.Loaded();
        if (op >= 13)
            Fill(ed, {1, 2, 3, 4});
        const auto offsets = ed.GetLineOffsets();
        int32_t count = 5;
        const std::vector<std::function<void()>> ops{
            [&] { ed.SetSelStart(0); },
            [&] { ed.SetSelEnd(0); },
            [&] { ed.GetMemory(0); },
            [&] { ed.SetMemory(0, 1); },
            [&] { ed.BufferFromFile(0, count); },
            [&] { ed.SetBytesPerLine(0); },
            [&] { ed.SetBytesPerLine(257); },
            [&] { ed.SetBytesPerColumn(0); },
            [&] { ed.SetMarker(10, 0); },
            [&] { ed.GetMarker(10); },
            [&] { ed.SetLineLength(0, 17); },
            [&] {
                ed.SetLineLengths({4, 0});
            },
            [&] { ed.SetLineLengths({17}); },
            [&] { ed.SetSelEnd(4); },
            [&] { ed.SetSelStart(-1); },
        };
        QCOMPARE(QString::fromStdString(ErrorOf(ops[static_cast<size_t>(op)])), message);
        QCOMPARE(ed.GetBytesPerLine(), 16);
        QCOMPARE(ed.GetBytesPerColumn(), 2);
        QCOMPARE(ed.GetSelCount(), 0);
        QCOMPARE(ed.GetLineOffsets(), offsets);
        QCOMPARE(count, 5);
        QVERIFY(!ed.GetModified());
    }

    void loadAndSaveFiles()
    {
        QTemporaryDir dir;
        const std::string name = dir.path().toStdString() + "/data.bin";
        WriteFile(name, {1, 2, 3, 4, 5});
        THexEditor ed;
        ed.Loaded();
        QVERIFY(!ed.LoadFromFile(dir.path().toStdString() + "/missing"));
        QCOMPARE(ed.GetFileName(), std::string("Untitled"));
        QVERIFY(ed.LoadFromFile(name));
        QCOMPARE(ed.GetFileName(), name);
        QCOMPARE(Data(ed), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
        QVERIFY(!ed.GetReadOnlyFile());
        QVERIFY(!ed.GetModified());
        QCOMPARE(ed.RowCount(), 1);

        // Not modified: no backup.
        QVERIFY(ed.SaveToFile(name));
        QVERIFY(!fs::exists(dir.path().toStdString() + "/data.bak"));
        // Modified, same name: the old file goes to the backup first.
        ed.ChangeByte(1, 9, 0, 2, 0);
        QVERIFY(ed.GetModified());
        QVERIFY(ed.SaveToFile(name));
        QCOMPARE(ReadFile(dir.path().toStdString() + "/data.bak"), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
        QCOMPARE(ReadFile(name), (std::vector<uint8_t>{9, 2, 3, 4, 5}));
        QVERIFY(!ed.GetModified());
        QVERIFY(!ed.GetCanUndo());
        QCOMPARE(ed.GetChangeMarks().Size(), 0);
        // Another name, or the same name in other letter case: no backup.
        ed.ChangeByte(2, 8, 1, 4, 0);
        const std::string upper = dir.path().toStdString() + "/DATA.bin";
        QVERIFY(ed.SaveToFile(upper));
        QVERIFY(!fs::exists(dir.path().toStdString() + "/DATA.bak"));
        QCOMPARE(ed.GetFileName(), upper);
        QCOMPARE(ReadFile(upper), (std::vector<uint8_t>{9, 8, 3, 4, 5}));
        // A failing save answers false and keeps the state.
        ed.ChangeByte(3, 7, 2, 6, 0);
        QVERIFY(!ed.SaveToFile(dir.path().toStdString() + "/no/dir/x.bin"));
        QVERIFY(ed.GetModified());
        QVERIFY(ed.GetCanUndo());
        QCOMPARE(ed.GetFileName(), upper);
        QCOMPARE(ed.GetDataSize(), 5);
        // A failing backup copy stops the save.
        ed.BackupExtension = "/sub";
        QVERIFY(!ed.SaveToFile(upper));
        QCOMPARE(ReadFile(upper), (std::vector<uint8_t>{9, 8, 3, 4, 5}));
        QVERIFY(ed.GetModified());
        // The file itself is gone: nothing to back up, the save still works.
        ed.BackupExtension = ".bak";
        fs::remove(upper);
        QVERIFY(ed.SaveToFile(upper));
        QCOMPARE(ReadFile(upper), (std::vector<uint8_t>{9, 8, 7, 4, 5}));
        QVERIFY(!fs::exists(dir.path().toStdString() + "/DATA.bak"));
    }

    void loadReadOnlyFile()
    {
        QTemporaryDir dir;
        const std::string name = dir.path().toStdString() + "/ro.bin";
        WriteFile(name, {1, 2});
        fs::permissions(name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        THexEditor ed;
        ed.Loaded();
        QVERIFY(ed.LoadFromFile(name));
        if (::geteuid() != 0)
            QVERIFY(ed.GetReadOnlyFile());
        ed.ChangeByte(1, 5, 0, 2, 0); // the working copy is writable
        QCOMPARE(ed.GetMemory(0), uint8_t(5));
        const std::string other = dir.path().toStdString() + "/rw.bin";
        QVERIFY(ed.SaveToFile(other));
        QVERIFY(!ed.GetReadOnlyFile());
        ed.SetReadOnlyFile(false);
        QVERIFY(!ed.GetReadOnlyFile());
        ed.SetReadOnlyFile(true);
        QVERIFY(ed.GetReadOnlyFile());
        ed.SetReadOnlyFile(false); // false never clears it
        QVERIFY(ed.GetReadOnlyFile());
    }

    void streams()
    {
        THexEditor ed;
        ed.Loaded();
        std::ostringstream none;
        QVERIFY(!ed.SaveToStream(none));
        Fill(ed, {0x10, 0x20, 0x30});
        QCOMPARE(ed.GetFileName(), std::string("Untitled"));
        QVERIFY(ed.GetReadOnlyFile());
        std::ostringstream out;
        QVERIFY(ed.SaveToStream(out));
        QCOMPARE(out.str(), std::string("\x10\x20\x30"));
        int32_t count = 100;
        auto block = ed.BufferFromFile(1, count);
        QCOMPARE(count, 2);
        QCOMPARE(block[0], uint8_t(0x20));
        QCOMPARE(block[1], uint8_t(0x30));
    }

    void setMemoryLeavesNoTrace()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, {1, 2, 3});
        ed.CheckInternalBuffer(0);
        QCOMPARE(ed.GetWindowStart(), 0);
        ed.SetMemory(1, 0x55);
        QCOMPARE(ed.GetWindowStart(), -1);
        QCOMPARE(ed.GetMemory(1), uint8_t(0x55));
        QVERIFY(!ed.GetModified());
        QVERIFY(!ed.GetCanUndo());
        QVERIFY(!ed.HasChanged(1));
        ed.CheckInternalBuffer(0);
        QCOMPARE(ed.InternalBufferByte(1), uint8_t(0x55));
        ed.CalcSizes(); // re-reads the size and empties the window
        QCOMPARE(ed.GetCachedDataSize(), 3);
        QCOMPARE(ed.GetWindowStart(), -1);
    }

    void editingOperations()
    {
        TestHexEditor ed;
        ed.Loaded();
        // Insert into empty data at the caret: selected.
        const auto abc = Bytes("0a0b0c");
        ed.InsertBuffer(abc.data(), 3, 0);
        QCOMPARE(Hex(ed), QByteArray("0A0B0C"));
        QCOMPARE(ed.GetSelFirst(), 0);
        QCOMPARE(ed.GetSelLast(), 2);
        QCOMPARE(ed.GetUndoDescription(), std::string("Insert buffer"));
        // Insert elsewhere than the caret: nothing selected.
        ed.SetSelStart(0);
        ed.InsertBuffer(abc.data(), 3, 2);
        QCOMPARE(Hex(ed), QByteArray("0A0B0A0B0C0C"));
        QCOMPARE(ed.GetSelCount(), 0);
        // ChangeByte with equal bytes records nothing.
        const auto undoCount = ed.GetUndoStore().Count();
        ed.ChangeByte(0x0A, 0x0A, 0, 2, 0);
        QCOMPARE(ed.GetUndoStore().Count(), undoCount);
        ed.ChangeByte(0x0A, 0xFF, 0, 2, 0);
        QVERIFY(ed.HasChanged(0));
        // Replace without a selection inserts at the caret.
        ed.SetSelStart(1);
        const auto x = Bytes("ee");
        ed.ReplaceSelection(x.data(), 1);
        QCOMPARE(Hex(ed), QByteArray("FFEE0B0A0B0C0C"));
        // Replace a selection, caret on its first byte: the new bytes end up selected.
        ed.SetSelStart(1);
        ed.SetSelEnd(3);
        const auto two = Bytes("1122");
        ed.ReplaceSelection(two.data(), 2);
        QCOMPARE(Hex(ed), QByteArray("FF11220B0C0C"));
        QCOMPARE(ed.GetSelFirst(), 1);
        QCOMPARE(ed.GetSelLast(), 2);
        QCOMPARE(ed.GetCursorPos(), 1);
        // Delete the selection.
        ed.DeleteSelection();
        QCOMPARE(Hex(ed), QByteArray("FF0B0C0C"));
        // Delete without a selection removes the byte under the caret; at the end the
        // caret moves to the new last byte.
        ed.SetSelStart(3);
        ed.DeleteSelection();
        QCOMPARE(Hex(ed), QByteArray("FF0B0C"));
        QCOMPARE(ed.GetCursorPos(), 2);
        // Erase: backspace and delete.
        ed.SetSelStart(1);
        ed.InternalErase(true);
        QCOMPARE(Hex(ed), QByteArray("0B0C"));
        QCOMPARE(ed.GetCursorPos(), 0);
        ed.InternalErase(true); // at position 0: nothing
        QCOMPARE(Hex(ed), QByteArray("0B0C"));
        ed.InternalErase(false);
        QCOMPARE(Hex(ed), QByteArray("0C"));
        // Append selects the new bytes and moves the caret to the first of them.
        ed.AppendBuffer(abc.data(), 3);
        QCOMPARE(Hex(ed), QByteArray("0C0A0B0C"));
        QCOMPARE(ed.GetCursorPos(), 1);
        QCOMPARE(ed.GetSelFirst(), 1);
        QCOMPARE(ed.GetSelLast(), 3);
        QCOMPARE(ed.GetUndoDescription(), std::string("Append buffer"));
    }

    void appendToEmptyData()
    {
        THexEditor ed;
        ed.Loaded();
        const auto b = Bytes("0102");
        ed.AppendBuffer(b.data(), 2);
        QCOMPARE(Hex(ed), QByteArray("0102"));
        QCOMPARE(ed.GetCursorPos(), 0);
        QCOMPARE(ed.GetSelCount(), 2);
        QVERIFY(fs::exists(ed.WorkingFileName()));
    }

    void deleteWithCaretPastTheEnd()
    {
        TestHexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("01020304"));
        ed.ForceCell(10, 0); // position 4: the append position
        QCOMPARE(ed.GetPosAtCursor(ed.Col(), ed.Row()), 4);
        ed.DeleteSelection();
        QCOMPARE(Hex(ed), QByteArray("01020304"));
        QVERIFY(!ed.GetCanUndo());
        QVERIFY(!ed.GetModified());
    }

    void noSizeChange()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("0001020304"));
        ed.SetAllowInsertMode(true);
        ed.SetNoSizeChange(true);
        QVERIFY(!ed.GetAllowInsertMode());
        const auto five = Bytes("aabbccddee");
        ed.SetSelStart(1);
        ed.SetSelEnd(3);
        ed.ReplaceSelection(five.data(), 5);
        QCOMPARE(Hex(ed), QByteArray("00AABBCC04"));
        ed.SetSelStart(1);
        ed.SetSelEnd(3);
        ed.ReplaceSelection(Bytes("1122").data(), 2);
        QCOMPARE(Hex(ed), QByteArray("001122CC04"));
        ed.SetSelStart(0);
        ed.SetSelEnd(1);
        QCOMPARE(QString::fromStdString(ErrorOf([&] { ed.ReplaceSelection(nullptr, 0); })),
            QString("Invalid SelEnd"));
        ed.SetSelStart(2);
        ed.InsertBuffer(five.data(), 2, 2);
        ed.AppendBuffer(five.data(), 2);
        ed.DeleteSelection();
        ed.InternalErase(false);
        ed.InternalErase(true);
        QVERIFY(!ed.InsertNibble(2, true));
        QVERIFY(!ed.DeleteNibble(2, true));
        QCOMPARE(Hex(ed), QByteArray("001122CC04"));
        QCOMPARE(ed.GetDataSize(), 5);
    }

    void nibbleOperations_data()
    {
        QTest::addColumn<bool>("insert");
        QTest::addColumn<bool>("high");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("insert high") << true << true << QByteArray("FF012340");
        QTest::newRow("insert low") << true << false << QByteArray("FF102340");
        QTest::newRow("delete high") << false << true << QByteArray("FF2340");
        QTest::newRow("delete low") << false << false << QByteArray("FF1340");
    }
    void nibbleOperations()
    {
        QFETCH(bool, insert);
        QFETCH(bool, high);
        QFETCH(QByteArray, expected);
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("ff1234"));
        ed.SetSelStart(1);
        ed.SetSelEnd(2);
        QVERIFY(insert ? ed.InsertNibble(1, high) : ed.DeleteNibble(1, high));
        QCOMPARE(Hex(ed), expected);
        QCOMPARE(ed.GetSelCount(), 0);
        QVERIFY(ed.Undo());
        QCOMPARE(Hex(ed), QByteArray("FF1234"));
        QVERIFY(!insert || !ed.InsertNibble(3, true)); // outside the data
    }

    void insertNibbleOnEmptyData()
    {
        THexEditor ed;
        ed.Loaded();
        QVERIFY(!ed.DeleteNibble(0, true));
        QVERIFY(ed.InsertNibble(0, true));
        QCOMPARE(Hex(ed), QByteArray("00"));
    }

    void convertRange()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("80c1"));
        ed.ConvertRange(0, 1, ttMac, ttMac);
        QVERIFY(!ed.GetModified());
        QVERIFY(!ed.GetCanUndo());
        ed.ConvertRange(1, 0, ttMac, ttAnsi);
        ed.ConvertRange(0, 2, ttMac, ttAnsi);
        QVERIFY(!ed.GetCanUndo());
        ed.ConvertRange(0, 0, ttMac, ttAnsi);
        QCOMPARE(Hex(ed), QByteArray("C4C1"));
        QCOMPARE(ed.GetUndoDescription(), std::string("Convert"));
        QVERIFY(ed.GetModified());
        QVERIFY(!ed.HasChanged(0));
        ed.ConvertRange(1, 1, ttEBCDIC, ttAnsi);
        QCOMPARE(Hex(ed), QByteArray("C441"));
        QVERIFY(ed.Undo());
        QVERIFY(ed.Undo());
        QCOMPARE(Hex(ed), QByteArray("80C1"));
        QVERIFY(!ed.GetModified());
    }

    void translationMethods()
    {
        THexEditor ed;
        ed.SetTranslation(ttEBCDIC);
        QCOMPARE(ed.TranslateToAnsiChar(0xC1), uint8_t('A'));
        QCOMPARE(ed.TranslateFromAnsiChar('A'), uint8_t(0xC1));
        QCOMPARE(ed.TranslateToAnsiChar(0x4A), uint8_t('.'));
        ed.SetMaskChar('#');
        QCOMPARE(ed.TranslateToAnsiChar(0x4A), uint8_t('#'));
        ed.SetTranslation(ttASCII);
        QCOMPARE(ed.TranslateToAnsiChar(0xC4), uint8_t('#'));
        QCOMPARE(ed.TranslateFromAnsiChar(0x1F), uint8_t(0));
    }

    void geometryFixed()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(1000, 0x41));
        const TGridCoord hex = ed.GetCursorAtPos(0x25, false);
        QCOMPARE(hex.x, 12);
        QCOMPARE(hex.y, 2);
        const TGridCoord chars = ed.GetCursorAtPos(0x25, true);
        QCOMPARE(chars.x, 40);
        QCOMPARE(chars.y, 2);
        QCOMPARE(ed.GetPosAtCursor(12, 2), 0x25);
        QCOMPARE(ed.GetPosAtCursor(13, 2), 0x25);
        QCOMPARE(ed.GetPosAtCursor(40, 2), 0x25);
        QVERIFY(ed.GetInCharField() == false); // caret at (2, 0)
        bool flag = false;
        QCOMPARE(ed.GetOtherFieldCol(13, flag), 40);
        QVERIFY(!flag);
        QCOMPARE(ed.GetOtherFieldCol(37, flag), 6);
        QVERIFY(flag);
        QCOMPARE(ed.GetPosAtCursor(34, 2), 48);
        QCOMPARE(ed.GetPosAtCursor(0, 2), 31);
        QCOMPARE(ed.GetPosAtCursor(1, 2), 32);
        QCOMPARE(ed.GetCursorAtPos(-5, true).x, 2);
        QCOMPARE(ed.RowCount(), 63);
        QCOMPARE(ed.GetOffsetDisplayWidth(), 6);
        QCOMPARE(ed.GetOffsetText(1), std::string("0x010:"));
        ed.SetOffsetDisplay(odDec);
        QCOMPARE(ed.GetOffsetDisplayWidth(), 4);
        QCOMPARE(ed.GetOffsetText(1), std::string(" 16:"));
        ed.SetOffsetDisplay(odOctal);
        QCOMPARE(ed.GetOffsetDisplayWidth(), 8);
        QCOMPARE(ed.GetOffsetText(1), std::string("o 00020:"));
        ed.SetOffsetDisplay(odNone);
        QCOMPARE(ed.GetOffsetDisplayWidth(), 0);
        QCOMPARE(ed.ColWidths(0), 0);
        QVERIFY(!ed.OutOfBounds(50, 0));
        // The caret in the character field.
        ed.SetInCharField(true);
        QCOMPARE(ed.Col(), 35);
        QVERIFY(ed.GetInCharField());
        ed.SetInCharField(false);
        QCOMPARE(ed.Col(), 2);
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("bytesPerColumn");
        QTest::addColumn<bool>("marker");
        QTest::newRow("groups of 1") << 1 << true;
        QTest::newRow("groups of 2") << 2 << true;
        QTest::newRow("groups of 4, no marker column") << 4 << false;
    }
    void columnWidths()
    {
        QFETCH(int, bytesPerColumn);
        QFETCH(bool, marker);
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(40, 0));
        ed.SetBytesPerColumn(bytesPerColumn);
        ed.SetShowMarkerColumn(marker);
        const int w = ed.GetCharWidth();
        QVERIFY(w > 0);
        QCOMPARE(ed.ColWidths(0), ed.GetOffsetDisplayWidth() * w);
        QCOMPARE(ed.ColWidths(1), marker ? w : 0);
        for (int c = 2; c <= 33; ++c) {
            const bool groupEnd = (c - 1) % (2 * bytesPerColumn) == 0;
            QCOMPARE(ed.ColWidths(c), groupEnd ? 2 * w : w);
        }
        for (int c = 34; c <= 50; ++c)
            QCOMPARE(ed.ColWidths(c), w);
        QCOMPARE(ed.DefaultRowHeight(), ed.GetLineHeight());
        QCOMPARE(ed.GetLineHeight(), QFontMetrics(ed.font()).height() + 2);
    }

    void setBytesPerLineKeepsCursorAndSelection()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(100, 0));
        ed.SetMarker(5, 5);
        ed.SetSelStart(37);
        ed.SetSelEnd(40);
        ed.SetBytesPerLine(16); // unchanged: nothing happens
        QCOMPARE(ed.GetSelCount(), 4);
        ed.SetBytesPerLine(8);
        QCOMPARE(ed.ColCount(), 27);
        QCOMPARE(ed.RowCount(), 13);
        QCOMPARE(ed.GetCursorPos(), 37);
        QCOMPARE(ed.GetSelFirst(), 37);
        QCOMPARE(ed.GetSelLast(), 40);
        QCOMPARE(ed.GetMarker(5), 5);
        QCOMPARE(ed.IsMarkerPos(5), 5);
    }

    // The caret's byte is taken in the variable layout it stands on, before the lines
    // become fixed.
    void setBytesPerLineLeavesVariableModeOnTheSameByte_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("inChars");
        QTest::addColumn<int>("bytesPerLine");
        QTest::newRow("byte 50, hex, to 10") << 50 << false << 10;
        QTest::newRow("byte 50, characters, to 10") << 50 << true << 10;
        QTest::newRow("byte 5 in a short row, to 3") << 5 << false << 3;
        QTest::newRow("last byte, characters, to 256") << 99 << true << 256;
    }
    void setBytesPerLineLeavesVariableModeOnTheSameByte()
    {
        QFETCH(int, position);
        QFETCH(bool, inChars);
        QFETCH(int, bytesPerLine);
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(100, 0));
        ed.SetLineLengths({4, 4, 16});
        ed.SetVariableLineLength(true);
        ed.SetSelStart(position);
        ed.SetInCharField(inChars);
        QCOMPARE(ed.GetCursorPos(), position);
        ed.SetBytesPerLine(bytesPerLine);
        QVERIFY(!ed.GetVariableLineLength());
        QCOMPARE(ed.GetCursorPos(), position);
        QCOMPARE(ed.GetInCharField(), inChars);
        const TGridCoord cell = ed.GetCursorAtPos(position, inChars);
        QCOMPARE(ed.Col(), cell.x);
        QCOMPARE(ed.Row(), position / bytesPerLine);
    }

    void variableLineLengths()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(40, 0));
        ed.SetLineLengths({10, 6});
        ed.SetVariableLineLength(true);
        QCOMPARE(ed.GetLineOffsets(), (std::vector<int32_t>{0, 10, 16, 32, 48}));
        QCOMPARE(ed.RowCount(), 4);
        QCOMPARE(ed.GetRow(12), 1);
        QCOMPARE(ed.GetRow(39), 3);
        QCOMPARE(ed.GetLineLength(1), 6);
        QVERIFY(!ed.OutOfBounds(13, 1));
        QVERIFY(!ed.OutOfBounds(40, 1));
        QVERIFY(ed.OutOfBounds(14, 1));
        QVERIFY(ed.OutOfBounds(41, 1));
        QVERIFY(ed.OutOfBounds(34, 1)); // the field gap
        QVERIFY(!ed.OutOfBounds(1, 1));
        QCOMPARE(ed.GetCursorAtPos(12, false).x, 6);
        QCOMPARE(ed.GetCursorAtPos(12, false).y, 1);
        QCOMPARE(ed.GetPosAtCursor(6, 1), 12);
        // An out-of-bounds cell is refused.
        ed.MoveColRow(20, 1, true, true);
        QCOMPARE(ed.Col(), 2);
        ed.SetBytesPerLine(8); // ends the mode and forgets the lengths
        QVERIFY(!ed.GetVariableLineLength());
        QVERIFY(ed.GetLineOffsets().size() <= 6);
    }

    // Line starts near 2^31 - 1 are computed wide: the row after the data may start
    // beyond the last position, and must neither wrap nor make the row count run away.
    void variableLinesAtTheTopOfTheRange_data()
    {
        QTest::addColumn<int>("bytesPerLine");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("lastStart");
        QTest::addColumn<int>("lastLength");
        const qint64 top = INT32_MAX;
        QTest::newRow("256 per line, ends one short of a line")
            << 256 << top << QList<int>() << 8388608 << 2147483392 << 255;
        QTest::newRow("256 per line, ends on a line end")
            << 256 << top - 255 << QList<int>() << 8388607 << 2147483136 << 256;
        QTest::newRow("200 per line") << 200 << top << QList<int>() << 10737419 << 2147483600 << 47;
        QTest::newRow("own lengths first")
            << 256 << top << QList<int>{100, 50} << 8388610 << 2147483542 << 105;
    }
    void variableLinesAtTheTopOfTheRange()
    {
        QFETCH(int, bytesPerLine);
        QFETCH(qint64, size);
        QFETCH(QList<int>, lengths);
        QFETCH(int, rows);
        QFETCH(int, lastStart);
        QFETCH(int, lastLength);
        TestHexEditor ed;
        ed.Loaded();
        ed.SetBytesPerLine(bytesPerLine);
        ed.SetLineLengths(std::vector<int32_t>(lengths.begin(), lengths.end()));
        ed.SetSparseDataSize(size);
        QCOMPARE(ed.GetDataSize(), static_cast<int32_t>(size));
        ed.SetVariableLineLength(true);
        QCOMPARE(ed.RowCount(), rows);
        const int last = rows - 1;
        QCOMPARE(ed.GetLineOffset(last), lastStart);
        QCOMPARE(ed.GetLineLength(last), lastLength);
        QCOMPARE(
            int64_t(ed.GetLineOffset(rows)), std::min<int64_t>(int64_t(lastStart) + bytesPerLine, INT32_MAX));
        // The rows after the data start at the last position that fits, never below it.
        for (int row = rows; row < rows + 3; ++row)
            QVERIFY(ed.GetLineOffset(row + 1) >= ed.GetLineOffset(row));
        // The last byte maps to its cell and back, and the cell shows it.
        const int32_t lastByte = static_cast<int32_t>(size) - 1;
        QCOMPARE(ed.GetRow(lastByte), last);
        const TGridCoord cell = ed.GetCursorAtPos(lastByte, false);
        QCOMPARE(cell.x, 2 * (lastLength - 1) + 2);
        QCOMPARE(ed.GetPosAtCursor(cell.x, cell.y), lastByte);
        QVERIFY(!ed.OutOfBounds(cell.x + 1, last));
        QVERIFY(ed.OutOfBounds(cell.x + 2, last));
        QCOMPARE(ed.CellLook(cell.x, last).text, std::string("0"));
        QVERIFY(ed.Seek(0, 2, true));
        QCOMPARE(ed.GetCursorPos(), lastByte);
    }

    void lineLengthsBeforeTheMode()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(40, 0));
        ed.SetLineLengths({4, 4});
        ed.SetVariableLineLength(true);
        QCOMPARE(ed.GetLineLength(0), 4);
        QCOMPARE(ed.GetLineLength(1), 4);
        QCOMPARE(ed.GetLineLength(2), 16);
        ed.SetVariableLineLength(false);
        // Setting the same row twice while the mode is off shifts later rows only once.
        ed.SetLineLength(2, 5);
        ed.SetLineLength(2, 5);
        ed.SetVariableLineLength(true);
        QCOMPARE(ed.GetLineLength(2), 5);
        QCOMPARE(ed.GetLineLength(3), 16);
    }

    void selection()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(64, 0));
        QCOMPARE(ed.GetSelStart(), 0);
        QCOMPARE(ed.GetSelEnd(), 0);
        ed.SetSelStart(20);
        ed.SetSelEnd(25);
        QCOMPARE(ed.GetSelAnchor(), 20);
        QCOMPARE(ed.GetSelStart(), 20);
        QCOMPARE(ed.GetSelEnd(), 25);
        QCOMPARE(ed.GetSelCount(), 6);
        QCOMPARE(ed.GetCursorPos(), 20);
        QVERIFY(ed.IsSelected(25) && !ed.IsSelected(26) && !ed.IsSelected(19));
        ed.SetSelEnd(18);
        QCOMPARE(ed.GetSelFirst(), 18);
        QCOMPARE(ed.GetSelLast(), 20);
        QCOMPARE(ed.GetSelEnd(), 18);
        ed.ResetSelection(true);
        QCOMPARE(ed.GetSelCount(), 0);
        QVERIFY(!ed.IsSelected(20));
        // Moving with Selecting on extends from the anchor.
        // Extending from the caret, forwards and then back over the anchor.
        ed.SetSelStart(4);
        ed.Select(ed.Col(), ed.Row(), ed.GetCursorAtPos(7, true).x, 0);
        QCOMPARE(ed.GetSelAnchor(), 4);
        QCOMPARE(ed.GetSelFirst(), 4);
        QCOMPARE(ed.GetSelLast(), 7);
        QCOMPARE(ed.GetSelEnd(), 7);
        ed.Select(ed.Col(), ed.Row(), ed.GetCursorAtPos(2, true).x, 0);
        QCOMPARE(ed.GetSelFirst(), 2);
        QCOMPARE(ed.GetSelLast(), 4);
        QCOMPARE(ed.GetSelEnd(), 2);
        QCOMPARE(ed.GetSelCount(), 3);
        // A cell move with neither Shift nor the mouse button down ends the selection.
        ed.SetSelecting(true);
        ed.MoveColRow(ed.GetCursorAtPos(9, false).x, 0, true, true);
        QCOMPARE(ed.GetSelCount(), 0);
        QVERIFY(!ed.GetSelecting());
        // A cell past the data lands on the last byte.
        Fill(ed, std::vector<uint8_t>(20, 0));
        ed.MoveColRow(30, 1, true, true);
        QCOMPARE(ed.GetCursorPos(), 19);
        ed.MoveColRow(34, 0, true, true); // the field gap is refused
        QCOMPARE(ed.GetCursorPos(), 19);
    }

    void markers()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(200, 0));
        ed.SetMarker(7, 3);
        ed.SetMarker(2, 3);
        QCOMPARE(ed.IsMarkerPos(3), 2);
        QCOMPARE(ed.IsMarkerPos(4), -1);
        QCOMPARE(ed.GetMarkerRow(7), 3);
        ed.SetSelStart(100);
        QCOMPARE(ed.GetMarkerRow(4), ed.Row());
    }

    void find_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<int>("expected");
        QTest::newRow("aa in aaa") << QByteArray("aaa") << QByteArray("aa") << 0 << 100 << false << 0;
        QTest::newRow("ab in aab (restart)")
            << QByteArray("aab") << QByteArray("ab") << 0 << 100 << false << 1;
        QTest::newRow("no room: start+count = last+2")
            << QByteArray("abcdef") << QByteArray("ef") << 5 << 5 << false << -1;
        QTest::newRow("one alignment: start+count = last+1")
            << QByteArray("abcdef") << QByteArray("de") << 3 << 4 << false << 3;
        QTest::newRow("end cuts the match")
            << QByteArray("abcdef") << QByteArray("de") << 0 << 3 << false << -1;
        QTest::newRow("end beyond data")
            << QByteArray("abcdef") << QByteArray("ef") << 0 << 1000 << false << 4;
        QTest::newRow("ignore case, lower pattern")
            << QByteArray("xABC") << QByteArray("abc") << 0 << 9 << true << 1;
        QTest::newRow("ignore case, upper pattern")
            << QByteArray("xABC") << QByteArray("ABC") << 0 << 9 << true << 1;
        QTest::newRow("case matters") << QByteArray("xABC") << QByteArray("abc") << 0 << 9 << false << -1;
        QTest::newRow("empty pattern") << QByteArray("abc") << QByteArray() << 0 << 9 << false << -1;
        QTest::newRow("from after the match")
            << QByteArray("abcabc") << QByteArray("abc") << 1 << 9 << false << 3;
        QTest::newRow("negative start") << QByteArray("abc") << QByteArray("a") << -5 << 9 << false << 0;
    }
    void find()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, pattern);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, ignoreCase);
        QFETCH(int, expected);
        THexEditor ed;
        ed.Loaded();
        Fill(ed, {data.begin(), data.end()});
        std::vector<uint8_t> p(pattern.begin(), pattern.end());
        QCOMPARE(ed.Find(p.data(), static_cast<int32_t>(p.size()), start, end, ignoreCase, false), expected);
        QCOMPARE(ed.GetSelCount(), 0); // Find neither moves nor selects
        QCOMPARE(ed.GetCursorPos(), 0);
    }

    void findChangesThePatternInPlace()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("00414243"));
        std::vector<uint8_t> p{'A', 'b', 'C'};
        QCOMPARE(ed.Find(p.data(), 3, 0, 3, true, false), 1);
        QCOMPARE(p, (std::vector<uint8_t>{'a', 'b', 'c'}));
        ed.SetTranslation(ttEBCDIC);
        std::vector<uint8_t> q{'A', 'B'};
        QCOMPARE(ed.Find(q.data(), 2, 0, 3, false, true), -1);
        QCOMPARE(q, (std::vector<uint8_t>{0xC1, 0xC2}));
        ed.SetTranslation(ttASCII);
        std::vector<uint8_t> r{0xC4};
        ed.Find(r.data(), 1, 0, 3, false, true);
        QCOMPARE(r[0], AnsiToOemChar(0xC4));
    }

    void findMatchesTheNaiveScanOnLargeData()
    {
        THexEditor ed;
        ed.Loaded();
        std::mt19937 rng(42);
        std::vector<uint8_t> data(300000);
        for (auto& b : data)
            b = static_cast<uint8_t>('a' + rng() % 3);
        Fill(ed, data);
        for (int round = 0; round < 60; ++round) {
            const int32_t count = 1 + static_cast<int32_t>(rng() % 9);
            const int32_t from = static_cast<int32_t>(rng() % data.size());
            std::vector<uint8_t> pattern(
                data.begin() + from, data.begin() + std::min<size_t>(data.size(), from + count));
            if (round % 3 == 0)
                pattern.back() = 'b';
            const int32_t start = static_cast<int32_t>(rng() % data.size());
            const int32_t end = start + static_cast<int32_t>(rng() % 200000);
            const int32_t last = std::min<int32_t>(end, static_cast<int32_t>(data.size()) - 1);
            const int32_t expected = NaiveFind(data, pattern, start, last);
            QCOMPARE(ed.Find(pattern.data(), static_cast<int32_t>(pattern.size()), start, end, false, false),
                expected);
        }
        // A match across the read window's edge.
        const std::vector<uint8_t> edge(data.begin() + 65530, data.begin() + 65542);
        std::vector<uint8_t> pattern = edge;
        QCOMPARE(
            ed.Find(pattern.data(), 12, 65530, 70000, false, false), NaiveFind(data, edge, 65530, 70000));
    }

    void seek_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("origin");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("position");
        QTest::newRow("end, 0") << 10 << 0 << 2 << false << true << 99;
        QTest::newRow("end, 5, refuse") << 10 << 5 << 2 << true << false << 10;
        QTest::newRow("end, 5") << 10 << 5 << 2 << false << true << 99;
        QTest::newRow("current, -3") << 1 << -3 << 1 << false << true << 0;
        QTest::newRow("current, -3, refuse") << 1 << -3 << 1 << true << false << 1;
        QTest::newRow("start, 42") << 1 << 42 << 0 << true << true << 42;
        QTest::newRow("start, 100, refuse") << 1 << 100 << 0 << true << false << 1;
        QTest::newRow("origin 7") << 30 << 5 << 7 << true << true << 30;
    }
    void seek()
    {
        QFETCH(int, caret);
        QFETCH(int, offset);
        QFETCH(int, origin);
        QFETCH(bool, refuse);
        QFETCH(bool, result);
        QFETCH(int, position);
        THexEditor ed;
        ed.Loaded();
        QVERIFY(!ed.Seek(0, 0, false)); // no data
        Fill(ed, std::vector<uint8_t>(100, 0));
        ed.SetSelStart(caret);
        ed.SetSelEnd(caret + 2);
        QCOMPARE(ed.Seek(offset, origin, refuse), result);
        QCOMPARE(ed.GetCursorPos(), position);
        QCOMPARE(ed.GetSelCount(), result ? 0 : 3);
    }

    void textAndHex()
    {
        THexEditor ed;
        ed.Loaded();
        QCOMPARE(ed.GetAsText(), std::string());
        QCOMPARE(ed.GetAsHex(), std::string());
        ed.SetAsHex("1f a0-0\n1");
        QCOMPARE(Hex(ed), QByteArray("1FA001"));
        QCOMPARE(ed.GetAsText(), std::string("\x1f\xa0\x01", 3));
        ed.SetSwapNibbles(true);
        QCOMPARE(ed.GetAsHex(), std::string("F10A10"));
        ed.SetAsHex("F10A");
        ed.SetSwapNibbles(false);
        QCOMPARE(Hex(ed), QByteArray("1FA0"));
        ed.SetAsText(std::string("A\0B", 3));
        QCOMPARE(Hex(ed), QByteArray("410042"));
        ed.SetTranslation(ttEBCDIC);
        ed.SetAsText("AB");
        QCOMPARE(Hex(ed), QByteArray("C1C2"));
        QCOMPARE(ed.GetAsText(), std::string("\xC1\xC2"));
        ed.SetAsHex("");
        QCOMPARE(ed.GetDataSize(), 0);
        // Under NoSizeChange a longer text is cut and a shorter one replaces the head.
        ed.SetTranslation(ttAnsi);
        ed.SetAsText("abcd");
        ed.SetNoSizeChange(true);
        ed.SetAsText("xyzzy");
        QCOMPARE(ed.GetAsText(), std::string("xyzz"));
        ed.SetAsText("QR");
        QCOMPARE(ed.GetAsText(), std::string("QRzz"));
    }

    void loadFailureLeavesEmptyConsistentState()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, {1, 2, 3});
        struct BadBuf : std::streambuf {
            int_type underflow() override { throw std::ios_base::failure("gone"); }
        } bad;
        std::istream broken(&bad);
        QVERIFY_THROWS_EXCEPTION(EStreamError, ed.LoadFromStream(broken));
        QCOMPARE(ed.GetDataSize(), 0);
        QCOMPARE(ed.RowCount(), 1);
        QCOMPARE(ed.Col(), 2);
        QVERIFY(!ed.GetCanUndo());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        ed.AppendBuffer(Bytes("01").data(), 1); // usable again
        QCOMPARE(ed.GetDataSize(), 1);
    }
};

QTEST_MAIN(HexEditorTest)
#include "HexEditorTest.moc"
