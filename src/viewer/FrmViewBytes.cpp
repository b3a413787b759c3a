// The commands that show raw bytes of the open file in the hex viewer: the active
// section's body and the 512 bytes at the entry point.
#include "viewer/FrmView.h"

#include "base/FileStream.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/RawData.h"
#include "hexviewer/FrmHex.h"
#include "ui/Messages.h"

#include <QLabel>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr int32_t kDumpSize = kEntryDumpSize;

uint32_t ParseShownValue(const QString& text, bool hex)
{
    // The 32-bit reader: hexadecimal up to FFFFFFFF, decimal up to 2147483647; the
    // value is then taken as unsigned.
    return static_cast<uint32_t>(ParseFieldValue(text.toStdString(), hex, 32));
}

} // namespace

void TFrmView::ButViewClick()
{
    if (PageControl3->count() == 0) {
        ShowMessage(QStringLiteral("No Section header!"));
        return;
    }
    const int a = PageControl3->currentIndex();
    FrmHex->setWindowTitle(
        QStringLiteral("View Section Body  [") + PageControl3->tabText(a) + QStringLiteral("]"));

    const bool hex = HexShown();
    const size_t row = static_cast<size_t>(a) * kSectionRowCount;
    RawDataSize = ParseShownValue(SectionEdits.at(row + 2)->text(), hex);
    RawDataPointer = ParseShownValue(SectionEdits.at(row + 3)->text(), hex);

    if (!FileStream)
        return;
    std::optional<std::string_view> refusal
        = SectionBodyRefusal(RawDataSize, RawDataPointer, FileStream->Size());
    // The viewer holds at most 2^31 - 1 bytes; a body beyond that is too large as well.
    if (!refusal && RawDataSize > static_cast<uint32_t>(INT32_MAX))
        refusal = kSectionTooLargeText;
    if (refusal) {
        ShowMessage(QString::fromUtf8(refusal->data(), static_cast<qsizetype>(refusal->size())));
        return;
    }

    // A snapshot of the body as it is now; should the file have shrunk meanwhile, the
    // missing bytes show as zeros.
    FrmHex->ShowFileRange(*FileStream, RawDataPointer, RawDataSize);
}

void TFrmView::ButDumpClick()
{
    FrmHex->setWindowTitle(QStringLiteral("Dump of entry point"));
    // Bytes that lie beyond the end of the file stay 0.
    std::array<uint8_t, kDumpSize> buffer{};
    const uint32_t offset = ParseShownValue(LabelFileoffset->text(), HexShown());
    if (!FileStream)
        return;
    FileStream->ReadAt(offset, buffer.data(), buffer.size());
    FrmHex->ShowBytes(kDumpSize, [&buffer](uint8_t* block, uint32_t from, uint32_t n) {
        std::memcpy(block, buffer.data() + from, n);
    });
}
