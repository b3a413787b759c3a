#pragma once
// korvex-cli: the header model on the command line. Every command takes its arguments, writes
// to the given output and error streams and answers the exit status; files are opened through
// an opener that tests replace (a stream whose writes fail, through FileStream's fault seam).
#include "base/FileStream.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Exit statuses of every command.
enum CliStatus : int {
    kCliOk = 0,
    kCliCheckFailed = 1, // checksum: a stored checksum differs; find: no match
    kCliUsage = 2, // bad arguments, unknown field, malformed or too wide value
    kCliFileError = 3, // a file cannot be opened, read or written, or is not a usable PE image
};

// show opens many files from several threads at once: an opener must allow that.
using CliStreamOpener
    = std::function<std::unique_ptr<FileStream>(const std::string& fileName, FileStream::Mode mode)>;

// The opener the executable uses: a FileStream on the named file.
std::unique_ptr<FileStream> OpenCliStream(const std::string& fileName, FileStream::Mode mode);

// Runs korvex-cli with its arguments (argv[0] is the program's name).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
    const CliStreamOpener& opener = OpenCliStream);
// The same with the arguments after the program's name.
int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
    const CliStreamOpener& opener = OpenCliStream);
