// End to end: quarrow-cli's start-up, shutdown, `info` and `lookup` on generated disc images.
#include <gtest/gtest.h>

#include <discid/discid.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "app/CdDrive.h"
#include "app/Settings.h"
#include "app/TrackKey.h"
#include "support/DiscImage.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using namespace quarrow;
using namespace quarrow::discimage;
using namespace quarrow::testsupport;
using nlohmann::json;
using quarrow::support::ReadFile;

namespace {

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

// Audio tracks of these lengths; one of them data, and the first with an ISRC, when given.
ImageLayout Layout(const std::vector<int32_t>& sectors, int dataTrack = -1, const std::string& isrc = "") {
    ImageLayout l = AudioLayout(sectors);
    if (dataTrack >= 0) l.tracks[static_cast<std::size_t>(dataTrack)].data = true;
    l.tracks[0].isrc = isrc;
    return l;
}

}  // namespace

TEST(CliStartUp, FreshHomeGetsSettingsAndALogInTheirLayout) {
    ScratchDir dir;
    DiscImage image = WriteDiscImage(dir.path(), "disc", AudioLayout({1000, 2000}));
    const std::string home = dir.path() + "/home";

    ProcessResult r = RunCli({"--home", home, "--drive", image.cuePath, "drives"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("disc.cue"), std::string::npos) << r.out;

    // At the exit the settings are saved with the initial values: DbClk asks, five rereads.
    // (The file's key layout and the log's line format are the writers' own tests.)
    const std::string ini = ReadFile(home + "/Quarrow.ini");
    for (const char* want : {"DbClk=-1\r\n", "GrabOnErrorRetries=5\r\n", "DriveCount=1\r\nDriveNum=1\r\n"})
        EXPECT_NE(ini.find(want), std::string::npos) << want;

    // The log: banner, the start-up entries numbered from 1 (not the launch entry), the
    // closing entry and the five blank lines.
    const std::string log = ReadFile(home + "/Quarrow.log");
    const std::string stars(60, '*');
    EXPECT_EQ(log.rfind(stars + "\r\n" + stars + "\r\n***************Quarrow 3.1.0****************\r\nStarting Time: ", 0),
              0u)
        << log;
    EXPECT_EQ(log.find("Lauching Quarrow..."), std::string::npos);
    for (const char* want : {"\r\n#  1 ", " Initializing main dialog...\r\n", " Find drive \"", " CD drives are found !\r\n"})
        EXPECT_NE(log.find(want), std::string::npos) << want;
    EXPECT_TRUE(log.ends_with("Closing Quarrow...\r\n\r\n\r\n\r\n\r\n\r\n")) << log;

    // A second run loads the file, logs that, and keeps counting from 1 again.
    ASSERT_EQ(RunCli({"--home", home, "--drive", image.cuePath, "drives"}).status, 0);
    const std::string second = ReadFile(home + "/Quarrow.log");
    EXPECT_NE(second.find("#  1 "), second.rfind("#  1 "));
    EXPECT_NE(second.find(" Quarrow settings loaded.\r\n"), std::string::npos);
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
    std::vector<int32_t> lengths;
    for (int i = 0; i < 99; ++i) lengths.push_back(76 + (i * 37) % 200);
    const std::vector<std::pair<std::string, ImageLayout>> layouts = {
        {"one", Layout({3000})},
        {"short", Layout({2000, 40, 1500}, -1, "QZDA52600001")},   // a track shorter than one second
        {"datafirst", Layout({1200, 900, 1100}, 0)},
        {"datamiddle", Layout({1200, 900, 1100, 700}, 2)},
        {"ninetynine", Layout(lengths)}};
    for (const auto& [name, layout] : layouts) {
        SCOPED_TRACE(name);
        DiscImage image = WriteDiscImage(dir.path(), name, layout);
        ProcessResult r = RunCli({"--home", home, "--drive", image.cuePath, "info", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const json info = json::parse(r.out);
        const std::string id = FreeDbIdOf(image), state = info["media_state"];
        EXPECT_EQ(info["disc_id"], id);
        EXPECT_EQ(state.rfind("Recognized Disc: CD-ROM   " + id + "  Length: ", 0), 0u) << state;
        // No record of the disc: the album holds the default titles, and says so.
        EXPECT_EQ(info["album"]["source"], "default");
        const json& tracks = info["tracks"];
        ASSERT_EQ(tracks.size(), layout.tracks.size());
        for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
            const json& t = tracks[i];
            const ImageTrack& want = layout.tracks[i];
            EXPECT_EQ(t["number"], i + 1);
            EXPECT_EQ(t["session"], 1);
            EXPECT_EQ(t["sectors"], want.sectors);
            EXPECT_EQ(t["duration"], FormatSectorTime(want.sectors));
            // Starts are absolute addresses, as the CDDB table has them.
            EXPECT_EQ(t["start"], FormatSectorTime(image.starts[i] + 150));
            const bool audio = !want.data && want.sectors >= 75;
            const int key = t["key"];
            EXPECT_EQ(key >= 1000, audio) << key;
            EXPECT_EQ(key % 1000, static_cast<int>(i));
            EXPECT_EQ(t["type"], want.data ? "Data Track (Mode 1)" : "Audio Track");
            EXPECT_EQ(t["checked"], !want.data);
            if (want.data) { EXPECT_EQ(t["destination"], "Not an audio track"); }
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
    // The drive selection refreshes the disc (reading the ISRCs) before the opening ends.
    const std::string log = ReadFile(dir.path() + "/home/Quarrow.log");
    std::size_t at = 0;
    for (const char* line : {" Set drive ", " Refreshing CD...", " Reading ISRC information of session1 track2...",
                             " Initialization finished.", " Closing Quarrow..."}) {
        const std::size_t next = log.find(line, at);
        EXPECT_NE(next, std::string::npos) << line << "\n" << log;
        at = next == std::string::npos ? at : next;
    }
    EXPECT_EQ(log.find(" Refreshing CD...", log.find(" Initialization finished.")), std::string::npos) << log;
    // Track 1 has no ISRC: N/A.
    for (const std::string& want : {"Disc Media State: Recognized Disc: CD-ROM   " + FreeDbIdOf(image),
                                    std::string("  01"), std::string("01:01.000"), std::string("01:01.013"),
                                    std::string("QZDA52600002"), std::string("N/A")})
        EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
}

// Album text from a record reaches the terminal with its control characters escaped; the
// JSON output keeps it whole.
TEST(CliInfo, AlbumTextIsEscapedOnTheTerminal) {
    ScratchDir dir;
    const std::string home = dir.path() + "/home";
    DiscImage image = WriteDiscImage(dir.path(), "esc", AudioLayout({900, 900}));
    const std::string id = FreeDbIdOf(image), title = "Red\x1b[31m\x1b]0;owned\x07 \xc2\x9b" "2J";
    fs::create_directories(home + "/Local CDDB");
    std::ofstream(home + "/Local CDDB/" + id + ".cddb")
        << "210 rock " << id << " record\n# xmcd\n#\n# Track frame offsets:\n# 150\n# 1050\n#\n# Disc length: "
        << (image.totalSectors + 150) / 75 << " seconds\n# Submitted via: test 1\n#\nDISCID=" << id << "\nDTITLE=Them / "
        << title << "\nDYEAR=1999\nDGENRE=Rock\nTTITLE0=" << title << "\nTTITLE1=Two\nEXTT0=\nEXTT1=\n.\n";
    for (const char* command : {"info", "lookup"}) {
        ProcessResult r = RunCli({"--home", home, "--drive", image.cuePath, command});
        ASSERT_EQ(r.status, 0) << command << r.err;
        EXPECT_NE(r.out.find("Red\\x1b[31m\\x1b]0;owned\\x07 \\xc2\\x9b2J"), std::string::npos) << r.out;
        for (char raw : {'\x1b', '\x07', '\x9b'}) EXPECT_EQ(r.out.find(raw), std::string::npos) << command;
    }
    ProcessResult r = RunCli({"--home", home, "--drive", image.cuePath, "info", "--json"});
    const json album = json::parse(r.out)["album"];
    EXPECT_EQ(album["source"], "local");
    EXPECT_EQ(album["title"], title);
    EXPECT_EQ(album["tracks"][0], title);
}
