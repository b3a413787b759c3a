#pragma once
// The two text forms of a field value and the standard number reader.
#include "FieldTable.h"

#include <cstdint>
#include <string>
#include <string_view>

// False for the empty text; else true when every character is 0-9, A-F or a-f.
bool IsHexText(std::string_view text);
// False for the empty text; else true when every character is 0-9.
bool IsDecimalText(std::string_view text);

// The standard number reader: leading blanks, an optional sign, then decimal digits or
// "$"/"0x"/"0X" and hexadecimal digits, nothing after. Decimal values must fit the signed
// width; hexadecimal values must fit the width as unsigned (FFFFFFFF reads as -1 at 32 bits).
// Anything else throws EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text);
int64_t StrToInt64(const std::string& text);

// Field value parse: in hexadecimal "0x" + text is read, else the text; at 32 or 64 bits.
int64_t ParseFieldValue(const std::string& text, bool hex, int bits);
inline int64_t ParseFieldValue(const std::string& text, bool hex, const HeaderField& field)
{
    return ParseFieldValue(text, hex, field.parseBits);
}

// Hexadecimal digits written for a display class: 2, 4 or 8.
int HexDigits(ValueClass valueClass);

// Field value text: plain signed decimal, or upper-case hexadecimal zero-padded to at
// least hexDigits (longer when the value needs more digits). Negative values are shown
// as their two's complement at 64 bits in hexadecimal.
std::string FieldValueText(int64_t value, bool hex, int hexDigits);
