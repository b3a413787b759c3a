#pragma once
// The text lines THexToCanvas writes: an offset, the byte values and the characters of
// one line of data, as plain text.
#include "hexeditor/HexText.h"

#include <cstdint>
#include <functional>
#include <string>

struct THexDumpLayout {
    int bytesPerLine = 16;
    TOffsetDisplayStyle offsetDisplay = odHex;
    char offsetSeparator = ':'; // 0: none
    TOffsetDisplayStyle memFieldDisplay = odHex; // odNone leaves the value field out
    char memFieldSeparator = ';'; // 0: none
    bool displayCharField = true;
    char charFieldSeparator = 0; // 0: none
    int bytesPerColumn = 2; // a blank after every this many values; below 1: no blanks
    bool swapNibbles = false;
    int offsetDisplayWidth = -1; // the editor's OffsetDisplayWidth; below 3 pads nothing
};

// The line that starts at position start; positions above last count as missing and
// are written as blanks. byteAt reads a byte that is not missing; charOf gives the
// character shown for a byte.
std::string FormatHexDumpLine(const THexDumpLayout& layout, int32_t start, int32_t last,
    const std::function<uint8_t(int32_t)>& byteAt, const std::function<uint8_t(uint8_t)>& charOf);
