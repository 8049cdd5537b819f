// The track list's rules: which rows can be checked, the check commands, the current-track
// helpers, Get ISRC's state, the double-click action and the Status column.
#include <gtest/gtest.h>

#include <functional>

#include "albuminfo/TrackList.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "support/TestFiles.h"

using namespace quarrow;

namespace {

// Four rows: audio, data, audio, audio; after the refresh the audio ones are checked.
class TrackListTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = CSettings::Initial(dir_.path());
        settings_.FREEDB.LoadAlbumInfo = 0;
        SimDisc disc;
        const int audio = kTrackAudio, mode1 = 1;
        for (int type : {audio, mode1, audio, audio}) disc.tracks.push_back({0, type, 1500, "", {}});
        auto drive = std::make_unique<SimulatedDrive>(disc);
        drive_ = drive.get();
        grabber_.Add(std::move(drive));
        grabber_.SetCurrentDrive(1);
        RefreshDisc(ctx_);
        ASSERT_EQ(ctx_.rows.size(), 4u);
    }
    std::string Checks() const {
        std::string s;
        for (const TrackRow& r : ctx_.rows) s += r.checked ? '1' : '0';
        return s;
    }
    void SetChecks(const std::string& s) {
        for (std::size_t i = 0; i < s.size(); ++i) ctx_.rows[i].checked = s[i] == '1';
    }
    std::string LastLog() const {
        const LogEntry e = log_.Entries().back();
        return e.message + "/" + std::to_string(e.level);
    }
    // The prompts so far as "text/icon", emptied.
    std::vector<std::string> TakePrompts() {
        std::vector<std::string> out;
        for (const auto& p : prompter_.prompts) out.push_back(p.text + "/" + std::to_string(static_cast<int>(p.icon)));
        prompter_.prompts.clear();
        return out;
    }

    support::ScratchDir dir_;
    CSettings settings_;
    CEventLog log_;
    CdGrabber grabber_;
    SimulatedDrive* drive_ = nullptr;
    RecordingPrompter prompter_;
    MainContext ctx_{settings_, log_, grabber_, prompter_};
};

}  // namespace

TEST_F(TrackListTest, OnlyAudioRowsCanBeChecked) {
    EXPECT_EQ(Checks(), "1011");
    struct Case { const char* name; std::string before; std::function<void(MainContext&)> command; std::string after; bool warned; };
    const std::vector<Case> cases = {
        {"click checks a data row", "1011", [](MainContext& c) { SetRowChecked(c, 1, true); }, "1011", true},
        {"click unchecks", "1011", [](MainContext& c) { SetRowChecked(c, 0, false); }, "0011", false},
        {"check selected data row", "0000", [](MainContext& c) { CheckSelected(c, 1); }, "0000", false},
        {"check selected", "0000", [](MainContext& c) { CheckSelected(c, 2); }, "0010", false},
        {"uncheck selected", "1011", [](MainContext& c) { UncheckSelected(c, 3); }, "1010", false},
        {"check all", "0000", CheckAll, "1011", false},
        {"reverse", "1001", ReverseCheck, "0010", false},
        {"reverse unchecks a data row", "1100", ReverseCheck, "0011", false},
    };
    const std::vector<std::string> warning = {"Warning: Only Audio Track can be Checked!/2"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t logged = log_.Entries().size();
        SetChecks(c.before);
        c.command(ctx_);
        EXPECT_EQ(Checks(), c.after);
        EXPECT_EQ(TakePrompts(), c.warned ? warning : std::vector<std::string>{});
        ASSERT_EQ(log_.Entries().size(), logged + (c.warned ? 1 : 0));
        if (c.warned) {
            EXPECT_EQ(LastLog(), "Warning: only audio track can be checked!/1");
        }
    }
    // Without a disc the whole-list commands leave the rows alone.
    drive_->EjectDisc();
    drive_->RefreshDisc();
    SetChecks("0110");
    for (auto command : {CheckAll, UncheckAll, ReverseCheck}) command(ctx_);
    EXPECT_EQ(Checks(), "0110");
    EXPECT_FALSE(GetIsrcEnabled(ctx_));
}

TEST_F(TrackListTest, CurrentTrackHelpers) {
    SetChecks("0101");
    // SelectNextChecked: start, test only -> found, current item afterwards.
    const struct { int start; bool testOnly; bool found; int current; } next[] = {
        {-1, false, true, 1}, {1, true, true, 1}, {1, false, true, 3}, {3, false, false, 3}};
    ctx_.currentItem = 0;
    for (const auto& n : next) {
        EXPECT_EQ(SelectNextChecked(ctx_, n.start, n.testOnly), n.found) << n.start;
        EXPECT_EQ(ctx_.currentItem, n.current) << n.start;
    }
    EXPECT_EQ(drive_->TrackNumber(), 3);

    // SelectSelectedItem: none, a data row, an audio row.
    EXPECT_FALSE(SelectSelectedItem(ctx_, -1));
    EXPECT_FALSE(SelectSelectedItem(ctx_, 1));
    EXPECT_TRUE(SelectSelectedItem(ctx_, 2));
    EXPECT_EQ(ctx_.currentItem, 2);
    EXPECT_EQ(drive_->TrackNumber(), 2);
    EXPECT_FALSE(BeginEditTitle(ctx_, 7));
    EXPECT_TRUE(BeginEditTitle(ctx_, 0));
    EXPECT_EQ(TakePrompts(), (std::vector<std::string>{"No Audio Track Selected!/0", "Not an Audio Track!/3",
                                                       "Please Select a Track First!/2"}));

    // Get ISRC: only for an audio current track while no ISRC has been read.
    ctx_.currentItem = 1;
    EXPECT_FALSE(GetIsrc(ctx_));
    EXPECT_FALSE(ctx_.isrcWanted);
    ctx_.currentItem = 0;
    EXPECT_TRUE(GetIsrc(ctx_));
    EXPECT_TRUE(ctx_.isrcWanted);
    RefreshDisc(ctx_);
    EXPECT_EQ(ctx_.rows[0].isrc, "N/A");
    EXPECT_FALSE(GetIsrcEnabled(ctx_));

    // The Status column: kind 3 the current row, kind 4 every row, 0-2 the log.
    ctx_.currentItem = 2;
    OnStatusMessage(ctx_, "Playing", 3);
    OnStatusMessage(ctx_, "Error", 1);
    EXPECT_EQ(ctx_.rows[2].status + "|" + ctx_.rows[1].status, "Playing|");
    EXPECT_EQ(LastLog(), "Error/1");
    OnStatusMessage(ctx_, "", 4);
    EXPECT_EQ(ctx_.rows[2].status, "");
}

TEST_F(TrackListTest, DoubleClickFollowsTheSetting) {
    struct Case { int dbClk; DoubleClickAsk ask; DoubleClickAction action; int dbClkAfter; };
    auto answer = [](int action, bool remember) { return [=] { return DoubleClickChoice{action, remember}; }; };
    const std::vector<Case> cases = {
        {0, {}, DoubleClickAction::Play, 0},           {1, {}, DoubleClickAction::Rip, 1},
        {5, {}, DoubleClickAction::None, 5},           {-1, answer(1, true), DoubleClickAction::Rip, 1},
        {-1, answer(0, false), DoubleClickAction::Play, -1}, {-1, answer(-1, true), DoubleClickAction::None, -1},
    };
    for (const Case& c : cases) {
        settings_.MISC.DbClk = static_cast<int16_t>(c.dbClk);
        EXPECT_EQ(OnDoubleClick(ctx_, c.ask), c.action) << c.dbClk;
        EXPECT_EQ(settings_.MISC.DbClk, c.dbClkAfter) << c.dbClk;
    }
    // Without a dialog the question is a choice between the two actions.
    settings_.MISC.DbClk = -1;
    prompter_.pickReplies = {1};
    EXPECT_EQ(OnDoubleClick(ctx_), DoubleClickAction::Rip);
    EXPECT_EQ(prompter_.prompts.at(0).choices, (std::vector<std::string>{"Play the Track", "Rip the Track"}));
    EXPECT_EQ(TakePrompts(), std::vector<std::string>{"Which Action Do You Wish to Perform?/0"});
}
