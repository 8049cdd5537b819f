#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>

#include "encoders/EncodeOggVorbis.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"

using namespace quarrow;
using namespace quarrow::testsupport;

namespace {

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

// Each row: settings and the stream they must give. Every file keeps the paging rules:
// the three headers end their page, audio starts on a fresh one, one end-of-stream
// page closes it at the granule of the last sample, and the serial comes from the
// time-seeded generator.
TEST(EncodeOggVorbis, FilesCarryTheirShapeCommentsAndPaging) {
    discimage::ScratchDir dir;
    const CAlbumRecord album = SampleAlbum();
    const std::vector<std::string> comments = {
        "ARTIST=" + album.artist, "TITLE=" + album.trackTitles[1], "DATE=1991", "ALBUM=" + album.albumTitle,
        "TRACKNUMBER= 2", "GENRE=Rock", "TOTALTRACKS=11", "COMMENT=" + std::string(RipComment),
    };
    struct Case {
        const char* name;
        std::function<void(CSettings&)> change;
        int rate, channels;
        long nominal;                 // -1: not looked at
        bool tagged;
    };
    const Case cases[] = {
        {"lowest quality", [](CSettings& s) { s.OGG.QualityCompression = -10; }, 44100, 2, -1, true},
        {"mono 22050 average 64, untagged",
         [](CSettings& s) { s.OGG.Channel = 0, s.OGG.Freq = 4, s.OGG.Quality = 0, s.OGG.NomiBit = 7, s.OUTPUT.FillTag = 0; },
         22050, 1, 64000, false},
        {"managed 48000",
         [](CSettings& s) { s.OGG.Quality = 0, s.OGG.VBR = 1, s.OGG.Freq = 8, s.OGG.MinBit = 7, s.OGG.NomiBit = 11, s.OGG.MaxBit = 13; },
         48000, 2, 128000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSettings s = SettingsFor(4);
        c.change(s);
        FeedContext ctx(s);
        ctx.album = album;
        ctx.trackIndex = 1;
        ctx.discTracks = 11;
        const std::size_t frames = static_cast<std::size_t>(c.rate) * 2 + 77;
        FeedTone(ctx, frames, c.rate);
        EXPECT_TRUE(ctx.floatPath);
        const std::string out = dir.path() + "/" + c.name + ".ogg";
        const std::time_t before = std::time(nullptr);
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        const OggScan scan = Scan(out);
        ASSERT_TRUE(scan.ok);
        EXPECT_EQ(scan.channels, c.channels);
        EXPECT_EQ(scan.rate, c.rate);
        if (c.nominal >= 0) {
            EXPECT_EQ(scan.nominal, c.nominal);
        }
        EXPECT_TRUE(scan.headersEndPage);
        EXPECT_TRUE(scan.audioStartsFresh);
        EXPECT_EQ(scan.eosPages, 1);
        EXPECT_TRUE(scan.lastPageIsEos);
        EXPECT_EQ(scan.lastGranule, static_cast<ogg_int64_t>(frames));
        EXPECT_TRUE(TimeSeededSerials(before, std::time(nullptr)).count(scan.serial)) << scan.serial;
        EXPECT_FALSE(scan.vendor.empty());
        EXPECT_EQ(scan.comments, c.tagged ? comments : std::vector<std::string>{});

        // What comes back sounds like what went in: the decoded left channel follows the sine.
        const Decoded d = Decode(out);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec, "vorbis");
        EXPECT_EQ(d.Tag("artist"), c.tagged ? album.artist : "");
        ASSERT_NEAR(static_cast<double>(d.samples.size()), static_cast<double>(frames * c.channels), 1024.0 * c.channels);
        std::vector<int16_t> source;
        for (float v : SineFloats(frames, 440, 0.5, c.rate)) {
            source.push_back(static_cast<int16_t>(std::lround(v * 32767)));
            if (c.channels == 2) source.push_back(0);
        }
        EXPECT_GT(SnrDb(source, d.samples, 4000, static_cast<std::size_t>(c.channels)), 20);
    }
}
