// CueDisc: the disc a cue sheet describes, made of the files it names (BINARY and
// MOTOROLA raw sectors, WAVE/AIFF through libsndfile) laid end to end in sheet order.
// Track starts are each track's INDEX 01; an INDEX 00 pregap is read as the tail of the
// track before it, and the lead-out follows the last file's last whole sector.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarrow {

// What the sheet says, before any file is looked at.
struct CueSheetFile {
    std::string name;            // as written on the FILE line
    std::string type;            // BINARY, MOTOROLA, WAVE, AIFF, ... (upper case)
};

struct CueSheetTrack {
    int number = 0;
    int type = 0;                // CdTrackType
    int32_t blockBytes = 2352;   // bytes one sector takes in its file
    int index1File = -1;         // file (index into CueSheet::files) of INDEX 01
    int32_t index1 = 0;          // sectors from the start of that file
    int index0File = -1;         // -1 without an INDEX 00
    int32_t index0 = 0;
    std::string isrc;            // twelve letters and digits, or empty
};

struct CueSheet {
    std::vector<CueSheetFile> files;
    std::vector<CueSheetTrack> tracks;
};

// Parses cue sheet text. False with a message saying what is wrong with it.
bool ParseCueSheet(const std::string& text, CueSheet& sheet, std::string& why);

class CueDisc {
public:
    struct Track {
        int number = 0;
        int type = 0;
        int32_t start = 0;       // LBA of INDEX 01
        std::string isrc;
    };

    // Reads the sheet at cuePath and opens the files it names (relative to the
    // sheet's folder). Null with a message naming the sheet or file at fault.
    static std::unique_ptr<CueDisc> Open(const std::string& cuePath, std::string& why);
    ~CueDisc();

    const std::vector<Track>& Tracks() const { return tracks_; }
    int32_t LeadOut() const { return leadOut_; }

    // Reads count sectors from lba as 2352-byte blocks of little-endian audio (data
    // sectors stored shorter are zero-padded). False when any of them cannot be read.
    bool ReadSectors(int32_t lba, int count, uint8_t* out);

    struct Source;               // one opened file

private:
    CueDisc() = default;
    std::vector<std::unique_ptr<Source>> sources_;  // in disc order
    std::vector<Track> tracks_;
    int32_t leadOut_ = 0;
};

}  // namespace quarrow
