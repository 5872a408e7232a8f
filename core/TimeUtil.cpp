// Clocks of the agent core.
#include "core/TimeUtil.h"

#include <time.h>

namespace OrvCore {

uint32_t SystemTickCount()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const unsigned long long ms =
        static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL;
    return static_cast<uint32_t>(ms);
}

long long TimeNowMillis()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000LL + static_cast<long long>(ts.tv_nsec) / 1000000LL;
}

}  // namespace OrvCore
