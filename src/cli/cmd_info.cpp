// `info`: the disc refresh, then the "Disc Media State" line and the track list.
#include <cstdio>
#include <iostream>

#include "app/CdDrive.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

void PrintInfoJson(std::ostream& out, const MainContext& m) {
    Json tracks = Json::array();
    for (const TrackRow& r : m.rows)
        tracks.push_back({{"number", r.track + 1}, {"session", r.session + 1}, {"key", r.key}, {"title", r.title},
                          {"type", r.typeText}, {"isrc", r.isrc}, {"start", r.start}, {"duration", r.duration},
                          {"sectors", r.sectors}, {"audio", r.audio}, {"checked", r.checked},
                          {"destination", r.destination}});
    // The album is there even with default titles; source says where the titles came from.
    const CAlbumRecord& a = m.album;
    PrintJson(out, {{"media_state", m.mediaState},
                    {"disc_id", m.hasAudio ? FormatDiscId(m.discId) : std::string()},
                    {"tracks", tracks},
                    {"album", {{"source", m.albumSource}, {"artist", a.artist}, {"title", a.albumTitle},
                               {"year", a.year}, {"genre", a.genre}, {"tracks", a.trackTitles}}}});
}

void PrintTable(std::ostream& out, const MainContext& m) {
    out << "Disc Media State: " << TerminalText(m.mediaState) << "\n";
    if (m.hasAudio && m.freeDbEnabled)
        out << "Album: " << TerminalText(m.album.artist) << " / " << TerminalText(m.album.albumTitle) << " ("
            << m.album.year << ", " << TerminalText(m.album.genre) << ")\n";
    char line[512];
    std::snprintf(line, sizeof line, "%-6s %-32s %-28s %-13s %-10s %-10s %s\n", "#", "Title", "Type", "ISRC",
                  "Start", "Duration", "Destination");
    out << line;
    for (const TrackRow& r : m.rows) {
        std::snprintf(line, sizeof line, "%-6s %-32s %-28s %-13s %-10s %-10s ", r.number.c_str(),
                      TerminalText(r.title).c_str(), r.typeText.c_str(), TerminalText(r.isrc).c_str(),
                      r.start.c_str(), r.duration.c_str());
        out << line << TerminalText(r.destination) << "\n";
    }
}

int RunInfo(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json");
    // --isrc reads the tracks' ISRCs during the refresh, as "Get ISRC" does.
    // (The start-up refresh has already done so; the flag is taken here all the same.)
    if (TakeFlag(args, "--isrc")) app.main->isrcWanted = true;
    if (!args.empty()) {
        std::cerr << "error: info takes no argument \"" << args[0] << "\"\n";
        return 64;
    }
    Refresh(app);
    if (json) PrintInfoJson(std::cout, *app.main);
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

// The start-up refresh reads the ISRCs already when --isrc is given.
void StartRefreshInfo(CliApp& app, const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--isrc") app.main->isrcWanted = true;
    Refresh(app);
}

CommandRegistrar info({"info", "info [--json] [--isrc]   refresh the disc and show its tracks", true, RunInfo,
                       false, StartRefreshInfo});
CommandRegistrar drives({"drives", "drives                   list the CD drives", true, RunDrives});

}  // namespace

}  // namespace quarrow::cli
