// The rip log: every line a reader needs is in it, the summary counts each verdict, and
// its checksum line recognises any edit (and is the digest sha256sum gives).
#include <gtest/gtest.h>

#include <functional>

#include "rip/RipLog.h"
#include "support/RunProcess.h"
#include "support/TestFiles.h"

using namespace quarrow;
using quarrow::support::ScratchDir;

namespace {

TrackVerdict Ar(VerdictKind kind, uint32_t confidence = 0, int version = 0, int pressings = 0,
               const std::string& reason = {}) {
    return {.kind = kind, .confidence = confidence, .version = version, .pressing = version ? 1 : 0,
            .pressings = pressings, .reason = reason};
}

DiscVerdict Ctdb(VerdictKind kind, uint32_t confidence = 0, int entries = 0) {
    return {.kind = kind, .confidence = confidence, .entries = entries, .totalConfidence = confidence + 10, .reason = {}};
}

RipLogInput Sample() {
    RipLogInput in;
    in.version = "9.9.9";
    in.vendor = "ACME", in.model = "Writer 52x", in.revision = "1.02", in.device = "/dev/sr9";
    in.readOffset = 6, in.offsetSource = "the table of known drives";
    in.readMode = 3, in.errorAction = 1, in.retries = 20, in.testAndCopy = true;
    in.artist = "Band", in.album = "Record\nSummary", in.discId = 0x1a0b3c04;
    auto track = [](int number, int type, int32_t start, int32_t sectors) {
        return CdTrackInfo{number, number / 3, type, start, sectors, kSectorBytes, {}};
    };
    in.layout.sessions = {{track(1, kTrackAudio, 0, 17500), track(2, kTrackAudio, 17500, 9000)},
                          {track(3, kTrackMode1, 38000, 5000)}};
    in.layout.leadOut = 43000;
    RipLogTrack a{1, "/out/01-One.flac", 98.24, true, 0xDEADBEEF, 0xDEADBEEF, 0x01020304, 0x0A0B0C0D,
                  Ar(VerdictKind::Accurate, 12, 2, 1), 0, 0};
    RipLogTrack b{2, "/out/02-Two.flac", 51.0, true, 0x11111111, 0x22222222, 0, 0,
                  Ar(VerdictKind::Mismatch, 0, 0, 2), 7, 1};
    in.tracks = {a, b};
    in.ctdb = Ctdb(VerdictKind::Mismatch, 0, 2);
    return in;
}

}  // namespace

TEST(RipLog, HoldsEveryLineAReaderNeeds) {
    const std::string log = BuildRipLog(Sample());
    for (const char* line :
         {"Quarrow 9.9.9 rip log\n", "  Drive:          ACME Writer 52x (revision 1.02)\n",
          "  Read offset:    +6 samples (the table of known drives)\n", "  Read mode:      Secure Mode (Precision",
          "  Reread limit:   20\n", "  On read error:  Silence\n", "  Album:          Record Summary\n",
          "      2  audio         17500     9000  03:53:25  02:00:00\n",
          "      3  data          38000     5000  08:26:50  01:06:50\n", "  Lead-out:       43000 (09:33:25)\n",
          "  Data tracks:    3 (not ripped", "  File:           /out/01-One.flac\n", "  Peak level:     98.2 %\n",
          "  Test CRC:       11111111\n  Copy CRC:       22222222\n  Test and copy:  differ",
          "  AccurateRip:    accurately ripped (confidence 12) [v2, pressing 1 of 1]\n",
          "  AR checksums:   v1 01020304, v2 0A0B0C0D\n", "  CUETools:       mismatch [2 entries, total confidence 10]\n",
          "  AccurateRip:    mismatch [2 pressings, none matches]\n", "  CUETools:       mismatch (whole disc)\n",
          "  Rereads:        7\n  Read errors:    1\n",
          "Summary\n  1 of 2 tracks accurately ripped, 1 mismatched; test and copy differ on 1 track\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n---\n" << log;
    EXPECT_EQ(ShortTrackStatus(Sample().tracks[1], Sample().ctdb), "Test/copy differ");
}

TEST(RipLog, SummaryAndStatusCountEachVerdict) {
    const RipLogTrack ok{1, {}, -1, false, 0, 0, 0, 0, Ar(VerdictKind::Accurate, 3, 1, 1), 0, 0};
    RipLogTrack missing = ok, mismatch = ok, unchecked = ok;
    missing.accurateRip = Ar(VerdictKind::NotInDatabase);
    mismatch.accurateRip = Ar(VerdictKind::Mismatch, 0, 0, 1);
    unchecked.accurateRip = Ar(VerdictKind::NotChecked, 0, 0, 0, "the database lookup is turned off");
    const std::string down = "the AccurateRip server 127.0.0.1:9 cannot be reached";
    RipLogTrack offline = ok;
    offline.accurateRip = Ar(VerdictKind::NotChecked, 0, 0, 0, down);
    const struct {
        std::vector<RipLogTrack> tracks;
        DiscVerdict ctdb;
        std::string summary, lastStatus, lastLine;
    } rows[] = {
        {{ok, missing}, Ctdb(VerdictKind::Accurate, 8, 1), "All tracks accurately ripped", "Accurate (8)",
         "accurately ripped (confidence 8) [CUETools database, whole disc]"},
        {{ok, missing}, Ctdb(VerdictKind::NotInDatabase), "1 of 2 tracks accurately ripped, 1 not in database",
         "Not in database", "not in database"},
        {{unchecked}, Ctdb(VerdictKind::NotChecked),
         "0 of 1 track accurately ripped, 1 could not be checked (the database lookup is turned off)", "Not checked",
         "not checked: the database lookup is turned off"},
        {{mismatch, offline}, Ctdb(VerdictKind::NotChecked),
         "0 of 2 tracks accurately ripped, 1 mismatched, 1 could not be checked (" + down + ")", "Not checked",
         "not checked: " + down},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(RipSummary(r.tracks, r.ctdb), r.summary);
        EXPECT_EQ(ShortTrackStatus(r.tracks.back(), r.ctdb), r.lastStatus) << r.summary;
        EXPECT_EQ(TrackResultLine(r.tracks.back(), r.ctdb).substr(10), r.lastLine) << r.summary;
    }
}

TEST(RipLog, ChecksumLineRecognisesEveryEdit) {
    ScratchDir dir;
    const std::string log = BuildRipLog(Sample());
    const std::size_t seal = log.rfind(kRipLogChecksumPrefix);
    // The documented recipe: the digest of every line above the last one.
    support::WriteFile(dir.file("body"), log.substr(0, seal));
    const auto sum = testsupport::RunProcess({"/usr/bin/sha256sum", dir.file("body")});
    EXPECT_EQ(sum.out.substr(0, 64), log.substr(seal + std::string(kRipLogChecksumPrefix).size(), 64));

    const struct {
        const char* name;
        std::function<std::string(std::string)> edit;
        LogIntegrity status;
        const char* message;
    } rows[] = {
        {"untouched", [](std::string s) { return s; }, LogIntegrity::Intact, ": intact"},
        {"one character", [](std::string s) { s[s.find("98.2")] = '8'; return s; }, LogIntegrity::Edited,
         ": edited: the text does not match its checksum line"},
        {"a line removed", [](std::string s) { return s.erase(s.find("  Reread limit:   20\n"), 21); },
         LogIntegrity::Edited, "does not match its checksum line"},
        {"checksum line removed", [&](std::string s) { return s.substr(0, seal); }, LogIntegrity::NoChecksum,
         ": no checksum line"},
        {"text appended", [](std::string s) { return s + "Track 3\n"; }, LogIntegrity::Edited,
         ": edited: 8 bytes follow the checksum line"},
        {"digest cut", [](std::string s) { return s.erase(s.size() - 3, 1); }, LogIntegrity::Edited,
         ": edited: the checksum line is damaged"},
    };
    for (const auto& r : rows) {
        support::WriteFile(dir.file("rip.log"), r.edit(log));
        const LogCheck c = CheckRipLogFile(dir.file("rip.log"));
        EXPECT_EQ(c.status, r.status) << r.name;
        EXPECT_EQ(c.message.rfind(dir.file("rip.log"), 0), 0u) << c.message;
        EXPECT_NE(c.message.find(r.message), std::string::npos) << r.name << ": " << c.message;
    }
    EXPECT_EQ(CheckRipLogFile(dir.file("none.log")).status, LogIntegrity::Unreadable);
}
