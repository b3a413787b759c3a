// Save: validate every box, parse every box, and only then write the file in place.
#include "FrmView.h"

#include "FieldTable.h"
#include "FieldValue.h"
#include "FileStream.h"
#include "HeaderWriter.h"
#include "Messages.h"

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

    // Every value is parsed before the first byte is written: a text the number reader
    // refuses stops the save with the file untouched.
    const bool hex = HexShown();
    const auto fields = HeaderFields();
    HeaderWriteInput input;
    input.hasPe = PeTabShown();
    const int count = input.hasPe ? kHeaderFieldCount : kDosFieldCount;
    for (int i = 0; i < count; ++i) {
        input.values[static_cast<size_t>(i)] = ParseFieldValue(
            FHeaderEdits[static_cast<size_t>(i)]->text().toStdString(), hex, fields[static_cast<size_t>(i)]);
    }
    if (input.hasPe) {
        input.peOffset = PEOffset;
        input.optHeaderSize = OptHeaderSize;
        const auto rows = SectionFields();
        input.sections.resize(SectionCount);
        for (size_t i = 0; i < SectionCount; ++i) {
            for (size_t r = 0; r < kSectionRowCount; ++r) {
                input.sections[i][r] = ParseFieldValue(
                    SectionEdits[i * kSectionRowCount + r]->text().toStdString(), hex, rows[r]);
            }
        }
    }

    // Never grows the file, checks and flushes every write; a failure is shown with the
    // file name and the system's reason instead of the completion message.
    ApplyWritePlan(BuildWritePlan(input), *FileStream, FOpenedSize);
    MessageBox(this, QStringLiteral("Save complete!"), QStringLiteral("Saved All"), MsgButtons::Ok,
        MsgIcon::Information);
}

void TFrmView::ButSaveClick()
{
    MnuSaveClick();
}
