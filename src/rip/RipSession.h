// CRipSession: the rip dialog's logic without widgets. It derives the processing
// parameters of one CRipJob, writes the cue sheet, runs the job thread (naming each
// file and running its encoder driver) and the disc reader thread of each file, and
// turns everything the workers report into the texts the dialog shows, through
// RipView. Workers never call the view: they queue messages that the owner's thread
// handles in ProcessMessages or RunModal, as the dialog's message loop would. The reader
// also checksums every block as read (TrackResults), after a test read with test-and-copy.
#pragma once

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "albuminfo/AlbumRecord.h"
#include "app/AudioChecksums.h"
#include "app/CdDrive.h"
#include "encoders/Encoder.h"
#include "rip/RipJob.h"
#include "rip/RipResults.h"
#include "rip/SampleProcessing.h"
#include "rip/ThreadPriority.h"

namespace quarrow {

struct CSettings;
class CEventLog;
class Prompter;

// The controls of the rip dialog whose text changes.
enum class RipField {
    Caption,
    TrackPercent,     // 1053
    TotalPercent,     // 1052
    TrackSpeed,       // 1058
    TotalSpeed,       // 1062
    TrackElapsed,     // 1251
    TrackRemaining,   // 1252
    TotalElapsed,     // 1249
    TotalRemaining,   // 1250
    StatusLine,       // 1061
    PauseButton,      // 1206
    CancelButton,     // 2
};
enum class RipControl { Pause, Cancel, Presets };

// What the dialog shows. Called only on the thread that processes the messages.
class RipView {
public:
    virtual ~RipView() = default;
    virtual void SetText(RipField field, const std::string& text) = 0;
    virtual void SetTrackBar(int percent) = 0;
    virtual void SetTotalBar(int percent) = 0;
    virtual void Enable(RipControl control, bool on) = 0;
    virtual void SelectPreset(int index) { (void)index; }
    virtual void ShowVisual(const std::vector<int16_t>& samples) { (void)samples; }
    virtual void StopVisual() {}
    virtual void OpenFolder(const std::string& folder) { (void)folder; }
    // The dialog closes (after Finish, Cancel or the retry abort).
    virtual void Close() {}
};

// The scratched-disc message and the captions of the session.
extern const char* const kScratchedDiscMessage;
extern const char* const kMaxRetriesCaption;       // "Reach Maximum Retries, Exiting, Please Wait..."
extern const char* const kCancelQuestion;          // "Do You Want to Cancel?"

// Sectors per read by RipModePreset: 64, 48, 16, 4, 1.
int MaxSectorsOfReadMode(int mode);
// "%H:%M:%S" of a number of seconds (negative, NaN and infinite show as 00:00:00).
std::string FormatElapsed(double seconds);

// The process-wide reread watch: set at start, cleared by the first retry abort.
void ResetRetryWatch();
bool RetryWatch();
int RetryCounter();

struct RipSessionDeps {
    CSettings& settings;
    CEventLog& log;
    CdDrive& drive;
    const CAlbumRecord& album;
    Prompter& prompter;
    RipView& view;
    std::string home;                        // home folder (temporary files)
    std::function<bool()> isPlaying;         // playback running in the main window
    // Checksums of the PCM as read (per track and the disc CRC); off only to measure
    // what they cost.
    bool checksums = true;
};

class CRipSession : public EncodeContext, public CdDriveListener {
public:
    enum class Outcome { Running, Finished, Cancelled, RetryAborted, Failed };

    CRipSession(RipSessionDeps deps, CRipJob job);
    ~CRipSession() override;
    CRipSession(const CRipSession&) = delete;
    CRipSession& operator=(const CRipSession&) = delete;

    // Start-up: shape, drive properties, cue sheet, first progress, the job thread.
    void Start();

    // Handles every queued message on the calling thread; returns how many.
    int ProcessMessages();
    // Handles messages until the job thread has ended and nothing is left to show;
    // idle runs between waits (at least every 50 ms) on the same thread.
    Outcome RunModal(const std::function<void()>& idle = {});
    Outcome Result() const { return outcome_; }
    // Every file written completely (and the job not cancelled).
    bool Succeeded() const { return outcome_ == Outcome::Finished; }

    // The dialog's buttons.
    void OnPauseButton();
    void OnCancel();           // asks "Do You Want to Cancel?" while running
    void CancelConfirmed();    // Cancel answered Yes
    void OnVisualPresetChange(int index);

    // CdDriveListener: events come on the reader's thread and are queued.
    void OnMediumChanged() override {}
    void OnReadRetry(int16_t attempt, int32_t sector) override;

    // Read-only views for the front ends and tests.
    const CRipJob& Job() const { return job_; }
    int MaxSectors() const { return maxSectors_; }
    double Ratio() const { return ratio_; }
    bool Resample() const { return resample_; }
    float SpeedBase() const { return speedBase_; }
    std::string CurrentOutputPath() const;
    std::vector<std::string> WrittenFiles() const;   // files completed in this job
    int LargestRead() const { return largestRead_; }
    RipPriorities Priorities() const { return priorities_; }
    // One result per track read, in rip order; complete once the job thread has ended.
    std::vector<RippedTrackResult> TrackResults() const;
    // The disc-wide checksums, when every audio track of the disc was read whole.
    std::optional<RippedDiscResult> DiscResult() const;

    // EncodeContext
    const CSettings& Settings() const override { return settings_; }
    std::string HomeFolder() const override { return home_; }
    TagValues Tags(const std::string& outputPath) const override;
    void StartReader() override;
    bool ReaderRunning() const override { return readerRunning_; }
    void JoinReader() override;
    void PostProgress(double trackPercent, double totalPercent) override;
    void SendFinalProgress() override;
    void PostMessage(const std::string& text, Severity severity) override;
    void PostStatus(StatusKind kind, const std::string& text) override;
    void PostPhase(EncodePhase phase) override;
    void RestartTrackClock() override;

private:
    struct Message {
        enum Kind { Progress, Text, Warning, Status, Phase, Visual, Retry, Barrier, JobEnded };
        explicit Message(Kind k = Progress) : kind(k) {}
        Kind kind;
        double a = 0, b = 0;
        int value = 0;
        std::string text;
        std::vector<int16_t> samples;
        bool sent = false;
        bool* handled = nullptr;
    };

    void Post(Message m);
    void Send(Message m);
    void Handle(Message& m);
    void HandleProgress(double a, double b);
    void HandleReadRetry(int32_t sector);
    void JobThread();
    void StartTrackEncode(const std::string& destination, bool perTrack, int trackIndex);
    void ReaderThread();
    // What one read of a file's tracks does with the blocks: the peak scan of Normalize,
    // the test read of test-and-copy (a CRC only), the copy that is encoded. The first
    // two may share one read.
    enum ReadPass { kPassPeak = 1, kPassTest = 2, kPassCopy = 4 };
    void ReadFile(int pass);
    // The track's result record of the current file (created on first use) and the
    // checks made when its copy read ends.
    std::size_t ResultIndex(int track);
    void EndCopyRead(std::size_t index, int32_t firstSector, int32_t endSector, int32_t trackSectors,
                     bool readToEnd);
    int ResultNumber(std::size_t index) const;
    void ReportFailure(const std::string& cause);
    void SelectEntry(const RipJobEntry& entry);
    void WaitForJobThread();
    void Shutdown();
    double Now() const;

    CSettings& settings_;
    CEventLog& log_;
    CdDrive& drive_;
    const CAlbumRecord& album_;
    Prompter& prompter_;
    RipView& view_;
    std::string home_;
    std::function<bool()> isPlaying_;
    CRipJob job_;

    bool initialised_ = false;
    bool resample_ = false;
    double ratio_ = 1.0;
    int maxSectors_ = 48;
    float speedBase_ = 88200 * 0.95f;
    int formatId_ = 0;
    std::unique_ptr<CSampleProcessor> processor_;
    RipPriorities priorities_;
    std::atomic<int> jobNice_{0};
    std::atomic<bool> prioritiesLogged_{false};

    std::chrono::steady_clock::time_point epoch_;
    std::atomic<double> trackStart_{0};
    std::atomic<double> jobStart_{0};
    unsigned progressCalls_ = 0;

    std::thread jobThread_;
    std::atomic<bool> jobEnded_{false};
    std::thread readerThread_;
    std::atomic<bool> readerRunning_{false};
    std::atomic<int> largestRead_{0};
    // Retry events queued by the reader and not yet handled: the encoder's decision
    // about its file waits for them, since one of them may abort the rip.
    std::atomic<int> pendingRetries_{0};
    bool cueWritten_ = false;

    // Checksums of the audio as read. discTracks_ maps the drive's 0-based track index
    // to the track's number and place among the audio tracks (-1 for a data track).
    struct DiscTrack {
        int number = 0;
        int audioIndex = -1;
        int32_t sectors = 0;
    };
    bool checksums_ = true;
    std::vector<DiscTrack> discTracks_;
    int audioTrackCount_ = 0;
    std::unique_ptr<CDiscCrc> discCrc_;
    std::unique_ptr<CTrackChecksummer> checksummer_;   // of the track being copied
    std::atomic<int> rereads_{0};                      // retry events so far
    std::size_t fileResultsBegin_ = 0;                 // first result of the current file

    mutable std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<Message> queue_;

    mutable std::mutex resultsMutex_;
    std::vector<RippedTrackResult> results_;
    std::optional<RippedDiscResult> discResult_;

    mutable std::mutex pathMutex_;
    std::string currentPath_;
    std::vector<std::string> written_;
    bool fileOk_ = false;
    Outcome outcome_ = Outcome::Running;
    bool retryAbort_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
    bool failed_ = false;
    bool shutDown_ = false;
};

}  // namespace quarrow
