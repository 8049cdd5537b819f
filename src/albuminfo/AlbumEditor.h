// The CD info editor without widgets: the "Edit CD Info" dialog's fields and the rules of
// its Update, Save and Submit buttons, the category table of a submission, and the
// in-place editing of a track title in the track list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "albuminfo/CDDB.h"
#include "albuminfo/DiscRefresh.h"

namespace quarrow {

inline constexpr const char* kVariousArtists = "Various Artists";
inline constexpr int32_t kMinYear = 1;
inline constexpr int32_t kMaxYear = 2100;

// The drop-down's items, "Blues" ... "Misc ", in order.
const std::vector<std::string>& CategoryItems();
// The category name sent for item index (0-based); empty for no choice or a bad index.
std::string CategoryName(int index);
// The item index whose category name is name ("soundtrack" -> 9), or -1.
int CategoryIndex(const std::string& name);

// A row's information text: "Title:       " + title, then album, artist, genre, year.
std::string AlbumInfoText(const CAlbumRecord& record, const std::string& title);

// The "Edit CD Info" command's checks: nothing while a refresh runs, "No Disc Found!" or
// "Not an Audio CD!" through the prompter. true when the dialog may open.
bool CanEditCdInfo(MainContext& ctx);

class CAlbumEditor {
public:
    // Opens on ctx's album record and the Email setting.
    explicit CAlbumEditor(MainContext& ctx);

    // The fields as the user sees them.
    std::string album;
    std::string artist;
    std::string genre;
    int32_t year = 0;
    std::string email;
    int category = -1;           // item index; -1: none chosen
    bool variousArtists = false;
    bool artistEnabled = true;

    // The "Various Artists" box: checking disables the artist field and puts the text in
    // it; clearing enables the field and leaves the text.
    void SetVariousArtists(bool on);

    // Takes the fields into the record, the rows and the Email setting. A year outside
    // 1-2100 is refused with the range message and the record keeps its year; false then.
    bool UpdateRecord();
    // "Update": UpdateRecord; the dialog then closes.
    void Update();
    // "Save": UpdateRecord, then the disc's local CDDB file and "Local CDDB File Saved.".
    bool Save();
    // What a submission sends: the record, the category and the address, taken as copies so
    // that another thread can send them.
    struct Submission {
        CCDDBServerAddress address;
        std::string category, email, note;
        CAlbumRecord record;
    };
    // UpdateRecord, then the submission to the current server's submit script with the
    // chosen category; empty, after "Please Select a Category!", without a category.
    std::optional<Submission> PrepareSubmission();
    // "Submit": PrepareSubmission, then sends it through the album services' client.
    // The client's failure (CCDDBException) is not caught here.
    bool Submit();
    // The port of the submission address; the dialog always uses 80.
    int32_t submitPort = 80;

private:
    MainContext& ctx_;
};

// Track title editing: "Please Select a Track First!" without a row (row < 0 or past the
// list); an empty text is a cancelled edit and changes nothing. Otherwise the row's title
// and the record's title at that index become text, and with lookup on the row's
// information text is rebuilt. true when something changed.
bool EditTrackTitle(MainContext& ctx, int row, const std::string& text);

}  // namespace quarrow
