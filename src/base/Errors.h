#pragma once
// The error classes every layer raises. They carry the exact text the user sees;
// the window layer shows it through the top-level error display.
#include <stdexcept>
#include <string>

// General error: a bad argument to an operation, or any failure without a class of its own.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message)
        : std::runtime_error(message)
    {
    }
    std::string Message() const { return what(); }
};

// A text that the standard number reader cannot read.
class EConvertError : public Exception {
public:
    explicit EConvertError(const std::string& message)
        : Exception(message)
    {
    }
    // "'<text>' is not a valid integer value"
    static EConvertError InvalidInteger(const std::string& text);
};

// File stream errors. The open/create messages are the classic ones; the read/write
// errors name the file and the system's reason.
class EStreamError : public Exception {
public:
    explicit EStreamError(const std::string& message)
        : Exception(message)
    {
    }
};
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& fileName); // "Cannot open file <name>"
    EFOpenError(const std::string& fileName, const std::string& reason);
};
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& fileName); // "Cannot create file <name>"
    EFCreateError(const std::string& fileName, const std::string& reason);
};
class EReadError : public EStreamError {
public:
    EReadError(const std::string& fileName, const std::string& reason);
};
class EWriteError : public EStreamError {
public:
    EWriteError(const std::string& fileName, const std::string& reason);
};
// Another holder kept its lock on the file for as long as we waited.
class ELockError : public EStreamError {
public:
    ELockError(const std::string& fileName, const std::string& reason);
};

// The grid's own complaint about a cell outside it.
class EInvalidGridOperation : public Exception {
public:
    explicit EInvalidGridOperation(const std::string& message = "Grid index out of range")
        : Exception(message)
    {
    }
};

// The system's text for an errno value.
std::string SystemErrorText(int errorNumber);
