// Start-up: keep the startup file name, create the windows, run the message loop.
#include "FrmAbout.h"
#include "FrmView.h"
#include "Guard.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    // Errors that escape start-up or the loop are shown, and the program still ends normally.
    Guarded([&] {
        StartupFileName = StartupTextFromArguments(QApplication::arguments().mid(1));
        FrmView = new TFrmView;
        FrmAbout = new TFrmAbout(FrmView);
        // The hex viewer windows join here, after the about box.
        FrmView->setAttribute(Qt::WA_DeleteOnClose);
        FrmView->show();
        FrmView->activateWindow();
        QApplication::exec();
    });
    return 0;
}
