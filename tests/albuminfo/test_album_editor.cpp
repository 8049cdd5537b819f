// The CD info editor's rules on a simulated disc: opening, "Various Artists", the year
// range, trimming, the rows' information texts, Save into the local store, Submit to a
// CDDB server on loopback, the category table and track-title editing.
#include <gtest/gtest.h>

#include <memory>

#include "albuminfo/AlbumEditor.h"
#include "albuminfo/AlbumSteps.h"
#include "albuminfo/CDDBException.h"
#include "albuminfo/LocalCddb.h"
#include "albuminfo/Xmcd.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "support/CddbTestServer.h"
#include "support/TestFiles.h"

using namespace quarrow;

namespace {

class AlbumEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = CSettings::Initial(dir_.path());
        settings_.FREEDB.LoadAlbumInfo = 0;  // the record holds the defaults
        SimDisc disc;
        for (int32_t sectors : {15000, 15000, 15000, 9000}) disc.tracks.emplace_back().sectors = sectors;
        auto drive = std::make_unique<SimulatedDrive>(disc);
        drive_ = drive.get();
        grabber_.Add(std::move(drive));
        grabber_.SetCurrentDrive(1);
        ctx_ = std::make_unique<MainContext>(settings_, log_, grabber_, prompter_);
        Services(*ctx_).servers = {CFreeDBServer{"127.0.0.1", server_.Port(), 5000, 5}};
        RefreshDisc(*ctx_);
        id_ = FormatDiscId(ctx_->discId);
    }
    std::string LastPrompt() const { return prompter_.prompts.empty() ? "" : prompter_.prompts.back().text; }

    support::ScratchDir dir_;
    CSettings settings_;
    CEventLog log_;
    CdGrabber grabber_;
    SimulatedDrive* drive_ = nullptr;
    RecordingPrompter prompter_;
    std::unique_ptr<MainContext> ctx_;
    test::CddbTestServer server_;
    std::string id_;
};

}  // namespace

TEST(AlbumEditorTables, CategoriesAndInformationText) {
    ASSERT_EQ(CategoryItems().size(), 11u);
    EXPECT_EQ(CategoryItems().back(), "Misc ");
    for (const auto& [index, name] : std::vector<std::pair<int, std::string>>{
             {0, "blues"}, {6, "newage"}, {9, "soundtrack"}, {10, "misc"}, {-1, ""}, {11, ""}}) {
        EXPECT_EQ(CategoryName(index), name);
        if (!name.empty()) { EXPECT_EQ(CategoryIndex(name), index); }
    }
    EXPECT_EQ(CategoryIndex("Rock"), -1);
    CAlbumRecord r;
    r.albumTitle = "Al";
    r.artist = "Ar";
    r.genre = "G";
    r.year = 1984;
    EXPECT_EQ(AlbumInfoText(r, "T"), "Title:       T\r\nAlbum:    Al\r\nArtist:     Ar\r\nGenre:    G\r\nYear:      1984");
}

TEST_F(AlbumEditorTest, VariousArtistsBox) {
    ctx_->album.artist = "Various Artists";
    CAlbumEditor editor(*ctx_);
    EXPECT_TRUE(editor.variousArtists);
    EXPECT_FALSE(editor.artistEnabled);
    // Clearing the box keeps the text until it is changed; checking it overrides the field.
    editor.SetVariousArtists(false);
    EXPECT_TRUE(editor.artistEnabled);
    editor.year = 1999;
    for (const auto& [various, typed, stored] : {std::tuple(false, "", "Various Artists"),
                                                 std::tuple(false, "Solo", "Solo"),
                                                 std::tuple(true, "", "Various Artists")}) {
        if (*typed) editor.artist = typed;
        if (various) editor.SetVariousArtists(true);
        editor.Update();
        EXPECT_EQ(ctx_->album.artist, stored);
    }
    EXPECT_TRUE(CAlbumEditor(*ctx_).variousArtists);
}

TEST_F(AlbumEditorTest, UpdateTakesFieldsTrimsAndChecksTheYear) {
    ctx_->album.year = 0;
    CAlbumEditor editor(*ctx_);
    EXPECT_EQ(editor.year, 0);
    editor.album = "New Album  \t";
    editor.artist = "New Artist   ";
    editor.genre = "Genre  ";
    editor.email = "me@example.org";
    EXPECT_FALSE(editor.UpdateRecord());
    EXPECT_EQ(LastPrompt(), "Please enter an integer between 1 and 2100.");
    EXPECT_EQ(ctx_->album.year, 0);  // refused, the other fields are taken; only artist and album are trimmed
    EXPECT_EQ(settings_.FREEDB.Email, "me@example.org");
    ASSERT_EQ(ctx_->rows.size(), 4u);
    EXPECT_EQ(ctx_->rows[1].titleTooltip,
              "Title:       Track02\r\nAlbum:    New Album\r\nArtist:     New Artist\r\nGenre:    Genre  \r\nYear:      0");
    for (int32_t year : {2101, -5, 1, 2100}) {
        editor.year = year;
        const bool good = year >= 1 && year <= 2100;
        EXPECT_EQ(editor.UpdateRecord(), good) << year;
        EXPECT_EQ(ctx_->album.year, good ? year : 0) << year;
        if (good) ctx_->album.year = 0;
    }
    EXPECT_EQ(prompter_.prompts.size(), 3u);
}

TEST_F(AlbumEditorTest, SaveWritesTheDiscsLocalFile) {
    ASSERT_TRUE(EditTrackTitle(*ctx_, 2, "Third / Song"));
    CAlbumEditor editor(*ctx_);
    EXPECT_TRUE(editor.Save());
    ASSERT_EQ(prompter_.prompts.size(), 1u);
    EXPECT_EQ(LastPrompt(), "Local CDDB File Saved.");
    EXPECT_EQ(log_.Entries().back().message, "Local CDDB file saved.");
    const std::string text = support::ReadFile(settings_.FREEDB.LocalCDDBDir + "/" + id_ + ".cddb");
    EXPECT_NE(text.find("\r\nTTITLE2=Third / Song\r\n"), std::string::npos);
    CAlbumRecord back;
    CEventLog quiet;
    ASSERT_TRUE(LoadLocalCddb(settings_.FREEDB.LocalCDDBDir, ctx_->discId, back, &quiet));
    EXPECT_EQ(back.albumTitle, "Unknown Album " + id_);
    EXPECT_EQ(back.year, 2000);
    EXPECT_EQ(back.trackTitles.at(2), "Third / Song");
    EXPECT_TRUE(quiet.Entries().empty());

    // A folder that cannot be made: the failure is shown and logged, nothing claims success.
    support::WriteFile(dir_.file("blocker"), "");
    settings_.FREEDB.LocalCDDBDir = dir_.file("blocker/sub");
    EXPECT_FALSE(editor.Save());
    EXPECT_EQ(prompter_.prompts.back().icon, MessageIcon::Error);
    EXPECT_EQ(log_.Entries().back().level, 1);
}

TEST_F(AlbumEditorTest, SubmitNeedsACategoryAndPostsTheRecord) {
    auto& server = server_;
    server.SetBody("200 Submission OK.\r\n");
    CAlbumEditor editor(*ctx_);
    editor.submitPort = server.Port();
    editor.year = 2000;
    EXPECT_FALSE(editor.Submit());
    EXPECT_EQ(LastPrompt(), "Please Select a Category!");
    EXPECT_EQ(server.Connections(), 0);

    editor.category = CategoryIndex("soundtrack");
    editor.email = "fan@example.org";
    ASSERT_TRUE(editor.Submit());
    EXPECT_EQ(LastPrompt(), "Successfully Submitted!");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    // The body is the record's xmcd text as it stands: defaults keep revision 0 and the
    // default submitting program.
    const std::string body = XmcdBody(ctx_->album);
    EXPECT_NE(body.find("# Revision: 0\r\n# Submitted via: MfcCDDB 1.28 \r\n"), std::string::npos);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("Content-Length: ")),
              "POST /~cddb/submit.cgi HTTP/1.0\r\nCategory: soundtrack\r\nDiscid: " + id_ +
                  "\r\nUser-Email: fan@example.org\r\nSubmit-Mode: submit\r\n"
                  "X-Cddbd-Note: Fail to submit CDDB info to 127.0.0.1\r\n");
    ASSERT_GE(requests[0].size(), body.size());
    EXPECT_EQ(requests[0].substr(requests[0].size() - body.size()), body);

    // A refusal throws out of Submit, after the client's box.
    server.SetBody("501 Invalid header.\r\n");
    EXPECT_THROW(editor.Submit(), CCDDBException);
    EXPECT_NE(LastPrompt().find("Fail to Submit CDDB Info!"), std::string::npos);
}

TEST_F(AlbumEditorTest, TrackTitleEditing) {
    EXPECT_FALSE(EditTrackTitle(*ctx_, -1, "x"));
    EXPECT_EQ(LastPrompt(), "Please Select a Track First!");
    EXPECT_FALSE(EditTrackTitle(*ctx_, 4, "x"));
    EXPECT_EQ(prompter_.prompts.size(), 2u);
    const auto before = ctx_->album;
    EXPECT_FALSE(EditTrackTitle(*ctx_, 1, ""));  // cancelled
    EXPECT_EQ(ctx_->album, before);

    // Lookup off: title changes, the information text is left alone.
    ctx_->rows[0].titleTooltip = "old";
    EXPECT_TRUE(EditTrackTitle(*ctx_, 0, "Opening"));
    EXPECT_EQ(ctx_->rows[0].title + ctx_->album.trackTitles[0] + ctx_->rows[0].titleTooltip, "OpeningOpeningold");
    ctx_->freeDbEnabled = true;
    EXPECT_TRUE(EditTrackTitle(*ctx_, 3, "Closing"));
    EXPECT_EQ(ctx_->album.trackTitles[3], "Closing");
    EXPECT_EQ(ctx_->rows[3].titleTooltip, AlbumInfoText(ctx_->album, "Closing"));

    // A record with fewer titles than rows grows both lists, so it still reads back.
    ctx_->album.trackTitles.resize(1);
    ctx_->album.trackExtendedData.resize(1);
    EXPECT_TRUE(EditTrackTitle(*ctx_, 2, "Third"));
    EXPECT_EQ(ctx_->album.trackTitles.size(), 3u);
    EXPECT_EQ(ctx_->album.trackExtendedData.size(), 3u);
}

TEST_F(AlbumEditorTest, EditCommandNeedsAnAudioDisc) {
    EXPECT_TRUE(CanEditCdInfo(*ctx_));
    ctx_->refreshing = true;
    EXPECT_FALSE(CanEditCdInfo(*ctx_));
    EXPECT_TRUE(prompter_.prompts.empty());
    ctx_->refreshing = false;
    ctx_->hasAudio = false;
    EXPECT_FALSE(CanEditCdInfo(*ctx_));
    EXPECT_EQ(LastPrompt(), "Not an Audio CD!");
    drive_->EjectDisc();
    grabber_.Drive().RefreshDisc();
    EXPECT_FALSE(CanEditCdInfo(*ctx_));
    EXPECT_EQ(LastPrompt(), "No Disc Found!");
}
