#include "cli/Cli.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace quarrow::cli {

namespace {

std::vector<CommandInfo>& Registry() {
    static std::vector<CommandInfo> commands;
    return commands;
}

bool Interactive() { return ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO); }

}  // namespace

CommandRegistrar::CommandRegistrar(CommandInfo info) { Registry().push_back(std::move(info)); }

const std::vector<CommandInfo>& Commands() { return Registry(); }

bool TakeFlag(std::vector<std::string>& args, const std::string& flag) {
    for (auto it = args.begin(); it != args.end(); ++it)
        if (*it == flag) {
            args.erase(it);
            return true;
        }
    return false;
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size()) {
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (args[i].rfind(name + "=", 0) == 0) {
            value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

std::string JsonString(const std::string& s) { return Json(s).dump(-1, ' ', false, Json::error_handler_t::replace); }

void PrintJson(std::ostream& out, const Json& j) {
    out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
}

std::string TerminalText(const std::string& s, bool keepNewlines) {
    std::string out;
    out.reserve(s.size());
    auto escape = [&out](unsigned char c) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02x", c);
        out += buf;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (keepNewlines && c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;  // CR LF: a line end
            if ((c < 0x20 && !(keepNewlines && c == '\n')) || c == 0x7f) escape(c);
            else out += static_cast<char>(c);
            continue;
        }
        // A whole UTF-8 sequence passes, except the C1 controls U+0080..U+009F; any other
        // byte is escaped, since an 8-bit terminal would take 0x9b as a control sequence.
        const int len = (c >= 0xC2 && c < 0xE0) ? 2 : (c >= 0xE0 && c < 0xF0) ? 3 : (c >= 0xF0 && c < 0xF5) ? 4 : 0;
        bool valid = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
        for (int k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (valid && !(c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0)) {
            out.append(s, i, static_cast<std::size_t>(len));
            i += static_cast<std::size_t>(len) - 1;
        } else {
            escape(c);
        }
    }
    return out;
}

void TerminalPrompter::Message(const std::string& text, MessageIcon icon, const std::string&) {
    std::string prefix = icon == MessageIcon::Error ? "error: " : icon == MessageIcon::Warning ? "warning: " : "";
    // A text that already begins with its kind ("Warning: Only Audio ...") is not labelled twice.
    if (!prefix.empty() && text.size() >= prefix.size() - 1 &&
        std::equal(prefix.begin(), prefix.end() - 1, text.begin(),
                   [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
        prefix.clear();
    std::cerr << prefix << TerminalText(text, true) << "\n";
}

bool TerminalPrompter::AskYesNo(const std::string& text, const std::string&) {
    if (assumeYes) {
        std::cerr << TerminalText(text, true) << " [yes: --yes]\n";
        return true;
    }
    if (!Interactive()) {
        std::cerr << TerminalText(text, true) << " [no: not a terminal; pass --yes to answer yes]\n";
        return false;
    }
    std::cerr << TerminalText(text, true) << " [y/N] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

int TerminalPrompter::PickOne(const std::string& caption, const std::vector<std::string>& choices) {
    if (choices.empty()) return -1;
    if (match >= 1) {
        if (match > static_cast<int>(choices.size())) {
            std::cerr << "error: --match " << match << " is out of range: there are " << choices.size()
                      << " choices\n";
            return -1;
        }
        return match - 1;
    }
    if (!Interactive()) return 0;
    std::cerr << TerminalText(caption, true) << "\n";
    for (std::size_t i = 0; i < choices.size(); ++i)
        std::cerr << "  " << i + 1 << ") " << TerminalText(choices[i]) << "\n";
    for (;;) {
        std::cerr << "Choose 1-" << choices.size() << " (empty cancels): " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line) || line.empty()) return -1;
        char* end = nullptr;
        long n = std::strtol(line.c_str(), &end, 10);
        if (end && *end == '\0' && n >= 1 && n <= static_cast<long>(choices.size())) return static_cast<int>(n - 1);
    }
}

std::string TerminalPrompter::SaveFileName(const std::string& proposal, const std::string&) {
    return saveName.empty() ? proposal : saveName;
}

void Refresh(CliApp& app) {
    if (app.main && !app.refreshed) RefreshDisc(*app.main);
    app.refreshed = true;
}

void StartRefreshPlain(CliApp& app, const std::vector<std::string>&) { Refresh(app); }

}  // namespace quarrow::cli
