// Process-wide metrics, entity-attribute counts and rule statistics.
//
// Locks: the metrics lock guards the metrics; the attribute-count lock guards
// the entity-attribute counts; the rule-statistics lock guards the three rule
// maps. Where two are held together the order is metrics, then attribute
// counts; the rule-statistics lock is never held with another.
#include <mutex>

extern "C" {
#include <lauxlib.h>
}

#include "plugins/im/im-plugin.h"

namespace OrvPluginIm {

namespace {

struct Statistics
{
    std::recursive_mutex metricsLock;
    std::map<wxString, int> metrics;

    std::recursive_mutex attributeCountLock;
    std::map<wxString, std::map<wxString, int>> entityAttributeCounts;

    std::recursive_mutex ruleStatsLock;
    std::map<int, int> activeRuleStats;
    std::map<wxString, int> inactiveRuleStats;
    std::map<int, wxString> ruleIdAndName;
};

Statistics& Stats()
{
    // Never destroyed: scanner threads may still count while the process exits.
    static Statistics* stats = new Statistics();
    return *stats;
}

const char* const kEntityMetrics[] = {
    "entitiesInTable",
    "entitiesDeleted",
    "entitiesCreated",
    "entitiesSentToHUB",
    "entitiesSuperceded",
    "entitiesMarkeredCreated",
    "entitiesMarkeredDeleted",
    "entitiesIncompleteDeleted",
    "realtimeEventReceived",
    "realtimeEventDroppedNoOnc",
    "realtimeEventDroppedDbNoInit",
    "realtimeEventDroppedDbErr",
    "realtimeEventDroppedNotInRules",
    "realtimeEventAdded2Cache",
    "realtimeEventDroppedCondensing",
    "realtimeEventEntityProcessed",
};

wxString DeletedLabel(const wxString& ruleName) { return "Deleted - " + ruleName; }

}  // namespace

void IncMetric(const wxString& name, int delta)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
    // Unsigned arithmetic: counters wrap instead of overflowing.
    int& value = s.metrics[name];
    value = static_cast<int>(static_cast<unsigned int>(value) + static_cast<unsigned int>(delta));
}

void SetMetric(const wxString& name, int value)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
    s.metrics[name] = value;
}

bool GetMetric(const wxString& name, int& value)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
    auto it = s.metrics.find(name);
    if (it == s.metrics.end()) return false;
    value = it->second;
    return true;
}

void InitializeEntityCounts()
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
    for (const char* name : kEntityMetrics) s.metrics[name] = 0;
}

void InitializeAttributeCounts()
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.attributeCountLock);
    s.entityAttributeCounts.clear();
}

void IncEntityAttributeMetric(const wxString& entityType, const wxString& attribute)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.attributeCountLock);
    ++s.entityAttributeCounts[entityType][attribute];
}

std::map<wxString, std::map<wxString, int>> GetEntityAttributeCounts()
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.attributeCountLock);
    return s.entityAttributeCounts;
}

void IncRuleCountStat(int ruleId)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    ++s.activeRuleStats[ruleId];
}

void trackDeletedRuleStat(const wxString& ruleName, int ruleId)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    auto it = s.activeRuleStats.find(ruleId);
    s.inactiveRuleStats[DeletedLabel(ruleName)] = it == s.activeRuleStats.end() ? 0 : it->second;
}

void untrackDeletedRuleStat(const wxString& ruleName, int /*ruleId*/)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    s.inactiveRuleStats.erase(DeletedLabel(ruleName));
}

void AddRuleIDandName(int ruleId, const wxString& ruleName)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    s.ruleIdAndName[ruleId] = ruleName;
}

void DeleteName(int ruleId)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    s.ruleIdAndName.erase(ruleId);
}

void ClearRuleIDandNameMap()
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    s.ruleIdAndName.clear();
}

void ResetAllStatistics()
{
    Statistics& s = Stats();
    {
        std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
        s.metrics.clear();
        std::lock_guard<std::recursive_mutex> lock2(s.attributeCountLock);
        s.entityAttributeCounts.clear();
    }
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    s.activeRuleStats.clear();
    s.inactiveRuleStats.clear();
    s.ruleIdAndName.clear();
}

void IncEntitiesTotalCount()
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
    IncMetric("entitiesInTable", 1);
    IncMetric("entitiesCreated", 1);
}

void IncEntitiesDeletedCount(int n)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.metricsLock);
    IncMetric("entitiesInTable", -n);
    IncMetric("entitiesDeleted", n);
}

void IncEntitiesSupercededCount() { IncMetric("entitiesSuperceded", 1); }
void IncMarkersCreatedCount() { IncMetric("entitiesMarkeredCreated", 1); }
void IncMarkersDeletedCount(int n) { IncMetric("entitiesMarkeredDeleted", n); }
void IncIncompleteDeletedCount(int n) { IncMetric("entitiesIncompleteDeleted", n); }
void IncRtEvtDroppedNoRules() { IncMetric("realtimeEventDroppedNotInRules", 1); }

// ---------------------------------------------------------------- Lua

long long CheckLuaInteger(lua_State* L, int index)
{
    if (!lua_isinteger(L, index)) luaL_typeerror(L, index, "integer");
    return lua_tointeger(L, index);
}

wxString CheckLuaString(lua_State* L, int index)
{
    if (lua_type(L, index) != LUA_TSTRING) luaL_typeerror(L, index, "string");
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    return wxString::FromUTF8(text, length);
}

void PushLuaString(lua_State* L, const wxString& text)
{
    std::string utf8 = text.utf8_string();
    lua_pushlstring(L, utf8.data(), utf8.size());
}

int GetStats_l(lua_State* L)
{
    Statistics& s = Stats();
    {
        std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
        lua_newtable(L);
        for (const auto& kv : s.activeRuleStats) {
            lua_pushinteger(L, kv.second);
            lua_rawseti(L, -2, kv.first);
        }
        lua_newtable(L);
        for (const auto& kv : s.inactiveRuleStats) {
            PushLuaString(L, kv.first);
            lua_pushinteger(L, kv.second);
            lua_rawset(L, -3);
        }
    }
    std::lock_guard<std::recursive_mutex> metricsLock(s.metricsLock);
    lua_newtable(L);
    for (const auto& kv : s.metrics) {
        PushLuaString(L, kv.first);
        lua_pushinteger(L, kv.second);
        lua_rawset(L, -3);
    }
    std::lock_guard<std::recursive_mutex> countLock(s.attributeCountLock);
    lua_newtable(L);
    for (const auto& type : s.entityAttributeCounts) {
        PushLuaString(L, type.first);
        lua_newtable(L);
        for (const auto& attribute : type.second) {
            PushLuaString(L, attribute.first);
            lua_pushinteger(L, attribute.second);
            lua_rawset(L, -3);
        }
        lua_rawset(L, -3);
    }
    return 4;
}

int GetRuleIdAndName_l(lua_State* L)
{
    Statistics& s = Stats();
    std::lock_guard<std::recursive_mutex> lock(s.ruleStatsLock);
    lua_newtable(L);
    for (const auto& kv : s.ruleIdAndName) {
        PushLuaString(L, kv.second);
        lua_rawseti(L, -2, kv.first);
    }
    return 1;
}

int IncEntitiesTotalCount_l(lua_State*)
{
    IncEntitiesTotalCount();
    return 0;
}

int InitializeEntityCounts_l(lua_State*)
{
    InitializeEntityCounts();
    return 0;
}

int InitializeAttributeCounts_l(lua_State*)
{
    InitializeAttributeCounts();
    return 0;
}

int IncEntitiesDeletedCount_l(lua_State* L)
{
    IncEntitiesDeletedCount(static_cast<int>(CheckLuaInteger(L, 1)));
    return 0;
}

int IncEntitiesSentToHUBCount_l(lua_State* L)
{
    IncMetric("entitiesSentToHUB", static_cast<int>(CheckLuaInteger(L, 1)));
    return 0;
}

int IncEntitiesSupercededCount_l(lua_State*)
{
    IncEntitiesSupercededCount();
    return 0;
}

int IncMarkersCreatedCount_l(lua_State*)
{
    IncMarkersCreatedCount();
    return 0;
}

int IncMarkersDeletedCount_l(lua_State* L)
{
    IncMarkersDeletedCount(static_cast<int>(CheckLuaInteger(L, 1)));
    return 0;
}

int IncIncompleteDeletedCount_l(lua_State* L)
{
    IncIncompleteDeletedCount(static_cast<int>(CheckLuaInteger(L, 1)));
    return 0;
}

int SetInitialCount_l(lua_State* L)
{
    SetMetric("entitiesInTable", static_cast<int>(CheckLuaInteger(L, 1)));
    return 0;
}

int IncEntityAttributeMetric_l(lua_State* L)
{
    wxString entityType = CheckLuaString(L, 1);
    wxString attribute = CheckLuaString(L, 2);
    IncEntityAttributeMetric(entityType, attribute);
    return 0;
}

}  // namespace OrvPluginIm
