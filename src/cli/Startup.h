// The command line's start-up and shutdown: what the main window does when it opens and
// closes, without a window.
#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace quarrow::cli {

struct GlobalOptions {
    std::string home;                 // --home
    std::vector<std::string> drives;  // --drive, in order; the last one is selected
    bool assumeYes = false;
    int match = -1;
};

// The home folder: --home, else the executable's folder when it holds Quarrow.ini,
// else $XDG_DATA_HOME/Quarrow (~/.local/share/Quarrow).
std::string ResolveHomeFolder(const std::string& homeOption, const std::string& argv0);

// Returns 0, or the exit status when start-up cannot go on (2: no drive).
// driveOptional: a command that works on settings alone goes on without a drive.
int StartUp(CliApp& app, const GlobalOptions& options, const std::string& argv0,
            bool driveOptional = false);
void ShutDown(CliApp& app);

}  // namespace quarrow::cli
