// The sector range dialog's model: the range of the first run of audio tracks, the
// track of a position, clamping of both sides, and every label text.
#include <gtest/gtest.h>

#include "app/SectorRange.h"

using namespace quarrow;

namespace {
// Three audio tracks of 5000, 3000 and 2000 sectors starting at 00:02:00.
const std::vector<int32_t> kStarts = {150, 5150, 8150, 10150};
const std::vector<int32_t> kAudioKeys = {1066, 1041, 1027};
}  // namespace

TEST(SectorRange, OpensOnTheFirstRunOfAudioTracks) {
    CSectorRange r;
    ASSERT_TRUE(r.Open(kStarts, kAudioKeys));
    EXPECT_EQ(r.base, 150);
    EXPECT_EQ(r.rangeMin, 1);
    EXPECT_EQ(r.rangeMax, 10000);
    EXPECT_EQ(r.startPosition, 1);
    EXPECT_EQ(r.endPosition, 10000);
    EXPECT_EQ(r.startTrackText, "Track:01");
    EXPECT_EQ(r.startOffsetText, "Track Offset::00.000");
    EXPECT_EQ(r.endTrackText, "Track:03");
    EXPECT_EQ(r.endOffsetText, "Track Offset::26.667");   // 2000 sectors
    EXPECT_EQ(r.totalSectorsText, "Total Sectors:10000");
    EXPECT_EQ(r.totalLengthText, "Total Time Length:02:13.333");
    EXPECT_EQ(r.startTrack, 0);
    EXPECT_EQ(r.endTrack, 2);
    EXPECT_EQ(r.hint,
              "Hint:  1 Second = 75 Sectors.\r\nDrag the Slider Pointer Roughly to Your Desired Position, "
              "then Use the Arrow Keys to Slightly Adjust the Position.");

    // A data track after the audio run ends the range at the last audio track.
    const std::vector<int32_t> starts = {150, 5150, 8150, 10150, 20000};
    ASSERT_TRUE(r.Open(starts, {1066, 1041, 1027, 3}));
    EXPECT_EQ(r.rangeMax, 10000);
    // A data track first: the range begins at the first audio track.
    ASSERT_TRUE(r.Open(starts, {0, 1041, 1027, 1130}));
    EXPECT_EQ(r.rangeMin, 5001);
    EXPECT_EQ(r.rangeMax, 19850);
    EXPECT_EQ(r.startTrackText, "Track:02");
    // Audio, data, audio: only the first run.
    ASSERT_TRUE(r.Open(starts, {1066, 1, 1027, 1130}));
    EXPECT_EQ(r.rangeMax, 5000);

    EXPECT_FALSE(r.Open(kStarts, {1, 2, 3}));
    EXPECT_FALSE(r.Open({150}, {1066}));
    EXPECT_FALSE(r.Open(kStarts, {}));
}

TEST(SectorRange, TrackOfAPosition) {
    CSectorRange r;
    ASSERT_TRUE(r.Open(kStarts, kAudioKeys));
    EXPECT_EQ(r.TrackOfPosition(1), 1);
    EXPECT_EQ(r.TrackOfPosition(5000), 1);    // on the next track's start address
    EXPECT_EQ(r.TrackOfPosition(5001), 2);
    EXPECT_EQ(r.TrackOfPosition(8000), 2);
    EXPECT_EQ(r.TrackOfPosition(8001), 3);
    EXPECT_EQ(r.TrackOfPosition(10000), 3);

    r.MoveStart(5001);
    EXPECT_EQ(r.startTrackText, "Track:02");
    EXPECT_EQ(r.startTrack, 1);
    EXPECT_EQ(r.startOffsetText, "Track Offset::00.000");
    r.MoveStart(5076);
    EXPECT_EQ(r.startOffsetText, "Track Offset::01.000");
    r.MoveEnd(5150);
    EXPECT_EQ(r.endTrackText, "Track:02");
    EXPECT_EQ(r.endOffsetText, "Track Offset::02.000");   // sectors 1..150 of track 2
    EXPECT_EQ(r.totalSectorsText, "Total Sectors:75");
    EXPECT_EQ(r.totalLengthText, "Total Time Length:00:01.000");
    EXPECT_EQ(r.startSector, 5076);
    EXPECT_EQ(r.endSector, 5150);
}

TEST(SectorRange, SidesAreClampedAndNeverCross) {
    CSectorRange r;
    ASSERT_TRUE(r.Open(kStarts, kAudioKeys));
    r.UpdateEnd(6000);
    r.UpdateStart(7000);   // beyond the end: onto the end position
    EXPECT_EQ(r.startPosition, 6000);
    EXPECT_EQ(r.startSector, 6000);
    EXPECT_EQ(r.totalSectorsText, "Total Sectors:1");
    EXPECT_EQ(r.totalLengthText, "Total Time Length:00:00.013");

    r.UpdateEnd(10);       // below the start: onto the start position
    EXPECT_EQ(r.endPosition, 6000);
    r.UpdateEnd(99999);    // above the range
    EXPECT_EQ(r.endPosition, 10000);
    r.UpdateStart(-5);     // below the range
    EXPECT_EQ(r.startPosition, 1);
    EXPECT_EQ(r.totalSectorsText, "Total Sectors:10000");

    // A slider dragged past the other side pulls its own side back.
    r.MoveEnd(3000);
    r.MoveStart(4000);
    EXPECT_EQ(r.startPosition, 3000);
    r.MoveEnd(100);
    EXPECT_EQ(r.endPosition, 3000);
    EXPECT_EQ(r.startTrack, 0);
    EXPECT_EQ(r.endTrack, 0);
}
