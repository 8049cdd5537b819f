#include <gtest/gtest.h>
#include <wavpack/wavpack.h>

#include <filesystem>

#include "encoders/EncodeWavPack.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"
#include "support/RunProcess.h"

using namespace quarrow;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

CSettings Hybrid(bool correction) {
    CSettings s = SettingsFor(12);
    s.WV.EncMod = 1, s.WV.CrtWvc = correction ? 1 : 0, s.WV.Kbps = 320;
    return s;
}

// The file as the WavPack library reads it back (with its correction file if asked).
struct Unpacked {
    bool ok = false;
    std::string error;
    int mode = 0, rate = 0;
    uint32_t declaredSamples = 0;
    std::vector<int16_t> samples;
    std::vector<std::pair<std::string, std::string>> tags;   // in file order
};

Unpacked Unpack(const std::string& path, bool withCorrection) {
    Unpacked u;
    char error[128] = {};
    WavpackContext* wpc = WavpackOpenFileInput(path.c_str(), error, (withCorrection ? OPEN_WVC : 0) | OPEN_TAGS, 0);
    if (!wpc) {
        u.error = error;
        return u;
    }
    u.mode = WavpackGetMode(wpc);
    u.declaredSamples = WavpackGetNumSamples(wpc);
    u.rate = static_cast<int>(WavpackGetSampleRate(wpc));
    std::vector<int32_t> buf(4096 * 2);
    uint32_t n;
    while ((n = WavpackUnpackSamples(wpc, buf.data(), 4096)) > 0) u.samples.insert(u.samples.end(), buf.begin(), buf.begin() + n * 2);
    for (int i = 0; i < WavpackGetNumTagItems(wpc); ++i) {
        char item[64] = {}, value[512] = {};
        WavpackGetTagItemIndexed(wpc, i, item, sizeof item);
        WavpackGetTagItem(wpc, item, value, sizeof value);
        u.tags.emplace_back(item, value);
    }
    u.ok = WavpackGetNumErrors(wpc) == 0;
    WavpackCloseFile(wpc);
    return u;
}

}  // namespace

TEST(EncodeWavPack, ConfigurationFlags) {
    // bitrate -1, shaping 9, blockSamples -1: not looked at
    struct Case { const char* name; CSettings s; std::function<void(CSettings&)> change; int flags;
                  float bitrate = -1, shaping = 0; int blockSamples = 0, xmode = 0; };
    const int hybrid = CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS;
    const Case cases[] = {
        {"default", SettingsFor(12), [](CSettings&) {}, 0},
        {"very high, mid/side off", SettingsFor(12), [](CSettings& s) { s.WV.ComLev = 3, s.WV.SteMod = 1; },
         CONFIG_VERY_HIGH_FLAG | CONFIG_JOINT_OVERRIDE},
        {"joint, extra 4", SettingsFor(12), [](CSettings& s) { s.WV.ComLev = 3, s.WV.SteMod = 2, s.WV.ExtMod = 4; },
         CONFIG_VERY_HIGH_FLAG | CONFIG_JOINT_STEREO | CONFIG_JOINT_OVERRIDE | CONFIG_EXTRA_MODE, -1, 0, 0, 4},
        // A block size merges blocks in lossless mode only.
        {"block size", SettingsFor(12), [](CSettings& s) { s.WV.EnableBlkSize = 1, s.WV.BlkSize = 22050; },
         CONFIG_MERGE_BLOCKS, -1, 0, 22050},
        {"hybrid 320", Hybrid(false), [](CSettings& s) { s.WV.EnableBlkSize = 1; }, hybrid | CONFIG_DYNAMIC_SHAPING, 320, 0, -1},
        {"correction, maximum, noise", Hybrid(true), [](CSettings& s) { s.WV.OptWvc = 1, s.WV.CalNos = 1; },
         hybrid | CONFIG_OPTIMIZE_WVC | CONFIG_CREATE_WVC | CONFIG_CALC_NOISE | CONFIG_DYNAMIC_SHAPING, 0},
        // A noise-shaping override sets hybrid shaping and never touches lossless mode.
        {"shaping -0.5", Hybrid(false), [](CSettings& s) { s.WV.EnableShape = 1, s.WV.Shape = -50; },
         hybrid | CONFIG_SHAPE_OVERRIDE | CONFIG_HYBRID_SHAPE, -1, -0.5f},
        {"shaping lossless", SettingsFor(12), [](CSettings& s) { s.WV.EnableShape = 1, s.WV.Shape = -50; }, 0},
    };
    for (Case c : cases) {
        c.change(c.s);
        const WavpackConfig config = WavPackConfigOf(c.s);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(config.flags, c.flags);
        if (c.bitrate >= 0) { EXPECT_FLOAT_EQ(config.bitrate, c.bitrate); }
        if (c.shaping != 9) { EXPECT_FLOAT_EQ(config.shaping_weight, c.shaping); }
        if (c.blockSamples >= 0) { EXPECT_EQ(config.block_samples, c.blockSamples); }
        EXPECT_EQ(std::make_pair(config.xmode, config.channel_mask), std::make_pair(c.xmode, 3));
        EXPECT_EQ(WavPackWritesCorrection(c.s), c.s.WV.CrtWvc == 1 && c.s.WV.EncMod == 1);
    }
    EXPECT_EQ(WavPackCorrectionPathOf("/out/.a b.wv.part"), "/out/.a b.wvc.part");
    EXPECT_EQ(WavPackCorrectionPathOf("/out/track.bin"), "/out/track.bin.wvc");
}

// Each row: settings and what the library must read back. Lossless files (and hybrid
// ones with their correction file) decode bit-identical and pass wvunpack's check.
TEST(EncodeWavPack, FilesDecodeAsTheirModeAllows) {
    discimage::ScratchDir dir;
    const std::vector<int16_t> pcm = NoisyShorts(44100 * 2 + 501, 500);
    const std::vector<std::pair<std::string, std::string>> tags = {
        {"artist", "AC/DC \"Live\" $(rm -rf ~)"}, {"title", "Third & 'last' / $HOME"}, {"year", "1991"},
        {"album", "Back in Black; `echo hi` | tee"}, {"track", " 3"}, {"genre", "Rock"},
        {"comment", std::string(RipComment)}, {"totaltracks", "16"},
    };
    struct Case { const char* name; CSettings settings; bool correction, lossless; };
    CSettings hybrid = Hybrid(true);
    hybrid.WV.Kbps = 256;
    hybrid.OUTPUT.FillTag = 0;
    for (const Case& c : {Case{"lossless", SettingsFor(12), false, true}, Case{"hybrid+wvc", hybrid, true, true},
                          Case{"lossy", Hybrid(false), false, false}}) {
        SCOPED_TRACE(c.name);
        FeedContext ctx(c.settings);
        ctx.ShapeFromSettings();
        EXPECT_FALSE(ctx.floatPath);
        ctx.album = SampleAlbum(), ctx.trackIndex = 2, ctx.discTracks = 16;
        ctx.FeedShorts(pcm);
        const std::string out = dir.path() + "/" + c.name + ".wv", wvc = out + "c";
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        // The correction file appears under its final name together with the main file.
        EXPECT_EQ(fs::exists(wvc), c.correction);
        EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(wvc)));
        const Unpacked u = Unpack(out, c.correction);
        ASSERT_TRUE(u.ok) << u.error;
        EXPECT_EQ(std::vector<bool>({(u.mode & MODE_LOSSLESS) != 0, (u.mode & MODE_HYBRID) != 0, (u.mode & MODE_WVC) != 0}),
                  std::vector<bool>({c.lossless, c.settings.WV.EncMod == 1, c.correction}));
        EXPECT_EQ(std::make_pair(u.rate, u.declaredSamples), std::make_pair(44100, static_cast<uint32_t>(pcm.size() / 2)));
        EXPECT_EQ(u.tags, c.settings.OUTPUT.FillTag ? tags : decltype(tags){});
        if (c.lossless) {
            EXPECT_TRUE(u.samples == pcm);
            const ProcessResult v = RunProcess({"/usr/bin/wvunpack", "-q", "-v", out});
            EXPECT_EQ(v.status, 0) << v.err;
        }
        if (c.settings.WV.EncMod == 0) continue;
        // The main file alone is the lossy part: close to the source, but not the same,
        // and near the asked bit rate.
        const Unpacked alone = Unpack(out, false);
        ASSERT_TRUE(alone.samples.size() == pcm.size() && alone.samples != pcm);
        EXPECT_GT(SnrDb(pcm, alone.samples), 30);
        const double kbps = static_cast<double>(fs::file_size(out)) * 8 / (pcm.size() / 2 / 44100.0) / 1000;
        EXPECT_NEAR(kbps, c.settings.WV.Kbps, 60);
    }
}
