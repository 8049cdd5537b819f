// Feeds arbitrary bytes to the cue sheet reader: as text alone, then as a sheet in a
// folder beside a small BIN file, opened and read to the end as a disc.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CueDisc.h"

namespace {

void WriteBytes(const std::string& path, const void* data, size_t size) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

// A folder holding a.bin, 20 sectors long.
const std::string& Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/quarrow-fuzz-cue-XXXXXX";
        const std::string dir = ::mkdtemp(name) ? name : "/tmp";
        const std::vector<uint8_t> bin(20 * 2352, 0x5A);
        WriteBytes(dir + "/a.bin", bin.data(), bin.size());
        return dir;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    quarrow::CueSheet sheet;
    std::string why;
    if (!quarrow::ParseCueSheet(text, sheet, why)) return 0;
    const std::string cue = Folder() + "/fuzz.cue";
    WriteBytes(cue, data, size);
    auto disc = quarrow::CueDisc::Open(cue, why);
    std::vector<uint8_t> sector(2352);
    for (int32_t lba = 0; disc && lba < disc->LeadOut(); ++lba) disc->ReadSectors(lba, 1, sector.data());
    return 0;
}
