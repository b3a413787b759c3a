#pragma once
// Which file a name or an open stream stands for, so a writer can tell whether the file it
// holds open is still the one the user sees under that name.
#include <cstdint>
#include <optional>
#include <string>

class FileStream;

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;

    // The same file (device and inode), whatever its size.
    bool SameFileAs(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }
};

// The file the stream has open, as it is now. Throws EReadError.
FileIdentity IdentityOf(const FileStream& stream);

// The file that has this name now (links followed), or nothing when the name leads nowhere;
// errorNumber then holds the reason.
std::optional<FileIdentity> IdentityAt(const std::string& fileName, int& errorNumber);
