#include "albuminfo/AlbumEditor.h"

#include <cstdio>

#include "albuminfo/AlbumSteps.h"
#include "albuminfo/LocalCddb.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

const char* const kCategoryNames[] = {"blues", "classical", "country", "data",       "folk", "jazz",
                                      "newage", "reggae",   "rock",    "soundtrack", "misc"};

void TrimTrailing(std::string& s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r' ||
                       s[end - 1] == '\n' || s[end - 1] == '\v' || s[end - 1] == '\f'))
        --end;
    s.erase(end);
}

}  // namespace

const std::vector<std::string>& CategoryItems() {
    static const std::vector<std::string> items = {"Blues", "Classical", "Country", "Data",
                                                   "Folk",  "Jazz",      "Newage",  "Reggae",
                                                   "Rock",  "Soundtrack", "Misc "};
    return items;
}

std::string CategoryName(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kCategoryNames))) return {};
    return kCategoryNames[index];
}

int CategoryIndex(const std::string& name) {
    for (int i = 0; i < static_cast<int>(std::size(kCategoryNames)); ++i)
        if (name == kCategoryNames[i]) return i;
    return -1;
}

std::string AlbumInfoText(const CAlbumRecord& record, const std::string& title) {
    char year[32];
    std::snprintf(year, sizeof year, "%d", record.year);
    return "Title:       " + title + "\r\nAlbum:    " + record.albumTitle + "\r\nArtist:     " +
           record.artist + "\r\nGenre:    " + record.genre + "\r\nYear:      " + year;
}

bool CanEditCdInfo(MainContext& ctx) {
    if (ctx.refreshing) return false;
    if (ctx.grabber.Drive().DiscState() == kNoDisc) {
        ctx.prompter.Message("No Disc Found!", MessageIcon::Warning);
        return false;
    }
    if (!ctx.hasAudio) {
        ctx.prompter.Message("Not an Audio CD!", MessageIcon::Warning);
        return false;
    }
    return true;
}

CAlbumEditor::CAlbumEditor(MainContext& ctx) : ctx_(ctx) {
    album = ctx.album.albumTitle;
    artist = ctx.album.artist;
    genre = ctx.album.genre;
    year = ctx.album.year;
    email = ctx.settings.FREEDB.Email;
    variousArtists = artist == kVariousArtists;
    artistEnabled = !variousArtists;
}

void CAlbumEditor::SetVariousArtists(bool on) {
    variousArtists = on;
    artistEnabled = !on;
    if (on) artist = kVariousArtists;
}

bool CAlbumEditor::UpdateRecord() {
    CAlbumRecord& record = ctx_.album;
    const bool yearTaken = year >= kMinYear && year <= kMaxYear;
    if (!yearTaken)
        ctx_.prompter.Message("Please enter an integer between 1 and 2100.", MessageIcon::Warning);
    record.albumTitle = album;
    record.genre = genre;
    if (yearTaken) record.year = year;
    record.artist = variousArtists ? std::string(kVariousArtists) : artist;
    TrimTrailing(record.artist);
    TrimTrailing(record.albumTitle);
    FillDestinations(ctx_);
    for (TrackRow& row : ctx_.rows) row.titleTooltip = AlbumInfoText(record, row.title);
    ctx_.settings.FREEDB.Email = email;
    return yearTaken;
}

void CAlbumEditor::Update() { UpdateRecord(); }

bool CAlbumEditor::Save() {
    UpdateRecord();
    AlbumServices& s = Services(ctx_);
    if (!SaveLocalCddb(ctx_.settings.FREEDB.LocalCDDBDir, ctx_.discId, ctx_.album,
                       s.client.ProtocolLevel(), &ctx_.log)) {
        ctx_.prompter.Message("Fail to Save Local CDDB File " +
                                  LocalCddbFilePath(ctx_.settings.FREEDB.LocalCDDBDir, ctx_.discId) + "!",
                              MessageIcon::Error);
        return false;
    }
    ctx_.prompter.Message("Local CDDB File Saved.", MessageIcon::Information);
    return true;
}

std::optional<CAlbumEditor::Submission> CAlbumEditor::PrepareSubmission() {
    UpdateRecord();
    const std::string name = CategoryName(category);
    if (name.empty()) {
        ctx_.prompter.Message("Please Select a Category!", MessageIcon::Warning);
        return std::nullopt;
    }
    const AlbumServices& s = Services(ctx_);
    return Submission{CCDDBServerAddress::Submission(s.server.host, submitPort), name, ctx_.settings.FREEDB.Email,
                      "Fail to submit CDDB info to " + s.server.host, ctx_.album};
}

bool CAlbumEditor::Submit() {
    const auto sub = PrepareSubmission();
    if (!sub) return false;
    Services(ctx_).client.Submit(sub->address, sub->category, sub->email, sub->record, sub->note, true);
    return true;
}

bool EditTrackTitle(MainContext& ctx, int row, const std::string& text) {
    if (row < 0 || static_cast<size_t>(row) >= ctx.rows.size()) {
        ctx.prompter.Message("Please Select a Track First!", MessageIcon::Warning);
        return false;
    }
    if (text.empty()) return false;
    TrackRow& r = ctx.rows[static_cast<size_t>(row)];
    r.title = text;
    // The record keeps as many extended texts as titles, or it would not read back.
    if (ctx.album.trackTitles.size() <= static_cast<size_t>(row))
        ctx.album.trackTitles.resize(static_cast<size_t>(row) + 1);
    if (ctx.album.trackExtendedData.size() < ctx.album.trackTitles.size())
        ctx.album.trackExtendedData.resize(ctx.album.trackTitles.size());
    ctx.album.trackTitles[static_cast<size_t>(row)] = text;
    if (ctx.freeDbEnabled) r.titleTooltip = AlbumInfoText(ctx.album, text);
    return true;
}

}  // namespace quarrow
