// XMLObject: the Lua form. The core does not link liblua; the host process
// provides the Lua API.
#include <lua.hpp>

#include <string>

#include "core/XMLObject.h"

namespace OrvCore {

namespace {

void PushUtf8(lua_State* L, const wxString& text)
{
    const std::string bytes = text.utf8_string();
    lua_pushlstring(L, bytes.data(), bytes.size());
}

}  // namespace

void XMLObject::PushAttributes(lua_State* L) const
{
    for (const Attribute& attribute : m_attributes) {
        const AttributeDecl& decl = *attribute.decl;
        if (attribute.isNull && !HasFlag(decl.flags, XMLAttr::Always)) continue;
        switch (decl.type) {
            case XMLAttrType::Text:
                PushUtf8(L, *static_cast<const wxString*>(attribute.field));
                break;
            case XMLAttrType::Int64:
                lua_pushinteger(L, static_cast<lua_Integer>(*static_cast<const long long*>(attribute.field)));
                break;
            case XMLAttrType::Int32:
                lua_pushinteger(L, static_cast<lua_Integer>(*static_cast<const int*>(attribute.field)));
                break;
            case XMLAttrType::Bool:
                lua_pushboolean(L, *static_cast<const bool*>(attribute.field) ? 1 : 0);
                break;
            case XMLAttrType::Blob: {
                const std::string& bytes = *static_cast<const std::string*>(attribute.field);
                lua_pushlstring(L, bytes.data(), bytes.size());
                break;
            }
        }
        lua_setfield(L, -2, decl.nameUtf8.c_str());
    }
}

void XMLObject::toLua(lua_State* L) const
{
    // Nested objects push a few values per level.
    luaL_checkstack(L, 4, "XMLObject::toLua");
    lua_createtable(L, 0, static_cast<int>(m_attributes.size() + m_children.size()));
    PushAttributes(L);
    for (const XMLObject* child : m_children) {
        wxString key = child->GetElementName();
        const XMLObjectList* list = child->AsList();
        if (key.empty() && list != nullptr) key = list->ChildElementName();
        if (key.empty()) key = wxT("XMLObject");
        child->toLua(L);
        lua_setfield(L, -2, key.utf8_string().c_str());
    }
}

void XMLObjectList::toLua(lua_State* L) const
{
    luaL_checkstack(L, 4, "XMLObjectList::toLua");
    lua_createtable(L, static_cast<int>(m_items.size()), 0);
    lua_Integer index = 0;
    for (const XMLObject* item : m_items) {
        item->toLua(L);
        lua_rawseti(L, -2, ++index);
    }
}

}  // namespace OrvCore
