// The checksum of a 512 MiB file against reading it with `cat FILE > /dev/null`, both from a
// warm page cache and measured in the same run; the summary prints the ratio.
#include "base/FileStream.h"
#include "header/Checksum.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kFileSize = uint64_t(512) << 20;

BenchTotals gCat, gChecksum;

const std::string& TheFile()
{
    static const std::string path = MakeRandomFile("checksum.bin", int64_t(kFileSize));
    return path;
}

template <typename Work> void Measure(benchmark::State& state, BenchTotals& totals, Work work)
{
    MeasureRuns(state, totals, work, int64_t(kFileSize));
}

void BM_Cat(benchmark::State& state)
{
    const std::string command = "cat '" + TheFile() + "' > /dev/null";
    Measure(state, gCat, [&] {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cat failed");
    });
}

void BM_Checksum(benchmark::State& state)
{
    const FileStream file(TheFile(), FileStream::Mode::OpenRead);
    Measure(state, gChecksum, [&] { benchmark::DoNotOptimize(PeChecksum(file, 0x108)); });
}

} // namespace

// Alternating, so that both see the same machine state; the first cat also warms the cache.
BENCHMARK(BM_Cat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Checksum)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Cat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Checksum)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TheFile();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gCat.runs > 1 && gChecksum.runs > 0) {
        // The first cat only warmed the cache.
        const double cat = gCat.PerRunAfterFirst();
        std::printf("\nPE checksum of %llu MiB vs cat > /dev/null (warm cache, wall time per run):\n",
            static_cast<unsigned long long>(kFileSize >> 20));
        std::printf("cat %.1f ms, checksum %.1f ms, ratio checksum/cat %.2f (goal <= 1.5)\n", cat * 1e3,
            gChecksum.PerRun() * 1e3, gChecksum.PerRun() / cat);
    }
    RemoveBenchDir();
    return 0;
}
