#pragma once
// The editor's working file: a temporary file that holds the data, opened read/write,
// with the 64 KiB read window that drawing and searching look through and the cached
// data size. Qt-free so it can be tested and benchmarked on its own.
//
// The file is created exclusively (see TempFileName.h) and its name is taken out of the
// folder at once, so no exit, crash or kill leaves it behind: everything, loading and
// saving included, works on the open descriptor. Where the folder refuses that, the file
// keeps its name and is removed when it is closed for good (another load, destruction).
#include "base/FileStream.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class WorkingFile {
public:
    static constexpr int32_t WindowSize = 65536;
    // Tail moves go through blocks of this size, never a block of the tail's size.
    static constexpr size_t MoveBlockSize = size_t(4) << 20;
    // Copies to and from streams go through blocks of this size.
    static constexpr size_t CopyBlockSize = size_t(1) << 20;

    // Picks a fresh temporary name in dir; creates nothing yet.
    explicit WorkingFile(std::string dir = {});
    ~WorkingFile();
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

    // The name the working file was created under (or will be); once the file is open
    // and out of the folder, nothing is found there any more.
    const std::string& Path() const { return FPath; }
    // A name by which the working file can be opened right now: while it is open and out
    // of the folder, the process's link to its descriptor; otherwise Path().
    std::string ReachablePath() const;
    const std::string& Directory() const { return FDir; }
    bool IsOpen() const { return FStream != nullptr; }
    FileStream* Stream() { return FStream.get(); }
    // Whether a file of ours still sits at Path() (the folder refused the early removal).
    bool OwnsFile() const { return FOwnsFile; }

    // Forgets the data and closes the working file. A file that still has its name is
    // truncated to 0 bytes and stays until the next creation or destruction.
    void Free();
    // Creates the working file anew, empty and open.
    void CreateEmpty();
    // Replaces the working file by a copy of source (a kernel copy into the open file) and
    // opens it. On any failure the working file is closed and gone, and the error is
    // thrown (EFOpenError when source cannot be read or is larger than 2147483647 bytes,
    // EFCreateError when no working file can be created, EReadError/EWriteError for the
    // copy).
    void LoadCopyOf(const std::string& source);
    // Replaces the working file by a copy of count bytes of source from offset on (a kernel
    // copy, as above); bytes past the source's end read as 0. Same failure rules.
    void LoadRangeOf(const FileStream& source, uint64_t offset, int32_t count);
    // Replaces the working file by the bytes of source from its position 0 to its end.
    // Same failure rules; a stream read error throws EReadError.
    void LoadFromStream(std::istream& source);
    // Saves the data as dest without ever leaving dest half written: the bytes go into a
    // new file created exclusively beside dest, are flushed to disk, and the new file is
    // renamed over dest. dest's mode (and owner, where permitted) carry over; a new dest
    // gets 0666 less the umask. A link at dest is followed: the file it names is replaced.
    // On any failure the new file is removed and dest is untouched. No working stream
    // means empty data: dest becomes an empty file. Answers whether it worked; never
    // throws.
    bool SaveCopyTo(const std::string& dest);
    // Writes the whole data into dest at its current position; false on any failure
    // and when no working stream is open.
    bool SaveToStream(std::ostream& dest);

    // --- Data size, with the cache rules: the cache is trusted only while both it and
    // the window start are valid; 0 while no stream is open.
    int32_t DataSize();
    void InvalidateSize() { FCachedSize = -1; }
    int32_t CachedSize() const { return FCachedSize; }

    // --- The read window.
    void InvalidateWindow() { FWindowStart = -1; }
    int32_t WindowStart() const { return FWindowStart; }
    // Makes the window valid for p (p .. p + bytesPerLine - 1 inside it).
    void CheckInternalBuffer(int32_t p, int32_t bytesPerLine);
    bool WindowValidFor(int32_t p, int32_t bytesPerLine) const;
    uint8_t WindowByte(int32_t p) const { return FWindow[static_cast<size_t>(p - FWindowStart)]; }
    const uint8_t* WindowData() const { return FWindow.data(); }
    // Bytes of the window that hold data (the last read's length).
    int32_t WindowFill() const { return FWindowFill; }
    void SetInternalBufferByte(int32_t p, uint8_t value, int32_t bytesPerLine);
    // Loads the window so that it starts at p (a forward scan gets a whole fresh
    // window per read). Answers the bytes available from p.
    int32_t FillWindowFrom(int32_t p);
    // How often the window was (re)loaded from the file since construction: what drawing
    // and searching cost in file reads.
    int64_t WindowLoads() const { return FWindowLoads; }

    // --- Raw access (positions unchecked; the stream must be open).
    uint8_t GetByteAtPos(int64_t position);
    void SetByteAtPos(int64_t position, uint8_t value);
    size_t GetMemAtPos(uint8_t* buffer, int64_t position, size_t count);
    void SetMemAtPos(const uint8_t* buffer, int64_t position, size_t count);
    uint64_t FileSize();
    void SetFileSize(uint64_t size);
    // Moves count bytes from `from` to `to` (ranges may overlap) through bounded blocks,
    // from the end that keeps unread source bytes intact.
    void MoveFileMem(int64_t from, int64_t to, int64_t count);

private:
    void Close();
    void RemoveOwnFile();
    // Creates an empty file at a free name exclusively, takes it out of the folder (or
    // notes that it is ours to remove) and answers it open.
    std::unique_ptr<FileStream> CreateExclusively();
    void Discard();
    void FillNew(const std::function<void(FileStream&)>& fill);

    std::string FDir;
    std::string FPath;
    bool FOwnsFile = false;
    std::unique_ptr<FileStream> FStream;
    std::vector<uint8_t> FWindow;
    int32_t FWindowStart = -1;
    int32_t FWindowFill = 0;
    int32_t FCachedSize = -1;
    int64_t FWindowLoads = 0;
};

// The shift file of the nibble operations: the data from start on, shifted right by
// one nibble (a zero nibble, every nibble of the tail, a zero nibble), created
// exclusively as a temporary file in dir and taken out of the folder at once (name is
// then empty; it holds the file's name only when the folder refused that, and whoever
// holds the stream removes it). Answers null when start >= dataSize.
// Its first dataSize - start + 1 bytes are those of the classic 512-byte-block
// algorithm; the zero padding after them is not written.
std::unique_ptr<FileStream> CreateShift4BitStream(
    FileStream& work, int64_t start, int64_t dataSize, const std::string& dir, std::string& name);

// The nibble shifts on a working file (no undo, no window handling): the data from
// position on moves by one nibble, with the bytes the shift file above would give.
// They work in place through bounded blocks. Both answer false on empty data.
bool ShiftInsertNibble(WorkingFile& file, int64_t position, bool high);
bool ShiftDeleteNibble(WorkingFile& file, int64_t position, bool high);
