#include "albuminfo/AlbumSteps.h"

#include <cstdio>
#include <exception>

#include "albuminfo/LocalCddb.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

bool DiscReady(CdDrive& drive) { return drive.DiscState() != kNoDisc; }

}  // namespace

AlbumServices& Services(MainContext& ctx) {
    if (!ctx.albumServices) {
        auto services = std::make_shared<AlbumServices>();
        services->client.SetLog(&ctx.log);
        services->client.SetPrompter(&ctx.prompter);
        services->client.SetMainMatches(&services->matches);
        ctx.albumServices = services;
    }
    return *static_cast<AlbumServices*>(ctx.albumServices.get());
}

void StartAlbumServices(MainContext& ctx, const std::string& home) {
    AlbumServices& s = Services(ctx);
    LoadFreeDBServers(FreeDBServerFilePath(home), s.servers, &ctx.log);
}

void StopAlbumServices(MainContext& ctx, const std::string& home) {
    AlbumServices& s = Services(ctx);
    std::string error;
    if (!SaveFreeDBServers(FreeDBServerFilePath(home), s.servers, &error)) {
        try {
            ctx.log.Add("Fail to save the FreeDB server list: " + error, 2);
        } catch (const std::exception&) {
            // The log file itself cannot be written; nothing more can be said.
        }
    }
}

std::string MatchLogLine(const CCDDBMatch& match) {
    return FormatDiscId(match.discId) + ", " + match.title + "  " + match.artist + " " + match.category;
}

void AlbumStepsBeforeRefresh(MainContext& ctx) {
    AlbumServices& s = Services(ctx);
    s.matches.clear();
    s.serverApplied = DiscReady(ctx.grabber.Drive()) &&
                      ApplyFreeDBServer(s.client, s.server, s.servers, ctx.settings);
    // The command's request belongs to the one refresh it starts.
    s.refreshSource = s.lookupRequested ? s.requestedSource : -1;
    if (s.lookupRequested)
        ctx.freeDbEnabled = true;
    else if (ctx.followLoadAlbumInfo)
        ctx.freeDbEnabled = ctx.settings.FREEDB.LoadAlbumInfo != 0;
    s.lookupRequested = false;
    s.requestedSource = -1;
}

void AlbumStepsLookup(MainContext& ctx) {
    AlbumServices& s = Services(ctx);
    // A drive that learns of its disc only when it is refreshed reports none before: the
    // server is then applied here, once the disc is known.
    if (!s.serverApplied && DiscReady(ctx.grabber.Drive()))
        s.serverApplied = ApplyFreeDBServer(s.client, s.server, s.servers, ctx.settings);
    if (!ctx.freeDbEnabled) {
        FillAlbumDefaults(ctx.album, ctx.grabber.Drive(), ctx.toc);
        return;
    }
    const int source = s.refreshSource >= 0 ? s.refreshSource : ctx.settings.FREEDB.AlbumInfoSource;
    const std::string& folder = ctx.settings.FREEDB.LocalCDDBDir;
    switch (source) {
        case 0:
            if (LoadLocalCddb(folder, ctx.discId, ctx.album, &ctx.log)) {
                ctx.log.Add("Local CDDB loaded.");
            } else {
                ctx.log.Add("Fail to load local CDDB, try remote FreeDB server.", 2);
                s.matches.clear();
                QueryFreeDB(ctx);
            }
            break;
        case 1:
            QueryFreeDB(ctx);
            break;
        case 2:
            if (LoadLocalCddb(folder, ctx.discId, ctx.album, &ctx.log)) {
                ctx.log.Add("Local CDDB loaded.");
            } else {
                // Lookup goes off; the record keeps what it held before this refresh.
                ctx.log.Add("Fail to load local CDDB", 2);
                s.matches.clear();
                ctx.freeDbEnabled = false;
            }
            break;
        default:
            break;
    }
}

void AlbumStepsCatchAll(MainContext& ctx) {
    AlbumServices& s = Services(ctx);
    try {
        ctx.log.Add("Error on refresh disc info!", 2);
    } catch (const std::exception&) {
        // An unwritable log must not stop the recovery below.
    }
    if (!ctx.freeDbEnabled) return;
    ctx.freeDbEnabled = false;
    ctx.followLoadAlbumInfo = false;
    s.matches.clear();
    try {
        FillAlbumDefaults(ctx.album, ctx.grabber.Drive(), ctx.toc);
    } catch (const std::exception&) {
        // No drive to ask: the refresh below meets the same failure and ends there.
    }
    if (s.startRefresh)
        s.startRefresh();
    else
        RefreshDisc(ctx);  // without lookup: FreeDbEnabled is clear and stays so
}

void QueryFreeDB(MainContext& ctx) {
    AlbumServices& s = Services(ctx);
    ctx.log.Add("Quering CD album information from FreeDB server...");
    ctx.log.Add("ServerURL: " + s.server.host + s.server.path + " Port: " + std::to_string(s.server.port));
    s.client.Query(s.server, ctx.discId, ctx.toc, s.matches);
    ctx.log.Add("Retrieved the following matches for the inserted audio CD.");
    if (s.matches.size() == 1) {
        const CCDDBMatch match = s.matches.front();
        ctx.log.Add(MatchLogLine(match));
        ctx.log.Add("FreeDB information available.");
        s.client.Read(s.server, match.category, match.discId, ctx.album);
    } else if (s.matches.size() > 1) {
        ChooseAndReadMatch(ctx);
    }
    if (ctx.settings.FREEDB.SaveAlbumInfo == 1)
        SaveLocalCddb(ctx.settings.FREEDB.LocalCDDBDir, ctx.discId, ctx.album,
                      s.client.ProtocolLevel(), &ctx.log);
}

void ChooseAndReadMatch(MainContext& ctx) {
    AlbumServices& s = Services(ctx);
    ctx.prompter.Message("FreeDB Server Returned Multiple Results, Please Select the Correct One.",
                         MessageIcon::Information);
    // Copied: a failing read clears the match array.
    const std::vector<CCDDBMatch> matches = s.matches;
    std::vector<std::string> rows;
    for (const CCDDBMatch& m : matches) {
        ctx.log.Add(MatchLogLine(m));
        rows.push_back(FormatDiscId(m.discId) + "  " + m.title + "  " + m.artist + "  " + m.category);
    }
    int chosen = ctx.prompter.PickOne("Please select a CDDB result", rows);
    // Cancel, or an answer that names no row, reads the first match: one is always read.
    if (chosen < 0 || static_cast<size_t>(chosen) >= matches.size()) chosen = 0;
    const CCDDBMatch& match = matches[static_cast<size_t>(chosen)];
    s.client.Read(s.server, match.category, match.discId, ctx.album);
    ctx.log.Add("FreeDB server returned multiple results.");
}

bool QueryFreeDBChecked(MainContext& ctx) {
    CdDrive& drive = ctx.grabber.Drive();
    return DiscReady(drive) && drive.TrackType() == kTrackAudio && ctx.freeDbEnabled;
}

void RefreshWithLookup(MainContext& ctx, int source) {
    AlbumServices& s = Services(ctx);
    ctx.freeDbEnabled = true;
    s.lookupRequested = true;
    s.requestedSource = source;
    RefreshDisc(ctx);
}

bool QueryFreeDBCommand(MainContext& ctx) {
    CdDrive& drive = ctx.grabber.Drive();
    if (!DiscReady(drive) || drive.TrackType() != kTrackAudio || ctx.freeDbEnabled) return false;
    ctx.freeDbEnabled = true;
    ctx.log.Add("FreeDB enabled.");
    AlbumServices& s = Services(ctx);
    if (s.stopPlayback) s.stopPlayback();
    RefreshWithLookup(ctx);
    return true;
}

}  // namespace quarrow
