// The cost of keeping 500 undo steps. Once the store is full every edit drops the
// oldest step; after a removal that saved 100 MiB those bytes sit in the undo stream
// for the next 499 edits. The figure: 10,000 one-byte changes after a 100 MiB removal,
// as a ratio to 10,000 changes on the same data without that removal (both with a full
// store). A trim that moves the whole stream makes the ratio explode; one that costs
// the trimmed bytes keeps it near 1.
#include "hexeditor/HexEditor.h"
#include "support/BenchSupport.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <sstream>
#include <string>

namespace {
constexpr int32_t MiB = 1 << 20;
constexpr int32_t Kept = 64 * 1024; // the data left after the removal
constexpr int Changes = 10000;

void Fill(THexEditor& ed, int32_t size)
{
    std::string bytes(static_cast<size_t>(size), '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 13);
    std::istringstream in(std::move(bytes));
    ed.LoadFromStream(in);
}

// One-byte changes all over the kept data.
void ChangeBytes(THexEditor& ed, int count, int salt)
{
    for (int i = 0; i < count; ++i) {
        const int32_t p = static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % Kept);
        const uint8_t old = ed.GetByteAtPos(p);
        ed.ChangeByte(old, static_cast<uint8_t>(old + 1 + salt), p, 2, 0);
    }
}

double Seconds(THexEditor& ed)
{
    const auto start = std::chrono::steady_clock::now();
    ChangeBytes(ed, Changes, 1);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ChangesAfter100MiBRemoval_vs_without(benchmark::State& state)
{
    double opTotal = 0, baseTotal = 0;
    for (auto _ : state) {
        // Baseline: the store full of one-byte steps, no big step.
        THexEditor base;
        base.Loaded();
        Fill(base, Kept);
        ChangeBytes(base, 600, 0);
        baseTotal += Seconds(base);

        // The same, with a 100 MiB removal as the newest step before the changes.
        THexEditor ed;
        ed.Loaded();
        Fill(ed, Kept + 100 * MiB);
        ChangeBytes(ed, 600, 0);
        ed.SetSelStart(Kept);
        ed.SetSelEnd(Kept + 100 * MiB - 1);
        ed.DeleteSelection();
        if (ed.GetDataSize() != Kept) {
            state.SkipWithError("the removal failed");
            return;
        }
        const double t = Seconds(ed);
        opTotal += t;
        state.SetIterationTime(t);
        if (ed.GetUndoStore().Count() != 500 || base.GetUndoStore().Count() != 500)
            state.SkipWithError("the store does not hold 500 steps");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["op_s"] = opTotal / n;
    state.counters["baseline_s"] = baseTotal / n;
    state.counters["ratio"] = opTotal / baseTotal;
}
BENCHMARK(BM_ChangesAfter100MiBRemoval_vs_without)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
