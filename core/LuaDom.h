// The host object "orv.Dom" in Lua: a CDom handle that Lua scripts create with
// orv.Dom() (the process's agent) or orv.Dom.Isolated() (a separate agent),
// and that the agent pushes for its own agent state. Plugins convert it back
// with ToDom. Thread: the thread that owns the Lua state.
#pragma once

extern "C" {
#include <lua.h>
}

#include "core/CoreApi.h"
#include "core/Dom.h"

namespace OrvCore {
namespace Lua {

ORV_CORE_API extern const char* const kDomClass;  // "orv.Dom"

// Creates the class (once) in the namespace "orv" and pushes the "orv" table.
ORV_CORE_API void RegisterDomClass(lua_State* L);
// Pushes a new Lua-owned handle on dom's agent.
ORV_CORE_API void PushDom(lua_State* L, const CDom& dom);
// The CDom at index, or null when it is not an "orv.Dom".
ORV_CORE_API CDom* ToDom(lua_State* L, int index);

}  // namespace Lua
}  // namespace OrvCore
