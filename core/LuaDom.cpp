// "orv.Dom": settings, conditions and configuration of the agent from Lua.
#include "core/LuaDom.h"

extern "C" {
#include <lauxlib.h>
}

#include "core/LuaBinder.h"

namespace OrvCore {
namespace Lua {

const char* const kDomClass = "orv.Dom";

namespace {

CDom& CheckDom(lua_State* L)
{
    CDom* dom = ToDom(L, 1);
    if (!dom) luaL_argerror(L, 1, "orv.Dom object expected");
    return *dom;
}

wxString CheckText(lua_State* L, int index)
{
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return wxString::FromUTF8(text, length);
}

void PushText(lua_State* L, const wxString& text)
{
    std::string utf8 = text.utf8_string();
    lua_pushlstring(L, utf8.data(), utf8.size());
}

int DomNew(lua_State* L)
{
    PushDom(L, CDom());
    return 1;
}

int DomIsolated(lua_State* L)
{
    PushDom(L, CDom::CreateIsolated());
    return 1;
}

// dom:Get(key) -> boolean, integer, string, light userdata or nil
int DomGet(lua_State* L)
{
    CDom& dom = CheckDom(L);
    wxString key = CheckText(L, 2);
    switch (dom.GetType(key)) {
        case SettingType::Bool: lua_pushboolean(L, dom.GET<bool>(key)); break;
        case SettingType::Int: lua_pushinteger(L, dom.GET<long long>(key)); break;
        case SettingType::Text: PushText(L, dom.GetWxString(key)); break;
        case SettingType::Pointer: lua_pushlightuserdata(L, dom.GET<void*>(key)); break;
        case SettingType::None: lua_pushnil(L); break;
    }
    return 1;
}

// dom:Set(key, value): the value's Lua type picks the setting type; nil removes it.
int DomSet(lua_State* L)
{
    CDom& dom = CheckDom(L);
    wxString key = CheckText(L, 2);
    switch (lua_type(L, 3)) {
        case LUA_TBOOLEAN: dom.Set(key, static_cast<bool>(lua_toboolean(L, 3))); break;
        case LUA_TNUMBER:
            if (!lua_isinteger(L, 3)) return luaL_argerror(L, 3, "integer expected");
            dom.Set(key, static_cast<long long>(lua_tointeger(L, 3)));
            break;
        case LUA_TSTRING: dom.Set(key, CheckText(L, 3)); break;
        case LUA_TLIGHTUSERDATA: dom.Set(key, lua_touserdata(L, 3)); break;
        case LUA_TNIL:
        case LUA_TNONE: dom.SetNil(key); break;
        default: return luaL_argerror(L, 3, "boolean, integer, string, light userdata or nil expected");
    }
    return 0;
}

int DomSetNil(lua_State* L)
{
    CheckDom(L).SetNil(CheckText(L, 2));
    return 0;
}

int DomTestAndSet(lua_State* L)
{
    CDom& dom = CheckDom(L);
    wxString key = CheckText(L, 2);
    luaL_checktype(L, 3, LUA_TBOOLEAN);
    lua_pushboolean(L, dom.TestAndSet(key, lua_toboolean(L, 3)));
    return 1;
}

int DomConditionRegister(lua_State* L)
{
    CheckDom(L).ConditionRegister(CheckText(L, 2));
    return 0;
}

int DomConditionRaise(lua_State* L)
{
    CheckDom(L).ConditionRaise(CheckText(L, 2));
    return 0;
}

// dom:ConditionQuery(name) -> raise count, or nil when the condition does not exist
int DomConditionQuery(lua_State* L)
{
    unsigned long long counter = 0;
    if (CheckDom(L).ConditionQuery(CheckText(L, 2), counter))
        lua_pushinteger(L, static_cast<lua_Integer>(counter));
    else
        lua_pushnil(L);
    return 1;
}

int DomShouldExit(lua_State* L)
{
    CDom& dom = CheckDom(L);
    lua_Integer ms = luaL_optinteger(L, 2, 0);
    if (ms < 0) ms = 0;
    lua_pushboolean(L, dom.ShouldExit(static_cast<uint32_t>(ms > 0xFFFFFFFFLL ? 0xFFFFFFFFLL : ms)));
    return 1;
}

int DomRequestAgentExit(lua_State* L)
{
    CheckDom(L).RequestAgentExit();
    return 0;
}

int DomLoadConfig(lua_State* L)
{
    lua_pushboolean(L, CheckDom(L).LoadConfig(CheckText(L, 2)));
    return 1;
}

int DomSetConfigXml(lua_State* L)
{
    lua_pushboolean(L, CheckDom(L).SetConfigXml(CheckText(L, 2)));
    return 1;
}

int DomConfigIsEmpty(lua_State* L)
{
    lua_pushboolean(L, CheckDom(L).ConfigIsEmpty());
    return 1;
}

int DomAgentEventWrite(lua_State* L)
{
    CDom& dom = CheckDom(L);
    lua_Integer code = luaL_checkinteger(L, 2);
    lua_pushboolean(L, dom.AgentEventWrite(static_cast<int>(code), CheckText(L, 3)));
    return 1;
}

}  // namespace

void RegisterDomClass(lua_State* L)
{
    if (NewClass(L, kDomClass, DomNew)) {
        const struct
        {
            const char* name;
            lua_CFunction function;
        } functions[] = {
            {"Isolated", DomIsolated},
            {"Get", DomGet},
            {"Set", DomSet},
            {"SetNil", DomSetNil},
            {"TestAndSet", DomTestAndSet},
            {"ConditionRegister", DomConditionRegister},
            {"ConditionRaise", DomConditionRaise},
            {"ConditionQuery", DomConditionQuery},
            {"ShouldExit", DomShouldExit},
            {"RequestAgentExit", DomRequestAgentExit},
            {"LoadConfig", DomLoadConfig},
            {"SetConfigXml", DomSetConfigXml},
            {"ConfigIsEmpty", DomConfigIsEmpty},
            {"AgentEventWrite", DomAgentEventWrite},
        };
        for (const auto& f : functions) AddFunction(L, kDomClass, f.name, f.function);
    }
    OpenNamespace(L, "orv");
}

void PushDom(lua_State* L, const CDom& dom)
{
    PushOwned(L, kDomClass, new CDom(dom));
}

CDom* ToDom(lua_State* L, int index) { return To<CDom>(L, index, kDomClass); }

}  // namespace Lua
}  // namespace OrvCore
