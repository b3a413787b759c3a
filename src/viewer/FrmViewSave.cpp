// Save: validate every box, parse every box, and only then write the file in place.
#include "viewer/FrmView.h"

#include "base/FileStream.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "ui/Messages.h"

#include <QAction>

void TFrmView::MnuSaveClick()
{
    if (!FileStream)
        return;
    struct ClearFlag {
        bool& flag;
        ~ClearFlag() { flag = false; }
    };
    {
        ValidateOnly = true;
        ClearFlag clear{ValidateOnly};
        MnuHexViewClick();
    }
    if (!ValidationPassed)
        return;
    ValidationPassed = false;

    // Every value is parsed before the first byte is written; validation has made sure each
    // one can be read and fits its field.
    const bool hex = HexShown();
    const auto fields = HeaderFields();
    HeaderWriteInput input;
    input.hasPe = PeTabShown();
    const size_t count = input.hasPe ? fields.size() : DosFields().size();
    for (size_t i = 0; i < count; ++i)
        input.values[i] = ParseFieldValue(FHeaderEdits[i]->text().toStdString(), hex, fields[i]);
    if (input.hasPe) {
        input.peOffset = PEOffset;
        input.optHeaderSize = OptHeaderSize;
        const auto rows = SectionFields();
        input.sections.resize(SectionCount);
        for (size_t i = 0; i < SectionCount; ++i) {
            for (size_t r = 0; r < rows.size(); ++r)
                input.sections[i][r]
                    = ParseFieldValue(SectionEdits[i * rows.size() + r]->text().toStdString(), hex, rows[r]);
        }
    }

    // All or nothing, into the file that was opened and no other; what happened is told
    // in one message.
    const SaveResult result = SaveHeaders(input, FOpened, *FileStream, FIdentity);
    const std::vector<std::string> captions = SectionCaptions();
    const QString text = QString::fromStdString(SaveResultText(result, FFileName.toStdString(), captions));
    if (result.outcome == SaveOutcome::Saved)
        MessageBox(this, text, QStringLiteral("Saved All"), MsgButtons::Ok,
            result.notWritten.empty() ? MsgIcon::Information : MsgIcon::Warning);
    else
        ShowErrorMessage(text);
}

void TFrmView::ButSaveClick()
{
    MnuSaveClick();
}
