// korvex-cli verify: each file's Authenticode signatures, in words or as JSON Lines.
#include "cli/VerifyCommand.h"

#include "contents/Authenticode.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

Json SignatureJson(const SignatureCheck& check)
{
    Json json;
    json["state"] = SignatureStateName(check.state);
    json["result"] = SignatureStateText(check.state, check.problem);
    json["digest_algorithm"] = check.digestAlgorithm;
    json["stated_digest"] = check.statedDigest;
    json["computed_digest"] = check.computedDigest;
    json["message_digest_matches"] = check.messageDigestMatches;
    json["signer_signature_verifies"] = check.signerSignatureVerifies;
    json["signer"]
        = {{"subject", check.signerSubject}, {"issuer", check.signerIssuer}, {"serial", check.signerSerial}};
    json["chain"] = check.chain;
    json["chain_trusted"] = check.chainTrusted;
    json["trust"] = check.trust;
    json["signing_time"] = check.signingTime;
    json["time_source"] = check.timeSource;
    json["time_stamp_matches"] = check.timeStampMatches;
    json["nested"] = Json::array();
    for (const SignatureCheck& nested : check.nested)
        json["nested"].push_back(SignatureJson(nested));
    return json;
}

Json ReportJson(const std::string& file, const AuthenticodeReport& report)
{
    Json json;
    json["file"] = file;
    json["state"] = SignatureStateName(report.state);
    json["result"] = SignatureStateText(report);
    json["certificate_table"] = {{"offset", report.layout.tableOffset}, {"size", report.layout.tableSize}};
    json["certificates"] = Json::array();
    for (const CertificateEntry& entry : report.entries)
        json["certificates"].push_back({{"offset", entry.offset}, {"dwLength", entry.length},
            {"wRevision", entry.revision}, {"wCertificateType", entry.type}});
    json["signatures"] = Json::array();
    for (const SignatureCheck& check : report.signatures)
        json["signatures"].push_back(SignatureJson(check));
    return json;
}

void PrintSignature(
    std::ostream& out, const SignatureCheck& check, const std::string& title, const std::string& indent)
{
    out << indent << title << ": " << SignatureStateText(check.state, check.problem) << '\n';
    const std::string in = indent + "  ";
    if (!check.digestAlgorithm.empty()) {
        out << in << "digest algorithm: " << check.digestAlgorithm << '\n';
        out << in << "stated digest:    " << check.statedDigest << '\n';
        out << in << "computed digest:  " << check.computedDigest << '\n';
    }
    if (!check.signerSubject.empty()) {
        out << in << "signer:           " << check.signerSubject << '\n';
        out << in << "issuer:           " << check.signerIssuer << '\n';
        out << in << "serial:           " << check.signerSerial << '\n';
    }
    if (!check.signingTime.empty())
        out << in << "signing time:     " << check.signingTime << " (" << check.timeSource
            << (check.timeStampMatches ? "" : ", not over this signature") << ")\n";
    for (size_t i = 0; i < check.chain.size(); ++i)
        out << in << (i == 0 ? "chain:            " : "                  ") << check.chain[i] << '\n';
    if (!check.trust.empty())
        out << in << "trust:            " << check.trust << '\n';
    for (size_t i = 0; i < check.nested.size(); ++i)
        PrintSignature(out, check.nested[i], "nested signature " + std::to_string(i + 1), in);
}

} // namespace

CLI::App* AddVerify(CLI::App& app, VerifyOptions& verify, const char* exitStatus)
{
    CLI::App* command = app.add_subcommand("verify",
        "Check each file's Authenticode signatures: the digest over the file, the signer's signature, the "
        "certificate chain and the signing time");
    command->add_flag("--json", verify.json, "One JSON object per file, one per line (JSON Lines)");
    command->add_option("FILE", verify.files, "PE files")->required();
    command->footer(exitStatus);
    return command;
}

int RunVerify(const CliContext& context, const VerifyOptions& options)
{
    int status = kCliOk;
    for (const std::string& file : options.files) {
        const int fileStatus = ForFile(context, file, [&] {
            OpenImage image = OpenAndRead(context, file, FileStream::Mode::OpenRead, "verify");
            const AuthenticodeReport report = VerifyAuthenticode(*image.stream, image.headers);
            if (options.json) {
                context.out
                    << ReportJson(file, report).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                    << '\n';
            } else {
                context.out << file << ": " << SignatureStateText(report) << '\n';
                for (size_t i = 0; i < report.signatures.size(); ++i)
                    PrintSignature(
                        context.out, report.signatures[i], "signature " + std::to_string(i + 1), "  ");
            }
            return report.state == SignatureState::Intact ? kCliOk : kCliCheckFailed;
        });
        status = std::max(status, fileStatus);
    }
    return status;
}
