// The disc refresh's track list on simulated discs: sessions, data tracks, ISRCs, and a
// disc without audio or without a disc at all.
#include <gtest/gtest.h>

#include "albuminfo/DiscRefresh.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "app/TrackKey.h"
#include "support/CddbTestServer.h"

using namespace quarrow;
using test::Logged;

namespace {

struct Fixture {
    explicit Fixture(const std::string& description) {
        SimDisc disc;
        SimIdentity ident;
        bool present = true;
        std::string error;
        EXPECT_TRUE(ParseSimDisc(description, disc, ident, present, &error)) << error;
        auto drive = std::make_unique<SimulatedDrive>(disc, ident, present);
        sim = drive.get();
        grabber.Add(std::move(drive));
        grabber.SetCurrentDrive(1);
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

}  // namespace

TEST(DiscRefresh, EnhancedDiscWithTwoSessions) {
    Fixture f("media 1\ntrack audio 15000 QZDA52600001\ntrack audio 4576\nsession\ntrack mode2 20000\n");
    RefreshDisc(*f.ctx);
    const MainContext& m = *f.ctx;
    ASSERT_EQ(m.rows.size(), 3u);
    EXPECT_TRUE(m.hasAudio);
    EXPECT_EQ(m.mediaState.rfind("Recognized Disc: CD-R   " + FormatDiscId(m.discId) + "  Length: ", 0), 0u)
        << m.mediaState;
    // Lead-out: second session start + 20000 sectors, absolute.
    EXPECT_EQ(m.toc.back().FrameOffset(), 15000 + 4576 + 11400 + 20000 + 150);
    EXPECT_EQ(m.mediaState.substr(m.mediaState.size() - 9), FormatSectorTime(m.toc.back().FrameOffset()));

    EXPECT_EQ(m.rows[0].number, "  01");
    EXPECT_EQ(m.rows[1].duration, "01:01.013");
    EXPECT_EQ(m.rows[1].start, FormatSectorTime(15000 + 150));
    // Numbering and default titles restart in the second session; the tooltip names it.
    EXPECT_EQ(m.rows[2].number + " " + m.rows[2].title, "  01 Track01");
    EXPECT_EQ(m.rows[2].numberTooltip, "Track 01 of Disc Session 02");
    EXPECT_EQ(m.rows[2].typeText, "Data Track (Mode 2)");
    EXPECT_FALSE(m.rows[2].checked);
    EXPECT_EQ(m.rows[2].destination, "Not an audio track");
    EXPECT_EQ((std::vector<int>{m.rows[0].key, m.rows[1].key, m.rows[2].key}),
              (std::vector<int>{200 * 1000 + 0, 61 * 1000 + 1, 100}));
    EXPECT_EQ(m.rows[0].destination, "/out/Track01.wav");
    EXPECT_TRUE(m.rows[0].isrc.empty());  // ISRCs are read only when asked for
    EXPECT_EQ(m.album.artist, "Unknown Artist " + FormatDiscId(m.discId));
    EXPECT_TRUE(Logged(f.log, "Refreshing CD..."));
    EXPECT_TRUE(Logged(f.log, "Refreshing track list view..."));
    EXPECT_FALSE(m.refreshing);
}

TEST(DiscRefresh, IsrcsAreReadWhenWantedAndKeptAcrossRefreshes) {
    Fixture f("track audio 1000 QZDA52600001\ntrack audio 1000\n");
    f.ctx->isrcWanted = true;
    RefreshDisc(*f.ctx);
    ASSERT_EQ(f.ctx->rows.size(), 2u);
    EXPECT_EQ(f.ctx->rows[0].isrc + " " + f.ctx->rows[1].isrc, "QZDA52600001 N/A");
    EXPECT_TRUE(Logged(f.log, "Reading ISRC information of session1 track2..."));
    EXPECT_TRUE(Logged(f.log, "Fail to read ISRC information: \nN/A", 1));
    f.log.Clear();
    RefreshDisc(*f.ctx);
    EXPECT_EQ(f.ctx->rows[1].isrc, "N/A");
    EXPECT_FALSE(Logged(f.log, "Reading ISRC", -1, false));
}

TEST(DiscRefresh, DiscsWithoutAudioAndTheFirstCheckedTrack) {
    Fixture data("track mode1 30000\n");
    data.ctx->freeDbEnabled = true;
    RefreshDisc(*data.ctx);
    EXPECT_EQ(data.ctx->mediaState, "Recognized Disc: CD-ROM   Not an Audio CD");
    EXPECT_FALSE(data.ctx->freeDbEnabled);
    ASSERT_EQ(data.ctx->rows.size(), 1u);
    EXPECT_TRUE(data.ctx->rows[0].start.empty());
    EXPECT_LT(data.ctx->rows[0].key, 1000);

    Fixture empty("nodisc\n");
    RefreshDisc(*empty.ctx);
    EXPECT_EQ(empty.ctx->mediaState, "No Disc   Not an Audio CD");
    EXPECT_TRUE(empty.ctx->rows.empty());

    Fixture f("track mode1 2000\ntrack audio 3000\ntrack audio 3000\n");
    RefreshDisc(*f.ctx);
    EXPECT_EQ(f.ctx->currentItem, 1);
    EXPECT_EQ(f.sim->TrackNumber(), 1);
    EXPECT_EQ(f.ctx->rows[1].start, FormatSectorTime(2000 + 150));
}
