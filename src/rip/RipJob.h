// CRipJob: one rip request as the rip commands build it and the rip engine carries it
// out: the mode, the tracks to read in rip order, the range the disc reader walks, and
// the output path of a single-output job.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

// 0 selected track, 1 checked tracks, 2 all tracks, 3 sector range, 4 whole-disc image.
// Every mode above 2 makes a single-output job.
enum RipMode : int16_t {
    kRipSelected = 0,
    kRipChecked = 1,
    kRipAll = 2,
    kRipSectorRange = 3,
    kRipDiscImage = 4,
};

// One track of a job: 12 bytes of plain data.
struct RipJobEntry {
    uint16_t session = 0;       // session of the track as the drive reports it
    uint16_t track = 0;         // 0-based track index on the drive; indexes the album titles
    int32_t length = 0;         // 16-bit sample values: sectors x sector bytes / 2
    int32_t cumulativeEnd = 0;  // sum of length over this entry and every entry before it
    bool operator==(const RipJobEntry&) const = default;
};
static_assert(sizeof(RipJobEntry) == 12, "a job entry is 12 bytes of plain data");

struct CRipJob {
    int16_t mode = kRipSelected;
    std::vector<RipJobEntry> entries;
    // Per-track job: both set to the entry's track before each track. Single output of
    // checked/all tracks: entry indices 0 and count - 1. Sector range and disc image:
    // the first and last track index; entry i describes track firstTrack + i.
    uint16_t firstTrack = 0;
    uint16_t lastTrack = 0;
    // Sector range only: first sector to read counted from 0 within firstTrack, and the
    // sector count read from lastTrack (up to and including the range's end sector).
    int32_t startOffset = 0;
    int32_t endOffset = 0;
    // Single output: the file the user chose. Per track: set for each track in turn.
    std::string outputPath;
    // Set when the rip starts: SingleOpt with mode 1 or 2, or any mode above 2.
    bool singleOutput = false;

    // Appends an entry whose cumulativeEnd continues from the last entry.
    void Append(int session, int track, int32_t length);
    // The singleOutput rule for a job of this mode under the SingleOpt setting.
    static bool IsSingleOutput(int16_t mode, bool singleOpt) {
        return mode > 2 || (singleOpt && (mode == 1 || mode == 2));
    }
};

// Length of a track in 16-bit sample values.
inline int32_t SampleValuesOf(int32_t sectors, int32_t sectorBytes) {
    return static_cast<int32_t>(static_cast<int64_t>(sectors) * sectorBytes / 2);
}

}  // namespace quarrow
