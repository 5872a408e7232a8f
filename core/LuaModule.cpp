// The core's Lua module "orv" (orv.so): require "orv" publishes the class orv.Dom.
extern "C" {
#include <lua.h>
}

#include "core/LuaDom.h"

extern "C" __attribute__((visibility("default"))) int luaopen_orv(lua_State* L)
{
    OrvCore::Lua::RegisterDomClass(L);
    return 1;
}
