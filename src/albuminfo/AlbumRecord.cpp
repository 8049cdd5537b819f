#include "albuminfo/AlbumRecord.h"

#include <cstdio>

#include "albuminfo/CDDBException.h"
#include "app/CdDrive.h"

namespace quarrow {

CCDDBMsf CCDDBMsf::FromFrames(int32_t v) {
    CCDDBMsf m;
    m.frame = v % 75;
    m.second = (v / 75) % 60;
    m.minute = v / 4500;
    return m;
}

CCDDBToc ReadToc(CdDrive& drive, CEventLog* log) {
    // The drive's table is walked as the system CD audio device presents it: every track
    // of the disc in order, addresses absolute (LBA + 150 frames).
    const CdDiscLayout layout = drive.Layout();
    std::vector<CdTrackInfo> tracks;
    for (const auto& session : layout.sessions)
        for (const auto& t : session) tracks.push_back(t);
    const int n = static_cast<int>(tracks.size());

    bool anyAudio = false;
    for (const auto& t : tracks)
        if (t.type == kTrackAudio) {
            anyAudio = true;
            break;
        }
    if (!anyAudio) throw CCDDBException::Make(log, false, CCDDBException::kNoAudioTrack);

    CCDDBToc toc(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i < n; ++i) toc[i] = CCDDBMsf::FromFrames(tracks[i].start + 150);

    // The device reports the last track's length one frame short; adding the frame back
    // gives the true lead-out, as the public CDDB database computes it.
    const CdTrackInfo& last = tracks.back();
    const CCDDBMsf pos = toc[n - 1];
    const CCDDBMsf len = CCDDBMsf::FromFrames(last.sectors > 0 ? last.sectors - 1 : 0);
    const int32_t v = ((pos.minute + len.minute) * 60 + pos.second + len.second) * 75 + pos.frame +
                      len.frame + 1;
    toc[n] = CCDDBMsf::FromFrames(v);
    return toc;
}

uint32_t ComputeDiscId(const CCDDBToc& toc) {
    if (toc.empty()) return 0;
    const uint32_t n = static_cast<uint32_t>(toc.size() - 1);
    uint32_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
        int32_t s = toc[i].Seconds();
        while (s > 0) {
            total += static_cast<uint32_t>(s % 10);
            s /= 10;
        }
    }
    const uint32_t t = static_cast<uint32_t>(toc[n].Seconds() - toc[0].Seconds());
    return ((total % 255) << 24) | (t << 8) | n;
}

int32_t DiscLengthSeconds(const CCDDBToc& toc) {
    if (toc.size() < 2) return 0;
    return toc.back().Seconds() - toc.front().Seconds();
}

std::string FormatDiscId(uint32_t discId) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", discId);
    return buf;
}

void FillAlbumDefaults(CAlbumRecord& record, CdDrive& drive, const CCDDBToc& toc) {
    record.trackFrameOffsets.clear();
    record.trackExtendedData.clear();
    record.playOrder.clear();
    record.trackTitles.clear();
    if (drive.DiscState() == kNoDisc || drive.TrackType() != kTrackAudio || toc.size() < 2) return;

    record.discId = ComputeDiscId(toc);
    const std::size_t n = toc.size() - 1;
    for (std::size_t k = 1; k <= n; ++k) {
        record.trackFrameOffsets.push_back(static_cast<uint32_t>(toc[k - 1].FrameOffset()));
        record.trackExtendedData.emplace_back();
        char title[32];
        std::snprintf(title, sizeof title, "Track%02zu", k);
        record.trackTitles.emplace_back(title);
    }
    record.discLength = DiscLengthSeconds(toc);
    record.revision = 0;
    record.year = 2000;
    record.extendedData.clear();
    record.submittingProgram = "MfcCDDB";
    record.submittingVersion = "1.28";
    record.submittingComment.clear();
    const std::string d = " " + FormatDiscId(record.discId);
    record.artist = "Unknown Artist" + d;
    record.genre = "Unknown Genre" + d;
    record.albumTitle = "Unknown Album" + d;
}

namespace {

bool Blank(const std::string& text) {
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c > 0x20 && c != 0x7F) return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> FillEmptyAlbumFields(CAlbumRecord& record, const CAlbumRecord& defaults) {
    std::vector<std::string> why;
    const std::string disc = "album record of disc " + FormatDiscId(defaults.discId);
    if (Blank(record.artist)) {
        record.artist = defaults.artist;
        why.push_back(disc + " has no artist: \"" + defaults.artist + "\" is used");
    }
    if (Blank(record.albumTitle)) {
        record.albumTitle = defaults.albumTitle;
        why.push_back(disc + " has no album title: \"" + defaults.albumTitle + "\" is used");
    }
    std::string tracks;
    for (std::size_t i = 0; i < defaults.trackTitles.size(); ++i) {
        if (i < record.trackTitles.size() && !Blank(record.trackTitles[i])) continue;
        if (i >= record.trackTitles.size()) record.trackTitles.resize(i + 1);
        record.trackTitles[i] = defaults.trackTitles[i];
        tracks += (tracks.empty() ? "" : ", ") + std::to_string(i + 1);
    }
    // The xmcd writer and parser keep one extended text per title.
    if (record.trackExtendedData.size() < record.trackTitles.size())
        record.trackExtendedData.resize(record.trackTitles.size());
    if (!tracks.empty())
        why.push_back(disc + " has no title for track " + tracks + ": \"Track%02d\" titles are used");
    return why;
}

void SplitArtistTitle(const std::string& dtitle, std::string& artist, std::string& title) {
    const std::size_t at = dtitle.find(" / ");
    if (at == std::string::npos) {
        artist = title = dtitle;
        return;
    }
    artist = dtitle.substr(0, at);
    title = dtitle.substr(at + 3);
}

std::string JoinArtistTitle(const std::string& artist, const std::string& title) {
    return artist.empty() ? title : artist + " / " + title;
}

}  // namespace quarrow
