#include "support/ReferenceChecksums.h"

namespace quarrow::reference {

// Bitwise CRC32 (IEEE, reflected) of the samples' little-endian bytes from..to.
static uint32_t Crc32(const std::vector<int16_t>& samples, std::size_t from, std::size_t to) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 2 * from; i < 2 * to; ++i) {
        crc ^= (static_cast<uint16_t>(samples[i / 2]) >> (8 * (i % 2))) & 0xFF;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

TrackSums Sums(const std::vector<int16_t>& track, bool first, bool last) {
    TrackSums s;
    s.crc32 = Crc32(track, 0, track.size());
    // MulBy counts frames from 1; the first track's sums start at 5 * 588, the last
    // track's stop 5 * 588 frames before its end.
    const int64_t frames = static_cast<int64_t>(track.size() / 2);
    const int64_t checkFrom = first ? 5 * 588 : 0, checkTo = last ? frames - 5 * 588 : frames;
    uint32_t low = 0, high = 0;
    for (int64_t i = 0; i < frames; ++i) {
        const uint32_t frame = static_cast<uint16_t>(track[2 * i]) | (uint32_t{static_cast<uint16_t>(track[2 * i + 1])} << 16);
        const int64_t mulBy = i + 1;
        if (mulBy >= checkFrom && mulBy <= checkTo) {
            const uint64_t product = uint64_t{frame} * static_cast<uint64_t>(mulBy);
            low += static_cast<uint32_t>(product), high += static_cast<uint32_t>(product >> 32);
        }
        if (i >= 450 * 588 && i < 451 * 588) s.frame450 += frame * static_cast<uint32_t>(i - 450 * 588 + 1);
    }
    s.arV1 = low, s.arV2 = low + high;
    return s;
}

uint32_t CueToolsCrc(const std::vector<std::vector<int16_t>>& tracks) {
    std::vector<int16_t> disc;
    for (const auto& t : tracks) disc.insert(disc.end(), t.begin(), t.end());
    const std::size_t frames = disc.size() / 2, skipStart = 10 * 588, skipEnd = 10 * 588 + frames % (10 * 588);
    return frames <= skipStart + skipEnd ? 0 : Crc32(disc, 2 * skipStart, 2 * (frames - skipEnd));
}

}  // namespace quarrow::reference
