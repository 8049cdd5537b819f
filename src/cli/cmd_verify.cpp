// `verify-log FILE`: whether a rip log is as it was written (its checksum line matches).
// `verify`: reads the disc's audio tracks without writing audio, computes their checksums
// and compares them with AccurateRip and the CUETools database.
#include <iostream>

#include "cli/Cli.h"
#include "rip/RipLog.h"

namespace quarrow::cli {

namespace {

constexpr int kUsageError = 64;

int RunVerifyLog(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json") || app.json;
    if (args.size() != 1) {
        std::cerr << "usage: verify-log [--json] FILE\n";
        return kUsageError;
    }
    const LogCheck check = CheckRipLogFile(args[0]);
    static const char* const kNames[] = {"intact", "edited", "no checksum", "unreadable"};
    if (json)
        PrintJson(std::cout, {{"file", args[0]},
                              {"status", kNames[static_cast<int>(check.status)]},
                              {"message", check.message}});
    else
        (check.status == LogIntegrity::Intact ? std::cout : std::cerr) << TerminalText(check.message) << "\n";
    switch (check.status) {
        case LogIntegrity::Intact: return 0;
        case LogIntegrity::Unreadable: return 2;
        default: return 1;
    }
}

CommandRegistrar verifyLogCommand({"verify-log", "verify-log [--json] FILE", false, RunVerifyLog});

}  // namespace

}  // namespace quarrow::cli
