#pragma once
// korvex-cli verify: the Authenticode signatures of each file, checked.
#include "cli/CliSupport.h"

#include <string>
#include <vector>

namespace CLI {
class App;
}

struct VerifyOptions {
    bool json = false;
    std::vector<std::string> files;
};

// Adds the verify command to app; its options land in verify; exitStatus is the help's footer.
CLI::App* AddVerify(CLI::App& app, VerifyOptions& verify, const char* exitStatus);
// Exit status 0 when every file's signature is intact, 1 when any is not (not signed included),
// 3 when a file cannot be read or is no PE image.
int RunVerify(const CliContext& context, const VerifyOptions& options);
