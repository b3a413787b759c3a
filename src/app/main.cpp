// Start-up: keep the startup file name, create the windows, run the message loop.
#include "FrmAbout.h"
#include "FrmView.h"
#include "Guard.h"

#include <QApplication>

namespace {

// The whole text after the program's name. Here the arguments arrive split, so they are
// joined with single blanks; blanks and tabs in front are skipped, nothing else is parsed.
QString StartupText(int argc, char** argv)
{
    QString text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += QLatin1Char(' ');
        text += QString::fromLocal8Bit(argv[i]);
    }
    qsizetype start = 0;
    while (start < text.size() && (text[start] == QLatin1Char(' ') || text[start] == QLatin1Char('\t')))
        ++start;
    return text.mid(start);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    // Errors that escape start-up or the loop are shown, and the program still ends normally.
    Guarded([&] {
        StartupFileName = StartupText(argc, argv);
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
