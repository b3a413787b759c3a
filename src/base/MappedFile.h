#pragma once
// A read-only view of an open file through the page cache, without copying it: reading a big
// file this way costs a fraction of read()'s copy. Should another program cut the file while
// it is mapped, the pages past its new end read as zeros instead of ending the process with
// SIGBUS, and Shrank() says so (the caller then reads the file again in the ordinary way).
#include <atomic>
#include <cstddef>
#include <cstdint>

class MappedFile {
public:
    // Maps the first size bytes of the descriptor. Data() is null when the system will not
    // map it (a pipe, too many mappings at once): read the file instead.
    MappedFile(int fd, uint64_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const uint8_t* Data() const { return FData; }
    uint64_t Size() const { return FSize; }
    // Some of the bytes read as zeros because the file had shrunk under them.
    bool Shrank() const;

private:
    const uint8_t* FData = nullptr;
    uint64_t FSize = 0;
    int FSlot = -1; // in the fault handler's table
};
