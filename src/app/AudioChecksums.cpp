#include "app/AudioChecksums.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <libdeflate.h>
#include <zlib.h>

namespace quarrow {

static_assert(std::endian::native == std::endian::little,
              "audio samples are checksummed as the disc stores them, little-endian");

namespace {

uint32_t CrcUpdate(uint32_t crc, const void* data, std::size_t bytes) {
    return bytes ? libdeflate_crc32(crc, data, bytes) : crc;
}

// The hot loops, built for AVX2 as well where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUARROW_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUARROW_VECTOR_CLONES
#endif

// AccurateRip: each frame (left in the low half, right in the high half) times its
// 1-based position; v1 sums the low 32 bits of the products, v2 the high ones as well.
// The products are summed whole (modulo 2^64) beside their low words: the difference is
// 2^32 times the sum of the high words, which vectorises better than taking them apart.
// With peak given, the magnitudes of the samples go into it in the same pass.
uint16_t Magnitude(int16_t v) {
    return v < 0 ? static_cast<uint16_t>(0u - static_cast<uint16_t>(v)) : static_cast<uint16_t>(v);
}

void SumProductsPlain(const int16_t* samples, std::size_t frames, uint32_t multiplier, uint64_t& all,
                      uint64_t& low, uint16_t* peak) {
    for (std::size_t i = 0; i < frames; ++i) {
        uint32_t frame;
        std::memcpy(&frame, samples + 2 * i, sizeof frame);
        const uint64_t product = static_cast<uint64_t>(frame) * (multiplier + static_cast<uint32_t>(i));
        all += product;
        low += static_cast<uint32_t>(product);
    }
    if (peak)
        for (std::size_t i = 0; i < 2 * frames; ++i) *peak = std::max(*peak, Magnitude(samples[i]));
}

#if defined(__x86_64__) && defined(__GNUC__)
// Eight frames a step: the even and the odd 32-bit lanes multiplied apart into 64 bits.
__attribute__((target("avx2"))) void SumProductsAvx2(const int16_t* samples, std::size_t frames,
                                                     uint32_t multiplier, uint64_t& all, uint64_t& low,
                                                     uint16_t* peak) {
    std::size_t i = 0;
    if (frames >= 8) {
        const __m256i lowMask = _mm256_set1_epi64x(0xFFFFFFFF);
        const __m256i step = _mm256_set1_epi32(8);
        __m256i m = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(multiplier)),
                                     _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        __m256i sumAll = _mm256_setzero_si256(), sumLow = _mm256_setzero_si256(), top = _mm256_setzero_si256();
        for (; i + 8 <= frames; i += 8) {
            const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + 2 * i));
            const __m256i even = _mm256_mul_epu32(f, m);
            const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(f, 32), _mm256_srli_epi64(m, 32));
            sumAll = _mm256_add_epi64(sumAll, _mm256_add_epi64(even, odd));
            sumLow = _mm256_add_epi64(sumLow, _mm256_add_epi64(_mm256_and_si256(even, lowMask),
                                                               _mm256_and_si256(odd, lowMask)));
            m = _mm256_add_epi32(m, step);
            top = _mm256_max_epu16(top, _mm256_abs_epi16(f));   // -32768 comes out as 32768
        }
        uint64_t a[4], l[4];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a), sumAll);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(l), sumLow);
        all += a[0] + a[1] + a[2] + a[3];
        low += l[0] + l[1] + l[2] + l[3];
        if (peak) {
            uint16_t t[16];
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), top);
            for (uint16_t v : t) *peak = std::max(*peak, v);
        }
    }
    SumProductsPlain(samples + 2 * i, frames - i, multiplier + static_cast<uint32_t>(i), all, low, peak);
}
#endif

void SumProducts(const int16_t* samples, std::size_t frames, uint32_t multiplier, uint32_t& lowSum,
                 uint32_t& highSum, uint16_t* peak = nullptr) {
    uint64_t all = 0, low = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) SumProductsAvx2(samples, frames, multiplier, all, low, peak);
    else SumProductsPlain(samples, frames, multiplier, all, low, peak);
#else
    SumProductsPlain(samples, frames, multiplier, all, low, peak);
#endif
    lowSum += static_cast<uint32_t>(low);
    highSum += static_cast<uint32_t>((all - low) >> 32);
}

// Magnitudes as 16-bit unsigned values (32768 for -32768), so that the loop stays in
// 16-bit lanes.
QUARROW_VECTOR_CLONES
int PeakOf(const int16_t* samples, std::size_t count, int peak) {
    uint16_t top = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const uint16_t v = static_cast<uint16_t>(samples[i]);
        const uint16_t magnitude = samples[i] < 0 ? static_cast<uint16_t>(0u - v) : v;
        top = std::max(top, magnitude);
    }
    return std::max(peak, static_cast<int>(top));
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
    place_.windowFrom = std::max<int64_t>(place.windowFrom, 0);
    place_.windowTo = std::max(place.windowTo, place_.windowFrom);
}

void CTrackChecksummer::Add(const int16_t* samples, std::size_t count) {
    if (count == 0) return;
    // One CRC pass, split where the disc CRC's window starts and ends.
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples);
    const int64_t end = bytes_ + static_cast<int64_t>(count * sizeof(int16_t));
    const int64_t a = std::clamp(place_.windowFrom, bytes_, end);
    const int64_t b = std::clamp(place_.windowTo, bytes_, end);
    crcBefore_ = CrcUpdate(crcBefore_, bytes, static_cast<std::size_t>(a - bytes_));
    crcWindow_ = CrcUpdate(crcWindow_, bytes + (a - bytes_), static_cast<std::size_t>(b - a));
    crcAfter_ = CrcUpdate(crcAfter_, bytes + (b - bytes_), static_cast<std::size_t>(end - b));
    bytes_ = end;

    // A block of whole frames that lies within the AccurateRip sums gets its peak in the
    // same pass as the sums (the usual case); any other block in a pass of its own.
    const int64_t first = static_cast<int64_t>(position_) + 1;
    const int64_t last = first + static_cast<int64_t>(count / 2) - 1;
    const int64_t f450From = int64_t{kFrame450Sector} * kChecksumFramesPerSector + 1;
    const bool clearOf450 = last < f450From || first >= f450From + kChecksumFramesPerSector;
    if (!hasPending_ && count % 2 == 0 && first >= checkFrom_ && last <= checkTo_ && clearOf450) {
        uint16_t top = static_cast<uint16_t>(peak_);
        position_ += count / 2;
        SumProducts(samples, count / 2, static_cast<uint32_t>(first), arV1_, arHigh_, &top);
        peak_ = top;
        return;
    }
    peak_ = PeakOf(samples, count, peak_);

    // Whole stereo frames only; a frame split between blocks is completed first.
    if (hasPending_) {
        const int16_t pair[2] = {pendingLeft_, samples[0]};
        AddFrames(pair, 1);
        hasPending_ = false;
        ++samples;
        --count;
    }
    AddFrames(samples, count / 2);
    if (count % 2) {
        pendingLeft_ = samples[count - 1];
        hasPending_ = true;
    }
}

void CTrackChecksummer::AddFrames(const int16_t* samples, std::size_t count) {
    if (count == 0) return;
    const int64_t first = static_cast<int64_t>(position_) + 1;   // position of the first frame
    const int64_t last = first + static_cast<int64_t>(count) - 1;
    position_ += count;

    const int64_t from = std::max(first, checkFrom_);
    const int64_t to = std::min(last, checkTo_);
    if (from <= to)
        SumProducts(samples + 2 * (from - first), static_cast<std::size_t>(to - from + 1),
                    static_cast<uint32_t>(from), arV1_, arHigh_);

    // Frame 450: sector 450 alone, its frames weighted 1..588.
    const int64_t f450From = int64_t{kFrame450Sector} * kChecksumFramesPerSector + 1;
    const int64_t f450To = f450From + kChecksumFramesPerSector - 1;
    const int64_t a = std::max(first, f450From);
    const int64_t b = std::min(last, f450To);
    uint32_t unused = 0;
    if (a <= b)
        SumProducts(samples + 2 * (a - first), static_cast<std::size_t>(b - a + 1),
                    static_cast<uint32_t>(a - f450From + 1), frame450_, unused);
}

TrackChecksums CTrackChecksummer::Result() const {
    TrackChecksums r;
    const int64_t windowBytes = std::min(bytes_, place_.windowTo) - std::min(bytes_, place_.windowFrom);
    const int64_t afterBytes = bytes_ - std::min(bytes_, place_.windowTo);
    r.crc32 = static_cast<uint32_t>(crc32_combine(crc32_combine(crcBefore_, crcWindow_, static_cast<z_off_t>(windowBytes)),
                                                  crcAfter_, static_cast<z_off_t>(afterBytes)));
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

std::pair<int64_t, int64_t> CDiscCrc::Window(int audioTrack) const {
    if (audioTrack < 0 || audioTrack >= static_cast<int>(parts_.size())) return {0, 0};
    const Part& p = parts_[static_cast<std::size_t>(audioTrack)];
    return {p.from, p.to};
}

void CDiscCrc::SetTrack(int audioTrack, uint32_t windowCrc, int64_t bytesFed) {
    if (audioTrack < 0 || audioTrack >= static_cast<int>(parts_.size())) return;
    Part& p = parts_[static_cast<std::size_t>(audioTrack)];
    p.crc = windowCrc;
    p.fed = bytesFed;
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
