#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

#include "encoders/SampleRing.h"

using quarrow::CSampleRing;

TEST(SampleRing, CountsFreeAndAvailableWithOneSlotKeptEmpty) {
    CSampleRing<int16_t> ring(8);
    EXPECT_EQ(ring.Capacity(), 8u);
    EXPECT_EQ(ring.Available(), 0u);
    EXPECT_EQ(ring.FreeCount(), 7u);

    std::vector<int16_t> data(10);
    std::iota(data.begin(), data.end(), 1);
    // Only capacity - 1 fit; the rest is dropped.
    EXPECT_EQ(ring.Write(data.data(), data.size()), 7u);
    EXPECT_EQ(ring.Available(), 7u);
    EXPECT_EQ(ring.FreeCount(), 0u);
    EXPECT_EQ(ring.Write(data.data(), 1), 0u);

    std::vector<int16_t> out(10, 0);
    EXPECT_EQ(ring.Read(out.data(), 3), 3u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(ring.Available(), 4u);
    EXPECT_EQ(ring.FreeCount(), 3u);
    // Asking for more than is there gives what is there.
    EXPECT_EQ(ring.Read(out.data(), 10), 4u);
    EXPECT_EQ(out[3], 7);
    EXPECT_EQ(ring.Available(), 0u);
}

TEST(SampleRing, CopiesInTwoPiecesAcrossTheEndOfStorage) {
    CSampleRing<float> ring(5);
    const float a[4] = {1, 2, 3, 4};
    float out[8] = {};
    ASSERT_EQ(ring.Write(a, 3), 3u);
    ASSERT_EQ(ring.Read(out, 3), 3u);   // both indices now at 3
    const float b[4] = {10, 20, 30, 40};
    EXPECT_EQ(ring.Write(b, 4), 4u);    // 2 at the end, 2 at the start
    EXPECT_EQ(ring.Available(), 4u);
    EXPECT_EQ(ring.Read(out, 8), 4u);
    EXPECT_FLOAT_EQ(out[0], 10);
    EXPECT_FLOAT_EQ(out[1], 20);
    EXPECT_FLOAT_EQ(out[2], 30);
    EXPECT_FLOAT_EQ(out[3], 40);

    ring.Reset();
    EXPECT_EQ(ring.Available(), 0u);
    ring.Free();
    EXPECT_EQ(ring.Capacity(), 0u);
    EXPECT_EQ(ring.Write(a, 1), 0u);
    EXPECT_EQ(ring.Read(out, 1), 0u);
}

TEST(SampleRing, ProducerAndConsumerThreadsKeepTheSequence) {
    CSampleRing<int16_t> ring(1000);
    constexpr int kTotal = 200000;
    std::thread producer([&] {
        int16_t chunk[137];
        int next = 0;
        while (next < kTotal) {
            const int n = std::min<int>(137, kTotal - next);
            for (int i = 0; i < n; ++i) chunk[i] = static_cast<int16_t>((next + i) & 0x7fff);
            std::size_t done = 0;
            while (done < static_cast<std::size_t>(n)) done += ring.Write(chunk + done, n - done);
            next += n;
        }
    });
    int expected = 0;
    bool ordered = true;
    int16_t buf[211];
    while (expected < kTotal) {
        const std::size_t got = ring.Read(buf, 211);
        for (std::size_t i = 0; i < got; ++i) {
            if (buf[i] != static_cast<int16_t>((expected + static_cast<int>(i)) & 0x7fff)) ordered = false;
        }
        expected += static_cast<int>(got);
    }
    producer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(expected, kTotal);
    EXPECT_EQ(ring.Available(), 0u);
}
