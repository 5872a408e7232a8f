// XMLObject: the SQL form. Statement texts depend only on the declarations
// and the table, so they are kept in one process-wide cache keyed by the
// (interned) declarations, the table and the statement kind.
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "core/XMLObject.h"

namespace OrvCore {

namespace {

enum StatementKind
{
    kInsert = 0,
    kUpdate = 1,
    kDelete = 2,
    kSelect = 3
};

// Beyond this many texts the cache starts afresh: callers that invent table
// names cannot make it grow without bound.
constexpr size_t kMaxCachedStatements = 4096;

// Resets a statement when it goes out of scope, also after an exception, so
// that a prepared statement is always ready for its next use.
class StatementResetGuard
{
  public:
    explicit StatementResetGuard(wxSQLite3Statement& statement) : m_statement(statement) {}
    ~StatementResetGuard()
    {
        try {
            m_statement.Reset();
        } catch (const wxSQLite3Exception&) {
            // Reset repeats the error of a failed step, which the caller has
            // already received.
        }
    }
    StatementResetGuard(const StatementResetGuard&) = delete;
    StatementResetGuard& operator=(const StatementResetGuard&) = delete;

  private:
    wxSQLite3Statement& m_statement;
};

// "[name]", or "[schema].[name]" for "schema.name" (a table of an attached
// database).
wxString QuoteTable(const wxString& table)
{
    const size_t dot = table.find(wxT('.'));
    if (dot == wxString::npos) return wxT("[") + table + wxT("]");
    return wxT("[") + table.substr(0, dot) + wxT("].[") + table.substr(dot + 1) + wxT("]");
}

wxString Quote(const wxString& column)
{
    return wxT("[") + column + wxT("]");
}

bool IsKey(const XMLObject::Attribute& attribute)
{
    return HasFlag(attribute.decl->flags, XMLAttr::Key);
}

}  // namespace

const XMLObject::Attribute& XMLObject::RequireKey(const char* operation) const
{
    const Attribute* key = GetKeyAttribute();
    if (key == nullptr) {
        throw wxSQLite3Exception(WXSQLITE_ERROR, wxString::Format(wxT("<%s>: %s needs a key attribute"),
                                                                  GetElementName(), operation));
    }
    return *key;
}

wxString XMLObject::CachedStatement(int kind, const wxString& table) const
{
    if (table.empty()) {
        throw wxSQLite3Exception(
            WXSQLITE_ERROR,
            wxString::Format(wxT("<%s>: no table named for the statement"), GetElementName()));
    }
    std::string cacheKey;
    cacheKey.reserve(m_attributes.size() * sizeof(void*) + table.length() + 2);
    cacheKey.push_back(static_cast<char>('0' + kind));
    for (const Attribute& attribute : m_attributes) {
        cacheKey.append(reinterpret_cast<const char*>(&attribute.decl), sizeof(attribute.decl));
    }
    cacheKey.push_back('\0');
    cacheKey.append(table.utf8_string());

    static std::mutex* mutex = new std::mutex;
    static auto* cache = new std::unordered_map<std::string, wxString>;
    {
        std::lock_guard<std::mutex> lock(*mutex);
        auto found = cache->find(cacheKey);
        if (found != cache->end()) return found->second;
    }

    wxString sql;
    const wxString quotedTable = QuoteTable(table);
    switch (kind) {
        case kInsert: {
            if (m_attributes.empty()) {
                sql = wxT("INSERT INTO ") + quotedTable + wxT(" DEFAULT VALUES;");
                break;
            }
            wxString columns;
            wxString values;
            for (size_t i = 0; i < m_attributes.size(); ++i) {
                if (i > 0) {
                    columns << wxT(',');
                    values << wxT(',');
                }
                columns << Quote(m_attributes[i].decl->name);
                values << wxT('?') << static_cast<int>(i + 1);
            }
            sql = wxT("INSERT INTO ") + quotedTable + wxT(" (") + columns + wxT(") VALUES (") + values +
                  wxT(");");
            break;
        }
        case kUpdate: {
            const Attribute& key = RequireKey("an update");
            wxString assignments;
            int index = 0;
            for (const Attribute& attribute : m_attributes) {
                if (IsKey(attribute)) continue;
                if (index > 0) assignments << wxT(',');
                assignments << Quote(attribute.decl->name) << wxT("=?") << ++index;
            }
            const int keyIndex = index + 1;
            // With nothing but the key there is nothing to set; the statement
            // still tells whether the row exists.
            if (index == 0) assignments << Quote(key.decl->name) << wxT("=?") << keyIndex;
            sql = wxT("UPDATE ") + quotedTable + wxT(" SET ") + assignments + wxT(" WHERE ") +
                  Quote(key.decl->name) + wxString::Format(wxT("=?%d;"), keyIndex);
            break;
        }
        case kDelete: {
            const Attribute& key = RequireKey("a delete");
            sql = wxT("DELETE FROM ") + quotedTable + wxT(" WHERE ") + Quote(key.decl->name) + wxT("=?1;");
            break;
        }
        case kSelect: {
            const Attribute& key = RequireKey("a load by key");
            sql = wxT("SELECT * FROM ") + quotedTable + wxT(" WHERE ") + Quote(key.decl->name) + wxT("=?1;");
            break;
        }
        default:
            break;
    }

    std::lock_guard<std::mutex> lock(*mutex);
    if (cache->size() >= kMaxCachedStatements) cache->clear();
    cache->emplace(std::move(cacheKey), sql);
    return sql;
}

wxString XMLObject::GetSQLInsertStatement(const wxString& table) const
{
    return CachedStatement(kInsert, table);
}

wxString XMLObject::GetSQLUpdateStatement(const wxString& table) const
{
    return CachedStatement(kUpdate, table);
}

wxString XMLObject::GetSQLDeleteStatement(const wxString& table) const
{
    return CachedStatement(kDelete, table);
}

wxString XMLObject::GetSQLSelectStatement(const wxString& table) const
{
    return CachedStatement(kSelect, table);
}

// ---------------------------------------------------------------- binding

void XMLObject::BindValue(wxSQLite3Statement& statement, int index, const Attribute& attribute) const
{
    if (attribute.isNull) {
        statement.BindNull(index);
        return;
    }
    switch (attribute.decl->type) {
        case XMLAttrType::Text:
            statement.Bind(index, *static_cast<const wxString*>(attribute.field));
            break;
        case XMLAttrType::Int64:
            statement.Bind(index, wxLongLong(*static_cast<const long long*>(attribute.field)));
            break;
        case XMLAttrType::Int32:
            statement.Bind(index, *static_cast<const int*>(attribute.field));
            break;
        case XMLAttrType::Bool:
            statement.Bind(index, *static_cast<const bool*>(attribute.field) ? 1 : 0);
            break;
        case XMLAttrType::Blob: {
            const std::string& bytes = *static_cast<const std::string*>(attribute.field);
            // A non-null pointer keeps an empty byte string a zero-length
            // BLOB rather than NULL.
            static const unsigned char empty = 0;
            statement.Bind(index,
                           bytes.empty() ? &empty : reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<int>(bytes.size()));
            break;
        }
    }
}

void XMLObject::BindInsert(wxSQLite3Statement& statement) const
{
    for (size_t i = 0; i < m_attributes.size(); ++i) {
        const Attribute& attribute = m_attributes[i];
        const int index = static_cast<int>(i + 1);
        // A key that is still 0 lets SQLite assign the row id.
        if (IsKey(attribute) && (attribute.isNull || GetKeyValue() == 0)) {
            statement.BindNull(index);
        } else {
            BindValue(statement, index, attribute);
        }
    }
}

void XMLObject::BindUpdate(wxSQLite3Statement& statement) const
{
    const Attribute& key = RequireKey("an update");
    int index = 0;
    for (const Attribute& attribute : m_attributes) {
        if (!IsKey(attribute)) BindValue(statement, ++index, attribute);
    }
    BindValue(statement, index + 1, key);
}

void XMLObject::BindDelete(wxSQLite3Statement& statement) const
{
    BindValue(statement, 1, RequireKey("a delete"));
}

// ---------------------------------------------------------------- writing

long long XMLObject::SQLInsert(wxSQLite3Database& db, const wxString& table)
{
    wxSQLite3Statement statement = db.PrepareStatement(GetSQLInsertStatement(table));
    return SQLInsert(db, statement);
}

long long XMLObject::SQLInsert(wxSQLite3Database& db, wxSQLite3Statement& statement)
{
    long long rowId = 0;
    {
        StatementResetGuard guard(statement);
        BindInsert(statement);
        statement.ExecuteUpdate();
        rowId = db.GetLastRowId().GetValue();
    }
    for (Attribute& attribute : m_attributes) {
        if (!IsKey(attribute)) continue;
        if (attribute.decl->type == XMLAttrType::Int64) {
            *static_cast<long long*>(attribute.field) = rowId;
            attribute.isNull = false;
        } else if (attribute.decl->type == XMLAttrType::Int32) {
            *static_cast<int*>(attribute.field) = static_cast<int>(rowId);
            attribute.isNull = false;
        }
        break;
    }
    return rowId;
}

int XMLObject::SQLUpdate(wxSQLite3Database& db, const wxString& table)
{
    wxSQLite3Statement statement = db.PrepareStatement(GetSQLUpdateStatement(table));
    return SQLUpdate(statement);
}

int XMLObject::SQLUpdate(wxSQLite3Statement& statement)
{
    StatementResetGuard guard(statement);
    BindUpdate(statement);
    return statement.ExecuteUpdate();
}

int XMLObject::SQLDelete(wxSQLite3Database& db, const wxString& table)
{
    wxSQLite3Statement statement = db.PrepareStatement(GetSQLDeleteStatement(table));
    return SQLDelete(statement);
}

int XMLObject::SQLDelete(wxSQLite3Statement& statement)
{
    StatementResetGuard guard(statement);
    BindDelete(statement);
    return statement.ExecuteUpdate();
}

// ---------------------------------------------------------------- loading

std::vector<int> XMLObject::MapColumns(wxSQLite3ResultSet& row) const
{
    const int count = row.GetColumnCount();
    std::vector<int> map(static_cast<size_t>(count > 0 ? count : 0), -1);
    std::vector<bool> taken(m_attributes.size(), false);
    for (int column = 0; column < count; ++column) {
        const wxString name = row.GetColumnName(column);
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            // A join can repeat a column; the first one counts.
            if (!taken[i] && m_attributes[i].decl->name.IsSameAs(name, false)) {
                map[static_cast<size_t>(column)] = static_cast<int>(i);
                taken[i] = true;
                break;
            }
        }
    }
    return map;
}

void XMLObject::LoadColumns(wxSQLite3ResultSet& row, const std::vector<int>& map)
{
    for (size_t column = 0; column < map.size(); ++column) {
        if (map[column] < 0) continue;
        Attribute& attribute = m_attributes[static_cast<size_t>(map[column])];
        const int index = static_cast<int>(column);
        attribute.parsed = true;
        if (row.IsNull(index)) {
            attribute.isNull = true;
            continue;
        }
        attribute.isNull = false;
        switch (attribute.decl->type) {
            case XMLAttrType::Text:
                *static_cast<wxString*>(attribute.field) = row.GetAsString(index);
                break;
            case XMLAttrType::Int64:
                *static_cast<long long*>(attribute.field) = row.GetInt64(index).GetValue();
                break;
            case XMLAttrType::Int32:
                *static_cast<int*>(attribute.field) = row.GetInt(index);
                break;
            case XMLAttrType::Bool:
                *static_cast<bool*>(attribute.field) = row.GetInt64(index).GetValue() != 0;
                break;
            case XMLAttrType::Blob: {
                int length = 0;
                const unsigned char* data = row.GetBlob(index, length);
                std::string& bytes = *static_cast<std::string*>(attribute.field);
                if (data != nullptr && length > 0)
                    bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
                else
                    bytes.clear();
                break;
            }
        }
    }
}

bool XMLObject::SQLLoad(wxSQLite3ResultSet& row)
{
    SetToDefaults();
    const std::vector<int> map = MapColumns(row);
    LoadColumns(row, map);
    OnSQLLoaded();
    for (int index : map) {
        if (index >= 0) return true;
    }
    return false;
}

bool XMLObject::SQLLoad(wxSQLite3Database& db, const wxString& table)
{
    const Attribute& key = RequireKey("a load by key");
    wxSQLite3Statement statement = db.PrepareStatement(GetSQLSelectStatement(table));
    BindValue(statement, 1, key);
    wxSQLite3ResultSet rows = statement.ExecuteQuery();
    if (!rows.NextRow()) return false;
    SQLLoad(rows);
    return true;
}

bool XMLObjectList::SQLLoad(wxSQLite3Database& db)
{
    return SQLLoad(db, GetElementName());
}

bool XMLObjectList::SQLLoad(wxSQLite3Database& db, const wxString& table)
{
    if (table.empty()) {
        throw wxSQLite3Exception(
            WXSQLITE_ERROR, wxString::Format(wxT("<%s>: no table to load the list from"), GetElementName()));
    }
    wxSQLite3ResultSet rows = db.ExecuteQuery(wxT("SELECT * FROM ") + QuoteTable(table) + wxT(";"));
    return SQLLoad(rows);
}

bool XMLObjectList::SQLLoad(wxSQLite3ResultSet& rows)
{
    Clear();
    // Items of one class share their declarations, so the column map of the
    // first item serves the following ones.
    std::vector<const AttributeDecl*> mappedLayout;
    std::vector<int> map;
    bool mapped = false;
    while (rows.NextRow()) {
        std::unique_ptr<XMLObject> item(CreateListElement());
        if (!item) break;
        bool sameLayout = mapped && mappedLayout.size() == item->m_attributes.size();
        for (size_t i = 0; sameLayout && i < mappedLayout.size(); ++i) {
            sameLayout = mappedLayout[i] == item->m_attributes[i].decl;
        }
        if (!sameLayout) {
            map = item->MapColumns(rows);
            mappedLayout.clear();
            for (const Attribute& attribute : item->m_attributes) mappedLayout.push_back(attribute.decl);
            mapped = true;
        }
        item->LoadColumns(rows, map);
        item->OnSQLLoaded();
        m_items.push_back(item.release());
    }
    return !m_items.empty();
}

}  // namespace OrvCore
