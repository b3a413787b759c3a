// Search throughput of PatternScanner fed the way the hex editor feeds it (64 KiB
// blocks read from the working file) against glibc memmem over the same bytes held in
// memory. The summary at the end prints both scanner figures as ratios to memmem.
// Throughputs are per second of this thread's CPU time (the kernel time of pread
// included), so that other work on a shared machine disturbs the ratios less.
#include "search/PatternSearch.h"
#include "search/Translation.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kDataSize = size_t(256) << 20;
constexpr size_t kBlockSize = size_t(64) << 10;

struct Fixture {
    std::vector<uint8_t> data;
    std::string path;
    int fd = -1;
};

Fixture& TheFixture()
{
    static Fixture* fixture = [] {
        auto* f = new Fixture;
        f->data.resize(kDataSize);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (size_t i = 0; i < kDataSize; i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(f->data.data() + i, &x, 8);
        }
        std::string dir = std::filesystem::temp_directory_path().string();
        std::string templ = dir + "/korvex-findbench-XXXXXX";
        std::vector<char> name(templ.begin(), templ.end());
        name.push_back('\0');
        f->fd = mkstemp(name.data());
        if (f->fd < 0) {
            std::perror("mkstemp");
            std::exit(1);
        }
        f->path = name.data();
        for (size_t done = 0; done < kDataSize;) {
            ssize_t n = pwrite(f->fd, f->data.data() + done, kDataSize - done, static_cast<off_t>(done));
            if (n <= 0) {
                std::perror("pwrite");
                std::exit(1);
            }
            done += static_cast<size_t>(n);
        }
        // Warm the page cache: the editor searches a working file it has just written.
        std::vector<uint8_t> block(kBlockSize);
        for (size_t pos = 0; pos < kDataSize; pos += kBlockSize)
            if (pread(f->fd, block.data(), kBlockSize, static_cast<off_t>(pos)) <= 0)
                std::exit(1);
        return f;
    }();
    return *fixture;
}

using namespace std::string_literals;

// Patterns of typical lengths (a PE signature with its machine field, a DLL name, the DOS
// stub's message); in this random data none of them occurs, in either case mode.
const std::string kPatterns[] = {"PE\0\0L\x01"s, "KernelBase"s, "This program cannot be run in DOS mode"s};

const std::string& PatternFor(const benchmark::State& state)
{
    return kPatterns[state.range(0)];
}

struct Totals {
    double bytes = 0;
    double seconds = 0;
    double Throughput() const { return seconds > 0 ? bytes / seconds : 0; }
};

// Per pattern: memmem, scanner case-sensitive, scanner ignoring case.
Totals gTotals[3][3];

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename Body> void Measure(benchmark::State& state, Totals& totals, Body body)
{
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        const int64_t result = body();
        const double t1 = ThreadSeconds();
        if (result >= 0) {
            state.SkipWithError("the pattern occurs in the data");
            return;
        }
        totals.bytes += static_cast<double>(kDataSize);
        totals.seconds += t1 - t0;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataSize));
}

void BM_Memmem(benchmark::State& state)
{
    Fixture& f = TheFixture();
    const std::string& pattern = PatternFor(state);
    Measure(state, gTotals[state.range(0)][0], [&]() -> int64_t {
        const void* hit = memmem(f.data.data(), f.data.size(), pattern.data(), pattern.size());
        benchmark::DoNotOptimize(hit);
        return hit ? static_cast<const uint8_t*>(hit) - f.data.data() : -1;
    });
}

int64_t ScanFile(const Fixture& f, const std::string& text, bool ignoreCase, std::vector<uint8_t>& block)
{
    // Find lower-cases the pattern before it scans when ignoring case.
    std::vector<uint8_t> pattern(text.begin(), text.end());
    if (ignoreCase)
        AnsiLowerBuffer(pattern.data(), static_cast<int32_t>(pattern.size()));
    PatternScanner scanner(pattern.data(), static_cast<int32_t>(pattern.size()), ignoreCase);
    scanner.Reset(0);
    for (size_t pos = 0; pos < kDataSize; pos += kBlockSize) {
        const ssize_t n = pread(f.fd, block.data(), kBlockSize, static_cast<off_t>(pos));
        if (n <= 0)
            std::abort();
        const int32_t hit = scanner.Feed(block.data(), static_cast<int32_t>(n));
        if (hit >= 0)
            return hit;
    }
    return -1;
}

void BM_Scanner(benchmark::State& state, bool ignoreCase)
{
    Fixture& f = TheFixture();
    const std::string& pattern = PatternFor(state);
    std::vector<uint8_t> block(kBlockSize);
    Totals& totals = gTotals[state.range(0)][ignoreCase ? 2 : 1];
    Measure(state, totals, [&] { return ScanFile(f, pattern, ignoreCase, block); });
    const double base = gTotals[state.range(0)][0].Throughput();
    if (base > 0)
        state.counters["vs_memmem"] = totals.Throughput() / base;
}

void BM_ScannerCaseSensitive(benchmark::State& state)
{
    BM_Scanner(state, false);
}

void BM_ScannerIgnoreCase(benchmark::State& state)
{
    BM_Scanner(state, true);
}

} // namespace

// Ordered so that each pattern's memmem baseline is measured just before its scanners.
BENCHMARK(BM_Memmem)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannerCaseSensitive)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannerIgnoreCase)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannerCaseSensitive)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannerIgnoreCase)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannerCaseSensitive)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannerIgnoreCase)->Arg(2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf(
        "\nFind over %zu MiB (pattern absent), scanner fed %zu KiB blocks by pread, per CPU second:\n",
        kDataSize >> 20, kBlockSize >> 10);
    std::printf("%-40s %12s %12s %12s %8s %8s\n", "pattern length", "memmem MB/s", "case MB/s", "nocase MB/s",
        "case/mm", "nocase/mm");
    for (int p = 0; p < 3; ++p) {
        const double a = gTotals[p][0].Throughput();
        const double b = gTotals[p][1].Throughput();
        const double c = gTotals[p][2].Throughput();
        if (a <= 0)
            continue;
        std::printf("%-40zu %12.0f %12.0f %12.0f %8.2f %8.2f\n", kPatterns[p].size(), a / 1e6, b / 1e6,
            c / 1e6, b / a, c / a);
    }
    Fixture& f = TheFixture();
    close(f.fd);
    std::filesystem::remove(f.path);
    return 0;
}
