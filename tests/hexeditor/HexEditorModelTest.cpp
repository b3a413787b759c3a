// Model-based test of the editing operations and undo: thousands of seeded random
// operations run on THexEditor and on a plain byte vector, compared after every step,
// then undone step by step back to where the undo store begins.
#include "HexEditorTestSupport.h"

#include "hexeditor/Translation.h"

#include <QApplication>
#include <QTest>

#include <deque>
#include <random>

namespace {
using Bytes_t = std::vector<uint8_t>;

Bytes_t NibblesOf(const Bytes_t& data, size_t from)
{
    Bytes_t n;
    for (size_t i = from; i < data.size(); ++i) {
        n.push_back(data[i] >> 4);
        n.push_back(data[i] & 0x0F);
    }
    return n;
}

Bytes_t WithNibbles(Bytes_t data, size_t from, Bytes_t nibbles, size_t bytes)
{
    nibbles.resize(bytes * 2, 0);
    data.resize(from);
    for (size_t i = 0; i < bytes; ++i)
        data.push_back(static_cast<uint8_t>((nibbles[2 * i] << 4) | nibbles[2 * i + 1]));
    return data;
}

Bytes_t ModelInsertNibble(const Bytes_t& data, size_t p, bool high)
{
    Bytes_t n = NibblesOf(data, p);
    if (high)
        n.insert(n.begin(), 0);
    else
        n.insert(n.begin() + 1, 0);
    return WithNibbles(data, p, n, data.size() - p + 1);
}

Bytes_t ModelDeleteNibble(const Bytes_t& data, size_t p, bool high)
{
    Bytes_t n = NibblesOf(data, p);
    n.erase(n.begin() + (high ? 0 : 1));
    return WithNibbles(data, p, n, data.size() - p);
}
} // namespace

class HexEditorModelTest : public QObject {
    Q_OBJECT

private slots:
    void randomOperations_data()
    {
        QTest::addColumn<int>("mode"); // 0 overwrite, 1 insert mode, 2 NoSizeChange switched on and off
        QTest::addColumn<uint32_t>("seed");
        QTest::newRow("overwrite mode") << 0 << 20260101u;
        QTest::newRow("insert mode") << 1 << 777u;
        QTest::newRow("NoSizeChange on and off") << 2 << 4242u;
    }
    void randomOperations()
    {
        QFETCH(int, mode);
        QFETCH(uint32_t, seed);
        TempDirScope temp;
        std::mt19937 rng(seed);
        auto below = [&](int64_t n) {
            return n <= 0 ? int64_t(0) : static_cast<int64_t>(rng() % static_cast<uint64_t>(n));
        };
        auto randomBytes = [&](int n) {
            Bytes_t b(static_cast<size_t>(n));
            for (auto& x : b)
                x = static_cast<uint8_t>(rng());
            return b;
        };
        {
            TestHexEditor ed;
            ed.Loaded();
            ed.SetBytesPerLine(static_cast<int32_t>(1 + below(40)));
            ed.SetAllowInsertMode(true);
            ed.SetInsertToggle(mode == 1);
            QCOMPARE(ed.IsInsertMode(), mode == 1);

            Bytes_t model;
            std::deque<Bytes_t> history; // the state before each recorded step
            int steps = 0;

            const int segments = 8;
            for (int segment = 0; segment < segments; ++segment) {
                // Every segment starts with fresh data and an empty undo store; the last one
                // runs past the 500-record limit.
                model = randomBytes(static_cast<int>(below(300)));
                Fill(ed, model);
                history.clear();
                const int operations = segment == segments - 1 ? 700 : 450;
                Bytes_t segmentStart = model;
                for (int op = 0; op < operations; ++op, ++steps) {
                    if (mode == 2 && below(25) == 0)
                        ed.SetNoSizeChange(!ed.GetNoSizeChange());
                    const bool fixedSize = ed.GetNoSizeChange();
                    const auto size = static_cast<int32_t>(model.size());
                    const Bytes_t before = model;
                    bool recorded = false;
                    const int kind = static_cast<int>(below(11));
                    switch (kind) {
                    case 0: { // change one byte
                        if (size == 0)
                            break;
                        const auto p = static_cast<int32_t>(below(size));
                        const auto b = static_cast<uint8_t>(below(4) == 0 ? model[p] : rng());
                        const TGridCoord cell = ed.GetCursorAtPos(p, false);
                        ed.ChangeByte(model[p], b, p, cell.x, cell.y);
                        recorded = b != model[p];
                        model[p] = b;
                        break;
                    }
                    case 1: { // insert a block
                        const auto p = static_cast<int32_t>(below(size + 1));
                        const Bytes_t block = randomBytes(static_cast<int>(1 + below(20)));
                        if (size > 0 && below(2) == 0)
                            ed.SetSelStart(std::min(p, size - 1));
                        ed.InsertBuffer(block.data(), static_cast<int32_t>(block.size()), p);
                        if (!fixedSize) {
                            model.insert(model.begin() + p, block.begin(), block.end());
                            recorded = true;
                        }
                        break;
                    }
                    case 2: { // append
                        const Bytes_t block = randomBytes(static_cast<int>(1 + below(20)));
                        ed.AppendBuffer(block.data(), static_cast<int32_t>(block.size()));
                        if (!fixedSize) {
                            model.insert(model.end(), block.begin(), block.end());
                            recorded = true;
                        }
                        break;
                    }
                    case 3: { // replace the selection (or insert at the caret)
                        Bytes_t block = randomBytes(static_cast<int>(1 + below(12)));
                        if (size == 0) {
                            ed.ReplaceSelection(block.data(), static_cast<int32_t>(block.size()));
                            if (!fixedSize) {
                                model = block;
                                recorded = true;
                            }
                            break;
                        }
                        const auto a = static_cast<int32_t>(below(size));
                        const auto b = static_cast<int32_t>(std::min<int64_t>(size - 1, a + below(15)));
                        ed.SetSelStart(a);
                        if (below(5) != 0)
                            ed.SetSelEnd(b);
                        if (ed.GetSelCount() == 0) {
                            const int32_t at = ed.GetSelStart();
                            ed.ReplaceSelection(block.data(), static_cast<int32_t>(block.size()));
                            if (!fixedSize) {
                                model.insert(model.begin() + at, block.begin(), block.end());
                                recorded = true;
                            }
                            break;
                        }
                        const int32_t first = ed.GetSelFirst();
                        const int32_t length = ed.GetSelCount();
                        ed.ReplaceSelection(block.data(), static_cast<int32_t>(block.size()));
                        if (fixedSize) {
                            const size_t n = std::min<size_t>(block.size(), static_cast<size_t>(length));
                            std::copy(block.begin(), block.begin() + static_cast<ptrdiff_t>(n),
                                model.begin() + first);
                        } else {
                            model.erase(model.begin() + first, model.begin() + first + length);
                            model.insert(model.begin() + first, block.begin(), block.end());
                        }
                        recorded = true;
                        break;
                    }
                    case 4: { // delete the selection or the byte under the caret
                        if (size == 0) {
                            ed.DeleteSelection();
                            break;
                        }
                        const auto a = static_cast<int32_t>(below(size));
                        ed.SetSelStart(a);
                        if (below(2) == 0)
                            ed.SetSelEnd(static_cast<int32_t>(below(size)));
                        int32_t first = a;
                        int32_t length = 1;
                        if (ed.GetSelCount() > 0) {
                            first = ed.GetSelFirst();
                            length = ed.GetSelCount();
                        }
                        ed.DeleteSelection();
                        if (!fixedSize) {
                            model.erase(model.begin() + first, model.begin() + first + length);
                            recorded = true;
                        }
                        break;
                    }
                    case 5: { // erase before or at the caret
                        const bool backspace = below(2) == 0;
                        int32_t p = 0;
                        if (size > 0) {
                            p = static_cast<int32_t>(below(size));
                            ed.SetSelStart(p);
                        }
                        ed.InternalErase(backspace);
                        if (!fixedSize && size > 0) {
                            if (backspace && p > 0) {
                                model.erase(model.begin() + p - 1);
                                recorded = true;
                            } else if (!backspace) {
                                model.erase(model.begin() + p);
                                recorded = true;
                            }
                        }
                        break;
                    }
                    case 6:
                    case 7: { // nibble insert / delete
                        const bool high = below(2) == 0;
                        const auto p = static_cast<int32_t>(below(size));
                        if (kind == 6) {
                            QVERIFY(ed.InsertNibble(p, high) == (size == 0 || !fixedSize));
                            if (!fixedSize) {
                                model = size == 0 ? Bytes_t{0}
                                                  : ModelInsertNibble(model, static_cast<size_t>(p), high);
                                recorded = true;
                            }
                        } else {
                            QCOMPARE(ed.DeleteNibble(p, high), size > 0 && !fixedSize);
                            if (size > 0 && !fixedSize) {
                                model = ModelDeleteNibble(model, static_cast<size_t>(p), high);
                                recorded = true;
                            }
                        }
                        break;
                    }
                    case 8: { // convert a range
                        if (size == 0)
                            break;
                        const auto a = static_cast<int32_t>(below(size));
                        const auto b = static_cast<int32_t>(std::min<int64_t>(size - 1, a + below(30)));
                        const auto from = static_cast<TTranslationType>(below(5));
                        const auto to = static_cast<TTranslationType>(below(5));
                        ed.ConvertRange(a, b, from, to);
                        if (from != to) {
                            TranslateBufferToAnsi(from, model.data() + a, model.data() + a, b - a + 1);
                            TranslateBufferFromAnsi(to, model.data() + a, model.data() + a, b - a + 1);
                            recorded = true;
                        }
                        break;
                    }
                    default: { // undo
                        const bool expected = !history.empty();
                        QCOMPARE(ed.Undo(), expected);
                        if (expected) {
                            model = history.back();
                            history.pop_back();
                        }
                        break;
                    }
                    }
                    if (recorded) {
                        history.push_back(before);
                        if (history.size() > 500) {
                            history.pop_front();
                            segmentStart = history.front();
                        }
                    }
                    if (ed.GetAsText() != std::string(model.begin(), model.end()))
                        QFAIL(
                            qPrintable(QString("step %1 (operation %2): data differs").arg(steps).arg(kind)));
                    QCOMPARE(ed.GetDataSize(), static_cast<int32_t>(model.size()));
                    QCOMPARE(ed.GetUndoStore().Count(), static_cast<int32_t>(history.size()));
                    if (!ed.IsInsertMode())
                        QVERIFY(ed.GetChangeMarks().Size() <= static_cast<int64_t>(model.size()));
                }
                // Back to the oldest state the undo store still knows.
                while (!history.empty()) {
                    QVERIFY(ed.Undo());
                    model = history.back();
                    history.pop_back();
                    QCOMPARE(ed.GetAsText(), std::string(model.begin(), model.end()));
                }
                QVERIFY(!ed.Undo());
                QCOMPARE(ed.GetAsText(), std::string(segmentStart.begin(), segmentStart.end()));
                QVERIFY(!ed.GetModified());
            }
            QVERIFY(steps > 3000);
        }
        QCOMPARE(temp.Entries(), QStringList());
    }
};

QTEST_MAIN(HexEditorModelTest)
#include "HexEditorModelTest.moc"
