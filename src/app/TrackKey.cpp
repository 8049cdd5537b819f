#include "app/TrackKey.h"

#include <cstdio>

#include "app/CdDrive.h"

namespace quarrow {

int32_t TrackKeyOf(int session, int track, bool audio, int minutes, int seconds) {
    int32_t key = 100 * session + track;
    if (audio) key += 1000 * (60 * minutes + seconds);
    return key;
}

bool SelectTrackByKey(CdDrive& drive, int32_t key) {
    if (!IsAudioKey(key)) return false;
    drive.SetCurrentSession(KeySession(key));
    drive.SetCurrentTrack(KeyTrack(key));
    return true;
}

std::string TrackTypeText(int typeCode) {
    switch (typeCode) {
        case kTrackAudio: return "Audio Track";
        case kTrackMode1: return "Data Track (Mode 1)";
        case kTrackMode2: return "Data Track (Mode 2)";
        case kTrackMode2Form1: return "Data Track (Mode 2, Form 1)";
        case kTrackMode2Form2: return "Data Track (Mode 2, Form 2)";
        default: return "Unrecognized";
    }
}

std::string FormatSectorTime(int32_t sectors) {
    // Milliseconds in single precision, truncated, as the list has always shown them.
    const float ms = static_cast<float>(sectors % 75) * 13.333333f + 0.5f;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d.%03d", sectors / 4500, (sectors % 4500) / 75,
                  static_cast<int>(ms));
    return buf;
}

}  // namespace quarrow
