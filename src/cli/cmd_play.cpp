// `play`: plays the checked tracks (or one track) of the disc to the default sound output
// device, showing the track and the elapsed time on one line. Ctrl-C or --seconds stops
// it the way the Stop button does: both playback threads end and the stream is closed.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <sstream>

#include "albuminfo/TrackList.h"
#include "cli/Cli.h"
#include "rip/Playback.h"

namespace quarrow::cli {

namespace {

constexpr int kUsageError = 64;
const char* kPlayUsage = "play [--selected N | --checked LIST] [--seconds S]";

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

// The playback threads' messages, handed to the main thread as the window's message queue would.
class QueuedListener : public PlaybackListener {
public:
    struct Event {
        std::string text;
        int kind = 0;          // status kind, or -1 for progress
        int chunk = 0;
    };
    void OnPlaybackStatus(const std::string& text, int kind) override { Push({text, kind, 0}); }
    void OnPlaybackProgress(const std::vector<int16_t>& samples, int chunk) override {
        if (!samples.empty()) Push({"", -1, chunk});
    }
    std::deque<Event> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    void Push(Event e) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
    }
    std::mutex mutex_;
    std::deque<Event> events_;
};

bool ParseNumber(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end && *end == '\0' && value >= low && value <= high;
}

// "1,3,5-7" of 1-based track numbers, each within 1-rows.
bool ParseTrackList(const std::string& text, std::size_t rows, std::vector<bool>& marks) {
    marks.assign(rows, false);
    std::stringstream ss(text);
    std::string part;
    bool any = false;
    while (std::getline(ss, part, ',')) {
        const std::size_t dash = part.find('-', 1);
        long first = 0, last = 0;
        const long n = static_cast<long>(rows);
        const bool ok = dash == std::string::npos
                            ? ParseNumber(part, 1, n, first)
                            : ParseNumber(part.substr(0, dash), 1, n, first) &&
                                  ParseNumber(part.substr(dash + 1), first, n, last);
        if (!ok) return false;
        if (dash == std::string::npos) last = first;
        for (long i = first; i <= last; ++i) marks[static_cast<std::size_t>(i - 1)] = true;
        any = true;
    }
    return any;
}

void ShowProgress(const MainContext& ctx, const std::string& elapsed, bool terminal) {
    const int row = ctx.currentItem;
    const std::string title = row >= 0 && row < static_cast<int>(ctx.rows.size())
                                  ? ctx.rows[static_cast<std::size_t>(row)].title
                                  : std::string();
    std::cout << (terminal ? "\r\x1b[K" : "") << "Playing " << row + 1 << " " << TerminalText(title) << "  "
              << elapsed << (terminal ? "" : "\n") << std::flush;
}

int RunPlay(CliApp& app, std::vector<std::string>& args) {
    std::string selected, checked, seconds;
    const bool hasSelected = TakeOption(args, "--selected", selected);
    const bool hasChecked = TakeOption(args, "--checked", checked);
    const bool hasSeconds = TakeOption(args, "--seconds", seconds);
    long limit = 0;
    std::string error;
    if (!args.empty()) error = "play does not know \"" + args[0] + "\"";
    else if (hasSelected && hasChecked) error = "play takes --selected or --checked, not both";
    else if (hasSeconds && !ParseNumber(seconds, 1, 24L * 3600, limit))
        error = "--seconds needs a number of seconds from 1 to 86400, not \"" + seconds + "\"";
    if (!error.empty()) {
        std::cerr << "error: " << error << "\nusage: " << kPlayUsage << "\n";
        return kUsageError;
    }
    Refresh(app);
    MainContext& ctx = *app.main;
    if (!app.sound.available()) {
        std::cerr << "error: nothing plays without a sound output device that takes 16-bit stereo at 44100 Hz\n";
        return 1;
    }
    long track = 0;
    if (hasSelected && !ParseNumber(selected, 1, static_cast<long>(ctx.rows.size()), track)) {
        std::cerr << "error: --selected " << selected << " is not a track number within 1-" << ctx.rows.size() << "\n";
        return kUsageError;
    }
    if (hasChecked) {
        std::vector<bool> marks;
        if (!ParseTrackList(checked, ctx.rows.size(), marks)) {
            std::cerr << "error: --checked \"" << checked << "\" is not a list of track numbers within 1-"
                      << ctx.rows.size() << " such as 1,3,5-7\n";
            return kUsageError;
        }
        for (std::size_t i = 0; i < ctx.rows.size(); ++i) SetRowChecked(ctx, static_cast<int>(i), marks[i]);
    }

    QueuedListener listener;
    CPlayback playback(ctx, app.sound, listener);
    struct sigaction action {}, previous {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    interrupted = 0;
    sigaction(SIGINT, &action, &previous);
    const bool started = hasSelected ? playback.PlaySelected(static_cast<int>(track - 1)) : playback.Play();
    const bool terminal = ::isatty(STDOUT_FILENO) != 0;
    const auto begin = std::chrono::steady_clock::now();
    bool stopped = false;
    while (started) {
        const bool playing = playback.isPlaying();
        for (const auto& e : listener.Take()) {
            int slider = 0;
            std::string elapsed;
            if (e.kind >= 0) OnStatusMessage(ctx, e.text, e.kind);
            else if (playback.ProgressDisplay(e.chunk, slider, elapsed)) ShowProgress(ctx, elapsed, terminal);
        }
        if (!playing) break;
        if (interrupted || (limit && std::chrono::steady_clock::now() - begin >= std::chrono::seconds(limit))) {
            playback.StopPlayback();
            stopped = true;
            continue;   // what the threads said last is still shown
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    playback.StopPlayback();
    for (const auto& e : listener.Take())
        if (e.kind >= 0) OnStatusMessage(ctx, e.text, e.kind);
    sigaction(SIGINT, &previous, nullptr);
    if (terminal && started) std::cout << "\n";
    if (started) std::cout << (stopped ? "Stopped." : "Finished.") << std::endl;
    return started ? 0 : 1;
}

CommandRegistrar playCommand({"play", kPlayUsage, true, RunPlay, false, StartRefreshPlain, true});

}  // namespace

}  // namespace quarrow::cli
