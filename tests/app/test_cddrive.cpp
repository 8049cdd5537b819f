// The drive-independent rules of CdDrive, exercised on the simulated drive: the
// session/track cursor, reading within a track, rereads and the error actions,
// medium changes, and the grabber's drive selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <thread>
#include <utility>

#include "app/ComponentError.h"
#include "app/SimulatedDrive.h"

using namespace quarrow;

namespace {

using Retries = std::vector<std::pair<int16_t, int32_t>>;

SimDisc ParseOrDie(const std::string& text, bool* present = nullptr, SimIdentity* ident = nullptr) {
    SimDisc disc;
    SimIdentity id;
    bool here = true;
    std::string error;
    EXPECT_TRUE(ParseSimDisc(text, disc, ident ? *ident : id, present ? *present : here, &error)) << error;
    return disc;
}

// Absolute frame position of sample frame k of a block read by the simulated drive.
int64_t FrameAt(const std::vector<int16_t>& samples, size_t k) {
    return SimulatedFramePosition(samples[2 * k], samples[2 * k + 1]);
}

// The sector of each block of a read, -1 for a sector of silence; a sector whose frames
// do not run on from its first fails the test.
std::vector<int64_t> SectorsOf(const std::vector<int16_t>& samples) {
    std::vector<int64_t> sectors;
    for (size_t at = 0; at + kSamplesPerSector <= samples.size(); at += kSamplesPerSector) {
        const bool silent = std::all_of(&samples[at], &samples[at] + kSamplesPerSector, [](int16_t v) { return v == 0; });
        const int64_t first = FrameAt(samples, at / 2);
        EXPECT_TRUE(silent || FrameAt(samples, at / 2 + 587) == first + 587);
        sectors.push_back(silent ? -1 : first / 588);
    }
    EXPECT_EQ(samples.size() % kSamplesPerSector, 0u);
    return sectors;
}

// A refreshed simulated drive that records its medium changes and rereads, and the buffers of its reads.
struct Rig : CdDriveListener {
    explicit Rig(const SimDisc& disc, bool present = true) : drive(disc, SimIdentity{}, present) {
        drive.SetListener(this);
        drive.RefreshDisc();
    }
    void OnMediumChanged() override { ++changes; }
    void OnReadRetry(int16_t attempt, int32_t sector) override {
        retries.emplace_back(attempt, sector);
        seenTrack = drive.TrackNumber();  // calling back in must not deadlock
    }
    int Read(int sectors) { return drive.ReadSectors(sectors, samples, status); }
    SimulatedDrive drive;
    int changes = 0, seenTrack = -1;
    Retries retries;
    std::vector<int16_t> samples;
    int32_t status = -1;
};

}  // namespace

TEST(CdDriveCursor, SessionsTracksAndTheirProperties) {
    SimIdentity ident;
    bool present = false;
    const SimDisc disc = ParseOrDie("# an enhanced CD\nvendor  ACME \nmodel Writer 52x\nrevision 1.07\nmedia 1\n"
                                    "track audio 4575 USRC17607839\ntrack audio 4576\ntrack audio 40\n"
                                    "session\ntrack mode2 3000\n",
                                    &present, &ident);
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
    EXPECT_EQ(drive.TrackMinutes() * 100 + drive.TrackSeconds(), 101);
    EXPECT_EQ(drive.Isrc(), "USRC17607839");
    drive.SetCurrentTrack(2);
    EXPECT_EQ(drive.TrackStart(), 4575 + 4576);
    EXPECT_EQ(drive.TrackSectors() * 1000 + drive.TrackMinutes() * 100 + drive.TrackSeconds(), 40000);
    EXPECT_EQ(drive.Isrc(), "");

    drive.SetCurrentSession(1);
    EXPECT_EQ(drive.SessionTrackCount(), 1);
    EXPECT_EQ(drive.TrackNumber(), 3);  // counted over the whole disc
    EXPECT_EQ(drive.TrackType(), kTrackMode2);
    EXPECT_EQ(drive.SectorBytes(), 2336);
    // The second session starts after the 11400-sector gap.
    EXPECT_EQ(drive.TrackStart(), 4575 + 4576 + 40 + 11400);
    EXPECT_EQ(drive.Layout().leadOut, 4575 + 4576 + 40 + 11400 + 3000);
    // Selecting something that is not there is a failed call that leaves the cursor.
    EXPECT_THROW(drive.SetCurrentTrack(1), ComponentError);
    EXPECT_THROW(drive.SetCurrentSession(2), ComponentError);
    EXPECT_THROW(drive.SetCurrentSession(-1), ComponentError);
    EXPECT_EQ(drive.TrackSession(), 1);

    // A new disc puts the cursor on it; a disc without tracks is present but not recognised.
    drive.InsertDisc(ParseOrDie("track audio 100\n"));
    drive.RefreshDisc();
    EXPECT_EQ(drive.TrackSession() * 1000 + drive.TrackSectors(), 100);
    drive.InsertDisc(SimDisc{});
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kUnrecognizedDisc);
    EXPECT_EQ(drive.SessionCount() + drive.SessionTrackCount() + drive.TrackSectors(), 0);
    EXPECT_EQ(drive.TrackType(), -1);
    EXPECT_THROW(drive.BeginRead(), ComponentError);
}

TEST(CdDriveReading, BlocksStayInsideTheTrackAndFollowSeek) {
    Rig r(ParseOrDie("start 150\ntrack audio 33\ntrack audio 100\ntrack audio 50\n"));
    r.drive.SetCurrentTrack(1);
    ASSERT_EQ(r.drive.TrackStart(), 183);
    r.drive.BeginRead();
    std::vector<int> blocks;
    std::vector<int64_t> sectors, expected(100);
    while (const int n = r.Read(16)) {
        ASSERT_EQ(r.status, kReadOk);
        blocks.push_back(n);
        for (int64_t sector : SectorsOf(r.samples)) sectors.push_back(sector);
    }
    std::iota(expected.begin(), expected.end(), 183);
    EXPECT_EQ(sectors, expected);  // never a sector of the next track
    EXPECT_EQ(blocks, (std::vector<int>{16, 16, 16, 16, 16, 16, 4}));

    // seek, count -> the sectors read.
    const struct { int32_t seek; int count; std::vector<int64_t> got; } seeks[] = {
        {97, 10, {280, 281, 282}}, {0, 1, {183}}, {100, 1, {}}};
    for (const auto& s : seeks) {
        r.drive.Seek(s.seek);
        r.Read(s.count);
        EXPECT_EQ(SectorsOf(r.samples), s.got) << s.seek;
    }
    // BeginRead starts over at the first sector; a zero count reads nothing.
    r.drive.BeginRead();
    EXPECT_EQ(r.Read(0), 0);
    r.Read(2);
    EXPECT_EQ(SectorsOf(r.samples), (std::vector<int64_t>{183, 184}));
    EXPECT_THROW(r.drive.Seek(101), ComponentError);
    EXPECT_THROW(r.drive.Seek(-1), ComponentError);
}

TEST(CdDriveReading, RereadsAndErrorActionsOnUnreadableSectors) {
    // A sector of `track` failing `failures` times (-1: always); a read of `count` from `from`
    // returns the sectors `got` (-1: one of silence), then a read of `againCount` returns `again`.
    struct Case { int action, retries, failures; int32_t bad; int track, from, count; std::vector<int64_t> got;
                  int32_t status; int againCount; std::vector<int64_t> again; int32_t againStatus; };
    const Case cases[] = {
        {kErrorStop, 3, -1, 27, 1, 0, 10, {20, 21, 22, 23, 24, 25, 26}, kReadFailed, 1, {}, kReadFailed},
        {kErrorSilence, 3, -1, 27, 1, 0, 10, {20, 21, 22, 23, 24, 25, 26, -1, 28, 29}, kReadOk, 1, {30}, kReadOk},
        {kErrorCut, 3, -1, 27, 1, 0, 10, {20, 21, 22, 23, 24, 25, 26, 28, 29}, kReadOk, 1, {30}, kReadOk},
        {kErrorStop, 5, 2, 12, 0, 10, 4, {10, 11, 12, 13}, kReadOk, 0, {}, kReadOk},  // two rereads, then the sector
        {kErrorStop, 1, 1, 0, 0, 0, 1, {0}, kReadOk, 0, {}, kReadOk},  // one sector: its first read is no reread
        // No rereads: the action at once; the sector has used up its failure.
        {kErrorStop, 0, 1, 3, 0, 0, 8, {0, 1, 2}, kReadFailed, 4, {3, 4, 5, 6}, kReadOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("action " + std::to_string(c.action) + ", sector " + std::to_string(c.bad));
        Rig r(ParseOrDie("track audio 20\ntrack audio 30\n"));
        r.drive.SetCurrentTrack(c.track);
        r.drive.SetErrorAction(c.action);
        r.drive.SetReadRetries(c.retries);
        r.drive.SetUnreadable(c.bad, c.failures);
        r.drive.BeginRead();
        r.drive.Seek(c.from);
        r.Read(c.count);
        EXPECT_EQ(SectorsOf(r.samples), c.got);
        EXPECT_EQ(r.status, c.status);
        // Each reread announced with its attempt and the absolute sector, from inside the read.
        const int announced = c.failures < 0 ? c.retries : std::min(c.failures, c.retries);
        Retries expected;
        for (int i = 1; i <= announced; ++i) expected.emplace_back(i, c.bad);
        EXPECT_EQ(r.retries, expected);
        EXPECT_EQ(r.seenTrack, announced ? c.track : -1);
        // Stop leaves the position on the bad sector; the others went past it.
        if (c.againCount == 0) continue;
        r.Read(c.againCount);
        EXPECT_EQ(SectorsOf(r.samples), c.again);
        EXPECT_EQ(r.status, c.againStatus);
    }
}

TEST(CdDriveMedium, NoDiscTrayAndMediumChanges) {
    Rig r(ParseOrDie("track audio 75\n"), false);
    EXPECT_EQ(r.drive.DiscState(), kNoDisc);
    r.samples = {1, 2, 3};
    EXPECT_EQ(r.Read(4), 0);
    EXPECT_EQ(r.status, kReadNoDisc);
    EXPECT_TRUE(r.samples.empty());

    // Each step, the medium changes it made so far and the state a refresh then finds.
    // A locked tray does not open; opening takes the disc out, closing brings it back.
    const struct { std::function<void(SimulatedDrive&)> step; int changes; int32_t state; } steps[] = {
        {[](SimulatedDrive& d) { d.InsertDisc(ParseOrDie("track audio 75\n")); }, 1, kRecognizedDisc},
        {[](SimulatedDrive& d) { d.LockTray(), d.EjectTray(); }, 1, kRecognizedDisc},
        {[](SimulatedDrive& d) { d.UnlockTray(), d.EjectTray(); }, 2, kNoDisc},
        {[](SimulatedDrive& d) { d.CloseTray(); }, 3, kRecognizedDisc},
    };
    for (const auto& s : steps) {
        s.step(r.drive);
        EXPECT_EQ(r.changes, s.changes);
        r.drive.RefreshDisc();
        EXPECT_EQ(r.drive.DiscState(), s.state) << s.changes;
        EXPECT_EQ(r.drive.TrayOpen(), s.state == kNoDisc);
    }
    // Taking the disc out under a reader that still has the old layout fails the read.
    r.drive.BeginRead();
    r.drive.EjectDisc();
    EXPECT_EQ(r.changes, 4);
    EXPECT_EQ(r.Read(4), 0);
    EXPECT_EQ(r.status, kReadFailed);
}

TEST(CdDriveMedium, ConcurrentReadersSeeWholeBlocks) {
    // Two threads share the cursor; every block must still be a contiguous run of
    // sectors and together they read each sector exactly once.
    Rig r(ParseOrDie("track audio 400\n"));
    r.drive.BeginRead();
    std::vector<int64_t> sectors[2];
    auto reader = [&](int id) {
        std::vector<int16_t> samples;
        int32_t status = 0;
        while (const int n = r.drive.ReadSectors(3, samples, status))
            for (int s = 0; s < n; ++s) {
                ASSERT_EQ(FrameAt(samples, s * 588), FrameAt(samples, 0) + s * 588);
                sectors[id].push_back(FrameAt(samples, s * 588) / 588);
            }
    };
    std::thread a(reader, 0), b(reader, 1);
    a.join(), b.join();
    sectors[0].insert(sectors[0].end(), sectors[1].begin(), sectors[1].end());
    std::sort(sectors[0].begin(), sectors[0].end());
    std::vector<int64_t> expected(400);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(sectors[0], expected);
}

TEST(SimDiscText, BadDescriptionsNameTheLine) {
    SimDisc disc;
    SimIdentity ident;
    bool present = true;
    std::string many, error;
    for (int i = 0; i < 100; ++i) many += "track audio 1\n";
    const struct { std::string text; const char* named; } bad[] = {
        {"track audio 10\nfrobnicate\n", "line 2"}, {"track audio 10\nfrobnicate\n", "frobnicate"},
        {"track audio -5\n", "line 1"}, {"track cassette 10\n", "line 1"},
        {"track audio 99999999999999999999\n", "line 1"}, {"media 9\n", "line 1"}, {many, "99"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ParseSimDisc(b.text, disc, ident, present, &error)) << b.text.substr(0, 30);
        EXPECT_NE(error.find(b.named), std::string::npos) << error;
    }
    ASSERT_TRUE(ParseSimDisc("nodisc\ntrack 22 10\ntrack form1 5 # comment\n", disc, ident, present, &error));
    EXPECT_FALSE(present);
    ASSERT_EQ(disc.tracks.size(), 2u);
    EXPECT_EQ(disc.tracks[0].type, kTrackMode2Form2);
    EXPECT_EQ(disc.tracks[1].type, kTrackMode2Form1);
}

TEST(CdGrabberDrives, SelectionIsOneBasedAndChecked) {
    CdGrabber grabber;
    EXPECT_EQ(grabber.DriveCount() + grabber.CurrentDrive(), 0);
    EXPECT_THROW(grabber.Drive(), ComponentError);
    EXPECT_THROW(grabber.SetCurrentDrive(1), ComponentError);
    for (const char* name : {"first", "second"}) {
        SimIdentity id;
        id.name = name;
        grabber.Add(std::make_unique<SimulatedDrive>(SimDisc{}, id));
    }
    EXPECT_EQ(grabber.DriveCount(), 2);
    EXPECT_EQ(grabber.Drive().DriveName(), "first");
    grabber.SetCurrentDrive(2);
    EXPECT_EQ(grabber.Drive().DriveName(), "second");
    EXPECT_EQ(grabber.DriveAt(1).DriveName(), "first");
    for (int bad : {3, 0}) EXPECT_THROW(grabber.SetCurrentDrive(bad), ComponentError);
    EXPECT_THROW(grabber.DriveAt(3), ComponentError);
    EXPECT_EQ(grabber.CurrentDrive(), 2);
}
