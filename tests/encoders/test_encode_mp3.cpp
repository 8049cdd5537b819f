#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/Settings.h"
#include "encoders/EncodeMp3.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"

using namespace quarrow;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

CSettings Mp3Settings() {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = 2;
    return s;
}

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

struct Mp3Run {
    int result = -1;
    std::vector<std::string> messages;
    bool finalSent = false;
};

// Encodes frames of Music with the settings' driver (or the one given) after tweak.
Mp3Run Encode(const CSettings& s, const std::string& out, std::size_t frames,
              const std::function<void(FeedContext&)>& tweak = {}, std::unique_ptr<CEncoder> encoder = nullptr) {
    FeedContext ctx(s);
    ctx.ShapeFromSettings();
    ctx.FeedShorts(Music(frames, ctx.mono ? 1 : 2));
    if (tweak) tweak(ctx);
    if (!encoder) encoder = CreateEncoder(s);
    const int result = encoder ? encoder->Encode(ctx, out) : -1;
    return {result, ctx.Messages(), ctx.finalSent};
}

// The audio frames' bit rates (the Info frame left out): which occur, and their average.
std::set<int> Bitrates(const MpegScan& scan) {
    std::set<int> s;
    for (const MpegFrame& f : scan.frames)
        if (!f.xing) s.insert(f.kbps);
    return s;
}

double AverageKbps(const MpegScan& scan) {
    double sum = 0;
    int n = 0;
    for (const MpegFrame& f : scan.frames)
        if (!f.xing) sum += f.kbps, ++n;
    return n ? sum / n : 0;
}

}  // namespace

TEST(EncodeMp3, DefaultsGiveCbr128JointStereoTaggedAndGapless) {
    discimage::ScratchDir dir;
    CSettings s = Mp3Settings();
    const std::string out = dir.path() + "/Third; `echo x` $(id).mp3";
    const Mp3Run run = Encode(s, out, 88200, [](FeedContext& ctx) {
        ctx.album.artist = "The \"Quoted\" / Band";
        ctx.album.albumTitle = "Album 'Two' & More";
        ctx.album.trackTitles = {"One", "Two", "Third; `echo x` $(id)"};
        ctx.album.year = 1999;
        ctx.album.genre = "Rock";
        ctx.trackIndex = 2;
        ctx.discTracks = 12;
        ctx.piece = 4095;   // odd pieces: half sample frames reach the driver
    });
    ASSERT_EQ(run.result, 1) << (run.messages.empty() ? "" : run.messages[0]);
    EXPECT_TRUE(run.finalSent);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));

    ProbeResult p = Probe(out);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.codec, "mp3");
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.channels, 2);
    EXPECT_NEAR(p.duration, 2.0, 0.08);   // whole frames, delay included
    EXPECT_EQ(p.tags["title"], "Third; `echo x` $(id)");
    EXPECT_EQ(p.tags["artist"], "The \"Quoted\" / Band");
    EXPECT_EQ(p.tags["album"], "Album 'Two' & More");
    EXPECT_EQ(p.tags["date"], "1999");
    EXPECT_EQ(p.tags["genre"], "Rock");
    EXPECT_EQ(p.tags["track"], "3");
    EXPECT_EQ(p.tags["comment"], std::string(RipComment));

    const MpegScan scan = ScanMpeg(out);
    EXPECT_TRUE(scan.id3v2);
    EXPECT_TRUE(scan.id3v1);
    ASSERT_GT(scan.frames.size(), 70u);
    EXPECT_TRUE(scan.frames[0].xing);
    EXPECT_EQ(scan.strayBytes, 0u);
    EXPECT_EQ(Bitrates(scan), std::set<int>{128});
    for (const MpegFrame& f : scan.frames) {
        EXPECT_EQ(f.version, 1);
        EXPECT_EQ(f.layer, 3);
        EXPECT_EQ(f.mode, 1);   // joint stereo
        EXPECT_EQ(f.rate, 44100);
    }
    // The Info frame tells the decoder the delay and padding: exactly the samples fed.
    int channels = 0;
    EXPECT_EQ(DecodeShorts(out, &channels).size(), 88200u * 2);
    EXPECT_EQ(channels, 2);
}

TEST(EncodeMp3, TagsFollowFillTagAndTagKind) {
    discimage::ScratchDir dir;
    auto withAlbum = [](FeedContext& ctx) {
        ctx.album.artist = "Artist";
        ctx.album.albumTitle = "Album";
        ctx.album.trackTitles = {"Song"};
        ctx.album.year = 2004;
        ctx.album.genre = "Jazz";
    };
    CSettings s = Mp3Settings();
    s.OUTPUT.FillTag = 0;
    std::string out = dir.path() + "/none.mp3";
    ASSERT_EQ(Encode(s, out, 22050, withAlbum).result, 1);
    MpegScan scan = ScanMpeg(out);
    EXPECT_FALSE(scan.id3v2);
    EXPECT_FALSE(scan.id3v1);
    ProbeResult p = Probe(out);
    ASSERT_TRUE(p.ok) << p.error;
    for (const char* key : {"title", "artist", "album", "date", "genre", "track", "comment"})
        EXPECT_EQ(p.tags.count(key), 0u) << key;

    s = Mp3Settings();
    s.MP3.LameID3 = 1;   // v1 only
    out = dir.path() + "/v1.mp3";
    ASSERT_EQ(Encode(s, out, 22050, withAlbum).result, 1);
    scan = ScanMpeg(out);
    EXPECT_FALSE(scan.id3v2);
    EXPECT_TRUE(scan.id3v1);
    p = Probe(out);
    EXPECT_EQ(p.tags["title"], "Song");
    EXPECT_EQ(p.tags["artist"], "Artist");

    // Non-ASCII titles: v1 gets what Latin-1 can hold, v2 keeps every character.
    out = dir.path() + "/v1latin.mp3";
    ASSERT_EQ(Encode(s, out, 22050, [](FeedContext& ctx) { ctx.album.trackTitles = {"Caf\u00e9 \u6771\u4eac"}; }).result, 1);
    EXPECT_FALSE(ScanMpeg(out).id3v2);
    std::ifstream in(out, std::ios::binary);
    char v1[128] = {};
    in.seekg(-128, std::ios::end).read(v1, 128);
    EXPECT_EQ(std::string(v1 + 3, 8), std::string("Caf\xe9 ??\0", 8));

    s.MP3.LameID3 = 2;   // v2 only
    out = dir.path() + "/v2.mp3";
    ASSERT_EQ(Encode(s, out, 22050, [&](FeedContext& ctx) {
        withAlbum(ctx);
        ctx.album.artist = "Bj\u00f6rk \U0001f3b5";
        ctx.album.trackTitles = {"\u6771\u4eac / Tokyo"};
    }).result, 1);
    scan = ScanMpeg(out);
    EXPECT_TRUE(scan.id3v2);
    EXPECT_FALSE(scan.id3v1);
    p = Probe(out);
    EXPECT_EQ(p.tags["title"], "\u6771\u4eac / Tokyo");
    EXPECT_EQ(p.tags["artist"], "Bj\u00f6rk \U0001f3b5");
    EXPECT_EQ(p.tags["album"], "Album");
    EXPECT_EQ(p.tags["comment"], std::string(RipComment));
    EXPECT_TRUE(scan.frames.size() > 1 && scan.frames[0].xing);   // the Info frame sits after the tag
}

TEST(EncodeMp3, VbrAbrAndPresetsGiveTheBitRatesAsked) {
    discimage::ScratchDir dir;
    const std::size_t frames = 44100 * 4;

    CSettings s = Mp3Settings();
    s.MP3.LameTab = 3;             // VBR, new method
    s.MP3.LameMinVBRBit = 9;       // 96
    s.MP3.LameMaxVBRBit = 12;      // 160
    s.MP3.LameQualityVBR = 200;
    std::string out = dir.path() + "/vbr.mp3";
    ASSERT_EQ(Encode(s, out, frames).result, 1);
    MpegScan scan = ScanMpeg(out);
    ASSERT_FALSE(scan.frames.empty());
    EXPECT_TRUE(scan.frames[0].xing);
    std::set<int> rates = Bitrates(scan);
    EXPECT_GE(*rates.begin(), 96);
    EXPECT_LE(*rates.rbegin(), 160);
    EXPECT_GT(rates.size(), 1u);   // the quiet half and the noisy half differ
    EXPECT_EQ(DecodeShorts(out).size(), frames * 2);

    s.MP3.LameCodingMode = 4;      // ABR
    s.MP3.LameTargetBit = 96;
    out = dir.path() + "/abr.mp3";
    ASSERT_EQ(Encode(s, out, frames).result, 1);
    scan = ScanMpeg(out);
    EXPECT_NEAR(AverageKbps(scan), 96, 20);
    EXPECT_GT(Bitrates(scan).size(), 1u);

    s = Mp3Settings();
    s.MP3.LameTab = 5;
    s.MP3.LamePreset = 6;          // Insane: CBR 320
    out = dir.path() + "/insane.mp3";
    ASSERT_EQ(Encode(s, out, frames).result, 1);
    scan = ScanMpeg(out);
    EXPECT_EQ(Bitrates(scan), std::set<int>{320});
    EXPECT_EQ(Probe(out).channels, 2);

    s.MP3.LamePreset = 8;          // Phone: 16 kbps mono ABR, fed stereo
    out = dir.path() + "/phone.mp3";
    ASSERT_EQ(Encode(s, out, frames).result, 1);
    scan = ScanMpeg(out);
    ASSERT_FALSE(scan.frames.empty());
    EXPECT_EQ(scan.frames[1].mode, 3);
    EXPECT_LE(AverageKbps(scan), 24);
    ProbeResult p = Probe(out);
    EXPECT_EQ(p.channels, 1);
    EXPECT_LT(p.sampleRate, 44100);
    // Gapless after the library's own resampling: the decoded length is the input's.
    EXPECT_NEAR(static_cast<double>(DecodeShorts(out).size()) / p.sampleRate, 4.0, 0.01);

    s.MP3.LamePreset = 16;         // CD: 192 kbps stereo ABR
    out = dir.path() + "/cd.mp3";
    ASSERT_EQ(Encode(s, out, frames).result, 1);
    EXPECT_NEAR(AverageKbps(ScanMpeg(out)), 192, 35);
}

TEST(EncodeMp3, ChannelRateAndHeaderBitsReachTheFrames) {
    discimage::ScratchDir dir;
    CSettings s = Mp3Settings();
    s.MP3.LameChannel = 0;         // mono: the rip delivers one channel
    s.MP3.LameFreq = 4;            // 22050 Hz, resampled by the library
    s.MP3.LameCRC = 1;
    s.MP3.LameCopyRight = 1;
    s.MP3.LameOriginal = 1;
    std::string out = dir.path() + "/mono.mp3";
    ASSERT_EQ(Encode(s, out, 44100).result, 1);
    ProbeResult p = Probe(out);
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.sampleRate, 22050);
    EXPECT_NEAR(p.duration, 1.0, 0.1);
    MpegScan scan = ScanMpeg(out);
    ASSERT_GT(scan.frames.size(), 2u);
    const MpegFrame& f = scan.frames[2];
    EXPECT_EQ(f.version, 2);
    EXPECT_EQ(f.mode, 3);
    EXPECT_EQ(f.kbps, 128);
    EXPECT_TRUE(f.crc);
    EXPECT_TRUE(f.copyright);
    EXPECT_TRUE(f.original);

    for (auto [channel, mode] : {std::pair{1, 0}, std::pair{3, 2}}) {
        s = Mp3Settings();
        s.MP3.LameChannel = static_cast<int16_t>(channel);
        s.MP3.LameBits = 13;       // 192
        out = dir.path() + "/mode" + std::to_string(channel) + ".mp3";
        ASSERT_EQ(Encode(s, out, 44100).result, 1);
        scan = ScanMpeg(out);
        ASSERT_GT(scan.frames.size(), 2u);
        EXPECT_EQ(scan.frames[2].mode, mode) << channel;
        EXPECT_EQ(scan.frames[2].kbps, 192);
        EXPECT_FALSE(scan.frames[2].crc);
    }
}

TEST(EncodeMp3, HeaderFallbackFailuresAndCancel) {
    discimage::ScratchDir dir;
    auto library = std::make_shared<LameEncoderLibrary>();
    ASSERT_EQ(library->Load(), LameEncoderLibrary::LoadResult::Loaded);
    LameEntryPoints without = library->EntryPoints();
    without.beWriteInfoTag = nullptr;   // an older library: the path-only header call

    CSettings s = Mp3Settings();
    std::string out = dir.path() + "/fallback.mp3";
    ASSERT_EQ(Encode(s, out, 30000, {}, MakeMp3EncoderWith(s, library, without)).result, 1);
    MpegScan scan = ScanMpeg(out);
    ASSERT_FALSE(scan.frames.empty());
    EXPECT_TRUE(scan.frames[0].xing);
    EXPECT_EQ(DecodeShorts(out).size(), 60000u);

    s.MP3.LameWriteHead = 0;
    out = dir.path() + "/nohead.mp3";
    ASSERT_EQ(Encode(s, out, 30000, {}, MakeMp3EncoderWith(s, library, without)).result, 1);
    scan = ScanMpeg(out);
    ASSERT_FALSE(scan.frames.empty());
    EXPECT_FALSE(scan.frames[0].xing);
    EXPECT_EQ(scan.strayBytes, 0u);

    s = Mp3Settings();
    out = dir.path() + "/no/such/folder/x.mp3";
    Mp3Run run = Encode(s, out, 30000);
    EXPECT_EQ(run.result, 0);
    ASSERT_FALSE(run.messages.empty());
    EXPECT_EQ(run.messages[0], "1:Error creating file " + out);

    s.MP3.LameTab = 2;             // no coding page: the record carries no input rate
    out = dir.path() + "/refused.mp3";
    run = Encode(s, out, 30000);
    EXPECT_EQ(run.result, 0);
    ASSERT_FALSE(run.messages.empty());
    EXPECT_EQ(run.messages[0], "1:Error opening encoding stream (2)");
    EXPECT_TRUE(LeftNothing(out));

    s = Mp3Settings();
    out = dir.path() + "/cancelled.mp3";
    run = Encode(s, out, 44100 * 20, [](FeedContext& ctx) {
        ctx.onDelivered = [&ctx](std::size_t delivered) {
            if (delivered > 44100 * 4) ctx.aborted = 1, ctx.running = 0;
        };
    });
    EXPECT_EQ(run.result, 0);
    EXPECT_FALSE(run.finalSent);
    EXPECT_TRUE(LeftNothing(out));
}

TEST(EncodeMp3, ImageModeNamesTheFileAndReportsEachTrack) {
    discimage::ScratchDir dir;
    CSettings s = Mp3Settings();
    const std::string out = dir.path() + "/Whole Disc.mp3";
    FeedContext ctx(s);
    ctx.ShapeFromSettings();
    ctx.singleOutput = true;
    ctx.album.trackTitles = {"A", "B", "C"};
    ctx.discTracks = 3;
    ctx.FeedShorts(Music(30000, 2), {20000, 20000, 20000});
    ASSERT_EQ(ctx.Encode(out), 1);
    EXPECT_EQ(ctx.Statuses(), (std::vector<std::string>{"2:2/3", "2:3/3"}));
    ProbeResult p = Probe(out);
    EXPECT_EQ(p.tags["title"], "Whole Disc");
    EXPECT_EQ(p.tags.count("track"), 0u);
}
