// AudioChecksums: the checksums a verified rip keeps of the PCM as read from the disc
// (before any mixdown, resampling or levelling): per track its CRC32, the AccurateRip
// v1 and v2 checksums and the frame-450 checksum used to find a drive's read offset;
// per disc the CUETools database CRC. One pass over the samples feeds all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quarrow {

constexpr int kChecksumFramesPerSector = 588;       // stereo sample frames in one sector
// AccurateRip leaves out the first five sectors less one frame of the disc's first
// audio track and the last five sectors of its last audio track.
constexpr int64_t kAccurateRipEdgeFrames = 5 * kChecksumFramesPerSector;
// The frame-450 checksum covers sector 450 (0-based) of a track.
constexpr int32_t kFrame450Sector = 450;
// The CUETools database CRC leaves out ten sectors at the disc's start and ten sectors
// plus the disc's length modulo ten sectors at its end.
constexpr int64_t kCueToolsEdgeFrames = 10 * kChecksumFramesPerSector;

struct TrackChecksums {
    uint32_t crc32 = 0;          // CRC32 (IEEE) of the track's bytes as read
    uint32_t arV1 = 0;           // AccurateRip v1
    uint32_t arV2 = 0;           // AccurateRip v2
    uint32_t frame450 = 0;       // AccurateRip v1 checksum of the track's sector 450 alone
    bool hasFrame450 = false;    // false when the track is shorter than 451 sectors
    bool operator==(const TrackChecksums&) const = default;
};

// Where a track sits among the disc's audio tracks: the first five sectors (less one
// sample) of the first track and the last five sectors of the last track are left out
// of the AccurateRip checksums. The disc CRC's window within the track (bytes from its
// start, CDiscCrc::Window) lets the track's one CRC pass give the disc CRC its part too.
struct ChecksumTrackPlace {
    bool firstOfDisc = false;
    bool lastOfDisc = false;
    int32_t sectors = 0;         // the track's length; exclusions are counted from its ends
    int64_t windowFrom = 0;      // bytes; an empty window (from == to) when not needed
    int64_t windowTo = 0;
};

// Feeds one track's interleaved stereo 16-bit samples, in order, in blocks of any size
// (a block may end inside a stereo frame). Samples beyond the track's length still go
// into the CRC32 but not into the AccurateRip sums, whose positions end with the track.
class CTrackChecksummer {
public:
    explicit CTrackChecksummer(const ChecksumTrackPlace& place);
    void Add(const int16_t* samples, std::size_t count);   // count = 16-bit values
    TrackChecksums Result() const;
    // The highest magnitude of any sample so far, 0..32768.
    int Peak() const { return peak_; }
    // Stereo frames fed so far.
    uint64_t Frames() const { return position_; }
    // The CRC32 of the bytes fed within the place's window, and how many bytes were fed.
    uint32_t WindowCrc() const { return crcWindow_; }
    int64_t BytesFed() const { return bytes_; }
private:
    void AddFrames(const int16_t* samples, std::size_t frames);

    ChecksumTrackPlace place_;
    uint64_t position_ = 0;      // stereo samples seen so far
    int64_t bytes_ = 0;
    uint32_t crcBefore_ = 0;     // running CRC32s of the bytes before, in and after the window
    uint32_t crcWindow_ = 0;
    uint32_t crcAfter_ = 0;
    uint32_t arV1_ = 0;          // sum of the low words of sample x position
    uint32_t arHigh_ = 0;        // sum of the high words (v2 = v1 + high)
    uint32_t frame450_ = 0;
    int64_t checkFrom_ = 1;      // first and last 1-based position in the AccurateRip sums
    int64_t checkTo_ = 0;
    int peak_ = 0;
    int16_t pendingLeft_ = 0;    // the left half of a frame split between two blocks
    bool hasPending_ = false;
};

// Continues a CRC32 (IEEE, as zlib computes it; 0 to start) over samples as the disc
// stores them: the test read of test-and-copy needs nothing more.
uint32_t AudioCrc32(uint32_t crc, const int16_t* samples, std::size_t count);

// The AccurateRip v1 checksum of one sector (588 stereo samples) with multipliers 1..588,
// as the frame-450 checksum is made; the offset finder slides it over a read window.
uint32_t AccurateRipSectorChecksum(const int16_t* sector);

// The CUETools database CRC of a disc: the CRC32 of the audio tracks' samples in disc
// order, without the first ten sectors and the last ten sectors plus the length modulo
// ten sectors. Tracks may be fed in any order (the CRCs of the parts are joined at the
// end) and a track may be read again: StartTrack forgets what was fed for it.
class CDiscCrc {
public:
    // trackSectors: the length of every audio track of the disc, in disc order.
    explicit CDiscCrc(const std::vector<int32_t>& trackSectors);
    // The bytes of a track (from its start) that the CRC covers: [first, second).
    std::pair<int64_t, int64_t> Window(int audioTrack) const;
    void StartTrack(int audioTrack);   // 0-based among the audio tracks
    void Add(int audioTrack, const int16_t* samples, std::size_t count);
    // Instead of StartTrack and Add: a track's part computed in the pass that read it
    // (CTrackChecksummer with this Window), and the bytes that pass fed.
    void SetTrack(int audioTrack, uint32_t windowCrc, int64_t bytesFed);
    // Every track has been fed completely, exactly once since its StartTrack.
    bool Complete() const;
    uint32_t Result() const;           // meaningful when Complete
private:
    struct Part {
        int64_t frames = 0;            // the track's length in stereo frames
        int64_t from = 0, to = 0;      // byte window within the track counted in the CRC
        int64_t fed = 0;               // bytes fed since StartTrack
        uint32_t crc = 0;
    };
    std::vector<Part> parts_;
};

}  // namespace quarrow
