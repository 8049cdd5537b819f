// Priorities of the rip threads: the choice from processors and work per sample, and a
// thread lowering itself on Linux.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <thread>

#include "rip/ThreadPriority.h"

using namespace quarrow;
using P = ThreadPriority;

TEST(ThreadPriority, ReaderAndJobFollowProcessorsAndWork) {
    struct Row {
        int processors;
        bool normalize, floatPath, resample;
        P reader, job;
    };
    const Row rows[] = {
        {1, false, false, false, P::BelowNormal, P::AboveNormal},
        {1, true, true, true, P::Normal, P::Highest},   // above normal needs a second processor
        {2, false, false, false, P::Normal, P::Highest},
        {2, true, true, false, P::AboveNormal, P::Highest},
        {4, true, true, true, P::Highest, P::Highest},
        {64, false, false, false, P::Highest, P::Highest},   // capped
    };
    for (const Row& r : rows) {
        const RipPriorities got = ChooseRipPriorities(r.processors, r.normalize, r.floatPath, r.resample);
        EXPECT_EQ(got.reader, r.reader) << r.processors << r.normalize << r.floatPath << r.resample;
        EXPECT_EQ(got.job, r.job) << r.processors << r.normalize << r.floatPath << r.resample;
    }
}

TEST(ThreadPriority, AThreadLowersOnlyItself) {
    const int before = getpriority(PRIO_PROCESS, 0);
    int applied = -100;
    std::thread([&] { applied = ApplyToCurrentThread(P::BelowNormal); }).join();
    if (before <= 5) {
        EXPECT_EQ(applied, 5);   // raising niceness needs no privilege
    } else {
        EXPECT_GE(applied, 5);
    }
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
}
