// Schema of si.db: generation from the row classes, creation, checking and
// in-place upgrade.
#include "plugins/im/SystemIntegrityDbSchema.h"

#include <sys/stat.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <utility>

#include "core/Log.h"
#include "core/SqliteDatabase.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"

namespace OrvPluginIm {

namespace {

const char* const kComponent = "orp.im.db";

wxString Quote(const wxString& name)
{
    return wxT("[") + name + wxT("]");
}

// A text literal for SQL: internal names only (entity type names).
wxString Literal(const wxString& text)
{
    wxString escaped(text);
    escaped.Replace(wxT("'"), wxT("''"));
    return wxT("'") + escaped + wxT("'");
}

const wxString& ColumnType(OrvCore::XMLAttrType type)
{
    static const wxString* integer = new wxString(wxT("INTEGER"));
    static const wxString* text = new wxString(wxT("TEXT"));
    static const wxString* blob = new wxString(wxT("BLOB"));
    switch (type) {
        case OrvCore::XMLAttrType::Text:
            return *text;
        case OrvCore::XMLAttrType::Blob:
            return *blob;
        case OrvCore::XMLAttrType::Int64:
        case OrvCore::XMLAttrType::Int32:
        case OrvCore::XMLAttrType::Bool:
            break;
    }
    return *integer;
}

bool Declares(const OrvCore::XMLObject& row, const wxString& column)
{
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        if (row.GetAttributeAt(i).decl->name == column) return true;
    }
    return false;
}

class SchemaBuilder
{
  public:
    std::vector<SystemIntegritySchemaObject> objects;

    void Table(const OrvCore::XMLObject& row, const wxString& table)
    {
        Add(wxT("table"), table, SqlCreateTableStatement(row, table));
    }

    // An index on columns of table, named after them.
    void Index(const wxString& table, std::initializer_list<wxString> columns)
    {
        wxString name = table;
        wxString list;
        for (const wxString& column : columns) {
            name << wxT('_') << column;
            if (!list.empty()) list << wxT(',');
            list << Quote(column);
        }
        Add(wxT("index"), name,
            wxT("CREATE INDEX ") + Quote(name) + wxT(" ON ") + Quote(table) + wxT(" (") + list + wxT(");"));
    }

    // A view over left joined with right on joinColumn. Its columns are the
    // attributes declared by viewRow, in order, each taken from left when
    // left's row declares it and from right otherwise.
    void JoinView(const OrvCore::XMLObject& viewRow, const wxString& view, const OrvCore::XMLObject& leftRow,
                  const wxString& left, const OrvCore::XMLObject& rightRow, const wxString& right,
                  const wxString& joinColumn)
    {
        wxString columns;
        for (size_t i = 0; i < viewRow.GetAttributeCount(); ++i) {
            const wxString& column = viewRow.GetAttributeAt(i).decl->name;
            wxString source;
            if (Declares(leftRow, column)) {
                source = left;
            } else if (Declares(rightRow, column)) {
                source = right;
            } else {
                throw wxSQLite3Exception(
                    WXSQLITE_ERROR,
                    wxString::Format(wxT("view %s: no table has the column %s"), view, column));
            }
            if (!columns.empty()) columns << wxT(',');
            columns << Quote(source) << wxT('.') << Quote(column) << wxT(" AS ") << Quote(column);
        }
        Add(wxT("view"), view,
            wxT("CREATE VIEW ") + Quote(view) + wxT(" AS SELECT ") + columns + wxT(" FROM ") + Quote(left) +
                wxT(" INNER JOIN ") + Quote(right) + wxT(" ON ") + Quote(left) + wxT('.') +
                Quote(joinColumn) + wxT('=') + Quote(right) + wxT('.') + Quote(joinColumn) + wxT(";"));
    }

    // A trigger that runs body (statements that may use OLD) after each
    // delete from table.
    void AfterDelete(const wxString& table, const wxString& what, const wxString& body)
    {
        const wxString name = table + wxT("_Delete") + what;
        Add(wxT("trigger"), name,
            wxT("CREATE TRIGGER ") + Quote(name) + wxT(" AFTER DELETE ON ") + Quote(table) + wxT(" BEGIN ") +
                body + wxT(" END;"));
    }

  private:
    void Add(const wxString& type, const wxString& name, const wxString& sql)
    {
        objects.push_back(SystemIntegritySchemaObject{type, name, sql});
    }
};

// "DELETE FROM [table] WHERE [column]=OLD.[ownerColumn]" plus an extra condition.
wxString DeleteDependents(const wxString& table, const wxString& column, const wxString& ownerColumn,
                          const wxString& extra = wxString())
{
    return wxT("DELETE FROM ") + Quote(table) + wxT(" WHERE ") + Quote(column) + wxT("=OLD.") +
           Quote(ownerColumn) + extra + wxT(";");
}

// Upgrade steps: kUpgradeSteps[v - 1] takes a file from version v to v + 1.
// Version 1 is the first; a later version appends its step here.
const std::vector<std::function<void(wxSQLite3Database&)>>& UpgradeSteps()
{
    static const auto* steps = new std::vector<std::function<void(wxSQLite3Database&)>>();
    return *steps;
}

// (type, name) of every object in the main database.
std::map<wxString, wxString> ExistingObjects(wxSQLite3Database& db)
{
    std::map<wxString, wxString> objects;
    wxSQLite3ResultSet rows = db.ExecuteQuery(wxT("SELECT name, type FROM main.sqlite_master;"));
    while (rows.NextRow()) objects[rows.GetString(0).Lower()] = rows.GetString(1);
    return objects;
}

// Empty when the file holds every object of the current schema, else the first missing one.
wxString FindMissingObject(wxSQLite3Database& db)
{
    const std::map<wxString, wxString> existing = ExistingObjects(db);
    for (const SystemIntegritySchemaObject& object : SystemIntegritySchemaObjects()) {
        auto found = existing.find(object.name.Lower());
        if (found == existing.end() || found->second != object.type)
            return object.type + wxT(" ") + object.name;
    }
    return wxString();
}

enum class Plan
{
    Keep,
    Create,
    Upgrade,
    Refuse
};

// What to do with a file of version holding objectCount objects; error
// explains a refusal.
Plan Decide(wxSQLite3Database& db, int version, int objectCount, wxString& error)
{
    if (version == kSystemIntegritySchemaVersion) {
        const wxString missing = FindMissingObject(db);
        if (missing.empty()) return Plan::Keep;
        error =
            wxString::Format(wxT("the integrity database has schema version %d but lacks the %s; it is left "
                                 "unchanged"),
                             version, missing);
        return Plan::Refuse;
    }
    if (version > kSystemIntegritySchemaVersion || version < 0) {
        error =
            wxString::Format(wxT("the integrity database has schema version %d, which this program (schema "
                                 "version %d) does not know; it is left unchanged"),
                             version, kSystemIntegritySchemaVersion);
        return Plan::Refuse;
    }
    if (version == 0) {
        if (objectCount == 0) return Plan::Create;
        error =
            wxString::Format(wxT("the file holds %d schema objects but no integrity database schema version; "
                                 "it is left unchanged"),
                             objectCount);
        return Plan::Refuse;
    }
    return Plan::Upgrade;
}

int CountObjects(wxSQLite3Database& db)
{
    return db.ExecuteScalar(wxT("SELECT count(*) FROM main.sqlite_master;"));
}

}  // namespace

wxString SqlCreateTableStatement(const OrvCore::XMLObject& row, const wxString& table)
{
    wxString columns;
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        const OrvCore::XMLObject::AttributeDecl& decl = *row.GetAttributeAt(i).decl;
        if (!columns.empty()) columns << wxT(',');
        columns << Quote(decl.name) << wxT(' ');
        if (OrvCore::HasFlag(decl.flags, OrvCore::XMLAttr::Key) &&
            &row.GetAttributeAt(i) == row.GetKeyAttribute())
            columns << wxT("INTEGER PRIMARY KEY AUTOINCREMENT");
        else
            columns << ColumnType(decl.type);
    }
    return wxT("CREATE TABLE ") + Quote(table) + wxT(" (") + columns + wxT(");");
}

std::vector<SystemIntegritySchemaObject> SystemIntegritySchemaObjects()
{
    SchemaBuilder schema;

    const CSqlAttribute attribute;
    const CSqlChangeDetail changeDetail;
    const CSqlEntity entity;
    const CSqlFeature feature;
    const CSqlIncludeExclude includeExclude;
    const CSqlIntegrityEvent event;
    const CSqlIntegrityRule rule;
    const CSqlPattern pattern;
    const CSqlRealtimeChange realtimeChange;
    const CSqlScan scan;
    const CSqlScanEntitySetId scanEntitySetId;
    const CSqlScanIntegrityRuleId scanIntegrityRuleId;
    const CSqlSubscan subscan;

    const wxString attributes = CSqlAttributes::ElementName();
    const wxString changeDetails = CSqlChangeDetails::ElementName();
    const wxString entitys = CSqlEntitys::ElementName();
    const wxString features = CSqlFeatures::ElementName();
    const wxString includeExcludes = CSqlIncludeExcludes::ElementName();
    const wxString events = CSqlIntegrityEvents::ElementName();
    const wxString rules = CSqlIntegrityRules::ElementName();
    const wxString patterns = CSqlPatterns::ElementName();
    const wxString realtimeChanges = CSqlRealtimeChanges::ElementName();
    const wxString scans = CSqlScans::ElementName();
    const wxString scanEntitySetIds = CSqlScanEntitySetIds::ElementName();
    const wxString scanIntegrityRuleIds = CSqlScanIntegrityRuleIds::ElementName();
    const wxString subscans = CSqlSubscans::ElementName();

    // ---- tables
    schema.Table(attribute, attributes);
    schema.Table(changeDetail, changeDetails);
    schema.Table(entity, entitys);
    schema.Table(feature, features);
    schema.Table(includeExclude, includeExcludes);
    schema.Table(event, events);
    schema.Table(rule, rules);
    schema.Table(pattern, patterns);
    schema.Table(realtimeChange, realtimeChanges);
    schema.Table(scan, scans);
    schema.Table(scanEntitySetId, scanEntitySetIds);
    schema.Table(scanIntegrityRuleId, scanIntegrityRuleIds);
    schema.Table(subscan, subscans);
    std::vector<std::unique_ptr<CSqlEntitySet>> sets;
    for (const wxString& type : SqlEntitySetTypes()) {
        sets.push_back(CreateSqlEntitySet(type));
        schema.Table(*sets.back(), sets.back()->GetTableName());
    }

    // ---- indices. SQLite appends the row id (entityId, attributeId, ...) to
    // every index, so a range or order on the id follows an equality prefix.
    auto name = [](const OrvCore::XMLObject& row, const void* field) { return row.GetAttributeName(field); };
    // Per key: previous, current and live versions of a key in one set and
    // rule; the current version of a key in any set; the resumable
    // gathering query (keyCanonical order after a checkpoint).
    schema.Index(entitys, {name(entity, &entity.m_keyCanonical), name(entity, &entity.m_entityType),
                           name(entity, &entity.m_entitySetId), name(entity, &entity.m_integrityRuleId),
                           name(entity, &entity.m_supercededBy)});
    // Per state of the chain: the provisional rename links pointing to one
    // old version (supercededBy=id), and per type the current (NULL) and
    // unconfirmed (0) versions below a scan's starting id (reset, baseline
    // deprecation, delete detection); the history purges (-1, >0).
    schema.Index(entitys, {name(entity, &entity.m_supercededBy), name(entity, &entity.m_entityType)});
    // Per rule: the controller's rules-without-current-entities query and the
    // deprecation of a retired rule's current versions.
    schema.Index(entitys, {name(entity, &entity.m_integrityRuleId), name(entity, &entity.m_supercededBy)});
    // The attributes of one version in name order (digest, copy, one
    // attribute, two versions interleaved).
    schema.Index(attributes, {name(attribute, &attribute.m_entityId), name(attribute, &attribute.m_name)});
    // Rename detection: older versions with the same content digest value.
    schema.Index(attributes, {name(attribute, &attribute.m_value)});
    // The journal row of a key; the processed records of a key.
    schema.Index(realtimeChanges, {name(realtimeChange, &realtimeChange.m_entityType),
                                   name(realtimeChange, &realtimeChange.m_keyCanonical)});
    // The details of one change in time order.
    schema.Index(changeDetails, {name(changeDetail, &changeDetail.m_realtimeChangeId),
                                 name(changeDetail, &changeDetail.m_whenChangedFirst)});
    // The entries of one set; the patterns and features of one entry.
    schema.Index(includeExcludes, {name(includeExclude, &includeExclude.m_entitySetId),
                                   name(includeExclude, &includeExclude.m_entityType)});
    schema.Index(patterns, {name(pattern, &pattern.m_includeExcludeId)});
    schema.Index(features, {name(feature, &feature.m_includeExcludeId)});
    // Events of a time range.
    schema.Index(events, {name(event, &event.m_recorded)});
    // The subscans, sets and rules of one scan.
    schema.Index(subscans, {name(subscan, &subscan.m_scanId)});
    schema.Index(scanEntitySetIds, {name(scanEntitySetId, &scanEntitySetId.m_scanId)});
    schema.Index(scanIntegrityRuleIds, {name(scanIntegrityRuleId, &scanIntegrityRuleId.m_scanId)});

    // ---- views
    schema.JoinView(CSqlEntityAttribute(), CSqlEntityAttributes::ElementName(), entity, entitys, attribute,
                    attributes, name(entity, &entity.m_entityId));
    schema.JoinView(CSqlIncludeExcludeFeature(), CSqlIncludeExcludeFeatures::ElementName(), feature, features,
                    includeExclude, includeExcludes, name(feature, &feature.m_includeExcludeId));
    schema.JoinView(CSqlIncludeExcludePattern(), CSqlIncludeExcludePatterns::ElementName(), pattern, patterns,
                    includeExclude, includeExcludes, name(pattern, &pattern.m_includeExcludeId));
    schema.JoinView(CSqlRealtimeChangeDetail(), CSqlRealtimeChangeDetails::ElementName(), realtimeChange,
                    realtimeChanges, changeDetail, changeDetails,
                    name(realtimeChange, &realtimeChange.m_realtimeChangeId));

    // ---- dependent rows go with their owner
    schema.AfterDelete(entitys, attributes,
                       DeleteDependents(attributes, name(attribute, &attribute.m_entityId),
                                        name(entity, &entity.m_entityId)));
    schema.AfterDelete(realtimeChanges, changeDetails,
                       DeleteDependents(changeDetails, name(changeDetail, &changeDetail.m_realtimeChangeId),
                                        name(realtimeChange, &realtimeChange.m_realtimeChangeId)));
    wxString ruleSets;
    for (const std::unique_ptr<CSqlEntitySet>& set : sets) {
        ruleSets << DeleteDependents(set->GetTableName(), name(*set, &set->m_integrityRuleId),
                                     name(rule, &rule.m_integrityRuleId))
                 << wxT(' ');
        schema.AfterDelete(
            set->GetTableName(), includeExcludes,
            DeleteDependents(includeExcludes, name(includeExclude, &includeExclude.m_entitySetId),
                             name(*set, &set->m_entitySetId),
                             wxT(" AND ") + Quote(name(includeExclude, &includeExclude.m_entityType)) +
                                 wxT("=") + Literal(set->GetEntityType())));
    }
    schema.AfterDelete(rules, wxT("Sets"), ruleSets);
    schema.AfterDelete(includeExcludes, patterns + features,
                       DeleteDependents(patterns, name(pattern, &pattern.m_includeExcludeId),
                                        name(includeExclude, &includeExclude.m_includeExcludeId)) +
                           wxT(' ') +
                           DeleteDependents(features, name(feature, &feature.m_includeExcludeId),
                                            name(includeExclude, &includeExclude.m_includeExcludeId)));
    return schema.objects;
}

int GetSystemIntegritySchemaVersion(wxSQLite3Database& db)
{
    return db.ExecuteScalar(wxT("PRAGMA main.user_version;"));
}

bool EnsureSystemIntegritySchema(wxSQLite3Database& db, wxString& error)
{
    error.clear();
    bool inTransaction = false;
    const bool ownTransaction = db.GetAutoCommit();
    try {
        // A current file is checked without taking the write lock.
        Plan plan = Decide(db, GetSystemIntegritySchemaVersion(db), CountObjects(db), error);
        if (plan == Plan::Keep) return true;
        if (plan == Plan::Refuse) return false;

        if (ownTransaction)
            db.ExecuteUpdate(wxT("BEGIN IMMEDIATE;"));
        else
            db.ExecuteUpdate(wxT("SAVEPOINT orp_im_schema;"));
        inTransaction = true;
        // Decide again under the lock: another connection may have created
        // or upgraded the schema meanwhile.
        const int version = GetSystemIntegritySchemaVersion(db);
        plan = Decide(db, version, CountObjects(db), error);
        if (plan == Plan::Create) {
            for (const SystemIntegritySchemaObject& object : SystemIntegritySchemaObjects())
                db.ExecuteUpdate(object.sql);
        } else if (plan == Plan::Upgrade) {
            const auto& steps = UpgradeSteps();
            for (int from = version; from < kSystemIntegritySchemaVersion; ++from) {
                if (static_cast<size_t>(from - 1) >= steps.size()) {
                    throw wxSQLite3Exception(
                        WXSQLITE_ERROR, wxString::Format(wxT("no upgrade from schema version %d"), from));
                }
                steps[static_cast<size_t>(from - 1)](db);
            }
            const wxString missing = FindMissingObject(db);
            if (!missing.empty()) {
                throw wxSQLite3Exception(WXSQLITE_ERROR,
                                         wxString::Format(wxT("the upgraded schema lacks the %s"), missing));
            }
        }
        if (plan == Plan::Create || plan == Plan::Upgrade) {
            db.ExecuteUpdate(
                wxString::Format(wxT("PRAGMA main.user_version=%d;"), kSystemIntegritySchemaVersion));
        }
        if (ownTransaction)
            db.ExecuteUpdate(wxT("COMMIT;"));
        else
            db.ExecuteUpdate(wxT("RELEASE orp_im_schema;"));
        inTransaction = false;
        if (plan == Plan::Refuse) return false;
        if (plan == Plan::Create) {
            OrvCore::LogInfo(kComponent,
                             wxString::Format(wxT("Created the integrity database schema version %d"),
                                              kSystemIntegritySchemaVersion));
        } else if (plan == Plan::Upgrade) {
            OrvCore::LogInfo(
                kComponent,
                wxString::Format(wxT("Upgraded the integrity database schema from version %d to %d"), version,
                                 kSystemIntegritySchemaVersion));
        }
        return true;
    } catch (const wxSQLite3Exception& e) {
        error = wxString::Format(wxT("cannot set up the integrity database schema: %s"), e.GetMessage());
        if (inTransaction) {
            try {
                if (ownTransaction) {
                    db.ExecuteUpdate(wxT("ROLLBACK;"));
                } else {
                    db.ExecuteUpdate(wxT("ROLLBACK TO orp_im_schema;"));
                    db.ExecuteUpdate(wxT("RELEASE orp_im_schema;"));
                }
            } catch (const wxSQLite3Exception& rollbackError) {
                OrvCore::LogError(kComponent,
                                  wxT("cannot roll back the schema change: ") + rollbackError.GetMessage());
            }
        }
        return false;
    }
}

}  // namespace OrvPluginIm

namespace OrvPluginIm {

bool CheckSystemIntegrityDbFile(const OrvCore::CDom& dom, const wxString& path, wxString& error)
{
    struct stat st;
    if (stat(path.utf8_string().c_str(), &st) != 0 || st.st_size == 0) return true;
    OrvCore::CSqliteDatabase probe(dom, "orp.im.db");
    if (!probe.Open(path, OrvCore::CSqliteDatabase::SyncNormal, WXSQLITE_JOURNALMODE_DELETE, false, true)) {
        error = "the file is not a readable SQLite database";
        return false;
    }
    try {
        wxSQLite3Database& db = probe.Db();
        int objects = db.ExecuteScalar("SELECT COUNT(*) FROM sqlite_master;");
        if (objects == 0 && GetSystemIntegritySchemaVersion(db) == 0) return true;
        // On a read-only connection this only checks: a current file passes,
        // anything that would need a change is refused with its reason.
        return EnsureSystemIntegritySchema(db, error);
    } catch (const wxSQLite3Exception& e) {
        error = e.GetMessage();
        return false;
    }
}

}  // namespace OrvPluginIm

namespace OrvPluginIm {

wxString GetSystemIntegrityDbPath(OrvCore::CDom& dom)
{
    wxString path = dom.GetWxString("orp.im.dbPath");
    if (!path.empty()) return path;
    wxString dir = dom.GetPluginWorkdirWx("im");
    return dir.empty() ? wxString() : dir + "/si.db";
}

bool OpenSystemIntegrityConnection(OrvCore::CSqliteDatabase& db, OrvCore::CDom& dom, const wxString& component)
{
    if (db.IsOpen()) return true;
    const wxString path = GetSystemIntegrityDbPath(dom);
    if (path.empty()) return false;
    wxString error;
    if (!CheckSystemIntegrityDbFile(dom, path, error)) {
        OrvCore::LogError(component, "cannot use " + path + ": " + error);
        return false;
    }
    if (!db.Open(path, OrvCore::CSqliteDatabase::SyncNormal, WXSQLITE_JOURNALMODE_WAL, true, false)) return false;
    if (!EnsureSystemIntegritySchema(db.Db(), error)) {
        OrvCore::LogError(component, "cannot use " + path + ": " + error);
        db.Close();
        return false;
    }
    return true;
}

}  // namespace OrvPluginIm
