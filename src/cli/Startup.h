// The command line's start-up and shutdown: what the main window does when it opens and
// closes, without a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace quarrow::cli {

struct GlobalOptions {
    std::optional<std::string> home;  // --home, when given (an empty value is refused)
    std::vector<std::string> drives;  // --drive, in order; the last one is selected
    bool assumeYes = false;
    int match = -1;
};

// The home folder: --home, else the executable's folder when it holds Quarrow.ini,
// else $XDG_DATA_HOME/Quarrow, else ~/.local/share/Quarrow with ~ from $HOME or the
// password database. Empty, with the reason in error, when --home is empty or no
// user's own folder is known (a shared fallback would mix users' settings).
std::string ResolveHomeFolder(const std::optional<std::string>& homeOption, const std::string& argv0,
                              std::string* error = nullptr);

// Returns 0, or the exit status when start-up cannot go on (2: no drive).
// driveOptional: a command that works on settings alone goes on without a drive.
int StartUp(CliApp& app, const GlobalOptions& options, const std::string& argv0,
            bool driveOptional = false);
void ShutDown(CliApp& app);

}  // namespace quarrow::cli
