// DiscVerification: the verdicts of a verified rip. Per track, the AccurateRip v1 and v2
// checksums of what was read against every pressing of the disc's database file; for the
// disc, its CUETools database CRC against the lookup's entries. Each verdict has its text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "albuminfo/AccurateRip.h"
#include "albuminfo/CueToolsDb.h"
#include "app/AudioChecksums.h"

namespace quarrow {

struct CSettings;
struct CdDiscLayout;

enum class VerdictKind {
    Accurate,        // a database entry matches
    NotInDatabase,   // the database does not know the disc (or this track of it)
    Mismatch,        // the database knows it, and nothing matches
    NotChecked,      // the check could not run: the reason says why
};

struct TrackVerdict {
    int trackNumber = 0;           // disc track number
    VerdictKind kind = VerdictKind::NotChecked;
    uint32_t confidence = 0;       // Accurate: the matching entry's confidence
    int version = 0;               // Accurate: 1 or 2, the checksum that matched
    int pressing = 0;              // Accurate: 1-based chunk of the database file
    int pressings = 0;             // chunks of the file that hold an entry for this track
    std::string reason;            // NotChecked: why
    // "accurately ripped (confidence 5)", "not in database", "mismatch",
    // "not checked: the AccurateRip server ... did not answer within 5 s"
    std::string Text() const;
    // "v2, pressing 1 of 2"; for a mismatch "2 pressings, none matches"; else empty.
    std::string Detail() const;
    // Text() and, when there is one, " [" + Detail() + "]".
    std::string Line() const;
};

struct DiscVerdict {
    VerdictKind kind = VerdictKind::NotChecked;
    uint32_t confidence = 0;       // Accurate: the matching entry's confidence
    int entries = 0;               // entries the lookup gave
    uint32_t totalConfidence = 0;  // of all entries
    std::string reason;
    // "accurately ripped (confidence 896)", "not in database", "mismatch",
    // "not checked: ..."
    std::string Text() const;
    // "1 of 3 entries, total confidence 900" when there are entries; else empty.
    std::string Detail() const;
    std::string Line() const;
};

// One ripped track: its disc track number and the checksums of what was read. A track
// that was not read whole (part of it, cut sectors, a stop) is not checkable: its verdict
// is NotChecked with the reason given.
struct TrackChecksumResult {
    int trackNumber = 0;
    TrackChecksums sums;
    bool checkable = true;
    std::string uncheckableReason;
};

// A track matches a pressing when the pressing's entry (confidence above 0) equals its v2
// or its v1 checksum; of several matches the highest confidence wins, v2 before v1.
TrackVerdict VerifyTrack(const AccurateRipDiscId& id, const TrackChecksumResult& track,
                         const AccurateRipLookup& lookup);

// The disc CRC against the entries; no CRC (the rip did not cover the disc) is
// NotChecked with that reason.
DiscVerdict VerifyDiscCrc(const std::optional<uint32_t>& ctdbCrc, const CueToolsDbLookup& lookup);

struct DiscVerification {
    std::string accurateRipId;              // AccurateRipDiscId::Text()
    std::vector<TrackVerdict> tracks;       // in the order the tracks were given
    DiscVerdict ctdb;
    int AccurateTracks() const;
    // "AccurateRip: 10 of 12 tracks accurately ripped, 1 mismatch, 1 not in database;
    // CUETools database: accurately ripped (confidence 896)"
    std::string Summary() const;
};

DiscVerification VerifyDisc(const AccurateRipDiscId& id, const std::vector<TrackChecksumResult>& tracks,
                            const AccurateRipLookup& accurateRip, const std::optional<uint32_t>& ctdbCrc,
                            const CueToolsDbLookup& ctdb);

// Both lookups for a disc with the settings' addresses, time-out and proxy. With the
// VERIFY Lookup setting off, neither runs and both say the check is turned off.
struct VerificationLookups {
    AccurateRipDiscId id;
    AccurateRipLookup accurateRip;
    CueToolsDbLookup ctdb;
};
VerificationLookups RunVerificationLookups(const CdDiscLayout& layout, const CSettings& settings,
                                           const HttpOptions& options);

}  // namespace quarrow
