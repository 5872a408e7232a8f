// Rules flattened into si.db by the controller: rules parsed from XML, stored
// with AddRuleToDb on a real database file and read back through the row
// classes; monitor flags, "contents", case codes, onChange, operations, the
// VMsafe guest, the sets that are never stored, bad bases, the agent events
// for names the rule model does not know, and the statistics it updates.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Dom.h"
#include "plugins/im/IntegrityRules.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityThread.h"
#include "tests/im/ControllerDouble.h"
#include "plugins/im/im-plugin.h"
#include "tests/core/TestUtil.h"
#include "tests/im/LuaFixture.h"

using namespace OrvPluginIm;
using OrvCore::XMLObject;

namespace {

wxString W(const std::string& text)
{
    return wxString::FromUTF8(text.c_str());
}

std::string U(const wxString& text)
{
    return text.utf8_string();
}

using OrvTest::Controller;

// Restores the force-platform value and the process agent's Windows setting.
class PlatformScope
{
  public:
    PlatformScope(int force, bool protectWindows)
    {
        SetForcePlatform(force);
        if (protectWindows) OrvCore::CDom::This()->Set(wxT("app.mode.protectWindows"), true);
    }
    ~PlatformScope()
    {
        SetForcePlatform(0);
        OrvCore::CDom::This()->SetNil(wxT("app.mode.protectWindows"));
    }
};

// "name=value" of every column of row that is not a monitor flag, then the
// monitor flags that are set, in declaration order.
std::string DescribeSet(const XMLObject& row)
{
    std::string columns, monitored;
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        const XMLObject::Attribute& attribute = row.GetAttributeAt(i);
        const wxString& name = attribute.decl->name;
        if (name.StartsWith(wxT("monitor"))) {
            if (*static_cast<const bool*>(attribute.field))
                monitored += (monitored.empty() ? "" : ",") + U(name);
            continue;
        }
        columns += (columns.empty() ? "" : " ") + U(row.Print(name));
    }
    return columns + " | " + monitored;
}

// The columns of row that were read as NULL, joined by ",".
std::string NullColumns(const XMLObject& row)
{
    std::string nulls;
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        const XMLObject::Attribute& attribute = row.GetAttributeAt(i);
        if (attribute.isNull) nulls += (nulls.empty() ? "" : ",") + U(attribute.decl->name);
    }
    return nulls;
}

template <class List>
void LoadInRowOrder(wxSQLite3Database& db, List& list)
{
    wxSQLite3ResultSet rows =
        db.ExecuteQuery(wxString::Format(wxT("SELECT * FROM [%s] ORDER BY rowid;"), List::ElementName()));
    list.SQLLoad(rows);
}

// Every set row of a table, described, in row order.
template <class List>
std::vector<std::string> SetRows(wxSQLite3Database& db)
{
    List list;
    LoadInRowOrder(db, list);
    std::vector<std::string> rows;
    for (size_t i = 0; i < list.GetCount(); ++i) {
        rows.push_back(DescribeSet(*list.Item(i)));
        EXPECT_EQ(NullColumns(*list.Item(i)), "") << List::ElementName() << " row " << i;
    }
    return rows;
}

// Every include/exclude entry in row order: "<type> <set id> include|exclude",
// then " p(<pattern> <expression> <code>)" per pattern and
// " f(<name>=<value> <code>)" per feature, each in row order.
std::vector<std::string> Entries(wxSQLite3Database& db)
{
    CSqlIncludeExcludes entries;
    CSqlPatterns patterns;
    CSqlFeatures features;
    LoadInRowOrder(db, entries);
    LoadInRowOrder(db, patterns);
    LoadInRowOrder(db, features);
    std::vector<std::string> described;
    for (size_t i = 0; i < entries.GetCount(); ++i) {
        const CSqlIncludeExclude& entry = *entries.Item(i);
        EXPECT_EQ(NullColumns(entry), "");
        std::string text = U(entry.m_entityType) + " " + std::to_string(entry.m_entitySetId) +
                           (entry.m_exclude ? " exclude" : " include");
        for (size_t p = 0; p < patterns.GetCount(); ++p) {
            const CSqlPattern& pattern = *patterns.Item(p);
            if (pattern.m_includeExcludeId != entry.m_includeExcludeId) continue;
            EXPECT_EQ(NullColumns(pattern), "");
            text += " p(" + U(pattern.m_pattern) + " " + U(pattern.m_regExPattern) + " " +
                    std::to_string(pattern.m_caseSensitive) + ")";
        }
        for (size_t f = 0; f < features.GetCount(); ++f) {
            const CSqlFeature& feature = *features.Item(f);
            if (feature.m_includeExcludeId != entry.m_includeExcludeId) continue;
            EXPECT_EQ(NullColumns(feature), "");
            text += " f(" + U(feature.m_name) + "=" + U(feature.m_value) + " " +
                    std::to_string(feature.m_caseSensitive) + ")";
        }
        described.push_back(text);
    }
    return described;
}

long long Count(wxSQLite3Database& db, const wxString& table)
{
    return db.ExecuteScalar(wxString::Format(wxT("SELECT COUNT(*) FROM [%s];"), table));
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string joined;
    for (const std::string& item : items) joined += (joined.empty() ? "" : "\n") + item;
    return joined;
}

}  // namespace

class RulePersistence : public LuaFixture
{
  protected:
    void SetUp() override
    {
        LuaFixture::SetUp();
        ResetAllStatistics();
        dom = OrvCore::CDom::CreateIsolated();
        work = tmp / "work";
        mkdir(work.c_str(), 0700);
        dom.Set(wxT("app.path.work"), W(work));
    }

    void TearDown() override
    {
        controller.reset();
        ResetAllStatistics();
        LuaFixture::TearDown();
    }

    // A new controller on a new si.db (the setting "orp.im.dbPath").
    Controller& Fresh()
    {
        controller.reset();
        dom.Set(wxT("orp.im.dbPath"), W(tmp / ("si-" + std::to_string(++databases) + ".db")));
        controller.reset(new Controller(dom));
        EXPECT_TRUE(controller->OpenSystemIntegrityDb());
        Events();  // forget the events of earlier cases
        return *controller;
    }

    wxSQLite3Database& Db() { return controller->GetDb()->Db(); }

    // Parses one rule and stores it; false when the XML does not parse.
    bool Store(const std::string& xml)
    {
        CIntegrityRule rule;
        if (!rule.FromXML(W(xml))) {
            ADD_FAILURE() << "rule does not parse: " << xml;
            return false;
        }
        controller->AddRuleToDb(rule);
        return true;
    }

    // The agent events written since the last call, as "<code> <text>".
    std::vector<std::string> Events()
    {
        std::vector<std::string> events;
        const std::string log = work + "/agent_events.jsonl";
        std::string content = OrvTest::ReadFile(log);
        remove(log.c_str());
        size_t start = 0;
        while (start < content.size()) {
            size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            cJSON* event = cJSON_Parse(content.substr(start, end - start).c_str());
            if (event == nullptr) {
                ADD_FAILURE() << "not JSON: " << content.substr(start, end - start);
            } else {
                const cJSON* code = cJSON_GetObjectItemCaseSensitive(event, "code");
                const cJSON* text = cJSON_GetObjectItemCaseSensitive(event, "text");
                events.push_back(std::to_string(cJSON_IsNumber(code) ? code->valueint : -1) + " " +
                                 (cJSON_IsString(text) ? text->valuestring : "?"));
                cJSON_Delete(event);
            }
            start = end + 1;
        }
        return events;
    }

    OrvTest::TempDir tmp;
    std::string work;
    OrvCore::CDom dom;
    std::unique_ptr<Controller> controller;
    int databases = 0;
};

// A rule with a set of every stored type; the types appear in the document
// in another order than the one they are stored in.
const char* const kEveryTypeRule = R"(
<IntegrityRule id="4242" name="Every | type" hash="ab12cd" identifier="4242" severity="3"
    allowOnChange="true" confidential="true" type="2">
  <FileSet base="/etc" includeRemovable="true">
    <Include key="**/*.conf"><Key pattern="passwd"/><Key pattern=""/></Include>
    <Exclude key="**/*.swp" caseSensitive="true"/>
    <Attributes><contents/><size/><owner/></Attributes>
    <Operation types="create,update"/>
    <Operation types="delete"/>
  </FileSet>
  <UserSet onChange="false">
    <Include key="*" disabled="false"/><Exclude key="nobody"/>
    <Attributes><logonShell/><groups/></Attributes>
  </UserSet>
  <ProcessSet><Include key="*" user="root" path="/usr/sbin/*"/><Attributes><commandLine/><threads/></Attributes></ProcessSet>
  <PortSet><Include key="22" process="sshd"/><Attributes><process/><user/></Attributes></PortSet>
  <InstalledSoftwareSet><Include key="openssl*" manufacturer="Debian*"/><Attributes><version/><size/></Attributes></InstalledSoftwareSet>
  <GroupSet><Include key="wheel"/><Attributes><members/></Attributes></GroupSet>
  <DirectorySet base="/var/www/">
    <Include key="**/" whereBaseInOtherSet="true" caseSensitive="TRUE"/>
    <Attributes><owner/><permissions/><inodeNumber/></Attributes>
  </DirectorySet>
  <FileSet base="/usr/*" onChange="false" followLinks="true">
    <Include key="*" executable="true"/>
  </FileSet>
</IntegrityRule>)";

TEST_F(RulePersistence, EveryTypeStoredAndReadBack)
{
    Fresh();
    ASSERT_TRUE(Store(kEveryTypeRule));
    EXPECT_TRUE(Events().empty());
    EXPECT_FALSE(controller->GetRuleWarning());

    CSqlIntegrityRules rules;
    LoadInRowOrder(Db(), rules);
    ASSERT_EQ(rules.GetCount(), 1u);
    const CSqlIntegrityRule& rule = *rules.Item(0);
    EXPECT_EQ(NullColumns(rule), "");
    EXPECT_EQ(rule.m_integrityRuleId, 4242);
    EXPECT_EQ(U(rule.m_name), "Every | type");
    EXPECT_EQ(U(rule.m_hash), "ab12cd");
    EXPECT_EQ(U(rule.m_identifier), "4242");
    EXPECT_EQ(rule.m_severity, 3);
    EXPECT_EQ(rule.m_type, 2);
    EXPECT_TRUE(rule.m_allowOnChange);
    EXPECT_TRUE(rule.m_confidential);

    struct Case
    {
        const char* table;
        std::vector<std::string> rows;
        std::vector<std::string> expected;
    } cases[] = {
        {"FileSets",
         SetRows<CSqlFileEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=true directory=/etc directorySearchBase=/etc "
          "directoryRegEx= followLinks=false includeRemovable=true operations=create,update,delete"
          " | monitorOwner,monitorSize,monitorSha1",
          "entitySetId=2 integrityRuleId=4242 onChange=false directory=/usr/* directorySearchBase=/usr "
          "directoryRegEx=^/usr/([^/]*)(/.+)?$ followLinks=true includeRemovable=false operations="
          " | monitorPermissions,monitorCreated,monitorLastModified,monitorOwner,monitorGroup,"
          "monitorSymLinkPath,monitorSize,monitorSha1"}},
        {"DirectorySets",
         SetRows<CSqlDirectoryEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=true directory=/var/www/ directorySearchBase=/var/www "
          "directoryRegEx= followLinks=false includeRemovable=false operations="
          " | monitorPermissions,monitorOwner,monitorInodeNumber"}},
        {"GroupSets",
         SetRows<CSqlGroupEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=true | monitorMembers"}},
        {"InstalledSoftwareSets",
         SetRows<CSqlInstalledSoftwareEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=true | monitorSize,monitorVersion"}},
        {"PortSets",
         SetRows<CSqlPortEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=true | monitorProcess,monitorUser"}},
        {"ProcessSets",
         SetRows<CSqlProcessEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=true | monitorCommandLine,monitorThreads"}},
        {"UserSets",
         SetRows<CSqlUserEntitySets>(Db()),
         {"entitySetId=1 integrityRuleId=4242 onChange=false | monitorGroups,monitorLogonShell"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        EXPECT_EQ(Joined(c.rows), Joined(c.expected));
    }

    // Entries in storage order: file sets, then directory, group, installed
    // software, port, process and user sets.
    const std::vector<std::string> expectedEntries = {
        "File 1 include p(**/*.conf ^([^/]*/)*([^/]*)\\.conf$ 2) p(passwd ^passwd$ 2) p( ^$ 2)",
        "File 1 exclude p(**/*.swp ^([^/]*/)*([^/]*)\\.swp$ 1)",
        "File 2 include p(* ^([^/]*)$ 2) f(executable=true 2)",
        "Directory 1 include p(**/ ^([^/]*/)*$ 1) f(whereBaseInOtherSet=true 1)",
        "Group 1 include p(wheel  2)",
        "InstalledSoftware 1 include p(openssl*  2) f(manufacturer=Debian* 2)",
        "Port 1 include p(22  2) f(process=sshd 2)",
        "Process 1 include p(*  2) f(path=/usr/sbin/* 2) f(user=root 2)",
        "User 1 include p(*  2) f(disabled=false 2)",
        "User 1 exclude p(nobody  2)",
    };
    EXPECT_EQ(Joined(Entries(Db())), Joined(expectedEntries));

    // Windows-only tables stay empty.
    for (const wxString& table :
         {wxString(CSqlRegistryKeyEntitySets::ElementName()),
          wxString(CSqlRegistryValueEntitySets::ElementName()),
          wxString(CSqlServiceEntitySets::ElementName()), wxString(CSqlWqlEntitySets::ElementName())}) {
        SCOPED_TRACE(U(table));
        EXPECT_EQ(Count(Db(), table), 0);
    }

    // Stored rows read back with their compiled expressions.
    CSqlFileEntitySets files;
    LoadInRowOrder(Db(), files);
    ASSERT_EQ(files.GetCount(), 2u);
    EXPECT_EQ(files.Item(0)->GetSearchRegEx(), nullptr);
    ASSERT_NE(files.Item(1)->GetSearchRegEx(), nullptr);
    EXPECT_TRUE(files.Item(1)->GetSearchRegEx()->Matches(wxT("/usr/bin/ls")));
    EXPECT_FALSE(files.Item(1)->GetSearchRegEx()->Matches(wxT("/usrx/bin")));
}

TEST_F(RulePersistence, ContentsStandsForTheShortHandMapping)
{
    struct Case
    {
        const char* name;
        const char* mapping;
        const char* attributes;
        const char* monitored;  // file and directory flags set
    } cases[] = {
        {"mapping sha256,md5", "sha256,md5", "<contents/><size/>", "monitorSize,monitorSha256,monitorMd5"},
        {"empty mapping means sha1", "", "<contents/><size/>", "monitorSize,monitorSha1"},
        {"mapping with blanks and capitals", " SHA256 , ,MD5 ", "<contents/>", "monitorSha256,monitorMd5"},
        {"no contents, mapping unused", "sha256,md5", "<size/><sha1/>", "monitorSize,monitorSha1"},
        {"contents beside an explicit hash", "md5", "<contents/><sha256/><owner/>",
         "monitorOwner,monitorSha256,monitorMd5"},
        {"standard attributes include contents", "sha256", "<standard/>",
         "monitorPermissions,monitorCreated,monitorLastModified,monitorOwner,monitorGroup,monitorSymLinkPath,"
         "monitorSize,monitorSha256"},
        {"empty selection monitors nothing", "sha256", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh().SetContentShortHandMapping(W(c.mapping));
        ASSERT_TRUE(Store(std::string("<IntegrityRule id=\"3\"><FileSet base=\"/etc\"><Attributes>") +
                          c.attributes + "</Attributes></FileSet></IntegrityRule>"));
        std::vector<std::string> rows = SetRows<CSqlFileEntitySets>(Db());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].substr(rows[0].find(" | ") + 3), c.monitored);
        EXPECT_TRUE(Events().empty());
    }
}

TEST_F(RulePersistence, OnChangeIsTheSetsAndTheRules)
{
    struct Case
    {
        const char* setOnChange;    // null: absent (default true)
        const char* allowOnChange;  // null: absent (default false)
        bool stored;
    } cases[] = {
        {nullptr, nullptr, false}, {nullptr, "true", true},  {nullptr, "false", false},
        {"true", nullptr, false},  {"true", "true", true},   {"true", "false", false},
        {"false", nullptr, false}, {"false", "true", false}, {"false", "false", false},
        {"TRUE", "True", true},    {"0", "1", false},        {"1", "1", true},
    };
    for (const Case& c : cases) {
        const std::string setAttribute =
            c.setOnChange ? std::string(" onChange=\"") + c.setOnChange + "\"" : "";
        const std::string ruleAttribute =
            c.allowOnChange ? std::string(" allowOnChange=\"") + c.allowOnChange + "\"" : "";
        SCOPED_TRACE("set" + setAttribute + ", rule" + ruleAttribute);
        Fresh();
        ASSERT_TRUE(Store("<IntegrityRule id=\"5\"" + ruleAttribute + "><FileSet base=\"/etc\"" +
                          setAttribute + "/><UserSet" + setAttribute + "/><PortSet" + setAttribute +
                          "/></IntegrityRule>"));
        CSqlFileEntitySets files;
        CSqlUserEntitySets users;
        CSqlPortEntitySets ports;
        LoadInRowOrder(Db(), files);
        LoadInRowOrder(Db(), users);
        LoadInRowOrder(Db(), ports);
        ASSERT_EQ(files.GetCount(), 1u);
        ASSERT_EQ(users.GetCount(), 1u);
        ASSERT_EQ(ports.GetCount(), 1u);
        EXPECT_EQ(files.Item(0)->m_onChange, c.stored);
        EXPECT_EQ(users.Item(0)->m_onChange, c.stored);
        EXPECT_EQ(ports.Item(0)->m_onChange, c.stored);
    }
}

TEST_F(RulePersistence, CaseSensitivityCodes)
{
    struct Case
    {
        const char* name;
        const char* set;     // opening tag of the set
        const char* entry;   // the Include element
        const char* stored;  // Entries() of the set
    } cases[] = {
        {"false: lower-cased, expression from the key as written", "<DirectorySet base=\"/srv\">",
         "<Include key=\"Etc/*.CONF\" caseSensitive=\"false\" whereBaseInOtherSet=\"True\">"
         "<Key pattern=\"Logs/*.LOG\"/></Include>",
         "Directory 1 include p(etc/*.conf ^Etc/([^/]*)\\.CONF$ 0) p(logs/*.log ^Logs/([^/]*)\\.LOG$ 0) "
         "f(whereBaseInOtherSet=true 0)"},
        {"FALSE in upper case with an upper-case key", "<DirectorySet base=\"/srv\">",
         "<Include key=\"ETC/*.CONF\" caseSensitive=\"FALSE\" whereBaseInOtherSet=\"TRUE\"/>",
         "Directory 1 include p(etc/*.conf ^ETC/([^/]*)\\.CONF$ 0) f(whereBaseInOtherSet=true 0)"},
        {"true: as written", "<DirectorySet base=\"/srv\">",
         "<Include key=\"Etc/*.CONF\" caseSensitive=\"true\" whereBaseInOtherSet=\"True\">"
         "<Key pattern=\"Logs/*.LOG\"/></Include>",
         "Directory 1 include p(Etc/*.CONF ^Etc/([^/]*)\\.CONF$ 1) p(Logs/*.LOG ^Logs/([^/]*)\\.LOG$ 1) "
         "f(whereBaseInOtherSet=True 1)"},
        {"TRUE in upper case", "<DirectorySet base=\"/srv\">",
         "<Include key=\"Etc/*.CONF\" caseSensitive=\"TRUE\"/>",
         "Directory 1 include p(Etc/*.CONF ^Etc/([^/]*)\\.CONF$ 1)"},
        {"absent: decided by the entity type", "<DirectorySet base=\"/srv\">",
         "<Include key=\"Etc/*.CONF\" whereBaseInOtherSet=\"True\"/>",
         "Directory 1 include p(Etc/*.CONF ^Etc/([^/]*)\\.CONF$ 2) f(whereBaseInOtherSet=True 2)"},
        {"another word", "<DirectorySet base=\"/srv\">",
         "<Include key=\"Etc/*.CONF\" caseSensitive=\"yes\" whereBaseInOtherSet=\"True\"/>",
         "Directory 1 include p(Etc/*.CONF ^Etc/([^/]*)\\.CONF$ 2) f(whereBaseInOtherSet=True 2)"},
        {"empty", "<DirectorySet base=\"/srv\">", "<Include key=\"Etc\" caseSensitive=\"\"/>",
         "Directory 1 include p(Etc ^Etc$ 2)"},
        {"false on an exclude of a user set", "<UserSet>",
         "<Exclude key=\"ROOT\" caseSensitive=\"False\" disabled=\"FALSE\"/>",
         "User 1 exclude p(root  0) f(disabled=false 0)"},
        {"absent on a user set", "<UserSet>", "<Include key=\"ROOT\" disabled=\"FALSE\"/>",
         "User 1 include p(ROOT  2) f(disabled=FALSE 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        const std::string set = c.set;
        const std::string close = "</" + set.substr(1, set.find_first_of(" >") - 1) + ">";
        ASSERT_TRUE(Store("<IntegrityRule id=\"6\">" + set + c.entry + close + "</IntegrityRule>"));
        EXPECT_EQ(Joined(Entries(Db())), c.stored);
        EXPECT_TRUE(Events().empty());
    }
}

TEST_F(RulePersistence, OnlyPathSetsHaveExpressions)
{
    struct Case
    {
        const char* set;
        const char* expected;
    } cases[] = {
        {"<FileSet base=\"/etc\">", "File 1 include p(*.conf ^([^/]*)\\.conf$ 2)"},
        {"<DirectorySet base=\"/etc\">", "Directory 1 include p(*.conf ^([^/]*)\\.conf$ 2)"},
        {"<GroupSet>", "Group 1 include p(*.conf  2)"},
        {"<InstalledSoftwareSet>", "InstalledSoftware 1 include p(*.conf  2)"},
        {"<PortSet>", "Port 1 include p(*.conf  2)"},
        {"<ProcessSet>", "Process 1 include p(*.conf  2)"},
        {"<UserSet>", "User 1 include p(*.conf  2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        Fresh();
        const std::string set = c.set;
        const std::string close = "</" + set.substr(1, set.find_first_of(" >") - 1) + ">";
        ASSERT_TRUE(Store("<IntegrityRule id=\"8\">" + set + "<Include key=\"*.conf\"/>" + close +
                          "</IntegrityRule>"));
        EXPECT_EQ(Joined(Entries(Db())), c.expected);
    }
}

TEST_F(RulePersistence, VmsafeGuestStoresOnlyFileSets)
{
    struct Case
    {
        const char* name;
        bool vmsafe;
        long long files, directories, groups, users, entries;
    } cases[] = {
        {"normal host", false, 1, 1, 1, 1, 4},
        {"VMsafe guest", true, 1, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dom.Set(wxT("orv.mode.vmsafeGuest"), c.vmsafe);
        Fresh();
        EXPECT_EQ(controller->IsVmsafeGuest(), c.vmsafe);
        ASSERT_TRUE(
            Store("<IntegrityRule id=\"11\"><UserSet><Include key=\"root\"/></UserSet>"
                  "<DirectorySet base=\"/var\"><Include key=\"*\"/></DirectorySet>"
                  "<FileSet base=\"/etc\"><Include key=\"*\"/></FileSet>"
                  "<GroupSet><Include key=\"*\"/></GroupSet></IntegrityRule>"));
        EXPECT_EQ(Count(Db(), CSqlIntegrityRules::ElementName()), 1);
        EXPECT_EQ(Count(Db(), CSqlFileEntitySets::ElementName()), c.files);
        EXPECT_EQ(Count(Db(), CSqlDirectoryEntitySets::ElementName()), c.directories);
        EXPECT_EQ(Count(Db(), CSqlGroupEntitySets::ElementName()), c.groups);
        EXPECT_EQ(Count(Db(), CSqlUserEntitySets::ElementName()), c.users);
        EXPECT_EQ(Count(Db(), CSqlIncludeExcludes::ElementName()), c.entries);
    }
    dom.SetNil(wxT("orv.mode.vmsafeGuest"));
}

TEST_F(RulePersistence, OperationsAreJoinedInOrder)
{
    struct Case
    {
        const char* name;
        const char* operations;
        const char* stored;
    } cases[] = {
        {"two elements", "<Operation types=\"create,delete\"/><Operation types=\"update\"/>",
         "create,delete,update"},
        {"none", "", ""},
        {"empty types skipped", "<Operation/><Operation types=\"rename\"/><Operation types=\"\"/>", "rename"},
        {"one element", "<Operation types=\"delete\"/>", "delete"},
    };
    for (const Case& c : cases) {
        for (const char* element : {"FileSet", "DirectorySet"}) {
            SCOPED_TRACE(std::string(c.name) + " in a " + element);
            Fresh();
            ASSERT_TRUE(Store(std::string("<IntegrityRule id=\"12\"><") + element + " base=\"/opt\">" +
                              c.operations + "</" + element + "></IntegrityRule>"));
            std::string operations;
            if (std::string(element) == "FileSet") {
                CSqlFileEntitySets rows;
                LoadInRowOrder(Db(), rows);
                ASSERT_EQ(rows.GetCount(), 1u);
                operations = U(rows.Item(0)->m_operations);
            } else {
                CSqlDirectoryEntitySets rows;
                LoadInRowOrder(Db(), rows);
                ASSERT_EQ(rows.GetCount(), 1u);
                operations = U(rows.Item(0)->m_operations);
            }
            EXPECT_EQ(operations, c.stored);
        }
    }
}

TEST_F(RulePersistence, WindowsSetsAreNeverStored)
{
    const std::string rule =
        "<IntegrityRule id=\"13\" name=\"Mixed\"><FileSet base=\"/etc\"><Include key=\"*\"/></FileSet>"
        "<RegistryKeySet base=\"HKEY_LOCAL_MACHINE\\SOFTWARE\"><Include key=\"**\"/></RegistryKeySet>"
        "<RegistryValueSet base=\"HKEY_LOCAL_MACHINE\\SYSTEM\"><Include key=\"*\"/></RegistryValueSet>"
        "<ServiceSet><Include key=\"*\"/></ServiceSet>"
        "<WQLSet namespace=\"root\\cimv2\" wql=\"SELECT Name FROM Win32_Share\"><Include key=\"*\"/></WQLSet>"
        "</IntegrityRule>";
    struct Case
    {
        const char* name;
        int force;
        bool protectWindows;
        bool parsed;  // the rule has the Windows lists, each with its set
        std::vector<std::string> events;
    } cases[] = {
        {"forced Windows model", 1, false, true, {}},
        {"agent protecting Windows", 0, true, true, {}},
        {"Linux model", 0, false, false, {"8006 13|Mixed|RegistryKeySet,RegistryValueSet,ServiceSet,WQLSet"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        {
            PlatformScope platform(c.force, c.protectWindows);
            CIntegrityRule parsed;
            ASSERT_TRUE(parsed.FromXML(W(rule)));
            EXPECT_EQ(parsed.GetRegistryKeySets() != nullptr &&
                          parsed.GetRegistryKeySets()->GetCount() == 1 &&
                          parsed.GetRegistryValueSets()->GetCount() == 1 &&
                          parsed.GetServiceSets()->GetCount() == 1 && parsed.GetWqlSets()->GetCount() == 1,
                      c.parsed);
            controller->AddRuleToDb(parsed);
        }
        EXPECT_EQ(Count(Db(), CSqlFileEntitySets::ElementName()), 1);
        EXPECT_EQ(Count(Db(), CSqlRegistryKeyEntitySets::ElementName()), 0);
        EXPECT_EQ(Count(Db(), CSqlRegistryValueEntitySets::ElementName()), 0);
        EXPECT_EQ(Count(Db(), CSqlServiceEntitySets::ElementName()), 0);
        EXPECT_EQ(Count(Db(), CSqlWqlEntitySets::ElementName()), 0);
        EXPECT_EQ(Joined(Entries(Db())), "File 1 include p(* ^([^/]*)$ 2)");
        EXPECT_EQ(Joined(Events()), Joined(c.events));
    }
}

TEST_F(RulePersistence, BadBaseDropsOnlyItsSet)
{
    unsetenv("ORV_PERSIST_UNSET");
    struct Case
    {
        const char* name;
        const char* base;
        const char* event;  // for each of the two bad sets
    } cases[] = {
        {"plain component after a wildcard", "/var/*/log", "8004 7|Bad \\| base|/var/*/log"},
        {"relative", "etc", "8004 7|Bad \\| base|etc"},
        {"empty", "", "8004 7|Bad \\| base| "},
        {"unresolvable ..", "/../x", "8004 7|Bad \\| base|/../x"},
        {"undefined environment variable", "${env.ORV_PERSIST_UNSET}/x",
         "8003 7|Bad \\| base|ORV_PERSIST_UNSET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        InitializeAttributeCounts();
        const std::string base = c.base;
        ASSERT_TRUE(Store(
            "<IntegrityRule id=\"7\" name=\"Bad | base\">"
            "<FileSet base=\"" +
            base +
            "\"><Include key=\"*\"/><Attributes><owner/></Attributes></FileSet>"
            "<FileSet base=\"/etc\"><Include key=\"*.conf\"/><Attributes><size/></Attributes></FileSet>"
            "<DirectorySet base=\"" +
            base +
            "\"><Include key=\"*\"/></DirectorySet>"
            "<UserSet><Include key=\"root\"/><Attributes><user/></Attributes></UserSet></IntegrityRule>"));
        EXPECT_EQ(Joined(Events()), Joined({c.event, c.event}));
        EXPECT_TRUE(controller->GetRuleWarning());
        EXPECT_EQ(Count(Db(), CSqlIntegrityRules::ElementName()), 1);
        EXPECT_EQ(Count(Db(), CSqlDirectoryEntitySets::ElementName()), 0);
        CSqlFileEntitySets files;
        LoadInRowOrder(Db(), files);
        ASSERT_EQ(files.GetCount(), 1u);
        EXPECT_EQ(U(files.Item(0)->m_directory), "/etc");
        EXPECT_EQ(Joined(Entries(Db())),
                  "File 1 include p(*.conf ^([^/]*)\\.conf$ 2)\nUser 1 include p(root  2)");
        // The directory attributes of a dropped set are not counted.
        std::map<wxString, std::map<wxString, int>> counts = GetEntityAttributeCounts();
        EXPECT_EQ(counts.size(), 2u);
        EXPECT_EQ(counts[wxT("File")], (std::map<wxString, int>{{wxT("size"), 1}}));
        EXPECT_EQ(counts[wxT("User")], (std::map<wxString, int>{{wxT("user"), 1}}));
    }
}

TEST_F(RulePersistence, NameProblemsAreReported)
{
    struct Case
    {
        const char* name;
        const char* children;  // of the rule
        const char* table;     // a set table that must hold one row
        std::vector<std::string> events;
    } cases[] = {
        {"nothing to report", "<FileSet base=\"/etc\"/>", "FileSets", {}},
        {"8005 unknown child elements",
         "<FileSet base=\"/etc\"/><FooSet/><Bar/>",
         "FileSets",
         {"8005 9|Web \\| content|Bar,FooSet"}},
        {"8006 unsupported set elements",
         "<RegistryKeySet base=\"HKLM\"/><FileSet base=\"/etc\"/>",
         "FileSets",
         {"8006 9|Web \\| content|RegistryKeySet"}},
        {"8007 unknown entry attributes",
         "<FileSet base=\"/etc\"><Include key=\"*\" zeta=\"2\" bogus=\"1\"/></FileSet>",
         "FileSets",
         {"8007 9|Web \\| content|FileSets|bogus,zeta"}},
        {"8008 feature not allowed for files",
         "<FileSet base=\"/etc\"><Include key=\"*\" commandLine=\"x\"/></FileSet>",
         "FileSets",
         {"8008 9|Web \\| content|FileSets|commandLine"}},
        {"8008 feature not allowed for users",
         "<UserSet><Exclude key=\"x\" manufacturer=\"y\"/></UserSet>",
         "UserSets",
         {"8008 9|Web \\| content|UserSets|manufacturer"}},
        {"8009 unknown attribute names",
         "<DirectorySet base=\"/var\"><Attributes><frobnicate/><owner/></Attributes></DirectorySet>",
         "DirectorySets",
         {"8009 9|Web \\| content|DirectorySets|frobnicate"}},
        {"8010 attribute not allowed for files",
         "<FileSet base=\"/etc\"><Attributes><commandLine/></Attributes></FileSet>",
         "FileSets",
         {"8010 9|Web \\| content|FileSets|commandLine"}},
        {"8011 unknown set attributes",
         "<ProcessSet bogus=\"1\" Other=\"x\"/>",
         "ProcessSets",
         {"8011 9|Web \\| content|ProcessSets|Other,bogus"}},
        {"several, in the order of the work",
         "<FileSet base=\"/etc\" odd=\"1\"><Include key=\"*\" bogus=\"1\"/><Exclude key=\"x\" path=\"p\"/>"
         "<Attributes><frobnicate/><threads/></Attributes></FileSet><FooSet/><ServiceSet/>",
         "FileSets",
         {"8005 9|Web \\| content|FooSet", "8006 9|Web \\| content|ServiceSet",
          "8007 9|Web \\| content|FileSets|bogus", "8008 9|Web \\| content|FileSets|path",
          "8009 9|Web \\| content|FileSets|frobnicate", "8010 9|Web \\| content|FileSets|threads",
          "8011 9|Web \\| content|FileSets|odd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        ASSERT_TRUE(Store(std::string("<IntegrityRule id=\"9\" name=\"Web | content\">") + c.children +
                          "</IntegrityRule>"));
        EXPECT_EQ(Joined(Events()), Joined(c.events));
        EXPECT_EQ(controller->GetRuleWarning(), !c.events.empty());
        EXPECT_EQ(Count(Db(), CSqlIntegrityRules::ElementName()), 1);
        EXPECT_EQ(Count(Db(), W(c.table)), 1);
    }
}

TEST_F(RulePersistence, AttributeMetricsCountMonitoredAttributes)
{
    Fresh().SetContentShortHandMapping(wxT("sha256,md5"));
    ASSERT_TRUE(
        Store("<IntegrityRule id=\"21\">"
              "<FileSet base=\"/etc\"><Attributes><contents/><size/><lastModified/></Attributes></FileSet>"
              "<FileSet base=\"/usr\"><Attributes><contents/><size/></Attributes></FileSet>"
              "<DirectorySet base=\"/var\"><Attributes><owner/><bogus/></Attributes></DirectorySet>"
              "<UserSet><Attributes><groups/></Attributes></UserSet>"
              "<GroupSet><Attributes/></GroupSet></IntegrityRule>"));
    std::map<wxString, std::map<wxString, int>> expected = {
        {wxT("File"), {{wxT("size"), 2}, {wxT("sha256"), 2}, {wxT("md5"), 2}, {wxT("lastmodified"), 1}}},
        {wxT("Directory"), {{wxT("owner"), 1}}},
        {wxT("User"), {{wxT("groups"), 1}}},
    };
    std::map<wxString, std::map<wxString, int>> counts = GetEntityAttributeCounts();
    struct Case
    {
        const char* type;
    } cases[] = {{"File"}, {"Directory"}, {"User"}, {"Group"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        std::string got, want;
        for (const auto& entry : counts[W(c.type)])
            got += U(entry.first) + "=" + std::to_string(entry.second) + " ";
        for (const auto& entry : expected[W(c.type)])
            want += U(entry.first) + "=" + std::to_string(entry.second) + " ";
        EXPECT_EQ(got, want);
    }

    // The same rule again counts every set once more.
    ASSERT_TRUE(Store(
        "<IntegrityRule id=\"22\"><UserSet><Attributes><groups/></Attributes></UserSet></IntegrityRule>"));
    EXPECT_EQ(GetEntityAttributeCounts()[wxT("User")][wxT("groups")], 2);
}

TEST_F(RulePersistence, StoringARuleUntracksItsDeletedStatistics)
{
    trackDeletedRuleStat(wxT("Tracked"), 31);
    trackDeletedRuleStat(wxT("Other"), 32);
    ASSERT_EQ(Run("local _, inactive = SLB.im.ImThread.GetStats()\n"
                  "assert(inactive['Deleted - Tracked'] == 0 and inactive['Deleted - Other'] == 0)"),
              "");
    Fresh();
    ASSERT_TRUE(Store("<IntegrityRule id=\"31\" name=\"Tracked\"><FileSet base=\"/etc\"/></IntegrityRule>"));
    EXPECT_EQ(Run("local _, inactive = SLB.im.ImThread.GetStats()\n"
                  "assert(inactive['Deleted - Tracked'] == nil, 'still tracked')\n"
                  "assert(inactive['Deleted - Other'] == 0, 'other rule lost')"),
              "");
}

TEST_F(RulePersistence, WithoutADatabaseNothingIsWritten)
{
    Controller closed(dom);
    CIntegrityRule rule;
    ASSERT_TRUE(rule.FromXML(W("<IntegrityRule id=\"1\"><FileSet base=\"/etc\"/></IntegrityRule>")));
    EXPECT_THROW(closed.AddRuleToDb(rule), wxSQLite3Exception);
}
