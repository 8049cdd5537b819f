// The command line front end: the main window's opening and shutdown without a window, and
// a table of commands, each in its own file, registered at static-initialisation time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Prompter.h"
#include "rip/AppShell.h"

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

struct CliApp : AppShell {
    TerminalPrompter prompter;
    bool json = false;
    bool refreshed = false;      // the start-up's drive selection has refreshed the disc
};

// A command: args are the words after the command name (global options removed).
// Returns the process exit status.
using CommandFn = std::function<int(CliApp& app, std::vector<std::string>& args)>;
// The refresh the drive selection starts at start-up, for a command that reads the disc;
// it sees the command's words to refresh the way the command will want (ISRCs, lookup).
using StartRefreshFn = std::function<void(CliApp& app, const std::vector<std::string>& args)>;

struct CommandInfo {
    std::string name;
    std::string usage;
    bool needsDrive = true;      // false: runs without start-up (make-demo-disc)
    CommandFn run;
    bool driveOptional = false;  // true: starts up and runs even with no drive at all
    StartRefreshFn startRefresh = {};  // empty: the command never reads the disc
    bool playsSound = false;     // true: start-up checks the sound output
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

// Runs the disc refresh and prints nothing, unless start-up has just done it; used by
// commands that need the disc.
void Refresh(CliApp& app);
// The plain start-up refresh of a command that reads the disc.
void StartRefreshPlain(CliApp& app, const std::vector<std::string>& args);

}  // namespace quarrow::cli
