#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "app/EventLog.h"
#include "support/DiscImage.h"

namespace fs = std::filesystem;
using namespace quarrow;

namespace {

// 14:03:59 on 5 December 2026.
std::tm FixedTime() {
    std::tm t{};
    t.tm_hour = 14, t.tm_min = 3, t.tm_sec = 59, t.tm_mday = 5, t.tm_mon = 11, t.tm_year = 126;
    return t;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(EventLog, FileLayoutOfARun) {
    discimage::ScratchDir dir;
    const std::string path = dir.path() + "/Quarrow.log";
    CEventLog log;
    log.SetClock(FixedTime);
    log.SetFile(path, true);
    std::vector<std::string> lastEvents;
    log.SetSink([&](const std::string& t) { lastEvents.push_back(t); });

    log.WriteBanner(FixedTime());
    log.AddLaunchEntry();
    log.Add("Refreshing CD...");
    for (int i = 0; i < 4; ++i) log.Add("x");
    log.Add("Closing Quarrow...", 0);
    log.WriteClosingLines();

    const std::string stars(60, '*');
    const std::string expected = stars + "\r\n" + stars + "\r\n" +
                                 "***************Quarrow 3.1.0****************\r\n" +
                                 "Starting Time: 14:03:59  December 05, 2026\r\n" +
                                 "#  1 14:03:59 Refreshing CD...\r\n" + "#  2 14:03:59 x\r\n" +
                                 "#  3 14:03:59 x\r\n" + "#  4 14:03:59 x\r\n" + "#  5 14:03:59 x\r\n" +
                                 "#  6 14:03:59 Closing Quarrow...\r\n" + "\r\n\r\n\r\n\r\n\r\n";
    EXPECT_EQ(ReadFile(path), expected);
    ASSERT_EQ(lastEvents.size(), 6u);
    EXPECT_EQ(lastEvents[0], "#  1 14:03:59  Refreshing CD...");  // two blanks in the status box

    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].message, "Lauching Quarrow...");
    EXPECT_EQ(entries[0].number, 0);
    EXPECT_EQ(entries[1].number, 1);
    EXPECT_EQ(entries[6].number, 6);
}

TEST(EventLog, ClearKeepsCountingAndWriteLogOffLeavesTheFileAlone) {
    discimage::ScratchDir dir;
    const std::string path = dir.path() + "/Quarrow.log";
    CEventLog log;
    log.SetClock(FixedTime);
    log.SetFile(path, false);
    std::string last;
    log.SetSink([&](const std::string& t) { last = t; });
    log.Add("one");
    log.Add("two", 1);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(log.Entries().size(), 2u);
    log.Clear();
    EXPECT_EQ(last, "Ready");
    EXPECT_TRUE(log.Entries().empty());
    log.Add("three");
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries()[0].number, 3);
    EXPECT_EQ(last, "#  3 14:03:59  three");
    log.WriteBanner(FixedTime());
    log.WriteClosingLines();
    EXPECT_FALSE(fs::exists(path));
}

TEST(EventLog, ConcurrentAddsKeepNumbersAndLinesWhole) {
    discimage::ScratchDir dir;
    const std::string path = dir.path() + "/Quarrow.log";
    CEventLog log;
    log.SetFile(path, true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 150; ++i) log.Add("thread " + std::to_string(t) + " event " + std::to_string(i));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(log.Counter(), 1200);
    std::istringstream in(ReadFile(path));
    std::string line;
    int expectedNumber = 1;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.back(), '\r');
        const int number = std::stoi(line.substr(1, 4));
        EXPECT_EQ(number, expectedNumber++);  // the file is in number order
        EXPECT_NE(line.find(" event "), std::string::npos);
    }
    EXPECT_EQ(expectedNumber, 1201);
    std::set<int> numbers;
    for (const auto& e : log.Entries()) numbers.insert(e.number);
    EXPECT_EQ(numbers.size(), 1200u);
}

TEST(EventLog, AnUnwritableFileIsReportedByName) {
    CEventLog log;
    log.SetFile("/nonexistent-folder/Quarrow.log", true);
    try {
        log.Add("hello");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/Quarrow.log"), std::string::npos);
    }
    // The event itself is still recorded in memory.
    EXPECT_EQ(log.Entries().size(), 1u);
}
