// `formats`, `format set ID|NAME` and `format show`: the output format list, the
// quick-set commands and the "Output Audio Format:" line.
#include <cstdio>
#include <iostream>

#include "cli/Cli.h"
#include "encoders/FormatTable.h"
#include "encoders/OutputFormat.h"
#include "encoders/QuickSet.h"
#include "rip/Naming.h"

namespace quarrow::cli {

namespace {

int RunFormats(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json");
    if (!args.empty()) {
        std::cerr << "error: formats takes no argument \"" << args[0] << "\"\n";
        return 64;
    }
    Json list = Json::array();
    for (int id = kFirstOutputFormat; id <= kLastOutputFormat; ++id) {
        const std::string& entry = FormatListEntry(id);
        const std::string extension = FormatExtension(app.settings, id);
        if (json) {
            // Whether it can be ripped here, and if not, what is missing where.
            const std::string missing = ProbeMessage(id, ProbeFormat(app.settings, app.home, id));
            list.push_back({{"id", id}, {"entry", entry}, {"extension", extension}, {"runnable", missing.empty()},
                            {"missing", missing}});
            continue;
        }
        char line[128];
        std::snprintf(line, sizeof line, "%2d %-45s ", id, entry.c_str());
        std::cout << line << TerminalText(extension) << "\n";
    }
    if (json) PrintJson(std::cout, list);
    return 0;
}

void PrintFormatUsage() {
    std::cerr << "usage: format set ID|NAME | format show\nnames:";
    for (const QuickSetCommandInfo& c : QuickSetCommands()) std::cerr << " " << c.name;
    std::cerr << "\n";
}

int RunFormat(CliApp& app, std::vector<std::string>& args) {
    if (args.empty()) {
        PrintFormatUsage();
        return 64;
    }
    const std::string verb = args[0];
    if (verb == "show" && args.size() == 1) {
        if (!IsValidOutputFormat(app.settings.OUTPUT.OutputFormat)) {
            std::cerr << "error: OUTPUT/OutputFormat holds " << app.settings.OUTPUT.OutputFormat
                      << ", which is no output format (1..31); choose one with \"format set\"\n";
            return 1;
        }
        std::cout << UpdateOutputFormatSummary(app.settings, app.log) << "\n";
        return 0;
    }
    if (verb == "set" && args.size() == 2) {
        QuickSetTarget target;
        if (!ParseQuickSetTarget(args[1], target)) {
            std::cerr << "error: unknown output format \"" << args[1] << "\"\n";
            PrintFormatUsage();
            return 64;
        }
        // The line shown before the change stays where a setting has no text of its own.
        const std::string before = BuildOutputFormatSummary(app.settings).line;
        QuickSetResult result = QuickSetOutputFormat(app.settings, app.log, app.prompter, target, before, app.home);
        switch (result.outcome) {
        case QuickSetOutcome::Set:
            std::cout << result.summary << "\n";
            return 0;
        case QuickSetOutcome::Declined:
            std::cerr << "output format unchanged\n";
            return 1;
        case QuickSetOutcome::Refused:
            return 1;
        }
    }
    PrintFormatUsage();
    return 64;
}

CommandRegistrar formats({"formats", "formats [--json]         list the output formats with their extensions", true,
                          RunFormats, true});
CommandRegistrar format({"format", "format set ID|NAME | format show   choose or show the output format", true,
                         RunFormat, true});

}  // namespace

}  // namespace quarrow::cli
