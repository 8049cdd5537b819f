// The "Driver" page: proposals per read mode, the range check of Apply, and Reset.
#include <gtest/gtest.h>

#include "app/Prompter.h"
#include "app/Settings.h"
#include "rip/ReadingOptions.h"

using namespace quarrow;

TEST(ReadingOptions, ModesProposeRereadsAndBlockSizes) {
    const int proposals[] = {0, 5, 10, 25, 50};
    const int blocks[] = {64, 48, 16, 4, 1};
    CDiscReadingOptions page;
    for (int mode = 0; mode < 5; ++mode) {
        page.ChooseReadMode(mode);
        EXPECT_EQ(page.rereadText, std::to_string(proposals[mode]));
        EXPECT_EQ(ReadBlockSectors(mode), blocks[mode]);
    }
    EXPECT_TRUE(page.modified);
    EXPECT_EQ(ReadModeCaptions().size(), 5u);
    EXPECT_EQ(ReadModeCaptions()[3], "Secure Mode    (Precision Rip of Old and Very Used CD)");
    EXPECT_EQ(ErrorActionCaptions()[2], "Cut");
}

TEST(ReadingOptions, ApplyChecksTheRange) {
    CSettings s;
    RecordingPrompter prompter;
    CDiscReadingOptions page;
    page.Open(s);
    EXPECT_EQ(page.readMode, 1);
    EXPECT_FALSE(page.modified);

    page.ChooseReadMode(3);
    page.SetRereadText("30");
    page.ChooseErrorAction(1);
    EXPECT_FALSE(page.Apply(s, true, prompter, 5));   // busy: nothing changes
    EXPECT_EQ(s.DISC.RipModePreset, 1);
    EXPECT_TRUE(page.Apply(s, false, prompter, 5));
    EXPECT_EQ(s.DISC.RipModePreset, 3);
    EXPECT_EQ(s.DISC.GrabOnErrorRetries, 30);
    EXPECT_EQ(s.DISC.RipOnErrorAction, 1);
    EXPECT_TRUE(prompter.prompts.empty());

    page.SetRereadText("1000");
    EXPECT_TRUE(page.Apply(s, false, prompter, 5));
    EXPECT_EQ(s.DISC.GrabOnErrorRetries, 1000);

    for (const char* bad : {"1001", "-1", "abc", "", "12x", "99999999999999999999"}) {
        SCOPED_TRACE(bad);
        prompter.prompts.clear();
        page.ChooseReadMode(4);
        page.SetRereadText(bad);
        EXPECT_FALSE(page.Apply(s, false, prompter, 17));
        ASSERT_EQ(prompter.prompts.size(), 1u);
        EXPECT_EQ(prompter.prompts[0].text, "Number of Retries must be an Integer between 0 and 1000!");
        EXPECT_EQ(page.rereadText, "17");   // the drive's current count
        EXPECT_EQ(s.DISC.RipModePreset, 3);
        EXPECT_EQ(s.DISC.GrabOnErrorRetries, 1000);
    }
    page.SetRereadText(" 0 ");
    EXPECT_TRUE(page.Apply(s, false, prompter, 17));
    EXPECT_EQ(s.DISC.GrabOnErrorRetries, 0);
}

TEST(ReadingOptions, ResetStoresBurstStopAndFive) {
    CSettings s;
    s.DISC.RipModePreset = 4;
    s.DISC.RipOnErrorAction = 2;
    s.DISC.GrabOnErrorRetries = 77;
    CDiscReadingOptions page;
    page.Open(s);
    EXPECT_EQ(page.rereadText, "77");
    page.Reset(s);
    EXPECT_EQ(std::make_tuple(s.DISC.RipModePreset, s.DISC.RipOnErrorAction, s.DISC.GrabOnErrorRetries),
              std::make_tuple(int16_t{1}, int16_t{0}, int16_t{5}));
    EXPECT_EQ(std::make_tuple(page.readMode, page.errorAction, page.rereadText, page.modified),
              std::make_tuple(1, 0, std::string("5"), true));
}
