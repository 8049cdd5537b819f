#include "albuminfo/DiscVerification.h"

#include "app/CdDrive.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

std::string KindText(VerdictKind kind, uint32_t confidence, const std::string& reason) {
    switch (kind) {
    case VerdictKind::Accurate: return "accurately ripped (confidence " + std::to_string(confidence) + ")";
    case VerdictKind::NotInDatabase: return "not in database";
    case VerdictKind::Mismatch: return "mismatch";
    case VerdictKind::NotChecked: break;
    }
    return "not checked: " + (reason.empty() ? std::string("the check did not run") : reason);
}

std::string WithDetail(const std::string& text, const std::string& detail) {
    return detail.empty() ? text : text + " [" + detail + "]";
}

std::string Plural(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

}  // namespace

std::string TrackVerdict::Text() const { return KindText(kind, confidence, reason); }

std::string TrackVerdict::Detail() const {
    if (kind == VerdictKind::Accurate)
        return "v" + std::to_string(version) + ", pressing " + std::to_string(pressing) + " of " +
               std::to_string(pressings);
    if (kind == VerdictKind::Mismatch) return Plural(pressings, "pressing", "pressings") + ", none matches";
    return {};
}

std::string TrackVerdict::Line() const { return WithDetail(Text(), Detail()); }

std::string DiscVerdict::Text() const { return KindText(kind, confidence, reason); }

std::string DiscVerdict::Detail() const {
    if (entries == 0 || kind == VerdictKind::NotChecked) return {};
    return (kind == VerdictKind::Accurate ? "1 of " : "") + Plural(entries, "entry", "entries") +
           ", total confidence " + std::to_string(totalConfidence);
}

std::string DiscVerdict::Line() const { return WithDetail(Text(), Detail()); }

TrackVerdict VerifyTrack(const AccurateRipDiscId& id, const TrackChecksumResult& track,
                         const AccurateRipLookup& lookup) {
    TrackVerdict v;
    v.trackNumber = track.trackNumber;
    if (!track.checkable) {
        v.kind = VerdictKind::NotChecked;
        v.reason = track.uncheckableReason.empty() ? "the track was not read whole" : track.uncheckableReason;
        return v;
    }
    switch (lookup.outcome) {
    case AccurateRipLookup::Outcome::Failed:
        v.kind = VerdictKind::NotChecked;
        v.reason = lookup.error;
        return v;
    case AccurateRipLookup::Outcome::NotFound:
        v.kind = VerdictKind::NotInDatabase;
        return v;
    case AccurateRipLookup::Outcome::Found: break;
    }
    const int index = AccurateRipEntryIndex(id, track.trackNumber);
    if (index < 0) {
        v.kind = VerdictKind::NotChecked;
        v.reason = "track " + std::to_string(track.trackNumber) + " is not an audio track of the disc";
        return v;
    }
    int number = 0;
    bool known = false;
    for (const AccurateRipPressing& p : lookup.pressings) {
        ++number;
        if (static_cast<std::size_t>(index) >= p.tracks.size()) continue;
        const AccurateRipTrackEntry& e = p.tracks[static_cast<std::size_t>(index)];
        ++v.pressings;
        if (e.confidence == 0) continue;   // nobody submitted this track in this pressing
        known = true;
        const int version = e.checksum == track.sums.arV2 ? 2 : e.checksum == track.sums.arV1 ? 1 : 0;
        if (version == 0) continue;
        const bool better = v.kind != VerdictKind::Accurate || e.confidence > v.confidence ||
                            (e.confidence == v.confidence && version > v.version);
        if (better) {
            v.kind = VerdictKind::Accurate;
            v.confidence = e.confidence;
            v.version = version;
            v.pressing = number;
        }
    }
    if (v.kind != VerdictKind::Accurate) v.kind = known ? VerdictKind::Mismatch : VerdictKind::NotInDatabase;
    return v;
}

DiscVerdict VerifyDiscCrc(const std::optional<uint32_t>& ctdbCrc, const CueToolsDbLookup& lookup) {
    DiscVerdict v;
    if (lookup.outcome == CueToolsDbLookup::Outcome::Failed) {
        v.reason = lookup.error;
        return v;
    }
    v.entries = static_cast<int>(lookup.entries.size());
    for (const CueToolsDbEntry& e : lookup.entries) v.totalConfidence += e.confidence;
    if (lookup.outcome == CueToolsDbLookup::Outcome::NotFound || lookup.entries.empty()) {
        v.kind = VerdictKind::NotInDatabase;
        return v;
    }
    if (!ctdbCrc) {
        v.reason = "the rip did not cover the whole disc, so it has no disc CRC";
        return v;
    }
    v.kind = VerdictKind::Mismatch;
    for (const CueToolsDbEntry& e : lookup.entries)
        if (e.crc32 == *ctdbCrc && (v.kind != VerdictKind::Accurate || e.confidence > v.confidence)) {
            v.kind = VerdictKind::Accurate;
            v.confidence = e.confidence;
        }
    return v;
}

int DiscVerification::AccurateTracks() const {
    int n = 0;
    for (const TrackVerdict& t : tracks) n += t.kind == VerdictKind::Accurate;
    return n;
}

std::string DiscVerification::Summary() const {
    std::string s = "AccurateRip: ";
    int mismatches = 0, unknown = 0, unchecked = 0;
    std::string reason;
    for (const TrackVerdict& t : tracks) {
        mismatches += t.kind == VerdictKind::Mismatch;
        unknown += t.kind == VerdictKind::NotInDatabase;
        if (t.kind == VerdictKind::NotChecked) {
            ++unchecked;
            if (reason.empty()) reason = t.reason;
        }
    }
    const int all = static_cast<int>(tracks.size());
    if (all > 0 && unchecked == all) {
        s += "not checked: " + reason;
    } else if (all > 0 && unknown == all) {
        s += "not in database";
    } else {
        s += std::to_string(AccurateTracks()) + " of " + Plural(all, "track", "tracks") + " accurately ripped";
        if (mismatches) s += ", " + Plural(mismatches, "mismatch", "mismatches");
        if (unknown) s += ", " + std::to_string(unknown) + " not in database";
        if (unchecked) s += ", " + std::to_string(unchecked) + " not checked";
    }
    return s + "; CUETools database: " + ctdb.Text();
}

DiscVerification VerifyDisc(const AccurateRipDiscId& id, const std::vector<TrackChecksumResult>& tracks,
                            const AccurateRipLookup& accurateRip, const std::optional<uint32_t>& ctdbCrc,
                            const CueToolsDbLookup& ctdb) {
    DiscVerification d;
    d.accurateRipId = id.Text();
    for (const TrackChecksumResult& t : tracks) d.tracks.push_back(VerifyTrack(id, t, accurateRip));
    d.ctdb = VerifyDiscCrc(ctdbCrc, ctdb);
    return d;
}

VerificationLookups RunVerificationLookups(const CdDiscLayout& layout, const CSettings& settings,
                                           const HttpOptions& options) {
    VerificationLookups l;
    l.id = AccurateRipIdOf(layout);
    if (settings.VERIFY.Lookup == 0) {
        const std::string off = "the database lookup is turned off";
        l.accurateRip = AccurateRipLookup::CouldNotRun(off);
        l.ctdb = CueToolsDbLookup::CouldNotRun(off);
        return l;
    }
    l.accurateRip = LookupAccurateRip(l.id, settings.VERIFY.AccurateRipURL, options);
    l.ctdb = LookupCueToolsDb(layout, settings.VERIFY.CTDBURL, options);
    return l;
}

}  // namespace quarrow
