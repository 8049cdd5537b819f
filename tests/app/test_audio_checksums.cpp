// The one-pass checksums of the audio as read against a plain implementation of their
// public descriptions, on generated discs: the edges of the first and last track, short
// tracks, sector 450, the disc CRC, blocks of any size and tracks fed out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "app/AudioChecksums.h"
#include "support/ReferenceChecksums.h"

using namespace quarrow;

static std::vector<int16_t> Noise(int32_t sectors, uint32_t seed) {
    std::vector<int16_t> out(static_cast<std::size_t>(sectors) * 1176);
    for (auto& v : out) v = static_cast<int16_t>((seed = seed * 1664525u + 1013904223u) >> 16);
    return out;
}

TEST(AudioChecksums, OnePassSumsMatchThePublicDefinitions) {
    struct Case { const char* name; std::vector<int32_t> sectors; };
    const Case cases[] = {
        {"three tracks: edges of the first and last, sector 450 present and absent", {460, 30, 455}},
        {"one-track disc: both edges in one track", {600}},
        {"tracks shorter than the five-sector edges", {3, 452, 4}},
        {"one track shorter than both edges together", {7}},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<int16_t>> tracks;
        for (std::size_t i = 0; i < c.sectors.size(); ++i) tracks.push_back(Noise(c.sectors[i], 7 + uint32_t(i)));
        // The disc CRC fed block by block, and made of the tracks' window CRCs.
        CDiscCrc disc(c.sectors), fromTracks(c.sectors);
        // Tracks go in backwards, the first one twice (a second read forgets the first).
        disc.StartTrack(0);
        disc.Add(0, tracks[0].data(), 5000);
        for (std::size_t i = tracks.size(); i-- > 0;) {
            const bool first = i == 0, last = i + 1 == tracks.size();
            const auto [from, to] = fromTracks.Window(int(i));
            CTrackChecksummer sums({first, last, c.sectors[i], from, to});
            disc.StartTrack(int(i));
            // Odd block sizes split stereo frames between blocks.
            for (std::size_t at = 0, n = 1; at < tracks[i].size(); at += n, n = n * 3 % 4099 + 1) {
                n = std::min(n, tracks[i].size() - at);
                sums.Add(tracks[i].data() + at, n);
                disc.Add(int(i), tracks[i].data() + at, n);
            }
            fromTracks.SetTrack(int(i), sums.WindowCrc(), sums.BytesFed());
            const reference::TrackSums want = reference::Sums(tracks[i], first, last);
            const TrackChecksums got = sums.Result();
            SCOPED_TRACE(std::string(c.name) + ", track " + std::to_string(i + 1));
            const bool f450 = c.sectors[i] > 450;
            EXPECT_EQ(std::make_tuple(got.crc32, got.arV1, got.arV2, got.hasFrame450, got.frame450),
                      std::make_tuple(want.crc32, want.arV1, want.arV2, f450, f450 ? want.frame450 : 0u));
            EXPECT_EQ(f450 ? AccurateRipSectorChecksum(&tracks[i][450 * 1176]) : 0u, f450 ? want.frame450 : 0u);
            int peak = 0;
            for (int v : tracks[i]) peak = std::max(peak, std::abs(v));
            EXPECT_EQ(sums.Peak(), peak);
        }
        EXPECT_TRUE(disc.Complete()) << c.name;
        EXPECT_EQ(disc.Result(), reference::CueToolsCrc(tracks)) << c.name;
        EXPECT_TRUE(fromTracks.Complete() && fromTracks.Result() == disc.Result()) << c.name;
    }
}
