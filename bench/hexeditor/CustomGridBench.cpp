// The grid base must cost the same for 33.5 million rows as for a hundred: painting,
// moving and paging touch only the visible rows. Each benchmark runs on a small grid
// (the baseline) and on a huge one; the ratio huge/small should stay near 1.
#include "hexeditor/CustomGrid.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QPainter>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

class BenchGrid : public TCustomGrid {
public:
    using TCustomGrid::KeyDown;

protected:
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState) override
    {
        painter.fillRect(rect, Qt::white);
        painter.drawText(rect, QString(QChar('0' + (col + row) % 10)));
    }
};

constexpr int HugeRows = 512 * 1024 * 1024 / 16;

std::unique_ptr<BenchGrid> MakeGrid(int rows)
{
    auto grid = std::make_unique<BenchGrid>();
    grid->SetDefaultDrawing(false);
    grid->SetGridLineWidth(0);
    grid->SetColCount(3 * 16 + 3);
    grid->SetFixedCols(2);
    grid->SetRowCount(rows);
    grid->SetFixedRows(0);
    grid->SetDefaultColWidth(8);
    grid->SetColWidths(0, 80);
    grid->SetDefaultRowHeight(16);
    grid->resize(600, 800);
    grid->show();
    // Painting needs an exposed window.
    for (int i = 0; i < 1000 && !(grid->windowHandle() && grid->windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    grid->MoveColRow(2, rows - 60 > 0 ? rows - 60 : rows - 1, true, true);
    return grid;
}

void BM_Paint(benchmark::State& state)
{
    auto grid = MakeGrid(int(state.range(0)));
    if (!grid->windowHandle() || !grid->windowHandle()->isExposed())
        state.SkipWithError("the grid's window is not exposed");
    for (auto _ : state)
        grid->viewport()->repaint();
}

void BM_PageDownUp(benchmark::State& state)
{
    auto grid = MakeGrid(int(state.range(0)));
    grid->MoveColRow(2, grid->RowCount() / 2, true, true);
    for (auto _ : state) {
        uint16_t key = VK_NEXT;
        grid->KeyDown(key, {});
        key = VK_PRIOR;
        grid->KeyDown(key, {});
    }
}

BENCHMARK(BM_Paint)->Arg(100)->Arg(HugeRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PageDownUp)->Arg(100)->Arg(HugeRows)->Unit(benchmark::kMicrosecond);

} // namespace

// Prints the ratio of each huge-grid run to its small-grid baseline.
int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [](const RatioReporter& reporter) {
        for (const char* name : {"BM_Paint", "BM_PageDownUp"}) {
            const std::string small = std::string(name) + "/100";
            const std::string huge = std::string(name) + "/" + std::to_string(HugeRows);
            const double ratio = reporter.Ratio(huge, small);
            if (ratio >= 0)
                std::printf("%s: %d rows vs 100 rows: ratio %.2f\n", name, HugeRows, ratio);
        }
    });
}
