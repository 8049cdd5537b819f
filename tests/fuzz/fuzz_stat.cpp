// Stat answers from a hostile server.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/CDDB.h"
#include "app/EventLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    quarrow::CEventLog log;
    quarrow::CCDDBServerStatus status;
    std::vector<quarrow::CCDDBMatch> main(1);
    quarrow::ParseStatusBody(body, status, &log, &main);
    if (status.categories.size() != status.categoryEntries.size() ||
        status.pendingCategories.size() != status.pendingEntries.size())
        __builtin_trap();
    return 0;
}
