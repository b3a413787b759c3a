// Model-based test of the editing operations and undo: thousands of seeded random
// operations run on THexEditor and on a plain byte vector, compared after every step,
// then undone step by step back to where the undo store begins.
//
// Longer runs from the environment:
//   KORVEX_MODEL_SEEDS=N  every row runs N seeds (its own and the N-1 after it); default 1
//   KORVEX_MODEL_SIZE=N   the data of every row is drawn below N bytes (default: the row's)
#include "HexEditorTestSupport.h"

#include "support/HexEditorModel.h"

#include <QApplication>
#include <QTest>

#include <random>

namespace {
// The seeded choices: below (n) is the generator's next number mod n.
struct SeededChoice {
    explicit SeededChoice(uint32_t seed)
        : rng(seed)
    {
    }
    uint32_t Next() { return static_cast<uint32_t>(rng()); }
    std::mt19937 rng;
};

int EnvironmentNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}
} // namespace

class HexEditorModelTest : public QObject {
    Q_OBJECT

private slots:
    void randomOperations_data()
    {
        QTest::addColumn<int>("mode"); // 0 overwrite, 1 insert mode, 2 NoSizeChange switched on and off
        QTest::addColumn<uint32_t>("seed");
        QTest::addColumn<int>("minSize"); // the data of each segment: minSize + below(sizeRange)
        QTest::addColumn<int>("sizeRange");
        QTest::addColumn<int>("kinds"); // operations drawn: the classic ones, or all
        QTest::addColumn<int>("segments"); // the last one runs past the 500-step limit
        using namespace hexmodel;
        QTest::newRow("overwrite mode") << 0 << 20260101u << 0 << 300 << int(ClassicKinds) << 8;
        QTest::newRow("insert mode") << 1 << 777u << 0 << 300 << int(ClassicKinds) << 8;
        QTest::newRow("NoSizeChange on and off") << 2 << 4242u << 0 << 300 << int(ClassicKinds) << 8;
        // Data beyond the 64 KiB read window, with finds, seeks, selections and saves.
        QTest::newRow("larger than the read window, all operations")
            << 2 << 9001u << 65537 << 32768 << int(AllKinds) << 2;
    }
    void randomOperations()
    {
        QFETCH(int, mode);
        QFETCH(uint32_t, seed);
        QFETCH(int, minSize);
        QFETCH(int, sizeRange);
        QFETCH(int, kinds);
        QFETCH(int, segments);
        const int seeds = EnvironmentNumber("KORVEX_MODEL_SEEDS", 1);
        const int sizeLimit = EnvironmentNumber("KORVEX_MODEL_SIZE", 0);
        if (sizeLimit > 0) {
            minSize = 0;
            sizeRange = sizeLimit;
        }
        for (int run = 0; run < seeds; ++run)
            RunSeed(mode, seed + static_cast<uint32_t>(run), minSize, sizeRange, kinds, segments);
    }

private:
    void RunSeed(int mode, uint32_t seed, int minSize, int sizeRange, int kinds, int segments)
    {
        QTemporaryDir saves; // beside the temporary folder under watch, not in it
        TempDirScope temp;
        SeededChoice choice(seed);
        {
            TestHexEditor ed;
            ed.Loaded();
            hexmodel::Driver<SeededChoice> driver(ed, choice, saves.path().toStdString());
            ed.SetBytesPerLine(static_cast<int32_t>(1 + driver.Below(40)));
            ed.SetAllowInsertMode(true);
            ed.SetInsertToggle(mode == 1);
            QCOMPARE(ed.IsInsertMode(), mode == 1);

            int steps = 0;
            for (int segment = 0; segment < segments; ++segment) {
                // Every segment starts with fresh data and an empty undo store; the last
                // one runs past the 500-record limit.
                driver.Start(driver.RandomBytes(static_cast<int>(minSize + driver.Below(sizeRange))));
                const int operations = segment == segments - 1 ? 700 : 450;
                for (int op = 0; op < operations; ++op, ++steps) {
                    if (mode == 2 && driver.Below(25) == 0)
                        ed.SetNoSizeChange(!ed.GetNoSizeChange());
                    const int kind = static_cast<int>(driver.Below(kinds));
                    const std::string failure = driver.Step(kind);
                    if (!failure.empty())
                        QFAIL(qPrintable(QString("seed %1, step %2 (operation %3): %4")
                                             .arg(seed)
                                             .arg(steps)
                                             .arg(kind)
                                             .arg(QString::fromStdString(failure))));
                }
                // Back to the oldest state the undo store still knows.
                const std::string failure = driver.UndoAll();
                if (!failure.empty())
                    QFAIL(qPrintable(QString("seed %1, segment %2: %3")
                                         .arg(seed)
                                         .arg(segment)
                                         .arg(QString::fromStdString(failure))));
            }
            QVERIFY(steps >= 450 * (segments - 1) + 700);
        }
        QCOMPARE(temp.Entries(), QStringList());
    }
};

QTEST_MAIN(HexEditorModelTest)
#include "HexEditorModelTest.moc"
