// End to end: `rip --plan` prints the job of each command; `rip` writes bit-identical
// files and fails with the driver's message on an unwritable destination.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/DiscImage.h"
#include "support/MiniJson.h"
#include "support/RunProcess.h"

using namespace quarrow::discimage;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

// Runs quarrow-cli with the arguments after `--home HOME --drive CUE --yes rip`.
ProcessResult Rip(const std::string& home, const std::string& cue, std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home, "--drive", cue, "--yes", "rip"});
    return RunCli(args);
}

// The samples of a WAV file as little-endian bytes, to compare with the image's sectors.
std::vector<uint8_t> WavData(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<int16_t> v(static_cast<std::size_t>(info.frames * info.channels));
    v.resize(static_cast<std::size_t>(sf_read_short(f, v.data(), static_cast<sf_count_t>(v.size()))));
    sf_close(f);
    std::vector<uint8_t> bytes;
    for (int16_t s : v) bytes.insert(bytes.end(), {static_cast<uint8_t>(s & 0xff), static_cast<uint8_t>((s >> 8) & 0xff)});
    return bytes;
}

void WriteIni(const std::string& home, const std::string& output) {
    fs::create_directories(home);
    std::ofstream(home + "/Quarrow.ini", std::ios::trunc) << "[OUTPUT]\nOutputFormat=1\nNotify=0\n" << output;
}

}  // namespace

TEST(RipPlanCli, PrintsTheJobOfEachCommand) {
    ScratchDir dir;
    const std::string home = dir.path() + "/home";
    ASSERT_EQ(RunCli({"--home", home, "make-demo-disc", dir.path() + "/disc"}).status, 0);
    std::string cue;
    for (const auto& e : fs::directory_iterator(dir.path() + "/disc"))
        if (e.path().extension() == ".cue") cue = e.path().string();
    ASSERT_FALSE(cue.empty());
    auto plan = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home, "--drive", cue, "rip", "--plan"});
        return RunCli(args);
    };
    auto planJson = [&](std::vector<std::string> args) {
        args.push_back("--json");
        ProcessResult r = plan(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return Json::Parse(r.out);
    };

    Json range = planJson({"--range", "100-9000"});
    EXPECT_EQ(range["start_offset"].Int(), 99);
    // The entries' total is exactly the range, 8901 sectors.
    EXPECT_EQ(range["entries"].array.back()["cumulative_end"].Int(), 8901L * 1176);
    EXPECT_NE(range["output_path"].string.find("Sector 100 to 9000.mp3"), std::string::npos);

    Json checked = planJson({"--checked", "2,4-5"});
    const auto& entries = checked["entries"].array;
    ASSERT_EQ(entries.size(), 3u);
    const long tracks[] = {1, 3, 4};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i]["session"].Int(), 0);
        EXPECT_EQ(entries[i]["track"].Int(), tracks[i]);
    }
    // Per-track files are named by the naming scheme (default: artist/album/NN-title).
    EXPECT_NE(entries[2]["destination"].string.find("/05-"), std::string::npos);

    Json single = planJson({"--all", "--single", dir.path() + "/all.flac"});
    EXPECT_EQ(single["output_path"].string, dir.path() + "/all.flac");
    EXPECT_EQ(single["last_track"].Int(), 4);

    ProcessResult image = plan({"--image"});
    EXPECT_EQ(image.status, 0);
    EXPECT_NE(image.out.find("one output file"), std::string::npos);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--selected", "9"}, {"--checked", "1,x"},
                                         {"--all", "--image"}, {"--range", "5"}})
        EXPECT_EQ(plan(bad).status, 64) << bad[0];
}

TEST(CliRip, EveryTrackAndATrackRangeToWavAreBitIdentical) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({400, 751, 300}));
    const std::string home = dir.path() + "/home";
    WriteIni(home, "DesDir=" + dir.path() + "/out/\n");

    ProcessResult r = Rip(home, img.cuePath, {"--all"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() + "/out"))
        if (e.path().extension() == ".wav") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 3u) << r.out;
    for (int t = 0; t < 3; ++t) {
        const int32_t len = (t + 1 < 3 ? img.starts[t + 1] : img.totalSectors) - img.starts[t];
        EXPECT_EQ(WavData(files[t]), ReadBinSectors(img.binPath, img.starts[t], len)) << files[t];
    }

    // Tracks 2 and 3 into one file: exactly their sectors.
    const std::string single = dir.path() + "/two.wav";
    r = Rip(home, img.cuePath, {"--checked", "2,3", "--single", single});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(WavData(single), ReadBinSectors(img.binPath, img.starts[1], img.totalSectors - img.starts[1]));
}

TEST(CliRip, UnwritableDestinationFailsWithTheDriversMessage) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({200}));
    const std::string home = dir.path() + "/home", dest = "DesDir=" + dir.path() + "/blocker/out/\n";
    std::ofstream(dir.path() + "/blocker") << "a file, not a folder";
    // Without the playlist the container driver meets the folder and names the file.
    WriteIni(home, "M3U=0\n" + dest);
    ProcessResult r = Rip(home, img.cuePath, {"--all"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("error: Error : could not open file : " + dir.path() + "/blocker/out/"),
              std::string::npos) << r.out << r.err;
    // With it, the playlist cannot be opened first, which ends the encode.
    WriteIni(home, "M3U=1\n" + dest);
    r = Rip(home, img.cuePath, {"--all"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("error: An error occurred while encoding"), std::string::npos) << r.out << r.err;
}
