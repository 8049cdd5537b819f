// The drive-independent rules of CdDrive, exercised on the simulated drive: the
// session/track cursor, reading within a track, rereads and the error actions,
// medium changes, and the grabber's drive selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>

#include "app/ComponentError.h"
#include "app/SimulatedDrive.h"

using namespace quarrow;

namespace {

SimDisc Disc(const std::string& text, bool present = true) {
    SimDisc disc;
    SimIdentity ident;
    std::string error;
    EXPECT_TRUE(ParseSimDisc(text, disc, ident, present, &error)) << error;
    return disc;
}

// The sector of each block of a read, -1 for a sector of silence; a sector whose frames
// do not run on from its first fails the test.
std::vector<int64_t> SectorsOf(const std::vector<int16_t>& s) {
    std::vector<int64_t> sectors;
    EXPECT_EQ(s.size() % kSamplesPerSector, 0u);
    for (size_t at = 0; at + kSamplesPerSector <= s.size(); at += kSamplesPerSector) {
        const bool silent = std::all_of(&s[at], &s[at] + kSamplesPerSector, [](int16_t v) { return v == 0; });
        const int64_t first = SimulatedFramePosition(s[at], s[at + 1]);
        EXPECT_TRUE(silent || SimulatedFramePosition(s[at + 1174], s[at + 1175]) == first + 587);
        sectors.push_back(silent ? -1 : first / 588);
    }
    return sectors;
}

std::vector<int64_t> Sectors(int64_t first, int count) {
    std::vector<int64_t> sectors(count);
    std::iota(sectors.begin(), sectors.end(), first);
    return sectors;
}

// The cursor's track in one line: session/number, type, start, length, time, sector size, ISRC.
std::string Here(CdDrive& d) {
    return std::to_string(d.TrackSession()) + "/" + std::to_string(d.TrackNumber()) + " type " +
           std::to_string(d.TrackType()) + " at " + std::to_string(d.TrackStart()) + " +" +
           std::to_string(d.TrackSectors()) + " " + std::to_string(d.TrackMinutes()) + ":" +
           std::to_string(d.TrackSeconds()) + " " + std::to_string(d.SectorBytes()) + " " + d.Isrc();
}

// A refreshed simulated drive that records its medium changes and rereads, and the buffers of its reads.
struct Rig : CdDriveListener {
    explicit Rig(const std::string& disc, bool present = true) : drive(Disc(disc), SimIdentity{}, present) {
        drive.SetListener(this);
        drive.RefreshDisc();
    }
    void OnMediumChanged() override { ++changes; }
    void OnReadRetry(int16_t attempt, int32_t sector) override {  // calling back in must not deadlock
        retries.emplace_back(attempt, sector), seenTrack = drive.TrackNumber(); }
    std::vector<int64_t> Read(int sectors) { return drive.ReadSectors(sectors, samples, status), SectorsOf(samples); }
    SimulatedDrive drive;
    int changes = 0, seenTrack = -1;
    std::vector<std::pair<int16_t, int32_t>> retries;
    std::vector<int16_t> samples;
    int32_t status = -1;
};

}  // namespace

TEST(CdDriveCursor, SessionsTracksAndTheirProperties) {
    SimulatedDrive drive(Disc("# an enhanced CD\nmedia 1\ntrack audio 4575 USRC17607839\ntrack audio 4576\n"
                              "track audio 40\nsession\ntrack mode2 3000\n"));
    EXPECT_EQ(drive.DiscState(), kNoDisc);  // nothing known before the first refresh
    drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState() * 10 + drive.MediaType(), kRecognizedDisc * 10 + 1);
    ASSERT_EQ(drive.SessionCount(), 2);
    EXPECT_EQ(Here(drive), "0/0 type 0 at 0 +4575 1:1 2352 USRC17607839");
    drive.SetCurrentTrack(2);
    EXPECT_EQ(Here(drive), "0/2 type 0 at 9151 +40 0:0 2352 ");
    // Numbers count over the whole disc; the second session starts after the 11400-sector gap.
    drive.SetCurrentSession(1);
    EXPECT_EQ(Here(drive), "1/3 type 2 at 20591 +3000 0:40 2336 ");
    EXPECT_EQ(drive.SessionTrackCount(), 1);
    EXPECT_EQ(drive.Layout().leadOut, 20591 + 3000);
    // Selecting something that is not there is a failed call that leaves the cursor.
    EXPECT_THROW(drive.SetCurrentTrack(1), ComponentError);
    for (int bad : {2, -1}) EXPECT_THROW(drive.SetCurrentSession(bad), ComponentError);
    EXPECT_EQ(Here(drive), "1/3 type 2 at 20591 +3000 0:40 2336 ");

    // A new disc puts the cursor on it; a disc without tracks is present but not recognised.
    drive.InsertDisc(Disc("track audio 100\n")), drive.RefreshDisc();
    EXPECT_EQ(Here(drive), "0/0 type 0 at 0 +100 0:1 2352 ");
    drive.InsertDisc(SimDisc{}), drive.RefreshDisc();
    EXPECT_EQ(drive.DiscState(), kUnrecognizedDisc);
    EXPECT_EQ(drive.SessionCount() + drive.SessionTrackCount(), 0);
    EXPECT_EQ(Here(drive), "0/0 type -1 at 0 +0 0:0 2352 ");
    EXPECT_THROW(drive.BeginRead(), ComponentError);
}

TEST(CdDriveReading, BlocksStayInsideTheTrackFollowSeekAndShareTheCursor) {
    Rig r("start 150\ntrack audio 33\ntrack audio 100\ntrack audio 50\n");
    r.drive.SetCurrentTrack(1), r.drive.BeginRead();
    std::vector<int64_t> sectors;
    for (int block = 0; block < 7; ++block) {
        const std::vector<int64_t> got = r.Read(16);
        EXPECT_TRUE(r.status == kReadOk && got.size() == (block < 6 ? 16u : 4u)) << block;
        sectors.insert(sectors.end(), got.begin(), got.end());
    }
    EXPECT_EQ(sectors, Sectors(183, 100));  // never a sector of the next track
    // seek (-1: BeginRead), count -> the sectors read.
    const struct { int32_t seek; int count; std::vector<int64_t> got; } seeks[] = {
        {97, 10, Sectors(280, 3)}, {0, 1, {183}}, {100, 1, {}}, {-1, 0, {}}, {-1, 2, {183, 184}}};
    for (const auto& s : seeks) {
        s.seek < 0 ? r.drive.BeginRead() : r.drive.Seek(s.seek);
        EXPECT_EQ(r.Read(s.count), s.got) << s.seek;
    }
    for (int32_t bad : {101, -1}) EXPECT_THROW(r.drive.Seek(bad), ComponentError);
    // Two threads sharing the cursor read each sector once, in whole blocks.
    std::vector<std::atomic<int>> reads(100);
    r.drive.BeginRead();
    auto reader = [&] {
        std::vector<int16_t> samples;
        for (int32_t status; r.drive.ReadSectors(3, samples, status);)
            for (int64_t sector : SectorsOf(samples)) ++reads[std::clamp<int64_t>(sector - 183, 0, 99)];
    };
    std::thread a(reader), b(reader);
    a.join(), b.join();
    EXPECT_TRUE(std::all_of(reads.begin(), reads.end(), [](const std::atomic<int>& n) { return n == 1; }));
}

TEST(CdDriveReading, RereadsAndErrorActionsOnUnreadableSectors) {
    // A sector of `track` failing `failures` times (-1: always); a read of `count` from `from`
    // returns the sectors `got` (-1: one of silence) and `status`, then a read of one sector
    // `next` (none: failed).
    struct Case { int action, retries, failures; int32_t bad; int track, from, count; std::vector<int64_t> got;
                  int32_t status; std::vector<int64_t> next; };
    const Case cases[] = {
        {kErrorStop, 3, -1, 27, 1, 0, 10, Sectors(20, 7), kReadFailed, {}},  // stays on the bad sector
        {kErrorSilence, 3, -1, 27, 1, 0, 10, {20, 21, 22, 23, 24, 25, 26, -1, 28, 29}, kReadOk, {30}},
        {kErrorCut, 3, -1, 27, 1, 0, 10, {20, 21, 22, 23, 24, 25, 26, 28, 29}, kReadOk, {30}},
        {kErrorStop, 5, 2, 12, 0, 10, 4, Sectors(10, 4), kReadOk, {14}},  // two rereads, then the sector
        // No rereads: the action at once; the sector has used up its failure.
        {kErrorStop, 0, 1, 3, 0, 0, 8, Sectors(0, 3), kReadFailed, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("action " + std::to_string(c.action) + ", sector " + std::to_string(c.bad));
        Rig r("track audio 20\ntrack audio 30\n");
        r.drive.SetCurrentTrack(c.track), r.drive.SetErrorAction(c.action), r.drive.SetReadRetries(c.retries);
        r.drive.SetUnreadable(c.bad, c.failures);
        r.drive.BeginRead(), r.drive.Seek(c.from);
        EXPECT_EQ(r.Read(c.count), c.got);
        EXPECT_EQ(r.status, c.status);
        // Each reread announced with its attempt and the absolute sector, from inside the read.
        const int announced = c.failures < 0 ? c.retries : std::min(c.failures, c.retries);
        std::vector<std::pair<int16_t, int32_t>> expected;
        for (int i = 1; i <= announced; ++i) expected.emplace_back(i, c.bad);
        EXPECT_EQ(r.retries, expected);
        EXPECT_EQ(r.seenTrack, announced ? c.track : -1);
        EXPECT_EQ(r.Read(1), c.next);
        EXPECT_EQ(r.status, c.next.empty() ? kReadFailed : kReadOk);
    }
}

TEST(CdDriveMedium, NoDiscAndADiscTakenOutUnderAReader) {
    Rig r("track audio 75\n", false);
    r.samples = {1, 2, 3};
    EXPECT_EQ(r.drive.ReadSectors(4, r.samples, r.status) + r.samples.size(), 0u);
    EXPECT_EQ(r.status, kReadNoDisc);
    r.drive.InsertDisc(Disc("track audio 75\n")), r.drive.RefreshDisc();
    EXPECT_EQ(r.drive.DiscState(), kRecognizedDisc);
    // Taking the disc out under a reader that still has the old layout fails the read.
    r.drive.BeginRead(), r.drive.EjectDisc();
    EXPECT_EQ(r.changes, 2);
    EXPECT_EQ(r.Read(4), std::vector<int64_t>{});
    EXPECT_EQ(r.status, kReadFailed);
}

TEST(CdGrabberDrives, SelectionIsOneBasedAndChecked) {
    CdGrabber grabber;
    EXPECT_THROW(grabber.Drive(), ComponentError);
    for (const char* name : {"first", "second"})
        grabber.Add(std::make_unique<SimulatedDrive>(SimDisc{}, SimIdentity{.name = name}));
    EXPECT_EQ(grabber.Drive().DriveName(), "first");
    grabber.SetCurrentDrive(2);
    EXPECT_EQ(grabber.Drive().DriveName() + grabber.DriveAt(1).DriveName(), "secondfirst");
    for (int bad : {3, 0}) EXPECT_THROW(grabber.SetCurrentDrive(bad), ComponentError);
    EXPECT_THROW(grabber.DriveAt(3), ComponentError);
    EXPECT_EQ(grabber.CurrentDrive(), 2);
}
