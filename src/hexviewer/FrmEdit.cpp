// The go-to and find dialog: its form and the OK logic of go to offset, go to line,
// find and find next.
#include "hexviewer/FrmEdit.h"

#include "header/FieldValue.h"
#include "hexeditor/HexEditor.h"
#include "hexeditor/VirtualKeys.h"
#include "hexviewer/FrmHex.h"
#include "ui/Fonts.h"
#include "ui/Guard.h"
#include "ui/Messages.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

// The frame of a window with a caption takes this much of its outer height.
constexpr int kFrameHeight = 27;
constexpr int kClientWidth = 321;

// The typed text in the ANSI character set the editor searches in; a character that
// has no code there becomes '?', as the system's conversion makes it.
std::vector<uint8_t> AnsiBytes(const QString& text)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        const int code = CharFromText(QString(c));
        bytes.push_back(static_cast<uint8_t>(code < 0 ? '?' : code));
    }
    return bytes;
}

void ShowInvalidHex()
{
    ShowMessage(QStringLiteral("Invalid Hex value."));
}

} // namespace

TFrmEdit::TFrmEdit(TFrmHex& viewer)
    : QDialog(&viewer)
    , FViewer(viewer)
{
    setObjectName(QStringLiteral("FrmEdit"));
    setFont(DefaultFormFont());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    Label1 = new QLabel(QStringLiteral("Go to line number:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 305, 16);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(256);
    Edit1->setGeometry(8, 28, 153, 21);

    // Neither button answers Enter or Escape.
    ButOk = new QPushButton(QStringLiteral("&OK"), this);
    ButOk->setObjectName(QStringLiteral("ButOk"));
    ButOk->setGeometry(168, 26, 70, 25);
    ButOk->setAutoDefault(false);
    ButOk->setDefault(false);
    ButClose = new QPushButton(QStringLiteral("&Close"), this);
    ButClose->setObjectName(QStringLiteral("ButClose"));
    ButClose->setGeometry(244, 26, 70, 25);
    ButClose->setAutoDefault(false);
    ButClose->setDefault(false);
    connect(ButOk, &QPushButton::clicked, this, [this] { Guarded([this] { ButOkClick(); }); });
    connect(ButClose, &QPushButton::clicked, this, [this] { Guarded([this] { ButCloseClick(); }); });

    // One group (the dialog's own): exactly one of them is checked.
    RadioButtonHex = new QRadioButton(QStringLiteral("Hexadecimal search"), this);
    RadioButtonHex->setObjectName(QStringLiteral("RadioButtonHex"));
    RadioButtonHex->setGeometry(16, 72, 200, 17);
    RadioButtonTextS = new QRadioButton(QStringLiteral("Text (Sensitive)"), this);
    RadioButtonTextS->setObjectName(QStringLiteral("RadioButtonTextS"));
    RadioButtonTextS->setGeometry(16, 92, 200, 17);
    RadioButtonTextI = new QRadioButton(QStringLiteral("Text (Insensitive)"), this);
    RadioButtonTextI->setObjectName(QStringLiteral("RadioButtonTextI"));
    RadioButtonTextI->setGeometry(16, 112, 200, 17);
    RadioButtonTextI->setChecked(true);

    setTabOrder(Edit1, ButOk);
    setTabOrder(ButOk, ButClose);
    setTabOrder(ButClose, RadioButtonHex);
    SetHeight(kFindHeight);
}

TFrmEdit::~TFrmEdit() = default;

void TFrmEdit::SetHeight(int height)
{
    FHeight = height;
    const int clientHeight = std::max(0, height - kFrameHeight);
    setFixedSize(kClientWidth, clientHeight);
    // What lies below the client area cannot be seen or reached.
    for (QRadioButton* button : {RadioButtonHex, RadioButtonTextS, RadioButtonTextI})
        button->setVisible(button->geometry().bottom() < clientHeight);
}

void TFrmEdit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TFrmEdit::keyPressEvent(QKeyEvent* event)
{
    // Enter is OK and Escape is Close, as in any dialog.
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Guarded([this] { ButOkClick(); });
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TFrmEdit::FormShow()
{
    Edit1->setFocus(Qt::OtherFocusReason);
}

void TFrmEdit::ButCloseClick()
{
    close();
}

void TFrmEdit::ButOkClick()
{
    THexEditor* editor = FViewer.HexEditor;
    switch (FViewer.EditMode) {
    case 'a': {
        const int32_t offset = StrToInt(Edit1->text().toStdString());
        editor->SetSelStart(offset);
        close();
        return;
    }
    case 'b': {
        const int32_t line = StrToInt(Edit1->text().toStdString());
        // Line 1 is grid row 0; a line below 1 is outside the grid like one past the end.
        editor->SetRow(line > INT_MIN ? line - 1 : -1);
        close();
        return;
    }
    case 'c':
        break;
    default:
        close();
        return;
    }

    const QString text = Edit1->text();
    bool ignoreCase = false;
    std::vector<uint8_t> pattern;
    const bool hexSearch = !RadioButtonTextI->isChecked() && RadioButtonHex->isChecked();
    if (RadioButtonTextI->isChecked()) {
        ignoreCase = true;
    } else if (RadioButtonHex->isChecked()) {
        const std::string digits = text.toStdString();
        if (!IsHexText(digits) || digits.size() % 2 != 0) {
            ShowInvalidHex();
            return;
        }
        pattern.resize(digits.size() / 2);
        int32_t length = 0;
        ConvertHexToBin(digits.data(), pattern.data(), static_cast<int32_t>(digits.size()), false, length);
        pattern.resize(static_cast<size_t>(length));
    }

    const int32_t end = editor->GetDataSize();
    const int32_t start = static_cast<int32_t>(
        std::min<int64_t>(int64_t(editor->GetSelStart()) + FViewer.FindSkip, INT32_MAX));
    int32_t pos;
    int32_t length;
    if (hexSearch) {
        length = static_cast<int32_t>(pattern.size());
        pos = FViewer.FindBytes(pattern.data(), length, end, start);
    } else {
        // Find may change its pattern in place: it gets a fresh copy of the text.
        std::vector<uint8_t> textBytes = AnsiBytes(text);
        length = static_cast<int32_t>(textBytes.size());
        pos = editor->Find(textBytes.data(), length, start, end, ignoreCase, true);
    }
    if (pos == -1) {
        ShowMessage(QStringLiteral("String Not Found."));
        FViewer.FindSkip = 0;
        return;
    }
    editor->Seek(pos, 0, true);
    editor->SetSelEnd(editor->GetSelEnd() + length - 1);
    FViewer.FindSkip = 1;
    close();
}
