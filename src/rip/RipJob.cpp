#include "rip/RipJob.h"

namespace quarrow {

void CRipJob::Append(int session, int track, int32_t length) {
    RipJobEntry e;
    e.session = static_cast<uint16_t>(session);
    e.track = static_cast<uint16_t>(track);
    e.length = length;
    e.cumulativeEnd = (entries.empty() ? 0 : entries.back().cumulativeEnd) + length;
    entries.push_back(e);
}

}  // namespace quarrow
