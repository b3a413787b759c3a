#pragma once
// Text forms of bytes and offsets: hexadecimal text to bytes and back, octal text, and
// the texts of the offset column.
#include <cstdint>
#include <string>

enum TOffsetDisplayStyle : uint8_t { odHex = 0, odDec = 1, odOctal = 2, odNone = 3 };

// Reads pairs of hex digits from count characters of source into dest and stores the
// number of bytes written in byteCount. Non-digit characters are skipped (they may even
// split a pair); a final unpaired digit is dropped. dest needs room for count / 2 bytes.
// With swapNibbles the two digits of each byte are exchanged. Answers dest.
uint8_t* ConvertHexToBin(
    const char* source, uint8_t* dest, int32_t count, bool swapNibbles, int32_t& byteCount);

// Writes 2 * count upper-case hex digits and a terminating zero into dest (room for
// 2 * count + 1 characters); with swapNibbles the low digit of each byte comes first.
// Answers dest.
char* ConvertBinToHex(const uint8_t* source, char* dest, int32_t count, bool swapNibbles);

// Octal text with one leading "0": 0 -> "00", 8 -> "010". A negative value is written as
// its 32-bit two's complement pattern (-1 -> "037777777777").
std::string IntToOctal(int32_t value);

// Width in characters of the offset column when the last row starts at lastLineOffset.
// odNone gives 0.
int OffsetDisplayWidth(TOffsetDisplayStyle style, int32_t lastLineOffset);

// Offset column text of a row that starts at offset, padded to width (as given by
// OffsetDisplayWidth) and followed by separator. odNone gives " ".
std::string OffsetText(TOffsetDisplayStyle style, int32_t offset, int width, char separator);

// Offset column text of row 0 while there is no data: "0x0:", "0:", "o 0:" (with ':' as
// separator), and three blanks for odNone.
std::string EmptyDataOffsetText(TOffsetDisplayStyle style, char separator);
