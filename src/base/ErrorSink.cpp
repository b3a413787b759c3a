#include "base/ErrorSink.h"

#include "base/Errors.h"

#include <cstdio>

namespace {

ErrorSink& Installed()
{
    static ErrorSink sink;
    return sink;
}

void Log(const char* text)
{
    std::fprintf(stderr, "%s\n", text);
}

} // namespace

ErrorSink SetErrorSink(ErrorSink sink)
{
    return std::exchange(Installed(), std::move(sink));
}

void ReportError(const std::exception& error) noexcept
{
    const ErrorSink& sink = Installed();
    if (!sink) {
        Log(error.what());
        return;
    }
    try {
        sink(error);
    } catch (const std::exception& failure) {
        Log(failure.what());
    } catch (...) {
        Log("Unknown error");
    }
}

void ReportUnknownError() noexcept
{
    ReportError(Exception("Unknown error"));
}
