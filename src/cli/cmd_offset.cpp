// `offset`: the current drive's read offset. `offset show` prints it and where it comes
// from; `offset set N` stores it as the user's own setting for the drive and `offset
// clear` removes that setting; `offset find [--set]` looks the disc up in the AccurateRip
// database and slides the frame-450 checksums over -2000..+2000 samples to find it.
#include <csignal>
#include <iostream>

#include "albuminfo/AccurateRip.h"
#include "albuminfo/AlbumSteps.h"
#include "app/CdDrive.h"
#include "cli/Cli.h"
#include "rip/DriveOffsets.h"
#include "rip/OffsetFinder.h"

namespace quarrow::cli {

namespace {

constexpr int kUsageError = 64;
constexpr const char* kUsage =
    "usage: offset show [--json] | offset set N | offset clear | offset find [--set] [--json]\n";

std::atomic<bool> interrupted{false};
void OnInterrupt(int) { interrupted = true; }

const char* SourceName(OffsetSource s) {
    switch (s) {
    case OffsetSource::User: return "user";
    case OffsetSource::KnownDrive: return "known";
    default: return "default";
    }
}

std::string DriveText(CdDrive& drive) { return "\"" + TerminalText(drive.EntryText()) + "\""; }

int Show(CliApp& app, CdDrive& drive, bool json) {
    CDriveOffsets offsets(app.home);
    std::string why;
    const EffectiveOffset e = offsets.Effective(drive, &why);
    if (!why.empty()) std::cerr << "warning: " << TerminalText(why) << "\n";
    if (json) {
        PrintJson(std::cout, {{"drive", drive.EntryText()}, {"offset", e.samples},
                              {"source", SourceName(e.source)}, {"detail", e.sourceText}});
    } else {
        std::cout << "Drive: " << TerminalText(drive.EntryText()) << "\n"
                  << "Read offset: " << FormatOffset(e.samples) << " samples (" << e.sourceText << ")\n";
    }
    return 0;
}

bool Store(CliApp& app, CdDrive& drive, std::optional<int32_t> samples) {
    CDriveOffsets offsets(app.home);
    std::string why;
    if (!offsets.SetUserOffset(drive.IdentA(), drive.IdentB(), samples, &why)) {
        std::cerr << "error: " << TerminalText(why) << "\n";
        return false;
    }
    const EffectiveOffset e = offsets.Effective(drive);
    drive.SetReadOffset(e.samples);
    app.log.Add("Read offset of drive \"" + drive.EntryText() + "\" set to " + FormatOffset(e.samples) + " (" +
                e.sourceText + ")");
    return true;
}

int Find(CliApp& app, CdDrive& drive, bool set, bool json) {
    Refresh(app);
    const CdDiscLayout layout = drive.Layout();
    const AccurateRipDiscId id = AccurateRipIdOf(layout);
    if (drive.DiscState() == kNoDisc || !id.Valid() || layout.sessions.empty()) {
        std::cerr << "error: no audio disc in drive " << DriveText(drive) << "; a read offset is found on an audio CD"
                  << " that the AccurateRip database knows\n";
        return 1;
    }
    const AccurateRipLookup lookup = LookupAccurateRip(
        id, app.settings.VERIFY.AccurateRipURL, HttpOptionsFromSettings(app.settings, Services(*app.main).servers));
    if (lookup.outcome == AccurateRipLookup::Outcome::NotFound) {
        std::cerr << "error: the disc " << id.Text() << " is not in the AccurateRip database; "
                  << "a read offset is found with a disc the database knows\n";
        return 1;
    }
    if (lookup.outcome != AccurateRipLookup::Outcome::Found) {
        std::cerr << "error: the AccurateRip lookup could not run: " << TerminalText(lookup.error) << "\n";
        return 2;
    }
    std::vector<OffsetFinderTrack> tracks;
    for (std::size_t i = 0; i < layout.sessions[0].size(); ++i) {
        std::vector<uint32_t> values = AccurateRipFrame450(lookup, id, layout.sessions[0][i].number);
        if (!values.empty()) tracks.push_back({static_cast<int>(i), std::move(values)});
    }
    if (tracks.empty()) {
        std::cerr << "error: the AccurateRip entry of disc " << id.Text() << " holds no frame-450 checksums\n";
        return 1;
    }

    struct sigaction action {}, previous {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    interrupted = false;
    sigaction(SIGINT, &action, &previous);
    const OffsetFindResult r = FindReadOffset(drive, tracks, &interrupted);
    sigaction(SIGINT, &previous, nullptr);

    if (!r.error.empty()) std::cerr << "warning: " << TerminalText(r.error) << "\n";
    const bool found = !r.matches.empty();
    if (json) {
        Json matches = Json::array();
        for (const OffsetMatch& m : r.matches) matches.push_back({{"offset", m.offset}, {"tracks", m.tracksMatched}});
        PrintJson(std::cout, {{"disc", id.Text()}, {"tracks_tried", r.tracksTried}, {"stopped", r.stopped},
                              {"matches", matches}});
    } else if (r.stopped) {
        std::cout << "Stopped.\n";
    } else if (!found) {
        std::cout << "No read offset in " << FormatOffset(-kOffsetSearchRange) << ".." << FormatOffset(kOffsetSearchRange)
                  << " matches the AccurateRip entry (" << r.tracksTried << " tracks tried).\n";
    } else {
        const OffsetMatch& best = r.matches.front();
        std::cout << "Read offset found: " << FormatOffset(best.offset) << " samples (" << best.tracksMatched << " of "
                  << r.tracksTried << " tracks matched)\n";
        for (std::size_t i = 1; i < r.matches.size() && i < 5; ++i)
            std::cout << "Also matching: " << FormatOffset(r.matches[i].offset) << " samples ("
                      << r.matches[i].tracksMatched << " tracks)\n";
        if (!set) std::cout << "Store it with: offset set " << FormatOffset(best.offset) << "\n";
    }
    if (r.stopped || !found) return 1;
    if (set) {
        if (!Store(app, drive, r.matches.front().offset)) return 1;
        if (!json) std::cout << "Read offset of drive " << DriveText(drive) << " set to "
                             << FormatOffset(r.matches.front().offset) << "\n";
    }
    return 0;
}

int RunOffset(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json") || app.json;
    const bool set = TakeFlag(args, "--set");
    if (args.empty()) args.push_back("show");
    const std::string verb = args[0];
    const bool arity = verb == "set" ? args.size() == 2 : args.size() == 1;
    if (!arity || (set && verb != "find") || (verb != "show" && verb != "set" && verb != "clear" && verb != "find")) {
        std::cerr << kUsage;
        return kUsageError;
    }
    CdDrive& drive = app.grabber.Drive();
    if (verb == "show") return Show(app, drive, json);
    if (verb == "find") return Find(app, drive, set, json);
    if (verb == "clear") {
        if (!Store(app, drive, std::nullopt)) return 1;
        std::cout << "Read offset setting of drive " << DriveText(drive) << " removed\n";
        return Show(app, drive, json);
    }
    const std::optional<int32_t> n = ParseOffset(args[1]);
    if (!n) {
        std::cerr << "error: \"" << TerminalText(args[1]) << "\" is not a read offset; give a number of samples from "
                  << FormatOffset(-kMaxReadOffset) << " to " << FormatOffset(kMaxReadOffset) << ", such as +6\n";
        return kUsageError;
    }
    if (!Store(app, drive, *n)) return 1;
    std::cout << "Read offset of drive " << DriveText(drive) << " set to " << FormatOffset(*n) << " samples\n";
    return 0;
}

CommandRegistrar offsetCommand({"offset", "offset show|set N|clear|find [--set]   the drive's read offset", true,
                                RunOffset});

}  // namespace

}  // namespace quarrow::cli
