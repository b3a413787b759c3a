#pragma once
// No exception may reach Qt's event loop. Every handler entered from a signal or an
// event runs under Guarded(): an error stops the handler where it arose, its message
// is shown by the top-level error display, and control returns to the loop.
#include "ui/Messages.h"

#include <QString>

#include <exception>
#include <utility>

// Shows an uncaught error the way the application's error display does.
void ShowException(const std::exception& error);
void ShowUnknownException();

// Runs f; answers false when it ended with an error (already shown).
template <typename F> bool Guarded(F&& f)
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowUnknownException();
    }
    return false;
}
