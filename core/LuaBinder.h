// A small Lua binder for the agent and its plugins: namespaces, bound classes,
// enumerations and the conversion of Lua values back to host objects.
//
// Layout in a Lua state:
// - a namespace such as "SLB.im" is a chain of global tables (SLB, SLB.im);
// - a class "SLB.im.ImThread" has a class table stored in its namespace under
//   its short name; class-level functions and methods live in it, and a call
//   on the class table (its metatable's "__call") constructs an object;
// - objects are full userdata (BoundObject) whose metatable is kept in the
//   registry under the class name, with "__index" (the class table), "__class"
//   (the class name), "__gc" (destroys owned objects) and "__name";
// - an enumeration value is a full userdata of 8 bytes holding the integer,
//   with the metatable of its enumeration type (registry "enum:<type name>"),
//   which compares (==, <, <=) values of the same type, prints as
//   "<type>.<name>" and answers .value and .name.
// Every function works on the given state only and must be called on the
// thread that owns that state.
#pragma once

extern "C" {
#include <lua.h>
}

#include <initializer_list>
#include <utility>

#include "core/CoreApi.h"

namespace OrvCore {
namespace Lua {

// Full userdata of every bound object.
struct BoundObject
{
    void* object;                  // the host object
    void (*destroy)(void* object); // deletes it when owned; null when Lua does not own it
    const char* className;         // static class name it was pushed as
};

// Pushes the namespace table for a dotted path ("SLB.im"), creating the
// global tables along the way.
ORV_CORE_API void OpenNamespace(lua_State* L, const char* path);

// Creates the class when its metatable is new and returns true; returns false
// (creating nothing) when it exists. constructor may be null (no "__call").
// The class table is stored in the namespace part of the dotted name.
ORV_CORE_API bool NewClass(lua_State* L, const char* className, lua_CFunction constructor);
// Declares that objects of className may be converted to baseClassName.
ORV_CORE_API void SetBaseClass(lua_State* L, const char* className, const char* baseClassName);
// Adds a function to the class table.
ORV_CORE_API void AddFunction(lua_State* L, const char* className, const char* name, lua_CFunction function);
// Pushes the class table, or nil.
ORV_CORE_API void PushClassTable(lua_State* L, const char* className);

// Pushes a host object as a new userdata of the class. With destroy set,
// Lua owns the object and calls destroy from "__gc".
ORV_CORE_API void PushObject(lua_State* L, const char* className, void* object, void (*destroy)(void*));
template <typename T>
void PushOwned(lua_State* L, const char* className, T* object)
{
    PushObject(L, className, object, [](void* p) { delete static_cast<T*>(p); });
}
// The object at index when it is a userdata of className (or of a class
// declared to derive from it), else null. Never raises.
ORV_CORE_API void* ToObject(lua_State* L, int index, const char* className);
template <typename T>
T* To(lua_State* L, int index, const char* className)
{
    return static_cast<T*>(ToObject(L, index, className));
}
// Lua no longer owns the object at index (it will not be destroyed by "__gc").
ORV_CORE_API void Release(lua_State* L, int index);

// Creates the enumeration type (once) and a sub-table of the table on top of
// the stack named tableName, holding one enumeration value per entry.
ORV_CORE_API void NewEnum(lua_State* L, const char* typeName, const char* tableName,
                          std::initializer_list<std::pair<const char*, long long>> values);
ORV_CORE_API void PushEnum(lua_State* L, const char* typeName, long long value);
// True with the value when index holds an enumeration value of typeName.
ORV_CORE_API bool ToEnum(lua_State* L, int index, const char* typeName, long long& value);

}  // namespace Lua
}  // namespace OrvCore
