#include "hexeditor/HexDumpLine.h"

#include <cstdio>

namespace {

std::string PadLeft(std::string text, int width, char fill)
{
    if (int(text.size()) < width)
        text.insert(0, size_t(width) - text.size(), fill);
    return text;
}

std::string HexText(uint32_t value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", unsigned(value));
    return buffer;
}

std::string OffsetPart(const THexDumpLayout& layout, int32_t start)
{
    const int width = layout.offsetDisplayWidth;
    switch (layout.offsetDisplay) {
    case odHex:
        return "0x" + PadLeft(HexText(uint32_t(start)), width - 3, '0');
    case odDec:
        return PadLeft(std::to_string(start), width - 1, ' ');
    case odOctal:
        return "o " + PadLeft(IntToOctal(start), width - 3, '0');
    case odNone:
        break;
    }
    return {};
}

void AppendValue(std::string& line, const THexDumpLayout& layout, uint8_t value, bool missing)
{
    static const char digits[] = "0123456789ABCDEF";
    switch (layout.memFieldDisplay) {
    case odHex:
        if (missing) {
            line += "  ";
        } else if (layout.swapNibbles) {
            line += digits[value & 0x0F];
            line += digits[value >> 4];
        } else {
            line += digits[value >> 4];
            line += digits[value & 0x0F];
        }
        break;
    case odDec:
        line += missing ? std::string("   ") : PadLeft(std::to_string(value), 3, ' ');
        break;
    case odOctal:
        line += missing ? std::string("    ") : PadLeft(IntToOctal(value), 4, '0');
        break;
    case odNone:
        break;
    }
}

} // namespace

std::string FormatHexDumpLine(const THexDumpLayout& layout, int32_t start, int32_t last,
    const std::function<uint8_t(int32_t)>& byteAt, const std::function<uint8_t(uint8_t)>& charOf)
{
    std::string line = OffsetPart(layout, start);
    if (layout.offsetSeparator != 0)
        line += layout.offsetSeparator;

    // Positions are compared in 64 bits: a line near the top of the range must not wrap.
    auto missing = [&](int i) { return int64_t(start) + i - 1 > last; };
    if (layout.memFieldDisplay != odNone) {
        for (int i = 1; i <= layout.bytesPerLine; ++i) {
            const bool gone = missing(i);
            AppendValue(line, layout, gone ? 0 : byteAt(start + (i - 1)), gone);
            if (layout.bytesPerColumn >= 1 && i % layout.bytesPerColumn == 0)
                line += ' ';
        }
    }
    if (layout.memFieldSeparator != 0)
        line += layout.memFieldSeparator;

    if (layout.displayCharField) {
        for (int i = 1; i <= layout.bytesPerLine; ++i)
            line += missing(i) ? ' ' : char(charOf(byteAt(start + (i - 1))));
    }
    if (layout.charFieldSeparator != 0)
        line += layout.charFieldSeparator;
    return line;
}
