#include "encoders/ApeFrameEncoder.h"

#include "encoders/ApePredictor.h"
#include "encoders/ApeRangeCoder.h"

extern "C" {
#include <libavutil/crc.h>
}

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

namespace quarrow {

namespace {

// Frame flags, present when the CRC word's top bit is set.
constexpr uint32_t kFlagMonoSilence = 1;
constexpr uint32_t kFlagStereoSilence = 3;
constexpr uint32_t kFlagPseudoStereo = 4;   // both channels equal: coded once
constexpr uint32_t kFlagsFollow = 0x80000000u;

struct FilterShape {
    int order;
    int fractionBits;
};

// The NN filters of each level, in the order a decoder runs them (the encoder runs them
// backwards).
std::vector<FilterShape> FiltersOf(int level) {
    switch (level) {
    case 2000: return {{16, 11}};
    case 3000: return {{64, 11}};
    case 4000: return {{32, 10}, {256, 13}};
    case 5000: return {{16, 11}, {256, 13}, {1280, 15}};
    default: return {};
    }
}

// Runs the level's filters over one channel, the decoder's last filter first.
void Filter(int level, int32_t* values, std::size_t count) {
    const auto shapes = FiltersOf(level);
    for (auto it = shapes.rbegin(); it != shapes.rend(); ++it) {
        ApeNNFilter filter(it->order, it->fractionBits);
        filter.Compress(values, count);
    }
}

// The two channels' filters are independent: on a long frame at a level with filters,
// the mid channel's run on a second thread.
void FilterBoth(int level, int32_t* side, int32_t* mid, std::size_t count) {
    constexpr std::size_t kWorthAThread = 16384;
    std::jthread second;   // joined on the way out, however that is
    if (count >= kWorthAThread && !FiltersOf(level).empty()) {
        try {
            second = std::jthread([=] { Filter(level, mid, count); });
        } catch (const std::system_error&) {
            // No thread to be had: both run on this one.
        }
    }
    Filter(level, side, count);
    if (second.joinable())
        second.join();
    else
        Filter(level, mid, count);
}

// The CRC of the frame's PCM as a decoder writes it out (16-bit little-endian,
// interleaved), shifted down a bit to leave the top bit for the flags marker.
uint32_t FrameCrc(const int16_t* samples, std::size_t count) {
    static const AVCRC* table = av_crc_get_table(AV_CRC_32_IEEE_LE);
    uint32_t crc = 0xFFFFFFFFu;
    if constexpr (std::endian::native == std::endian::little) {
        crc = av_crc(table, crc, reinterpret_cast<const uint8_t*>(samples), count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const auto u = static_cast<uint16_t>(samples[i]);
            const uint8_t bytes[2] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)};
            crc = av_crc(table, crc, bytes, 2);
        }
    }
    return ~crc >> 1;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::vector<uint8_t> EncodeApeFrame(const int16_t* samples, uint32_t blocks, int channels, int level) {
    if (blocks < 1 || blocks > kApeBlocksPerFrame)
        throw std::invalid_argument("APE frame: " + std::to_string(blocks) + " blocks, not 1.." +
                                    std::to_string(kApeBlocksPerFrame));
    if (channels != 1 && channels != 2)
        throw std::invalid_argument("APE frame: " + std::to_string(channels) + " channels, not 1 or 2");
    if (level < 1000 || level > 5000 || level % 1000 != 0)
        throw std::invalid_argument("APE frame: compression level " + std::to_string(level) +
                                    ", not 1000, 2000, 3000, 4000 or 5000");
    if (!samples) throw std::invalid_argument("APE frame: no samples");
    const std::size_t n = blocks;
    const std::size_t count = n * static_cast<std::size_t>(channels);

    bool silent = true, sameChannels = channels == 2;
    for (std::size_t i = 0; i < count && (silent || sameChannels); ++i) {
        if (samples[i] != 0) silent = false;
        if (sameChannels && i % 2 == 1 && samples[i] != samples[i - 1]) sameChannels = false;
    }
    uint32_t flags = 0;
    if (silent)
        flags = channels == 2 ? kFlagStereoSilence : kFlagMonoSilence;
    else if (sameChannels)
        flags = kFlagPseudoStereo;

    // The stream as a decoder reads it: CRC, the flags if any, then the range-coded values.
    std::vector<uint8_t> stream;
    stream.reserve(count + 64);
    const uint32_t crc = FrameCrc(samples, count);
    PutBigEndian(stream, flags ? crc | kFlagsFollow : crc);
    if (flags) PutBigEndian(stream, flags);

    ApeRangeEncoder rc(stream);
    if (!silent) {
        ApePredictor predictor;
        if (channels == 1 || sameChannels) {
            std::vector<int32_t> mono(n);
            for (std::size_t i = 0; i < n; ++i) mono[i] = samples[i * static_cast<std::size_t>(channels)];
            predictor.CompressMono(mono.data(), n);
            Filter(level, mono.data(), n);
            ApeValueCoder coder;
            for (const int32_t v : mono) coder.Encode(rc, v);
        } else {
            // Side (right minus left) and mid (left plus half the side, rounded toward zero).
            std::vector<int32_t> side(n), mid(n);
            for (std::size_t i = 0; i < n; ++i) {
                const int32_t left = samples[2 * i], right = samples[2 * i + 1];
                side[i] = right - left;
                mid[i] = left + side[i] / 2;
            }
            predictor.CompressStereo(side.data(), mid.data(), n);
            FilterBoth(level, side.data(), mid.data(), n);
            ApeValueCoder sideCoder, midCoder;
            for (std::size_t i = 0; i < n; ++i) {
                sideCoder.Encode(rc, side[i]);
                midCoder.Encode(rc, mid[i]);
            }
        }
    }
    rc.Finish();

    // Whole 32-bit words plus one spare, for decoders that fetch a word ahead; each word
    // is stored little-endian.
    stream.resize((stream.size() + 3) / 4 * 4 + 4, 0);
    for (std::size_t i = 0; i < stream.size(); i += 4) {
        std::swap(stream[i], stream[i + 3]);
        std::swap(stream[i + 1], stream[i + 2]);
    }
    return stream;
}

}  // namespace quarrow
