#include "cli/Cli.h"

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

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else if (c < 0x80) {
                    out += static_cast<char>(c);
                } else {
                    // Album text is kept as received: valid UTF-8 passes, anything else is
                    // shown as Latin-1.
                    int len = (c >= 0xF0 && c < 0xF5) ? 4 : (c >= 0xE0) ? 3 : (c >= 0xC2 && c < 0xE0) ? 2 : 0;
                    bool valid = len > 0 && i + len <= s.size();
                    for (int k = 1; valid && k < len; ++k)
                        valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
                    if (valid) {
                        out.append(s, i, static_cast<std::size_t>(len));
                        i += static_cast<std::size_t>(len) - 1;
                    } else {
                        out += static_cast<char>(0xC0 | (c >> 6));
                        out += static_cast<char>(0x80 | (c & 0x3F));
                    }
                }
        }
    }
    return out + "\"";
}

void TerminalPrompter::Message(const std::string& text, MessageIcon icon, const std::string&) {
    const char* prefix = icon == MessageIcon::Error ? "error: " : icon == MessageIcon::Warning ? "warning: " : "";
    std::cerr << prefix << text << "\n";
}

bool TerminalPrompter::AskYesNo(const std::string& text, const std::string&) {
    if (assumeYes) {
        std::cerr << text << " [yes: --yes]\n";
        return true;
    }
    if (!Interactive()) {
        std::cerr << text << " [no: not a terminal; pass --yes to answer yes]\n";
        return false;
    }
    std::cerr << text << " [y/N] " << std::flush;
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
    std::cerr << caption << "\n";
    for (std::size_t i = 0; i < choices.size(); ++i) std::cerr << "  " << i + 1 << ") " << choices[i] << "\n";
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
    if (app.main) RefreshDisc(*app.main);
}

}  // namespace quarrow::cli
