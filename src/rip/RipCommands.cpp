#include "rip/RipCommands.h"

#include <cstdio>

#include "albuminfo/DiscRefresh.h"
#include "albuminfo/TrackList.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/SectorRange.h"
#include "app/Settings.h"
#include "app/TrackKey.h"
#include "encoders/FormatTable.h"
#include "encoders/OutputFormat.h"
#include "rip/Naming.h"

namespace quarrow {

const char* const kNoDiscFound = "No Disc Found!";
const char* const kNotAnAudioCd = "Not an Audio CD!";
const char* const kStopPlayingQuestion = "Do You Wish to Stop Playing to Rip Audio Tracks?";
const char* const kNoTracksChecked = "No Audio Tracks Checked!";
const char* const kNoTracksFound = "No Audio Tracks Found!";
const char* const kDataTracksInImage =
    "This Audio CD Contains Some Data Tracks. It can NOT be Saved as an CD Image!";

namespace {

const RipCommandTexts kTexts[5] = {
    {"Rip selected", "", "Rip the selected audio track, helpful to rip SINGLE audio track",
     "Rip the Selected Audio Track, Helpful to Rip SINGLE Audio Track"},
    {"Rip checked", "Rip All Checked\tCtrl+F3",
     "Rip all checked audio tracks,  helpful to rip MULTIPLE audio tracks",
     "Rip All Checked Audio Tracks, Helpful to Rip MULTIPLE Audio Tracks"},
    {"Rip all", "Rip All\tCtrl+F4", "Rip all audio tracks, helpful to rip ALL audio tracks",
     "Rip All Audio Tracks, One File per Track, Helpful to Rip ALL Audio Tracks"},
    {"Rip sector range", "Rip Sector Range\tCtrl+F5",
     "Rip sector range to a single file, helpful to rip ARBITRARY part of audio CDs",
     "Rip Sector Range to a Single File, Helpful to Rip ARBITRARY Part of Audio Tracks"},
    {"Rip disc image", "Rip to CD Image",
     "Rip whole audio CD to a single CD image file with a cue sheet",
     "Rip Whole Audio CD to a Single CD Image File with a Cue Sheet"},
};

constexpr const char* kExtensionMessage = "User-Customized Format File Extension Not Specified!";

// Step 4 of the common checks: a running playback is stopped only on Yes.
bool StopPlaybackIfWanted(MainContext& ctx, const RipCommandHooks& hooks) {
    if (!hooks.isPlaying || !hooks.isPlaying()) return true;
    if (!ctx.prompter.AskYesNo(kStopPlayingQuestion, "")) return false;
    if (hooks.stopPlayback) hooks.stopPlayback();
    return true;
}

// Step 6: the user-customised encoder must be usable.
bool CustomEncoderUsable(MainContext& ctx, bool selectedWording) {
    if (ctx.settings.OUTPUT.OutputFormat != static_cast<int>(OutputFormatId::Custom)) return true;
    std::string message = CheckCustomEncoder(ctx.settings);
    if (message.empty()) return true;
    // Rip selected has always worded the extension message without "User-".
    if (selectedWording && message == kExtensionMessage) message = kExtensionMessage + 5;
    ctx.prompter.Message(message, MessageIcon::Error, "");
    return false;
}

// A format whose encoder cannot run here (its program, library or profile is missing)
// is refused before the save-file question makes a folder and before the rip writes a
// playlist line or a cue sheet; the message names what is missing and where.
bool FormatRunnable(MainContext& ctx, const RipCommandHooks& hooks) {
    const int id = ctx.settings.OUTPUT.OutputFormat;
    const std::string message = ProbeMessage(id, ProbeFormat(ctx.settings, hooks.home, id));
    if (message.empty()) return true;
    ctx.log.Add("Error: " + message, 2);
    ctx.prompter.Message(message, MessageIcon::Error, "");
    return false;
}

// Step 2 for the sector range and the disc image.
bool AudioDiscPresent(MainContext& ctx) {
    if (ctx.grabber.Drive().DiscState() == kNoDisc) {
        ctx.prompter.Message(kNoDiscFound, MessageIcon::None, "");
        return false;
    }
    if (!ctx.hasAudio || ctx.toc.size() < 2) {
        ctx.prompter.Message(kNotAnAudioCd, MessageIcon::None, "");
        return false;
    }
    return true;
}

void ClearStatusColumn(MainContext& ctx) {
    for (TrackRow& row : ctx.rows) row.status.clear();
}

struct CurrentTrack {
    int session = 0;
    int track = 0;
    int32_t sectorBytes = kSectorBytes;
    int32_t sectors = 0;
};

// Makes a row current on the drive and reads its track's properties.
CurrentTrack MakeRowCurrent(MainContext& ctx, int row) {
    CdDrive& drive = ctx.grabber.Drive();
    SelectTrackByKey(drive, ctx.rows[static_cast<std::size_t>(row)].key);
    ctx.currentItem = row;
    return {drive.TrackSession(), drive.TrackNumber(), drive.SectorBytes(), drive.TrackSectors()};
}

void AppendRow(MainContext& ctx, CRipJob& job, int row) {
    CurrentTrack t = MakeRowCurrent(ctx, row);
    job.Append(t.session, t.track, SampleValuesOf(t.sectors, t.sectorBytes));
}

// The save-file question of a single-output job: a proposal in the folder of the last
// row's destination, the current format's extension, and its filter.
std::optional<std::string> AskOutputFile(MainContext& ctx, const std::string& defaultName, bool createFolder) {
    const std::string ext = FormatExtension(ctx.settings);
    std::string folder = ctx.rows.empty() ? std::string() : FolderOf(ctx.rows.back().destination);
    if (folder.empty()) {
        folder = ctx.settings.OUTPUT.DesDir;
        if (!folder.empty() && folder.back() != '/') folder += '/';
    }
    // The default name may come from the album title: it is one file name, nothing more.
    bool replaced = false;
    const std::string name = SafeNameComponent(defaultName + ext, replaced, ext.size(), kMaxFileNameBytes);
    if (createFolder) EnsureFolder(folder);  // a failure here is silent; the encode reports it
    std::string chosen = ctx.prompter.SaveFileName(folder + name, "(*" + ext + ")|*" + ext + "||");
    if (chosen.empty()) return std::nullopt;
    // The default extension is added to a name typed without one.
    if (FileNameOf(chosen).find('.') == std::string::npos) chosen += ext;
    return chosen;
}

std::string MultipleTracksName(const MainContext& ctx) {
    return ctx.settings.OUTPUT.FillTag ? ctx.album.albumTitle : std::string("Multiple Tracks");
}

// Finishes a job of checked or all tracks: per track, or one file the user names.
std::optional<CRipJob> FinishTrackJob(MainContext& ctx, CRipJob job, bool createFolder) {
    if (!ctx.settings.OUTPUT.SingleOpt) return job;
    std::optional<std::string> file = AskOutputFile(ctx, MultipleTracksName(ctx), createFolder);
    if (!file) return std::nullopt;
    job.outputPath = *file;
    job.firstTrack = 0;
    job.lastTrack = static_cast<uint16_t>(job.entries.size() - 1);
    job.singleOutput = true;
    return job;
}

}  // namespace

const RipCommandTexts& RipCommandText(int mode) {
    return kTexts[mode >= 0 && mode < 5 ? mode : 0];
}

std::vector<int32_t> TocStarts(const MainContext& ctx) {
    std::vector<int32_t> starts;
    for (const CCDDBMsf& msf : ctx.toc) starts.push_back(msf.FrameOffset());
    return starts;
}

std::optional<CRipJob> OnRipSelected(MainContext& ctx, int selectedRow, const RipCommandHooks& hooks) {
    if (ctx.refreshing) return std::nullopt;
    if (selectedRow < 0 || selectedRow >= static_cast<int>(ctx.rows.size())) {
        ctx.prompter.Message(kNoAudioTrackSelected, MessageIcon::None, "");
        return std::nullopt;
    }
    if (!StopPlaybackIfWanted(ctx, hooks)) return std::nullopt;
    if (!CustomEncoderUsable(ctx, true)) return std::nullopt;
    if (!FormatRunnable(ctx, hooks)) return std::nullopt;
    if (!IsAudioKey(ctx.rows[static_cast<std::size_t>(selectedRow)].key)) {
        ctx.prompter.Message(kNotAnAudioTrackRow, MessageIcon::Error, "");
        return std::nullopt;
    }
    CRipJob job;
    job.mode = kRipSelected;
    CurrentTrack t = MakeRowCurrent(ctx, selectedRow);
    ClearStatusColumn(ctx);
    job.Append(t.session, t.track, SampleValuesOf(t.sectors, t.sectorBytes));
    job.firstTrack = job.lastTrack = static_cast<uint16_t>(t.track);
    return job;
}

std::optional<CRipJob> OnRipChecked(MainContext& ctx, const RipCommandHooks& hooks) {
    if (ctx.refreshing) return std::nullopt;
    if (!StopPlaybackIfWanted(ctx, hooks)) return std::nullopt;
    bool anyAudioChecked = false;
    for (const TrackRow& row : ctx.rows)
        if (row.checked && IsAudioKey(row.key)) anyAudioChecked = true;
    // A checked data row (which the check rules never allow) is skipped, so it alone
    // leaves nothing to rip.
    if (!anyAudioChecked) {
        ctx.prompter.Message(kNoTracksChecked, MessageIcon::None, "");
        return std::nullopt;
    }
    if (!CustomEncoderUsable(ctx, false)) return std::nullopt;
    if (!FormatRunnable(ctx, hooks)) return std::nullopt;

    ClearStatusColumn(ctx);
    CRipJob job;
    job.mode = kRipChecked;
    for (int i = 0; i < static_cast<int>(ctx.rows.size()); ++i) {
        const TrackRow& row = ctx.rows[static_cast<std::size_t>(i)];
        if (row.checked && IsAudioKey(row.key)) AppendRow(ctx, job, i);
    }
    return FinishTrackJob(ctx, std::move(job), hooks.createFolders);
}

std::optional<CRipJob> OnRipAll(MainContext& ctx, const RipCommandHooks& hooks) {
    if (ctx.refreshing) return std::nullopt;
    if (!StopPlaybackIfWanted(ctx, hooks)) return std::nullopt;
    bool anyAudio = false;
    for (const TrackRow& row : ctx.rows)
        if (IsAudioKey(row.key)) anyAudio = true;
    if (!anyAudio) {
        ctx.prompter.Message(kNoTracksFound, MessageIcon::None, "");
        return std::nullopt;
    }
    if (!CustomEncoderUsable(ctx, false)) return std::nullopt;
    if (!FormatRunnable(ctx, hooks)) return std::nullopt;

    ClearStatusColumn(ctx);
    CRipJob job;
    job.mode = kRipAll;
    for (int i = 0; i < static_cast<int>(ctx.rows.size()); ++i)
        if (IsAudioKey(ctx.rows[static_cast<std::size_t>(i)].key)) AppendRow(ctx, job, i);
    return FinishTrackJob(ctx, std::move(job), hooks.createFolders);
}

std::optional<CRipJob> OnRipSectorRange(MainContext& ctx, const RipCommandHooks& hooks) {
    if (ctx.refreshing) return std::nullopt;
    if (!AudioDiscPresent(ctx)) return std::nullopt;
    if (!StopPlaybackIfWanted(ctx, hooks)) return std::nullopt;
    if (!FormatRunnable(ctx, hooks)) return std::nullopt;

    const std::vector<int32_t> starts = TocStarts(ctx);
    std::vector<int32_t> keys;
    for (const TrackRow& row : ctx.rows) keys.push_back(row.key);
    CSectorRange range;
    if (!range.Open(starts, keys)) {
        ctx.prompter.Message(kNotAnAudioCd, MessageIcon::None, "");
        return std::nullopt;
    }
    if (hooks.chooseRange && !hooks.chooseRange(range)) return std::nullopt;

    char name[64];
    std::snprintf(name, sizeof name, "Sector %d to %d", range.startSector, range.endSector);
    std::optional<std::string> file = AskOutputFile(ctx, name, hooks.createFolders);
    if (!file) return std::nullopt;

    CRipJob job;
    job.mode = kRipSectorRange;
    job.outputPath = *file;
    job.singleOutput = true;
    job.firstTrack = static_cast<uint16_t>(range.startTrack);
    job.lastTrack = static_cast<uint16_t>(range.endTrack);
    const int32_t base = range.base;
    job.startOffset = range.startSector + base - starts[job.firstTrack] - 1;
    job.endOffset = range.endSector + base - starts[job.lastTrack];

    ClearStatusColumn(ctx);
    for (int t = job.firstTrack; t <= job.lastTrack; ++t) {
        if (t >= static_cast<int>(ctx.rows.size())) break;
        CurrentTrack cur = MakeRowCurrent(ctx, t);
        int32_t sectors = cur.sectors;
        if (t == job.lastTrack) sectors = job.endOffset;
        if (t == job.firstTrack) sectors -= job.startOffset;
        job.Append(cur.session, cur.track, SampleValuesOf(sectors, cur.sectorBytes));
    }
    return job;
}

std::optional<CRipJob> OnRipDiscImage(MainContext& ctx, const RipCommandHooks& hooks) {
    if (ctx.refreshing) return std::nullopt;
    if (!AudioDiscPresent(ctx)) return std::nullopt;
    if (!StopPlaybackIfWanted(ctx, hooks)) return std::nullopt;
    for (const TrackRow& row : ctx.rows) {
        if (!IsAudioKey(row.key)) {
            ctx.prompter.Message(kDataTracksInImage, MessageIcon::None, "");
            return std::nullopt;
        }
    }
    if (ctx.rows.empty()) {
        ctx.prompter.Message(kNoTracksFound, MessageIcon::None, "");
        return std::nullopt;
    }
    if (!FormatRunnable(ctx, hooks)) return std::nullopt;

    std::optional<std::string> file =
        AskOutputFile(ctx, ctx.settings.OUTPUT.FillTag ? ctx.album.albumTitle : std::string("CD Image"),
                      hooks.createFolders);
    if (!file) return std::nullopt;

    // The whole disc as one range: every track from its first to its last sector.
    CRipJob job;
    job.mode = kRipDiscImage;
    job.outputPath = *file;
    job.singleOutput = true;
    ClearStatusColumn(ctx);
    int32_t lastSectors = 0;
    for (int i = 0; i < static_cast<int>(ctx.rows.size()); ++i) {
        CurrentTrack cur = MakeRowCurrent(ctx, i);
        job.Append(cur.session, cur.track, SampleValuesOf(cur.sectors, cur.sectorBytes));
        lastSectors = cur.sectors;
    }
    job.firstTrack = 0;
    job.lastTrack = static_cast<uint16_t>(job.entries.size() - 1);
    job.startOffset = 0;
    job.endOffset = lastSectors;
    return job;
}

}  // namespace quarrow
