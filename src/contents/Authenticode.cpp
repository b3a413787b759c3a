// Authenticode verification over OpenSSL: the DER, the certificates and the digests are OpenSSL's
// to parse and compute; this file picks the bytes and turns the outcomes into words.
#include "contents/Authenticode.h"

#include "header/FieldTable.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// Microsoft's object identifiers (not in OpenSSL's table).
constexpr const char* kSpcIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* kNestedSignatureOid = "1.3.6.1.4.1.311.2.4.1";
constexpr const char* kRfc3161TimeStampOid = "1.3.6.1.4.1.311.3.3.1";
constexpr const char* kTrustStore = "/etc/ssl/certs";
// Nested signatures may nest again, and a file may hold several: a hostile blob must not make
// that unbounded. Real files hold two or three; a signature blob is a few KiB to a few 100 KiB.
constexpr int kMaxNestingDepth = 3;
constexpr int kMaxSignatures = 64; // per file, nested ones included
constexpr uint32_t kMaxSignatureBlob = uint32_t{16} << 20;
constexpr size_t kDigestBlock = size_t{1} << 20;

template <auto Free> struct OsslDeleter {
    template <typename T> void operator()(T* object) const { Free(object); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, OsslDeleter<PKCS7_free>>;
using SignerInfoPtr = std::unique_ptr<PKCS7_SIGNER_INFO, OsslDeleter<PKCS7_SIGNER_INFO_free>>;
using X509SigPtr = std::unique_ptr<X509_SIG, OsslDeleter<X509_SIG_free>>;
using TstInfoPtr = std::unique_ptr<TS_TST_INFO, OsslDeleter<TS_TST_INFO_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OsslDeleter<EVP_MD_CTX_free>>;
using StorePtr = std::unique_ptr<X509_STORE, OsslDeleter<X509_STORE_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, OsslDeleter<X509_STORE_CTX_free>>;

void FreeTypeStack(STACK_OF(ASN1_TYPE) * items)
{
    sk_ASN1_TYPE_pop_free(items, ASN1_TYPE_free);
}
using TypeStackPtr = std::unique_ptr<STACK_OF(ASN1_TYPE), OsslDeleter<FreeTypeStack>>;

struct Range {
    uint64_t begin, end;
};

// The file's bytes the digest covers, in file order.
std::vector<Range> CoveredRanges(const AuthenticodeLayout& layout)
{
    std::vector<Range> skipped{{layout.checkSumPos, layout.checkSumPos + 4}};
    if (layout.hasSecurityEntry) {
        skipped.push_back({layout.securityEntryPos, layout.securityEntryPos + 8});
        if (layout.Signed())
            skipped.push_back({layout.tableOffset, layout.tableOffset + layout.tableSize});
    }
    std::sort(skipped.begin(), skipped.end(), [](Range a, Range b) { return a.begin < b.begin; });
    std::vector<Range> covered;
    uint64_t cursor = 0;
    for (const Range& skip : skipped) {
        const uint64_t until = std::min(skip.begin, layout.fileSize);
        if (until > cursor)
            covered.push_back({cursor, until});
        cursor = std::max(cursor, skip.end);
    }
    if (cursor < layout.fileSize)
        covered.push_back({cursor, layout.fileSize});
    return covered;
}

std::vector<uint8_t> DigestImage(const ByteReader& image, const AuthenticodeLayout& layout, const EVP_MD* md)
{
    MdCtxPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1)
        throw std::runtime_error("OpenSSL cannot start a digest");
    std::vector<uint8_t> block(kDigestBlock);
    for (const Range& range : CoveredRanges(layout)) {
        for (uint64_t pos = range.begin; pos < range.end;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), range.end - pos));
            const size_t got = image.ReadAt(pos, block.data(), want);
            if (got == 0)
                break; // the file shrank: what is there is what is digested
            EVP_DigestUpdate(context.get(), block.data(), got);
            pos += got;
        }
    }
    std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest.data(), &size);
    digest.resize(size);
    return digest;
}

std::string Hex(const uint8_t* bytes, size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

bool IsOid(const ASN1_OBJECT* object, const char* dotted)
{
    if (object == nullptr)
        return false;
    std::array<char, 128> text{};
    const int length = OBJ_obj2txt(text.data(), static_cast<int>(text.size()), object, 1);
    return length > 0 && static_cast<size_t>(length) < text.size() && std::strcmp(text.data(), dotted) == 0;
}

std::string NameText(const X509_NAME* name)
{
    if (name == nullptr)
        return {};
    char* text = X509_NAME_oneline(name, nullptr, 0);
    std::string result = text != nullptr ? text : "";
    OPENSSL_free(text);
    return result;
}

std::string SerialText(const ASN1_INTEGER* serial)
{
    BIGNUM* number = serial != nullptr ? ASN1_INTEGER_to_BN(serial, nullptr) : nullptr;
    char* text = number != nullptr ? BN_bn2hex(number) : nullptr;
    std::string result = text != nullptr ? text : "";
    OPENSSL_free(text);
    BN_free(number);
    return result;
}

std::string TimeText(const ASN1_TIME* time)
{
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text.data();
}

std::vector<const ASN1_TYPE*> AttributeValues(const STACK_OF(X509_ATTRIBUTE) * attributes, const char* oid)
{
    std::vector<const ASN1_TYPE*> values;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(attributes); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(attributes, i);
        if (!IsOid(X509_ATTRIBUTE_get0_object(attribute), oid))
            continue;
        for (int v = 0; v < X509_ATTRIBUTE_count(attribute); ++v)
            if (const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, v))
                values.push_back(value);
    }
    return values;
}

// The DER of an attribute value that must be a SEQUENCE, or nothing.
const ASN1_STRING* SequenceOf(const ASN1_TYPE* value)
{
    return value != nullptr && value->type == V_ASN1_SEQUENCE ? value->value.sequence : nullptr;
}

bool DigestEquals(const EVP_MD* md, const uint8_t* data, size_t size, const ASN1_OCTET_STRING* expected)
{
    std::array<uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestSize = 0;
    if (md == nullptr || expected == nullptr
        || EVP_Digest(data, size, digest.data(), &digestSize, md, nullptr) != 1)
        return false;
    return static_cast<unsigned int>(ASN1_STRING_length(expected)) == digestSize
        && std::memcmp(ASN1_STRING_get0_data(expected), digest.data(), digestSize) == 0;
}

// The signer's signature over its authenticated attributes (DER of the SET as received).
bool AttributesVerify(const PKCS7_SIGNER_INFO* signer, X509* certificate)
{
    EVP_PKEY* key = X509_get0_pubkey(certificate);
    const EVP_MD* md = EVP_get_digestbyobj(signer->digest_alg->algorithm);
    if (key == nullptr || md == nullptr || signer->enc_digest == nullptr)
        return false;
    unsigned char* attributes = nullptr;
    const int attributesSize = ASN1_item_i2d(
        reinterpret_cast<ASN1_VALUE*>(signer->auth_attr), &attributes, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    if (attributesSize <= 0)
        return false;
    MdCtxPtr context(EVP_MD_CTX_new());
    const bool verifies = context && EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, key) == 1
        && EVP_DigestVerify(context.get(), signer->enc_digest->data,
               static_cast<size_t>(signer->enc_digest->length), attributes,
               static_cast<size_t>(attributesSize))
            == 1;
    OPENSSL_free(attributes);
    return verifies;
}

// Digests of the file by algorithm, so nested signatures with the same algorithm read it once.
struct ImageDigests {
    const ByteReader& image;
    const AuthenticodeLayout& layout;
    std::map<int, std::vector<uint8_t>> done;

    const std::vector<uint8_t>& Of(const EVP_MD* md)
    {
        const int type = EVP_MD_get_type(md);
        auto found = done.find(type);
        if (found == done.end())
            found = done.emplace(type, DigestImage(image, layout, md)).first;
        return found->second;
    }
};

class SignatureChecker {
public:
    explicit SignatureChecker(ImageDigests& digests)
        : FDigests(digests)
    {
    }
    SignatureCheck Check(const uint8_t* der, size_t size, int depth);

private:
    bool ReadContent(PKCS7* pkcs7, SignatureCheck& check);
    PKCS7_SIGNER_INFO* ReadSigner(PKCS7* pkcs7, SignatureCheck& check, X509*& certificate);
    void ReadTimeStamp(PKCS7_SIGNER_INFO* signer, SignatureCheck& check);
    void BuildChain(PKCS7* pkcs7, X509* certificate, SignatureCheck& check);

    ImageDigests& FDigests;
    int FSignaturesLeft = kMaxSignatures;
    std::vector<uint8_t> FContent; // SpcIndirectDataContent without its SEQUENCE header
};

SignatureCheck Malformed(SignatureCheck check, std::string problem)
{
    check.state = SignatureState::Malformed;
    check.problem = std::move(problem);
    return check;
}

// The SpcIndirectDataContent: the digest stated for the file, and the bytes messageDigest is over.
bool SignatureChecker::ReadContent(PKCS7* pkcs7, SignatureCheck& check)
{
    const PKCS7* contents = pkcs7->d.sign->contents;
    if (contents == nullptr || !IsOid(contents->type, kSpcIndirectDataOid)) {
        check.problem = "the signed content is not an SpcIndirectDataContent";
        return false;
    }
    const ASN1_STRING* sequence = SequenceOf(contents->d.other);
    if (sequence == nullptr) {
        check.problem = "the SpcIndirectDataContent is not a SEQUENCE";
        return false;
    }
    const unsigned char* cursor = sequence->data;
    TypeStackPtr items(d2i_ASN1_SEQUENCE_ANY(nullptr, &cursor, sequence->length));
    const ASN1_STRING* digestInfoDer = items && sk_ASN1_TYPE_num(items.get()) >= 2
        ? SequenceOf(sk_ASN1_TYPE_value(items.get(), 1))
        : nullptr;
    cursor = digestInfoDer != nullptr ? digestInfoDer->data : nullptr;
    X509SigPtr digestInfo(
        cursor != nullptr ? d2i_X509_SIG(nullptr, &cursor, digestInfoDer->length) : nullptr);
    if (!digestInfo) {
        check.problem = "the SpcIndirectDataContent has no readable DigestInfo";
        return false;
    }
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* stated = nullptr;
    X509_SIG_get0(digestInfo.get(), &algorithm, &stated);
    const EVP_MD* md = EVP_get_digestbyobj(algorithm->algorithm);
    if (md == nullptr) {
        std::array<char, 128> oid{};
        OBJ_obj2txt(oid.data(), static_cast<int>(oid.size()), algorithm->algorithm, 1);
        check.problem = std::string("unknown digest algorithm ") + oid.data();
        return false;
    }
    check.digestAlgorithm = OBJ_nid2sn(EVP_MD_get_type(md));
    check.statedDigest = Hex(ASN1_STRING_get0_data(stated), static_cast<size_t>(ASN1_STRING_length(stated)));
    const std::vector<uint8_t>& computed = FDigests.Of(md);
    check.computedDigest = Hex(computed.data(), computed.size());

    // messageDigest is over the content octets of the SEQUENCE, without its tag and length.
    const unsigned char* body = sequence->data;
    long bodySize = 0;
    int tag = 0;
    int tagClass = 0;
    if (ASN1_get_object(&body, &bodySize, &tag, &tagClass, sequence->length) & 0x80) {
        check.problem = "the SpcIndirectDataContent's length is wrong";
        return false;
    }
    FContent.assign(body, body + bodySize);
    return true;
}

PKCS7_SIGNER_INFO* SignatureChecker::ReadSigner(PKCS7* pkcs7, SignatureCheck& check, X509*& certificate)
{
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(pkcs7);
    if (sk_PKCS7_SIGNER_INFO_num(signers) != 1) {
        check.problem = sk_PKCS7_SIGNER_INFO_num(signers) <= 0 ? "no signer" : "more than one signer";
        return nullptr;
    }
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    const PKCS7_ISSUER_AND_SERIAL* id = signer->issuer_and_serial;
    certificate = id != nullptr ? X509_find_by_issuer_and_serial(pkcs7->d.sign->cert, id->issuer, id->serial)
                                : nullptr;
    if (certificate == nullptr) {
        check.problem = "the signer's certificate is not in the signature";
        return nullptr;
    }
    check.signerSubject = NameText(X509_get_subject_name(certificate));
    check.signerIssuer = NameText(X509_get_issuer_name(certificate));
    check.signerSerial = SerialText(X509_get0_serialNumber(certificate));
    if (sk_X509_ATTRIBUTE_num(signer->auth_attr) <= 0) {
        check.problem = "the signer has no authenticated attributes";
        return nullptr;
    }
    return signer;
}

// The signing time: an RFC 3161 time stamp, else an Authenticode counter-signature; either is over
// the signer's signature value.
void SignatureChecker::ReadTimeStamp(PKCS7_SIGNER_INFO* signer, SignatureCheck& check)
{
    const ASN1_OCTET_STRING* signature = signer->enc_digest;
    for (const ASN1_TYPE* value : AttributeValues(signer->unauth_attr, kRfc3161TimeStampOid)) {
        const ASN1_STRING* der = SequenceOf(value);
        const unsigned char* cursor = der != nullptr ? der->data : nullptr;
        Pkcs7Ptr token(cursor != nullptr ? d2i_PKCS7(nullptr, &cursor, der->length) : nullptr);
        TstInfoPtr info(token && PKCS7_type_is_signed(token.get()) && token->d.sign != nullptr
                    && token->d.sign->contents != nullptr
                ? PKCS7_to_TS_TST_INFO(token.get())
                : nullptr);
        if (!info)
            continue;
        check.signingTime = TimeText(TS_TST_INFO_get_time(info.get()));
        check.timeSource = "RFC 3161 time stamp";
        TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
        check.timeStampMatches = imprint != nullptr && signature != nullptr
            && DigestEquals(EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm), signature->data,
                static_cast<size_t>(signature->length), TS_MSG_IMPRINT_get_msg(imprint));
        return;
    }
    const ASN1_TYPE* value = PKCS7_get_attribute(signer, NID_pkcs9_countersignature);
    const ASN1_STRING* der = SequenceOf(value);
    const unsigned char* cursor = der != nullptr ? der->data : nullptr;
    SignerInfoPtr counter(cursor != nullptr ? d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, der->length) : nullptr);
    if (!counter)
        return;
    const ASN1_TYPE* time = PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime);
    if (time != nullptr && (time->type == V_ASN1_UTCTIME || time->type == V_ASN1_GENERALIZEDTIME))
        check.signingTime = TimeText(time->value.utctime);
    check.timeSource = "Authenticode counter-signature";
    check.timeStampMatches = signature != nullptr && counter->digest_alg != nullptr
        && DigestEquals(EVP_get_digestbyobj(counter->digest_alg->algorithm), signature->data,
            static_cast<size_t>(signature->length), PKCS7_digest_from_attributes(counter->auth_attr));
}

void SignatureChecker::BuildChain(PKCS7* pkcs7, X509* certificate, SignatureCheck& check)
{
    StorePtr store(X509_STORE_new());
    StoreCtxPtr context(X509_STORE_CTX_new());
    if (!store || !context || X509_STORE_load_path(store.get(), kTrustStore) != 1
        || X509_STORE_CTX_init(context.get(), store.get(), certificate, pkcs7->d.sign->cert) != 1) {
        check.trust = std::string("the system trust store (") + kTrustStore + ") cannot be read";
        check.chain = {check.signerSubject};
        return;
    }
    // Certificates are judged at the time the signature was made when a time stamp says when.
    std::tm parts{};
    if (!check.signingTime.empty()
        && strptime(check.signingTime.c_str(), "%Y-%m-%d %H:%M:%S", &parts) != nullptr)
        X509_STORE_CTX_set_time(context.get(), 0, timegm(&parts));
    check.chainTrusted = X509_verify_cert(context.get()) == 1;
    const int error = X509_STORE_CTX_get_error(context.get());
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    for (int i = 0; i < sk_X509_num(chain); ++i)
        check.chain.push_back(NameText(X509_get_subject_name(sk_X509_value(chain, i))));
    if (check.chain.empty())
        check.chain.push_back(check.signerSubject);
    X509* last = sk_X509_num(chain) > 0 ? sk_X509_value(chain, sk_X509_num(chain) - 1) : certificate;
    const std::string storeName = std::string("the system trust store (") + kTrustStore + ")";
    if (check.chainTrusted) {
        check.trust = "ends at a root in " + storeName + ": " + check.chain.back();
    } else if (error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY
        || error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT) {
        check.trust = "the root is not in " + storeName + ": the chain ends at " + check.chain.back()
            + ", issued by " + NameText(X509_get_issuer_name(last));
    } else if (error == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN
        || error == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) {
        check.trust = "the chain ends at the root " + check.chain.back() + ", which is not in " + storeName;
    } else {
        check.trust = std::string("the chain does not verify: ") + X509_verify_cert_error_string(error);
    }
}

SignatureCheck SignatureChecker::Check(const uint8_t* der, size_t size, int depth)
{
    SignatureCheck check;
    if (--FSignaturesLeft < 0)
        return Malformed(check, "more than " + std::to_string(kMaxSignatures) + " signatures");
    const unsigned char* cursor = der;
    Pkcs7Ptr pkcs7(size <= static_cast<size_t>(LONG_MAX)
            ? d2i_PKCS7(nullptr, &cursor, static_cast<long>(size))
            : nullptr);
    if (!pkcs7)
        return Malformed(check, "not a DER PKCS#7 structure");
    if (!PKCS7_type_is_signed(pkcs7.get()) || pkcs7->d.sign == nullptr)
        return Malformed(check, "not a PKCS#7 SignedData");
    if (!ReadContent(pkcs7.get(), check))
        return Malformed(check, check.problem);
    X509* certificate = nullptr;
    PKCS7_SIGNER_INFO* signer = ReadSigner(pkcs7.get(), check, certificate);
    if (signer == nullptr)
        return Malformed(check, check.problem);

    const EVP_MD* signerMd = EVP_get_digestbyobj(signer->digest_alg->algorithm);
    check.messageDigestMatches = DigestEquals(
        signerMd, FContent.data(), FContent.size(), PKCS7_digest_from_attributes(signer->auth_attr));
    check.signerSignatureVerifies = AttributesVerify(signer, certificate);
    ReadTimeStamp(signer, check);
    BuildChain(pkcs7.get(), certificate, check);

    for (const ASN1_TYPE* value : AttributeValues(signer->unauth_attr, kNestedSignatureOid)) {
        const ASN1_STRING* nested = SequenceOf(value);
        if (depth >= kMaxNestingDepth)
            check.nested.push_back(Malformed({}, "signatures nested more than 3 deep"));
        else if (nested == nullptr)
            check.nested.push_back(Malformed({}, "a nested signature is not a SEQUENCE"));
        else
            check.nested.push_back(Check(nested->data, static_cast<size_t>(nested->length), depth + 1));
        if (FSignaturesLeft < 0)
            break;
    }
    ERR_clear_error();

    if (!check.messageDigestMatches)
        return Malformed(check, "the messageDigest attribute does not match the signed content");
    if (!check.signerSignatureVerifies)
        return Malformed(check, "the signer's signature does not verify");
    check.state
        = check.statedDigest == check.computedDigest ? SignatureState::Intact : SignatureState::Changed;
    return check;
}

// The worst state of a signature and those nested in it, with the problem that made it so.
void Combine(const SignatureCheck& check, SignatureState& state, std::string& problem)
{
    auto rank = [](SignatureState s) {
        return s == SignatureState::Malformed ? 3 : s == SignatureState::Changed ? 2 : 1;
    };
    if (rank(check.state) > rank(state)) {
        state = check.state;
        problem = check.problem;
    }
    for (const SignatureCheck& nested : check.nested)
        Combine(nested, state, problem);
}

} // namespace

AuthenticodeLayout AuthenticodeLayoutOf(const ImageHeaders& headers)
{
    AuthenticodeLayout layout;
    layout.fileSize = headers.fileSize;
    if (headers.kind != ImageKind::Pe)
        return layout;
    layout.checkSumPos = CheckSumPosition(headers.peOffset);
    constexpr int kSecurity = 4;
    if (headers.directoryEntries > kSecurity) {
        layout.hasSecurityEntry = true;
        layout.securityEntryPos = FieldPosition(
            DataDirectoryFields(headers.layout)[2 * kSecurity], headers.peOffset, headers.optHeaderSize);
        layout.tableOffset = headers.directories[2 * kSecurity];
        layout.tableSize = headers.directories[2 * kSecurity + 1];
    }
    return layout;
}

std::vector<uint8_t> AuthenticodeDigest(
    const ByteReader& image, const AuthenticodeLayout& layout, std::string_view algorithm)
{
    const EVP_MD* md = EVP_get_digestbyname(std::string(algorithm).c_str());
    if (md == nullptr)
        throw std::invalid_argument("unknown digest algorithm " + std::string(algorithm));
    return DigestImage(image, layout, md);
}

CertificateList ReadCertificateList(const ByteReader& image, uint64_t tableOffset, uint64_t tableSize)
{
    CertificateList list;
    const uint64_t end = tableOffset + tableSize;
    uint64_t pos = tableOffset;
    if (tableSize < 8)
        list.problem = "the certificate table is shorter than a WIN_CERTIFICATE header";
    while (end >= pos + 8) {
        std::array<uint8_t, 8> header{};
        if (image.ReadAt(pos, header.data(), header.size()) != header.size()) {
            list.problem = "the certificate table runs past the end of the file";
            break;
        }
        CertificateEntry entry;
        entry.offset = pos;
        entry.length = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
        entry.revision = static_cast<uint16_t>(header[4] | header[5] << 8);
        entry.type = static_cast<uint16_t>(header[6] | header[7] << 8);
        if (entry.length < 8 || entry.length > end - pos) {
            std::array<char, 160> text{};
            std::snprintf(text.data(), text.size(),
                "the WIN_CERTIFICATE at file offset 0x%llX has length %u, %s",
                static_cast<unsigned long long>(pos), entry.length,
                entry.length < 8 ? "less than its 8-byte header" : "past the end of the certificate table");
            list.problem = text.data();
            break;
        }
        list.entries.push_back(entry);
        pos += (uint64_t{entry.length} + 7) & ~uint64_t{7};
    }
    return list;
}

SignatureCheck CheckSignatureBlob(
    const ByteReader& image, const AuthenticodeLayout& layout, const uint8_t* der, size_t size)
{
    ImageDigests digests{image, layout, {}};
    SignatureChecker checker(digests);
    SignatureCheck check = checker.Check(der, size, 0);
    ERR_clear_error();
    return check;
}

AuthenticodeReport VerifyAuthenticode(const ByteReader& image, const ImageHeaders& headers)
{
    AuthenticodeReport report;
    report.layout = AuthenticodeLayoutOf(headers);
    const AuthenticodeLayout& layout = report.layout;
    if (!layout.hasSecurityEntry || !layout.Signed())
        return report;
    auto malformed = [&report](std::string problem) {
        report.state = SignatureState::Malformed;
        report.problem = std::move(problem);
        return report;
    };
    if (layout.tableOffset > layout.fileSize || layout.tableSize > layout.fileSize - layout.tableOffset)
        return malformed("the certificate table runs past the end of the file");
    if (layout.tableOffset < layout.securityEntryPos + 8)
        return malformed("the certificate table overlaps the headers");

    CertificateList list = ReadCertificateList(image, layout.tableOffset, layout.tableSize);
    report.entries = list.entries;
    ImageDigests digests{image, layout, {}};
    SignatureChecker checker(digests);
    std::vector<uint8_t> blob;
    for (const CertificateEntry& entry : list.entries) {
        if (entry.type != kWinCertTypePkcsSignedData)
            continue;
        if (entry.length - 8 > kMaxSignatureBlob)
            return malformed("a WIN_CERTIFICATE of " + std::to_string(entry.length)
                + " bytes, larger than any signature (16 MiB)");
        blob.resize(entry.length - 8);
        if (image.ReadAt(entry.offset + 8, blob.data(), blob.size()) != blob.size())
            return malformed("the certificate table runs past the end of the file");
        report.signatures.push_back(checker.Check(blob.data(), blob.size(), 0));
    }
    ERR_clear_error();
    if (!list.problem.empty())
        return malformed(list.problem);
    if (report.signatures.empty())
        return malformed("the certificate table holds no PKCS#7 SignedData");
    report.state = SignatureState::Intact;
    for (const SignatureCheck& check : report.signatures)
        Combine(check, report.state, report.problem);
    return report;
}

std::string SignatureStateText(SignatureState state, std::string_view problem)
{
    switch (state) {
    case SignatureState::NotSigned:
        return "not signed";
    case SignatureState::Intact:
        return "signature intact (digest matches, signer's signature verifies)";
    case SignatureState::Changed:
        return "file changed after signing (digest differs)";
    case SignatureState::Malformed:
        break;
    }
    return "malformed signature: " + std::string(problem);
}

std::string SignatureStateText(const AuthenticodeReport& report)
{
    return SignatureStateText(report.state, report.problem);
}

std::string_view SignatureStateName(SignatureState state)
{
    switch (state) {
    case SignatureState::NotSigned:
        return "not-signed";
    case SignatureState::Intact:
        return "intact";
    case SignatureState::Changed:
        return "changed";
    case SignatureState::Malformed:
        break;
    }
    return "malformed";
}
