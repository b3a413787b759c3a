#pragma once
// Shared pieces of the main window tests: a message recorder, image files in a temporary
// folder, and a window opened through its real open command.
#include "support/MessageLog.h"
#include "support/PeBuilder.h"
#include "ui/Messages.h"
#include "viewer/FrmView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

// A temporary folder for image files.
class ImageFolder {
public:
    QString Write(const QString& name, const std::vector<uint8_t>& bytes) const
    {
        const QString path = FDir.filePath(name);
        WriteFileBytes(path.toStdString(), bytes);
        return path;
    }
    QString Path(const QString& name) const { return FDir.filePath(name); }

private:
    QTemporaryDir FDir;
};

inline std::vector<uint8_t> Bytes(const QString& path)
{
    return ReadFileBytes(path.toStdString());
}

// Activation as the window system reports it: runs FormActivate under the guard.
inline void ActivateWindow(TFrmView& view)
{
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&view, &activate);
}

// A window that opened path through the startup file name and FormActivate.
inline std::unique_ptr<TFrmView> OpenedView(const QString& path, bool show = false)
{
    auto view = std::make_unique<TFrmView>();
    if (show) {
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qWarning("window not exposed");
    }
    view->StartupFileName = path;
    ActivateWindow(*view);
    return view;
}

// An image file in its own folder, opened by a window; the window's messages are recorded.
struct OpenedImage {
    ImageFolder folder;
    MessageLog log;
    QString path;
    std::vector<uint8_t> original;
    std::unique_ptr<TFrmView> view;
};

inline std::unique_ptr<OpenedImage> OpenImage(
    const std::vector<uint8_t>& bytes, bool show = false, const QString& name = QStringLiteral("t.exe"))
{
    auto opened = std::make_unique<OpenedImage>();
    opened->original = bytes;
    opened->path = opened->folder.Write(name, bytes);
    opened->view = OpenedView(opened->path, show);
    return opened;
}

// Types text into an edit the way a user replaces its whole content.
inline void TypeText(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    if (text.isEmpty())
        edit->del();
    else
        edit->insert(text);
}

// Clicks a check box on its indicator with the given mouse button.
inline void ClickBox(QCheckBox* box, Qt::MouseButton button = Qt::LeftButton)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, button, Qt::NoModifier, indicator.center());
}

// Shows the pages that hold widget, as a user would before using it.
inline void ShowPagesOf(QWidget* widget)
{
    for (QWidget* w = widget; w && w->parentWidget(); w = w->parentWidget()) {
        if (auto* tabs
            = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr))
            if (tabs->indexOf(w) >= 0)
                tabs->setCurrentWidget(w);
    }
    QApplication::processEvents();
}

// A small PE32 image with two sections; the entry point lies in .text.
inline PeBuilder SampleBuilder()
{
    return PeBuilder()
        .TimeDateStamp(951782400)
        .Characteristics(0x010F)
        .LinkerVersion(255, 7)
        .EntryPoint(0x1010)
        .ImageBase(0x80000000u)
        .AddSection(PeSection(".text").Virtual(0x1000, 0x200).Raw(0x400, 0x200).Characteristics(0x60000020))
        .AddSection(PeSection(".data")
                        .Virtual(0x2000, 0x100)
                        .Raw(0x600, 0x200)
                        .Relocations(0, 3)
                        .Characteristics(0xC0000040));
}
