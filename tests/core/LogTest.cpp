// The trace facility: component switches, line format, log file and observer.
#include "core/Log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <wx/log.h>

#include <thread>

#include "tests/core/TestUtil.h"

using namespace OrvCore;

TEST(LogTrace, ComponentListsFromTheEnvironment)
{
    struct Case
    {
        const char* list;
        const char* component;
        bool enabled;
    } cases[] = {
        {"", "orp.im.ImThread", false},
        {"*", "orp.im.ImThread", true},
        {"orp.im.ImThread", "orp.im.ImThread", true},
        {"orp.im.ImThread", "orp.im.ImThreadX", false},
        {"orp.im.*", "orp.im.scanner.file", true},
        {"orp.im.*", "orp.imx", false},
        {" orp.im.stats , orp.im.keyMatch ", "orp.im.keyMatch", true},
        {"orp.im.stats,,", "orp.im.stats", true},
        {"orp.im.stats", "orp.im", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " / " + c.component);
        setenv("ORV_TRACE", c.list, 1);
        ReloadTraceEnvironment();
        EXPECT_EQ(LogTraceIsEnabled(c.component), c.enabled);
        EXPECT_EQ(LogTraceIsEnabled(wxString(c.component)), c.enabled);
    }
    unsetenv("ORV_TRACE");
    ReloadTraceEnvironment();
    EXPECT_FALSE(LogTraceIsEnabled("orp.im.ImThread"));
}

TEST(LogTrace, SwitchesApplyToOtherThreadsToo)
{
    SetTraceComponents("orv.test.cross");
    bool seen = false;
    std::thread t([&] { seen = LogTraceIsEnabled("orv.test.cross"); });
    t.join();
    EXPECT_TRUE(seen);
    SetTraceComponents("");
    std::thread u([&] { seen = LogTraceIsEnabled("orv.test.cross"); });
    u.join();
    EXPECT_FALSE(seen);
}

TEST(LogOutput, LinesCarryLevelComponentAndLocationAndGoToTheLogFile)
{
    OrvTest::TempDir dir;
    std::string path = dir / "orv.log";
    ASSERT_TRUE(SetLogFile(wxString::FromUTF8(path)));
    SetTraceComponents("orv.test.out");
    ORV_TRACE("orv.test.out", "plugins/im/Test", "value %d and %s", 42, wxString::FromUTF8("\xc3\xa9t\xc3\xa9"));
    ORV_TRACE("orv.test.silent", "plugins/im/Test", "never %d", 1);
    LogError("orv.test.out", "an error");
    LogWarning("orv.test.out", "a warning");
    LogSysError("orv.test.out", "open(/x)", ENOENT);
    SetTraceComponents("");
    ASSERT_TRUE(SetLogFile(""));

    std::string content = OrvTest::ReadFile(path);
    std::vector<std::string> lines;
    std::stringstream ss(content);
    for (std::string line; std::getline(ss, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << content;
    struct Case
    {
        const char* fragment;
    } expected[] = {{"TRACE orv.test.out plugins/im/Test:"}, {"ERROR orv.test.out: an error"},
                    {"WARNING orv.test.out: a warning"}, {"ERROR orv.test.out: open(/x): No such file or directory"}};
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_NE(lines[i].find(expected[i].fragment), std::string::npos);
        EXPECT_EQ(lines[i][4], '-');  // starts with the date
    }
    EXPECT_NE(lines[0].find("value 42 and \xc3\xa9t\xc3\xa9"), std::string::npos);
    EXPECT_NE(lines[0].find("TestBody"), std::string::npos);  // function name
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LogOutput, UnwritableLogFileFallsBackToStderr)
{
    EXPECT_FALSE(SetLogFile("/proc/orv-no-such-dir/x.log"));
    LogInfo("orv.test", "still logged");  // must not crash
    EXPECT_TRUE(SetLogFile(""));
}

TEST(LogOutput, WxMessagesOfWorkerThreadsReachTheLog)
{
    std::vector<wxString> seen;
    std::mutex mutex;
    SetLogObserver([&](LogLevel level, const wxString& component, const wxString& message) {
        std::lock_guard<std::mutex> lock(mutex);
        if (component == "wx" && level == LogLevel::Error) seen.push_back(message);
    });
    std::thread worker([] {
        InstallWxLogTargetForThread();
        wxLogError("wx error from a worker");
    });
    worker.join();
    wxLogError("wx error from the main thread");
    SetLogObserver(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "wx error from a worker");
    EXPECT_EQ(seen[1], "wx error from the main thread");
}
