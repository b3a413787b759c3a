#pragma once
// How the command line names fields and flags: the PE/COFF field names in any case, sections by
// index or by name, the nearest names for a name it does not know, and the format's constant
// names of the characteristics bits.
#include "header/ImageReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A field of one file as the command line names it:
//     TimeDateStamp, e_lfanew                        header rows (any case)
//     directory.Security.Size, directory.4.Size      data directory entries
//     section.2.Characteristics                      section rows by 0-based index
//     section[.text].Characteristics                 section rows by name (the first section so named)
struct NamedField {
    enum class Kind { Header, PeOffset, DosExtra, Directory, SectionRow, SectionName };
    Kind kind = Kind::Header;
    int index = 0; // row of HeaderFields, DosExtraFields, DataDirectoryFields or SectionFields
    int section = -1; // for section rows, as given by index (maybe past the last section)
    // The name as show --json spells it, sections by index: what set looks up.
    std::string canonical;
};

struct NameResolution {
    std::optional<NamedField> field;
    std::string refusal; // otherwise why not, with the nearest names
};

// Resolves a name against the file's section names; any case is accepted for the field part.
NameResolution ResolveFieldName(std::string_view name, const ImageHeaders& headers);

// The section a selector names: ".N" (0-based index) or "[NAME]" (the first section so named,
// exactly, else in any case). -1 with the refusal and the nearest names for a name no section
// has; -2 for a selector of neither form.
int SectionIndex(std::string_view selector, const ImageHeaders& headers, std::string& refusal);

// The value of a resolved field as get prints it: hexadecimal with 0x in the window's digits,
// or decimal; a section name as its text. Nothing, with the reason, when the file lacks it.
std::optional<std::string> NamedFieldText(
    const NamedField& field, const ImageHeaders& headers, bool decimal, std::string& refusal);

// " (did you mean `a` or `b`?)" for the candidates nearest to given, or an empty text when
// none is near.
std::string NearestNamesHint(std::string_view given, const std::vector<std::string>& candidates);

// The format's constant names of the bits set in a characteristics value, in bit order (a
// section's alignment nibble as its IMAGE_SCN_ALIGN_* name).
enum class FlagSet { File, Dll, Section };
std::vector<std::string_view> FlagConstants(FlagSet set, uint32_t value);
