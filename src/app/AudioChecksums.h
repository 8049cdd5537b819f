// AudioChecksums: the checksums a verified rip keeps of the PCM as read from the disc
// (before any mixdown, resampling or levelling): per track its CRC32, the AccurateRip
// v1 and v2 checksums and the frame-450 checksum used to find a drive's read offset;
// per disc the CUETools database CRC. One pass over the samples feeds all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarrow {

struct TrackChecksums {
    uint32_t crc32 = 0;          // CRC32 (IEEE) of the track's bytes as read
    uint32_t arV1 = 0;           // AccurateRip v1
    uint32_t arV2 = 0;           // AccurateRip v2
    uint32_t frame450 = 0;       // AccurateRip v1 checksum of the track's sector 450 alone
    bool hasFrame450 = false;    // false when the track is shorter than 451 sectors
};

// Where a track sits among the disc's audio tracks: the first five sectors (less one
// sample) of the first track and the last five sectors of the last track are left out
// of the AccurateRip checksums.
struct ChecksumTrackPlace {
    bool firstOfDisc = false;
    bool lastOfDisc = false;
    int32_t sectors = 0;         // the track's length; exclusions are counted from its ends
};

// Feeds one track's interleaved stereo 16-bit samples, in order, in blocks of any size.
class CTrackChecksummer {
public:
    explicit CTrackChecksummer(const ChecksumTrackPlace& place);
    void Add(const int16_t* samples, std::size_t count);   // count = 16-bit values
    TrackChecksums Result() const;
private:
    ChecksumTrackPlace place_;
    uint64_t position_ = 0;      // stereo samples seen so far
    uint32_t crc_ = 0xFFFFFFFFu;
    uint32_t arV1_ = 0;
    uint64_t arV2_ = 0;
    uint32_t frame450_ = 0;
};

// The AccurateRip v1 checksum of one sector (588 stereo samples) with multipliers 1..588,
// as the frame-450 checksum is made; the offset finder slides it over a read window.
uint32_t AccurateRipSectorChecksum(const int16_t* sector);

}  // namespace quarrow
