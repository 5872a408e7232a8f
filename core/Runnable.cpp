// CRunnable: threads, waits, wake-ups and CPU throttling.
#include "core/Runnable.h"

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <unordered_set>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "core/Log.h"

namespace OrvCore {

namespace {

const char* const kComponent = "orv.thread";

std::mutex& RegistryMutex()
{
    static auto* m = new std::mutex();
    return *m;
}
std::unordered_set<CRunnable*>& Registry()
{
    static auto* r = new std::unordered_set<CRunnable*>();
    return *r;
}

thread_local CRunnable* t_current = nullptr;

long long NowNs(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

pid_t CurrentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

}  // namespace

// A thread the host did not start through CRunnable, adopted on first use.
class CAdoptedRunnable : public CRunnable
{
public:
    CAdoptedRunnable()
    {
        m_tid = CurrentTid();
        m_thread = pthread_self();
        m_running = true;
    }
    wxString GetThreadName() const override { return "adopted"; }

protected:
    int OnRun() override { return 0; }
};

namespace {
thread_local std::unique_ptr<CAdoptedRunnable> t_adopted;
}

CRunnable::CRunnable(bool autoDelete, int cpuLimitPercent, bool lowIoPriority)
    : m_dom(*CDom::This()), m_autoDelete(autoDelete), m_lowIoPriority(lowIoPriority), m_cpuLimit(cpuLimitPercent)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry().insert(this);
}

CRunnable::~CRunnable()
{
    if (m_started.load() && !m_autoDelete && !m_joined.load() && !pthread_equal(pthread_self(), m_thread)) {
        LogError(kComponent, "thread " + GetThreadName() + " deleted while not joined; stopping it");
        requestExit();
        join();
    }
    CloseLua();
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry().erase(this);
}

CRunnable* CRunnable::This()
{
    if (t_current) return t_current;
    if (!t_adopted) t_adopted.reset(new CAdoptedRunnable());
    return t_adopted.get();
}

void CRunnable::SetDom(const CDom& dom) { m_dom = dom; }

wxString CRunnable::GetThreadName() const { return "CRunnable"; }

bool CRunnable::start(int priority, bool waitUntilRunning, unsigned stackSizeKb)
{
    if (m_started.exchange(true)) return false;
    m_priority = priority;
    m_running = true;
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_entered = false;
    }

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stackSizeKb > 0) pthread_attr_setstacksize(&attr, static_cast<size_t>(stackSizeKb) * 1024);
    // An auto-deleting thread must not delete the object before start() is done with it.
    std::unique_lock<std::mutex> startLock(m_waitMutex);
    int rc = pthread_create(&m_thread, &attr, &CRunnable::ThreadEntry, this);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        startLock.unlock();
        m_running = false;
        m_started = false;
        LogSysError(kComponent, "cannot start thread " + GetThreadName(), rc);
        return false;
    }
    if (waitUntilRunning) m_waitCv.wait(startLock, [this] { return m_entered; });
    return true;
}

void* CRunnable::ThreadEntry(void* arg)
{
    CRunnable* self = static_cast<CRunnable*>(arg);
    t_current = self;
    CDom::SetThis(&self->m_dom);
    self->m_tid = CurrentTid();
    InstallWxLogTargetForThread();
    std::string name = self->GetThreadName().utf8_string();
    if (name.size() > 15) name.resize(15);
    pthread_setname_np(pthread_self(), name.c_str());
    self->ApplyPriority();
    {
        std::lock_guard<std::mutex> lock(self->m_waitMutex);
        self->m_entered = true;
    }
    self->m_waitCv.notify_all();

    self->RunGuarded();
    self->CloseLua();

    t_current = nullptr;
    CDom::SetThis(nullptr);
    if (self->m_autoDelete) {
        { std::lock_guard<std::mutex> wait(self->m_waitMutex); }  // start() has returned
        pthread_detach(pthread_self());
        self->m_running = false;
        delete self;
    } else {
        self->m_running = false;
    }
    return nullptr;
}

int CRunnable::RunGuarded()
{
    int result = -1;
    try {
        result = OnRun();
    } catch (const std::exception& e) {
        LogError(kComponent, "exception escaped OnRun of thread " + GetThreadName() + ": " +
                                 wxString::FromUTF8(e.what()));
    } catch (...) {
        LogError(kComponent, "unknown exception escaped OnRun of thread " + GetThreadName());
    }
    try {
        OnExit();
    } catch (const std::exception& e) {
        LogError(kComponent, "exception escaped OnExit of thread " + GetThreadName() + ": " +
                                 wxString::FromUTF8(e.what()));
    } catch (...) {
        LogError(kComponent, "unknown exception escaped OnExit of thread " + GetThreadName());
    }
    return result;
}

void CRunnable::ApplyPriority()
{
    // 0..100 with 50 normal maps onto nice steps of 5 priority points each.
    int delta = (50 - m_priority) / 5;
    if (delta != 0) {
        errno = 0;
        int current = getpriority(PRIO_PROCESS, static_cast<id_t>(m_tid.load()));
        if (errno == 0) {
            int wanted = std::max(-20, std::min(19, current + delta));
            if (setpriority(PRIO_PROCESS, static_cast<id_t>(m_tid.load()), wanted) != 0)
                ORV_TRACE(kComponent, "core/Runnable", "thread %s keeps nice %d: %s", GetThreadName(), current,
                          strerror(errno));
        }
    }
    if (m_lowIoPriority) {
        const int whoProcess = 1, classBestEffort = 2, classShift = 13, lowestLevel = 7;
        syscall(SYS_ioprio_set, whoProcess, m_tid.load(), (classBestEffort << classShift) | lowestLevel);
    }
}

bool CRunnable::join()
{
    if (!m_started.load() || m_autoDelete) return false;
    if (pthread_equal(pthread_self(), m_thread)) return false;
    if (m_joined.exchange(true)) return false;
    int rc = pthread_join(m_thread, nullptr);
    if (rc != 0) {
        LogSysError(kComponent, "cannot join thread " + GetThreadName(), rc);
        return false;
    }
    return true;
}

bool CRunnable::StopThread(const wxString& component)
{
    ORV_TRACE(component, "core/Runnable", "stopping thread %s", GetThreadName());
    requestExit();
    bool joined = join();
    ORV_TRACE(component, "core/Runnable", "thread %s %s", GetThreadName(), joined ? "stopped" : "was not joined");
    return joined;
}

void CRunnable::requestExit()
{
    m_exitRequested = true;
    { std::lock_guard<std::mutex> lock(m_waitMutex); }
    m_waitCv.notify_all();
}

void CRunnable::Awaken()
{
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_awakened = true;
    }
    m_waitCv.notify_all();
}

void CRunnable::WakeAll()
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    for (CRunnable* r : Registry()) {
        { std::lock_guard<std::mutex> wait(r->m_waitMutex); }
        r->m_waitCv.notify_all();
    }
}

CRunnable::WakeReason CRunnable::Wait(uint32_t milliseconds, const std::function<bool()>& ready, bool stopEnds)
{
    const bool infinite = milliseconds == 0xFFFFFFFFu;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(m_waitMutex);
    for (;;) {
        if (stopEnds && m_exitRequested.load()) return WakeReason::Stop;
        if (ready && ready()) return WakeReason::Ready;
        if (stopEnds && m_awakened) {
            m_awakened = false;
            return WakeReason::Awakened;
        }
        if (infinite) {
            m_waitCv.wait(lock);
        } else if (m_waitCv.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (stopEnds && m_exitRequested.load()) return WakeReason::Stop;
            if (ready && ready()) return WakeReason::Ready;
            return WakeReason::Timeout;
        }
    }
}

bool CRunnable::TestDestroy(uint32_t milliseconds, bool* woken)
{
    if (m_exitRequested.load()) return true;
    Throttle();
    if (milliseconds == 0) return m_exitRequested.load();
    WakeReason reason = Wait(milliseconds, nullptr);
    if (reason == WakeReason::Awakened && woken) *woken = true;
    return reason == WakeReason::Stop;
}

void CRunnable::Watch(const wxString& condition)
{
    std::lock_guard<std::mutex> lock(m_watchMutex);
    m_watched.insert(condition);
}

std::set<wxString> CRunnable::Watched() const
{
    std::lock_guard<std::mutex> lock(m_watchMutex);
    return m_watched;
}

void CRunnable::SetCPULimit(int percent) { m_cpuLimit = percent; }

void CRunnable::Throttle()
{
    if (t_current != this && (t_adopted.get() != this)) return;
    int limit = m_cpuLimit.load();
    long long wallNow = NowNs(CLOCK_MONOTONIC);
    long long cpuNow = NowNs(CLOCK_THREAD_CPUTIME_ID);
    if (limit <= 0 || limit >= 100 || m_throttleWallStartNs == 0) {
        m_throttleWallStartNs = wallNow;
        m_throttleCpuStartNs = cpuNow;
        return;
    }
    // Measure over windows of at least 20 ms, then sleep long enough that the
    // CPU time of the window is at most the limit's share of its wall time.
    const long long window = 20000000LL;
    long long wall = wallNow - m_throttleWallStartNs;
    long long cpu = cpuNow - m_throttleCpuStartNs;
    if (wall < window && cpu < window) return;
    long long needed = cpu * 100 / limit;
    if (needed > wall) {
        auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(needed - wall);
        std::unique_lock<std::mutex> lock(m_waitMutex);
        m_waitCv.wait_until(lock, until, [this] { return m_exitRequested.load(); });
    }
    m_throttleWallStartNs = NowNs(CLOCK_MONOTONIC);
    m_throttleCpuStartNs = NowNs(CLOCK_THREAD_CPUTIME_ID);
}

long long CRunnable::GetThreadCpuMillis() const
{
    if (t_current == this || t_adopted.get() == this) return NowNs(CLOCK_THREAD_CPUTIME_ID) / 1000000;
    if (!m_running.load() || !m_started.load()) return 0;
    clockid_t clock;
    if (pthread_getcpuclockid(m_thread, &clock) != 0) return 0;
    return NowNs(clock) / 1000000;
}

// ---------------------------------------------------------------- Lua

namespace {
// Directory of the host's Lua modules: the setting "app.path.lua", else
// $ORV_LUA_DIR, else lua/ beside the directory that holds this library.
std::string LuaModuleDir(const CDom& dom)
{
    wxString dir = dom.GetWxString("app.path.lua");
    if (!dir.empty()) return dir.utf8_string();
    if (const char* env = getenv("ORV_LUA_DIR")) return env;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&LuaModuleDir), &info) && info.dli_fname) {
        std::string lib = info.dli_fname;
        size_t slash = lib.find_last_of('/');
        std::string libDir = slash == std::string::npos ? "." : lib.substr(0, slash);
        return libDir + "/../lua";
    }
    return "lua";
}
}  // namespace

bool CRunnable::InitLua(const wxString& name, bool openStandardLibs)
{
    if (m_L) return false;
    lua_State* L = luaL_newstate();
    if (!L) {
        LogError(kComponent, "cannot create a Lua state for " + name);
        return false;
    }
    if (openStandardLibs) {
        luaL_openlibs(L);
        std::string cpath = LuaModuleDir(m_dom) + "/?.so;";
        lua_getglobal(L, "package");
        if (lua_istable(L, -1)) {
            lua_getfield(L, -1, "cpath");
            const char* current = lua_tostring(L, -1);
            cpath += current ? current : "";
            lua_pop(L, 1);
            lua_pushstring(L, cpath.c_str());
            lua_setfield(L, -2, "cpath");
        }
        lua_pop(L, 1);
    }
    lua_pushstring(L, name.utf8_string().c_str());
    lua_setfield(L, LUA_REGISTRYINDEX, "orv.threadName");
    m_L = L;
    return true;
}

void CRunnable::CloseLua()
{
    if (m_L) {
        lua_close(m_L);
        m_L = nullptr;
    }
}

int CRunnable::RunInCallingThread()
{
    CRunnable* previous = t_current;
    CDom* previousDom = CDom::This();
    t_current = this;
    CDom::SetThis(&m_dom);
    bool wasRunning = m_running.exchange(true);
    int result = RunGuarded();
    m_running = wasRunning;
    t_current = previous;
    CDom::SetThis(previousDom);
    return result;
}

}  // namespace OrvCore
