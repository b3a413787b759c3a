#pragma once
// No exception may reach Qt's event loop. Every handler entered from a signal or an
// event runs under Guarded(): an error stops the handler where it arose, the process's
// error sink (base/ErrorSink.h) gets it, and control returns to the loop. The
// application points the sink at the top-level error display once (InstallErrorDisplay).
#include "base/ErrorSink.h"

#include <exception>
#include <utility>

// Makes the top-level error display (the error's message in the error box) the process's
// error sink; answers the sink it replaces.
ErrorSink InstallErrorDisplay();

// Runs f; answers false when it ended with an error (already shown).
template <typename F> bool Guarded(F&& f)
{
    return RunGuarded(std::forward<F>(f));
}
