#include "ui/Guard.h"

#include "ui/Messages.h"

#include <QString>

ErrorSink InstallErrorDisplay()
{
    return SetErrorSink(
        [](const std::exception& error) { ShowErrorMessage(QString::fromLocal8Bit(error.what())); });
}
