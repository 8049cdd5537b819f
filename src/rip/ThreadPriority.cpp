#include "rip/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quarrow {

RipPriorities ChooseRipPriorities(int processors, bool normalize, bool floatPath, bool resample) {
    const int p = std::max(1, processors);
    const int v = std::min(5, p - 1 + (normalize ? 1 : 0) + (floatPath ? 1 : 0) + (resample ? 1 : 0));
    RipPriorities out;
    if (v == 0) out.reader = ThreadPriority::BelowNormal;
    else if (v <= 2) out.reader = ThreadPriority::Normal;
    else if (v <= 4) out.reader = p == 1 ? ThreadPriority::Normal : ThreadPriority::AboveNormal;
    else out.reader = ThreadPriority::Highest;
    out.job = p == 1 && out.reader != ThreadPriority::Normal ? ThreadPriority::AboveNormal : ThreadPriority::Highest;
    return out;
}

const char* PriorityName(ThreadPriority p) {
    switch (p) {
        case ThreadPriority::BelowNormal: return "below normal";
        case ThreadPriority::Normal: return "normal";
        case ThreadPriority::AboveNormal: return "above normal";
        default: return "highest";
    }
}

int NiceOf(ThreadPriority p) {
    switch (p) {
        case ThreadPriority::BelowNormal: return 5;
        case ThreadPriority::Normal: return 0;
        case ThreadPriority::AboveNormal: return -5;
        default: return -10;
    }
}

int ApplyToCurrentThread(ThreadPriority p) {
    // On Linux the nice value belongs to the thread: PRIO_PROCESS with the thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    // A failure (no privilege to lower niceness) leaves the thread as it was.
    (void)::setpriority(PRIO_PROCESS, tid, NiceOf(p));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, tid);
    return errno == 0 ? now : 0;
}

std::string DescribePriority(const char* thread, ThreadPriority p, int applied) {
    return std::string(thread) + " " + PriorityName(p) + " (nice " + std::to_string(NiceOf(p)) + " wanted, " +
           std::to_string(applied) + " applied)";
}

}  // namespace quarrow
