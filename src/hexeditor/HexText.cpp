#include "hexeditor/HexText.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int HexDigitValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Offsets are never negative; should one be, its 32-bit pattern is shown, as a
// register view would.
std::string HexText(int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    std::string digits;
    do {
        digits.insert(digits.begin(), kHexDigits[v % 16]);
        v /= 16;
    } while (v != 0);
    return digits;
}

std::string PadLeft(std::string text, int width, char fill)
{
    if (width > static_cast<int>(text.size()))
        text.insert(0, static_cast<size_t>(width) - text.size(), fill);
    return text;
}

} // namespace

uint8_t* ConvertHexToBin(
    const char* source, uint8_t* dest, int32_t count, bool swapNibbles, int32_t& byteCount)
{
    byteCount = 0;
    bool expectHigh = true;
    int acc = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int v = HexDigitValue(static_cast<unsigned char>(source[i]));
        if (v < 0)
            continue;
        if (expectHigh) {
            acc = v * 16;
        } else {
            acc += v;
            if (swapNibbles)
                acc = (acc % 16) * 16 + acc / 16;
            dest[byteCount++] = static_cast<uint8_t>(acc);
        }
        expectHigh = !expectHigh;
    }
    return dest;
}

char* ConvertBinToHex(const uint8_t* source, char* dest, int32_t count, bool swapNibbles)
{
    char* out = dest;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t b = source[i];
        const char high = kHexDigits[b / 16];
        const char low = kHexDigits[b % 16];
        *out++ = swapNibbles ? low : high;
        *out++ = swapNibbles ? high : low;
    }
    *out = '\0';
    return dest;
}

std::string IntToOctal(int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + v % 8));
        v /= 8;
    } while (v != 0);
    return "0" + digits;
}

int OffsetDisplayWidth(TOffsetDisplayStyle style, int32_t lastLineOffset)
{
    switch (style) {
    case odHex:
        return static_cast<int>(HexText(lastLineOffset).size()) + 3;
    case odDec:
        return static_cast<int>(std::to_string(lastLineOffset).size()) + 1;
    case odOctal:
        return static_cast<int>(IntToOctal(lastLineOffset).size()) + 3;
    case odNone:
        break;
    }
    return 0;
}

std::string OffsetText(TOffsetDisplayStyle style, int32_t offset, int width, char separator)
{
    switch (style) {
    case odHex:
        return "0x" + PadLeft(HexText(offset), width - 3, '0') + separator;
    case odDec:
        return PadLeft(std::to_string(offset), width - 1, ' ') + separator;
    case odOctal:
        return "o " + PadLeft(IntToOctal(offset), width - 3, '0') + separator;
    case odNone:
        break;
    }
    return " ";
}

std::string EmptyDataOffsetText(TOffsetDisplayStyle style, char separator)
{
    switch (style) {
    case odHex:
        return std::string("0x0") + separator;
    case odDec:
        return std::string("0") + separator;
    case odOctal:
        return std::string("o 0") + separator;
    case odNone:
        break;
    }
    return "   ";
}
