// The quick-set commands of the main window ("Quickly Set the Output Format"): one
// command per format, two for FLAC (native and Ogg FLAC), one per AAC container. Each
// stores the choice, asks or refuses where the choice needs it, and refreshes the
// summary line.
#pragma once

#include <string>
#include <vector>

namespace quarrow {

struct CSettings;
class CEventLog;
class Prompter;

// One quick-set command: the identifier plus, for FLAC and AAC, the variant.
struct QuickSetTarget {
    int id = 0;
    bool oggFlac = false;       // FLAC only: the Ogg FLAC command
    int aacContainer = -1;      // AAC only: 0 3G2 .. 6 MP4; -1 keeps the stored container
};

struct QuickSetCommandInfo {
    std::string name;           // command-line name ("flac", "oggflac", "aac-m4a")
    std::string label;          // menu text
    QuickSetTarget target;
};

// Every command in menu order.
const std::vector<QuickSetCommandInfo>& QuickSetCommands();

// A number 1..31 or a command name (case-insensitive); false when nothing matches.
bool ParseQuickSetTarget(const std::string& text, QuickSetTarget& target);

enum class QuickSetOutcome { Set, Declined, Refused };

struct QuickSetResult {
    QuickSetOutcome outcome = QuickSetOutcome::Refused;
    std::string summary;        // the new summary line (only when Set)
    std::string warning;        // set when the chosen format cannot be ripped here
};

// Runs one quick-set command. Questions and refusals go through the prompter; on Set
// the settings hold the new choice and the summary has been logged. A format whose
// encoder cannot run here (looked for under home/External and PATH) is still set, with
// a warning shown and logged that names what is missing.
QuickSetResult QuickSetOutputFormat(CSettings& s, CEventLog& log, Prompter& prompter,
                                    const QuickSetTarget& target,
                                    const std::string& previousLine = "", const std::string& home = "");

// The question asked before Ogg FLAC (also asked by the FLAC page's "Ogg FLAC" box).
extern const char* const kOggFlacQuestion;
// Raw AAC: the refusal while Nero is the encoder, and the question otherwise (both
// also used by the AAC page).
extern const char* const kNeroRawAacRefusal;
extern const char* const kRawAacQuestion;

}  // namespace quarrow
