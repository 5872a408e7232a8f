// Clocks of the agent core. Thread-safe, no state.
#pragma once

#include <cstdint>

#include "core/CoreApi.h"

namespace OrvCore {

// Milliseconds of a monotonic clock as an unsigned 32-bit number. It wraps
// after about 49.7 days: compare two ticks only by their unsigned difference.
ORV_CORE_API uint32_t SystemTickCount();

// Wall-clock milliseconds since 1970-01-01T00:00:00Z.
ORV_CORE_API long long TimeNowMillis();

}  // namespace OrvCore
