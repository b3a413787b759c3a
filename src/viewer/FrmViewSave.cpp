// Save: validate every box, parse every box, and only then write the file in place.
#include "viewer/FrmView.h"

#include "base/FileStream.h"
#include "contents/SignatureGuard.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "ui/Guard.h"
#include "ui/Messages.h"

#include <QAction>

void TFrmView::MnuSaveClick()
{
    if (!FileStream || !ValidateShownValues())
        return;

    // Every value is parsed before the first byte is written; validation has made sure each
    // one can be read and fits its field.
    const HeaderWriteInput input = ShownValues();

    // All or nothing, into the file that was opened and no other, and only while its header
    // bytes are still those read at open: a change another program made since is never undone.
    // What happened is told in one message.
    SaveChecks checks;
    checks.sameAsOpened = true;
    if (!ConfirmSignatureBreak(input, checks))
        return;
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
                TEdit* edit = ref.section == FieldRef::kHeader ? FHeaderEdits[size_t(ref.index)]
                    : ref.section == FieldRef::kDirectories
                    ? FDirectoryEdits[size_t(ref.index)]
                    : SectionEdits[size_t(ref.section) * SectionFields().size() + size_t(ref.index)];
                if (box.edit == edit) {
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
    }
    if (result.outcome == SaveOutcome::Saved) {
        MessageBox(this, text, QStringLiteral("Saved All"), MsgButtons::Ok,
            result.notWritten.empty() ? MsgIcon::Information : MsgIcon::Warning);
    } else if (result.change == FileChange::ChangedSinceOpen) {
        const QString question = text
            + QStringLiteral("\n\nReopen the file? OK reopens it as it is now and discards your edits.");
        if (MessageBox(this, question, QStringLiteral("Korvex"), MsgButtons::OkCancel, MsgIcon::Warning)
            == MsgResult::Ok) {
            const QString name = FFileName;
            MnuCloseFileClick();
            FFileName = name;
            OpenChosenFile();
        }
    } else {
        ShowErrorMessage(text);
    }
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
    const bool hex = HexShown();
    HeaderWriteInput input;
    input.hasPe = PeTabShown();
    input.layout = input.hasPe ? FOpened.layout : OptionalLayout::Pe32;
    const auto fields = HeaderFields(input.layout);
    const size_t count = input.hasPe ? fields.size() : DosFields().size();
    for (size_t i = 0; i < count; ++i) {
        if (fields[i].Present())
            input.values[i] = ParseFieldValue(FHeaderEdits[i]->text().toStdString(), hex, fields[i]);
    }
    if (input.hasPe) {
        input.peOffset = PEOffset;
        input.optHeaderSize = OptHeaderSize;
        const auto directories = DataDirectoryFields(input.layout);
        for (size_t e = 0; e < static_cast<size_t>(FOpened.directoryEntries); ++e) {
            auto& entry = input.directories.emplace_back();
            for (size_t half = 0; half < 2; ++half)
                entry[half] = ParseFieldValue(
                    FDirectoryEdits[2 * e + half]->text().toStdString(), hex, directories[2 * e + half]);
        }
        const auto rows = SectionFields();
        input.sections.resize(SectionCount);
        for (size_t i = 0; i < SectionCount; ++i) {
            for (size_t r = 0; r < rows.size(); ++r)
                input.sections[i][r]
                    = ParseFieldValue(SectionEdits[i * rows.size() + r]->text().toStdString(), hex, rows[r]);
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
