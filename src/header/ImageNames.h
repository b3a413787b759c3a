#pragma once
// Names of the values of the machine, magic and subsystem fields, as the window shows them
// beside their boxes.
#include <cstdint>
#include <string>
#include <string_view>

enum class ValueNames : uint8_t { Machine, Magic, Subsystem };

// "Intel 386", "x64", "PE32+", "Windows GUI", ...; "unknown" for a value without a name.
std::string_view ValueName(ValueNames kind, uint64_t value);

// The name for a box's text read under the radix in force: empty when the text is not a number
// in that radix, "unknown" when it is a number with no name (also one wider than 16 bits).
std::string_view ValueNameOfText(ValueNames kind, const std::string& text, bool hex);
