// Playback of the checked tracks through the sound card: a reader thread fills a ring of
// samples from the drive, a player thread writes 100 ms chunks to a blocking output stream
// on the default device. Status and progress reach whoever shows them through a listener.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarrow {

struct MainContext;
class CEventLog;
class Prompter;

// The audio output library for the whole run: initialised at opening, terminated at exit.
class SoundOutput {
public:
    SoundOutput() = default;
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Opening step 12: initialises the library and checks that the default output device
    // takes 16-bit stereo at 44100 Hz; every problem is shown and logged, and without a
    // usable device available() is false from then on.
    void Open(CEventLog& log, Prompter& prompter);
    void Close();
    bool available() const { return available_; }

private:
    bool initialised_ = false;
    bool available_ = false;
};

// What the playback threads report; called on those threads (the window re-posts).
class PlaybackListener {
public:
    virtual ~PlaybackListener() = default;
    // kind 0-2: log text at that level; 3: the current row's Status column; 4: clear every Status cell.
    virtual void OnPlaybackStatus(const std::string& text, int kind) = 0;
    // After each chunk: the first kPlaybackVisualSamples samples of it; empty when playback
    // has ended (the visualisation stops).
    virtual void OnPlaybackProgress(const std::vector<int16_t>& samples, int chunkCounter) = 0;
};

// The ring between reader and player: at most kRingCapacity - 1 samples are held.
class PlaybackRing {
public:
    static constexpr std::size_t kRingCapacity = 65537;
    PlaybackRing() : data_(kRingCapacity) {}
    std::size_t Fill() const;
    std::size_t Free() const;
    // Appends as much of the samples as fits; returns how many.
    std::size_t Write(const int16_t* samples, std::size_t count);
    std::size_t Read(int16_t* out, std::size_t count);
    void Reset();
    // Samples written and read since the last reset.
    int64_t TotalWritten() const;
    int64_t TotalRead() const;

private:
    mutable std::mutex mutex_;
    std::vector<int16_t> data_;
    std::size_t write_ = 0;
    std::size_t read_ = 0;
    int64_t totalWritten_ = 0;
    int64_t totalRead_ = 0;
};

constexpr int kPlaybackChunkSamples = 8820;    // 100 ms of 16-bit stereo at 44100 Hz
constexpr int kPlaybackVisualSamples = 4096;

// "%M:%S" of a number of seconds.
std::string ElapsedText(int seconds);

class CPlayback {
public:
    // sound: the run's audio output; without it every command does nothing.
    CPlayback(MainContext& ctx, const SoundOutput& sound, PlaybackListener& listener);
    ~CPlayback();
    CPlayback(const CPlayback&) = delete;
    CPlayback& operator=(const CPlayback&) = delete;

    // Play: the first checked track, "Warning: No Audio Track Checked!" without one. True when started.
    bool Play();
    // The context menu's Play: the selected row (0-based, -1 none) becomes current and plays.
    bool PlaySelected(int selectedRow);
    void PauseResume();
    // Clears the flags and, with wait, joins both threads. wait=false is for a listener,
    // which runs on the player thread; the threads are joined by the next call that waits.
    void StopPlayback(bool wait = true);
    bool Next();
    bool Previous();
    bool First();
    bool Last();
    // The position slider was released or moved to position (0-1000). Returns the position the
    // slider must show now; elapsed gets the time to show when a seek happened.
    int Seek(int position, std::string* elapsed = nullptr);

    bool isPlaying() const { return playing_.load() != 0; }
    bool isPaused() const { return paused_.load() != 0; }
    bool isSeeking() const { return seeking_.load() != 0; }
    int chunkCounter() const { return chunks_.load(); }
    int trackTenths() const { return tenths_.load(); }
    // Every tenth chunk: the slider position and the elapsed time for a progress message; false otherwise.
    bool ProgressDisplay(int chunkCounter, int& slider, std::string& elapsed) const;

private:
    bool Usable() const;
    bool Switch(int target);   // Next/Previous/First/Last once the target row is known
    void Start();
    void PlayerThread();
    void ReaderThread();
    void ReadTrackLength();    // under the playback lock
    void Join();
    void Status(const std::string& text, int kind);

    MainContext& ctx_;
    const SoundOutput& sound_;
    PlaybackListener& listener_;
    std::atomic<int> playing_{0}, paused_{0}, seeking_{0};
    std::atomic<int> chunks_{0};
    std::atomic<int> tenths_{0};
    std::atomic<int32_t> remaining_{0};
    std::atomic<bool> readerRunning_{false};
    // Where in the ring the next track begins after a switch without a gap (-1: none), and its
    // length: the counter and the length change when the player gets there.
    std::atomic<int64_t> switchAt_{-1};
    std::atomic<int> switchTenths_{0};
    // Held around every change of the drive's read position and of the ring.
    std::recursive_mutex lock_;
    PlaybackRing ring_;
    std::thread player_;
    std::thread reader_;
};

}  // namespace quarrow
