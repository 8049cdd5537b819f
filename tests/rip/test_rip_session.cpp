// A rip session on a simulated drive: the files it writes sample for sample, its read
// modes, unreadable sectors, the retry limit, failures, cancel, normalising and formats.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "rip/Naming.h"
#include "rip/RipSession.h"
#include "support/CddbTestServer.h"
#include "support/DiscImage.h"
#include "support/ReferenceChecksums.h"

using namespace quarrow;
namespace fs = std::filesystem;

namespace {

class RecordingView : public RipView {
public:
    void SetText(RipField f, const std::string& text) override {
        if ((texts[f] = text, f == RipField::Caption)) captions.push_back(text); }
    void SetTrackBar(int) override {}
    void SetTotalBar(int p) override { totalBar = p; }
    void Enable(RipControl c, bool on) override { enabled[c] = on; }
    void Close() override { closed = true; }
    std::map<RipField, std::string> texts;
    std::vector<std::string> captions;
    std::map<RipControl, bool> enabled;
    int totalBar = -1;
    bool closed = false;
};

using support::ReadFile;
using support::ReadShorts;

std::vector<int16_t> DiscSamples(int32_t lba, int32_t count) {
    std::vector<int16_t> out(static_cast<std::size_t>(count) * kSamplesPerSector);
    std::vector<uint8_t> sector(kSectorBytes);
    for (int32_t i = 0; i < count; ++i) {
        SimulatedSector(lba + i, sector.data());
        for (int k = 0; k < kSamplesPerSector; ++k)
            out[std::size_t(i) * kSamplesPerSector + k] = int16_t(sector[2 * k] | (sector[2 * k + 1] << 8));
    }
    return out;
}

// A track's result carries the checksums of its sectors as the plain definitions give them.
void ExpectSums(const RippedTrackResult& r, int32_t lba, int32_t sectors, bool first, bool last) {
    const auto want = reference::Sums(DiscSamples(lba, sectors), first, last);
    EXPECT_EQ(std::make_tuple(r.copy.crc32, r.copy.arV1, r.copy.arV2, r.copy.frame450, r.checkable),
              std::make_tuple(want.crc32, want.arV1, want.arV2, sectors > 450 ? want.frame450 : 0u, true))
        << "track " << r.number << " " << r.uncheckableReason;
}

// Hidden files (".NAME") anywhere under a folder.
std::vector<std::string> HiddenFiles(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().front() == '.') out.push_back(e.path().string());
    return out;
}

// Audio tracks from LBA 0 whose samples tell every frame apart, unless content is given.
struct Rig {
    explicit Rig(const std::vector<int32_t>& trackSectors, std::function<void(int32_t, uint8_t*)> content = {})
        : sectors(trackSectors), drive([&] {
              SimDisc d;
              for (int32_t n : trackSectors) d.tracks.push_back(SimTrack{0, kTrackAudio, n, {}, {}});
              return d.generator = std::move(content), d;
          }()) {
        drive.RefreshDisc();
        settings = CSettings::Initial(dir.path());
        settings.OUTPUT.DesDir = dir.path() + "/out/";
        settings.OUTPUT.OutputFormat = 1, settings.OUTPUT.Notify = 0, settings.OUTPUT.VisRip = 0;  // WAV, quietly
        settings.DISC.RipModePreset = 1, settings.DISC.GrabOnErrorRetries = 5;
        album.artist = "The Artist", album.albumTitle = "The Album";
        for (std::size_t i = 0; i < sectors.size(); ++i) album.trackTitles.push_back("Song " + std::to_string(i + 1));
        ResetRetryWatch();
    }
    // A session of the job, started.
    std::unique_ptr<CRipSession> Start(CRipJob job) {
        auto s = std::make_unique<CRipSession>(
            RipSessionDeps{settings, log, drive, album, prompter, view, dir.path(), {}}, std::move(job));
        drive.SetListener(s.get()), s->Start();
        return s;
    }
    CRipJob Job(int16_t mode, const std::vector<int>& tracks, const std::string& singleFile = "") {
        CRipJob job;
        job.mode = mode;
        for (int t : tracks) job.Append(0, t, SampleValuesOf(sectors[static_cast<std::size_t>(t)], kSectorBytes));
        if (!singleFile.empty()) {
            settings.OUTPUT.SingleOpt = 1, job.firstTrack = 0;
            job.lastTrack = static_cast<uint16_t>(tracks.empty() ? 0 : tracks.size() - 1);
            job.outputPath = dir.path() + "/" + singleFile;
        }
        return job;
    }
    bool Logged(const std::string& text) const { return test::Logged(log, text, -1, false); }
    std::vector<int32_t> sectors;
    discimage::ScratchDir dir;
    SimulatedDrive drive;
    CSettings settings;
    CEventLog log;
    CAlbumRecord album;
    RecordingPrompter prompter;
    RecordingView view;
};

}  // namespace

TEST(RipSession, PerTrackWavRipIsBitIdenticalAndFinishes) {
    Rig rig({300, 451, 120});
    std::string cjk;
    for (int i = 0; i < 85; ++i) cjk += "\xE6\xBC\xA2";   // 255 bytes: the name and its ".part" must still fit
    rig.album.trackTitles[2] = cjk;
    auto s = rig.Start(rig.Job(kRipChecked, {0, 2}));
    EXPECT_EQ(s->RunModal(), CRipSession::Outcome::Finished);
    const auto files = s->WrittenFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(ReadShorts(files[0]), DiscSamples(0, 300));
    EXPECT_EQ(ReadShorts(files[1]), DiscSamples(751, 120));
    EXPECT_EQ(files[1], BuildTrackPath(rig.settings, rig.album, 2).path);
    const auto results = s->TrackResults();   // no disc CRC: the middle track was not read
    ASSERT_TRUE(results.size() == 2u && !s->DiscResult());
    ExpectSums(results[0], 0, 300, true, false), ExpectSums(results[1], 751, 120, false, true);
    EXPECT_EQ(results[1].file + "|" + std::to_string(results[1].number), files[1] + "|3");

    EXPECT_EQ(rig.view.captions, (std::vector<std::string>{"1/2", "2/2", "Finished Coping"}));
    auto& t = rig.view.texts;
    EXPECT_EQ(t[RipField::PauseButton] + "|" + t[RipField::CancelButton] + "|" + t[RipField::TotalPercent] + "|" +
                  t[RipField::StatusLine] + "|" + std::to_string(rig.view.totalBar),
              "Open Dir|Finish|100.0%|Rip to:     " + files[1] + "|100");
    EXPECT_TRUE(rig.Logged("Rip track(s) to \"" + files[0] + "\"") && rig.Logged("Finished coping!"));
    EXPECT_TRUE(rig.drive.TrayLocked());
    s.reset();
    EXPECT_FALSE(rig.drive.TrayLocked());
    // The album playlist lists both files in rip order.
    EXPECT_EQ(ReadFile(FolderOf(files[0]) + "The Album.m3u"), FileNameOf(files[0]) + "\n" + FileNameOf(files[1]) + "\n");
}

TEST(RipSession, SingleOutputAndSectorRangeGiveExactlyTheSelectedSectors) {
    Rig rig({200, 150, 90});
    CRipJob job = rig.Job(kRipChecked, {0, 1, 2}, "Multiple Tracks.wav");
    auto s = rig.Start(job);
    EXPECT_EQ(s->RunModal(), CRipSession::Outcome::Finished);
    EXPECT_EQ(ReadShorts(job.outputPath), DiscSamples(0, 440));
    // One file, yet checksums per track, and the whole disc's CRC.
    auto results = s->TrackResults();
    ASSERT_TRUE(results.size() == 3u && s->DiscResult());
    ExpectSums(results[0], 0, 200, true, false), ExpectSums(results[1], 200, 150, false, false);
    ExpectSums(results[2], 350, 90, false, true);
    EXPECT_EQ(s->DiscResult()->cueToolsCrc, reference::CueToolsCrc({DiscSamples(0, 440)}));
    s.reset();
    // One caption for the job, then one per track boundary.
    EXPECT_EQ(rig.view.captions, (std::vector<std::string>{"1/3", "2/3", "3/3", "Finished Coping"}));
    EXPECT_NE(ReadFile(rig.dir.path() + "/Multiple Tracks.cue").find("INDEX 01 00:04:50"), std::string::npos);

    // Sector 37 of track 1 up to sector 59 of track 2.
    job = rig.Job(kRipSectorRange, {}, "range.wav");
    job.lastTrack = 1, job.startOffset = 37, job.endOffset = 60;
    job.Append(0, 0, SampleValuesOf(200 - 37, kSectorBytes));
    job.Append(0, 1, SampleValuesOf(60, kSectorBytes));
    s = rig.Start(job);
    EXPECT_EQ(s->RunModal(), CRipSession::Outcome::Finished);
    EXPECT_EQ(ReadShorts(job.outputPath), DiscSamples(37, 163 + 60));
    results = s->TrackResults();
    EXPECT_EQ(results.at(0).uncheckableReason + "|" + results.at(1).uncheckableReason,
              "only sectors 37 to 199 of its 200 were read|only sectors 0 to 59 of its 150 were read");
    EXPECT_FALSE(results[0].checkable || results[1].checkable || s->DiscResult());
}

TEST(RipSession, UnreadableSectorsUnderStopAndCutAndTheReadModesDriveSettings) {
    EXPECT_EQ(FormatElapsed(3725.9) + FormatElapsed(-1), "01:02:0500:00:00");
    for (int action : {0, 2}) {
        Rig rig({120});
        rig.settings.DISC.RipOnErrorAction = static_cast<int16_t>(action), rig.settings.DISC.RipModePreset = 4;
        rig.settings.DISC.GrabOnErrorRetries = 0;   // no rereads: no retry events either
        rig.drive.SetUnreadable(50);
        auto s = rig.Start(rig.Job(kRipSelected, {0}));
        EXPECT_EQ(std::make_tuple(s->MaxSectors(), rig.drive.ReadMode(), rig.drive.ErrorAction(), rig.drive.ReadRetries()),
                  std::make_tuple(1, 4, action, 0));
        const auto outcome = s->RunModal();
        const std::string path = BuildTrackPath(rig.settings, rig.album, 0).path;
        if (action == 0) {
            EXPECT_TRUE(outcome == CRipSession::Outcome::Failed && rig.Logged("An error occurred while ripping"));
            EXPECT_FALSE(fs::exists(path));
            continue;
        }
        ASSERT_EQ(outcome, CRipSession::Outcome::Finished) << action;
        EXPECT_EQ(s->LargestRead(), 1);
        std::vector<int16_t> expected = DiscSamples(0, 120);
        expected.erase(expected.begin() + 50 * kSamplesPerSector, expected.begin() + 51 * kSamplesPerSector);
        EXPECT_EQ(ReadShorts(path), expected);
        const auto r = s->TrackResults().at(0);
        EXPECT_EQ(std::make_tuple(r.errors, r.checkable, r.uncheckableReason),
                  std::make_tuple(1, false, std::string("1 of its sectors were cut")));
    }
}

TEST(RipSession, RetryLimitAbortsWithTheScratchedDiscMessage) {
    // The last sector reads on the last reread: the file is complete a moment before the
    // abort is handled, and must still go, with its cue sheet.
    Rig rig({400});
    rig.settings.DISC.GrabOnErrorRetries = 3;
    rig.settings.OUTPUT.CueSheet = 1;
    rig.drive.SetUnreadable(399, 3);
    auto s = rig.Start(rig.Job(kRipChecked, {0}, "image.wav"));
    ASSERT_TRUE(fs::exists(rig.dir.path() + "/image.cue"));
    // A busy window thread handles the retry events late.
    EXPECT_EQ(s->RunModal([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }),
              CRipSession::Outcome::RetryAborted);
    ASSERT_FALSE(rig.prompter.prompts.empty());
    EXPECT_EQ(rig.prompter.prompts.back().text, kScratchedDiscMessage);
    EXPECT_EQ(rig.view.captions.back(), kMaxRetriesCaption);
    EXPECT_TRUE(rig.Logged("Retry to read sector 399") && rig.view.closed && !rig.view.enabled[RipControl::Cancel]);
    EXPECT_TRUE(!RetryWatch() && RetryCounter() == 3 && s->WrittenFiles().empty()) << RetryCounter();
    EXPECT_FALSE(fs::exists(rig.dir.path() + "/image.wav") || fs::exists(rig.dir.path() + "/image.cue"));
    EXPECT_EQ(HiddenFiles(rig.dir.path()), std::vector<std::string>{});
}

TEST(RipSession, FailuresLogTheirCauseAndLeaveNoFileBehind) {
    struct Case { const char* name; std::function<CRipJob(Rig&)> setUp; std::string cause; };
    const std::vector<Case> cases = {
        {"playlist cannot be opened", [](Rig& r) {
             fs::create_directories(r.dir.path() + "/out/The Artist/The Album/The Album.m3u");
             return r.Job(kRipSelected, {0});
         }, "/out/The Artist/The Album/The Album.m3u: Is a directory"},
        {"name too long with its temporary name", [](Rig& r) {
             return r.settings.OUTPUT.CueSheet = 1, r.Job(kRipChecked, {0}, std::string(246, 'n') + ".wav");
         }, std::string(246, 'n') + ".wav: File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig({100});
        auto s = rig.Start(c.setUp(rig));
        EXPECT_EQ(s->RunModal(), CRipSession::Outcome::Failed);
        EXPECT_EQ(rig.view.captions.back(), "An error occurred while encoding");
        EXPECT_TRUE(rig.Logged(c.cause) && s->WrittenFiles().empty());
        EXPECT_EQ(HiddenFiles(rig.dir.path()), std::vector<std::string>{});
        for (const auto& e : fs::recursive_directory_iterator(rig.dir.path()))
            EXPECT_FALSE(e.path().extension() == ".wav" || e.path().extension() == ".cue") << e.path();
    }
}

TEST(RipSession, NormaliseAppliesOneGainToTheWholeFile) {
    // A loud first half and a quiet second half, the right channel at half the left:
    // levelling block by block or channel by channel would lift the quiet parts.
    auto content = [](int32_t lba, uint8_t* out) {
        for (int k = 0; k < kSamplesPerSector; ++k) {
            const int v = (lba < 60 ? 8000 : 1000) / (k % 2 ? -2 : 1) + k;
            out[2 * k] = uint8_t(v & 0xff), out[2 * k + 1] = uint8_t((v >> 8) & 0xff);
        }
    };
    Rig rig({120}, content);
    rig.settings.OUTPUT.Normalize = 1, rig.settings.OUTPUT.NorPer = 90, rig.settings.OUTPUT.DCBiasAdjust = 0;
    auto s = rig.Start(rig.Job(kRipSelected, {0}));
    ASSERT_EQ(s->RunModal(), CRipSession::Outcome::Finished);
    const auto out = ReadShorts(s->WrittenFiles().at(0));
    ASSERT_EQ(out.size(), 120u * kSamplesPerSector);
    const double gain = 0.9 * 32767 / (8000 + kSamplesPerSector - 2);   // the loudest value
    std::vector<uint8_t> sector(kSectorBytes);
    for (int32_t lba : {0, 59, 60, 119}) {
        content(lba, sector.data());
        for (int k = 0; k < kSamplesPerSector; k += 97) {
            const auto in = static_cast<int16_t>(sector[2 * k] | (sector[2 * k + 1] << 8));
            EXPECT_EQ(out[static_cast<std::size_t>(lba) * kSamplesPerSector + k], std::lround(in * gain)) << lba;
        }
    }
    EXPECT_TRUE(rig.Logged("Normalizing reads the disc twice"));
}

TEST(RipSession, CancelAskedNoGoesOnYesDropsThePartialFile) {
    Rig rig({1500, 3000});
    rig.prompter.yesNoReplies = {false, true};
    auto s = rig.Start(rig.Job(kRipChecked, {0, 1}));
    int asked = 0;
    const auto outcome = s->RunModal([&] {
        if (asked == 0 && s->doneTotal.load() > 50000) {
            asked = 1;
            s->OnCancel();   // No: a pause and resume on the way change nothing either
            EXPECT_FALSE(s->IsPaused());
            s->OnPauseButton();
            const std::string paused = rig.view.texts[RipField::PauseButton];
            s->OnPauseButton();
            EXPECT_EQ(paused + rig.view.texts[RipField::PauseButton], "ResumePause");
        } else if (asked == 1 && s->doneTotal.load() > 1500 * 1176 + 100000) {
            asked = 2;
            s->OnCancel();
        }
    });
    EXPECT_TRUE(asked == 2 && outcome == CRipSession::Outcome::Cancelled && rig.view.closed) << asked;
    EXPECT_EQ(rig.prompter.prompts.at(1).text, "Do You Want to Cancel?");
    const std::string first = BuildTrackPath(rig.settings, rig.album, 0).path;
    EXPECT_EQ(ReadShorts(first), DiscSamples(0, 1500));
    EXPECT_FALSE(fs::exists(BuildTrackPath(rig.settings, rig.album, 1).path));
    EXPECT_EQ(HiddenFiles(rig.dir.path()), std::vector<std::string>{});
    // The cancelled file's playlist line was written before the encode and is gone again.
    EXPECT_EQ(ReadFile(FolderOf(first) + "The Album.m3u"), FileNameOf(first) + "\n");
}

TEST(RipSession, MonoAndResampledOutputsHaveTheRightLength) {
    for (auto [freq, channel, rate] : std::vector<std::tuple<int, int, int>>{
             {7, 0, 44100}, {4, 1, 22050}, {8, 0, 48000}}) {
        Rig rig({750});   // ten seconds
        rig.settings.WAV.Freq = static_cast<int16_t>(freq), rig.settings.WAV.Channel = channel;
        auto s = rig.Start(rig.Job(kRipSelected, {0}));
        ASSERT_EQ(s->RunModal(), CRipSession::Outcome::Finished) << freq << channel;
        SF_INFO info{};
        const auto samples = ReadShorts(s->WrittenFiles().at(0), &info);
        EXPECT_EQ(std::make_pair(info.samplerate, info.channels), std::make_pair(rate, channel + 1));
        // Within one block of the exact length.
        EXPECT_NEAR(static_cast<double>(info.frames), rate * 10.0, 2048) << freq << channel;
        if (freq == 7) {
            const auto stereo = DiscSamples(0, 750);
            ASSERT_EQ(samples.size(), stereo.size() / 2);
            EXPECT_EQ(samples[1000], static_cast<int16_t>((stereo[2000] + stereo[2001]) >> 1));
        }
    }
}

TEST(RipSession, EnhancedCdChecksumsAndTestAndCopyThatDiffer) {
    // Two audio tracks and a data track in a second session: the second track is the last
    // audio track. The first read of sector 300 comes back with one bit wrong.
    Rig rig({200, 460});
    SimDisc disc;
    disc.generator = [reads = std::make_shared<int>(0)](int32_t lba, uint8_t* out) {
        SimulatedSector(lba, out);
        if (lba == 300 && (*reads)++ == 0) out[101] ^= 0x10;
    };
    disc.tracks = {{0, kTrackAudio, 200, {}, {}}, {0, kTrackAudio, 460, {}, {}}, {1, kTrackMode1, 300, {}, {}}};
    rig.drive.InsertDisc(disc), rig.drive.RefreshDisc();
    rig.settings.VERIFY.TestAndCopy = 1;
    auto s = rig.Start(rig.Job(kRipChecked, {0, 1}));
    ASSERT_EQ(s->RunModal(), CRipSession::Outcome::Finished);
    const auto r = s->TrackResults();
    ASSERT_TRUE(r.size() == 2u && s->DiscResult());
    ExpectSums(r[0], 0, 200, true, false), ExpectSums(r[1], 200, 460, false, true);
    EXPECT_TRUE(r[0].tested && r[0].testMatches && r[0].testCrc == r[0].copy.crc32);
    EXPECT_TRUE(r[1].tested && !r[1].testMatches);
    char text[96];
    std::snprintf(text, sizeof text, "Test and copy of track 2 differ: test CRC %08X, copy CRC %08X", r[1].testCrc,
                  r[1].copy.crc32);
    EXPECT_TRUE(rig.Logged(text) && rig.Logged("Test and copy reads every track twice")) << text;
    EXPECT_EQ(s->DiscResult()->cueToolsCrc, reference::CueToolsCrc({DiscSamples(0, 660)}));
}
