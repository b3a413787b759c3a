#include "base/FileStream.h"

#include "base/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

FileStream::FileStream(const std::string& fileName, Mode mode)
    : Name(fileName)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case Mode::CreateExclusive:
        flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    case Mode::OpenRead:
        flags |= O_RDONLY;
        break;
    case Mode::OpenReadWrite:
        flags |= O_RDWR;
        break;
    }
    do {
        Fd = ::open(fileName.c_str(), flags, 0666);
    } while (Fd < 0 && errno == EINTR);
    const bool creating = mode == Mode::Create || mode == Mode::CreateExclusive;
    if (Fd < 0) {
        if (creating)
            throw EFCreateError(fileName);
        throw EFOpenError(fileName);
    }
    // A directory opens read-only on POSIX; it is not a file we can stream.
    struct stat st { };
    if (::fstat(Fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(Fd);
        Fd = -1;
        if (creating)
            throw EFCreateError(fileName);
        throw EFOpenError(fileName);
    }
}

FileStream::FileStream(int fd, std::string name)
    : Name(std::move(name))
    , Fd(fd)
{
}

FileStream::~FileStream()
{
    if (Fd >= 0)
        ::close(Fd);
}

uint64_t FileStream::Size() const
{
    struct stat st { };
    if (::fstat(Fd, &st) != 0)
        throw EReadError(Name, SystemErrorText(errno));
    return static_cast<uint64_t>(st.st_size);
}

void FileStream::SetSize(uint64_t size)
{
    int rc;
    do {
        rc = ::ftruncate(Fd, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        throw EWriteError(Name, SystemErrorText(errno));
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::Beginning:
        Pos = offset;
        break;
    case SeekOrigin::Current:
        Pos += offset;
        break;
    case SeekOrigin::End:
        Pos = static_cast<int64_t>(Size()) + offset;
        break;
    }
    if (Pos < 0)
        Pos = 0;
    return Pos;
}

size_t FileStream::Read(void* buffer, size_t count)
{
    size_t n = ReadAt(static_cast<uint64_t>(Pos), buffer, count);
    Pos += static_cast<int64_t>(n);
    return n;
}

void FileStream::Write(const void* buffer, size_t count)
{
    WriteAt(static_cast<uint64_t>(Pos), buffer, count);
    Pos += static_cast<int64_t>(count);
}

size_t FileStream::ReadAt(uint64_t pos, void* buffer, size_t count) const
{
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(Fd, out + done, count - done, static_cast<off_t>(pos + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError(Name, SystemErrorText(errno));
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool FileStream::FaultDue()
{
    ++FWriteOperations;
    if (FFaultSeam.failAt == 0)
        return false;
    return FWriteOperations == FFaultSeam.failAt
        || (FFaultSeam.everyLater && FWriteOperations > FFaultSeam.failAt);
}

void FileStream::WriteAt(uint64_t pos, const void* buffer, size_t count)
{
    const auto* in = static_cast<const char*>(buffer);
    if (FaultDue()) {
        WriteAll(pos, in, count / 2);
        throw EWriteError(Name, SystemErrorText(FFaultSeam.errorNumber));
    }
    WriteAll(pos, in, count);
    if (FResizeAfter != 0 && FWriteOperations == FResizeAfter)
        SetSize(FResizeTo);
}

void FileStream::WriteAll(uint64_t pos, const char* in, size_t count)
{
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(Fd, in + done, count - done, static_cast<off_t>(pos + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EWriteError(Name, SystemErrorText(errno));
        }
        if (n == 0)
            throw EWriteError(Name, SystemErrorText(ENOSPC));
        done += static_cast<size_t>(n);
    }
}

void FileStream::Flush()
{
    if (FaultDue())
        throw EWriteError(Name, SystemErrorText(FFaultSeam.errorNumber));
    if (::fsync(Fd) != 0 && errno != EINVAL && errno != EROFS)
        throw EWriteError(Name, SystemErrorText(errno));
}

namespace {

enum class LockState { Taken, Busy, Unsupported };

LockState Answer(int rc)
{
    if (rc == 0)
        return LockState::Taken;
    if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EACCES || errno == EINTR)
        return LockState::Busy;
    // A file system without this kind of lock: nobody can hold one there either.
    return LockState::Unsupported;
}

LockState TryFlock(int fd)
{
    return Answer(::flock(fd, LOCK_EX | LOCK_NB));
}

LockState TryOfdLock(int fd, short type)
{
#ifdef F_OFD_SETLK
    struct flock range { };
    range.l_type = type;
    range.l_whence = SEEK_SET; // start 0, length 0: the whole file, however it grows
    return Answer(::fcntl(fd, F_OFD_SETLK, &range));
#else
    (void)fd;
    (void)type;
    return LockState::Unsupported;
#endif
}

} // namespace

// Two locks, because on Linux flock() locks and fcntl() record locks do not see each other
// on a local file system: flock() so that flock(1) and other flock() users wait for us and
// we for them, and an open-file-description write lock over the whole file so that lockf()
// and fcntl() users do too (an OFD lock, not a classic POSIX one, so that it belongs to this
// stream alone and no other close in the process drops it). Both are tried without blocking
// until the deadline, and when only the first is free it is let go before the next try:
// we never sit on one while waiting for the other, so a holder that takes them the other
// way round cannot deadlock with us. Both end with the stream, also when we are killed.
void FileStream::Lock(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const LockState whole = TryFlock(Fd);
        if (whole != LockState::Busy) {
            const LockState record = TryOfdLock(Fd, F_WRLCK);
            if (record != LockState::Busy) {
                FLocked = true;
                return;
            }
            if (whole == LockState::Taken)
                ::flock(Fd, LOCK_UN);
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(wait).count();
    char text[96];
    std::snprintf(text, sizeof text, "Another program has kept it locked for %g seconds", seconds);
    throw ELockError(Name, text);
}

void FileStream::Unlock()
{
    if (!FLocked)
        return;
    TryOfdLock(Fd, F_UNLCK);
    ::flock(Fd, LOCK_UN);
    FLocked = false;
}
