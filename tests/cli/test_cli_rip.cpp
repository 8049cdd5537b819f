#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "support/DiscImage.h"

using namespace quarrow::discimage;
namespace fs = std::filesystem;

namespace {

int RunCli(const std::string& args, std::string* output = nullptr) {
    const std::string cmd = std::string("'") + QUARROW_CLI + "' " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> WavData(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<int16_t> v(static_cast<std::size_t>(info.frames * info.channels));
    v.resize(static_cast<std::size_t>(sf_read_short(f, v.data(), static_cast<sf_count_t>(v.size()))));
    sf_close(f);
    std::vector<uint8_t> bytes(v.size() * 2);
    for (std::size_t i = 0; i < v.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(v[i] & 0xff);
        bytes[2 * i + 1] = static_cast<uint8_t>((v[i] >> 8) & 0xff);
    }
    return bytes;
}

std::vector<std::string> Wavs(const std::string& dir) {
    std::vector<std::string> v;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().extension() == ".wav") v.push_back(e.path().string());
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST(CliRip, EveryTrackToWavIsBitIdenticalAndAnImageGetsItsCueSheet) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({400, 751, 300}));
    fs::create_directories(dir.path() + "/home");
    std::ofstream(dir.path() + "/home/Quarrow.ini")
        << "[OUTPUT]\nOutputFormat=1\nNotify=0\nDesDir=" << dir.path() << "/out/\n";
    const std::string base = "--home '" + dir.path() + "/home' --drive '" + img.cuePath + "' --yes rip ";

    std::string out;
    ASSERT_EQ(RunCli(base + "--all", &out), 0) << out;
    const auto files = Wavs(dir.path() + "/out");
    ASSERT_EQ(files.size(), 3u) << out;
    for (int t = 0; t < 3; ++t) {
        const int32_t len = (t + 1 < 3 ? img.starts[t + 1] : img.totalSectors) - img.starts[t];
        EXPECT_EQ(WavData(files[t]), ReadBinSectors(img.binPath, img.starts[t], len)) << files[t];
    }

    // Tracks 2 and 3 into one file: exactly their sectors, and a cue sheet beside it.
    const std::string single = dir.path() + "/two.wav";
    ASSERT_EQ(RunCli(base + "--checked 2,3 --single '" + single + "'", &out), 0) << out;
    EXPECT_EQ(WavData(single), ReadBinSectors(img.binPath, img.starts[1], img.totalSectors - img.starts[1]));
    std::ifstream cue(dir.path() + "/two.cue");
    std::string text((std::istreambuf_iterator<char>(cue)), {});
    EXPECT_NE(text.find("INDEX 01 00:10:01"), std::string::npos) << text;   // 751 frames
}

TEST(CliRip, UnwritableDestinationFailsWithTheDriversMessage) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({200}));
    fs::create_directories(dir.path() + "/home");
    std::ofstream(dir.path() + "/blocker") << "a file, not a folder";
    const std::string cmd = "--home '" + dir.path() + "/home' --drive '" + img.cuePath + "' --yes rip --all";
    std::string out;
    // Without the playlist the container driver meets the folder and names the file.
    std::ofstream(dir.path() + "/home/Quarrow.ini")
        << "[OUTPUT]\nOutputFormat=1\nNotify=0\nM3U=0\nDesDir=" << dir.path() << "/blocker/out/\n";
    EXPECT_NE(RunCli(cmd, &out), 0);
    EXPECT_NE(out.find("error: Error : could not open file : " + dir.path() + "/blocker/out/"), std::string::npos)
        << out;
    // With it, the playlist cannot be opened first, which ends the encode.
    std::ofstream(dir.path() + "/home/Quarrow.ini", std::ios::trunc)
        << "[OUTPUT]\nOutputFormat=1\nNotify=0\nM3U=1\nDesDir=" << dir.path() << "/blocker/out/\n";
    EXPECT_NE(RunCli(cmd, &out), 0);
    EXPECT_NE(out.find("error: An error occurred while encoding"), std::string::npos) << out;
}
