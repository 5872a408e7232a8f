// Key patterns into expressions, and bases into search bases, as the controller does it.
#include <gtest/gtest.h>
#include <wx/regex.h>

#include "core/Dom.h"
#include "core/Runnable.h"
#include "plugins/im/SystemIntegrityThread.h"
#include "tests/core/TestUtil.h"
#include "tests/im/ControllerDouble.h"

using namespace OrvPluginIm;

namespace {

using OrvTest::Controller;

struct Captured
{
    wxString directory, searchBase, regEx;
    bool regExSet = false;
};

}  // namespace

class Patterns : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dom = OrvCore::CDom::CreateIsolated();
        dom.Set("app.events.capture", true);
        dom.Set("app.path.work", wxString::FromUTF8(workDir.path()));
        controller.reset(new Controller(dom));
    }

    bool Populate(const wxString& base, Captured& out, bool report = true)
    {
        return controller->PopulateSearchBaseInfo(
            12, "Web | content", base, true, report, [&](const wxString& v) { out.directory = v; },
            [&](const wxString& v) { out.searchBase = v; },
            [&](const wxString& v) {
                out.regEx = v;
                out.regExSet = true;
            });
    }

    // The agent events written so far, as "code|text" lines.
    std::vector<std::string> Events()
    {
        std::vector<std::string> events;
        std::string log = dom.GetWorkdir().utf8_string() + "/agent_events.jsonl";
        FILE* f = fopen(log.c_str(), "r");
        if (!f) return events;
        char line[4096];
        while (fgets(line, sizeof line, f)) events.push_back(line);
        fclose(f);
        remove(log.c_str());
        return events;
    }

    OrvTest::TempDir workDir;  // each test its own: ctest runs tests in parallel
    OrvCore::CDom dom;
    std::unique_ptr<Controller> controller;
};

TEST_F(Patterns, WorkedExamples)
{
    struct Case
    {
        const char* pattern;
        const char* expression;
    } cases[] = {
        {"*.conf", "^([^/]*)\\.conf$"},
        {"**/*.log", "^([^/]*/)*([^/]*)\\.log$"},
        {"etc/**", "^etc(/.*)*$"},
        {"/etc/ssh/sshd_config", "^etc/ssh/sshd_config$"},
        {"bin/?s", "^bin/([^/]{1})s$"},
        {"logs/**/", "^logs([^/]*/)+$"},
        {"cache/", "^cache/$"},
        {"a/**/**/b", "^a/([^/]*/)*b$"},
        {"lib/*/**", "^lib/.*$"},
        {"data[1].txt", "^data\\[1\\]\\.txt$"},
        {"**/", "^([^/]*/)*$"},
        {"*/**", ".*"},
        {"**", ".*"},
        {"**/*", ".*"},
        {"", "^$"},
        {"/", "^$"},
        {"a/**/*", "^a(/.*)*$"},
        {"a/**/*/", "^a([^/]*/)+$"},
        {"x+y|z", "^x+y|z$"},
        {"we\\*ird\\", "^we\\*ird$"},
        {"$HOME/{a}", "^\\$HOME/\\{a\\}$"},
        {"//etc//passwd", "^etc/passwd$"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(controller->PatternToRegEx(wxString::FromUTF8(c.pattern), wxPATH_UNIX, false, true), c.expression)
            << "pattern " << c.pattern;

    EXPECT_EQ(controller->PatternToRegEx("/var/log/*", wxPATH_NATIVE, true, true), "^/var/log/([^/]*)(/.+)?$");
    EXPECT_EQ(controller->PatternToRegEx("*.conf", wxPATH_UNIX, false, false), "");  // e.g. a user set
}

TEST_F(Patterns, ExpressionsMatchWhatThePatternsMean)
{
    struct Case
    {
        const char* pattern;
        const char* key;
        bool matches;
    } cases[] = {
        {"*.conf", "nginx.conf", true},      {"*.conf", "sites/a.conf", false},
        {"**/*.log", "a/b/c.log", true},     {"**/*.log", "c.log", true},
        {"**/*.log", "c.log.1", false},      {"etc/**", "etc/ssh/x", true},
        {"etc/**", "etcx", false},           {"bin/?s", "bin/ls", true},
        {"bin/?s", "bin/lls", false},        {"data[1].txt", "data[1].txt", true},
        {"data[1].txt", "data1.txt", false},
    };
    for (const Case& c : cases) {
        wxString expression = controller->PatternToRegEx(c.pattern, wxPATH_UNIX, false, true);
        wxRegEx re(expression, wxRE_EXTENDED | wxRE_NOSUB);
        ASSERT_TRUE(re.IsValid()) << expression;
        EXPECT_EQ(re.Matches(c.key), c.matches) << c.pattern << " on " << c.key;
    }
}

TEST_F(Patterns, SearchBases)
{
    setenv("ORV_PATTERNS_HOME", "/root", 1);
    setenv("ORV_PATTERNS_ODD", "/weird&dir\\x", 1);
    unsetenv("ORV_PATTERNS_UNSET");
    struct Case
    {
        const char* base;
        bool ok;
        const char* searchBase;
        const char* regEx;  // null: the expression setter is not called
        const char* event;  // expected agent event code, or null
    } cases[] = {
        {"/var/log", true, "/var/log", nullptr, nullptr},
        {"/var/log/", true, "/var/log", nullptr, nullptr},
        {"/var/log/*", true, "/var/log", "^/var/log/([^/]*)(/.+)?$", nullptr},
        {"/var/*/log", false, nullptr, nullptr, "8004"},
        {"/var/l?g/*", true, "/var", "^/var/l([^/]{1})g/([^/]*)(/.+)?$", nullptr},
        {"${env.ORV_PATTERNS_HOME}/x", true, "/root/x", nullptr, nullptr},
        {"${env.ORV_PATTERNS_UNSET}/x", false, nullptr, nullptr, "8003"},
        {"${foo}/etc", true, "/etc", nullptr, nullptr},
        {"${env.ORV_PATTERNS_ODD}", true, "/weird&dir\\x", nullptr, nullptr},
        {"/a/../b", true, "/b", nullptr, nullptr},
        {"/../x", false, nullptr, nullptr, "8004"},
        {"etc", false, nullptr, nullptr, "8004"},
        {"", false, nullptr, nullptr, "8004"},
        {"/", true, "/", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        Captured out;
        controller->SetRuleWarning(false);
        EXPECT_EQ(Populate(wxString::FromUTF8(c.base), out), c.ok);
        EXPECT_EQ(out.directory.utf8_string(), c.base);  // always stored as written
        if (c.ok) {
            EXPECT_EQ(out.searchBase.utf8_string(), c.searchBase);
            EXPECT_EQ(out.regExSet, c.regEx != nullptr);
            if (c.regEx) {
                EXPECT_EQ(out.regEx.utf8_string(), c.regEx);
            }
        }
        std::vector<std::string> events = Events();
        if (c.event) {
            ASSERT_EQ(events.size(), 1u);
            EXPECT_NE(events[0].find(std::string("\"code\":") + c.event), std::string::npos) << events[0];
            EXPECT_NE(events[0].find("12|Web \\\\| content|"), std::string::npos) << events[0];
            EXPECT_TRUE(controller->GetRuleWarning());
        } else {
            EXPECT_TRUE(events.empty());
            EXPECT_FALSE(controller->GetRuleWarning());
        }
    }
}

TEST_F(Patterns, EventTextsOfBadBases)
{
    Captured out;
    ASSERT_FALSE(Populate("", out));
    std::vector<std::string> events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find("\"text\":\"12|Web \\\\| content| \""), std::string::npos) << events[0];

    ASSERT_FALSE(Populate("${env.ORV_PATTERNS_UNSET}/x", out));
    events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find("|ORV_PATTERNS_UNSET\""), std::string::npos) << events[0];

    // Without report the same bases fail silently.
    controller->SetRuleWarning(false);
    EXPECT_FALSE(Populate("relative/dir", out, false));
    EXPECT_TRUE(Events().empty());
    EXPECT_FALSE(controller->GetRuleWarning());
}

TEST_F(Patterns, WindowsModelLowerCasesPatternsAndSearchBases)
{
    dom.Set("app.mode.protectWindows", true);
    EXPECT_EQ(controller->PatternToRegEx("Program Files/*.EXE", wxPATH_UNIX, false, true),
              "^program files\\\\([^\\\\]*)\\.exe$");
    Captured out;
    ASSERT_TRUE(Populate("C:\\Windows\\System32", out));
    EXPECT_EQ(out.searchBase.Lower(), out.searchBase);
    EXPECT_NE(out.searchBase.Find("system32"), wxNOT_FOUND) << out.searchBase;
}
