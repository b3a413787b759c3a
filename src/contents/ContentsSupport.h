#pragma once
// What the decoders share.
#include "contents/Contents.h"

#include <string>
#include <string_view>

// "<structure> at file offset 0x...: <text>"; after kMaxAnomalies one line says there were more.
inline void Anomaly(
    ImageContents& contents, std::string_view structure, uint64_t offset, const std::string& text)
{
    if (contents.anomalies.size() > kMaxAnomalies)
        return;
    if (contents.anomalies.size() == kMaxAnomalies) {
        contents.anomalies.push_back("More anomalies: not listed");
        return;
    }
    std::string line(structure);
    line.append(" at file offset ").append(HexOffset(offset)).append(": ").append(text);
    contents.anomalies.push_back(std::move(line));
}
