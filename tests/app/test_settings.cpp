#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "app/EventLog.h"
#include "app/IniFile.h"
#include "app/SafeFile.h"
#include "app/Settings.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using namespace quarrow;
using support::ReadFile;
using support::ScratchDir;
using support::WriteFile;

namespace {

std::string Setting(CSettings& s, const std::string& section, const std::string& key) {
    std::string v;
    EXPECT_TRUE(GetSettingText(s, section, key, v)) << section << "/" << key;
    return v;
}

long FilesIn(const std::string& dir) { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); }

}  // namespace

TEST(Settings, SaveWritesEveryKeyInTableOrderAndReadsBack) {
    ScratchDir home;
    CSettings s = CSettings::Initial(home.path());
    EXPECT_EQ(s.OUTPUT.DesDir, home.path() + "/Output/");
    EXPECT_TRUE(s.FREEDB.Username.rfind("Unregistered User ", 0) == 0 && s.FREEDB.Username.size() > 18);
    s.OUTPUT.Volume = static_cast<int16_t>(65535);  // written unsigned
    s.MP3.LameQualityVBR = -300;                      // 16-bit negative keeps its sign
    s.CUSTOM.Parameter = "--preset \"x y\" %of%";
    ASSERT_TRUE(s.Save(home.path()));
    const std::string text = ReadFile(home.file("Quarrow.ini"));
    // Each key under its section with its value, in table order.
    std::size_t at = 0;
    std::string section;
    VisitSettings(s, [&](const SettingsKey& k) {
        if (at == std::string::npos) return;
        if (k.section != section) at = text.find("[" + (section = k.section) + "]\r\n", at);
        at = text.find("\n" + k.key + "=" + Setting(s, k.section, k.key) + "\r\n", at);
        EXPECT_NE(at, std::string::npos) << k.section << "/" << k.key;
    });
    for (const char* line : {"\nVolume=65535\r\n", "\nLameQualityVBR=-300\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("Tip="), std::string::npos);
    EXPECT_EQ(fs::status(home.file("Quarrow.ini")).permissions(),  // it holds the proxy password
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FilesIn(home.path()), 1);
    // What is read back saves as the same file.
    CSettings back = CSettings::Initial("/elsewhere");
    ASSERT_TRUE(back.Load(home.path()));
    ScratchDir again;
    ASSERT_TRUE(back.Save(again.path()));
    EXPECT_EQ(ReadFile(again.file("Quarrow.ini")), text);
}

TEST(Settings, LoadReadsLikeAProfileFile) {
    ScratchDir home;
    const char tail[] = "[DISC]\nRipModePreset=\0x3\n[FREEDB]\nEmail=a\0b@c\n";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
    WriteFile(home.file("Quarrow.ini"),
              "; a comment the user wrote\r\n[misc]\r\n  visualization = 5  \r\nDriveNum=12abc\r\n" + garbage +
                  "\n[OUTPUT]\nOutputFormat=abc\nSeparator=-*-\nNorPer=70000\nDesDir=" + std::string(300, 'd') +
                  "\n[Extra]\nKeep=me\n" + std::string(tail, sizeof tail - 1));
    CSettings s = CSettings::Initial(home.path());
    ASSERT_TRUE(s.Load(home.path()));
    // Names are case-insensitive, blanks trimmed; numbers read like atoi (no digits: 0, not the
    // default) into the field's bits; a missing key gets the default, not the initial value
    // (DbClk -1, five rereads); text stops at a NUL and is cut to its buffer.
    const struct { const char* section; const char* key; std::string value; } rows[] = {
        {"MISC", "Visualization", "5"}, {"MISC", "DriveNum", "12"}, {"OUTPUT", "OutputFormat", "0"},
        {"OUTPUT", "NorPer", "4464"}, {"MISC", "DbClk", "1"}, {"DISC", "GrabOnErrorRetries", "0"},
        {"DISC", "RipModePreset", "0"}, {"FREEDB", "Email", "a"}, {"OUTPUT", "Separator", "-*"},
        {"OUTPUT", "DesDir", std::string(255, 'd')}, {"FREEDB", "LocalCDDBDir", home.path() + "/Local CDDB"},
    };
    for (const auto& r : rows) EXPECT_EQ(Setting(s, r.section, r.key), r.value) << r.section << "/" << r.key;
    ASSERT_TRUE(s.Save(home.path()));
    const std::string text = ReadFile(home.file("Quarrow.ini"));
    for (const char* kept : {"; a comment the user wrote", "[Extra]\r\nKeep=me", "visualization=5"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    EXPECT_EQ(text.find("[MISC]"), std::string::npos);  // the lower-case section is reused
}

TEST(Settings, AFileThatCannotBeReadIsReportedAndNeverSavedOver) {
    for (bool loadFirst : {true, false}) {
        SCOPED_TRACE(loadFirst ? "loaded" : "not loaded");
        ScratchDir home;
        const std::string path = home.file("Quarrow.ini"), fifo = path + " is not a regular file";
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        CSettings s = CSettings::Initial(home.path());
        CEventLog log;
        std::string error;
        if (loadFirst) {
            EXPECT_FALSE(s.Load(home.path(), &log, &error));
            EXPECT_EQ(error, "Error on loading settings! " + fifo + "; it will not be saved over at exit");
        }
        EXPECT_FALSE(s.Save(home.path(), &log, &error));
        const std::string why = loadFirst ? path + " was not loaded (" + fifo + ")" : fifo;
        EXPECT_EQ(error, "Error on saving settings! " + why + "; it is left as it is");
        EXPECT_EQ(log.Entries().back().message + std::to_string(log.Entries().back().level),
                  "Error on saving settings!1");
        EXPECT_EQ(FilesIn(home.path()), 1);
        EXPECT_EQ(fs::symlink_status(path).type(), fs::file_type::fifo);
    }
    // A file put right after it failed to load is still not saved over: the run holds no values from it.
    ScratchDir home;
    WriteFile(home.file("Quarrow.ini"), std::string(IniFile::kMaxFileBytes + 1, ';'));  // too large
    CSettings s = CSettings::Initial(home.path());
    std::string error;
    EXPECT_FALSE(s.Load(home.path(), nullptr, &error));
    const std::string tooLarge = " is too large (" + std::to_string(IniFile::kMaxFileBytes + 1) + " bytes, at most ";
    EXPECT_NE(error.find(tooLarge), std::string::npos) << error;
    WriteFile(home.file("Quarrow.ini"), "[OUTPUT]\nFileStyle=3\n");
    EXPECT_FALSE(s.Save(home.path()));
    EXPECT_EQ(ReadFile(home.file("Quarrow.ini")), "[OUTPUT]\nFileStyle=3\n");
    EXPECT_FALSE(CSettings::Initial("/h").Save("/nonexistent/no/such/folder", nullptr, &error));
    EXPECT_EQ(error.rfind("Error on saving settings! cannot create /nonexistent/no/such/folder/Quarrow.ini", 0), 0u);
}

TEST(Settings, TextAccessChecksEachKeysTypeAndRange) {
    // section, key, value -> the value stored, or nullptr for a refusal naming them that changes nothing.
    const struct { const char* section; const char* key; const char* value; const char* stored; } rows[] = {
        {"output", "outputformat", "31", "31"}, {"OUTPUT", "OutputFormat", "0", nullptr},
        {"OUTPUT", "OutputFormat", "5x", nullptr}, {"OUTPUT", "Volume", "101", nullptr}, {"MISC", "DbClk", "-1", "-1"},
        {"AAC", "CTCbr", "2147483648", nullptr}, {"AAC", "CTCbr", "2147483647", "2147483647"},
        {"MP3", "LameQualityVBR", "-32768", "-32768"}, {"MP3", "LameQualityVBR", "32768", nullptr},
        {"OUTPUT", "Separator", "abcd", "ab"}, {"OUTPUT", "NoSuchKey", "1", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.key) + " = " + r.value);
        CSettings s = CSettings::Initial("/h");
        std::string before, after, error;
        GetSettingText(s, r.section, r.key, before);
        EXPECT_EQ(SetSettingText(s, r.section, r.key, r.value, &error), r.stored != nullptr);
        GetSettingText(s, r.section, r.key, after);
        EXPECT_EQ(after, r.stored ? r.stored : before);
        const std::string named = r.stored ? "" : std::string(r.key) == "NoSuchKey" ? "no setting OUTPUT/NoSuchKey"
                                  : "\"" + std::string(r.value) + "\" for " + r.section + "/" + r.key;
        EXPECT_NE(error.find(named), std::string::npos) << error;
    }
}

TEST(Settings, CommandLineRefusesBadValuesAndStoresGoodOnes) {
    ScratchDir dir;
    const std::string home = dir.file("home");
    const auto p = testsupport::RunCli({"--home", home, "settings", "set", "OUTPUT", "FileStyle", "99999999999999999999"});
    EXPECT_EQ(p.status, 64);
    EXPECT_NE(p.err.find("\"99999999999999999999\" for OUTPUT/FileStyle"), std::string::npos) << p.err;
    EXPECT_EQ(testsupport::RunCli({"--home", home, "settings", "set", "OUTPUT", "FileStyle", "12"}).status, 0);
    EXPECT_NE(ReadFile(home + "/Quarrow.ini").find("FileStyle=12\r\n"), std::string::npos);
}

TEST(IniFile, IntegersAreReadLikeAtoiAndFilesOnlyWhenWholeAndThere) {
    const struct { std::string text; std::optional<long> value; } rows[] = {
        {"  -42xyz", -42}, {"+7", 7}, {"4294967295", -1}, {"", std::nullopt}, {"x1", std::nullopt},
        {std::string(5000, '9'), -1},
    };
    for (const auto& r : rows) EXPECT_EQ(ParseLeadingInt(r.text), r.value) << r.text.substr(0, 20);
    IniFile ini, again;
    ini.Set("S", "K", "line\r\nbreak");
    again.Parse(ini.Serialize());
    EXPECT_EQ(again.Get("s", "k").value_or(""), "line  break");
    std::string contents = "old", error;
    EXPECT_FALSE(ReadRegularFile("/nonexistent/Quarrow.ini", 100, contents, error));
    EXPECT_EQ(contents + error, "/nonexistent/Quarrow.ini does not exist");
}
