// A save of every field of a 96-section file, as the window makes it (lock, identity check,
// reading the span again, one write, flush, read-back, size check), against the way saves
// were written before: the identity check, then one write per run of adjacent fields (about
// a hundred) and the flush. Both on the same file, alternating, in the same run; the summary
// prints the ratio (goal <= 2).
#include "base/FileIdentity.h"
#include "base/FileStream.h"
#include "header/HeaderSave.h"
#include "header/HeaderWriter.h"
#include "header/ImageReader.h"
#include "support/BenchSupport.h"
#include "support/PeBuilder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

BenchTotals gPlanWrites, gSave;

const std::string& TheFile()
{
    static const std::string path = [] {
        PeBuilder builder;
        for (int i = 0; i < 96; ++i)
            builder.AddSection(
                PeSection("s").Virtual(0x1000u * uint32_t(i + 1), 0x10).Characteristics(0x40000040));
        const std::string name = BenchDir() + "/save96.exe";
        builder.WriteFile(name);
        return name;
    }();
    return path;
}

// Every value edited, so each run writes bytes that differ from the file's.
HeaderWriteInput Edited(const ImageHeaders& headers, int round)
{
    HeaderWriteInput input = WriteInputAsRead(headers);
    for (auto& rows : input.sections)
        rows[0] = 0x100 + round;
    input.values[size_t(HeaderIndex(FieldId::DateStamp))] = round;
    return input;
}

template <typename Work> void Measure(benchmark::State& state, BenchTotals& totals, Work work)
{
    FileStream file(TheFile(), FileStream::Mode::OpenReadWrite);
    const FileIdentity identity = IdentityOf(file);
    ImageHeaders headers = ReadImageHeaders(file);
    int round = 0;
    for (auto _ : state) {
        const HeaderWriteInput input = Edited(headers, ++round);
        const auto start = std::chrono::steady_clock::now();
        if (!work(file, identity, headers, input)) {
            state.SkipWithError("the save failed");
            break;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        totals.seconds += took.count();
        ++totals.runs;
        headers = ReadImageHeaders(file);
    }
}

void BM_PlanWrites(benchmark::State& state)
{
    Measure(state, gPlanWrites,
        [](FileStream& file, const FileIdentity&, const ImageHeaders& headers,
            const HeaderWriteInput& input) {
            int error = 0;
            const auto named = IdentityAt(file.FileName(), error);
            if (!named || !named->SameFileAs(IdentityOf(file)))
                return false;
            return ApplyWritePlan(BuildWritePlan(input), file, headers.fileSize).outcome
                == WriteOutcome::Written;
        });
}

void BM_Save(benchmark::State& state)
{
    Measure(state, gSave,
        [](FileStream& file, const FileIdentity& identity, const ImageHeaders& headers,
            const HeaderWriteInput& input) {
            return SaveHeaders(input, headers, file, identity, SaveChecks{true, {}}).outcome
                == SaveOutcome::Saved;
        });
}

} // namespace

BENCHMARK(BM_PlanWrites)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_PlanWrites)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TheFile();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gPlanWrites.runs > 0 && gSave.runs > 0)
        std::printf("\nSave of a 96-section file: %.1f us, one write per run of fields %.1f us, ratio %.2f "
                    "(goal <= 2)\n",
            gSave.PerRun() * 1e6, gPlanWrites.PerRun() * 1e6, gSave.PerRun() / gPlanWrites.PerRun());
    RemoveBenchDir();
    return 0;
}
