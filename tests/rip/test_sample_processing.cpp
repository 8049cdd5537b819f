#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "rip/SampleProcessing.h"
#include "rip/Transform.h"

using namespace quarrow;
using transform::Block;

namespace {

struct Rings {
    CSampleRing<int16_t> intRing{1048576};
    CSampleRing<float> left{524288};
    CSampleRing<float> right{262144};
    template <typename T>
    static std::vector<T> Drain(CSampleRing<T>& r) {
        std::vector<T> v(r.Available());
        return r.Read(v.data(), v.size()), v;
    }
};

}  // namespace

TEST(SampleConversion, ShortAndFloatEdgeValuesAndRoundTrip) {
    const int16_t in[4] = {-32768, 32767, 0, 16384};
    std::vector<float> f(4), fl(65536);
    ShortToFloat(in, f.data(), 4);
    EXPECT_EQ(f, (std::vector<float>{-1.0f, 0.999969482421875f, 0.0f, 0.5f}));
    const float g[7] = {1.0f, -1.0f, 0.5f, 1.5f, -1.5f, 0.0f, -0.5f};
    std::vector<int16_t> s(7);
    FloatToShort(g, s.data(), 7);
    EXPECT_EQ(s, (std::vector<int16_t>{32767, -32768, 16384, 32767, -32768, 0, -16384}));

    std::vector<int16_t> all(65536), back(65536);
    for (int i = 0; i < 65536; ++i) all[i] = static_cast<int16_t>(i - 32768);
    ShortToFloat(all.data(), fl.data(), all.size());
    FloatToShort(fl.data(), back.data(), fl.size());
    EXPECT_EQ(all, back);
}

TEST(Transform, MixSplitJoinAndFileLevel) {
    const Block stereo = {100, 300, -4, -6, 32767, 32767, -32768, -32768};
    EXPECT_EQ(transform::MixDown(stereo), (Block{200, -5, 32767, -32768}));
    const Block l = transform::SplitLeft(stereo), r = transform::SplitRight(stereo);
    EXPECT_EQ(l, (Block{100, -4, 32767, -32768}));
    EXPECT_EQ(transform::Join(l, r), stereo);

    // One channel measured over several blocks, then levelled.
    struct Case { std::vector<Block> blocks; float percent; bool dc; Block in, out; };
    const std::vector<Case> cases = {
        {{{1000, 500}, {-2000}}, 50.0f, false, {1000, -2000, 500}, {8192, -16384, 4096}},
        {{{1100, 900}, {1100, 900}}, 100.0f, true, {1100, 900}, {32767, -32767}},   // DC 1000, swing 100
        {{{0, 0}}, 100.0f, true, {0, 0}, {0, 0}},                                    // silence stays silent
        {{{16384}}, 500.0f, false, {16384, -16384}, {32767, -32767}},                // percent capped at 100
    };
    for (const Case& c : cases) {
        transform::PeakMeter meter(1);
        for (const Block& b : c.blocks) meter.Add(b);
        Block v = c.in;
        transform::ApplyLevel(v, meter.Gain(c.percent, c.dc), 0);
        EXPECT_EQ(v, c.out) << c.percent;
    }
}

TEST(SampleProcessing, ResamplingGivesTheRatioOfSamplesAndClips) {
    for (bool mono : {false, true}) {
        Rings r;
        SampleProcessingConfig c;
        c.floatPath = c.resample = true, c.mono = mono, c.ratio = 0.5, c.maxSectors = 16;
        CSampleProcessor p(c, r.intRing, r.left, r.right);
        p.OpenResamplers();
        // A full-scale square wave overshoots when filtered; the output must be clipped.
        const int blocks = 20;
        for (int k = 0; k < blocks; ++k) {
            Block b(16 * 1176);
            for (std::size_t i = 0; i < b.size(); i += 2) b[i] = b[i + 1] = ((k * 16 * 588 + i / 2) / 50) % 2 ? 32767 : -32768;
            p.ProcessSampleBlock(b, k == blocks - 1);
        }
        p.CloseResamplers();
        const auto left = Rings::Drain(r.left);
        EXPECT_NEAR(static_cast<double>(left.size()), blocks * 16 * 588 / 2.0, 64.0) << "mono " << mono;
        EXPECT_EQ(*std::max_element(left.begin(), left.end()), 1.0f);
        EXPECT_GE(*std::min_element(left.begin(), left.end()), -1.0f);
        EXPECT_EQ(Rings::Drain(r.right).size(), mono ? 0u : left.size());
    }
}
