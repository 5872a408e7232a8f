// CSqliteDatabase: the agent's SQLite connection over wxSQLite3.
#include "core/SqliteDatabase.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/Log.h"

namespace OrvCore {

namespace {

const char* const kSource = "core/SqliteDatabase";
const char* const kBusyTimeoutKey = "app.sqlite.busyTimeoutMs";

// Names for PRAGMA journal_mode (this wxSQLite3 build maps WAL to DELETE).
const char* JournalModeName(wxSQLite3JournalMode mode)
{
    switch (mode) {
        case WXSQLITE_JOURNALMODE_DELETE:
            return "DELETE";
        case WXSQLITE_JOURNALMODE_PERSIST:
            return "PERSIST";
        case WXSQLITE_JOURNALMODE_OFF:
            return "OFF";
        case WXSQLITE_JOURNALMODE_TRUNCATE:
            return "TRUNCATE";
        case WXSQLITE_JOURNALMODE_MEMORY:
            return "MEMORY";
        case WXSQLITE_JOURNALMODE_WAL:
            return "WAL";
    }
    return nullptr;
}

bool IsMemoryPath(const wxString& path)
{
    return path.empty() || path == ":memory:";
}

wxString QuoteIdentifier(const wxString& name)
{
    wxString quoted = name;
    quoted.Replace("\"", "\"\"");
    return "\"" + quoted + "\"";
}

// Creates path with mode 0600 unless it exists. The database file is created
// here rather than by SQLite so that it is private whatever the umask; SQLite
// gives the -wal and -shm files it creates later the mode of the database file.
// Returns false with errno set when the file neither exists nor can be made.
bool CreatePrivateFile(const wxString& path, bool& created)
{
    created = false;
    const std::string p = path.utf8_string();
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return errno == EEXIST;
    int rc = ::fchmod(fd, 0600);  // the umask may have taken bits we need
    int saved = errno;
    ::close(fd);
    if (rc != 0) {
        ::unlink(p.c_str());
        errno = saved;
        return false;
    }
    created = true;
    return true;
}

bool FileExists(const wxString& path)
{
    struct stat st;
    return ::stat(path.utf8_string().c_str(), &st) == 0;
}

// ---- a small SQL tokenizer, enough to find the object name of a CREATE
// statement as SQLite stores it in sqlite_master and to spot keywords.
struct Token
{
    size_t begin;
    size_t end;
    bool word;  // a bare identifier or keyword
};

bool IsIdentChar(unsigned char c)
{
    return isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

// Next token at or after pos, skipping white space and comments; false at the end.
bool NextToken(const std::string& sql, size_t& pos, Token& token)
{
    const size_t n = sql.size();
    for (;;) {
        while (pos < n && isspace(static_cast<unsigned char>(sql[pos]))) ++pos;
        if (pos + 1 < n && sql[pos] == '-' && sql[pos + 1] == '-') {
            while (pos < n && sql[pos] != '\n') ++pos;
            continue;
        }
        if (pos + 1 < n && sql[pos] == '/' && sql[pos + 1] == '*') {
            size_t close = sql.find("*/", pos + 2);
            pos = close == std::string::npos ? n : close + 2;
            continue;
        }
        break;
    }
    if (pos >= n) return false;
    token.begin = pos;
    token.word = false;
    const char c = sql[pos];
    if (c == '"' || c == '\'' || c == '`' || c == '[') {
        const char closing = c == '[' ? ']' : c;
        ++pos;
        while (pos < n) {
            if (sql[pos] == closing) {
                // a doubled quote is an escaped quote, except inside [...]
                if (closing != ']' && pos + 1 < n && sql[pos + 1] == closing) {
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            ++pos;
        }
    } else if (IsIdentChar(static_cast<unsigned char>(c))) {
        while (pos < n && IsIdentChar(static_cast<unsigned char>(sql[pos]))) ++pos;
        token.word = true;
    } else {
        ++pos;
    }
    token.end = pos;
    return true;
}

bool TokenIs(const std::string& sql, const Token& token, const char* keyword)
{
    return token.word && token.end - token.begin == strlen(keyword) &&
           strncasecmp(sql.c_str() + token.begin, keyword, token.end - token.begin) == 0;
}

// Rewrites "CREATE [TEMP] [UNIQUE] TABLE|INDEX|TRIGGER|VIEW [IF NOT EXISTS]
// [schema.]name ..." into the same statement creating "<schema>".name.
bool QualifyCreateStatement(const std::string& sql, const std::string& schema, std::string& out)
{
    size_t pos = 0;
    Token token;
    if (!NextToken(sql, pos, token) || !TokenIs(sql, token, "CREATE")) return false;
    // keywords up to and including the object kind
    for (;;) {
        if (!NextToken(sql, pos, token)) return false;
        if (TokenIs(sql, token, "TABLE") || TokenIs(sql, token, "INDEX") || TokenIs(sql, token, "TRIGGER") ||
            TokenIs(sql, token, "VIEW"))
            break;
        if (!TokenIs(sql, token, "TEMP") && !TokenIs(sql, token, "TEMPORARY") &&
            !TokenIs(sql, token, "UNIQUE"))
            return false;
    }
    if (!NextToken(sql, pos, token)) return false;
    if (TokenIs(sql, token, "IF")) {
        Token t2, t3;
        if (!NextToken(sql, pos, t2) || !TokenIs(sql, t2, "NOT") || !NextToken(sql, pos, t3) ||
            !TokenIs(sql, t3, "EXISTS") || !NextToken(sql, pos, token))
            return false;
    }
    Token name = token;
    size_t nameBegin = token.begin;
    // an optional schema qualifier: name '.' name
    size_t look = pos;
    Token dot;
    if (NextToken(sql, look, dot) && dot.end - dot.begin == 1 && sql[dot.begin] == '.') {
        if (!NextToken(sql, look, name)) return false;
        pos = look;
    }
    out = sql.substr(0, nameBegin) + schema + "." + sql.substr(name.begin, name.end - name.begin) +
          sql.substr(name.end);
    return true;
}

bool HasKeyword(const std::string& sql, const char* keyword)
{
    size_t pos = 0;
    Token token;
    while (NextToken(sql, pos, token))
        if (TokenIs(sql, token, keyword)) return true;
    return false;
}

wxSQLite3Exception SqlError(int code, const wxString& message)
{
    return wxSQLite3Exception(code, message);
}

long long QueryInt64(wxSQLite3Database& db, const wxString& sql, const wxString& bind1 = wxString(),
                     bool hasBind = false)
{
    wxSQLite3Statement st = db.PrepareStatement(sql);
    if (hasBind) st.Bind(1, bind1);
    wxSQLite3ResultSet rs = st.ExecuteQuery();
    if (!rs.NextRow() || rs.IsNull(0)) return 0;
    return rs.GetInt64(0).GetValue();
}

}  // namespace

// The wrapped database, with access to SQLite's handle for the parts of the
// C interface that wxSQLite3 does not cover (trace, status, autocommit).
class CSqliteConnection : public wxSQLite3Database
{
  public:
    sqlite3* Handle() { return static_cast<sqlite3*>(GetDatabaseHandle()); }
};

// ---- HASH(value, algorithm)
//
// Registered through SQLite's C interface rather than wxSQLite3's function
// classes: it needs each value's type and bytes without copies, and text as
// UTF-8 whatever the database's encoding. One object per connection, so the
// digest cache needs no lock. The state of one running aggregate lives in
// SQLite's aggregate context; SQLite calls the final step also when a
// statement is abandoned, which frees the digest context.
class CSqliteHashAggregate
{
  public:
    CSqliteHashAggregate() = default;
    ~CSqliteHashAggregate()
    {
        for (EVP_MD*& md : m_digests)
            if (md) EVP_MD_free(md);
    }
    CSqliteHashAggregate(const CSqliteHashAggregate&) = delete;
    CSqliteHashAggregate& operator=(const CSqliteHashAggregate&) = delete;

    bool Register(sqlite3* db)
    {
        return sqlite3_create_function_v2(db, "HASH", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, this, nullptr,
                                          &Step, &Final, nullptr) == SQLITE_OK;
    }

  private:
    struct State
    {
        EVP_MD_CTX* md;
        bool failed;
    };

    static void Step(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv)
    {
        CSqliteHashAggregate* self = static_cast<CSqliteHashAggregate*>(sqlite3_user_data(ctx));
        State* state = static_cast<State*>(sqlite3_aggregate_context(ctx, sizeof(State)));
        if (!state) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        if (state->failed) return;
        if (!state->md) {
            std::string error;
            const unsigned char* name = sqlite3_value_text(argv[1]);
            const EVP_MD* md = self->Digest(name ? reinterpret_cast<const char*>(name) : "", error);
            state->md = md ? EVP_MD_CTX_new() : nullptr;
            if (state->md && !EVP_DigestInit_ex2(state->md, md, nullptr)) {
                EVP_MD_CTX_free(state->md);
                state->md = nullptr;
                error = "HASH: cannot initialise the digest";
            }
            if (!state->md) {
                state->failed = true;
                sqlite3_result_error(ctx, error.c_str(), -1);
                return;
            }
        }
        unsigned char length[4];
        sqlite3_value* value = argv[0];
        const int type = sqlite3_value_type(value);
        if (type == SQLITE_NULL) {
            memset(length, 0xFF, sizeof length);
            EVP_DigestUpdate(state->md, length, sizeof length);
            return;
        }
        // Text, and the text form of numbers, as UTF-8; blobs as they are.
        const void* bytes = type == SQLITE_BLOB ? sqlite3_value_blob(value) : sqlite3_value_text(value);
        const int size = sqlite3_value_bytes(value);
        if (size > 0 && !bytes) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        const uint32_t n = static_cast<uint32_t>(size);
        length[0] = static_cast<unsigned char>(n >> 24);
        length[1] = static_cast<unsigned char>(n >> 16);
        length[2] = static_cast<unsigned char>(n >> 8);
        length[3] = static_cast<unsigned char>(n);
        EVP_DigestUpdate(state->md, length, sizeof length);
        if (size > 0) EVP_DigestUpdate(state->md, bytes, size);
    }

    static void Final(sqlite3_context* ctx)
    {
        CSqliteHashAggregate* self = static_cast<CSqliteHashAggregate*>(sqlite3_user_data(ctx));
        State* state = static_cast<State*>(sqlite3_aggregate_context(ctx, sizeof(State)));
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        bool ok = false;
        std::string error = "HASH: the digest could not be computed";
        if (state && state->failed) {
            error = "HASH: failed";
        } else if (state && state->md) {
            ok = EVP_DigestFinal_ex(state->md, digest, &size) == 1;
        } else {
            // No rows: SQLite never passed the algorithm, so the empty input is
            // digested with SHA-1, the scanners' attribute digest.
            const EVP_MD* md = self->Digest("sha1", error);
            ok = md && EVP_Digest("", 0, digest, &size, md, nullptr) == 1;
        }
        if (state && state->md) {
            EVP_MD_CTX_free(state->md);
            state->md = nullptr;
        }
        if (ok)
            sqlite3_result_blob(ctx, digest, static_cast<int>(size), SQLITE_TRANSIENT);
        else
            sqlite3_result_error(ctx, error.c_str(), -1);
    }

    const EVP_MD* Digest(const char* algorithm, std::string& error)
    {
        static const char* const kNames[3][2] = {{"sha1", "SHA1"}, {"sha256", "SHA256"}, {"md5", "MD5"}};
        for (int i = 0; i < 3; ++i) {
            if (strcasecmp(algorithm, kNames[i][0]) != 0) continue;
            // A failed fetch is not cached: the provider configuration may change.
            if (!m_digests[i]) m_digests[i] = EVP_MD_fetch(nullptr, kNames[i][1], nullptr);
            if (!m_digests[i]) error = std::string("HASH: the digest ") + algorithm + " is not available";
            return m_digests[i];
        }
        error = std::string("HASH: unknown algorithm '") + algorithm + "' (sha1, sha256 or md5)";
        return nullptr;
    }

    EVP_MD* m_digests[3] = {nullptr, nullptr, nullptr};
};

// ---- CSqliteDatabase

CSqliteDatabase::CSqliteDatabase(const CDom& dom, const wxString& name)
    : m_dom(dom), m_name(name), m_hash(new CSqliteHashAggregate), m_db(new CSqliteConnection)
{
}

CSqliteDatabase::~CSqliteDatabase()
{
    Close();
}

void* CSqliteDatabase::Handle() const
{
    return m_db->IsOpen() ? m_db->Handle() : nullptr;
}

bool CSqliteDatabase::Open(const wxString& path, int syncMode, wxSQLite3JournalMode journalMode, bool create,
                           bool readOnly)
{
    if (m_db->IsOpen()) {
        if (path == m_path) return true;
        LogError(m_name, "cannot open the database " + path + ": the connection is open on " + m_path);
        return false;
    }
    if (syncMode < SyncOff || syncMode > SyncExtra) {
        LogError(m_name, wxString::Format("cannot open the database %s: invalid synchronous mode %d", path,
                                          syncMode));
        return false;
    }
    const bool memory = IsMemoryPath(path);
    bool createdFile = false;
    if (create && !readOnly && !memory && !CreatePrivateFile(path, createdFile)) {
        LogSysError(m_name, "cannot create the database " + path, errno);
        return false;
    }

    long long timeout = kDefaultBusyTimeoutMs;
    if (m_dom.Get(kBusyTimeoutKey, timeout) && (timeout < 0 || timeout > 0x7FFFFFFF))
        timeout = kDefaultBusyTimeoutMs;
    m_busyTimeoutMs = static_cast<int>(timeout);

    // The file exists now unless it is missing and may not be created, so
    // SQLite is never asked to create it.
    const int flags =
        readOnly ? WXSQLITE_OPEN_READONLY : (WXSQLITE_OPEN_READWRITE | (memory ? WXSQLITE_OPEN_CREATE : 0));
    const char* step = "open";
    try {
        m_db->Open(path, wxString(), flags);
        m_db->SetBusyTimeout(m_busyTimeoutMs);
        // Reading the schema fails on a file that is not a database or whose
        // header is damaged, before anything could be written to it.
        step = "read the schema of";
        m_db->ExecuteScalar("PRAGMA schema_version;");
        if (!readOnly) {
            step = "set the journal mode of";
            const char* wanted = JournalModeName(journalMode);
            if (!wanted)
                throw SqlError(SQLITE_MISUSE, wxString::Format("invalid journal mode %d", (int)journalMode));
            wxSQLite3ResultSet rs = m_db->ExecuteQuery(wxString("PRAGMA journal_mode=") + wanted + ";");
            const wxString mode = rs.NextRow() ? rs.GetString(0) : wxString();
            if (mode.CmpNoCase(wanted) != 0 && !memory)
                LogWarning(m_name, "the database " + path + " keeps the journal mode " + mode +
                                       " instead of " + wanted);
        }
        step = "set the synchronous mode of";
        m_db->ExecuteUpdate(wxString::Format("PRAGMA synchronous=%d;", syncMode));
        step = "register functions on";
        if (!m_hash->Register(m_db->Handle()))
            throw SqlError(SQLITE_ERROR, "the function HASH could not be registered");
    } catch (wxSQLite3Exception& e) {
        LogError(m_name, wxString::Format("cannot %s the database %s: %s", step, path, e.GetMessage()));
        try {
            if (m_db->IsOpen()) m_db->Close();
        } catch (wxSQLite3Exception& closeError) {
            LogError(m_name, "closing the failed database " + path + ": " + closeError.GetMessage());
        }
        if (createdFile) ::unlink(path.utf8_string().c_str());
        return false;
    }
    m_path = path;
    ORV_TRACE(m_name, kSource, "opened database %s (synchronous %d, journal %s%s, busy timeout %d ms)", path,
              syncMode, readOnly ? "unchanged" : JournalModeName(journalMode), readOnly ? ", read-only" : "",
              m_busyTimeoutMs);
    return true;
}

void CSqliteDatabase::Close()
{
    if (!m_db->IsOpen()) return;
    try {
        m_db->Close();
        ORV_TRACE(m_name, kSource, "closed database %s", m_path);
    } catch (wxSQLite3Exception& e) {
        LogError(m_name, "cannot close the database " + m_path + ": " + e.GetMessage());
    }
}

bool CSqliteDatabase::IsOpen() const
{
    return m_db->IsOpen();
}

void CSqliteDatabase::Begin(bool immediate)
{
    m_db->Begin(immediate ? WXSQLITE_TRANSACTION_IMMEDIATE : WXSQLITE_TRANSACTION_DEFERRED);
}

void CSqliteDatabase::Commit()
{
    m_db->Commit();
}

void CSqliteDatabase::Rollback()
{
    if (!IsInTransaction()) return;
    try {
        m_db->Rollback();
    } catch (wxSQLite3Exception& e) {
        LogError(m_name, "cannot roll back on the database " + m_path + ": " + e.GetMessage());
    }
}

bool CSqliteDatabase::IsInTransaction() const
{
    return m_db->IsOpen() && !m_db->GetAutoCommit();
}

void CSqliteDatabase::AttachDatabase(const wxString& path, const wxString& alias, bool create)
{
    if (!m_db->IsOpen())
        throw SqlError(SQLITE_MISUSE, "cannot attach " + path + ": the database is not open");
    bool createdFile = false;
    if (!IsMemoryPath(path)) {
        if (create) {
            if (!CreatePrivateFile(path, createdFile))
                throw SqlError(SQLITE_CANTOPEN,
                               "cannot create " + path + ": " + wxString::FromUTF8(strerror(errno)));
        } else if (!FileExists(path)) {
            throw SqlError(SQLITE_CANTOPEN, "cannot attach " + path + ": no such file");
        }
    }
    try {
        wxSQLite3Statement st = m_db->PrepareStatement("ATTACH DATABASE ?1 AS ?2;");
        st.Bind(1, path);
        st.Bind(2, alias);
        st.ExecuteUpdate();
    } catch (wxSQLite3Exception&) {
        if (createdFile) ::unlink(path.utf8_string().c_str());
        throw;
    }
    ORV_TRACE(m_name, kSource, "attached %s as %s", path, alias);
}

void CSqliteDatabase::DetachDatabase(const wxString& alias)
{
    wxSQLite3Statement st = m_db->PrepareStatement("DETACH DATABASE ?1;");
    st.Bind(1, alias);
    st.ExecuteUpdate();
    ORV_TRACE(m_name, kSource, "detached %s", alias);
}

void CSqliteDatabase::CloneTableSchema(const wxString& table, const wxString& toSchema, bool copyFlag)
{
    struct Object
    {
        wxString type;
        wxString name;
        std::string sql;
    };
    std::vector<Object> objects;
    {
        wxSQLite3Statement st = m_db->PrepareStatement(
            "SELECT type, name, sql FROM main.sqlite_master WHERE tbl_name=?1 COLLATE NOCASE AND sql IS NOT "
            "NULL "
            "AND type IN ('table','index','trigger') "
            "ORDER BY CASE type WHEN 'table' THEN 0 WHEN 'index' THEN 1 ELSE 2 END, rowid;");
        st.Bind(1, table);
        wxSQLite3ResultSet rs = st.ExecuteQuery();
        while (rs.NextRow())
            objects.push_back({rs.GetString(0), rs.GetString(1), rs.GetString(2).utf8_string()});
    }
    if (objects.empty() || objects[0].type != "table")
        throw SqlError(SQLITE_ERROR, "no such table: main." + table);
    const wxString tableName = objects[0].name;  // as created

    const std::string schema = QuoteIdentifier(toSchema).utf8_string();
    std::vector<std::string> statements;
    for (const Object& object : objects) {
        std::string rewritten;
        if (!QualifyCreateStatement(object.sql, schema, rewritten))
            throw SqlError(SQLITE_ERROR,
                           "cannot clone " + object.type + " " + object.name + ": unexpected definition");
        statements.push_back(rewritten);
    }
    const bool autoincrement = HasKeyword(objects[0].sql, "AUTOINCREMENT");
    if (copyFlag && !autoincrement)
        throw SqlError(SQLITE_ERROR, "cannot clone " + tableName +
                                         " with continuing row ids: the table does not use AUTOINCREMENT");

    m_db->ExecuteUpdate("SAVEPOINT orv_clone_schema;");
    try {
        for (const std::string& sql : statements) m_db->ExecuteUpdate(wxString::FromUTF8(sql));
        long long seed = 0;
        if (copyFlag) {
            const wxString quotedTable = QuoteIdentifier(tableName);
            if (QueryInt64(*m_db, "SELECT count(*) FROM main.sqlite_master WHERE name='sqlite_sequence';") >
                0)
                seed = QueryInt64(*m_db,
                                  "SELECT max(seq) FROM main.sqlite_sequence WHERE name=?1 COLLATE NOCASE;",
                                  tableName, true);
            seed = std::max(seed, QueryInt64(*m_db, "SELECT max(rowid) FROM main." + quotedTable + ";"));
            wxSQLite3Statement st = m_db->PrepareStatement("INSERT INTO " + wxString::FromUTF8(schema) +
                                                           ".sqlite_sequence(name, seq) VALUES(?1, ?2);");
            st.Bind(1, tableName);
            st.Bind(2, wxLongLong(seed));
            st.ExecuteUpdate();
        }
        m_db->ExecuteUpdate("RELEASE orv_clone_schema;");
        ORV_TRACE(m_name, kSource, "cloned %s (%d objects) into %s%s", tableName, (int)statements.size(),
                  toSchema, copyFlag ? wxString::Format(", row ids above %lld", seed) : wxString());
    } catch (wxSQLite3Exception&) {
        try {
            m_db->ExecuteUpdate("ROLLBACK TO orv_clone_schema;");
            m_db->ExecuteUpdate("RELEASE orv_clone_schema;");
        } catch (wxSQLite3Exception& e) {
            LogError(m_name, "cannot undo the clone of " + tableName + ": " + e.GetMessage());
        }
        throw;
    }
}

void CSqliteDatabase::Vacuum()
{
    m_db->Vacuum();
}

long long CSqliteDatabase::GetFreePageCount()
{
    return QueryInt64(*m_db, "PRAGMA main.freelist_count;");
}

bool CSqliteDatabase::DumpMemoryStats(const wxString& component, bool force)
{
    const bool tracing = LogTraceIsEnabled(component);
    if (!tracing && !force) return false;

    sqlite3_int64 used = 0, usedHigh = 0, mallocs = 0, mallocsHigh = 0, largest = 0, largestHigh = 0;
    sqlite3_int64 overflow = 0, overflowHigh = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &used, &usedHigh, 0);
    sqlite3_status64(SQLITE_STATUS_MALLOC_COUNT, &mallocs, &mallocsHigh, 0);
    sqlite3_status64(SQLITE_STATUS_MALLOC_SIZE, &largest, &largestHigh, 0);
    sqlite3_status64(SQLITE_STATUS_PAGECACHE_OVERFLOW, &overflow, &overflowHigh, 0);
    wxString line = wxString::Format(
        "SQLite memory: used %lld (high %lld), allocations %lld (high %lld), largest %lld, page cache "
        "overflow %lld "
        "(high %lld)",
        (long long)used, (long long)usedHigh, (long long)mallocs, (long long)mallocsHigh,
        (long long)largestHigh, (long long)overflow, (long long)overflowHigh);
    if (sqlite3* db = static_cast<sqlite3*>(Handle())) {
        struct Item
        {
            int op;
            const char* label;
            bool high;
        } items[] = {{SQLITE_DBSTATUS_CACHE_USED, "cache", false},
                     {SQLITE_DBSTATUS_SCHEMA_USED, "schema", false},
                     {SQLITE_DBSTATUS_STMT_USED, "statements", false},
                     {SQLITE_DBSTATUS_LOOKASIDE_USED, "lookaside slots", true},
                     {SQLITE_DBSTATUS_CACHE_HIT, "cache hits", false},
                     {SQLITE_DBSTATUS_CACHE_MISS, "cache misses", false},
                     {SQLITE_DBSTATUS_CACHE_WRITE, "cache writes", false}};
        line += "; connection " + m_path + ":";
        for (const Item& item : items) {
            int current = 0, high = 0;
            if (sqlite3_db_status(db, item.op, &current, &high, 0) != SQLITE_OK) continue;
            line += wxString::Format(" %s %d", item.label, current);
            if (item.high) line += wxString::Format(" (high %d)", high);
            line += ",";
        }
        line.RemoveLast();
    }
    if (tracing)
        LogTrace(component, kSource, __LINE__, __func__, line);
    else
        LogInfo(component, line);
    return true;
}

int CSqliteDatabase::TraceToLog(unsigned mask, void* context, void* p, void* x)
{
    CSqliteDatabase* self = static_cast<CSqliteDatabase*>(context);
    if (!LogTraceIsEnabled(self->m_name)) return 0;
    if (mask == SQLITE_TRACE_STMT) {
        char* expanded = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(p));
        const char* text = expanded ? expanded : static_cast<const char*>(x);
        LogTrace(self->m_name, kSource, __LINE__, __func__,
                 "SQL [" + wxString::FromUTF8(text ? text : "") + "]");
        sqlite3_free(expanded);
    } else if (mask == SQLITE_TRACE_CLOSE) {
        LogTrace(self->m_name, kSource, __LINE__, __func__, "SQL close " + self->m_path);
    }
    return 0;
}

void CSqliteDatabase::SetTrace(bool on)
{
    if (on)
        SetTraceCallback(SQLITE_TRACE_STMT | SQLITE_TRACE_CLOSE, &CSqliteDatabase::TraceToLog, this);
    else
        SetTraceCallback(0, nullptr, nullptr);
}

void CSqliteDatabase::SetTraceCallback(unsigned mask, TraceCallback callback, void* context)
{
    sqlite3* db = static_cast<sqlite3*>(Handle());
    if (!db) throw SqlError(SQLITE_MISUSE, "cannot set the SQL trace: the database is not open");
    sqlite3_trace_v2(db, callback ? mask : 0, callback, context);
}

wxSQLite3Database& CSqliteDatabase::Db()
{
    return *m_db;
}

}  // namespace OrvCore
