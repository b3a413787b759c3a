// korvex-cli diff of two 100 MiB builds against cmp on the same pair, measured in the same run
// (wall time, alternating):
//   diff of two identical builds                vs  cmp of them (reads both whole)   goal <= 2
//   diff of two builds that differ in time stamps and 64 scattered bytes
//                                               vs  cmp -l of them (reads both whole) goal <= 2
// (plain cmp stops at the first differing byte, so on a differing pair only cmp -l reads as much.)
#include "support/BenchSupport.h"
#include "support/PeBuilder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDataSize = uint32_t(100) << 20;

BenchTotals gDiffSame, gCmpSame, gDiffOther, gCmpList, gWarmUp;

// Runs a program, its output into output (GNU cmp stops at the first difference when its output is
// /dev/null, so cmp -l writes to a file); answers its exit status (-1 when it could not run).
int Spawn(const std::vector<std::string>& arguments, const char* output = "/dev/null")
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const fs::path& WorkDir()
{
    static const fs::path dir = [] {
        const fs::path path = fs::temp_directory_path() / ("korvex-diff-bench-" + std::to_string(getpid()));
        fs::create_directories(path);
        return path;
    }();
    return dir;
}

// Three builds: a, an identical copy of it, and one with other time stamps, checksum and 64
// bytes changed across its one 100 MiB section.
struct Builds {
    std::string a, same, other, cmpOutput;
};

const Builds& TheBuilds()
{
    static const Builds builds = [] {
        std::vector<uint8_t> data(kDataSize);
        std::mt19937_64 random(1);
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            const uint64_t q = random();
            std::memcpy(data.data() + i, &q, 8);
        }
        // The headers alone, then the section's bytes at 0x400.
        auto write = [&](const std::string& name, uint32_t stamp) {
            std::vector<uint8_t> head
                = PeBuilder()
                      .TimeDateStamp(stamp)
                      .SectionCount(1)
                      .AddSection(PeSection(".text").Virtual(0x1000, kDataSize).Raw(0x400, kDataSize))
                      .Build();
            head.resize(0x400);
            std::ofstream out(name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
            out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
            if (!out.flush())
                throw std::runtime_error("cannot write " + name);
        };
        Builds names{(WorkDir() / "a.dll").string(), (WorkDir() / "same.dll").string(),
            (WorkDir() / "other.dll").string(), (WorkDir() / "cmp.out").string()};
        write(names.a, 0x60000000);
        write(names.same, 0x60000000);
        for (size_t i = 0; i < 64; ++i)
            data[i * (kDataSize / 64) + 17] ^= 0x5A;
        write(names.other, 0x61000000);
        return names;
    }();
    return builds;
}

template <typename Work> void Measure(benchmark::State& state, BenchTotals& totals, Work work)
{
    MeasureRuns(state, totals, work, 2 * int64_t(kDataSize));
}

void BM_DiffSame(benchmark::State& state)
{
    Measure(state, gDiffSame, [] {
        return Spawn({KORVEX_CLI, "diff", TheBuilds().a, TheBuilds().same}) == 0;
    });
}

void BM_CmpSame(benchmark::State& state)
{
    Measure(state, state.range(0) == 0 ? gWarmUp : gCmpSame, [] {
        return Spawn({"/usr/bin/cmp", TheBuilds().a, TheBuilds().same}) == 0;
    });
}

void BM_DiffOther(benchmark::State& state)
{
    Measure(state, gDiffOther, [] {
        return Spawn({KORVEX_CLI, "diff", TheBuilds().a, TheBuilds().other}) == 1;
    });
}

void BM_CmpList(benchmark::State& state)
{
    Measure(state, gCmpList, [] {
        return Spawn({"/usr/bin/cmp", "-l", TheBuilds().a, TheBuilds().other}, TheBuilds().cmpOutput.c_str())
            == 1;
    });
}

} // namespace

// Argument 0 only warms the cache (and makes the files): its time is not counted.
BENCHMARK(BM_CmpSame)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DiffSame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CmpSame)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DiffOther)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CmpList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nkorvex-cli diff of two 100 MiB builds against cmp, measured in this run (wall time):\n");
    if (gDiffSame.runs > 0 && gCmpSame.runs > 0)
        std::printf("identical pair: diff %.1f ms, cmp %.1f ms, ratio diff/cmp %.2f (goal <= 2)\n",
            gDiffSame.PerRun() * 1e3, gCmpSame.PerRun() * 1e3, gDiffSame.PerRun() / gCmpSame.PerRun());
    if (gDiffOther.runs > 0 && gCmpList.runs > 0)
        std::printf("differing pair: diff %.1f ms, cmp -l %.1f ms, ratio diff/cmp %.2f (goal <= 2)\n",
            gDiffOther.PerRun() * 1e3, gCmpList.PerRun() * 1e3, gDiffOther.PerRun() / gCmpList.PerRun());
    std::error_code error;
    if (!std::getenv("KORVEX_BENCH_KEEP"))
        fs::remove_all(WorkDir(), error);
    return 0;
}
