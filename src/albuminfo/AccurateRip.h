// AccurateRip: the disc's three IDs worked out from its layout, the address of its
// database file, and that binary file read into pressings (one chunk each, with per track
// the confidence, the checksum and the frame-450 checksum); the lookup over HTTP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/HttpGet.h"

namespace quarrow {

struct CdDiscLayout;

// Only the audio tracks count, numbered 1.. in disc order, but the lead-out is the disc's
// own (past a data track at the end); the CDDB ID is that of the whole disc.
struct AccurateRipDiscId {
    int audioTracks = 0;
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddbId = 0;
    int firstTrackNumber = 1;             // the disc's first track, audio or data
    std::vector<int> audioTrackNumbers;   // the disc track numbers of the audio tracks
    bool Valid() const { return audioTracks > 0; }
    // "010-00164419-00b9f6e2-9e11600b"
    std::string Text() const;
    // "dBAR-010-00164419-00b9f6e2-9e11600b.bin"
    std::string FileName() const;
};

// A disc without audio tracks gives an ID whose Valid() is false.
AccurateRipDiscId AccurateRipIdOf(const CdDiscLayout& layout);

// base + "/" + the low three hex digits of id1, lowest first, each its own folder,
// + "/" + FileName(): ".../accuraterip/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin".
std::string AccurateRipUrl(const std::string& base, const AccurateRipDiscId& id);

// Which track entry of a pressing belongs to a disc track: entries follow the disc's
// track order from its first track, a leading data track included. -1 for a track
// that is not one of the disc's audio tracks.
int AccurateRipEntryIndex(const AccurateRipDiscId& id, int discTrackNumber);

struct AccurateRipTrackEntry {
    uint32_t confidence = 0;   // 0: no submission for this track
    uint32_t checksum = 0;     // v1 or v2, whichever the submitter made
    uint32_t frame450 = 0;     // checksum of the track's sector 450, for offset finding
    bool operator==(const AccurateRipTrackEntry&) const = default;
};

// One chunk of the file: a 13-byte header (track count, id1, id2, CDDB ID, little
// endian) and 9 bytes per track (confidence, checksum, frame-450 checksum).
struct AccurateRipPressing {
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddbId = 0;
    std::vector<AccurateRipTrackEntry> tracks;
    bool operator==(const AccurateRipPressing&) const = default;
};

// Reads the whole file; false with error ("the AccurateRip answer is cut short in
// pressing 2 at byte 40", "... is empty") on anything that is not whole chunks.
bool ParseAccurateRipFile(const std::string& bytes, std::vector<AccurateRipPressing>& pressings,
                          std::string& error);

// The outcome of a lookup: the disc's pressings, "not in database" (the server answered
// 404), or why the check could not run (off, offline, time-out, garbage).
struct AccurateRipLookup {
    enum class Outcome { Found, NotFound, Failed };
    Outcome outcome = Outcome::Failed;
    std::vector<AccurateRipPressing> pressings;
    std::string url;
    std::string error;    // for Failed: the reason, naming the server or the address
    static AccurateRipLookup CouldNotRun(const std::string& reason);
};

// GETs the disc's file under base (the VERIFY AccurateRipURL setting).
AccurateRipLookup LookupAccurateRip(const AccurateRipDiscId& id, const std::string& base,
                                    const HttpOptions& options);

// The frame-450 checksums every pressing holds for a disc track (entries with a
// confidence above 0 and a value other than 0, each value once, in pressing order);
// the offset finder slides its reads against these.
std::vector<uint32_t> AccurateRipFrame450(const AccurateRipLookup& lookup,
                                          const AccurateRipDiscId& id, int discTrackNumber);

}  // namespace quarrow
