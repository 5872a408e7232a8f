// The real-time miss cache: recording, checking, limits and the exclusion text.
#include <gtest/gtest.h>

#include "core/TimeUtil.h"
#include "plugins/im/im-plugin.h"
#include "tests/im/LuaFixture.h"

using namespace OrvPluginIm;

class RtimMiss : public LuaFixture
{
protected:
    void SetUp() override
    {
        ClearRTIMMisses();
        LuaFixture::SetUp();
    }
    void TearDown() override
    {
        ClearRTIMMisses();
        LuaFixture::TearDown();
    }
};

TEST_F(RtimMiss, ReasonsChooseExactNameWildcardOrWholeDirectory)
{
    struct Case
    {
        const char* reported;
        int reason;
        const char* checked;
        bool hit;
    } cases[] = {
        {"/var/log/app/x.tmp", 2, "/var/log/app/y.tmp", true},
        {"/var/log/app/x.tmp", 2, "/var/log/app/y.log", false},
        {"/var/log/app/x.tmp", 5, "/var/log/app/z.tmp", true},
        {"/var/log/app/x.tmp", 3, "/var/log/app/x.tmp", true},
        {"/var/log/app/x.tmp", 3, "/var/log/app/y.tmp", false},
        {"/var/log/app/noext", 6, "/var/log/app/noext", true},
        {"/var/log/app/noext", 2, "/var/log/app/other", true},  // "*": names without extension
        {"/var/log/app/noext", 2, "/var/log/app/other.txt", false},
        {"/opt/data/file", 1, "/opt/data/anything.bin", true},
        {"/opt/data/file", 1, "/opt/data/sub/deeper/file", true},
        {"/opt/data/file", 4, "/opt/datax/file", false},
        {"/opt/data/file", 0, "/opt/other/file", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reported) + " reason " + std::to_string(c.reason) + " -> " + c.checked);
        ClearRTIMMisses();
        EXPECT_TRUE(AddRTIMMiss(c.reported, c.reason));
        EXPECT_EQ(CheckRTIMMiss(c.checked), c.hit);
    }
}

TEST_F(RtimMiss, SameNameTwiceChangesTheCacheOnce)
{
    EXPECT_TRUE(AddRTIMMiss("/srv/a/file.txt", 3));
    EXPECT_FALSE(AddRTIMMiss("/srv/a/file.txt", 3));
    EXPECT_TRUE(AddRTIMMiss("/srv/a/other.txt", 3));
    EXPECT_FALSE(AddRTIMMiss("/srv/a/whatever", 1));  // existing entry: no name, no change
    EXPECT_FALSE(AddRTIMMiss("", 1));
    EXPECT_EQ(RTIMMissCount(), 1u);
    ASSERT_EQ(Run("local s = SLB.im.ImThread.GetRTIMMissStats()['/srv/a']\n"
                  "assert(s.hitcount == 4, s.hitcount)\n"
                  "assert(s['file.txt'] == 2 and s['other.txt'] == 1)\n"
                  "assert(s.path == '/srv/a' and s.dropped == 0 and s.lasttime > 0)"),
              "");
}

TEST_F(RtimMiss, PredecessorRuleCoversBelowAWholeDirectoryMiss)
{
    AddRTIMMiss("/opt/data/file", 1);
    EXPECT_TRUE(CheckRTIMMiss("/opt/data/sub/file"));
    AddRTIMMiss("/opt/data/a/file.x", 3);  // sorts between /opt/data and /opt/data/sub
    EXPECT_FALSE(CheckRTIMMiss("/opt/data/sub/file"));
    EXPECT_TRUE(CheckRTIMMiss("/opt/data/a/file.x"));
}

TEST_F(RtimMiss, LimitsEvictTheOldestDirectoryAndDropExtraNames)
{
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(AddRTIMMiss(wxString::Format("/d%02d/f", i), 1));
    // Hit /d00 at a strictly later millisecond: it is then the most recent entry.
    long long added = OrvCore::TimeNowMillis();
    while (OrvCore::TimeNowMillis() <= added) {
    }
    ASSERT_TRUE(CheckRTIMMiss("/d00/f"));
    EXPECT_EQ(RTIMMissCount(), 20u);
    ASSERT_TRUE(AddRTIMMiss("/d20/f", 1));
    EXPECT_EQ(RTIMMissCount(), 20u);
    EXPECT_TRUE(CheckRTIMMiss("/d00/x"));
    EXPECT_TRUE(CheckRTIMMiss("/d20/x"));
    int survivors = 0;
    for (int i = 1; i < 20; ++i) survivors += CheckRTIMMiss(wxString::Format("/d%02d/x", i)) ? 1 : 0;
    EXPECT_EQ(survivors, 18);

    ClearRTIMMisses();
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(AddRTIMMiss(wxString::Format("/names/f%03d", i), 3));
    EXPECT_FALSE(AddRTIMMiss("/names/f100", 3));
    EXPECT_FALSE(CheckRTIMMiss("/names/f100"));
    ASSERT_EQ(Run("local s = SLB.im.ImThread.GetRTIMMissStats()['/names']\n"
                  "assert(s.dropped == 1, s.dropped)"),
              "");
}

TEST_F(RtimMiss, EvictionPicksOldestEvenWhenAllAreFresh)
{
    for (int i = 0; i < 21; ++i) AddRTIMMiss(wxString::Format("/e%02d/f", i), 1);
    EXPECT_EQ(RTIMMissCount(), 20u);
}

TEST_F(RtimMiss, ExclusionTextAndLuaGlue)
{
    EXPECT_EQ(Eval("SLB.im.ImThread.GetRTIMExclusions()"), "");
    ASSERT_EQ(Run("SLB.im.ImThread.AddRTIMMiss('/opt/data/file', 1)\n"
                  "SLB.im.ImThread.AddRTIMMiss('/var/log/app/x.tmp', 3)\n"
                  "SLB.im.ImThread.AddRTIMMiss('/var/log/app/y.tmp')"),  // default reason 2
              "");
    EXPECT_EQ(Eval("SLB.im.ImThread.GetRTIMExclusions()"), "/opt/data/;/var/log/app/*.tmp,x.tmp");
    ASSERT_EQ(Run("SLB.im.ImThread.ClearRTIMMisses()"), "");
    EXPECT_EQ(RTIMMissCount(), 0u);
    EXPECT_EQ(Eval("next(SLB.im.ImThread.GetRTIMMissStats())"), "nil");
}
