// Where the program's own data files (tips, help pages, the demo album record) are
// found: a user's copy in the home folder wins over the installed copy, which wins over
// the source tree's data folder (a program run from its build folder).
#pragma once

#include <string>

namespace quarrow {

// The path of data file name (may hold a sub-folder, "help/index.html"): home/name,
// then <program folder>/../share/quarrow/name, then the source tree's data/name.
// Empty when none of them exists.
std::string FindDataFile(const std::string& name, const std::string& home);

// The folder of the running program (from /proc/self/exe); empty when unknown.
std::string ProgramFolder();

}  // namespace quarrow
