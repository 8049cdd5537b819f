// `info`: the disc refresh, then the "Disc Media State" line and the track list.
#include <cstdio>
#include <iostream>

#include "app/CdDrive.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

void PrintAlbumJson(std::ostream& out, const MainContext& m) {
    out << ",\"album\":{\"artist\":" << JsonString(m.album.artist) << ",\"title\":" << JsonString(m.album.albumTitle)
        << ",\"year\":" << m.album.year << ",\"genre\":" << JsonString(m.album.genre) << ",\"tracks\":[";
    for (std::size_t i = 0; i < m.album.trackTitles.size(); ++i)
        out << (i ? "," : "") << JsonString(m.album.trackTitles[i]);
    out << "]}";
}

void PrintJson(std::ostream& out, const MainContext& m) {
    out << "{\"media_state\":" << JsonString(m.mediaState)
        << ",\"disc_id\":" << JsonString(m.hasAudio ? FormatDiscId(m.discId) : std::string()) << ",\"tracks\":[";
    for (std::size_t i = 0; i < m.rows.size(); ++i) {
        const TrackRow& r = m.rows[i];
        out << (i ? "," : "") << "{\"number\":" << r.track + 1 << ",\"session\":" << r.session + 1
            << ",\"key\":" << r.key << ",\"title\":" << JsonString(r.title) << ",\"type\":" << JsonString(r.typeText)
            << ",\"isrc\":" << JsonString(r.isrc) << ",\"start\":" << JsonString(r.start)
            << ",\"duration\":" << JsonString(r.duration) << ",\"sectors\":" << r.sectors
            << ",\"audio\":" << (r.audio ? "true" : "false") << ",\"checked\":" << (r.checked ? "true" : "false")
            << ",\"destination\":" << JsonString(r.destination) << "}";
    }
    out << "]";
    if (m.hasAudio && m.freeDbEnabled) PrintAlbumJson(out, m);
    out << "}\n";
}

void PrintTable(std::ostream& out, const MainContext& m) {
    out << "Disc Media State: " << m.mediaState << "\n";
    if (m.hasAudio && m.freeDbEnabled)
        out << "Album: " << m.album.artist << " / " << m.album.albumTitle << " (" << m.album.year << ", "
            << m.album.genre << ")\n";
    char line[512];
    std::snprintf(line, sizeof line, "%-6s %-32s %-28s %-13s %-10s %-10s %s\n", "#", "Title", "Type", "ISRC",
                  "Start", "Duration", "Destination");
    out << line;
    for (const TrackRow& r : m.rows) {
        std::snprintf(line, sizeof line, "%-6s %-32s %-28s %-13s %-10s %-10s ", r.number.c_str(), r.title.c_str(),
                      r.typeText.c_str(), r.isrc.c_str(), r.start.c_str(), r.duration.c_str());
        out << line << r.destination << "\n";
    }
}

int RunInfo(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json");
    // --isrc reads the tracks' ISRCs during the refresh, as "Get ISRC" does.
    if (TakeFlag(args, "--isrc")) app.main->isrcWanted = true;
    if (!args.empty()) {
        std::cerr << "error: info takes no argument \"" << args[0] << "\"\n";
        return 64;
    }
    Refresh(app);
    if (json) PrintJson(std::cout, *app.main);
    else PrintTable(std::cout, *app.main);
    return 0;
}

int RunDrives(CliApp& app, std::vector<std::string>& args) {
    if (!args.empty()) {
        std::cerr << "error: drives takes no argument \"" << args[0] << "\"\n";
        return 64;
    }
    for (int i = 1; i <= app.grabber.DriveCount(); ++i)
        std::cout << i << "  " << app.grabber.DriveAt(i).EntryText() << "\n";
    return 0;
}

CommandRegistrar info({"info", "info [--json] [--isrc]   refresh the disc and show its tracks", true, RunInfo});
CommandRegistrar drives({"drives", "drives                   list the CD drives", true, RunDrives});

}  // namespace

}  // namespace quarrow::cli
