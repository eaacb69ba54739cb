#pragma once

// What a process holds: its resident memory and its open descriptors.

#include <sys/types.h>

#include <string>

namespace tralvex::soak {

struct Usage {
    double residentKb = 0;  // VmRSS
    double peakKb = 0;      // VmHWM
    int descriptors = 0;    // entries of /proc/PID/fd
};

// Of the process `pid`, or of this one when it is 0.
Usage UsageOf(pid_t pid = 0);

}  // namespace tralvex::soak
