// Feeds arbitrary bytes to the xmcd parser, as a server's read answer would, and writes
// whatever it accepted back out again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "albuminfo/Xmcd.h"
#include "app/EventLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quarrow::CEventLog log;  // no file: entries stay in memory
    const std::string text(reinterpret_cast<const char*>(data), size);
    quarrow::CAlbumRecord record;
    if (quarrow::ParseRecordBody(text, record, &log)) {
        const std::string written = quarrow::XmcdFileText(record);
        quarrow::CAlbumRecord again;
        quarrow::ParseRecordBody(written, again, &log);
    }
    // A parse behind a status line that always counts.
    quarrow::ParseRecordBodyHelper(text, record, &log);
    return 0;
}
