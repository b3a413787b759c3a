// diff: two images compared part by part, in words or as JSON Lines; the exit status is cmp's.
#include "cli/CliCommands.h"

#include "contents/Diff.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

std::string Hex(uint64_t value)
{
    return "0x" + HexText(value, 1);
}

Json DifferenceJson(const Difference& d)
{
    Json object = {{"part", d.part}, {"name", d.name}};
    if (d.part == "bytes") {
        object["count"] = d.count;
        Json ranges = Json::array();
        for (const DiffByteRange& range : d.ranges)
            ranges.push_back(
                {{"offset_a", range.offsetA}, {"offset_b", range.offsetB}, {"length", range.length}});
        object["ranges"] = std::move(ranges);
        object["range_count"] = d.rangeCount;
        return object;
    }
    object["change"] = DiffChangeName(d.change);
    auto value = [](const std::optional<uint64_t>& number, const std::string& text) {
        return number ? Json(*number) : text.empty() ? Json() : Json(text);
    };
    if (d.change != DiffChange::Added)
        object["old"] = value(d.oldValue, d.oldText);
    if (d.change != DiffChange::Removed)
        object["new"] = value(d.newValue, d.newText);
    if (d.oldValue && d.newValue && (!d.oldText.empty() || !d.newText.empty())) {
        object["old_name"] = d.oldText;
        object["new_name"] = d.newText;
    }
    if (!d.flagsAdded.empty() || !d.flagsRemoved.empty()) {
        object["flags_added"] = d.flagsAdded;
        object["flags_removed"] = d.flagsRemoved;
    }
    return object;
}

} // namespace

int RunDiff(const CliContext& context, const DiffOptions& options)
{
    struct Side {
        OpenImage image;
        ImageContents contents;
    };
    std::optional<Side> sides[2];
    int status = kCliOk;
    const std::string* names[2] = {&options.first, &options.second};
    for (int s = 0; s < 2; ++s) {
        status = std::max(status, ForFile(context, *names[s], [&]() -> int {
            Side& side = sides[s].emplace();
            side.image = OpenAndRead(context, *names[s], FileStream::Mode::OpenRead, "diff");
            side.contents = DecodeContents(*side.image.stream, side.image.headers);
            return kCliOk;
        }));
    }
    if (status != kCliOk)
        return status;
    return ForFile(context, options.second, [&]() -> int {
        const DiffSide a{*sides[0]->image.stream, sides[0]->image.headers, sides[0]->contents};
        const DiffSide b{*sides[1]->image.stream, sides[1]->image.headers, sides[1]->contents};
        const std::vector<Difference> differences = DiffImages(a, b);
        std::string text;
        for (const Difference& d : differences) {
            if (options.json)
                text += DifferenceJson(d).dump() + "\n";
            else
                text += DifferenceText(d, Hex) + "\n";
        }
        context.out << text;
        return differences.empty() ? kCliOk : kCliCheckFailed;
    });
}
