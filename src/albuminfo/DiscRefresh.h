// The disc refresh: reads the disc through the drive, works out the "Disc Media State"
// line and the disc ID, runs the album steps (lookup or defaults) and builds the track
// list rows. MainContext is the main window's state without widgets, shared by the Qt
// window and the command line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "albuminfo/AlbumRecord.h"

namespace quarrow {

class CdDrive;
class CdGrabber;
class CEventLog;
class Prompter;
struct CSettings;

// One row of the track list as the user sees it.
struct TrackRow {
    int32_t key = 0;             // the track key (audio when >= 1000)
    int session = 0;             // 0-based
    int track = 0;               // 0-based within the session
    int type = 0;
    int32_t sectors = 0;
    int32_t startSector = 0;     // from the CDDB table (absolute frames), audio discs only
    bool audio = false;
    bool checked = false;
    std::string number;          // "  %02d"
    std::string numberTooltip;   // "Track %02d of Disc Session %02d"
    std::string title;
    std::string titleTooltip;
    std::string typeText;
    std::string isrc;
    std::string start;           // sector time, empty without audio
    std::string duration;
    std::string status;
    std::string destination;
};

// The main window's state of the inserted disc and its collaborators.
struct MainContext {
    MainContext(CSettings& s, CEventLog& l, CdGrabber& g, Prompter& p)
        : settings(s), log(l), grabber(g), prompter(p) {}
    CSettings& settings;
    CEventLog& log;
    CdGrabber& grabber;
    Prompter& prompter;

    // Per-disc state.
    CCDDBToc toc;
    uint32_t discId = 0;
    bool hasAudio = false;
    std::string mediaState;
    CAlbumRecord album;
    // Where the album titles came from: "local", "remote" or "default".
    std::string albumSource = "default";
    bool freeDbEnabled = false;
    bool followLoadAlbumInfo = true;
    std::vector<std::string> isrcs;
    bool isrcWanted = false;
    std::vector<TrackRow> rows;
    int currentItem = 0;
    bool refreshing = false;

    // The Destination column's text of an audio row; set by whoever knows the naming
    // rules (the rip library). Without it the column stays empty.
    std::function<std::string(const TrackRow&)> destinationOf;

    // Album lookup collaborators (the client, the server list, the matches) live in the
    // album-steps unit; this pointer keeps MainContext free of their headers.
    std::shared_ptr<void> albumServices;
};

// The whole refresh sequence: album steps 1-3, RefreshDisc, UpdateMediaState, the
// lookup or defaults, the track list. Catches everything into the catch-all.
void RefreshDisc(MainContext& ctx);

// Works out the "Disc Media State" text and, with an audio track, the table of
// contents and the disc ID.
std::string UpdateMediaState(MainContext& ctx);

// Builds ctx.rows from the drive and the album record.
void FillTrackList(MainContext& ctx);
// Rewrites the Destination column of every row.
void FillDestinations(MainContext& ctx);

// The album steps of a refresh (defined by the album-steps unit).
void AlbumStepsBeforeRefresh(MainContext& ctx);  // steps 1-3
void AlbumStepsLookup(MainContext& ctx);         // step 5: lookup or defaults
// The catch-all: logs "Error on refresh disc info!" and refreshes once more without
// lookup when the lookup was enabled.
void AlbumStepsCatchAll(MainContext& ctx);

}  // namespace quarrow
