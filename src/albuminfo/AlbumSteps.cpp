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
        services->client.SetCancelFlag(&services->cancelLookup);
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
            ctx.log.Add("Fail to save the FreeDB server list: " + error, 1);
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
    s.cancelLookup = false;
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
    CdDrive& drive = ctx.grabber.Drive();
    // A drive that learns of its disc only when it is refreshed reports none before: the
    // server is then applied here, once the disc is known.
    if (!s.serverApplied && DiscReady(drive))
        s.serverApplied = ApplyFreeDBServer(s.client, s.server, s.servers, ctx.settings);
    // Every lookup starts from this disc's defaults: a source that gives nothing leaves
    // them, never the titles of the disc before.
    FillAlbumDefaults(ctx.album, drive, ctx.toc);
    ctx.albumSource = kAlbumSourceDefault;
    if (!ctx.freeDbEnabled) return;
    const CAlbumRecord defaults = ctx.album;
    const int source = s.refreshSource >= 0 ? s.refreshSource : ctx.settings.FREEDB.AlbumInfoSource;
    const std::string& folder = ctx.settings.FREEDB.LocalCDDBDir;
    switch (source) {
        case 0:
            if (LoadLocalCddb(folder, ctx.discId, ctx.album, &ctx.log)) {
                ctx.log.Add("Local CDDB loaded.");
                ctx.albumSource = kAlbumSourceLocal;
            } else {
                ctx.log.Add("Fail to load local CDDB, try remote FreeDB server.", 1);
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
                ctx.albumSource = kAlbumSourceLocal;
            } else {
                // Lookup goes off and the disc keeps its defaults.
                ctx.log.Add("Fail to load local CDDB", 1);
                s.matches.clear();
                ctx.freeDbEnabled = false;
            }
            break;
        default:
            break;
    }
    if (ctx.albumSource != kAlbumSourceDefault)
        for (const std::string& why : FillEmptyAlbumFields(ctx.album, defaults)) ctx.log.Add(why, 1);
}

void AlbumStepsCatchAll(MainContext& ctx) {
    AlbumServices& s = Services(ctx);
    try {
        ctx.log.Add("Error on refresh disc info!", 1);
    } catch (const std::exception&) {
        // An unwritable log must not stop the recovery below.
    }
    if (!ctx.freeDbEnabled) return;
    ctx.freeDbEnabled = false;
    ctx.followLoadAlbumInfo = false;
    ctx.albumSource = kAlbumSourceDefault;
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
    const CAlbumRecord before = ctx.album;
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
    // A read answer without a record (a status outside 210-219) leaves the record as it
    // was: that is no album information, and nothing to save.
    if (ctx.album == before) {
        ctx.log.Add("The FreeDB server returned no album record for disc " + FormatDiscId(ctx.discId) +
                        "; default titles are used.",
                    1);
        ctx.freeDbEnabled = false;
        ctx.albumSource = kAlbumSourceDefault;
        return;
    }
    ctx.albumSource = kAlbumSourceRemote;
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

void CancelAlbumLookup(MainContext& ctx) { Services(ctx).cancelLookup = true; }

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
