// Test helper: runs a program with arguments (no shell), feeds no input, and returns its
// exit status with everything it wrote to stdout and stderr.
#pragma once

#include <string>
#include <vector>

namespace quarrow::testsupport {

struct ProcessResult {
    int status = -1;      // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

ProcessResult RunProcess(const std::vector<std::string>& argv);
// Runs quarrow-cli with the given arguments, which must name a --home. A home without a
// server list gets one whose only server is a closed port on 127.0.0.1, so no run ever
// looks an album up on a public server.
ProcessResult RunCli(const std::vector<std::string>& args);

}  // namespace quarrow::testsupport
