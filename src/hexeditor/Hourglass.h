#pragma once
// Shows the hourglass pointer for the lifetime of the object and restores the previous
// pointer on every path out, exceptions included.
#include <QGuiApplication>

class THourglass {
public:
    THourglass()
    {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            FActive = true;
        }
    }
    ~THourglass()
    {
        if (FActive)
            QGuiApplication::restoreOverrideCursor();
    }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;

private:
    bool FActive = false;
};
