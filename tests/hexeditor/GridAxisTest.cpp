// GridAxis against a plain walk over the cells: for random column widths (zero widths
// included) and for uniform rows, with fixed cells and scrolled, the last visible cell,
// the cell under every pixel and the visible span of blocks agree with the walk.
#include "hexeditor/GridAxis.h"

#include <QTest>

#include <climits>
#include <random>
#include <vector>

namespace {

// The cells on the viewport in order: the fixed ones, then the scrolling ones from first.
std::vector<int> ShownOrder(const GridAxis& axis)
{
    std::vector<int> order;
    for (int i = 0; i < axis.Fixed(); ++i)
        order.push_back(i);
    for (int i = std::max(axis.First(), axis.Fixed()); i < axis.Count(); ++i)
        order.push_back(i);
    return order;
}

int WalkLastVisible(const GridAxis& axis, bool uniform)
{
    if (uniform && axis.Count() > 0 && axis.Size(0) <= 0)
        return -1;
    int last = -1;
    for (int i : ShownOrder(axis)) {
        if (axis.Pos(i) >= axis.Client())
            break;
        last = i;
    }
    return last;
}

int WalkCellAt(const GridAxis& axis, bool uniform, int pixel)
{
    if (uniform && axis.Count() > 0 && axis.Size(0) <= 0)
        return -1;
    for (int i : ShownOrder(axis)) {
        if (i >= axis.Fixed() && pixel < axis.FixedExtent())
            return -1;
        if (pixel < axis.Pos(i) + axis.Pitch(i))
            return i;
    }
    return -1;
}

void CheckAgainstWalk(const GridAxis& axis, bool uniform)
{
    QCOMPARE(axis.LastVisible(), WalkLastVisible(axis, uniform));
    for (int pixel = 0; pixel < axis.Client(); ++pixel)
        QCOMPARE(axis.CellAt(pixel), WalkCellAt(axis, uniform, pixel));
    const int last = axis.LastVisible();
    for (int from = 0; from < axis.Count(); from += 3) {
        for (int to = from; to < axis.Count(); to += 5) {
            int expectFirst = INT_MAX, expectLast = -1;
            for (int i : ShownOrder(axis)) {
                if (i > last && last >= 0 && i >= axis.Fixed())
                    break;
                if (i > last)
                    continue;
                if (i >= from && i <= to) {
                    expectFirst = std::min(expectFirst, i);
                    expectLast = std::max(expectLast, i);
                }
            }
            int first = 0, spanLast = 0;
            const bool any = axis.VisibleSpan(from, to, first, spanLast);
            QCOMPARE(any, expectLast >= 0);
            if (any) {
                QCOMPARE(first, expectFirst);
                QCOMPARE(spanLast, expectLast);
            }
        }
    }
}

} // namespace

class GridAxisTest : public QObject {
    Q_OBJECT

private slots:
    void columnsMatchTheWalk()
    {
        std::mt19937 rng(7);
        for (int round = 0; round < 200; ++round) {
            const int count = 1 + int(rng() % 40);
            std::vector<int> sizes(size_t(count), 0);
            std::vector<int> starts(size_t(count) + 1, 0);
            const int line = int(rng() % 2);
            for (int i = 0; i < count; ++i) {
                sizes[size_t(i)] = rng() % 4 == 0 ? 0 : int(rng() % 30);
                starts[size_t(i) + 1] = starts[size_t(i)] + sizes[size_t(i)] + line;
            }
            const int fixed = int(rng() % size_t(std::min(count, 3)));
            const int first = fixed + int(rng() % size_t(count - fixed));
            const int client = int(rng() % 300);
            CheckAgainstWalk(GridAxis::PerCell(count, fixed, first, client, starts, sizes), false);
        }
    }

    void rowsMatchTheWalk()
    {
        std::mt19937 rng(11);
        for (int round = 0; round < 200; ++round) {
            const int count = 1 + int(rng() % 60);
            const int size = int(rng() % 20);
            const int fixed = int(rng() % size_t(std::min(count, 3)));
            const int first = fixed + int(rng() % size_t(count - fixed));
            const int client = int(rng() % 400);
            const int fixedPitch = size + int(rng() % 2);
            const int pitch = size + int(rng() % 2);
            CheckAgainstWalk(GridAxis::Uniform(count, fixed, first, client, size, fixedPitch, pitch), true);
        }
    }

    // Tens of millions of rows cost nothing: positions are arithmetic, searches binary.
    void manyRows()
    {
        const GridAxis rows = GridAxis::Uniform(50'000'000, 0, 49'999'990, 240, 24, 24, 24);
        QCOMPARE(rows.LastVisible(), 49'999'999);
        QCOMPARE(rows.CellAt(239), 49'999'999);
        QCOMPARE(rows.CellAt(0), 49'999'990);
        QCOMPARE(rows.Pos(49'999'995), int64_t(5 * 24));
    }
};

QTEST_APPLESS_MAIN(GridAxisTest)
#include "GridAxisTest.moc"
