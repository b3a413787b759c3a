#include "BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

std::string BenchDir()
{
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string d
            = std::string(base && *base ? base : "/tmp") + "/korvex-bench-" + std::to_string(::getpid());
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void RemoveBenchDir()
{
    std::error_code error;
    fs::remove_all(BenchDir(), error);
}

std::string MakeRandomFile(const std::string& name, int64_t size)
{
    const std::string path = BenchDir() + "/" + name;
    std::error_code error;
    if (fs::exists(path, error) && static_cast<int64_t>(fs::file_size(path, error)) == size)
        return path;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 rng(static_cast<uint64_t>(size));
    std::vector<uint64_t> block(static_cast<size_t>(BenchMiB / 8));
    for (int64_t done = 0; done < size; done += BenchMiB) {
        for (auto& w : block)
            w = rng();
        out.write(reinterpret_cast<const char*>(block.data()),
            static_cast<std::streamsize>(std::min(BenchMiB, size - done)));
    }
    return path;
}

RatioReporter::RatioReporter()
    : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None)
{
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
        times[run.benchmark_name()] = run.GetAdjustedRealTime();
}

double RatioReporter::Ratio(const std::string& a, const std::string& b) const
{
    const auto ta = times.find(a);
    const auto tb = times.find(b);
    return ta != times.end() && tb != times.end() && tb->second > 0 ? ta->second / tb->second : -1;
}

void RatioReporter::PrintRatio(
    const std::string& what, const std::string& a, const std::string& b, const char* goal) const
{
    std::printf("%s: ratio %.2f (goal %s)\n", what.c_str(), Ratio(a, b), goal);
}
