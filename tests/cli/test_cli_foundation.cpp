// End to end: quarrow-cli's start-up, shutdown and `info` on generated disc images.
#include <gtest/gtest.h>

#include <discid/discid.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/CdDrive.h"
#include "app/Settings.h"
#include "app/TrackKey.h"
#include "support/DiscImage.h"
#include "support/MiniJson.h"
#include "support/RunProcess.h"

namespace fs = std::filesystem;
using namespace quarrow;
using namespace quarrow::discimage;
using namespace quarrow::testsupport;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string FreeDbIdOf(const DiscImage& image) {
    std::vector<int> offsets(100, 0);
    offsets[0] = image.totalSectors + 150;
    for (std::size_t i = 0; i < image.starts.size(); ++i) offsets[i + 1] = image.starts[i] + 150;
    DiscId* d = discid_new();
    discid_put(d, 1, static_cast<int>(image.starts.size()), offsets.data());
    std::string id = discid_get_freedb_id(d);
    discid_free(d);
    return id;
}

Json InfoJson(const std::string& home, const std::string& cue) {
    ProcessResult r = RunCli({"--home", home, "--drive", cue, "info", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    return Json::Parse(r.out);
}

}  // namespace

TEST(CliStartUp, FreshHomeGetsSettingsAndALogInTheirLayout) {
    ScratchDir dir;
    DiscImage image = WriteDiscImage(dir.path(), "disc", AudioLayout({1000, 2000}));
    const std::string home = dir.path() + "/home";

    ProcessResult r = RunCli({"--home", home, "--drive", image.cuePath, "drives"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("disc.cue"), std::string::npos) << r.out;

    // After the exit the settings file holds every key, in table order.
    std::vector<std::string> expected;
    CSettings s = CSettings::Initial(home);
    VisitSettings(s, [&](const SettingsKey& k) { expected.push_back(std::string(k.section) + "/" + k.key); });
    std::vector<std::string> found;
    std::string section, line;
    std::istringstream ini(ReadFile(home + "/Quarrow.ini"));
    while (std::getline(ini, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') section = line.substr(1, line.size() - 2);
        else if (line.find('=') != std::string::npos && line.rfind("G726BPS", 0) != 0)
            found.push_back(section + "/" + line.substr(0, line.find('=')));
    }
    EXPECT_EQ(found, expected);
    // The first run used the initial values: DbClk asks, five rereads.
    const std::string iniText = ReadFile(home + "/Quarrow.ini");
    EXPECT_NE(iniText.find("DbClk=-1\r\n"), std::string::npos);
    EXPECT_NE(iniText.find("GrabOnErrorRetries=5\r\n"), std::string::npos);
    EXPECT_NE(iniText.find("DriveCount=1\r\nDriveNum=1\r\n"), std::string::npos);

    const std::string log = ReadFile(home + "/Quarrow.log");
    const std::string stars(60, '*');
    EXPECT_EQ(log.rfind(stars + "\r\n" + stars + "\r\n***************Quarrow 3.1.0****************\r\nStarting Time: ", 0),
              0u)
        << log;
    EXPECT_EQ(log.find("Lauching Quarrow..."), std::string::npos);
    EXPECT_NE(log.find(" Initializing main dialog...\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Find drive \""), std::string::npos);
    EXPECT_NE(log.find(" CD drives are found !\r\n"), std::string::npos);
    ASSERT_GE(log.size(), 10u);
    EXPECT_EQ(log.substr(log.size() - 10), "\r\n\r\n\r\n\r\n\r\n");
    const std::size_t closing = log.rfind("Closing Quarrow...\r\n");
    ASSERT_NE(closing, std::string::npos);
    EXPECT_EQ(closing + 20 + 10, log.size());
    // Numbered lines: "#  1 hh:mm:ss message".
    std::istringstream lines(log);
    int numbered = 0, expectedNumber = 1;
    while (std::getline(lines, line)) {
        if (line.rfind("#", 0) != 0) continue;
        EXPECT_EQ(std::stoi(line.substr(1, 3)), expectedNumber++) << line;
        EXPECT_EQ(line[4], ' ');
        EXPECT_EQ(line[7], ':');
        EXPECT_EQ(line[13], ' ');
        ++numbered;
    }
    EXPECT_GE(numbered, 6);

    // A second run loads the file, logs that, and keeps counting from 1 again.
    r = RunCli({"--home", home, "--drive", image.cuePath, "drives"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadFile(home + "/Quarrow.log").find("#  1 "), ReadFile(home + "/Quarrow.log").rfind("#  1 "));
    EXPECT_NE(ReadFile(home + "/Quarrow.log").find(" Quarrow settings loaded.\r\n"), std::string::npos);
}

TEST(CliStartUp, DamagedSettingsAndMissingDrives) {
    ScratchDir dir;
    DiscImage image = WriteDiscImage(dir.path(), "disc", AudioLayout({800}));
    const std::string home = dir.path() + "/home";
    fs::create_directories(home);
    {
        std::ofstream bad(home + "/Quarrow.ini", std::ios::binary);
        for (int i = 0; i < 20000; ++i) bad.put(static_cast<char>((i * 131 + 7) % 256));
        bad << "\n[OUTPUT]\nSeparator=~~~~\nNorPer=oops\n";
    }
    ProcessResult r = RunCli({"--home", home, "--drive", image.cuePath, "info"});
    EXPECT_EQ(r.status, 0) << r.err;
    CSettings s = CSettings::Initial(home);
    ASSERT_TRUE(s.Load(home));
    EXPECT_EQ(s.OUTPUT.Separator, "~~");
    EXPECT_EQ(s.OUTPUT.NorPer, 100);

    // An image that does not exist is named, and with no drive left the program stops.
    if (ListSystemCdDrives().empty()) {
        r = RunCli({"--home", home, "--drive", dir.path() + "/missing.cue", "info"});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("missing.cue"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("CD Drives NOT Found!"), std::string::npos) << r.err;
    }

    r = RunCli({"--home", home, "no-such-command"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no-such-command"), std::string::npos);
}

TEST(CliInfo, ImagesOfManyShapesShowTheirTableAndDiscId) {
    ScratchDir dir;
    const std::string home = dir.path() + "/home";
    std::vector<std::pair<std::string, ImageLayout>> layouts;
    layouts.push_back({"one", AudioLayout({3000})});
    {
        ImageLayout l = AudioLayout({2000, 40, 1500});  // a track shorter than one second
        l.tracks[0].isrc = "QZDA52600001";
        layouts.push_back({"short", l});
    }
    {
        ImageLayout l = AudioLayout({1200, 900, 1100});
        l.tracks[0].data = true;  // data first
        layouts.push_back({"datafirst", l});
    }
    {
        ImageLayout l = AudioLayout({1200, 900, 1100, 700});
        l.tracks[2].data = true;  // data in the middle
        layouts.push_back({"datamiddle", l});
    }
    {
        std::vector<int32_t> lengths;
        for (int i = 0; i < 99; ++i) lengths.push_back(76 + (i * 37) % 200);
        layouts.push_back({"ninetynine", AudioLayout(lengths)});
    }
    for (const auto& [name, layout] : layouts) {
        SCOPED_TRACE(name);
        DiscImage image = WriteDiscImage(dir.path(), name, layout);
        Json info = InfoJson(home, image.cuePath);
        EXPECT_EQ(info["disc_id"].string, FreeDbIdOf(image));
        EXPECT_EQ(info["media_state"].string.rfind("Recognized Disc: CD-ROM   " + FreeDbIdOf(image) + "  Length: ", 0),
                  0u)
            << info["media_state"].string;
        const Json& tracks = info["tracks"];
        ASSERT_EQ(tracks.array.size(), layout.tracks.size());
        for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
            const Json& t = tracks[i];
            const ImageTrack& want = layout.tracks[i];
            EXPECT_EQ(t["number"].Int(), static_cast<long>(i) + 1);
            EXPECT_EQ(t["session"].Int(), 1);
            EXPECT_EQ(t["sectors"].Int(), want.sectors);
            EXPECT_EQ(t["duration"].string, FormatSectorTime(want.sectors));
            // Starts are absolute addresses, as the CDDB table has them.
            EXPECT_EQ(t["start"].string, FormatSectorTime(image.starts[i] + 150));
            const bool audio = !want.data && want.sectors >= 75;
            EXPECT_EQ(t["key"].Int() >= 1000, audio) << t["key"].Int();
            EXPECT_EQ(t["key"].Int() % 1000, static_cast<long>(i));
            EXPECT_EQ(t["type"].string, want.data ? "Data Track (Mode 1)" : "Audio Track");
            EXPECT_EQ(t["checked"].boolean, !want.data);
            if (want.data) {
                EXPECT_EQ(t["destination"].string, "Not an audio track");
            }
        }
    }
}

TEST(CliInfo, TheTableShowsTheListColumns) {
    ScratchDir dir;
    ImageLayout l = AudioLayout({4575, 4576});
    l.tracks[1].isrc = "QZDA52600002";
    DiscImage image = WriteDiscImage(dir.path(), "table", l);
    ProcessResult r = RunCli({"--home", dir.path() + "/home", "--drive", image.cuePath, "info", "--isrc"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Disc Media State: Recognized Disc: CD-ROM   " + FreeDbIdOf(image)), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  01"), std::string::npos);
    EXPECT_NE(r.out.find("01:01.000"), std::string::npos);
    EXPECT_NE(r.out.find("01:01.013"), std::string::npos);
    EXPECT_NE(r.out.find("QZDA52600002"), std::string::npos);
    EXPECT_NE(r.out.find("N/A"), std::string::npos);  // track 1 has no ISRC
}
