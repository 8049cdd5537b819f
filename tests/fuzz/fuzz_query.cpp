// Query answers and match lines from a hostile server.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/CDDB.h"
#include "app/EventLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    quarrow::CEventLog log;
    std::vector<quarrow::CCDDBMatch> matches, main(1);
    const bool ok = quarrow::ParseQueryBody(body, 0x06025602, matches, &log, &main);
    if (ok && matches.empty()) __builtin_trap();   // success always brings a match
    quarrow::CCDDBMatch m;
    quarrow::ParseMatchLine(body, m);
    return 0;
}
