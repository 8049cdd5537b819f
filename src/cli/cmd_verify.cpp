// `verify-log FILE`: whether a rip log is as it was written (its checksum line matches).
// `verify`: reads the disc's audio tracks without writing audio, computes their checksums
// and compares them with AccurateRip and the CUETools database.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "albuminfo/AlbumSteps.h"
#include "cli/Cli.h"
#include "rip/RipLog.h"
#include "rip/RipVerification.h"

namespace quarrow::cli {

namespace {

constexpr int kUsageError = 64;

int RunVerifyLog(CliApp& app, std::vector<std::string>& args) {
    const bool json = TakeFlag(args, "--json") || app.json;
    if (args.size() != 1) {
        std::cerr << "usage: verify-log [--json] FILE\n";
        return kUsageError;
    }
    const LogCheck check = CheckRipLogFile(args[0]);
    static const char* const kNames[] = {"intact", "edited", "no checksum", "unreadable"};
    if (json)
        PrintJson(std::cout, {{"file", args[0]},
                              {"status", kNames[static_cast<int>(check.status)]},
                              {"message", check.message}});
    else
        (check.status == LogIntegrity::Intact ? std::cout : std::cerr) << TerminalText(check.message) << "\n";
    switch (check.status) {
        case LogIntegrity::Intact: return 0;
        case LogIntegrity::Unreadable: return 2;
        default: return 1;
    }
}

std::atomic<bool> gStop{false};

void OnStop(int) { gStop = true; }

// Ctrl-C, SIGTERM and SIGHUP stop the reading and the lookups at their next step, for as long as the guard lives.
struct StopSignals {
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction old[3] {};
    StopSignals() {
        struct sigaction sa {};
        sa.sa_handler = OnStop;
        sigemptyset(&sa.sa_mask);
        gStop = false;
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &old[i]);
    }
    ~StopSignals() {
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &old[i], nullptr);
    }
};

int RunVerify(CliApp& app, std::vector<std::string>& args) {
    if (!args.empty()) {
        std::cerr << "error: verify does not know \"" << args[0] << "\"\nusage: verify\n";
        return kUsageError;
    }
    Refresh(app);
    CdDrive& drive = app.grabber.Drive();
    // The command exists to ask the databases: it looks up whatever VERIFY/Lookup says.
    CSettings settings = app.settings;
    settings.VERIFY.Lookup = 1;
    StopSignals signals;
    const bool tty = isatty(STDERR_FILENO) != 0;
    auto last = std::chrono::steady_clock::time_point{};
    int lastTrack = 0;
    const DiscChecksumRead read = ReadDiscChecksums(settings, drive, &gStop, [&](int track, double a, double b) {
        const auto now = std::chrono::steady_clock::now();
        if (track == lastTrack && now - last < std::chrono::milliseconds(tty ? 100 : 1000)) return;
        last = now, lastTrack = track;
        std::fprintf(stderr, tty ? "\rReading track %d  %5.1f%%  total %5.1f%%\033[K" : "Reading track %d  %5.1f%%  total %5.1f%%\n",
                     track, a, b);
    });
    if (tty && lastTrack) std::fputc('\n', stderr);
    if (read.stopped) {
        std::cerr << "Verification stopped; nothing was looked up.\n";
        return 130;
    }
    if (!read.error.empty()) {
        std::cerr << "error: " << TerminalText(read.error) << "\n";
        return 1;
    }
    std::cerr << "Looking the disc up in AccurateRip and the CUETools database...\n";
    RipVerificationInput in{read.tracks, read.disc, CRipJob{}, app.main->album, app.home,
                            HttpOptionsFromSettings(settings, Services(*app.main).servers), false};
    const RipVerificationResult v = VerifyRip(in, settings, drive, app.log, &gStop);
    for (const std::string& line : v.trackLines) std::cout << TerminalText(line) << "\n";
    std::cout << "CUETools database: " << TerminalText(v.log.ctdb.Line()) << "\n";
    std::cout << TerminalText(v.summary) << "\n";
    if (gStop) return 130;
    for (const RipLogTrack& t : v.log.tracks)
        if (CombinedVerdict(t, v.log.ctdb) != VerdictKind::Accurate) return 1;
    return 0;
}

CommandRegistrar verifyCommand({"verify", "verify", true, RunVerify, false, StartRefreshPlain});
CommandRegistrar verifyLogCommand({"verify-log", "verify-log [--json] FILE", false, RunVerifyLog});

}  // namespace

}  // namespace quarrow::cli
