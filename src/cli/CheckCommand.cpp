// korvex-cli check: how each file is hardened, one row per property with its evidence.
#include "cli/CliCommands.h"

#include "cli/FieldNaming.h"
#include "contents/Hardening.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

// The names in the comma-separated lists, folded to lower case. Throws CliFailure(kCliUsage)
// (reported) for a name that is no property.
std::vector<std::string> RequiredNames(const CliContext& context, const std::vector<std::string>& lists)
{
    std::vector<std::string> names;
    for (const std::string& list : lists) {
        std::stringstream parts(list);
        std::string name;
        while (std::getline(parts, name, ',')) {
            std::transform(name.begin(), name.end(), name.begin(),
                [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (name.empty())
                continue;
            const std::vector<std::string>& known = HardeningNames();
            if (std::find(known.begin(), known.end(), name) == known.end()) {
                const std::string hint = NearestNamesHint(name, known);
                std::string all;
                for (const std::string& each : known)
                    all += (all.empty() ? "" : ",") + each;
                const std::string message = "unknown property `" + name + "` for --require"
                    + (hint.empty() ? " (the properties are " + all + ")" : hint);
                Report(context, message);
                throw CliFailure(kCliUsage, message);
            }
            names.push_back(name);
        }
    }
    return names;
}

} // namespace

int RunCheck(const CliContext& context, const CheckOptions& options)
{
    std::vector<std::string> required;
    try {
        required = RequiredNames(context, options.require);
    } catch (const CliFailure& failure) {
        return failure.Status;
    }
    int status = kCliOk;
    for (const std::string& file : options.files) {
        status = std::max(status, ForFile(context, file, [&]() -> int {
            OpenImage image = OpenAndRead(context, file, FileStream::Mode::OpenRead, "check");
            const ImageContents contents = DecodeContents(*image.stream, image.headers);
            const std::vector<HardeningRow> rows = HardeningReport(*image.stream, image.headers, contents);
            std::vector<std::string> missing;
            for (const HardeningRow& row : rows)
                if (row.state == HardeningState::No
                    && std::find(required.begin(), required.end(), row.name) != required.end())
                    missing.emplace_back(row.name);
            if (options.json) {
                nlohmann::ordered_json json;
                json["file"] = file;
                json["properties"] = nlohmann::ordered_json::array();
                for (const HardeningRow& row : rows)
                    json["properties"].push_back({{"name", row.name}, {"title", row.title},
                        {"state", HardeningStateName(row.state)}, {"evidence", row.evidence}});
                json["missing"] = missing;
                context.out << json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
            } else {
                context.out << file << ":\n";
                for (const HardeningRow& row : rows) {
                    std::string name(row.name);
                    name.resize(std::max<size_t>(name.size(), 18), ' ');
                    std::string state(HardeningStateName(row.state));
                    state.resize(4, ' ');
                    context.out << "  " << name << ' ' << state << ' ' << row.evidence << '\n';
                }
                for (const std::string& name : missing)
                    context.out << "  required but missing: " << name << '\n';
            }
            return missing.empty() ? kCliOk : kCliCheckFailed;
        }));
    }
    return status;
}
