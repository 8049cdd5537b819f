// `make-demo-disc DIR`: writes the demo disc image (cue sheet and BIN file) into DIR,
// puts the demo's album record into the home folder's local CDDB folder, and prints the
// path of the cue sheet, which --drive then opens like a CD. Files of the same names
// that hold something else are replaced only when the user says so.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "app/DemoDisc.h"
#include "cli/Cli.h"
#include "cli/DemoRecord.h"

namespace fs = std::filesystem;

namespace quarrow::cli {

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string DemoBinBytes() {
    std::string bytes;
    for (std::size_t t = 0; t < DemoTracks().size(); ++t)
        for (int16_t v : RenderDemoTrack(static_cast<int>(t))) {
            const uint16_t u = static_cast<uint16_t>(v);
            bytes += static_cast<char>(u & 0xFF);
            bytes += static_cast<char>(u >> 8);
        }
    return bytes;
}

// Whether the file at path is what the demo disc would write there anyway (a second run
// into the same folder replaces nothing of the user's).
bool HoldsDemoFile(const std::string& path, bool cue) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    if (cue) return ReadWhole(path) == DemoCueSheet();
    static const std::string bin = DemoBinBytes();
    return fs::file_size(path, ec) == bin.size() && ReadWhole(path) == bin;
}

int RunMakeDemoDisc(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json") || app.json;
    const bool overwrite = TakeFlag(args, "--overwrite");
    if (args.size() != 1 || args[0].empty()) {
        std::cerr << "usage: make-demo-disc DIR [--overwrite] [--json]\n";
        return 64;
    }
    const std::string dir = args[0];
    const std::string cue = dir + "/" + kDemoCueName;
    // Already the demo disc (a second run into the same folder): nothing to write.
    bool same = true;
    for (const std::string& target : {cue, dir + "/" + kDemoBinName}) {
        std::error_code ec;
        const bool exists = fs::exists(fs::symlink_status(target, ec));
        if (exists && !overwrite && HoldsDemoFile(target, target == cue)) continue;
        same = false;
        if (!exists || overwrite || app.prompter.AskYesNo("\"" + target + "\" already exists. Replace it?")) continue;
        std::cerr << "error: not replacing \"" << TerminalText(target) << "\"; pass --overwrite to replace it\n";
        return 1;
    }
    std::string error;
    try {
        if (!same && !WriteDemoDisc(dir, &error)) {
            std::cerr << "error: " << TerminalText(error) << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "error: cannot write the demo disc: " << e.what() << "\n";
        return 1;
    }
    // The album record lets the demo show its titles without a network.
    const std::string record = InstallDemoRecord(app.home, error);
    if (record.empty()) std::cerr << "warning: the demo album record was not installed: " << error << "\n";
    if (json) {
        PrintJson(std::cout, {{"cue", cue}, {"record", record}});
    } else {
        std::cout << cue << "\n";
        if (!record.empty()) std::cout << record << "\n";
    }
    return 0;
}

CommandRegistrar makeDemoDisc({"make-demo-disc",
                               "make-demo-disc DIR [--overwrite] [--json]   write the demo disc image into DIR",
                               false, RunMakeDemoDisc});

}  // namespace

}  // namespace quarrow::cli
