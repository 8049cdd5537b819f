// Test helper: CRC32, the AccurateRip v1/v2 and frame-450 sums of a whole track and the
// CUETools database CRC of a disc, written plainly from their public descriptions and
// without the program's code, for the tests to hold its one-pass sums against.
#pragma once

#include <cstdint>
#include <vector>

namespace quarrow::reference {

struct TrackSums { uint32_t crc32 = 0, arV1 = 0, arV2 = 0, frame450 = 0; };

// first/last: the disc's first and last audio track (their edges are skipped).
TrackSums Sums(const std::vector<int16_t>& track, bool first, bool last);
uint32_t CueToolsCrc(const std::vector<std::vector<int16_t>>& tracks);   // less 10 + 10..20 sectors

}  // namespace quarrow::reference
