// Encodes the rip's 16-bit 44100 Hz stereo PCM through one of libavcodec's encoders
// into a libavformat container, converting rate and channels on the way, with the tags
// of the file in the container's own metadata. WMA and the built-in AAC use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVAudioFifo;
struct SwrContext;

namespace quarrow {

struct AvTarget {
    std::string codec;       // encoder name: "wmav2", "aac"
    std::string container;   // muxer name: "asf", "mp4", "adts"
    int64_t bitRate = 128000;
    int sampleRate = 44100;
    int channels = 2;
};

// Metadata key ("title", "artist", "album", "date", "genre", "track", "comment") and value.
using AvTags = std::vector<std::pair<std::string, std::string>>;

// Why the encoder would refuse the target ("" when it opens with it).
std::string AvTargetProblem(const AvTarget& target);

class AvWriter {
public:
    AvWriter() = default;
    ~AvWriter();
    AvWriter(const AvWriter&) = delete;
    AvWriter& operator=(const AvWriter&) = delete;

    // Creates path; false with error naming what failed.
    bool Open(const std::string& path, const AvTarget& target, const AvTags& tags, std::string& error);
    // frames stereo frames of interleaved 16-bit samples at 44100 Hz.
    bool Write(const int16_t* samples, std::size_t frames, std::string& error);
    // Flushes the encoder and writes the trailer; the file is complete when true.
    bool Finish(std::string& error);
    // Closes without completing (the caller deletes the file).
    void Abandon();

private:
    bool EncodeFrames(bool flush, std::string& error);
    bool Drain(std::string& error);
    void Release();

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int streamIndex_ = 0;
    int frameSize_ = 0;
    bool padLastFrame_ = false;
    int64_t pts_ = 0;
    bool ioOpen_ = false;
    std::string path_;
};

}  // namespace quarrow
