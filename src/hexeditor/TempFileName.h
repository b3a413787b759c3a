#pragma once
// Names and creation of the editor's temporary files (the working file and the shift
// file): the system temporary directory, 8 upper-case hex digits of a millisecond tick
// and the extension ".ZQUT".
//
// Creation is always exclusive: a file or a symbolic link that already sits at a
// candidate name is never opened, truncated or followed; the next name is tried instead.
// The editor's own temporary files leave the folder as soon as they are open (see
// CreateUnlinkedTempFile), so that no exit, crash or kill can leave one behind.
#include <cstdint>
#include <memory>
#include <string>

class FileStream;

// Milliseconds since system start, cut to 32 bits.
uint32_t TickCount();

// The system temporary directory, trimmed of blanks and control characters, always
// ending in '/'.
std::string TempDirectory();

// dir + the tick as exactly 8 upper-case hex digits + ".ZQUT".
std::string TempFileNameForTick(const std::string& dir, uint32_t tick);

// Whether anything (a file, a directory, a link, even a dangling one) sits at name.
bool PathEntryExists(const std::string& name);

// A name in dir at which nothing exists right now, starting from the current tick.
std::string NewTempFileName(const std::string& dir = TempDirectory());

// Creates a new, empty temporary file exclusively (mode 0600) and answers it open for
// reading and writing; name receives its path. Candidates start at firstTick and go
// up by one per occupied name. Throws EFCreateError when no name can be created (for
// a reason other than an occupied name, or after a very large number of tries).
std::unique_ptr<FileStream> CreateTempFile(std::string& name, const std::string& dir, uint32_t firstTick);
std::unique_ptr<FileStream> CreateTempFile(std::string& name, const std::string& dir = TempDirectory());

// Creates a temporary file without a name where the file system allows (unlinked is then
// true and name what messages call it); elsewhere creates it as CreateTempFile does and
// takes its name out of the folder at once: the data lives on in the open stream and vanishes with it.
// unlinked tells whether that worked; when the folder refuses it, the file stays at name and whoever holds it
// removes it when done.
std::unique_ptr<FileStream> CreateUnlinkedTempFile(
    std::string& name, bool& unlinked, const std::string& dir = TempDirectory());

// Opens a new file that has no name in dir (O_TMPFILE, mode 0600, never to be linked), or
// answers -1 with errno where the file system cannot. Tests put a failing function here to
// take the named path.
extern int (*OpenNamelessTempFile)(const char* dir);
int OpenNamelessInFolder(const char* dir); // what OpenNamelessTempFile is unless a test replaces it

// A temporary file that never has a name, so no kill can leave it behind; messages call it
// nameForMessages. nullptr where the file system cannot make one.
std::unique_ptr<FileStream> CreateNamelessTempFile(
    const std::string& dir, const std::string& nameForMessages);

// Takes a freshly created temporary file's name out of its folder (0 or -1 with errno,
// like unlink). Tests put a failing function here to see what happens in a folder that
// refuses to remove an open file.
extern int (*UnlinkOpenTempFile)(const char* path);

// Removes name when it is a plain file or a link (never follows a link); false when
// nothing was removed.
bool RemoveFileEntry(const std::string& name);
