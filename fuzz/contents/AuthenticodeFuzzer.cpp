// Any bytes as the PKCS#7 blob of a WIN_CERTIFICATE, checked against a small image: OpenSSL
// parses, Korvex walks what it parsed (content, signer, attributes, time stamps, nested
// signatures); nothing may crash, hang or leak.
#include "contents/Authenticode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const MemoryBytes image(std::vector<uint8_t>(4096, 0x5A));
    AuthenticodeLayout layout;
    layout.fileSize = image.Size();
    layout.checkSumPos = 0xD8;
    layout.hasSecurityEntry = true;
    layout.securityEntryPos = 0x128;
    const SignatureCheck check = CheckSignatureBlob(image, layout, data, size);
    // The words are part of what is checked: every state has its text.
    if (SignatureStateText(check.state, check.problem).empty()
        || (check.state == SignatureState::Malformed && check.problem.empty()))
        __builtin_trap();
    return 0;
}
