// The real-time miss cache: directories (or names in them) that no integrity
// rule watches, so that later change notifications for them are dropped
// before any rule matching. Process-wide, in memory, guarded by one recursive
// mutex (AddRTIMMiss evicts while holding it).
#include <wx/filename.h>

#include <mutex>

extern "C" {
#include <lauxlib.h>
}

#include "core/Log.h"
#include "core/TimeUtil.h"
#include "plugins/im/im-plugin.h"

namespace OrvPluginIm {

namespace {

const char* const kComponent = "orp.im.ImThread";
const char* const kSource = "plugins/im/im-plugin";
const size_t kMaxDirectories = 20;
const size_t kMaxNamesPerDirectory = 100;

struct RTIM_Miss_Entry
{
    unsigned long long hitCount = 1;
    unsigned long long droppedCount = 0;
    long long lastTime = 0;
    wxString path;
    std::map<wxString, int> names;  // empty: the whole directory is a miss
};

struct MissCache
{
    std::recursive_mutex mutex;
    std::map<wxString, RTIM_Miss_Entry> entries;
};

MissCache& Cache()
{
    static MissCache* cache = new MissCache();  // never destroyed: see Stats()
    return *cache;
}

// The directory, the exact file text and the extension wildcard of a path.
struct ParsedPath
{
    wxString directory;
    wxString fileText;
    wxString wildcard;
};

ParsedPath ParsePath(const wxString& fullPath)
{
    wxFileName name(fullPath, wxPATH_NATIVE);
    ParsedPath parsed;
    parsed.directory = name.GetPath(wxPATH_GET_VOLUME);
    parsed.fileText = name.HasExt() ? name.GetName() + "." + name.GetExt() : name.GetName();
    parsed.wildcard = name.HasExt() ? "*." + name.GetExt() : wxString("*");
    return parsed;
}

}  // namespace

bool AddRTIMMiss(const wxString& fullPath, int reason)
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    if (fullPath.empty()) {
        ORV_TRACE(kComponent, kSource, "fullPath was empty.");
        return false;
    }
    ParsedPath parsed = ParsePath(fullPath);
    wxString name;
    if (reason == 3 || reason == 6)
        name = parsed.fileText;
    else if (reason == 2 || reason == 5)
        name = parsed.wildcard;

    long long now = OrvCore::TimeNowMillis();
    auto it = cache.entries.find(parsed.directory);
    if (it != cache.entries.end()) {
        RTIM_Miss_Entry& entry = it->second;
        ++entry.hitCount;
        entry.lastTime = now;
        if (name.empty()) return false;
        auto found = entry.names.find(name);
        if (found != entry.names.end()) {
            ++found->second;
            return false;
        }
        if (entry.names.size() >= kMaxNamesPerDirectory) {
            ++entry.droppedCount;
            return false;
        }
        entry.names[name] = 1;
        return true;
    }

    if (cache.entries.size() >= kMaxDirectories) EraseOldestRTIMMiss();
    RTIM_Miss_Entry entry;
    entry.path = parsed.directory;
    entry.lastTime = now;
    if (!name.empty()) entry.names[name] = 1;
    cache.entries.emplace(parsed.directory, std::move(entry));
    return true;
}

bool CheckRTIMMiss(const wxString& fullPath)
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    ParsedPath parsed = ParsePath(fullPath);
    long long now = OrvCore::TimeNowMillis();

    auto it = cache.entries.find(parsed.directory);
    if (it != cache.entries.end()) {
        RTIM_Miss_Entry& entry = it->second;
        bool hit = entry.names.empty();
        if (!hit) {
            auto found = entry.names.find(parsed.fileText);
            if (found == entry.names.end()) found = entry.names.find(parsed.wildcard);
            if (found != entry.names.end()) {
                ++found->second;
                hit = true;
            }
        }
        if (hit) {
            ++entry.hitCount;
            entry.lastTime = now;
        }
        return hit;
    }

    // Only the nearest directory that sorts before this one is examined: a
    // whole-directory miss covers what lies below it.
    auto below = cache.entries.lower_bound(parsed.directory);
    if (below == cache.entries.begin()) return false;
    --below;
    ORV_TRACE(kComponent, kSource, "lower bound for %s points to %s", parsed.directory, below->first);
    RTIM_Miss_Entry& entry = below->second;
    if (entry.names.empty() && parsed.directory.StartsWith(entry.path + wxFileName::GetPathSeparator())) {
        ++entry.hitCount;
        entry.lastTime = now;
        return true;
    }
    return false;
}

void EraseOldestRTIMMiss()
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    auto oldest = cache.entries.end();
    for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it)
        if (oldest == cache.entries.end() || it->second.lastTime < oldest->second.lastTime) oldest = it;
    if (oldest != cache.entries.end()) cache.entries.erase(oldest);
}

void ClearRTIMMisses()
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    cache.entries.clear();
}

size_t RTIMMissCount()
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    return cache.entries.size();
}

int GetRTIMMissStats(lua_State* L)
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    lua_newtable(L);
    for (const auto& kv : cache.entries) {
        const RTIM_Miss_Entry& entry = kv.second;
        PushLuaString(L, entry.path);
        lua_newtable(L);
        lua_pushinteger(L, static_cast<lua_Integer>(entry.hitCount));
        lua_setfield(L, -2, "hitcount");
        lua_pushinteger(L, static_cast<lua_Integer>(entry.droppedCount));
        lua_setfield(L, -2, "dropped");
        PushLuaString(L, entry.path);
        lua_setfield(L, -2, "path");
        lua_pushinteger(L, entry.lastTime);
        lua_setfield(L, -2, "lasttime");
        for (const auto& name : entry.names) {  // the entry's names with their counts
            PushLuaString(L, name.first);
            lua_pushinteger(L, name.second);
            lua_rawset(L, -3);
        }
        lua_rawset(L, -3);
    }
    return 1;
}

int GetRTIMExclusions(lua_State* L)
{
    MissCache& cache = Cache();
    std::lock_guard<std::recursive_mutex> lock(cache.mutex);
    const wxString separator = wxFileName::GetPathSeparator();
    wxString text;
    for (const auto& kv : cache.entries) {
        const RTIM_Miss_Entry& entry = kv.second;
        if (!text.empty()) text += ";";
        text += entry.path;
        if (!entry.path.EndsWith(separator)) text += separator;
        bool first = true;
        for (const auto& name : entry.names) {
            if (!first) text += ",";
            text += name.first;
            first = false;
        }
    }
    PushLuaString(L, text);
    return 1;
}

int AddRTIMMiss_l(lua_State* L)
{
    wxString path = CheckLuaString(L, 1);
    int reason = lua_isnoneornil(L, 2) ? 2 : static_cast<int>(CheckLuaInteger(L, 2));
    AddRTIMMiss(path, reason);
    return 0;
}

int ClearRTIMMisses_l(lua_State*)
{
    ClearRTIMMisses();
    return 0;
}

int GetRTIMMissStats_l(lua_State* L) { return GetRTIMMissStats(L); }
int GetRTIMExclusions_l(lua_State* L) { return GetRTIMExclusions(L); }

}  // namespace OrvPluginIm
