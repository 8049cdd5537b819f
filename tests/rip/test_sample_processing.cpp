#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "rip/SampleProcessing.h"
#include "rip/Transform.h"

using namespace quarrow;

namespace {

std::vector<int16_t> Sine(std::size_t frames, double freq, double amp, int16_t bias = 0) {
    std::vector<int16_t> s(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = amp * std::sin(2 * M_PI * freq * static_cast<double>(i) / 44100.0);
        s[2 * i] = static_cast<int16_t>(std::lround(v) + bias);
        s[2 * i + 1] = static_cast<int16_t>(std::lround(-v / 2) + bias);
    }
    return s;
}

struct Rings {
    CSampleRing<int16_t> intRing{1048576};
    CSampleRing<float> left{524288};
    CSampleRing<float> right{262144};
    template <typename T>
    static std::vector<T> Drain(CSampleRing<T>& r) {
        std::vector<T> v(r.Available());
        r.Read(v.data(), v.size());
        return v;
    }
};

}  // namespace

TEST(SampleConversion, ShortAndFloatEdgeValues) {
    const int16_t in[4] = {-32768, 32767, 0, 16384};
    std::vector<float> f(4);
    ShortToFloat(in, f.data(), 4);
    EXPECT_EQ(f, (std::vector<float>{-1.0f, 0.999969482421875f, 0.0f, 0.5f}));

    // Out-of-range values clip.
    const float g[7] = {1.0f, -1.0f, 0.5f, 1.5f, -1.5f, 0.0f, -0.5f};
    std::vector<int16_t> s(7);
    FloatToShort(g, s.data(), 7);
    EXPECT_EQ(s, (std::vector<int16_t>{32767, -32768, 16384, 32767, -32768, 0, -16384}));

    // Every 16-bit value survives the round trip.
    std::vector<int16_t> all(65536), back(65536);
    for (int i = 0; i < 65536; ++i) all[i] = static_cast<int16_t>(i - 32768);
    std::vector<float> fl(65536);
    ShortToFloat(all.data(), fl.data(), all.size());
    FloatToShort(fl.data(), back.data(), fl.size());
    EXPECT_EQ(all, back);
}

TEST(Transform, MixSplitJoinAndLevel) {
    const transform::Block stereo = {100, 300, -4, -6, 32767, 32767, -32768, -32768};
    EXPECT_EQ(transform::MixDown(stereo), (transform::Block{200, -5, 32767, -32768}));
    const auto l = transform::SplitLeft(stereo);
    const auto r = transform::SplitRight(stereo);
    EXPECT_EQ(l, (transform::Block{100, -4, 32767, -32768}));
    EXPECT_EQ(r, (transform::Block{300, -6, 32767, -32768}));
    EXPECT_EQ(transform::Join(l, r), stereo);

    transform::Block b = {1000, -2000, 500};
    transform::Level(b, 50.0f, false);
    EXPECT_EQ(b[1], -16384);   // the peak goes to 50% of full scale
    EXPECT_EQ(b[0], 8192);
    transform::Block biased = {1100, 900, 1100, 900};   // DC 1000, swing 100
    transform::Level(biased, 100.0f, true);
    EXPECT_EQ(biased, (transform::Block{32767, -32767, 32767, -32767}));
    transform::Block silent(16, 0);
    transform::Level(silent, 100.0f, true);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));
}

TEST(SampleProcessing, IntegerPathPassesOrShapesTheBlock) {
    const auto block = Sine(588 * 3, 1000, 12000, 300);
    auto run = [&](SampleProcessingConfig c) {
        Rings r;
        CSampleProcessor p(c, r.intRing, r.left, r.right);
        auto b = block;
        p.ProcessSampleBlock(b, false);
        return Rings::Drain(r.intRing);
    };
    SampleProcessingConfig c;
    c.dcBias = true;   // without levelling the bias setting has no effect
    EXPECT_EQ(run(c), block);
    c = {};
    c.mono = true;
    EXPECT_EQ(run(c), transform::MixDown(block));
    {
        c = {};
        c.normalize = true;
        c.normalizePercent = 90;
        const auto out = run(c);
        ASSERT_EQ(out.size(), block.size());
        int peakL = 0, peakR = 0;
        for (std::size_t i = 0; i < out.size(); i += 2) {
            peakL = std::max(peakL, std::abs(static_cast<int>(out[i])));
            peakR = std::max(peakR, std::abs(static_cast<int>(out[i + 1])));
        }
        // Each channel is levelled on its own to 90% of full scale.
        EXPECT_NEAR(peakL, 29490, 2);
        EXPECT_NEAR(peakR, 29490, 2);
    }
}

TEST(SampleProcessing, FloatPathWithoutResamplingSplitsIntoChannelRings) {
    Rings r;
    SampleProcessingConfig c;
    c.floatPath = true;
    c.maxSectors = 4;
    CSampleProcessor p(c, r.intRing, r.left, r.right);
    auto block = Sine(588 * 2, 440, 20000);
    const auto copy = block;
    p.ProcessSampleBlock(block, false);
    const auto left = Rings::Drain(r.left);
    const auto right = Rings::Drain(r.right);
    ASSERT_EQ(left.size(), 1176u);
    ASSERT_EQ(right.size(), 1176u);
    EXPECT_FLOAT_EQ(left[5], copy[10] / 32768.0f);
    EXPECT_FLOAT_EQ(right[5], copy[11] / 32768.0f);
}

TEST(SampleProcessing, ResamplingGivesTheRatioOfSamplesAndClips) {
    for (bool mono : {false, true}) {
        Rings r;
        SampleProcessingConfig c;
        c.floatPath = c.resample = true;
        c.mono = mono;
        c.ratio = 22050.0 / 44100.0;
        c.maxSectors = 16;
        CSampleProcessor p(c, r.intRing, r.left, r.right);
        p.OpenResamplers();
        // A full-scale square wave overshoots when filtered; the output must be clipped.
        const int blocks = 20;
        std::size_t inputFrames = 0;
        for (int k = 0; k < blocks; ++k) {
            std::vector<int16_t> b(16 * 1176);
            for (std::size_t i = 0; i < b.size(); i += 2) {
                const std::size_t frame = inputFrames + i / 2;
                b[i] = b[i + 1] = (frame / 50) % 2 ? 32767 : -32768;
            }
            inputFrames += b.size() / 2;
            p.ProcessSampleBlock(b, k == blocks - 1);
        }
        p.CloseResamplers();
        const auto left = Rings::Drain(r.left);
        const std::size_t expected = inputFrames / 2;   // one value per frame and channel either way
        EXPECT_NEAR(static_cast<double>(left.size()), static_cast<double>(expected), 64.0) << "mono " << mono;
        EXPECT_LE(*std::max_element(left.begin(), left.end()), 1.0f);
        EXPECT_GE(*std::min_element(left.begin(), left.end()), -1.0f);
        EXPECT_EQ(*std::max_element(left.begin(), left.end()), 1.0f);   // overshoot was clipped to 1
        if (!mono) EXPECT_EQ(Rings::Drain(r.right).size(), left.size());
        else EXPECT_EQ(r.right.Available(), 0u);
    }
}
