// The tips file: which lines are tips, the wrap at the end, the two failure texts, and
// where the program's data files and the show-at-start-up key are found.
#include "app/DataFiles.h"
#include "app/TipFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

using quarrow::CTipFile;
using quarrow::support::ScratchDir;

TEST(TipFile, ReadsTipsSkippingNoteLinesAndWrapsAround) {
    const std::string longTip(1500, 'x');
    struct Case { const char* name; std::string content; std::vector<std::string> tips; };
    const Case cases[] = {
        {"notes skipped, CR LF dropped", "; note\n first\n\tsecond\n\nOne\r\nTwo\n;x\n", {"One", "Two", "One", "Two"}},
        {"no line end at the end", "A\nB", {"A", "B", "A"}},
        {"long line cut, its rest dropped", longTip + "\nC\n", {std::string(999, 'x'), "C", std::string(999, 'x')}},
        {"only notes", "; a\n b\n", {CTipFile::kTrouble}},
        {"empty file", "", {CTipFile::kTrouble}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        quarrow::support::WriteFile(dir.file("Tips.tip"), c.content);
        CTipFile tips(dir.file("Tips.tip"));
        for (const std::string& want : c.tips) EXPECT_EQ(tips.Next(), want) << c.name;
    }
}

TEST(TipFile, MissingFileAndFailedRewindGiveTheirTexts) {
    ScratchDir dir;
    for (const std::string& path : {dir.file("none.tip"), dir.path(), std::string("/dev/zero")})
        EXPECT_EQ(CTipFile(path).Next(), CTipFile::kNoFile) << path;
    // A pipe cannot be rewound: its one tip is shown, then the rewind fails.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "Only\n", 5), 5);
    close(fds[1]);
    CTipFile piped("/proc/self/fd/" + std::to_string(fds[0]));
    close(fds[0]);
    EXPECT_EQ(piped.Next(), "Only");
    EXPECT_EQ(piped.Next(), CTipFile::kTrouble);
}

TEST(TipFile, ShowAtStartupKeyAndDataFilesInTheHomeFolder) {
    ScratchDir home;
    EXPECT_EQ(quarrow::LoadTipSetting(home.path()), 1);
    quarrow::support::WriteFile(home.file("Quarrow.ini"), "[MISC]\r\nVolume=7\r\n; kept\r\n");
    ASSERT_TRUE(quarrow::SaveTipSetting(home.path(), 0));
    EXPECT_EQ(quarrow::LoadTipSetting(home.path()), 0);
    EXPECT_EQ(quarrow::support::ReadFile(home.file("Quarrow.ini")), "[MISC]\r\nVolume=7\r\n; kept\r\nTip=0\r\n");

    // The source tree's copy until the user has one of their own.
    EXPECT_EQ(std::filesystem::path(quarrow::FindDataFile("Tips.tip", home.path())),
              std::filesystem::path(QUARROW_SOURCE_DIR) / "data" / "Tips.tip");
    quarrow::support::WriteFile(home.file("Tips.tip"), "Mine\n");
    EXPECT_EQ(quarrow::FindDataFile("Tips.tip", home.path()), home.file("Tips.tip"));
    EXPECT_EQ(quarrow::FindDataFile("no-such-file", home.path()), "");
}
