#pragma once
// What the benchmarks share: a folder for their files, files of pseudo-random data of a
// given size, a console reporter that keeps every run's time so a ratio to a baseline
// run can be printed, and the main() that runs them with an application object.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

constexpr int64_t BenchMiB = int64_t(1) << 20;

// A folder for this run's files under $TMPDIR (default /tmp), made on first use.
std::string BenchDir();
// Removes it and everything in it (at the end of a run).
void RemoveBenchDir();

// BenchDir()/name holding size bytes of pseudo-random data seeded by the size; a file of
// that size already there is taken as it is. Written 1 MiB at a time.
std::string MakeRandomFile(const std::string& name, int64_t size);

// The console report (as the library prints it by default: colours on a terminal, counters
// after the times), plus the adjusted real time of every run by benchmark name.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter();
    void ReportRuns(const std::vector<Run>& runs) override;
    // time(a) / time(b), or -1 when either is missing or b took no time.
    double Ratio(const std::string& a, const std::string& b) const;
    // Prints "<what>: ratio R (goal <goal>)" on a line of its own.
    void PrintRatio(
        const std::string& what, const std::string& a, const std::string& b, const char* goal) const;

    std::map<std::string, double> times;
};

// main() of a benchmark executable (korvex_bench_main, which brings Qt Widgets): an application object (on
// the offscreen platform unless one is set), prepare (if any) once it exists, the benchmarks run through a
// RatioReporter, then report (if any) prints the ratios and tidies up.
int RunBenchmarks(int argc, char** argv, const std::function<void(const RatioReporter&)>& report = {},
    const std::function<void()>& prepare = {});

// The wall time of every run of one benchmark, for a ratio printed after the library's report.
struct BenchTotals {
    double seconds = 0;
    double first = 0; // the first run's time, which may only have warmed the caches
    int runs = 0;
    double PerRun() const { return runs ? seconds / runs : 0; }
    // The mean of the runs after the first.
    double PerRunAfterFirst() const { return runs > 1 ? (seconds - first) / (runs - 1) : PerRun(); }
};

// Runs work once per iteration and times it by hand (for UseManualTime), adding to totals. A work
// that returns false (a command that failed) ends the benchmark with an error. With bytesPerRun, the
// benchmark reports its throughput.
template <typename Work>
void MeasureRuns(benchmark::State& state, BenchTotals& totals, Work work, int64_t bytesPerRun = 0)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if constexpr (std::is_same_v<decltype(work()), bool>) {
            if (!work()) {
                state.SkipWithError("the command failed or is not installed");
                break;
            }
        } else {
            work();
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        if (totals.runs == 0)
            totals.first = took.count();
        totals.seconds += took.count();
        ++totals.runs;
    }
    if (bytesPerRun > 0)
        state.SetBytesProcessed(int64_t(state.iterations()) * bytesPerRun);
}
