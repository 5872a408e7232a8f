// The plugin's Lua entry point luaopen_im: the namespace "SLB.im" with its
// enumerations and DecryptDatabase_l, and the classes "SLB.im.ImThread" and
// "SLB.im.OnChange" with their class-level functions. Runs on the host thread
// that loads the module; registers each class once per Lua state.
#include <dlfcn.h>
#include <wx/dynlib.h>

extern "C" {
#include <lauxlib.h>
}

#include "core/Log.h"
#include "core/LuaBinder.h"
#include "core/LuaDom.h"
#include "plugins/im/OnChangeEngine.h"
#include "plugins/im/im-plugin.h"

extern "C" __attribute__((visibility("default"))) int luaopen_im(lua_State* L);

namespace OrvPluginIm {

namespace {

const char* const kComponent = "orp.im.ImThread";
const char* const kImThreadClass = "SLB.im.ImThread";
const char* const kOnChangeClass = "SLB.im.OnChange";

// Keeps the plugin mapped for the life of the process, even when a Lua state
// lets the module go while plugin threads still run. The library is loaded
// again through its own path (where the host found it), with immediate binding.
struct CSelfReference
{
    CSelfReference()
    {
        Dl_info info;
        if (!dladdr(reinterpret_cast<void*>(&luaopen_im), &info) || !info.dli_fname) return;
        wxDynamicLibrary library;
        if (library.Load(wxString::FromUTF8(info.dli_fname), wxDL_NOW | wxDL_QUIET)) library.Detach();
    }
} g_selfReference;

// ---- "SLB.im.OnChange" class-level functions

COnChangeEngine* ToEngine(lua_State* L, int index)
{
    return OrvCore::Lua::To<COnChangeEngine>(L, index, kOnChangeClass);
}

// Change(dom or object, ...): dispatches a change notification to the engine.
int Change_l(lua_State* L)
{
    IncMetric("realtimeEventReceived", 1);
    if (OrvCore::CDom* dom = OrvCore::Lua::ToDom(L, 1)) {
        if (COnChangeEngine* engine = COnChangeEngine::Registered(*dom)) return engine->Change(L);
        IncMetric("realtimeEventDroppedNoOnc", 1);
        lua_pushboolean(L, 0);
        return 1;
    }
    if (COnChangeEngine* engine = ToEngine(L, 1)) return engine->Change(L);
    IncMetric("realtimeEventDroppedNoOnc", 1);
    return luaL_argerror(L, 1, "orv.im.OnChange expected");
}

int CheckOnChange_l(lua_State* L)
{
    OrvCore::CDom* dom = OrvCore::Lua::ToDom(L, 1);
    if (!dom) return luaL_argerror(L, 1, "orv.Dom object expected");
    lua_pushboolean(L, COnChangeEngine::Registered(*dom) != nullptr);
    return 1;
}

int Register_l(lua_State* L)
{
    COnChangeEngine* engine = ToEngine(L, 1);
    if (!engine) return luaL_argerror(L, 1, "orv.im.OnChange expected");
    OrvCore::CDom* dom = OrvCore::Lua::ToDom(L, 2);
    if (!dom) return luaL_argerror(L, 2, "orv.Dom object expected");
    engine->RegisterOn(*dom);
    return 0;
}

struct FunctionEntry
{
    const char* name;
    lua_CFunction function;
};

void RegisterImThreadClass(lua_State* L)
{
    if (!OrvCore::Lua::NewClass(L, kImThreadClass, nullptr)) return;
    const FunctionEntry functions[] = {
        {"GetStats", GetStats_l},
        {"GetRuleIdAndName", GetRuleIdAndName_l},
        {"AddRTIMMiss", AddRTIMMiss_l},
        {"ClearRTIMMisses", ClearRTIMMisses_l},
        {"GetRTIMMissStats", GetRTIMMissStats_l},
        {"IncEntitiesTotalCount", IncEntitiesTotalCount_l},
        {"InitializeEntityCounts", InitializeEntityCounts_l},
        {"InitializeAttributeCounts", InitializeAttributeCounts_l},
        {"IncEntitiesDeletedCount", IncEntitiesDeletedCount_l},
        {"IncEntitiesSentToHUBCount", IncEntitiesSentToHUBCount_l},
        {"IncEntitiesSupercededCount", IncEntitiesSupercededCount_l},
        {"IncMarkersCreatedCount", IncMarkersCreatedCount_l},
        {"IncMarkersDeletedCount", IncMarkersDeletedCount_l},
        {"IncIncompleteDeletedCount", IncIncompleteDeletedCount_l},
        {"SetInitialCount", SetInitialCount_l},
        {"GetRTIMExclusions", GetRTIMExclusions_l},
        {"IncEntityAttributeMetric", IncEntityAttributeMetric_l},
    };
    for (const FunctionEntry& f : functions) OrvCore::Lua::AddFunction(L, kImThreadClass, f.name, f.function);
}

void RegisterOnChangeClass(lua_State* L)
{
    if (!OrvCore::Lua::NewClass(L, kOnChangeClass, nullptr)) return;
    const FunctionEntry functions[] = {
        {"Change", Change_l},
        {"CheckOnChange", CheckOnChange_l},
        {"Register", Register_l},
    };
    for (const FunctionEntry& f : functions) OrvCore::Lua::AddFunction(L, kOnChangeClass, f.name, f.function);
}

}  // namespace

}  // namespace OrvPluginIm

int luaopen_im(lua_State* L)
{
    using namespace OrvPluginIm;
    // orv.Dom must be known for the argument checks even when the host never required "orv".
    OrvCore::Lua::RegisterDomClass(L);
    lua_pop(L, 1);

    OrvCore::Lua::OpenNamespace(L, "SLB.im");
    OrvCore::Lua::NewEnum(L, "CScanStatus::_ScanStatus", "ScanStatus",
                          {{"Queued", 0}, {"InProgress", 1}, {"Paused", 2}, {"Cancelling", 3}, {"Idle", 4},
                           {"NotSupported", 5}});
    OrvCore::Lua::NewEnum(L, "OrvPluginIm::CImScanStatus::ImScanType", "ImScanType",
                          {{"ImIdle", 0}, {"ImBaseline", 1}, {"ImIncremental", 2}, {"ImRealtime", 3},
                           {"ImPseudoRealtime", 4}});
    lua_pushcfunction(L, DecryptDatabase_l);
    lua_setfield(L, -2, "DecryptDatabase_l");
    lua_pop(L, 1);

    RegisterImThreadClass(L);
    RegisterOnChangeClass(L);
    lua_pushboolean(L, 1);
    return 1;
}
