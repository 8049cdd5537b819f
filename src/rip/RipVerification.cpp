#include "rip/RipVerification.h"

#include <algorithm>
#include <ctime>

#include "albuminfo/DiscRefresh.h"
#include "albuminfo/DiscVerification.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/SafeFile.h"
#include "app/Settings.h"
#include "rip/DriveOffsets.h"
#include "rip/Naming.h"
#include "rip/ReadingOptions.h"

namespace quarrow {

namespace {

// Counts the drive's rereads while a read runs.
struct RereadCounter : CdDriveListener {
    int count = 0;
    void OnMediumChanged() override {}
    void OnReadRetry(int16_t, int32_t) override { ++count; }
};

}  // namespace

DiscChecksumRead ReadDiscChecksums(const CSettings& settings, CdDrive& drive, const std::atomic<bool>* stop,
                                   const std::function<void(int, double, double)>& progress) {
    DiscChecksumRead out;
    drive.SetReadMode(settings.DISC.RipModePreset);
    drive.SetErrorAction(settings.DISC.RipOnErrorAction);
    drive.SetReadRetries(settings.DISC.GrabOnErrorRetries);
    struct Audio {
        int session, indexInSession, discIndex;
        CdTrackInfo info;
    };
    std::vector<Audio> audio;
    std::vector<int32_t> sectors;
    int64_t totalSectors = 0;
    const CdDiscLayout layout = drive.Layout();
    int discIndex = 0;
    for (std::size_t s = 0; s < layout.sessions.size(); ++s)
        for (std::size_t t = 0; t < layout.sessions[s].size(); ++t, ++discIndex)
            if (layout.sessions[s][t].type == kTrackAudio) {
                audio.push_back({static_cast<int>(s), static_cast<int>(t), discIndex, layout.sessions[s][t]});
                sectors.push_back(layout.sessions[s][t].sectors);
                totalSectors += layout.sessions[s][t].sectors;
            }
    if (audio.empty()) {
        out.error = "the disc has no audio track";
        return out;
    }
    CDiscCrc discCrc(sectors);
    RereadCounter rereads;
    drive.SetListener(&rereads);
    int64_t doneSectors = 0;
    std::vector<int16_t> block;
    const int blockSectors = ReadBlockSectors(settings.DISC.RipModePreset);
    for (std::size_t i = 0; i < audio.size() && !out.stopped && out.error.empty(); ++i) {
        const Audio& a = audio[i];
        drive.SetCurrentSession(a.session);
        drive.SetCurrentTrack(a.indexInSession);
        CTrackChecksummer sums(ChecksumTrackPlace{i == 0, i + 1 == audio.size(), a.info.sectors});
        discCrc.StartTrack(static_cast<int>(i));
        RippedTrackResult r;
        r.track = a.discIndex, r.number = a.info.number, r.audioIndex = static_cast<int>(i);
        const int rereadsBefore = rereads.count;
        drive.BeginRead();
        while (drive.ReadPosition() < drive.TrackSectors()) {
            if (stop && stop->load()) {
                out.stopped = true;
                break;
            }
            const int32_t before = drive.ReadPosition();
            int32_t status = kReadOk;
            drive.ReadSectors(std::min(blockSectors, drive.TrackSectors() - before), block, status);
            if (status != kReadOk || drive.ReadPosition() <= before) {
                out.error = "track " + std::to_string(a.info.number) + " could not be read at sector " +
                            std::to_string(a.info.start + before);
                break;
            }
            sums.Add(block.data(), block.size());
            discCrc.Add(static_cast<int>(i), block.data(), block.size());
            for (int16_t v : block) r.peak = std::max(r.peak, v < 0 ? -static_cast<int>(v) : static_cast<int>(v));
            doneSectors += drive.ReadPosition() - before;
            if (progress)
                progress(a.info.number, 100.0 * drive.ReadPosition() / std::max(1, drive.TrackSectors()),
                         100.0 * static_cast<double>(doneSectors) / static_cast<double>(totalSectors));
        }
        r.errors = drive.GivenUpSectors();
        drive.EndRead();
        if (out.stopped || !out.error.empty()) break;
        r.copy = sums.Result();
        r.rereads = rereads.count - rereadsBefore;
        r.complete = true;
        r.checkable = r.errors == 0;
        if (!r.checkable) r.uncheckableReason = std::to_string(r.errors) + " sectors could not be read";
        out.tracks.push_back(r);
    }
    drive.SetListener(nullptr);
    if (out.tracks.size() == audio.size() && discCrc.Complete()) out.disc = RippedDiscResult{discCrc.Result()};
    return out;
}

std::string RipLogPath(const CRipJob& job, const CAlbumRecord& album, const std::string& firstFile) {
    if (job.singleOutput) {
        const std::string name = FileNameOf(job.outputPath);
        const std::size_t dot = name.rfind('.');
        const std::string stem =
            dot == std::string::npos || dot == 0 ? job.outputPath : job.outputPath.substr(0, job.outputPath.size() - name.size() + dot);
        return stem + ".log";
    }
    std::string folder = FolderOf(firstFile);
    if (folder.empty()) folder = "./";
    const std::string ext = ".log";
    bool replaced = false;
    return folder + SafeNameComponent(album.albumTitle + ext, replaced, ext.size(), kMaxFileNameBytes);
}

RipLogInput DescribeRip(const CSettings& settings, CdDrive& drive, const CAlbumRecord& album,
                        const std::string& home) {
    RipLogInput in;
    in.version = QUARROW_VERSION;
    in.when = std::time(nullptr);
    in.vendor = drive.IdentA(), in.model = drive.IdentB(), in.revision = drive.IdentC();
    in.device = drive.DriveName();
    in.readOffset = drive.ReadOffset();
    CDriveOffsets offsets(home);
    std::string offsetError;
    const EffectiveOffset effective = offsets.Effective(drive, &offsetError);
    in.offsetSource = effective.samples == in.readOffset ? effective.sourceText : "set for this rip";
    in.readMode = settings.DISC.RipModePreset;
    in.errorAction = settings.DISC.RipOnErrorAction;
    in.retries = settings.DISC.GrabOnErrorRetries;
    in.testAndCopy = settings.VERIFY.TestAndCopy != 0;
    in.artist = album.artist, in.album = album.albumTitle, in.discId = album.discId;
    in.layout = drive.Layout();
    return in;
}

RipVerificationResult VerifyRip(const RipVerificationInput& in, const CSettings& settings, CdDrive& drive,
                                CEventLog& log, const std::atomic<bool>* stop,
                                const std::function<void(std::size_t, const std::string&)>& onTrack) {
    RipVerificationResult r;
    r.log = DescribeRip(settings, drive, in.album, in.home);
    const std::optional<uint32_t> ctdbCrc =
        in.disc ? std::optional<uint32_t>(in.disc->cueToolsCrc) : std::nullopt;
    r.log.ctdbCrc = ctdbCrc.value_or(0);

    // Nothing checkable, nothing to ask: a sector range or a cancelled rip stays offline.
    bool anyCheckable = false;
    for (const RippedTrackResult& t : in.tracks) anyCheckable |= t.checkable;
    HttpOptions http = in.http;
    http.cancel = stop;
    VerificationLookups lookups;
    if (anyCheckable || ctdbCrc) {
        log.Add(settings.VERIFY.Lookup ? "Looking the rip up in AccurateRip and the CUETools database..."
                                       : "Database lookup is off: the rip is not compared with AccurateRip");
        lookups = RunVerificationLookups(r.log.layout, settings, http);
    } else {
        lookups.id = AccurateRipIdOf(r.log.layout);
        const std::string why = "no track was read whole";
        lookups.accurateRip = AccurateRipLookup::CouldNotRun(why);
        lookups.ctdb = CueToolsDbLookup::CouldNotRun(why);
    }
    if (lookups.id.Valid()) r.log.accurateRipId = lookups.id.Text();
    r.log.ctdb = VerifyDiscCrc(ctdbCrc, lookups.ctdb);

    // Each track's verdict first, so that the CUETools word on the disc applies to all.
    for (const RippedTrackResult& t : in.tracks) {
        RipLogTrack lt;
        lt.number = t.number;
        lt.file = t.file;
        lt.peak = t.PeakPercent();
        lt.tested = t.tested;
        lt.testCrc = t.testCrc;
        lt.copyCrc = t.copy.crc32;
        lt.arV1 = t.copy.arV1, lt.arV2 = t.copy.arV2;
        lt.rereads = t.rereads, lt.errors = t.errors;
        TrackChecksumResult sums;
        sums.trackNumber = t.number, sums.sums = t.copy, sums.checkable = t.checkable;
        sums.uncheckableReason = t.uncheckableReason.empty() ? "the track was not read whole" : t.uncheckableReason;
        lt.accurateRip = VerifyTrack(lookups.id, sums, lookups.accurateRip);
        r.log.tracks.push_back(lt);
        r.driveTracks.push_back(t.track);
    }
    for (std::size_t i = 0; i < r.log.tracks.size(); ++i) {
        r.trackLines.push_back(TrackResultLine(r.log.tracks[i], r.log.ctdb));
        r.statuses.push_back(ShortTrackStatus(r.log.tracks[i], r.log.ctdb));
        log.Add(r.trackLines.back(), CombinedVerdict(r.log.tracks[i], r.log.ctdb) == VerdictKind::Mismatch ||
                                             r.log.tracks[i].TestCopyDiffer());
        if (onTrack) onTrack(i, r.trackLines.back());
    }
    r.summary = RipSummary(r.log.tracks, r.log.ctdb);
    log.Add("CUETools database: " + r.log.ctdb.Line());
    log.Add(r.summary);

    if (!in.writeLog || in.tracks.empty()) return r;
    r.logPath = RipLogPath(in.job, in.album, in.tracks.front().file);
    // An album named after the program, ripped into the home folder, leaves the event log alone.
    if (r.logPath == in.home + "/Quarrow.log") r.logPath.insert(r.logPath.size() - 4, " (rip)");
    std::string error;
    if (!WriteFileAtomically(r.logPath, BuildRipLog(r.log), 0644, error)) {
        r.logError = error;
        r.logPath.clear();
        log.Add("Error: the rip log cannot be written: " + error, 1);
    } else {
        log.Add("Rip log written to \"" + r.logPath + "\"");
    }
    return r;
}

void ShowTrackStatuses(MainContext& ctx, const CRipJob& job, const RipVerificationResult& r) {
    for (std::size_t i = 0; i < r.driveTracks.size() && i < r.statuses.size(); ++i)
        for (const RipJobEntry& e : job.entries) {
            if (e.track != r.driveTracks[i]) continue;
            for (TrackRow& row : ctx.rows)
                if (row.audio && row.session == e.session && row.track == e.track) row.status = r.statuses[i];
            break;
        }
}

}  // namespace quarrow
