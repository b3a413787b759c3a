#pragma once
// What the commands share: how they tell the user about a file, how they open and read one,
// and how they read the numbers given on the command line.
#include "cli/Cli.h"

#include "base/ByteIo.h"
#include "base/FileIdentity.h"
#include "header/ImageReader.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    const CliStreamOpener& open;
};

// A failure that ends the work on one file (or the whole command) with an exit status; the
// message has been or will be written to the error stream.
class CliFailure : public std::runtime_error {
public:
    CliFailure(int status, const std::string& message)
        : std::runtime_error(message)
        , Status(status)
    {
    }
    int Status;
};

// "korvex-cli: <file>: <message>" on the error stream.
void ReportFile(const CliContext& context, std::string_view file, std::string_view message);
// "korvex-cli: <message>"
void Report(const CliContext& context, std::string_view message);

// Runs the work on one file and answers its exit status: what the work returns, the status of
// a CliFailure it throws (already reported), or kCliFileError for any other error, which is
// reported here under the file's name.
template <typename Work> int ForFile(const CliContext& context, std::string_view file, Work&& work)
{
    try {
        return work();
    } catch (const CliFailure& failure) {
        return failure.Status;
    } catch (const std::exception& error) {
        ReportFile(context, file, error.what());
        return kCliFileError;
    }
}

// Reads through a cache of the file's first bytes: the reader's many small field reads cost
// one system call, and a small file's checksum reads it only once.
class HeadCachedReader : public ByteReader {
public:
    HeadCachedReader(const ByteReader& file, size_t cacheSize);
    uint64_t Size() const override { return FSize; }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override;

private:
    const ByteReader& FFile;
    uint64_t FSize = 0;
    std::vector<uint8_t> FHead;
};

// An open file with its headers as the window reads them.
struct OpenImage {
    std::unique_ptr<FileStream> stream;
    FileIdentity identity; // as opened, for a stream open for writing (what a save checks against)
    ImageHeaders headers;
};

// The headers as the window reads them, through one read of the file's first bytes.
ImageHeaders ReadHeadersCached(const ByteReader& file);

// Opens and reads a file (its headers as ReadHeadersCached does). Throws CliFailure(kCliFileError) with the
// reason (a file that cannot be opened, a directory) or with the window's rejection (no MZ header; too many
// sections, which gives both of the window's messages). requirePe also refuses a file with only a DOS header,
// naming what was wanted.
OpenImage OpenAndRead(const CliContext& context, const std::string& file, FileStream::Mode mode,
    const char* requirePeFor = nullptr);

// Throws (having told the user) when the window would reject the headers, or when requirePeFor
// is given and the file has only a DOS header.
void AcceptImage(const CliContext& context, const std::string& file, const ImageHeaders& headers,
    const char* requirePeFor = nullptr);

// Only the opening part of OpenAndRead (for commands that read any file).
std::unique_ptr<FileStream> OpenFile(
    const CliContext& context, const std::string& file, FileStream::Mode mode);

// Bytes in memory read as a file.
class SpanReader : public ByteReader {
public:
    SpanReader(const uint8_t* bytes, uint64_t size)
        : FBytes(bytes)
        , FSize(size)
    {
    }
    uint64_t Size() const override { return FSize; }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override;
    const uint8_t* Bytes() const override { return FBytes; }

private:
    const uint8_t* FBytes;
    uint64_t FSize;
};

// A number as the command line takes one: decimal, or hexadecimal after "0x". Nothing for any
// other text (a sign, blanks, an empty text, more than 64 bits).
std::optional<uint64_t> ParseCliNumber(std::string_view text);

// Upper-case hexadecimal, zero-padded to at least digits.
std::string HexText(uint64_t value, int digits);
