#pragma once
// What the decoders share.
#include "contents/Contents.h"

#include <string>
#include <string_view>

// "<structure> at file offset 0x...: <text>"
inline void Anomaly(
    ImageContents& contents, std::string_view structure, uint64_t offset, const std::string& text)
{
    std::string line(structure);
    line.append(" at file offset ").append(HexOffset(offset)).append(": ").append(text);
    contents.anomalies.push_back(std::move(line));
}
