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
#include "rip/AppShell.h"

using namespace quarrow;
using namespace quarrow::cli;

namespace {

// The window's opening without a window: drives are listed by the `drives` command, and
// the drive selection's refresh runs at once, for the commands that read the disc.
class CliShellView : public ShellView {
public:
    CliShellView(CliApp& app, const CommandInfo& command, const std::vector<std::string>& args)
        : app_(app), command_(command), args_(args) {}
    void StartRefresh() override {
        if (command_.startRefresh) command_.startRefresh(app_, args_);
    }

private:
    CliApp& app_;
    const CommandInfo& command_;
    const std::vector<std::string>& args_;
};

void Usage(std::ostream& out) {
    out << "usage: quarrow-cli [--home DIR] [--drive DEVICE|IMAGE] [--yes] [--match N] COMMAND [ARGS]\n"
           "commands:\n";
    for (const CommandInfo& c : Commands()) out << "  " << c.usage << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ShellOptions options;
    options.argv0 = argv[0];
    std::string value;
    int match = -1;
    while (TakeOption(args, "--home", value)) options.home = value;
    while (TakeOption(args, "--drive", value)) options.drives.push_back(value);
    if (TakeOption(args, "--match", value)) {
        char* end = nullptr;
        long n = std::strtol(value.c_str(), &end, 10);
        if (!end || *end || n < 1 || n > 1000) {
            std::cerr << "error: --match needs a positive number, not \"" << value << "\"\n";
            return 64;
        }
        match = static_cast<int>(n);
    }
    const bool assumeYes = TakeFlag(args, "--yes");
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
    app.prompter.assumeYes = assumeYes;
    app.prompter.match = match;
    if (!command->needsDrive) {
        std::string error;
        app.home = ResolveHomeFolder(options.home, argv[0], &error);
        if (app.home.empty()) {
            std::cerr << "error: " << error << "\n";
            return 64;
        }
        try {
            return command->run(app, args);
        } catch (const std::exception& e) {
            std::cerr << "error: " << e.what() << "\n";
            return 1;
        }
    }

    options.driveOptional = command->driveOptional;
    options.soundOutput = command->playsSound;
    CliShellView view(app, *command, args);
    int status = OpenShell(app, app.prompter, options, view);
    if (status != 0) return status;
    try {
        status = command->run(app, args);
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        status = 1;
    }
    CloseShell(app);
    return status;
}
