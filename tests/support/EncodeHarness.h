// Test helper for encoder drivers: an EncodeContext whose "disc reader" thread pours
// prepared samples into the rings in pieces (honouring pause and stop) and records every
// report; plus ffprobe/ffmpeg and MPEG frame readers for the written files.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>
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
    void PostProgress(double track, double total) override;
    void SendFinalProgress() override { finalSent = true; }
    void PostMessage(const std::string& text, int severity) override;
    void PostStatus(int kind, const std::string& text) override;
    void PostPhase(int) override {}
    void RestartTrackClock() override {}

    // Runs the driver the settings choose on this context; -1 when there is none.
    int Encode(const std::string& path);

    // Copies of what was reported, taken under the lock ("1:text" for an error).
    std::vector<std::string> Messages() const;
    std::vector<std::string> Statuses() const;
    std::vector<double> Progress() const;
    std::string FirstMessage() const;   // "" when there is none

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
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::string> messages_, statuses_;
    std::vector<double> progress_;
};

// Generated test audio: a sine per channel (different pitch left and right), 16-bit
// interleaved or float planes.
std::vector<int16_t> SineShorts(std::size_t frames, int channels, double amplitude = 0.5);
std::vector<float> SineFloats(std::size_t frames, double hz, double amplitude = 0.5, int rate = 44100);

// Neither the file nor its temporary name exists.
bool LeftNothing(const std::string& path);

// The serial number of a file's first Ogg page (-1 when it is no Ogg file), and the
// serials srand(t); rand() gives for every second t from before to after.
long OggSerialOf(const std::string& path);
std::set<long> TimeSeededSerials(std::time_t before, std::time_t after);

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
