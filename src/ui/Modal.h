#pragma once
// ShowModal()-style helper: shows a dialog modally and answers when it closes.
#include <QDialog>

inline int ShowModal(QDialog& dialog)
{
    return dialog.exec();
}
