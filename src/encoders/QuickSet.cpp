// The quick-set commands.
#include "encoders/QuickSet.h"

#include <algorithm>
#include <cctype>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/FormatTable.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

const char* const kOggFlacQuestion =
    "     Ogg FLAC is the Compressed FLAC Data Stored in an Ogg Container.\n It is Narrowly "
    "Supported and has Larger File Size. Do You Wish to Continue?";
const char* const kNeroRawAacRefusal =
    "Nero AAC Encoder does NOT Support Raw AAC Format!\nPlease Choose FAAC or CT AAC+ as the AAC "
    "Encoder.";
const char* const kRawAacQuestion =
    "Raw AAC Format is NOT Recommended since it is NOT Seekable and Taggable.\n"
    "                        Do You Wish to Continue?";

namespace {

std::string Lower(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += static_cast<char>(std::tolower(c));
    return out;
}

std::vector<QuickSetCommandInfo> MakeCommands() {
    static const char* const kContainers[] = {"3g2", "3gp", "raw", "m4a", "m4b", "m4p", "mp4"};
    static const char* const kContainerLabels[] = {"AAC (3G2 Container)", "AAC (3GP Container)",
        "AAC (Raw AAC)", "AAC (M4A Container)", "AAC (M4B Container)", "AAC (M4P Container)",
        "AAC (MP4 Container)"};
    std::vector<QuickSetCommandInfo> commands;
    for (int id = kFirstOutputFormat; id <= kLastOutputFormat; ++id) {
        std::string entry = FormatListEntry(id).substr(1);
        if (id == static_cast<int>(OutputFormatId::AAC)) {
            for (int c = 0; c < 7; ++c)
                commands.push_back({std::string("aac-") + kContainers[c], kContainerLabels[c],
                                    QuickSetTarget{id, false, c}});
            continue;
        }
        std::string name = id == static_cast<int>(OutputFormatId::Custom) ? "custom"
                                                                           : Lower(FormatShortName(id));
        commands.push_back({name, entry, QuickSetTarget{id, false, -1}});
        if (id == static_cast<int>(OutputFormatId::FLAC))
            commands.push_back({"oggflac", "OGG FLAC (FLAC in an Ogg Container)",
                                QuickSetTarget{id, true, -1}});
    }
    return commands;
}

}  // namespace

const std::vector<QuickSetCommandInfo>& QuickSetCommands() {
    static const std::vector<QuickSetCommandInfo> commands = MakeCommands();
    return commands;
}

bool ParseQuickSetTarget(const std::string& text, QuickSetTarget& target) {
    int id = ParseOutputFormatId(text);
    if (id != 0) {
        target = QuickSetTarget{id, false, -1};
        return true;
    }
    std::string lower = Lower(text);
    for (const QuickSetCommandInfo& c : QuickSetCommands()) {
        if (c.name == lower) {
            target = c.target;
            return true;
        }
    }
    return false;
}

QuickSetResult QuickSetOutputFormat(CSettings& s, CEventLog& log, Prompter& prompter,
                                    const QuickSetTarget& target, const std::string& previousLine,
                                    const std::string& home) {
    QuickSetResult result;
    const int id = target.id;
    if (!IsValidOutputFormat(id)) {
        prompter.Message("Unknown output format " + std::to_string(id) + "!", MessageIcon::Error);
        return result;
    }
    if (id == static_cast<int>(OutputFormatId::FLAC)) {
        if (target.oggFlac) {
            if (!prompter.AskYesNo(kOggFlacQuestion)) {
                result.outcome = QuickSetOutcome::Declined;
                return result;
            }
            s.FLAC.Native = 0;
        } else {
            s.FLAC.Native = 1;
        }
    } else if (id == static_cast<int>(OutputFormatId::AAC) && target.aacContainer >= 0) {
        if (target.aacContainer > 6) {
            prompter.Message("Unknown AAC container format " + std::to_string(target.aacContainer) + "!",
                             MessageIcon::Error);
            return result;
        }
        if (target.aacContainer == 2) {
            if (s.AAC.Encoder == 1) {
                prompter.Message(kNeroRawAacRefusal, MessageIcon::Warning);
                return result;
            }
            if (!prompter.AskYesNo(kRawAacQuestion)) {
                result.outcome = QuickSetOutcome::Declined;
                return result;
            }
        }
        s.AAC.ContainerFormat = static_cast<int16_t>(target.aacContainer);
    } else if (id == static_cast<int>(OutputFormatId::Custom)) {
        std::string failure = CheckCustomEncoder(s);
        if (!failure.empty()) {
            prompter.Message(failure, MessageIcon::Error);
            return result;
        }
    }
    s.OUTPUT.OutputFormat = static_cast<int16_t>(id);
    result.outcome = QuickSetOutcome::Set;
    result.summary = UpdateOutputFormatSummary(s, log, previousLine);
    result.warning = ChoiceWarning(s, home, id);
    if (!result.warning.empty()) {
        log.Add(result.warning, 1);
        prompter.Message(result.warning, MessageIcon::Warning);
    }
    return result;
}

}  // namespace quarrow
