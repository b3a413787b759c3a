// The commands that show raw bytes of the open file in the hex viewer: the active
// section's body and the 512 bytes at the entry point.
#include "FrmView.h"

#include "FieldTable.h"
#include "FieldValue.h"
#include "FileStream.h"
#include "FrmEdit.h"
#include "FrmHex.h"
#include "HexEditor.h"
#include "Messages.h"
#include "Modal.h"

#include <QLabel>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr int32_t kDumpSize = 512;

// The viewer and its dialog normally exist from start-up; a window made without them
// (a test, a tool) gets them on first use.
void EnsureHexViewer(QWidget* owner)
{
    if (!FrmHex)
        FrmHex = new TFrmHex(owner);
    if (!FrmEdit)
        FrmEdit = new TFrmEdit(FrmHex);
}

// Bytes go to the viewer through one block of at most this size, so viewing a big
// section needs no buffer of its size: the bytes only pass through on their way from the
// user's file into the viewer's working file.
constexpr uint32_t kHandOverBlock = uint32_t(4) << 20;

uint32_t ParseShownValue(const QString& text, bool hex)
{
    // The 32-bit reader: hexadecimal up to FFFFFFFF, decimal up to 2147483647; the
    // value is then taken as unsigned.
    return static_cast<uint32_t>(ParseFieldValue(text.toStdString(), hex, 32));
}

} // namespace

void TFrmView::ShowInHexViewer(uint32_t count, const BlockFiller& fill)
{
    EnsureHexViewer(this);
    THexEditor* editor = FrmHex->HexEditor;
    // The viewer has no undo command. Replacing a selection would keep an undo copy of
    // everything shown before, so the old content is dropped first and the new bytes
    // fill an empty editor; the result is the same bytes, caret and selection.
    const bool inCharField = editor->GetInCharField();
    editor->CreateEmptyFile("Untitled");

    editor->Seek(0, 2, true);
    const int32_t last = editor->GetCursorPos();
    try {
        editor->SetSelStart(0);
        editor->SetSelEnd(last);
    } catch (const std::exception&) {
        // Nothing to select in an empty editor.
    }
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
    editor->SetSelStart(0);
    ShowModal(*FrmHex);
}

void TFrmView::ButViewClick()
{
    if (PageControl3->count() == 0) {
        ShowMessage(QStringLiteral("No Section header!"));
        return;
    }
    const int a = PageControl3->currentIndex();
    EnsureHexViewer(this);
    FrmHex->setWindowTitle(
        QStringLiteral("View Section Body  [") + PageControl3->tabText(a) + QStringLiteral("]"));

    const bool hex = HexShown();
    const size_t row = static_cast<size_t>(a) * kSectionRowCount;
    RawDataSize = ParseShownValue(SectionEdits.at(row + 2)->text(), hex);
    RawDataPointer = ParseShownValue(SectionEdits.at(row + 3)->text(), hex);

    if (!FileStream)
        return;
    const uint64_t fileSize = FileStream->Size();
    if (RawDataSize == 0) {
        ShowMessage(QStringLiteral("Section size is zero."));
        return;
    }
    if (RawDataPointer > fileSize) {
        ShowMessage(QStringLiteral("Pointer to raw data passes EOF."));
        return;
    }
    // The viewer holds at most 2^31 - 1 bytes; a body beyond that is too large as well.
    if (RawDataSize > fileSize - RawDataPointer || RawDataSize > static_cast<uint32_t>(INT32_MAX)) {
        ShowMessage(QStringLiteral("Section size is to large."));
        return;
    }

    // Every byte is read from the file; a short read, should the file have shrunk
    // meanwhile, leaves zeros rather than memory nobody wrote.
    const uint64_t pointer = RawDataPointer;
    ShowInHexViewer(RawDataSize, [this, pointer](uint8_t* block, uint32_t offset, uint32_t n) {
        const size_t got = FileStream->ReadAt(pointer + offset, block, n);
        if (got < n)
            std::memset(block + got, 0, n - got);
    });
}

void TFrmView::ButDumpClick()
{
    EnsureHexViewer(this);
    FrmHex->setWindowTitle(QStringLiteral("Dump of entry point"));
    // Bytes that lie beyond the end of the file stay 0.
    std::array<uint8_t, kDumpSize> buffer{};
    const uint32_t offset = ParseShownValue(LabelFileoffset->text(), HexShown());
    if (!FileStream)
        return;
    FileStream->ReadAt(offset, buffer.data(), buffer.size());
    ShowInHexViewer(kDumpSize, [&buffer](uint8_t* block, uint32_t from, uint32_t n) {
        std::memcpy(block, buffer.data() + from, n);
    });
}
