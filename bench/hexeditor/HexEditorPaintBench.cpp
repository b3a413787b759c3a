// The hex editor on screen, each figure as a ratio to a baseline measured in the same run:
//   - a full repaint of a 1280x1024 viewport into a QImage, at pages spread over 512 MiB
//     of data, vs drawing the same visible text with one drawText call per row;
//     window_loads is the read-window loads per repaint (at most 1);
//   - paging down with a repaint per page on 512 MiB vs on 1 MiB (cost per page must
//     not grow with the data), and a jump to the end (Ctrl+End) with its repaint;
//   - THexToCanvas::Draw of a 100-page dump into QImage pages: pages per second.
// Files go to $TMPDIR (default /tmp).
#include "hexeditor/HexEditor.h"
#include "hexeditor/HexToCanvas.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int64_t MiB = BenchMiB;
constexpr int Width = 1280;
constexpr int Height = 1024;
constexpr int Positions = 16; // pages spread over the data

class BenchEditor : public THexEditor {
public:
    using THexEditor::KeyDown;
};

// One editor per data size, shown with a 1280x1024 viewport, kept for the whole run
// (main lets them go before the application).
std::map<int64_t, std::unique_ptr<BenchEditor>> Editors;

BenchEditor& Editor(int64_t size)
{
    auto& editor = Editors[size];
    if (!editor) {
        editor = std::make_unique<BenchEditor>();
        editor->SetBorderStyle(bsNone);
        editor->SetScrollBars(ssNone);
        editor->resize(Width, Height);
        const std::string file = MakeRandomFile("data-" + std::to_string(size), size);
        editor->LoadFromFile(file);
        fs::remove(file);
        editor->show();
        QCoreApplication::processEvents();
    }
    return *editor;
}

int PositionRow(BenchEditor& editor, int i)
{
    const int last = std::max(0, editor.RowCount() - editor.VisibleRowCount());
    return int(int64_t(last) * i / (Positions - 1));
}

void BM_Repaint(benchmark::State& state)
{
    BenchEditor& editor = Editor(512 * MiB);
    QImage image(Width, Height, QImage::Format_RGB32);
    int i = 0;
    int64_t paints = 0;
    const int64_t loadsBefore = editor.GetWindowLoads();
    for (auto _ : state) {
        editor.SetTopRow(PositionRow(editor, i++ % Positions));
        editor.viewport()->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        ++paints;
    }
    state.counters["window_loads"] = double(editor.GetWindowLoads() - loadsBefore) / double(paints);
    state.counters["rows"] = editor.VisibleRowCount();
}

// The text the editor shows on each visible row of each position, as one string a row.
std::vector<std::vector<QString>> VisibleTexts(BenchEditor& editor)
{
    std::vector<std::vector<QString>> pages;
    for (int i = 0; i < Positions; ++i) {
        editor.SetTopRow(PositionRow(editor, i));
        std::vector<QString> rows;
        for (int row = editor.TopRow(); row <= editor.LastVisibleRow(); ++row) {
            QString text;
            for (int col = 0; col <= editor.LastVisibleCol(); ++col) {
                const TCellLook look = editor.CellLook(col, row);
                const int chars = std::max(1, editor.ColWidths(col) / std::max(1, editor.GetCharWidth()));
                QString cell = QString::fromLatin1(look.text.c_str(), qsizetype(look.text.size()));
                text += cell.leftJustified(chars, QLatin1Char(' '), true);
            }
            rows.push_back(text);
        }
        pages.push_back(rows);
    }
    return pages;
}

void BM_DrawTextPerRow(benchmark::State& state)
{
    BenchEditor& editor = Editor(512 * MiB);
    const std::vector<std::vector<QString>> pages = VisibleTexts(editor);
    QImage image(Width, Height, QImage::Format_RGB32);
    const QFont font = editor.font();
    const int ascent = QFontMetrics(font).ascent();
    const int step = editor.GetLineHeight();
    int i = 0;
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        painter.setFont(font);
        painter.setPen(Qt::black);
        int y = 0;
        for (const QString& row : pages[size_t(i++ % Positions)]) {
            painter.drawText(0, y + ascent, row);
            y += step;
        }
    }
}

// Page Down with a repaint of each page, through the middle of the data.
void BM_PageDown(benchmark::State& state)
{
    BenchEditor& editor = Editor(state.range(0) * MiB);
    QImage image(Width, Height, QImage::Format_RGB32);
    editor.MoveColRow(2, 0, true, true);
    for (auto _ : state) {
        uint16_t key = VK_NEXT;
        editor.KeyDown(key, {});
        if (editor.Row() >= editor.RowCount() - 1)
            editor.MoveColRow(2, 0, true, true);
        editor.viewport()->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    }
}

// Ctrl+End and Ctrl+Home, each with the repaint of the page it lands on.
void BM_JumpToEnd(benchmark::State& state)
{
    BenchEditor& editor = Editor(state.range(0) * MiB);
    QImage image(Width, Height, QImage::Format_RGB32);
    for (auto _ : state) {
        for (uint16_t key : {VK_END, VK_HOME}) {
            editor.KeyDown(key, {ssCtrl});
            editor.viewport()->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        }
    }
}

// A 100-page dump (A4 at 100 dpi, 60 lines a page) of the 512 MiB editor's data.
void BM_DumpPages(benchmark::State& state)
{
    BenchEditor& editor = Editor(512 * MiB);
    THexToCanvas canvas;
    canvas.SetHexEditor(&editor);
    canvas.GetLayout();
    QImage page(827, 1169, QImage::Format_RGB32);
    int64_t pages = 0;
    for (auto _ : state) {
        int32_t pos = 256 * int32_t(MiB);
        for (int i = 0; i < 100; ++i) {
            page.fill(Qt::white);
            QPainter painter(&page);
            canvas.DrawArea = {40, 40, 1129, 787};
            pos = canvas.Draw(painter, pos, 0x7FFFFFFE, "Korvex dump", "page " + std::to_string(i + 1));
            ++pages;
        }
    }
    state.counters["pages_per_second"] = benchmark::Counter(double(pages), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_DrawTextPerRow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PageDown)->Arg(1)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JumpToEnd)->Arg(1)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DumpPages)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [](const RatioReporter& reporter) {
        reporter.PrintRatio("repaint of 1280x1024 on 512 MiB vs one drawText per row", "BM_Repaint",
            "BM_DrawTextPerRow", "<= 2");
        reporter.PrintRatio(
            "page down with repaint, 512 MiB vs 1 MiB", "BM_PageDown/512", "BM_PageDown/1", "~1");
        reporter.PrintRatio("jump to the end and back with repaints, 512 MiB vs 1 MiB", "BM_JumpToEnd/512",
            "BM_JumpToEnd/1", "~1");
        Editors.clear();
        RemoveBenchDir();
    });
}
