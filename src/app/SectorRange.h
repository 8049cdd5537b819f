// The model of the "Select Sector Range" dialog: an inclusive range of sectors of the
// first run of audio tracks, two positions that can never cross, the track each lies
// in, and every label text. Position p stands for absolute sector base + p, base being
// the first table entry, so the first sector of the first track is position 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

extern const char* const kSectorRangeHint;

class CSectorRange {
public:
    // starts: absolute sector of every table entry (track starts, then the lead-out);
    // keys: the track list's keys in list order. False (nothing opened) when no item
    // among the first starts.size() - 1 is an audio track.
    bool Open(const std::vector<int32_t>& starts, const std::vector<int32_t>& keys);

    // Track of a position, 1-based: the first t (1 <= t < entries) with
    // start(t - 1) < base + p <= start(t); a position on a track's start address counts
    // to the track before. Positions outside the table give the nearest track.
    int TrackOfPosition(int32_t position) const;

    // Slider moves (the slider keeps its position within the range).
    void MoveStart(int32_t position);
    void MoveEnd(int32_t position);
    // The Update buttons: a typed sector, clamped against the other side and the range.
    void UpdateStart(int32_t typed);
    void UpdateEnd(int32_t typed);

    int32_t base = 0;
    int32_t rangeMin = 0;
    int32_t rangeMax = 0;
    int32_t startPosition = 0;   // start slider
    int32_t endPosition = 0;     // end slider
    // Results handed to the caller on OK.
    int32_t startSector = 0;
    int32_t endSector = 0;
    int16_t startTrack = 0;      // 0-based
    int16_t endTrack = 0;
    // Labels.
    std::string startTrackText;  // "Track:%02d"
    std::string startOffsetText; // "Track Offset:" + time text without its first two characters
    std::string endTrackText;
    std::string endOffsetText;
    std::string totalLengthText; // "Total Time Length:" + time text
    std::string totalSectorsText;// "Total Sectors:%d"
    std::string hint;

private:
    void UpdateStartGroup();
    void UpdateEndGroup();
    void UpdateTotals();
    int32_t Start(int index) const { return starts_[static_cast<std::size_t>(index)]; }
    std::vector<int32_t> starts_;
};

}  // namespace quarrow
