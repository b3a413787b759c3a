// File commands of the main window: open, read the headers into the boxes, close, exit.
#include "viewer/FrmView.h"

#include "contents/Authenticode.h"

#include "base/Errors.h"
#include "base/FileStream.h"
#include "header/Checksum.h"
#include "header/FieldTable.h"
#include "header/ImageReader.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "ui/Modal.h"
#include "viewer/FieldBoxes.h"
#include "viewer/FrmAbout.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <functional>

#include <QCloseEvent>

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString Decimal(uint64_t value)
{
    return QString::number(static_cast<qulonglong>(value));
}

} // namespace

TFrmView::WriteAccessAnswer TFrmView::ProbeWriteAccess(const std::string& fileName)
{
    // Only asked, never changed: an analyst's read-only sample stays read-only.
    const QString modeForbids = QStringLiteral("its mode forbids writing");
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return {WriteAccess::OwnerMayChange, modeForbids};
    return {};
#else
    struct stat st { };
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {}; // the open tells what is wrong
    const bool own = st.st_uid == ::geteuid();
    if (::access(fileName.c_str(), W_OK) != 0) {
        if (errno == EROFS)
            return {WriteAccess::Denied, QStringLiteral("its file system is mounted read-only")};
        if (own && !(st.st_mode & S_IWUSR))
            return {WriteAccess::OwnerMayChange, modeForbids};
        return {WriteAccess::Denied, QStringLiteral("you may only read it")};
    }
    // The superuser may write anything; the mode still says what the owner meant.
    if (!(st.st_mode & S_IWUSR) && (own || ::geteuid() == 0))
        return {WriteAccess::OwnerMayChange, modeForbids};
    return {};
#endif
}

void TFrmView::SetAccessProbe(AccessProbe probe)
{
    FAccessProbe = std::move(probe);
}

void TFrmView::FormActivate()
{
    if (!StartupFileName.isEmpty())
        MnuOpenClick();
}

void TFrmView::MnuOpenClick()
{
    if (!SaveChangesAnswered())
        return;
    if (!StartupFileName.isEmpty()) {
        FFileName = StartupFileName;
        StartupFileName.clear();
    } else {
        if (!OpenDlg) {
            OpenDlg = new QFileDialog(this);
            OpenDlg->setObjectName(QStringLiteral("OpenDlg"));
            OpenDlg->setOption(QFileDialog::DontUseNativeDialog);
            OpenDlg->setAcceptMode(QFileDialog::AcceptOpen);
            OpenDlg->setFileMode(QFileDialog::AnyFile);
            OpenDlg->setWindowTitle(QString());
        }
        if (!FFileName.isEmpty())
            OpenDlg->selectFile(FFileName);
        if (ShowModal(*OpenDlg) != QDialog::Accepted || OpenDlg->selectedFiles().isEmpty())
            return;
        FFileName = OpenDlg->selectedFiles().constFirst();
    }
    OpenChosenFile();
}

void TFrmView::OpenChosenFile()
{
    const std::string fileName = QFile::encodeName(FFileName).toStdString();
    // A file that may not be written is opened for reading: shown whole, never changed.
    const WriteAccessAnswer access = FAccessProbe(fileName);
    try {
        if (access.access == WriteAccess::Writable)
            FileStream = FStreamOpener(fileName);
        else
            FileStream = std::make_unique<::FileStream>(fileName, ::FileStream::Mode::OpenRead);
        if (!FileStream)
            throw EFOpenError(fileName);
        FIdentity = IdentityOf(*FileStream);
    } catch (...) {
        FileStream.reset();
        throw;
    }
    FAccess = access;

    bool accepted = false;
    try {
        accepted = ReadHeaders(*FileStream);
    } catch (...) {
        // A read error half way leaves no half-shown file behind.
        CloseFile();
        throw;
    }
    if (accepted) {
        SetFileOpenState(true);
        MnuHexViewClick();
        ShowContents();
        UpdateTitle();
    } else {
        MessageBox(this, QString::fromUtf8(kNotPeText.data(), static_cast<qsizetype>(kNotPeText.size())),
            QStringLiteral("Korvex"), MsgButtons::Ok, MsgIcon::None);
        FileStream.reset();
    }
}

void TFrmView::SetFileOpenState(bool open)
{
    MnuCloseFile->setEnabled(open);
    if (!open)
        MnuHexView->setChecked(false);
    MnuHexView->setEnabled(open);
    MnuCheckSum->setEnabled(open && PeTabShown());
    MnuCompare->setEnabled(open && PeTabShown());
    MnuOpen->setEnabled(!open);
    if (!open)
        FAccess = {};
    UpdateSaveState();
}

void TFrmView::UpdateSaveState()
{
    const bool open = MnuCloseFile->isEnabled();
    const bool denied = FAccess.access == WriteAccess::Denied;
    MnuSave->setEnabled(open && !denied);
    ButSave->setEnabled(open && !denied);
    QString hint;
    if (open && FAccess.access != WriteAccess::Writable) {
        hint = FFileName + QStringLiteral(" is read-only: ") + FAccess.reason + QStringLiteral(".");
        if (!denied)
            hint += QStringLiteral(" Save asks before making it writable.");
    }
    ButSave->setToolTip(hint);
    MnuSave->setToolTip(hint);
    MnuSave->setStatusTip(hint);
}

void TFrmView::UpdateTitle()
{
    if (!MnuCloseFile->isEnabled()) {
        setWindowTitle(QStringLiteral("Korvex"));
        return;
    }
    QString title = QStringLiteral("Korvex  -  [") + FFileName + QStringLiteral("]");
    if (ReadOnlyOpen())
        title += QStringLiteral(" [read-only]");
    title += ComparisonTitle();
    if (HasUnsavedEdits())
        title += QStringLiteral(" *");
    setWindowTitle(title);
}

bool TFrmView::PeTabShown() const
{
    return PageControl1->isTabVisible(PageControl1->indexOf(TabPE));
}

bool TFrmView::ReadHeaders(::FileStream& stream)
{
    const ImageHeaders headers = ReadImageHeaders(stream);
    if (headers.kind == ImageKind::NotMz)
        return false;
    FOpened = headers;

    // Building up to 96 pages: the section page control stays hidden meanwhile, so its
    // tab bar is laid out once at the end instead of once per added page.
    struct ShowWhenDone {
        QWidget* widget;
        bool wasHidden;
        ~ShowWhenDone()
        {
            if (!wasHidden)
                widget->show();
        }
    } showWhenDone{PageControl3, PageControl3->isHidden()};
    PageControl3->hide();

    FValues.clear();
    const auto dosFields = DosFields();
    for (int i = 0; i < kDosFieldCount; ++i) {
        TEdit* edit = FHeaderEdits[static_cast<size_t>(i)];
        edit->setText(Decimal(headers.values[static_cast<size_t>(i)]));
        TrackEdit(edit, &dosFields[static_cast<size_t>(i)],
            static_cast<int64_t>(headers.values[static_cast<size_t>(i)]));
    }
    for (size_t i = 0; i < FDosExtraEdits.size(); ++i) {
        FDosExtraEdits[i]->setText(Decimal(headers.dosExtra[i]));
        if (static_cast<int>(i) != kLfanewExtraIndex)
            TrackEdit(FDosExtraEdits[i], &DosExtraFields()[i], static_cast<int64_t>(headers.dosExtra[i]));
    }
    PEOffset = headers.peOffset;

    // A page the file does not have can be neither seen nor reached (Ctrl+Tab, its mnemonic).
    const int peIndex = PageControl1->indexOf(TabPE);
    PageControl1->setTabVisible(PageControl1->indexOf(TabMZ), true);
    if (headers.kind == ImageKind::DosOnly) {
        PageControl1->setTabVisible(peIndex, false);
        PageControl1->setTabEnabled(peIndex, false);
        PageControl1->setCurrentWidget(TabMZ);
        UpdatePageArea();
        return true;
    }
    PageControl1->setTabEnabled(peIndex, true);
    PageControl1->setTabVisible(peIndex, true);
    UpdatePageArea();
    SectionCount = headers.sectionCount;

    if (headers.kind == ImageKind::TooManySections) {
        ShowMessage(QString::fromUtf8(
            kTooManySectionsText.data(), static_cast<qsizetype>(kTooManySectionsText.size())));
        SectionCount = 0;
        CloseFile();
        return false;
    }

    SectionTabs.assign(SectionCount, nullptr);
    SectionEdits.assign(static_cast<size_t>(SectionCount) * kSectionRowCount, nullptr);
    SectionCheckBoxes.assign(static_cast<size_t>(SectionCount) * kSectionFlagCount, nullptr);
    SectionNameEdits.assign(SectionCount, nullptr);

    ShowPeHeaderValues(headers);
    OptHeaderSize = headers.optHeaderSize;
    ComputeDiskChecksum();
    UpdateSignatureLabel();

    for (int i = 0; i < SectionCount && i < static_cast<int>(headers.sections.size()); ++i) {
        const SectionValues& section = headers.sections[static_cast<size_t>(i)];
        QString caption
            = QString::fromLatin1(section.name.data(), static_cast<qsizetype>(section.name.size()));
        if (section.holdsEntryPoint)
            caption += QStringLiteral("  *");
        BuildSectionPage(i, caption, section.rows.data());
        TEdit* name = SectionNameEdits[static_cast<size_t>(i)];
        name->setText(QString::fromLatin1(section.name.data(), static_cast<qsizetype>(section.name.size())));
        TrackEdit(name, nullptr);
    }
    LabelFileoffset->setText(Decimal(headers.entryPointFileOffset));
    if (PageControl3->count() > 0)
        PageControl3->setCurrentIndex(0);
    return true;
}

// The file, optional header and directory boxes of a PE image, in the layout its magic gives.
void TFrmView::ShowPeHeaderValues(const ImageHeaders& headers)
{
    // The magic as read fixes the layout of every box until the file is closed.
    ApplyLayout(headers.layout, headers.directoryEntries);
    const auto fields = HeaderFields(headers.layout);
    for (int i = kDosFieldCount; i < kHeaderFieldCount; ++i) {
        TEdit* edit = FHeaderEdits[static_cast<size_t>(i)];
        const QString text = fields[static_cast<size_t>(i)].Present()
            ? Decimal(headers.values[static_cast<size_t>(i)])
            : QString();
        const bool unchanged = edit->text() == text;
        edit->setText(text);
        if (fields[static_cast<size_t>(i)].Present())
            TrackEdit(edit, &fields[static_cast<size_t>(i)],
                static_cast<int64_t>(headers.values[static_cast<size_t>(i)]));
        // These boxes keep their texts over a close, so a reopened file may bring the same
        // text, which fires no change: the date label (cleared by the close) and the
        // check boxes are filled all the same.
        if (unchanged && edit == EdDateStamp)
            Guarded([this] { EdDateStampChange(); });
        if (unchanged && edit == EdChar)
            Guarded([this] { EdCharChange(EdChar); });
        if (unchanged && edit == EdDLLChar)
            Guarded([this] { EdDLLCharChange(); });
    }
    const auto directories = DataDirectoryFields(headers.layout);
    for (size_t i = 0; i < FDirectoryEdits.size(); ++i) {
        const bool shown = static_cast<int>(i) < 2 * headers.directoryEntries;
        FDirectoryEdits[i]->setText(shown ? Decimal(headers.directories[i]) : QString());
        if (shown)
            TrackEdit(FDirectoryEdits[i], &directories[i], static_cast<int64_t>(headers.directories[i]));
    }
}

void TFrmView::ApplyLayout(OptionalLayout layout, int directoryEntries)
{
    const auto fields = HeaderFields(layout);
    for (size_t i = 0; i < FHeaderEdits.size(); ++i) {
        const HeaderField& field = fields[i];
        FHeaderEdits[i]->SetMaxLength(BoxMaxLength(field.id, layout));
        FHeaderEdits[i]->setToolTip(FieldToolTip(field));
        FHeaderEdits[i]->setEnabled(field.Present());
        FHeaderLabels[i]->setEnabled(field.Present());
    }
    const auto directories = DataDirectoryFields(layout);
    for (size_t i = 0; i < FDirectoryEdits.size(); ++i) {
        FDirectoryEdits[i]->setEnabled(static_cast<int>(i) < 2 * directoryEntries);
        FDirectoryEdits[i]->setToolTip(FieldToolTip(directories[i]));
    }
    for (size_t e = 0; e < FDirectoryLabels.size(); ++e)
        FDirectoryLabels[e]->setEnabled(static_cast<int>(e) < directoryEntries);
}

void TFrmView::ComputeDiskChecksum()
{
    FDiskChecksum.reset();
    if (FileStream && PeTabShown())
        FDiskChecksum = ReadImageChecksum(*FileStream, PEOffset);
}

void TFrmView::UpdateSignatureLabel()
{
    LabelSignature->clear();
    LabelSignature->setToolTip(QString());
    if (!FileStream || !PeTabShown())
        return;
    const AuthenticodeReport report = VerifyAuthenticode(*FileStream, ReadImageHeaders(*FileStream));
    static constexpr const char* kShort[]
        = {"not signed", "intact", "file changed after signing", "malformed"};
    QString tip = QString::fromStdString(SignatureStateText(report));
    for (const SignatureCheck& check : report.signatures)
        tip += QString::fromStdString("\nsigner: " + check.signerSubject + "\nissuer: " + check.signerIssuer
            + (check.signingTime.empty() ? "" : "\nsigned: " + check.signingTime)
            + "\nchain: " + check.trust);
    LabelSignature->setText(QString::fromLatin1(kShort[static_cast<int>(report.state)]));
    LabelSignature->setToolTip(tip);
}

void TFrmView::BuildSectionPage(int section, const QString& caption, const uint32_t* rows)
{
    // The page is filled before it joins the page control, so it is laid out once.
    auto* page = new QWidget;
    // The name above the rows: 8 Latin-1 characters, zero padded in the file.
    QLabel* nameLabel = CreateFieldLabel(page, QStringLiteral("Name:"));
    nameLabel->setGeometry(16, 4, 148, 16);
    const FieldBox& nameBox = BoxOf(FieldId::SectionName);
    TEdit* name = CreateEdit(page, QString::fromLatin1(nameBox.name), nameBox.maxLength);
    name->setGeometry(168, 4, 81, 16);
    name->setToolTip(FieldToolTip(SectionNameField()));
    SectionNameEdits[static_cast<size_t>(section)] = name;
    connect(name, &QLineEdit::textChanged, this, [this, page](const QString& text) {
        const int index = PageControl3->indexOf(page);
        if (index < 0 || index >= static_cast<int>(FOpened.sections.size()))
            return;
        PageControl3->setTabText(index,
            text
                + (FOpened.sections[static_cast<size_t>(index)].holdsEntryPoint ? QStringLiteral("  *")
                                                                                : QString()));
    });
    for (int r = 0; r < kSectionRowCount; ++r) {
        const int top = 24 + 26 * r;
        QLabel* label = CreateFieldLabel(page, SectionLabelTexts[static_cast<size_t>(r)]);
        label->setGeometry(16, top, 148, 16);
        SectionLabels[static_cast<size_t>(r)] = label;
        TEdit* edit
            = CreateEdit(page, QString(), BoxOf(SectionFields()[static_cast<size_t>(r)].id).maxLength);
        edit->setGeometry(168, top, 81, 16);
        edit->setToolTip(FieldToolTip(SectionFields()[static_cast<size_t>(r)]));
        SectionEdits[static_cast<size_t>(section * kSectionRowCount + r)] = edit;
        edit->setText(Decimal(rows[r]));
        TrackEdit(edit, &SectionFields()[static_cast<size_t>(r)], rows[r]);
    }
    TEdit* characteristics = SectionEdits[static_cast<size_t>(section * kSectionRowCount + 8)];
    connect(characteristics, &QLineEdit::textChanged, this,
        [this, characteristics] { Guarded([&] { EdCharChange(characteristics); }); });

    CharGroupBox = new QGroupBox(QStringLiteral("C&haracteristics"), page);
    CharGroupBox->setGeometry(304, 8, 281, 289);
    const uint32_t value = rows[8];
    for (int f = 0; f < kSectionFlagCount; ++f) {
        auto* box = new TCheckBox(CharacteristicTexts[static_cast<size_t>(f)], CharGroupBox);
        box->setFont(FCheckBoxFont);
        box->setPalette(FCheckBoxPalette);
        box->setGeometry(24, 24 + 20 * f, 240, 17);
        box->setChecked((value & CharacteristicMasks[static_cast<size_t>(f)]) != 0);
        box->OnMouseUp = [this](TCheckBox* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                             QPoint pos) { RunCheckBoxMouseUp(sender, button, shift, pos); };
        SectionCheckBoxes[static_cast<size_t>(section * kSectionFlagCount + f)] = box;
    }
    SectionTabs[static_cast<size_t>(section)] = page;
    PageControl3->addTab(page, caption);
}

void TFrmView::DestroySectionPages()
{
    for (TEdit* edit : SectionEdits)
        FValues.erase(edit);
    for (TEdit* edit : SectionNameEdits)
        FValues.erase(edit);
    const bool wasHidden = PageControl3->isHidden();
    PageControl3->hide(); // one tab bar layout, not one per removed page
    for (int i = 0; i < SectionCount && i < static_cast<int>(SectionTabs.size()); ++i)
        delete SectionTabs[static_cast<size_t>(i)];
    if (!wasHidden)
        PageControl3->show();
    SectionTabs.clear();
    SectionTabs.shrink_to_fit();
    SectionEdits.clear();
    SectionEdits.shrink_to_fit();
    SectionCheckBoxes.clear();
    SectionCheckBoxes.shrink_to_fit();
    SectionNameEdits.clear();
    SectionLabels.fill(nullptr);
    CharGroupBox = nullptr;
    SectionCount = 0;
}

void TFrmView::MnuCloseFileClick()
{
    if (SaveChangesAnswered())
        CloseFile();
}

void TFrmView::CloseFile()
{
    CloseComparison();
    FileStream.reset();
    FValues.clear();
    if (PeTabShown())
        DestroySectionPages();
    setWindowTitle(QStringLiteral("Korvex"));
    SetFileOpenState(false);
    for (int i = 0; i < kDosFieldCount; ++i)
        FHeaderEdits[static_cast<size_t>(i)]->setText(QString());
    for (TEdit* edit : FDosExtraEdits)
        edit->setText(QString());
    for (TEdit* edit : TrackedEdits())
        edit->SetLook(false, false);
    LabelDate->setText(QString());
    FDiskChecksum.reset();
    LabelCheckSum->setText(QString());
    LabelSignature->clear();
    LabelSignature->setToolTip(QString());
    PageControl1->setTabVisible(PageControl1->indexOf(TabMZ), false);
    PageControl1->setTabVisible(PageControl1->indexOf(TabPE), false);
    ClearContents();
    UpdatePageArea();
}

void TFrmView::MnuExitClick()
{
    // With edits the one question is whether to save them.
    if (HasUnsavedEdits()) {
        if (!SaveChangesAnswered())
            return;
    } else if (MessageBox(this, QStringLiteral("Are you sure you want to exit?"), QStringLiteral("Exit"),
                   MsgButtons::OkCancel, MsgIcon::Question)
        != MsgResult::Ok) {
        return;
    }
    FClosingAsked = true;
    close();
    FClosingAsked = false;
}

void TFrmView::closeEvent(QCloseEvent* event)
{
    bool goOn = true;
    if (!FClosingAsked)
        Guarded([&] { goOn = SaveChangesAnswered(); });
    if (goOn)
        QMainWindow::closeEvent(event);
    else
        event->ignore();
}

bool TFrmView::SaveChangesAnswered()
{
    if (!FileStream || !HasUnsavedEdits())
        return true;
    const MsgResult answer
        = MessageBox(this, QStringLiteral("Save changes to ") + FFileName + QStringLiteral("?"),
            QStringLiteral("Korvex"), MsgButtons::SaveDiscardCancel, MsgIcon::Question);
    if (answer == MsgResult::Discard)
        return true;
    if (answer == MsgResult::Ok)
        return SaveFile();
    return false;
}

void TFrmView::MnuAboutClick()
{
    ShowModal(*FrmAbout);
}

void TFrmView::PageControl3DrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active)
{
    canvas.setPen(active ? QColor(255, 0, 0) : QColor(0, 0, 0));
    const QString caption = PageControl3->tabText(tabIndex);
    const QRect textRect(
        rect.left() + 8, rect.top() + 3, std::max(0, rect.width() - 8), std::max(0, rect.height() - 3));
    canvas.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption);
}

void TFrmView::TabPEShow()
{
    // The form puts "&View" below the section pages' area; it is lined up with "Sa&ve" on the
    // page whether or not there are section pages, so it is never cut off.
    AlignViewButton();
}
