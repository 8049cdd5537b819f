// End to end: `rip --plan` prints the job of each command and writes nothing; `rip` writes
// bit-identical files, replaces a file only when told to, and fails with the driver's
// message on an unwritable destination.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/DiscImage.h"
#include "support/HttpTestServer.h"
#include "support/ReferenceChecksums.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

using namespace quarrow::discimage;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Runs quarrow-cli with the arguments after `--home HOME --drive CUE rip`.
ProcessResult Rip(const std::string& home, const std::string& cue, std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home, "--drive", cue, "rip"});
    return RunCli(args);
}

// The samples of a WAV file as little-endian bytes, to compare with the image's sectors.
std::vector<uint8_t> WavData(const std::string& path) {
    std::vector<uint8_t> bytes;
    for (int16_t s : quarrow::support::ReadShorts(path))
        bytes.insert(bytes.end(), {static_cast<uint8_t>(s & 0xff), static_cast<uint8_t>((s >> 8) & 0xff)});
    return bytes;
}

void WriteIni(const std::string& home, const std::string& output) {
    fs::create_directories(home);
    std::ofstream(home + "/Quarrow.ini", std::ios::trunc) << "[OUTPUT]\nOutputFormat=1\nNotify=0\n" << output;
}

// The image's AccurateRip file (one pressing, every track's v2 checksum with this
// confidence) at its address, and its CUETools database entry, each worked out from the
// public descriptions.
void ServeDatabases(quarrow::test::HttpTestServer& server, const DiscImage& img, uint32_t confidence) {
    std::vector<std::vector<int16_t>> pcm;
    for (std::size_t t = 0; t < img.starts.size(); ++t) {
        const int32_t end = t + 1 < img.starts.size() ? img.starts[t + 1] : img.totalSectors;
        const std::vector<uint8_t> b = ReadBinSectors(img.binPath, img.starts[t], end - img.starts[t]);
        pcm.emplace_back(b.size() / 2);
        for (std::size_t i = 0; i < pcm.back().size(); ++i)
            pcm.back()[i] = static_cast<int16_t>(b[2 * i] | b[2 * i + 1] << 8);
    }
    const uint32_t n = static_cast<uint32_t>(pcm.size()), leadOut = static_cast<uint32_t>(img.totalSectors);
    uint32_t id1 = leadOut, id2 = leadOut * (n + 1), digits = 0;
    std::string toc;
    for (uint32_t t = 0; t < n; ++t) {
        const uint32_t start = static_cast<uint32_t>(img.starts[t]);
        id1 += start, id2 += std::max(start, 1u) * (t + 1);
        for (uint32_t s = (start + 150) / 75; s; s /= 10) digits += s % 10;
        toc += std::to_string(start) + ":";
    }
    const uint32_t cddb = (digits % 255) << 24 | ((leadOut + 150) / 75 - (img.starts[0] + 150) / 75) << 8 | n;
    std::string file(1, static_cast<char>(n));
    auto le = [&file](uint32_t v) { for (int i = 0; i < 4; ++i) file += static_cast<char>(v >> (8 * i)); };
    le(id1), le(id2), le(cddb);
    for (uint32_t t = 0; t < n; ++t) {
        const auto sums = quarrow::reference::Sums(pcm[t], t == 0, t + 1 == n);
        file += static_cast<char>(confidence), le(sums.arV2), le(sums.frame450);
    }
    char path[96];
    std::snprintf(path, sizeof path, "/%x/%x/%x/dBAR-%03u-%08x-%08x-%08x.bin", id1 & 15, id1 >> 4 & 15, id1 >> 8 & 15,
                  n, id1, id2, cddb);
    server.Serve(path, file);
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", quarrow::reference::CueToolsCrc(pcm));
    server.Serve("/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=" + toc + std::to_string(leadOut),
                 "<?xml version=\"1.0\"?><ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"><entry confidence=\"30\" "
                 "crc32=\"" + std::string(crc) + "\" id=\"1\"/></ctdb>");
}

}  // namespace

TEST(RipPlanCli, PrintsTheJobOfEachCommand) {
    ScratchDir dir;
    const std::string home = dir.path() + "/home";
    // The demo disc prints nothing but its JSON.
    ProcessResult made = RunCli({"--home", home, "make-demo-disc", dir.path() + "/disc", "--json"});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string cue = json::parse(made.out)["cue"];
    auto plan = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home, "--drive", cue, "rip", "--plan"});
        return RunCli(args);
    };
    auto planJson = [&](std::vector<std::string> args) {
        args.push_back("--json");
        ProcessResult r = plan(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return json::parse(r.out);
    };

    json range = planJson({"--range", "100-9000"});
    EXPECT_EQ(range["start_offset"], 99);
    // The entries' total is exactly the range, 8901 sectors.
    EXPECT_EQ(range["entries"].back()["cumulative_end"], 8901L * 1176);
    EXPECT_TRUE(range["output_path"].get<std::string>().ends_with("Sector 100 to 9000.mp3"));

    json checked = planJson({"--checked", "2,4-5"});
    const json& entries = checked["entries"];
    ASSERT_EQ(entries.size(), 3u);
    const long tracks[] = {1, 3, 4};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i]["session"], 0);
        EXPECT_EQ(entries[i]["track"], tracks[i]);
    }
    // Per-track files are named by the naming scheme (default: artist/album/NN-title).
    EXPECT_NE(entries[2]["destination"].get<std::string>().find("/05-"), std::string::npos);

    // A data track in the list is refused as a click on its box is; the others are planned.
    ImageLayout mixed = AudioLayout({900, 900, 900});
    mixed.tracks[1].data = true;
    const DiscImage withData = WriteDiscImage(dir.path(), "mixed", mixed);
    ProcessResult refused = RunCli({"--home", home, "--drive", withData.cuePath, "rip", "--plan", "--json",
                                    "--checked", "1-3"});
    ASSERT_EQ(refused.status, 0) << refused.err;
    EXPECT_EQ(refused.err, "Warning: Only Audio Track can be Checked!\n");
    const json planned = json::parse(refused.out)["entries"];
    ASSERT_EQ(planned.size(), 2u);
    EXPECT_EQ(planned[1]["track"], 2);
    EXPECT_NE(quarrow::support::ReadFile(home + "/Quarrow.log").find(" Warning: only audio track can be checked!\r\n"),
              std::string::npos);

    json single = planJson({"--all", "--single", dir.path() + "/all.flac"});
    EXPECT_EQ(single["output_path"], dir.path() + "/all.flac");
    EXPECT_EQ(single["last_track"], 4);

    ProcessResult image = plan({"--image"});
    EXPECT_EQ(image.status, 0);
    EXPECT_NE(image.out.find("one output file"), std::string::npos);
    // None of the plans made the output folder.
    EXPECT_FALSE(fs::exists(home + "/Output"));

    // Refused before anything is planned, with the bad value named: ranges outside the
    // disc's sectors 1-10533 or reversed, and outputs that are not one regular file.
    fs::create_directories(dir.path() + "/folder");
    const std::string blocker = dir.path() + "/disc/Quarrow Demo.bin";
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--selected", "9"}, "--selected 9"},  {{"--checked", "1,x"}, "\"x\""},
        {{"--all", "--image"}, "exactly one"},   {{"--range", "5"}, "\"5\""},
        {{"--range", "1000-500"}, "1-10533"},    {{"--range", "0-10"}, "1-10533"},
        {{"--range", "1-10534"}, "1-10533"},     {{"--all", "--single", "/dev/full"}, "/dev/full\" is not a regular"},
        {{"--all", "--single", dir.path() + "/folder/"}, "folder/\" names a folder"},
        {{"--all", "--single", dir.path() + "/folder"}, "folder\" is a folder"},
        {{"--all", "--single", blocker + "/x.wav"}, "Quarrow Demo.bin\" is not a folder"}};
    for (const auto& [args, message] : bad) {
        ProcessResult r = plan(args);
        EXPECT_EQ(r.status, 64) << args.back();
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() + "/folder/.mp3"));

    // The demo disc replaces its own files, never someone else's.
    EXPECT_EQ(RunCli({"--home", home, "make-demo-disc", dir.path() + "/disc"}).status, 0);
    std::ofstream(cue) << "mine";
    ProcessResult r = RunCli({"--home", home, "make-demo-disc", dir.path() + "/disc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(cue), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(cue), 4u);
}

TEST(CliRip, EveryTrackAndATrackRangeToWavAreBitIdentical) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({400, 751, 300}));
    const std::string home = dir.path() + "/home";
    quarrow::test::HttpTestServer databases;
    ServeDatabases(databases, img, 7);
    WriteIni(home, "DesDir=" + dir.path() + "/out/\n[VERIFY]\nLookup=1\nAccurateRipURL=" + databases.Url() +
                       "\nCTDBURL=" + databases.Url() + "\n");

    ProcessResult r = Rip(home, img.cuePath, {"--all"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // Each track is found in the loopback databases; the rip log beside the files is intact
    // until one character of it changes.
    for (const char* line : {"Track  1: accurately ripped (confidence 7) [v2, pressing 1 of 1]\n",
                             "Track  3: accurately ripped (confidence 7)", "All tracks accurately ripped\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    const std::size_t at = r.out.find("Rip log: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string ripLog = r.out.substr(at + 9, r.out.find('\n', at) - at - 9);
    std::string text = quarrow::support::ReadFile(ripLog);
    EXPECT_NE(text.find("  CUETools:       accurately ripped (confidence 30)"), std::string::npos) << text;
    EXPECT_EQ(RunCli({"--home", home, "verify-log", ripLog}).status, 0);
    text[text.find("confidence 7")] = 'k';
    quarrow::support::WriteFile(ripLog, text);
    EXPECT_EQ(RunCli({"--home", home, "verify-log", ripLog}).status, 1);
    // verify reads the image again without writing audio and finds the same.
    const ProcessResult verified = RunCli({"--home", home, "--drive", img.cuePath, "verify"});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_NE(verified.out.find("Track  2: accurately ripped (confidence 7)"), std::string::npos) << verified.out;
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

TEST(CliRip, UnwritableDestinationFailsNamingThePathAndReason) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({200}));
    const std::string home = dir.path() + "/home", dest = "DesDir=" + dir.path() + "/blocker/out/\n";
    std::ofstream(dir.path() + "/blocker") << "a file, not a folder";
    // Without the playlist the folder check meets the file and names it with the system's reason.
    WriteIni(home, "M3U=0\n" + dest);
    ProcessResult r = Rip(home, img.cuePath, {"--all"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("error: Error: " + dir.path() + "/blocker"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("error: An error occurred while encoding"), std::string::npos) << r.err;
    // With it, the playlist cannot be opened first, which ends the encode.
    WriteIni(home, "M3U=1\n" + dest);
    r = Rip(home, img.cuePath, {"--all"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("error: An error occurred while encoding"), std::string::npos) << r.out << r.err;
}

// An existing output file or cue sheet is replaced only with --overwrite or --yes.
TEST(CliRip, ExistingFilesAreReplacedOnlyWhenAsked) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({100}));
    const std::string home = dir.path() + "/home", out = dir.path() + "/one.wav", sheet = dir.path() + "/one.cue";
    WriteIni(home, "CueSheet=1\n");
    for (const std::string& mine : {out, sheet}) {
        fs::remove(out), fs::remove(sheet);
        std::ofstream(mine) << "mine";
        ProcessResult r = Rip(home, img.cuePath, {"--image", "--single", out});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("not replacing \"" + mine + "\""), std::string::npos) << r.err;
        EXPECT_EQ(fs::file_size(mine), 4u);
        for (const char* yes : {"--overwrite", "--yes"}) {
            ASSERT_EQ(Rip(home, img.cuePath, {"--image", "--single", out, yes}).status, 0) << yes;
            EXPECT_EQ(WavData(out), ReadBinSectors(img.binPath, 0, 100));
            std::ofstream(mine) << "mine";
        }
    }
}
