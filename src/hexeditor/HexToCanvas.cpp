#include "hexeditor/HexToCanvas.h"

#include "hexeditor/HexEditor.h"

#include <QPainter>

namespace {

// The linked editor as the source of a dump: bytes through its read window (the bytes
// GetByteAtPos gives, without a file read per byte), characters through its translation.
class TEditorDumpSource : public THexDumpSource {
public:
    explicit TEditorDumpSource(THexEditor& editor)
        : FEditor(editor)
    {
    }
    int32_t DataSize() const override { return FEditor.GetDataSize(); }
    uint8_t ByteAt(int32_t position) const override
    {
        FEditor.CheckInternalBuffer(position);
        return FEditor.InternalBufferByte(position);
    }
    uint8_t CharOf(uint8_t value) const override { return FEditor.TranslateToAnsiChar(value); }
    int OffsetDisplayWidth() const override { return FEditor.GetOffsetDisplayWidth(); }

private:
    THexEditor& FEditor;
};

} // namespace

THexToCanvas::THexToCanvas(QObject* owner)
    : QObject(owner)
    , Font(FixedPitchFont(QStringLiteral("Courier"), 12))
{
}

THexToCanvas::~THexToCanvas()
{
    QObject::disconnect(FEditorGone);
}

void THexToCanvas::SetHexEditor(THexEditor* editor)
{
    QObject::disconnect(FEditorGone);
    HexEditor = editor;
    if (editor) {
        FEditorGone = connect(
            editor, &QObject::destroyed, this, [this](QObject* gone) { Notification(gone, opRemove); });
    }
}

void THexToCanvas::Notification(QObject* component, TOperation operation)
{
    if (HexEditor && operation == opRemove && component == static_cast<QObject*>(HexEditor)) {
        QObject::disconnect(FEditorGone);
        HexEditor = nullptr;
    }
}

void THexToCanvas::SetFont(const QFont& font)
{
    Font = font;
}

void THexToCanvas::GetLayout()
{
    if (!HexEditor)
        return;
    Font = HexEditor->font();
    BytesPerColumn = HexEditor->GetBytesPerColumn();
    OffsetSeparator = HexEditor->GetOffsetSeparator();
    OffsetDisplay = HexEditor->GetOffsetDisplay();
    BytesPerLine = HexEditor->GetBytesPerLine();
    MemFieldDisplay = odHex;
    MemFieldSeparator = ' ';
    DisplayCharField = true;
    CharFieldSeparator = 0;
    SwapNibbles = HexEditor->GetSwapNibbles();
}

THexDumpLayout THexToCanvas::Layout() const
{
    THexDumpLayout layout;
    layout.bytesPerLine = BytesPerLine;
    layout.offsetDisplay = OffsetDisplay;
    layout.offsetSeparator = OffsetSeparator;
    layout.memFieldDisplay = MemFieldDisplay;
    layout.memFieldSeparator = MemFieldSeparator;
    layout.displayCharField = DisplayCharField;
    layout.charFieldSeparator = CharFieldSeparator;
    layout.bytesPerColumn = BytesPerColumn;
    layout.swapNibbles = SwapNibbles;
    layout.offsetDisplayWidth = HexEditor ? HexEditor->GetOffsetDisplayWidth() : -1;
    return layout;
}

void THexToCanvas::MeasureEditor()
{
    if (HexEditor && HexEditor->GetOffsetDisplayWidth() < 0)
        HexEditor->AdjustMetrics();
}

std::string THexToCanvas::FormatLine(int32_t start, int32_t last)
{
    if (!HexEditor)
        return {};
    MeasureEditor();
    TEditorDumpSource source(*HexEditor);
    return FormatHexDumpLine(
        Layout(), start, last, [&](int32_t p) { return source.ByteAt(p); },
        [&](uint8_t b) { return source.CharOf(b); });
}

int32_t THexToCanvas::Draw(
    QPainter& canvas, int32_t startPos, int32_t endPos, const std::string& header, const std::string& footer)
{
    if (BytesPerLine < 1)
        return -1;
    if (!HexEditor)
        return 0x7FFFFFFF;
    MeasureEditor();
    TEditorDumpSource source(*HexEditor);
    THexDumpOptions options;
    options.layout = Layout();
    options.shrinkToFit = ShrinkToFit;
    options.stretchToFit = StretchToFit;
    // The canvas's own font comes back when the canvas wrapper goes, also on an error.
    TPainterHexDumpCanvas surface(canvas, Font);
    return DrawHexDump(surface, options, DrawArea, &source, startPos, endPos, header, footer);
}
