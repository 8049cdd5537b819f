#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "app/EventLog.h"
#include "support/TestFiles.h"

using namespace quarrow;
using support::ReadFile;

namespace {

// 14:03:59 on 5 December 2026.
std::tm FixedTime() {
    std::tm t{};
    t.tm_hour = 14, t.tm_min = 3, t.tm_sec = 59, t.tm_mday = 5, t.tm_mon = 11, t.tm_year = 126;
    return t;
}

// A log at a fixed time whose "Last Event" texts are collected.
struct Rig {
    Rig(const std::string& path, bool writeLog) {
        log.SetClock(FixedTime);
        log.SetFile(path, writeLog);
        // The sink runs outside the log's lock, so concurrent adds reach it concurrently.
        log.SetSink([this](const std::string& t) { std::lock_guard<std::mutex> l(sinkMutex); lastEvents.push_back(t); });
    }
    CEventLog log;
    std::mutex sinkMutex;
    std::vector<std::string> lastEvents;
};

}  // namespace

TEST(EventLog, FileLayoutOfARunWithConcurrentAdds) {
    support::ScratchDir dir;
    Rig r(dir.file("Quarrow.log"), true);
    r.log.WriteBanner(FixedTime());
    r.log.AddLaunchEntry();
    r.log.Add("Refreshing CD...");
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) threads.emplace_back([&r] { for (int i = 0; i < 150; ++i) r.log.Add("x"); });
    for (auto& th : threads) th.join();
    r.log.Add("Closing Quarrow...", 0);
    r.log.WriteClosingLines();
    // Every line whole and in number order, whichever thread added it.
    const std::string stars(60, '*');
    std::string expected = stars + "\r\n" + stars + "\r\n***************Quarrow 3.1.0****************\r\n" +
                           "Starting Time: 14:03:59  December 05, 2026\r\n#  1 14:03:59 Refreshing CD...\r\n";
    for (int i = 2; i <= 1201; ++i) {
        char l[32];
        expected += std::string(l, std::snprintf(l, sizeof l, "#%3d 14:03:59 x\r\n", i));
    }
    expected += "#1202 14:03:59 Closing Quarrow...\r\n\r\n\r\n\r\n\r\n\r\n";
    EXPECT_EQ(ReadFile(dir.file("Quarrow.log")), expected);
    ASSERT_EQ(r.lastEvents.size(), 1202u);
    EXPECT_EQ(r.lastEvents[0], "#  1 14:03:59  Refreshing CD...");  // two blanks in the status box
    const auto entries = r.log.Entries();
    ASSERT_EQ(entries.size(), 1203u);
    EXPECT_EQ(entries[0].message, "Lauching Quarrow...");
    for (int i = 0; i < 1203; ++i) ASSERT_EQ(entries[i].number, i);
}

TEST(EventLog, AnEventTheFileRefusedShowsInTheStatusBoxOnly) {
    Rig r("/nonexistent-folder/Quarrow.log", true);
    EXPECT_THROW(r.log.Add("first"), std::runtime_error);
    r.log.SetWriteLog(false);  // then nothing goes to the file, so nothing fails
    r.log.WriteBanner(FixedTime());
    r.log.Add("second");
    r.log.WriteClosingLines();
    r.log.SetWriteLog(true);
    std::string what;
    try { r.log.Add("third"); } catch (const std::runtime_error& e) { what = e.what(); }
    EXPECT_NE(what.find("/nonexistent-folder/Quarrow.log"), std::string::npos) << what;
    // The status box was set before the write; the list and the counter never saw the event.
    EXPECT_EQ(r.lastEvents, (std::vector<std::string>{"#  1 14:03:59  first", "#  1 14:03:59  second",
                                                      "#  2 14:03:59  third"}));
    EXPECT_EQ(r.log.Counter(), 1);
    r.log.Clear();
    EXPECT_EQ(r.lastEvents.back(), "Ready");
    r.log.SetWriteLog(false);
    r.log.Add("fourth");
    ASSERT_EQ(r.log.Entries().size(), 1u);
    EXPECT_EQ(r.log.Entries()[0].number, 2);  // the numbers go on
}
