// `album`: the CD info editor on the command line. After a refresh (with the usual
// lookup), `set` changes fields or track titles and saves the disc's local CDDB file (the
// only place the change can live between runs), `save` saves the record as it stands,
// `submit` sends it to the current FreeDB server's submission script.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "albuminfo/AlbumEditor.h"
#include "albuminfo/AlbumSteps.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0' && errno == 0;
}

int Usage() {
    std::cerr << "usage: album set artist|title|genre|year VALUE | album set track N VALUE (repeatable)\n"
                 "       album save\n"
                 "       album submit --category NAME --email ADDR [--port N]\n";
    return 64;
}

int RunSet(CliApp& app, std::vector<std::string>& args) {
    MainContext& m = *app.main;
    // Check the words before touching the disc, so a typo changes nothing.
    struct TrackEdit {
        int row;
        std::string title;
    };
    std::vector<std::pair<std::string, std::string>> fields;
    std::vector<TrackEdit> tracks;
    for (std::size_t i = 0; i < args.size();) {
        const std::string& what = args[i];
        if (what == "track") {
            long n = 0;
            if (i + 2 >= args.size() || !ParseInt(args[i + 1], n) || n < 1 || n > 99) {
                std::cerr << "error: album set track needs a track number from 1 to 99 and a title\n";
                return 64;
            }
            tracks.push_back({static_cast<int>(n - 1), args[i + 2]});
            i += 3;
        } else if (what == "artist" || what == "title" || what == "genre" || what == "year") {
            if (i + 1 >= args.size()) {
                std::cerr << "error: album set " << what << " needs a value\n";
                return 64;
            }
            long y = 0;
            if (what == "year" && !ParseInt(args[i + 1], y)) {
                std::cerr << "error: the year must be a whole number, not \"" << args[i + 1] << "\"\n";
                return 64;
            }
            fields.emplace_back(what, args[i + 1]);
            i += 2;
        } else {
            std::cerr << "error: album set cannot change \"" << what << "\"\n";
            return Usage();
        }
    }
    if (fields.empty() && tracks.empty()) return Usage();

    Refresh(app);
    if (!CanEditCdInfo(m)) return 1;
    for (const TrackEdit& t : tracks)
        if (!EditTrackTitle(m, t.row, t.title)) return 1;
    CAlbumEditor editor(m);
    for (const auto& [what, value] : fields) {
        if (what == "artist") {
            editor.SetVariousArtists(value == kVariousArtists);
            editor.artist = value;
        } else if (what == "title") {
            editor.album = value;
        } else if (what == "genre") {
            editor.genre = value;
        } else {
            long y = 0;
            ParseInt(value, y);
            editor.year = static_cast<int32_t>(y < -1000000 ? -1000000 : y > 1000000 ? 1000000 : y);
        }
    }
    // A year outside 1-2100 is not taken (the range message says so) and the record keeps
    // its former year; the other fields are still saved. The status tells that the year
    // change did not happen.
    const bool yearTaken = editor.year >= kMinYear && editor.year <= kMaxYear;
    const bool saved = editor.Save();
    return saved && yearTaken ? 0 : 1;
}

int RunAlbum(CliApp& app, std::vector<std::string>& args) {
    if (args.empty()) return Usage();
    const std::string sub = args[0];
    args.erase(args.begin());
    MainContext& m = *app.main;
    if (sub == "set") return RunSet(app, args);
    if (sub == "save") {
        if (!args.empty()) return Usage();
        Refresh(app);
        if (!CanEditCdInfo(m)) return 1;
        CAlbumEditor editor(m);
        return editor.Save() ? 0 : 1;
    }
    if (sub == "submit") {
        std::string category, email, port;
        const bool hasCategory = TakeOption(args, "--category", category);
        const bool hasEmail = TakeOption(args, "--email", email);
        const bool hasPort = TakeOption(args, "--port", port);
        if (!args.empty()) return Usage();
        int index = -1;
        if (hasCategory) {
            std::string lower;
            for (char c : category) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            index = CategoryIndex(lower);
            if (index < 0) {
                std::cerr << "error: unknown category \"" << category << "\"; one of:";
                for (int i = 0; CategoryName(i).size(); ++i) std::cerr << " " << CategoryName(i);
                std::cerr << "\n";
                return 64;
            }
        }
        long portNumber = 80;
        if (hasPort && (!ParseInt(port, portNumber) || portNumber < 1 || portNumber > 65535)) {
            std::cerr << "error: --port needs a port number, not \"" << port << "\"\n";
            return 64;
        }
        Refresh(app);
        if (!CanEditCdInfo(m)) return 1;
        CAlbumEditor editor(m);
        editor.category = index;
        if (hasEmail) editor.email = email;
        editor.submitPort = static_cast<int32_t>(portNumber);
        return editor.Submit() ? 0 : 1;
    }
    std::cerr << "error: unknown album command \"" << sub << "\"\n";
    return Usage();
}

CommandRegistrar albumCommand({"album", "album set FIELD VALUE... | save | submit --category NAME --email ADDR",
                               true, RunAlbum, false, StartRefreshPlain});

}  // namespace

}  // namespace quarrow::cli
