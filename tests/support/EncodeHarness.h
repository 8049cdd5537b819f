// Test helper for encoder drivers: an EncodeContext whose "disc reader" is a thread
// pouring prepared samples into the rings the way the rip's reader does (in pieces, as
// room allows, honouring pause and stop), recording every report the driver makes; and
// a probe that asks ffprobe what a written file holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
    // The samples the reader delivers; each also sets entryLengths to one entry of the
    // whole length unless entries are given (image mode uses several).
    void FeedShorts(std::vector<int16_t> values, std::vector<double> entries = {});
    void FeedFloats(std::vector<float> left, std::vector<float> right = {}, std::vector<double> entries = {});

    const CSettings& Settings() const override { return settings; }
    std::string HomeFolder() const override { return home; }
    TagValues Tags(const std::string& path) const override;
    void StartReader() override;
    bool ReaderRunning() const override { return readerRunning; }
    void JoinReader() override;
    void PostProgress(double track, double total) override;
    void SendFinalProgress() override { finalSent = true; }
    void PostMessage(const std::string& text, int severity) override;
    void PostStatus(int kind, const std::string& text) override;
    void PostPhase(int value) override;
    void RestartTrackClock() override { ++clockRestarts; }

    // Copies of what was reported, taken under the lock ("1:text" for an error).
    std::vector<std::string> Messages() const;
    std::vector<std::string> Statuses() const;
    std::vector<double> Progress() const;
    bool HasError() const;

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
    std::atomic<int> clockRestarts{0};

private:
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::string> messages_, statuses_;
    std::vector<double> progress_;
    std::vector<int> phases_;
};

// Generated test audio: a sine per channel (different pitch left and right), 16-bit
// interleaved or float planes.
std::vector<int16_t> SineShorts(std::size_t frames, int channels, double amplitude = 0.5);
std::vector<float> SineFloats(std::size_t frames, double hz, double amplitude = 0.5, int rate = 44100);

// What ffprobe reports of the first audio stream and the container.
struct ProbeResult {
    bool ok = false;
    std::string error;          // ffprobe's complaint when !ok
    std::string codec;          // "mp3", "mp2", "flac" ...
    int sampleRate = 0;
    int channels = 0;
    std::string channelLayout;
    double duration = 0;        // seconds
    long bitRate = 0;           // bits per second (stream, else container)
    std::map<std::string, std::string> tags;   // keys in lower case
};
ProbeResult Probe(const std::string& path);

// Samples decoded back by ffmpeg as interleaved 16-bit at the file's own rate.
std::vector<int16_t> DecodeShorts(const std::string& path, int* channels = nullptr);

// The MPEG audio frames of a file, walked header by header after any ID3v2 tag (an
// ID3v1 tag at the end stops the walk). The Xing/Info frame is listed with xing set.
struct MpegFrame {
    int version = 0;     // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
    int layer = 0;       // 2 or 3
    int kbps = 0;
    int rate = 0;
    int mode = 0;        // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    bool crc = false, copyright = false, original = false;
    bool xing = false;   // carries "Xing" or "Info"
    std::size_t offset = 0, length = 0;
};
struct MpegScan {
    bool id3v2 = false, id3v1 = false;
    std::vector<MpegFrame> frames;
    std::size_t strayBytes = 0;   // bytes between the tags that are not inside a frame
};
MpegScan ScanMpeg(const std::string& path);

}  // namespace quarrow::testsupport
