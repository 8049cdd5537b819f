// The step after a rip: the session's per-track checksums are looked up in AccurateRip and
// the CUETools database (when VERIFY/Lookup is on), each track gets its verdict, the rip
// log is written beside the files (with OUTPUT/WriteLog) and its lines go to the event log.
// It blocks on the network: front ends run it off their window's thread.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "albuminfo/AlbumRecord.h"
#include "albuminfo/HttpGet.h"
#include "rip/RipJob.h"
#include "rip/RipLog.h"
#include "rip/RipResults.h"

namespace quarrow {

class CdDrive;
class CEventLog;
struct CSettings;
struct MainContext;

struct RipVerificationInput {
    std::vector<RippedTrackResult> tracks;    // CRipSession::TrackResults()
    std::optional<RippedDiscResult> disc;     // CRipSession::DiscResult()
    CRipJob job;                              // names the log (single output file or album)
    CAlbumRecord album;
    std::string home;                         // the drive offsets' settings
    HttpOptions http;                         // time-out and proxy of the CDDB client
    bool writeLog = true;                     // write the rip log file (OUTPUT/WriteLog)
};

struct RipVerificationResult {
    RipLogInput log;                          // everything the log says
    std::vector<int> driveTracks;             // per log track: the drive's 0-based track index
    std::vector<std::string> trackLines;      // TrackResultLine of each track
    std::vector<std::string> statuses;        // ShortTrackStatus of each track
    std::string summary;
    std::string logPath;                      // the log written; empty when none was
    std::string logError;                     // why the log could not be written
};

// The checksums of every audio track of the drive's disc, read (with the drive's read
// offset, read mode, rereads and error action from the settings) without writing audio.
struct DiscChecksumRead {
    std::vector<RippedTrackResult> tracks;
    std::optional<RippedDiscResult> disc;     // when every audio track was read whole
    bool stopped = false;                     // stop turned true; tracks holds those finished
    std::string error;                        // a read that failed, naming the track
};
// progress hears the track's number, its percent and the disc's percent.
DiscChecksumRead ReadDiscChecksums(const CSettings& settings, CdDrive& drive, const std::atomic<bool>* stop = nullptr,
                                   const std::function<void(int, double, double)>& progress = {});

// Where the rip log of a job goes: beside a single output file as FILE.log (the file's
// extension replaced); else in the folder of the first file, named after the album as
// its playlist is ("ALBUM.log").
std::string RipLogPath(const CRipJob& job, const CAlbumRecord& album, const std::string& firstFile);

// Makes the log's description of the drive, the disc and the settings.
RipLogInput DescribeRip(const CSettings& settings, CdDrive& drive, const CAlbumRecord& album,
                        const std::string& home);

// Looks up, makes the verdicts, writes the log (temporary name + rename) and adds each
// track's line and the summary to the event log. onTrack, when given, hears each track's
// line as soon as its verdict is known. stop (also handed to the lookups) makes a
// running lookup give up; the verdicts then say the check did not run.
RipVerificationResult VerifyRip(const RipVerificationInput& in, const CSettings& settings, CdDrive& drive,
                                CEventLog& log, const std::atomic<bool>* stop = nullptr,
                                const std::function<void(std::size_t index, const std::string& line)>& onTrack = {});

// The track list's Status cell of each verified track: its short result ("Accurate (12)",
// "Mismatch", ...), found through the job entry that read it.
void ShowTrackStatuses(MainContext& ctx, const CRipJob& job, const RipVerificationResult& r);

}  // namespace quarrow
