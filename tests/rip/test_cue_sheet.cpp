// Cue sheets and album playlists: exact file content, INDEX times against a count of
// sectors made independently of the job's cumulative ends, and failure without debris.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "albuminfo/AlbumRecord.h"
#include "app/Settings.h"
#include "rip/CueSheet.h"
#include "rip/RipJob.h"
#include "support/DiscImage.h"

namespace fs = std::filesystem;
using namespace quarrow;

namespace {

using support::ReadFile;
using discimage::Msf;

CAlbumRecord Album() {
    CAlbumRecord a;
    a.artist = "The Band", a.albumTitle = "Live";
    for (int i = 1; i <= 10; ++i) a.trackTitles.push_back("Song " + std::to_string(i));
    return a;
}

}  // namespace

TEST(CueSheet, ExactTextAndIndexTimesOfEveryEntry) {
    discimage::ScratchDir tmp;
    CRipJob job;
    job.Append(0, 2, SampleValuesOf(1000, 2352)), job.Append(0, 4, SampleValuesOf(2000, 2352));
    job.outputPath = tmp.path() + "/Multiple Tracks.mp3";
    ASSERT_TRUE(WriteCueSheet(job, Album()));
    const std::string perf = "PERFORMER \"The Band\"\r\n";
    EXPECT_EQ(ReadFile(tmp.path() + "/Multiple Tracks.cue"),
              "TITLE \"Live\"\r\n" + perf + "FILE \"Multiple Tracks.mp3\" WAVE\r\n" +
                  "  TRACK 01 AUDIO\r\n    TITLE \"Song 3\"\r\n    " + perf + "    INDEX 01 00:00:00\r\n" +
                  "  TRACK 02 AUDIO\r\n    TITLE \"Song 5\"\r\n    " + perf + "    INDEX 01 00:13:25\r\n");
    EXPECT_FALSE(fs::exists(tmp.path() + "/Multiple Tracks.cue.part"));

    // A range starting 100 sectors into a track of 5000, then random lengths: each
    // start is the sum of the sectors before it; a second job replaces the whole file.
    std::vector<int> sectors = {4900, 3000, 20};
    std::mt19937 rng(7);
    for (int i = 0; i < 20; ++i) sectors.push_back(std::uniform_int_distribution<int>(1, 30000)(rng));
    job.entries.clear();
    std::string times;
    long sum = 0;
    for (std::size_t i = 0; i < sectors.size(); sum += sectors[i++]) {
        job.Append(0, static_cast<int>(i % 10), SampleValuesOf(sectors[i], 2352));
        times += Msf(sum) + " ";
    }
    ASSERT_TRUE(WriteCueSheet(job, Album()));
    const std::string cue = ReadFile(tmp.path() + "/Multiple Tracks.cue");
    std::string got;
    for (std::size_t at = 0; (at = cue.find("INDEX 01 ", at)) != std::string::npos; at += 9)
        got += cue.substr(at + 9, cue.find("\r\n", at) - at - 9) + " ";
    EXPECT_EQ(got, times);
    EXPECT_EQ(CueTime(100L * 4500 + 75 + 3), "100:01:03");   // minutes as they come
}

TEST(CueSheet, PathsTextsAndFailures) {
    EXPECT_EQ(CueSheetPath("/a/b/x.tar.gz") + CueSheetPath("/a/my.music/S 1"), "/a/b/x.tar.cue/a/my.music/S 1.cue");

    discimage::ScratchDir tmp;
    CAlbumRecord album = Album();
    album.albumTitle = "Say \"Hi\"", album.artist = "Line\r\nFILE \"evil.wav\" WAVE", album.trackTitles = {"T"};
    CRipJob job;
    job.Append(0, 0, 1176), job.Append(0, 7, 1176);   // a track beyond the titles has an empty title
    job.outputPath = tmp.path() + "/out.ogg";
    ASSERT_TRUE(WriteCueSheet(job, album));
    const std::string cue = ReadFile(tmp.path() + "/out.cue");
    EXPECT_NE(cue.find("TITLE \"Say \"Hi\"\"\r\n"), std::string::npos);
    EXPECT_NE(cue.find("PERFORMER \"Line  FILE \"evil.wav\" WAVE\"\r\n"), std::string::npos);
    EXPECT_NE(cue.find("    TITLE \"\"\r\n"), std::string::npos);
    EXPECT_EQ(cue.find("\r\nFILE "), cue.rfind("\r\nFILE "));   // one FILE line

    job.outputPath = tmp.path() + "/missing/out.ogg";
    std::string error;
    EXPECT_FALSE(WriteCueSheet(job, album, &error));
    EXPECT_NE(error.find("missing/out.cue"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(tmp.path() + "/missing"));

    // An image always gets one; other single-file jobs when the setting asks.
    for (auto [mode, single, setting, wanted] : std::vector<std::tuple<int16_t, bool, int16_t, bool>>{
             {kRipDiscImage, true, 0, true}, {kRipChecked, true, 0, false}, {kRipChecked, true, 1, true},
             {kRipChecked, false, 1, false}}) {
        CSettings s;
        CRipJob j;
        s.OUTPUT.CueSheet = setting, j.mode = mode, j.singleOutput = single;
        EXPECT_EQ(WantsCueSheet(j, s), wanted) << mode << single << setting;
    }
}

TEST(Playlist, ListsEachFileOnceInRipOrder) {
    discimage::ScratchDir tmp;
    CAlbumRecord album = Album();
    const std::string folder = tmp.path() + "/The Band/Live";
    fs::create_directories(folder);
    // Ripping again lists a file once (the rip session shows the order); a file that did
    // not complete takes its line out, and a playlist left empty goes.
    bool added = false, again = true;
    EXPECT_TRUE(AppendPlaylist(folder + "/05-Song 5.mp3", album, nullptr, &added) &&
                AppendPlaylist(folder + "/05-Song 5.mp3", album, nullptr, &again) && added && !again);
    ASSERT_TRUE(RemovePlaylistLine(folder + "/05-Song 5.mp3", album));
    EXPECT_FALSE(fs::exists(folder + "/Live.m3u"));

    // An album title cannot move the playlist out of the output folder.
    album.albumTitle = "../../escape";
    EXPECT_EQ(PlaylistPath(folder + "/x.mp3", album), folder + "/.. .. escape.m3u");

    std::string error;
    EXPECT_FALSE(AppendPlaylist(tmp.path() + "/nope/x.mp3", Album(), &error));
    EXPECT_NE(error.find("nope/Live.m3u"), std::string::npos) << error;
}
