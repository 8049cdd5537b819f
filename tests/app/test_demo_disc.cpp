// The demo disc: reproducible bytes, a cue sheet the drive reads back, and audio that
// is audible, unclipped and free of DC.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "albuminfo/AlbumRecord.h"
#include "app/CdioDrive.h"
#include "app/DemoDisc.h"
#include "support/DiscImage.h"

using namespace quarrow;
using quarrow::discimage::ScratchDir;
using quarrow::support::ReadFile;

TEST(DemoDisc, WritesTheSameBytesTwiceAndReadsBackAsAFiveTrackDisc) {
    ScratchDir a, b;
    std::string error;
    ASSERT_TRUE(WriteDemoDisc(a.path(), &error)) << error;
    ASSERT_TRUE(WriteDemoDisc(b.path() + "/new/sub", &error)) << error;  // creates the folders
    const std::string binA = ReadFile(a.path() + "/Quarrow Demo.bin"), cueA = ReadFile(a.path() + "/Quarrow Demo.cue");
    EXPECT_TRUE(binA == ReadFile(b.path() + "/new/sub/Quarrow Demo.bin"));
    EXPECT_EQ(cueA, ReadFile(b.path() + "/new/sub/Quarrow Demo.cue"));
    EXPECT_NE(cueA.find("PERFORMER \"Quarrow Ensemble\"\nTITLE \"Quarrow Demo\"\n"), std::string::npos) << cueA;
    // Only the finished files remain.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(a.path()), std::filesystem::directory_iterator()), 2);
    int32_t total = 0;
    for (const DemoTrack& t : DemoTracks()) total += t.sectors;
    EXPECT_EQ(binA.size(), static_cast<size_t>(total) * 2352);

    auto drive = OpenCdioDrive(a.path() + "/Quarrow Demo.cue", &error);
    ASSERT_TRUE(drive) << error;
    drive->RefreshDisc();
    ASSERT_EQ(drive->SessionTrackCount(), 5);
    std::string isrcs;  // and the album record for the demo is filed under this disc ID
    for (int t = 0; t < 5; ++t) drive->SetCurrentTrack(t), isrcs += drive->Isrc() + "|";
    EXPECT_EQ(isrcs, "QZDA52600001||QZDA52600003|||");
    EXPECT_EQ(FormatDiscId(ComputeDiscId(ReadToc(*drive))), "27008c05");
}

TEST(DemoDisc, TracksAreAudibleStereoWithoutClippingOrDc) {
    std::vector<int16_t> first;
    for (int t = 0; t < 5; ++t) {
        SCOPED_TRACE("track " + std::to_string(t + 1));
        const std::vector<int16_t> s = RenderDemoTrack(t);
        ASSERT_EQ(s.size(), static_cast<size_t>(DemoTracks()[t].sectors) * 1176);
        double sum[2] = {0, 0}, sq[2] = {0, 0}, diff = 0, frames = double(s.size() / 2);
        int peak = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            sum[i % 2] += s[i], sq[i % 2] += double(s[i]) * s[i], peak = std::max(peak, std::abs(int(s[i])));
            if (i % 2) diff += std::abs(s[i - 1] - s[i]);
        }
        // Clearly audible, no DC, never clipped, left and right not the same, quiet at both ends (fades).
        for (int c = 0; c < 2; ++c) EXPECT_TRUE(std::sqrt(sq[c] / frames) > 1500 && std::abs(sum[c] / frames) < 30) << c;
        EXPECT_TRUE(peak < 32000 && diff / frames > 100) << peak << " " << diff / frames;
        EXPECT_LT(std::abs(s[0]) + std::abs(s[1]) + std::abs(s[s.size() - 2]) + std::abs(s[s.size() - 1]), 128);
        if (t == 0) first = s; else EXPECT_NE(first, s);
    }
}

TEST(DemoDisc, AnUnwritableFolderFailsCleanlyWithItsName) {
    ScratchDir dir;
    const std::string file = dir.path() + "/plain-file";
    std::ofstream(file) << "x";
    std::string error;
    EXPECT_FALSE(WriteDemoDisc(file + "/demo", &error));
    EXPECT_NE(error.find(file + "/demo"), std::string::npos) << error;

    // The cue sheet's name taken by a folder: nothing half-written is left behind.
    const std::string blocked = dir.path() + "/blocked";
    std::filesystem::create_directories(blocked + "/Quarrow Demo.cue/inside");
    EXPECT_FALSE(WriteDemoDisc(blocked, &error));
    EXPECT_NE(error.find(blocked + "/Quarrow Demo.cue"), std::string::npos) << error;
    for (const auto& e : std::filesystem::directory_iterator(blocked))
        EXPECT_EQ(e.path().filename(), "Quarrow Demo.cue") << "left behind: " << e.path();
}
