// Start-up: create the main window with the startup file name (it makes its about box
// and hex viewer, and the viewer its dialog), run the message loop.
#include "ui/Guard.h"
#include "viewer/FrmView.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

#ifndef KORVEX_VERSION
#error "KORVEX_VERSION comes from project(Korvex VERSION ...)"
#endif

namespace {

// --help and --version answer before the application object exists: it needs a display, and
// without these the option would be taken for a file name.
bool AnsweredOption(int argc, char** argv)
{
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("korvex %s\n", KORVEX_VERSION);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::printf("Usage: korvex [FILE]\n"
                    "Inspect and patch the headers of a Windows PE executable (PE32 or PE32+) in a window.\n"
                    "FILE is opened at start (a name with blanks may stay unquoted); without it the window\n"
                    "starts empty. korvex needs a display; korvex-cli does the same from scripts.\n\n"
                    "  -h, --help  print this help and exit\n"
                    "  --version   print the version and exit\n\n"
                    "See man korvex.\n");
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (AnsweredOption(argc, argv))
        return 0;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    // Every error no handler caught, the hex editor's own input handling included, is
    // shown by the top-level error display.
    InstallErrorDisplay();
    // Errors that escape start-up or the loop are shown, and the program still ends normally.
    Guarded([&] {
        auto* view = new TFrmView(StartupTextFromArguments(QApplication::arguments().mid(1)));
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->show();
        view->activateWindow();
        QApplication::exec();
    });
    return 0;
}
