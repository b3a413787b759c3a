// hexeditor-demo: the hex editor with a selection, a changed byte and a marker, for
// looking at it. Without options it shows the window until closed.
//   hexeditor-demo [--grab FILE.png] [--quit-after MILLISECONDS]
#include "hexeditor/HexEditor.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString grabFile;
    int quitAfter = -1;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--grab" && i + 1 < args.size())
            grabFile = args[++i];
        else if (args[i] == "--quit-after" && i + 1 < args.size())
            quitAfter = args[++i].toInt();
        else {
            std::fprintf(stderr, "usage: hexeditor-demo [--grab FILE.png] [--quit-after MS]\n");
            return 2;
        }
    }

    THexEditor editor;
    editor.setWindowTitle(QStringLiteral("Korvex hex editor"));
    editor.resize(820, 420);
    std::string data = "Korvex hex editor: offsets, hex digits and characters side by side. ";
    for (int i = 0; data.size() < 600; ++i)
        data += char(i * 7 % 256);
    std::istringstream in(data);
    editor.LoadFromStream(in);
    editor.show();
    QApplication::setActiveWindow(&editor);
    editor.setFocus();

    // A marker on row 3, a changed byte and a selection.
    editor.SetMarker(7, 3);
    editor.SetSelStart(0x13);
    uint8_t old = editor.GetByteAtPos(0x13);
    editor.ChangeByte(old, 0xEE, 0x13, editor.Col(), editor.Row());
    editor.SetSelStart(0x24);
    editor.SetSelEnd(0x2B);

    if (!grabFile.isEmpty()) {
        QApplication::processEvents();
        if (!editor.grab().save(grabFile)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(grabFile));
            return 1;
        }
        return 0;
    }
    if (quitAfter >= 0)
        QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    return QApplication::exec();
}
