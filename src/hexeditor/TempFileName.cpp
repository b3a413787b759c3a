#include "hexeditor/TempFileName.h"

#include "base/Errors.h"
#include "base/FileStream.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

uint32_t TickCount()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms
        = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

std::string TempDirectory()
{
    std::string dir;
    std::error_code error;
    const std::filesystem::path path = std::filesystem::temp_directory_path(error);
    dir = error ? std::string("/tmp") : path.string();
    auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t first = 0;
    while (first < dir.size() && isTrimmed(dir[first]))
        ++first;
    size_t last = dir.size();
    while (last > first && isTrimmed(dir[last - 1]))
        --last;
    dir = dir.substr(first, last - first);
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string TempFileNameForTick(const std::string& dir, uint32_t tick)
{
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(tick));
    return dir + digits + ".ZQUT";
}

bool PathEntryExists(const std::string& name)
{
    struct stat st { };
    return ::lstat(name.c_str(), &st) == 0;
}

std::string NewTempFileName(const std::string& dir)
{
    uint32_t tick = TickCount();
    std::string name = TempFileNameForTick(dir, tick);
    while (PathEntryExists(name))
        name = TempFileNameForTick(dir, ++tick);
    return name;
}

namespace {
// Far more names than any temporary directory holds; only a hostile or broken
// directory gets there, and then an error beats spinning.
constexpr uint32_t MaxTries = 1u << 20;
} // namespace

std::unique_ptr<FileStream> CreateTempFile(std::string& name, const std::string& dir, uint32_t firstTick)
{
    uint32_t tick = firstTick;
    for (uint32_t tries = 0; tries < MaxTries; ++tries, ++tick) {
        const std::string candidate = TempFileNameForTick(dir, tick);
        if (PathEntryExists(candidate))
            continue;
        try {
            auto stream = std::make_unique<FileStream>(candidate, FileStream::Mode::CreateExclusive);
            ::fchmod(stream->Handle(), S_IRUSR | S_IWUSR);
            name = candidate;
            return stream;
        } catch (const EFCreateError&) {
            // Something appeared at the name between the look and the create: next name.
            if (PathEntryExists(candidate))
                continue;
            throw;
        }
    }
    throw EFCreateError(TempFileNameForTick(dir, firstTick));
}

std::unique_ptr<FileStream> CreateTempFile(std::string& name, const std::string& dir)
{
    return CreateTempFile(name, dir, TickCount());
}

int (*UnlinkOpenTempFile)(const char* path) = ::unlink;

int OpenNamelessInFolder(const char* dir)
{
#ifdef O_TMPFILE
    return ::open(dir, O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
#else
    (void)dir;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

int (*OpenNamelessTempFile)(const char* dir) = OpenNamelessInFolder;

std::unique_ptr<FileStream> CreateNamelessTempFile(const std::string& dir, const std::string& nameForMessages)
{
    const int fd = OpenNamelessTempFile(dir.c_str());
    if (fd < 0)
        return nullptr;
    return std::make_unique<FileStream>(fd, nameForMessages);
}

std::unique_ptr<FileStream> CreateUnlinkedTempFile(std::string& name, bool& unlinked, const std::string& dir)
{
    // Without a name there is no moment in which a kill leaves an empty file behind.
    const std::string candidate = NewTempFileName(dir);
    if (auto stream = CreateNamelessTempFile(dir, candidate)) {
        name = candidate;
        unlinked = true;
        return stream;
    }
    auto stream = CreateTempFile(name, dir);
    unlinked = UnlinkOpenTempFile(name.c_str()) == 0;
    return stream;
}

bool RemoveFileEntry(const std::string& name)
{
    struct stat st { };
    if (::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(name.c_str()) == 0;
}
