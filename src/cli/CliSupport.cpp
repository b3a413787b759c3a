#include "cli/CliSupport.h"

#include "base/Errors.h"
#include "header/HeaderSave.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::unique_ptr<FileStream> OpenCliStream(const std::string& fileName, FileStream::Mode mode)
{
    return std::make_unique<FileStream>(fileName, mode);
}

void ReportFile(const CliContext& context, std::string_view file, std::string_view message)
{
    context.err << "korvex-cli: " << file << ": " << message << '\n';
}

void Report(const CliContext& context, std::string_view message)
{
    context.err << "korvex-cli: " << message << '\n';
}

std::unique_ptr<FileStream> OpenFile(
    const CliContext& context, const std::string& file, FileStream::Mode mode)
{
    std::unique_ptr<FileStream> stream;
    try {
        stream = context.open(file, mode);
    } catch (const std::exception& error) {
        // The stream says only that it failed: the file's state says why.
        std::string reason;
        struct stat st { };
        if (::stat(file.c_str(), &st) != 0)
            reason = SystemErrorText(errno);
        else if (S_ISDIR(st.st_mode))
            reason = "it is a directory";
        else if (::access(file.c_str(), mode == FileStream::Mode::OpenRead ? R_OK : R_OK | W_OK) != 0)
            reason = SystemErrorText(errno);
        const std::string message
            = reason.empty() ? error.what() : std::string(error.what()) + " (" + reason + ")";
        ReportFile(context, file, message);
        throw CliFailure(kCliFileError, message);
    }
    if (!stream) {
        const std::string message = EFOpenError(file).what();
        ReportFile(context, file, message);
        throw CliFailure(kCliFileError, message);
    }
    return stream;
}

void AcceptImage(
    const CliContext& context, const std::string& file, const ImageHeaders& headers, const char* requirePeFor)
{
    switch (headers.kind) {
    case ImageKind::NotMz:
        ReportFile(context, file, kNotPeText);
        throw CliFailure(kCliFileError, std::string(kNotPeText));
    case ImageKind::TooManySections:
        // The window says both, in this order.
        ReportFile(context, file, kTooManySectionsText);
        ReportFile(context, file, kNotPeText);
        throw CliFailure(kCliFileError, std::string(kTooManySectionsText));
    case ImageKind::DosOnly:
        if (requirePeFor) {
            const std::string message
                = std::string("the file has no PE header (only an MZ header), so no ") + requirePeFor;
            ReportFile(context, file, message);
            throw CliFailure(kCliFileError, message);
        }
        break;
    case ImageKind::Pe:
        break;
    }
}

ImageHeaders ReadHeadersCached(const ByteReader& file)
{
    return ReadImageHeaders(HeadCachedReader(file, 4096));
}

OpenImage OpenAndRead(
    const CliContext& context, const std::string& file, FileStream::Mode mode, const char* requirePeFor)
{
    OpenImage image;
    image.stream = OpenFile(context, file, mode);
    try {
        // A run that writes holds the file's lock from before it reads the headers until it
        // has written them, so two runs on one file take turns and neither undoes the other.
        if (mode != FileStream::Mode::OpenRead) {
            image.stream->Lock(kSaveLockWait);
            image.identity = IdentityOf(*image.stream);
        }
        image.headers = ReadHeadersCached(*image.stream);
    } catch (const std::exception& error) {
        ReportFile(context, file, error.what());
        throw CliFailure(kCliFileError, error.what());
    }
    AcceptImage(context, file, image.headers, requirePeFor);
    return image;
}

size_t SpanReader::ReadAt(uint64_t pos, void* buffer, size_t count) const
{
    if (pos >= FSize)
        return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, FSize - pos));
    std::memcpy(buffer, FBytes + pos, n);
    return n;
}

HeadCachedReader::HeadCachedReader(const ByteReader& file, size_t cacheSize)
    : FFile(file)
    , FSize(file.Size())
{
    FHead.resize(static_cast<size_t>(std::min<uint64_t>(cacheSize, FSize)));
    FHead.resize(FFile.ReadAt(0, FHead.data(), FHead.size()));
}

size_t HeadCachedReader::ReadAt(uint64_t pos, void* buffer, size_t count) const
{
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (pos < FHead.size()) {
        done = static_cast<size_t>(std::min<uint64_t>(count, FHead.size() - pos));
        std::memcpy(out, FHead.data() + pos, done);
        if (done == count || FHead.size() == FSize)
            return done;
    }
    return done + FFile.ReadAt(pos + done, out + done, count - done);
}

std::optional<uint64_t> ParseCliNumber(std::string_view text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string_view digits = hex ? text.substr(2) : text;
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        const uint64_t base = hex ? 16 : 10;
        if (value > (~0ull - static_cast<uint64_t>(digit)) / base)
            return std::nullopt;
        value = value * base + static_cast<uint64_t>(digit);
    }
    return value;
}

std::string HexText(uint64_t value, int digits)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char text[16];
    int n = 0;
    do {
        text[n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string result;
    if (n < digits)
        result.append(static_cast<size_t>(digits - n), '0');
    while (n > 0)
        result.push_back(text[--n]);
    return result;
}
