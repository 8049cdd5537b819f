#include "cli/RipRunner.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <map>
#include <optional>
#include <vector>

#include "encoders/EncodeMp3.h"
#include "encoders/OutputFormat.h"
#include "albuminfo/AlbumSteps.h"
#include "rip/RipSession.h"
#include "rip/RipVerification.h"

namespace quarrow::cli {

namespace {

std::atomic<int> gInterrupts{0};
std::atomic<int> gSignal{0};
std::atomic<bool> gStopLookups{false};   // the after-rip lookups give up

// Ctrl-C, a termination request and a closed terminal all cancel.
constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnInterrupt(int sig) {
    // The first signal cancels through the session; the second quits at once.
    gSignal = sig;
    gStopLookups = true;
    if (gInterrupts.fetch_add(1) >= 1) _exit(130);
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "SIGINT";
    }
}

class TerminalRipView : public RipView {
public:
    TerminalRipView() : tty_(isatty(STDERR_FILENO) != 0) {}

    void SetText(RipField field, const std::string& text) override {
        texts_[field] = text;
        if (field == RipField::Caption && text.find('/') != std::string::npos &&
            text.find_first_not_of("0123456789/") == std::string::npos)
            fraction_ = text;
        else if (field == RipField::Caption) {
            caption_ = text;
            // A failure's cause comes in its own caption before the final text: keep both.
            if (text.rfind("Error", 0) == 0 && (errors_.empty() || errors_.back() != text)) errors_.push_back(text);
        }
        Refresh(false);
    }
    void SetTrackBar(int) override {}
    void SetTotalBar(int) override {}
    void Enable(RipControl, bool) override {}

    std::string Line() const {
        auto t = [&](RipField f) {
            const auto it = texts_.find(f);
            return it == texts_.end() ? std::string() : it->second;
        };
        std::string speed = t(RipField::TotalSpeed);
        while (!speed.empty() && speed.front() == ' ') speed.erase(0, 1);
        return "Track " + t(RipField::TrackPercent) + "  Total " + t(RipField::TotalPercent) + "  Speed " + speed +
               "  Elapsed " + t(RipField::TotalElapsed) + "  Remaining " + t(RipField::TotalRemaining) + "  " +
               fraction_;
    }

    void Refresh(bool force) {
        if (!texts_.count(RipField::TrackPercent)) return;   // start-up has not shown it yet
        const auto now = std::chrono::steady_clock::now();
        const auto gap = tty_ ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
        if (!force && printed_ && now - last_ < gap) return;
        const std::string line = Line();
        if (!force && line == lastLine_) return;
        last_ = now;
        printed_ = true;
        lastLine_ = line;
        if (tty_) std::fprintf(stderr, "\r%s\033[K", line.c_str());
        else std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
    void EndLine() {
        if (tty_ && printed_) std::fputc('\n', stderr);
    }
    const std::string& Caption() const { return caption_; }
    const std::vector<std::string>& Errors() const { return errors_; }

private:
    bool tty_;
    std::map<RipField, std::string> texts_;
    std::string fraction_;
    std::string caption_;
    std::vector<std::string> errors_;
    std::string lastLine_;
    bool printed_ = false;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

int RunRipJob(CliApp& app, CRipJob job, bool checksums) {
    CdDrive& drive = app.grabber.Drive();
    // An MP3 job loads the encoder library before anything else; without it no file is
    // opened and no thread starts.
    const bool mp3 = app.settings.OUTPUT.OutputFormat == static_cast<int>(OutputFormatId::MP3);
    if (mp3 && !LoadLameForRip(app.log, app.prompter)) return 1;
    struct LameRelease {
        bool active;
        ~LameRelease() {
            if (active) ReleaseLameForRip();
        }
    } lameRelease{mp3};
    TerminalRipView view;
    auto session = std::make_unique<CRipSession>(
        RipSessionDeps{app.settings, app.log, drive, app.main->album, app.prompter, view, app.home, {}, checksums},
        std::move(job));

    struct sigaction sa {};
    struct sigaction old[std::size(kCancelSignals)] {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    gInterrupts = 0;
    gStopLookups = false;
    for (std::size_t i = 0; i < std::size(kCancelSignals); ++i) sigaction(kCancelSignals[i], &sa, &old[i]);
    drive.SetListener(session.get());

    bool cancelRequested = false;
    session->Start();
    const CRipSession::Outcome outcome = session->RunModal([&] {
        if (gInterrupts.load() > 0 && !cancelRequested) {
            cancelRequested = true;
            app.log.Add(std::string("Rip cancelled by ") + SignalName(gSignal.load()) +
                            "; the file being written is deleted",
                        1);
            session->CancelConfirmed();
        }
        view.Refresh(false);
    });
    view.Refresh(true);
    view.EndLine();
    const std::vector<std::string> written = session->WrittenFiles();
    // The lookups of a finished rip run while Ctrl-C can still stop them.
    std::optional<RipVerificationResult> verified;
    if (outcome == CRipSession::Outcome::Finished && checksums) {
        if (app.settings.VERIFY.Lookup) std::cerr << "Looking the rip up in AccurateRip and the CUETools database...\n";
        verified = VerifyRip({session->TrackResults(), session->DiscResult(), session->Job(), app.main->album, app.home,
                              HttpOptionsFromSettings(app.settings, Services(*app.main).servers),
                              app.settings.OUTPUT.WriteLog != 0},
                             app.settings, drive, app.log, &gStopLookups);
    }
    session.reset();   // every thread of the rip has ended here
    drive.SetListener(nullptr);
    for (std::size_t i = 0; i < std::size(kCancelSignals); ++i) sigaction(kCancelSignals[i], &old[i], nullptr);

    for (const std::string& f : written) std::cout << f << "\n";
    if (verified) {
        for (const std::string& line : verified->trackLines) std::cout << TerminalText(line) << "\n";
        std::cout << TerminalText(verified->summary) << "\n";
        if (!verified->logPath.empty()) std::cout << "Rip log: " << TerminalText(verified->logPath) << "\n";
        if (!verified->logError.empty()) std::cerr << "error: " << TerminalText(verified->logError) << "\n";
    }
    switch (outcome) {
        case CRipSession::Outcome::Finished:
            return 0;
        case CRipSession::Outcome::Cancelled:
            std::cerr << "Ripping cancelled; the file being written was deleted.\n";
            return 130;
        case CRipSession::Outcome::RetryAborted:
            std::cerr << "error: " << kMaxRetriesCaption << "\n";
            return 1;
        default:
            for (const std::string& e : view.Errors())
                if (e != view.Caption()) std::cerr << "error: " << e << "\n";
            std::cerr << "error: " << (view.Caption().empty() ? std::string("the rip did not finish") : view.Caption())
                      << "\n";
            return 1;
    }
}

}  // namespace quarrow::cli
