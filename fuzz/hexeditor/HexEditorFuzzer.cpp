// Decodes the input into a run of THexEditor operations -- byte changes, inserts,
// appends, replacements, deletions, erasing, nibble shifts, range conversions, undo,
// selections, finds, seeks, saving and loading back -- on data of 1 byte to 96 KiB (so
// the 64 KiB read window moves), and checks after every step what must always hold:
// the editor holds exactly the bytes a plain vector given the same operations holds,
// with as many undo steps; undoing them all gets back to the oldest state; and no
// temporary file ever has a name in the temporary folder.
//
// Input: a size class and size, a data seed and alphabet, the editor's settings, then
// one operation after another until the input runs out (at most MaxSteps).
#include "support/HexEditorModel.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {
// Enough to pass the 500-step limit of the undo store.
constexpr int MaxSteps = 600;

// The editor with its insert toggle in reach (the Insert key flips it).
class FuzzEditor : public THexEditor {
public:
    void SetInsertToggle(bool value) { InsertToggle = value; }
};

// Choices from the input: as few bytes as the range needs, zeros once it runs out.
struct InputChoice {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    bool Exhausted() const { return pos >= size; }
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    uint32_t Next() { return Byte(); }
    int64_t Below(int64_t n)
    {
        uint64_t v = Byte();
        if (n > 0x100)
            v = v << 8 | Byte();
        if (n > 0x10000)
            v = v << 8 | Byte();
        if (n > 0x1000000)
            v = v << 8 | Byte();
        return static_cast<int64_t>(v % static_cast<uint64_t>(n));
    }
};

std::string TempFolder;
std::string SaveFolder;
std::string RuntimeFolder;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "hex editor fuzzer: %s\n", what.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

// The first name in folder, or nothing.
std::string AnyEntry(const std::string& folder)
{
    std::string found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    return found;
}

std::string MakeFolder(const std::string& base, const char* name)
{
    std::string path = base + "/korvex-fuzz-" + name + "-XXXXXX";
    if (!::mkdtemp(path.data()))
        Fail("cannot make " + path);
    return path;
}

// Data of the given size from a seed: random bytes, or (alphabet set) a few letters in
// both cases and zeros, so that finds, case folding and matches are common.
hexmodel::Bytes MakeData(size_t size, uint32_t seed, bool alphabet)
{
    static const uint8_t letters[] = {'a', 'A', 'b', 'B', 0xC0, 0xE0, 0, 0x5A};
    hexmodel::Bytes data(size);
    uint32_t x = seed | 1;
    for (auto& b : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = alphabet ? letters[x % sizeof letters] : static_cast<uint8_t>(x >> 24);
    }
    return data;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    const char* base = std::getenv("TMPDIR");
    const std::string root = base && *base ? base : "/tmp";
    TempFolder = MakeFolder(root, "tmp");
    SaveFolder = MakeFolder(root, "save");
    // Qt's runtime folder must not land in the folder under watch.
    RuntimeFolder = MakeFolder(root, "runtime");
    ::setenv("XDG_RUNTIME_DIR", RuntimeFolder.c_str(), 1);
    std::atexit([] {
        std::error_code error;
        for (const std::string& folder : {TempFolder, SaveFolder, RuntimeFolder})
            std::filesystem::remove_all(folder, error);
    });
    ::setenv("TMPDIR", TempFolder.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication application(*argc, *argv);
    // Fonts and the platform are set up once, not inside the first input.
    FuzzEditor().Loaded();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputChoice choice{data, size};
    // Size classes: small, around a few KiB, beyond the read window.
    size_t dataSize;
    switch (choice.Below(3)) {
    case 0:
        dataSize = 1 + static_cast<size_t>(choice.Below(300));
        break;
    case 1:
        dataSize = 300 + static_cast<size_t>(choice.Below(8000));
        break;
    default:
        dataSize = 65536 + static_cast<size_t>(choice.Below(32768)) + 1;
        break;
    }
    const auto seed = static_cast<uint32_t>(choice.Below(int64_t(1) << 32));
    const uint8_t settings = choice.Byte();
    {
        FuzzEditor ed;
        ed.Loaded();
        hexmodel::Driver<InputChoice> driver(ed, choice, SaveFolder);
        ed.SetBytesPerLine(static_cast<int32_t>(1 + choice.Below(40)));
        ed.SetAllowInsertMode(true);
        ed.SetInsertToggle((settings & 1) != 0);
        ed.SetNoSizeChange((settings & 2) != 0);
        driver.Start(MakeData(dataSize, seed, (settings & 4) != 0));

        for (int step = 0; step < MaxSteps && !choice.Exhausted(); ++step) {
            const int kind = static_cast<int>(choice.Below(hexmodel::AllKinds + 2));
            std::string failure;
            if (kind == hexmodel::AllKinds)
                ed.SetNoSizeChange(!ed.GetNoSizeChange());
            else if (kind == hexmodel::AllKinds + 1)
                ed.SetInsertToggle(!ed.GetInsertToggle());
            else
                failure = driver.Step(kind);
            if (!failure.empty())
                Fail(
                    "step " + std::to_string(step) + " (operation " + std::to_string(kind) + "): " + failure);
            const std::string entry = AnyEntry(TempFolder);
            if (!entry.empty())
                Fail("step " + std::to_string(step) + ": " + entry + " has a name in the temporary folder");
        }
        const std::string failure = driver.UndoAll();
        if (!failure.empty())
            Fail("undoing everything: " + failure);
    }
    const std::string entry = AnyEntry(TempFolder);
    if (!entry.empty())
        Fail(entry + " left in the temporary folder");
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(SaveFolder, error))
        std::filesystem::remove(file.path(), error);
    return 0;
}
