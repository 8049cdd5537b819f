#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <tuple>
#include <twolame.h>

#include "app/Settings.h"
#include "encoders/EncodeMp2.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"

using namespace quarrow;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

CSettings Mp2Settings() {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = 7;
    return s;
}

struct Mp2Run {
    int result = -1;
    std::vector<std::string> messages;
};

// Feeds seconds of a 440 Hz (left) / 660 Hz (right) tone at the settings' rate.
Mp2Run Encode(const CSettings& s, const std::string& out, double seconds, double amplitude = 0.5,
              const std::function<void(FeedContext&)>& tweak = {}) {
    FeedContext ctx(s);
    ctx.ShapeFromSettings();
    const int rate = s.MP2.Freq >= 0 && s.MP2.Freq <= 10 ? std::array{8000, 11025, 12000, 16000, 22050, 24000, 32000,
                                                                     44100, 48000, 88200, 96000}[s.MP2.Freq]
                                                         : 44100;
    const std::size_t frames = static_cast<std::size_t>(seconds * rate);
    ctx.FeedFloats(SineFloats(frames, 440, amplitude, rate),
                   ctx.mono ? std::vector<float>{} : SineFloats(frames, 660, amplitude, rate));
    if (tweak) tweak(ctx);
    return {ctx.Encode(out), ctx.Messages()};
}

}  // namespace

TEST(EncodeMp2, PlaneConversionMatchesTheSharedConversion) {
    std::vector<float> values = {0.0f, 1.0f, -1.0f, 1.5f, -1.5f, 0.5f, -0.5f, 1.0f / 65536, -1.0f / 65536,
                                 1.5f / 65536, 0.99999994f, -0.99999994f, std::nanf(""), 1e-9f, -1e-9f};
    for (int i = -70000; i <= 70000; i += 7) values.push_back(static_cast<float>(i) / 65536.0f);
    // Just below and above a step of the upper 16 bits: rounding, not truncation, decides.
    for (int k = 1; k < 200; ++k) {
        for (double d : {-0.4, 0.4}) {
            values.push_back(static_cast<float>((k * 65536.0 + d) / 2147483648.0));
            values.push_back(static_cast<float>((-k * 65536.0 + d) / 2147483648.0));
        }
    }
    if (values.size() % 2) values.push_back(0.25f);
    std::vector<int16_t> expected(values.size());
    FloatToShort(values.data(), expected.data(), values.size());

    std::vector<int16_t> mono(values.size());
    FloatToShortPlanes(values.data(), values.size(), mono.data(), nullptr);
    EXPECT_EQ(mono, expected);
    EXPECT_EQ(mono[1], 32767);     // exactly full scale
    EXPECT_EQ(mono[2], -32768);
    EXPECT_EQ(mono[3], 32767);

    const std::size_t frames = values.size() / 2;
    std::vector<int16_t> left(frames), right(frames);
    FloatToShortPlanes(values.data(), frames, left.data(), right.data());
    for (std::size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(left[i], expected[2 * i]) << i;
        ASSERT_EQ(right[i], expected[2 * i + 1]) << i;
    }
}

TEST(EncodeMp2, DefaultsGive128kbpsAutoModeStereoAtTheDiscRate) {
    discimage::ScratchDir dir;
    const CSettings s = Mp2Settings();
    FeedContext shape(s);
    shape.ShapeFromSettings();
    EXPECT_TRUE(shape.floatPath);
    EXPECT_FALSE(shape.mono);

    const std::string out = dir.path() + "/track.mp2";
    const Mp2Run run = Encode(s, out, 2.0, 0.5, [](FeedContext& ctx) { ctx.piece = 1001; });
    ASSERT_EQ(run.result, 1) << (run.messages.empty() ? "" : run.messages[0]);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));
    const ProbeResult p = Probe(out);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.codec, "mp2");
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.channels, 2);
    EXPECT_NEAR(p.duration, 2.0, 0.06);
    EXPECT_EQ(p.tags.count("title"), 0u);   // the MP2 driver writes no tags

    const MpegScan scan = ScanMpeg(out);
    ASSERT_GT(scan.frames.size(), 70u);
    EXPECT_EQ(scan.strayBytes, 0u);
    for (const MpegFrame& f : scan.frames) {
        EXPECT_EQ(f.layer, 2);
        EXPECT_EQ(f.version, 1);
        EXPECT_EQ(f.kbps, 128);
        EXPECT_EQ(f.rate, 44100);
        EXPECT_FALSE(f.copyright);
    }

    // The float-to-16-bit conversion keeps the level: a half-scale tone decodes at half scale.
    int channels = 0;
    const std::vector<int16_t> pcm = DecodeShorts(out, &channels);
    ASSERT_EQ(channels, 2);
    ASSERT_GT(pcm.size(), 44100u * 2);
    int peak = 0;
    for (std::size_t i = 44100; i < pcm.size(); i += 2) peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    EXPECT_NEAR(peak, 16384, 1500);
}

TEST(EncodeMp2, ChannelModesRatesAndFlagsReachTheFrames) {
    discimage::ScratchDir dir;
    const int modes[] = {TWOLAME_MONO, TWOLAME_AUTO_MODE, TWOLAME_STEREO, TWOLAME_JOINT_STEREO, TWOLAME_DUAL_CHANNEL, -2};
    for (int channel = 0; channel < 6; ++channel) EXPECT_EQ(TwolameModeOfChannel(channel), modes[channel]) << channel;

    for (auto [channel, mode] : {std::pair{0, 3}, std::pair{2, 0}, std::pair{3, 1}, std::pair{4, 2}}) {
        CSettings s = Mp2Settings();
        s.MP2.Channel = static_cast<int16_t>(channel);
        // 96 mono; joint stereo only shows in frames that need it, so a tight 64 there.
        s.MP2.Bits = channel == 0 ? 9 : channel == 3 ? 7 : 13;
        const std::string out = dir.path() + "/mode" + std::to_string(channel) + ".mp2";
        const Mp2Run run = Encode(s, out, 0.5);
        ASSERT_EQ(run.result, 1) << channel << (run.messages.empty() ? "" : run.messages[0]);
        const MpegScan scan = ScanMpeg(out);
        ASSERT_GT(scan.frames.size(), 3u);
        int matching = 0;
        for (const MpegFrame& f : scan.frames) {
            matching += f.mode == mode;
            if (channel != 3) EXPECT_EQ(f.mode, mode) << channel;
            else EXPECT_LE(f.mode, 1);   // stereo frames may appear where joint coding gains nothing
        }
        EXPECT_GT(matching, 0) << channel;
        EXPECT_EQ(scan.frames[1].kbps, channel == 0 ? 96 : channel == 3 ? 64 : 192);
        EXPECT_EQ(Probe(out).channels, channel == 0 ? 1 : 2);
    }

    CSettings s = Mp2Settings();
    s.MP2.Freq = 8;                // 48000, delivered resampled by the rip
    s.MP2.Bits = 17;               // 384
    s.MP2.CopyRight = 1;
    s.MP2.Original = 1;
    const std::string out = dir.path() + "/48k.mp2";
    ASSERT_EQ(Encode(s, out, 1.0).result, 1);
    const MpegScan scan = ScanMpeg(out);
    ASSERT_GT(scan.frames.size(), 3u);
    EXPECT_EQ(scan.frames[1].rate, 48000);
    EXPECT_EQ(scan.frames[1].kbps, 384);
    EXPECT_TRUE(scan.frames[1].copyright);
    EXPECT_TRUE(scan.frames[1].original);
    const ProbeResult p = Probe(out);
    EXPECT_EQ(p.sampleRate, 48000);
    EXPECT_NEAR(p.duration, 1.0, 0.06);
}

TEST(EncodeMp2, RefusedParametersAndUnwritableFilesWriteNothing) {
    discimage::ScratchDir dir;
    const std::string configuring = "1:Error: configuring libtwolame encoder failed.";
    const std::string missing = dir.path() + "/missing/folder/x.mp2";
    const std::vector<std::tuple<std::function<void(CSettings&)>, std::string, std::string>> cases = {
        {[](CSettings& s) { s.MP2.Channel = 0, s.MP2.Bits = 17; }, "/refused.mp2", configuring},   // 384 is no mono rate
        {[](CSettings& s) { s.MP2.Channel = 9; }, "/damaged.mp2", configuring},
        {[](CSettings&) {}, "/missing/folder/x.mp2", "1:Error creating file " + missing},
    };
    for (const auto& [change, name, message] : cases) {
        CSettings s = Mp2Settings();
        change(s);
        const std::string out = dir.path() + name;
        const Mp2Run run = Encode(s, out, 0.2);
        EXPECT_EQ(run.result, 0) << name;
        ASSERT_FALSE(run.messages.empty()) << name;
        EXPECT_EQ(run.messages[0], message);
        EXPECT_TRUE(LeftNothing(out)) << name;
    }

    // Full-scale and beyond: clipped, not wrapped around.
    const std::string out = dir.path() + "/loud.mp2";
    ASSERT_EQ(Encode(Mp2Settings(), out, 1.0, 1.6).result, 1);
    const std::vector<int16_t> pcm = DecodeShorts(out);
    ASSERT_GT(pcm.size(), 44100u);
    long long energy = 0;
    for (std::size_t i = 20000; i < 40000; ++i) energy += std::llabs(pcm[i]);
    // A clipped tone stays near full scale on average; a wrapped one would fall apart.
    EXPECT_GT(energy / 20000, 20000);
}
