// The disc's CDDB identity and album information: addresses (CCDDBMsf), the table of
// track starts plus lead-out (CCDDBToc), the CDDB disc ID, and the album record in xmcd
// terms that naming, cue sheets and tags read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

class CdDrive;
class CEventLog;

struct CCDDBMsf {
    int32_t minute = 0;
    int32_t second = 0;
    int32_t frame = 0;
    int32_t FrameOffset() const { return (minute * 60 + second) * 75 + frame; }
    int32_t Seconds() const { return minute * 60 + second; }
    static CCDDBMsf FromFrames(int32_t frames);
    bool operator==(const CCDDBMsf&) const = default;
};

// n + 1 entries for n tracks: the track starts, then the lead-out.
using CCDDBToc = std::vector<CCDDBMsf>;

struct CAlbumRecord {
    std::vector<uint32_t> trackFrameOffsets;
    int32_t discLength = 0;      // seconds
    int32_t revision = 0;
    std::string submittingProgram;
    std::string submittingVersion;
    std::string submittingComment;
    uint32_t discId = 0;
    std::string artist;
    std::string albumTitle;
    std::vector<std::string> trackTitles;   // index 0 is track 1
    std::string extendedData;
    std::vector<std::string> trackExtendedData;
    std::vector<int32_t> playOrder;
    int32_t year = 0;            // 0 when unknown
    std::string genre;
    bool operator==(const CAlbumRecord&) const = default;
};

// Reads the table of contents of the drive's disc as absolute addresses (track 1 of an
// ordinary disc at 00:02:00). The last track's length is taken one frame short, the way
// the system CD audio device reports it, and the lead-out is position + length + 1 frame.
// Throws CCDDBException 513 when no track is audio.
CCDDBToc ReadToc(CdDrive& drive, CEventLog* log = nullptr);
uint32_t ComputeDiscId(const CCDDBToc& toc);
// Lead-out seconds minus the first track's start seconds.
int32_t DiscLengthSeconds(const CCDDBToc& toc);
std::string FormatDiscId(uint32_t discId);   // "%08x"

// Fills record with the defaults of a disc without lookup ("Unknown Artist %08x", ...).
// Without a ready disc or with a non-audio current track only the arrays are emptied.
void FillAlbumDefaults(CAlbumRecord& record, CdDrive& drive, const CCDDBToc& toc);

// Replaces the empty (blank or control characters only) artist, album title and track
// titles of record by those of defaults (a FillAlbumDefaults record of the same disc) and
// adds the titles of tracks the record lacks, with an empty extended text each, so that
// names built from the record are never empty. Returns one line per kind of text replaced,
// saying why; empty when nothing was.
std::vector<std::string> FillEmptyAlbumFields(CAlbumRecord& record, const CAlbumRecord& defaults);

// Splits a DTITLE value at the first " / " (artist, title); both get the whole text
// when there is none. JoinArtistTitle writes it back.
void SplitArtistTitle(const std::string& dtitle, std::string& artist, std::string& title);
std::string JoinArtistTitle(const std::string& artist, const std::string& title);

}  // namespace quarrow
