// The disc's table of contents, its CDDB ID (checked against the reference library), the
// album defaults of a disc without lookup, and the disc refresh's track list on simulated
// discs: sessions, data tracks, ISRCs, no audio, no disc.
#include <gtest/gtest.h>

#include <discid/discid.h>

#include <algorithm>
#include <memory>

#include "albuminfo/AlbumRecord.h"
#include "albuminfo/CDDBException.h"
#include "albuminfo/DiscRefresh.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "app/TrackKey.h"
#include "support/CddbTestServer.h"

// Records are written with designated initializers that name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace quarrow;
using test::Logged;

namespace {

// A simulated disc described in the simulator's text and a window context around it.
struct Fixture {
    explicit Fixture(const std::string& description) {
        SimDisc disc; SimIdentity ident; bool present = true; std::string error;
        EXPECT_TRUE(ParseSimDisc(description, disc, ident, present, &error)) << error;
        grabber.Add(std::unique_ptr<SimulatedDrive>(sim = new SimulatedDrive(disc, ident, present)));
        grabber.SetCurrentDrive(1);
        sim->RefreshDisc();
        settings.FREEDB.LoadAlbumInfo = 0;  // no lookup: the refresh fills the defaults
        ctx = std::make_unique<MainContext>(settings, log, grabber, prompter);
        ctx->destinationOf = [](const TrackRow& r) { return "/out/" + r.title + ".wav"; };
    }
    CSettings settings = CSettings::Initial("/tmp/quarrow-refresh-test");
    CEventLog log;
    CdGrabber grabber;
    RecordingPrompter prompter;
    SimulatedDrive* sim = nullptr;
    std::unique_ptr<MainContext> ctx;
};

// A one-session disc of these track lengths; the tracks listed in data are data tracks.
std::string Tracks(const std::vector<int32_t>& lengths, const std::vector<std::size_t>& data = {}) {
    std::string text;
    for (std::size_t i = 0; i < lengths.size(); ++i)
        text += (std::count(data.begin(), data.end(), i) ? "track mode1 " : "track audio ") +
                std::to_string(lengths[i]) + "\n";
    return text;
}

std::string LibDiscIdFreeDb(const std::vector<int32_t>& lengths) {
    std::vector<int> offsets{150};
    for (int32_t length : lengths) offsets.push_back(offsets.back() + length);
    offsets.insert(offsets.begin(), offsets.back());  // the lead-out comes first
    offsets.pop_back();
    offsets.resize(100);
    std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    EXPECT_EQ(discid_put(disc.get(), 1, static_cast<int>(lengths.size()), offsets.data()), 1);
    return discid_get_freedb_id(disc.get());
}

}  // namespace

TEST(DiscId, DigitSumsOf255WrapToZero) {
    // Digit sums adding up to exactly 255 wrap to 0 in the top byte: 28 starts at 9 s (252) and one at 3 s.
    CCDDBToc wrap(28, CCDDBMsf::FromFrames(9 * 75));
    wrap.insert(wrap.end(), {CCDDBMsf::FromFrames(3 * 75), CCDDBMsf::FromFrames(20 * 75)});
    EXPECT_EQ(ComputeDiscId(wrap) & 0xFF0000FF, 29u);
}

TEST(DiscId, ReadTocAddsTheFrameTheDeviceLeavesOut) {
    // The last track ends one frame before a minute boundary plus one: carries run through.
    Fixture f(Tracks({4500 * 59 + 75 * 59 + 74 - 150, 1}));
    EXPECT_EQ(ReadToc(*f.sim), (CCDDBToc{{0, 2, 0}, {59, 59, 74}, {60, 0, 0}}));
}

TEST(DiscId, MatchesTheFreeDbIdOfLibDiscId) {
    const std::vector<std::pair<std::vector<int32_t>, std::vector<std::size_t>>> discs = {
        {{10000}, {}},
        {{13000, 20, 17000, 16000, 22000}, {}},  // a track under 1 s
        {{30000, 15000, 15000}, {0}},           // data first
        {{15000, 30000, 15000}, {1}},           // data in the middle
        {std::vector<int32_t>(99, 2347), {}},   // the most tracks a disc holds
    };
    for (const auto& [lengths, data] : discs) {
        Fixture f(Tracks(lengths, data));
        EXPECT_EQ(FormatDiscId(ComputeDiscId(ReadToc(*f.sim))), LibDiscIdFreeDb(lengths));
    }
}

TEST(DiscId, NoAudioTrackThrowsAndLogs) {
    Fixture f(Tracks({20000}, {0}));
    try { ReadToc(*f.sim, &f.log); ADD_FAILURE() << "no exception"; } catch (const CCDDBException& e) {
        EXPECT_TRUE((e.code() & 0xFFFF) == 513u && !e.deviceError()) << e.code();
    }
    EXPECT_TRUE(Logged(f.log, "Warning: throwing CCDDBException for error ", -1, false));
}

TEST(AlbumRecord, DefaultsOfADiscWithoutLookup) {
    Fixture f(Tracks({15000, 30000, 15000}, {1}));
    f.sim->SetCurrentSession(0), f.sim->SetCurrentTrack(0);
    const CCDDBToc toc = ReadToc(*f.sim);
    CAlbumRecord r;
    r.playOrder = {3, 1};
    FillAlbumDefaults(r, *f.sim, toc);
    // Every audio and data track has its offset and default title; the texts carry the disc ID.
    const std::string d = FormatDiscId(ComputeDiscId(toc));
    EXPECT_EQ(r.trackFrameOffsets, (std::vector<uint32_t>{150, 15150, 45150}));
    EXPECT_EQ(std::tuple(r.discLength, r.discId, r.year, r.trackExtendedData.size(), r.playOrder.empty()),
              std::tuple((60000 + 150) / 75 - 2, ComputeDiscId(toc), 2000, 3ul, true));
    EXPECT_EQ(r.artist + "|" + r.albumTitle + "|" + r.genre + "|" + r.submittingProgram + " " + r.submittingVersion,
              "Unknown Artist " + d + "|Unknown Album " + d + "|Unknown Genre " + d + "|MfcCDDB 1.28");
    EXPECT_EQ(r.trackTitles, (std::vector<std::string>{"Track01", "Track02", "Track03"}));
    // A data track as the current track: only the arrays are emptied.
    CAlbumRecord kept{.artist = "Kept", .trackTitles = {"x"}};
    f.sim->SetCurrentTrack(1);
    FillAlbumDefaults(kept, *f.sim, toc);
    EXPECT_TRUE(kept.artist == "Kept" && kept.trackTitles.empty());
}

TEST(AlbumRecord, ArtistAndTitleShareOneLine) {
    std::string a, t, b, u;
    SplitArtistTitle("AC/DC / Back in Black / Remastered", a, t);
    SplitArtistTitle("No Separator/Here", b, u);
    EXPECT_EQ(a + "|" + t + "|" + b + "|" + u, "AC/DC|Back in Black / Remastered|No Separator/Here|No Separator/Here");
    EXPECT_EQ(JoinArtistTitle("A", "B") + "|" + JoinArtistTitle("", "B"), "A / B|B");
}

TEST(DiscRefresh, EnhancedDiscWithTwoSessions) {
    Fixture f("media 1\ntrack audio 15000 QZDA52600001\ntrack audio 4576\nsession\ntrack mode2 20000\n");
    RefreshDisc(*f.ctx);
    const MainContext& m = *f.ctx;
    ASSERT_EQ(m.rows.size(), 3u);
    EXPECT_TRUE(m.hasAudio && !m.refreshing);
    // Lead-out: second session start + 20000 sectors, absolute; the media text ends with it.
    EXPECT_EQ(m.toc.back().FrameOffset(), 15000 + 4576 + 11400 + 20000 + 150);
    EXPECT_EQ(m.mediaState, "Recognized Disc: CD-R   " + FormatDiscId(m.discId) + "  Length: " +
                                FormatSectorTime(m.toc.back().FrameOffset()));
    EXPECT_EQ(m.rows[1].duration, "01:01.013");
    // Numbering and default titles restart in the second session; the tooltip names it.
    EXPECT_EQ(m.rows[2].number + " " + m.rows[2].title + "|" + m.rows[2].numberTooltip + "|" + m.rows[2].typeText + "|" +
                  m.rows[2].destination, "  01 Track01|Track 01 of Disc Session 02|Data Track (Mode 2)|Not an audio track");
    EXPECT_FALSE(m.rows[2].checked);
    EXPECT_EQ((std::vector<int>{m.rows[0].key, m.rows[1].key, m.rows[2].key}),
              (std::vector<int>{200 * 1000 + 0, 61 * 1000 + 1, 100}));
    EXPECT_EQ(m.rows[0].destination + m.rows[0].isrc, "/out/Track01.wav");  // ISRCs are read only when asked for
}

TEST(DiscRefresh, IsrcsAreReadWhenWantedAndKeptAcrossRefreshes) {
    Fixture f("track audio 1000 QZDA52600001\ntrack audio 1000\n");
    f.ctx->isrcWanted = true;
    RefreshDisc(*f.ctx);
    EXPECT_EQ(f.ctx->rows.at(0).isrc + " " + f.ctx->rows.at(1).isrc, "QZDA52600001 N/A");
    EXPECT_TRUE(Logged(f.log, "Reading ISRC information of session1 track2..."));
    EXPECT_TRUE(Logged(f.log, "Fail to read ISRC information: \nN/A", 1));
    f.log.Clear();
    RefreshDisc(*f.ctx);
    EXPECT_TRUE(f.ctx->rows[1].isrc == "N/A" && !Logged(f.log, "Reading ISRC", -1, false));
}

TEST(DiscRefresh, DiscsWithoutAudioAndTheFirstCheckedTrack) {
    Fixture data("track mode1 30000\n");
    data.ctx->freeDbEnabled = true;
    RefreshDisc(*data.ctx);
    EXPECT_TRUE(data.ctx->mediaState == "Recognized Disc: CD-ROM   Not an Audio CD" && !data.ctx->freeDbEnabled) << data.ctx->mediaState;
    ASSERT_EQ(data.ctx->rows.size(), 1u);
    EXPECT_TRUE(data.ctx->rows[0].start.empty() && data.ctx->rows[0].key < 1000);
    Fixture empty("nodisc\n");
    RefreshDisc(*empty.ctx);
    EXPECT_TRUE(empty.ctx->mediaState == "No Disc   Not an Audio CD" && empty.ctx->rows.empty());
    Fixture f("track mode1 2000\ntrack audio 3000\ntrack audio 3000\n");
    RefreshDisc(*f.ctx);
    EXPECT_EQ(std::pair(f.ctx->currentItem, f.sim->TrackNumber()), std::pair(1, 1));
    EXPECT_EQ(f.ctx->rows[1].start, FormatSectorTime(2000 + 150));
}
