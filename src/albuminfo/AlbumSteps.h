// Where the album information of each disc refresh comes from: nowhere (defaults), the
// local CDDB store, a FreeDB server, or the store first and the server second. Holds the
// lookup collaborators (CDDB client, server list, current server, matches) behind
// MainContext::albumServices, runs the query and read, lets the user pick among several
// matches, saves what the server gave, and the "Query FreeDB" command.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "albuminfo/CDDB.h"
#include "albuminfo/DiscRefresh.h"
#include "albuminfo/FreeDBServer.h"

namespace quarrow {

struct AlbumServices {
    CCDDB client;
    CCDDBServerAddress server = CCDDBServerAddress::Query("");
    FreeDBServerList servers;
    std::vector<CCDDBMatch> matches;   // the matches of the last query

    // Set by the "Query FreeDB" command for the refresh it starts: that refresh looks the
    // album up even when LoadAlbumInfo is 0 (the setting would otherwise clear the flag
    // the command has just set). lookupSource >= 0 replaces AlbumInfoSource for it.
    bool lookupRequested = false;
    int requestedSource = -1;
    int refreshSource = -1;            // the source of the refresh running now; -1: setting
    bool serverApplied = false;        // ApplyFreeDBServer ran in the refresh running now

    // Starts the refresh without lookup that follows a failed one; empty: RefreshDisc at
    // once on the calling thread. The window sets it to start a worker thread.
    std::function<void()> startRefresh;
    // Stops playback before the command's refresh; empty when nothing plays.
    std::function<void()> stopPlayback;
    // Set from any thread: the lookup of the refresh running now gives up at its next
    // wait (the refresh then ends with the defaults). Cleared when a refresh starts.
    std::atomic<bool> cancelLookup{false};
};

// The values of MainContext::albumSource.
inline constexpr const char* kAlbumSourceLocal = "local";
inline constexpr const char* kAlbumSourceRemote = "remote";
inline constexpr const char* kAlbumSourceDefault = "default";

// Makes the running lookup give up (a stopped rip, a closed window); thread-safe.
void CancelAlbumLookup(MainContext& ctx);

// The services of ctx, made on first use.
AlbumServices& Services(MainContext& ctx);

// Start-up: loads "FreeDB Server.ini" from home (the defaults when missing) and wires the
// client to the log, the prompter and the match array.
void StartAlbumServices(MainContext& ctx, const std::string& home);
// Exit: writes the server list back to home.
void StopAlbumServices(MainContext& ctx, const std::string& home);

// Query and read from the current server into ctx.album, the user's choice when there are
// several matches, then the local save when SaveAlbumInfo is 1. Throws CCDDBException. A
// read that leaves the record as it was counts as nothing found: lookup goes off, nothing
// is saved.
void QueryFreeDB(MainContext& ctx);

// Several matches: the message box, the choice (caption "Please select a CDDB result"),
// and the read of exactly one match, the first when the user cancels.
void ChooseAndReadMatch(MainContext& ctx);

// One line of the match list and of the log: "%08x, %s  %s %s" (disc ID, title, artist,
// category).
std::string MatchLogLine(const CCDDBMatch& match);

// The "Query FreeDB" command: with a ready disc, an audio current track and lookup off,
// turns lookup on, logs "FreeDB enabled.", stops playback and refreshes with lookup.
// Returns whether it refreshed.
bool QueryFreeDBCommand(MainContext& ctx);
// Whether the command's menu item is checked.
bool QueryFreeDBChecked(MainContext& ctx);
// A refresh that looks the album up whatever LoadAlbumInfo says; source -1 follows
// AlbumInfoSource, 1 asks the server only. The command line's lookup.
void RefreshWithLookup(MainContext& ctx, int source = -1);

}  // namespace quarrow
