// Opening a 96-section file up to its hexadecimal display (96 pages x 32 controls), and
// closing it again; compared with building the same widgets bare in the same run.
// Also checks that 50 open/close cycles leave no objects or memory behind, and times opening the
// largest real DLL to its Contents page with every top node expanded against the plain open.
#include "support/BenchSupport.h"
#include "support/PeBuilder.h"
#include "ui/Messages.h"
#include "viewer/ContentsModel.h"
#include "viewer/FrmView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of this thread: the machine is shared, so wall time alone is noisy.
double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

QString SampleFile(QTemporaryDir& dir)
{
    PeBuilder builder;
    builder.EntryPoint(0x1010);
    for (int i = 0; i < 96; ++i)
        builder.AddSection(PeSection(".s" + std::to_string(i))
                               .Virtual(0x1000u * (i + 1), 0x800)
                               .Raw(0x400u + 0x200u * i, 0x200)
                               .Characteristics(0x60000020));
    const QString path = dir.filePath("sections96.exe");
    builder.WriteFile(path.toStdString());
    return path;
}

void Open(TFrmView& view, const QString& path)
{
    view.StartupFileName = path;
    view.MnuOpen->trigger();
    QApplication::processEvents(); // lay out and paint what the user sees
}

void Close(TFrmView& view)
{
    view.MnuCloseFile->trigger();
    QApplication::processEvents();
}

// The bare cost of the widgets a 96-section file needs.
void BuildBareWidgets(QTabWidget& tabs)
{
    for (int i = 0; i < 96; ++i) {
        auto* page = new QWidget;
        for (int r = 0; r < 9; ++r) {
            (new QLabel(QStringLiteral("Virtual Size:"), page))->setGeometry(16, 24 + 26 * r, 148, 16);
            auto* edit = new QLineEdit(page);
            edit->setGeometry(168, 24 + 26 * r, 81, 16);
            edit->setText(QStringLiteral("00001000"));
        }
        auto* group = new QGroupBox(QStringLiteral("C&haracteristics"), page);
        group->setGeometry(304, 8, 281, 289);
        for (int f = 0; f < 13; ++f)
            (new QCheckBox(QStringLiteral("Section is readable"), group))
                ->setGeometry(24, 24 + 20 * f, 240, 17);
        tabs.addTab(page, QStringLiteral(".s"));
    }
    QApplication::processEvents();
}

long RssKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

int CountObjects(QObject& root)
{
    return int(root.findChildren<QObject*>().size());
}

void BM_OpenToHexDisplay96(benchmark::State& state)
{
    SetMessageResponder([](const MessageRecord&) { return MsgResult::Ok; });
    QTemporaryDir dir;
    const QString path = SampleFile(dir);
    TFrmView view;
    view.show();
    view.PageControl1->setCurrentIndex(1);
    view.PageControl2->setCurrentWidget(view.TabSecHd);
    QTabWidget bareWindow;
    bareWindow.resize(618, 410);
    bareWindow.show();

    double openMs = 0, closeMs = 0, bareMs = 0, openCpu = 0, closeCpu = 0, bareCpu = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        Open(view, path);
        const auto t1 = Clock::now();
        const double c1 = CpuMs();
        Close(view);
        const auto t2 = Clock::now();
        const double c2 = CpuMs();
        BuildBareWidgets(bareWindow);
        const auto t3 = Clock::now();
        const double c3 = CpuMs();
        while (bareWindow.count() > 0)
            delete bareWindow.widget(0);
        openMs += Ms(t1 - t0);
        closeMs += Ms(t2 - t1);
        bareMs += Ms(t3 - t2);
        openCpu += c1 - c0;
        closeCpu += c2 - c1;
        bareCpu += c3 - c2;
    }
    const double n = double(state.iterations());
    state.counters["open_ms"] = openMs / n;
    state.counters["open_cpu_ms"] = openCpu / n;
    state.counters["close_ms"] = closeMs / n;
    state.counters["bare_widgets_ms"] = bareMs / n;
    state.counters["open_to_bare"] = openCpu / bareCpu;
    std::printf("open to hexadecimal display of 96 sections: %.1f ms wall, %.1f ms CPU (goal < 150 ms); "
                "close %.1f ms wall, %.1f ms CPU; the same widgets bare %.1f ms wall, %.1f ms CPU; "
                "open/bare CPU ratio %.2f\n",
        openMs / n, openCpu / n, closeMs / n, closeCpu / n, bareMs / n, bareCpu / n, openCpu / bareCpu);
    SetMessageResponder({});
}
BENCHMARK(BM_OpenToHexDisplay96)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenCloseCycles50(benchmark::State& state)
{
    SetMessageResponder([](const MessageRecord&) { return MsgResult::Ok; });
    QTemporaryDir dir;
    const QString path = SampleFile(dir);
    TFrmView view;
    view.show();
    // One cycle first, so that caches filled once (fonts, styles) do not count.
    Open(view, path);
    Close(view);
    for (auto _ : state) {
        const int objectsBefore = CountObjects(view);
        const long rssBefore = RssKb();
        for (int i = 0; i < 50; ++i) {
            Open(view, path);
            Close(view);
        }
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.counters["objects_before"] = objectsBefore;
        state.counters["objects_after"] = CountObjects(view);
        state.counters["rss_growth_kb"] = double(RssKb() - rssBefore);
        std::printf("50 open/close cycles: window objects %d -> %d, resident memory %+ld KiB\n",
            objectsBefore, CountObjects(view), RssKb() - rssBefore);
    }
    SetMessageResponder({});
}
BENCHMARK(BM_OpenCloseCycles50)->Unit(benchmark::kMillisecond)->Iterations(1);

// The largest real DLL the tests install: MinGW's libstdc++ (23 MiB, 5,781 exports).
QString LargestDll()
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path largest;
    uintmax_t size = 0;
    for (const auto& version : fs::directory_iterator("/usr/lib/gcc/x86_64-w64-mingw32", error)) {
        for (const auto& entry : fs::directory_iterator(version.path(), error)) {
            if (entry.path().extension() == ".dll" && entry.file_size(error) > size) {
                size = entry.file_size(error);
                largest = entry.path();
            }
        }
    }
    return QString::fromStdString(largest.string());
}

// Open, then the Contents page with each top node expanded (Signature and Hardening check the
// file when opened), painted; against the plain open, alternating, in the same run.
void BM_OpenLargestToContents(benchmark::State& state)
{
    const QString path = LargestDll();
    if (path.isEmpty()) {
        state.SkipWithError("MinGW's DLLs are missing (scripts/install-deps bench)");
        return;
    }
    SetMessageResponder([](const MessageRecord&) { return MsgResult::Ok; });
    TFrmView view;
    view.show();
    Open(view, path); // warm the page cache and the fonts
    Close(view);
    double plainMs = 0, contentsMs = 0, plainCpu = 0, contentsCpu = 0;
    size_t shownNodes = 0, nodes = 0, exports = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        Open(view, path);
        const auto t1 = Clock::now();
        const double c1 = CpuMs();
        Close(view);
        const auto t2 = Clock::now();
        const double c2 = CpuMs();
        Open(view, path);
        view.PageControl1->setCurrentWidget(view.TabContents);
        QAbstractItemModel* model = view.TreeContents->model();
        QApplication::processEvents();
        shownNodes = static_cast<ContentsModel*>(model)->NodesMade();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex top = model->index(row, 0);
            view.TreeContents->expand(top);
            if (top.data().toString() == QStringLiteral("Exports"))
                exports = size_t(model->rowCount(top));
        }
        QApplication::processEvents();
        const auto t3 = Clock::now();
        const double c3 = CpuMs();
        nodes = static_cast<ContentsModel*>(model)->NodesMade();
        Close(view);
        plainMs += Ms(t1 - t0);
        plainCpu += c1 - c0;
        contentsMs += Ms(t3 - t2);
        contentsCpu += c3 - c2;
    }
    const double n = double(state.iterations());
    state.counters["open_ms"] = plainMs / n;
    state.counters["to_contents_ms"] = contentsMs / n;
    state.counters["ratio"] = contentsMs / plainMs;
    state.counters["nodes"] = double(nodes);
    std::printf("open of %s: %.1f ms wall, %.1f ms CPU; to its Contents page, top nodes expanded: %.1f ms "
                "wall, %.1f ms CPU; ratio %.2f wall, %.2f CPU (goal <= 2); tree nodes made: %zu on the page, "
                "%zu with the top nodes open (the Exports node lists %zu rows)\n",
        qPrintable(path), plainMs / n, plainCpu / n, contentsMs / n, contentsCpu / n, contentsMs / plainMs,
        contentsCpu / plainCpu, shownNodes, nodes, exports);
    SetMessageResponder({});
}
BENCHMARK(BM_OpenLargestToContents)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
