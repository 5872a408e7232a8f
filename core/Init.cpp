// Process start-up of the core: wxWidgets must be initialised before any of
// its threads or logs are used, and a plain Lua interpreter that loads us
// never does it. The reference-counted wxInitialize() is harmless in a host
// that initialised wx itself.
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include "core/Log.h"

namespace {

bool g_wxInitialised = false;

__attribute__((constructor(200))) void OrvCoreInitialise()
{
    g_wxInitialised = wxInitialize();
    if (!g_wxInitialised) {
        OrvCore::LogError("orv.core", "wxWidgets could not be initialised");
        return;
    }
    OrvCore::InstallWxLogTargetForThread();
}

}  // namespace
