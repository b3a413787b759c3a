// The section view of a 256 MiB section through the real main window and the real modal
// viewer: time from the click on "&View" until the viewer holds the data, against `cp` of
// a 256 MiB file in the same run, and the peak memory the view adds (first view, and a
// view that replaces another 256 MiB section). For comparison, the peak of the plain
// replace-the-selection sequence without dropping the old content first. And the copy of
// a 1 MiB selection to the clipboard against setting the same text there directly.
//
// Each run prints its own figures. A first view runs in a fresh process of its own (this
// program started again with --first-view), which measures its cp right before the view:
// the view pays for everything a user's first view pays for (the viewer's first showing,
// memory the process gets for the first time) under the same conditions as its cp. The
// view after another runs in this process and shows the steady state.
//
// Peak memory: the kernel's high-water mark (VmHWM) is reset to the current size before
// each measurement (/proc/self/clear_refs, 5) and read while the viewer is open.
#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmHex.h"
#include "support/BenchSupport.h"
#include "support/ModalDriver.h"
#include "support/PeBuilder.h"
#include "ui/Messages.h"
#include "viewer/FrmView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kSectionSize = uint32_t(256) << 20;
constexpr uint32_t kFirstRaw = 0x400;
constexpr double kMiB = 1024.0 * 1024.0;
// The goal for the peak the view adds: 1.5 x the section size + 64 MiB.
constexpr double kPeakLimitMiB = 1.5 * kSectionSize / kMiB + 64;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, length, key) == 0)
            return std::strtol(line.c_str() + length, nullptr, 10);
    }
    return -1;
}

// Resets the high-water mark to the current resident size; false when the kernel refuses.
bool ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

void WriteAll(int fd, const uint8_t* data, size_t count, off_t at)
{
    for (size_t done = 0; done < count;) {
        const ssize_t n = pwrite(fd, data + done, count - done, at + static_cast<off_t>(done));
        if (n <= 0) {
            std::perror("pwrite");
            std::exit(1);
        }
        done += static_cast<size_t>(n);
    }
}

// Writes count pseudo-random bytes at offset, 4 MiB at a time.
void WriteNoise(int fd, off_t offset, size_t count, uint64_t seed)
{
    std::vector<uint8_t> block(size_t(4) << 20);
    uint64_t x = seed | 1;
    for (size_t done = 0; done < count; done += block.size()) {
        for (size_t i = 0; i < block.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(block.data() + i, &x, 8);
        }
        WriteAll(fd, block.data(), std::min(block.size(), count - done), offset + static_cast<off_t>(done));
    }
}

struct Files {
    std::unique_ptr<QTemporaryDir> dir; // none in a --first-view process: the files are given
    std::string image; // a PE32 image with two 256 MiB sections
    std::string plain; // a 256 MiB file for cp
    std::string copy; // where cp writes
};

// The files a --first-view process was given.
std::optional<Files> GivenFiles;

Files& TheFiles()
{
    if (GivenFiles)
        return *GivenFiles;
    static Files* files = [] {
        auto* f = new Files;
        f->dir = std::make_unique<QTemporaryDir>();
        f->image = f->dir->filePath(QStringLiteral("big.exe")).toStdString();
        f->plain = f->dir->filePath(QStringLiteral("plain.bin")).toStdString();
        f->copy = f->dir->filePath(QStringLiteral("copy.bin")).toStdString();
        // Headers from the builder; the section bodies are written in blocks.
        const std::vector<uint8_t> headers
            = PeBuilder()
                  .EntryPoint(0x1000)
                  .AddSection(PeSection(".text").Virtual(0x1000, kSectionSize).Raw(kFirstRaw, kSectionSize))
                  .AddSection(PeSection(".data")
                                  .Virtual(0x1000 + kSectionSize, kSectionSize)
                                  .Raw(kFirstRaw + kSectionSize, kSectionSize))
                  .TruncateTo(kFirstRaw)
                  .Build();
        const int image = open(f->image.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        const int plain = open(f->plain.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        if (image < 0 || plain < 0) {
            std::perror("open");
            std::exit(1);
        }
        WriteAll(image, headers.data(), headers.size(), 0);
        WriteNoise(image, kFirstRaw, kSectionSize, 11);
        WriteNoise(image, kFirstRaw + kSectionSize, kSectionSize, 22);
        WriteNoise(plain, 0, kSectionSize, 33);
        close(image);
        close(plain);
        return f;
    }();
    return *files;
}

TFrmView& TheView()
{
    static TFrmView* view = [] {
        auto* v = new TFrmView(QString::fromStdString(TheFiles().image));
        v->FormActivate();
        if (v->PageControl3->count() != 2) {
            std::fprintf(stderr, "the big image did not open\n");
            std::exit(1);
        }
        return v;
    }();
    return *view;
}

double CpSeconds()
{
    const Files& files = TheFiles();
    const std::string command = "cp '" + files.plain + "' '" + files.copy + "'";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    const double seconds = Seconds(start);
    unlink(files.copy.c_str());
    return seconds;
}

struct ViewFigures {
    double seconds = 0;
    double peakMiB = 0;
    bool shown = false;
};

// Clicks "&View" on a section page; the clock stops when the modal viewer is up (the
// data is in its editor by then), the peak is read there too.
ViewFigures ViewSection(int section, bool measure)
{
    TFrmView& view = TheView();
    view.PageControl3->setCurrentIndex(section);
    malloc_trim(0);
    const long baseKb = StatusKb("VmRSS:");
    const bool reset = measure && ResetPeak();
    ViewFigures figures;
    long peakKb = 0;
    const auto start = Clock::now();
    figures.shown = WhileModal(
        view.FrmHex, [&view] { view.ButView->click(); },
        [&] {
            figures.seconds = Seconds(start);
            peakKb = StatusKb("VmHWM:");
            view.FrmHex->close();
        });
    if (measure && !reset)
        std::fprintf(stderr, "warning: the peak could not be reset; figures are upper bounds\n");
    figures.peakMiB = static_cast<double>(peakKb - baseKb) / 1024.0;
    return figures;
}

void ReportView(
    benchmark::State& state, const char* name, double cpTotal, double viewTotal, double peakMax, int runs)
{
    state.counters["cp_ms"] = 1000 * cpTotal / runs;
    state.counters["view_ms"] = 1000 * viewTotal / runs;
    state.counters["view_per_cp"] = viewTotal / cpTotal;
    state.counters["peak_MiB"] = peakMax;
    state.counters["peak_limit_MiB"] = kPeakLimitMiB;
    std::printf(
        "  %s: view %.0f ms, cp %.0f ms, view/cp %.2f (goal <= 3); peak +%.0f MiB (goal < %.0f MiB)\n", name,
        1000 * viewTotal / runs, 1000 * cpTotal / runs, viewTotal / cpTotal, peakMax, kPeakLimitMiB);
}

// cp, then the view of section 0, in a fresh process: what `--first-view` runs.
ViewFigures CpAndFirstView(double& cp)
{
    TheView();
    cp = CpSeconds();
    return ViewSection(0, true);
}

// Runs this program again with --first-view; false when it failed.
bool FirstViewInFreshProcess(double& cp, ViewFigures& figures)
{
    const Files& files = TheFiles();
    const std::string command = "'/proc/" + std::to_string(getpid()) + "/exe' --first-view '" + files.image
        + "' '" + files.plain + "' '" + files.copy + "'";
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return false;
    char line[256];
    bool read = false;
    int shown = 0;
    while (std::fgets(line, sizeof line, child)) {
        if (std::sscanf(line, "first-view %lf %lf %lf %d", &cp, &figures.seconds, &figures.peakMiB, &shown)
            == 4)
            read = true;
    }
    figures.shown = shown != 0;
    return pclose(child) == 0 && read;
}

// Views section 0 once per iteration against a cp of the same size in the same iteration:
// in a fresh process each (first), or after prepare in this one.
void RunViews(
    benchmark::State& state, const char* name, bool fresh, const std::function<void()>& prepare = {})
{
    double cpTotal = 0, viewTotal = 0, peakMax = 0;
    int runs = 0;
    for (auto _ : state) {
        double cp = 0;
        ViewFigures figures;
        if (fresh) {
            if (!FirstViewInFreshProcess(cp, figures)) {
                state.SkipWithError("the --first-view process failed");
                break;
            }
        } else {
            prepare();
            cp = CpSeconds();
            figures = ViewSection(0, true);
        }
        cpTotal += cp;
        std::printf("    run %d: cp %.0f ms, view %.0f ms, peak +%.0f MiB\n", runs + 1, 1000 * cp,
            1000 * figures.seconds, figures.peakMiB);
        if (!figures.shown)
            state.SkipWithError("the viewer did not open");
        state.SetIterationTime(figures.seconds);
        viewTotal += figures.seconds;
        peakMax = std::max(peakMax, figures.peakMiB);
        ++runs;
    }
    if (runs > 0)
        ReportView(state, name, cpTotal, viewTotal, peakMax, runs);
}

// The first view of a process.
void BM_ViewSection(benchmark::State& state)
{
    RunViews(state, "first view", true);
}

// A view that replaces another 256 MiB section.
void BM_ViewSectionAfterAnother(benchmark::State& state)
{
    RunViews(state, "view after another", false, [] { ViewSection(1, false); });
}

// For comparison: the plain sequence (select all, replace, caret to 0) over 256 MiB that
// the editor already holds, without dropping the old content first.
void BM_ReplaceWithoutDroppingFirst(benchmark::State& state)
{
    THexEditor* editor = TheView().FrmHex->HexEditor;
    double peakMax = 0;
    for (auto _ : state) {
        ViewSection(1, false); // the editor holds 256 MiB
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[kSectionSize]);
        const int fd = open(TheFiles().image.c_str(), O_RDONLY);
        for (size_t done = 0; done < kSectionSize;) {
            const ssize_t n
                = pread(fd, buffer.get() + done, kSectionSize - done, kFirstRaw + static_cast<off_t>(done));
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fd);
        malloc_trim(0);
        const long baseKb = StatusKb("VmRSS:");
        ResetPeak();
        const auto start = Clock::now();
        editor->Seek(0, 2, true);
        const int32_t last = editor->GetCursorPos();
        editor->SetSelStart(0);
        editor->SetSelEnd(last);
        editor->ReplaceSelection(buffer.get(), static_cast<int32_t>(kSectionSize));
        editor->SetSelStart(0);
        state.SetIterationTime(Seconds(start));
        peakMax = std::max(peakMax, static_cast<double>(StatusKb("VmHWM:") - baseKb) / 1024.0);
        editor->ResetUndo();
    }
    state.counters["peak_MiB"] = peakMax;
    std::printf(
        "  replace without dropping first: peak +%.0f MiB beyond the section buffer already held\n", peakMax);
}

// Copy of a 1 MiB selection as hex text, against putting the finished text on the
// clipboard directly.
void BM_CopySelection1MiB(benchmark::State& state)
{
    constexpr int32_t kSelection = 1 << 20;
    std::vector<uint8_t> data(size_t(2) << 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    TFrmHex* viewer = TheView().FrmHex;
    viewer->PutBytes(
        static_cast<uint32_t>(data.size()), [&data](uint8_t* block, uint32_t offset, uint32_t n) {
            std::memcpy(block, data.data() + offset, n);
        });
    THexEditor* editor = viewer->HexEditor;
    std::string hex(2 * size_t(kSelection) + 1, '\0');
    ConvertBinToHex(data.data() + 1000, hex.data(), kSelection, false);
    const QString text = QString::fromLatin1(hex.data(), 2 * kSelection);

    double copyTotal = 0, baselineTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        editor->SetSelStart(1000 + kSelection - 1);
        editor->SetSelEnd(1000); // made backwards
        QGuiApplication::clipboard()->clear();
        auto start = Clock::now();
        viewer->MnuItemCopyClick();
        const double copy = Seconds(start);
        if (QGuiApplication::clipboard()->text().size() != 2 * kSelection)
            state.SkipWithError("the clipboard does not hold the selection");
        QGuiApplication::clipboard()->clear();
        start = Clock::now();
        QGuiApplication::clipboard()->setText(text);
        baselineTotal += Seconds(start);
        state.SetIterationTime(copy);
        copyTotal += copy;
        ++runs;
    }
    state.counters["copy_ms"] = 1000 * copyTotal / runs;
    state.counters["setText_ms"] = 1000 * baselineTotal / runs;
    state.counters["copy_per_setText"] = copyTotal / baselineTotal;
}

} // namespace

BENCHMARK(BM_ViewSection)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewSectionAfterAnother)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceWithoutDroppingFirst)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopySelection1MiB)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// The --first-view process: the window opens the given image, then cp and the first view
// are measured; one line "first-view CP VIEW PEAK SHOWN" on stdout tells the result.
int FirstViewMain(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SetMessageResponder([](const MessageRecord& record) {
        std::fprintf(stderr, "message: %s\n", qPrintable(record.text));
        return MsgResult::Ok;
    });
    GivenFiles = Files{nullptr, argv[2], argv[3], argv[4]};
    double cp = 0;
    const ViewFigures figures = CpAndFirstView(cp);
    std::printf(
        "first-view %.6f %.6f %.3f %d\n", cp, figures.seconds, figures.peakMiB, figures.shown ? 1 : 0);
    std::fflush(stdout);
    // The windows go with the process.
    std::_Exit(0);
}

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--first-view") == 0)
        return FirstViewMain(argc, argv);
    return RunBenchmarks(
        argc, argv, [](const RatioReporter&) { SetMessageResponder({}); },
        [] {
            // A message would block the run: report it instead.
            SetMessageResponder([](const MessageRecord& record) {
                std::fprintf(stderr, "message: %s\n", qPrintable(record.text));
                return MsgResult::Ok;
            });
            std::printf("preparing a PE image with two 256 MiB sections ...\n");
            TheView();
        });
}
