#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "encoders/EncodeMp3.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"

using namespace quarrow;
using namespace quarrow::testsupport;

namespace {

// Stereo (or mono) audio an encoder has to work for: a quiet tone, then loud noise.
std::vector<int16_t> Music(std::size_t frames, int channels) {
    std::vector<int16_t> v = SineShorts(frames, channels, 0.05);
    uint32_t seed = 12345;
    for (std::size_t i = frames / 2 * static_cast<std::size_t>(channels); i < v.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = static_cast<int16_t>(static_cast<int32_t>(seed >> 16) / 3 - 10922 + v[i]);
    }
    return v;
}

// Encodes frames of Music with the settings' driver (or the one given): 1 if written.
int Encode(const CSettings& s, const std::string& out, std::size_t frames, const CAlbumRecord& album = {},
           std::unique_ptr<CEncoder> encoder = nullptr) {
    FeedContext ctx(s);
    ctx.ShapeFromSettings();
    ctx.FeedShorts(Music(frames, ctx.mono ? 1 : 2));
    ctx.album = album, ctx.trackIndex = 2, ctx.discTracks = 12;
    ctx.piece = 4095;   // odd pieces: half sample frames reach the driver
    if (!encoder) encoder = CreateEncoder(s);
    return Written(ctx, encoder->Encode(ctx, out), out) ? 1 : 0;
}

}  // namespace

// Each row: FillTag and the tag kind, which tags the file carries and the title as a
// decoder reads it (for ID3v1 the Latin-1 bytes). The Info frame sits after any ID3v2 tag.
TEST(EncodeMp3, TagsFollowFillTagAndTagKind) {
    discimage::ScratchDir dir;
    CAlbumRecord album = SampleAlbum();
    album.artist = "Bj\u00f6rk \U0001f3b5";
    album.trackTitles[2] = "Caf\u00e9 \u6771\u4eac";
    struct Case { int fillTag, kind; bool v2, v1; std::string title; };
    for (const Case& c : {Case{0, 0, false, false, ""}, Case{1, 1, false, true, std::string("Caf\xe9 ??\0", 8)},
                          Case{1, 2, true, false, album.trackTitles[2]}, Case{1, 0, true, true, album.trackTitles[2]}}) {
        CSettings s = SettingsFor(2);
        s.OUTPUT.FillTag = static_cast<int16_t>(c.fillTag), s.MP3.LameID3 = static_cast<int16_t>(c.kind);
        const std::string out = dir.path() + "/tag" + std::to_string(c.kind) + std::to_string(c.fillTag) + ".mp3";
        ASSERT_EQ(Encode(s, out, 22050, album), 1);
        const MpegScan scan = ScanMpeg(out);
        EXPECT_EQ(std::make_pair(scan.id3v2, scan.id3v1), std::make_pair(c.v2, c.v1)) << c.kind;
        EXPECT_TRUE(scan.frames.size() > 1 && scan.frames[0].xing);
        if (c.v1 && !c.v2) {   // what Latin-1 can hold
            std::ifstream in(out, std::ios::binary);
            char v1[128] = {};
            in.seekg(-128, std::ios::end).read(v1, 128);
            EXPECT_EQ(std::string(v1 + 3, 8), c.title);
            continue;
        }
        const Decoded d = Decode(out);
        const std::map<std::string, std::string> tags = {
            {"title", c.title}, {"artist", album.artist}, {"album", album.albumTitle}, {"date", "1991"},
            {"genre", "Rock"}, {"track", "3"}, {"comment", std::string(RipComment)}};
        for (const auto& [key, value] : tags) EXPECT_EQ(d.Tag(key), c.v2 ? value : "") << key;
    }
}

TEST(EncodeMp3, CodingModesChannelsAndHeaderBitsReachTheFrames) {
    discimage::ScratchDir dir;
    const std::size_t frames = 44100 * 4;
    // kbps range of the audio frames, average (0: not looked at), whether the quiet half and
    // the noisy half differ, then the frame header and the decoded shape.
    struct Case { const char* name; std::function<void(CSettings&)> change; int minKbps, maxKbps; double average;
                  bool varies; int version, mode, channels, rate; bool crc = false; };
    const Case cases[] = {
        {"default cbr 128 joint", [](CSettings&) {}, 128, 128, 0, false, 1, 1, 2, 44100},
        {"vbr 96..160", [](CSettings& s) { s.MP3.LameTab = 3, s.MP3.LameMinVBRBit = 9, s.MP3.LameMaxVBRBit = 12,
                                           s.MP3.LameQualityVBR = 200; },
         96, 160, 0, true, 1, 1, 2, 44100},
        {"abr 96", [](CSettings& s) { s.MP3.LameTab = 3, s.MP3.LameCodingMode = 4, s.MP3.LameTargetBit = 96; },
         32, 320, 96, true, 1, 1, 2, 44100},
        {"phone, fed stereo", [](CSettings& s) { s.MP3.LameTab = 5, s.MP3.LamePreset = 8; }, 8, 32, 16, true, 2, 3, 1, 0},
        {"mono 22050 crc", [](CSettings& s) { s.MP3.LameChannel = 0, s.MP3.LameFreq = 4, s.MP3.LameCRC = 1,
                                              s.MP3.LameCopyRight = 1, s.MP3.LameOriginal = 1; },
         128, 128, 0, false, 2, 3, 1, 22050, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSettings s = SettingsFor(2);
        c.change(s);
        const std::string out = dir.path() + "/" + c.name + ".mp3";
        ASSERT_EQ(Encode(s, out, frames), 1);
        const MpegScan scan = ScanMpeg(out);
        ASSERT_GT(scan.frames.size(), 3u);
        EXPECT_TRUE(scan.frames[0].xing && scan.strayBytes == 0u);
        const std::set<int> kbps = scan.AudioKbps();
        EXPECT_TRUE(*kbps.begin() >= c.minKbps && *kbps.rbegin() <= c.maxKbps) << *kbps.begin() << ".." << *kbps.rbegin();
        EXPECT_EQ(kbps.size() > 1, c.varies);
        if (c.average > 0) { EXPECT_NEAR(scan.AverageKbps(), c.average, c.average / 5 + 8); }
        for (const MpegFrame& f : scan.frames) {
            if (f.xing) continue;
            EXPECT_EQ(std::vector<int>({f.version, f.mode, f.crc, f.copyright, f.original}),
                      std::vector<int>({c.version, c.mode, c.crc, c.crc, c.crc}));
        }
        const Decoded d = Decode(out);
        EXPECT_EQ(d.channels, c.channels);
        if (c.rate) { EXPECT_EQ(d.sampleRate, c.rate); }
        // Gapless, after the library's own resampling too: the decoded length is the input's.
        if (c.rate == 44100) { EXPECT_EQ(d.samples.size(), frames * static_cast<std::size_t>(c.channels)); }
        EXPECT_NEAR(static_cast<double>(d.samples.size()) / d.channels / d.sampleRate, 4.0, 0.01);
    }
}
