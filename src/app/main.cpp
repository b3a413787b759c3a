// Start-up: keep the startup file name, create the windows, run the message loop.
#include "hexviewer/FrmEdit.h"
#include "hexviewer/FrmHex.h"
#include "ui/Guard.h"
#include "viewer/FrmAbout.h"
#include "viewer/FrmView.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    // Every error no handler caught, the hex editor's own input handling included, is
    // shown by the top-level error display.
    InstallErrorDisplay();
    // Errors that escape start-up or the loop are shown, and the program still ends normally.
    Guarded([&] {
        StartupFileName = StartupTextFromArguments(QApplication::arguments().mid(1));
        FrmView = new TFrmView;
        FrmAbout = new TFrmAbout(FrmView);
        FrmHex = new TFrmHex(FrmView);
        FrmEdit = new TFrmEdit(FrmHex);
        FrmView->setAttribute(Qt::WA_DeleteOnClose);
        FrmView->show();
        FrmView->activateWindow();
        QApplication::exec();
    });
    return 0;
}
