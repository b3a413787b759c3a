#include "base/Errors.h"

#include <cstring>

EConvertError EConvertError::InvalidInteger(const std::string& text)
{
    return EConvertError("'" + text + "' is not a valid integer value");
}

EFOpenError::EFOpenError(const std::string& fileName)
    : EStreamError("Cannot open file " + fileName)
{
}

EFOpenError::EFOpenError(const std::string& fileName, const std::string& reason)
    : EStreamError("Cannot open file " + fileName + ". " + reason)
{
}

EFCreateError::EFCreateError(const std::string& fileName)
    : EStreamError("Cannot create file " + fileName)
{
}

EFCreateError::EFCreateError(const std::string& fileName, const std::string& reason)
    : EStreamError("Cannot create file " + fileName + ". " + reason)
{
}

EReadError::EReadError(const std::string& fileName, const std::string& reason)
    : EStreamError("Cannot read file " + fileName + ". " + reason)
{
}

EWriteError::EWriteError(const std::string& fileName, const std::string& reason)
    : EStreamError("Cannot write file " + fileName + ". " + reason)
{
}

ELockError::ELockError(const std::string& fileName, const std::string& reason)
    : EStreamError("Cannot lock file " + fileName + ". " + reason)
{
}

std::string SystemErrorText(int errorNumber)
{
    return std::strerror(errorNumber);
}
