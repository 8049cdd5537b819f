#include "rip/RipSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <tuple>

#include "app/ComponentError.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/OutputFormat.h"
#include "rip/CueSheet.h"
#include "rip/Naming.h"

namespace quarrow {

const char* const kScratchedDiscMessage =
    "Quarrow Detects that This CD may be Scratched and Reaches Maximum Retries.\n"
    "           Please Set the Options for Ripping Old or Scratched CDs and Try Again.";
const char* const kMaxRetriesCaption = "Reach Maximum Retries, Exiting, Please Wait...";
const char* const kCancelQuestion = "Do You Want to Cancel?";

namespace {

// Rings of the two sample paths.
constexpr std::size_t kIntRingCapacity = 1048576;
constexpr std::size_t kStereoFloatRingCapacity = 262144;
constexpr std::size_t kMonoFloatRingCapacity = 524288;

std::atomic<bool> gRetryWatch{true};
std::atomic<int> gRetryCounter{0};

std::string Printf(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string Fraction(int a, int b) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d", a, b);
    return buf;
}

}  // namespace

void ResetRetryWatch() {
    gRetryWatch = true;
    gRetryCounter = 0;
}
bool RetryWatch() { return gRetryWatch; }
int RetryCounter() { return gRetryCounter; }

int MaxSectorsOfReadMode(int mode) {
    switch (mode) {
        case 0: return 64;
        case 1: return 48;
        case 2: return 16;
        case 3: return 4;
        default: return 1;
    }
}

std::string FormatElapsed(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    if (seconds > 1e9) seconds = 1e9;
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    return buf;
}

CRipSession::CRipSession(RipSessionDeps deps, CRipJob job)
    : settings_(deps.settings), log_(deps.log), drive_(deps.drive), album_(deps.album),
      prompter_(deps.prompter), view_(deps.view), home_(std::move(deps.home)),
      isPlaying_(std::move(deps.isPlaying)), job_(std::move(job)), epoch_(std::chrono::steady_clock::now()),
      checksums_(deps.checksums) {}

CRipSession::~CRipSession() { Shutdown(); }

double CRipSession::Now() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - epoch_).count();
}

void CRipSession::Start() {
    // 1. Flags and displays.
    SetPaused(false);
    SetAborted(false);
    SetRunning(false);
    currentEntry = 0;
    doneTotal = 0;
    doneTrack = 0;
    initialised_ = true;
    view_.SetTrackBar(0);
    view_.SetTotalBar(0);
    for (RipField f : {RipField::TrackElapsed, RipField::TrackRemaining, RipField::TotalElapsed,
                       RipField::TotalRemaining})
        view_.SetText(f, "00:00:00");
    view_.SetText(RipField::TrackPercent, "0.00%");
    view_.SetText(RipField::TotalPercent, "0.00%");
    view_.SetText(RipField::TrackSpeed, "0.00x");
    view_.SetText(RipField::TotalSpeed, "0.00x");

    // 3, 4. Visualisation preset and the read size.
    view_.SelectPreset(settings_.OUTPUT.VisRip ? settings_.MISC.Visualization + 1 : 0);
    maxSectors_ = MaxSectorsOfReadMode(settings_.DISC.RipModePreset);
    if (settings_.DISC.RipModePreset == 4) {
        view_.SelectPreset(0);
        view_.Enable(RipControl::Presets, false);
    }

    // 5. The drive carries out read mode, rereads and error action itself.
    drive_.SetReadMode(settings_.DISC.RipModePreset);
    drive_.SetErrorAction(settings_.DISC.RipOnErrorAction);
    drive_.SetReadRetries(settings_.DISC.GrabOnErrorRetries);

    // 6. Single output.
    job_.singleOutput = CRipJob::IsSingleOutput(job_.mode, settings_.OUTPUT.SingleOpt != 0);
    singleOutput = job_.singleOutput;

    // 7. Output shape.
    const COutputFormat shape = COutputFormat::FromSettings(settings_);
    formatId_ = settings_.OUTPUT.OutputFormat;
    mono = shape.mono;
    floatPath = shape.floatPath || shape.resample;
    resample_ = shape.resample;
    ratio_ = resample_ && shape.ratio > 0 ? shape.ratio : 1.0;

    // 8. Rings and buffers.
    if (!floatPath) {
        intRing.Allocate(kIntRingCapacity);
    } else if (mono) {
        leftRing.Allocate(kMonoFloatRingCapacity);
    } else {
        leftRing.Allocate(kStereoFloatRingCapacity);
        rightRing.Allocate(kStereoFloatRingCapacity);
    }
    SampleProcessingConfig pc;
    pc.mono = mono;
    pc.floatPath = floatPath;
    pc.resample = resample_;
    pc.ratio = ratio_;
    pc.normalize = settings_.OUTPUT.Normalize != 0;
    pc.normalizePercent = static_cast<float>(settings_.OUTPUT.NorPer);
    pc.dcBias = settings_.OUTPUT.DCBiasAdjust != 0;
    pc.highQuality = settings_.OUTPUT.Resample != 0;
    pc.maxSectors = maxSectors_;
    processor_ = std::make_unique<CSampleProcessor>(pc, intRing, leftRing, rightRing);

    // 9. Thread priorities, applied by each thread to itself when it starts.
    priorities_ = ChooseRipPriorities(static_cast<int>(std::thread::hardware_concurrency()),
                                      settings_.OUTPUT.Normalize != 0, floatPath != 0, resample_);

    // 10, 11. Speed base, progress interval, tray.
    speedBase_ = static_cast<float>(ratio_ * 88200.0 / (mono ? 2 : 1) * 0.95);
    const double interval = ratio_ * (formatId_ == static_cast<int>(OutputFormatId::MP2) ? 8 : 16);
    progressInterval = std::max(1, static_cast<int>(interval));
    chunkSize = 2048;
    entryLengths.clear();
    for (const RipJobEntry& e : job_.entries) entryLengths.push_back(e.length * ratio_ / (mono ? 2 : 1));
    drive_.LockTray();

    // 12. Cue sheet of a single-output job.
    if (WantsCueSheet(job_, settings_)) {
        std::string error;
        cueWritten_ = WriteCueSheet(job_, album_, &error);
        if (!cueWritten_) {
            // The rip goes on; the audio file itself does not depend on the cue sheet.
            log_.Add("Error: " + error, 2);
            view_.SetText(RipField::Caption, error);
        }
    }

    // The disc's audio tracks, for the checksums: AccurateRip leaves out the edges of the
    // first and last audio track (an enhanced CD's data track at the end is not one).
    discTracks_.clear();
    audioTrackCount_ = 0;
    std::vector<int32_t> audioSectors;
    for (const auto& session : drive_.Layout().sessions)
        for (const CdTrackInfo& info : session) {
            DiscTrack d;
            d.number = info.number;
            d.sectors = info.sectors;
            if (info.type == kTrackAudio) {
                d.audioIndex = audioTrackCount_++;
                audioSectors.push_back(info.sectors);
            }
            discTracks_.push_back(d);
        }
    if (checksums_ && !audioSectors.empty()) discCrc_ = std::make_unique<CDiscCrc>(audioSectors);

    // 13. First progress, then the job thread.
    PostProgress(0, 0);
    SetRunning(true);   // set here as well so that nothing sees a stopped job before it starts
    jobThread_ = std::thread([this] { JobThread(); });
}

// ---------------------------------------------------------------------------------
// Messages

void CRipSession::Post(Message m) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(std::move(m));
    }
    queueCv_.notify_all();
}

void CRipSession::Send(Message m) {
    bool handled = false;
    m.sent = true;
    m.handled = &handled;
    std::unique_lock<std::mutex> lock(queueMutex_);
    queue_.push_back(std::move(m));
    queueCv_.notify_all();
    // The owner's thread handles it; a session being torn down hands it back unhandled.
    queueCv_.wait(lock, [&] { return handled || shutDown_; });
}

int CRipSession::ProcessMessages() {
    int count = 0;
    for (;;) {
        Message m;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (queue_.empty()) break;
            m = std::move(queue_.front());
            queue_.pop_front();
        }
        Handle(m);
        ++count;
        if (m.sent) {
            std::lock_guard<std::mutex> lock(queueMutex_);
            *m.handled = true;
            queueCv_.notify_all();
        }
    }
    return count;
}

void CRipSession::Handle(Message& m) {
    switch (m.kind) {
        case Message::Progress:
            HandleProgress(m.a, m.b);
            break;
        case Message::Text:
            log_.Add(m.text, m.value >= 1 ? 2 : 0);
            // After a cancel or the retry abort an error is only the echo of the stop;
            // the caption keeps saying why the rip ended.
            if (m.value >= 1 && !IsAborted()) {
                view_.SetText(RipField::Caption, m.text);
                failed_ = true;
            }
            break;
        case Message::Status:
            if (m.value == static_cast<int>(StatusKind::StatusLine)) view_.SetText(RipField::StatusLine, m.text);
            else if (m.value == static_cast<int>(StatusKind::Caption)) view_.SetText(RipField::Caption, m.text);
            break;
        case Message::Phase:
            switch (static_cast<EncodePhase>(m.value)) {
                case EncodePhase::PauseDisabled:
                case EncodePhase::PauseEnabled:
                    view_.Enable(RipControl::Pause, static_cast<EncodePhase>(m.value) == EncodePhase::PauseEnabled);
                    break;
                case EncodePhase::EncodingWav:
                    view_.SetText(RipField::Caption, "Encoding WAV File, Please Wait...");
                    break;
                case EncodePhase::EncodingRaw:
                    view_.SetText(RipField::Caption, "Encoding RAW File, Please Wait...");
                    break;
            }
            break;
        case Message::Visual:
            view_.ShowVisual(m.samples);
            break;
        case Message::Retry:
            HandleReadRetry(m.value);
            --pendingRetries_;
            break;
        case Message::Warning:
            log_.Add(m.text, 1);
            view_.SetText(RipField::StatusLine, m.text);
            break;
        case Message::Barrier:
            break;
        case Message::JobEnded:
            if (jobThread_.joinable()) jobThread_.join();
            if (outcome_ == Outcome::Running) {
                if (retryAbort_) outcome_ = Outcome::RetryAborted;
                else if (cancelled_) outcome_ = Outcome::Cancelled;
                else if (finished_) outcome_ = Outcome::Finished;
                else outcome_ = Outcome::Failed;
            }
            break;
    }
}

void CRipSession::PostProgress(double trackPercent, double totalPercent) {
    // Only the final message of the last file may complete the job.
    Message m(Message::Progress);
    m.a = trackPercent;
    m.b = std::min(totalPercent, 99.99);
    Post(std::move(m));
}

void CRipSession::SendFinalProgress() {
    bool lastFile = singleOutput || currentEntry.load() + 1 >= static_cast<int>(job_.entries.size());
    {
        std::lock_guard<std::mutex> lock(pathMutex_);
        written_.push_back(currentPath_);
    }
    Message m(Message::Progress);
    m.a = 100.0;
    m.b = lastFile ? 100.0 : std::min(TotalPercent(), 99.99);
    Send(std::move(m));
}

void CRipSession::PostMessage(const std::string& text, Severity severity) {
    Message m(Message::Text);
    m.text = text;
    m.value = static_cast<int>(severity);
    Post(std::move(m));
}

void CRipSession::PostStatus(StatusKind kind, const std::string& text) {
    Message m(Message::Status);
    m.value = static_cast<int>(kind);
    m.text = text;
    Post(std::move(m));
}

void CRipSession::PostPhase(EncodePhase phase) {
    Message m(Message::Phase);
    m.value = static_cast<int>(phase);
    Post(std::move(m));
}

void CRipSession::RestartTrackClock() { trackStart_ = Now(); }

void CRipSession::HandleProgress(double a, double b) {
    if (!IsRunning()) return;
    ++progressCalls_;
    if (a < 100) {
        view_.SetText(RipField::TrackPercent, Printf("%5.2lf%%", a));
        view_.SetText(RipField::TotalPercent, Printf("%5.2lf%%", b));
        view_.SetTrackBar(static_cast<int>(a));
        view_.SetTotalBar(static_cast<int>(b));
        if (progressCalls_ % 8 == 0) {
            const double now = Now();
            const double eTrack = (now - trackStart_) * 0.00095238094;
            const double eTotal = (now - jobStart_) * 0.00095238094;
            view_.SetText(RipField::TrackElapsed, FormatElapsed(eTrack));
            view_.SetText(RipField::TrackRemaining, FormatElapsed(a > 0 ? (100 - a) * eTrack / a : 0));
            view_.SetText(RipField::TotalElapsed, FormatElapsed(eTotal));
            view_.SetText(RipField::TotalRemaining, FormatElapsed(b > 0 ? (100 - b) * eTotal / b : 0));
            if (eTrack > 0.1) {
                view_.SetText(RipField::TrackSpeed, Printf(" %5.2fx", doneTrack / (eTrack * speedBase_)));
                view_.SetText(RipField::TotalSpeed, Printf(" %5.2fx", doneTotal / (eTotal * speedBase_)));
            }
        }
        return;
    }
    view_.SetText(RipField::TrackPercent, "100.0%");
    view_.SetTrackBar(100);
    view_.SetText(RipField::TrackRemaining, "00:00:00");
    if (b < 100) return;
    // The job is complete.
    SetRunning(false);
    finished_ = true;
    view_.StopVisual();
    view_.SetText(RipField::TotalPercent, "100.0%");
    view_.SetTotalBar(100);
    view_.SetText(RipField::TotalRemaining, "00:00:00");
    view_.Enable(RipControl::Presets, false);
    view_.SetText(RipField::PauseButton, "Open Dir");
    view_.SetText(RipField::CancelButton, "Finish");
    view_.SetText(RipField::Caption, "Finished Coping");
    log_.Add("Finished coping!", 0);
    if (settings_.OUTPUT.Notify) prompter_.Message("Finished Coping!", MessageIcon::Information, "Done");
}

// ---------------------------------------------------------------------------------
// Buttons and events

void CRipSession::OnPauseButton() {
    if (IsRunning()) {
        SetPaused(!IsPaused());
        view_.SetText(RipField::PauseButton, IsPaused() ? "Resume" : "Pause");
        return;
    }
    if (finished_) view_.OpenFolder(FolderOf(CurrentOutputPath()));
}

void CRipSession::OnCancel() {
    if (IsRunning()) {
        SetPaused(true);   // the threads hold still while the question is open
        if (!prompter_.AskYesNo(kCancelQuestion, "")) {
            SetPaused(false);
            return;
        }
    }
    CancelConfirmed();
}

void CRipSession::CancelConfirmed() {
    if (IsRunning()) {
        cancelled_ = true;
        Abort();
        view_.Enable(RipControl::Presets, false);
        view_.Enable(RipControl::Pause, false);
        view_.Enable(RipControl::Cancel, false);
    }
    WaitForJobThread();
    view_.Close();
}

void CRipSession::OnVisualPresetChange(int index) {
    if (index <= 0) {
        settings_.OUTPUT.VisRip = 0;
        view_.StopVisual();
    } else {
        settings_.OUTPUT.VisRip = 1;
        settings_.MISC.Visualization = static_cast<int16_t>(index - 1);
    }
}

void CRipSession::OnReadRetry(int16_t, int32_t sector) {
    ++rereads_;
    ++pendingRetries_;
    Message m(Message::Retry);
    m.value = sector;
    Post(std::move(m));
}

void CRipSession::HandleReadRetry(int32_t sector) {
    if (!gRetryWatch) return;
    const int count = ++gRetryCounter;
    char text[64];
    std::snprintf(text, sizeof text, "Retry to read sector %d", sector);
    log_.Add(text, 0);
    view_.SetText(RipField::Caption, text);
    const bool playing = isPlaying_ && isPlaying_();
    if (!playing && count < settings_.DISC.GrabOnErrorRetries) return;
    prompter_.Message(kScratchedDiscMessage, MessageIcon::None, "");
    retryAbort_ = true;
    Abort();
    view_.StopVisual();
    view_.Enable(RipControl::Pause, false);
    view_.Enable(RipControl::Cancel, false);
    view_.Enable(RipControl::Presets, false);
    gRetryWatch = false;
    view_.SetText(RipField::Caption, kMaxRetriesCaption);
    // What the closing thread does: stop the drive's read, wait for the job, close.
    drive_.ResetReader();
    drive_.EndRead();
    WaitForJobThread();
    view_.Close();
}

// ---------------------------------------------------------------------------------
// The job thread and one output file

void CRipSession::SelectEntry(const RipJobEntry& entry) {
    if (drive_.TrackSession() != entry.session) drive_.SetCurrentSession(entry.session);
    // The entry counts tracks across the disc; the drive selects within the session.
    const CdDiscLayout layout = drive_.Layout();
    int before = 0;
    for (int s = 0; s < entry.session && s < static_cast<int>(layout.sessions.size()); ++s)
        before += static_cast<int>(layout.sessions[s].size());
    drive_.SetCurrentTrack(entry.track - before);
}

void CRipSession::JobThread() {
    jobNice_ = ApplyToCurrentThread(priorities_.job);
    jobStart_ = Now();
    // running was set by Start before this thread existed, so a Cancel in between holds.
    const int count = static_cast<int>(job_.entries.size());
    try {
        if (!job_.singleOutput) {
            for (int i = 0; i < count && IsRunning(); ++i) {
                currentEntry = i;
                const RipJobEntry& e = job_.entries[static_cast<std::size_t>(i)];
                SelectEntry(e);
                job_.firstTrack = job_.lastTrack = e.track;
                job_.startOffset = 0;
                job_.endOffset = drive_.TrackSectors();
                PostStatus(StatusKind::Caption, Fraction(i + 1, count));
                StartTrackEncode(std::string(), true, e.track);
            }
        } else {
            PostStatus(StatusKind::Caption, Fraction(currentEntry + 1, count));
            StartTrackEncode(job_.outputPath, false, -1);
        }
    } catch (const std::exception& e) {
        ReportFailure(e.what());
    }
    if (cueWritten_ && WrittenFiles().empty()) {
        // The cue sheet describes a file that was never completed.
        std::error_code ec;
        std::filesystem::remove(CueSheetPath(job_.outputPath), ec);
    }
    SetRunning(false);
    jobEnded_ = true;
    Post(Message(Message::JobEnded));
}

void CRipSession::StartTrackEncode(const std::string& destination, bool perTrack, int trackIndex) {
    try {
        doneTrack = 0;
        std::string path = destination;
        if (perTrack) {
            const TrackPath tp = BuildTrackPath(settings_, album_, trackIndex);
            path = tp.path;
            if (tp.replaced) PostMessage(kCharactersReplacedText, Severity::Status);
        }
        std::string folder = FolderOf(path);
        if (!folder.empty() && !std::filesystem::is_directory(folder)) {
            if (!EnsureFolder(folder)) {
                if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
                PostMessage("Fail to create folder " + folder + " !!", Severity::Error);
            }
        }
        PostMessage("Rip track(s) to \"" + path + "\"", Severity::Status);
        SetPaused(false);
        SetAborted(false);
        Message status(Message::Status);
        status.value = static_cast<int>(StatusKind::StatusLine);
        status.text = "Rip to:     " + path;
        Send(std::move(status));

        {
            std::lock_guard<std::mutex> lock(pathMutex_);
            currentPath_ = path;
        }
        if (!job_.singleOutput) job_.outputPath = path;
        bool listed = false;
        if (perTrack && settings_.OUTPUT.M3U) {
            std::string error;
            if (!AppendPlaylist(path, album_, &error, &listed)) throw std::runtime_error(error);
        }
        // The playlist line is written before the encode; a file that does not
        // complete takes its line out again.
        struct Unlist {
            const CRipSession& s;
            const std::string& path;
            bool active;
            ~Unlist() {
                if (active) RemovePlaylistLine(path, s.album_);
            }
        } unlist{*this, path, listed};
        if (const std::string problem = OutputPathProblem(path); !problem.empty())
            throw std::runtime_error(problem);
        trackStart_ = Now();
        std::unique_ptr<CEncoder> encoder = CreateEncoder(settings_);
        if (!encoder) {
            PostMessage("No encoder is available for output format " + std::to_string(formatId_), Severity::Error);
            Stop();
            return;
        }
        const bool complete = encoder->Encode(*this, path);
        unlist.active = listed && !complete;
    } catch (const std::exception& e) {
        ReportFailure(e.what());
    }
}

void CRipSession::ReportFailure(const std::string& cause) {
    Stop();
    // The cause goes to the log beside the fixed text, which stays the caption.
    if (!cause.empty()) PostMessage("Error: " + cause, Severity::Error);
    PostMessage("An error occurred while encoding", Severity::Error);
}

TagValues CRipSession::Tags(const std::string& outputPath) const {
    int track = 0;
    const int e = currentEntry;
    if (e >= 0 && static_cast<std::size_t>(e) < job_.entries.size()) track = job_.entries[static_cast<std::size_t>(e)].track;
    return MakeTagValues(album_, track, drive_.Layout().TrackCount(), job_.singleOutput, outputPath);
}

std::string CRipSession::CurrentOutputPath() const {
    std::lock_guard<std::mutex> lock(pathMutex_);
    return currentPath_.empty() ? job_.outputPath : currentPath_;
}

std::vector<RippedTrackResult> CRipSession::TrackResults() const {
    std::lock_guard<std::mutex> lock(resultsMutex_);
    return results_;
}

std::optional<RippedDiscResult> CRipSession::DiscResult() const {
    std::lock_guard<std::mutex> lock(resultsMutex_);
    return discResult_;
}

std::vector<std::string> CRipSession::WrittenFiles() const {
    std::lock_guard<std::mutex> lock(pathMutex_);
    return written_;
}

// ---------------------------------------------------------------------------------
// The disc reader

void CRipSession::StartReader() {
    JoinReader();
    readerRunning_ = true;
    readerThread_ = std::thread([this] { ReaderThread(); });
}

void CRipSession::JoinReader() {
    if (readerThread_.joinable()) readerThread_.join();
    // A retry event of this reader may still wait in the queue and may abort the rip:
    // the driver decides about its file only once every such event has been handled.
    if (pendingRetries_ > 0) Send(Message(Message::Barrier));
}

void CRipSession::ReaderThread() {
    const int readerNice = ApplyToCurrentThread(priorities_.reader);
    if (!prioritiesLogged_.exchange(true))
        PostMessage("Thread priorities: " + DescribePriority("job thread", priorities_.job, jobNice_) + ", " +
                        DescribePriority("reader", priorities_.reader, readerNice),
                    Severity::Status);
    {
        std::lock_guard<std::mutex> lock(resultsMutex_);
        fileResultsBegin_ = results_.size();
    }
    try {
        processor_->OpenResamplers();
        const bool normalize = settings_.OUTPUT.Normalize != 0;
        const bool test = settings_.VERIFY.TestAndCopy != 0;
        if (normalize || test) {
            // Both need the whole file read once before the first sample goes out: one
            // gain for the file needs its peak, and the test read comes before the copy.
            int pass = 0;
            if (normalize) {
                PostMessage("Normalizing reads the disc twice: first for the peak level, then for the samples",
                            Severity::Status);
                processor_->StartPeakScan();
                pass |= kPassPeak;
            }
            if (test) {
                PostMessage("Test and copy reads every track twice: first a test read for its CRC, then the copy",
                            Severity::Status);
                pass |= kPassTest;
            }
            ReadFile(pass);
            if (normalize) processor_->FixLevel();
            if (test) PostStatus(StatusKind::StatusLine, "Rip to:     " + CurrentOutputPath());
        }
        ReadFile(kPassCopy);
        processor_->CloseResamplers();
    } catch (const std::exception& e) {
        processor_->CloseResamplers();
        Stop();
        PostMessage("Error: " + std::string(e.what()), Severity::Error);
        PostMessage("An error occurred while ripping", Severity::Error);
        drive_.ResetReader();
        drive_.EndRead();
    }
    readerRunning_ = false;
}

std::size_t CRipSession::ResultIndex(int track) {
    std::lock_guard<std::mutex> lock(resultsMutex_);
    for (std::size_t i = fileResultsBegin_; i < results_.size(); ++i)
        if (results_[i].track == track) return i;
    RippedTrackResult r;
    r.track = track;
    if (track >= 0 && static_cast<std::size_t>(track) < discTracks_.size()) {
        r.number = discTracks_[static_cast<std::size_t>(track)].number;
        r.audioIndex = discTracks_[static_cast<std::size_t>(track)].audioIndex;
    }
    r.file = CurrentOutputPath();
    results_.push_back(std::move(r));
    return results_.size() - 1;
}

void CRipSession::ReadFile(int pass) {
    using namespace std::chrono_literals;
    const bool copy = (pass & kPassCopy) != 0;
    const bool test = (pass & kPassTest) != 0;
    const bool direct = copy && !settings_.OUTPUT.VisRip && !settings_.OUTPUT.Normalize && !resample_ &&
                        (settings_.DISC.RipModePreset == 0 || settings_.DISC.RipModePreset == 1);
    const double perSector = processor_->PerSector();
    std::vector<int16_t> block;
    // Waits at most 20 ms for room for a read of the given sectors; the encoder's reads
    // end the wait as soon as there is room.
    auto waitForRoom = [&](int sectors) {
        if (!floatPath) {
            intRing.WaitForFree(static_cast<std::size_t>(sectors) * kSamplesPerSector, 20ms);
        } else {
            const auto floats = static_cast<std::size_t>((sectors + 1) * perSector) + 1;
            leftRing.WaitForFree(floats, 20ms);
            if (!mono) rightRing.WaitForFree(floats, 20ms);
        }
    };
    for (int t = job_.firstTrack; t <= job_.lastTrack && IsRunning(); ++t) {
        int track = t;
        if (job_.singleOutput) {
            const std::size_t idx = static_cast<std::size_t>(t - job_.firstTrack);
            if (idx >= job_.entries.size()) break;
            SelectEntry(job_.entries[idx]);
            track = job_.entries[idx].track;
        }
        drive_.BeginRead();
        const int32_t trackSectors = drive_.TrackSectors();
        int32_t first = 0;
        int32_t end = trackSectors;
        if (job_.mode == kRipSectorRange && t == job_.lastTrack) end = job_.endOffset;
        if (job_.mode == kRipSectorRange && t == job_.firstTrack) {
            first = job_.startOffset;
            drive_.Seek(job_.startOffset);
        }
        int32_t remaining = end - first;

        // What this read keeps of the track besides the samples it hands on.
        const std::size_t result = (test || copy) ? ResultIndex(track) : 0;
        const int audioIndex = track >= 0 && static_cast<std::size_t>(track) < discTracks_.size()
                                   ? discTracks_[static_cast<std::size_t>(track)].audioIndex
                                   : -1;
        checksummer_.reset();
        if (copy && checksums_ && audioIndex >= 0) {
            // One CRC pass gives the track's CRC32 and its part of the disc CRC.
            ChecksumTrackPlace place{audioIndex == 0, audioIndex == audioTrackCount_ - 1, trackSectors};
            if (discCrc_ && first == 0) std::tie(place.windowFrom, place.windowTo) = discCrc_->Window(audioIndex);
            checksummer_ = std::make_unique<CTrackChecksummer>(place);
            if (discCrc_) discCrc_->StartTrack(audioIndex);
        }
        const bool feedDisc = checksummer_ && discCrc_ && first == 0;
        uint32_t testCrc = 0;
        const int rereadsBefore = rereads_;
        if (test) {
            char text[64];
            std::snprintf(text, sizeof text, "Test read of track %d", ResultNumber(result));
            PostStatus(StatusKind::StatusLine, text);
        }

        int reads = 0;
        while (IsRunning() && remaining > 0) {
            if (IsPaused()) {
                WaitWhilePaused();
                continue;
            }
            int n = std::min(maxSectors_, remaining);
            if (copy) {
                int room;
                if (!floatPath) {
                    room = static_cast<int>(intRing.FreeCount() / kSamplesPerSector);
                } else {
                    std::size_t freeFloats = leftRing.FreeCount();
                    if (!mono) freeFloats = std::min(freeFloats, rightRing.FreeCount());
                    room = static_cast<int>(static_cast<double>(freeFloats) / perSector - 1);
                }
                if (!direct && room < maxSectors_) {
                    waitForRoom(maxSectors_);
                    continue;
                }
                if (direct) {
                    if (room <= 0) {
                        waitForRoom(1);
                        continue;
                    }
                    // The first reads of a track are small so that the encoder starts early.
                    if (reads < 75) room = std::min(room, 8);
                    n = std::min(room, n);
                    ++reads;
                }
            }
            int32_t status = kReadOk;
            drive_.ReadSectors(n, block, status);
            if (status != kReadOk) throw ComponentError("the drive could not read the disc");
            remaining -= n;
            if (!copy) {
                if (pass & kPassPeak) processor_->ScanPeak(block);
                if (test) {
                    testCrc = AudioCrc32(testCrc, block.data(), block.size());
                    // The test read is the track's first pass: its progress shows on the track bar.
                    const double done = 100.0 * (end - first - remaining) / std::max(1, end - first);
                    PostProgress(std::min(done, 99.99), TotalPercent());
                }
                continue;
            }
            // The checksums see the samples as read, before any processing.
            if (checksummer_) checksummer_->Add(block.data(), block.size());
            largestRead_ = std::max(largestRead_.load(), n);
            if (settings_.OUTPUT.VisRip && n > 2) {
                Message v(Message::Visual);
                v.samples.assign(block.begin(), block.begin() + std::min<std::size_t>(block.size(), 2048));
                Post(std::move(v));
            }
            processor_->ProcessSampleBlock(block, resample_ && t == job_.lastTrack && remaining == 0);
        }
        const int32_t givenUp = drive_.GivenUpSectors();
        drive_.EndRead();
        if (!test && !copy) continue;
        {
            std::lock_guard<std::mutex> lock(resultsMutex_);
            RippedTrackResult& r = results_[result];
            r.rereads += rereads_ - rereadsBefore;
            if (copy) r.errors = givenUp;
            if (test && remaining <= 0) {
                r.tested = true;
                r.testCrc = testCrc;
            }
        }
        if (feedDisc) discCrc_->SetTrack(audioIndex, checksummer_->WindowCrc(), checksummer_->BytesFed());
        if (copy) EndCopyRead(result, first, end, trackSectors, remaining <= 0);
    }
    if (copy && discCrc_ && discCrc_->Complete()) {
        std::lock_guard<std::mutex> lock(resultsMutex_);
        discResult_ = RippedDiscResult{discCrc_->Result()};
    }
}

int CRipSession::ResultNumber(std::size_t index) const {
    std::lock_guard<std::mutex> lock(resultsMutex_);
    return index < results_.size() ? results_[index].number : 0;
}

void CRipSession::EndCopyRead(std::size_t index, int32_t first, int32_t end, int32_t trackSectors, bool readToEnd) {
    std::string mismatch;
    {
        std::lock_guard<std::mutex> lock(resultsMutex_);
        RippedTrackResult& r = results_[index];
        r.complete = readToEnd && first == 0 && end == trackSectors;
        if (checksummer_) {
            r.copy = checksummer_->Result();
            r.peak = checksummer_->Peak();
        }
        const uint64_t expected = static_cast<uint64_t>(std::max(0, end - first)) * kChecksumFramesPerSector;
        if (!checksums_) r.uncheckableReason = "its checksums were not computed";
        else if (r.audioIndex < 0) r.uncheckableReason = "it is a data track";
        else if (!readToEnd) r.uncheckableReason = "the rip stopped before its end";
        else if (first != 0 || end != trackSectors)
            r.uncheckableReason = "only sectors " + std::to_string(first) + " to " + std::to_string(end - 1) +
                                  " of its " + std::to_string(trackSectors) + " were read";
        else if (!checksummer_ || checksummer_->Frames() != expected)
            r.uncheckableReason = std::to_string(r.errors) + " of its sectors were cut";
        else r.uncheckableReason.clear();
        r.checkable = r.uncheckableReason.empty();
        if (r.tested && checksummer_) {
            r.testMatches = r.testCrc == r.copy.crc32;
            if (!r.testMatches) {
                char text[128];
                std::snprintf(text, sizeof text, "Test and copy of track %d differ: test CRC %08X, copy CRC %08X",
                              r.number, r.testCrc, r.copy.crc32);
                mismatch = text;
            }
        }
    }
    checksummer_.reset();
    if (!mismatch.empty()) {
        Message m(Message::Warning);
        m.text = mismatch;
        Post(std::move(m));
    }
}

// ---------------------------------------------------------------------------------
// Ending

void CRipSession::WaitForJobThread() {
    // Messages sent by the job thread are still answered while waiting, so that a
    // driver blocked in a sent message can reach its end.
    while (!jobEnded_) {
        ProcessMessages();
        std::unique_lock<std::mutex> lock(queueMutex_);
        queueCv_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_.empty() || jobEnded_.load(); });
    }
    ProcessMessages();
    if (jobThread_.joinable()) jobThread_.join();
}

CRipSession::Outcome CRipSession::RunModal(const std::function<void()>& idle) {
    while (outcome_ == Outcome::Running) {
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            queueCv_.wait_for(lock, std::chrono::milliseconds(50), [&] { return !queue_.empty(); });
        }
        ProcessMessages();
        if (outcome_ == Outcome::Running && idle) idle();
        if (!jobThread_.joinable() && !jobEnded_ && outcome_ == Outcome::Running) break;   // never started
    }
    return outcome_;
}

void CRipSession::Shutdown() {
    if (jobThread_.joinable()) {
        if (IsRunning()) {
            Abort();
            cancelled_ = true;
        }
        WaitForJobThread();
    }
    if (readerThread_.joinable()) readerThread_.join();
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        shutDown_ = true;
    }
    queueCv_.notify_all();
    if (!initialised_) return;
    processor_.reset();
    intRing.Free();
    leftRing.Free();
    rightRing.Free();
    if (formatId_ == static_cast<int>(OutputFormatId::Custom)) {
        std::error_code ec;
        std::filesystem::remove(home_ + "/temp.wav", ec);
        std::filesystem::remove(home_ + "/temp.raw", ec);
    }
    drive_.UnlockTray();
    drive_.ResetReader();
    drive_.EndRead();
    view_.StopVisual();
    initialised_ = false;
}

}  // namespace quarrow
