// Read offsets end to end: an image whose PCM a drive with a known offset would have
// delivered is searched with the frame-450 checksums of the true PCM (computed by the
// test's own reference sums), by the finder and by quarrow-cli against a loopback
// AccurateRip server, and the offset is found; ripped with that offset set, the image
// gives back the true PCM bit for bit. Also the known-drive list and the per-drive
// setting that choose the offset a drive starts with.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "albuminfo/AccurateRip.h"
#include "app/CdDrive.h"
#include "rip/DriveOffsets.h"
#include "rip/OffsetFinder.h"
#include "support/DiscImage.h"
#include "support/HttpTestServer.h"
#include "support/ReferenceChecksums.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

using namespace quarrow;

TEST(OffsetFinder, FindsAnArtificialOffsetAndARipWithItIsBitExact) {
    for (const int32_t offset : {+667, -1234}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        discimage::ScratchDir dir;
        const discimage::DiscImage img = discimage::WriteDiscImage(dir.path(), "disc", discimage::AudioLayout({600, 520, 700}));
        // The true PCM, silent in its first and last three sectors as discs' edges are, so
        // that the shift loses nothing; the image holds what the drive delivers: true[i - offset] at i.
        std::vector<uint8_t> bytes = discimage::ReadBinSectors(img.binPath, 0, img.totalSectors);
        std::fill(bytes.begin(), bytes.begin() + 3 * 2352, 0);
        std::fill(bytes.end() - 3 * 2352, bytes.end(), 0);
        std::vector<int16_t> truth(bytes.size() / 2);
        std::memcpy(truth.data(), bytes.data(), bytes.size());
        std::vector<uint8_t> delivered(bytes.size(), 0);
        const int64_t shift = int64_t{offset} * 4;
        for (int64_t i = 0; i < static_cast<int64_t>(bytes.size()); ++i)
            if (i - shift >= 0 && i - shift < static_cast<int64_t>(bytes.size())) delivered[i] = bytes[i - shift];
        std::ofstream(img.binPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(delivered.data()), static_cast<std::streamsize>(delivered.size()));

        std::vector<OffsetFinderTrack> tracks;
        for (int t = 0; t < 3; ++t) {
            const auto from = truth.begin() + img.starts[t] * 1176;
            const auto to = t == 2 ? truth.end() : truth.begin() + img.starts[t + 1] * 1176;
            tracks.push_back({t, {reference::Sums(std::vector<int16_t>(from, to), t == 0, t == 2).frame450}});
        }
        std::string error;
        std::unique_ptr<CdDrive> drive = OpenCdioDrive(img.cuePath, &error);
        ASSERT_TRUE(drive) << error;
        drive->RefreshDisc();
        drive->SetReadOffset(6);
        const OffsetFindResult found = FindReadOffset(*drive, tracks);
        EXPECT_EQ(found.tracksTried, 3);
        ASSERT_FALSE(found.matches.empty());
        EXPECT_EQ(found.matches.front().offset, offset);
        EXPECT_EQ(found.matches.front().tracksMatched, 3);
        EXPECT_EQ(drive->ReadOffset(), 6);   // put back after the search
        const std::atomic<bool> stop{true};
        const OffsetFindResult stopped = FindReadOffset(*drive, tracks, &stop);
        EXPECT_TRUE(stopped.stopped && stopped.matches.empty());

        // quarrow-cli finds it too, from the disc's AccurateRip file on a loopback server
        // (one pressing with the frame-450 values), and stores it as the drive's setting;
        // then the whole disc is ripped to one WAV file.
        test::HttpTestServer ar;
        const AccurateRipDiscId id = AccurateRipIdOf(drive->Layout());
        std::string file(1, '\3');
        auto le = [&file](uint32_t v) { for (int i = 0; i < 4; ++i) file += static_cast<char>(v >> (8 * i)); };
        le(id.id1), le(id.id2), le(id.cddbId);
        for (const OffsetFinderTrack& t : tracks) file += '\1', le(0), le(t.frame450[0]);
        ar.Serve(AccurateRipUrl(ar.Url(), id).substr(ar.Url().size()), file);
        const std::string home = dir.path() + "/home";
        std::filesystem::create_directories(home);
        std::ofstream(home + "/Quarrow.ini") << "[OUTPUT]\nOutputFormat=1\nNotify=0\n[VERIFY]\nAccurateRipURL=" << ar.Url() << "\n";
        const std::vector<std::string> base = {"--home", home, "--drive", img.cuePath};
        auto cli = [&](std::vector<std::string> args) {
            args.insert(args.begin(), base.begin(), base.end());
            return testsupport::RunCli(args);
        };
        const testsupport::ProcessResult set = cli({"offset", "find", "--set"});
        ASSERT_EQ(set.status, 0) << set.err;
        EXPECT_NE(set.out.find("Read offset found: " + FormatOffset(offset) + " samples (3 of 3 tracks matched)"),
                  std::string::npos) << set.out;
        const testsupport::ProcessResult shown = cli({"offset", "show"});
        EXPECT_NE(shown.out.find("Read offset: " + FormatOffset(offset) + " samples (your setting)"), std::string::npos)
            << shown.out;
        const std::string wav = dir.path() + "/all.wav";
        const testsupport::ProcessResult rip = cli({"rip", "--image", "--single", wav});
        ASSERT_EQ(rip.status, 0) << rip.err;
        EXPECT_TRUE(support::ReadShorts(wav) == truth);
    }
}

TEST(DriveOffsets, TheUserSettingWinsOverTheKnownListWhichWinsOverZero) {
    discimage::ScratchDir dir;
    CDriveOffsets offsets(dir.path());
    // The shipped list: a drive reporting its maker's own vendor name is found under the
    // trade name the list uses, whatever the case and padding of its identification.
    const CKnownDriveOffsets* known = offsets.Known();
    ASSERT_TRUE(known);
    EXPECT_GT(known->Size(), 4000u);
    const KnownDriveOffset* lg = known->Find("HL-DT-ST", "BD-RE  bh16ns40 ");
    ASSERT_TRUE(lg);
    EXPECT_EQ(lg->offset, 6);
    EXPECT_EQ(offsets.Effective("PLEXTOR ", "DVDR   PX-716A").samples, 30);
    EXPECT_EQ(offsets.Effective("PLEXTOR ", "DVDR   PX-716A").source, OffsetSource::KnownDrive);
    EXPECT_EQ(offsets.Effective("Image", "disc.cue").source, OffsetSource::Default);
    // The list's own quirks: no vendor, a drive listed twice (the most submissions count),
    // a withdrawn entry, a line that is no entry.
    CKnownDriveOffsets list;
    list.Parse("# comment\n- SOLO\t+6\t2\t100%\nACME - X1\t+30\t1\t100%\nACME - x1\t-12\t9\t90%\n"
               "ACME - GONE\t[Purged]\t\t\nbroken line\n");
    EXPECT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.SkippedLines(), 1);
    ASSERT_TRUE(list.Find("", "solo") && list.Find("acme", "X1"));
    EXPECT_EQ(list.Find("", "solo")->offset, 6);
    EXPECT_EQ(list.Find("acme", "X1")->offset, -12);
    EXPECT_FALSE(list.Find("ACME", "GONE"));

    std::string error;
    ASSERT_TRUE(offsets.SetUserOffset("PLEXTOR", "DVDR PX-716A", -12, &error)) << error;
    EXPECT_EQ(offsets.Effective("PLEXTOR ", "DVDR   PX-716A").samples, -12);
    // A damaged setting is named and ignored: the known value counts again.
    std::ofstream(offsets.SettingsPath(), std::ios::app) << "[Image - disc.cue]\nReadOffset=+9x\n";
    EXPECT_EQ(offsets.Effective("Image", "disc.cue", &error).source, OffsetSource::Default);
    EXPECT_NE(error.find("ReadOffset=+9x"), std::string::npos) << error;
    EXPECT_FALSE(offsets.SetUserOffset("Image", "disc.cue", kMaxReadOffset + 1, &error));
}
