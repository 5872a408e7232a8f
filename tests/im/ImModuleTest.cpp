// The Lua surface of the plugin: namespace, enumerations, classes, argument
// checks and the on-change registry, from real Lua states.
#include <gtest/gtest.h>

#include "core/LuaBinder.h"
#include "core/LuaDom.h"
#include "plugins/im/OnChangeEngine.h"
#include "plugins/im/im-plugin.h"
#include "tests/im/LuaFixture.h"

using namespace OrvPluginIm;

namespace {

// An engine that records what it was given and answers with the change kind.
class RecordingEngine : public COnChangeEngine
{
public:
    int calls = 0;
    std::string lastKey;
    int Change(lua_State* L) override
    {
        ++calls;
        lastKey = luaL_optstring(L, 2, "");
        lua_pushstring(L, ("handled " + lastKey).c_str());
        return 1;
    }
};

int Metric(const char* name)
{
    int value = 0;
    GetMetric(name, value);
    return value;
}

}  // namespace

class ImModule : public LuaFixture
{
protected:
    void SetUp() override
    {
        ResetAllStatistics();
        LuaFixture::SetUp();
    }
};

TEST_F(ImModule, NamespaceEnumerationsAndClasses)
{
    struct Case
    {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"type(SLB.im)", "table"},
        {"SLB.im.ScanStatus.Queued.value", "0"},
        {"SLB.im.ScanStatus.InProgress.value", "1"},
        {"SLB.im.ScanStatus.Paused.value", "2"},
        {"SLB.im.ScanStatus.Cancelling.value", "3"},
        {"SLB.im.ScanStatus.Idle.value", "4"},
        {"SLB.im.ScanStatus.NotSupported.value", "5"},
        {"SLB.im.ImScanType.ImIdle.value", "0"},
        {"SLB.im.ImScanType.ImBaseline.value", "1"},
        {"SLB.im.ImScanType.ImIncremental.value", "2"},
        {"SLB.im.ImScanType.ImRealtime.value", "3"},
        {"SLB.im.ImScanType.ImPseudoRealtime.value", "4"},
        {"SLB.im.ScanStatus.Idle", "CScanStatus::_ScanStatus.Idle"},
        {"SLB.im.ImScanType.ImBaseline", "OrvPluginIm::CImScanStatus::ImScanType.ImBaseline"},
        {"SLB.im.ScanStatus.Idle.name", "Idle"},
        {"SLB.im.ScanStatus.Idle == SLB.im.ScanStatus.Idle", "true"},
        {"SLB.im.ScanStatus.Idle == SLB.im.ScanStatus.Queued", "false"},
        {"SLB.im.ScanStatus.Queued < SLB.im.ScanStatus.Idle", "true"},
        {"SLB.im.ScanStatus.Idle <= 4", "true"},
        {"SLB.im.ScanStatus.Idle == SLB.im.ImScanType.ImPseudoRealtime", "false"},  // different types
        {"type(SLB.im.DecryptDatabase_l)", "function"},
        {"type(SLB.im.ImThread)", "table"},
        {"type(SLB.im.ImThread.GetStats)", "function"},
        {"type(SLB.im.ImThread.GetRTIMExclusions)", "function"},
        {"type(SLB.im.OnChange.Change)", "function"},
        {"type(SLB.im.OnChange.Register)", "function"},
        {"type(SLB.im.OnChange.CheckOnChange)", "function"},
        {"debug.getregistry()['SLB.im.ImThread'].__class", "SLB.im.ImThread"},
        {"type(debug.getregistry()['SLB.im.OnChange'].__gc)", "function"},
        {"debug.getregistry()['SLB.im.OnChange'].__index == SLB.im.OnChange", "true"},
        {"type(orv.Dom)", "table"},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.expected) << c.expression;
}

TEST_F(ImModule, LoadingTwiceRegistersNothingTwice)
{
    ASSERT_EQ(Run("first = { thread = SLB.im.ImThread, onchange = SLB.im.OnChange,"
                  " mt = debug.getregistry()['SLB.im.ImThread'] }"
                  " SLB.im.ImThread.Extra = 1"),
              "");
    luaL_requiref(L, "im", luaopen_im, 1);
    lua_pop(L, 1);
    EXPECT_EQ(Eval("first.thread == SLB.im.ImThread"), "true");
    EXPECT_EQ(Eval("first.onchange == SLB.im.OnChange"), "true");
    EXPECT_EQ(Eval("first.mt == debug.getregistry()['SLB.im.ImThread']"), "true");
    EXPECT_EQ(Eval("SLB.im.ImThread.Extra"), "1");  // the class table was not rebuilt
}

TEST_F(ImModule, ArgumentErrors)
{
    struct Case
    {
        const char* code;
        const char* message;
    } cases[] = {
        {"SLB.im.DecryptDatabase_l('x', 'k', 'a', 'b')", "bad argument #1"},
        {"SLB.im.DecryptDatabase_l(nil, 'k', 'a', 'b')", "orv.Dom object expected"},
        {"SLB.im.DecryptDatabase_l(orv.Dom(), 'k', {}, 'b')", "bad argument #3"},
        {"SLB.im.DecryptDatabase_l(orv.Dom(), 'k', 'a')", "bad argument #4"},
        {"SLB.im.OnChange.Change('not an object')", "orv.im.OnChange expected"},
        {"SLB.im.OnChange.Change()", "orv.im.OnChange expected"},
        {"SLB.im.OnChange.Register(orv.Dom(), orv.Dom())", "orv.im.OnChange expected"},
        {"SLB.im.OnChange.CheckOnChange(42)", "orv.Dom object expected"},
        {"SLB.im.ImThread.IncEntitiesDeletedCount('5')", "integer expected, got string"},
        {"SLB.im.ImThread.IncEntitiesDeletedCount(2.5)", "integer expected, got number"},
        {"SLB.im.ImThread.IncEntitiesSentToHUBCount()", "integer expected, got no value"},
        {"SLB.im.ImThread.IncMarkersDeletedCount(true)", "integer expected, got boolean"},
        {"SLB.im.ImThread.IncIncompleteDeletedCount('1')", "integer expected"},
        {"SLB.im.ImThread.SetInitialCount(nil)", "integer expected"},
        {"SLB.im.ImThread.IncEntityAttributeMetric('File', 5)", "bad argument #2"},
        {"SLB.im.ImThread.IncEntityAttributeMetric(5, 'size')", "string expected, got number"},
        {"SLB.im.ImThread.AddRTIMMiss(12)", "string expected, got number"},
        {"SLB.im.ImThread.AddRTIMMiss('/x/y', 'two')", "integer expected, got string"},
    };
    for (const Case& c : cases) {
        std::string error = Run(c.code);
        EXPECT_NE(error.find(c.message), std::string::npos) << c.code << " gave: " << error;
    }
    // A failed Change call still counts the notification and its drop.
    EXPECT_EQ(Metric("realtimeEventReceived"), 2);
    EXPECT_EQ(Metric("realtimeEventDroppedNoOnc"), 2);
}

TEST_F(ImModule, ChangeBeforeAnyRegisterIsDroppedAndCounted)
{
    EXPECT_EQ(Eval("SLB.im.OnChange.Change(orv.Dom.Isolated(), '/etc/passwd')"), "false");
    EXPECT_EQ(Metric("realtimeEventReceived"), 1);
    EXPECT_EQ(Metric("realtimeEventDroppedNoOnc"), 1);
}

TEST_F(ImModule, RegisterCheckOnChangeAndDispatch)
{
    OrvCore::CDom dom = OrvCore::CDom::CreateIsolated();
    {
        RecordingEngine engine;
        OrvCore::Lua::PushDom(L, dom);
        lua_setglobal(L, "dom");
        OrvCore::Lua::PushObject(L, "SLB.im.OnChange", &engine, nullptr);  // not owned by Lua
        lua_setglobal(L, "engine");

        EXPECT_EQ(Eval("SLB.im.OnChange.CheckOnChange(dom)"), "false");
        ASSERT_EQ(Run("SLB.im.OnChange.Register(engine, dom)"), "");
        EXPECT_EQ(Eval("SLB.im.OnChange.CheckOnChange(dom)"), "true");
        EXPECT_EQ(Eval("SLB.im.OnChange.CheckOnChange(orv.Dom.Isolated())"), "false");  // another agent
        EXPECT_EQ(COnChangeEngine::Registered(dom), &engine);

        EXPECT_EQ(Eval("SLB.im.OnChange.Change(dom, '/etc/hosts')"), "handled /etc/hosts");
        EXPECT_EQ(Eval("SLB.im.OnChange.Change(engine, '/etc/group')"), "handled /etc/group");
        EXPECT_EQ(engine.calls, 2);
        EXPECT_EQ(Eval("engine:Change('/tmp/x')"), "handled /tmp/x");  // method-call form
        EXPECT_EQ(Metric("realtimeEventReceived"), 3);
        EXPECT_EQ(Metric("realtimeEventDroppedNoOnc"), 0);
        EXPECT_NE(Run("SLB.im.OnChange.Register(engine, 'dom')").find("orv.Dom object expected"), std::string::npos);
    }
    // The engine is gone: the agent no longer dispatches to it.
    EXPECT_EQ(COnChangeEngine::Registered(dom), nullptr);
    EXPECT_EQ(Eval("SLB.im.OnChange.CheckOnChange(dom)"), "false");
    EXPECT_EQ(Eval("SLB.im.OnChange.Change(dom, '/etc/hosts')"), "false");
}

TEST_F(ImModule, OwnedObjectsAreDestroyedByTheCollector)
{
    static int destroyed = 0;
    struct Counted : RecordingEngine
    {
        ~Counted() override { ++destroyed; }
    };
    destroyed = 0;
    OrvCore::Lua::PushOwned(L, "SLB.im.OnChange", new Counted());
    lua_setglobal(L, "owned");
    ASSERT_EQ(Run("owned = nil; collectgarbage(); collectgarbage()"), "");
    EXPECT_EQ(destroyed, 1);
}
