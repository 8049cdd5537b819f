// The "Driver" page: proposals per read mode, the range check of Apply, and Reset.
#include <gtest/gtest.h>

#include "app/Prompter.h"
#include "app/Settings.h"
#include "rip/ReadingOptions.h"

using namespace quarrow;

TEST(ReadingOptions, ModesProposeRereadsApplyChecksTheRangeAndResetRestores) {
    CSettings s;
    RecordingPrompter prompter;
    CDiscReadingOptions page;
    page.Open(s);
    EXPECT_FALSE(page.modified);
    std::string proposals;
    for (int mode = 0; mode < 5; ++mode) {
        page.ChooseReadMode(mode);
        proposals += page.rereadText + "/" + std::to_string(ReadBlockSectors(mode)) + " ";
    }
    EXPECT_EQ(proposals, "0/64 5/48 10/16 25/4 50/1 ");   // rereads / sectors per read
    page.ChooseReadMode(3), page.ChooseErrorAction(1);
    for (const auto& [text, busy, stored] : std::vector<std::tuple<const char*, bool, int>>{
             {"30", true, 5}, {"30", false, 30}, {"1000", false, 1000}, {" 0 ", false, 0}}) {
        page.SetRereadText(text);
        EXPECT_EQ(page.Apply(s, busy, prompter, 5), !busy) << text;
        EXPECT_EQ(s.DISC.GrabOnErrorRetries, stored) << text;
    }
    EXPECT_EQ(std::make_tuple(s.DISC.RipModePreset, s.DISC.RipOnErrorAction), std::make_tuple(int16_t{3}, int16_t{1}));
    EXPECT_TRUE(prompter.prompts.empty());

    for (const char* bad : {"1001", "-1", "abc", "", "12x", "99999999999999999999"}) {
        prompter.prompts.clear(), page.ChooseReadMode(4), page.SetRereadText(bad);
        EXPECT_FALSE(page.Apply(s, false, prompter, 17)) << bad;
        ASSERT_EQ(prompter.prompts.size(), 1u);
        EXPECT_EQ(prompter.prompts[0].text, "Number of Retries must be an Integer between 0 and 1000!");
        EXPECT_TRUE(page.rereadText == "17" && s.DISC.RipModePreset == 3);   // the drive's current count
    }

    s.DISC.GrabOnErrorRetries = 77, page.Open(s);
    EXPECT_EQ(std::make_tuple(page.readMode, page.rereadText), std::make_tuple(3, std::string("77")));
    page.Reset(s);
    EXPECT_EQ(std::make_tuple(s.DISC.RipModePreset, s.DISC.RipOnErrorAction, s.DISC.GrabOnErrorRetries),
              std::make_tuple(int16_t{1}, int16_t{0}, int16_t{5}));
    EXPECT_EQ(std::make_tuple(page.readMode, page.errorAction, page.rereadText, page.modified),
              std::make_tuple(1, 0, std::string("5"), true));
}
