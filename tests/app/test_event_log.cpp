#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "app/EventLog.h"
#include "support/DiscImage.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
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
        log.SetSink([this](const std::string& t) { lastEvents.push_back(t); });
    }
    CEventLog log;
    std::vector<std::string> lastEvents;
};

}  // namespace

TEST(EventLog, FileLayoutOfARun) {
    discimage::ScratchDir dir;
    Rig r(dir.file("Quarrow.log"), true);
    r.log.WriteBanner(FixedTime());
    r.log.AddLaunchEntry();
    r.log.Add("Refreshing CD...");
    for (int i = 0; i < 8; ++i) r.log.Add("x");
    r.log.Add("Closing Quarrow...", 0);
    r.log.WriteClosingLines();

    const std::string stars(60, '*');
    std::string expected = stars + "\r\n" + stars + "\r\n" + "***************Quarrow 3.1.0****************\r\n" +
                           "Starting Time: 14:03:59  December 05, 2026\r\n" + "#  1 14:03:59 Refreshing CD...\r\n";
    for (int i = 2; i <= 9; ++i) expected += "#  " + std::to_string(i) + " 14:03:59 x\r\n";
    expected += "# 10 14:03:59 Closing Quarrow...\r\n\r\n\r\n\r\n\r\n\r\n";
    EXPECT_EQ(ReadFile(dir.file("Quarrow.log")), expected);
    ASSERT_EQ(r.lastEvents.size(), 10u);
    EXPECT_EQ(r.lastEvents[0], "#  1 14:03:59  Refreshing CD...");  // two blanks in the status box
    auto entries = r.log.Entries();
    ASSERT_EQ(entries.size(), 11u);
    EXPECT_EQ(entries[0].message, "Lauching Quarrow...");
    for (int i = 0; i < 11; ++i) EXPECT_EQ(entries[i].number, i);
}

TEST(EventLog, ClearKeepsCountingAndWriteLogOffLeavesTheFileAlone) {
    discimage::ScratchDir dir;
    Rig r(dir.file("Quarrow.log"), false);
    r.log.Add("one");
    r.log.Add("two", 1);
    r.log.Clear();
    EXPECT_EQ(r.lastEvents.back(), "Ready");
    EXPECT_TRUE(r.log.Entries().empty());
    r.log.Add("three");
    ASSERT_EQ(r.log.Entries().size(), 1u);
    EXPECT_EQ(r.log.Entries()[0].number, 3);
    EXPECT_EQ(r.lastEvents.back(), "#  3 14:03:59  three");
    r.log.WriteBanner(FixedTime());
    r.log.WriteClosingLines();
    EXPECT_FALSE(fs::exists(dir.file("Quarrow.log")));
}

TEST(EventLog, ConcurrentAddsKeepNumbersAndLinesWhole) {
    discimage::ScratchDir dir;
    CEventLog log;
    log.SetFile(dir.file("Quarrow.log"), true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 150; ++i) log.Add("thread " + std::to_string(t) + " event " + std::to_string(i));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(log.Counter(), 1200);
    std::istringstream in(ReadFile(dir.file("Quarrow.log")));
    std::string line;
    int expectedNumber = 1;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.back(), '\r');
        EXPECT_EQ(std::stoi(line.substr(1, 4)), expectedNumber++);  // the file is in number order
        EXPECT_NE(line.find(" event "), std::string::npos);
    }
    EXPECT_EQ(expectedNumber, 1201);
    std::set<int> numbers;
    for (const auto& e : log.Entries()) numbers.insert(e.number);
    EXPECT_EQ(numbers.size(), 1200u);
}

TEST(EventLog, AnEventTheFileRefusedShowsInTheStatusBoxOnly) {
    Rig r("/nonexistent-folder/Quarrow.log", true);
    EXPECT_THROW(r.log.Add("first"), std::runtime_error);
    r.log.SetWriteLog(false);
    r.log.Add("second");
    r.log.SetWriteLog(true);
    try {
        r.log.Add("third");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/Quarrow.log"), std::string::npos);
    }
    // The status box was set before the write; the list and the counter never saw the event.
    EXPECT_EQ(r.lastEvents, (std::vector<std::string>{"#  1 14:03:59  first", "#  1 14:03:59  second",
                                                "#  2 14:03:59  third"}));
    ASSERT_EQ(r.log.Entries().size(), 1u);
    EXPECT_EQ(r.log.Entries()[0].number, 1);
    EXPECT_EQ(r.log.Counter(), 1);
}
