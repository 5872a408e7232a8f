// CRunnable: lifecycle, stop requests, exceptions, wake-ups, CPU limit and Lua states.
#include "core/Runnable.h"

#include <gtest/gtest.h>
#include <time.h>

#include <atomic>

#include "tests/core/TestUtil.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

using namespace OrvCore;
using namespace std::chrono;
using OrvTest::WaitFor;

namespace {

// Records the order of its callbacks; optionally throws from OnRun.
class LifecycleThread : public CRunnable
{
public:
    enum Mode { ReturnAtOnce, LoopUntilStopped, ThrowStd, ThrowOther };
    explicit LifecycleThread(Mode mode) : m_mode(mode) {}
    ~LifecycleThread() override
    {
        requestExit();
        join();
    }
    wxString GetThreadName() const override { return "lifecycle-test-thread-long-name"; }

    std::atomic<int> runs{0}, exits{0}, loops{0};
    std::atomic<bool> exitAfterRun{false};
    std::atomic<CRunnable*> seenThis{nullptr};
    std::atomic<CDom*> seenDom{nullptr};

protected:
    int OnRun() override
    {
        ++runs;
        seenThis = CRunnable::This();
        seenDom = CDom::This();
        switch (m_mode) {
            case ReturnAtOnce: return 7;
            case LoopUntilStopped:
                while (!TestDestroy(50)) ++loops;
                return 0;
            case ThrowStd: throw std::runtime_error("boom from OnRun");
            case ThrowOther: throw 42;
        }
        return 0;
    }
    int OnExit() override
    {
        exitAfterRun = runs.load() == 1;
        ++exits;
        return 0;
    }

private:
    Mode m_mode;
};

}  // namespace

TEST(Runnable, RunsOnRunThenOnExitOnItsOwnThread)
{
    CDom dom = CDom::CreateIsolated();
    LifecycleThread thread(LifecycleThread::ReturnAtOnce);
    thread.SetDom(dom);
    EXPECT_FALSE(thread.isRunning());
    EXPECT_FALSE(thread.join());  // never started
    ASSERT_TRUE(thread.start(50, true));
    EXPECT_FALSE(thread.start());  // only once
    ASSERT_TRUE(thread.join());
    EXPECT_FALSE(thread.join());
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_EQ(thread.exits.load(), 1);
    EXPECT_TRUE(thread.exitAfterRun.load());
    EXPECT_EQ(thread.seenThis.load(), &thread);
    ASSERT_NE(thread.seenDom.load(), nullptr);
    EXPECT_TRUE(thread.seenDom.load()->SameAgent(dom));
}

TEST(Runnable, ExceptionsEscapingOnRunAreLoggedAndOnExitStillRuns)
{
    struct Case
    {
        LifecycleThread::Mode mode;
        const char* expected;
    } cases[] = {{LifecycleThread::ThrowStd, "boom from OnRun"}, {LifecycleThread::ThrowOther, "unknown exception"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::vector<wxString> errors;
        std::mutex mutex;
        SetLogObserver([&](LogLevel level, const wxString&, const wxString& message) {
            std::lock_guard<std::mutex> lock(mutex);
            if (level == LogLevel::Error) errors.push_back(message);
        });
        LifecycleThread thread(c.mode);
        ASSERT_TRUE(thread.start());
        ASSERT_TRUE(thread.join());
        SetLogObserver(nullptr);
        EXPECT_EQ(thread.exits.load(), 1);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].Find(c.expected), wxNOT_FOUND) << errors[0];
        EXPECT_NE(errors[0].Find("lifecycle-test-thread-long-name"), wxNOT_FOUND) << errors[0];
    }
}

TEST(Runnable, StopThreadEndsALoopingThreadPromptly)
{
    LifecycleThread thread(LifecycleThread::LoopUntilStopped);
    ASSERT_TRUE(thread.start(40));
    ASSERT_TRUE(WaitFor([&] { return thread.loops.load() > 0; }, seconds(10)));
    EXPECT_TRUE(thread.isRunning());
    auto before = steady_clock::now();
    EXPECT_TRUE(thread.StopThread("orv.test"));
    EXPECT_LT(steady_clock::now() - before, seconds(5));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.exits.load(), 1);
}

TEST(Runnable, TestDestroyWakesOnAwakenAndOnStop)
{
    class Waiter : public CRunnable
    {
    public:
        std::atomic<int> wokenCount{0}, waits{0};
        ~Waiter() override
        {
            requestExit();
            join();
        }

    protected:
        int OnRun() override
        {
            for (;;) {
                bool woken = false;
                ++waits;
                if (TestDestroy(120000, &woken)) return 0;
                if (woken) ++wokenCount;
            }
        }
    } waiter;
    ASSERT_TRUE(waiter.start());
    ASSERT_TRUE(WaitFor([&] { return waiter.waits.load() == 1; }, seconds(10)));
    waiter.Awaken();
    ASSERT_TRUE(WaitFor([&] { return waiter.wokenCount.load() == 1; }, seconds(10)));
    waiter.requestExit();
    ASSERT_TRUE(WaitFor([&] { return !waiter.isRunning(); }, seconds(10)));
    EXPECT_TRUE(waiter.join());
}

TEST(Runnable, AutoDeleteThreadDeletesItself)
{
    static std::atomic<int> destroyed{0};
    class SelfDeleting : public CRunnable
    {
    public:
        SelfDeleting() : CRunnable(true) {}
        ~SelfDeleting() override { ++destroyed; }

    protected:
        int OnRun() override { return 0; }
    };
    destroyed = 0;
    auto* thread = new SelfDeleting();
    ASSERT_TRUE(thread->start(50, true));
    EXPECT_TRUE(WaitFor([&] { return destroyed.load() == 1; }, seconds(10)));
}

TEST(Runnable, RunInCallingThreadActsAsTheRunnable)
{
    CDom dom = CDom::CreateIsolated();
    LifecycleThread controller(LifecycleThread::ReturnAtOnce);
    controller.SetDom(dom);
    CRunnable* adopted = CRunnable::This();
    ASSERT_NE(adopted, nullptr);
    EXPECT_NE(adopted, &controller);
    EXPECT_EQ(controller.RunInCallingThread(), 7);
    EXPECT_EQ(controller.seenThis.load(), &controller);
    EXPECT_TRUE(controller.seenDom.load()->SameAgent(dom));
    EXPECT_EQ(controller.exits.load(), 1);
    EXPECT_EQ(CRunnable::This(), adopted);  // restored
    EXPECT_FALSE(controller.isRunning());
}

TEST(Runnable, AdoptedThreadsCanBeAwakenedAndStopped)
{
    std::atomic<CRunnable*> self{nullptr};
    std::atomic<bool> firstDone{false};
    std::atomic<int> result{-1};
    std::thread foreign([&] {
        self = CRunnable::This();
        bool woken = false;
        CDom dom = CDom::CreateIsolated();
        // The first wait ends through Awaken, the second through a stop request.
        bool first = dom.ShouldExit(120000, &woken);
        firstDone = true;
        bool second = dom.ShouldExit(120000);
        result = (!first && woken && second) ? 1 : 0;
    });
    ASSERT_TRUE(WaitFor([&] { return self.load() != nullptr; }, seconds(10)));
    self.load()->Awaken();
    ASSERT_TRUE(WaitFor([&] { return firstDone.load(); }, seconds(10)));
    self.load()->requestExit();
    foreign.join();
    EXPECT_EQ(result.load(), 1);
}

TEST(Runnable, CpuLimitKeepsTheThreadShareNearTheLimit)
{
    class Spinner : public CRunnable
    {
    public:
        explicit Spinner(int limit) : CRunnable(false, limit) {}
        ~Spinner() override
        {
            requestExit();
            join();
        }
        std::atomic<long long> cpuNs{0}, wallNs{0};

    protected:
        int OnRun() override
        {
            struct timespec w0, c0, w, c;
            clock_gettime(CLOCK_MONOTONIC, &w0);
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
            volatile unsigned long sink = 0;
            for (;;) {
                for (int i = 0; i < 20000; ++i) sink = sink + i;
                if (TestDestroy(0)) break;
                clock_gettime(CLOCK_MONOTONIC, &w);
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c);
                wallNs = (w.tv_sec - w0.tv_sec) * 1000000000LL + (w.tv_nsec - w0.tv_nsec);
                cpuNs = (c.tv_sec - c0.tv_sec) * 1000000000LL + (c.tv_nsec - c0.tv_nsec);
                if (wallNs.load() > 1500000000LL) break;
            }
            return 0;
        }
    };
    Spinner limited(20);
    ASSERT_TRUE(limited.start());
    ASSERT_TRUE(limited.join());
    double share = static_cast<double>(limited.cpuNs.load()) / static_cast<double>(limited.wallNs.load());
    EXPECT_LT(share, 0.35) << "CPU share with a 20% limit";
    EXPECT_GT(share, 0.05) << "CPU share with a 20% limit";

    Spinner unlimited(-1);
    ASSERT_TRUE(unlimited.start());
    ASSERT_TRUE(unlimited.join());
    double freeShare = static_cast<double>(unlimited.cpuNs.load()) / static_cast<double>(unlimited.wallNs.load());
    EXPECT_GT(freeShare, share) << "an unlimited thread runs more";
}

TEST(Runnable, InitLuaGivesTheThreadItsOwnStateWithTheModulePath)
{
    class LuaThread : public CRunnable
    {
    public:
        std::string cpath, name;
        int sum = 0;
        bool secondInit = true;

    protected:
        int OnRun() override
        {
            if (!InitLua("scanner-lua", true)) return 1;
            secondInit = InitLua("again", true);
            lua_State* state = L();
            luaL_dostring(state, "return 2 + 3");
            sum = static_cast<int>(lua_tointeger(state, -1));
            lua_getglobal(state, "package");
            lua_getfield(state, -1, "cpath");
            cpath = lua_tostring(state, -1);
            lua_getfield(state, LUA_REGISTRYINDEX, "orv.threadName");
            name = lua_tostring(state, -1);
            return 0;
        }
    };
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.path.lua", "/opt/orv/lua");
    LuaThread thread;
    thread.SetDom(dom);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(thread.sum, 5);
    EXPECT_FALSE(thread.secondInit);
    EXPECT_EQ(thread.cpath.rfind("/opt/orv/lua/?.so;", 0), 0u) << thread.cpath;
    EXPECT_EQ(thread.name, "scanner-lua");
    EXPECT_EQ(thread.L(), nullptr);  // closed when the thread ended
}

TEST(Runnable, ThreadCpuTimeIsMeasured)
{
    class Burner : public CRunnable
    {
    public:
        std::atomic<long long> cpuMs{-1};

    protected:
        int OnRun() override
        {
            struct timespec c;
            do {
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c);
            } while (c.tv_sec == 0 && c.tv_nsec < 30000000);
            cpuMs = GetThreadCpuMillis();
            return 0;
        }
    } burner;
    ASSERT_TRUE(burner.start());
    ASSERT_TRUE(burner.join());
    EXPECT_GE(burner.cpuMs.load(), 30);
}
