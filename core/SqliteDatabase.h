// CSqliteDatabase: one connection to a SQLite database file through wxSQLite3,
// set up the way every connection of the agent needs it: a busy timeout, the
// journal and synchronous modes asked for, new files private to the agent
// (mode 0600, and so their -wal/-shm companions), the HASH aggregate, an
// optional SQL trace, and the schema helpers the plugin uses on attached
// journal databases.
//
// Ownership: the object owns the wrapped wxSQLite3Database (Db()). Statements
// and result sets made through Db() belong to the caller and must be destroyed
// before Close() or the destructor. The destructor closes the connection.
//
// Threads: a connection belongs to the thread that opened it and is never
// shared; every thread that works on a database opens its own. Connections of
// several threads to one file wait for each other's locks for up to the busy
// timeout (30 s, setting "app.sqlite.busyTimeoutMs" overrides) instead of
// failing with "database is locked". Writers should use short immediate
// transactions (Begin(true)): a deferred transaction that first reads and then
// writes can fail with SQLITE_BUSY in write-ahead-log mode when another
// connection committed in between, and no waiting helps it.
//
// Errors: Open returns false (with a log line under the connection's name);
// every other SQL operation reports errors as wxSQLite3Exception, which the
// callers catch at the boundary of each operation. Rollback never throws.
//
// HASH(value, algorithm): an aggregate registered on every connection.
// algorithm is "sha1", "sha256" or "md5" (any case), taken from the first row.
// The digest input is, for each value in row order, a 4-byte big-endian length
// followed by the value's bytes: text as its UTF-8 bytes, a blob as its bytes,
// an integer or real as its SQLite text form ("42", "2.5"); NULL is the length
// 0xFFFFFFFF and no bytes. The result is a blob of the raw digest. With no rows
// SQLite never shows the aggregate its algorithm argument, so the result is the
// SHA-1 of empty input (the attribute digest the scanners use). An unknown
// algorithm, or one that OpenSSL cannot provide (MD5 in FIPS mode), is an SQL
// error of the statement.
#pragma once

#include <wx/string.h>
#include <wx/wxsqlite3.h>

#include <memory>

#include "core/CoreApi.h"
#include "core/Dom.h"

namespace OrvCore {

class CSqliteHashAggregate;
class CSqliteConnection;

class ORV_CORE_API CSqliteDatabase
{
  public:
    // Values of PRAGMA synchronous.
    enum SyncMode
    {
        SyncOff = 0,
        SyncNormal = 1,
        SyncFull = 2,
        SyncExtra = 3
    };

    // Raw SQLite trace callback (sqlite3_trace_v2): mask is the event code,
    // p and x its arguments as SQLite documents them.
    typedef int (*TraceCallback)(unsigned mask, void* context, void* p, void* x);

    static constexpr int kDefaultBusyTimeoutMs = 30000;

    // name: the owner's trace component; the connection's log lines, SQL trace
    // and memory statistics are written under it.
    CSqliteDatabase(const CDom& dom, const wxString& name);
    ~CSqliteDatabase();
    CSqliteDatabase(const CSqliteDatabase&) = delete;
    CSqliteDatabase& operator=(const CSqliteDatabase&) = delete;

    // Opens path (":memory:" for a private in-memory database).
    //   syncMode     PRAGMA synchronous (a SyncMode value).
    //   journalMode  PRAGMA journal_mode; WXSQLITE_JOURNALMODE_WAL for the
    //                write-ahead log. Not applied to a read-only connection.
    //   create       create the file when it is missing, with mode 0600. When
    //                false a missing file fails to open and nothing is created.
    //   readOnly     open for reading only; never creates a file.
    // Before returning true the connection has read the schema, so a file that
    // is not a database, or whose header is damaged, fails here (and is left
    // untouched). Returns false, with an error in the log, when the file cannot
    // be opened. On an open connection: true when path is the open one, else false.
    bool Open(const wxString& path, int syncMode = SyncNormal,
              wxSQLite3JournalMode journalMode = WXSQLITE_JOURNALMODE_WAL, bool create = true,
              bool readOnly = false);
    // Closes the connection (an open transaction is rolled back). Harmless when closed.
    void Close();
    bool IsOpen() const;

    // BEGIN IMMEDIATE (takes the write lock now, waiting up to the busy
    // timeout) or BEGIN DEFERRED (locks on first use).
    void Begin(bool immediate = true);
    void Commit();
    // Rolls back the open transaction; does nothing when none is open. Never
    // throws: a failure is logged (safe in exception handlers).
    void Rollback();
    bool IsInTransaction() const;

    // Attaches the database file path (or ":memory:") under alias. A missing
    // file is created with mode 0600 when create is true, else the attach
    // fails (SQLITE_CANTOPEN) without creating it.
    void AttachDatabase(const wxString& path, const wxString& alias, bool create = true);
    void DetachDatabase(const wxString& alias);

    // Creates in the attached schema toSchema a table of the same definition
    // as main's table, with the indices and triggers defined on it (a cloned
    // trigger resolves the tables its body names in toSchema, so clone those
    // too). With copyFlag the clone's row ids continue above main's: the
    // table must use AUTOINCREMENT, and toSchema's sqlite_sequence is seeded
    // with the larger of main's sequence value and main's highest row id, so
    // rows moved from the clone back into main keep unique ids. All or
    // nothing: on error nothing is created and wxSQLite3Exception is thrown
    // (unknown table, name taken in toSchema, copyFlag on a table without
    // AUTOINCREMENT).
    void CloneTableSchema(const wxString& table, const wxString& toSchema, bool copyFlag);

    // VACUUM of main (not inside a transaction).
    void Vacuum();
    // PRAGMA freelist_count of main: pages that a Vacuum would give back.
    long long GetFreePageCount();

    // Writes SQLite's process-wide memory statistics and this connection's
    // (cache, schema, statements, lookaside, cache hits) as one line: a trace
    // line of component when its trace is on, an information line when force
    // is set. Returns whether a line was written.
    bool DumpMemoryStats(const wxString& component, bool force);

    // Installs (true) or removes (false) the SQL trace: each statement run,
    // with its bound parameters expanded, as a trace line of the connection's
    // component while that component's trace is on. Replaces a callback set
    // with SetTraceCallback. Only on an open connection; closing removes it.
    void SetTrace(bool on);
    // Installs a raw SQLite trace callback for the events in mask
    // (SQLITE_TRACE_STMT, SQLITE_TRACE_CLOSE, ...); a null callback removes it.
    void SetTraceCallback(unsigned mask, TraceCallback callback, void* context);

    // The wrapped database: statements, queries and result sets run through it.
    wxSQLite3Database& Db();
    const wxString& GetPath() const { return m_path; }
    const wxString& GetName() const { return m_name; }
    int GetBusyTimeoutMs() const { return m_busyTimeoutMs; }

  private:
    void* Handle() const;
    static int TraceToLog(unsigned mask, void* context, void* p, void* x);

    CDom m_dom;
    wxString m_name;
    wxString m_path;
    int m_busyTimeoutMs = kDefaultBusyTimeoutMs;
    std::unique_ptr<CSqliteHashAggregate> m_hash;
    std::unique_ptr<CSqliteConnection> m_db;
};

}  // namespace OrvCore
