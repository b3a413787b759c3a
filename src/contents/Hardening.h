#pragma once
// How a PE image is hardened: each property the loader or the compiler can give it, read from
// the header flags, the load config, the debug directory, the CLR header and the signature, each
// with the evidence it was judged on.
#include "contents/Contents.h"

#include <string>
#include <string_view>
#include <vector>

// NotApplicable: the property means nothing for this image (SafeSEH off x86, native code
// properties of an IL-only .NET assembly); a requirement counts it as met.
enum class HardeningState { Yes, No, NotApplicable };

struct HardeningRow {
    std::string_view name; // "aslr", as --require takes it
    std::string_view title; // "ASLR"
    HardeningState state = HardeningState::No;
    std::string evidence;
};

// The property names, in report order.
const std::vector<std::string>& HardeningNames();

// One row per property, in HardeningNames() order. Reads the file for the checksum and the
// signature; throws the reader's errors only.
std::vector<HardeningRow> HardeningReport(
    const ByteReader& file, const ImageHeaders& headers, const ImageContents& contents);

// "yes", "no", "n/a".
std::string_view HardeningStateName(HardeningState state);
