#include "header/FieldValue.h"

#include "base/Errors.h"

#include <algorithm>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// What comes before the digits: leading blanks, an optional sign, and "$" or "0x"/"0X" for
// hexadecimal. Text with nothing after that is not a number.
struct NumberStart {
    size_t digits = 0; // index of the first digit
    bool negative = false;
    bool hex = false;
};

NumberStart ReadNumberStart(const std::string& text)
{
    NumberStart start;
    size_t& i = start.digits;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        start.negative = text[i] == '-';
        ++i;
    }
    if (i < text.size() && text[i] == '$') {
        start.hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        start.hex = true;
        i += 2;
    }
    if (i == text.size())
        throw EConvertError::InvalidInteger(text);
    return start;
}

// The digits from start.digits on as an unsigned number of at most limit (decimal) or of
// at most `bits` bits (hexadecimal).
uint64_t ReadMagnitude(const std::string& text, const NumberStart& start, int bits, uint64_t limit)
{
    uint64_t magnitude = 0;
    for (size_t i = start.digits; i < text.size(); ++i) {
        if (start.hex) {
            const int digit = HexValue(text[i]);
            if (digit < 0 || (magnitude >> (bits - 4)) != 0)
                throw EConvertError::InvalidInteger(text);
            magnitude = (magnitude << 4) | static_cast<uint64_t>(digit);
        } else {
            if (!IsDigit(text[i]))
                throw EConvertError::InvalidInteger(text);
            const auto digit = static_cast<uint64_t>(text[i] - '0');
            if (magnitude > (limit - digit) / 10)
                throw EConvertError::InvalidInteger(text);
            magnitude = magnitude * 10 + digit;
        }
    }
    return magnitude;
}

// The classic number reader at 32 or 64 bits. Decimal must fit the signed range; hexadecimal
// must fit the width as unsigned and is then taken as the signed value of that width.
int64_t ReadInteger(const std::string& text, int bits)
{
    const uint64_t widthMask = bits == 64 ? ~0ull : (1ull << bits) - 1;
    const uint64_t signedMax = widthMask >> 1; // 2^(bits-1) - 1
    const NumberStart start = ReadNumberStart(text);
    if (start.hex) {
        // Reinterpret the unsigned bit pattern at the given width as a signed number.
        const uint64_t pattern = ReadMagnitude(text, start, bits, widthMask) & widthMask;
        int64_t value = bits == 64
            ? static_cast<int64_t>(pattern)
            : static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(pattern)));
        if (start.negative)
            value = bits == 64
                ? static_cast<int64_t>(0 - static_cast<uint64_t>(value))
                : static_cast<int64_t>(static_cast<int32_t>(0u - static_cast<uint32_t>(value)));
        return value;
    }
    const uint64_t magnitude = ReadMagnitude(text, start, bits, start.negative ? signedMax + 1 : signedMax);
    return start.negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// The unsigned 64-bit reader: the same syntax without a minus sign.
uint64_t ReadUnsigned64(const std::string& text)
{
    const NumberStart start = ReadNumberStart(text);
    if (start.negative)
        throw EConvertError::InvalidInteger(text);
    return ReadMagnitude(text, start, 64, ~0ull);
}

} // namespace

bool IsHexText(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return HexValue(c) >= 0; });
}

bool IsDecimalText(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

int32_t StrToInt(const std::string& text)
{
    return static_cast<int32_t>(ReadInteger(text, 32));
}

int64_t StrToInt64(const std::string& text)
{
    return ReadInteger(text, 64);
}

uint64_t StrToUInt64(const std::string& text)
{
    return ReadUnsigned64(text);
}

int64_t ParseFieldValue(const std::string& text, bool hex, int bits)
{
    const std::string source = hex ? "0x" + text : text;
    return bits == 64 ? StrToInt64(source) : StrToInt(source);
}

int64_t ParseClassValue(const std::string& text, bool hex, ValueClass valueClass)
{
    if (valueClass == ValueClass::Qword)
        return static_cast<int64_t>(StrToUInt64(hex ? "0x" + text : text));
    return ParseFieldValue(text, hex, ToggleParseBits(valueClass));
}

int64_t ParseFieldValue(const std::string& text, bool hex, const HeaderField& field)
{
    if (field.valueClass == ValueClass::Qword)
        return ParseClassValue(text, hex, field.valueClass);
    return ParseFieldValue(text, hex, field.parseBits);
}

int HexDigits(ValueClass valueClass)
{
    switch (valueClass) {
    case ValueClass::Byte:
        return 2;
    case ValueClass::Word:
        return 4;
    case ValueClass::Dword:
        return 8;
    case ValueClass::Qword:
        return 16;
    }
    return 8;
}

std::string FieldValueText(int64_t value, bool hex, int hexDigits)
{
    if (!hex)
        return std::to_string(value);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    uint64_t bitsLeft = static_cast<uint64_t>(value);
    std::string text;
    do {
        text.push_back(kDigits[bitsLeft & 0xF]);
        bitsLeft >>= 4;
    } while (bitsLeft != 0);
    if (static_cast<int>(text.size()) < hexDigits)
        text.append(static_cast<size_t>(hexDigits) - text.size(), '0');
    std::reverse(text.begin(), text.end());
    return text;
}

std::string ClassValueText(int64_t value, bool hex, ValueClass valueClass)
{
    if (valueClass == ValueClass::Qword && !hex)
        return std::to_string(static_cast<uint64_t>(value));
    return FieldValueText(value, hex, HexDigits(valueClass));
}

bool FieldValueFits(int64_t value, int widthBytes)
{
    if (widthBytes >= 8)
        return true; // every 64-bit parse fits
    const int bits = 8 * widthBytes;
    return value >= -(int64_t(1) << (bits - 1)) && value <= (int64_t(1) << bits) - 1;
}

std::optional<int64_t> ParseFittingValue(const std::string& text, bool hex, int bits, int widthBytes)
{
    int64_t value = 0;
    try {
        value = ParseFieldValue(text, hex, bits);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
    if (!FieldValueFits(value, widthBytes))
        return std::nullopt;
    return value;
}

std::optional<int64_t> ParseFittingValue(
    const std::string& text, bool hex, const HeaderField& field, bool forSave)
{
    int64_t value = 0;
    try {
        value = forSave ? ParseFieldValue(text, hex, field) : ParseClassValue(text, hex, field.valueClass);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
    if (!FieldValueFits(value, field.width))
        return std::nullopt;
    return value;
}

FieldReading ReadFieldText(std::string_view text, bool hex, const HeaderField& field, bool forSave)
{
    if (hex ? !IsHexText(text) : !IsDecimalText(text))
        return FieldReading{std::nullopt, FieldTextError::Digits};
    const std::optional<int64_t> value = ParseFittingValue(std::string(text), hex, field, forSave);
    if (!value)
        return FieldReading{std::nullopt, FieldTextError::Width};
    return FieldReading{value, FieldTextError::None};
}

std::string FieldDisplayName(std::string_view label, std::optional<std::string_view> pageCaption)
{
    std::string name;
    name.append("\"").append(label).append("\"");
    if (pageCaption)
        name.append(" on page \"").append(*pageCaption).append("\"");
    return name;
}

std::string FieldWidthMessage(std::string_view fieldName, int widthBytes)
{
    return "The value of " + std::string(fieldName) + " does not fit its field of "
        + std::to_string(widthBytes) + (widthBytes == 1 ? " byte." : " bytes.");
}
