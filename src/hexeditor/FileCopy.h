#pragma once
// Byte copies between two open files: through the kernel where it can (copy_file_range,
// which may share or clone blocks and never passes the bytes through user memory),
// through a bounded block where it cannot (another file system on old kernels, special
// files, pseudo files that report no size).
#include <cstdint>

class FileStream;

// Copies up to maxCount bytes of in from inPos on to out at outPos, stopping at the end
// of in; neither stream's position moves. Answers the bytes copied. A failure throws
// EWriteError (naming out) or EReadError (naming in).
uint64_t CopyFileBytes(
    const FileStream& in, uint64_t inPos, FileStream& out, uint64_t outPos, uint64_t maxCount);
