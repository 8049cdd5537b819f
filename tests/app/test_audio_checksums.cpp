// The one-pass checksums of the audio as read against a plain implementation of their
// public descriptions, on generated discs: the edges of the first and last track, short
// tracks, sector 450, the disc CRC, blocks of any size and tracks fed out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/AudioChecksums.h"
#include "support/ReferenceChecksums.h"

using namespace quarrow;

namespace {

std::vector<int16_t> Noise(int32_t sectors, uint32_t seed) {
    std::vector<int16_t> out(static_cast<std::size_t>(sectors) * 1176);
    for (auto& v : out) v = static_cast<int16_t>((seed = seed * 1664525u + 1013904223u) >> 16);
    return out;
}

}  // namespace

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
            EXPECT_EQ(got.crc32, want.crc32);
            EXPECT_EQ(got.arV1, want.arV1);
            EXPECT_EQ(got.arV2, want.arV2);
            EXPECT_EQ(got.hasFrame450, c.sectors[i] > 450);
            EXPECT_EQ(got.frame450, got.hasFrame450 ? want.frame450 : 0u);
            if (got.hasFrame450) {
                EXPECT_EQ(AccurateRipSectorChecksum(tracks[i].data() + 450 * 1176), want.frame450);
            }
            const auto peak = std::max_element(tracks[i].begin(), tracks[i].end(),
                                               [](int a, int b) { return std::abs(a) < std::abs(b); });
            EXPECT_EQ(sums.Peak(), std::abs(int(*peak)));
        }
        EXPECT_TRUE(disc.Complete()) << c.name;
        EXPECT_EQ(disc.Result(), reference::CueToolsCrc(tracks)) << c.name;
        EXPECT_TRUE(fromTracks.Complete() && fromTracks.Result() == disc.Result()) << c.name;
    }
}

TEST(AudioChecksums, ReferenceSumsOfAConstantTrackAreTheTriangularNumbers) {
    // Every frame 1: v1 is the sum of the positions counted, which the edges shorten.
    const std::vector<int16_t> ones = [] {
        std::vector<int16_t> v(20 * 1176);
        for (std::size_t i = 0; i < v.size(); i += 2) v[i] = 1;
        return v;
    }();
    const uint32_t n = 20 * 588, edge = 5 * 588;
    EXPECT_EQ(reference::Sums(ones, false, false).arV1, n * (n + 1) / 2);
    EXPECT_EQ(reference::Sums(ones, true, true).arV1, (n - edge) * (n - edge + 1) / 2 - (edge - 1) * edge / 2);
    CTrackChecksummer sums({true, true, 20});
    sums.Add(ones.data(), ones.size());
    EXPECT_EQ(sums.Result().arV1, (n - edge) * (n - edge + 1) / 2 - (edge - 1) * edge / 2);
}
