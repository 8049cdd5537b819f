// Test helper: reads written audio files back as a listener's tools see them: ffprobe
// for the stream's shape and tags, ffmpeg for the samples, and walks over MPEG frames
// for the header fields no decoder reports.
#pragma once

#include <cstddef>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quarrow::testsupport {

// The first audio stream of a file and its samples as interleaved 16-bit at the file's
// own rate; ok is false (with ffprobe's complaint) when the file does not decode.
struct Decoded {
    bool ok = false;
    std::string error;
    std::string codec;          // "mp3", "mp2", "flac", "vorbis", "wavpack" ...
    int sampleRate = 0;
    int channels = 0;
    double duration = 0;        // seconds
    std::map<std::string, std::string> tags;   // keys in lower case
    std::vector<int16_t> samples;
    bool HasTag(const std::string& key) const { return tags.count(key) > 0; }
    std::string Tag(const std::string& key) const {
        const auto it = tags.find(key);
        return it == tags.end() ? std::string() : it->second;
    }
};
Decoded Decode(const std::string& path);

// Signal-to-error ratio of decoded samples against the source, in dB (over the shorter).
double SnrDb(const std::vector<int16_t>& source, const std::vector<int16_t>& decoded, std::size_t from = 0,
             std::size_t step = 1);

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
    std::set<int> AudioKbps() const;      // the bit rates of the frames after the Info frame
    double AverageKbps() const;
};
MpegScan ScanMpeg(const std::string& path);

// The serials srand(t); rand() gives for every second t from before to after.
std::set<long> TimeSeededSerials(std::time_t before, std::time_t after);

}  // namespace quarrow::testsupport
