#include <gtest/gtest.h>

#include <cmath>

#include "encoders/EncodeMp2.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"

using namespace quarrow;
using namespace quarrow::testsupport;

// Each row: the settings' channel, rate and bit rate, and what every frame must carry.
// The tone is fed as the rip delivers it: floats at the output rate.
TEST(EncodeMp2, ChannelModesRatesAndFlagsReachTheFrames) {
    discimage::ScratchDir dir;
    // mode -1: joint stereo, where stereo frames may appear too; -2: any. flags: copyright and original.
    struct Case { int channel, freq, bits, mode, kbps, rate; bool flags = false; };
    for (const Case& c : {Case{1, 7, 11, -2, 128, 44100}, Case{0, 7, 9, 3, 96, 44100}, Case{3, 7, 7, -1, 64, 44100},
                          Case{2, 8, 17, 0, 384, 48000, true}}) {
        SCOPED_TRACE(c.channel * 100 + c.freq);
        CSettings s = SettingsFor(7);
        s.MP2.Channel = static_cast<int16_t>(c.channel), s.MP2.Freq = static_cast<int16_t>(c.freq);
        s.MP2.Bits = static_cast<int16_t>(c.bits), s.MP2.CopyRight = s.MP2.Original = c.flags;
        FeedContext ctx(s);
        FeedTone(ctx, static_cast<std::size_t>(SampleRateOf(c.freq)), SampleRateOf(c.freq));
        EXPECT_TRUE(ctx.floatPath);
        ctx.piece = 1001;
        const std::string out = dir.path() + "/m" + std::to_string(c.channel) + std::to_string(c.freq) + ".mp2";
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        const MpegScan scan = ScanMpeg(out);
        ASSERT_TRUE(scan.frames.size() > 30u && scan.strayBytes == 0u) << scan.frames.size();
        int joint = 0;
        for (const MpegFrame& f : scan.frames) {
            EXPECT_EQ(std::vector<int>({f.version * 10 + f.layer, f.kbps, f.rate, f.copyright, f.original}),
                      std::vector<int>({12, c.kbps, c.rate, c.flags, c.flags}));
            if (c.mode >= 0) { EXPECT_EQ(f.mode, c.mode); }
            if (c.mode == -1) { EXPECT_LE(f.mode, 1); }
            joint += f.mode == 1;
        }
        if (c.mode == -1) { EXPECT_GT(joint, 0); }
        const Decoded d = Decode(out);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec + std::to_string(d.sampleRate) + "/" + std::to_string(d.channels),
                  "mp2" + std::to_string(c.rate) + (c.channel == 0 ? "/1" : "/2"));
        EXPECT_NEAR(d.duration, 1.0, 0.06);
        EXPECT_FALSE(d.HasTag("title"));   // the MP2 driver writes no tags
        if (c.bits != 11) continue;
        // The float-to-16-bit conversion keeps the level: a half-scale tone decodes at half scale.
        int peak = 0;
        for (std::size_t i = d.samples.size() / 2; i < d.samples.size(); i += 2)
            peak = std::max(peak, std::abs(static_cast<int>(d.samples[i])));
        EXPECT_NEAR(peak, 16384, 1500);
    }
}
