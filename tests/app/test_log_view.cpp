#include <gtest/gtest.h>

#include "app/LogView.h"

using namespace quarrow;

TEST(LogView, RowsCarryNumberTimeMessageAndTheLevelsColours) {
    struct Case {
        LogEntry entry;
        const char* number;
        LogColour text, background;
    };
    const Case cases[] = {
        {{"Lauching Quarrow...", 0, 0, "14:03:59"}, "#000", {0, 130, 33}, {89, 255, 172}},
        {{"Warning: only audio track can be checked!", 1, 7, "14:04:00"}, "#007", {128, 128, 0}, {255, 255, 134}},
        {{"Fail to initialize!!", 2, 1234, "23:59:59"}, "#1234", {255, 0, 0}, {255, 175, 150}},
        {{"odd level", 9, 12, "00:00:00"}, "#012", {0, 130, 33}, {89, 255, 172}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.message);
        LogViewRow row = CLogView::Row(c.entry);
        EXPECT_EQ(row.number, c.number);
        EXPECT_EQ(row.text, c.text);
        EXPECT_EQ(row.background, c.background);
    }
}

TEST(LogView, TheNineteenthEntryNarrowsTheDescriptionColumn) {
    EXPECT_EQ(CLogView::DescriptionWidth(0), 478);
    EXPECT_EQ(CLogView::DescriptionWidth(18), 478);
    EXPECT_EQ(CLogView::DescriptionWidth(19), 461);
}
