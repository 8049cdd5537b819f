// Reading with a read offset: an image read with offsets either way, by the generic loop
// and through paranoia, gives the disc's PCM shifted by exactly that many samples, silent
// where the shift leaves the disc's audio; rereads and error actions still hold on the
// shifted reads.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "app/CdDrive.h"
#include "app/SimulatedDrive.h"
#include "support/DiscImage.h"

using namespace quarrow;

namespace {

// Stereo frame positions of a read; -1 for a silent frame.
std::vector<int64_t> Frames(const std::vector<int16_t>& s) {
    std::vector<int64_t> f;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        f.push_back(s[i] == 0 && s[i + 1] == 0 ? -1 : SimulatedFramePosition(s[i], s[i + 1]));
    return f;
}

// count frames from first on, or silence with first -1.
void Span(std::vector<int64_t>& f, int64_t first, int64_t count) {
    for (int64_t i = 0; i < count; ++i) f.push_back(first < 0 ? -1 : first + i);
}

}  // namespace

TEST(CdDriveReadOffset, CueImageReadsComeOutShiftedWithSilenceAtTheDiscEnds) {
    discimage::ScratchDir dir;
    // Three audio tracks and a data track, whose sectors a shift never reads as audio.
    discimage::ImageLayout layout = discimage::AudioLayout({300, 200, 150});
    layout.tracks.push_back({true, 100, {}, {}});
    const discimage::DiscImage img = discimage::WriteDiscImage(dir.path(), "disc", layout);
    // The disc's own PCM, read from the BIN file without the program's code.
    const std::vector<uint8_t> bytes = discimage::ReadBinSectors(img.binPath, 0, img.starts[3]);
    std::vector<int16_t> disc(bytes.size() / 2);
    std::memcpy(disc.data(), bytes.data(), bytes.size());
    const int64_t discFrames = static_cast<int64_t>(disc.size() / 2);
    // The same audio as a cdrdao TOC image, which libcdio reads with paranoia in Secure mode.
    std::string toc = "CD_DA\n";
    for (int t = 0; t < 3; ++t)
        toc += "TRACK AUDIO\nAUDIOFILE \"" + img.binPath + "\" " + discimage::Msf(img.starts[t]) + " " +
               discimage::Msf(layout.tracks[t].sectors) + "\n";
    std::ofstream(dir.file("disc.toc")) << toc;

    // Track `track` read from sector `from` for `count` sectors, `block` at a time.
    struct Case { int32_t offset; int track, from, count, block; int64_t before, past; };
    const Case cases[] = {
        {0, 1, 0, 200, 64, 0, 0},
        {+6, 1, 0, 200, 13, 0, 0},           // small, across into the next track
        {-6, 1, 0, 200, 16, 0, 0},           // small, from the track before
        {+1300, 0, 0, 300, 7, 0, 0},         // more than two sectors
        {-1300, 1, 10, 100, 1, 0, 0},        // one sector a read, after a seek
        {-700, 0, 0, 20, 4, 700, 0},         // into the lead-in
        {+667, 2, 0, 150, 48, 0, 667},       // up to the data track
        {+2000, 2, 140, 10, 3, 0, 2000},
    };
    for (const Case& c : cases) for (const bool paranoia : {false, true}) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + ", track " + std::to_string(c.track + 1) +
                     (paranoia ? ", TOC image in Secure mode" : ""));
        std::string error;
        std::unique_ptr<CdDrive> drive = OpenCdioDrive(paranoia ? dir.file("disc.toc") : img.cuePath, &error);
        ASSERT_TRUE(drive) << error;
        std::vector<std::string> said;
        drive->SetStatusSink([&](const std::string& text, int) { said.push_back(text); });
        drive->RefreshDisc();
        drive->SetReadMode(paranoia ? kReadSecure : kReadBurst);
        drive->SetReadOffset(c.offset);
        drive->SetCurrentTrack(c.track);
        drive->BeginRead();
        drive->Seek(c.from);
        std::vector<int16_t> got, block;
        int32_t status = kReadOk;
        while (drive->ReadPosition() < c.from + c.count && status == kReadOk) {
            drive->ReadSectors(std::min(c.block, c.from + c.count - drive->ReadPosition()), block, status);
            got.insert(got.end(), block.begin(), block.end());
        }
        ASSERT_EQ(status, kReadOk);

        std::vector<int16_t> expected;
        const int64_t first = static_cast<int64_t>(img.starts[c.track] + c.from) * 588 + c.offset;
        for (int64_t p = first; p < first + int64_t{c.count} * 588; ++p) {
            const bool on = p >= 0 && p < discFrames;
            expected.push_back(on ? disc[2 * p] : 0);
            expected.push_back(on ? disc[2 * p + 1] : 0);
        }
        EXPECT_TRUE(got == expected) << "first difference at value "
                                     << std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
        EXPECT_EQ(drive->OffsetFill().beforeFirstSector, c.before);
        EXPECT_EQ(drive->OffsetFill().pastLeadOut, c.past);
        drive->EndRead();
        ASSERT_EQ(said.size(), (c.before > 0) + (c.past > 0));
        if (!said.empty()) {
            EXPECT_NE(said[0].find(std::to_string(c.before + c.past) + " samples"), std::string::npos) << said[0];
        }
    }
}

TEST(CdDriveReadOffset, RereadsAndErrorActionsOnAShiftedRead) {
    // Offset +300 on track 2 (sectors 20..49): each sector is the last 288 frames of its
    // raw sector and the first 300 of the next; raw sector 27 is unreadable.
    constexpr int64_t k = 588, s0 = 20 * k + 300;
    struct Case { int action, retries, failures; int32_t status; std::vector<int64_t> frames; };
    std::vector<int64_t> intact, silence, cut, stop;
    Span(intact, s0, 10 * k);
    Span(silence, s0, 6 * k + 288), Span(silence, -1, k), Span(silence, 28 * k, 2 * k + 300);
    Span(cut, s0, 6 * k + 288), Span(cut, -1, 300), Span(cut, 28 * k + 300, 2 * k);  // sector 27 dropped
    Span(stop, s0, 6 * k);                                                         // sector 26 needs raw 27
    const Case cases[] = {
        {kErrorStop, 5, 2, kReadOk, intact},
        {kErrorSilence, 2, -1, kReadOk, silence},
        {kErrorCut, 2, -1, kReadOk, cut},
        {kErrorStop, 2, -1, kReadFailed, stop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("action " + std::to_string(c.action));
        SimDisc disc;
        disc.tracks = {{0, kTrackAudio, 20, {}, {}}, {0, kTrackAudio, 30, {}, {}}};
        SimulatedDrive drive(disc);
        drive.RefreshDisc();
        drive.SetCurrentTrack(1), drive.SetErrorAction(c.action), drive.SetReadRetries(c.retries);
        drive.SetUnreadable(27, c.failures);
        drive.SetReadOffset(300);
        drive.BeginRead();
        std::vector<int16_t> got, block;
        int32_t status = kReadOk;
        for (int i = 0; i < 5 && status == kReadOk; ++i) {   // reads of two sectors
            drive.ReadSectors(2, block, status);
            got.insert(got.end(), block.begin(), block.end());
        }
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(Frames(got), c.frames);
        EXPECT_EQ(drive.ReadPosition(), c.status == kReadOk ? 10 : 6);
    }
}
