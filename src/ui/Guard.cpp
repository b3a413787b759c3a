#include "ui/Guard.h"

void ShowException(const std::exception& error)
{
    ShowErrorMessage(QString::fromLocal8Bit(error.what()));
}

void ShowUnknownException()
{
    ShowErrorMessage(QStringLiteral("Unknown error"));
}
