// Priorities of the rip's threads: which priority the disc reader and the job thread
// get from the processor count and the work per sample, and how that becomes a Linux
// nice value of the calling thread (raising niceness always works; lowering it needs
// the privilege to do so, without it the thread stays where it is).
#pragma once

#include <string>

namespace quarrow {

enum class ThreadPriority { BelowNormal, Normal, AboveNormal, Highest };

struct RipPriorities {
    ThreadPriority reader = ThreadPriority::Normal;
    ThreadPriority job = ThreadPriority::Highest;
};

RipPriorities ChooseRipPriorities(int processors, bool normalize, bool floatPath, bool resample);

const char* PriorityName(ThreadPriority p);   // "below normal", "normal", ...
int NiceOf(ThreadPriority p);                 // 5, 0, -5, -10

// Sets the calling thread's nice value to NiceOf(p) where allowed and returns the nice
// value in effect afterwards.
int ApplyToCurrentThread(ThreadPriority p);

// "job thread highest (nice -10 wanted, 0 applied)" and the like.
std::string DescribePriority(const char* thread, ThreadPriority p, int applied);

}  // namespace quarrow
