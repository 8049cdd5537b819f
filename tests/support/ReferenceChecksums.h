// Test helper: the AccurateRip, frame-450 and CUETools database checksums and CRC32 of
// whole tracks, written plainly from their public descriptions and without the
// program's code, so that tests can hold the program's one-pass sums against them.
#pragma once

#include <cstdint>
#include <vector>

namespace quarrow::reference {

struct TrackSums {
    uint32_t crc32 = 0, arV1 = 0, arV2 = 0, frame450 = 0;
};

// One track of interleaved 16-bit stereo samples; first/last: the disc's first and last
// audio track (the first 5 sectors less one frame and the last 5 sectors are skipped).
TrackSums Sums(const std::vector<int16_t>& track, bool first, bool last);

// The CRC32 of all audio tracks in disc order, skipping 10 sectors at the start and
// 10 sectors plus the length modulo 10 sectors at the end.
uint32_t CueToolsCrc(const std::vector<std::vector<int16_t>>& tracks);

}  // namespace quarrow::reference
