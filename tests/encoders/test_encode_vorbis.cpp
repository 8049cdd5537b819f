#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/Settings.h"
#include "encoders/EncodeOggVorbis.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"

using namespace quarrow;
using quarrow::testsupport::FeedContext;
namespace fs = std::filesystem;

namespace {

CSettings OggSettings() {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = 4;
    return s;
}

// Feeds frames of a left and a right sine (or one mono sine) as the float path does.
void FeedSines(FeedContext& ctx, std::size_t frames, int rate) {
    ctx.ShapeFromSettings();
    ctx.FeedFloats(testsupport::SineFloats(frames, 440, 0.5, rate),
                   ctx.mono ? std::vector<float>{} : testsupport::SineFloats(frames, 660, 0.5, rate));
}

// The stream as libogg and libvorbis read it back: pages, headers, comments.
struct OggScan {
    bool ok = false;
    long serial = -1;
    bool headersEndPage = false;       // the page holding the third header holds nothing else
    bool audioStartsFresh = false;     // and the next page does not continue a packet
    bool lastPageIsEos = false;
    int eosPages = 0;
    long channels = 0, rate = 0, nominal = 0;
    std::string vendor;
    std::vector<std::string> comments;
    ogg_int64_t lastGranule = 0;
};

OggScan Scan(const std::string& path) {
    OggScan r;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ogg_sync_state oy;
    ogg_sync_init(&oy);
    std::memcpy(ogg_sync_buffer(&oy, static_cast<long>(bytes.size())), bytes.data(), bytes.size());
    ogg_sync_wrote(&oy, static_cast<long>(bytes.size()));
    ogg_stream_state os;
    vorbis_info vi;
    vorbis_comment vc;
    vorbis_info_init(&vi);
    vorbis_comment_init(&vc);
    int packets = 0, pageIndex = 0, headerPage = -1;
    bool headersOk = true, shared = false;
    ogg_page page;
    for (; ogg_sync_pageout(&oy, &page) == 1; ++pageIndex) {
        if (pageIndex == 0) ogg_stream_init(&os, r.serial = ogg_page_serialno(&page));
        if (headerPage >= 0 && pageIndex == headerPage + 1) r.audioStartsFresh = !ogg_page_continued(&page);
        r.eosPages += ogg_page_eos(&page) != 0;
        r.lastPageIsEos = ogg_page_eos(&page) != 0;
        if (ogg_page_granulepos(&page) > 0) r.lastGranule = ogg_page_granulepos(&page);
        ogg_stream_pagein(&os, &page);
        ogg_packet p;
        while (ogg_stream_packetout(&os, &p) == 1) {
            if (packets < 3) {
                headersOk &= vorbis_synthesis_headerin(&vi, &vc, &p) == 0;
                if (++packets == 3) headerPage = pageIndex;
            } else if (headerPage == pageIndex) {
                shared = true;   // audio shares the page of the headers
            }
        }
    }
    r.headersEndPage = headerPage >= 0 && !shared;
    r.ok = headersOk && packets == 3;
    r.channels = vi.channels;
    r.rate = vi.rate;
    r.nominal = vi.bitrate_nominal;
    if (vc.vendor) r.vendor = vc.vendor;
    for (int i = 0; i < vc.comments; ++i) r.comments.emplace_back(vc.user_comments[i], vc.comment_lengths[i]);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    if (pageIndex > 0) ogg_stream_clear(&os);
    ogg_sync_clear(&oy);
    return r;
}

}  // namespace

TEST(EncodeOggVorbis, ModesAndParameterChecks) {
    // The settings change, then the result of InitVorbisEncoder and the rates it set
    // (-1: not looked at; 0: none, which libvorbis may also report as negative).
    struct Case {
        std::function<void(CSettings&)> change;
        bool accepted;
        long upper = -1, nominal = -1, lower = -1;
    };
    const Case cases[] = {
        {[](CSettings&) {}, true},                                           // quality 0.35
        {[](CSettings& s) { s.OGG.QualityCompression = -10; }, true},        // the lowest slider position
        {[](CSettings& s) { s.OGG.Quality = 0, s.OGG.NomiBit = 13; }, true, 0, 192000, 0},   // average only
        {[](CSettings& s) { s.OGG.Quality = 0, s.OGG.NomiBit = 13, s.OGG.VBR = 1, s.OGG.MinBit = 9, s.OGG.MaxBit = 16; },
         true, 320000, 192000, 96000},                                       // managed: all three limits
        {[](CSettings& s) { s.OGG.Freq = 42; }, false},                      // damaged rate index
        {[](CSettings& s) { s.OGG.Quality = 0, s.OGG.NomiBit = -3; }, false},   // damaged bit-rate index
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        CSettings s = OggSettings();
        cases[i].change(s);
        vorbis_info vi;
        vorbis_info_init(&vi);
        const int result = InitVorbisEncoder(&vi, s, 2);
        EXPECT_EQ(result == 0, cases[i].accepted) << result;
        if (cases[i].accepted) {
            EXPECT_EQ(vi.rate, 44100);
            EXPECT_EQ(vi.channels, 2);
        }
        for (auto [want, got] : {std::pair{cases[i].upper, vi.bitrate_upper}, {cases[i].nominal, vi.bitrate_nominal},
                                 {cases[i].lower, vi.bitrate_lower}}) {
            if (want > 0) {
                EXPECT_EQ(got, want);
            } else if (want == 0) {
                EXPECT_LE(got, 0);
            }
        }
        vorbis_info_clear(&vi);
    }
}

TEST(EncodeOggVorbis, DefaultStereoFileWithCommentsAndPaging) {
    discimage::ScratchDir dir;
    FeedContext ctx(OggSettings());
    CAlbumRecord album;
    album.artist = "Simon & Garfunkel / 'The Boxer'";
    album.albumTitle = "Bridge over \"Troubled\" Water";
    album.trackTitles = {"Cecilia", "El Condor Pasa ; ls -la"};
    album.year = 1970;
    album.genre = "Folk";
    ctx.album = album;
    ctx.trackIndex = 1;
    ctx.discTracks = 11;
    FeedSines(ctx, 44100 * 3 + 77, 44100);
    EXPECT_TRUE(ctx.floatPath);
    EXPECT_FALSE(ctx.mono);
    const std::string out = dir.path() + "/02 - El Condor.ogg";
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(ctx.Encode(out), 1) << ctx.FirstMessage();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(ctx.Messages().empty());
    EXPECT_TRUE(ctx.finalSent);
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));

    const OggScan scan = Scan(out);
    ASSERT_TRUE(scan.ok);
    EXPECT_EQ(scan.channels, 2);
    EXPECT_EQ(scan.rate, 44100);
    EXPECT_TRUE(scan.headersEndPage);
    EXPECT_TRUE(scan.audioStartsFresh);
    EXPECT_EQ(scan.eosPages, 1);
    EXPECT_TRUE(scan.lastPageIsEos);
    EXPECT_EQ(scan.lastGranule, 44100 * 3 + 77);
    EXPECT_TRUE(testsupport::TimeSeededSerials(before, after).count(scan.serial)) << scan.serial;
    const std::vector<std::string> expected = {
        "ARTIST=Simon & Garfunkel / 'The Boxer'", "TITLE=El Condor Pasa ; ls -la",
        "DATE=1970",                              "ALBUM=Bridge over \"Troubled\" Water",
        "TRACKNUMBER= 2",                         "GENRE=Folk",
        "TOTALTRACKS=11",                         "COMMENT=" + std::string(RipComment),
    };
    EXPECT_EQ(scan.comments, expected);

    const testsupport::ProbeResult p = testsupport::Probe(out);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.codec, "vorbis");
    EXPECT_NEAR(p.duration, (44100 * 3 + 77) / 44100.0, 0.01);
    EXPECT_EQ(p.tags.at("artist"), album.artist);
    EXPECT_EQ(p.tags.at("comment"), std::string(RipComment));

    // What comes back sounds like what went in: the decoded left channel follows the sine.
    int channels = 0;
    const std::vector<int16_t> back = testsupport::DecodeShorts(out, &channels);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(back.size(), (44100u * 3 + 77) * 2);
    double err = 0, sig = 0;
    for (std::size_t i = 2000; i < 44100; ++i) {
        const double x = 0.5 * 32767 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / 44100.0);
        err += (back[2 * i] - x) * (back[2 * i] - x);
        sig += x * x;
    }
    EXPECT_LT(err / sig, 0.01);   // better than 20 dB
}

TEST(EncodeOggVorbis, MonoResampledBitRateModesAndNoTags) {
    discimage::ScratchDir dir;

    // Mono at 22050 Hz in average bit-rate mode, tagging off: only the vendor string.
    CSettings s = OggSettings();
    s.OGG.Channel = 0;
    s.OGG.Freq = 4;
    s.OGG.Quality = 0;
    s.OGG.NomiBit = 7;   // 64
    s.OUTPUT.FillTag = 0;
    FeedContext a(s);
    FeedSines(a, 22050 * 2, 22050);
    EXPECT_TRUE(a.mono);
    ASSERT_EQ(a.Encode(dir.path() + "/a.ogg"), 1);
    OggScan scan = Scan(dir.path() + "/a.ogg");
    ASSERT_TRUE(scan.ok);
    EXPECT_EQ(scan.channels, 1);
    EXPECT_EQ(scan.rate, 22050);
    EXPECT_EQ(scan.nominal, 64000);
    EXPECT_TRUE(scan.comments.empty());
    EXPECT_FALSE(scan.vendor.empty());
    EXPECT_NEAR(testsupport::Probe(dir.path() + "/a.ogg").duration, 2.0, 0.01);

    // Managed bit rate at 48000 Hz stereo, image mode: the title is the file's name and
    // there is no track number.
    s = OggSettings();
    s.OGG.Quality = 0;
    s.OGG.VBR = 1;
    s.OGG.Freq = 8;
    s.OGG.MinBit = 7;
    s.OGG.NomiBit = 11;
    s.OGG.MaxBit = 13;
    FeedContext b(s);
    b.singleOutput = true;
    FeedSines(b, 48000, 48000);
    b.entryLengths = {48000.0, 48000.0};
    ASSERT_EQ(b.Encode(dir.path() + "/Whole Disc.ogg"), 1);
    scan = Scan(dir.path() + "/Whole Disc.ogg");
    EXPECT_EQ(scan.rate, 48000);
    ASSERT_EQ(scan.comments.size(), 8u);
    EXPECT_EQ(scan.comments[1], "TITLE=Whole Disc");
    EXPECT_EQ(scan.comments[4], "TRACKNUMBER=");
    EXPECT_EQ(b.Statuses(), std::vector<std::string>{"2:2/2"});
}

TEST(EncodeOggVorbis, RejectedSettingsUnwritableFolderAndCancel) {
    discimage::ScratchDir dir;

    CSettings s = OggSettings();
    s.OGG.Freq = 11;   // one past the rate table
    FeedContext a(s);
    FeedSines(a, 4000, 44100);
    const std::string out = dir.path() + "/a.ogg";
    EXPECT_EQ(a.Encode(out), 0);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"1:Invalid Ogg Vorbis format."});
    EXPECT_EQ(a.running, 0);
    EXPECT_TRUE(testsupport::LeftNothing(out));

    FeedContext b(OggSettings());
    FeedSines(b, 4000, 44100);
    const std::string missing = dir.path() + "/none/b.ogg";
    EXPECT_EQ(b.Encode(missing), 0);
    ASSERT_EQ(b.Messages().size(), 1u);
    EXPECT_EQ(b.Messages()[0].rfind("1:Can't create file " + missing + "!", 0), 0u);

    FeedContext c(OggSettings());
    FeedSines(c, 44100 * 4, 44100);
    c.piece = 2048;
    c.onDelivered = [&c](std::size_t done) {
        if (done > 44100) c.aborted = 1, c.running = 0;
    };
    const std::string cancelled = dir.path() + "/c.ogg";
    EXPECT_EQ(c.Encode(cancelled), 0);
    EXPECT_TRUE(testsupport::LeftNothing(cancelled));
}
