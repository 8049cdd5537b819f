// `settings get|set SECTION KEY [VALUE]`: one setting read or changed by its INI names;
// a change is checked against the key's type and range and saved at exit.
#include <iostream>

#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

int RunSettings(CliApp& app, std::vector<std::string>& args) {
    if (args.size() == 3 && args[0] == "get") {
        std::string value;
        if (!GetSettingText(app.settings, args[1], args[2], value)) {
            std::cerr << "error: no setting " << args[1] << "/" << args[2] << "\n";
            return 64;
        }
        std::cout << value << "\n";
        return 0;
    }
    if (args.size() == 4 && args[0] == "set") {
        std::string error;
        if (!SetSettingText(app.settings, args[1], args[2], args[3], &error)) {
            std::cerr << "error: " << TerminalText(error) << "\n";
            return 64;
        }
        return 0;
    }
    std::cerr << "usage: settings get SECTION KEY | settings set SECTION KEY VALUE\n";
    return 64;
}

CommandRegistrar settings({"settings", "settings get|set SECTION KEY [VALUE]", true, RunSettings, true});

}  // namespace

}  // namespace quarrow::cli
