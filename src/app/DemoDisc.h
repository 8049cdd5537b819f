// The demo disc: a CUE/BIN image of five short pieces of synthetic music, so that the
// program can be tried without a CD drive. The audio is rendered from fixed parameters
// (no randomness), so every run writes the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

inline constexpr const char* kDemoCueName = "Quarrow Demo.cue";
inline constexpr const char* kDemoBinName = "Quarrow Demo.bin";
inline constexpr const char* kDemoArtist = "Quarrow Ensemble";
inline constexpr const char* kDemoAlbum = "Quarrow Demo";

struct DemoTrack {
    const char* title;
    int32_t sectors;             // length in sectors of 2352 bytes
    const char* isrc;            // empty when the track has none
};

// The five tracks in disc order; track 1 starts at sector 0 of the image.
const std::vector<DemoTrack>& DemoTracks();

// Renders one track (0-based) as interleaved 16-bit stereo samples at 44100 Hz,
// exactly DemoTracks()[track].sectors * 1176 values.
std::vector<int16_t> RenderDemoTrack(int track);

// The cue sheet text for the image file name kDemoBinName.
std::string DemoCueSheet();

// Writes dir/"Quarrow Demo.cue" and dir/"Quarrow Demo.bin" (creating dir if needed).
// Both files are written under temporary names and renamed at the end, so a failure
// leaves no half-written demo disc behind. Returns false with a message naming the
// path that could not be written.
bool WriteDemoDisc(const std::string& dir, std::string* error);

}  // namespace quarrow
