// End to end over every output format: a one-second track (the shortest a track list
// counts as audio) is either ripped into a file that a real decoder reads back, or the
// rip is refused before it writes anything (no folder, no playlist, no cue sheet) with
// a message naming what is missing and where.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"
#include "support/Pcm.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

using namespace quarrow::discimage;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesUnder(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    if (!fs::exists(folder, ec)) return files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) files.push_back(e.path().string());
    return files;
}

// At least one sample comes back through ffmpeg or, for containers ffmpeg has no
// demuxer for, through libsndfile.
bool DecodesSamples(const std::string& path) {
    if (!Decode(path).samples.empty()) return true;
    try {
        return !quarrow::support::ReadShorts(path).empty();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

TEST(CliFormats, EveryFormatEitherWritesADecodableFileOrIsRefusedBeforeWriting) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "disc", AudioLayout({75}));
    const std::string home = dir.path() + "/home";
    fs::create_directories(home);
    const nlohmann::json formats = nlohmann::json::parse(RunCli({"--home", home, "formats", "--json"}).out);
    ASSERT_EQ(formats.size(), 31u);

    int written = 0, refused = 0;
    for (const nlohmann::json& f : formats) {
        const int id = f["id"];
        const std::string out = dir.path() + "/out" + std::to_string(id) + "/";
        std::ofstream(home + "/Quarrow.ini", std::ios::trunc)
            << "[OUTPUT]\nNotify=0\nM3U=1\nCueSheet=1\nDesDir=" << out << "\n";
        const ProcessResult r =
            RunCli({"--home", home, "--drive", img.cuePath, "rip", "--all", "--format", std::to_string(id)});
        const std::vector<std::string> files = FilesUnder(out);
        SCOPED_TRACE("format " + std::to_string(id) + ": " + r.err);

        // APE always has a compressor: the user's library or Quarrow's own.
        if (id == static_cast<int>(quarrow::OutputFormatId::APE)) {
            EXPECT_TRUE(f["runnable"].get<bool>());
        }
        if (!f["runnable"].get<bool>()) {
            ++refused;
            const std::string missing = f["missing"];
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.err.find(missing), std::string::npos);
            EXPECT_NE(missing.find(" was not found (looked in "), std::string::npos);
            EXPECT_TRUE(files.empty()) << files.front();
            // A single-output job with its cue sheet is refused before the file is asked for.
            const std::string image = dir.path() + "/image" + std::to_string(id) + "/disc" + f["extension"].get<std::string>();
            const ProcessResult single = RunCli({"--home", home, "--drive", img.cuePath, "rip", "--image", "--single",
                                                 image, "--format", std::to_string(id)});
            EXPECT_NE(single.err.find(missing), std::string::npos) << single.err;
            EXPECT_FALSE(fs::exists(dir.path() + "/image" + std::to_string(id)));
            continue;
        }
        ++written;
        ASSERT_EQ(r.status, 0) << r.out;
        // Beside the file and the playlist, SD2 writes its resource fork as "._NAME".
        std::string audio, playlist;
        for (const std::string& p : files) {
            if (p.ends_with(".m3u")) playlist = p;
            else if (p.ends_with(f["extension"].get<std::string>()) && !fs::path(p).filename().string().starts_with("._"))
                audio = p;
        }
        ASSERT_FALSE(audio.empty()) << files.size() << " files";
        EXPECT_NE(quarrow::support::ReadFile(playlist).find(fs::path(audio).filename().string()), std::string::npos);
        // RAW is headerless: 75 sectors in its default 8-bit sub-format are 88200 bytes.
        if (id == static_cast<int>(quarrow::OutputFormatId::RAW))
            EXPECT_EQ(fs::file_size(audio), 88200u);
        else
            EXPECT_TRUE(DecodesSamples(audio)) << audio;
    }
    // The formats every build carries run here; VQF has no encoder library.
    EXPECT_GE(written, 26);
    EXPECT_GE(refused, 1);
}
