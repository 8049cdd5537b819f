// Feeds arbitrary bytes to the cue sheet reader: as text alone, then as a sheet in a
// folder beside a small BIN file, opened and read to the end as a disc.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/CueDisc.h"

// libcue drops the sheet it was building when it gives up on a syntax error: its own loss.
extern "C" const char* __lsan_default_suppressions() { return "leak:libcue.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A folder holding a.bin, 20 sectors long.
    static const std::string folder = [] {
        char name[] = "/tmp/quarrow-fuzz-cue-XXXXXX";
        const std::string dir = ::mkdtemp(name) ? name : "/tmp";
        std::ofstream(dir + "/a.bin", std::ios::binary) << std::string(20 * 2352, 'Z');
        return dir;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    quarrow::CueSheet sheet;
    std::string why;
    if (!quarrow::ParseCueSheet(text, sheet, why)) return 0;
    std::ofstream(folder + "/fuzz.cue", std::ios::binary | std::ios::trunc) << text;
    auto disc = quarrow::CueDisc::Open(folder + "/fuzz.cue", why);
    uint8_t sector[2352];
    for (int32_t lba = 0; disc && lba < disc->LeadOut(); ++lba) disc->ReadSectors(lba, 1, sector);
    return 0;
}
