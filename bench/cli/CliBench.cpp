// korvex-cli against the tools people use for the same jobs, each pair measured in the same run
// (wall time, alternating, so both see the same machine):
//   show of one small file, as a process        vs  readpe -H on it (pev)           goal <= 1.5
//   get of one field of it, as a process        vs  show of the same file            goal <= 1.2
//   set of one field of a copy of it (locked, written, flushed)  vs  readpe -H      goal <= 1.5
//   show --json of 1,000 files in one process   vs  pefile.PE(f) for each, one python process  goal >= 100
//   show --contents --json of the same 1,000 files  vs  the same pefile run          goal >= 100
//   show --contents --json of the largest real DLL, as a process  vs  readpe -A on it  goal <= 1.5
//   (pefile / cli) checksum of a 512 MiB file, as a process    vs  cat FILE > /dev/null (warm)     goal
//   <= 1.5 find over a 512 MiB file, as a process      vs  memmem over the same bytes in memory  goal >= 1/3
//   of memmem's throughput
// The real files are the ones the tests use (scripts/install-deps bench installs them).
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
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBigSize = uint64_t(512) << 20;
const char* const kPython = "/usr/bin/python3";

using Totals = BenchTotals;
Totals gSet, gShow, gGet, gShowBesideGet, gReadpe, gShowJson, gPefile, gShowJsonSmall, gPefileSmall,
    gChecksum, gCat, gFind, gMemmem;
Totals gContentsJson, gContentsLargest, gReadpeAll;

// Runs a program with its output thrown away; answers its exit status (-1 when it could not run).
int Spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
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

std::string Which(const char* name)
{
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const std::string path = std::string(dir) + "/" + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

std::vector<std::string> RealFiles()
{
    std::vector<std::string> files;
    auto add = [&files](const fs::path& dir, const std::string& extension) {
        std::error_code error;
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir, error)) {
            if (!entry.is_regular_file() || (!extension.empty() && entry.path().extension() != extension))
                continue;
            char magic[2] = {};
            std::ifstream(entry.path(), std::ios::binary).read(magic, 2);
            if (magic[0] == 'M' && magic[1] == 'Z')
                found.push_back(entry.path().string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    };
    std::error_code error;
    add("/usr/share/nsis/Stubs", "");
    for (const auto& set : fs::directory_iterator("/usr/share/nsis/Plugins", error))
        add(set.path(), ".dll");
    add("/usr/lib/systemd/boot/efi", "");
    for (const auto& version : fs::directory_iterator("/usr/lib/gcc/x86_64-w64-mingw32", error))
        add(version.path(), ".dll");
    return files;
}

const fs::path& WorkDir()
{
    static const fs::path dir = [] {
        const fs::path path = fs::temp_directory_path() / ("korvex-cli-bench-" + std::to_string(getpid()));
        fs::create_directories(path);
        return path;
    }();
    return dir;
}

// 1,000 names, each a link to one of the files in turn.
std::vector<std::string> Thousand(const std::vector<std::string>& files, const std::string& folder)
{
    std::vector<std::string> result;
    if (files.empty())
        return result;
    fs::create_directories(WorkDir() / folder);
    for (size_t i = 0; i < 1000; ++i) {
        const fs::path link = WorkDir() / folder / (std::string("f").append(std::to_string(i)));
        fs::create_symlink(files[i % files.size()], link);
        result.push_back(link.string());
    }
    return result;
}

// Every real file: NSIS's small stubs and plug-ins, the EFI images and MinGW's runtime DLLs (up
// to 23 MiB).
const std::vector<std::string>& ThousandFiles()
{
    static const std::vector<std::string> names = Thousand(RealFiles(), "all");
    return names;
}

// Only the small files (NSIS's, 4 to 100 KiB), where fixed costs per file count most.
const std::vector<std::string>& ThousandSmallFiles()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> small;
        for (const std::string& file : RealFiles()) {
            if (file.rfind("/usr/share/nsis/", 0) == 0)
                small.push_back(file);
        }
        return Thousand(small, "small");
    }();
    return names;
}

// A PE image of 512 MiB: headers, then random bytes.
const std::string& BigFile()
{
    static const std::string path = [] {
        const std::string name = (WorkDir() / "big.exe").string();
        std::vector<uint8_t> block = PeBuilder().EntryPoint(0x1000).Build();
        block.resize(size_t(8) << 20);
        std::mt19937_64 random(1);
        std::ofstream out(name, std::ios::binary);
        for (uint64_t pos = 0; pos < kBigSize; pos += block.size()) {
            for (size_t i = pos == 0 ? 0x1000 : 0; i + 8 <= block.size(); i += 8) {
                const uint64_t q = random();
                std::memcpy(block.data() + i, &q, 8);
            }
            out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size()));
        }
        return name;
    }();
    return path;
}

// Patterns absent from the random data, so every search reads the whole file.
const std::string kPattern = "KernelBase";

// A benchmark run with argument 0 only warms the caches: its time is not counted.
template <typename Work> void Measure(benchmark::State& state, Totals& counted, Work work)
{
    Totals warmUp;
    MeasureRuns(state, state.range(0) == 0 ? warmUp : counted, work);
}

const std::string& SmallFile()
{
    static const std::string file = "/usr/share/nsis/Stubs/zlib-x86-unicode";
    return file;
}

void BM_ReadpeShow(benchmark::State& state)
{
    const std::string readpe = Which("readpe");
    Measure(state, gReadpe, [&] { return !readpe.empty() && Spawn({readpe, "-H", SmallFile()}) == 0; });
}

void BM_CliShow(benchmark::State& state)
{
    Measure(state, gShow, [&] { return Spawn({KORVEX_CLI, "show", SmallFile()}) == 0; });
}

// get and show of the same file, one after the other in every iteration: a few milliseconds
// each, so both must see the same load.
void BM_CliGetBesideShow(benchmark::State& state)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool shown = Spawn({KORVEX_CLI, "show", SmallFile()}) == 0;
        const auto middle = std::chrono::steady_clock::now();
        const bool got = Spawn({KORVEX_CLI, "get", SmallFile(), "TimeDateStamp"}) == 0;
        const auto end = std::chrono::steady_clock::now();
        if (!shown || !got) {
            state.SkipWithError("korvex-cli failed");
            break;
        }
        const std::chrono::duration<double> show = middle - start, get = end - middle;
        state.SetIterationTime(get.count());
        gShowBesideGet.seconds += show.count();
        gGet.seconds += get.count();
        ++gShowBesideGet.runs;
        ++gGet.runs;
    }
}

void BM_CliSet(benchmark::State& state)
{
    static const std::string copy = [] {
        const std::string path = (WorkDir() / "set.exe").string();
        fs::copy_file(SmallFile(), path, fs::copy_options::overwrite_existing);
        return path;
    }();
    int round = 0;
    Measure(state, gSet, [&] {
        return Spawn({KORVEX_CLI, "set", copy, "TimeDateStamp=" + std::to_string(++round)}) == 0;
    });
}

const std::vector<std::string>& FileSet(const benchmark::State& state)
{
    return state.range(1) == 0 ? ThousandFiles() : ThousandSmallFiles();
}

void BM_PefileThousand(benchmark::State& state)
{
    const std::vector<std::string>& files = FileSet(state);
    std::vector<std::string> command{
        kPython, "-c", "import sys, pefile\nfor f in sys.argv[1:]: pefile.PE(f)\n"};
    command.insert(command.end(), files.begin(), files.end());
    Measure(state, state.range(1) == 0 ? gPefile : gPefileSmall,
        [&] { return !files.empty() && Spawn(command) == 0; });
}

void BM_CliShowJsonThousand(benchmark::State& state)
{
    const std::vector<std::string>& files = FileSet(state);
    std::vector<std::string> command{KORVEX_CLI, "show", "--json"};
    command.insert(command.end(), files.begin(), files.end());
    Measure(state, state.range(1) == 0 ? gShowJson : gShowJsonSmall,
        [&] { return !files.empty() && Spawn(command) == 0; });
}

void BM_CliShowContentsThousand(benchmark::State& state)
{
    const std::vector<std::string>& files = ThousandFiles();
    std::vector<std::string> command{KORVEX_CLI, "show", "--contents", "--json"};
    command.insert(command.end(), files.begin(), files.end());
    Measure(state, gContentsJson, [&] { return !files.empty() && Spawn(command) == 0; });
}

// The largest real DLL the tests install (MinGW's libstdc++, 23 MiB with 5,781 exports).
const std::string& LargestDll()
{
    static const std::string file = [] {
        std::string largest;
        uintmax_t size = 0;
        for (const std::string& candidate : RealFiles()) {
            std::error_code error;
            const uintmax_t candidateSize = fs::file_size(candidate, error);
            if (!error && candidate.ends_with(".dll") && candidateSize > size) {
                size = candidateSize;
                largest = candidate;
            }
        }
        return largest;
    }();
    return file;
}

void BM_CliShowContentsLargest(benchmark::State& state)
{
    Measure(state, gContentsLargest, [&] {
        return !LargestDll().empty()
            && Spawn({KORVEX_CLI, "show", "--contents", "--json", LargestDll()}) == 0;
    });
}

void BM_ReadpeAll(benchmark::State& state)
{
    const std::string readpe = Which("readpe");
    Measure(state, gReadpeAll, [&] { return !readpe.empty() && Spawn({readpe, "-A", LargestDll()}) == 0; });
}

void BM_Cat(benchmark::State& state)
{
    Measure(state, gCat, [&] { return Spawn({"/bin/cat", BigFile()}) == 0; });
}

void BM_CliChecksum(benchmark::State& state)
{
    // Exit status 1: the stored checksum (0) differs.
    Measure(state, gChecksum, [&] { return Spawn({KORVEX_CLI, "checksum", BigFile()}) == 1; });
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBigSize));
}

void BM_Memmem(benchmark::State& state)
{
    static const std::vector<char> bytes = [] {
        std::vector<char> data(kBigSize);
        std::ifstream(BigFile(), std::ios::binary).read(data.data(), std::streamsize(data.size()));
        return data;
    }();
    Measure(state, gMemmem, [&] {
        const void* hit = memmem(bytes.data(), bytes.size(), kPattern.data(), kPattern.size());
        benchmark::DoNotOptimize(hit);
        return hit == nullptr;
    });
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBigSize));
}

void BM_CliFind(benchmark::State& state)
{
    // Exit status 1: no match.
    Measure(state, gFind, [&] { return Spawn({KORVEX_CLI, "find", BigFile(), kPattern}) == 1; });
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBigSize));
}

} // namespace

BENCHMARK(BM_ReadpeShow)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CliShow)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_ReadpeShow)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_CliShow)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_ReadpeShow)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_CliGetBesideShow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);
BENCHMARK(BM_CliSet)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_ReadpeShow)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);
BENCHMARK(BM_CliSet)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// Arguments: counted, file set (0 every real file, 1 the small ones).
BENCHMARK(BM_CliShowJsonThousand)
    ->Args({1, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_PefileThousand)->Args({1, 0})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CliShowJsonThousand)
    ->Args({1, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_CliShowJsonThousand)
    ->Args({1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_PefileThousand)->Args({1, 1})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CliShowJsonThousand)
    ->Args({1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK(BM_CliShowContentsThousand)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PefileThousand)->Args({1, 0})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CliShowContentsThousand)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_ReadpeAll)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliShowContentsLargest)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ReadpeAll)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CliShowContentsLargest)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ReadpeAll)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK(BM_Cat)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cat)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliChecksum)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Cat)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliChecksum)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK(BM_Memmem)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliFind)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Memmem)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CliFind)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nkorvex-cli against its baselines, measured in this run (wall time):\n");
    const double readpe = gReadpe.PerRun();
    if (gShow.runs > 0 && gReadpe.runs > 0)
        std::printf("show of one small file:      korvex-cli %.2f ms, readpe -H %.2f ms, ratio cli/readpe "
                    "%.2f (goal <= 1.5)\n",
            gShow.PerRun() * 1e3, readpe * 1e3, gShow.PerRun() / readpe);
    if (gGet.runs > 0 && gShowBesideGet.runs > 0)
        std::printf("get of one field:            korvex-cli get %.2f ms, show %.2f ms, ratio get/show %.2f "
                    "(goal <= 1.2)\n",
            gGet.PerRun() * 1e3, gShowBesideGet.PerRun() * 1e3, gGet.PerRun() / gShowBesideGet.PerRun());
    if (gSet.runs > 0 && gReadpe.runs > 0)
        std::printf("set of one field:            korvex-cli %.2f ms, readpe -H %.2f ms, ratio cli/readpe "
                    "%.2f (goal <= 1.5)\n",
            gSet.PerRun() * 1e3, readpe * 1e3, gSet.PerRun() / readpe);
    if (gShowJson.runs > 0 && gPefile.runs > 0)
        std::printf("show --json of 1000 files:   korvex-cli %.1f ms, pefile %.0f ms, ratio pefile/cli %.0f "
                    "(goal >= 100)\n",
            gShowJson.PerRun() * 1e3, gPefile.PerRun() * 1e3, gPefile.PerRun() / gShowJson.PerRun());
    if (gShowJsonSmall.runs > 0 && gPefileSmall.runs > 0)
        std::printf("  only the small files:      korvex-cli %.1f ms, pefile %.0f ms, ratio pefile/cli %.0f "
                    "(goal >= 100)\n",
            gShowJsonSmall.PerRun() * 1e3, gPefileSmall.PerRun() * 1e3,
            gPefileSmall.PerRun() / gShowJsonSmall.PerRun());
    if (gContentsJson.runs > 0 && gPefile.runs > 0)
        std::printf(
            "show --contents --json of 1000 files: korvex-cli %.1f ms, pefile %.0f ms, ratio pefile/cli "
            "%.0f (goal >= 100)\n",
            gContentsJson.PerRun() * 1e3, gPefile.PerRun() * 1e3, gPefile.PerRun() / gContentsJson.PerRun());
    if (gContentsLargest.runs > 0 && gReadpeAll.runs > 0)
        std::printf(
            "show --contents --json of %s: korvex-cli %.1f ms, readpe -A %.1f ms, ratio cli/readpe %.2f "
            "(goal <= 1.5)\n",
            LargestDll().c_str(), gContentsLargest.PerRun() * 1e3, gReadpeAll.PerRun() * 1e3,
            gContentsLargest.PerRun() / gReadpeAll.PerRun());
    if (gChecksum.runs > 0 && gCat.runs > 0) {
        const double cat = gCat.PerRun();
        std::printf("checksum of 512 MiB:         korvex-cli %.1f ms, cat %.1f ms, ratio cli/cat %.2f (goal "
                    "<= 1.5)\n",
            gChecksum.PerRun() * 1e3, cat * 1e3, gChecksum.PerRun() / cat);
    }
    if (gFind.runs > 0 && gMemmem.runs > 0) {
        const double mib = double(kBigSize >> 20);
        std::printf("find over 512 MiB:           korvex-cli %.0f MiB/s, memmem %.0f MiB/s, ratio %.2f (goal "
                    ">= 0.33)\n",
            mib / gFind.PerRun(), mib / gMemmem.PerRun(), gMemmem.PerRun() / gFind.PerRun());
    }
    std::error_code error;
    fs::remove_all(WorkDir(), error);
    return 0;
}
