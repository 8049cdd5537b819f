#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <sys/stat.h>

#include "app/EventLog.h"
#include "app/IniFile.h"
#include "app/SafeFile.h"
#include "app/Settings.h"
#include "support/DiscImage.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using namespace quarrow;
using support::ReadFile;
using support::WriteFile;

namespace {

// The (section, key) pairs of a file in the order they stand.
std::vector<std::string> KeysInFile(const std::string& text) {
    std::vector<std::string> keys;
    std::string section, line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (line[0] == '[') section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos) keys.push_back(section + "/" + line.substr(0, line.find('=')));
    }
    return keys;
}

std::string Setting(CSettings& s, const std::string& section, const std::string& key) {
    std::string v;
    EXPECT_TRUE(GetSettingText(s, section, key, v)) << section << "/" << key;
    return v;
}

}  // namespace

TEST(Settings, InitialValuesDifferFromDefaultsOnlyWhereTheyShould) {
    CSettings initial = CSettings::Initial("/home/q");
    CSettings defaults = CSettings::Defaults("/home/q");
    EXPECT_EQ(initial.FREEDB.LocalCDDBDir, "/home/q/Local CDDB");
    EXPECT_EQ(initial.OUTPUT.DesDir, "/home/q/Output/");
    EXPECT_EQ(initial.FREEDB.Username.rfind("Unregistered User ", 0), 0u);
    EXPECT_GT(initial.FREEDB.Username.size(), std::string("Unregistered User ").size());
    std::vector<std::string> differing;
    VisitSettings(initial, [&](const SettingsKey& k) {
        const std::string a = Setting(initial, k.section, k.key), b = Setting(defaults, k.section, k.key);
        if (a != b && k.key != "Username") differing.push_back(std::string(k.section) + "/" + k.key + " " + a + "/" + b);
    });
    EXPECT_EQ(differing, (std::vector<std::string>{"MISC/DbClk -1/1", "DISC/GrabOnErrorRetries 5/0"}));
}

TEST(Settings, SaveWritesEveryKeyInTableOrderAndReadsBack) {
    discimage::ScratchDir home;
    CSettings s = CSettings::Initial(home.path());
    s.OUTPUT.Volume = static_cast<int16_t>(65535);  // written unsigned
    s.MP3.LameQualityVBR = -300;                      // 16-bit negative keeps its sign
    s.OTHER.Freq[17] = 3;
    s.CUSTOM.Parameter = "--preset \"x y\" %of%";
    ASSERT_TRUE(s.Save(home.path()));
    const std::string text = ReadFile(home.file("Quarrow.ini"));

    std::vector<std::string> expected;
    VisitSettings(s, [&](const SettingsKey& k) {
        expected.push_back(std::string(k.section) + "/" + k.key);
        if (std::string(k.section) == "WAV" && k.key == "Channel") expected.push_back("WAV/G726BPS");
    });
    EXPECT_EQ(KeysInFile(text), expected);
    EXPECT_EQ(expected.size(), 4u + 3 + 15 + 16 + 4 + 4 + 5 + 25 + 1 + 4 + 1 + 2 + 8 + 22 + 3 + 14 + 72 + 5);
    for (const char* line : {"[MISC]\r\nVisualization=2\r\nDbClk=-1\r\n", "Volume=65535\r\n", "LameQualityVBR=-300\r\n",
                             "G726BPS=7\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("Tip="), std::string::npos);

    CSettings back = CSettings::Initial(home.path());
    ASSERT_TRUE(back.Load(home.path()));
    VisitSettings(back, [&](const SettingsKey& k) {
        EXPECT_EQ(Setting(back, k.section, k.key), Setting(s, k.section, k.key)) << k.section << "/" << k.key;
    });
    struct stat st {};
    ASSERT_EQ(stat(home.file("Quarrow.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds the proxy password
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

TEST(Settings, LoadReadsLikeAProfileFile) {
    discimage::ScratchDir home;
    const char tail[] = "[DISC]\nRipModePreset=\0x3\n[FREEDB]\nEmail=a\0b@c\n";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
    WriteFile(home.file("Quarrow.ini"),
              "; a comment the user wrote\r\n[misc]\r\n  visualization = 5  \r\nDriveNum=12abc\r\n" + garbage +
                  "\n[OUTPUT]\nOutputFormat=abc\nSeparator=-*-\nNorPer=70000\nDesDir=" + std::string(300, 'd') +
                  "\n[Extra]\nKeep=me\n" + std::string(tail, sizeof tail - 1));
    CSettings s = CSettings::Initial(home.path());
    ASSERT_TRUE(s.Load(home.path()));
    const struct { const char* section; const char* key; std::string value; } rows[] = {
        {"MISC", "Visualization", "5"},            // names are case-insensitive, blanks trimmed
        {"MISC", "DriveNum", "12"},                // read like atoi
        {"OUTPUT", "OutputFormat", "0"},           // no digits: 0, as atoi gives, not the default
        {"MISC", "DbClk", "1"},                    // missing key: the default, not the initial -1
        {"DISC", "GrabOnErrorRetries", "0"},
        {"DISC", "RipModePreset", "0"},            // the value stops at its NUL
        {"FREEDB", "Email", "a"},
        {"OUTPUT", "Separator", "-*"},             // cut to its buffer
        {"OUTPUT", "NorPer", "4464"},              // stored in the field's 16 bits
        {"OUTPUT", "DesDir", std::string(255, 'd')},
        {"FREEDB", "LocalCDDBDir", home.path() + "/Local CDDB"},
    };
    for (const auto& r : rows) EXPECT_EQ(Setting(s, r.section, r.key), r.value) << r.section << "/" << r.key;

    ASSERT_TRUE(s.Save(home.path()));
    const std::string text = ReadFile(home.file("Quarrow.ini"));
    for (const char* kept : {"; a comment the user wrote", "[Extra]\r\nKeep=me", "visualization=5"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    EXPECT_EQ(text.find("[MISC]"), std::string::npos);  // the lower-case section is reused
}

TEST(Settings, AFileThatCannotBeReadIsReportedAndNeverSavedOver) {
    struct Case { const char* name; std::function<void(const std::string&)> make; fs::file_type type; const char* reason; };
    const Case cases[] = {
        {"fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, fs::file_type::fifo,
         " is not a regular file"},
        {"link to /dev/zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }, fs::file_type::symlink,
         " is not a regular file"},
        {"folder", [](const std::string& p) { fs::create_directory(p); }, fs::file_type::directory,
         " is not a regular file"},
        {"too large", [](const std::string& p) { WriteFile(p, std::string(IniFile::kMaxFileBytes + 1, ';')); },
         fs::file_type::regular, " is too large"},
    };
    for (const Case& c : cases) {
        for (bool loadFirst : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (loadFirst ? ", loaded" : ", not loaded"));
            discimage::ScratchDir home;
            const std::string path = home.file("Quarrow.ini");
            c.make(path);
            CSettings s = CSettings::Initial(home.path());
            CEventLog log;
            std::string error;
            if (loadFirst) {
                EXPECT_FALSE(s.Load(home.path(), &log, &error));
                EXPECT_EQ(error.rfind("Error on loading settings! " + path + c.reason, 0), 0u) << error;
                EXPECT_NE(error.find("; it will not be saved over at exit"), std::string::npos) << error;
            }
            EXPECT_FALSE(s.Save(home.path(), &log, &error));
            EXPECT_EQ(error.rfind("Error on saving settings! " + path, 0), 0u) << error;
            EXPECT_NE(error.find("; it is left as it is"), std::string::npos) << error;
            EXPECT_EQ(log.Entries().back().message, "Error on saving settings!");
            EXPECT_EQ(log.Entries().back().level, 1);
            EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
            EXPECT_EQ(fs::symlink_status(path).type(), c.type);
        }
    }
    // A file put right after it failed to load is still not saved over: the run holds no values from it.
    discimage::ScratchDir home;
    ASSERT_EQ(mkfifo(home.file("Quarrow.ini").c_str(), 0600), 0);
    CSettings s = CSettings::Initial(home.path());
    EXPECT_FALSE(s.Load(home.path()));
    fs::remove(home.file("Quarrow.ini"));
    WriteFile(home.file("Quarrow.ini"), "[OUTPUT]\nFileStyle=3\n");
    std::string error;
    EXPECT_FALSE(s.Save(home.path(), nullptr, &error));
    EXPECT_EQ(ReadFile(home.file("Quarrow.ini")), "[OUTPUT]\nFileStyle=3\n");
    s = CSettings::Initial("/nonexistent");
    EXPECT_FALSE(s.Save("/nonexistent/no/such/folder", nullptr, &error));
    EXPECT_EQ(error.rfind("Error on saving settings! cannot create /nonexistent/no/such/folder/Quarrow.ini", 0), 0u)
        << error;
}

TEST(Settings, TextAccessChecksEachKeysTypeAndRange) {
    const struct { const char* section; const char* key; const char* value; const char* stored; } rows[] = {
        {"output", "outputformat", "31", "31"}, {"OUTPUT", "OutputFormat", "-5", nullptr},
        {"OUTPUT", "OutputFormat", "0", nullptr}, {"OUTPUT", "OutputFormat", "mp3", nullptr},
        {"OUTPUT", "OutputFormat", "5x", nullptr}, {"OUTPUT", "OutputFormat", " 5", nullptr},
        {"OUTPUT", "FileStyle", "12", "12"}, {"OUTPUT", "FileStyle", "18446744073709551615", nullptr},
        {"OUTPUT", "Volume", "100", "100"}, {"OUTPUT", "Volume", "101", nullptr},
        {"MISC", "DbClk", "-1", "-1"}, {"MISC", "DbClk", "2", nullptr},
        {"OUTPUT", "WriteLog", "2", nullptr}, {"DISC", "GrabOnErrorRetries", "1000", "1000"},
        {"DISC", "GrabOnErrorRetries", "1001", nullptr}, {"AAC", "CTCbr", "2147483647", "2147483647"},
        {"AAC", "CTCbr", "2147483648", nullptr}, {"MP3", "LameQualityVBR", "-32768", "-32768"},
        {"MP3", "LameQualityVBR", "32768", nullptr}, {"OUTPUT", "Separator", "abcd", "ab"},
        {"OUTPUT", "NoSuchKey", "1", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.key) + " = " + r.value);
        CSettings s = CSettings::Initial("/h");
        const std::string before = Setting(s, "OUTPUT", "OutputFormat") + Setting(s, "OUTPUT", "FileStyle");
        std::string error;
        EXPECT_EQ(SetSettingText(s, r.section, r.key, r.value, &error), r.stored != nullptr);
        if (r.stored) {
            EXPECT_EQ(Setting(s, r.section, r.key), r.stored);
        } else {
            EXPECT_NE(error.find(r.key), std::string::npos) << error;
            EXPECT_NE(error.find(std::string(r.key) == "NoSuchKey" ? "no setting" : r.value), std::string::npos) << error;
            EXPECT_EQ(Setting(s, "OUTPUT", "OutputFormat") + Setting(s, "OUTPUT", "FileStyle"), before);
        }
    }
}

TEST(Settings, CommandLineRefusesBadHomesAndValues) {
    discimage::ScratchDir dir;
    const std::string home = dir.file("home");
    const struct { std::vector<std::string> args; int status; const char* message; } rows[] = {
        {{"--home=", "settings", "get", "OUTPUT", "FileStyle"}, 64, "--home needs a folder"},
        {{"--home", home, "settings", "set", "OUTPUT", "FileStyle", "99999999999999999999"}, 64,
         "\"99999999999999999999\" for OUTPUT/FileStyle"},
        {{"--home", home, "settings", "set", "OUTPUT", "FileStyle", "12"}, 0, ""},
    };
    for (const auto& r : rows) {
        // A run that names no usable home stops before start-up: no server list is needed.
        std::vector<std::string> argv{QUARROW_CLI};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        testsupport::ProcessResult p = r.status == 64 && r.args[0] == "--home=" ? testsupport::RunProcess(argv)
                                                                                : testsupport::RunCli(r.args);
        EXPECT_EQ(p.status, r.status) << p.err;
        EXPECT_NE(p.err.find(r.message), std::string::npos) << p.err;
    }
    EXPECT_NE(ReadFile(home + "/Quarrow.ini").find("FileStyle=12\r\n"), std::string::npos);
}

TEST(SafeFile, ReadsOnlyWholeRegularFilesWithinTheBound) {
    discimage::ScratchDir dir;
    WriteFile(dir.file("four"), "abcd");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const struct { std::string path; std::size_t max; const char* result; } rows[] = {
        {dir.file("four"), 4, "abcd"},
        {dir.file("four"), 3, " is too large (4 bytes, at most 3)"},
        {dir.file("fifo"), 100, " is not a regular file"},
        {"/dev/zero", 100, " is not a regular file"},
        {dir.file("missing"), 100, " does not exist"},
    };
    for (const auto& r : rows) {
        std::string contents = "old", error;
        const bool ok = ReadRegularFile(r.path, r.max, contents, error);
        EXPECT_EQ(ok ? contents : error, ok ? r.result : r.path + r.result);
    }
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.file("four"), "xyz", 0640, error)) << error;
    EXPECT_EQ(ReadFile(dir.file("four")), "xyz");
    EXPECT_FALSE(WriteFileAtomically(dir.file("no/such"), "xyz", 0640, error));
    EXPECT_EQ(error.rfind("cannot create " + dir.file("no/such"), 0), 0u) << error;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(IniFile, IntegersAreReadLikeAtoi) {
    const struct { std::string text; std::optional<long> value; } rows[] = {
        {"  -42xyz", -42}, {"+7", 7}, {"4294967295", -1}, {"", std::nullopt}, {"-", std::nullopt},
        {"x1", std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(ParseLeadingInt(r.text), r.value) << r.text.substr(0, 20);
    EXPECT_TRUE(ParseLeadingInt(std::string(5000, '9')).has_value());
    IniFile ini, again;
    ini.Set("S", "K", "line\r\nbreak");
    again.Parse(ini.Serialize());
    EXPECT_EQ(again.Get("s", "k").value_or(""), "line  break");
}
