#pragma once
// show --contents: the decoded directories of one file for the command line.
#include "contents/Contents.h"

#include <nlohmann/json.hpp>

#include <string>

// The `contents` object (docs/korvex-cli-json.md).
nlohmann::ordered_json ContentsJson(const ImageContents& contents);
// The same object's JSON text (as the library dumps it: compact, invalid UTF-8 replaced), written
// straight after text without building the object.
void AppendContentsJson(std::string& text, const ImageContents& contents);
// The same as indented text, a "Contents" heading first.
std::string ContentsText(const ImageContents& contents);
