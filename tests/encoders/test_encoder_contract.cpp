// What every driver shares: tags, the driver table, failures, cancel and image mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"

using namespace quarrow;
using namespace quarrow::testsupport;

namespace {

// The drivers run end to end here, WavPack in hybrid mode with its correction file.
CSettings DriverSettings(int id) {
    CSettings s = SettingsFor(id);
    s.WV.EncMod = 1, s.WV.CrtWvc = 1;
    return s;
}

}  // namespace

// Tag values are checked in each driver's files; here the ends of the driver table.
TEST(EncoderContract, DriverTableAndTemporaryName) {
    for (int id : {0, 32}) EXPECT_EQ(CreateEncoder(SettingsFor(id)), nullptr) << id;
    EXPECT_EQ(CEncoder::TemporaryNameOf("/a/b/c.wav"), "/a/b/.c.wav.part");
}

// A folder that does not exist, or settings a driver refuses: each driver says so in
// its own words (naming the file), clears running and leaves nothing behind.
TEST(EncoderContract, FailuresAreReportedAndLeaveNothing) {
    discimage::ScratchDir dir;
    const std::string p = dir.path() + "/no/such/folder/x";
    auto with = [](int id, auto change) { CSettings s = DriverSettings(id); change(s); return s; };
    struct Case { CSettings s; std::string path; std::vector<std::string> prefixes; };
    const Case cases[] = {
        {DriverSettings(1), p, {"1:Error : could not open file : " + p}},
        {DriverSettings(2), p, {"1:Error creating file " + p}},
        {DriverSettings(4), p, {"1:Can't create file " + p + "!"}},
        {DriverSettings(6), p, {"1:Error Code: 1", "1:Fail to initialize flac file!", "1:FLAC Encoder State Code: ",
                                "1:Can't create file " + p + "!"}},
        {DriverSettings(7), p, {"1:Error creating file " + p}},
        {DriverSettings(12), p, {"1:Can't create file " + p + "!"}},
        // The correction file's temporary name is taken by a folder: the main file goes too.
        {DriverSettings(12), dir.path() + "/y.wv", {"1:Can't create correction file " + dir.path() + "/y.wvc!"}},
        // 384 kbps is no mono rate; there is no channel mode 9.
        {with(7, [](CSettings& s) { s.MP2.Channel = 0, s.MP2.Bits = 17; }), "",
         {"1:Error: configuring libtwolame encoder failed."}},
        // No coding page: the record carries no input rate.
        {with(2, [](CSettings& s) { s.MP3.LameTab = 2; }), "", {"1:Error opening encoding stream (2)"}},
        {with(4, [](CSettings& s) { s.OGG.Freq = 11; }), "", {"1:Invalid Ogg Vorbis format."}},   // past the table
        {with(16, [](CSettings& s) { s.OTHER.Codec[3] = 9; }), "", {"1:Invalid format!"}},        // past the list
        {with(12, [](CSettings& s) { s.WV.EncMod = 0, s.WV.EnableBlkSize = 1, s.WV.BlkSize = 10000000; }), "",
         {"1:Invalid WavPack format"}},
    };
    std::filesystem::create_directories(CEncoder::TemporaryNameOf(dir.path() + "/y.wvc"));
    for (const Case& c : cases) {
        const std::string out = c.path.empty() ? dir.path() + "/refused" : c.path;
        const int id = c.s.OUTPUT.OutputFormat;
        FeedContext ctx(c.s);
        FeedTone(ctx, 5000);
        EXPECT_EQ(ctx.Encode(out), 0) << id;
        const auto m = ctx.Messages();
        ASSERT_GE(m.size(), c.prefixes.size()) << id;
        for (std::size_t i = 0; i < c.prefixes.size(); ++i) EXPECT_EQ(m[i].rfind(c.prefixes[i], 0), 0u) << id << ": " << m[i];
        EXPECT_TRUE(!ctx.IsRunning() && !ctx.finalSent && LeftNothing(out)) << id;
    }
}

// Cancel half-way: no final progress, and neither the file, its temporary name nor a
// correction file stays.
TEST(EncoderContract, CancelLeavesNothing) {
    discimage::ScratchDir dir;
    for (int id : {1, 2, 4, 6, 7, 12}) {
        FeedContext ctx(DriverSettings(id));
        FeedTone(ctx, 44100 * 4);
        ctx.piece = 2048;
        ctx.onDelivered = [&ctx](std::size_t done) { if (done > 44100) ctx.SetAborted(true), ctx.Stop(); };
        const std::string out = dir.path() + "/cancel" + std::to_string(id);
        EXPECT_EQ(ctx.Encode(out), 0) << id;
        EXPECT_TRUE(!ctx.finalSent && LeftNothing(out) && LeftNothing(out + ".wvc")) << id;
    }
}

// One file for the whole disc: each new track is announced once, the title is the
// file's name and no track number is written.
TEST(EncoderContract, ImageModeAnnouncesEachTrackAndTagsTheWholeDisc) {
    discimage::ScratchDir dir;
    for (int id : {1, 2, 4, 6, 12}) {
        FeedContext ctx(DriverSettings(id));
        ctx.singleOutput = true, ctx.album = SampleAlbum(), ctx.discTracks = 3;
        FeedTone(ctx, 15000);
        const double units = ctx.entryLengths[0];
        ctx.entryLengths = {units / 3, units / 6, units / 2};
        const std::string out = dir.path() + "/Whole Disc." + std::to_string(id);
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out)) << id;
        EXPECT_EQ(ctx.Statuses(), (std::vector<std::string>{"2:2/3", "2:3/3"})) << id;
        EXPECT_EQ(ctx.currentEntry, 2) << id;
        EXPECT_DOUBLE_EQ(ctx.doneTrack.load(), units / 2) << id;
        const std::vector<double> progress = ctx.Progress();
        EXPECT_EQ(std::count(progress.begin(), progress.end(), 100.0), 2) << id;
        if (id == 1) continue;   // WAV carries no tags
        const Decoded d = Decode(out);
        EXPECT_EQ(d.Tag("title"), "Whole Disc") << id;
        EXPECT_EQ(d.Tag("track") + d.Tag("tracknumber"), "") << id;
    }
}
