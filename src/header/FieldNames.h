#pragma once
// The names by which the command line reads and sets the fields the window shows and saves,
// built from the PE/COFF names of the field tables:
//     e_cblp, TimeDateStamp, SizeOfStackReserve          header rows
//     directory.Security.Size, directory.4.Size          data directory entries (by name or 0-based index)
//     section.2.Characteristics                          section rows (0-based section index)
#include "header/HeaderWriter.h"

#include <optional>
#include <string>
#include <string_view>

// The directory's name as the window shows it, without blanks ("BaseRelocation").
std::string DirectoryKey(int entry);

// The canonical name of a field: section and directory rows with their index or key.
std::string FieldPeName(const FieldRef& ref);

struct FieldLookup {
    std::optional<FieldRef> field; // a field a save of the input writes
    std::string refusal; // otherwise why the name cannot be set
};

// Looks name up among the fields a save of input writes (PlannedFields(input)): exactly the
// fields the window can write for the file. A name of a field the window shows but never
// writes (e_lfanew, a section's Name), of a field the file's layout lacks (BaseOfData in PE32+),
// of a data directory entry the window does not show, or of no field at all is refused with
// the reason.
FieldLookup LookUpSavedField(std::string_view name, const HeaderWriteInput& input);
