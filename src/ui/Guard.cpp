#include "ui/Guard.h"

#include "ui/Messages.h"

#include <QString>

void ShowException(const std::exception& error)
{
    ShowErrorMessage(QString::fromLocal8Bit(error.what()));
}

void ShowUnknownException()
{
    ShowErrorMessage(QStringLiteral("Unknown error"));
}

ErrorSink InstallErrorDisplay()
{
    return SetErrorSink([](const std::exception& error) { ShowException(error); });
}
