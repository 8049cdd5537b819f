// The command line front end: start-up and shutdown as the main window does them, and
// a table of commands, each in its own file, registered at static-initialisation time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "albuminfo/DiscRefresh.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow::cli {

// Answers prompts on the terminal: --yes answers every question, --match N picks a
// match, a non-interactive run takes the first choice and "no" never blocks. Texts that
// may carry album data are shown through TerminalText.
class TerminalPrompter : public Prompter {
public:
    void Message(const std::string& text, MessageIcon icon = MessageIcon::None,
                 const std::string& caption = "") override;
    bool AskYesNo(const std::string& text, const std::string& caption = "") override;
    int PickOne(const std::string& caption, const std::vector<std::string>& choices) override;
    std::string SaveFileName(const std::string& proposal, const std::string& filter) override;

    bool assumeYes = false;
    int match = -1;              // 1-based --match, -1 when not given
    std::string saveName;        // --single FILE answers the save-file question
};

struct CliApp {
    std::string home;
    CSettings settings;
    CEventLog log;
    CdGrabber grabber;
    TerminalPrompter prompter;
    std::unique_ptr<MainContext> main;
    std::string outputFormatLine;  // the "Output Audio Format" line
    bool json = false;
};

// A command: args are the words after the command name (global options removed).
// Returns the process exit status.
using CommandFn = std::function<int(CliApp& app, std::vector<std::string>& args)>;

struct CommandInfo {
    std::string name;
    std::string usage;
    bool needsDrive = true;      // false: runs without start-up (make-demo-disc)
    CommandFn run;
    bool driveOptional = false;  // true: starts up and runs even with no drive at all
};

struct CommandRegistrar {
    CommandRegistrar(CommandInfo info);
};

const std::vector<CommandInfo>& Commands();

// Removes a flag (e.g. "--json") from args; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);
// Removes "--name VALUE" from args into value; true when it was there.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);

// The --json outputs keep their fields in the order they are set.
using Json = nlohmann::ordered_json;
// Prints j on one line. Bytes that are not UTF-8 become U+FFFD instead of failing.
void PrintJson(std::ostream& out, const Json& j);
// One JSON string literal, quotes included, for outputs printed piece by piece.
std::string JsonString(const std::string& s);

// Text for a terminal: control characters (C0, DEL, C1, and bytes that are not UTF-8)
// become visible escapes such as \x1b, so text from a server cannot drive the terminal.
// keepNewlines lets line ends through (message texts have several lines; CR LF becomes LF).
std::string TerminalText(const std::string& s, bool keepNewlines = false);

// Runs the disc refresh and prints nothing; used by commands that need the disc.
void Refresh(CliApp& app);

}  // namespace quarrow::cli
