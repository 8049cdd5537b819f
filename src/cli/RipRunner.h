// Runs one rip job from the command line: the rip session with a one-line progress
// display on standard error (rewritten in place on a terminal, plain lines at most once
// a second otherwise); Ctrl-C, SIGTERM and SIGHUP as Cancel answered Yes (logged), and a
// second one as quit.
#pragma once

#include "cli/Cli.h"
#include "rip/RipJob.h"

namespace quarrow::cli {

// Returns the exit status: 0 when every file was written completely, 130 when the user
// cancelled, 1 on any other failure. checksums off leaves out the checksums of the audio.
int RunRipJob(CliApp& app, CRipJob job, bool checksums = true);

}  // namespace quarrow::cli
