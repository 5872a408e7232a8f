// The controller's and the scanners' connections to si.db: opening, the
// prepared statements, closing, bad files, and the query plans of the
// per-entity statements.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>

#include <regex>

#include "core/Log.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityDbSchema.h"
#include "plugins/im/SystemIntegrityScannerThread.h"
#include "plugins/im/SystemIntegrityThread.h"
#include "tests/im/ControllerDouble.h"
#include "tests/core/TestUtil.h"

using namespace OrvPluginIm;

namespace {

using OrvTest::Controller;

// A scanner of one entity-set type, without a scan loop.
class Scanner : public CIntegrityScanThread
{
public:
    Scanner(const OrvCore::CDom& dom, const wxString& type) : CIntegrityScanThread(dom), m_type(type) {}
    CSqlEntitySet* CreateEntitySetObject() const override { return CreateSqlEntitySet(m_type).release(); }
    wxString GetThreadName() const override { return "test-scanner"; }

protected:
    int OnRun() override { return 0; }

private:
    wxString m_type;
};

// A set row whose table does not exist: preparation stops at the statement that names it.
class BogusSetRow : public CSqlEntitySet
{
public:
    static wxString ElementName() { return "Bogus"; }
    wxString GetElementName() const override { return ElementName(); }
};

class BogusScanner : public CIntegrityScanThread
{
public:
    explicit BogusScanner(const OrvCore::CDom& dom) : CIntegrityScanThread(dom) {}
    CSqlEntitySet* CreateEntitySetObject() const override { return new BogusSetRow; }

protected:
    int OnRun() override { return 0; }
};

}  // namespace

class SystemIntegrityDb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dom = OrvCore::CDom::CreateIsolated();
        dom.Set("app.path.work", wxString::FromUTF8(dir / "work"));
        dbPath = dir / "si.db";
        dom.Set("orp.im.dbPath", wxString::FromUTF8(dbPath));
    }

    OrvTest::TempDir dir;
    OrvCore::CDom dom;
    std::string dbPath;
};

TEST_F(SystemIntegrityDb, ControllerOpensOnceAndClosesTwiceHarmlessly)
{
    Controller controller(dom);
    ASSERT_TRUE(controller.OpenSystemIntegrityDb());
    struct stat st;
    ASSERT_EQ(stat(dbPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(GetSystemIntegritySchemaVersion(controller.GetDb()->Db()), kSystemIntegritySchemaVersion);
    wxSQLite3Statement* statement = controller.GetRulesWithoutEntitiesStatement();
    ASSERT_NE(statement, nullptr);
    OrvCore::CSqliteDatabase* db = controller.GetDb();
    ASSERT_TRUE(controller.OpenSystemIntegrityDb());
    EXPECT_EQ(controller.GetRulesWithoutEntitiesStatement(), statement);  // nothing prepared again
    EXPECT_EQ(controller.GetDb(), db);
    controller.CloseSystemIntegrityDb();
    EXPECT_EQ(controller.GetDb(), nullptr);
    controller.CloseSystemIntegrityDb();
}

TEST_F(SystemIntegrityDb, DefaultPathIsInThePluginWorkDirectory)
{
    dom.SetNil("orp.im.dbPath");
    Controller controller(dom);
    ASSERT_TRUE(controller.OpenSystemIntegrityDb());
    struct stat st;
    EXPECT_EQ(stat((dir / "work/im/si.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SystemIntegrityDb, RulesWithoutCurrentEntities)
{
    Controller controller(dom);
    ASSERT_TRUE(controller.OpenSystemIntegrityDb());
    wxSQLite3Database& db = controller.GetDb()->Db();
    struct RuleCase
    {
        int id;
        const char* name;
        long long supercededBy;  // of its one entity: -2 no entity, -3 current (NULL)
        bool listed;
    } rules[] = {
        {1, "no entities", -2, true},
        {2, "current entity", -3, false},
        {3, "only history", -1, true},
        {4, "awaiting confirmation", 0, true},  // only NULL marks the current version
    };
    for (const RuleCase& r : rules) {
        CSqlIntegrityRule rule;
        rule.SetAttributeValue(&rule.m_integrityRuleId, r.id);
        rule.SetAttributeValue(&rule.m_name, wxString(r.name));
        rule.SQLInsert(db, CSqlIntegrityRules::ElementName());
        if (r.supercededBy == -2) continue;
        CSqlEntity entity;
        entity.SetAttributeValue(&entity.m_entityType, wxString("File"));
        entity.SetAttributeValue(&entity.m_integrityRuleId, static_cast<long long>(r.id));
        entity.SetAttributeValue(&entity.m_keyCanonical, wxString("/etc/x"));
        if (r.supercededBy != -3) entity.SetSupercededBy(r.supercededBy);
        entity.SQLInsert(db, CSqlEntitys::ElementName());
    }
    std::set<int> listed;
    wxSQLite3Statement* statement = controller.GetRulesWithoutEntitiesStatement();
    {
        CStatementUse use(*statement);
        wxSQLite3ResultSet rows = use->ExecuteQuery();
        while (rows.NextRow()) listed.insert(rows.GetInt(0));
    }
    for (const RuleCase& r : rules) EXPECT_EQ(listed.count(r.id) == 1, r.listed) << r.name;
}

TEST_F(SystemIntegrityDb, ScannerPreparesEveryStatementOnce)
{
    for (const char* type : {"File", "Directory", "User", "Group", "Process", "Port", "InstalledSoftware"}) {
        SCOPED_TRACE(type);
        Scanner scanner(dom, type);
        ASSERT_TRUE(scanner.OpenSystemIntegrityDb());
        std::vector<wxSQLite3Statement*> first;
        for (int i = 0; i < CIntegrityScanThread::StmtCount; ++i) {
            first.push_back(scanner.GetStatement(static_cast<CIntegrityScanThread::Statement>(i)));
            EXPECT_NE(first.back(), nullptr) << "statement " << i;
        }
        ASSERT_TRUE(scanner.OpenSystemIntegrityDb());
        for (int i = 0; i < CIntegrityScanThread::StmtCount; ++i)
            EXPECT_EQ(scanner.GetStatement(static_cast<CIntegrityScanThread::Statement>(i)), first[i]);
        scanner.CloseSystemIntegrityDb();
        EXPECT_EQ(scanner.GetStatement(CIntegrityScanThread::StmtAttributeHash), nullptr);
        scanner.CloseSystemIntegrityDb();
    }
}

TEST_F(SystemIntegrityDb, PartlyPreparedScannerClosesCleanly)
{
    BogusScanner scanner(dom);
    EXPECT_THROW(scanner.OpenSystemIntegrityDb(), wxSQLite3Exception);
    for (int i = 0; i < CIntegrityScanThread::StmtCount; ++i) {
        bool prepared = scanner.GetStatement(static_cast<CIntegrityScanThread::Statement>(i)) != nullptr;
        EXPECT_EQ(prepared, i < CIntegrityScanThread::StmtResumeEntities) << "statement " << i;
    }
    scanner.CloseSystemIntegrityDb();
    EXPECT_EQ(scanner.GetDb(), nullptr);
}

TEST_F(SystemIntegrityDb, DigestOfAVersionWithoutAttributesIsTheEmptyDigest)
{
    Scanner scanner(dom, "File");
    ASSERT_TRUE(scanner.OpenSystemIntegrityDb());
    wxSQLite3Statement* hash = scanner.GetStatement(CIntegrityScanThread::StmtAttributeHash);
    auto digestOf = [&](long long entityId) {
        CStatementUse use(*hash);
        use->Bind(1, static_cast<wxLongLong>(entityId));
        wxSQLite3ResultSet row = use->ExecuteQuery();
        EXPECT_TRUE(row.NextRow());
        int length = 0;
        const unsigned char* blob = row.GetBlob(0, length);
        return std::string(reinterpret_cast<const char*>(blob), static_cast<size_t>(length));
    };
    unsigned char empty[SHA_DIGEST_LENGTH];
    SHA1(nullptr, 0, empty);
    EXPECT_EQ(digestOf(42), std::string(reinterpret_cast<char*>(empty), sizeof empty));

    // Two attributes are digested in name order, each framed by its length.
    wxSQLite3Database& db = scanner.GetDb()->Db();
    for (const char* name : {"size", "owner"}) {
        CSqlAttribute attribute;
        attribute.SetAttributeValue(&attribute.m_entityId, 7LL);
        attribute.SetAttributeValue(&attribute.m_name, wxString(name));
        attribute.SetAttributeValue(&attribute.m_value, wxString(name) + "-value");
        attribute.SQLInsert(db, CSqlAttributes::ElementName());
    }
    std::string framed;
    for (std::string value : {"owner-value", "size-value"}) {
        uint32_t n = static_cast<uint32_t>(value.size());
        framed += std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + value;
    }
    unsigned char expected[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(framed.data()), framed.size(), expected);
    EXPECT_EQ(digestOf(7), std::string(reinterpret_cast<char*>(expected), sizeof expected));
}

TEST_F(SystemIntegrityDb, BadFilesFailToOpenAndStayUnchanged)
{
    struct Case
    {
        const char* name;
        std::function<void(const std::string&)> make;
    } cases[] = {
        {"text file", [](const std::string& p) { OrvTest::WriteFile(p, "this is not a database\n"); }},
        {"corrupt header",
         [](const std::string& p) {
             {
                 wxSQLite3Database db;
                 db.Open(wxString::FromUTF8(p));
                 db.ExecuteUpdate("CREATE TABLE t(x); INSERT INTO t VALUES(1);");
                 db.Close();
             }
             std::string content = OrvTest::ReadFile(p);
             for (size_t i = 0; i < 100 && i < content.size(); ++i) content[i] = static_cast<char>(0x5a);
             OrvTest::WriteFile(p, content);
         }},
        {"newer schema version",
         [](const std::string& p) {
             wxSQLite3Database db;
             db.Open(wxString::FromUTF8(p));
             db.ExecuteUpdate("PRAGMA user_version=99; CREATE TABLE future(x);");
             db.Close();
         }},
        {"foreign tables",
         [](const std::string& p) {
             wxSQLite3Database db;
             db.Open(wxString::FromUTF8(p));
             db.ExecuteUpdate("CREATE TABLE someone_elses(x);");
             db.Close();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir / (std::string(c.name) + ".db");
        c.make(path);
        std::string before = OrvTest::ReadFile(path);
        dom.Set("orp.im.dbPath", wxString::FromUTF8(path));
        std::vector<wxString> errors;
        OrvCore::SetLogObserver([&](OrvCore::LogLevel level, const wxString&, const wxString& message) {
            if (level == OrvCore::LogLevel::Error) errors.push_back(message);
        });
        Controller controller(dom);
        EXPECT_FALSE(controller.OpenSystemIntegrityDb());
        Scanner scanner(dom, "File");
        EXPECT_FALSE(scanner.OpenSystemIntegrityDb());
        OrvCore::SetLogObserver(nullptr);
        EXPECT_FALSE(errors.empty());
        EXPECT_TRUE(OrvTest::ReadFile(path) == before) << "the file changed";
    }

    dom.Set("orp.im.dbPath", "/proc/no-such-dir/si.db");
    Controller controller(dom);
    EXPECT_FALSE(controller.OpenSystemIntegrityDb());
}

TEST_F(SystemIntegrityDb, ExistingFileKeepsItsRows)
{
    {
        Controller controller(dom);
        ASSERT_TRUE(controller.OpenSystemIntegrityDb());
        CSqlEntity entity;
        entity.SetAttributeValue(&entity.m_entityType, wxString("File"));
        entity.SetAttributeValue(&entity.m_keyCanonical, wxString("/etc/passwd"));
        entity.SQLInsert(controller.GetDb()->Db(), CSqlEntitys::ElementName());
    }
    Scanner scanner(dom, "File");
    ASSERT_TRUE(scanner.OpenSystemIntegrityDb());
    CSqlEntitys entities;
    ASSERT_TRUE(entities.SQLLoad(scanner.GetDb()->Db()));
    ASSERT_EQ(entities.GetCount(), 1u);
    EXPECT_EQ(entities.Item(0)->m_keyCanonical, "/etc/passwd");
}

// Every per-entity statement must find its rows through an index: a full scan
// of Entitys or Attributes would make each entity cost the size of the baseline.
TEST_F(SystemIntegrityDb, PerEntityStatementsUseIndices)
{
    Controller controller(dom);
    ASSERT_TRUE(controller.OpenSystemIntegrityDb());
    wxSQLite3Database& db = controller.GetDb()->Db();
    const std::regex fullScan("^SCAN (Entitys|Attributes)\\b");
    auto check = [&](const wxString& what, const wxString& sql) {
        wxSQLite3ResultSet plan = db.ExecuteQuery("EXPLAIN QUERY PLAN " + sql);
        while (plan.NextRow()) {
            std::string detail = plan.GetAsString(3).utf8_string();
            EXPECT_FALSE(std::regex_search(detail, fullScan)) << what << ": " << detail << "\n  in " << sql;
        }
    };
    check("controller", controller.GetRulesWithoutEntitiesStatement()->GetSQL());
    for (const char* type : {"File", "Directory", "User", "Group", "Process", "Port", "InstalledSoftware"}) {
        std::unique_ptr<CSqlEntitySet> row = CreateSqlEntitySet(type);
        std::vector<wxString> texts = CIntegrityScanThread::BuildStatementTexts(*row);
        ASSERT_EQ(texts.size(), static_cast<size_t>(CIntegrityScanThread::StmtCount));
        for (size_t i = 0; i < texts.size(); ++i) check(wxString(type) + wxString::Format(" statement %zu", i), texts[i]);
    }
}
