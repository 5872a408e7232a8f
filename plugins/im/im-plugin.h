// The plugin's process-wide statistics, the real-time miss cache and the Lua
// entry points that publish them. Every function here may be called from any
// thread: each map has its own lock (see im-plugin.Stats.cpp and
// im-plugin.RtimMiss.cpp for the lock order).
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <map>

extern "C" {
#include <lua.h>
}

namespace OrvPluginIm {

// ---- metrics: named signed 32-bit counters
void IncMetric(const wxString& name, int delta);
void SetMetric(const wxString& name, int value);
// The metric's value; false when it does not exist.
bool GetMetric(const wxString& name, int& value);
// Sets the sixteen entity and real-time metrics to 0; other metrics keep their values.
void InitializeEntityCounts();

// ---- entity-attribute counts: entity type -> attribute -> number of entity sets monitoring it
void InitializeAttributeCounts();
void IncEntityAttributeMetric(const wxString& entityType, const wxString& attribute);
std::map<wxString, std::map<wxString, int>> GetEntityAttributeCounts();

// ---- rule statistics
void IncRuleCountStat(int ruleId);
void trackDeletedRuleStat(const wxString& ruleName, int ruleId);
void untrackDeletedRuleStat(const wxString& ruleName, int ruleId);
void AddRuleIDandName(int ruleId, const wxString& ruleName);
void DeleteName(int ruleId);
void ClearRuleIDandNameMap();
// Drops every counter and map (a fresh start, as at library load).
void ResetAllStatistics();

// ---- counters the controller and the Lua glue update together
void IncEntitiesTotalCount();          // entitiesInTable +1, entitiesCreated +1
void IncEntitiesDeletedCount(int n);   // entitiesInTable -n, entitiesDeleted +n
void IncEntitiesSupercededCount();     // entitiesSuperceded +1
void IncMarkersCreatedCount();         // entitiesMarkeredCreated +1
void IncMarkersDeletedCount(int n);    // entitiesMarkeredDeleted +n
void IncIncompleteDeletedCount(int n); // entitiesIncompleteDeleted +n
void IncRtEvtDroppedNoRules();         // realtimeEventDroppedNotInRules +1

// ---- real-time miss cache
bool AddRTIMMiss(const wxString& fullPath, int reason);
bool CheckRTIMMiss(const wxString& fullPath);
void EraseOldestRTIMMiss();
void ClearRTIMMisses();
size_t RTIMMissCount();

// ---- Lua
// Pushes the cache as a table keyed by directory; 1 result.
int GetRTIMMissStats(lua_State* L);
// Pushes the exclusion text; 1 result.
int GetRTIMExclusions(lua_State* L);

// Lua functions of the class "SLB.im.ImThread" (statistics and miss cache).
int GetStats_l(lua_State* L);
int GetRuleIdAndName_l(lua_State* L);
int AddRTIMMiss_l(lua_State* L);
int ClearRTIMMisses_l(lua_State* L);
int GetRTIMMissStats_l(lua_State* L);
int GetRTIMExclusions_l(lua_State* L);
int IncEntitiesTotalCount_l(lua_State* L);
int InitializeEntityCounts_l(lua_State* L);
int InitializeAttributeCounts_l(lua_State* L);
int IncEntitiesDeletedCount_l(lua_State* L);
int IncEntitiesSentToHUBCount_l(lua_State* L);
int IncEntitiesSupercededCount_l(lua_State* L);
int IncMarkersCreatedCount_l(lua_State* L);
int IncMarkersDeletedCount_l(lua_State* L);
int IncIncompleteDeletedCount_l(lua_State* L);
int SetInitialCount_l(lua_State* L);
int IncEntityAttributeMetric_l(lua_State* L);

// "SLB.im.DecryptDatabase_l"(dom, keySpec, sourcePath, targetPath)
int DecryptDatabase_l(lua_State* L);

// Lua text helpers shared by the glue: strict argument checks and UTF-8 pushes.
long long CheckLuaInteger(lua_State* L, int index);
wxString CheckLuaString(lua_State* L, int index);
void PushLuaString(lua_State* L, const wxString& text);

}  // namespace OrvPluginIm
