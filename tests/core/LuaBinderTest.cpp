// The Lua binder and the orv.Dom class, from real Lua states.
#include "core/LuaBinder.h"

#include <gtest/gtest.h>

#include "core/LuaDom.h"

extern "C" {
#include <lauxlib.h>
#include <lualib.h>
}

using namespace OrvCore;

namespace {

struct Shape
{
    virtual ~Shape() = default;
    virtual int Area() const = 0;
};
struct Square : Shape
{
    explicit Square(int side) : side(side) {}
    ~Square() override { ++destroyed; }
    int Area() const override { return side * side; }
    int side;
    static int destroyed;
};
int Square::destroyed = 0;

int NewSquare(lua_State* L)
{
    Lua::PushOwned<Shape>(L, "geo.Square", new Square(static_cast<int>(luaL_checkinteger(L, 1))));
    return 1;
}

int Area(lua_State* L)
{
    Shape* shape = Lua::To<Shape>(L, 1, "geo.Shape");
    if (!shape) return luaL_argerror(L, 1, "geo.Shape expected");
    lua_pushinteger(L, shape->Area());
    return 1;
}

class Binder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        L = luaL_newstate();
        luaL_openlibs(L);
    }
    void TearDown() override
    {
        if (L) lua_close(L);
    }
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

}  // namespace

TEST_F(Binder, ClassesConstructConvertAndCollect)
{
    Square::destroyed = 0;
    ASSERT_TRUE(Lua::NewClass(L, "geo.Square", NewSquare));
    EXPECT_FALSE(Lua::NewClass(L, "geo.Square", NewSquare));  // once per state
    Lua::SetBaseClass(L, "geo.Square", "geo.Shape");
    Lua::AddFunction(L, "geo.Square", "Area", Area);
    struct Case
    {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"geo.Square(3):Area()", "9"},
        {"geo.Square.Area(geo.Square(4))", "16"},
        {"getmetatable(geo.Square(1)).__class", "geo.Square"},
        {"pcall(geo.Square.Area, {})", "false"},
        {"select(2, pcall(geo.Square.Area, 5))", "bad argument #1 to '?' (geo.Shape expected)"},
        {"type(debug.getregistry()['geo.Square'].__gc)", "function"},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.expected) << c.expression;
    lua_gc(L, LUA_GCCOLLECT, 0);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(Square::destroyed, 3);

    // A released object is not destroyed by the collector.
    Square kept(2);
    Lua::PushObject(L, "geo.Square", static_cast<Shape*>(&kept), nullptr);
    EXPECT_EQ(Lua::To<Shape>(L, -1, "geo.Shape"), &kept);
    EXPECT_EQ(Lua::To<Shape>(L, -1, "geo.Circle"), nullptr);
    lua_pop(L, 1);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(Square::destroyed, 3);
}

TEST_F(Binder, EnumerationsCompareAndPrint)
{
    Lua::OpenNamespace(L, "a.b");
    Lua::NewEnum(L, "Color", "Color", {{"Red", 1}, {"Green", 2}});
    Lua::NewEnum(L, "Size", "Size", {{"Small", 1}});
    lua_pop(L, 1);
    struct Case
    {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"a.b.Color.Red", "Color.Red"},
        {"a.b.Color.Green.value", "2"},
        {"a.b.Color.Green.name", "Green"},
        {"a.b.Color.Red == a.b.Color.Red", "true"},
        {"a.b.Color.Red ~= a.b.Color.Green", "true"},
        {"a.b.Color.Red == a.b.Size.Small", "false"},
        {"a.b.Color.Red < a.b.Color.Green", "true"},
        {"a.b.Color.Green <= 2", "true"},
        {"pcall(function() return a.b.Color.Red < 'x' end)", "false"},
        {"#tostring(a.b.Color.Red)", "9"},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.expected) << c.expression;
    Lua::PushEnum(L, "Color", 7);
    long long value = 0;
    EXPECT_TRUE(Lua::ToEnum(L, -1, "Color", value));
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(Lua::ToEnum(L, -1, "Size", value));
    EXPECT_EQ(std::string(luaL_tolstring(L, -1, nullptr)), "Color(7)");
}

TEST_F(Binder, DomFromLuaSharesTheAgentState)
{
    CDom dom = CDom::CreateIsolated();
    Lua::RegisterDomClass(L);
    lua_pop(L, 1);
    Lua::PushDom(L, dom);
    lua_setglobal(L, "dom");
    struct Case
    {
        const char* code;
        const char* expected;
    } cases[] = {
        {"dom:Set('i', 5) or dom:Get('i')", "5"},
        {"math.type(dom:Get('i'))", "integer"},
        {"dom:Set('t', 'text') or dom:Get('t')", "text"},
        {"dom:Set('b', false) or dom:Get('b')", "false"},
        {"dom:Set('t', nil) or dom:Get('t')", "nil"},
        {"dom:TestAndSet('flag', true)", "false"},
        {"dom:TestAndSet('flag', true)", "true"},
        {"select(2, pcall(dom.Set, dom, 'x', 1.5))", "bad argument #3 to '?' (integer expected)"},
        {"select(2, pcall(dom.Get, 'nodom', 'x'))", "bad argument #1 to '?' (orv.Dom object expected)"},
        {"dom:ConditionQuery('c')", "nil"},
        {"dom:ConditionRaise('c') or dom:ConditionQuery('c')", "1"},
        {"dom:ShouldExit(0)", "false"},
        {"dom:SetConfigXml('<SecurityConfiguration><A/></SecurityConfiguration>')", "true"},
        {"dom:ConfigIsEmpty()", "false"},
        {"dom:SetConfigXml('<broken')", "false"},
        {"orv.Dom.Isolated():Get('i')", "nil"},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.code), c.expected) << c.code;
    EXPECT_EQ(dom.GET<long long>("i"), 5);
    EXPECT_TRUE(dom.GET<bool>("flag"));
    dom.Set("fromHost", wxString::FromUTF8("\xc3\xa9"));
    EXPECT_EQ(Eval("dom:Get('fromHost')"), "\xc3\xa9");
    EXPECT_TRUE(CDom().SameAgent(*Lua::ToDom(L, (luaL_dostring(L, "return orv.Dom()"), -1))));
}
