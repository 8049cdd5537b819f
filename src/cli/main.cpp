// quarrow-cli: start-up as the main window does it (home folder, settings, event log,
// drives, drive selection), one command, then the orderly shutdown.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "cli/Cli.h"
#include "cli/Startup.h"

using namespace quarrow;
using namespace quarrow::cli;

namespace {

void Usage(std::ostream& out) {
    out << "usage: quarrow-cli [--home DIR] [--drive DEVICE|IMAGE] [--yes] [--match N] COMMAND [ARGS]\n"
           "commands:\n";
    for (const CommandInfo& c : Commands()) out << "  " << c.usage << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    GlobalOptions options;
    std::string value;
    while (TakeOption(args, "--home", value)) options.home = value;
    while (TakeOption(args, "--drive", value)) options.drives.push_back(value);
    if (TakeOption(args, "--match", value)) {
        char* end = nullptr;
        long n = std::strtol(value.c_str(), &end, 10);
        if (!end || *end || n < 1 || n > 1000) {
            std::cerr << "error: --match needs a positive number, not \"" << value << "\"\n";
            return 64;
        }
        options.match = static_cast<int>(n);
    }
    options.assumeYes = TakeFlag(args, "--yes");
    if (args.empty() || args[0] == "--help" || args[0] == "help") {
        Usage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 64 : 0;
    }
    const std::string name = args[0];
    args.erase(args.begin());
    const CommandInfo* command = nullptr;
    for (const CommandInfo& c : Commands())
        if (c.name == name) command = &c;
    if (!command) {
        std::cerr << "error: unknown command \"" << name << "\"\n";
        Usage(std::cerr);
        return 64;
    }

    CliApp app;
    if (!command->needsDrive) {
        std::string error;
        app.home = ResolveHomeFolder(options.home, argv[0], &error);
        if (app.home.empty()) {
            std::cerr << "error: " << error << "\n";
            return 64;
        }
        app.prompter.assumeYes = options.assumeYes;
        app.prompter.match = options.match;
        try {
            return command->run(app, args);
        } catch (const std::exception& e) {
            std::cerr << "error: " << e.what() << "\n";
            return 1;
        }
    }

    int status = StartUp(app, options, argv[0], command->driveOptional);
    if (status != 0) return status;
    try {
        status = command->run(app, args);
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        status = 1;
    }
    ShutDown(app);
    return status;
}
