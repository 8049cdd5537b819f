// The drive-independent rules of CdDrive, exercised on the simulated drive: the
// session/track cursor, reading within a track, rereads and the error actions,
// medium changes, and the grabber's drive selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <utility>

#include "app/ComponentError.h"
#include "app/SimulatedDrive.h"

using namespace quarrow;

namespace {

struct Recorder : CdDriveListener {
    void OnMediumChanged() override { ++changes; }
    void OnReadRetry(int16_t attempt, int32_t sector) override {
        retries.emplace_back(attempt, sector);
        if (drive) seenTrack = drive->TrackNumber();  // calling back in must not deadlock
    }
    int changes = 0;
    std::vector<std::pair<int16_t, int32_t>> retries;
    CdDrive* drive = nullptr;
    int seenTrack = -1;
};

SimDisc ParseOrDie(const std::string& text) {
    SimDisc disc;
    SimIdentity ident;
    bool present = true;
    std::string error;
    EXPECT_TRUE(ParseSimDisc(text, disc, ident, present, &error)) << error;
    return disc;
}

// Absolute frame position of sample frame k of a block read by the simulated drive.
int64_t FrameAt(const std::vector<int16_t>& samples, size_t k) {
    return SimulatedFramePosition(samples[2 * k], samples[2 * k + 1]);
}

// A refreshed simulated drive with a recorder listening, and the buffers of its reads.
struct Rig {
    explicit Rig(const SimDisc& disc) : drive(disc) {
        rec.drive = &drive;
        drive.SetListener(&rec);
        drive.RefreshDisc();
    }
    int Read(int sectors) { return drive.ReadSectors(sectors, samples, status); }
    SimulatedDrive drive;
    Recorder rec;
    std::vector<int16_t> samples;
    int32_t status = -1;
};

const char* kEnhanced =
    "# an enhanced CD: audio session, then a data session\n"
    "vendor  ACME \n"
    "model Writer 52x\n"
    "revision 1.07\n"
    "media 1\n"
    "track audio 4575 USRC17607839\n"
    "track audio 4576\n"
    "track audio 40\n"
    "session\n"
    "track mode2 3000\n";

}  // namespace

TEST(CdDriveCursor, SessionsTracksAndTheirProperties) {
    SimDisc disc;
    SimIdentity ident;
    bool present = false;
    std::string error;
    ASSERT_TRUE(ParseSimDisc(kEnhanced, disc, ident, present, &error)) << error;
    SimulatedDrive drive(disc, ident, present);
    EXPECT_EQ(drive.EntryText(), "ACME  Writer 52x  1.07");
    EXPECT_EQ(drive.DiscState(), kNoDisc);  // nothing known before the first refresh
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kRecognizedDisc);
    EXPECT_EQ(drive.MediaType(), 1);
    ASSERT_EQ(drive.SessionCount(), 2);

    drive.SetCurrentSession(0);
    ASSERT_EQ(drive.SessionTrackCount(), 3);
    drive.SetCurrentTrack(0);
    EXPECT_EQ(drive.TrackStart(), 0);
    EXPECT_EQ(drive.TrackMinutes(), 1);
    EXPECT_EQ(drive.TrackSeconds(), 1);
    EXPECT_EQ(drive.Isrc(), "USRC17607839");
    drive.SetCurrentTrack(2);
    EXPECT_EQ(drive.TrackStart(), 4575 + 4576);
    EXPECT_EQ(drive.TrackSectors(), 40);
    EXPECT_EQ(drive.TrackMinutes(), 0);
    EXPECT_EQ(drive.TrackSeconds(), 0);
    EXPECT_EQ(drive.Isrc(), "");
    EXPECT_EQ(drive.TrackNumber(), 2);

    drive.SetCurrentSession(1);
    EXPECT_EQ(drive.SessionTrackCount(), 1);
    EXPECT_EQ(drive.TrackSession(), 1);
    EXPECT_EQ(drive.TrackNumber(), 3);  // counted over the whole disc
    EXPECT_EQ(drive.TrackType(), kTrackMode2);
    EXPECT_EQ(drive.SectorBytes(), 2336);
    // The second session starts after the 11400-sector gap.
    EXPECT_EQ(drive.TrackStart(), 4575 + 4576 + 40 + 11400);
    EXPECT_EQ(drive.Layout().leadOut, 4575 + 4576 + 40 + 11400 + 3000);

    // Selecting something that is not there is a failed call.
    EXPECT_THROW(drive.SetCurrentTrack(1), ComponentError);
    EXPECT_THROW(drive.SetCurrentSession(2), ComponentError);
    EXPECT_THROW(drive.SetCurrentSession(-1), ComponentError);
    EXPECT_EQ(drive.TrackSession(), 1);  // the cursor did not move
}

TEST(CdDriveCursor, RefreshKeepsTheCursorOnTheNewDisc) {
    SimulatedDrive drive(ParseOrDie(kEnhanced));
    drive.RefreshDisc();
    drive.SetCurrentSession(1);
    drive.SetCurrentTrack(0);
    drive.InsertDisc(ParseOrDie("track audio 100\n"));
    drive.RefreshDisc();
    EXPECT_EQ(drive.SessionCount(), 1);
    EXPECT_EQ(drive.TrackSession(), 0);
    EXPECT_EQ(drive.TrackSectors(), 100);

    // A disc without tracks is present but not recognised; per-track answers are empty.
    drive.InsertDisc(SimDisc{});
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kUnrecognizedDisc);
    EXPECT_EQ(drive.SessionCount(), 0);
    EXPECT_EQ(drive.SessionTrackCount(), 0);
    EXPECT_EQ(drive.TrackSectors(), 0);
    EXPECT_EQ(drive.TrackType(), -1);
    EXPECT_THROW(drive.BeginRead(), ComponentError);
}

TEST(CdDriveReading, BlocksStayInsideTheTrackAndFollowSeek) {
    SimulatedDrive drive(ParseOrDie("start 150\ntrack audio 33\ntrack audio 100\ntrack audio 50\n"));
    drive.RefreshDisc();
    drive.SetCurrentTrack(1);
    const int32_t start = drive.TrackStart();
    ASSERT_EQ(start, 183);
    drive.BeginRead();
    std::vector<int16_t> samples;
    int32_t status = -1;
    int64_t expectFrame = static_cast<int64_t>(start) * 588;
    int total = 0;
    std::vector<int> blocks;
    for (;;) {
        const int n = drive.ReadSectors(16, samples, status);
        ASSERT_EQ(status, kReadOk);
        ASSERT_EQ(samples.size(), static_cast<size_t>(n) * kSamplesPerSector);
        if (n == 0) break;
        blocks.push_back(n);
        for (size_t k = 0; k < samples.size() / 2; ++k, ++expectFrame)
            ASSERT_EQ(FrameAt(samples, k), expectFrame) << "frame " << k << " of block " << blocks.size();
        total += n;
    }
    EXPECT_EQ(total, 100);  // never a sector of the next track
    EXPECT_EQ(blocks, (std::vector<int>{16, 16, 16, 16, 16, 16, 4}));

    drive.Seek(97);
    EXPECT_EQ(drive.ReadSectors(10, samples, status), 3);
    EXPECT_EQ(FrameAt(samples, 0), (start + 97) * 588LL);
    drive.Seek(0);
    EXPECT_EQ(drive.ReadSectors(1, samples, status), 1);
    EXPECT_EQ(FrameAt(samples, 587), start * 588LL + 587);
    drive.Seek(100);
    EXPECT_EQ(drive.ReadSectors(1, samples, status), 0);
    EXPECT_THROW(drive.Seek(101), ComponentError);
    EXPECT_THROW(drive.Seek(-1), ComponentError);

    // BeginRead starts over at the first sector; a zero count reads nothing.
    drive.BeginRead();
    EXPECT_EQ(drive.ReadSectors(0, samples, status), 0);
    EXPECT_EQ(drive.ReadSectors(2, samples, status), 2);
    EXPECT_EQ(FrameAt(samples, 0), start * 588LL);
    drive.EndRead();
}

TEST(CdDriveReading, ErrorActionsOnAnUnreadableSector) {
    const SimDisc disc = ParseOrDie("track audio 20\ntrack audio 30\n");
    const int32_t bad = 20 + 7;  // track 2, offset 7

    struct Case { int action; int sectors; int32_t status; };
    for (const Case c : {Case{kErrorStop, 7, kReadFailed}, Case{kErrorSilence, 10, kReadOk},
                         Case{kErrorCut, 9, kReadOk}}) {
        SCOPED_TRACE("action " + std::to_string(c.action));
        Rig r(disc);
        r.drive.SetCurrentTrack(1);
        r.drive.SetErrorAction(c.action);
        r.drive.SetReadRetries(3);
        r.drive.SetUnreadable(bad);
        r.drive.BeginRead();
        EXPECT_EQ(r.Read(10), c.sectors);
        EXPECT_EQ(r.status, c.status);
        // Three rereads, each announced with its attempt and the absolute sector.
        EXPECT_EQ(r.rec.retries, (std::vector<std::pair<int16_t, int32_t>>{{1, bad}, {2, bad}, {3, bad}}));
        EXPECT_EQ(r.rec.seenTrack, 1);
        ASSERT_EQ(r.samples.size(), static_cast<size_t>(c.sectors) * kSamplesPerSector);
        EXPECT_EQ(FrameAt(r.samples, 6 * 588), (bad - 1) * 588LL);
        if (c.action == kErrorSilence) {
            for (int i = 7 * kSamplesPerSector; i < 8 * kSamplesPerSector; ++i) ASSERT_EQ(r.samples[i], 0);
            EXPECT_EQ(FrameAt(r.samples, 8 * 588), (bad + 1) * 588LL);
        }
        if (c.action == kErrorCut) {
            EXPECT_EQ(FrameAt(r.samples, 7 * 588), (bad + 1) * 588LL);
        }

        // Stop leaves the position on the bad sector; the others went past it.
        const int n = r.Read(1);
        if (c.action == kErrorStop) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(r.status, kReadFailed);
        } else {
            EXPECT_EQ(n, 1);
            EXPECT_EQ(FrameAt(r.samples, 0), (bad + 3) * 588LL);
        }
    }
}

TEST(CdDriveReading, FlakySectorsAndRetryLimits) {
    const SimDisc disc = ParseOrDie("track audio 50\n");
    // Fails twice, then reads: two rereads, the data is the real sector.
    Rig flaky(disc);
    flaky.drive.SetReadRetries(5);
    flaky.drive.SetUnreadable(12, 2);
    flaky.drive.BeginRead();
    flaky.drive.Seek(10);
    EXPECT_EQ(flaky.Read(4), 4);
    EXPECT_EQ(flaky.status, kReadOk);
    EXPECT_EQ(flaky.rec.retries, (std::vector<std::pair<int16_t, int32_t>>{{1, 12}, {2, 12}}));
    EXPECT_EQ(FrameAt(flaky.samples, 2 * 588), 12 * 588LL);

    // One-sector reads: the first read counts as the read, not as a reread.
    Rig single(disc);
    single.drive.SetReadRetries(1);
    single.drive.SetUnreadable(0, 1);
    single.drive.BeginRead();
    EXPECT_EQ(single.Read(1), 1);
    EXPECT_EQ(single.status, kReadOk);
    EXPECT_EQ(single.rec.retries.size(), 1u);

    // No rereads allowed: the error action applies at once and nothing is announced.
    Rig none(disc);
    none.drive.SetReadRetries(0);
    none.drive.SetErrorAction(kErrorStop);
    none.drive.SetUnreadable(3, 1);
    none.drive.BeginRead();
    EXPECT_EQ(none.Read(8), 3);
    EXPECT_EQ(none.status, kReadFailed);
    EXPECT_TRUE(none.rec.retries.empty());
    // The sector has used up its failure: reading again from it succeeds.
    EXPECT_EQ(none.Read(8), 8);
    EXPECT_EQ(none.status, kReadOk);
    EXPECT_EQ(FrameAt(none.samples, 0), 3 * 588LL);
}

TEST(CdDriveMedium, NoDiscTrayAndMediumChanges) {
    SimulatedDrive drive(ParseOrDie("track audio 75\n"), SimIdentity{}, false);
    Recorder rec;
    drive.SetListener(&rec);
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kNoDisc);
    EXPECT_EQ(drive.SessionCount(), 0);
    std::vector<int16_t> samples{1, 2, 3};
    int32_t status = -1;
    EXPECT_EQ(drive.ReadSectors(4, samples, status), 0);
    EXPECT_EQ(status, kReadNoDisc);
    EXPECT_TRUE(samples.empty());

    drive.InsertDisc(ParseOrDie("track audio 75\n"));
    EXPECT_EQ(rec.changes, 1);
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kRecognizedDisc);

    // A locked tray does not open; unlocked, opening takes the disc out and closing
    // brings it back, each a medium change.
    drive.LockTray();
    drive.EjectTray();
    EXPECT_FALSE(drive.TrayOpen());
    EXPECT_EQ(rec.changes, 1);
    drive.UnlockTray();
    drive.EjectTray();
    EXPECT_TRUE(drive.TrayOpen());
    EXPECT_EQ(rec.changes, 2);
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kNoDisc);
    drive.CloseTray();
    EXPECT_EQ(rec.changes, 3);
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kRecognizedDisc);

    // Taking the disc out under a reader that still has the old layout fails the read.
    drive.BeginRead();
    drive.EjectDisc();
    EXPECT_EQ(rec.changes, 4);
    drive.SetErrorAction(kErrorStop);
    EXPECT_EQ(drive.ReadSectors(4, samples, status), 0);
    EXPECT_EQ(status, kReadFailed);
}

TEST(CdDriveMedium, ConcurrentReadersSeeWholeBlocks) {
    SimulatedDrive drive(ParseOrDie("track audio 400\n"));
    drive.RefreshDisc();
    drive.BeginRead();
    // Two threads share the cursor; every block must still be a contiguous run of
    // sectors and together they read each sector exactly once.
    std::vector<int64_t> firsts[2];
    auto reader = [&](int id) {
        std::vector<int16_t> samples;
        int32_t status = 0;
        for (;;) {
            const int n = drive.ReadSectors(3, samples, status);
            if (n == 0) break;
            for (int s = 1; s < n; ++s)
                ASSERT_EQ(FrameAt(samples, s * 588), FrameAt(samples, 0) + s * 588);
            for (int s = 0; s < n; ++s) firsts[id].push_back(FrameAt(samples, s * 588) / 588);
        }
    };
    std::thread a(reader, 0), b(reader, 1);
    a.join();
    b.join();
    std::vector<int64_t> all = firsts[0];
    all.insert(all.end(), firsts[1].begin(), firsts[1].end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 400u);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(all[i], i);
}

TEST(SimDiscText, BadDescriptionsNameTheLine) {
    SimDisc disc;
    SimIdentity ident;
    bool present = true;
    std::string error;
    EXPECT_FALSE(ParseSimDisc("track audio 10\nfrobnicate\n", disc, ident, present, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_NE(error.find("frobnicate"), std::string::npos) << error;
    EXPECT_FALSE(ParseSimDisc("track audio -5\n", disc, ident, present, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    EXPECT_FALSE(ParseSimDisc("track cassette 10\n", disc, ident, present, &error));
    EXPECT_FALSE(ParseSimDisc("track audio 99999999999999999999\n", disc, ident, present, &error));
    EXPECT_FALSE(ParseSimDisc("media 9\n", disc, ident, present, &error));
    std::string many;
    for (int i = 0; i < 100; ++i) many += "track audio 1\n";
    EXPECT_FALSE(ParseSimDisc(many, disc, ident, present, &error));
    EXPECT_NE(error.find("99"), std::string::npos) << error;

    ASSERT_TRUE(ParseSimDisc("nodisc\ntrack 22 10\ntrack form1 5 # comment\n", disc, ident, present, &error));
    EXPECT_FALSE(present);
    ASSERT_EQ(disc.tracks.size(), 2u);
    EXPECT_EQ(disc.tracks[0].type, kTrackMode2Form2);
    EXPECT_EQ(disc.tracks[1].type, kTrackMode2Form1);
}

TEST(CdGrabberDrives, SelectionIsOneBasedAndChecked) {
    CdGrabber grabber;
    EXPECT_EQ(grabber.DriveCount(), 0);
    EXPECT_EQ(grabber.CurrentDrive(), 0);
    EXPECT_THROW(grabber.Drive(), ComponentError);
    EXPECT_THROW(grabber.SetCurrentDrive(1), ComponentError);

    SimIdentity one, two;
    one.name = "first";
    two.name = "second";
    grabber.Add(std::make_unique<SimulatedDrive>(SimDisc{}, one));
    grabber.Add(std::make_unique<SimulatedDrive>(SimDisc{}, two));
    EXPECT_EQ(grabber.DriveCount(), 2);
    EXPECT_EQ(grabber.CurrentDrive(), 1);
    EXPECT_EQ(grabber.Drive().DriveName(), "first");
    grabber.SetCurrentDrive(2);
    EXPECT_EQ(grabber.Drive().DriveName(), "second");
    EXPECT_EQ(grabber.DriveAt(1).DriveName(), "first");
    EXPECT_THROW(grabber.SetCurrentDrive(3), ComponentError);
    EXPECT_THROW(grabber.SetCurrentDrive(0), ComponentError);
    EXPECT_THROW(grabber.DriveAt(3), ComponentError);
    EXPECT_EQ(grabber.CurrentDrive(), 2);
}
