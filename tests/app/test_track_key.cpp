#include <gtest/gtest.h>

#include "app/TrackKey.h"

using namespace quarrow;

TEST(TrackKey, KeysCarrySessionTrackAndSeconds) {
    EXPECT_EQ(TrackKeyOf(0, 0, true, 0, 1), 1000);
    EXPECT_EQ(TrackKeyOf(1, 4, true, 2, 3), 123104);
    EXPECT_EQ(TrackKeyOf(1, 4, false, 2, 3), 104);
    // A track shorter than one second still gets a key below 1000: it cannot be ripped.
    EXPECT_EQ(TrackKeyOf(0, 7, true, 0, 0), 7);
    const int32_t key = TrackKeyOf(2, 99, true, 74, 59);
    EXPECT_TRUE(IsAudioKey(key));
    EXPECT_EQ(KeySession(key), 2);
    EXPECT_EQ(KeyTrack(key), 99);
    EXPECT_FALSE(IsAudioKey(999));
}

TEST(TrackKey, TypeTexts) {
    EXPECT_EQ(TrackTypeText(0), "Audio Track");
    EXPECT_EQ(TrackTypeText(1), "Data Track (Mode 1)");
    EXPECT_EQ(TrackTypeText(2), "Data Track (Mode 2)");
    EXPECT_EQ(TrackTypeText(21), "Data Track (Mode 2, Form 1)");
    EXPECT_EQ(TrackTypeText(22), "Data Track (Mode 2, Form 2)");
    EXPECT_EQ(TrackTypeText(3), "Unrecognized");
    EXPECT_EQ(TrackTypeText(-1), "Unrecognized");
}

TEST(TrackKey, SectorTimeFormat) {
    EXPECT_EQ(FormatSectorTime(4575), "01:01.000");
    EXPECT_EQ(FormatSectorTime(4576), "01:01.013");
    EXPECT_EQ(FormatSectorTime(0), "00:00.000");
    EXPECT_EQ(FormatSectorTime(74), "00:00.987");
    EXPECT_EQ(FormatSectorTime(150), "00:02.000");
    EXPECT_EQ(FormatSectorTime(75 * 60 * 100 + 37), "100:00.493");
}
