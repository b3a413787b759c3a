// The undo store of THexEditor: the record format (a contract, checked byte by byte for
// every kind), the permission rules, the 500-record limit and what an undo restores.
#include "HexEditorTestSupport.h"

#include "hexeditor/UndoStore.h"

#include <QApplication>
#include <QTest>

#include <deque>
#include <functional>
#include <random>

namespace {
// Writes the expected record the long way: field by field, little-endian.
struct Expected {
    std::vector<uint8_t> bytes;
    void U8(int v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void I32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    }
};

std::vector<uint8_t> Record(int kind, int changed, int modified, int32_t caret, int digit, int inChars,
    int32_t selFirst, int32_t selLast, int32_t selAnchor, int32_t pos, int32_t count, int32_t fourth,
    const std::vector<uint8_t>& saved)
{
    Expected e;
    e.U8(kind);
    e.U8(changed);
    e.U8(modified);
    e.I32(caret);
    e.U8(digit);
    e.U8(inChars);
    e.I32(selFirst);
    e.I32(selLast);
    e.I32(selAnchor);
    e.I32(pos);
    e.I32(count);
    e.I32(fourth);
    const std::vector<uint8_t> body = saved.empty() ? std::vector<uint8_t>{0} : saved;
    e.bytes.insert(e.bytes.end(), body.begin(), body.end());
    e.I32(static_cast<int32_t>(e.bytes.size()) + 4);
    return e.bytes;
}

std::vector<uint8_t> NewestRecord(const THexEditor& ed)
{
    const auto& stream = ed.GetUndoStore().Stream();
    const size_t length = ed.GetUndoStore().NewestLength();
    return {stream.end() - static_cast<ptrdiff_t>(length), stream.end()};
}
} // namespace

class HexEditorUndoTest : public QObject {
    Q_OBJECT

    TempDirFixture FTemp;

private slots:
    void init() { FTemp.Init(); }
    void cleanup() { QCOMPARE(FTemp.Finish(), QStringList()); }

    void recordLayout_data()
    {
        QTest::addColumn<int>("kind");
        for (int kind = 0; kind < 8; ++kind)
            QTest::addRow("kind %d %s", kind, UndoKindDescription(static_cast<uint8_t>(kind)).c_str())
                << kind;
    }
    void recordLayout()
    {
        QFETCH(int, kind);
        TestHexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("00112233445566778899"));
        // A change mark on byte 5 from an earlier edit, then the edit of this row.
        ed.ChangeByte(0x55, 0x5A, 5, 12, 0);
        QVERIFY(ed.GetModified());
        std::vector<uint8_t> expected;
        switch (kind) {
        case 0:
            // Caret on the second digit of byte 3, no selection.
            ed.SetSelStart(3);
            ed.MoveColRow(9, 0, true, true);
            ed.ChangeByte(0x5A, 0x01, 5, 9, 0);
            expected = Record(0, 1, 1, 3, 1, 0, -1, -1, -1, 5, 1, 0, {0x5A});
            break;
        case 1:
            ed.SetSelStart(4);
            ed.SetSelEnd(2);
            ed.DeleteSelection();
            expected = Record(1, 0, 1, 4, 0, 0, 2, 4, 4, 2, 3, 0, Bytes("223344"));
            break;
        case 2:
            ed.SetSelStart(7);
            ed.SetInCharField(true);
            ed.InsertBuffer(Bytes("a1a2a3a4").data(), 4, 1);
            expected = Record(2, 0, 1, 7, 0, 1, -1, -1, -1, 1, 4, 0, {});
            break;
        case 3:
            ed.SetSelStart(1);
            ed.SetSelEnd(3);
            ed.ReplaceSelection(Bytes("eeff").data(), 2);
            expected = Record(3, 0, 1, 1, 0, 0, 1, 3, 1, 1, 2, 3, Bytes("112233"));
            break;
        case 4:
            ed.SetSelStart(2);
            ed.AppendBuffer(Bytes("0102030405").data(), 5);
            expected = Record(4, 0, 1, 2, 0, 0, -1, -1, -1, 10, 5, 0, {});
            break;
        case 5:
            ed.SetSelStart(5);
            ed.InsertNibble(5, true);
            expected = Record(5, 1, 1, 5, 0, 0, -1, -1, -1, 5, 0, 0, {0x5A});
            break;
        case 6:
            ed.SetSelStart(6);
            ed.DeleteNibble(6, false);
            expected = Record(6, 0, 1, 6, 0, 0, -1, -1, -1, 6, 0, 0, {0x66});
            break;
        case 7:
            ed.SetSelStart(0);
            ed.ConvertRange(2, 4, ttMac, ttEBCDIC);
            expected = Record(7, 0, 1, 0, 0, 0, -1, -1, -1, 2, 3, 0, Bytes("223344"));
            break;
        }
        QCOMPARE(ed.GetUndoStore().Count(), 2);
        const auto got = NewestRecord(ed);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(got.data()), static_cast<int>(got.size())).toHex(),
            QByteArray(reinterpret_cast<const char*>(expected.data()), static_cast<int>(expected.size()))
                .toHex());
        // The first record: byte change of an unmodified, unmarked byte.
        const auto& stream = ed.GetUndoStore().Stream();
        const auto first = Record(0, 0, 0, 0, 0, 0, -1, -1, -1, 5, 1, 0, {0x55});
        QVERIFY(std::equal(first.begin(), first.end(), stream.begin()));
        QCOMPARE(stream.size(), first.size() + expected.size());
        QCOMPARE(ed.GetUndoDescription(), UndoKindDescription(static_cast<uint8_t>(kind)));
        // Undoing both steps brings the data back.
        QVERIFY(ed.Undo());
        QVERIFY(ed.Undo());
        QCOMPARE(Hex(ed), QByteArray("00112233445566778899"));
        QVERIFY(!ed.GetModified());
        QVERIFY(!ed.Undo());
    }

    void permission_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("fourth");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<bool>("noSizeChange");
        QTest::addColumn<bool>("allowed");
        for (int kind = 0; kind < 8; ++kind) {
            const bool sizeChanging = kind == 1 || kind == 2 || kind == 4 || kind == 5 || kind == 6;
            QTest::addRow("kind %d", kind) << kind << 1 << 1 << false << false << true;
            QTest::addRow("kind %d, NoSizeChange", kind) << kind << 1 << 1 << false << true << !sizeChanging;
            QTest::addRow("kind %d, empty data", kind)
                << kind << 1 << 1 << true << false << (kind == 2 || kind == 4);
        }
        QTest::newRow("replace, other length, NoSizeChange") << 3 << 2 << 3 << false << true << false;
        QTest::newRow("replace, other length") << 3 << 2 << 3 << false << false << true;
    }
    void permission()
    {
        QFETCH(int, kind);
        QFETCH(int, count);
        QFETCH(int, fourth);
        QFETCH(bool, empty);
        QFETCH(bool, noSizeChange);
        QFETCH(bool, allowed);
        THexEditor ed;
        ed.Loaded();
        if (!empty)
            Fill(ed, Bytes("0102030405"));
        ed.SetNoSizeChange(noSizeChange);
        QCOMPARE(ed.CreateUndo(static_cast<uint8_t>(kind), 0, count, fourth), allowed);
        QCOMPARE(ed.GetCanUndo(), allowed);
        QCOMPARE(ed.GetModified(), allowed);
        QCOMPARE(ed.GetUndoStore().Count(), allowed ? 1 : 0);
    }

    void undoRestoresCaretSelectionMarkAndModified()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, std::vector<uint8_t>(40, 0x11));
        ed.SetSelStart(20);
        ed.SetSelEnd(22);
        ed.MoveColRow(ed.GetCursorAtPos(20, false).x + 1, 1, true, true); // second digit
        const int col = ed.Col();
        // The move dropped the selection; make one again the way a drag would.
        ed.Select(col, 1, ed.GetCursorAtPos(23, false).x, 1);
        ed.ChangeByte(0x11, 0x22, 30, 0, 1);
        QVERIFY(ed.HasChanged(30));
        ed.SetSelStart(0);
        QVERIFY(ed.Undo());
        QCOMPARE(ed.GetMemory(30), uint8_t(0x11));
        QVERIFY(!ed.HasChanged(30));
        QCOMPARE(ed.Col(), col);
        QCOMPARE(ed.Row(), 1);
        QCOMPARE(ed.GetSelFirst(), 20);
        QCOMPARE(ed.GetSelLast(), 23);
        QCOMPARE(ed.GetSelAnchor(), 20);
        QVERIFY(!ed.GetModified());
        QCOMPARE(ed.GetUndoDescription(), std::string("No Undo"));
        QVERIFY(!ed.GetCanUndo());
    }

    void limitOf500WithAllKinds()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("000102030405060708090a0b0c0d0e0f"));
        std::vector<std::string> states{ed.GetAsText()};
        for (int step = 0; step < 501; ++step) {
            const int32_t size = ed.GetDataSize();
            const int32_t p = step % size;
            switch (step % 8) {
            case 0:
                ed.ChangeByte(ed.GetByteAtPos(p), static_cast<uint8_t>(step), p, 2, 0);
                break;
            case 1:
                ed.SetSelStart(p);
                ed.DeleteSelection();
                break;
            case 2:
                ed.InsertBuffer(Bytes("abcd").data(), 2, p);
                break;
            case 3:
                ed.SetSelStart(0);
                ed.SetSelEnd(std::min(size - 1, 2));
                ed.ReplaceSelection(Bytes("f0f1f2f3").data(), 4);
                break;
            case 4:
                ed.AppendBuffer(Bytes("99").data(), 1);
                break;
            case 5:
                ed.InsertNibble(p, step % 2 == 0);
                break;
            case 6:
                ed.DeleteNibble(p, step % 3 == 0);
                break;
            case 7:
                ed.ConvertRange(0, size - 1, ttMac, ttAnsi);
                break;
            }
            states.push_back(ed.GetAsText());
        }
        QCOMPARE(ed.GetUndoStore().Count(), 500);
        for (int k = 1; k <= 500; ++k) {
            QVERIFY(ed.Undo());
            QCOMPARE(ed.GetAsText(), states[static_cast<size_t>(501 - k)]);
        }
        QCOMPARE(ed.GetUndoStore().Count(), 0);
        QCOMPARE(ed.GetUndoStore().StreamSize(), size_t(0));
        QCOMPARE(ed.GetUndoDescription(), std::string("No Undo"));
        QVERIFY(!ed.GetCanUndo());
        QVERIFY(!ed.Undo());
        QCOMPARE(ed.GetAsText(), states[1]);
    }

    void undoAfterSetModifiedFalse()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("010203"));
        ed.ChangeByte(1, 9, 0, 2, 0);
        ed.SetModified(false);
        QVERIFY(!ed.GetCanUndo());
        QCOMPARE(ed.GetUndoStore().Count(), 1); // kept
        QVERIFY(!ed.Undo()); // nothing but a reset
        QCOMPARE(ed.GetUndoStore().Count(), 0);
        QCOMPARE(Hex(ed), QByteArray("090203"));

        ed.ChangeByte(2, 8, 1, 4, 0);
        ed.SetModified(false);
        ed.ChangeByte(3, 7, 2, 6, 0); // makes the older record reachable again
        QVERIFY(ed.Undo());
        QVERIFY(!ed.GetModified());
        QVERIFY(ed.GetCanUndo());
        QVERIFY(ed.Undo());
        QCOMPARE(Hex(ed), QByteArray("090203"));
    }

    void undoAppendTruncates()
    {
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Bytes("0102"));
        ed.AppendBuffer(Bytes("030405").data(), 3);
        QCOMPARE(ed.GetDataSize(), 5);
        QVERIFY(ed.Undo());
        QCOMPARE(Hex(ed), QByteArray("0102"));
        QCOMPARE(ed.RowCount(), 1);
    }

    void undoInsertOnNarrowRows()
    {
        // The provisional caret cell must exist also with very few bytes per line.
        THexEditor ed;
        ed.Loaded();
        ed.SetBytesPerLine(1);
        Fill(ed, Bytes("0102"));
        ed.InsertBuffer(Bytes("aa").data(), 1, 1);
        QVERIFY(ed.Undo());
        QCOMPARE(Hex(ed), QByteArray("0102"));
    }

    void storeDropsOldest()
    {
        UndoStore store;
        TUndoRec rec;
        for (int i = 0; i < 505; ++i) {
            rec.position = i;
            const std::vector<uint8_t> saved(static_cast<size_t>(i % 3), 0xAB);
            rec.kind = saved.empty() ? ukInsertBuffer : ukBytesRemoved;
            store.Push(rec, saved.data(), saved.size());
        }
        QCOMPARE(store.Count(), 500);
        // The oldest kept is number 5; walk the whole stream from its end.
        size_t end = store.StreamSize();
        int records = 0;
        int32_t lastPosition = -1;
        while (end > 0) {
            const auto& s = store.Stream();
            const uint32_t trailer
                = s[end - 4] | (s[end - 3] << 8) | (s[end - 2] << 16) | (uint32_t(s[end - 1]) << 24);
            end -= trailer;
            lastPosition = TUndoRec::Decode(s.data() + end).position;
            ++records;
        }
        QCOMPARE(records, 500);
        QCOMPARE(lastPosition, 5);
    }

    // The store against a list of encoded records: random pushes of records of every
    // size (now and then a big one) and removals of the newest, past the 500-record
    // limit many times. The stream must always be the records, oldest first; dropping
    // the oldest must cost no more than the bytes dropped, wherever the big records sit.
    void storeAgainstRecordList_data()
    {
        QTest::addColumn<uint32_t>("seed");
        QTest::addColumn<int>("bigSize");
        QTest::addColumn<int>("bigEvery"); // one big record per this many pushes
        QTest::newRow("small records") << 1u << 0 << 0;
        QTest::newRow("a big record now and then") << 2u << 3 << 800;
        QTest::newRow("big records often") << 3u << 1 << 40;
    }
    void storeAgainstRecordList()
    {
        QFETCH(uint32_t, seed);
        QFETCH(int, bigSize);
        QFETCH(int, bigEvery);
        std::mt19937 rng(seed);
        UndoStore store;
        std::deque<std::vector<uint8_t>> records;
        uint64_t dropped = 0;
        for (int step = 0; step < 6000; ++step) {
            if (!records.empty() && rng() % 4 == 0) {
                QCOMPARE(store.NewestLength(), records.back().size());
                store.RemoveNewest(store.NewestLength());
                records.pop_back();
            } else {
                TUndoRec rec;
                rec.kind = static_cast<uint8_t>(rng() % 8);
                rec.position = static_cast<int32_t>(rng());
                rec.count = static_cast<int32_t>(rng() % 100);
                size_t savedCount = rng() % 3 == 0 ? 0 : rng() % 300;
                if (bigEvery > 0 && step % bigEvery == bigEvery - 1)
                    savedCount = static_cast<size_t>(bigSize) << 20;
                std::vector<uint8_t> saved(savedCount, static_cast<uint8_t>(step));
                store.Push(rec, saved.data(), saved.size());
                records.push_back(
                    Record(rec.kind, 0, 0, 0, 0, 0, -1, -1, -1, rec.position, rec.count, 0, saved));
                if (records.size() > 500) {
                    dropped += records.front().size();
                    records.pop_front();
                }
            }
            QCOMPARE(store.Count(), static_cast<int32_t>(records.size()));
            QVERIFY(store.BytesMoved() <= dropped);
            if (step % 97 == 0 || step > 5990) {
                std::vector<uint8_t> expected;
                for (const auto& r : records)
                    expected.insert(expected.end(), r.begin(), r.end());
                const auto stream = store.Stream();
                QVERIFY(std::equal(stream.begin(), stream.end(), expected.begin(), expected.end()));
            }
            if (!records.empty()) {
                const auto& newest = records.back();
                QCOMPARE(store.NewestOffset(), store.StreamSize() - newest.size());
                QCOMPARE(store.NewestSavedSize(), newest.size() - TUndoRec::HeaderSize - 4);
                QCOMPARE(store.NewestSaved()[0], newest[TUndoRec::HeaderSize]);
                QCOMPARE(int(store.Newest().kind), int(newest[0]));
            }
        }
        QVERIFY(dropped > 0);
    }

    // Once 500 steps are kept, every edit drops the oldest; after a removal that saved a
    // lot of bytes, those bytes must not move with every keystroke.
    void trimmingAfterBigRemovalMovesLittle()
    {
        THexEditor ed;
        ed.Loaded();
        const int32_t big = 16 << 20;
        Fill(ed, std::vector<uint8_t>(static_cast<size_t>(big) + 1000, 0x11));
        for (int i = 0; i < 600; ++i)
            ed.ChangeByte(ed.GetByteAtPos(i % 1000), static_cast<uint8_t>(i), i % 1000, 2, 0);
        ed.SetSelStart(1000);
        ed.SetSelEnd(1000 + big - 1);
        ed.DeleteSelection();
        QCOMPARE(ed.GetDataSize(), 1000);
        const uint64_t movedBefore = ed.GetUndoStore().BytesMoved();
        for (int i = 0; i < 2000; ++i)
            ed.ChangeByte(ed.GetByteAtPos(i % 1000), static_cast<uint8_t>(i + 1), i % 1000, 2, 0);
        QCOMPARE(ed.GetUndoStore().Count(), 500);
        // 2000 records were dropped, the big one among them. At most the small ones and
        // one stream of 500 small records moved; moving the stream per drop would have
        // moved the 16 MiB some 500 times.
        QVERIFY(ed.GetUndoStore().BytesMoved() - movedBefore <= uint64_t(2500) * 38);
        QVERIFY(ed.GetUndoStore().StreamSize() == size_t(500) * 38);
        for (int i = 0; i < 500; ++i)
            QVERIFY(ed.Undo());
        QVERIFY(!ed.GetCanUndo());
    }
};

QTEST_MAIN(HexEditorUndoTest)
#include "HexEditorUndoTest.moc"
