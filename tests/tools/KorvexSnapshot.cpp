// korvex-snapshot FILE [actions...]
// Opens FILE in the real main window (offscreen) through its open command, runs the
// actions through the real controls, and prints every named control as JSON.
#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmHex.h"
#include "support/ModalDriver.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "viewer/FrmView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {

const char* kUsage
    = "usage: korvex-snapshot FILE [actions...]\n"
      "  --type NAME TEXT   replace the text of edit NAME as typing would\n"
      "  --click NAME       left-click check box NAME\n"
      "  --key NAME         toggle check box NAME with the space bar\n"
      "  --toggle           Convert > Hex (F4)\n"
      "  --trigger NAME     run the menu command (QAction) NAME, e.g. MnuCheckSum\n"
      "  --save             File > Save (Ctrl+S)\n"
      "  --close            File > Close (F3)\n"
      "  --open FILE        File > Open... with FILE as the chosen name\n"
      "  --compare FILE     File > Compare With... with FILE as the chosen file\n"
      "  --show NAME        bring the page NAME (or the page holding control NAME) to the front\n"
      "  --grab PNG         save a picture of the window\n"
      "  --view I           \"&View\" on section page I: records the hex viewer, then closes it\n"
      "  --dump             \"&Dump\" of the entry point: records the hex viewer, then closes it\n"
      "  --linger MS        keep the hex viewer open MS milliseconds before closing it (default 0)\n"
      "Section controls are named S<i>.Name (the name box), S<i>.R<r> (edit of row r) and S<i>.F<f>\n"
      "(check box of flag f).\n";

QJsonArray Messages;
QJsonArray Views;
int LingerMs = 0;

QString KindName(MsgKind kind)
{
    switch (kind) {
    case MsgKind::Plain:
        return QStringLiteral("plain");
    case MsgKind::Box:
        return QStringLiteral("box");
    case MsgKind::Error:
        return QStringLiteral("error");
    }
    return QString();
}

// Brings the pages that hold widget to the front, as a user would before using it.
void ShowPagesOf(QWidget* widget)
{
    for (QWidget* w = widget; w && w->parentWidget(); w = w->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
        if (!stack)
            continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
            tabs->setCurrentWidget(w);
    }
    QApplication::processEvents();
}

QWidget* FindControl(TFrmView& view, const QString& name)
{
    static const QRegularExpression nameBox(QStringLiteral("^S(\\d+)\\.Name$"));
    if (const auto match = nameBox.match(name); match.hasMatch()) {
        const size_t section = match.captured(1).toUInt();
        return section < view.SectionNameEdits.size() ? view.SectionNameEdits[section] : nullptr;
    }
    static const QRegularExpression sectionName(QStringLiteral("^S(\\d+)\\.([RF])(\\d+)$"));
    const auto match = sectionName.match(name);
    if (match.hasMatch()) {
        const size_t section = match.captured(1).toUInt();
        const size_t index = match.captured(3).toUInt();
        if (match.captured(2) == QLatin1String("R")) {
            if (index < 9 && section * 9 + index < view.SectionEdits.size())
                return view.SectionEdits[section * 9 + index];
        } else if (index < 13 && section * 13 + index < view.SectionCheckBoxes.size()) {
            return view.SectionCheckBoxes[section * 13 + index];
        }
        return nullptr;
    }
    return view.findChild<QWidget*>(name);
}

void TypeInto(QLineEdit* edit, QString text)
{
    ShowPagesOf(edit);
    edit->setFocus();
    if (auto* tedit = qobject_cast<TEdit*>(edit); tedit && tedit->MaxLength() > 0)
        text = text.left(tedit->MaxLength()); // typing stops at the limit
    edit->selectAll();
    if (text.isEmpty())
        edit->del();
    else
        edit->insert(text);
}

void ClickBox(QCheckBox* box)
{
    ShowPagesOf(box);
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

void KeyToggleBox(QCheckBox* box)
{
    ShowPagesOf(box);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
}

QJsonArray TabList(QTabWidget* tabs)
{
    QJsonArray list;
    for (int i = 0; i < tabs->count(); ++i) {
        QJsonObject tab;
        tab[QStringLiteral("name")] = tabs->widget(i)->objectName();
        tab[QStringLiteral("caption")] = tabs->tabText(i);
        tab[QStringLiteral("visible")] = tabs->isTabVisible(i);
        list.append(tab);
    }
    return list;
}

QJsonObject Snapshot(TFrmView& view)
{
    QJsonObject root;
    root[QStringLiteral("title")] = view.windowTitle();
    root[QStringLiteral("hex")] = view.MnuHexView->isChecked();

    QJsonObject edits, labels, checks, buttons, actions, tabs;
    QJsonArray disabled;
    for (auto* edit : view.findChildren<QLineEdit*>()) {
        if (!edit->objectName().startsWith(QLatin1String("Ed"))
            || edit->objectName() == QLatin1String("EdSectionName"))
            continue;
        edits[edit->objectName()] = edit->text();
        if (!edit->isEnabled())
            disabled.append(edit->objectName());
    }
    // Each section's name box, as the actions name it.
    for (size_t i = 0; i < view.SectionNameEdits.size(); ++i)
        edits[QStringLiteral("S%1.Name").arg(i)] = view.SectionNameEdits[i]->text();
    for (auto* label : view.findChildren<QLabel*>()) {
        if (!label->objectName().isEmpty())
            labels[label->objectName()] = label->text();
    }
    for (auto* box : view.findChildren<QCheckBox*>()) {
        if (!box->objectName().isEmpty())
            checks[box->objectName()] = box->isChecked();
    }
    for (auto* button : view.findChildren<QPushButton*>()) {
        if (button->objectName().isEmpty())
            continue;
        QJsonObject b;
        b[QStringLiteral("caption")] = button->text();
        b[QStringLiteral("enabled")] = button->isEnabled();
        b[QStringLiteral("top")] = button->y();
        buttons[button->objectName()] = b;
    }
    for (auto* action : view.findChildren<QAction*>()) {
        if (action->objectName().isEmpty())
            continue;
        QJsonObject a;
        a[QStringLiteral("caption")] = action->text();
        a[QStringLiteral("enabled")] = action->isEnabled();
        a[QStringLiteral("checked")] = action->isChecked();
        a[QStringLiteral("shortcut")] = action->shortcut().toString();
        actions[action->objectName()] = a;
    }
    for (auto* pageControl : view.findChildren<QTabWidget*>()) {
        if (!pageControl->objectName().isEmpty() && pageControl != view.PageControl3)
            tabs[pageControl->objectName()] = TabList(pageControl);
    }
    root[QStringLiteral("edits")] = edits;
    root[QStringLiteral("disabled")] = disabled;
    root[QStringLiteral("labels")] = labels;
    root[QStringLiteral("checks")] = checks;
    root[QStringLiteral("buttons")] = buttons;
    root[QStringLiteral("menus")] = actions;
    root[QStringLiteral("tabs")] = tabs;

    QJsonArray sections;
    for (int i = 0; i < view.PageControl3->count(); ++i) {
        QJsonObject section;
        section[QStringLiteral("caption")] = view.PageControl3->tabText(i);
        QJsonArray texts, flags;
        for (size_t r = 0; r < 9 && size_t(i) * 9 + r < view.SectionEdits.size(); ++r)
            texts.append(view.SectionEdits[size_t(i) * 9 + r]->text());
        for (size_t f = 0; f < 13 && size_t(i) * 13 + f < view.SectionCheckBoxes.size(); ++f)
            flags.append(view.SectionCheckBoxes[size_t(i) * 13 + f]->isChecked());
        section[QStringLiteral("texts")] = texts;
        section[QStringLiteral("checks")] = flags;
        sections.append(section);
    }
    root[QStringLiteral("sections")] = sections;
    root[QStringLiteral("views")] = Views;
    root[QStringLiteral("messages")] = Messages;
    return root;
}

// Presses a button that shows the hex viewer, records what the viewer holds while it is
// open (caption, data size, the first bytes, status text) and closes it.
void RunViewer(TFrmHex* viewer, QPushButton* button)
{
    ShowPagesOf(button);
    QJsonObject record;
    const bool shown = WhileModal(
        viewer, [button] { button->click(); },
        [&record, viewer] {
            QApplication::processEvents();
            THexEditor* editor = viewer->HexEditor;
            int32_t count = std::min<int32_t>(editor->GetDataSize(), 32);
            QByteArray first;
            if (count > 0) {
                const auto block = editor->BufferFromFile(0, count);
                if (block)
                    first = QByteArray(reinterpret_cast<const char*>(block.get()), count);
            }
            record[QStringLiteral("size")] = editor->GetDataSize();
            record[QStringLiteral("first")] = QString::fromLatin1(first.toHex().toUpper());
            record[QStringLiteral("status")] = viewer->StatusText();
            if (LingerMs > 0)
                QTest::qWait(LingerMs);
            viewer->close();
        },
        10000 + LingerMs);
    record[QStringLiteral("shown")] = shown;
    record[QStringLiteral("caption")] = viewer->windowTitle();
    Views.append(record);
}

int Fail(const QString& text)
{
    std::fprintf(stderr, "korvex-snapshot: %s\n%s", qPrintable(text), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args[1] == QLatin1String("--help"))
        return Fail(QStringLiteral("no file given"));

    SetMessageResponder([](const MessageRecord& record) {
        QJsonObject message;
        message[QStringLiteral("kind")] = KindName(record.kind);
        message[QStringLiteral("text")] = record.text;
        message[QStringLiteral("caption")] = record.caption;
        Messages.append(message);
        return MsgResult::Ok;
    });
    // Errors no handler caught are shown as the program shows them, so they are listed too.
    InstallErrorDisplay();

    TFrmView view(args[1]);
    view.show();
    view.activateWindow();
    (void)QTest::qWaitForWindowActive(&view, 2000);
    if (!view.StartupFileName.isEmpty()) // no activation came: run what it would have run
        view.FormActivate();

    for (int i = 2; i < args.size(); ++i) {
        const QString& action = args[i];
        auto needs = [&](int count) { return i + count < args.size(); };
        if (action == QLatin1String("--type") && needs(2)) {
            auto* edit = qobject_cast<QLineEdit*>(FindControl(view, args[i + 1]));
            if (!edit)
                return Fail(QStringLiteral("no edit box named ") + args[i + 1]);
            TypeInto(edit, args[i + 2]);
            i += 2;
        } else if ((action == QLatin1String("--click") || action == QLatin1String("--key")) && needs(1)) {
            auto* box = qobject_cast<QCheckBox*>(FindControl(view, args[i + 1]));
            if (!box)
                return Fail(QStringLiteral("no check box named ") + args[i + 1]);
            if (action == QLatin1String("--click"))
                ClickBox(box);
            else
                KeyToggleBox(box);
            i += 1;
        } else if (action == QLatin1String("--show") && needs(1)) {
            QWidget* widget = FindControl(view, args[i + 1]);
            if (!widget)
                return Fail(QStringLiteral("no control named ") + args[i + 1]);
            ShowPagesOf(widget);
            i += 1;
        } else if (action == QLatin1String("--grab") && needs(1)) {
            QApplication::processEvents();
            if (!view.grab().save(args[i + 1]))
                return Fail(QStringLiteral("cannot write ") + args[i + 1]);
            i += 1;
        } else if (action == QLatin1String("--view") && needs(1)) {
            bool ok = false;
            const int index = args[i + 1].toInt(&ok);
            if (!ok || index < 0 || index >= view.PageControl3->count())
                return Fail(QStringLiteral("no section page ") + args[i + 1]);
            ShowPagesOf(view.ButView);
            view.PageControl3->setCurrentIndex(index);
            RunViewer(view.FrmHex, view.ButView);
            i += 1;
        } else if (action == QLatin1String("--dump")) {
            RunViewer(view.FrmHex, view.ButDump);
        } else if (action == QLatin1String("--linger") && needs(1)) {
            LingerMs = std::max(0, args[i + 1].toInt());
            i += 1;
        } else if (action == QLatin1String("--toggle")) {
            view.MnuHexView->trigger();
        } else if (action == QLatin1String("--trigger") && needs(1)) {
            // An empty name would match any action.
            auto* command = args[i + 1].isEmpty() ? nullptr : view.findChild<QAction*>(args[i + 1]);
            if (!command)
                return Fail(QStringLiteral("no menu command named ") + args[i + 1]);
            command->trigger();
            i += 1;
        } else if (action == QLatin1String("--save")) {
            view.MnuSave->trigger();
        } else if (action == QLatin1String("--close")) {
            view.MnuCloseFile->trigger();
        } else if (action == QLatin1String("--open") && needs(1)) {
            view.StartupFileName = args[i + 1];
            view.MnuOpen->trigger();
            view.StartupFileName.clear();
            i += 1;
        } else if (action == QLatin1String("--compare") && needs(1)) {
            const QString other = args[i + 1];
            view.SetCompareChooser([other] { return other; });
            view.MnuCompare->trigger();
            i += 1;
        } else {
            return Fail(QStringLiteral("unknown action ") + action);
        }
        QApplication::processEvents();
    }

    const QByteArray json = QJsonDocument(Snapshot(view)).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
    SetMessageResponder({});
    return 0;
}
