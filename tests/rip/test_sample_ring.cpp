#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "encoders/SampleRing.h"

using quarrow::CSampleRing;

TEST(SampleRing, KeepsOneSlotEmptyAndCopiesAcrossTheEnd) {
    CSampleRing<int16_t> ring(8);
    EXPECT_EQ(ring.FreeCount(), 7u);
    std::vector<int16_t> data(10), out(10, 0);
    std::iota(data.begin(), data.end(), 1);
    EXPECT_EQ(ring.Write(data.data(), data.size()) * 10 + ring.FreeCount(), 70u);   // the rest is dropped
    EXPECT_EQ(ring.Read(out.data(), 3) * 10 + ring.FreeCount(), 33u);
    // Three more go in two pieces, at the end of the storage and at its start.
    EXPECT_EQ(ring.Write(data.data() + 7, 3) * 10 + ring.Available(), 37u);
    EXPECT_EQ(ring.Read(out.data() + 3, 10), 7u);   // what is there, not what was asked
    EXPECT_EQ(out, data);

    ring.Free();
    EXPECT_EQ(ring.Write(data.data(), 1) + ring.Read(out.data(), 1), 0u);
}

TEST(SampleRing, ProducerAndConsumerThreadsKeepTheSequence) {
    CSampleRing<int16_t> ring(1000);
    constexpr int kTotal = 200000;
    std::thread producer([&] {
        int16_t chunk[137];
        for (int next = 0; next < kTotal;) {
            const int n = std::min<int>(137, kTotal - next);
            for (int i = 0; i < n; ++i) chunk[i] = static_cast<int16_t>((next + i) & 0x7fff);
            for (std::size_t done = 0; done < static_cast<std::size_t>(n);) done += ring.Write(chunk + done, n - done);
            next += n;
        }
    });
    int expected = 0;
    bool ordered = true;
    int16_t buf[211];
    while (expected < kTotal) {
        ring.WaitForAvailable(1, std::chrono::milliseconds(5));
        const std::size_t got = ring.Read(buf, 211);
        for (std::size_t i = 0; i < got; ++i)
            ordered = ordered && buf[i] == static_cast<int16_t>((expected + static_cast<int>(i)) & 0x7fff);
        expected += static_cast<int>(got);
    }
    producer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(ring.Available(), 0u);
}
