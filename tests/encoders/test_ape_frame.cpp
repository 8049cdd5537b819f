// APE frames from our compressor, decoded by libavcodec's decoder (with its CRC check
// made fatal): every level and signal must come back bit for bit.
#include "encoders/ApeFrameEncoder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace quarrow {
namespace {

// Decodes one frame as the container's demuxer hands it over: the block count and a
// byte skip of 0 (little-endian words), then the frame's bytes.
std::vector<int16_t> DecodeFrame(const std::vector<uint8_t>& frame, uint32_t blocks, int channels, int level,
                                 std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_APE);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> ctx(avcodec_alloc_context3(codec),
                                                                   [](AVCodecContext* c) { avcodec_free_context(&c); });
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_rate = 44100;
    ctx->bits_per_coded_sample = 16;
    ctx->err_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE;
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(6 + AV_INPUT_BUFFER_PADDING_SIZE));
    ctx->extradata_size = 6;
    const uint16_t extra[3] = {kApeFileVersion, static_cast<uint16_t>(level), 0};
    for (int i = 0; i < 3; ++i) ctx->extradata[2 * i] = extra[i] & 0xFF, ctx->extradata[2 * i + 1] = extra[i] >> 8;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> pkt(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> out(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    std::vector<int16_t> pcm;
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc >= 0) rc = av_new_packet(pkt.get(), static_cast<int>(frame.size() + 8));
    if (rc >= 0) {
        const uint32_t head[2] = {blocks, 0};
        for (int i = 0; i < 8; ++i) pkt->data[i] = static_cast<uint8_t>(head[i / 4] >> (8 * (i % 4)));
        std::memcpy(pkt->data + 8, frame.data(), frame.size());
        rc = avcodec_send_packet(ctx.get(), pkt.get());
    }
    while (rc >= 0 && (rc = avcodec_receive_frame(ctx.get(), out.get())) >= 0) {
        for (int i = 0; i < out->nb_samples; ++i)
            for (int c = 0; c < channels; ++c) pcm.push_back(reinterpret_cast<const int16_t*>(out->data[c])[i]);
    }
    if (rc < 0 && rc != AVERROR(EAGAIN)) error = av_make_error_string(text, sizeof text, rc);
    return pcm;
}

using Generator = std::function<int16_t(std::size_t i, int channel)>;

// Deterministic noise in [-amplitude, amplitude].
int Noise(std::size_t i, int channel, int amplitude) {
    uint32_t x = static_cast<uint32_t>(i * 2 + static_cast<std::size_t>(channel)) * 2654435761u;
    x ^= x >> 15, x *= 2246822519u, x ^= x >> 13;
    return static_cast<int>(x % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
}

// A few partials under a slow swell, the channels related but not equal, a little hiss.
int16_t Music(std::size_t i, int channel) {
    const double t = static_cast<double>(i) / 44100.0, swell = 0.55 + 0.35 * std::sin(2 * M_PI * 0.7 * t);
    const double v = std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 331 * t + channel) +
                     0.25 * std::sin(2 * M_PI * 1187 * t * (channel ? 1.01 : 1.0));
    return static_cast<int16_t>(std::lround(11000 * swell * v) + Noise(i, channel, 40));
}

struct Row {
    const char* name;
    int channels;
    uint32_t blocks;
    Generator sample;
};

const Row kRows[] = {
    {"music stereo", 2, 24000, Music},
    {"music mono", 1, 20000, Music},
    {"one block", 2, 1, Music},
    {"one sector", 2, 588, Music},
    {"silence", 2, 3000, [](std::size_t, int) -> int16_t { return 0; }},
    {"mono silence", 1, 3000, [](std::size_t, int) -> int16_t { return 0; }},
    {"equal channels", 2, 5000, [](std::size_t i, int) { return Music(i, 0); }},
    {"full-scale noise", 2, 20000, [](std::size_t i, int c) { return static_cast<int16_t>(std::min(Noise(i, c, 32768), 32767)); }},
    {"square at clipping", 2, 20000,
     [](std::size_t i, int c) -> int16_t { return (i / (c ? 37 : 1)) % 2 ? 32767 : -32768; }},
};

std::vector<int16_t> Make(const Row& row) {
    std::vector<int16_t> pcm(row.blocks * static_cast<std::size_t>(row.channels));
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = row.sample(i / static_cast<std::size_t>(row.channels), static_cast<int>(i % static_cast<std::size_t>(row.channels)));
    return pcm;
}

void ExpectRoundTrip(const std::vector<int16_t>& pcm, uint32_t blocks, int channels, int level) {
    const std::vector<uint8_t> frame = EncodeApeFrame(pcm.data(), blocks, channels, level);
    ASSERT_EQ(frame.size() % 4, 0u);
    std::string error;
    const std::vector<int16_t> decoded = DecodeFrame(frame, blocks, channels, level, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(decoded.size(), pcm.size());
    EXPECT_TRUE(decoded == pcm) << "first difference at sample "
                                << std::mismatch(pcm.begin(), pcm.end(), decoded.begin()).first - pcm.begin();
}

TEST(ApeFrame, EveryLevelAndSignalDecodesBitForBit) {
    for (const Row& row : kRows) {
        const std::vector<int16_t> pcm = Make(row);
        for (int level = 1000; level <= 5000; level += 1000) {
            SCOPED_TRACE(std::string(row.name) + " at level " + std::to_string(level));
            ExpectRoundTrip(pcm, row.blocks, row.channels, level);
        }
    }
}

TEST(ApeFrame, AFullFrameDecodesBitForBit) {
    const Row full{"full frame", 2, kApeBlocksPerFrame, Music};
    ExpectRoundTrip(Make(full), full.blocks, full.channels, 2000);
}

TEST(ApeFrame, OutOfRangeArgumentsAreRefusedByName) {
    const std::vector<int16_t> pcm(8, 0);
    const struct {
        uint32_t blocks;
        int channels, level;
        const char* named;
    } bad[] = {{0, 2, 2000, "0 blocks"}, {kApeBlocksPerFrame + 1, 2, 2000, "294913 blocks"},
               {4, 3, 2000, "3 channels"}, {4, 2, 2500, "level 2500"}, {4, 2, 6000, "level 6000"}};
    for (const auto& b : bad) {
        try {
            EncodeApeFrame(pcm.data(), b.blocks, b.channels, b.level);
            ADD_FAILURE() << b.named << " was accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(b.named), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace quarrow
