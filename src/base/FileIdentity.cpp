#include "base/FileIdentity.h"

#include "base/Errors.h"
#include "base/FileStream.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

FileIdentity FromStat(const struct stat& st)
{
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
        static_cast<uint64_t>(st.st_size)};
}

} // namespace

FileIdentity IdentityOf(const FileStream& stream)
{
    struct stat st { };
    if (::fstat(stream.Handle(), &st) != 0)
        throw EReadError(stream.FileName(), SystemErrorText(errno));
    return FromStat(st);
}

std::optional<FileIdentity> IdentityAt(const std::string& fileName, int& errorNumber)
{
    struct stat st { };
    if (::stat(fileName.c_str(), &st) != 0) {
        errorNumber = errno;
        return std::nullopt;
    }
    errorNumber = 0;
    return FromStat(st);
}
