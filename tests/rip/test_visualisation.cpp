// The visualisation's numbers: a tone lands in its band and channel, silence shows
// nothing, and levels and peaks fall to zero without ever rising between blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rip/Visualisation.h"

using quarrow::CVisualisation;

namespace {

// A full-scale-times-gain sine in the chosen channels, 2048 frames.
std::vector<int16_t> Sine(double hz, double gain, bool left = true, bool right = true) {
    std::vector<int16_t> out(2 * CVisualisation::kFftSize);
    for (int i = 0; i < CVisualisation::kFftSize; ++i) {
        const auto v = static_cast<int16_t>(std::lround(32767 * gain * std::sin(2 * M_PI * hz * i / 44100.0)));
        out[2 * i] = left ? v : 0;
        out[2 * i + 1] = right ? v : 0;
    }
    return out;
}

}  // namespace

TEST(Visualisation, AToneLandsInItsBandAndChannel) {
    struct Row {
        int band;
        bool left, right;
    };
    for (const Row& row : {Row{10, true, true}, Row{16, true, false}, Row{22, false, true}, Row{30, true, true}}) {
        CVisualisation vis;
        const double hz = std::sqrt(vis.BandLow(row.band) * vis.BandLow(row.band + 1));   // the band's middle
        ASSERT_EQ(vis.BandOf(hz), row.band);
        const auto block = Sine(hz, 0.9, row.left, row.right);
        vis.Feed(block.data(), block.size());
        const auto& bands = vis.Bands();
        SCOPED_TRACE(row.band);
        // The spectrum is of the mixed-down block: a tone in one channel shows 6 dB lower
        // (scale 0 is -60 dBFS); the window costs at most 1.5 dB between bins.
        const double amplitude = 0.9 * ((row.left ? 0.5 : 0) + (row.right ? 0.5 : 0));
        EXPECT_NEAR(bands[row.band], (60 + 20 * std::log10(amplitude)) / 60, 0.025);
        for (int b = 0; b < CVisualisation::kBands; ++b)
            if (std::abs(b - row.band) > 2) {
                EXPECT_LT(bands[b], 0.3f) << "band " << b;
            }
        EXPECT_EQ(vis.Level(0) > 0.9f, row.left);
        EXPECT_EQ(vis.Level(1) > 0.9f, row.right);
        EXPECT_EQ(vis.Level(0) == 0.0f, !row.left);
        EXPECT_EQ(vis.History().front(), bands);
    }
}

TEST(Visualisation, SilenceAndClearShowNothing) {
    CVisualisation vis;
    const std::vector<int16_t> silence(4096, 0);
    vis.Feed(silence.data(), silence.size());
    for (float b : vis.Bands()) EXPECT_EQ(b, 0.0f);
    EXPECT_EQ(vis.Level(0) + vis.Level(1), 0.0f);
    const auto loud = Sine(1000, 1.0);
    vis.Feed(loud.data(), loud.size());
    vis.Clear();
    for (std::size_t i = 0; i < vis.Bands().size(); ++i) EXPECT_EQ(vis.Bands()[i] + vis.Peaks()[i], 0.0f);
    EXPECT_TRUE(vis.History().empty());
    // A short block (fewer frames than a transform) is padded, not read past its end.
    const std::vector<int16_t> shortBlock = {1000, -1000, 2000, -2000, 7};
    vis.Feed(shortBlock.data(), shortBlock.size());
    EXPECT_NEAR(vis.Scope(1)[0], -1000 / 32768.0f, 1e-6);
}

TEST(Visualisation, LevelsFallMonotonicallyToZeroAndPeaksHoldFirst) {
    CVisualisation vis;
    const auto block = Sine(3000, 1.0);
    vis.Feed(block.data(), block.size());
    const int band = vis.BandOf(3000);
    const float peak = vis.Peaks()[band];
    std::vector<float> last = vis.Bands();
    float lastLevel = vis.Level(0);
    int frames = 0;
    for (; frames < 200 && (last[band] > 0 || vis.Peaks()[band] > 0); ++frames) {
        vis.Decay();
        for (int b = 0; b < CVisualisation::kBands; ++b) ASSERT_LE(vis.Bands()[b], last[b]) << "band " << b;
        ASSERT_LE(vis.Level(0), lastLevel);
        if (frames < CVisualisation::kPeakHoldFrames) {
            EXPECT_EQ(vis.Peaks()[band], peak) << "frame " << frames;
        }
        last = vis.Bands();
        lastLevel = vis.Level(0);
    }
    EXPECT_LT(frames, 200) << "levels never reached zero";
    EXPECT_EQ(vis.Level(0), 0.0f);
    EXPECT_EQ(CVisualisation::PresetName(8), "Preset 1");
}
