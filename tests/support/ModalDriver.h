#pragma once
// Drives a modal window from a test: open() starts something that shows a window
// modally (and so runs its own event loop); as soon as the expected window is the active
// modal widget, inside() runs there, and should close it.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers whether inside() ran. open() may also return without showing anything (a
// message instead of the window); inside() then does not run.
inline bool WhileModal(QWidget* expected, const std::function<void()>& open,
    const std::function<void()>& inside, int timeoutMs = 10000)
{
    bool ran = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() == expected && expected->isVisible()) {
            poll.stop();
            ran = true;
            inside();
        } else if (clock.elapsed() > timeoutMs) {
            // Never hang a test run: close whatever is modal.
            poll.stop();
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    poll.start();
    open();
    poll.stop();
    // Let the window system settle (re-activating the window below) before going on.
    QApplication::processEvents();
    return ran;
}
