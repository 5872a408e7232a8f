// A real Lua state with the plugin loaded as the host loads it.
#pragma once

#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
int luaopen_im(lua_State* L);
}

class LuaFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        L = luaL_newstate();
        luaL_openlibs(L);
        luaL_requiref(L, "im", luaopen_im, 1);
        lua_pop(L, 1);
    }
    void TearDown() override { lua_close(L); }

    // Runs a chunk; returns "" on success or the error message.
    std::string Run(const std::string& code)
    {
        if (luaL_dostring(L, code.c_str()) == LUA_OK) {
            lua_settop(L, 0);
            return "";
        }
        std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_settop(L, 0);
        return error;
    }
    // Evaluates an expression and returns tostring() of its value.
    std::string Eval(const std::string& expression)
    {
        std::string code = "return tostring(" + expression + ")";
        if (luaL_dostring(L, code.c_str()) != LUA_OK) {
            std::string error = std::string("error: ") + lua_tostring(L, -1);
            lua_settop(L, 0);
            return error;
        }
        std::string value = lua_tostring(L, -1);
        lua_settop(L, 0);
        return value;
    }

    lua_State* L = nullptr;
};
