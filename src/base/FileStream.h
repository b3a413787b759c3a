#pragma once
// A file stream on a named file: unbuffered, positional, every failure checked.
#include "base/ByteIo.h"

#include <chrono>
#include <cstdint>
#include <string>

enum class SeekOrigin { Beginning = 0, Current = 1, End = 2 };

class FileStream : public ByteWriter {
public:
    enum class Mode {
        Create, // create or truncate, read/write
        CreateExclusive, // create a new file; never opens an existing file or follows a link
        OpenRead, // existing file, read only
        OpenReadWrite, // existing file, read/write
    };

    // Throws EFCreateError for the create modes and EFOpenError for the open modes.
    FileStream(const std::string& fileName, Mode mode);
    // Takes over an open descriptor (a file that has no name); messages call it name.
    FileStream(int fd, std::string name);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    const std::string& FileName() const { return Name; }

    uint64_t Size() const override; // throws EReadError
    void SetSize(uint64_t size); // truncates or extends; throws EWriteError
    int64_t Position() const { return Pos; }
    int64_t Seek(int64_t offset, SeekOrigin origin);

    // Sequential access at Position(), which advances by the bytes moved.
    size_t Read(void* buffer, size_t count); // short only at the end; throws EReadError
    void Write(const void* buffer, size_t count); // all or EWriteError

    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override;
    void WriteAt(uint64_t pos, const void* buffer, size_t count) override;
    void Flush() override;

    int Handle() const { return Fd; }

    // An exclusive advisory lock on the whole file, waited for up to wait; throws ELockError
    // naming the file when another holder keeps it that long. See FileStream.cpp for which
    // locks are taken. Unlock releases it; closing the stream does too.
    void Lock(std::chrono::milliseconds wait);
    void Unlock();
    bool Locked() const { return FLocked; }

    // Test seam: the failAt-th write or flush of this stream (both counted together, from 1)
    // fails with errorNumber, and with everyLater so does each one after it. A failing write
    // first stores the first half of its bytes, as a device that fills up in the middle of a
    // write does. failAt 0 turns the seam off.
    struct FaultSeam {
        uint64_t failAt = 0;
        bool everyLater = false;
        int errorNumber = 0;
    };
    void SetFaultSeam(const FaultSeam& seam) { FFaultSeam = seam; }
    // Test seam: right after the afterWrite-th write (counted as above) has stored its bytes,
    // the file is cut or grown to size, as a program that ignores locks might do meanwhile.
    // afterWrite 0 turns it off.
    void SetResizeSeam(uint64_t afterWrite, uint64_t size)
    {
        FResizeAfter = afterWrite;
        FResizeTo = size;
    }
    // Writes and flushes so far (failed ones included).
    uint64_t WriteOperations() const { return FWriteOperations; }

private:
    bool FaultDue();
    void WriteAll(uint64_t pos, const char* bytes, size_t count);

    std::string Name;
    int Fd = -1;
    int64_t Pos = 0;
    FaultSeam FFaultSeam;
    uint64_t FWriteOperations = 0;
    uint64_t FResizeAfter = 0;
    uint64_t FResizeTo = 0;
    bool FLocked = false;
};
