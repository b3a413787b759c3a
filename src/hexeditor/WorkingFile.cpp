#include "hexeditor/WorkingFile.h"

#include "base/Errors.h"
#include "hexeditor/FileCopy.h"
#include "hexeditor/TempFileName.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <istream>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// An uninitialised heap block: the tail moves overwrite every byte they use.
std::unique_ptr<uint8_t[]> NewBlock(size_t size)
{
    return std::unique_ptr<uint8_t[]>(new uint8_t[size]);
}

// Deletes a temporary file when it goes out of scope, unless released.
struct FileRemover {
    std::string name;
    ~FileRemover()
    {
        if (!name.empty())
            RemoveFileEntry(name);
    }
};

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}
} // namespace

WorkingFile::WorkingFile(std::string dir)
    : FDir(dir.empty() ? TempDirectory() : std::move(dir))
    , FWindow(static_cast<size_t>(WindowSize), 0)
{
    if (FDir.back() != '/')
        FDir += '/';
    FPath = NewTempFileName(FDir);
}

WorkingFile::~WorkingFile()
{
    Close();
    RemoveOwnFile();
}

void WorkingFile::Close()
{
    FStream.reset();
}

void WorkingFile::RemoveOwnFile()
{
    if (FOwnsFile) {
        RemoveFileEntry(FPath);
        FOwnsFile = false;
    }
}

std::string WorkingFile::ReachablePath() const
{
    if (FStream && !FOwnsFile)
        return "/proc/self/fd/" + std::to_string(FStream->Handle());
    return FPath;
}

void WorkingFile::Free()
{
    if (!FStream)
        return;
    if (FOwnsFile) {
        try {
            FStream->SetSize(0);
        } catch (const Exception&) {
            // The file is closed and forgotten anyway; its bytes no longer matter.
        }
    }
    Close();
}

std::unique_ptr<FileStream> WorkingFile::CreateExclusively()
{
    // Without a name where the file system allows: no kill can leave it behind.
    if (auto nameless = CreateNamelessTempFile(FDir, FPath)) {
        // The name only labels messages; still, never one that something else has.
        if (PathEntryExists(FPath))
            FPath = NewTempFileName(FDir);
        FOwnsFile = false;
        return nameless;
    }
    std::unique_ptr<FileStream> stream;
    if (!PathEntryExists(FPath)) {
        try {
            stream = std::make_unique<FileStream>(FPath, FileStream::Mode::CreateExclusive);
        } catch (const EFCreateError&) {
            if (!PathEntryExists(FPath))
                throw;
        }
    }
    if (stream) {
        ::fchmod(stream->Handle(), S_IRUSR | S_IWUSR);
    } else {
        // Something that is not ours sits at the name: never touch it, take another name.
        std::string name;
        stream = CreateTempFile(name, FDir);
        FPath = name;
    }
    // Out of the folder at once; where the folder refuses, remove it when done with it.
    FOwnsFile = UnlinkOpenTempFile(FPath.c_str()) != 0;
    return stream;
}

void WorkingFile::CreateEmpty()
{
    Discard();
    FStream = CreateExclusively();
}

// The previous copy goes before a new one is made.
void WorkingFile::Discard()
{
    Close();
    RemoveOwnFile();
    InvalidateWindow();
    InvalidateSize();
}

// A new working file filled by fill; if it throws, the half-made file goes too.
void WorkingFile::FillNew(const std::function<void(FileStream&)>& fill)
{
    FStream = CreateExclusively();
    try {
        fill(*FStream);
        FStream->Seek(0, SeekOrigin::Beginning);
    } catch (...) {
        Free();
        RemoveOwnFile();
        throw;
    }
}

void WorkingFile::LoadCopyOf(const std::string& source)
{
    Discard();

    FileStream in(source, FileStream::Mode::OpenRead);
    // A device, a pipe or a terminal has no end to copy up to (a pseudo file under /proc
    // is a regular file and loads).
    struct stat st { };
    if (::fstat(in.Handle(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EFOpenError(source, "It is not a regular file");
    constexpr uint64_t MaxSize = static_cast<uint64_t>(INT32_MAX);
    if (in.Size() > MaxSize)
        throw EFOpenError(source, "The file is larger than 2147483647 bytes");
    FillNew([&](FileStream& copy) {
        // One byte more than fits tells a source that grew (or has no size) apart.
        if (CopyFileBytes(in, 0, copy, 0, MaxSize + 1) > MaxSize)
            throw EFOpenError(source, "The file is larger than 2147483647 bytes");
    });
}

void WorkingFile::LoadRangeOf(const FileStream& source, uint64_t offset, int32_t count)
{
    Discard();
    FillNew([&](FileStream& copy) {
        const auto size = static_cast<uint64_t>(std::max(count, 0));
        // A source that shrank meanwhile leaves zeros at the end, never a shorter copy.
        if (CopyFileBytes(source, offset, copy, 0, size) < size)
            copy.SetSize(size);
    });
}

void WorkingFile::LoadFromStream(std::istream& source)
{
    Discard();
    FillNew([&](FileStream& copy) {
        source.clear();
        source.seekg(0, std::ios::beg);
        if (source.fail())
            source.clear(); // not seekable: take what the stream still has
        auto block = NewBlock(CopyBlockSize);
        uint64_t pos = 0;
        for (;;) {
            source.read(reinterpret_cast<char*>(block.get()), static_cast<std::streamsize>(CopyBlockSize));
            const auto n = static_cast<size_t>(source.gcount());
            if (source.bad())
                throw EReadError("stream", "read failed");
            if (pos + n > static_cast<uint64_t>(INT32_MAX))
                throw EReadError("stream", "more than 2147483647 bytes");
            if (n > 0)
                copy.WriteAt(pos, block.get(), n);
            pos += n;
            if (n < CopyBlockSize)
                break;
        }
    });
}

namespace {
// The folder part of a file name, with its trailing '/' ("./" for a bare name).
std::string FolderOf(const std::string& name)
{
    const size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : name.substr(0, slash + 1);
}

// Makes a rename in dir durable; a folder that cannot be flushed is no reason to fail.
void FlushFolder(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

bool WorkingFile::SaveCopyTo(const std::string& dest)
{
    try {
        // A link at dest stays a link: the file it names is the one replaced.
        std::string target = dest;
        struct stat st { };
        if (::lstat(dest.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            std::error_code error;
            const fs::path resolved = fs::canonical(dest, error);
            if (!error)
                target = resolved.string();
        }
        const bool existed = ::stat(target.c_str(), &st) == 0;
        // Only a plain file is replaced; a folder, a device or a pipe is no file to save to.
        if (existed && !S_ISREG(st.st_mode))
            return false;
        const std::string folder = FolderOf(target);
        std::string newName;
        auto out = CreateTempFile(newName, folder);
        FileRemover remover{newName};
        if (FStream) {
            const uint64_t size = FStream->Size();
            if (CopyFileBytes(*FStream, 0, *out, 0, size) != size)
                return false;
        }
        // The owner first: a change of owner may clear the set-id bits the mode restores.
        // Where the owner cannot be kept (someone else's file), the group may still be, and
        // the set-id bits are not carried over: they would make the saver's copy run as
        // the saver.
        const bool ownerKept = !existed || ::fchown(out->Handle(), st.st_uid, st.st_gid) == 0;
        if (!ownerKept && errno != EPERM)
            return false;
        if (!ownerKept)
            (void)::fchown(out->Handle(), static_cast<uid_t>(-1), st.st_gid);
        mode_t mode = existed ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
        if (!ownerKept)
            mode &= ~mode_t(S_ISUID | S_ISGID);
        if (::fchmod(out->Handle(), mode) != 0)
            return false;
        out->Flush();
        out.reset();
        if (::rename(newName.c_str(), target.c_str()) != 0)
            return false;
        remover.name.clear();
        FlushFolder(folder);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool WorkingFile::SaveToStream(std::ostream& dest)
{
    if (!FStream)
        return false;
    try {
        const uint64_t size = FStream->Size();
        auto block = NewBlock(static_cast<size_t>(std::min<uint64_t>(CopyBlockSize, size)));
        for (uint64_t pos = 0; pos < size;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(CopyBlockSize, size - pos));
            const size_t n = FStream->ReadAt(pos, block.get(), want);
            if (n != want)
                return false;
            dest.write(reinterpret_cast<const char*>(block.get()), static_cast<std::streamsize>(n));
            if (!dest)
                return false;
            pos += n;
        }
        dest.flush();
        return static_cast<bool>(dest);
    } catch (const std::exception&) {
        return false;
    }
}

int32_t WorkingFile::DataSize()
{
    if (!FStream)
        return 0;
    if (FCachedSize == -1 || FWindowStart == -1) {
        const uint64_t size = FStream->Size();
        FCachedSize = size > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(size);
    }
    return FCachedSize;
}

bool WorkingFile::WindowValidFor(int32_t p, int32_t bytesPerLine) const
{
    return FWindowStart != -1 && p >= FWindowStart
        && static_cast<int64_t>(p) + bytesPerLine <= static_cast<int64_t>(FWindowStart) + WindowSize;
}

void WorkingFile::CheckInternalBuffer(int32_t p, int32_t bytesPerLine)
{
    if (WindowValidFor(p, bytesPerLine))
        return;
    FCachedSize = -1;
    ++FWindowLoads;
    const int32_t start = p - WindowSize / 2 < 0 ? 0 : p - WindowSize / 2;
    size_t n = 0;
    if (FStream)
        n = FStream->ReadAt(static_cast<uint64_t>(start), FWindow.data(), FWindow.size());
    FWindowFill = static_cast<int32_t>(n);
    FWindowStart = start;
}

void WorkingFile::SetInternalBufferByte(int32_t p, uint8_t value, int32_t /*bytesPerLine*/)
{
    // Any copy of the byte in the window must follow, also near the window's end where
    // the window is not "valid" for a whole line starting at p.
    if (FWindowStart != -1 && p >= FWindowStart
        && static_cast<int64_t>(p) < static_cast<int64_t>(FWindowStart) + WindowSize)
        FWindow[static_cast<size_t>(p - FWindowStart)] = value;
}

int32_t WorkingFile::FillWindowFrom(int32_t p)
{
    FCachedSize = -1;
    ++FWindowLoads;
    size_t n = 0;
    if (FStream && p >= 0)
        n = FStream->ReadAt(static_cast<uint64_t>(p), FWindow.data(), FWindow.size());
    FWindowFill = static_cast<int32_t>(n);
    FWindowStart = p < 0 ? 0 : p;
    return FWindowFill;
}

uint8_t WorkingFile::GetByteAtPos(int64_t position)
{
    uint8_t value = 0;
    if (FStream && position >= 0)
        FStream->ReadAt(static_cast<uint64_t>(position), &value, 1);
    return value;
}

void WorkingFile::SetByteAtPos(int64_t position, uint8_t value)
{
    FStream->WriteAt(static_cast<uint64_t>(position), &value, 1);
    if (position >= FCachedSize)
        FCachedSize = -1; // the file grew
}

size_t WorkingFile::GetMemAtPos(uint8_t* buffer, int64_t position, size_t count)
{
    if (!FStream || position < 0)
        return 0;
    return FStream->ReadAt(static_cast<uint64_t>(position), buffer, count);
}

void WorkingFile::SetMemAtPos(const uint8_t* buffer, int64_t position, size_t count)
{
    if (count > 0)
        FStream->WriteAt(static_cast<uint64_t>(position), buffer, count);
    if (position + static_cast<int64_t>(count) > FCachedSize)
        FCachedSize = -1; // the file grew
}

uint64_t WorkingFile::FileSize()
{
    return FStream ? FStream->Size() : 0;
}

void WorkingFile::SetFileSize(uint64_t size)
{
    FStream->SetSize(size);
    FCachedSize = -1;
}

void WorkingFile::MoveFileMem(int64_t from, int64_t to, int64_t count)
{
    if (count <= 0 || from == to)
        return;
    const size_t blockSize
        = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(MoveBlockSize), count));
    auto block = NewBlock(blockSize);
    auto moveOne = [&](int64_t offset, size_t n) {
        const size_t got = FStream->ReadAt(static_cast<uint64_t>(from + offset), block.get(), n);
        if (got < n)
            std::fill(block.get() + got, block.get() + n, uint8_t(0));
        FStream->WriteAt(static_cast<uint64_t>(to + offset), block.get(), n);
    };
    if (to > from) {
        // Moving up: start at the end so no source byte is overwritten before it is read.
        for (int64_t remaining = count; remaining > 0;) {
            const size_t n
                = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(blockSize), remaining));
            remaining -= static_cast<int64_t>(n);
            moveOne(remaining, n);
        }
    } else {
        for (int64_t done = 0; done < count;) {
            const size_t n
                = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(blockSize), count - done));
            moveOne(done, n);
            done += static_cast<int64_t>(n);
        }
    }
}

std::unique_ptr<FileStream> CreateShift4BitStream(
    FileStream& work, int64_t start, int64_t dataSize, const std::string& dir, std::string& name)
{
    if (start >= dataSize || start < 0)
        return nullptr;
    bool unlinked = false;
    auto shift = CreateUnlinkedTempFile(name, unlinked, dir);
    if (unlinked)
        name.clear(); // nothing to remove; the name may soon belong to another file
    FileRemover remover{name};
    auto block = NewBlock(
        static_cast<size_t>(std::min(static_cast<int64_t>(WorkingFile::CopyBlockSize), dataSize - start)));
    uint8_t carry = 0;
    uint64_t out = 0;
    for (int64_t pos = start; pos < dataSize;) {
        const size_t want = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(WorkingFile::CopyBlockSize), dataSize - pos));
        const size_t n = work.ReadAt(static_cast<uint64_t>(pos), block.get(), want);
        if (n < want)
            std::fill(block.get() + n, block.get() + want, uint8_t(0));
        uint8_t* p = block.get();
        for (size_t i = 0; i < want; ++i) {
            const uint8_t low = p[i] & 0x0F;
            p[i] = static_cast<uint8_t>((p[i] >> 4) | (carry << 4));
            carry = low;
        }
        shift->WriteAt(out, block.get(), want);
        out += want;
        pos += static_cast<int64_t>(want);
    }
    // The last nibble moves into one more byte.
    const uint8_t last = static_cast<uint8_t>(carry << 4);
    shift->WriteAt(out, &last, 1);
    shift->Seek(0, SeekOrigin::Beginning);
    remover.name.clear();
    return shift;
}

namespace {
bool ShiftNibble(WorkingFile& file, int64_t position, bool high, bool insert)
{
    if (!file.IsOpen())
        return false;
    const uint64_t len = file.FileSize();
    if (len == 0 || position < 0 || static_cast<uint64_t>(position) >= len)
        return false;
    FileStream& work = *file.Stream();
    const uint8_t b = file.GetByteAtPos(position);
    // The tail D[0..T) is rewritten in place, one bounded block at a time, in the
    // direction that reads every source byte before it is overwritten. The bytes are
    // those the shift file would give (its first T + 1 bytes, written back at position
    // or from its second byte on); no temporary file is needed.
    const int64_t tail = static_cast<int64_t>(len) - position;
    // Blocks no bigger than the tail: a shift near the end needs no megabytes.
    const int64_t block = std::min(static_cast<int64_t>(WorkingFile::CopyBlockSize), tail + 1);
    auto in = NewBlock(static_cast<size_t>(block) + 2);
    auto out = NewBlock(static_cast<size_t>(block) + 1);
    // Reads D[from..to) into in (bytes past the tail read as 0).
    auto readTail = [&](int64_t from, int64_t to) {
        const int64_t have = std::min(to, tail) - from;
        size_t got = 0;
        if (have > 0)
            got = work.ReadAt(static_cast<uint64_t>(position + from), in.get(), static_cast<size_t>(have));
        std::fill(in.get() + got, in.get() + (to - from), uint8_t(0));
    };
    if (insert) {
        // D'[i] = low(D[i-1]) high(D[i]) for i in 0..T, with D[-1] = D[T] = 0.
        for (int64_t b2 = tail + 1; b2 > 0;) {
            const int64_t a = std::max<int64_t>(0, b2 - block);
            const int64_t from = std::max<int64_t>(a - 1, 0);
            readTail(from, b2);
            for (int64_t i = a; i < b2; ++i) {
                const uint8_t prev = i >= 1 ? in[static_cast<size_t>(i - 1 - from)] : 0;
                const uint8_t cur = in[static_cast<size_t>(i - from)];
                out[static_cast<size_t>(i - a)] = static_cast<uint8_t>(((prev & 0x0F) << 4) | (cur >> 4));
            }
            work.WriteAt(static_cast<uint64_t>(position + a), out.get(), static_cast<size_t>(b2 - a));
            b2 = a;
        }
        file.SetByteAtPos(position, high ? static_cast<uint8_t>(b >> 4) : static_cast<uint8_t>(b & 0xF0));
        file.SetFileSize(len + 1);
    } else {
        // D'[i] = low(D[i]) high(D[i+1]) for i in 0..T-1, with D[T] = 0.
        for (int64_t a = 0; a < tail;) {
            const int64_t b2 = std::min(tail, a + block);
            readTail(a, b2 + 1);
            for (int64_t i = a; i < b2; ++i) {
                const uint8_t cur = in[static_cast<size_t>(i - a)];
                const uint8_t next = in[static_cast<size_t>(i + 1 - a)];
                out[static_cast<size_t>(i - a)] = static_cast<uint8_t>(((cur & 0x0F) << 4) | (next >> 4));
            }
            work.WriteAt(static_cast<uint64_t>(position + a), out.get(), static_cast<size_t>(b2 - a));
            a = b2;
        }
        if (!high) {
            const uint8_t n = file.GetByteAtPos(position);
            file.SetByteAtPos(position, static_cast<uint8_t>((b & 0xF0) | (n & 0x0F)));
        }
        file.SetFileSize(len);
    }
    file.InvalidateWindow();
    file.InvalidateSize();
    return true;
}
} // namespace

bool ShiftInsertNibble(WorkingFile& file, int64_t position, bool high)
{
    return ShiftNibble(file, position, high, true);
}

bool ShiftDeleteNibble(WorkingFile& file, int64_t position, bool high)
{
    return ShiftNibble(file, position, high, false);
}
