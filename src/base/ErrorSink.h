#pragma once
// Where errors go that no handler caught: one process-wide sink. Event entries (the
// grid's input, paint and timer hooks; the windows' handlers) run under RunGuarded, so no
// exception reaches the event loop. The default sink writes the message to stderr; the
// application installs its top-level error display once at start-up.
#include <exception>
#include <functional>
#include <utility>

using ErrorSink = std::function<void(const std::exception& error)>;

// Installs a sink (an empty one puts the default back) and answers the one it replaces.
ErrorSink SetErrorSink(ErrorSink sink);

// Passes an error to the sink; any other thrown value arrives as "Unknown error". The
// sink's own failures are written to stderr and go no further.
void ReportError(const std::exception& error) noexcept;
void ReportUnknownError() noexcept;

// Runs f; answers false when it ended with an error (already reported).
template <typename F> bool RunGuarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& error) {
        ReportError(error);
    } catch (...) {
        ReportUnknownError();
    }
    return false;
}
