// Metrics, entity-attribute counts and rule statistics, natively and through GetStats.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "plugins/im/im-plugin.h"
#include "tests/im/LuaFixture.h"

using namespace OrvPluginIm;

class Statistics : public LuaFixture
{
protected:
    void SetUp() override
    {
        ResetAllStatistics();
        LuaFixture::SetUp();
    }
    int Metric(const char* name)
    {
        int value = -12345;
        GetMetric(name, value);
        return value;
    }
};

TEST_F(Statistics, FreshStatsAreFourEmptyTables)
{
    ASSERT_EQ(Run("local a, b, c, d, e = SLB.im.ImThread.GetStats()\n"
                  "assert(type(a) == 'table' and type(b) == 'table' and type(c) == 'table' and type(d) == 'table')\n"
                  "assert(e == nil)\n"
                  "assert(next(a) == nil and next(b) == nil and next(c) == nil and next(d) == nil)"),
              "");
}

TEST_F(Statistics, MetricsChangeAsTheCountersSay)
{
    struct Case
    {
        const char* lua;
        const char* metric;
        int expected;
    } cases[] = {
        {"SLB.im.ImThread.InitializeEntityCounts()", "entitiesCreated", 0},
        {"SLB.im.ImThread.IncEntitiesTotalCount()", "entitiesInTable", 1},
        {"SLB.im.ImThread.IncEntitiesTotalCount()", "entitiesCreated", 2},
        {"SLB.im.ImThread.IncEntitiesDeletedCount(5)", "entitiesInTable", -3},  // negative is reported
        {"", "entitiesDeleted", 5},
        {"SLB.im.ImThread.IncEntitiesSentToHUBCount(7)", "entitiesSentToHUB", 7},
        {"SLB.im.ImThread.IncEntitiesSupercededCount()", "entitiesSuperceded", 1},
        {"SLB.im.ImThread.IncMarkersCreatedCount()", "entitiesMarkeredCreated", 1},
        {"SLB.im.ImThread.IncMarkersDeletedCount(3)", "entitiesMarkeredDeleted", 3},
        {"SLB.im.ImThread.IncIncompleteDeletedCount(4)", "entitiesIncompleteDeleted", 4},
        {"SLB.im.ImThread.SetInitialCount(1000)", "entitiesInTable", 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lua);
        ASSERT_EQ(Run(c.lua), "");
        EXPECT_EQ(Metric(c.metric), c.expected);
    }
    ASSERT_EQ(Run("local _, _, metrics = SLB.im.ImThread.GetStats()\n"
                  "assert(metrics.entitiesInTable == 1000, metrics.entitiesInTable)\n"
                  "assert(math.type(metrics.entitiesDeleted) == 'integer')\n"
                  "assert(metrics.realtimeEventEntityProcessed == 0)"),
              "");
}

TEST_F(Statistics, IncMetricCreatesAndInitializeResetsOnlyTheListedNames)
{
    IncMetric("customMetric", 9);
    EXPECT_EQ(Metric("customMetric"), 9);
    IncMetric("entitiesCreated", 4);
    InitializeEntityCounts();
    EXPECT_EQ(Metric("customMetric"), 9);
    EXPECT_EQ(Metric("entitiesCreated"), 0);
    const char* listed[] = {"entitiesInTable", "entitiesDeleted", "entitiesCreated", "entitiesSentToHUB",
                            "entitiesSuperceded", "entitiesMarkeredCreated", "entitiesMarkeredDeleted",
                            "entitiesIncompleteDeleted", "realtimeEventReceived", "realtimeEventDroppedNoOnc",
                            "realtimeEventDroppedDbNoInit", "realtimeEventDroppedDbErr",
                            "realtimeEventDroppedNotInRules", "realtimeEventAdded2Cache",
                            "realtimeEventDroppedCondensing", "realtimeEventEntityProcessed"};
    for (const char* name : listed) EXPECT_EQ(Metric(name), 0) << name;
    ASSERT_EQ(Run("local _, _, m = SLB.im.ImThread.GetStats(); local n = 0\n"
                  "for _ in pairs(m) do n = n + 1 end\n"
                  "assert(n == 17, n)"),
              "");
    IncRtEvtDroppedNoRules();
    EXPECT_EQ(Metric("realtimeEventDroppedNotInRules"), 1);
}

TEST_F(Statistics, EntityAttributeCounts)
{
    ASSERT_EQ(Run("SLB.im.ImThread.IncEntityAttributeMetric('File', 'sha256')\n"
                  "SLB.im.ImThread.IncEntityAttributeMetric('File', 'sha256')\n"
                  "SLB.im.ImThread.IncEntityAttributeMetric('File', 'size')\n"
                  "SLB.im.ImThread.IncEntityAttributeMetric('User', 'groups')\n"
                  "local _, _, _, counts = SLB.im.ImThread.GetStats()\n"
                  "assert(counts.File.sha256 == 2 and counts.File.size == 1 and counts.User.groups == 1)\n"
                  "assert(math.type(counts.File.sha256) == 'integer')"),
              "");
    ASSERT_EQ(Run("SLB.im.ImThread.InitializeAttributeCounts()\n"
                  "local _, _, _, counts = SLB.im.ImThread.GetStats()\n"
                  "assert(next(counts) == nil)"),
              "");
}

TEST_F(Statistics, RuleStatisticsAndNames)
{
    IncRuleCountStat(3);
    IncRuleCountStat(3);
    IncRuleCountStat(12);
    trackDeletedRuleStat("Web content", 3);
    trackDeletedRuleStat("Never fired", 44);
    ASSERT_EQ(Run("local active, inactive = SLB.im.ImThread.GetStats()\n"
                  "assert(active[3] == 2 and active[12] == 1)\n"
                  "assert(inactive['Deleted - Web content'] == 2, inactive['Deleted - Web content'])\n"
                  "assert(inactive['Deleted - Never fired'] == 0)"),
              "");
    untrackDeletedRuleStat("Never fired", 44);
    ASSERT_EQ(Run("local _, inactive = SLB.im.ImThread.GetStats()\n"
                  "assert(inactive['Deleted - Never fired'] == nil)\n"
                  "assert(inactive['Deleted - Web content'] == 2)"),
              "");

    AddRuleIDandName(7, "Binaries");
    AddRuleIDandName(8, wxString::FromUTF8("R\xc3\xa8gle"));
    AddRuleIDandName(7, "System binaries");  // replaces
    ASSERT_EQ(Run("local names = SLB.im.ImThread.GetRuleIdAndName()\n"
                  "assert(names[7] == 'System binaries' and names[8] == 'R\\xc3\\xa8gle')"),
              "");
    DeleteName(7);
    ASSERT_EQ(Run("assert(SLB.im.ImThread.GetRuleIdAndName()[7] == nil)"), "");
    ClearRuleIDandNameMap();
    ASSERT_EQ(Run("assert(next(SLB.im.ImThread.GetRuleIdAndName()) == nil)"), "");
}

TEST_F(Statistics, CountersAreExactUnderConcurrentThreads)
{
    InitializeEntityCounts();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 5000; ++i) {
                IncEntitiesTotalCount();
                IncEntityAttributeMetric("File", "size");
                IncRuleCountStat(1);
            }
        });
    for (int i = 0; i < 200; ++i) ASSERT_EQ(Run("SLB.im.ImThread.GetStats()"), "");
    for (auto& t : threads) t.join();
    EXPECT_EQ(Metric("entitiesInTable"), 20000);
    EXPECT_EQ(Metric("entitiesCreated"), 20000);
    EXPECT_EQ(GetEntityAttributeCounts()["File"]["size"], 20000);
}
