// The sector range dialog's model: the range of the first run of audio tracks, the
// track of a position, clamping of both sides, and every label text.
#include <gtest/gtest.h>

#include "app/SectorRange.h"

using namespace quarrow;

namespace {
// Three audio tracks of 5000, 3000 and 2000 sectors starting at 00:02:00.
const std::vector<int32_t> kStarts = {150, 5150, 8150, 10150};
const std::vector<int32_t> kAudioKeys = {1066, 1041, 1027};

// Every label and position of the dialog in one line, so a row states them all.
std::string Labels(const CSectorRange& r) {
    return r.startTrackText + " " + r.startOffsetText + " " + r.endTrackText + " " + r.endOffsetText + " " +
           r.totalSectorsText + " " + r.totalLengthText + " " + std::to_string(r.startPosition) + ".." +
           std::to_string(r.endPosition) + " sectors " + std::to_string(r.startSector) + ".." +
           std::to_string(r.endSector) + " tracks " + std::to_string(r.startTrack) + ".." + std::to_string(r.endTrack);
}
}  // namespace

TEST(SectorRange, OpensOnTheFirstRunOfAudioTracks) {
    CSectorRange r;
    ASSERT_TRUE(r.Open(kStarts, kAudioKeys));
    EXPECT_EQ(r.base * 100000 + r.rangeMin, 15000001);
    EXPECT_EQ(Labels(r), "Track:01 Track Offset::00.000 Track:03 Track Offset::26.667 Total Sectors:10000 "
                         "Total Time Length:02:13.333 1..10000 sectors 1..10000 tracks 0..2");
    // keys -> range: a data track ends the run or is skipped before it; only the first run counts.
    const std::vector<int32_t> starts = {150, 5150, 8150, 10150, 20000};
    const struct { std::vector<int32_t> keys; const char* range; } runs[] = {
        {{1066, 1041, 1027, 3}, "Track:01 1..10000"}, {{0, 1041, 1027, 1130}, "Track:02 5001..19850"},
        {{1066, 1, 1027, 1130}, "Track:01 1..5000"}};
    for (const auto& run : runs) {
        ASSERT_TRUE(r.Open(starts, run.keys));
        EXPECT_EQ(r.startTrackText + " " + std::to_string(r.rangeMin) + ".." + std::to_string(r.rangeMax), run.range);
    }
    EXPECT_FALSE(r.Open(kStarts, {1, 2, 3}) || r.Open({150}, {1066}) || r.Open(kStarts, {}));
}

TEST(SectorRange, MovesAreClampedNeverCrossAndRelabel) {
    CSectorRange r;
    ASSERT_TRUE(r.Open(kStarts, kAudioKeys));
    for (const auto& [position, track] : std::vector<std::pair<int, int>>{{1, 1}, {5000, 1}, {5001, 2}, {10000, 3}})
        EXPECT_EQ(r.TrackOfPosition(position), track) << position;
    // Each step moves one side (Move: a slider drag, Update: an edit) and gives labels after it.
    const struct { char side; bool move; int32_t to; const char* labels; } steps[] = {
        {'s', true, 5076, "Track:02 Track Offset::01.000 Track:03 Track Offset::26.667 Total Sectors:4925 "
                          "Total Time Length:01:05.667 5076..10000 sectors 5076..10000 tracks 1..2"},
        {'e', true, 5150, "Track:02 Track Offset::01.000 Track:02 Track Offset::02.000 Total Sectors:75 "
                          "Total Time Length:00:01.000 5076..5150 sectors 5076..5150 tracks 1..1"},
        {'e', false, 6000, "5076..6000"}, {'s', false, 7000, "Total Sectors:1 Total Time Length:00:00.013 6000..6000"},
        {'e', false, 10, "6000..6000"}, {'e', false, 99999, "6000..10000"}, {'s', false, -5, "1..10000"},
        {'e', true, 3000, "1..3000"}, {'s', true, 4000, "3000..3000"},
        {'e', true, 100, "3000..3000 sectors 3000..3000 tracks 0..0"},
    };
    for (const auto& s : steps) {
        if (s.side == 's') s.move ? r.MoveStart(s.to) : r.UpdateStart(s.to);
        else s.move ? r.MoveEnd(s.to) : r.UpdateEnd(s.to);
        EXPECT_NE(Labels(r).find(s.labels), std::string::npos) << s.to << ": " << Labels(r);
    }
}
