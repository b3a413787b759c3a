#pragma once
// Authenticode: what each PKCS#7 signature in the certificate table states, checked against the
// file. OpenSSL parses and verifies; Korvex only chooses the bytes the digest covers and words
// the results.
#include "header/ImageReader.h"

#include "base/ByteIo.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where the bytes the Authenticode digest leaves out lie in a PE image: the CheckSum field, the
// Security directory entry and the certificate table (the Security entry's "RVA" is a file offset).
struct AuthenticodeLayout {
    bool hasSecurityEntry = false; // the data directories shown reach entry 4
    uint64_t checkSumPos = 0;
    uint64_t securityEntryPos = 0;
    uint64_t tableOffset = 0; // 0 with tableSize 0: no certificate table
    uint64_t tableSize = 0;
    uint64_t fileSize = 0;

    bool Signed() const { return tableOffset != 0 && tableSize != 0; }
};

// The layout of a Pe image as the header reader saw it (hasSecurityEntry false for any other kind).
AuthenticodeLayout AuthenticodeLayoutOf(const ImageHeaders& headers);

// The digest of the image with the Authenticode rules, streamed through OpenSSL's digest named
// algorithm ("SHA256", "SHA1", ...): every byte of the file but the left-out ones. Throws
// std::invalid_argument for an unknown algorithm, and the reader's errors.
std::vector<uint8_t> AuthenticodeDigest(
    const ByteReader& image, const AuthenticodeLayout& layout, std::string_view algorithm);

enum class SignatureState { NotSigned, Intact, Changed, Malformed };

// One PKCS#7 SignedData signature (the WIN_CERTIFICATE's own, or one nested in it).
struct SignatureCheck {
    SignatureState state = SignatureState::Malformed;
    std::string problem; // Malformed: what is wrong, in plain words
    std::string digestAlgorithm; // as stated in SpcIndirectDataContent ("SHA256")
    std::string statedDigest; // lower-case hex, as stated
    std::string computedDigest; // lower-case hex, over the file
    std::string signerSubject, signerIssuer, signerSerial; // names as /C=../CN=.., serial in hex
    bool messageDigestMatches = false; // the messageDigest attribute is the signed content's digest
    bool signerSignatureVerifies = false; // the signature over the authenticated attributes
    std::vector<std::string> chain; // subjects, the signer's first, as far as it could be built
    bool chainTrusted = false; // it ends at a root of the system's trust store
    std::string trust; // the chain's outcome in plain words
    std::string signingTime; // "YYYY-MM-DD HH:MM:SS UTC", empty when the signature has none
    std::string timeSource; // "RFC 3161 time stamp" or "Authenticode counter-signature"
    bool timeStampMatches = false; // the time stamp is over this signer's signature
    std::vector<SignatureCheck> nested; // the nested-signature attribute's signatures
};

// One WIN_CERTIFICATE of the certificate table.
struct CertificateEntry {
    uint64_t offset = 0; // file offset of the entry
    uint32_t length = 0; // dwLength (header included)
    uint16_t revision = 0;
    uint16_t type = 0; // 2: PKCS#7 SignedData
};
inline constexpr uint16_t kWinCertTypePkcsSignedData = 2;

// The WIN_CERTIFICATE entries of the certificate table (each starts 8-byte aligned). An entry
// whose length is below its header or runs past the table ends the list with problem set.
struct CertificateList {
    std::vector<CertificateEntry> entries;
    std::string problem;
};
CertificateList ReadCertificateList(const ByteReader& image, uint64_t tableOffset, uint64_t tableSize);

struct AuthenticodeReport {
    SignatureState state = SignatureState::NotSigned;
    std::string problem; // Malformed: the first problem found
    AuthenticodeLayout layout;
    std::vector<CertificateEntry> entries;
    std::vector<SignatureCheck> signatures; // one per PKCS#7 entry, in table order
};

// Verifies every signature of the image. Hostile tables and blobs give Malformed; only the
// reader's own errors (an unreadable file) are thrown.
AuthenticodeReport VerifyAuthenticode(const ByteReader& image, const ImageHeaders& headers);

// Checks one DER PKCS#7 blob against the image (the fuzzer's and the tests' way in).
SignatureCheck CheckSignatureBlob(
    const ByteReader& image, const AuthenticodeLayout& layout, const uint8_t* der, size_t size);

// "not signed", "signature intact (digest matches, signer's signature verifies)", "file changed
// after signing (digest differs)" or "malformed signature: <problem>".
std::string SignatureStateText(SignatureState state, std::string_view problem);
std::string SignatureStateText(const AuthenticodeReport& report);
// "not-signed", "intact", "changed", "malformed": the JSON value.
std::string_view SignatureStateName(SignatureState state);
