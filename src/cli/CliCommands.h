#pragma once
// The commands of korvex-cli, each given its parsed options.
#include "cli/CliSupport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HeaderWriteInput;
struct SaveChecks;

// Refuses (reported, CliFailure with status 1) a save that would change a byte an intact
// signature depends on; CheckSum alone may change, the digest leaves it out. Nothing to refuse
// with breakSignature.
void GuardSignature(const CliContext& context, const std::string& file, const OpenImage& image,
    const HeaderWriteInput& input, const SaveChecks& checks, bool breakSignature);

struct ShowOptions {
    bool json = false;
    bool decimal = false;
    bool contents = false; // the decoded directories too
    std::vector<std::string> files;
};
int RunShow(const CliContext& context, const ShowOptions& options);

struct GetOptions {
    bool decimal = false;
    std::string file;
    std::vector<std::string> names;
};
int RunGet(const CliContext& context, const GetOptions& options);

struct SetOptions {
    bool checksum = false;
    bool dryRun = false;
    bool breakSignature = false; // write even what invalidates an intact signature
    std::string file;
    std::vector<std::string> assignments; // NAME=VALUE
};
int RunSet(const CliContext& context, const SetOptions& options);

struct ChecksumOptions {
    bool fix = false;
    bool strict = false; // a stored 0 differs like any other value
    bool breakSignature = false;
    std::vector<std::string> files;
};
int RunChecksum(const CliContext& context, const ChecksumOptions& options);

struct TimestampsOptions {
    bool dryRun = false;
    bool breakSignature = false;
    std::optional<std::string> time; // as given; SOURCE_DATE_EPOCH, else 0, when not
    std::vector<std::string> files;
};
int RunTimestamps(const CliContext& context, const TimestampsOptions& options);

struct DiffOptions {
    bool json = false;
    std::string first;
    std::string second;
};
int RunDiff(const CliContext& context, const DiffOptions& options);

struct DumpOptions {
    std::string file;
    std::optional<std::string> section; // index or name
    bool entry = false;
    std::optional<std::string> offset;
    std::optional<std::string> length;
};
int RunDump(const CliContext& context, const DumpOptions& options);

struct FindOptions {
    bool hex = false;
    bool utf16 = false;
    bool ignoreCase = false;
    std::string file;
    std::string pattern;
};
int RunFind(const CliContext& context, const FindOptions& options);

struct CheckOptions {
    bool json = false;
    std::vector<std::string> require; // comma-separated property names, as given
    std::vector<std::string> files;
};
// Exit status 1 when a required property is missing on any file, 2 for an unknown property name.
int RunCheck(const CliContext& context, const CheckOptions& options);
