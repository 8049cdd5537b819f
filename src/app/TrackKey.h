// The track key every track-list item carries (100 x session + track, plus 1000 x the
// length in whole seconds for audio tracks), the track type texts, and the sector time
// format ("%02d:%02d.%03d" at 75 sectors per second).
#pragma once

#include <cstdint>
#include <string>

namespace quarrow {

class CdDrive;

int32_t TrackKeyOf(int session, int track, bool audio, int minutes, int seconds);
inline bool IsAudioKey(int32_t key) { return key >= 1000; }
// Selects the track of an audio key in the drive; false (nothing selected) below 1000.
bool SelectTrackByKey(CdDrive& drive, int32_t key);
inline int KeySession(int32_t key) { return (key % 1000) / 100; }
inline int KeyTrack(int32_t key) { return key % 100; }

std::string TrackTypeText(int typeCode);
std::string FormatSectorTime(int32_t sectors);

}  // namespace quarrow
