// The agent state behind CDom: settings, conditions, waits, configuration,
// agent events, event channels and the message bus, across real threads.
#include "core/Dom.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/Runnable.h"
#include "tests/core/TestUtil.h"

using namespace OrvCore;
using namespace std::chrono;
using OrvTest::TempDir;
using OrvTest::WaitFor;

namespace {

// A host thread that runs a function as its OnRun.
class FunctionThread : public CRunnable
{
public:
    explicit FunctionThread(std::function<int(FunctionThread&)> body) : m_body(std::move(body)) {}
    ~FunctionThread() override
    {
        requestExit();
        join();
    }
    wxString GetThreadName() const override { return "test-fn"; }

protected:
    int OnRun() override { return m_body(*this); }

private:
    std::function<int(FunctionThread&)> m_body;
};

}  // namespace

TEST(DomSettings, TypedValuesRoundTripAndMismatchedTypesAreAbsent)
{
    CDom dom = CDom::CreateIsolated();
    int anchor = 0;
    dom.Set("k.bool", true);
    dom.Set("k.int", 1234567890123LL);
    dom.Set("k.text", wxString::FromUTF8("gr\xc3\xbc\xc3\x9f"));
    dom.Set("k.literal", "plain");
    dom.Set("k.ptr", static_cast<void*>(&anchor));

    struct Case
    {
        const char* key;
        SettingType type;
    } cases[] = {{"k.bool", SettingType::Bool},
                 {"k.int", SettingType::Int},
                 {"k.text", SettingType::Text},
                 {"k.literal", SettingType::Text},
                 {"k.ptr", SettingType::Pointer},
                 {"k.none", SettingType::None}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(dom.GetType(c.key), c.type);
        bool b;
        long long i;
        wxString s;
        void* p;
        EXPECT_EQ(dom.Get(c.key, b), c.type == SettingType::Bool);
        EXPECT_EQ(dom.Get(c.key, i), c.type == SettingType::Int);
        EXPECT_EQ(dom.Get(c.key, s), c.type == SettingType::Text);
        EXPECT_EQ(dom.Get(c.key, p), c.type == SettingType::Pointer);
    }
    EXPECT_TRUE(dom.GET<bool>("k.bool"));
    EXPECT_EQ(dom.GET<long long>("k.int"), 1234567890123LL);
    int truncated = 0;
    EXPECT_TRUE(dom.Get("k.int", truncated));
    EXPECT_EQ(dom.GetWxString("k.text").utf8_string(), "gr\xc3\xbc\xc3\x9f");
    EXPECT_EQ(dom.GetWxString("k.literal"), "plain");
    EXPECT_EQ(dom.GET<void*>("k.ptr"), &anchor);
    EXPECT_EQ(dom.GetWxString("k.none"), "");

    dom.SetNil("k.bool");
    EXPECT_EQ(dom.GetType("k.bool"), SettingType::None);
    EXPECT_FALSE(dom.GET<bool>("k.bool"));
}

TEST(DomSettings, HandlesShareStateAndIsolatedAgentsDoNot)
{
    CDom a = CDom::CreateIsolated();
    CDom copy = a;
    CDom other = CDom::CreateIsolated();
    copy.Set("shared", 7);
    EXPECT_EQ(a.GET<long long>("shared"), 7);
    EXPECT_EQ(other.GetType("shared"), SettingType::None);
    EXPECT_TRUE(a.SameAgent(copy));
    EXPECT_FALSE(a.SameAgent(other));
    EXPECT_TRUE(CDom().SameAgent(*CDom::This()));
}

TEST(DomSettings, TestAndSetIsAtomicAcrossThreads)
{
    CDom dom = CDom::CreateIsolated();
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                if (!dom.TestAndSet("flag", true)) ++winners;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(winners.load(), 1);
    EXPECT_TRUE(dom.TestAndSet("flag", false));
    EXPECT_FALSE(dom.TestAndSet("flag", false));
}

TEST(DomConditions, RaiseCountsAndQueryReportsExistence)
{
    CDom dom = CDom::CreateIsolated();
    unsigned long long counter = 99;
    EXPECT_FALSE(dom.ConditionQuery("c", counter));
    dom.ConditionRegister("c");
    ASSERT_TRUE(dom.ConditionQuery("c", counter));
    EXPECT_EQ(counter, 0u);
    dom.ConditionRaise("c");
    dom.ConditionRaise("c");
    ASSERT_TRUE(dom.ConditionQuery("c", counter));
    EXPECT_EQ(counter, 2u);
    dom.ConditionRaise("unregistered");
    ASSERT_TRUE(dom.ConditionQuery("unregistered", counter));
    EXPECT_EQ(counter, 1u);
}

TEST(DomConditions, RaiseWakesAThreadWaitingInShouldExit)
{
    CDom dom = CDom::CreateIsolated();
    std::atomic<bool> registered{false}, returned{false}, exitResult{true}, wokenResult{false};
    FunctionThread thread([&](FunctionThread& self) {
        self.GetDom().ConditionRegister("orp.test.dataAvailable");
        registered = true;
        bool woken = false;
        exitResult = self.GetDom().ShouldExit(60000, &woken);
        wokenResult = woken;
        returned = true;
        return 0;
    });
    thread.SetDom(dom);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(WaitFor([&] { return registered.load(); }, seconds(10)));
    // The waiter may not be inside its wait yet; a raise before the wait starts
    // is not a wake-up for it, so keep raising until it returns.
    ASSERT_TRUE(WaitFor(
        [&] {
            dom.ConditionRaise("orp.test.dataAvailable");
            return returned.load();
        },
        seconds(10)));
    EXPECT_FALSE(exitResult.load());
    EXPECT_TRUE(wokenResult.load());
}

TEST(DomConditions, ConditionWaitSeesARaiseFromAnotherThread)
{
    CDom dom = CDom::CreateIsolated();
    dom.ConditionRegister("done");
    std::thread raiser([&] {
        std::this_thread::sleep_for(milliseconds(50));
        dom.ConditionRaise("done");
    });
    EXPECT_TRUE(dom.ConditionWait("done", 0, 10000));
    raiser.join();
    EXPECT_FALSE(dom.ConditionWait("done", 1, 30));  // no further raise: times out
}

TEST(DomShouldExit, EndsEarlyOnAThreadStopRequest)
{
    CDom dom = CDom::CreateIsolated();
    std::atomic<bool> waiting{false};
    std::atomic<int> result{-1};
    FunctionThread thread([&](FunctionThread& self) {
        waiting = true;
        result = self.GetDom().ShouldExit(120000) ? 1 : 0;
        return 0;
    });
    thread.SetDom(dom);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }, seconds(10)));
    auto before = steady_clock::now();
    thread.requestExit();
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(result.load(), 1);
    EXPECT_LT(steady_clock::now() - before, seconds(30));
}

TEST(DomShouldExit, EndsEarlyOnAgentExitAndTimesOutOtherwise)
{
    CDom dom = CDom::CreateIsolated();
    EXPECT_FALSE(dom.ShouldExit(0));
    auto before = steady_clock::now();
    EXPECT_FALSE(dom.ShouldExit(30));
    EXPECT_GE(steady_clock::now() - before, milliseconds(25));

    std::atomic<int> result{-1};
    std::atomic<bool> waiting{false};
    FunctionThread thread([&](FunctionThread& self) {
        waiting = true;
        result = self.GetDom().ShouldExit(120000) ? 1 : 0;
        return 0;
    });
    thread.SetDom(dom);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }, seconds(10)));
    dom.RequestAgentExit();
    ASSERT_TRUE(WaitFor([&] { return result.load() != -1; }, seconds(10)));
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(dom.AgentExitRequested());
    EXPECT_TRUE(dom.ShouldExit(0));
}

TEST(DomShouldExit, AwakenEndsTheWaitWithoutStopping)
{
    CDom dom = CDom::CreateIsolated();
    std::atomic<int> result{-1};
    std::atomic<bool> woken{false};
    std::atomic<bool> waiting{false};
    FunctionThread thread([&](FunctionThread& self) {
        waiting = true;
        bool w = false;
        result = self.GetDom().ShouldExit(120000, &w) ? 1 : 0;
        woken = w;
        return 0;
    });
    thread.SetDom(dom);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }, seconds(10)));
    ASSERT_TRUE(WaitFor(
        [&] {
            thread.Awaken();
            return result.load() != -1;
        },
        seconds(10)));
    EXPECT_EQ(result.load(), 0);
    EXPECT_TRUE(woken.load());
}

TEST(DomConfig, LoadsQueriesAndRejectsBadDocuments)
{
    TempDir dir;
    CDom dom = CDom::CreateIsolated();
    EXPECT_TRUE(dom.ConfigIsEmpty());

    std::string good = dir / "good.xml";
    OrvTest::WriteFile(good,
                       "<?xml version=\"1.0\"?>\n<SecurityConfiguration>\n"
                       "  <AgentConfiguration systemIntegrityCPULimit=\"40\" name=\"a &amp; b\"/>\n"
                       "  <IntegrityRules/>\n</SecurityConfiguration>\n");
    std::string malformed = dir / "bad.xml";
    OrvTest::WriteFile(malformed, "<SecurityConfiguration>\n  <AgentConfiguration x=\"1\">\n</SecurityConfiguration>");
    std::string wrongRoot = dir / "other.xml";
    OrvTest::WriteFile(wrongRoot, "<Other><AgentConfiguration/></Other>");

    std::vector<wxString> errors;
    SetLogObserver([&](LogLevel level, const wxString&, const wxString& message) {
        if (level == LogLevel::Error) errors.push_back(message);
    });

    unsigned long long before = 0, after = 0;
    dom.ConditionQuery("app.configUpdated", before);
    ASSERT_TRUE(dom.LoadConfig(wxString::FromUTF8(good)));
    ASSERT_TRUE(dom.ConditionQuery("app.configUpdated", after));
    EXPECT_EQ(after, before + 1);
    EXPECT_FALSE(dom.ConfigIsEmpty());

    wxString value;
    EXPECT_TRUE(dom.ConfigGetAttribute("/SecurityConfiguration/AgentConfiguration", "systemIntegrityCPULimit", value));
    EXPECT_EQ(value, "40");
    EXPECT_TRUE(dom.ConfigGetAttribute("/SecurityConfiguration/AgentConfiguration", "name", value));
    EXPECT_EQ(value, "a & b");
    EXPECT_FALSE(dom.ConfigGetAttribute("/SecurityConfiguration/AgentConfiguration", "missing", value));
    EXPECT_FALSE(dom.ConfigGetAttribute("/SecurityConfiguration/Nothing", "x", value));
    EXPECT_FALSE(dom.ConfigGetAttribute("/Other/AgentConfiguration", "systemIntegrityCPULimit", value));

    // Failed loads keep the previous document and say why.
    EXPECT_FALSE(dom.LoadConfig(wxString::FromUTF8(malformed)));
    EXPECT_FALSE(dom.LoadConfig(wxString::FromUTF8(wrongRoot)));
    EXPECT_FALSE(dom.LoadConfig(wxString::FromUTF8(dir / "missing.xml")));
    SetLogObserver(nullptr);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].Find("line"), wxNOT_FOUND) << errors[0];
    EXPECT_NE(errors[1].Find("not a SecurityConfiguration"), wxNOT_FOUND) << errors[1];
    EXPECT_TRUE(dom.ConfigGetAttribute("/SecurityConfiguration/AgentConfiguration", "systemIntegrityCPULimit", value));

    ASSERT_TRUE(dom.SetConfigXml("<SecurityConfiguration/>"));
    EXPECT_TRUE(dom.ConfigIsEmpty());
    dom.ClearConfig();
    EXPECT_TRUE(dom.ConfigIsEmpty());
    EXPECT_EQ(dom.ConfigRoot(), nullptr);
}

TEST(DomEnvironment, WorkdirsEnvironmentAndPlatform)
{
    TempDir dir;
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.path.work", wxString::FromUTF8(dir / "work/"));
    EXPECT_EQ(dom.GetWorkdir().utf8_string(), dir / "work");
    wxString im = dom.GetPluginWorkdirWx("im");
    EXPECT_EQ(im.utf8_string(), dir / "work/im");
    struct stat st;
    ASSERT_EQ(stat((dir / "work/im").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(dom.GetPluginWorkdirWx("im"), im);  // existing directory is fine

    OrvTest::WriteFile(dir / "work/file", "x");
    EXPECT_EQ(dom.GetPluginWorkdirWx("file"), "");  // a file in the way

    setenv("ORV_TEST_ENV", "value\xc3\xa9", 1);
    wxString value;
    ASSERT_TRUE(dom.EnvGet("ORV_TEST_ENV", value));
    EXPECT_EQ(value.utf8_string(), "value\xc3\xa9");
    unsetenv("ORV_TEST_ENV");
    EXPECT_FALSE(dom.EnvGet("ORV_TEST_ENV", value));

    EXPECT_TRUE(dom.IsProtectingLinux());
    EXPECT_FALSE(dom.IsProtectingWindows());
    dom.Set("app.mode.protectWindows", true);
    EXPECT_TRUE(dom.IsProtectingWindows());
}

TEST(DomEvents, AgentEventsAreJsonLines)
{
    TempDir dir;
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.path.work", wxString::FromUTF8(dir.path()));
    ASSERT_TRUE(dom.DoAgentEventWrite(8003, "%d|%s|%s", 12, wxString("rule \"one\""), wxString::FromUTF8("v\xc3\xa4r")));
    ASSERT_TRUE(dom.DoAgentEventWriteUtf8(6012, "%s|%lu|%d", "/var/lib", 3UL, 5));
    ASSERT_TRUE(dom.DoAgentEventWriteAndLog(2001, LogLevel::Warning, "failed %d times", 5));

    std::string content = OrvTest::ReadFile(dir / "agent_events.jsonl");
    std::vector<std::string> lines;
    std::stringstream ss(content);
    for (std::string line; std::getline(ss, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    struct Case
    {
        int code;
        const char* level;
        const char* text;
    } cases[] = {{8003, "info", "12|rule \"one\"|v\xc3\xa4r"}, {6012, "info", "/var/lib|3|5"}, {2001, "warning", "failed 5 times"}};
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        cJSON* json = cJSON_Parse(lines[i].c_str());
        ASSERT_NE(json, nullptr);
        EXPECT_EQ(cJSON_GetObjectItem(json, "code")->valueint, cases[i].code);
        EXPECT_STREQ(cJSON_GetObjectItem(json, "level")->valuestring, cases[i].level);
        EXPECT_STREQ(cJSON_GetObjectItem(json, "text")->valuestring, cases[i].text);
        EXPECT_GT(cJSON_GetObjectItem(json, "time")->valuedouble, 1.6e12);
        cJSON_Delete(json);
    }
    struct stat st;
    ASSERT_EQ(stat((dir / "agent_events.jsonl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    dom.Set("app.agentEventLog", "/nonexistent-dir-\x01/x/\x01/events");
    dom.Set("app.agentEventLog", wxString::FromUTF8(dir / "file/sub/events"));
    OrvTest::WriteFile(dir / "file", "in the way");
    EXPECT_FALSE(dom.AgentEventWrite(1, "cannot be written"));
}

TEST(DomEvents, ChannelsRouteCaptureAndWriteLines)
{
    TempDir dir;
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.path.work", wxString::FromUTF8(dir.path()));
    EXPECT_TRUE(dom.IsEventOverHeartbeat("im"));
    EXPECT_FALSE(dom.IsEventOverIoT("im"));
    dom.Set("app.events.im.iot", true);
    dom.Set("app.events.im.heartbeat", false);
    EXPECT_TRUE(dom.IsEventOverIoT("im"));
    EXPECT_FALSE(dom.IsEventOverHeartbeat("im"));

    dom.Set("app.events.capture", true);
    std::string doc1 = "{\"a\":1}", doc2 = "{\n\"b\":2\n}";
    ASSERT_TRUE(dom.EventWrite(doc1.data(), doc1.size()));
    ASSERT_TRUE(dom.EventWrite(doc2.data(), doc2.size()));
    ASSERT_TRUE(dom.IoTEventWrite(doc1.data(), doc1.size()));
    EXPECT_EQ(dom.CapturedEvents(EventChannel::Heartbeat), (std::vector<std::string>{"{\"a\":1}", "{ \"b\":2 }"}));
    EXPECT_EQ(dom.CapturedEvents(EventChannel::IoT), (std::vector<std::string>{"{\"a\":1}"}));
    EXPECT_EQ(OrvTest::ReadFile(dir / "events.jsonl"), "{\"a\":1}\n{ \"b\":2 }\n");
    EXPECT_EQ(OrvTest::ReadFile(dir / "iot_events.jsonl"), "{\"a\":1}\n");
    dom.ClearCapturedEvents();
    EXPECT_TRUE(dom.CapturedEvents(EventChannel::Heartbeat).empty());

    dom.Set("app.events.heartbeatFile", wxString::FromUTF8(dir / "events.jsonl/not-a-dir"));
    EXPECT_FALSE(dom.EventWrite(doc1.data(), doc1.size()));
}

TEST(DomMsgBus, FifoPerQueueWithTimeouts)
{
    CDom dom = CDom::CreateIsolated();
    std::string data;
    size_t length = 0;
    auto before = steady_clock::now();
    EXPECT_FALSE(dom.MsgBusDequeue("q", 40, data, length, true));
    EXPECT_GE(steady_clock::now() - before, milliseconds(35));

    const char binary[] = {'a', '\0', 'b'};
    ASSERT_TRUE(dom.MsgBusEnqueue("q", binary, sizeof binary));
    ASSERT_TRUE(dom.MsgBusEnqueue("q", "second", 6));
    ASSERT_TRUE(dom.MsgBusEnqueue("other", "x", 1));
    EXPECT_EQ(dom.MsgBusSize("q"), 2u);
    ASSERT_TRUE(dom.MsgBusDequeue("q", 0, data, length, true));
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(data, std::string(binary, 3));
    ASSERT_TRUE(dom.MsgBusDequeue("q", 0, data, length, true));
    EXPECT_EQ(data, "second");
    EXPECT_FALSE(dom.MsgBusDequeue("q", 0, data, length, true));
    EXPECT_EQ(dom.MsgBusSize("other"), 1u);
}

TEST(DomMsgBus, ConsumerThreadReceivesEverythingAndStopsOnRequest)
{
    CDom dom = CDom::CreateIsolated();
    std::vector<std::string> received;
    std::mutex mutex;
    std::atomic<bool> ended{false};
    FunctionThread consumer([&](FunctionThread& self) {
        std::string data;
        size_t length;
        while (self.GetDom().MsgBusDequeue("orp.im.ExternalEntity.File", 0xFFFFFFFFu, data, length, true)) {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(data);
        }
        ended = true;
        return 0;
    });
    consumer.SetDom(dom);
    ASSERT_TRUE(consumer.start());
    for (int i = 0; i < 200; ++i) {
        std::string msg = "m" + std::to_string(i);
        ASSERT_TRUE(dom.MsgBusEnqueue("orp.im.ExternalEntity.File", msg.data(), msg.size()));
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return received.size() == 200;
        },
        seconds(10)));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(received[i], "m" + std::to_string(i));
    EXPECT_FALSE(ended.load());
    consumer.requestExit();
    ASSERT_TRUE(WaitFor([&] { return ended.load(); }, seconds(10)));
}

TEST(DomTrace, SettingsSwitchComponentsOnAndOff)
{
    CDom dom = CDom::CreateIsolated();
    EXPECT_FALSE(LogTraceIsEnabled("orp.im.test.component"));
    dom.Set("app.trace.components", "orp.im.test.*, other");
    EXPECT_TRUE(LogTraceIsEnabled("orp.im.test.component"));
    EXPECT_TRUE(LogTraceIsEnabled(wxString("other")));
    EXPECT_FALSE(LogTraceIsEnabled("orp.im.else"));
    dom.SetNil("app.trace.components");
    EXPECT_FALSE(LogTraceIsEnabled("orp.im.test.component"));
}
