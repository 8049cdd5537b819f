// `lookup`: a disc refresh that looks the album up, as the "Query FreeDB" command does,
// whatever LoadAlbumInfo says; by AlbumInfoSource, or from the server only with --remote.
// Several matches are offered through the prompter (--match N picks one).
#include <iostream>

#include "albuminfo/AlbumSteps.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

void PrintAlbum(std::ostream& out, const MainContext& m, bool json) {
    const CAlbumRecord& a = m.album;
    const AlbumServices* s = static_cast<const AlbumServices*>(m.albumServices.get());
    if (json) {
        Json matches = Json::array();
        if (s)
            for (const CCDDBMatch& x : s->matches)
                matches.push_back({{"category", x.category}, {"disc_id", FormatDiscId(x.discId)},
                                   {"artist", x.artist}, {"title", x.title}});
        PrintJson(out, {{"disc_id", FormatDiscId(m.discId)},
                        {"found", m.freeDbEnabled},
                        {"matches", matches},
                        {"album", {{"source", m.albumSource}, {"artist", a.artist}, {"title", a.albumTitle},
                                   {"year", a.year}, {"genre", a.genre}, {"tracks", a.trackTitles}}}});
        return;
    }
    out << "Disc ID: " << FormatDiscId(m.discId) << "\n"
        << "Artist: " << TerminalText(a.artist) << "\nAlbum: " << TerminalText(a.albumTitle) << "\nYear: " << a.year
        << "\nGenre: " << TerminalText(a.genre) << "\n";
    for (std::size_t i = 0; i < a.trackTitles.size(); ++i)
        out << "Track " << (i + 1) << ": " << TerminalText(a.trackTitles[i]) << "\n";
}

int RunLookup(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json");
    const bool remote = TakeFlag(args, "--remote");
    if (!args.empty()) {
        std::cerr << "error: lookup takes no argument \"" << args[0] << "\"\n";
        return 64;
    }
    MainContext& m = *app.main;
    if (!app.refreshed) RefreshWithLookup(m, remote ? 1 : -1);
    app.refreshed = true;
    if (!m.hasAudio) {
        std::cerr << "error: " << (m.mediaState.empty() ? "no disc" : m.mediaState)
                  << ": there is no audio track to look up\n";
        return 1;
    }
    PrintAlbum(std::cout, m, json);
    if (!m.freeDbEnabled) {
        std::cerr << "error: no album information was found for disc " << FormatDiscId(m.discId)
                  << "; default titles are shown (see the event log)\n";
        return 1;
    }
    return 0;
}

// The start-up refresh is the lookup itself, from the server alone with --remote.
void StartRefreshLookup(CliApp& app, const std::vector<std::string>& args) {
    bool remote = false;
    for (const std::string& a : args) remote = remote || a == "--remote";
    RefreshWithLookup(*app.main, remote ? 1 : -1);
    app.refreshed = true;
}

CommandRegistrar lookupCommand({"lookup", "lookup [--json] [--remote]", true, RunLookup, false, StartRefreshLookup});

}  // namespace

}  // namespace quarrow::cli
