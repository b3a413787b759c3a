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

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include <sys/mman.h>

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

// The section body buffer. A big one is taken straight from the system, in huge pages
// where the system offers them: filling hundreds of MiB page by page costs far more
// than the read itself.
class SectionBuffer {
public:
    explicit SectionBuffer(size_t size)
        : FSize(size)
    {
        if (size >= kHugePage) {
            void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (block == MAP_FAILED)
                throw std::bad_alloc();
            madvise(block, size, MADV_HUGEPAGE); // a hint; without it the block works all the same
            FData = static_cast<uint8_t*>(block);
            FMapped = true;
        } else {
            FData = new uint8_t[size];
        }
    }
    ~SectionBuffer()
    {
        if (FMapped)
            munmap(FData, FSize);
        else
            delete[] FData;
    }
    SectionBuffer(const SectionBuffer&) = delete;
    SectionBuffer& operator=(const SectionBuffer&) = delete;
    uint8_t* Data() const { return FData; }

private:
    static constexpr size_t kHugePage = size_t(2) << 20;
    uint8_t* FData = nullptr;
    size_t FSize = 0;
    bool FMapped = false;
};

uint32_t ParseShownValue(const QString& text, bool hex)
{
    // The 32-bit reader: hexadecimal up to FFFFFFFF, decimal up to 2147483647; the
    // value is then taken as unsigned.
    return static_cast<uint32_t>(ParseFieldValue(text.toStdString(), hex, 32));
}

} // namespace

void TFrmView::ShowInHexViewer(const uint8_t* buffer, int32_t count)
{
    EnsureHexViewer(this);
    THexEditor* editor = FrmHex->HexEditor;
    // The viewer has no undo command. Replacing a selection would keep an undo copy of
    // everything shown before, so the old content is dropped first and the replacement
    // below fills an empty editor; the result is the same bytes, caret and selection.
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
    editor->ReplaceSelection(buffer, count);
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
    SectionBuffer buffer(RawDataSize);
    const size_t got = FileStream->ReadAt(RawDataPointer, buffer.Data(), RawDataSize);
    if (got < RawDataSize)
        std::memset(buffer.Data() + got, 0, RawDataSize - got);
    ShowInHexViewer(buffer.Data(), static_cast<int32_t>(RawDataSize));
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
    ShowInHexViewer(buffer.data(), kDumpSize);
}
