// Verifying the signature of a 512 MiB file against `sha256sum` of the same file, both from a warm
// page cache and measured in the same run; the summary prints the ratio. The file is pseudo-random
// data under shim's headers with shim's certificate table moved to its end, so the whole
// verification runs (parse, digest over 512 MiB, signer's signature, chain); the digest differs.
#include "base/FileStream.h"
#include "contents/Authenticode.h"
#include "header/ImageReader.h"
#include "support/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kFileSize = uint64_t(512) << 20;
constexpr const char* kSignedSource = "/usr/lib/shim/shimx64.efi.signed"; // package shim-signed

BenchTotals gSha256sum, gVerify;

std::string MakeSignedFile()
{
    const FileStream source(kSignedSource, FileStream::Mode::OpenRead);
    const ImageHeaders headers = ReadImageHeaders(source);
    const AuthenticodeLayout layout = AuthenticodeLayoutOf(headers);
    std::vector<uint8_t> head(layout.securityEntryPos + 8);
    std::vector<uint8_t> table(layout.tableSize);
    source.ReadAt(0, head.data(), head.size());
    source.ReadAt(layout.tableOffset, table.data(), table.size());

    const std::string path = MakeRandomFile("signed.bin", int64_t(kFileSize));
    FileStream file(path, FileStream::Mode::OpenReadWrite);
    const uint32_t tableOffset = static_cast<uint32_t>(kFileSize - table.size()) & ~7u;
    for (int i = 0; i < 4; ++i)
        head[layout.securityEntryPos + i] = uint8_t(tableOffset >> (8 * i));
    file.WriteAt(0, head.data(), head.size());
    file.WriteAt(tableOffset, table.data(), table.size());
    file.Flush();
    return path;
}

const std::string& TheFile()
{
    static const std::string path = MakeSignedFile();
    return path;
}

template <typename Work> void Measure(benchmark::State& state, BenchTotals& totals, Work work)
{
    MeasureRuns(state, totals, work, int64_t(kFileSize));
}

void BM_Sha256sum(benchmark::State& state)
{
    const std::string command = "sha256sum '" + TheFile() + "' > /dev/null";
    Measure(state, gSha256sum, [&] {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("sha256sum failed");
    });
}

void BM_Verify(benchmark::State& state)
{
    const FileStream file(TheFile(), FileStream::Mode::OpenRead);
    Measure(state, gVerify, [&] {
        const AuthenticodeReport report = VerifyAuthenticode(file, ReadImageHeaders(file));
        if (report.signatures.empty() || report.signatures[0].computedDigest.empty())
            state.SkipWithError("the signature was not checked");
    });
}

} // namespace

// Alternating, so that both see the same machine state; the first run also warms the cache.
BENCHMARK(BM_Sha256sum)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sha256sum)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Verify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sha256sum)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Verify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TheFile();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gSha256sum.runs > 1 && gVerify.runs > 0) {
        // The first sha256sum only warmed the cache.
        const double sum = gSha256sum.PerRunAfterFirst();
        std::printf("\nAuthenticode verification of %llu MiB vs sha256sum (warm cache, wall time per run):\n",
            static_cast<unsigned long long>(kFileSize >> 20));
        std::printf("sha256sum %.1f ms, verify %.1f ms, ratio verify/sha256sum %.2f (goal <= 1.3)\n",
            sum * 1e3, gVerify.PerRun() * 1e3, gVerify.PerRun() / sum);
    }
    RemoveBenchDir();
    return 0;
}
