#include "albuminfo/DiscRefresh.h"

#include <cstdio>

#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "app/TrackKey.h"

namespace quarrow {

namespace {

std::string Printf(const char* fmt, int a, int b = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

}  // namespace

void RefreshDisc(MainContext& ctx) {
    struct RefreshingGuard {
        bool& flag;
        ~RefreshingGuard() { flag = false; }
    } guard{ctx.refreshing};
    try {
        AlbumStepsBeforeRefresh(ctx);
        ctx.log.Add("Refreshing CD...");
        ctx.refreshing = true;
        ctx.rows.clear();
        CdDrive& drive = ctx.grabber.Drive();
        drive.RefreshDisc();
        ctx.mediaState = UpdateMediaState(ctx);
        AlbumStepsLookup(ctx);
        ctx.refreshing = false;
        FillTrackList(ctx);
        ctx.followLoadAlbumInfo = true;
    } catch (...) {
        ctx.refreshing = false;
        try {
            AlbumStepsCatchAll(ctx);
        } catch (...) {
            // The catch-all logs; when even the log fails there is nobody left to tell.
        }
    }
}

std::string UpdateMediaState(MainContext& ctx) {
    CdDrive& drive = ctx.grabber.Drive();
    std::string text;
    const int state = drive.DiscState();
    switch (state) {
        case kNoDisc: text = "No Disc  "; break;
        case kRecognizedDisc: text = "Recognized Disc: "; break;
        case kUnrecognizedDisc: text = "Unrecognized Disc: "; break;
        default: break;
    }
    static const char* const kMedia[] = {"CD-ROM  ", "CD-R  ",   "CD-RW  ", "DVD-ROM  ",
                                         "DVD+R  ",  "DVD+RW  ", "DVD-R  ", "DVD-RW  "};
    ctx.hasAudio = false;
    if (state != kNoDisc) {
        const int media = drive.MediaType();
        if (media >= 0 && media < 8) text += kMedia[media];
        for (int s = 0; s < drive.SessionCount() && !ctx.hasAudio; ++s) {
            drive.SetCurrentSession(s);
            for (int t = 0; t < drive.SessionTrackCount(); ++t) {
                drive.SetCurrentTrack(t);
                if (drive.TrackType() == kTrackAudio) {
                    ctx.hasAudio = true;
                    break;
                }
            }
        }
    }
    if (ctx.hasAudio) {
        ctx.toc = ReadToc(drive, &ctx.log);
        ctx.discId = ComputeDiscId(ctx.toc);
        text += " " + FormatDiscId(ctx.discId) + "  Length: " + FormatSectorTime(ctx.toc.back().FrameOffset());
    } else {
        ctx.toc.clear();
        ctx.discId = 0;
        text += " Not an Audio CD";
        ctx.freeDbEnabled = false;
    }
    ctx.mediaState = text;
    return text;
}

void FillTrackList(MainContext& ctx) {
    CdDrive& drive = ctx.grabber.Drive();
    ctx.refreshing = true;
    ctx.log.Add("Refreshing track list view...");
    ctx.rows.clear();
    const bool albumShown = ctx.freeDbEnabled;
    for (int s = 0; s < drive.SessionCount(); ++s) {
        drive.SetCurrentSession(s);
        for (int t = 0; t < drive.SessionTrackCount(); ++t) {
            drive.SetCurrentTrack(t);
            const std::size_t i = ctx.rows.size();
            TrackRow row;
            row.session = s;
            row.track = t;
            row.type = drive.TrackType();
            row.audio = row.type == kTrackAudio;
            row.sectors = drive.TrackSectors();
            if (albumShown && static_cast<std::size_t>(t) < ctx.album.trackTitles.size() &&
                !ctx.album.trackTitles[t].empty())
                row.title = ctx.album.trackTitles[t];
            else
                row.title = Printf("Track%02d", t + 1);
            if (albumShown) {
                char head[1024];
                std::snprintf(head, sizeof head, "Album:    %s\r\nArtist:     %s\r\nGenre:    %s\r\nYear:      %d",
                              ctx.album.albumTitle.c_str(), ctx.album.artist.c_str(), ctx.album.genre.c_str(),
                              ctx.album.year);
                row.titleTooltip = std::string(head) + "\r\n" + "Title:       " + row.title;
            }
            row.typeText = TrackTypeText(row.type);
            if (ctx.isrcWanted && ctx.isrcs.size() == i) {
                ctx.log.Add(Printf("Reading ISRC information of session%d track%d...", s + 1, t + 1));
                std::string isrc = drive.Isrc();
                if (isrc.empty()) {
                    isrc = "N/A";
                    ctx.log.Add("Fail to read ISRC information: \nN/A", 1);
                }
                ctx.isrcs.push_back(isrc);
            }
            if (i < ctx.isrcs.size()) row.isrc = ctx.isrcs[i];
            row.duration = FormatSectorTime(row.sectors);
            row.number = Printf("  %02d", t + 1);
            row.numberTooltip = Printf("Track %02d of Disc Session %02d", t + 1, drive.TrackSession() + 1);
            row.checked = row.audio;
            row.key = TrackKeyOf(s, t, row.audio, drive.TrackMinutes(), drive.TrackSeconds());
            const int index = drive.TrackNumber();
            if (ctx.hasAudio && index >= 0 && static_cast<std::size_t>(index) + 1 < ctx.toc.size()) {
                row.startSector = ctx.toc[index].FrameOffset();
                row.start = FormatSectorTime(row.startSector);
            }
            ctx.rows.push_back(std::move(row));
        }
    }
    ctx.currentItem = 0;
    for (std::size_t i = 0; i < ctx.rows.size(); ++i) {
        if (ctx.rows[i].checked) {
            ctx.currentItem = static_cast<int>(i);
            SelectTrackByKey(drive, ctx.rows[i].key);
            break;
        }
    }
    FillDestinations(ctx);
    ctx.isrcWanted = !ctx.isrcs.empty();
    ctx.refreshing = false;
}

void FillDestinations(MainContext& ctx) {
    for (TrackRow& row : ctx.rows) {
        if (!IsAudioKey(row.key))
            row.destination = "Not an audio track";
        else
            row.destination = ctx.destinationOf ? ctx.destinationOf(row) : std::string();
    }
}

}  // namespace quarrow
