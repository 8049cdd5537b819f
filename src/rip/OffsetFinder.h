// OffsetFinder: finds a drive's read offset on a disc whose AccurateRip entry is known.
// For each track it reads the sectors around the track's sector 450 without any offset,
// slides the frame-450 checksum over every offset in -2000..+2000 stereo samples and
// keeps the offsets at which the checksum equals one of the database's frame-450 values.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

class CdDrive;

constexpr int32_t kOffsetSearchRange = 2000;   // stereo samples either way

// The database's frame-450 values of one audio track (one per pressing that has them).
struct OffsetFinderTrack {
    int index = 0;                     // 0-based among the disc's tracks, as SetCurrentTrack of session 0 takes it
    std::vector<uint32_t> frame450;
};

struct OffsetMatch {
    int32_t offset = 0;                // as SetReadOffset takes it
    int tracksMatched = 0;
};

struct OffsetFindResult {
    std::vector<OffsetMatch> matches;  // most tracks matched first, then the smaller |offset|
    int tracksTried = 0;               // tracks long enough and with values to compare
    bool stopped = false;
    std::string error;                 // a read that failed, naming the track; empty otherwise
};

// The offsets in -range..+range at which the frame-450 checksum of window matches a value:
// window holds interleaved stereo samples starting `range` stereo samples before the
// track's sector 450 and running at least `range` past its end (2 * range + 588 samples).
std::vector<int32_t> MatchingOffsets(const std::vector<int16_t>& window, const std::vector<uint32_t>& values,
                                     int32_t range = kOffsetSearchRange);

// Reads each track's window from the drive (with its read offset set to 0 for the time
// of the search and restored afterwards) and counts the tracks each offset matches.
// Returns as soon as *stop turns true, with stopped set and what was found so far.
OffsetFindResult FindReadOffset(CdDrive& drive, const std::vector<OffsetFinderTrack>& tracks,
                                const std::atomic<bool>* stop = nullptr);

}  // namespace quarrow
