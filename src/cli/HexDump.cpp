#include "cli/HexDump.h"

#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789abcdef";

void AppendOffset(std::string& text, uint64_t offset)
{
    char digits[17];
    int n = 0;
    do {
        digits[n++] = kDigits[offset & 0xF];
        offset >>= 4;
    } while (offset != 0);
    for (int pad = n; pad < 8; ++pad)
        text.push_back('0');
    while (n > 0)
        text.push_back(digits[--n]);
}

} // namespace

HexDumpWriter::HexDumpWriter(std::ostream& out, uint64_t start)
    : FOut(out)
    , FAddress(start)
{
    FBuffer.reserve(size_t(80) * 1024);
}

void HexDumpWriter::Feed(const uint8_t* data, size_t count)
{
    while (count > 0) {
        if (FFill == 0 && count >= 16) {
            Line(data, 16);
            data += 16;
            count -= 16;
            continue;
        }
        const size_t take = count < 16 - FFill ? count : 16 - FFill;
        std::memcpy(FLine + FFill, data, take);
        FFill += take;
        data += take;
        count -= take;
        if (FFill == 16) {
            Line(FLine, 16);
            FFill = 0;
        }
    }
    if (FBuffer.size() > size_t(64) * 1024)
        Flush();
}

void HexDumpWriter::Line(const uint8_t* bytes, size_t count)
{
    // Only whole lines are squeezed; the last, partial line is always written.
    if (count == 16 && FHavePrevious && std::memcmp(bytes, FPrevious, 16) == 0) {
        if (!FSqueezing)
            FBuffer.append("*\n");
        FSqueezing = true;
        FAddress += 16;
        return;
    }
    FSqueezing = false;
    if (count == 16) {
        std::memcpy(FPrevious, bytes, 16);
        FHavePrevious = true;
    }
    AppendOffset(FBuffer, FAddress);
    FBuffer.append("  ");
    for (size_t i = 0; i < 16; ++i) {
        if (i < count) {
            FBuffer.push_back(kDigits[bytes[i] >> 4]);
            FBuffer.push_back(kDigits[bytes[i] & 0xF]);
            FBuffer.push_back(' ');
        } else {
            FBuffer.append("   ");
        }
        if (i == 7)
            FBuffer.push_back(' ');
    }
    FBuffer.append(" |");
    for (size_t i = 0; i < count; ++i)
        FBuffer.push_back(bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.');
    FBuffer.append("|\n");
    FAddress += count;
}

void HexDumpWriter::Finish()
{
    if (FFill > 0) {
        Line(FLine, FFill);
        FFill = 0;
    }
    if (FAddress != 0) {
        AppendOffset(FBuffer, FAddress);
        FBuffer.push_back('\n');
    }
    Flush();
}

void HexDumpWriter::Flush()
{
    FOut.write(FBuffer.data(), static_cast<std::streamsize>(FBuffer.size()));
    FBuffer.clear();
}
