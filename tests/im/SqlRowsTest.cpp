// The row classes of si.db and its schema, on real SQLite files: every table
// written and read back, the NULL columns, the views, the entity set rows'
// answers and compiled expressions, include/exclude patterns, the cascading
// deletes, id allocation, and the schema's versioning (creation, reopening,
// refusal of files it does not know, untouched).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/Dom.h"
#include "core/SqliteDatabase.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityDbSchema.h"
#include "tests/core/TestUtil.h"

using namespace OrvPluginIm;
using OrvCore::CSqliteDatabase;
using OrvCore::XMLAttr;
using OrvCore::XMLAttrType;
using OrvCore::XMLObject;
using OrvTest::TempDir;

namespace {

wxString W(const char* text)
{
    return wxString::FromUTF8(text);
}

std::string U(const wxString& text)
{
    return text.utf8_string();
}

std::unique_ptr<CSqliteDatabase> OpenDb(const std::string& path)
{
    std::unique_ptr<CSqliteDatabase> db(
        new CSqliteDatabase(OrvCore::CDom::CreateIsolated(), wxT("orp.im.test")));
    if (!db->Open(wxString::FromUTF8(path))) return nullptr;
    return db;
}

long long QueryInt(wxSQLite3Database& db, const wxString& sql)
{
    wxSQLite3ResultSet rows = db.ExecuteQuery(sql);
    return rows.NextRow() && !rows.IsNull(0) ? rows.GetInt64(0).GetValue() : -1;
}

wxString QueryText(wxSQLite3Database& db, const wxString& sql)
{
    wxSQLite3ResultSet rows = db.ExecuteQuery(sql);
    return rows.NextRow() ? rows.GetAsString(0) : wxString(wxT("<no row>"));
}

// The schema text as SQLite keeps it, in a stable order.
std::string SchemaText(wxSQLite3Database& db)
{
    std::string text;
    wxSQLite3ResultSet rows =
        db.ExecuteQuery(wxT("SELECT type, name, sql FROM sqlite_master ORDER BY name;"));
    while (rows.NextRow())
        text +=
            U(rows.GetAsString(0) + wxT(" ") + rows.GetAsString(1) + wxT(": ") + rows.GetAsString(2)) + "\n";
    return text;
}

// Gives every non-key attribute of row a value that differs from its default
// and that a wrong column affinity would change: texts look like numbers with
// leading zeros (INTEGER affinity would drop them), integers exceed 32 bits,
// booleans are flipped, byte strings hold zero bytes.
void FillDistinct(XMLObject& row, int seed)
{
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        const XMLObject::Attribute& attribute = row.GetAttributeAt(i);
        if (OrvCore::HasFlag(attribute.decl->flags, XMLAttr::Key)) continue;
        const int n = seed * 100 + static_cast<int>(i);
        switch (attribute.decl->type) {
            case XMLAttrType::Text:
                *static_cast<wxString*>(attribute.field) = wxString::Format(wxT("00%d"), n);
                break;
            case XMLAttrType::Int64:
                *static_cast<long long*>(attribute.field) = 5000000000LL + n;
                break;
            case XMLAttrType::Int32:
                *static_cast<int*>(attribute.field) = -1000 - n;
                break;
            case XMLAttrType::Bool:
                *static_cast<bool*>(attribute.field) = !*static_cast<bool*>(attribute.field);
                break;
            case XMLAttrType::Blob:
                *static_cast<std::string*>(attribute.field) =
                    std::string("\0\x01\xff", 3) + std::to_string(n);
                break;
        }
        row.SetAttributeNull(attribute.field, false);
    }
}

// Every row class with its table, the name the table must have, and whether
// it has a key.
struct TableCase
{
    const char* expectedTable;
    wxString table;
    std::function<XMLObject*()> make;
};

template <class TRow, class TList>
TableCase Table(const char* expectedTable)
{
    return TableCase{expectedTable, TList::ElementName(), [] { return new TRow(); }};
}

std::vector<TableCase> AllTables()
{
    return {
        Table<CSqlAttribute, CSqlAttributes>("Attributes"),
        Table<CSqlChangeDetail, CSqlChangeDetails>("ChangeDetails"),
        Table<CSqlEntity, CSqlEntitys>("Entitys"),
        Table<CSqlFeature, CSqlFeatures>("Features"),
        Table<CSqlIncludeExclude, CSqlIncludeExcludes>("IncludeExcludes"),
        Table<CSqlIntegrityEvent, CSqlIntegrityEvents>("IntegrityEvents"),
        Table<CSqlIntegrityRule, CSqlIntegrityRules>("IntegrityRules"),
        Table<CSqlPattern, CSqlPatterns>("Patterns"),
        Table<CSqlRealtimeChange, CSqlRealtimeChanges>("RealtimeChanges"),
        Table<CSqlScan, CSqlScans>("Scans"),
        Table<CSqlScanEntitySetId, CSqlScanEntitySetIds>("ScanEntitySetIds"),
        Table<CSqlScanIntegrityRuleId, CSqlScanIntegrityRuleIds>("ScanIntegrityRuleIds"),
        Table<CSqlSubscan, CSqlSubscans>("Subscans"),
        Table<CSqlDirectoryEntitySet, CSqlDirectoryEntitySets>("DirectorySets"),
        Table<CSqlFileEntitySet, CSqlFileEntitySets>("FileSets"),
        Table<CSqlGroupEntitySet, CSqlGroupEntitySets>("GroupSets"),
        Table<CSqlInstalledSoftwareEntitySet, CSqlInstalledSoftwareEntitySets>("InstalledSoftwareSets"),
        Table<CSqlPortEntitySet, CSqlPortEntitySets>("PortSets"),
        Table<CSqlProcessEntitySet, CSqlProcessEntitySets>("ProcessSets"),
        Table<CSqlRegistryKeyEntitySet, CSqlRegistryKeyEntitySets>("RegistryKeySets"),
        Table<CSqlRegistryValueEntitySet, CSqlRegistryValueEntitySets>("RegistryValueSets"),
        Table<CSqlServiceEntitySet, CSqlServiceEntitySets>("ServiceSets"),
        Table<CSqlUserEntitySet, CSqlUserEntitySets>("UserSets"),
        Table<CSqlWqlEntitySet, CSqlWqlEntitySets>("WqlSets"),
    };
}

// A database file with the schema in a temporary directory.
class SqlRows : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_path = m_dir / "si.db";
        m_db = OpenDb(m_path);
        ASSERT_TRUE(m_db);
        wxString error;
        ASSERT_TRUE(EnsureSystemIntegritySchema(Db(), error)) << U(error);
    }

    wxSQLite3Database& Db() { return m_db->Db(); }

    TempDir m_dir;
    std::string m_path;
    std::unique_ptr<CSqliteDatabase> m_db;
};

}  // namespace

// ---------------------------------------------------------------- tables

TEST_F(SqlRows, EveryTableWritesAndReadsBackEveryColumn)
{
    for (const TableCase& c : AllTables()) {
        SCOPED_TRACE(c.expectedTable);
        EXPECT_EQ(U(c.table), c.expectedTable);
        std::unique_ptr<XMLObject> written(c.make());
        FillDistinct(*written, 3);
        const long long rowId = written->SQLInsert(Db(), c.table);
        ASSERT_GT(rowId, 0);
        EXPECT_EQ(QueryInt(Db(), wxT("SELECT count(*) FROM [") + c.table + wxT("];")), 1);

        std::unique_ptr<XMLObject> read(c.make());
        if (written->GetKeyAttribute() != nullptr) {
            EXPECT_EQ(written->GetKeyValue(), rowId);
            const XMLObject::Attribute* key = read->GetKeyAttribute();
            if (key->decl->type == XMLAttrType::Int64)
                *static_cast<long long*>(key->field) = rowId;
            else
                *static_cast<int*>(key->field) = static_cast<int>(rowId);
            ASSERT_TRUE(read->SQLLoad(Db(), c.table));
        } else {
            wxSQLite3ResultSet rows = Db().ExecuteQuery(wxT("SELECT * FROM [") + c.table + wxT("];"));
            ASSERT_TRUE(rows.NextRow());
            ASSERT_TRUE(read->SQLLoad(rows));
        }
        EXPECT_EQ(U(read->Print()), U(written->Print()));
    }
}

TEST_F(SqlRows, ColumnsHaveTheAffinityOfTheirType)
{
    struct Case
    {
        const char* table;
        const char* column;
        const char* declaredType;
        bool primaryKey;
    } cases[] = {
        {"Entitys", "entityId", "INTEGER", true},
        {"Entitys", "keyCanonical", "TEXT", false},
        {"Entitys", "attributeHash", "BLOB", false},
        {"Entitys", "supercededBy", "INTEGER", false},
        {"Entitys", "integrityRuleSeverity", "INTEGER", false},
        {"Attributes", "value", "TEXT", false},
        {"IntegrityRules", "integrityRuleId", "INTEGER", true},
        {"IntegrityRules", "allowOnChange", "INTEGER", false},
        {"IntegrityRules", "name", "TEXT", false},
        {"FileSets", "monitorSha256", "INTEGER", false},
        {"WqlSets", "timeout", "INTEGER", false},
        {"ChangeDetails", "whenChangedLast", "INTEGER", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + "." + c.column);
        wxSQLite3Statement info =
            Db().PrepareStatement(wxT("SELECT type, pk FROM pragma_table_info(?1) WHERE name=?2;"));
        info.Bind(1, W(c.table));
        info.Bind(2, W(c.column));
        wxSQLite3ResultSet rows = info.ExecuteQuery();
        ASSERT_TRUE(rows.NextRow());
        EXPECT_EQ(U(rows.GetString(0)), c.declaredType);
        EXPECT_EQ(rows.GetInt(1) != 0, c.primaryKey);
    }
}

TEST_F(SqlRows, IntegrityRulesRowHasTheRuleIdInsteadOfIdAndNoSetColumns)
{
    struct Case
    {
        const char* column;
        bool present;
    } cases[] = {
        {"integrityRuleId", true}, {"name", true},          {"allowOnChange", true},
        {"confidential", true},    {"hash", true},          {"identifier", true},
        {"severity", true},        {"type", true},          {"id", false},
        {"FileSets", false},       {"DirectorySet", false}, {"FileSet", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        wxSQLite3Statement info = Db().PrepareStatement(
            wxT("SELECT count(*) FROM pragma_table_info('IntegrityRules') WHERE name=?1;"));
        info.Bind(1, W(c.column));
        wxSQLite3ResultSet rows = info.ExecuteQuery();
        ASSERT_TRUE(rows.NextRow());
        EXPECT_EQ(rows.GetInt(0), c.present ? 1 : 0);
    }
    CSqlIntegrityRule rule;
    EXPECT_EQ(U(rule.GetAttributeName(rule.GetKeyAttribute()->field)), "integrityRuleId");
    EXPECT_EQ(U(rule.GetAttributeName(&rule.m_id)), "");

    // The configured rule id is kept as the row id.
    rule.m_integrityRuleId = 4711;
    rule.m_name = W("Rule \xc3\xa9t\xc3\xa9");
    rule.m_severity = 3;
    EXPECT_EQ(rule.SQLInsert(Db(), CSqlIntegrityRules::ElementName()), 4711);
    CSqlIntegrityRules rules;
    ASSERT_TRUE(rules.SQLLoad(Db()));
    ASSERT_EQ(rules.GetCount(), 1u);
    EXPECT_EQ(rules.Item(0)->m_integrityRuleId, 4711);
    EXPECT_EQ(U(rules.Item(0)->m_name), "Rule \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(rules.Item(0)->m_severity, 3);
}

TEST_F(SqlRows, IntegrityEventRowAddsTypeKeyAndDescription)
{
    CSqlIntegrityEvent event;
    event.m_recorded = 1700000000123LL;
    event.m_status = -1;
    event.m_integrityRuleId = 7;
    event.m_change = CIntegrityEvent::ChangeRename;
    event.m_severity = 2;
    event.m_wasEntity = 10;
    event.m_isEntity = 11;
    event.m_entityType = W("File");
    event.m_key = W("/etc/a -> /etc/b");
    event.SetAttributeNull(&event.m_user);
    event.SetAttributeNull(&event.m_process);
    event.SetAttributeNull(&event.m_description);
    const long long id = event.SQLInsert(Db(), CSqlIntegrityEvents::ElementName());

    struct Case
    {
        const char* column;
        const char* expected;
    } cases[] = {
        {"integrityEventId", "1"}, {"recorded", "1700000000123"},
        {"status", "-1"},          {"integrityRuleId", "7"},
        {"change", "4"},           {"severity", "2"},
        {"wasEntity", "10"},       {"isEntity", "11"},
        {"user", "NULL"},          {"process", "NULL"},
        {"entityType", "File"},    {"key", "/etc/a -> /etc/b"},
        {"description", "NULL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        EXPECT_EQ(
            U(QueryText(Db(), wxString::Format(wxT("SELECT coalesce([%s], 'NULL') FROM [IntegrityEvents] "
                                                   "WHERE integrityEventId=%lld;"),
                                               W(c.column), id))),
            c.expected);
    }
    CSqlIntegrityEvents events;
    ASSERT_TRUE(events.SQLLoad(Db()));
    ASSERT_EQ(events.GetCount(), 1u);
    EXPECT_TRUE(events.Item(0)->IsAttributeNull(&events.Item(0)->m_description));
    EXPECT_EQ(U(events.Item(0)->m_key), "/etc/a -> /etc/b");
}

// ---------------------------------------------------------------- NULL columns

TEST_F(SqlRows, NullColumnsStayNullWhenWrittenAndRead)
{
    struct Case
    {
        const char* name;
        const char* table;
        const char* column;
        std::function<XMLObject*()> make;
        std::function<const void*(XMLObject&)> field;
    } cases[] = {
        {"new entity without digest", "Entitys", "attributeHash", [] { return new CSqlEntity; },
         [](XMLObject& o) -> const void* { return &static_cast<CSqlEntity&>(o).m_attributeHash; }},
        {"new entity is current", "Entitys", "supercededBy", [] { return new CSqlEntity; },
         [](XMLObject& o) -> const void* { return &static_cast<CSqlEntity&>(o).m_supercededBy; }},
        {"subscan not finished", "Subscans", "endTime", [] { return new CSqlSubscan; },
         [](XMLObject& o) -> const void* { return &static_cast<CSqlSubscan&>(o).m_endTime; }},
        {"subscan without checkpoint", "Subscans", "checkpointInfo", [] { return new CSqlSubscan; },
         [](XMLObject& o) -> const void* { return &static_cast<CSqlSubscan&>(o).m_checkpointInfo; }},
        {"running scan", "Scans", "endTime", [] { return new CSqlScan; },
         [](XMLObject& o) -> const void* { return &static_cast<CSqlScan&>(o).m_endTime; }},
        {"running scan's ending id", "Scans", "endingHighestExistingEntityId", [] { return new CSqlScan; },
         [](XMLObject& o) -> const void* {
             return &static_cast<CSqlScan&>(o).m_endingHighestExistingEntityId;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<XMLObject> row(c.make());
        ASSERT_TRUE(row->IsAttributeNull(c.field(*row)));
        const long long id = row->SQLInsert(Db(), W(c.table));
        const wxString typeOf = wxString::Format(wxT("SELECT typeof([%s]) FROM [%s] WHERE rowid=%lld;"),
                                                 W(c.column), W(c.table), id);
        EXPECT_EQ(U(QueryText(Db(), typeOf)), "null");

        // Read back: the flag is set; written back (update): still NULL.
        std::unique_ptr<XMLObject> read(c.make());
        read->SetToDefaults();
        read->SetAttributeNull(c.field(*read), false);
        *static_cast<long long*>(read->GetKeyAttribute()->field) = id;
        ASSERT_TRUE(read->SQLLoad(Db(), W(c.table)));
        EXPECT_TRUE(read->IsAttributeNull(c.field(*read)));
        EXPECT_EQ(read->SQLUpdate(Db(), W(c.table)), 1);
        EXPECT_EQ(U(QueryText(Db(), typeOf)), "null");
    }
}

TEST_F(SqlRows, EntityDigestIsNullOnlyWhenFlaggedNull)
{
    struct Case
    {
        const char* name;
        std::function<void(CSqlEntity&)> set;
        const char* typeOf;
        int length;
    } cases[] = {
        {"null", [](CSqlEntity&) {}, "null", -1},
        {"digest", [](CSqlEntity& e) { e.SetAttributeHash(std::string("\x00\x10\x20", 3)); }, "blob", 3},
        {"empty digest is an empty blob", [](CSqlEntity& e) { e.SetAttributeHash(std::string()); }, "blob",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqlEntity entity;
        entity.m_entityType = W("File");
        entity.m_keyCanonical = W("/etc/hosts");
        c.set(entity);
        const long long id = entity.SQLInsert(Db(), CSqlEntitys::ElementName());
        EXPECT_EQ(U(QueryText(Db(), wxString::Format(wxT("SELECT typeof(attributeHash) FROM Entitys WHERE "
                                                         "entityId=%lld;"),
                                                     id))),
                  c.typeOf);
        CSqlEntity read;
        read.m_entityId = id;
        ASSERT_TRUE(read.SQLLoad(Db(), CSqlEntitys::ElementName()));
        EXPECT_EQ(read.IsAttributeHashNull(), c.length < 0);
        if (c.length >= 0) {
            EXPECT_EQ(static_cast<int>(read.m_attributeHash.size()), c.length);
        }
        EXPECT_TRUE(read.IsSupercededByNull());
        // A write of the loaded row keeps the column as it was.
        read.SetSupercededBy(0);
        EXPECT_EQ(read.SQLUpdate(Db(), CSqlEntitys::ElementName()), 1);
        EXPECT_EQ(
            U(QueryText(Db(), wxString::Format(wxT("SELECT typeof(attributeHash) || ',' || "
                                                   "quote(supercededBy) FROM Entitys WHERE entityId=%lld;"),
                                               id))),
            std::string(c.typeOf) + ",0");
    }
}

TEST_F(SqlRows, MarkerRowWithNullKeyColumns)
{
    CSqlEntity marker;
    marker.m_entityType = W("-ScanStart-");
    marker.SetAttributeNull(&marker.m_entitySetId);
    marker.SetAttributeNull(&marker.m_integrityRuleId);
    marker.SetAttributeNull(&marker.m_keyCanonical);
    marker.SetAttributeNull(&marker.m_key);
    const long long id = marker.SQLInsert(Db(), CSqlEntitys::ElementName());
    EXPECT_EQ(QueryInt(Db(), wxString::Format(
                                 wxT("SELECT count(*) FROM Entitys WHERE entityId=%lld AND entitySetId "
                                     "IS NULL AND integrityRuleId IS NULL AND keyCanonical IS NULL AND "
                                     "key IS NULL;"),
                                 id)),
              1);
    EXPECT_EQ(marker.SQLDelete(Db(), CSqlEntitys::ElementName()), 1);
}

TEST_F(SqlRows, WqlSetWrittenWithoutTimeoutStores5000)
{
    CSqlWqlEntitySet set;
    set.m_integrityRuleId = 2;
    set.m_wql = W("SELECT * FROM Win32_Service");
    const long long id = set.SQLInsert(Db(), CSqlWqlEntitySets::ElementName());
    EXPECT_EQ(
        QueryInt(Db(), wxString::Format(wxT("SELECT timeout FROM WqlSets WHERE entitySetId=%lld;"), id)),
        5000);
    CSqlWqlEntitySets sets;
    ASSERT_TRUE(sets.SQLLoad(Db()));
    ASSERT_EQ(sets.GetCount(), 1u);
    EXPECT_EQ(sets.Item(0)->m_timeout, 5000);
    EXPECT_EQ(U(sets.Item(0)->GetElementName()), "WqlSet");
}

TEST_F(SqlRows, FileSetReadsBackEveryDirectoryAndFileFlag)
{
    struct Case
    {
        const char* column;
        bool CSqlFileEntitySet::*flag;
    } cases[] = {
        {"followLinks", &CSqlFileEntitySet::m_followLinks},
        {"includeRemovable", &CSqlFileEntitySet::m_includeRemovable},
        {"monitorPermissions", &CSqlFileEntitySet::m_monitorPermissions},
        {"monitorCreated", &CSqlFileEntitySet::m_monitorCreated},
        {"monitorLastModified", &CSqlFileEntitySet::m_monitorLastModified},
        {"monitorLastAccessed", &CSqlFileEntitySet::m_monitorLastAccessed},
        {"monitorOwner", &CSqlFileEntitySet::m_monitorOwner},
        {"monitorGroup", &CSqlFileEntitySet::m_monitorGroup},
        {"monitorFlags", &CSqlFileEntitySet::m_monitorFlags},
        {"monitorFlagsAll", &CSqlFileEntitySet::m_monitorFlagsAll},
        {"monitorSymLinkPath", &CSqlFileEntitySet::m_monitorSymLinkPath},
        {"monitorInodeNumber", &CSqlFileEntitySet::m_monitorInodeNumber},
        {"monitorInodeGenerationNumber", &CSqlFileEntitySet::m_monitorInodeGenerationNumber},
        {"monitorDeviceNumber", &CSqlFileEntitySet::m_monitorDeviceNumber},
        {"monitorSize", &CSqlFileEntitySet::m_monitorSize},
        {"monitorSha1", &CSqlFileEntitySet::m_monitorSha1},
        {"monitorSha256", &CSqlFileEntitySet::m_monitorSha256},
        {"monitorMd5", &CSqlFileEntitySet::m_monitorMd5},
        {"monitorBlocksAllocated", &CSqlFileEntitySet::m_monitorBlocksAllocated},
        {"monitorGrowing", &CSqlFileEntitySet::m_monitorGrowing},
        {"monitorShrinking", &CSqlFileEntitySet::m_monitorShrinking},
    };
    ASSERT_EQ(sizeof(cases) / sizeof(cases[0]), 21u);
    // Each flag alone: exactly its column is 1 in the table and exactly its
    // member is true when read back.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        CSqlFileEntitySet set;
        set.m_integrityRuleId = 9;
        set.*c.flag = true;
        EXPECT_EQ(U(set.GetAttributeName(&(set.*c.flag))), c.column);
        const long long id = set.SQLInsert(Db(), CSqlFileEntitySets::ElementName());
        wxString sum;
        for (const Case& other : cases) sum << (sum.empty() ? wxT("") : wxT("+")) << W(other.column);
        EXPECT_EQ(QueryInt(Db(), wxString::Format(wxT("SELECT [%s] FROM FileSets WHERE entitySetId=%lld;"),
                                                  W(c.column), id)),
                  1);
        EXPECT_EQ(
            QueryInt(Db(), wxString::Format(wxT("SELECT %s FROM FileSets WHERE entitySetId=%lld;"), sum, id)),
            1);
        CSqlFileEntitySet read;
        read.m_entitySetId = id;
        ASSERT_TRUE(read.SQLLoad(Db(), CSqlFileEntitySets::ElementName()));
        for (const Case& other : cases) EXPECT_EQ(read.*other.flag, other.flag == c.flag) << other.column;
    }
}

// ---------------------------------------------------------------- views

TEST_F(SqlRows, ViewsReturnJoinedRows)
{
    // Entitys + Attributes
    CSqlEntity entity;
    entity.m_entityType = W("File");
    entity.m_entitySetId = 5;
    entity.m_integrityRuleId = 6;
    entity.m_keyCanonical = W("/etc/passwd");
    entity.m_key = W("/etc/passwd");
    entity.SetSupercededBy(0);
    const long long entityId = entity.SQLInsert(Db(), CSqlEntitys::ElementName());
    CSqlEntity other;
    other.m_entityType = W("File");
    const long long otherId = other.SQLInsert(Db(), CSqlEntitys::ElementName());
    struct Attr
    {
        long long entityId;
        const char* name;
        const char* value;
    } attrs[] = {{entityId, "size", "1234"}, {entityId, "sha256", "abcd"}, {otherId, "size", "1"}};
    for (const Attr& a : attrs) {
        CSqlAttribute attribute;
        attribute.m_entityId = a.entityId;
        attribute.m_name = W(a.name);
        attribute.m_value = W(a.value);
        attribute.m_friendlyValue = W("f-") + W(a.name);
        attribute.SetAttributeNull(&attribute.m_internalValue);
        attribute.SQLInsert(Db(), CSqlAttributes::ElementName());
    }

    // IncludeExcludes + Patterns + Features
    CSqlIncludeExclude entry;
    entry.m_entityType = W("Directory");
    entry.m_entitySetId = 44;
    entry.m_exclude = true;
    const long long entryId = entry.SQLInsert(Db(), CSqlIncludeExcludes::ElementName());
    CSqlPattern pattern;
    pattern.m_includeExcludeId = entryId;
    pattern.m_pattern = W("var/log/*.log");
    pattern.m_regExPattern = W("^var/log/[^/]*\\.log$");
    pattern.m_caseSensitive = 1;
    pattern.SQLInsert(Db(), CSqlPatterns::ElementName());
    CSqlFeature feature;
    feature.m_includeExcludeId = entryId;
    feature.m_name = W("whereBaseInOtherSet");
    feature.m_value = W("false");
    feature.m_caseSensitive = 2;
    feature.SQLInsert(Db(), CSqlFeatures::ElementName());

    // RealtimeChanges + ChangeDetails
    CSqlRealtimeChange change;
    change.m_entityType = W("File");
    change.m_keyCanonical = W("/tmp/x");
    change.m_entitySetIds = W("(3,7)");
    const long long changeId = change.SQLInsert(Db(), CSqlRealtimeChanges::ElementName());
    for (int i = 0; i < 2; ++i) {
        CSqlChangeDetail detail;
        detail.m_realtimeChangeId = changeId;
        detail.m_change = 1 + i;
        detail.m_whenChangedFirst = 1000 + i * 10;
        detail.m_whenChangedLast = 1005 + i * 10;
        detail.m_user = W("root");
        detail.m_process = W("vi");
        detail.SetAttributeNull(&detail.m_keyCanonicalOld);
        detail.SQLInsert(Db(), CSqlChangeDetails::ElementName());
    }

    struct Case
    {
        const char* name;
        wxString sql;
        std::function<OrvCore::XMLObjectList*()> make;
        size_t rows;
        const char* firstRow;
    } cases[] = {
        {"EntityAttributes",
         wxString::Format(wxT("SELECT * FROM [%s] WHERE entityId=%lld ORDER BY name;"),
                          CSqlEntityAttributes::ElementName(), entityId),
         [] { return new CSqlEntityAttributes; }, 2,
         "entityId=1, entityType=File, entitySetId=5, integrityRuleId=6, integrityRuleSeverity=0, "
         "keyCanonical=/etc/passwd, key=/etc/passwd, whenScanned=0, attributeHash=NULL, supercededBy=0, "
         "eventDropped=0, attributeId=2, name=sha256, value=abcd, friendlyValue=f-sha256, "
         "internalValue=NULL"},
        {"IncludeExcludePatterns",
         wxString::Format(wxT("SELECT * FROM [%s];"), CSqlIncludeExcludePatterns::ElementName()),
         [] { return new CSqlIncludeExcludePatterns; }, 1,
         "includeExcludeId=1, pattern=var/log/*.log, regExPattern=^var/log/[^/]*\\.log$, caseSensitive=1, "
         "entityType=Directory, entitySetId=44, exclude=true"},
        {"IncludeExcludeFeatures",
         wxString::Format(wxT("SELECT * FROM [%s];"), CSqlIncludeExcludeFeatures::ElementName()),
         [] { return new CSqlIncludeExcludeFeatures; }, 1,
         "includeExcludeId=1, name=whereBaseInOtherSet, value=false, caseSensitive=2, entityType=Directory, "
         "entitySetId=44, exclude=true"},
        {"RealtimeChangeDetails",
         wxString::Format(wxT("SELECT * FROM [%s] ORDER BY whenChangedFirst DESC;"),
                          CSqlRealtimeChangeDetails::ElementName()),
         [] { return new CSqlRealtimeChangeDetails; }, 2,
         "realtimeChangeId=1, entityType=File, keyCanonical=/tmp/x, entitySetIds=(3,7), change=2, "
         "whenChangedFirst=1010, whenChangedLast=1015, keyCanonicalOld=NULL, user=root, process=vi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<OrvCore::XMLObjectList> list(c.make());
        EXPECT_EQ(U(list->GetElementName()), c.name);
        wxSQLite3ResultSet rows = Db().ExecuteQuery(c.sql);
        ASSERT_TRUE(list->SQLLoad(rows));
        ASSERT_EQ(list->GetCount(), c.rows);
        EXPECT_EQ(U(list->Children()[0]->Print()), c.firstRow);
    }
}

// ---------------------------------------------------------------- entity sets

TEST_F(SqlRows, EntitySetRowsAnswerTheirTypeBaseExpressionAndHierarchy)
{
    struct Case
    {
        const char* entityType;
        const char* table;
        bool hierarchical;
        const char* base;       // set through the row's setter; empty: none
        const char* regEx;      // likewise
        const char* matching;   // a key the compiled expression matches
        const char* different;  // a key it does not match
    } cases[] = {
        {"File", "FileSets", true, "/etc", "^/etc/[^/]*\\.conf$", "/etc/a.conf", "/etc/ssh/a.conf"},
        {"Directory", "DirectorySets", true, "/var", "^/var(/.*)?$", "/var/log", "/VAR/log"},
        {"RegistryKey", "RegistryKeySets", true, "HKLM\\Software", "^hklm\\\\software\\\\.*$",
         "HKLM\\SOFTWARE\\Vendor", "HKCU\\Software\\Vendor"},
        {"RegistryValue", "RegistryValueSets", true, "HKLM\\System", "^hklm\\\\system$", "HKLM\\SYSTEM",
         "HKLM\\Systems"},
        {"Group", "GroupSets", false, "", "", nullptr, nullptr},
        {"InstalledSoftware", "InstalledSoftwareSets", false, "", "", nullptr, nullptr},
        {"Port", "PortSets", false, "", "", nullptr, nullptr},
        {"Process", "ProcessSets", false, "", "", nullptr, nullptr},
        {"User", "UserSets", false, "", "", nullptr, nullptr},
        {"Service", "ServiceSets", false, "", "", nullptr, nullptr},
        {"Wql", "WqlSets", false, "", "", nullptr, nullptr},
    };
    ASSERT_EQ(SqlEntitySetTypes().size(), sizeof(cases) / sizeof(cases[0]));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entityType);
        std::unique_ptr<CSqlEntitySet> set = CreateSqlEntitySet(W(c.entityType));
        ASSERT_TRUE(set);
        EXPECT_EQ(U(set->GetEntityType()), c.entityType);
        EXPECT_EQ(U(set->GetElementName()), std::string(c.entityType) + "Set");
        EXPECT_EQ(U(set->GetTableName()), c.table);
        EXPECT_EQ(set->HasHierarchicalNames(), c.hierarchical);
        EXPECT_TRUE(set->m_onChange);
        set->m_integrityRuleId = 12;
        if (auto* dir = dynamic_cast<CSqlDirectoryEntitySet*>(set.get())) {
            dir->SetDirectory(W(c.base) + W("/"));
            dir->SetDirectorySearchBase(W(c.base));
            dir->SetDirectoryRegEx(W(c.regEx));
        } else if (auto* reg = dynamic_cast<CSqlRegistryEntitySet*>(set.get())) {
            reg->SetRegistryKey(W(c.base) + W("\\"));
            reg->SetRegistryKeySearchBase(W(c.base));
            reg->SetRegistryKeyRegEx(W(c.regEx));
        }
        // The setters compile at once, before any write.
        EXPECT_EQ(set->GetSearchRegEx() != nullptr, c.matching != nullptr);
        const long long id = set->SQLInsert(Db(), set->GetTableName());

        std::unique_ptr<OrvCore::XMLObjectList> list = CreateSqlEntitySetList(W(c.entityType));
        ASSERT_TRUE(list);
        EXPECT_EQ(U(list->GetElementName()), c.table);
        ASSERT_TRUE(list->SQLLoad(Db()));
        ASSERT_EQ(list->GetCount(), 1u);
        auto* read = dynamic_cast<CSqlEntitySet*>(list->Children()[0]);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->m_entitySetId, id);
        EXPECT_EQ(read->m_integrityRuleId, 12);
        EXPECT_EQ(U(read->GetEntityType()), c.entityType);
        EXPECT_EQ(U(read->GetSearchBase()), c.base);
        EXPECT_EQ(U(read->GetSearchRegExText()), c.regEx);
        EXPECT_EQ(read->HasHierarchicalNames(), c.hierarchical);
        if (c.matching == nullptr) {
            EXPECT_EQ(read->GetSearchRegEx(), nullptr);
        } else {
            ASSERT_NE(read->GetSearchRegEx(), nullptr);
            EXPECT_TRUE(read->GetSearchRegEx()->Matches(W(c.matching))) << c.matching;
            EXPECT_FALSE(read->GetSearchRegEx()->Matches(W(c.different))) << c.different;
        }
    }
    EXPECT_FALSE(CreateSqlEntitySet(W("file")));
    EXPECT_FALSE(CreateSqlEntitySetList(W("SharedDirectory")));
}

TEST_F(SqlRows, BaseEntitySetAnswersNothing)
{
    CSqlEntitySet set;
    EXPECT_EQ(U(set.GetEntityType()), "");
    EXPECT_EQ(U(set.GetSearchBase()), "");
    EXPECT_EQ(set.GetSearchRegEx(), nullptr);
    EXPECT_EQ(U(set.GetSearchRegExText()), "");
    EXPECT_FALSE(set.HasHierarchicalNames());
    EXPECT_EQ(U(set.GetElementName()), "EntitySet");
}

TEST_F(SqlRows, SetExpressionThatDoesNotCompileLeavesNoExpression)
{
    struct Case
    {
        const char* name;
        const char* regEx;
        bool compiled;
    } cases[] = {
        {"valid", "^/srv/.*$", true},
        {"unbalanced parenthesis", "^/srv/(a$", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqlDirectoryEntitySet set;
        set.SetDirectoryRegEx(W(c.regEx));
        EXPECT_EQ(set.GetSearchRegEx() != nullptr, c.compiled);
        EXPECT_FALSE(set.IsAttributeNull(&set.m_directoryRegEx));
        // A copy compiles its own; a reset drops it.
        CSqlDirectoryEntitySet copy;
        ASSERT_TRUE(copy.CopyFrom(set));
        EXPECT_EQ(copy.GetSearchRegEx() != nullptr, c.compiled);
        if (c.compiled) {
            EXPECT_NE(copy.GetSearchRegEx(), set.GetSearchRegEx());
        }
        copy.SetToDefaults();
        EXPECT_EQ(copy.GetSearchRegEx(), nullptr);
    }
}

TEST_F(SqlRows, SetterClearsTheNullFlag)
{
    struct Case
    {
        const char* name;
        std::function<void(CSqlFileEntitySet&)> set;
        const wxString CSqlFileEntitySet::*field;
    } cases[] = {
        {"directory", [](CSqlFileEntitySet& s) { s.SetDirectory(W("/etc/")); },
         &CSqlFileEntitySet::m_directory},
        {"search base", [](CSqlFileEntitySet& s) { s.SetDirectorySearchBase(W("/etc")); },
         &CSqlFileEntitySet::m_directorySearchBase},
        {"expression", [](CSqlFileEntitySet& s) { s.SetDirectoryRegEx(W("^/etc$")); },
         &CSqlFileEntitySet::m_directoryRegEx},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqlFileEntitySet set;
        set.SetAttributeNull(&(set.*c.field));
        c.set(set);
        EXPECT_FALSE(set.IsAttributeNull(&(set.*c.field)));
        EXPECT_FALSE((set.*c.field).empty());
    }
    CSqlRegistryKeyEntitySet registry;
    registry.SetAttributeNull(&registry.m_registryKey);
    registry.SetRegistryKey(W("HKLM\\Software\\"));
    EXPECT_FALSE(registry.IsAttributeNull(&registry.m_registryKey));
}

// ---------------------------------------------------------------- include/exclude patterns

TEST_F(SqlRows, IncludeExcludePatternCompilesWithTheCaseOfItsCode)
{
    struct Case
    {
        const char* name;
        const char* entityType;
        int code;
        const char* regEx;
        const char* key;
        bool matches;
        bool caseSensitive;
    } cases[] = {
        {"file, code 1: as written", "File", 1, "^Hosts\\.conf$", "hosts.conf", false, true},
        {"file, code 0: any case", "File", 0, "^Hosts\\.conf$", "hosts.conf", true, false},
        {"file, code 2: file keys are case-sensitive", "File", 2, "^Hosts\\.conf$", "hosts.conf", false,
         true},
        {"file, code 2, same case", "File", 2, "^Hosts\\.conf$", "Hosts.conf", true, true},
        {"directory, code 2", "Directory", 2, "^Etc$", "etc", false, true},
        {"user, code 2: platform rule", "User", 2, "^ADM.*$", "admin", false, true},
        {"installed software, code 2", "InstalledSoftware", 2, "^Foo$", "foo", false, true},
        {"installed software, code 0", "InstalledSoftware", 0, "^Foo$", "foo", true, false},
        {"registry key, code 2: not case-sensitive", "RegistryKey", 2, "^Run$", "RUN", true, false},
        {"registry key, code 1", "RegistryKey", 1, "^Run$", "RUN", false, true},
        {"service, code 2", "Service", 2, "^Spooler$", "spooler", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Db().ExecuteUpdate(wxT("DELETE FROM IncludeExcludes;"));
        CSqlIncludeExclude entry;
        entry.m_entityType = W(c.entityType);
        entry.m_entitySetId = 1;
        const long long entryId = entry.SQLInsert(Db(), CSqlIncludeExcludes::ElementName());
        CSqlPattern pattern;
        pattern.m_includeExcludeId = entryId;
        pattern.m_pattern = W("whatever");
        pattern.m_regExPattern = W(c.regEx);
        pattern.m_caseSensitive = c.code;
        pattern.SQLInsert(Db(), CSqlPatterns::ElementName());

        CSqlIncludeExcludePatterns patterns;
        ASSERT_TRUE(patterns.SQLLoad(Db()));
        ASSERT_EQ(patterns.GetCount(), 1u);
        const CSqlIncludeExcludePattern& row = *patterns.Item(0);
        EXPECT_EQ(U(row.m_entityType), c.entityType);
        ASSERT_NE(row.GetRegEx(), nullptr);
        EXPECT_EQ(row.GetRegEx()->Matches(W(c.key)), c.matches);
        EXPECT_EQ(row.IsCaseSensitive(EntityTypeKeysAreCaseSensitive(row.m_entityType)), c.caseSensitive);
    }
}

TEST_F(SqlRows, IncludeExcludePatternSplitsItsPatternIntoComponents)
{
    struct Case
    {
        const char* pattern;
        const char* regEx;
        std::vector<std::string> components;
        bool compiled;
    } cases[] = {
        {"*.conf", "^[^/]*\\.conf$", {"*.conf"}, true},
        {"**/x.conf", "^(.*/)?x\\.conf$", {"**", "x.conf"}, true},
        {"/etc//ssh/*", "^etc/ssh/[^/]*$", {"etc", "ssh", "*"}, true},
        {"a/./../b/", "", {"a", ".", "..", "b"}, false},
        {"", "", {}, false},
        {"bad", "([", {"bad"}, false},
    };
    long long entryId = 0;
    {
        CSqlIncludeExclude entry;
        entry.m_entityType = W("File");
        entry.m_entitySetId = 3;
        entryId = entry.SQLInsert(Db(), CSqlIncludeExcludes::ElementName());
    }
    for (const Case& c : cases) {
        CSqlPattern pattern;
        pattern.m_includeExcludeId = entryId;
        pattern.m_pattern = W(c.pattern);
        pattern.m_regExPattern = W(c.regEx);
        pattern.m_caseSensitive = 2;
        pattern.SQLInsert(Db(), CSqlPatterns::ElementName());
    }
    CSqlIncludeExcludePatterns patterns;
    ASSERT_TRUE(patterns.SQLLoad(Db()));
    ASSERT_EQ(patterns.GetCount(), sizeof(cases) / sizeof(cases[0]));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("pattern '") + c.pattern + "'");
        const CSqlIncludeExcludePattern* found = nullptr;
        for (size_t i = 0; i < patterns.GetCount(); ++i) {
            if (U(patterns.Item(i)->m_pattern) == c.pattern) found = patterns.Item(i);
        }
        ASSERT_NE(found, nullptr);
        const CSqlIncludeExcludePattern& row = *found;
        std::vector<std::string> components;
        for (const wxString& piece : row.GetPatternComponents()) components.push_back(U(piece));
        EXPECT_EQ(components, c.components);
        EXPECT_EQ(row.GetRegEx() != nullptr, c.compiled);
        // A copy holds its own compiled expression and components.
        CSqlIncludeExcludePattern copy;
        ASSERT_TRUE(copy.CopyFrom(row));
        EXPECT_EQ(copy.GetRegEx() != nullptr, c.compiled);
        EXPECT_EQ(copy.GetPatternComponents().size(), c.components.size());
    }
}

// ---------------------------------------------------------------- dependent rows

TEST_F(SqlRows, DeletingAnOwnerDeletesItsDependentRows)
{
    // Two rules, each with a file set and a user set, each set with one entry
    // with a pattern and a feature; two entities with two attributes; two
    // real-time changes with two details.
    for (int rule = 1; rule <= 2; ++rule) {
        CSqlIntegrityRule row;
        row.m_integrityRuleId = rule;
        row.SQLInsert(Db(), CSqlIntegrityRules::ElementName());
        for (const char* type : {"File", "User"}) {
            std::unique_ptr<CSqlEntitySet> set = CreateSqlEntitySet(W(type));
            set->m_integrityRuleId = rule;
            const long long setId = set->SQLInsert(Db(), set->GetTableName());
            CSqlIncludeExclude entry;
            entry.m_entityType = W(type);
            entry.m_entitySetId = setId;
            const long long entryId = entry.SQLInsert(Db(), CSqlIncludeExcludes::ElementName());
            CSqlPattern pattern;
            pattern.m_includeExcludeId = entryId;
            pattern.SQLInsert(Db(), CSqlPatterns::ElementName());
            CSqlFeature feature;
            feature.m_includeExcludeId = entryId;
            feature.SQLInsert(Db(), CSqlFeatures::ElementName());
        }
    }
    for (int i = 0; i < 2; ++i) {
        CSqlEntity entity;
        entity.m_entityType = W("File");
        const long long entityId = entity.SQLInsert(Db(), CSqlEntitys::ElementName());
        CSqlRealtimeChange change;
        change.m_entityType = W("File");
        const long long changeId = change.SQLInsert(Db(), CSqlRealtimeChanges::ElementName());
        for (int j = 0; j < 2; ++j) {
            CSqlAttribute attribute;
            attribute.m_entityId = entityId;
            attribute.SQLInsert(Db(), CSqlAttributes::ElementName());
            CSqlChangeDetail detail;
            detail.m_realtimeChangeId = changeId;
            detail.SQLInsert(Db(), CSqlChangeDetails::ElementName());
        }
    }

    const wxString counts = wxT(
        "SELECT (SELECT count(*) FROM IntegrityRules) || ' ' || (SELECT count(*) FROM FileSets) || ' ' || "
        "(SELECT count(*) FROM UserSets) || ' ' || (SELECT count(*) FROM IncludeExcludes) || ' ' || "
        "(SELECT count(*) FROM Patterns) || ' ' || (SELECT count(*) FROM Features) || ' ' || "
        "(SELECT count(*) FROM Entitys) || ' ' || (SELECT count(*) FROM Attributes) || ' ' || "
        "(SELECT count(*) FROM RealtimeChanges) || ' ' || (SELECT count(*) FROM ChangeDetails);");
    struct Case
    {
        const char* name;
        const char* sql;
        const char* counts;  // rules, file sets, user sets, entries, patterns, features, entities,
                             // attributes, changes, details
    } cases[] = {
        {"nothing deleted yet", "", "2 2 2 4 4 4 2 4 2 4"},
        {"an entity version", "DELETE FROM Entitys WHERE entityId=1;", "2 2 2 4 4 4 1 2 2 4"},
        {"a real-time change", "DELETE FROM RealtimeChanges WHERE realtimeChangeId=2;",
         "2 2 2 4 4 4 1 2 1 2"},
        {"an entry", "DELETE FROM IncludeExcludes WHERE includeExcludeId=1;", "2 2 2 3 3 3 1 2 1 2"},
        {"a set", "DELETE FROM UserSets WHERE integrityRuleId=2;", "2 2 1 2 2 2 1 2 1 2"},
        {"a rule", "DELETE FROM IntegrityRules WHERE integrityRuleId=1;", "1 1 0 1 1 1 1 2 1 2"},
        {"all rules", "DELETE FROM IntegrityRules;", "0 0 0 0 0 0 1 2 1 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (*c.sql) Db().ExecuteUpdate(W(c.sql));
        EXPECT_EQ(U(QueryText(Db(), counts)), c.counts);
    }
    // The surviving entity's attributes and change's details are its own.
    EXPECT_EQ(QueryInt(Db(), wxT("SELECT count(*) FROM Attributes WHERE entityId=2;")), 2);
    EXPECT_EQ(QueryInt(Db(), wxT("SELECT count(*) FROM ChangeDetails WHERE realtimeChangeId=1;")), 2);
}

TEST_F(SqlRows, ChangeJournalCopiedFromTheSchemaDeletesDetailsWithTheirChange)
{
    // A change waiting in the main database when the journal is set up.
    Db().ExecuteUpdate(wxT("INSERT INTO main.RealtimeChanges (entityType) VALUES ('File');"));
    Db().ExecuteUpdate(wxT("INSERT INTO main.ChangeDetails (realtimeChangeId) VALUES (1);"));
    m_db->AttachDatabase(wxT(":memory:"), wxT("onChange"));
    m_db->CloneTableSchema(CSqlRealtimeChanges::ElementName(), wxT("onChange"), true);
    m_db->CloneTableSchema(CSqlChangeDetails::ElementName(), wxT("onChange"), false);
    struct Case
    {
        const char* name;
        const char* sql;
        long long journalDetails;
        long long mainDetails;
    } cases[] = {
        {"change in journal", "INSERT INTO onChange.RealtimeChanges (entityType) VALUES ('File');", 0, 1},
        {"details in journal",
         "INSERT INTO onChange.ChangeDetails (realtimeChangeId) VALUES (2); "
         "INSERT INTO onChange.ChangeDetails (realtimeChangeId) VALUES (2);",
         2, 1},
        {"journal change deleted", "DELETE FROM onChange.RealtimeChanges WHERE realtimeChangeId=2;", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Db().ExecuteUpdate(W(c.sql));
        EXPECT_EQ(QueryInt(Db(), wxT("SELECT count(*) FROM onChange.ChangeDetails;")), c.journalDetails);
        EXPECT_EQ(QueryInt(Db(), wxT("SELECT count(*) FROM main.ChangeDetails;")), c.mainDetails);
    }
    // Journal ids continue above main's.
    EXPECT_EQ(QueryInt(Db(), wxT("SELECT max(realtimeChangeId) FROM onChange.RealtimeChanges;")), -1);
    Db().ExecuteUpdate(wxT("INSERT INTO onChange.RealtimeChanges (entityType) VALUES ('File');"));
    EXPECT_EQ(QueryInt(Db(), wxT("SELECT max(realtimeChangeId) FROM onChange.RealtimeChanges;")), 3);
}

// ---------------------------------------------------------------- ids

TEST_F(SqlRows, IdsAreNeverReusedAfterTheHighestRowIsDeleted)
{
    for (const TableCase& c : AllTables()) {
        std::unique_ptr<XMLObject> probe(c.make());
        if (probe->GetKeyAttribute() == nullptr) continue;
        SCOPED_TRACE(c.expectedTable);
        std::vector<long long> ids;
        for (int i = 0; i < 3; ++i) {
            std::unique_ptr<XMLObject> row(c.make());
            ids.push_back(row->SQLInsert(Db(), c.table));
            if (i == 2) {
                EXPECT_EQ(row->SQLDelete(Db(), c.table), 1);
            }
        }
        EXPECT_EQ(ids, (std::vector<long long>{1, 2, 3}));
        std::unique_ptr<XMLObject> next(c.make());
        EXPECT_EQ(next->SQLInsert(Db(), c.table), 4);
        // Also across a reopening of the file.
        m_db->Close();
        m_db = OpenDb(m_path);
        ASSERT_TRUE(m_db);
        Db().ExecuteUpdate(wxT("DELETE FROM [") + c.table + wxT("] WHERE rowid=4;"));
        std::unique_ptr<XMLObject> after(c.make());
        EXPECT_EQ(after->SQLInsert(Db(), c.table), 5);
    }
}

// ---------------------------------------------------------------- schema

namespace {

class Schema : public ::testing::Test
{
  protected:
    std::string Path() const { return m_dir / "si.db"; }

    TempDir m_dir;
};

}  // namespace

TEST_F(Schema, NewFileGetsEveryTableViewIndexAndTrigger)
{
    std::unique_ptr<CSqliteDatabase> db = OpenDb(Path());
    ASSERT_TRUE(db);
    EXPECT_EQ(GetSystemIntegritySchemaVersion(db->Db()), 0);
    wxString error;
    ASSERT_TRUE(EnsureSystemIntegritySchema(db->Db(), error)) << U(error);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(GetSystemIntegritySchemaVersion(db->Db()), kSystemIntegritySchemaVersion);

    std::set<std::string> tables, views;
    std::map<std::string, int> counts;
    wxSQLite3ResultSet rows = db->Db().ExecuteQuery(wxT("SELECT type, name FROM sqlite_master;"));
    while (rows.NextRow()) {
        ++counts[U(rows.GetString(0))];
        if (rows.GetString(0) == wxT("table")) tables.insert(U(rows.GetString(1)));
        if (rows.GetString(0) == wxT("view")) views.insert(U(rows.GetString(1)));
    }
    for (const TableCase& c : AllTables()) EXPECT_EQ(tables.count(c.expectedTable), 1u) << c.expectedTable;
    EXPECT_EQ(views, (std::set<std::string>{"EntityAttributes", "IncludeExcludeFeatures",
                                            "IncludeExcludePatterns", "RealtimeChangeDetails"}));
    // The tables of AllTables and SQLite's own sequence table.
    EXPECT_EQ(counts["table"], static_cast<int>(AllTables().size()) + 1);
    for (const SystemIntegritySchemaObject& object : SystemIntegritySchemaObjects()) {
        SCOPED_TRACE(U(object.type + wxT(" ") + object.name));
        wxSQLite3Statement find =
            db->Db().PrepareStatement(wxT("SELECT type FROM sqlite_master WHERE name=?1;"));
        find.Bind(1, object.name);
        wxSQLite3ResultSet found = find.ExecuteQuery();
        ASSERT_TRUE(found.NextRow());
        EXPECT_EQ(found.GetString(0), object.type);
    }

    // The controller finds the set tables, and only those, by name.
    std::set<std::string> setTables;
    wxSQLite3ResultSet sets = db->Db().ExecuteQuery(
        wxT("SELECT NAME FROM sqlite_master WHERE TYPE='table' AND NAME GLOB '*Sets';"));
    while (sets.NextRow()) setTables.insert(U(sets.GetString(0)));
    std::set<std::string> expected;
    for (const wxString& type : SqlEntitySetTypes()) expected.insert(U(type) + "Sets");
    EXPECT_EQ(setTables, expected);
}

TEST_F(Schema, IndicesServeTheLookupsOfTheirStatements)
{
    std::unique_ptr<CSqliteDatabase> db = OpenDb(Path());
    ASSERT_TRUE(db);
    wxString error;
    ASSERT_TRUE(EnsureSystemIntegritySchema(db->Db(), error)) << U(error);
    struct Case
    {
        const char* name;
        const char* sql;
        const char* index;  // the plan must use it
    } cases[] = {
        {"previous version",
         "SELECT * FROM Entitys WHERE entityId<?1 AND keyCanonical=?2 AND supercededBy=0 AND "
         "entityType=?3 AND entitySetId=?4 AND integrityRuleId=?5 LIMIT 1;",
         "Entitys_keyCanonical_entityType_entitySetId_integrityRuleId_supercededBy"},
        {"current version in any set",
         "SELECT * FROM Entitys WHERE entityType=?1 AND keyCanonical=?2 AND "
         "supercededBy ISNULL;",
         "Entitys_keyCanonical_entityType_entitySetId_integrityRuleId_supercededBy"},
        {"resume in key order",
         "SELECT * FROM Entitys NATURAL JOIN FileSets WHERE entityId>?1 AND "
         "keyCanonical>?2 AND entityType=?3 ORDER BY keyCanonical;",
         "Entitys_keyCanonical_entityType_entitySetId_integrityRuleId_supercededBy"},
        {"same content digest",
         "SELECT entityId FROM EntityAttributes WHERE entityId<?1 AND entityType=?2 AND "
         "name=?3 AND value=?4 AND (supercededBy=0 OR supercededBy ISNULL);",
         "Attributes_value"},
        {"new rows pointing to an old one", "SELECT * FROM Entitys WHERE entityId>=100 AND supercededBy=55;",
         "Entitys_supercededBy_entityType"},
        {"reset of current versions",
         "UPDATE Entitys SET supercededBy=0 WHERE entityType='File' AND "
         "supercededBy ISNULL AND entityId<100;",
         "Entitys_supercededBy_entityType"},
        {"rules without entities",
         "SELECT integrityRuleId, name FROM (SELECT * FROM IntegrityRules NATURAL LEFT "
         "JOIN Entitys WHERE supercededBy IS NULL) WHERE entityId IS NULL;",
         "Entitys_integrityRuleId_supercededBy"},
        {"attributes of a version", "SELECT * FROM Attributes WHERE entityId=?1 ORDER BY name, entityId;",
         "Attributes_entityId_name"},
        {"one attribute", "SELECT * FROM Attributes WHERE entityId=?1 AND name=?2;",
         "Attributes_entityId_name"},
        {"change records of a key",
         "SELECT * FROM RealtimeChangeDetails WHERE entityType=?1 AND keyCanonical=?2 "
         "ORDER BY whenChangedFirst;",
         "ChangeDetails_realtimeChangeId_whenChangedFirst"},
        {"processed records of a key", "DELETE FROM RealtimeChanges WHERE entityType=?1 AND keyCanonical=?2;",
         "RealtimeChanges_entityType_keyCanonical"},
        {"patterns of a set",
         "SELECT * FROM IncludeExcludePatterns WHERE entitySetId=?1 AND entityType=?2 ORDER "
         "BY includeExcludeId, exclude;",
         "IncludeExcludes_entitySetId_entityType"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wxString plan;
        wxSQLite3ResultSet rows = db->Db().ExecuteQuery(W("EXPLAIN QUERY PLAN ") + W(c.sql));
        while (rows.NextRow()) plan << rows.GetAsString(3) << wxT("\n");
        EXPECT_NE(plan.find(W(c.index)), wxString::npos) << U(plan);
        EXPECT_EQ(plan.find(wxT("SCAN Entitys")), wxString::npos) << U(plan);
        EXPECT_EQ(plan.find(wxT("SCAN Attributes")), wxString::npos) << U(plan);
    }
}

TEST_F(Schema, ReopeningAFileOfThisVersionLeavesItUnchanged)
{
    std::string schemaBefore;
    {
        std::unique_ptr<CSqliteDatabase> db = OpenDb(Path());
        ASSERT_TRUE(db);
        wxString error;
        ASSERT_TRUE(EnsureSystemIntegritySchema(db->Db(), error)) << U(error);
        CSqlEntity entity;
        entity.m_entityType = W("File");
        entity.m_keyCanonical = W("/etc/h\xc3\xb6sts");
        entity.SetAttributeHash(std::string("\x01\x02", 2));
        entity.SQLInsert(db->Db(), CSqlEntitys::ElementName());
        CSqlAttribute attribute;
        attribute.m_entityId = entity.m_entityId;
        attribute.m_name = W("size");
        attribute.m_value = W("0017");
        attribute.SQLInsert(db->Db(), CSqlAttributes::ElementName());
        schemaBefore = SchemaText(db->Db());
    }
    const std::string bytesBefore = OrvTest::ReadFile(Path());
    struct Case
    {
        const char* name;
    } cases[] = {{"first reopening"}, {"second reopening"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::unique_ptr<CSqliteDatabase> db = OpenDb(Path());
            ASSERT_TRUE(db);
            const long long schemaVersion = QueryInt(db->Db(), wxT("PRAGMA schema_version;"));
            wxString error;
            ASSERT_TRUE(EnsureSystemIntegritySchema(db->Db(), error)) << U(error);
            EXPECT_EQ(QueryInt(db->Db(), wxT("PRAGMA schema_version;")), schemaVersion);
            EXPECT_EQ(SchemaText(db->Db()), schemaBefore);
            CSqlEntitys entitys;
            ASSERT_TRUE(entitys.SQLLoad(db->Db()));
            ASSERT_EQ(entitys.GetCount(), 1u);
            EXPECT_EQ(U(entitys.Item(0)->m_keyCanonical), "/etc/h\xc3\xb6sts");
            EXPECT_EQ(entitys.Item(0)->m_attributeHash, std::string("\x01\x02", 2));
            CSqlAttributes attributes;
            ASSERT_TRUE(attributes.SQLLoad(db->Db()));
            ASSERT_EQ(attributes.GetCount(), 1u);
            EXPECT_EQ(U(attributes.Item(0)->m_value), "0017");
        }
        EXPECT_TRUE(OrvTest::ReadFile(Path()) == bytesBefore);
    }
}

TEST_F(Schema, UnknownFilesAreRefusedAndLeftByteIdentical)
{
    struct Case
    {
        const char* name;
        std::function<void(wxSQLite3Database&)> prepare;
        const char* errorPart;
    } cases[] = {
        {"newer version",
         [](wxSQLite3Database& db) {
             wxString error;
             ASSERT_TRUE(EnsureSystemIntegritySchema(db, error));
             db.ExecuteUpdate(wxT("PRAGMA user_version=2;"));
         },
         "schema version 2"},
        {"much newer version without our tables",
         [](wxSQLite3Database& db) {
             db.ExecuteUpdate(wxT("CREATE TABLE Things (a, b);"));
             db.ExecuteUpdate(wxT("PRAGMA user_version=77;"));
         },
         "schema version 77"},
        {"negative version",
         [](wxSQLite3Database& db) {
             wxString error;
             ASSERT_TRUE(EnsureSystemIntegritySchema(db, error));
             db.ExecuteUpdate(wxT("PRAGMA user_version=-1;"));
         },
         "schema version -1"},
        {"version 0 with other tables",
         [](wxSQLite3Database& db) {
             db.ExecuteUpdate(wxT("CREATE TABLE Entitys (x);"));
             db.ExecuteUpdate(wxT("INSERT INTO Entitys VALUES (1);"));
         },
         "no integrity database schema version"},
        {"this version without a view",
         [](wxSQLite3Database& db) {
             wxString error;
             ASSERT_TRUE(EnsureSystemIntegritySchema(db, error));
             db.ExecuteUpdate(wxT("DROP VIEW EntityAttributes;"));
         },
         "lacks the view EntityAttributes"},
        {"this version without an index",
         [](wxSQLite3Database& db) {
             wxString error;
             ASSERT_TRUE(EnsureSystemIntegritySchema(db, error));
             db.ExecuteUpdate(wxT("DROP INDEX Attributes_value;"));
         },
         "lacks the index Attributes_value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "si.db";
        {
            std::unique_ptr<CSqliteDatabase> db = OpenDb(path);
            ASSERT_TRUE(db);
            c.prepare(db->Db());
        }
        const std::string before = OrvTest::ReadFile(path);
        ASSERT_FALSE(before.empty());
        {
            std::unique_ptr<CSqliteDatabase> db = OpenDb(path);
            ASSERT_TRUE(db);
            const std::string schemaBefore = SchemaText(db->Db());
            wxString error;
            EXPECT_FALSE(EnsureSystemIntegritySchema(db->Db(), error));
            EXPECT_NE(U(error).find(c.errorPart), std::string::npos) << U(error);
            EXPECT_EQ(SchemaText(db->Db()), schemaBefore);
            EXPECT_FALSE(db->IsInTransaction());
        }
        EXPECT_TRUE(OrvTest::ReadFile(path) == before) << "the file was modified";
    }
}

TEST_F(Schema, CreationJoinsTheCallersTransaction)
{
    struct Case
    {
        const char* name;
        bool commit;
        int version;
        long long tables;
    } cases[] = {{"rolled back with the caller", false, 0, 0},
                 {"committed with the caller", true, kSystemIntegritySchemaVersion, 25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::unique_ptr<CSqliteDatabase> db = OpenDb(dir / "si.db");
        ASSERT_TRUE(db);
        db->Begin();
        wxString error;
        ASSERT_TRUE(EnsureSystemIntegritySchema(db->Db(), error)) << U(error);
        EXPECT_TRUE(db->IsInTransaction());
        if (c.commit)
            db->Commit();
        else
            db->Rollback();
        EXPECT_EQ(GetSystemIntegritySchemaVersion(db->Db()), c.version);
        EXPECT_EQ(QueryInt(db->Db(), wxT("SELECT count(*) FROM sqlite_master WHERE type='table';")),
                  c.tables);
    }
}

TEST_F(Schema, CreateTableStatementComesFromTheDeclarations)
{
    struct Case
    {
        const char* name;
        std::function<XMLObject*()> make;
        const char* table;
        const char* sql;
    } cases[] = {
        {"keyed row", [] { return new CSqlRealtimeChange; }, "T1",
         "CREATE TABLE [T1] ([realtimeChangeId] INTEGER PRIMARY KEY AUTOINCREMENT,[entityType] TEXT,"
         "[keyCanonical] TEXT,[entitySetIds] TEXT);"},
        {"row without key", [] { return new CSqlScanIntegrityRuleId; }, "T2",
         "CREATE TABLE [T2] ([scanId] INTEGER,[integrityRuleId] INTEGER);"},
        {"row with blob and int32", [] { return new CSqlEntity; }, "T3",
         "CREATE TABLE [T3] ([entityId] INTEGER PRIMARY KEY AUTOINCREMENT,[entityType] TEXT,[entitySetId] "
         "INTEGER,"
         "[integrityRuleId] INTEGER,[integrityRuleSeverity] INTEGER,[keyCanonical] TEXT,[key] "
         "TEXT,[whenScanned] "
         "INTEGER,[attributeHash] BLOB,[supercededBy] INTEGER,[eventDropped] INTEGER);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<XMLObject> row(c.make());
        EXPECT_EQ(U(SqlCreateTableStatement(*row, W(c.table))), c.sql);
    }
}
