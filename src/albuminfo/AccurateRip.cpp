#include "albuminfo/AccurateRip.h"

#include <cstdio>

#include "albuminfo/AlbumRecord.h"
#include "app/CdDrive.h"

namespace quarrow {

namespace {

constexpr std::size_t kChunkHeaderBytes = 13;
constexpr std::size_t kTrackEntryBytes = 9;

uint32_t Le32(const std::string& b, std::size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

std::vector<CdTrackInfo> DiscTracks(const CdDiscLayout& layout) {
    std::vector<CdTrackInfo> tracks;
    for (const auto& session : layout.sessions)
        for (const auto& t : session) tracks.push_back(t);
    return tracks;
}

}  // namespace

std::string AccurateRipDiscId::Text() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%03d-%08x-%08x-%08x", audioTracks, id1, id2, cddbId);
    return buf;
}

std::string AccurateRipDiscId::FileName() const { return "dBAR-" + Text() + ".bin"; }

AccurateRipDiscId AccurateRipIdOf(const CdDiscLayout& layout) {
    AccurateRipDiscId id;
    const std::vector<CdTrackInfo> tracks = DiscTracks(layout);
    if (tracks.empty()) return id;
    id.firstTrackNumber = tracks.front().number;
    // The lead-out is the disc's, past a data track at the end: the audio session's own
    // lead-out would give IDs the database does not know.
    const uint32_t leadOut = static_cast<uint32_t>(layout.leadOut);
    for (const CdTrackInfo& t : tracks) {
        if (t.type != kTrackAudio) continue;
        const uint32_t start = static_cast<uint32_t>(t.start);
        ++id.audioTracks;
        id.audioTrackNumbers.push_back(t.number);
        id.id1 += start;
        id.id2 += (start > 0 ? start : 1u) * static_cast<uint32_t>(id.audioTracks);
    }
    if (id.audioTracks == 0) return id;
    id.id1 += leadOut;
    id.id2 += (leadOut > 0 ? leadOut : 1u) * static_cast<uint32_t>(id.audioTracks + 1);
    // The CDDB ID of the whole disc, data tracks included, on absolute addresses.
    CCDDBToc toc;
    for (const CdTrackInfo& t : tracks) toc.push_back(CCDDBMsf::FromFrames(t.start + 150));
    toc.push_back(CCDDBMsf::FromFrames(layout.leadOut + 150));
    id.cddbId = ComputeDiscId(toc);
    return id;
}

std::string AccurateRipUrl(const std::string& base, const AccurateRipDiscId& id) {
    std::string b = base;
    while (!b.empty() && b.back() == '/') b.pop_back();
    char dirs[16];
    std::snprintf(dirs, sizeof dirs, "/%x/%x/%x/", id.id1 & 0xF, (id.id1 >> 4) & 0xF, (id.id1 >> 8) & 0xF);
    return b + dirs + id.FileName();
}

int AccurateRipEntryIndex(const AccurateRipDiscId& id, int discTrackNumber) {
    for (int n : id.audioTrackNumbers)
        if (n == discTrackNumber) return discTrackNumber - id.firstTrackNumber;
    return -1;
}

bool ParseAccurateRipFile(const std::string& bytes, std::vector<AccurateRipPressing>& pressings,
                          std::string& error) {
    std::vector<AccurateRipPressing> out;
    if (bytes.empty()) {
        error = "the AccurateRip answer is empty";
        return false;
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::string which = "pressing " + std::to_string(out.size() + 1);
        if (bytes.size() - at < kChunkHeaderBytes) {
            error = "the AccurateRip answer is cut short in the header of " + which + " at byte " + std::to_string(at);
            return false;
        }
        const std::size_t count = static_cast<uint8_t>(bytes[at]);
        if (count == 0) {
            error = "the AccurateRip answer lists no tracks in " + which + " at byte " + std::to_string(at);
            return false;
        }
        AccurateRipPressing p;
        p.id1 = Le32(bytes, at + 1);
        p.id2 = Le32(bytes, at + 5);
        p.cddbId = Le32(bytes, at + 9);
        at += kChunkHeaderBytes;
        if (bytes.size() - at < count * kTrackEntryBytes) {
            error = "the AccurateRip answer is cut short in " + which + " (" + std::to_string(count) +
                    " tracks) at byte " + std::to_string(bytes.size());
            return false;
        }
        for (std::size_t i = 0; i < count; ++i, at += kTrackEntryBytes)
            p.tracks.push_back({static_cast<uint8_t>(bytes[at]), Le32(bytes, at + 1), Le32(bytes, at + 5)});
        out.push_back(std::move(p));
    }
    pressings = std::move(out);
    return true;
}

AccurateRipLookup AccurateRipLookup::CouldNotRun(const std::string& reason) {
    AccurateRipLookup l;
    l.outcome = Outcome::Failed;
    l.error = reason;
    return l;
}

AccurateRipLookup LookupAccurateRip(const AccurateRipDiscId& id, const std::string& base,
                                    const HttpOptions& options) {
    if (!id.Valid()) return AccurateRipLookup::CouldNotRun("the disc has no audio track");
    AccurateRipLookup lookup;
    lookup.url = AccurateRipUrl(base, id);
    const HttpResult answer = HttpGet(lookup.url, options, "AccurateRip");
    if (answer.NotFound()) {
        lookup.outcome = AccurateRipLookup::Outcome::NotFound;
        return lookup;
    }
    if (!answer.Ok()) {
        lookup.error = answer.error;
        return lookup;
    }
    std::string error;
    if (!ParseAccurateRipFile(answer.body, lookup.pressings, error)) {
        lookup.error = error + " (" + lookup.url + ")";
        return lookup;
    }
    lookup.outcome = AccurateRipLookup::Outcome::Found;
    return lookup;
}

std::vector<uint32_t> AccurateRipFrame450(const AccurateRipLookup& lookup, const AccurateRipDiscId& id,
                                          int discTrackNumber) {
    std::vector<uint32_t> values;
    const int index = AccurateRipEntryIndex(id, discTrackNumber);
    if (index < 0 || lookup.outcome != AccurateRipLookup::Outcome::Found) return values;
    for (const AccurateRipPressing& p : lookup.pressings) {
        if (static_cast<std::size_t>(index) >= p.tracks.size()) continue;
        const AccurateRipTrackEntry& e = p.tracks[static_cast<std::size_t>(index)];
        if (e.confidence == 0 || e.frame450 == 0) continue;
        bool seen = false;
        for (uint32_t v : values) seen = seen || v == e.frame450;
        if (!seen) values.push_back(e.frame450);
    }
    return values;
}

}  // namespace quarrow
