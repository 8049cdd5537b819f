// Test helper for encoder drivers: an EncodeContext whose "disc reader" thread pours
// prepared samples into the rings in pieces (honouring pause and stop) and records every
// report, plus the settings, album and test audio the encoder tests share.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "albuminfo/AlbumRecord.h"
#include "app/Settings.h"
#include "encoders/Encoder.h"

namespace quarrow::testsupport {

class FeedContext : public EncodeContext {
public:
    explicit FeedContext(const CSettings& s);
    ~FeedContext() override;

    // Sets the sample path from the settings' output format (float path, mono).
    void ShapeFromSettings();
    // The samples the reader delivers; entryLengths becomes one entry of the whole
    // length unless entries are given (image mode uses several).
    void FeedShorts(std::vector<int16_t> values, std::vector<double> entries = {});
    void FeedFloats(std::vector<float> left, std::vector<float> right = {}, std::vector<double> entries = {});

    const CSettings& Settings() const override { return settings; }
    std::string HomeFolder() const override { return home; }
    TagValues Tags(const std::string& path) const override;
    void StartReader() override;
    bool ReaderRunning() const override { return readerRunning; }
    void JoinReader() override;
    void PostProgress(double track, double) override { Record(progress_, track); }
    void SendFinalProgress() override { finalSent = true; }
    void PostMessage(const std::string& text, Severity severity) override {
        Record(messages_, std::to_string(static_cast<int>(severity)) + ":" + text);
    }
    void PostStatus(StatusKind kind, const std::string& text) override {
        Record(statuses_, std::to_string(static_cast<int>(kind)) + ":" + text);
    }
    void PostPhase(EncodePhase) override {}
    void RestartTrackClock() override {}

    // Runs the driver the settings choose on this context; -1 when there is none.
    int Encode(const std::string& path);

    // Copies of what was reported, taken under the lock ("1:text" for an error).
    std::vector<std::string> Messages() const { return Copy(messages_); }
    std::vector<std::string> Statuses() const { return Copy(statuses_); }
    std::vector<double> Progress() const { return Copy(progress_); }

    CSettings settings;
    std::string home;
    CAlbumRecord album;
    int trackIndex = 0;        // 0-based track the tags describe
    int discTracks = 1;
    std::vector<int16_t> shorts;
    std::vector<float> lefts, rights;
    std::size_t piece = 4096;  // values the reader moves per turn
    // Called on the reader thread after each turn with the values delivered so far.
    std::function<void(std::size_t delivered)> onDelivered;
    std::atomic<bool> readerRunning{false};
    std::atomic<bool> finalSent{false};

private:
    // The reports arrive from the encoder's threads.
    template <typename T>
    void Record(std::vector<T>& to, T what) {
        std::lock_guard<std::mutex> l(mutex_);
        to.push_back(std::move(what));
    }
    template <typename T>
    T Copy(const T& from) const {
        std::lock_guard<std::mutex> l(mutex_);
        return from;
    }
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::string> messages_, statuses_;
    std::vector<double> progress_;
};

// Settings as a fresh install has them, with the output format set to id.
CSettings SettingsFor(int id);
// An album whose names carry quotes, slashes and shell words: three tracks, 1991, "Rock".
CAlbumRecord SampleAlbum();

// Generated test audio: a sine per channel (440 Hz left, 660 Hz right), 16-bit
// interleaved or float planes; Noisy adds deterministic noise of +-noise and starts
// with a full-scale pair (32767, -32768) so every predictor has real work to do.
std::vector<int16_t> SineShorts(std::size_t frames, int channels, double amplitude = 0.5);
std::vector<float> SineFloats(std::size_t frames, double hz, double amplitude = 0.5, int rate = 44100);
std::vector<int16_t> NoisyShorts(std::size_t frames, int noise = 200);
// Shapes the context from its settings and feeds frames of the tone at rate: floats
// on the float path, else 16-bit (noisy stereo, or a mono sine).
void FeedTone(FeedContext& ctx, std::size_t frames, int rate = 44100);

// Writes an executable shell script called name into folder; returns its path.
std::string WriteExecutable(const std::string& folder, const std::string& name);
// Neither the file nor its temporary name exists.
bool LeftNothing(const std::string& path);
// An encode that returned 1, reported nothing, sent its final progress and published
// the file under its own name.
::testing::AssertionResult Written(const FeedContext& ctx, int result, const std::string& path);

}  // namespace quarrow::testsupport
