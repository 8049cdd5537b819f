// The image drives on generated images: cue sheets read by CueDrive (one BIN, one file
// per track, WAVE files, pregaps) and cdrdao TOC files read through libcdio. Tables of
// contents, identification, ISRCs, and reads that reproduce the files' bytes exactly.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>

#include "app/CdioDrive.h"
#include "support/DiscImage.h"

using namespace quarrow;
using namespace quarrow::discimage;
using support::WriteFile;

namespace {

std::unique_ptr<CdDrive> OpenImage(const std::string& path) {
    std::string error;
    auto drive = OpenCdioDrive(path, &error);
    EXPECT_TRUE(drive) << error;
    if (drive) drive->RefreshDisc();
    return drive;
}

// A cdrdao TOC over an image's BIN (audio tracks only; libcdio takes the names in it
// from the working folder, so the path is absolute); returns its path.
std::string WriteToc(const DiscImage& img, const ImageLayout& layout) {
    std::string toc = "CD_DA\n";
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        toc += "TRACK AUDIO\n";
        if (!layout.tracks[t].isrc.empty()) toc += "ISRC \"" + layout.tracks[t].isrc + "\"\n";
        toc += "AUDIOFILE \"" + img.binPath + "\" " + Msf(img.starts[t]) + " " + Msf(layout.tracks[t].sectors) + "\n";
    }
    const std::string path = img.binPath.substr(0, img.binPath.size() - 4) + ".toc";
    WriteFile(path, toc);
    return path;
}

// Reads the current track by ReadPosition, as a rip does, in blocks of `block` sectors;
// the samples come back as little-endian bytes.
std::string ReadTrack(CdDrive& drive, int block, int32_t& status) {
    std::vector<int16_t> samples;
    std::string all;
    status = kReadOk, drive.BeginRead();
    while (drive.ReadPosition() < drive.TrackSectors() && status == kReadOk) {
        drive.ReadSectors(block, samples, status);
        for (int16_t s : samples) all += {char(uint16_t(s) & 0xFF), char(uint16_t(s) >> 8)};
    }
    drive.EndRead();
    return all;
}

std::string BinBytes(const DiscImage& img, int32_t lba, int32_t count) {
    return support::ReadFile(img.binPath).substr(size_t(lba) * 2352, size_t(count) * 2352);
}

// Deterministic audio for a test file: differs by seed, sector and byte.
std::string Pcm(uint32_t seed, int32_t sectors) {
    std::string s(static_cast<size_t>(sectors) * 2352, '\0');
    for (uint32_t i = 0; i < s.size(); ++i) s[i] = char(((seed * 7919u + i) * 2654435761u) >> 23);
    return s;
}

void WriteWav(const std::string& path, const std::string& pcm, int channels = 2) {
    SF_INFO info{0, 44100, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_TRUE(f) << path;
    sf_write_raw(f, pcm.data(), static_cast<sf_count_t>(pcm.size()));  // little-endian 16-bit, as the disc's
    sf_close(f);
}

struct CueFile {
    std::string name, type;      // BINARY, MOTOROLA or WAVE; "" for a decoy the sheet does not name
    int32_t sectors;
};

// Writes the files (audio seeded by their position) and returns the disc they make.
std::string WriteCueFiles(const std::string& dir, const std::vector<CueFile>& files) {
    std::string disc;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string pcm = Pcm(static_cast<uint32_t>(i + 1), files[i].sectors);
        const std::string path = dir + "/" + files[i].name;
        disc += files[i].type.empty() ? "" : pcm;
        if (files[i].type == "MOTOROLA")
            for (size_t b = 0; b + 1 < pcm.size(); b += 2) std::swap(pcm[b], pcm[b + 1]);
        files[i].type == "WAVE" ? WriteWav(path, pcm) : WriteFile(path, pcm);
    }
    return disc;
}

struct RetryLog : CdDriveListener {
    void OnMediumChanged() override {}
    void OnReadRetry(int16_t a, int32_t s) override {
        ++events, maxAttempt = std::max<int>(maxAttempt, a), minSector = std::min(minSector, s); }
    int events = 0, maxAttempt = 0, minSector = 1 << 30;
};

}  // namespace

TEST(CdioDrive, TableOfContentsTrackTypesAndIsrcs) {
    ScratchDir dir;
    ImageLayout layout;  // data tracks, a track under a second, 4575 sectors are 1:01
    layout.catalog = "0724384260910";
    layout.tracks = {{true, 400, {}, {}}, {false, 40, "GBAYE6700149", {}}, {true, 300, {}, {}},
                     {false, 4575, {}, {}}, {false, 4576, "USRC17607839", {}}};
    const DiscImage img = WriteDiscImage(dir.path(), "disc", layout);
    auto drive = OpenImage(img.cuePath);
    ASSERT_TRUE(drive);
    EXPECT_EQ(std::make_pair(drive->DiscState(), drive->SessionCount()), std::make_pair(int(kRecognizedDisc), 1));
    ASSERT_EQ(drive->SessionTrackCount(), 5);
    for (int t = 0; t < 5; ++t) {
        const ImageTrack& want = layout.tracks[t];
        drive->SetCurrentTrack(t);
        EXPECT_EQ(std::make_tuple(drive->TrackStart(), drive->TrackSectors(), drive->TrackType(), drive->SectorBytes(),
                                  drive->Isrc(), drive->TrackMinutes() * 60 + drive->TrackSeconds()),
                  std::make_tuple(img.starts[t], want.sectors, want.data ? kTrackMode1 : kTrackAudio,
                                  want.data ? 2048 : 2352, want.isrc, want.sectors / 75)) << "track " << t;
    }
    EXPECT_EQ(drive->Layout().leadOut, img.totalSectors);
    EXPECT_EQ(drive->EntryText() + "|" + drive->DriveName(), "Image  disc.cue  BIN/CUE|" + img.cuePath);
}

TEST(CdioDrive, ReadsAreBitIdenticalToTheImageInEveryMode) {
    ScratchDir dir;
    for (bool toc : {false, true}) {
        ImageLayout layout;
        // libcdio reads the TOC image with paranoia in the corrected modes.
        layout.tracks = {{false, 300, {}, {}}, {!toc, 120, {}, {}}, {false, 40, "USRC17607839", {}}, {false, 517, {}, {}}};
        const DiscImage img = WriteDiscImage(dir.path(), toc ? "bits-toc" : "bits", layout);
        auto drive = OpenImage(toc ? WriteToc(img, layout) : img.cuePath);
        ASSERT_TRUE(drive);
        drive->SetCurrentTrack(2);
        EXPECT_EQ(drive->Isrc(), "USRC17607839");
        for (int mode = kReadPlay; mode <= kReadParanoid; ++mode) {
            drive->SetReadMode(mode), drive->SetReadRetries(5);
            for (int t = 0; t < 4; ++t) {
                SCOPED_TRACE("toc " + std::to_string(toc) + " mode " + std::to_string(mode) + " track " +
                             std::to_string(t));
                drive->SetCurrentTrack(t);
                int32_t status = -1;
                // Odd block sizes make the reads straddle the track end.
                const std::string got = ReadTrack(*drive, mode == kReadParanoid ? 1 : 7 + mode * 9, status);
                EXPECT_EQ(status, kReadOk);
                EXPECT_TRUE(got == BinBytes(img, img.starts[t], layout.tracks[t].sectors));
            }
        }
    }
}

TEST(CdioDrive, CueSheetsMakeOneDiscOfTheFilesTheyName) {
    // An entry of no type is a decoy, not part of the disc.
    struct Case { const char* what; std::vector<CueFile> files; std::string sheet; std::vector<int32_t> starts; };
    const Case cases[] = {
        {"WAVE files, gaps at the end of the file before",
         {{"1.wav", "WAVE", 120}, {"2.wav", "WAVE", 90}, {"3.wav", "WAVE", 60}},
         "FILE \"1.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 00 00:01:20\n"
         "FILE \"2.wav\" WAVE\n  INDEX 01 00:00:00\n TRACK 03 AUDIO\n  ISRC USRC17607839\n  INDEX 00 00:01:00\n"
         "FILE \"3.wav\" WAVE\n  INDEX 01 00:00:00\n",
         {0, 120, 210}},
        {"INDEX 00 pregaps and hidden audio before track 1 in one big-endian file",
         {{"sheet.bin", "", 250}, {"disc.raw", "MOTOROLA", 250}},  // a decoy under the sheet's name
         "FILE disc.raw MOTOROLA\n TRACK 01 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:00:30\n"
         " TRACK 02 AUDIO\n  INDEX 00 00:01:00\n  INDEX 01 00:01:50\n"
         " TRACK 03 AUDIO\n  INDEX 00 00:02:10\n  INDEX 01 00:02:40\n",
         {30, 125, 190}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::string disc = WriteCueFiles(dir.path(), c.files);
        WriteFile(dir.file("sheet.cue"), c.sheet);
        auto drive = OpenImage(dir.file("sheet.cue"));
        ASSERT_TRUE(drive);
        EXPECT_EQ(drive->Layout().leadOut * 2352, static_cast<int32_t>(disc.size()));
        ASSERT_EQ(drive->SessionTrackCount(), static_cast<int>(c.starts.size()));
        std::string read;
        for (size_t t = 0; t < c.starts.size(); ++t) {
            drive->SetCurrentTrack(static_cast<int>(t));
            EXPECT_EQ(drive->TrackStart(), c.starts[t]) << "track " << t + 1;
            int32_t status = -1;
            read += ReadTrack(*drive, 13, status);
            EXPECT_EQ(status, kReadOk);
        }
        EXPECT_TRUE(read == disc.substr(static_cast<size_t>(c.starts[0]) * 2352)) << "the audio differs";
    }
}

TEST(CdioDrive, UnusableImagesGiveAnErrorNamingTheFileAtFault) {
    ScratchDir dir;
    const auto sheet = [&](const std::string& name, const std::string& file, const std::string& type) {
        WriteFile(dir.file(name), "FILE \"" + file + "\" " + type + "\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n" +
                                      " TRACK 02 AUDIO\n  INDEX 01 00:02:00\n");
        return dir.file(name);
    };
    WriteCueFiles(dir.path(), {{"short.bin", "BINARY", 150}, {"lonely.bin", "BINARY", 10}});
    WriteWav(dir.file("mono.wav"), Pcm(1, 300), 1);
    WriteFile(dir.file("garbage.cue"), "FILE \"\xff\xfe\" WAVE\nTRACK 99999 RUBBISH\nINDEX x\n");

    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {dir.file("nothing here.cue"), {}}, {dir.file("garbage.cue"), {"line 2"}}, {dir.file("lonely.bin"), {"lonely.cue"}},
        {sheet("named.cue", "Not There.bin", "BINARY"), {"\"Not There.bin\""}},
        {sheet("short.cue", "short.bin", "BINARY"), {"\"short.bin\"", "shorter", "150"}},
        {sheet("mono.cue", "mono.wav", "WAVE"), {"\"mono.wav\"", "16-bit stereo"}},
    };
    for (const auto& [path, words] : cases) {
        std::string error;
        EXPECT_FALSE(OpenCdioDrive(path, &error)) << path;
        EXPECT_NE(error.find("\"" + path + "\""), std::string::npos) << error;
        for (const std::string& w : words) EXPECT_NE(error.find(w), std::string::npos) << error;
    }
}

TEST(CdioDrive, ADamagedImageFollowsTheErrorActionAndTheReadEnds) {
    // The disc was read whole; then the end of its data goes missing. The cue drive
    // rereads each lost sector, then stops or gives silence. libcdio's paranoia retries by
    // itself: whatever it makes of the loss, the read ends with only the image's audio or
    // silence, and never more than the track.
    const struct { bool toc; int mode, action; } cases[] = {
        {false, kReadBurst, kErrorStop}, {false, kReadBurst, kErrorSilence}, {true, kReadParanoid, kErrorStop}};
    ScratchDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("toc " + std::to_string(c.toc) + " action " + std::to_string(c.action));
        const ImageLayout layout = AudioLayout({120});
        const DiscImage img = WriteDiscImage(dir.path(), "d" + std::to_string(n++), layout);
        const std::string original = BinBytes(img, 0, 120);
        auto drive = OpenImage(c.toc ? WriteToc(img, layout) : img.cuePath);
        ASSERT_TRUE(drive);
        std::filesystem::resize_file(img.binPath, 78 * 2352);  // mid-block for 8-sector reads
        RetryLog log;
        drive->SetListener(&log), drive->SetReadMode(c.mode), drive->SetErrorAction(c.action), drive->SetReadRetries(2);
        int32_t status = kReadOk;
        const std::string all = ReadTrack(*drive, c.toc ? 4 : 8, status);
        drive->SetListener(nullptr);
        EXPECT_LE(all.size(), 120u * 2352);
        for (size_t sec = 0; sec < all.size() / 2352; ++sec) {
            const std::string got = all.substr(sec * 2352, 2352);
            EXPECT_TRUE(got == original.substr(sec * 2352, 2352) ||
                        (sec >= (c.toc ? 68u : 78u) && got.find_first_not_of('\0') == std::string::npos)) << sec;
        }
        if (c.toc) continue;
        const bool stop = c.action == kErrorStop;
        EXPECT_EQ(std::make_tuple(log.minSector, log.maxAttempt, log.events), std::make_tuple(78, 2, stop ? 2 : 84));
        EXPECT_EQ(status, stop ? kReadFailed : kReadOk);
        EXPECT_EQ(all.size(), (stop ? 78u : 120u) * 2352);  // two rereads per lost sector
    }
}
