// Speed and memory of the hex editor's data side on hundreds of MiB, each figure as a
// ratio to a baseline measured in the same run:
//   - insert 1 byte at position 0 of 512 MiB  vs  cp of a 512 MiB file
//   - nibble insert/delete at 0 of 64 MiB     vs  cp of a 64 MiB file
//   - LoadFromFile of 512 MiB                 vs  cp of the same file
//   - THexEditor::Find over 256 MiB (warm)    vs  memmem over the same bytes in memory
// extra_peak_MiB is the growth of the peak resident set during the operation.
// Files go to $TMPDIR (default /tmp), the same disk as the working file.
#include "hexeditor/HexEditor.h"
#include "support/BenchSupport.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr int64_t MiB = BenchMiB;

double Seconds(const std::function<void()>& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The time of the real cp on a file of that size (the destination is removed first).
double CpSeconds(const std::string& source)
{
    const std::string dest = source + ".cp";
    fs::remove(dest);
    const std::string command = "cp '" + source + "' '" + dest + "'";
    const double s = Seconds([&] {
        if (std::system(command.c_str()) != 0)
            std::abort();
    });
    fs::remove(dest);
    return s;
}

int64_t StatusKiB(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(field));
    return 0;
}

// Peak RSS growth (MiB) while f runs; the kernel's high-water mark is reset first.
double ExtraPeakMiB(const std::function<void()>& f)
{
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
    }
    const int64_t before = StatusKiB("VmRSS:");
    f();
    return static_cast<double>(StatusKiB("VmHWM:") - before) / 1024.0;
}

void Report(benchmark::State& state, double opTotal, double baseTotal, double peak)
{
    const double n = static_cast<double>(state.iterations());
    state.counters["op_s"] = opTotal / n;
    state.counters["baseline_s"] = baseTotal / n;
    state.counters["ratio"] = opTotal / baseTotal;
    state.counters["extra_peak_MiB"] = peak;
}

void BM_InsertByteAt0_512MiB_vs_cp(benchmark::State& state)
{
    const std::string source = MakeRandomFile("data512.bin", 512 * MiB);
    THexEditor ed;
    ed.Loaded();
    ed.LoadFromFile(source);
    const uint8_t byte = 0x5A;
    double opTotal = 0, baseTotal = 0, peak = 0;
    for (auto _ : state) {
        baseTotal += CpSeconds(source);
        double t = 0;
        peak = std::max(peak, ExtraPeakMiB([&] { t = Seconds([&] { ed.InsertBuffer(&byte, 1, 0); }); }));
        opTotal += t;
        state.SetIterationTime(t);
    }
    if (ed.GetByteAtPos(0) != byte
        || ed.GetDataSize() != 512 * MiB + static_cast<int32_t>(state.iterations()))
        state.SkipWithError("insert gave wrong data");
    Report(state, opTotal, baseTotal, peak);
}
BENCHMARK(BM_InsertByteAt0_512MiB_vs_cp)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_NibbleAt0_64MiB_vs_cp(benchmark::State& state)
{
    const bool insert = state.range(0) == 1;
    const std::string source = MakeRandomFile("data64.bin", 64 * MiB);
    THexEditor ed;
    ed.Loaded();
    ed.LoadFromFile(source);
    double opTotal = 0, baseTotal = 0, peak = 0;
    for (auto _ : state) {
        baseTotal += CpSeconds(source);
        double t = 0;
        peak = std::max(peak, ExtraPeakMiB([&] {
            t = Seconds([&] { insert ? ed.InsertNibble(0, true) : ed.DeleteNibble(0, true); });
        }));
        opTotal += t;
        state.SetIterationTime(t);
    }
    Report(state, opTotal, baseTotal, peak);
}
BENCHMARK(BM_NibbleAt0_64MiB_vs_cp)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("insert")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_LoadFromFile_512MiB_vs_cp(benchmark::State& state)
{
    const std::string source = MakeRandomFile("data512.bin", 512 * MiB);
    THexEditor ed;
    ed.Loaded();
    double opTotal = 0, baseTotal = 0, peak = 0;
    for (auto _ : state) {
        baseTotal += CpSeconds(source);
        double t = 0;
        peak = std::max(peak, ExtraPeakMiB([&] { t = Seconds([&] { ed.LoadFromFile(source); }); }));
        opTotal += t;
        state.SetIterationTime(t);
    }
    if (ed.GetDataSize() != 512 * MiB)
        state.SkipWithError("load gave a wrong size");
    Report(state, opTotal, baseTotal, peak);
}
BENCHMARK(BM_LoadFromFile_512MiB_vs_cp)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Find_256MiB_vs_memmem(benchmark::State& state)
{
    const int64_t size = 256 * MiB;
    const std::string source = MakeRandomFile("data256.bin", size);
    THexEditor ed;
    ed.Loaded();
    ed.LoadFromFile(source);
    // The baseline's copy of the bytes; the editor itself holds only its read window.
    std::vector<uint8_t> memory(static_cast<size_t>(size));
    std::ifstream(source, std::ios::binary).read(reinterpret_cast<char*>(memory.data()), size);
    // Present only near the end, so both scan (almost) everything.
    std::vector<uint8_t> pattern(memory.end() - 100, memory.end() - 92);
    const int32_t expected = static_cast<int32_t>(size - 100);
    double opTotal = 0, baseTotal = 0, peak = 0;
    ed.Find(pattern.data(), 8, 0, INT32_MAX, false, false); // warm the cache
    for (auto _ : state) {
        baseTotal += Seconds([&] {
            const void* hit = memmem(memory.data(), memory.size(), pattern.data(), pattern.size());
            benchmark::DoNotOptimize(hit);
        });
        double t = 0;
        int32_t found = -1;
        peak = std::max(peak, ExtraPeakMiB([&] {
            t = Seconds([&] { found = ed.Find(pattern.data(), 8, 0, INT32_MAX, false, false); });
        }));
        if (found > expected)
            state.SkipWithError("find missed the match");
        opTotal += t;
        state.SetIterationTime(t);
    }
    Report(state, opTotal, baseTotal, peak);
}
BENCHMARK(BM_Find_256MiB_vs_memmem)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [](const RatioReporter&) { RemoveBenchDir(); });
}
