#pragma once
// Whether a planned header save would invalidate an intact Authenticode signature: a save may
// change CheckSum (the digest leaves it out) but no other byte of a signed file, since the digest
// covers the rest and the Security directory entry and the certificate table hold the signature.
#include "contents/Authenticode.h"

#include "header/HeaderWriter.h"

#include <cstdint>
#include <vector>

struct SignatureBreak {
    bool breaks = false; // the save changes a byte an intact signature depends on
    uint64_t firstChanged = 0; // breaks: the first such byte's file offset
    AuthenticodeReport report; // breaks: the signature it would invalidate
};

// Compares the ranges a save would write with the file's bytes; verifies the signature only when
// a byte other than CheckSum would change. Throws the reader's errors.
SignatureBreak CheckSignatureBreak(
    const ByteReader& file, const ImageHeaders& headers, const std::vector<WriteRange>& ranges);
