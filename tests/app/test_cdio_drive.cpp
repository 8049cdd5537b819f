// The libcdio drive on generated CUE/BIN images: the table of contents, identification,
// ISRCs, and reads that must reproduce the image bytes exactly in every read mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/CdioDrive.h"
#include "support/DiscImage.h"

using namespace quarrow;
using namespace quarrow::discimage;

namespace {

std::unique_ptr<CdDrive> OpenImage(const DiscImage& img) {
    std::string error;
    auto drive = OpenCdioDrive(img.cuePath, &error);
    EXPECT_TRUE(drive) << error;
    if (drive) drive->RefreshDisc();
    return drive;
}

// Reads the drive's current track to the end in blocks of `block` sectors and returns
// the samples as little-endian bytes.
std::vector<uint8_t> ReadTrackBytes(CdDrive& drive, int block, int32_t* status) {
    std::vector<uint8_t> bytes;
    std::vector<int16_t> samples;
    drive.BeginRead();
    *status = kReadOk;
    for (;;) {
        int32_t st = kReadOk;
        const int n = drive.ReadSectors(block, samples, st);
        if (st != kReadOk) *status = st;
        if (n == 0 || st != kReadOk) break;
        for (int16_t s : samples) {
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
        }
    }
    drive.EndRead();
    return bytes;
}

}  // namespace

TEST(CdioDrive, TableOfContentsOfAudioLayouts) {
    ScratchDir dir;
    for (int n : {1, 2, 15, 99}) {
        std::vector<int32_t> lengths;
        for (int i = 0; i < n; ++i) lengths.push_back(n == 99 ? 30 + i : 600 + 75 * i + i % 7);
        const DiscImage img = WriteDiscImage(dir.path(), "disc" + std::to_string(n), AudioLayout(lengths));
        auto drive = OpenImage(img);
        ASSERT_TRUE(drive);
        SCOPED_TRACE("tracks: " + std::to_string(n));
        EXPECT_EQ(drive->DiscState(), kRecognizedDisc);
        EXPECT_EQ(drive->MediaType(), 0);
        EXPECT_EQ(drive->SessionCount(), 1);
        drive->SetCurrentSession(0);
        ASSERT_EQ(drive->SessionTrackCount(), n);
        for (int t = 0; t < n; ++t) {
            drive->SetCurrentTrack(t);
            EXPECT_EQ(drive->TrackStart(), img.starts[t]) << "track " << t;
            EXPECT_EQ(drive->TrackSectors(), lengths[t]) << "track " << t;
            EXPECT_EQ(drive->TrackNumber(), t);
        }
        EXPECT_EQ(drive->Layout().leadOut, img.totalSectors);
        EXPECT_EQ(drive->Layout().sessions[0].back().number, n);
        EXPECT_EQ(drive->IdentA(), "Image");
        EXPECT_EQ(drive->IdentB(), "disc" + std::to_string(n) + ".cue");
        EXPECT_EQ(drive->IdentC(), "BIN/CUE");
        EXPECT_EQ(drive->DriveName(), img.cuePath);
        EXPECT_EQ(drive->EntryText(), "Image  disc" + std::to_string(n) + ".cue  BIN/CUE");
    }
}

TEST(CdioDrive, DataTracksShortTracksAndIsrcs) {
    ScratchDir dir;
    ImageLayout layout;
    layout.catalog = "0724384260910";
    layout.tracks = {{true, 400, {}, {}},
                     {false, 40, "GBAYE6700149", {}},
                     {true, 300, {}, {}},
                     {false, 4575, {}, {}},
                     {false, 4576, "USRC17607839", {}}};
    const DiscImage img = WriteDiscImage(dir.path(), "mixed", layout);
    auto drive = OpenImage(img);
    ASSERT_TRUE(drive);
    ASSERT_EQ(drive->SessionTrackCount(), 5);

    const int types[] = {kTrackMode1, kTrackAudio, kTrackMode1, kTrackAudio, kTrackAudio};
    const int32_t bytes[] = {2048, 2352, 2048, 2352, 2352};
    const char* isrcs[] = {"", "GBAYE6700149", "", "", "USRC17607839"};
    for (int t = 0; t < 5; ++t) {
        drive->SetCurrentTrack(t);
        EXPECT_EQ(drive->TrackType(), types[t]) << "track " << t;
        EXPECT_EQ(drive->SectorBytes(), bytes[t]) << "track " << t;
        EXPECT_EQ(drive->TrackSectors(), layout.tracks[t].sectors) << "track " << t;
        EXPECT_EQ(drive->Isrc(), isrcs[t]) << "track " << t;
    }
    // The 40-sector track is shorter than a second; 4575 sectors are 1:01.
    drive->SetCurrentTrack(1);
    EXPECT_EQ(drive->TrackMinutes(), 0);
    EXPECT_EQ(drive->TrackSeconds(), 0);
    drive->SetCurrentTrack(3);
    EXPECT_EQ(drive->TrackMinutes(), 1);
    EXPECT_EQ(drive->TrackSeconds(), 1);
}

TEST(CdioDrive, ReadsAreBitIdenticalToTheImageInEveryMode) {
    ScratchDir dir;
    ImageLayout layout;
    layout.tracks = {{false, 300, {}, {}}, {true, 120, {}, {}}, {false, 40, {}, {}}, {false, 517, {}, {}}};
    const DiscImage img = WriteDiscImage(dir.path(), "bits", layout);
    auto drive = OpenImage(img);
    ASSERT_TRUE(drive);
    for (int mode = kReadPlay; mode <= kReadParanoid; ++mode) {
        drive->SetReadMode(mode);
        drive->SetReadRetries(5);
        for (int t = 0; t < 4; ++t) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " track " + std::to_string(t));
            drive->SetCurrentTrack(t);
            int32_t status = -1;
            // Odd block sizes make the reads straddle the track end.
            const std::vector<uint8_t> got = ReadTrackBytes(*drive, mode == kReadParanoid ? 1 : 7 + mode * 9, &status);
            EXPECT_EQ(status, kReadOk);
            const std::vector<uint8_t> want = ReadBinSectors(img.binPath, img.starts[t], layout.tracks[t].sectors);
            ASSERT_EQ(got.size(), want.size());
            EXPECT_TRUE(got == want);
        }
    }
}

TEST(CdioDrive, SeekAndReadInCorrectedAndRawModes) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "seek", AudioLayout({200, 150}));
    auto drive = OpenImage(img);
    ASSERT_TRUE(drive);
    for (int mode : {kReadBurst, kReadSecure}) {
        drive->SetReadMode(mode);
        drive->SetCurrentTrack(1);
        drive->BeginRead();
        std::vector<int16_t> samples;
        int32_t status = -1;
        // Jump forward, then back: each read must come from the sector asked for.
        for (int32_t offset : {100, 3, 149}) {
            drive->Seek(offset);
            const int n = drive->ReadSectors(2, samples, status);
            EXPECT_EQ(status, kReadOk);
            EXPECT_EQ(n, offset == 149 ? 1 : 2) << "mode " << mode << " offset " << offset;
            const auto want = ReadBinSectors(img.binPath, img.starts[1] + offset, n);
            ASSERT_EQ(samples.size() * 2, want.size());
            EXPECT_EQ(std::memcmp(samples.data(), want.data(), want.size()), 0)
                << "mode " << mode << " offset " << offset;
        }
        EXPECT_EQ(drive->ReadSectors(5, samples, status), 0);  // at the track end
        drive->EndRead();
    }
}

TEST(CdioDrive, UnopenableImagesGiveAnErrorNamingTheFile) {
    ScratchDir dir;
    std::string error;
    const std::string missing = dir.path() + "/nothing here.cue";
    EXPECT_EQ(OpenCdioDrive(missing, &error), nullptr);
    EXPECT_NE(error.find(missing), std::string::npos) << error;

    // A cue sheet that is not one.
    const std::string garbage = dir.path() + "/garbage.cue";
    std::ofstream(garbage) << "FILE \"\xff\xfe\" WAVE\nTRACK 99999 RUBBISH\nINDEX x\n";
    error.clear();
    EXPECT_EQ(OpenCdioDrive(garbage, &error), nullptr);
    EXPECT_NE(error.find(garbage), std::string::npos) << error;

    // A cue sheet whose BIN file is gone: the message names the missing file.
    const DiscImage img = WriteDiscImage(dir.path(), "orphan", AudioLayout({100}));
    std::filesystem::remove(img.binPath);
    error.clear();
    EXPECT_EQ(OpenCdioDrive(img.cuePath, &error), nullptr);
    EXPECT_NE(error.find(img.cuePath), std::string::npos) << error;
    EXPECT_NE(error.find("orphan.bin"), std::string::npos) << error;

    // A directory is neither a device nor an image.
    error.clear();
    EXPECT_EQ(OpenCdioDrive(dir.path(), &error), nullptr);
    EXPECT_NE(error.find(dir.path()), std::string::npos) << error;
}

namespace {

struct RetryLog : CdDriveListener {
    void OnMediumChanged() override {}
    void OnReadRetry(int16_t attempt, int32_t sector) override {
        ++events;
        maxAttempt = std::max<int>(maxAttempt, attempt);
        minSector = std::min(minSector, sector);
        maxSector = std::max(maxSector, sector);
    }
    int events = 0;
    int maxAttempt = 0;
    int32_t minSector = 1 << 30;
    int32_t maxSector = -1;
};

// Reads the current track by ReadPosition, as a rip does, collecting the samples.
std::vector<int16_t> ReadByPosition(CdDrive& drive, int block, int32_t& status) {
    std::vector<int16_t> samples, all;
    status = kReadOk;
    drive.BeginRead();
    while (drive.ReadPosition() < drive.TrackSectors()) {
        drive.ReadSectors(block, samples, status);
        all.insert(all.end(), samples.begin(), samples.end());
        if (status != kReadOk) break;
    }
    drive.EndRead();
    return all;
}

}  // namespace

TEST(CdioDrive, AnImageThatLosesItsTailFollowsTheErrorAction) {
    ScratchDir dir;
    const DiscImage img = WriteDiscImage(dir.path(), "damaged", AudioLayout({200}));
    const std::vector<uint8_t> original = ReadBinSectors(img.binPath, 0, 200);
    auto drive = OpenImage(img);
    ASSERT_TRUE(drive);
    // The disc was read whole; then the end of its data goes missing. (libcdio still
    // delivers the two sectors just past the end of the file, as silence.)
    std::filesystem::resize_file(img.binPath, 190 * 2352);

    for (int action : {kErrorStop, kErrorSilence, kErrorCut}) {
        SCOPED_TRACE("action " + std::to_string(action));
        RetryLog log;
        drive->SetListener(&log);
        drive->SetReadMode(kReadBurst);
        drive->SetErrorAction(action);
        drive->SetReadRetries(2);
        int32_t status = kReadOk;
        const std::vector<int16_t> all = ReadByPosition(*drive, 8, status);
        drive->SetListener(nullptr);
        const size_t got = all.size() / kSamplesPerSector;
        EXPECT_EQ(std::memcmp(all.data(), original.data(), std::min<size_t>(got, 190) * 2352), 0);
        EXPECT_EQ(log.minSector, 192);
        EXPECT_EQ(log.maxAttempt, 2);
        if (action == kErrorStop) {
            EXPECT_EQ(status, kReadFailed);
            EXPECT_EQ(got, 192u);
            EXPECT_EQ(drive->ReadPosition(), 192);
            EXPECT_EQ(log.events, 2);
        } else {
            EXPECT_EQ(status, kReadOk);
            EXPECT_EQ(drive->ReadPosition(), 200);
            EXPECT_EQ(log.events, 16);  // two rereads for each of the eight lost sectors
            EXPECT_EQ(log.maxSector, 199);
            EXPECT_EQ(got, action == kErrorSilence ? 200u : 192u);
            for (size_t i = 190 * kSamplesPerSector; i < all.size(); ++i) ASSERT_EQ(all[i], 0) << i;
        }
    }
}

TEST(CdioDrive, CorrectedModesEndOnADamagedImage) {
    // Paranoia retries lost data itself; whatever it makes of it, the read ends (the
    // paranoid mode too), delivers only the image's audio or silence, and never more
    // than the track.
    ScratchDir dir;
    for (int mode : {kReadSynch, kReadSecure, kReadParanoid}) {
        for (int action : {kErrorStop, kErrorSilence}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " action " + std::to_string(action));
            const std::string name = "p" + std::to_string(mode) + std::to_string(action);
            const DiscImage img = WriteDiscImage(dir.path(), name, AudioLayout({120}));
            const std::vector<uint8_t> original = ReadBinSectors(img.binPath, 0, 120);
            auto drive = OpenImage(img);
            ASSERT_TRUE(drive);
            std::filesystem::resize_file(img.binPath, 80 * 2352);
            RetryLog log;
            drive->SetListener(&log);
            drive->SetReadMode(mode);
            drive->SetErrorAction(action);
            drive->SetReadRetries(3);
            int32_t status = kReadOk;
            const std::vector<int16_t> all = ReadByPosition(*drive, 4, status);
            drive->SetListener(nullptr);
            const size_t got = all.size() / kSamplesPerSector;
            EXPECT_LE(got, 120u);
            if (status == kReadOk) {
                EXPECT_EQ(drive->ReadPosition(), 120);
            }
            for (size_t sec = 0; sec < got; ++sec) {
                const uint8_t* want = original.data() + sec * 2352;
                const bool same = std::memcmp(&all[sec * kSamplesPerSector], want, 2352) == 0;
                bool silent = true;
                for (int j = 0; j < kSamplesPerSector; ++j) silent = silent && all[sec * kSamplesPerSector + j] == 0;
                EXPECT_TRUE(same || (sec >= 70 && silent)) << "sector " << sec;
            }
        }
    }
}
