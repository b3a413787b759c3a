#pragma once
// show --contents: the decoded directories of one file for the command line.
#include "contents/Contents.h"

#include <nlohmann/json.hpp>

#include <string>

// The `contents` object (docs/korvex-cli-json.md).
nlohmann::ordered_json ContentsJson(const ImageContents& contents);
// The same as indented text, a "Contents" heading first.
std::string ContentsText(const ImageContents& contents);
