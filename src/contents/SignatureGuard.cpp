// The save's bytes against the file's, then, only if a signed byte would change, the signature.
#include "contents/SignatureGuard.h"

#include <optional>

namespace {

// The first byte the ranges change outside the CheckSum field, if any.
std::optional<uint64_t> FirstSignedChange(
    const ByteReader& file, const AuthenticodeLayout& layout, const std::vector<WriteRange>& ranges)
{
    std::optional<uint64_t> first;
    std::vector<uint8_t> old;
    for (const WriteRange& range : ranges) {
        old.assign(range.bytes.size(), 0);
        const size_t got = file.ReadAt(range.position, old.data(), old.size());
        for (size_t i = 0; i < range.bytes.size(); ++i) {
            const uint64_t pos = range.position + i;
            const bool inCheckSum = pos >= layout.checkSumPos && pos < layout.checkSumPos + 4;
            if ((i >= got || old[i] != range.bytes[i]) && !inCheckSum && (!first || pos < *first))
                first = pos;
        }
    }
    return first;
}

} // namespace

SignatureBreak CheckSignatureBreak(
    const ByteReader& file, const ImageHeaders& headers, const std::vector<WriteRange>& ranges)
{
    SignatureBreak result;
    const AuthenticodeLayout layout = AuthenticodeLayoutOf(headers);
    if (!layout.hasSecurityEntry || !layout.Signed())
        return result;
    const std::optional<uint64_t> first = FirstSignedChange(file, layout, ranges);
    if (!first)
        return result;
    result.report = VerifyAuthenticode(file, headers);
    result.breaks = result.report.state == SignatureState::Intact;
    result.firstChanged = *first;
    return result;
}
