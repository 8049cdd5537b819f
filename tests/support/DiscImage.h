// Test helper: writes CUE/BIN disc images of a given layout. Audio sectors hold
// deterministic PCM that tells track, sector and sample apart; data tracks are raw
// MODE1/2352 sectors with a proper sync pattern and header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace quarrow::discimage {

using support::ScratchDir;

struct ImageTrack {
    bool data = false;           // MODE1/2352 instead of AUDIO
    int32_t sectors = 0;
    std::string isrc;            // written as an ISRC line when not empty
    std::string title;           // TITLE line when not empty
};

struct ImageLayout {
    std::vector<ImageTrack> tracks;
    std::string catalog;         // CATALOG line when not empty
};

struct DiscImage {
    std::string cuePath;
    std::string binPath;
    std::vector<int32_t> starts; // LBA of each track in the image
    int32_t totalSectors = 0;
};

// n audio tracks of the given sector lengths.
ImageLayout AudioLayout(const std::vector<int32_t>& sectors);

// Writes dir/name.cue and dir/name.bin; throws std::runtime_error when it cannot.
DiscImage WriteDiscImage(const std::string& dir, const std::string& name, const ImageLayout& layout);

// mm:ss:ff of a count of frames (75 a second), minutes as many as they come; written
// without the program's own code, so tests can check its times against it.
std::string Msf(long frames);

// Reads count sectors starting at lba from a BIN file.
std::vector<uint8_t> ReadBinSectors(const std::string& binPath, int32_t lba, int32_t count);

}  // namespace quarrow::discimage
