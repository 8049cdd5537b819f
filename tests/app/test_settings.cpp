#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "app/EventLog.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "support/DiscImage.h"

namespace fs = std::filesystem;
using namespace quarrow;

namespace {

struct TempHome {
    discimage::ScratchDir dir;
    std::string path = dir.path();
    void Write(const std::string& text) const {
        std::ofstream(path + "/Quarrow.ini", std::ios::binary) << text;
    }
    std::string Read() const {
        std::ifstream in(path + "/Quarrow.ini", std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

// The (section, key) pairs of a file in the order they stand.
std::vector<std::string> KeysInFile(const std::string& text) {
    std::vector<std::string> keys;
    std::string section, line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == '[') section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos) keys.push_back(section + "/" + line.substr(0, line.find('=')));
    }
    return keys;
}

}  // namespace

TEST(Settings, InitialValuesDifferFromDefaultsOnlyWhereTheyShould) {
    CSettings initial = CSettings::Initial("/home/q");
    CSettings defaults = CSettings::Defaults("/home/q");
    EXPECT_EQ(initial.MISC.DbClk, -1);
    EXPECT_EQ(defaults.MISC.DbClk, 1);
    EXPECT_EQ(initial.DISC.GrabOnErrorRetries, 5);
    EXPECT_EQ(defaults.DISC.GrabOnErrorRetries, 0);
    EXPECT_EQ(initial.FREEDB.LocalCDDBDir, "/home/q/Local CDDB");
    EXPECT_EQ(initial.OUTPUT.DesDir, "/home/q/Output/");
    EXPECT_EQ(initial.FREEDB.Username.rfind("Unregistered User ", 0), 0u);
    EXPECT_GT(initial.FREEDB.Username.size(), std::string("Unregistered User ").size());
    // Apart from those two fields and the user name, the two records agree key by key.
    std::vector<std::string> differing;
    VisitSettings(initial, [&](const SettingsKey& k) {
        std::string a, b;
        GetSettingText(initial, k.section, k.key, a);
        GetSettingText(defaults, k.section, k.key, b);
        const std::string name = std::string(k.section) + "/" + k.key;
        if (a != b && name != "FREEDB/Username") differing.push_back(name);
    });
    EXPECT_EQ(differing, (std::vector<std::string>{"MISC/DbClk", "DISC/GrabOnErrorRetries"}));
}

TEST(Settings, SaveWritesEveryKeyInTableOrderAndReadsBack) {
    TempHome home;
    CSettings s = CSettings::Initial(home.path);
    s.MISC.DbClk = -1;
    s.OUTPUT.Volume = static_cast<int16_t>(65535);  // written unsigned
    s.MP3.LameQualityVBR = -300;                      // 16-bit negative keeps its sign
    s.AAC.CTCbr = 256000;
    s.OTHER.Freq[17] = 3;
    s.CUSTOM.Parameter = "--preset \"x y\" %of%";
    ASSERT_TRUE(s.Save(home.path));
    const std::string text = home.Read();

    std::vector<std::string> expected;
    VisitSettings(s, [&](const SettingsKey& k) {
        expected.push_back(std::string(k.section) + "/" + k.key);
        if (std::string(k.section) == "WAV" && k.key == "Channel") expected.push_back("WAV/G726BPS");
    });
    EXPECT_EQ(KeysInFile(text), expected);
    EXPECT_EQ(expected.size(), 4u + 3 + 15 + 16 + 4 + 4 + 5 + 25 + 1 + 4 + 1 + 2 + 8 + 22 + 3 + 14 + 72 + 5);
    EXPECT_NE(text.find("[MISC]\r\nVisualization=2\r\nDbClk=-1\r\n"), std::string::npos);
    EXPECT_NE(text.find("Volume=65535\r\n"), std::string::npos);
    EXPECT_NE(text.find("LameQualityVBR=-300\r\n"), std::string::npos);
    EXPECT_NE(text.find("G726BPS=7\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Tip="), std::string::npos);

    CSettings back = CSettings::Initial(home.path);
    ASSERT_TRUE(back.Load(home.path));
    EXPECT_EQ(back.OUTPUT.Volume, static_cast<int16_t>(-1));
    EXPECT_EQ(back.MP3.LameQualityVBR, -300);
    EXPECT_EQ(back.AAC.CTCbr, 256000);
    EXPECT_EQ(back.OTHER.Freq[17], 3);
    EXPECT_EQ(back.MISC.DbClk, -1);
    EXPECT_EQ(back.CUSTOM.Parameter, s.CUSTOM.Parameter);
    EXPECT_EQ(back.FREEDB.Username, s.FREEDB.Username);

    struct stat st {};
    ASSERT_EQ(stat((home.path + "/Quarrow.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds the proxy password
    EXPECT_FALSE(fs::exists(home.path + "/Quarrow.ini.tmp"));
}

TEST(Settings, LoadFollowsProfileFileRules) {
    TempHome home;
    home.Write(
        "; a comment the user wrote\r\n"
        "[misc]\r\n"
        "  visualization = 5  \r\n"
        "DriveNum=12abc\r\n"
        "DriveCount=abc\r\n"
        "[OUTPUT]\n"
        "Separator=-*-\n"
        "NorPer=70000\n"
        "DesDir=" + std::string(300, 'd') + "\n"
        "[Extra]\n"
        "Keep=me\n");
    CSettings s = CSettings::Initial(home.path);
    ASSERT_TRUE(s.Load(home.path));
    EXPECT_EQ(s.MISC.Visualization, 5);           // names are case-insensitive, blanks trimmed
    EXPECT_EQ(s.MISC.DriveNum, 12);               // read like atoi
    EXPECT_EQ(s.MISC.DriveCount, 0);              // no number at all: the default
    EXPECT_EQ(s.MISC.DbClk, 1);                   // missing key: the default, not the initial -1
    EXPECT_EQ(s.DISC.GrabOnErrorRetries, 0);
    EXPECT_EQ(s.OUTPUT.Separator, "-*");          // cut to two characters
    EXPECT_EQ(s.OUTPUT.NorPer, static_cast<int16_t>(70000));  // stored in the field's width
    EXPECT_EQ(s.OUTPUT.DesDir, std::string(255, 'd'));
    EXPECT_EQ(s.FREEDB.LocalCDDBDir, home.path + "/Local CDDB");

    ASSERT_TRUE(s.Save(home.path));
    const std::string text = home.Read();
    EXPECT_NE(text.find("; a comment the user wrote"), std::string::npos);
    EXPECT_NE(text.find("[Extra]\r\nKeep=me"), std::string::npos);
    EXPECT_NE(text.find("visualization=5"), std::string::npos);  // the key keeps its spelling
    // The existing lower-case section is reused, not doubled.
    EXPECT_EQ(text.find("[MISC]"), std::string::npos);
}

TEST(Settings, DamagedFilesNeverStopLoading) {
    TempHome home;
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
    const char tail[] = "\n[DISC]\nRipModePreset=\0x3\nRipOnErrorAction=2";
    garbage.append(tail, sizeof tail - 1);
    home.Write(garbage);
    CSettings s = CSettings::Initial(home.path);
    EXPECT_TRUE(s.Load(home.path));
    EXPECT_EQ(s.DISC.RipOnErrorAction, 2);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 2);

    home.Write(std::string("[FREEDB]\nEmail=a\0b@c\n", 22));
    ASSERT_TRUE(s.Load(home.path));
    EXPECT_EQ(s.FREEDB.Email, "a");  // a read stops at the first NUL
}

TEST(Settings, FailuresAreReportedWithTheirText) {
    TempHome home;
    CEventLog log;
    CSettings s = CSettings::Initial(home.path);
    std::string error;
    EXPECT_FALSE(s.Load(home.path + "/missing", &log, &error));
    EXPECT_EQ(error.rfind("Error on loading settings!", 0), 0u);
    EXPECT_FALSE(s.Save(home.path + "/no/such/folder", &log, &error));
    EXPECT_EQ(error.rfind("Error on saving settings!", 0), 0u);
    EXPECT_NE(error.find("no/such/folder"), std::string::npos);
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].message, "Error on loading settings!");
    EXPECT_EQ(entries[0].level, 1);
    EXPECT_EQ(entries[1].message, "Error on saving settings!");
}

TEST(Settings, TextAccessForTheCommandLine) {
    CSettings s = CSettings::Initial("/h");
    std::string v;
    EXPECT_TRUE(SetSettingText(s, "output", "outputformat", "5"));
    EXPECT_EQ(s.OUTPUT.OutputFormat, 5);
    EXPECT_FALSE(SetSettingText(s, "OUTPUT", "OutputFormat", "mp3"));
    EXPECT_FALSE(SetSettingText(s, "OUTPUT", "NoSuchKey", "1"));
    EXPECT_TRUE(SetSettingText(s, "OUTPUT", "Separator", "abcd"));
    EXPECT_EQ(s.OUTPUT.Separator, "ab");
    EXPECT_TRUE(GetSettingText(s, "OTHER", "Channel17", v));
    EXPECT_EQ(v, "1");
}

TEST(IniFile, IntegersAreReadLikeAtoi) {
    EXPECT_EQ(ParseLeadingInt("  -42xyz"), -42);
    EXPECT_EQ(ParseLeadingInt("+7"), 7);
    EXPECT_EQ(ParseLeadingInt("4294967295"), -1);  // wraps as a 32-bit value
    EXPECT_FALSE(ParseLeadingInt("").has_value());
    EXPECT_FALSE(ParseLeadingInt("-").has_value());
    EXPECT_FALSE(ParseLeadingInt("x1").has_value());
    EXPECT_TRUE(ParseLeadingInt(std::string(5000, '9')).has_value());

    IniFile ini;
    ini.Set("S", "K", "line\r\nbreak");
    IniFile again;
    again.Parse(ini.Serialize());
    EXPECT_EQ(again.Get("s", "k").value_or(""), "line  break");
}
