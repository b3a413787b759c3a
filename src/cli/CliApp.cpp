// The command line: CLI11 reads the arguments, the commands do the work.
#include "cli/CliCommands.h"
#include "cli/VerifyCommand.h"

#include "cli/FieldNaming.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>

#ifndef KORVEX_VERSION
#error "KORVEX_VERSION comes from project(Korvex VERSION ...)"
#endif

namespace {

constexpr const char* kExitStatus
    = "Exit status: 0 success; 1 check failed (checksum: a stored checksum other than 0 differs, "
      "find: no match, diff: the files differ, verify: a signature not intact, check: a required property "
      "missing); 2 usage error (bad "
      "arguments, unknown field, malformed or too wide value); 3 file or header error (cannot open, "
      "read or write, no valid MZ or PE header, too many sections, truncated headers).";

CLI::App* AddShow(CLI::App& app, ShowOptions& show)
{
    CLI::App* command
        = app.add_subcommand("show", "Print every header field the window shows, for each file");
    command->add_flag("--json", show.json,
        "One JSON object per file, one per line (JSON Lines), keyed by PE/COFF field names");
    command->add_flag("--decimal", show.decimal, "Decimal values in the text output (default: hexadecimal)");
    command->add_flag("--contents", show.contents,
        "Also what the data directories hold: imports, exports, resources, debug, load config, TLS, "
        "relocations, exceptions, CLR, Rich header, overlay, certificates");
    command->add_option("FILE", show.files, "PE files")->required();
    command->footer(kExitStatus);
    return command;
}

constexpr const char* kNames
    = "NAME is a field name as show --json gives it, in any case: TimeDateStamp, DllCharacteristics, "
      "e_lfanew, section.2.Characteristics (sections from 0) or section[.text].Characteristics (by name), "
      "directory.Security.Size or directory.4.Size.";

CLI::App* AddGet(CLI::App& app, GetOptions& get)
{
    CLI::App* command = app.add_subcommand(
        "get", "Print the value of each named field on its own line (0x-hexadecimal, or decimal)");
    command->add_flag("--decimal", get.decimal, "Decimal values (default: 0x and hexadecimal digits)");
    command->add_option("FILE", get.file, "The PE file")->required();
    command->add_option("NAME", get.names, "Field names")->required();
    command->footer(std::string(kNames) + " A section's Name is printed as text.\n\n" + kExitStatus);
    return command;
}

CLI::App* AddSet(CLI::App& app, SetOptions& set)
{
    CLI::App* command = app.add_subcommand("set",
        "Patch fields in place, all or nothing, as the window's Save does (NAME as in show --json: "
        "TimeDateStamp, "
        "section.2.Characteristics, directory.Security.Size or directory.4.Size; VALUE decimal or "
        "0x-hexadecimal)");
    command->add_flag(
        "--checksum", set.checksum, "Also write the checksum the file will have after the save");
    command->add_flag("--dry-run", set.dryRun, "Print the changes, write nothing");
    command->add_flag("--break-signature", set.breakSignature,
        "Write even when the change invalidates the file's intact Authenticode signature");
    command->add_option("FILE", set.file, "The PE file")->required();
    command->add_option("ASSIGNMENT", set.assignments, "NAME=VALUE ...")->required();
    command->footer(std::string(kNames)
        + " VALUE is decimal or 0x-hexadecimal and must fit the field. "
          "Every assignment is checked before anything is written; each change is printed "
          "as NAME: old -> new.\n\n"
        + kExitStatus);
    return command;
}

CLI::App* AddChecksum(CLI::App& app, ChecksumOptions& checksum)
{
    CLI::App* command
        = app.add_subcommand("checksum", "Print the stored and the computed checksum of each file");
    command->add_flag("--fix", checksum.fix, "Write the computed checksum where it differs");
    command->add_flag("--strict", checksum.strict,
        "A stored 0 differs like any other value (by default 0 means not set: exit status 0)");
    command->add_flag("--break-signature", checksum.breakSignature,
        "Write even when the change invalidates the file's intact Authenticode signature");
    command->add_option("FILE", checksum.files, "PE files")->required();
    command->footer(kExitStatus);
    return command;
}

struct TimestampsLine {
    TimestampsOptions options;
    std::string time;
    CLI::Option* timeOption = nullptr;

    TimestampsOptions Given() const
    {
        TimestampsOptions given = options;
        if (timeOption->count() > 0)
            given.time = time;
        return given;
    }
};

CLI::App* AddTimestamps(CLI::App& app, TimestampsLine& line)
{
    CLI::App* command = app.add_subcommand("set-timestamps",
        "Set every time stamp the image holds to one value and recompute the checksum, one save per file");
    command->add_flag("--dry-run", line.options.dryRun, "Print the changes, write nothing");
    line.timeOption = command->add_option("--time", line.time,
        "The time stamp, decimal or 0x-hexadecimal (default: SOURCE_DATE_EPOCH, else 0)");
    command->add_flag("--break-signature", line.options.breakSignature,
        "Write into a signed file too (its signature no longer verifies afterwards)");
    command->add_option("FILE", line.options.files, "PE files")->required();
    command->footer(
        std::string(
            "Sets the COFF header's TimeDateStamp, the export directory's, each resource directory's, "
            "each debug entry's (not the REPRO hash), the load config's, and those of bound import "
            "and delay-import descriptors and of the bound import directory (0xFFFFFFFF, which "
            "marks a descriptor bound through that directory, stays; the loader then finds the "
            "binding stale and resolves those imports as if unbound). Each change is printed as "
            "NAME: old -> new.\n\n")
        + kExitStatus);
    return command;
}

CLI::App* AddDiff(CLI::App& app, DiffOptions& diff)
{
    CLI::App* command = app.add_subcommand("diff",
        "Name every difference between two files as show --contents names their parts, then the "
        "differing bytes left over, per section and in the overlay");
    command->add_flag("--json", diff.json, "One JSON object per line (JSON Lines)");
    command->add_option("A", diff.first, "The first file")->required();
    command->add_option("B", diff.second, "The second file")->required();
    command->footer("Exit status: 0 the files are equal; 1 they differ; 2 usage error; 3 a file cannot be "
                    "opened or read, or is not a PE image.");
    return command;
}

// dump's options as given; the ones not given stay unset in the options the command gets.
struct DumpLine {
    DumpOptions options;
    std::string section, offset, length;
    CLI::Option* sectionOption = nullptr;
    CLI::Option* offsetOption = nullptr;
    CLI::Option* lengthOption = nullptr;

    DumpOptions Given() const
    {
        DumpOptions given = options;
        if (sectionOption->count() > 0)
            given.section = section;
        if (offsetOption->count() > 0)
            given.offset = offset;
        if (lengthOption->count() > 0)
            given.length = length;
        return given;
    }
};

CLI::App* AddDump(CLI::App& app, DumpLine& dump)
{
    CLI::App* command = app.add_subcommand("dump", "Print bytes of the file as hexdump -C does");
    command->add_option("FILE", dump.options.file, "The file")->required();
    dump.sectionOption = command->add_option("--section", dump.section,
        "A section's raw data (PointerToRawData, SizeOfRawData), by 0-based index or name, with the window's "
        "View checks");
    command->add_flag("--entry", dump.options.entry,
        "512 bytes at the entry point's file offset (bytes past the end of the file are not shown)");
    dump.offsetOption
        = command->add_option("--offset", dump.offset, "Bytes from this file offset to the end of the file");
    dump.lengthOption = command->add_option("--length", dump.length, "At most this many bytes");
    command->footer(kExitStatus);
    return command;
}

CLI::App* AddFind(CLI::App& app, FindOptions& find)
{
    CLI::App* command = app.add_subcommand("find",
        "Print the file offset of every match (overlapping ones too), with the section and RVA where it lies "
        "in a section's raw data");
    command->add_flag("--hex", find.hex, "PATTERN is pairs of hexadecimal digits");
    command->add_flag(
        "--utf16", find.utf16, "Search for the text in UTF-16LE, as strings -el finds wide strings");
    command->add_flag("-i,--ignore-case", find.ignoreCase,
        "Fold case as the hex viewer's Find does (Windows-1252); with --utf16, ASCII and Latin-1 letters");
    command->add_option("FILE", find.file, "The file")->required();
    command
        ->add_option("PATTERN", find.pattern,
            "Text (taken as Windows-1252, with --utf16 as UTF-16LE) or, with --hex, bytes")
        ->required();
    command->footer(kExitStatus);
    return command;
}

CLI::App* AddCheck(CLI::App& app, CheckOptions& check)
{
    CLI::App* command = app.add_subcommand("check",
        "Report how each file is hardened: ASLR, high-entropy ASLR, DEP, CFG, SafeSEH, stack cookie, CET, "
        "Force Integrity, AppContainer, .NET, signature, checksum, writable-and-executable sections");
    command->add_flag("--json", check.json, "One JSON object per file, one per line (JSON Lines)");
    command
        ->add_option("--require", check.require,
            "Exit status 1 when one of these properties is missing (n/a counts as present): NAME,... of "
            "aslr, high-entropy-aslr, dep, cfg, safeseh, gs, cet, force-integrity, appcontainer, dotnet, "
            "signed, checksum, no-wx")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command->add_option("FILE", check.files, "PE files")->required();
    command->footer(kExitStatus);
    return command;
}

constexpr const char* kCommands[]
    = {"show", "get", "set", "checksum", "dump", "find", "set-timestamps", "diff", "verify", "check"};

// A first argument that is no option and no command: say so and name the nearest commands,
// rather than CLI11's "A subcommand is required".
bool RefuseUnknownCommand(int argc, const char* const* argv, std::ostream& err)
{
    const std::string given = argc > 1 ? argv[1] : "";
    if (argc > 1 && (given.empty() || given[0] == '-'))
        return false;
    std::vector<std::string> commands(std::begin(kCommands), std::end(kCommands));
    std::string list;
    for (const std::string& command : commands) {
        std::string folded = given;
        std::transform(folded.begin(), folded.end(), folded.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (argc > 1 && folded == command)
            return false;
        list += (list.empty() ? "" : command == commands.back() ? " or " : ", ") + command;
    }
    if (argc <= 1) {
        err << "korvex-cli: a command is required: " << list << "\n";
    } else {
        const std::string hint = NearestNamesHint(given, commands);
        err << "korvex-cli: unknown command `" << given << "`"
            << (hint.empty() ? " (the commands are " + list + ")" : hint) << "\n";
    }
    err << "Run with --help for more information.\n";
    return true;
}

} // namespace

int RunCli(
    int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliStreamOpener& opener)
{
    CLI::App app{
        "Reads, patches, checksums, dumps, searches and compares the headers of PE files, with the same "
        "semantics as the Korvex window.",
        "korvex-cli"};
    app.set_version_flag(
        "--version", std::string("korvex-cli ") + KORVEX_VERSION, "Print the version and exit");
    app.require_subcommand(1);
    app.footer(kExitStatus);
    app.ignore_case(); // commands in any case, as field names
    if (RefuseUnknownCommand(argc, argv, err))
        return kCliUsage;

    ShowOptions show;
    GetOptions get;
    SetOptions set;
    ChecksumOptions checksum;
    DumpLine dump;
    FindOptions find;
    TimestampsLine timestamps;
    DiffOptions diff;
    const CLI::App* showCommand = AddShow(app, show);
    const CLI::App* getCommand = AddGet(app, get);
    const CLI::App* setCommand = AddSet(app, set);
    const CLI::App* checksumCommand = AddChecksum(app, checksum);
    const CLI::App* dumpCommand = AddDump(app, dump);
    const CLI::App* findCommand = AddFind(app, find);
    const CLI::App* timestampsCommand = AddTimestamps(app, timestamps);
    const CLI::App* diffCommand = AddDiff(app, diff);
    VerifyOptions verify;
    const CLI::App* verifyCommand = AddVerify(app, verify, kExitStatus);
    CheckOptions check;
    const CLI::App* checkCommand = AddCheck(app, check);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, out, err);
        return status == static_cast<int>(CLI::ExitCodes::Success) ? kCliOk : kCliUsage;
    }

    const CliContext context{out, err, opener};
    if (*showCommand)
        return RunShow(context, show);
    if (*getCommand)
        return RunGet(context, get);
    if (*setCommand)
        return RunSet(context, set);
    if (*checksumCommand)
        return RunChecksum(context, checksum);
    if (*dumpCommand)
        return RunDump(context, dump.Given());
    if (*findCommand)
        return RunFind(context, find);
    if (*timestampsCommand)
        return RunTimestamps(context, timestamps.Given());
    if (*diffCommand)
        return RunDiff(context, diff);
    if (*verifyCommand)
        return RunVerify(context, verify);
    if (*checkCommand)
        return RunCheck(context, check);
    return kCliUsage;
}

int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
    const CliStreamOpener& opener)
{
    std::vector<const char*> argv{"korvex-cli"};
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, opener);
}
