// The encoder driver contract. The rip session implements EncodeContext (the sample
// rings, the running/paused/aborted flags, the job counters, the progress and message
// sink, the disc reader); a driver derives from CEncoder and supplies open, write and
// finish steps, while CEncoder::Encode runs the loop every driver shares. Drivers are
// found by output format through the format table (FormatTable.h).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "encoders/SampleRing.h"

namespace quarrow {

struct CSettings;
struct CAlbumRecord;

// The comment every tag carries.
inline constexpr std::string_view RipComment = "Ripped by Quarrow https://quarrow.example.org/";

// 16-bit to float: sample x 1/32768.
void ShortToFloat(const int16_t* source, float* target, std::size_t count);
// Float to 16-bit: x = sample x 2^31; 32767 from 2^31 - 1 up, else the upper 16 bits
// of the nearest 32-bit integer (values below -1 give -32768).
void FloatToShort(const float* source, int16_t* target, std::size_t count);

// The tag values of one output file.
struct TagValues {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;          // "%d"
    std::string genre;
    std::string trackNumber;   // "%2d", empty in image mode
    std::string totalTracks;   // "%2d"
    std::string comment;       // RipComment
};

// trackIndex: 0-based track of the drive (indexes the album titles); discTracks: the
// disc's track count. In image mode the title is the output file's name without folder
// and extension and the track number is empty.
TagValues MakeTagValues(const CAlbumRecord& album, int trackIndex, int discTracks,
                        bool imageMode, const std::string& outputPath);

// The wake-up shared by the flags of one rip: every change of a flag notifies it, so a
// thread held by pause wakes as soon as it is resumed or stopped.
class FlagGate {
public:
    void Notify() {
        { std::lock_guard<std::mutex> lock(mutex_); }
        changed_.notify_all();
    }
    template <typename Pred>
    void WaitUntil(Pred done) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, done);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

// A flag word read without a lock by the threads; writing it wakes its gate's waiters.
class WatchedFlag {
public:
    explicit WatchedFlag(FlagGate& gate) : gate_(gate) {}
    WatchedFlag(const WatchedFlag&) = delete;
    WatchedFlag& operator=(int value) {
        value_ = value;
        gate_.Notify();
        return *this;
    }
    WatchedFlag& operator=(const WatchedFlag&) = delete;
    operator int() const { return value_.load(); }

private:
    std::atomic<int> value_{0};
    FlagGate& gate_;
};

// How a report is shown: a status line for the log, or an error that also takes the
// rip dialog's caption.
enum class Severity { Status = 0, Error = 1 };

// Where a status text goes: the dialog's status line or its caption ("%d/%d").
enum class StatusKind { StatusLine = 0, Caption = 2 };

// What an outside-program driver tells the dialog about its phase: Pause is refused
// while the program runs, and the caption names the temporary file being encoded.
enum class EncodePhase { PauseDisabled = 0, PauseEnabled = 1, EncodingWav = 2, EncodingRaw = 3 };

// What a driver sees of the rip. The flags are polled by the threads without a lock;
// every change wakes a thread held by pause. The virtual hooks are implemented by the
// rip session (and by test harnesses).
class EncodeContext {
public:
    virtual ~EncodeContext() = default;

    bool IsRunning() const { return running_ != 0; }
    bool IsPaused() const { return paused_ != 0; }
    // Set by a cancel or the retry limit: the driver drops its output.
    bool IsAborted() const { return aborted_ != 0; }
    void SetRunning(bool on) { running_ = on ? 1 : 0; }
    void SetPaused(bool on) { paused_ = on ? 1 : 0; }
    void SetAborted(bool on) { aborted_ = on ? 1 : 0; }
    // A driver that stops on an error clears running only.
    void Stop() { running_ = 0; }
    // A cancel: the output is dropped and every thread stops, paused or not.
    void Abort() {
        aborted_ = 1;
        running_ = 0;
        paused_ = 0;
    }

    // Holds the calling thread while paused is set and running is still set.
    void WaitWhilePaused() {
        flagGate_.WaitUntil([this] { return !paused_ || !running_; });
    }

    // Sample path: floatPath clear -> intRing of interleaved (or mono) 16-bit values;
    // set -> leftRing (mono) or leftRing + rightRing (stereo) of floats in [-1, 1].
    bool floatPath = false;
    bool mono = false;
    CSampleRing<int16_t> intRing;
    CSampleRing<float> leftRing;
    CSampleRing<float> rightRing;

    int chunkSize = 2048;
    int progressInterval = 16;

    // Job counters in output units (sample values of all channels). entryLengths holds
    // each entry's length in the same units; currentEntry is advanced by the driver in
    // image mode.
    bool singleOutput = false;
    std::vector<double> entryLengths;
    std::atomic<int> currentEntry{0};
    std::atomic<double> doneTotal{0};
    std::atomic<double> doneTrack{0};

    virtual const CSettings& Settings() const = 0;
    // The home folder (temporary files of the customised encoder go there).
    virtual std::string HomeFolder() const = 0;
    // Tag values of the file being written.
    virtual TagValues Tags(const std::string& outputPath) const = 0;

    // The disc reader of this file: started by the driver, polled to detect the end of
    // input, always joined before the driver returns.
    virtual void StartReader() = 0;
    virtual bool ReaderRunning() const = 0;
    virtual void JoinReader() = 0;

    // Reports to the rip dialog.
    virtual void PostProgress(double trackPercent, double totalPercent) = 0;
    virtual void SendFinalProgress() = 0;
    virtual void PostMessage(const std::string& text, Severity severity) = 0;
    virtual void PostStatus(StatusKind kind, const std::string& text) = 0;
    virtual void PostPhase(EncodePhase phase) = 0;
    virtual void RestartTrackClock() = 0;

    double JobLength() const;
    double TrackLength() const;     // of the current entry
    double TrackPercent() const;
    double TotalPercent() const;

private:
    FlagGate flagGate_;
    WatchedFlag running_{flagGate_};
    WatchedFlag paused_{flagGate_};
    WatchedFlag aborted_{flagGate_};
};

// One encoder driver. Encode runs the shared loop: start the reader, Open, drain the
// rings block by block into Write, Finish, join the reader, then publish the file
// (rename from its temporary name); a cancel or any failure deletes it.
class CEncoder {
public:
    virtual ~CEncoder() = default;

    // true when the file was written completely; false on failure or cancel.
    bool Encode(EncodeContext& ctx, const std::string& outputPath);

    // The name written while the file is incomplete: a hidden ".part" sibling.
    static std::string TemporaryNameOf(const std::string& outputPath);

private:
    // Renames the file written at path (and its companions) to outputPath.
    std::error_code Publish(const std::string& path, const std::string& outputPath) const;

protected:
    // Opens the output at path (already the temporary name when UsesTemporaryName) and
    // initialises the encoder; on failure posts the driver's error and returns false.
    virtual bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) = 0;
    // One block: interleaved 16-bit values (count of them) on the integer path.
    virtual bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count);
    // One block of floats: mono, or interleaved stereo (count values in all).
    virtual bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count);
    // Flush, close, tag. false when the file could not be completed (message posted).
    virtual bool Finish(EncodeContext& ctx, bool complete) = 0;
    // Called after Finish and the reader's end with the file complete and not
    // cancelled; a driver with a post-step (an external program) runs it here.
    virtual bool AfterFinish(EncodeContext& ctx, const std::string& path) {
        (void)ctx; (void)path;
        return true;
    }
    // The largest block taken per turn; drivers with their own frame size override.
    virtual int ChunkSize(const EncodeContext& ctx) const { return ctx.chunkSize; }
    // Whether the output is written under a temporary name and renamed when complete.
    virtual bool UsesTemporaryName() const { return true; }
    // Files the library writes beside the output (a resource fork), renamed and
    // deleted together with it.
    virtual std::vector<std::string> CompanionFiles(const std::string& path) const {
        (void)path;
        return {};
    }
};

// Creates the driver for the settings' output format from its row of the format table
// (FormatTable.h); null when the format has no driver (identifier outside 1..31, input
// mode above 3, or a driver not built in).
std::unique_ptr<CEncoder> CreateEncoder(const CSettings& settings);

// The container driver (identifiers 1, 9, 13..30).
std::unique_ptr<CEncoder> MakeSndfileEncoder(const CSettings& settings, int formatId);

// The container driver writing the customised encoder's temporary input (input mode 2:
// WAV, 3: RAW, 16-bit 44100 Hz stereo, in the home folder); runner then starts the
// external program on it and returns whether it succeeded.
using TemporaryFileRunner = bool (*)(EncodeContext& ctx, const std::string& temporaryFile,
                                     const std::string& outputPath);
std::unique_ptr<CEncoder> MakeSndfileTemporaryEncoder(const CSettings& settings, int inputMode,
                                                      TemporaryFileRunner runner);

}  // namespace quarrow
