// Trace and log facility: process-wide switches and one output stream.
#include "core/Log.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wx/log.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace OrvCore {
namespace {

// A component list: exact names, "*" for all, or prefixes written "name.*" / "name*".
struct ComponentList
{
    bool all = false;
    std::vector<std::string> exact;
    std::vector<std::string> prefixes;

    static ComponentList Parse(const std::string& text)
    {
        ComponentList list;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(',', start);
            if (end == std::string::npos) end = text.size();
            std::string item = text.substr(start, end - start);
            size_t b = item.find_first_not_of(" \t");
            size_t e = item.find_last_not_of(" \t");
            item = (b == std::string::npos) ? std::string() : item.substr(b, e - b + 1);
            if (item == "*")
                list.all = true;
            else if (!item.empty() && item.back() == '*')
                list.prefixes.push_back(item.substr(0, item.size() - 1));
            else if (!item.empty())
                list.exact.push_back(item);
            start = end + 1;
        }
        return list;
    }
    bool Empty() const { return !all && exact.empty() && prefixes.empty(); }
    bool Matches(const std::string& component) const
    {
        if (all) return true;
        for (const auto& name : exact)
            if (name == component) return true;
        for (const auto& prefix : prefixes)
            if (component.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    }
};

struct LogState
{
    std::mutex mutex;  // guards everything below
    ComponentList fromEnv;
    ComponentList fromSettings;
    std::string envFile;
    std::string settingsFile;
    int fd = 2;
    std::string fdPath;
    LogObserver observer;
};

LogState& State()
{
    static LogState* state = new LogState();  // never destroyed: threads may log during exit
    return *state;
}

std::atomic<bool> g_anyTrace{false};
std::atomic<unsigned long> g_generation{1};

struct TraceCache
{
    unsigned long generation = 0;
    std::unordered_map<std::string, bool> enabled;
};
thread_local TraceCache t_cache;

// Called with the state locked.
void ReopenLocked(LogState& s)
{
    const std::string& path = !s.settingsFile.empty() ? s.settingsFile : s.envFile;
    if (path == s.fdPath) return;
    if (s.fd > 2) close(s.fd);
    s.fd = 2;
    s.fdPath.clear();
    if (path.empty()) return;
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string msg = "cannot open log file " + path + ": " + strerror(errno) + "\n";
        ssize_t ignored = write(2, msg.data(), msg.size());
        (void)ignored;
        return;
    }
    s.fd = fd;
    s.fdPath = path;
}

void UpdateAnyLocked(LogState& s)
{
    g_anyTrace.store(!s.fromEnv.Empty() || !s.fromSettings.Empty());
    g_generation.fetch_add(1);
}

void LoadEnvironmentLocked(LogState& s)
{
    const char* trace = getenv("ORV_TRACE");
    s.fromEnv = ComponentList::Parse(trace ? trace : "");
    const char* file = getenv("ORV_LOG_FILE");
    s.envFile = file ? file : "";
    ReopenLocked(s);
    UpdateAnyLocked(s);
}

struct EnvLoader
{
    EnvLoader()
    {
        LogState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        LoadEnvironmentLocked(s);
    }
} g_envLoader;

std::string Timestamp()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tmv;
    gmtime_r(&ts.tv_sec, &tmv);
    char buf[96];
    snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", tmv.tm_year + 1900, tmv.tm_mon + 1,
             tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec, ts.tv_nsec / 1000000);
    return buf;
}

void Emit(LogLevel level, const wxString& component, const std::string& location, const wxString& message)
{
    std::string line = Timestamp();
    line += " [";
    line += std::to_string(static_cast<long>(syscall(SYS_gettid)));
    line += "] ";
    line += LogLevelName(level);
    line += ' ';
    line += component.utf8_string();
    if (!location.empty()) {
        line += ' ';
        line += location;
    }
    line += ": ";
    line += message.utf8_string();
    line += '\n';

    LogState& s = State();
    LogObserver observer;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        const char* p = line.data();
        size_t left = line.size();
        while (left > 0) {
            ssize_t n = write(s.fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        observer = s.observer;
    }
    if (observer) observer(level, component, message);
}

// Sends wx's own messages to this facility; wx would otherwise buffer
// messages of worker threads until a GUI event loop flushes them.
class CWxLogTarget : public wxLog
{
protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&) override
    {
        if (level <= wxLOG_Error)
            LogError("wx", msg);
        else if (level == wxLOG_Warning)
            LogWarning("wx", msg);
        else if (level <= wxLOG_Info)
            LogInfo("wx", msg);
        else if (LogTraceIsEnabled("wx"))
            LogTrace("wx", "wx", 0, "", msg);
    }
};

}  // namespace

const char* LogLevelName(LogLevel level)
{
    switch (level) {
        case LogLevel::Trace: return "TRACE";
        case LogLevel::Info: return "INFO";
        case LogLevel::Warning: return "WARNING";
        case LogLevel::Error: return "ERROR";
    }
    return "?";
}

bool LogTraceIsEnabled(const char* component)
{
    if (!g_anyTrace.load(std::memory_order_relaxed)) return false;
    unsigned long generation = g_generation.load();
    if (t_cache.generation != generation) {
        t_cache.enabled.clear();
        t_cache.generation = generation;
    }
    std::string key(component ? component : "");
    auto it = t_cache.enabled.find(key);
    if (it != t_cache.enabled.end()) return it->second;
    bool on;
    {
        LogState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        on = s.fromEnv.Matches(key) || s.fromSettings.Matches(key);
    }
    t_cache.enabled.emplace(key, on);
    return on;
}

bool LogTraceIsEnabled(const wxString& component)
{
    if (!g_anyTrace.load(std::memory_order_relaxed)) return false;
    return LogTraceIsEnabled(component.utf8_string().c_str());
}

void LogTrace(const wxString& component, const wxString& sourceFile, int line, const wxString& function,
              const wxString& message)
{
    std::string location = sourceFile.utf8_string();
    location += ':';
    location += std::to_string(line);
    if (!function.empty()) {
        location += ' ';
        location += function.utf8_string();
    }
    Emit(LogLevel::Trace, component, location, message);
}

void LogMessage(LogLevel level, const wxString& component, const wxString& message)
{
    Emit(level, component, std::string(), message);
}

void LogError(const wxString& component, const wxString& message) { LogMessage(LogLevel::Error, component, message); }
void LogWarning(const wxString& component, const wxString& message)
{
    LogMessage(LogLevel::Warning, component, message);
}
void LogInfo(const wxString& component, const wxString& message) { LogMessage(LogLevel::Info, component, message); }

void LogSysError(const wxString& component, const wxString& message, int errorNumber)
{
    char buf[256];
    const char* text = strerror_r(errorNumber, buf, sizeof buf);
    LogMessage(LogLevel::Error, component,
               message + ": " + wxString::FromUTF8(text) + wxString::Format(" (errno %d)", errorNumber));
}

void SetTraceComponents(const wxString& list)
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.fromSettings = ComponentList::Parse(list.utf8_string());
    UpdateAnyLocked(s);
}

void ReloadTraceEnvironment()
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    LoadEnvironmentLocked(s);
}

bool SetLogFile(const wxString& path)
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settingsFile = path.utf8_string();
    ReopenLocked(s);
    return s.settingsFile.empty() || s.fdPath == s.settingsFile;
}

void SetLogObserver(LogObserver observer)
{
    LogState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.observer = std::move(observer);
}

void InstallWxLogTargetForThread()
{
    static CWxLogTarget* target = new CWxLogTarget();  // shared by all threads, never deleted
    if (wxThread::IsMain())
        wxLog::SetActiveTarget(target);
    else
        wxLog::SetThreadActiveTarget(target);
}

}  // namespace OrvCore
