#include "hexeditor/HexDumpRender.h"

#include "search/Translation.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace {

QString TextOf(const std::string& bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (char c : bytes)
        text += QChar(UnicodeFromWindows1252(uint8_t(c)));
    return text;
}

} // namespace

TPainterHexDumpCanvas::TPainterHexDumpCanvas(QPainter& painter, const QFont& font)
    : FPainter(painter)
    , FSavedFont(painter.font())
    , FFont(font)
{
    FPainter.setFont(FFont);
}

TPainterHexDumpCanvas::~TPainterHexDumpCanvas()
{
    FPainter.setFont(FSavedFont);
}

int TPainterHexDumpCanvas::FontSize() const
{
    return FFont.pointSize() > 0 ? FFont.pointSize() : FFont.pixelSize();
}

void TPainterHexDumpCanvas::SetFontSize(int size)
{
    if (FFont.pointSize() > 0)
        FFont.setPointSize(size);
    else
        FFont.setPixelSize(size);
    FPainter.setFont(FFont);
}

int TPainterHexDumpCanvas::TextWidth(const std::string& text) const
{
    return QFontMetrics(FFont, FPainter.device()).horizontalAdvance(TextOf(text));
}

int TPainterHexDumpCanvas::TextHeight(const std::string&) const
{
    return QFontMetrics(FFont, FPainter.device()).height();
}

void TPainterHexDumpCanvas::TextOut(int x, int y, const std::string& text)
{
    FPainter.drawText(x, y + QFontMetrics(FFont, FPainter.device()).ascent(), TextOf(text));
}

int HexDumpLineStep(int textHeight)
{
    const int64_t scaled = int64_t(textHeight) * 12;
    int64_t step = scaled / 10;
    const int64_t rest = scaled % 10;
    if (rest > 5 || (rest == 5 && step % 2 != 0))
        ++step;
    if (step == textHeight)
        ++step;
    return int(step);
}

int32_t DrawHexDump(THexDumpCanvas& canvas, const THexDumpOptions& options, TDrawArea& area,
    const THexDumpSource* source, int32_t startPos, int32_t endPos, const std::string& header,
    const std::string& footer)
{
    THexDumpLayout layout = options.layout;
    if (layout.bytesPerLine < 1)
        return -1;
    if (!source)
        return 0x7FFFFFFF;
    layout.offsetDisplayWidth = source->OffsetDisplayWidth();
    int32_t last = endPos;
    if (last >= source->DataSize())
        last = source->DataSize() - 1;
    if (startPos > last)
        return -1;

    auto byteAt = [source](int32_t p) { return source->ByteAt(p); };
    auto charOf = [source](uint8_t b) { return source->CharOf(b); };
    std::string line = FormatHexDumpLine(layout, startPos, last, byteAt, charOf);

    // Fit the font to the width on the first line, within fixed bounds.
    const int width = area.AreaRight - area.AreaLeft;
    if (options.stretchToFit) {
        while (canvas.TextWidth(line) < width && canvas.FontSize() < HexDumpMaxFontSize)
            canvas.SetFontSize(canvas.FontSize() + 1);
        while (canvas.TextWidth(line) > width && canvas.FontSize() > HexDumpMinFontSize)
            canvas.SetFontSize(canvas.FontSize() - 1);
    }
    if (options.shrinkToFit) {
        while (canvas.TextWidth(line) > width && canvas.FontSize() > HexDumpMinFontSize)
            canvas.SetFontSize(canvas.FontSize() - 1);
    }

    const int step = HexDumpLineStep(canvas.TextHeight(line));
    int64_t pos = startPos;
    int64_t y = area.AreaTop;
    if (!header.empty()) {
        canvas.TextOut(area.AreaLeft, int(y), header);
        y += step;
    }
    if (!footer.empty())
        area.AreaBottom -= step;
    while (y + step <= area.AreaBottom) {
        canvas.TextOut(area.AreaLeft, int(y), line);
        pos += layout.bytesPerLine;
        if (pos > last) {
            pos = int64_t(last) + 1;
            break;
        }
        line = FormatHexDumpLine(layout, int32_t(pos), last, byteAt, charOf);
        y += step;
    }
    if (!footer.empty())
        canvas.TextOut(area.AreaLeft, area.AreaBottom, footer);
    return int32_t(pos);
}
