// AccurateRip database files and CUETools database answers from a hostile server.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/AccurateRip.h"
#include "albuminfo/CueToolsDb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::vector<quarrow::AccurateRipPressing> pressings;
    if (quarrow::ParseAccurateRipFile(bytes, pressings, error)) {
        // A file that reads is whole chunks: a 13-byte header and 9 bytes per track each.
        std::size_t total = 0;
        for (const auto& p : pressings) total += 13 + 9 * p.tracks.size();
        if (total != size || !error.empty()) __builtin_trap();
    } else if (error.empty() || !pressings.empty()) {
        __builtin_trap();
    }
    std::vector<quarrow::CueToolsDbEntry> entries;
    error.clear();
    if (!quarrow::ParseCueToolsDbAnswer(bytes, entries, error) && (error.empty() || !entries.empty())) __builtin_trap();
    return 0;
}
