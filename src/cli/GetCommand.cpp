// get: the values of named fields, one a line, for scripts that want one number and not the
// whole of show --json.
#include "cli/CliCommands.h"

#include "cli/FieldNaming.h"

int RunGet(const CliContext& context, const GetOptions& options)
{
    return ForFile(context, options.file, [&]() -> int {
        const OpenImage image = OpenAndRead(context, options.file, FileStream::Mode::OpenRead);
        // Every name is checked before anything is printed, so line i is always name i.
        std::string lines;
        bool failed = false;
        for (const std::string& name : options.names) {
            const NameResolution resolved = ResolveFieldName(name, image.headers);
            std::string refusal = resolved.refusal;
            std::optional<std::string> text;
            if (resolved.field)
                text = NamedFieldText(*resolved.field, image.headers, options.decimal, refusal);
            if (!text) {
                ReportFile(context, options.file, refusal);
                failed = true;
                continue;
            }
            lines.append(*text).push_back('\n');
        }
        if (failed)
            return kCliUsage;
        context.out << lines;
        const uint64_t headersEnd = HeadersEnd(image.headers);
        if (image.headers.fileSize < headersEnd) {
            ReportFile(context, options.file,
                "the file ends at " + std::to_string(image.headers.fileSize)
                    + " bytes, inside its headers (they end at " + std::to_string(headersEnd)
                    + "); the missing bytes were read as 0");
            return kCliFileError;
        }
        return kCliOk;
    });
}
