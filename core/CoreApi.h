// Export macro of the agent core library liborv_core.so. The library is built
// with hidden visibility; everything a plugin or the agent calls is marked here.
#pragma once

#define ORV_CORE_API __attribute__((visibility("default")))

#ifndef ORV_VERSION
#define ORV_VERSION "0.1.0"
#endif
