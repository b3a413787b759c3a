#pragma once
// The two text forms of a field value and the standard number reader.
#include "header/FieldTable.h"

#include <cstdint>
#include <optional>
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
// The same reader for 64-bit unsigned values: no "-" sign, decimal up to 18446744073709551615,
// hexadecimal up to 16 digits.
uint64_t StrToUInt64(const std::string& text);

// Field value parse: in hexadecimal "0x" + text is read, else the text; at 32 or 64 bits.
int64_t ParseFieldValue(const std::string& text, bool hex, int bits);
// The same for a box of this display class, as the radix toggle reads it: byte and word at
// 32 bits, dword at 64 bits, qword as 64-bit unsigned (its bit pattern in the result).
int64_t ParseClassValue(const std::string& text, bool hex, ValueClass valueClass);
// The same for a field, as Save reads it: at the field's parse width (qword as 64-bit unsigned).
int64_t ParseFieldValue(const std::string& text, bool hex, const HeaderField& field);

// Hexadecimal digits written for a display class: 2, 4, 8 or 16.
int HexDigits(ValueClass valueClass);

// Field value text: plain signed decimal, or upper-case hexadecimal zero-padded to at
// least hexDigits (longer when the value needs more digits). Negative values are shown
// as their two's complement at 64 bits in hexadecimal.
std::string FieldValueText(int64_t value, bool hex, int hexDigits);
// The field value text of a box of this class: a qword shows its value unsigned.
std::string ClassValueText(int64_t value, bool hex, ValueClass valueClass);

// Whether a parsed value can be stored in a field of widthBytes bytes without losing digits:
// from -2^(8w-1) (a negative value is stored as its two's complement) to 2^(8w)-1. Every value
// fits 8 bytes (an unsigned one is held as its bit pattern).
bool FieldValueFits(int64_t value, int widthBytes);

// The field value parse for a field of widthBytes bytes: nothing when the number reader
// cannot read the text (too many digits) or its value does not fit the field.
std::optional<int64_t> ParseFittingValue(const std::string& text, bool hex, int bits, int widthBytes);
// The same for a field as the toggle (forSave false) or Save (forSave true) reads it.
std::optional<int64_t> ParseFittingValue(
    const std::string& text, bool hex, const HeaderField& field, bool forSave);

// Why a box's text is no value of its field: not the digits of the radix shown (no sign, prefix
// or blank; empty is not a number), or a number the field's width cannot hold.
enum class FieldTextError : uint8_t { None, Digits, Width };
struct FieldReading {
    std::optional<int64_t> value; // as the toggle (forSave false) or Save (forSave true) reads it
    FieldTextError error = FieldTextError::None;
};
// The one validation of a box: its text in the radix shown, read as a value of its field.
FieldReading ReadFieldText(std::string_view text, bool hex, const HeaderField& field, bool forSave);

// How messages name a field: its label in quotes, and for a section row also its page:
//     "Number Of Relocations:" on page ".data"
std::string FieldDisplayName(std::string_view label, std::optional<std::string_view> pageCaption = {});

// The refusal of a value that does not fit its field (fieldName as FieldDisplayName gives it).
std::string FieldWidthMessage(std::string_view fieldName, int widthBytes);
