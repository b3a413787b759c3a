// set and checksum: values written into the file through the window's save transaction.
#include "cli/CliCommands.h"

#include "cli/FieldNaming.h"

#include "base/Errors.h"
#include "contents/SignatureGuard.h"
#include "header/Checksum.h"
#include "header/FieldNames.h"
#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"

#include <algorithm>

namespace {

struct Assignment {
    std::string name; // as given
    FieldRef field;
    int64_t value = 0;
};

FieldRef CheckSumField(OptionalLayout layout)
{
    return FieldRef{FieldRef::kHeader, HeaderIndex(FieldId::CheckSum), layout};
}

// The value text of an assignment: decimal, or hexadecimal after "0x", read and checked against
// the field's width as the window's Save reads and checks a box.
std::optional<int64_t> ParseAssignedValue(
    const std::string& name, const std::string& text, const HeaderField& field, std::string& error)
{
    if (&field == &SectionNameField()) {
        // A name is text: UTF-8 on the command line, up to 8 Latin-1 characters in the file.
        std::string latin1;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte < 0x80) {
                latin1.push_back(static_cast<char>(byte));
            } else if ((byte == 0xC2 || byte == 0xC3) && i + 1 < text.size()
                && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
                latin1.push_back(static_cast<char>(((byte & 0x03) << 6) | (text[++i] & 0x3F)));
            } else {
                error = name + ": a section name takes Latin-1 characters only";
                return std::nullopt;
            }
        }
        if (latin1.size() > static_cast<size_t>(kSectionNameBytes)) {
            error = name + ": a section name has at most 8 characters";
            return std::nullopt;
        }
        return static_cast<int64_t>(PackSectionName(latin1));
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (hex ? !IsHexText(digits) : !IsDecimalText(digits)) {
        error = name + ": " + EConvertError::InvalidInteger(text).what()
            + " (give a decimal or 0x-hexadecimal value)";
        return std::nullopt;
    }
    const std::optional<int64_t> value = ParseFittingValue(digits, hex, field, true);
    if (!value)
        error = FieldWidthMessage(name, field.width);
    return value;
}

std::string Shown(const FieldRef& field, int64_t value)
{
    if (field.index == FieldRef::kNameRow && field.section >= 0) {
        SectionValues name;
        for (int i = 0; i < kSectionNameBytes && ((uint64_t(value) >> (8 * i)) & 0xFF) != 0; ++i)
            name.name.push_back(static_cast<char>((uint64_t(value) >> (8 * i)) & 0xFF));
        return "\"" + SectionNameText(name) + "\"";
    }
    return ClassValueText(value, true, field.Field().valueClass);
}

// Saves input into the open file as the window's Save does; a failure is reported and thrown.
// The stream has been locked since before the headers were read (OpenAndRead), so the values
// were read under the lock and a concurrent run waits for this one to finish.
void Save(const CliContext& context, const std::string& file, OpenImage& image, const HeaderWriteInput& input,
    const SaveChecks& checks)
{
    const SavePlan plan = PlanSave(input, image.headers);
    // The window would save the rest and name these; here nothing is written unless all is.
    if (!plan.notWritten.empty()) {
        std::string message = "nothing was written: the file ends before";
        for (const FieldRef& ref : plan.notWritten)
            message.append(" ").append(FieldPeName(ref));
        ReportFile(context, file, message);
        throw CliFailure(kCliFileError, message);
    }
    const SaveResult result = SaveHeaders(input, image.headers, *image.stream, image.identity, checks);
    if (result.outcome == SaveOutcome::Saved)
        return;
    std::vector<std::string> captions;
    for (const SectionValues& section : image.headers.sections)
        captions.push_back(SectionCaption(section));
    const std::string message = SaveResultText(result, file, captions);
    ReportFile(context, file, message);
    throw CliFailure(kCliFileError, message);
}

std::vector<Assignment> ParseAssignments(const CliContext& context, const SetOptions& options,
    const ImageHeaders& headers, const HeaderWriteInput& input)
{
    std::vector<Assignment> assignments;
    bool failed = false;
    for (const std::string& text : options.assignments) {
        const size_t equals = text.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
            ReportFile(context, options.file, "malformed assignment '" + text + "' (expected NAME=VALUE)");
            failed = true;
            continue;
        }
        Assignment assignment;
        assignment.name = text.substr(0, equals);
        // Any case, sections also by name: the saved field's lookup gets the name show --json gives.
        const NameResolution resolved = ResolveFieldName(assignment.name, headers);
        const FieldLookup lookup = resolved.field ? LookUpSavedField(resolved.field->canonical, input)
                                                  : FieldLookup{std::nullopt, resolved.refusal};
        if (!lookup.field) {
            ReportFile(context, options.file, lookup.refusal);
            failed = true;
            continue;
        }
        assignment.field = *lookup.field;
        std::string error;
        const std::optional<int64_t> value
            = ParseAssignedValue(assignment.name, text.substr(equals + 1), assignment.field.Field(), error);
        if (!value) {
            ReportFile(context, options.file, error);
            failed = true;
            continue;
        }
        assignment.value = *value;
        const bool twice = std::any_of(assignments.begin(), assignments.end(),
            [&](const Assignment& earlier) { return earlier.field == assignment.field; });
        if (twice || (options.checksum && assignment.field == CheckSumField(input.layout))) {
            ReportFile(context, options.file,
                assignment.name
                    + (twice ? " is assigned twice" : " is assigned and also recomputed by --checksum"));
            failed = true;
            continue;
        }
        assignments.push_back(assignment);
    }
    if (failed)
        throw CliFailure(kCliUsage, "bad assignment");
    return assignments;
}

} // namespace

void GuardSignature(const CliContext& context, const std::string& file, const OpenImage& image,
    const HeaderWriteInput& input, const SaveChecks& checks, bool breakSignature)
{
    if (breakSignature)
        return;
    // Nothing when the save itself will refuse (and say why).
    const std::optional<std::vector<WriteRange>> ranges
        = SaveImageRanges(input, image.headers, *image.stream, checks);
    const SignatureBreak impact
        = ranges ? CheckSignatureBreak(*image.stream, image.headers, *ranges) : SignatureBreak{};
    if (!impact.breaks)
        return;
    const SignatureCheck& signature = impact.report.signatures.front();
    const std::string message = "nothing was written: the change at file offset 0x"
        + HexText(impact.firstChanged, 0)
        + " would invalidate the file's digital signature (intact, signed by " + signature.signerSubject
        + "); give --break-signature to write it anyway";
    ReportFile(context, file, message);
    throw CliFailure(kCliCheckFailed, message);
}

int RunSet(const CliContext& context, const SetOptions& options)
{
    return ForFile(context, options.file, [&]() -> int {
        const FileStream::Mode mode
            = options.dryRun ? FileStream::Mode::OpenRead : FileStream::Mode::OpenReadWrite;
        OpenImage image = OpenAndRead(context, options.file, mode, options.checksum ? "checksum" : nullptr);
        const HeaderWriteInput asRead = WriteInputAsRead(image.headers);
        // Every assignment is read and checked before anything is written.
        const std::vector<Assignment> assignments = ParseAssignments(context, options, image.headers, asRead);
        HeaderWriteInput input = asRead;
        SaveChecks checks;
        std::string beyond;
        for (const Assignment& assignment : assignments) {
            checks.assigned.push_back(assignment.field);
            SetInputValue(input, assignment.field, assignment.value);
            // A field the file ends before has no bytes to hold the value, whatever it is.
            const uint64_t end
                = uint64_t(InputPosition(input, assignment.field)) + assignment.field.Field().width;
            if (end > image.headers.fileSize)
                beyond.append(" ").append(assignment.name);
        }
        if (!beyond.empty()) {
            const std::string message = "nothing was written: the file ends before" + beyond;
            ReportFile(context, options.file, message);
            return kCliFileError;
        }

        std::string changes;
        for (const Assignment& assignment : assignments)
            changes += assignment.name + ": " + Shown(assignment.field, InputValue(asRead, assignment.field))
                + " -> " + Shown(assignment.field, assignment.value) + "\n";
        if (options.checksum) {
            // The window's Recompute Checksum: the sum the file will have once the values are saved.
            const std::optional<uint32_t> checksum
                = ChecksumAfterSave(input, image.headers, *image.stream, checks);
            if (!checksum) {
                // Every value fits its field, so two assigned fields share bytes: the save names
                // them (and writes nothing).
                if (!options.dryRun)
                    Save(context, options.file, image, input, checks);
                ReportFile(context, options.file,
                    "two assigned fields share bytes of this file but were given different values");
                return kCliFileError;
            }
            const FieldRef field = CheckSumField(input.layout);
            checks.assigned.push_back(field);
            SetInputValue(input, field, *checksum);
            changes += "CheckSum: " + Shown(field, InputValue(asRead, field)) + " -> "
                + Shown(field, *checksum) + "\n";
        }
        GuardSignature(context, options.file, image, input, checks, options.breakSignature);
        if (!options.dryRun)
            Save(context, options.file, image, input, checks);
        context.out << changes;
        return kCliOk;
    });
}

int RunChecksum(const CliContext& context, const ChecksumOptions& options)
{
    int status = kCliOk;
    for (const std::string& file : options.files) {
        status = std::max(status, ForFile(context, file, [&]() -> int {
            const FileStream::Mode mode
                = options.fix ? FileStream::Mode::OpenReadWrite : FileStream::Mode::OpenRead;
            OpenImage image = OpenAndRead(context, file, mode, "checksum");
            const ImageChecksum checksum = ReadImageChecksum(*image.stream, image.headers.peOffset);
            std::string line = file + ": stored " + HexText(checksum.stored, 8) + ", computed "
                + HexText(checksum.computed, 8);
            // Most executables store 0: the loader checks the sum only of drivers and some
            // system DLLs, so 0 means "not set" unless --strict asks for the sum itself.
            const bool notSet = checksum.stored == 0 && !options.strict;
            if (checksum.Matches()) {
                line += ", matches";
            } else if (notSet && !options.fix) {
                line += ", not set";
            } else if (!options.fix) {
                line += ", differs";
            } else {
                // Save with every value as read and the computed sum in CheckSum: the values as
                // read write back the bytes they came from, so the sum stays as computed.
                HeaderWriteInput input = WriteInputAsRead(image.headers);
                SetInputValue(input, CheckSumField(input.layout), checksum.computed);
                const SaveChecks checks{false, {CheckSumField(input.layout)}};
                GuardSignature(context, file, image, input, checks, options.breakSignature);
                Save(context, file, image, input, checks);
                line += ", fixed";
            }
            context.out << line << '\n';
            return checksum.Matches() || options.fix || notSet ? kCliOk : kCliCheckFailed;
        }));
    }
    return status;
}
