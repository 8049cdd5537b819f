// The album steps of a disc refresh (simulated drive, real local CDDB folder, loopback CDDB server:
// local first, remote, several matches, the catch-all, "Query FreeDB") and the CD info editor's rules:
// "Various Artists", the year range, trimming, Save, Submit and track-title editing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

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

// Records are written with designated initializers that name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace quarrow;
using test::CddbTestServer;
namespace fs = std::filesystem;

namespace {

class AlbumTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = CSettings::Initial(dir_.path());
        SimDisc disc;
        for (int32_t sectors : {16000, 22000, 18000, 9000}) disc.tracks.emplace_back().sectors = sectors;
        grabber_.Add(std::unique_ptr<SimulatedDrive>(drive_ = new SimulatedDrive(disc)));
        grabber_.SetCurrentDrive(1);
        ctx_ = std::make_unique<MainContext>(settings_, log_, grabber_, prompter_);
        Services(*ctx_).servers = {CFreeDBServer{"127.0.0.1", server_.Port(), 5000, 5}};
        grabber_.Drive().RefreshDisc();
        id_ = FormatDiscId(discId_ = ComputeDiscId(ReadToc(grabber_.Drive())));
        server_.SetHandler([this](const std::string& request) { return Answer(request); });
    }
    // The editor's starting point: a refresh without lookup, the record holding the defaults.
    void OpenDefaults() {
        settings_.FREEDB.LoadAlbumInfo = 0;
        RefreshDisc(*ctx_);
    }
    std::string Record(const std::string& artist, const std::string& title) const {
        return XmcdBody({.trackFrameOffsets = {150, 16150, 38150, 56150}, .discLength = 754, .submittingProgram = "x",
                         .submittingVersion = "x", .discId = discId_, .artist = artist, .albumTitle = title,
                         .trackTitles = {title + " one", title + " two", title + " three", title + " four"},
                         .trackExtendedData = {"", "", "", ""}});
    }
    // queryAnswer_ for queries; for reads readBody_, or else a record naming the category.
    std::string Answer(const std::string& request) {
        const size_t at = request.find("cmd=cddb+read+");
        if (at == std::string::npos) return CddbTestServer::HttpAnswer(queryAnswer_);
        const std::string category = request.substr(at + 14, request.find('+', at + 14) - at - 14);
        return CddbTestServer::HttpAnswer(readBody_.empty() ? CddbTestServer::ReadAnswerBody(Record(
                                                                  "Band " + category, "Album " + category)) : readBody_);
    }
    bool Logged(const std::string& text, int level = -1, bool whole = true) const {
        return test::Logged(log_, text, level, whole);
    }
    int Count(const std::string& message) const {
        return static_cast<int>(std::ranges::count(log_.Entries(), message, &LogEntry::message));
    }
    std::string LocalFile() const { return settings_.FREEDB.LocalCDDBDir + "/" + id_ + ".cddb"; }
    std::string Unknown(const char* what) const { return std::string("Unknown ") + what + " " + id_; }
    std::string LastPrompt() const { return prompter_.prompts.empty() ? "" : prompter_.prompts.back().text; }
    support::ScratchDir dir_;
    CSettings settings_;
    CEventLog log_;
    CdGrabber grabber_;
    SimulatedDrive* drive_ = nullptr;
    RecordingPrompter prompter_;
    std::unique_ptr<MainContext> ctx_;
    CddbTestServer server_;
    std::string queryAnswer_ = "500 Unknown command\r\n", readBody_, id_;
    uint32_t discId_ = 0;
};

}  // namespace

TEST_F(AlbumTest, LocalFileFirstAndNothingSaved) {
    fs::create_directories(settings_.FREEDB.LocalCDDBDir);
    const std::string text = std::string(kXmcdStatusLine) + Record("Local Band", "Local Album");
    support::WriteFile(LocalFile(), text);
    RefreshDisc(*ctx_);
    EXPECT_EQ(ctx_->album.artist + "|" + ctx_->albumSource + "|" + ctx_->rows.at(1).title, "Local Band|local|Local Album two");
    EXPECT_TRUE(ctx_->freeDbEnabled && support::ReadFile(LocalFile()) == text && !Logged("Local CDDB file saved."));
    EXPECT_EQ(std::pair(Count("Local CDDB loaded."), server_.Connections()), std::pair(1, 0));
}

TEST_F(AlbumTest, MissingLocalFileFallsBackToOneExactMatchAndSavesIt) {
    queryAnswer_ = "200 jazz " + id_ + " Some Band / Some Album\r\n";
    RefreshDisc(*ctx_);
    EXPECT_EQ(Count("Fail to load local CDDB, try remote FreeDB server."), 1);
    EXPECT_TRUE(Logged("Local CDDB directory " + settings_.FREEDB.LocalCDDBDir + " not found"));
    EXPECT_EQ(Count(id_ + ", Some Album  Some Band jazz") + Count("FreeDB information available."), 2);
    EXPECT_EQ(ctx_->album.artist + "|" + ctx_->albumSource + "|" + ctx_->rows.at(0).title, "Band jazz|remote|Album jazz one");
    EXPECT_TRUE(server_.Requests().size() == 2u && server_.Requests()[1].find("cmd=cddb+read+jazz+" + id_) != std::string::npos);
    // Saved as "%08x.cddb" in LocalCDDBDir, and it reads back the same.
    EXPECT_EQ(Count("Local CDDB file saved."), 1);
    CAlbumRecord back;
    EXPECT_TRUE(LoadLocalCddb(settings_.FREEDB.LocalCDDBDir, discId_, back, nullptr) && back == ctx_->album);
    // Without SaveAlbumInfo a remote-only lookup writes nothing.
    fs::remove(LocalFile());
    settings_.FREEDB.SaveAlbumInfo = 0, settings_.FREEDB.AlbumInfoSource = 1;
    RefreshDisc(*ctx_);
    EXPECT_TRUE(!fs::exists(LocalFile()) && server_.Requests().size() == 4u);
}

TEST_F(AlbumTest, SeveralMatchesAskAndAlwaysReadOne) {
    queryAnswer_ = "211 Found inexact matches, list follows (until terminating `.')\r\nrock " + id_ +
                   " First / One\r\nblues " + id_ + " Second / Two\r\nmisc " + id_ + " Third / Three\r\n.\r\n";
    settings_.FREEDB.AlbumInfoSource = 1;
    for (const auto& [pick, artist] : {std::pair<int, std::string>{2, "Band misc"}, {-1, "Band rock"}}) {
        prompter_.prompts.clear();
        prompter_.pickReplies = {pick};  // cancelling reads the first match all the same
        RefreshDisc(*ctx_);
        ASSERT_EQ(prompter_.prompts.size(), 2u);
        EXPECT_EQ(prompter_.prompts[0].text, "FreeDB Server Returned Multiple Results, Please Select the Correct One.");
        EXPECT_EQ(ctx_->album.artist, artist);
    }
    // Every match is logged, each time.
    EXPECT_EQ(std::pair(Count(id_ + ", Three  Third misc"), Count("FreeDB server returned multiple results.")), std::pair(2, 2));
}

TEST_F(AlbumTest, NoMatchEndsInTheCatchAllAndASecondRefreshWithoutLookup) {
    queryAnswer_ = "202 No match for disc ID " + id_ + ".\r\n";
    settings_.FREEDB.AlbumInfoSource = 1;
    ctx_->album.artist = "stale";
    RefreshDisc(*ctx_);
    EXPECT_EQ(Count("CCDDB::ParseQueryBody, CDDB server does not contain the specifed album with DISCID:" + id_ +
                    " in its database"), 1);
    EXPECT_EQ(std::pair(Count("Error on refresh disc info!"), Count("Refreshing CD...")), std::pair(1, 2));
    EXPECT_EQ(ctx_->album.artist + "|" + ctx_->albumSource, Unknown("Artist") + "|default");
    // followLoadAlbumInfo is set again by the second refresh.
    EXPECT_TRUE(!ctx_->freeDbEnabled && ctx_->followLoadAlbumInfo && !fs::exists(LocalFile()));
}

// Whatever a source gives, the names built from the record are never empty and never the titles of the disc before.
TEST_F(AlbumTest, EmptyOrMissingTextsFallBackToTheDiscsDefaults) {
    auto blankArtist = Record("Band", "Album"), blankTitle = blankArtist;
    blankArtist.replace(blankArtist.find("DTITLE=Band / Album"), 19, "DTITLE= / ");
    blankTitle.replace(blankTitle.find("TTITLE1=Album two"), 17, "TTITLE1=\t");
    const std::string unknown = Unknown("Artist") + "|" + Unknown("Album") + "|";
    // The local file (written when not empty), the server's read answer, what the record
    // then holds (artist|album|track 2|source) and the warning's reason.
    const struct { int source; std::string localFile, readBody, holds, why; } cases[] = {
        {2, std::string(kXmcdStatusLine) + blankArtist, "", unknown + "Album two|local", "has no artist"},
        {1, "", CddbTestServer::ReadAnswerBody(blankTitle), "Band|Album|Track02|remote", "has no title for track 2"},
        {1, "", "401 No such CD entry\r\n.\r\n", unknown + "Track02|default", "returned no album record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        log_.Clear();
        fs::remove_all(settings_.FREEDB.LocalCDDBDir);
        if (!c.localFile.empty()) fs::create_directories(settings_.FREEDB.LocalCDDBDir), support::WriteFile(LocalFile(), c.localFile);
        settings_.FREEDB.AlbumInfoSource = c.source, settings_.FREEDB.SaveAlbumInfo = 0;
        queryAnswer_ = "200 rock " + id_ + " X / Y\r\n", readBody_ = c.readBody;
        ctx_->album.artist = "stale", ctx_->album.trackTitles = {"x", "y", "z"};
        RefreshDisc(*ctx_);
        const CAlbumRecord& a = ctx_->album;
        EXPECT_EQ(a.artist + "|" + a.albumTitle + "|" + a.trackTitles.at(1) + "|" + ctx_->albumSource, c.holds);
        EXPECT_TRUE(Logged(c.why, 1, false));
    }
}

TEST_F(AlbumTest, ACancelledLookupEndsAtOnceWithTheDefaults) {
    settings_.FREEDB.AlbumInfoSource = 1;
    server_.SetSilent(true);  // each wait would last the server's 5 s time-out
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        CancelAlbumLookup(*ctx_);
    });
    RefreshDisc(*ctx_);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(ctx_->album.artist == Unknown("Artist") && Count("Error on refresh disc info!") == 1);
}

TEST_F(AlbumTest, QueryFreeDbCommandLooksUpEvenWhenInsertionLookupIsOff) {
    // Without lookup the refresh gives the defaults, touching neither files nor network.
    settings_.FREEDB.LoadAlbumInfo = 0;
    queryAnswer_ = "200 folk " + id_ + " X / Y\r\n";
    RefreshDisc(*ctx_);
    ASSERT_FALSE(ctx_->freeDbEnabled);
    EXPECT_EQ(ctx_->album.trackTitles.at(3) + " " + ctx_->albumSource, "Track04 default");
    EXPECT_TRUE(server_.Connections() == 0 && !fs::exists(settings_.FREEDB.LocalCDDBDir));
    EXPECT_FALSE(QueryFreeDBChecked(*ctx_));
    bool stopped = false;
    Services(*ctx_).stopPlayback = [&] { stopped = true; };
    EXPECT_TRUE(QueryFreeDBCommand(*ctx_) && stopped && QueryFreeDBChecked(*ctx_));
    EXPECT_EQ(std::tuple(Count("FreeDB enabled."), ctx_->rows.at(0).title, server_.Requests().size()),
              std::tuple(1, std::string("Album folk one"), 2ul));
    // With lookup already on the command does nothing; the next plain refresh follows the setting.
    EXPECT_FALSE(QueryFreeDBCommand(*ctx_));
    EXPECT_EQ(Count("FreeDB enabled."), 1);
    RefreshDisc(*ctx_);
    EXPECT_TRUE(!ctx_->freeDbEnabled && server_.Requests().size() == 2u);
}

TEST_F(AlbumTest, EditorUpdateTakesFieldsTrimsAndChecksTheYear) {
    OpenDefaults();
    ctx_->album.year = 0;
    CAlbumEditor editor(*ctx_);
    ASSERT_EQ(editor.year, 0);
    editor.album = "New Album  \t", editor.artist = "New Artist   ", editor.genre = "Genre  ", editor.email = "me@x.org";
    EXPECT_FALSE(editor.UpdateRecord());
    EXPECT_EQ(LastPrompt(), "Please enter an integer between 1 and 2100.");
    // Refused, the other fields are taken; only artist and album are trimmed.
    EXPECT_TRUE(ctx_->album.year == 0 && settings_.FREEDB.Email == "me@x.org");
    EXPECT_NE(ctx_->rows.at(1).titleTooltip.find("\nAlbum:    New Album\r\nArtist:     New Artist\r\nGenre:    Genre  \r\n"), std::string::npos);
    for (int32_t year : {2101, 0, 1, 2100}) {
        editor.year = year;
        const bool good = year >= 1 && year <= 2100;
        EXPECT_TRUE(editor.UpdateRecord() == good && ctx_->album.year == (good ? year : 0)) << year;
        if (good) ctx_->album.year = 0;
    }
    EXPECT_EQ(prompter_.prompts.size(), 3u);
    // Checking "Various Artists" overrides the typed artist, and a new editor shows the box checked.
    editor.SetVariousArtists(true);
    EXPECT_TRUE(editor.UpdateRecord() && ctx_->album.artist == "Various Artists" && CAlbumEditor(*ctx_).variousArtists);
}

TEST_F(AlbumTest, EditorSaveWritesTheDiscsLocalFile) {
    OpenDefaults();
    ASSERT_TRUE(EditTrackTitle(*ctx_, 2, "Third / Song"));
    CAlbumEditor editor(*ctx_);
    EXPECT_TRUE(editor.Save() && prompter_.prompts.size() == 1u);
    EXPECT_EQ(LastPrompt() + "|" + log_.Entries().back().message, "Local CDDB File Saved.|Local CDDB file saved.");
    EXPECT_NE(support::ReadFile(LocalFile()).find("\r\nTTITLE2=Third / Song\r\n"), std::string::npos);
    // A year out of range is not taken, and the other fields are saved all the same.
    const int32_t year = ctx_->album.year;
    editor.year = 2101, editor.genre = "Later Genre";
    EXPECT_TRUE(editor.Save() && ctx_->album.year == year && support::ReadFile(LocalFile()).find("Later Genre") != std::string::npos);
    // A folder that cannot be made: the failure is shown and logged, nothing claims success.
    support::WriteFile(dir_.file("blocker"), "");
    settings_.FREEDB.LocalCDDBDir = dir_.file("blocker/sub");
    EXPECT_FALSE(editor.Save());
    EXPECT_TRUE(prompter_.prompts.back().icon == MessageIcon::Error && log_.Entries().back().level == 1);
}

TEST_F(AlbumTest, EditorSubmitNeedsACategoryAndPostsTheRecord) {
    OpenDefaults();
    server_.SetBody("200 Submission OK.\r\n");
    CAlbumEditor editor(*ctx_);
    editor.submitPort = server_.Port(), editor.year = 2000;
    EXPECT_FALSE(editor.Submit());
    EXPECT_TRUE(LastPrompt() == "Please Select a Category!" && server_.Connections() == 0) << LastPrompt();
    editor.category = CategoryIndex("soundtrack"), editor.email = "fan@example.org";
    ASSERT_TRUE(editor.Submit());
    EXPECT_TRUE(LastPrompt() == "Successfully Submitted!" && Logged("CDDB info successfully submitted.", 0));
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    // The headers carry the editor's fields; the body is the record's xmcd text as it stands.
    EXPECT_NE(requests[0].find("\r\nCategory: soundtrack\r\nDiscid: " + id_ + "\r\nUser-Email: fan@example.org\r\n"
                               "Submit-Mode: submit\r\nX-Cddbd-Note: Fail to submit CDDB info to 127.0.0.1\r\n"),
              std::string::npos);
    EXPECT_TRUE(requests[0].ends_with(XmcdBody(ctx_->album)));
    // A refusal throws out of Submit, after the client's box.
    server_.SetBody("501 Invalid header.\r\n");
    EXPECT_THROW(editor.Submit(), CCDDBException);
    EXPECT_NE(LastPrompt().find("Fail to Submit CDDB Info!"), std::string::npos);
}

TEST_F(AlbumTest, EditorTrackTitleEditing) {
    OpenDefaults();
    EXPECT_FALSE(EditTrackTitle(*ctx_, -1, "x") || EditTrackTitle(*ctx_, 4, "x"));
    EXPECT_TRUE(LastPrompt() == "Please Select a Track First!" && prompter_.prompts.size() == 2u);
    const auto before = ctx_->album;
    EXPECT_FALSE(EditTrackTitle(*ctx_, 1, "") || ctx_->album != before);  // cancelled
    // Lookup off: title changes, the information text is left alone.
    ctx_->rows[0].titleTooltip = "old";
    EXPECT_TRUE(EditTrackTitle(*ctx_, 0, "Opening"));
    EXPECT_EQ(ctx_->rows[0].title + ctx_->album.trackTitles[0] + ctx_->rows[0].titleTooltip, "OpeningOpeningold");
    ctx_->freeDbEnabled = true;
    EXPECT_TRUE(EditTrackTitle(*ctx_, 3, "Closing") && ctx_->album.trackTitles[3] == "Closing");
    EXPECT_EQ(ctx_->rows[3].titleTooltip, AlbumInfoText(ctx_->album, "Closing"));
    // A record with fewer titles than rows grows both lists, so it still reads back.
    ctx_->album.trackTitles.resize(1), ctx_->album.trackExtendedData.resize(1);
    EXPECT_TRUE(EditTrackTitle(*ctx_, 2, "Third"));
    EXPECT_EQ(std::pair(ctx_->album.trackTitles.size(), ctx_->album.trackExtendedData.size()), std::pair(3ul, 3ul));
}

TEST_F(AlbumTest, EditorEditCommandNeedsAnAudioDisc) {
    OpenDefaults();
    EXPECT_TRUE(CanEditCdInfo(*ctx_));
    ctx_->refreshing = true;
    EXPECT_TRUE(!CanEditCdInfo(*ctx_) && prompter_.prompts.empty());
    ctx_->refreshing = false, ctx_->hasAudio = false;
    EXPECT_FALSE(CanEditCdInfo(*ctx_) || LastPrompt() != "Not an Audio CD!") << LastPrompt();
    drive_->EjectDisc();
    grabber_.Drive().RefreshDisc();
    EXPECT_FALSE(CanEditCdInfo(*ctx_) || LastPrompt() != "No Disc Found!") << LastPrompt();
}
