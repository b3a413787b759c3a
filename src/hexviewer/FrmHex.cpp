// The hex viewer window: form, status line, copy as hex text and the byte search.
#include "hexviewer/FrmHex.h"

#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmEdit.h"
#include "ui/Fonts.h"
#include "ui/Guard.h"
#include "ui/Modal.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Bytes from a filler go to the viewer through one block of at most this size, so a big
// hand-over needs no buffer of its size: the bytes only pass through on their way into the
// viewer's working file. (A range of a file needs no block: the kernel copies it.)
constexpr uint32_t kHandOverBlock = uint32_t(4) << 20;

} // namespace

TFrmHex::TFrmHex(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmHex"));
    setFont(DefaultFormFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Escape closes the viewer wherever the focus is (the editor takes every key it gets).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    MenuHexEdit = new QMenuBar(this);
    MenuHexEdit->setObjectName(QStringLiteral("MenuHexEdit"));
    layout->setMenuBar(MenuHexEdit);
    MnuEdit = MenuHexEdit->addMenu(QStringLiteral("&Edit"));
    MnuEdit->setObjectName(QStringLiteral("MnuEdit"));
    auto addItem = [this](const char* name, const QString& caption, const QKeySequence& key,
                       void (TFrmHex::*handler)()) {
        QAction* action = MnuEdit->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        // The items work wherever the focus is inside the viewer.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
        return action;
    };
    MnuItemCopy = addItem("MnuItemCopy", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C),
        &TFrmHex::MnuItemCopyClick);
    MenuItemOffset = addItem("MenuItemOffset", QStringLiteral("Go To Offset ..."), QKeySequence(Qt::Key_F1),
        &TFrmHex::MenuItemOffsetClick);
    MenuItemLine = addItem("MenuItemLine", QStringLiteral("Go To Line ..."), QKeySequence(Qt::Key_F2),
        &TFrmHex::MenuItemLineClick);
    MenuItemFind = addItem(
        "MenuItemFind", QStringLiteral("Find ..."), QKeySequence(Qt::Key_F3), &TFrmHex::MenuItemFindClick);
    MenuItemNext = addItem(
        "MenuItemNext", QStringLiteral("Find Next"), QKeySequence(Qt::Key_F4), &TFrmHex::MenuItemNextClick);

    HexEditor = new THexEditor(this);
    HexEditor->setObjectName(QStringLiteral("HexEditor"));
    HexEditor->SetReadOnlyView(true);
    HexEditor->SetBytesPerLine(16);
    HexEditor->SetBytesPerColumn(1);
    HexEditor->SetTranslation(ttASCII);
    HexEditor->SetOffsetDisplay(odHex);
    HexEditor->SetOffsetSeparator(':');
    HexEditor->CreateBackup = false;
    HexEditor->BackupExtension = ".bak";
    HexEditor->SetFocusFrame(true);
    HexEditor->setFont(FixedPitchFormFont(QStringLiteral("Courier"), 13));
    HexEditor->SetCursor(QCursor(Qt::IBeamCursor));
    HexEditor->OnStateChanged = [this](THexEditor*) { Guarded([this] { HexEditorStateChanged(); }); };
    layout->addWidget(HexEditor, 1);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(19);
    FStatusPanel = new QLabel(QStringLiteral("Selection: "), StatusBar);
    FStatusPanel->setMinimumWidth(50);
    StatusBar->addWidget(FStatusPanel, 1);
    layout->addWidget(StatusBar);

    // Client area of the classic 631 x 364 window: the frame takes 8 x 27 of it.
    resize(623, 337);

    // The properties are in place: the editor starts over with empty data, which also
    // brings the status line up to date.
    HexEditor->Loaded();

    FrmEdit = new TFrmEdit(*this);
}

TFrmHex::~TFrmHex()
{
    // The editor must not report to a half-destroyed window.
    HexEditor->OnStateChanged = nullptr;
}

QString TFrmHex::StatusText() const
{
    return FStatusPanel->text();
}

void TFrmHex::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The editor drops its notifications while it has no window, as before the first
    // showing: the status line is brought up to date when the window appears.
    if (!event->spontaneous())
        Guarded([this] { HexEditorStateChanged(); });
}

void TFrmHex::keyPressEvent(QKeyEvent* event)
{
    // Escape closes the viewer, as it closes any dialog.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmHex::HexEditorStateChanged()
{
    FStatusPanel->setText(QStringLiteral("Selection: ") + QString::number(HexEditor->GetSelCount()));
}

void TFrmHex::MnuItemCopyClick()
{
    int32_t count = HexEditor->GetSelCount();
    if (count < 1)
        return;
    const int32_t first = std::min(HexEditor->GetSelStart(), HexEditor->GetSelEnd());
    const std::unique_ptr<uint8_t[]> block = HexEditor->BufferFromFile(first, count);
    if (!block || count < 1)
        return; // nothing could be read: the clipboard keeps what it had
    std::string text(2 * static_cast<size_t>(count) + 1, '\0');
    ConvertBinToHex(block.get(), text.data(), count, false);
    QGuiApplication::clipboard()->setText(
        QString::fromLatin1(text.data(), 2 * static_cast<qsizetype>(count)));
}

void TFrmHex::ShowEditDialog(char mode, const QString& caption, int height, const QString& prompt)
{
    EditMode = mode;
    FrmEdit->setWindowTitle(caption);
    FrmEdit->SetHeight(height);
    FrmEdit->Label1->setText(prompt);
    ShowModal(*FrmEdit);
}

void TFrmHex::MenuItemOffsetClick()
{
    ShowEditDialog('a', QStringLiteral("Go To Offset"), TFrmEdit::kGoToHeight,
        QStringLiteral("Go To Offset (use prefix \"0x\" for hex.)"));
}

void TFrmHex::MenuItemLineClick()
{
    ShowEditDialog('b', QStringLiteral("Go To Line"), TFrmEdit::kGoToHeight,
        QStringLiteral("Go To Line Number (use prefix \"0x\" for hex.)"));
}

void TFrmHex::MenuItemFindClick()
{
    ShowEditDialog('c', QStringLiteral("Find"), TFrmEdit::kFindHeight, QStringLiteral("Find String"));
}

void TFrmHex::MenuItemNextClick()
{
    EditMode = 'c';
    FrmEdit->ButOkClick();
}

int32_t TFrmHex::FindBytes(const uint8_t* pattern, int32_t length, int32_t end, int32_t start)
{
    // A start at or past the end of the data (a Find Next after a match on the last
    // byte) simply finds nothing; the range ends before end.
    if (length < 1 || start < 0 || start >= HexEditor->GetDataSize() || end <= start)
        return -1;
    // The editor's own search, as the bytes stand (no translation, no case folding), on a
    // copy since it may change its pattern.
    std::vector<uint8_t> bytes(pattern, pattern + length);
    return HexEditor->Find(bytes.data(), length, start, end - 1, false, false);
}

void TFrmHex::PutBytes(uint32_t count, const BlockFiller& fill)
{
    THexEditor* editor = HexEditor;
    // The viewer has no undo command. Replacing a selection would keep an undo copy of
    // everything shown before, so the old content is dropped first and the new bytes
    // fill an empty editor; the result is the same bytes, caret and selection.
    const bool inCharField = editor->GetInCharField();
    editor->CreateEmptyFile("Untitled");
    const uint32_t blockSize = std::min(count, kHandOverBlock);
    std::unique_ptr<uint8_t[]> block(new uint8_t[std::max<uint32_t>(blockSize, 1)]);
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(blockSize, count - done);
        fill(block.get(), done, n);
        if (done == 0)
            editor->ReplaceSelection(block.get(), static_cast<int32_t>(n));
        else
            editor->AppendBuffer(block.get(), static_cast<int32_t>(n));
        done += n;
    }
    editor->ResetUndo();
    editor->SetInCharField(inCharField);
    if (count > 0)
        editor->SetSelStart(0);
}

void TFrmHex::PutFileRange(const FileStream& source, uint64_t offset, uint32_t count)
{
    THexEditor* editor = HexEditor;
    const bool inCharField = editor->GetInCharField();
    // The old content goes first, so two big views never take room at once.
    editor->CreateEmptyFile("Untitled");
    if (count > 0) {
        editor->LoadFromFileRange(source, offset, static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX)));
        editor->SetInCharField(inCharField);
        editor->SetSelStart(0);
    }
}

void TFrmHex::ShowFileRange(const FileStream& source, uint64_t offset, uint32_t count)
{
    PutFileRange(source, offset, count);
    ShowModal(*this);
}

void TFrmHex::ShowBytes(uint32_t count, const BlockFiller& fill)
{
    PutBytes(count, fill);
    ShowModal(*this);
}

void TFrmHex::SelectAllBytes()
{
    const int32_t size = HexEditor->GetDataSize();
    if (size <= 0)
        return;
    HexEditor->SetSelStart(0);
    HexEditor->SetSelEnd(size - 1);
}
