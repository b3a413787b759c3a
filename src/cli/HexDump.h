#pragma once
// Bytes written as `hexdump -C` writes them: 16 bytes a line with the offset, the bytes in
// two groups of eight and the printable characters; a run of lines equal to the one before
// shown as one "*"; the offset after the last byte on a line of its own.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

class HexDumpWriter {
public:
    // start: the offset of the first byte fed (lines count from it, as with hexdump -s).
    HexDumpWriter(std::ostream& out, uint64_t start);
    void Feed(const uint8_t* data, size_t count);
    // Writes the last, partial line and the final offset (which hexdump leaves out when
    // nothing was dumped from offset 0).
    void Finish();

private:
    void Line(const uint8_t* bytes, size_t count);
    void Flush();

    std::ostream& FOut;
    uint64_t FAddress;
    uint8_t FLine[16] = {};
    size_t FFill = 0;
    uint8_t FPrevious[16] = {};
    bool FHavePrevious = false;
    bool FSqueezing = false;
    std::string FBuffer;
};
