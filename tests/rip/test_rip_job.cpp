// The rip commands on a simulated disc: their checks and messages in order, and the
// jobs they build for the selected track, the checked tracks, all tracks, a sector
// range and the whole disc.
#include <gtest/gtest.h>

#include <filesystem>

#include "albuminfo/AlbumRecord.h"
#include "albuminfo/DiscRefresh.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/SectorRange.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "rip/Naming.h"
#include "rip/RipCommands.h"
#include "support/DiscImage.h"

namespace fs = std::filesystem;
using namespace quarrow;

namespace {

// A main window's state on a simulated disc, refreshed without album lookup.
struct Fixture {
    CSettings settings;
    CEventLog log;
    CdGrabber grabber;
    RecordingPrompter prompter;
    MainContext ctx{settings, log, grabber, prompter};
    discimage::ScratchDir dir;

    explicit Fixture(const std::vector<SimTrack>& tracks, bool present = true) {
        settings.OUTPUT.DesDir = dir.path() + "/out/";
        SimDisc disc;
        disc.tracks = tracks;
        grabber.Add(std::make_unique<SimulatedDrive>(disc, SimIdentity{}, present));
        grabber.Drive().RefreshDisc();
        for (const SimTrack& t : tracks) ctx.hasAudio = ctx.hasAudio || t.type == kTrackAudio;
        if (present && ctx.hasAudio) ctx.toc = ReadToc(grabber.Drive());
        ctx.album.artist = "Artist", ctx.album.albumTitle = "Album";
        for (std::size_t i = 0; i < tracks.size(); ++i) ctx.album.trackTitles.push_back("T" + std::to_string(i + 1));
        if (present) InstallDestinationColumn(ctx), FillTrackList(ctx);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& p : prompter.prompts) out.push_back(p.text);
        return out;
    }
};

SimTrack Audio(int32_t sectors, int session = 0) { return SimTrack{session, kTrackAudio, sectors, {}, {}}; }
SimTrack Data(int32_t sectors, int session = 0) { return SimTrack{session, kTrackMode1, sectors, {}, {}}; }

int32_t Values(int32_t sectors) { return sectors * 1176; }

// mode, single output, first-last track, start+end offset: one line per job.
std::string Shape(const CRipJob& j) {
    return std::to_string(j.mode) + (j.singleOutput ? " single " : " per-track ") + std::to_string(j.firstTrack) +
           "-" + std::to_string(j.lastTrack) + " " + std::to_string(j.startOffset) + "+" + std::to_string(j.endOffset);
}

}  // namespace

TEST(RipCommands, ChecksComeInOrderWithTheirMessages) {
    {
        Fixture f({});
        f.ctx.rows.clear();
        EXPECT_FALSE(OnRipChecked(f.ctx) || OnRipAll(f.ctx) || OnRipSelected(f.ctx, -1));
        EXPECT_EQ(f.Texts(), (std::vector<std::string>{"No Audio Tracks Checked!", "No Audio Tracks Found!",
                                                       "No Audio Track Selected!"}));
    }
    {
        Fixture f({Audio(1000), Data(500)});
        // Busy: nothing at all happens.
        f.ctx.refreshing = true;
        EXPECT_FALSE(OnRipSelected(f.ctx, 0) || OnRipChecked(f.ctx) || OnRipDiscImage(f.ctx));
        EXPECT_TRUE(f.prompter.prompts.empty());
        f.ctx.refreshing = false;

        EXPECT_FALSE(OnRipSelected(f.ctx, 1) || OnRipDiscImage(f.ctx));
        EXPECT_EQ(f.prompter.prompts.at(0).icon, MessageIcon::Error);
        EXPECT_EQ(f.Texts(), (std::vector<std::string>{"Not an Audio Track!", "This Audio CD Contains Some Data "
                                                       "Tracks. It can NOT be Saved as an CD Image!"}));

        // Playback: No ends the command, Yes stops playback and goes on.
        bool playing = true;
        RipCommandHooks hooks;
        hooks.isPlaying = [&] { return playing; }, hooks.stopPlayback = [&] { playing = false; };
        f.prompter.prompts.clear(), f.prompter.yesNoReplies = {false, true};
        EXPECT_FALSE(OnRipSelected(f.ctx, 0, hooks) || !playing);
        EXPECT_TRUE(OnRipSelected(f.ctx, 0, hooks) && !playing);
        EXPECT_EQ(f.Texts(), std::vector<std::string>(2, "Do You Wish to Stop Playing to Rip Audio Tracks?"));
    }
    {
        // The user-customised encoder, checked in order: a program (a folder is none), its
        // parameters, its extension.
        Fixture f({Audio(1000)});
        f.settings.OUTPUT.OutputFormat = 31, f.settings.CUSTOM.Encoder = f.dir.path();
        f.settings.CUSTOM.Parameter.clear(), f.settings.CUSTOM.FileExt.clear();
        EXPECT_FALSE(OnRipAll(f.ctx));
        f.settings.CUSTOM.Encoder = "/bin/sh";
        EXPECT_FALSE(OnRipChecked(f.ctx));
        f.settings.CUSTOM.Parameter = "%of%";
        EXPECT_FALSE(OnRipChecked(f.ctx) || OnRipSelected(f.ctx, 0));
        EXPECT_EQ(f.Texts(), (std::vector<std::string>{"User-Customized External Encoder Not Found!",
                                                       "Null User-Customized External Encoder Parameters!",
                                                       "User-Customized Format File Extension Not Specified!",
                                                       "Customized Format File Extension Not Specified!"}));
    }
    {
        Fixture f({Data(1000)});
        EXPECT_FALSE(OnRipSectorRange(f.ctx) || OnRipDiscImage(f.ctx));
        EXPECT_EQ(f.Texts(), std::vector<std::string>(2, "Not an Audio CD!"));
    }
    {
        Fixture f({Audio(1000)}, false);
        EXPECT_FALSE(OnRipSectorRange(f.ctx));
        EXPECT_EQ(f.Texts(), (std::vector<std::string>{"No Disc Found!"}));
    }
}

TEST(RipCommands, SelectedAndCheckedTracksMakeEntries) {
    Fixture f({Audio(1000), Data(300), Audio(2000), Audio(450)});
    for (TrackRow& r : f.ctx.rows) r.status = "Done";
    auto sel = OnRipSelected(f.ctx, 2);
    ASSERT_TRUE(sel && sel->mode == 0 && f.ctx.currentItem == 2);
    EXPECT_EQ(sel->entries, (std::vector<RipJobEntry>{{0, 2, Values(2000), Values(2000)}}));
    for (const TrackRow& r : f.ctx.rows) EXPECT_EQ(r.status, "");

    // A checked data row is skipped.
    f.ctx.rows[1].checked = true, f.ctx.rows[3].checked = false;
    auto checked = OnRipChecked(f.ctx);
    ASSERT_TRUE(checked && Shape(*checked) == "1 per-track 0-0 0+0");
    EXPECT_EQ(checked->entries, (std::vector<RipJobEntry>{{0, 0, Values(1000), Values(1000)},
                                                           {0, 2, Values(2000), Values(3000)}}));
    auto all = OnRipAll(f.ctx);
    ASSERT_TRUE(all && all->mode == 2 && all->entries.size() == 3u);
    EXPECT_EQ(all->entries[2], (RipJobEntry{0, 3, Values(450), Values(3450)}));

    // Only a data row checked leaves nothing to rip.
    for (TrackRow& r : f.ctx.rows) r.checked = !r.audio;
    EXPECT_FALSE(OnRipChecked(f.ctx));
    EXPECT_EQ(f.Texts(), (std::vector<std::string>{"No Audio Tracks Checked!"}));
}

TEST(RipCommands, SingleOutputAsksForTheFile) {
    Fixture f({Audio(1000), Audio(2000), Audio(300)});
    f.settings.OUTPUT.SingleOpt = 1, f.settings.OUTPUT.FillTag = 0, f.ctx.rows[1].checked = false;
    const auto job = OnRipChecked(f.ctx);
    ASSERT_TRUE(job);
    const std::string folder = f.settings.OUTPUT.DesDir + "Artist/Album/";
    ASSERT_EQ(f.prompter.prompts.size(), 1u);
    EXPECT_EQ(f.prompter.prompts[0].kind + ":" + f.prompter.prompts[0].text, "save:" + folder + "Multiple Tracks.mp3");
    EXPECT_TRUE(fs::is_directory(folder));   // created before asking
    EXPECT_EQ(job->outputPath + " " + Shape(*job), folder + "Multiple Tracks.mp3 1 single 0-1 0+0");
    EXPECT_EQ(job->entries.at(1).cumulativeEnd, Values(1300));

    // With FillTag the album title is proposed, made safe as one file name; a typed
    // name without extension gets the format's.
    f.settings.OUTPUT.FillTag = 1, f.ctx.album.albumTitle = "../Up/Down", f.prompter.saveReplies = {"/tmp/elsewhere/mix"};
    auto all = OnRipAll(f.ctx);
    ASSERT_TRUE(all && all->lastTrack == 2);
    EXPECT_EQ(f.prompter.prompts.back().text, folder + ".. Up Down.mp3");
    EXPECT_EQ(all->outputPath, "/tmp/elsewhere/mix.mp3");

    // Cancel starts nothing.
    f.prompter.saveReplies = {""};
    EXPECT_FALSE(OnRipChecked(f.ctx));
}

TEST(RipCommands, SectorRangeAndDiscImageJobs) {
    Fixture f({Audio(4000), Audio(5000), Audio(3000), Audio(2000)});
    RipCommandHooks hooks;
    int32_t from = 0, to = 0;
    hooks.chooseRange = [&](CSectorRange& r) { return r.UpdateEnd(to), r.UpdateStart(from), true; };
    // From 100 sectors into track 2 to sector 500 of track 4: every sector of the range
    // (12500 - 4101 + 1 = 8400) is read exactly once.
    from = 4101, to = 12500;
    auto job = OnRipSectorRange(f.ctx, hooks);
    ASSERT_TRUE(job && Shape(*job) == "3 single 1-3 100+500");
    EXPECT_EQ(f.prompter.prompts.back().text, f.settings.OUTPUT.DesDir + "Artist/Album/Sector 4101 to 12500.mp3");
    EXPECT_EQ(job->entries, (std::vector<RipJobEntry>{{0, 1, Values(4900), Values(4900)},
                                                      {0, 2, Values(3000), Values(7900)},
                                                      {0, 3, Values(500), Values(8400)}}));
    // Within one track: the entry holds just the range.
    from = 4201, to = 4300;
    job = OnRipSectorRange(f.ctx, hooks);
    ASSERT_TRUE(job && Shape(*job) == "3 single 1-1 200+300");
    EXPECT_EQ(job->entries, (std::vector<RipJobEntry>{{0, 1, Values(100), Values(100)}}));

    hooks.chooseRange = [](CSectorRange&) { return false; };
    const std::size_t before = f.prompter.prompts.size();
    EXPECT_FALSE(OnRipSectorRange(f.ctx, hooks));
    EXPECT_EQ(f.prompter.prompts.size(), before);

    f.settings.OUTPUT.FillTag = 0;
    job = OnRipDiscImage(f.ctx);
    ASSERT_TRUE(job && job->entries.size() == 4u);
    EXPECT_EQ(f.prompter.prompts.back().text, f.settings.OUTPUT.DesDir + "Artist/Album/CD Image.mp3");
    EXPECT_EQ(Shape(*job), std::to_string(kRipDiscImage) + " single 0-3 0+2000");
    EXPECT_EQ(job->entries.back().cumulativeEnd, Values(14000));
}
