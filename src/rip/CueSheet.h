// The cue sheet of a single-output rip (where each track starts inside the one file)
// and the album playlist that a per-track rip extends by one line per file.
#pragma once

#include <cstdint>
#include <string>

namespace quarrow {

struct CAlbumRecord;
struct CRipJob;
struct CSettings;

// The cue file of an output path: the path cut before the last "." of its file name,
// plus ".cue".
std::string CueSheetPath(const std::string& outputPath);
// 16-bit sample values per CD frame (a 2352-byte sector).
constexpr int kCueSamplesPerFrame = 1176;
// A start time in CD frames as "%02d:%02d:%02d" (minutes, seconds, frames).
std::string CueTime(int64_t frames);

// Writes the cue sheet of job next to job.outputPath (replacing an existing one).
// On failure returns false with a sentence naming the file in error; no partial file
// is left behind.
bool WriteCueSheet(const CRipJob& job, const CAlbumRecord& album, std::string* error = nullptr);

// Whether the rip start-up writes a cue sheet: every whole-disc image gets one; other
// single-output jobs when the CueSheet setting is on.
bool WantsCueSheet(const CRipJob& job, const CSettings& s);

// The album playlist beside an output file: its folder + the album title + ".m3u"
// (the title made safe as a file name, so that it stays in that folder).
std::string PlaylistPath(const std::string& outputPath, const CAlbumRecord& album);
// Appends the file name of outputPath and a line feed to the album playlist, unless
// the playlist already lists that name (added then says false).
bool AppendPlaylist(const std::string& outputPath, const CAlbumRecord& album,
                    std::string* error = nullptr, bool* added = nullptr);
// Takes the line of outputPath out of the album playlist again (a file that did not
// complete); a playlist left empty is deleted.
bool RemovePlaylistLine(const std::string& outputPath, const CAlbumRecord& album,
                        std::string* error = nullptr);

}  // namespace quarrow
