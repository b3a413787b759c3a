#pragma once
// The window's side of the header fields: each field's edit box (its objectName), the box's
// maximum length and the page it is on, by field id, and the flags' check boxes. The header
// model knows fields only by id.
#include "header/FieldTable.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

enum class FieldPage : uint8_t { TabMZ, TabFileHd, TabStandard, TabNT, SectionPage, TabDataDir };

struct FieldBox {
    FieldId id;
    std::string_view name; // objectName of the edit; empty for the run-time section rows
    uint8_t maxLength; // the edit's maximum text length (in the PE32 layout)
    FieldPage page;
};

const FieldBox& BoxOf(FieldId id);
// The box's maximum length in a layout: a field of 8 bytes (PE32+) takes 20 decimal digits.
int BoxMaxLength(FieldId id, OptionalLayout layout);
// The field whose box has that objectName.
std::optional<FieldId> FieldOfBox(std::string_view name);

// The objectNames of the check boxes of FileCharacteristicFlags() and DllCharacteristicFlags(),
// flag f at f.
std::span<const std::string_view> FileFlagBoxes();
std::span<const std::string_view> DllFlagBoxes();
