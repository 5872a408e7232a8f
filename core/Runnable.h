// CRunnable: base of every thread of the agent and its plugins, on POSIX
// threads.
//
// Ownership: the creator owns the object and must stop and join the thread
// before deleting it (the destructor does so as a last resort and logs it),
// unless the object was built with autoDelete, in which case the finished
// thread deletes it. The thread entry sets CRunnable::This() and CDom::This()
// for the new thread, routes wx logs, applies the priority, runs OnRun() and
// then OnExit(); an exception escaping either is logged and swallowed.
//
// Threads that CRunnable did not start (the main thread, a Lua host thread)
// are adopted on first use of This(): they can wait, be awakened and be told
// to stop like any other.
//
// Waiting: TestDestroy and CDom::ShouldExit wait on the thread's own condition
// variable; requestExit(), Awaken() and host events (conditions, message bus)
// wake it. They are also where a CPU limit is enforced: a thread that calls
// them regularly keeps its CPU share near the limit.
#pragma once

#include <pthread.h>
#include <wx/string.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "core/CoreApi.h"
#include "core/Dom.h"

struct lua_State;

namespace OrvCore {

class ORV_CORE_API CRunnable
{
public:
    // autoDelete: the thread deletes the object when it ends.
    // cpuLimitPercent: initial CPU limit, -1 (or 100 and above) for none.
    // lowIoPriority: the thread runs in the lowest best-effort I/O class.
    explicit CRunnable(bool autoDelete = false, int cpuLimitPercent = -1, bool lowIoPriority = false);
    virtual ~CRunnable();
    CRunnable(const CRunnable&) = delete;
    CRunnable& operator=(const CRunnable&) = delete;

    // The runnable of the calling thread; never null.
    static CRunnable* This();

    void SetDom(const CDom& dom);
    CDom& GetDom() { return m_dom; }

    // Starts the thread. priority is 0..100 with 50 normal; lower values run
    // the thread at a higher nice value. waitUntilRunning returns only once
    // OnRun has been entered. stackSizeKb 0 keeps the default stack.
    // False when already started or the thread cannot be created.
    bool start(int priority = 50, bool waitUntilRunning = false, unsigned stackSizeKb = 0);
    // Waits for the thread to end. False when it was never started, has been
    // joined already, or when called from the thread itself.
    bool join();
    // requestExit() and join(), traced under component.
    bool StopThread(const wxString& component);
    bool isRunning() const { return m_running.load(); }
    bool wasStarted() const { return m_started.load(); }
    void requestExit();
    bool exitRequested() const { return m_exitRequested.load(); }
    // Ends the thread's current wait early (once).
    void Awaken();

    // Waits up to milliseconds; true when the thread has been asked to stop.
    // *woken is set when the wait ended early through Awaken().
    virtual bool TestDestroy(uint32_t milliseconds = 0, bool* woken = nullptr);

    void SetCPULimit(int percent);
    int GetCPULimit() const { return m_cpuLimit.load(); }
    // Sleeps as long as needed to keep the thread's CPU share under its limit.
    // Only acts when called on the runnable's own thread.
    void Throttle();
    // CPU time used by the thread so far, in milliseconds (0 when not running).
    long long GetThreadCpuMillis() const;

    // Creates the thread's own Lua state (closed when the runnable ends) with
    // the standard libraries when openStandardLibs, and with package.cpath
    // leading to the host's Lua modules (orv, im). name is kept in the
    // registry under "orv.threadName". False when a state exists already.
    bool InitLua(const wxString& name, bool openStandardLibs = true);
    lua_State* L() const { return m_L; }
    void CloseLua();

    // Runs OnRun() then OnExit() on the calling thread as this runnable (This()
    // returns it meanwhile). Returns OnRun's result, -1 when it threw.
    int RunInCallingThread();

    virtual wxString GetThreadName() const;

    // The wait primitive behind every wait of the host services. Ends when the
    // thread is asked to stop (if stopEnds), when ready() holds, when the thread
    // is awakened (if stopEnds), or after milliseconds (0xFFFFFFFF: no limit).
    enum class WakeReason { Timeout, Stop, Awakened, Ready };
    WakeReason Wait(uint32_t milliseconds, const std::function<bool()>& ready, bool stopEnds = true);
    // Wakes every waiting thread so that it re-tests its ready() condition.
    static void WakeAll();

    // Conditions this thread registered (see CDom::ConditionRegister).
    void Watch(const wxString& condition);
    std::set<wxString> Watched() const;

protected:
    virtual int OnRun() = 0;
    virtual int OnExit() { return 0; }

private:
    static void* ThreadEntry(void* arg);
    int RunGuarded();
    void ApplyPriority();

    CDom m_dom;
    bool m_autoDelete;
    bool m_lowIoPriority;
    int m_priority = 50;
    pthread_t m_thread{};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_joined{false};
    std::atomic<bool> m_exitRequested{false};
    std::atomic<int> m_cpuLimit;
    std::atomic<pid_t> m_tid{0};

    mutable std::mutex m_waitMutex;
    std::condition_variable m_waitCv;
    bool m_awakened = false;
    bool m_entered = false;

    mutable std::mutex m_watchMutex;
    std::set<wxString> m_watched;

    // CPU limit accounting (touched only by the owning thread)
    long long m_throttleWallStartNs = 0;
    long long m_throttleCpuStartNs = 0;

    lua_State* m_L = nullptr;

    friend class CAdoptedRunnable;
};

}  // namespace OrvCore
