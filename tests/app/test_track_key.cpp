#include <gtest/gtest.h>

#include "app/TrackKey.h"

using namespace quarrow;

TEST(TrackKey, KeysAndSectorTimes) {
    // session, track, audio, minutes, seconds -> key; below 1000 a track cannot be ripped.
    const struct { int s, t; bool audio; int m, sec; int32_t key; } keys[] = {
        {0, 0, true, 0, 1, 1000}, {1, 4, false, 2, 3, 104}, {0, 7, true, 0, 0, 7}, {2, 99, true, 74, 59, 4499299}};
    for (const auto& k : keys) EXPECT_EQ(TrackKeyOf(k.s, k.t, k.audio, k.m, k.sec), k.key) << k.key;
    EXPECT_TRUE(IsAudioKey(4499299) && !IsAudioKey(999));
    EXPECT_EQ(KeySession(4499299) * 100 + KeyTrack(4499299), 299);
    const std::pair<int32_t, const char*> times[] = {{4576, "01:01.013"}, {74, "00:00.987"}, {150, "00:02.000"},
        {75 * 60 * 100 + 37, "100:00.493"}};
    for (const auto& [sectors, text] : times) EXPECT_EQ(FormatSectorTime(sectors), text);
}
