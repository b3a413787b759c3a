// Save: validate every box, parse every box, and only then write the file in place.
#include "viewer/FrmView.h"

#include "base/Errors.h"
#include "base/FileStream.h"
#include "contents/SignatureGuard.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "viewer/ContentsModel.h"

#include <QAction>
#include <QFile>

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

void TFrmView::MnuSaveClick()
{
    SaveFile();
}

bool TFrmView::MakeWritable()
{
    if (MessageBox(this, FFileName + QStringLiteral(" is read-only. Make it writable and save?"),
            QStringLiteral("Korvex"), MsgButtons::OkCancel, MsgIcon::Question)
        != MsgResult::Ok)
        return false;
    const std::string fileName = QFile::encodeName(FFileName).toStdString();
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES
        || !SetFileAttributesA(fileName.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        throw EFOpenError(fileName, SystemErrorText(static_cast<int>(GetLastError())));
#else
    struct stat st { };
    if (::stat(fileName.c_str(), &st) != 0 || ::chmod(fileName.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
        throw EFOpenError(fileName, SystemErrorText(errno));
#endif
    // Written through a stream of its own, into the file that was opened and no other.
    std::unique_ptr<::FileStream> writable = FStreamOpener(fileName);
    if (!writable)
        throw EFOpenError(fileName);
    if (!IdentityOf(*writable).SameFileAs(FIdentity))
        throw EFOpenError(fileName, "it is no longer the file that was opened");
    FileStream = std::move(writable);
    FAccess = {};
    UpdateSaveState();
    UpdateTitle();
    return true;
}

bool TFrmView::SaveFile()
{
    if (!FileStream || FAccess.access == WriteAccess::Denied || !ValidateShownValues())
        return false;
    for (size_t i = 0; i < SectionNameEdits.size(); ++i) {
        TEdit* name = SectionNameEdits[i];
        if (name->Invalid()) {
            ShowMessage(QStringLiteral("Invalid section name."));
            FocusBox(name);
            return false;
        }
    }
    // Every value is parsed before the first byte is written; validation has made sure each
    // one can be read and fits its field.
    const HeaderWriteInput input = ShownValues();

    // All or nothing, into the file that was opened and no other, and only while its header
    // bytes are still those read at open: a change another program made since is never undone.
    // What happened is told in one message.
    SaveChecks checks;
    checks.sameAsOpened = true;
    if (!ConfirmSignatureBreak(input, checks))
        return false;
    // Asked last, so a declined question before it leaves the file's mode as it was.
    if (FAccess.access == WriteAccess::OwnerMayChange && !MakeWritable())
        return false;
    const SaveResult result = SaveHeaders(input, FOpened, *FileStream, FIdentity, checks);
    const std::vector<std::string> captions = SectionCaptions();
    const QString text = QString::fromStdString(SaveResultText(result, FFileName.toStdString(), captions));
    if (!result.readBack.empty()) {
        // The next save compares with what the file holds now. A box whose bytes an edited,
        // overlapping field was written over shows what its bytes say now.
        const std::vector<FieldRef> overwritten = AdoptSavedBytes(FOpened, input, result);
        const bool hex = HexShown();
        for (const ConvertedBox& box : ConvertedSet()) {
            for (const FieldRef& ref : overwritten) {
                TEdit* edit = EditOf(ref);
                if (edit && box.edit == edit) {
                    const int64_t now = static_cast<int64_t>(OpenedFieldValue(FOpened, ref));
                    edit->setText(QString::fromStdString(ClassValueText(now, hex, box.valueClass)));
                }
            }
        }
    }
    // The checksum label tells about the file on disk, which the save may have changed.
    if (result.outcome != SaveOutcome::Refused) {
        Guarded([this] { ComputeDiskChecksum(); });
        UpdateCheckSumLabel();
        Guarded([this] { UpdateSignatureLabel(); });
        // The opened Signature and Hardening nodes tell about the file on disk too.
        FContentsModel->RecheckFile();
        RefreshComparison();
    }
    if (result.outcome == SaveOutcome::Saved) {
        // What the file holds now is what edits are measured against, except the values the
        // save left out: they stay edited.
        std::vector<std::pair<TEdit*, BoxValue>> keep;
        for (const FieldRef& ref : result.notWritten) {
            if (TEdit* edit = EditOf(ref); edit && FValues.count(edit) != 0)
                keep.emplace_back(edit, FValues[edit]);
        }
        RebaseEditValues();
        for (const auto& [edit, before] : keep) {
            FValues[edit].read = before.read;
            FValues[edit].readText = before.readText;
        }
        UpdateEditLooks();
        MessageBox(this, text, QStringLiteral("Saved All"), MsgButtons::Ok,
            result.notWritten.empty() ? MsgIcon::Information : MsgIcon::Warning);
    } else if (result.change == FileChange::ChangedSinceOpen) {
        const QString question = text
            + QStringLiteral("\n\nReopen the file? OK reopens it as it is now and discards your edits.");
        if (MessageBox(this, question, QStringLiteral("Korvex"), MsgButtons::OkCancel, MsgIcon::Warning)
            == MsgResult::Ok) {
            const QString name = FFileName;
            CloseFile(); // the edits are given up: nothing more to ask
            FFileName = name;
            OpenChosenFile();
        }
    } else {
        ShowErrorMessage(text);
    }
    return result.outcome == SaveOutcome::Saved && result.notWritten.empty();
}

TEdit* TFrmView::EditOf(const FieldRef& ref) const
{
    const auto index = static_cast<size_t>(ref.index);
    if (ref.section == FieldRef::kHeader)
        return index < FHeaderEdits.size() ? FHeaderEdits[index] : nullptr;
    if (ref.section == FieldRef::kDirectories)
        return index < FDirectoryEdits.size() ? FDirectoryEdits[index] : nullptr;
    if (ref.section == FieldRef::kDosExtra)
        return index < FDosExtraEdits.size() ? FDosExtraEdits[index] : nullptr;
    const auto section = static_cast<size_t>(ref.section);
    if (ref.index == FieldRef::kNameRow)
        return section < SectionNameEdits.size() ? SectionNameEdits[section] : nullptr;
    const size_t at = section * kSectionRowCount + index;
    return at < SectionEdits.size() ? SectionEdits[at] : nullptr;
}

bool TFrmView::ConfirmSignatureBreak(const HeaderWriteInput& input, const SaveChecks& checks)
{
    // CheckSum alone may change (the digest leaves it out): Recompute Checksum keeps a file signed.
    // No byte image: the save refuses and says why, there is nothing to ask.
    const std::optional<std::vector<WriteRange>> ranges
        = SaveImageRanges(input, FOpened, *FileStream, checks);
    const SignatureBreak impact
        = ranges ? CheckSignatureBreak(*FileStream, FOpened, *ranges) : SignatureBreak{};
    return !impact.breaks
        || MessageBox(this, QString::fromLatin1(kSignatureBreakQuestion), QStringLiteral("Digital Signature"),
               MsgButtons::YesNo, MsgIcon::Warning)
        == MsgResult::Yes;
}

bool TFrmView::ValidateShownValues()
{
    // The radix toggle in its validate-only mode checks every box and shows the message.
    struct ClearFlag {
        bool& flag;
        ~ClearFlag() { flag = false; }
    };
    {
        ValidateOnly = true;
        ClearFlag clear{ValidateOnly};
        MnuHexViewClick();
    }
    const bool passed = ValidationPassed;
    ValidationPassed = false;
    return passed;
}

HeaderWriteInput TFrmView::ShownValues() const
{
    // The numbers the boxes hold; validation has made sure each box has one.
    auto value = [this](TEdit* edit) { return FValues.at(edit).value.value(); };
    HeaderWriteInput input;
    input.hasPe = PeTabShown();
    input.layout = input.hasPe ? FOpened.layout : OptionalLayout::Pe32;
    const auto fields = HeaderFields(input.layout);
    const size_t count = input.hasPe ? fields.size() : DosFields().size();
    for (size_t i = 0; i < count; ++i) {
        if (fields[i].Present())
            input.values[i] = value(FHeaderEdits[i]);
    }
    input.hasDosExtra = true;
    const auto extra = DosExtraFields();
    for (size_t i = 0; i < extra.size(); ++i)
        input.dosExtra[i] = static_cast<int64_t>(FOpened.dosExtra[i]);
    for (size_t i = 0; i < extra.size(); ++i) {
        if (static_cast<int>(i) != kLfanewExtraIndex)
            input.dosExtra[i] = value(FDosExtraEdits[i]);
    }
    if (input.hasPe) {
        input.peOffset = PEOffset;
        input.optHeaderSize = OptHeaderSize;
        for (size_t e = 0; e < static_cast<size_t>(FOpened.directoryEntries); ++e) {
            auto& entry = input.directories.emplace_back();
            for (size_t half = 0; half < 2; ++half)
                entry[half] = value(FDirectoryEdits[2 * e + half]);
        }
        // A name as read keeps all its bytes (also any after a zero); an edited one is
        // written zero padded.
        for (size_t i = 0; i < SectionCount && i < SectionNameEdits.size(); ++i) {
            const SectionValues* read = i < FOpened.sections.size() ? &FOpened.sections[i] : nullptr;
            const QString text = SectionNameEdits[i]->text();
            const bool asRead = read && text.toLatin1() == QByteArray::fromStdString(read->name);
            input.sectionNames.push_back(
                asRead ? read->rawName : PackSectionName(text.toLatin1().toStdString()));
        }
        const auto rows = SectionFields();
        input.sections.resize(SectionCount);
        for (size_t i = 0; i < SectionCount; ++i) {
            for (size_t r = 0; r < rows.size(); ++r)
                input.sections[i][r] = value(SectionEdits[i * rows.size() + r]);
        }
    }
    return input;
}

void TFrmView::MnuCheckSumClick()
{
    // Validated as Save validates: the same messages, and nothing changes on a bad box.
    if (!FileStream || !PeTabShown() || !ValidateShownValues())
        return;
    const std::optional<uint32_t> checksum = ChecksumAfterSave(ShownValues(), FOpened, *FileStream);
    if (checksum)
        EdCheckSum->setText(QString::fromStdString(FieldValueText(*checksum, HexShown(), 8)));
}

void TFrmView::ButSaveClick()
{
    MnuSaveClick();
}
