// The Lua binder: classes, objects and enumerations in a Lua state.
#include "core/LuaBinder.h"

extern "C" {
#include <lauxlib.h>
}

#include <cstring>
#include <string>

namespace OrvCore {
namespace Lua {

namespace {

const char* const kClassPrefix = "class:";
const char* const kBasesPrefix = "bases:";
const char* const kEnumPrefix = "enum:";

int ObjectGc(lua_State* L)
{
    auto* bound = static_cast<BoundObject*>(lua_touserdata(L, 1));
    if (bound && bound->destroy && bound->object) {
        void* object = bound->object;
        bound->object = nullptr;
        bound->destroy(object);
    }
    return 0;
}

int ObjectToString(lua_State* L)
{
    auto* bound = static_cast<BoundObject*>(lua_touserdata(L, 1));
    lua_pushfstring(L, "%s: %p", bound ? bound->className : "?", bound ? bound->object : nullptr);
    return 1;
}

// "__call" of a class table: drops the class table and runs the constructor.
int ConstructThunk(lua_State* L)
{
    auto constructor = reinterpret_cast<lua_CFunction>(lua_touserdata(L, lua_upvalueindex(1)));
    lua_remove(L, 1);
    return constructor(L);
}

void SplitClassName(const char* className, std::string& ns, std::string& shortName)
{
    const char* dot = strrchr(className, '.');
    if (!dot) {
        ns.clear();
        shortName = className;
    } else {
        ns.assign(className, static_cast<size_t>(dot - className));
        shortName = dot + 1;
    }
}

bool IsEnumOf(lua_State* L, int index, const std::string& metaName)
{
    if (lua_type(L, index) != LUA_TUSERDATA || lua_rawlen(L, index) != sizeof(long long)) return false;
    if (!lua_getmetatable(L, index)) return false;
    luaL_getmetatable(L, metaName.c_str());
    bool same = lua_rawequal(L, -1, -2);
    lua_pop(L, 2);
    return same;
}

// The enumeration's registry name, from the metatable of argument 1 or 2.
std::string EnumMetaName(lua_State* L)
{
    for (int i = 1; i <= 2; ++i) {
        if (lua_type(L, i) == LUA_TUSERDATA && lua_getmetatable(L, i)) {
            lua_getfield(L, -1, "__name");
            std::string name = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
            lua_pop(L, 2);
            if (name.compare(0, strlen(kEnumPrefix), kEnumPrefix) == 0) return name;
        }
    }
    return std::string();
}

// Value of an enumeration userdata of the type, or of an integer operand.
bool OperandValue(lua_State* L, int index, const std::string& metaName, long long& value)
{
    if (IsEnumOf(L, index, metaName)) {
        memcpy(&value, lua_touserdata(L, index), sizeof value);
        return true;
    }
    if (lua_isinteger(L, index)) {
        value = lua_tointeger(L, index);
        return true;
    }
    return false;
}

int EnumEq(lua_State* L)
{
    std::string meta = EnumMetaName(L);
    long long a, b;
    lua_pushboolean(L, IsEnumOf(L, 1, meta) && IsEnumOf(L, 2, meta) && OperandValue(L, 1, meta, a) &&
                           OperandValue(L, 2, meta, b) && a == b);
    return 1;
}

int EnumCompare(lua_State* L, bool orEqual)
{
    std::string meta = EnumMetaName(L);
    long long a, b;
    if (!OperandValue(L, 1, meta, a) || !OperandValue(L, 2, meta, b))
        return luaL_error(L, "cannot compare %s with %s", luaL_typename(L, 1), luaL_typename(L, 2));
    lua_pushboolean(L, orEqual ? a <= b : a < b);
    return 1;
}
int EnumLt(lua_State* L) { return EnumCompare(L, false); }
int EnumLe(lua_State* L) { return EnumCompare(L, true); }

// Pushes the enumerator name of the value at index 1, or nil.
void PushEnumName(lua_State* L)
{
    long long value;
    memcpy(&value, lua_touserdata(L, 1), sizeof value);
    lua_getmetatable(L, 1);
    lua_getfield(L, -1, "__names");
    lua_geti(L, -1, value);
    lua_replace(L, -3);
    lua_pop(L, 1);
}

int EnumToString(lua_State* L)
{
    long long value;
    memcpy(&value, lua_touserdata(L, 1), sizeof value);
    lua_getmetatable(L, 1);
    lua_getfield(L, -1, "__type");
    const char* type = lua_tostring(L, -1);
    PushEnumName(L);
    if (lua_isstring(L, -1))
        lua_pushfstring(L, "%s.%s", type, lua_tostring(L, -1));
    else
        lua_pushfstring(L, "%s(%I)", type, static_cast<lua_Integer>(value));
    return 1;
}

int EnumIndex(lua_State* L)
{
    const char* key = lua_tostring(L, 2);
    if (key && strcmp(key, "value") == 0) {
        long long value;
        memcpy(&value, lua_touserdata(L, 1), sizeof value);
        lua_pushinteger(L, value);
        return 1;
    }
    if (key && strcmp(key, "name") == 0) {
        PushEnumName(L);
        return 1;
    }
    lua_pushnil(L);
    return 1;
}

}  // namespace

void OpenNamespace(lua_State* L, const char* path)
{
    lua_pushglobaltable(L);
    std::string rest = path ? path : "";
    size_t start = 0;
    while (start < rest.size()) {
        size_t dot = rest.find('.', start);
        if (dot == std::string::npos) dot = rest.size();
        std::string part = rest.substr(start, dot - start);
        if (!part.empty()) {
            if (lua_getfield(L, -1, part.c_str()) != LUA_TTABLE) {
                lua_pop(L, 1);
                lua_newtable(L);
                lua_pushvalue(L, -1);
                lua_setfield(L, -3, part.c_str());
            }
            lua_remove(L, -2);
        }
        start = dot + 1;
    }
}

bool NewClass(lua_State* L, const char* className, lua_CFunction constructor)
{
    if (luaL_getmetatable(L, className) != LUA_TNIL) {
        lua_pop(L, 1);
        return false;
    }
    lua_pop(L, 1);
    std::string ns, shortName;
    SplitClassName(className, ns, shortName);

    lua_newtable(L);  // class table
    if (constructor) {
        lua_newtable(L);
        lua_pushlightuserdata(L, reinterpret_cast<void*>(constructor));
        lua_pushcclosure(L, ConstructThunk, 1);
        lua_setfield(L, -2, "__call");
        lua_setmetatable(L, -2);
    }
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, (std::string(kClassPrefix) + className).c_str());

    luaL_newmetatable(L, className);  // sets "__name"
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pushstring(L, className);
    lua_setfield(L, -2, "__class");
    lua_pushcfunction(L, ObjectGc);
    lua_setfield(L, -2, "__gc");
    lua_pushcfunction(L, ObjectToString);
    lua_setfield(L, -2, "__tostring");
    lua_pop(L, 1);

    OpenNamespace(L, ns.c_str());
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, shortName.c_str());
    lua_pop(L, 2);
    return true;
}

void SetBaseClass(lua_State* L, const char* className, const char* baseClassName)
{
    std::string key = std::string(kBasesPrefix) + className;
    if (lua_getfield(L, LUA_REGISTRYINDEX, key.c_str()) != LUA_TTABLE) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_setfield(L, LUA_REGISTRYINDEX, key.c_str());
    }
    lua_pushboolean(L, 1);
    lua_setfield(L, -2, baseClassName);
    lua_pop(L, 1);
}

void PushClassTable(lua_State* L, const char* className)
{
    lua_getfield(L, LUA_REGISTRYINDEX, (std::string(kClassPrefix) + className).c_str());
}

void AddFunction(lua_State* L, const char* className, const char* name, lua_CFunction function)
{
    PushClassTable(L, className);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        luaL_error(L, "class %s is not defined", className);
        return;
    }
    lua_pushcfunction(L, function);
    lua_setfield(L, -2, name);
    lua_pop(L, 1);
}

void PushObject(lua_State* L, const char* className, void* object, void (*destroy)(void*))
{
    auto* bound = static_cast<BoundObject*>(lua_newuserdatauv(L, sizeof(BoundObject), 0));
    bound->object = object;
    bound->destroy = destroy;
    bound->className = className;
    luaL_setmetatable(L, className);
}

namespace {
bool DerivesFrom(lua_State* L, const std::string& actual, const char* wanted, int depth)
{
    if (actual == wanted) return true;
    if (depth > 16) return false;
    bool found = false;
    if (lua_getfield(L, LUA_REGISTRYINDEX, (kBasesPrefix + actual).c_str()) == LUA_TTABLE) {
        lua_pushnil(L);
        while (!found && lua_next(L, -2)) {
            lua_pop(L, 1);
            if (lua_type(L, -1) == LUA_TSTRING) found = DerivesFrom(L, lua_tostring(L, -1), wanted, depth + 1);
        }
        if (found) lua_pop(L, 1);  // the key left by the interrupted traversal
    }
    lua_pop(L, 1);
    return found;
}
}  // namespace

void* ToObject(lua_State* L, int index, const char* className)
{
    if (lua_type(L, index) != LUA_TUSERDATA || lua_rawlen(L, index) != sizeof(BoundObject)) return nullptr;
    if (!lua_getmetatable(L, index)) return nullptr;
    lua_getfield(L, -1, "__class");
    std::string actual = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "";
    lua_pop(L, 2);
    if (actual.empty() || !DerivesFrom(L, actual, className, 0)) return nullptr;
    return static_cast<BoundObject*>(lua_touserdata(L, index))->object;
}

void Release(lua_State* L, int index)
{
    if (lua_type(L, index) != LUA_TUSERDATA || lua_rawlen(L, index) != sizeof(BoundObject)) return;
    static_cast<BoundObject*>(lua_touserdata(L, index))->destroy = nullptr;
}

void NewEnum(lua_State* L, const char* typeName, const char* tableName,
             std::initializer_list<std::pair<const char*, long long>> values)
{
    std::string meta = std::string(kEnumPrefix) + typeName;
    if (luaL_newmetatable(L, meta.c_str())) {
        lua_pushstring(L, typeName);
        lua_setfield(L, -2, "__type");
        lua_pushcfunction(L, EnumEq);
        lua_setfield(L, -2, "__eq");
        lua_pushcfunction(L, EnumLt);
        lua_setfield(L, -2, "__lt");
        lua_pushcfunction(L, EnumLe);
        lua_setfield(L, -2, "__le");
        lua_pushcfunction(L, EnumToString);
        lua_setfield(L, -2, "__tostring");
        lua_pushcfunction(L, EnumIndex);
        lua_setfield(L, -2, "__index");
        lua_newtable(L);
        for (const auto& v : values) {
            lua_pushstring(L, v.first);
            lua_rawseti(L, -2, v.second);
        }
        lua_setfield(L, -2, "__names");
    }
    lua_pop(L, 1);

    lua_newtable(L);
    for (const auto& v : values) {
        PushEnum(L, typeName, v.second);
        lua_setfield(L, -2, v.first);
    }
    lua_setfield(L, -2, tableName);
}

void PushEnum(lua_State* L, const char* typeName, long long value)
{
    void* data = lua_newuserdatauv(L, sizeof(long long), 0);
    memcpy(data, &value, sizeof value);
    luaL_setmetatable(L, (std::string(kEnumPrefix) + typeName).c_str());
}

bool ToEnum(lua_State* L, int index, const char* typeName, long long& value)
{
    index = lua_absindex(L, index);
    if (!IsEnumOf(L, index, std::string(kEnumPrefix) + typeName)) return false;
    memcpy(&value, lua_touserdata(L, index), sizeof value);
    return true;
}

}  // namespace Lua
}  // namespace OrvCore
