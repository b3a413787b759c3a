#include "hexeditor/FileCopy.h"

#include "base/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <sys/sendfile.h>
#include <unistd.h>

namespace {
// Kernel copies go in steps of this size, so a huge copy still checks its limit often.
constexpr uint64_t KernelStep = uint64_t(1) << 30;
constexpr size_t BlockSize = size_t(1) << 20;

uint64_t CopyThroughBlock(
    const FileStream& in, uint64_t inPos, FileStream& out, uint64_t outPos, uint64_t count)
{
    const auto block = std::make_unique<uint8_t[]>(BlockSize);
    uint64_t done = 0;
    while (done < count) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(BlockSize, count - done));
        const size_t got = in.ReadAt(inPos + done, block.get(), want);
        if (got == 0)
            break;
        out.WriteAt(outPos + done, block.get(), got);
        done += got;
    }
    return done;
}
// sendfile copies in the kernel between file systems too, where copy_file_range refuses
// (EXDEV: a temporary folder on tmpfs, a file on another disk). It writes at out's file
// offset, which FileStream never uses (it reads and writes at explicit positions). Answers
// the bytes copied; stops at the end of in or at the first refusal.
uint64_t SendFileBytes(const FileStream& in, uint64_t inPos, FileStream& out, uint64_t outPos, uint64_t count)
{
    if (::lseek(out.Handle(), static_cast<off_t>(outPos), SEEK_SET) < 0)
        return 0;
    uint64_t done = 0;
    while (done < count) {
        auto inOffset = static_cast<off_t>(inPos + done);
        const size_t step = static_cast<size_t>(std::min(KernelStep, count - done));
        const ssize_t n = ::sendfile(out.Handle(), in.Handle(), &inOffset, step);
        if (n > 0)
            done += static_cast<uint64_t>(n);
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return done;
}
} // namespace

uint64_t CopyFileBytes(
    const FileStream& in, uint64_t inPos, FileStream& out, uint64_t outPos, uint64_t maxCount)
{
    uint64_t done = 0;
    while (done < maxCount) {
        auto inOffset = static_cast<off_t>(inPos + done);
        auto outOffset = static_cast<off_t>(outPos + done);
        const size_t step = static_cast<size_t>(std::min(KernelStep, maxCount - done));
        const ssize_t n = ::copy_file_range(in.Handle(), &inOffset, out.Handle(), &outOffset, step, 0);
        if (n > 0) {
            done += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The end of in -- unless this is a pseudo file whose size reads as 0 before anything
        // was copied. On any error (the kernel cannot copy between these two, or a read or a
        // write failed) the block copy goes on from here: it finds the real end, and a real
        // failure fails again there, reported as a read or a write error of the right file.
        if (n == 0 && done > 0)
            break;
        if (n < 0 && errno == EXDEV) {
            done += SendFileBytes(in, inPos + done, out, outPos + done, maxCount - done);
            if (done == maxCount)
                break;
        }
        return done + CopyThroughBlock(in, inPos + done, out, outPos + done, maxCount - done);
    }
    return done;
}
