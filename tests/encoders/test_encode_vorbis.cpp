#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>

#include "encoders/EncodeOggVorbis.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"

using namespace quarrow;
using namespace quarrow::testsupport;

namespace {

// The stream's pages as libogg reads them. Header pages carry granule 0, so with the
// headers ending their page those pages hold exactly the three header packets, and the
// first audio page continues no packet. The nominal rate is the identification header's.
struct OggScan {
    int headerPackets = 0, eosPages = 0;
    bool audioStartsFresh = false, lastPageIsEos = false;
    long serial = -1, nominal = 0;
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
    ogg_page page;
    for (bool audio = false; ogg_sync_pageout(&oy, &page) == 1;) {
        if (r.serial < 0 && page.body_len >= 24) {
            r.serial = ogg_page_serialno(&page);
            r.nominal = static_cast<int32_t>(page.body[20] | page.body[21] << 8 | page.body[22] << 16 |
                                             static_cast<uint32_t>(page.body[23]) << 24);
        }
        const ogg_int64_t granule = ogg_page_granulepos(&page);
        if (granule == 0) r.headerPackets += ogg_page_packets(&page);
        if (granule != 0 && !audio) audio = true, r.audioStartsFresh = !ogg_page_continued(&page);
        if (granule > 0) r.lastGranule = granule;
        r.eosPages += (r.lastPageIsEos = ogg_page_eos(&page) != 0);
    }
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
    const std::map<std::string, std::string> comments = {
        {"artist", album.artist}, {"title", album.trackTitles[1]}, {"date", "1991"}, {"album", album.albumTitle},
        {"track", " 2"}, {"genre", "Rock"}, {"totaltracks", "11"}, {"comment", std::string(RipComment)}};
    struct Case { const char* name; std::function<void(CSettings&)> change; int rate, channels; long nominal; bool tagged; };
    const Case cases[] = {
        {"lowest quality", [](CSettings& s) { s.OGG.QualityCompression = -10; }, 44100, 2, -1, true},   // -1: any
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
        ctx.album = album, ctx.trackIndex = 1, ctx.discTracks = 11;
        const std::size_t frames = static_cast<std::size_t>(c.rate) * 2 + 77;
        FeedTone(ctx, frames, c.rate);
        EXPECT_TRUE(ctx.floatPath);
        const std::string out = dir.path() + "/" + c.name + ".ogg";
        const std::time_t before = std::time(nullptr);
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        const OggScan scan = Scan(out);
        EXPECT_EQ(std::vector<long>({scan.headerPackets, c.nominal < 0 ? -1 : scan.nominal, scan.eosPages}),
                  std::vector<long>({3, c.nominal, 1}));
        EXPECT_TRUE(scan.audioStartsFresh && scan.lastPageIsEos && scan.lastGranule == static_cast<ogg_int64_t>(frames));
        EXPECT_TRUE(TimeSeededSerials(before, std::time(nullptr)).count(scan.serial)) << scan.serial;
        // What comes back sounds like what went in: the decoded left channel follows the sine.
        const Decoded d = Decode(out);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec + std::to_string(d.sampleRate) + "/" + std::to_string(d.channels),
                  "vorbis" + std::to_string(c.rate) + "/" + std::to_string(c.channels));
        EXPECT_EQ(d.tags, c.tagged ? comments : decltype(comments){});
        ASSERT_NEAR(static_cast<double>(d.samples.size()), static_cast<double>(frames * c.channels), 1024.0 * c.channels);
        std::vector<int16_t> source;
        for (float v : SineFloats(frames, 440, 0.5, c.rate)) {
            source.push_back(static_cast<int16_t>(std::lround(v * 32767)));
            if (c.channels == 2) source.push_back(0);
        }
        EXPECT_GT(SnrDb(source, d.samples, 4000, static_cast<std::size_t>(c.channels)), 20);
    }
}
