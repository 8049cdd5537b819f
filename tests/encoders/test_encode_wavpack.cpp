#include <gtest/gtest.h>
#include <wavpack/wavpack.h>

#include <cmath>
#include <filesystem>

#include "app/Settings.h"
#include "encoders/EncodeWavPack.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/RunProcess.h"

using namespace quarrow;
using quarrow::testsupport::FeedContext;
namespace fs = std::filesystem;

namespace {

CSettings WvSettings() {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = 12;
    return s;
}

CSettings Hybrid(bool correction) {
    CSettings s = WvSettings();
    s.WV.EncMod = 1;
    s.WV.CrtWvc = correction ? 1 : 0;
    s.WV.Kbps = 320;
    return s;
}

std::vector<int16_t> TestPcm(std::size_t frames) {
    std::vector<int16_t> v = testsupport::SineShorts(frames, 2, 0.6);
    uint32_t x = 987654321;
    for (auto& s : v) {
        x = x * 1664525u + 1013904223u;
        s = static_cast<int16_t>(s + static_cast<int>((x >> 16) % 1001) - 500);
    }
    v[2] = 32767;
    v[3] = -32768;
    return v;
}

// The file as the WavPack library reads it back (with its correction file if asked).
struct Unpacked {
    bool ok = false;
    std::string error;
    int mode = 0;
    uint32_t declaredSamples = 0;
    int rate = 0;
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
    while ((n = WavpackUnpackSamples(wpc, buf.data(), 4096)) > 0) {
        for (uint32_t i = 0; i < n * 2; ++i) u.samples.push_back(static_cast<int16_t>(buf[i]));
    }
    for (int i = 0; i < WavpackGetNumTagItems(wpc); ++i) {
        char item[64] = {};
        WavpackGetTagItemIndexed(wpc, i, item, sizeof item);
        char value[512] = {};
        WavpackGetTagItem(wpc, item, value, sizeof value);
        u.tags.emplace_back(item, value);
    }
    u.ok = WavpackGetNumErrors(wpc) == 0;
    WavpackCloseFile(wpc);
    return u;
}

}  // namespace

TEST(EncodeWavPack, ConfigurationFlags) {
    WavpackConfig c = WavPackConfigOf(WvSettings());
    EXPECT_EQ(c.flags, 0);
    EXPECT_EQ(c.channel_mask, 3);
    EXPECT_EQ(c.block_samples, 0);
    EXPECT_FALSE(WavPackWritesCorrection(WvSettings()));

    CSettings s = WvSettings();
    s.WV.ComLev = 0;
    EXPECT_EQ(WavPackConfigOf(s).flags, CONFIG_FAST_FLAG);
    s.WV.ComLev = 3;
    s.WV.SteMod = 1;
    EXPECT_EQ(WavPackConfigOf(s).flags, CONFIG_VERY_HIGH_FLAG | CONFIG_JOINT_OVERRIDE);
    s.WV.SteMod = 2;
    s.WV.ExtMod = 4;
    c = WavPackConfigOf(s);
    EXPECT_EQ(c.flags, CONFIG_VERY_HIGH_FLAG | CONFIG_JOINT_STEREO | CONFIG_JOINT_OVERRIDE | CONFIG_EXTRA_MODE);
    EXPECT_EQ(c.xmode, 4);
    // A block size merges blocks in lossless mode only.
    s = WvSettings();
    s.WV.EnableBlkSize = 1;
    s.WV.BlkSize = 22050;
    c = WavPackConfigOf(s);
    EXPECT_EQ(c.block_samples, 22050);
    EXPECT_EQ(c.flags, CONFIG_MERGE_BLOCKS);

    // Hybrid at 320 kbps without a correction file: hybrid, kbps, dynamic shaping.
    s = Hybrid(false);
    c = WavPackConfigOf(s);
    EXPECT_EQ(c.flags, CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS | CONFIG_DYNAMIC_SHAPING);
    EXPECT_FLOAT_EQ(c.bitrate, 320.0f);
    s.WV.EnableBlkSize = 1;
    EXPECT_EQ(WavPackConfigOf(s).flags & CONFIG_MERGE_BLOCKS, 0);

    // Correction file, maximum compression, noise calculation.
    s = Hybrid(true);
    s.WV.OptWvc = 1;
    s.WV.CalNos = 1;
    c = WavPackConfigOf(s);
    EXPECT_TRUE(WavPackWritesCorrection(s));
    EXPECT_EQ(c.flags, CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS | CONFIG_OPTIMIZE_WVC | CONFIG_CREATE_WVC |
                           CONFIG_CALC_NOISE | CONFIG_DYNAMIC_SHAPING);
    EXPECT_EQ(c.bitrate, 0.0f);

    // Noise-shaping override: 0.00 clears hybrid shaping, 0.5 sets it, 1.5 lies outside.
    s = Hybrid(false);
    s.WV.EnableShape = 1;
    s.WV.Shape = 0;
    c = WavPackConfigOf(s);
    EXPECT_EQ(c.flags, CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS | CONFIG_SHAPE_OVERRIDE);
    s.WV.Shape = -50;
    c = WavPackConfigOf(s);
    EXPECT_EQ(c.flags, CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS | CONFIG_SHAPE_OVERRIDE | CONFIG_HYBRID_SHAPE);
    EXPECT_FLOAT_EQ(c.shaping_weight, -0.5f);
    s.WV.Shape = 150;
    EXPECT_EQ(WavPackConfigOf(s).flags & CONFIG_HYBRID_SHAPE, 0);
    // Shaping choices do not touch lossless mode.
    s.WV.EncMod = 0;
    EXPECT_EQ(WavPackConfigOf(s).flags, 0);

    EXPECT_EQ(WavPackCorrectionPathOf("/out/a b.wv"), "/out/a b.wvc");
    EXPECT_EQ(WavPackCorrectionPathOf("/out/.a b.wv.part"), "/out/.a b.wvc.part");
    EXPECT_EQ(WavPackCorrectionPathOf("/out/track.bin"), "/out/track.bin.wvc");
}

TEST(EncodeWavPack, LosslessDefaultDecodesBitIdenticalWithItsTags) {
    discimage::ScratchDir dir;
    FeedContext ctx(WvSettings());
    ctx.ShapeFromSettings();
    EXPECT_FALSE(ctx.floatPath);
    CAlbumRecord album;
    album.artist = "Guns N' Roses";
    album.albumTitle = "Use Your Illusion I/II \"Deluxe\"";
    album.trackTitles = {"A", "B", "November Rain & $HOME"};
    album.year = 1991;
    album.genre = "Rock";
    ctx.album = album;
    ctx.trackIndex = 2;
    ctx.discTracks = 16;
    const std::vector<int16_t> pcm = TestPcm(44100 * 2 + 501);
    ctx.FeedShorts(pcm);
    const std::string out = dir.path() + "/03 - November Rain.wv";
    ASSERT_EQ(ctx.Encode(out), 1) << ctx.FirstMessage();
    EXPECT_TRUE(ctx.Messages().empty());
    EXPECT_TRUE(ctx.finalSent);
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));
    EXPECT_FALSE(fs::exists(dir.path() + "/03 - November Rain.wvc"));

    const Unpacked u = Unpack(out, false);
    ASSERT_TRUE(u.ok) << u.error;
    EXPECT_TRUE(u.mode & MODE_LOSSLESS);
    EXPECT_FALSE(u.mode & MODE_HYBRID);
    EXPECT_TRUE(u.mode & MODE_APETAG);
    EXPECT_EQ(u.rate, 44100);
    EXPECT_EQ(u.declaredSamples, 44100u * 2 + 501);   // the length went into the header
    EXPECT_TRUE(u.samples == pcm);
    const std::vector<std::pair<std::string, std::string>> tags = {
        {"artist", "Guns N' Roses"}, {"title", "November Rain & $HOME"},
        {"year", "1991"},           {"album", "Use Your Illusion I/II \"Deluxe\""},
        {"track", " 3"},            {"genre", "Rock"},
        {"comment", std::string(RipComment)}, {"totaltracks", "16"},
    };
    EXPECT_EQ(u.tags, tags);

    const testsupport::ProcessResult v = testsupport::RunProcess({"/usr/bin/wvunpack", "-q", "-v", out});
    EXPECT_EQ(v.status, 0) << v.err;
    const testsupport::ProbeResult p = testsupport::Probe(out);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_NEAR(p.duration, (44100 * 2 + 501) / 44100.0, 0.001);
    EXPECT_EQ(p.tags.at("album"), album.albumTitle);
    EXPECT_TRUE(testsupport::DecodeShorts(out) == pcm);
}

TEST(EncodeWavPack, HybridWithAndWithoutCorrectionFile) {
    discimage::ScratchDir dir;
    const std::vector<int16_t> pcm = TestPcm(44100 * 2);

    // With the correction file: both files appear under their final names together, and
    // together they decode lossless.
    CSettings s = Hybrid(true);
    s.WV.Kbps = 256;
    s.OUTPUT.FillTag = 0;
    FeedContext a(s);
    a.FeedShorts(pcm);
    const std::string out = dir.path() + "/h.wv";
    ASSERT_EQ(a.Encode(out), 1) << a.FirstMessage();
    for (const std::string& f : {out, dir.path() + "/h.wvc"}) {
        ASSERT_TRUE(fs::exists(f)) << f;
        EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(f))) << f;
    }
    Unpacked u = Unpack(out, true);
    ASSERT_TRUE(u.ok) << u.error;
    EXPECT_TRUE(u.mode & MODE_HYBRID);
    EXPECT_TRUE(u.mode & MODE_WVC);
    EXPECT_FALSE(u.mode & MODE_APETAG);
    EXPECT_TRUE(u.tags.empty());
    EXPECT_TRUE(u.samples == pcm);
    const testsupport::ProcessResult v = testsupport::RunProcess({"/usr/bin/wvunpack", "-q", "-v", out});
    EXPECT_EQ(v.status, 0) << v.err;
    // The main file alone is the lossy part: close to the source, but not the same.
    u = Unpack(out, false);
    ASSERT_EQ(u.samples.size(), pcm.size());
    EXPECT_FALSE(u.samples == pcm);
    EXPECT_LT(fs::file_size(out), pcm.size() * 2 / 3);

    // Without it: one lossy file near the asked bit rate, right length and shape.
    FeedContext b(Hybrid(false));
    b.FeedShorts(pcm);
    const std::string lossy = dir.path() + "/l.wv";
    ASSERT_EQ(b.Encode(lossy), 1);
    EXPECT_FALSE(fs::exists(dir.path() + "/l.wvc"));
    u = Unpack(lossy, false);
    ASSERT_TRUE(u.ok) << u.error;
    EXPECT_FALSE(u.mode & MODE_LOSSLESS);
    ASSERT_EQ(u.samples.size(), pcm.size());
    double err = 0, sig = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        err += (u.samples[i] - pcm[i]) * static_cast<double>(u.samples[i] - pcm[i]);
        sig += pcm[i] * static_cast<double>(pcm[i]);
    }
    EXPECT_LT(err / sig, 1e-3);   // better than 30 dB
    const double kbps = static_cast<double>(fs::file_size(lossy)) * 8 / 2.0 / 1000;
    EXPECT_NEAR(kbps, 320, 60);
    EXPECT_NEAR(testsupport::Probe(lossy).duration, 2.0, 0.001);
}

TEST(EncodeWavPack, FailuresAndCancelTakeTheCorrectionFileAlong) {
    discimage::ScratchDir dir;

    // The main file cannot be created.
    FeedContext a(WvSettings());
    a.FeedShorts(TestPcm(1000));
    const std::string missing = dir.path() + "/gone/x.wv";
    EXPECT_EQ(a.Encode(missing), 0);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"1:Can't create file " + missing + "!"});
    EXPECT_EQ(a.running, 0);

    // The correction file cannot be created (its temporary name is taken by a folder):
    // the main file is removed again.
    FeedContext b(Hybrid(true));
    b.FeedShorts(TestPcm(1000));
    const std::string out = dir.path() + "/y.wv";
    fs::create_directory(CEncoder::TemporaryNameOf(dir.path() + "/y.wvc"));
    EXPECT_EQ(b.Encode(out), 0);
    EXPECT_EQ(b.Messages(), std::vector<std::string>{"1:Can't create correction file " + dir.path() + "/y.wvc!"});
    EXPECT_TRUE(testsupport::LeftNothing(out));

    // Cancel half-way deletes both files.
    FeedContext c(Hybrid(true));
    c.FeedShorts(TestPcm(44100 * 4));
    c.piece = 2048;
    c.onDelivered = [&c](std::size_t done) {
        if (done > 44100) c.aborted = 1, c.running = 0;
    };
    const std::string cancelled = dir.path() + "/z.wv";
    EXPECT_EQ(c.Encode(cancelled), 0);
    EXPECT_TRUE(testsupport::LeftNothing(cancelled));
    EXPECT_TRUE(testsupport::LeftNothing(dir.path() + "/z.wvc"));

    // A configuration the library refuses (a block size beyond its limit) writes nothing.
    CSettings s = WvSettings();
    s.WV.EnableBlkSize = 1;
    s.WV.BlkSize = 10000000;
    FeedContext d(s);
    d.FeedShorts(TestPcm(1000));
    const std::string refused = dir.path() + "/r.wv";
    EXPECT_EQ(d.Encode(refused), 0);
    ASSERT_EQ(d.Messages().size(), 1u);
    EXPECT_EQ(d.Messages()[0].rfind("1:Invalid WavPack format", 0), 0u) << d.Messages()[0];
    EXPECT_TRUE(testsupport::LeftNothing(refused));
}
