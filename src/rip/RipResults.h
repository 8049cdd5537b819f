// RipResults: what a rip session knows of each track it read once the rip is over: the
// checksums of the PCM as read, the test read's CRC when test-and-copy was on, the peak
// level, rereads and sectors given up, and whether the track may be checked against the
// AccurateRip and CUETools databases; plus the CUETools CRC of the disc when every audio
// track was read whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/AudioChecksums.h"

namespace quarrow {

struct RippedTrackResult {
    int track = 0;               // 0-based track index on the drive (RipJobEntry::track)
    int number = 0;              // the disc's track number, 1-based
    int audioIndex = 0;          // 0-based position among the disc's audio tracks
    std::string file;            // the output file (the one file of a single-output job)
    TrackChecksums copy;         // of the copy read, the one that was encoded
    bool tested = false;         // a test read came first (test-and-copy)
    uint32_t testCrc = 0;        // CRC32 of the test read
    bool testMatches = true;     // test and copy CRCs are equal (true when not tested)
    int peak = 0;                // highest sample magnitude read, 0..32768
    int rereads = 0;             // sectors read again after a failed read, in both reads
    int errors = 0;              // sectors of the copy given up: replaced by silence or cut
    bool complete = false;       // every sector of the track went through the copy read
    // The checksums describe the whole track as on the disc, so they may be compared with
    // the databases: false for part of a track (a sector range), cut sectors or a stop.
    bool checkable = false;
    std::string uncheckableReason;   // why not, when checkable is false

    // The peak as a percentage of full scale (100.0 for 32768).
    double PeakPercent() const { return peak * 100.0 / 32768.0; }
};

// The disc-wide result: present only when every audio track of the disc was read whole.
struct RippedDiscResult {
    uint32_t cueToolsCrc = 0;
};

}  // namespace quarrow
