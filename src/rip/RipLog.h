// The rip log: one text file per rip that says how the disc was read (drive, offset,
// read mode, table of contents) and, per track, what was read (CRCs, peak, rereads) and
// what AccurateRip and the CUETools database said of it, with a summary. Its last line
// is a SHA-256 of every byte before it, so that an edited log is recognised.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "albuminfo/DiscVerification.h"
#include "app/CdDrive.h"

namespace quarrow {

struct RipLogTrack {
    int number = 0;              // disc track number
    std::string file;            // the output file (the one file of a single-output job)
    double peak = -1;            // percent of full scale; negative when not measured
    bool tested = false;         // read twice (test and copy)
    uint32_t testCrc = 0;
    uint32_t copyCrc = 0;
    uint32_t arV1 = 0, arV2 = 0;
    TrackVerdict accurateRip;    // AccurateRip's word on the track
    int rereads = 0;
    int errors = 0;

    bool TestCopyDiffer() const { return tested && testCrc != copyCrc; }
};

// Both databases together: accurate when AccurateRip confirms the track or the CUETools
// database confirms the whole disc, else a mismatch when either has other checksums, else
// not in database when either was asked.
VerdictKind CombinedVerdict(const RipLogTrack& t, const DiscVerdict& ctdb);

struct RipLogInput {
    std::string version;          // the program's version
    std::time_t when = 0;
    std::string vendor, model, revision, device;
    int readOffset = 0;           // samples
    std::string offsetSource;     // where the offset came from ("the table of known drives", ...)
    int readMode = 0;             // RipModePreset
    int errorAction = 0;          // RipOnErrorAction
    int retries = 0;              // GrabOnErrorRetries
    bool testAndCopy = false;
    std::string artist, album;
    uint32_t discId = 0;
    uint32_t ctdbCrc = 0;         // the CUETools database CRC of the disc; 0 when not made
    std::string accurateRipId;    // "010-00164419-00b9f6e2-9e11600b"; empty when not known
    DiscVerdict ctdb;             // the CUETools database's word on the whole disc
    CdDiscLayout layout;
    std::vector<RipLogTrack> tracks;
};

// The track's line for the rip dialog and the command line, "Track  3: accurately
// ripped (confidence 12) [v2, pressing 1 of 2]"; test and copy that differ say so first.
std::string TrackResultLine(const RipLogTrack& t, const DiscVerdict& ctdb);
// The track list's Status text: "Accurate (12)", "Not in database", "Mismatch",
// "Test/copy differ", "Not checked".
std::string ShortTrackStatus(const RipLogTrack& t, const DiscVerdict& ctdb);
// The closing summary: "All tracks accurately ripped", or how many were, were not
// found, mismatched and could not be checked (with why).
std::string RipSummary(const std::vector<RipLogTrack>& tracks, const DiscVerdict& ctdb);

// The whole log, checksum line included.
std::string BuildRipLog(const RipLogInput& in);

// The last line of a log: this prefix, 64 lower-case hex digits of the SHA-256 of every
// byte before the line, and a line feed. `head -n -1 LOG | sha256sum` gives the same digits.
extern const char* const kRipLogChecksumPrefix;   // "Log checksum (SHA-256 of the lines above): "
std::string Sha256Hex(const std::string& bytes);
// Appends the checksum line to body (which must end with a line feed, added if not).
std::string SealRipLog(std::string body);

enum class LogIntegrity { Intact, Edited, NoChecksum, Unreadable };
struct LogCheck {
    LogIntegrity status = LogIntegrity::Unreadable;
    std::string message;          // names the file and what was found
};
LogCheck CheckRipLogText(const std::string& text, const std::string& name);
LogCheck CheckRipLogFile(const std::string& path);

}  // namespace quarrow
