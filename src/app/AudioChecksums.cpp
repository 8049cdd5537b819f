#include "app/AudioChecksums.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace quarrow {

static_assert(std::endian::native == std::endian::little,
              "audio samples are checksummed as the disc stores them, little-endian");

namespace {

// zlib takes lengths as uInt: feed large buffers in slices.
uint32_t CrcUpdate(uint32_t crc, const void* data, std::size_t bytes) {
    const auto* p = static_cast<const Bytef*>(data);
    while (bytes > 0) {
        const auto n = static_cast<uInt>(std::min<std::size_t>(bytes, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, p, n));
        p += n;
        bytes -= n;
    }
    return crc;
}

}  // namespace

uint32_t AudioCrc32(uint32_t crc, const int16_t* samples, std::size_t count) {
    return CrcUpdate(crc, samples, count * sizeof(int16_t));
}

CTrackChecksummer::CTrackChecksummer(const ChecksumTrackPlace& place) : place_(place) {
    const int64_t frames = static_cast<int64_t>(std::max(place.sectors, 0)) * kChecksumFramesPerSector;
    // Positions count from 1; the first track's sums start at five sectors' position, so
    // its first five sectors less one frame stay out.
    checkFrom_ = place.firstOfDisc ? kAccurateRipEdgeFrames : 1;
    checkTo_ = place.lastOfDisc ? frames - kAccurateRipEdgeFrames : frames;
}

void CTrackChecksummer::Add(const int16_t* samples, std::size_t count) {
    if (count == 0) return;
    crc_ = CrcUpdate(crc_, samples, count * sizeof(int16_t));
    int peak = peak_;
    for (std::size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    peak_ = peak;

    // Whole stereo frames only; a frame split between blocks is completed first.
    if (hasPending_) {
        const int16_t pair[2] = {pendingLeft_, samples[0]};
        uint32_t frame;
        std::memcpy(&frame, pair, sizeof frame);
        AddFrames(&frame, 1);
        hasPending_ = false;
        ++samples;
        --count;
    }
    const std::size_t frames = count / 2;
    constexpr std::size_t kSlice = 4096;
    uint32_t buffer[kSlice];
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kSlice, frames - done);
        std::memcpy(buffer, samples + 2 * done, n * sizeof(uint32_t));
        AddFrames(buffer, n);
        done += n;
    }
    if (count % 2) {
        pendingLeft_ = samples[count - 1];
        hasPending_ = true;
    }
}

void CTrackChecksummer::AddFrames(const uint32_t* frames, std::size_t count) {
    const int64_t first = static_cast<int64_t>(position_) + 1;   // position of frames[0]
    const int64_t last = first + static_cast<int64_t>(count) - 1;
    position_ += count;

    // AccurateRip: each frame (left in the low half, right in the high half) times its
    // 1-based position in the track; v1 sums the low 32 bits of the products, v2 adds
    // their high 32 bits as well.
    const int64_t from = std::max(first, checkFrom_);
    const int64_t to = std::min(last, checkTo_);
    if (from <= to) {
        uint32_t low = 0, high = 0;
        uint64_t multiplier = static_cast<uint64_t>(from);
        const uint32_t* f = frames + (from - first);
        const std::size_t n = static_cast<std::size_t>(to - from + 1);
        for (std::size_t i = 0; i < n; ++i, ++multiplier) {
            const uint64_t product = static_cast<uint64_t>(f[i]) * (multiplier & 0xFFFFFFFFu);
            low += static_cast<uint32_t>(product);
            high += static_cast<uint32_t>(product >> 32);
        }
        arV1_ += low;
        arHigh_ += high;
    }

    // Frame 450: sector 450 alone, its frames weighted 1..588.
    const int64_t f450From = int64_t{kFrame450Sector} * kChecksumFramesPerSector + 1;
    const int64_t f450To = f450From + kChecksumFramesPerSector - 1;
    const int64_t a = std::max(first, f450From);
    const int64_t b = std::min(last, f450To);
    for (int64_t p = a; p <= b; ++p)
        frame450_ += frames[p - first] * static_cast<uint32_t>(p - f450From + 1);
}

TrackChecksums CTrackChecksummer::Result() const {
    TrackChecksums r;
    r.crc32 = crc_;
    r.arV1 = arV1_;
    r.arV2 = arV1_ + arHigh_;
    r.hasFrame450 = place_.sectors > kFrame450Sector &&
                    position_ >= static_cast<uint64_t>(kFrame450Sector + 1) * kChecksumFramesPerSector;
    r.frame450 = r.hasFrame450 ? frame450_ : 0;
    return r;
}

uint32_t AccurateRipSectorChecksum(const int16_t* sector) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < static_cast<uint32_t>(kChecksumFramesPerSector); ++i) {
        uint32_t frame;
        std::memcpy(&frame, sector + 2 * i, sizeof frame);
        sum += frame * (i + 1);
    }
    return sum;
}

// ---------------------------------------------------------------------------------

CDiscCrc::CDiscCrc(const std::vector<int32_t>& trackSectors) {
    int64_t total = 0;
    for (int32_t s : trackSectors) total += static_cast<int64_t>(std::max(s, 0)) * kChecksumFramesPerSector;
    // The window in disc frames: ten sectors in from the start, and ten sectors plus the
    // length modulo ten sectors in from the end.
    const int64_t windowFrom = kCueToolsEdgeFrames;
    const int64_t windowTo = total - kCueToolsEdgeFrames - total % kCueToolsEdgeFrames;
    int64_t start = 0;
    for (int32_t s : trackSectors) {
        Part p;
        p.frames = static_cast<int64_t>(std::max(s, 0)) * kChecksumFramesPerSector;
        p.from = std::clamp(windowFrom - start, int64_t{0}, p.frames) * 4;
        p.to = std::clamp(windowTo - start, int64_t{0}, p.frames) * 4;
        if (p.to < p.from) p.to = p.from;
        parts_.push_back(p);
        start += p.frames;
    }
}

void CDiscCrc::StartTrack(int audioTrack) {
    if (audioTrack < 0 || audioTrack >= static_cast<int>(parts_.size())) return;
    Part& p = parts_[static_cast<std::size_t>(audioTrack)];
    p.fed = 0;
    p.crc = 0;
}

void CDiscCrc::Add(int audioTrack, const int16_t* samples, std::size_t count) {
    if (audioTrack < 0 || audioTrack >= static_cast<int>(parts_.size())) return;
    Part& p = parts_[static_cast<std::size_t>(audioTrack)];
    const int64_t bytes = static_cast<int64_t>(count * sizeof(int16_t));
    const int64_t a = std::max(p.fed, p.from);
    const int64_t b = std::min(p.fed + bytes, p.to);
    if (a < b)
        p.crc = CrcUpdate(p.crc, reinterpret_cast<const uint8_t*>(samples) + (a - p.fed),
                          static_cast<std::size_t>(b - a));
    p.fed += bytes;
}

bool CDiscCrc::Complete() const {
    if (parts_.empty()) return false;
    for (const Part& p : parts_)
        if (p.fed != p.frames * 4) return false;
    return true;
}

uint32_t CDiscCrc::Result() const {
    uLong crc = 0;
    for (const Part& p : parts_)
        crc = crc32_combine(crc, p.crc, static_cast<z_off_t>(p.to - p.from));
    return static_cast<uint32_t>(crc);
}

}  // namespace quarrow
