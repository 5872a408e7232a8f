// COnChangeEngine: the on-change object as the Lua glue sees it. The class
// "SLB.im.OnChange" binds objects of this type; the real-time change thread
// derives from it and answers Change.
//
// An engine registered on an agent ("orp.im.OnChangeEngine" holds its
// address) unregisters itself when destroyed, so the agent never dispatches
// to a deleted object. Thread: Change runs on the host thread that calls it.
#pragma once

#include <memory>

extern "C" {
#include <lua.h>
}

#include "core/Dom.h"

namespace OrvPluginIm {

class COnChangeEngine
{
public:
    static const char* const kRegistryKey;  // "orp.im.OnChangeEngine"

    virtual ~COnChangeEngine();
    // Handles one change notification whose arguments start at index 2;
    // returns the number of results pushed.
    virtual int Change(lua_State* L) = 0;

    // Stores this engine's address in dom's settings store.
    void RegisterOn(OrvCore::CDom& dom);
    // The engine registered on dom, or null.
    static COnChangeEngine* Registered(const OrvCore::CDom& dom);

private:
    std::unique_ptr<OrvCore::CDom> m_registeredOn;
};

}  // namespace OrvPluginIm
