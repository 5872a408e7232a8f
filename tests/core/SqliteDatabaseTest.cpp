// CSqliteDatabase on real SQLite files: opening and file modes, bad files,
// transactions across connections, attached databases, schema cloning, the
// HASH aggregate, several writer threads on one WAL file, vacuum, trace.
#include "core/SqliteDatabase.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Log.h"
#include "tests/core/TestUtil.h"

using namespace OrvCore;
using namespace std::chrono;
using OrvTest::TempDir;
using OrvTest::WaitFor;

namespace {

wxString W(const std::string& s)
{
    return wxString::FromUTF8(s);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int Mode(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_mode & 0777;
}

long long Count(CSqliteDatabase& db, const wxString& sql)
{
    wxSQLite3ResultSet rs = db.Db().ExecuteQuery(sql);
    return rs.NextRow() ? rs.GetInt64(0).GetValue() : -1;
}

std::string JournalMode(CSqliteDatabase& db)
{
    wxSQLite3ResultSet rs = db.Db().ExecuteQuery("PRAGMA journal_mode;");
    return rs.NextRow() ? rs.GetString(0).Lower().utf8_string() : std::string();
}

// Records the log lines written while it lives.
class LogCapture
{
  public:
    struct Line
    {
        LogLevel level;
        wxString component;
        wxString message;
    };
    LogCapture()
    {
        SetLogObserver([this](LogLevel level, const wxString& component, const wxString& message) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back({level, component, message});
        });
    }
    ~LogCapture() { SetLogObserver(nullptr); }
    std::vector<Line> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // Lines of that level and component whose message contains every part.
    size_t CountLines(LogLevel level, const wxString& component, std::initializer_list<wxString> parts)
    {
        size_t n = 0;
        for (const Line& line : Lines()) {
            if (line.level != level || line.component != component) continue;
            bool all = true;
            for (const wxString& part : parts) all = all && line.message.Contains(part);
            if (all) ++n;
        }
        return n;
    }

  private:
    std::mutex m_mutex;
    std::vector<Line> m_lines;
};

// A database with one table t(id INTEGER PRIMARY KEY, v) holding rows 1..n.
void MakeDatabase(const std::string& path, int rows, wxSQLite3JournalMode journal = WXSQLITE_JOURNALMODE_WAL)
{
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(W(path), CSqliteDatabase::SyncNormal, journal, true, false));
    db.Db().ExecuteUpdate("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);");
    db.Begin();
    for (int i = 1; i <= rows; ++i)
        db.Db().ExecuteUpdate(wxString::Format("INSERT INTO t(v) VALUES('row %d');", i));
    db.Commit();
    db.Close();
}

}  // namespace

// ---- opening

TEST(SqliteDatabaseOpen, NewFilesAndTheirCompanionsArePrivateWhateverTheUmask)
{
    struct Case
    {
        const char* name;
        wxSQLite3JournalMode journal;
        const char* pragma;                   // what PRAGMA journal_mode reports
        std::vector<std::string> companions;  // present while a write transaction is open
    } cases[] = {{"wal", WXSQLITE_JOURNALMODE_WAL, "wal", {"-wal", "-shm"}},
                 {"rollback journal", WXSQLITE_JOURNALMODE_DELETE, "delete", {"-journal"}}};
    TempDir dir;
    const mode_t saved = umask(0);  // SQLite alone would create 0644 files now
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / (std::string(c.name) + " \xc3\xa9t\xc3\xa9.db");  // UTF-8 name
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_TRUE(db.Open(W(path), CSqliteDatabase::SyncFull, c.journal, true, false));
        EXPECT_TRUE(db.IsOpen());
        EXPECT_EQ(db.GetPath(), W(path));
        EXPECT_EQ(JournalMode(db), c.pragma);
        EXPECT_EQ(Count(db, "PRAGMA synchronous;"), 2);
        db.Db().ExecuteUpdate("CREATE TABLE t(v TEXT);");
        db.Begin();
        db.Db().ExecuteUpdate("INSERT INTO t VALUES('x');");
        EXPECT_EQ(Mode(path), 0600);
        for (const std::string& suffix : c.companions) EXPECT_EQ(Mode(path + suffix), 0600) << suffix;
        db.Commit();
        db.Close();
        EXPECT_FALSE(db.IsOpen());
    }
    umask(saved);
}

TEST(SqliteDatabaseOpen, ReopeningKeepsRowsAndSettings)
{
    TempDir dir;
    const std::string path = dir / "keep.db";
    MakeDatabase(path, 25);
    struct Case
    {
        const char* name;
        bool create;
        int sync;
        long long rows;  // each case adds one
    } cases[] = {{"create flag on an existing file", true, CSqliteDatabase::SyncOff, 25},
                 {"no create flag", false, CSqliteDatabase::SyncNormal, 26},
                 {"again", false, CSqliteDatabase::SyncExtra, 27}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_TRUE(db.Open(W(path), c.sync, WXSQLITE_JOURNALMODE_WAL, c.create, false));
        EXPECT_EQ(Count(db, "SELECT count(*) FROM t;"), c.rows);
        EXPECT_EQ(Count(db, "PRAGMA synchronous;"), c.sync);
        EXPECT_EQ(JournalMode(db), "wal");
        EXPECT_EQ(db.GetBusyTimeoutMs(), CSqliteDatabase::kDefaultBusyTimeoutMs);
        // Opening the open connection again is a no-op; another path is refused.
        EXPECT_TRUE(db.Open(W(path), c.sync, WXSQLITE_JOURNALMODE_WAL, c.create, false));
        EXPECT_FALSE(db.Open(W(dir / "other.db"), c.sync, WXSQLITE_JOURNALMODE_WAL, true, false));
        EXPECT_FALSE(Exists(dir / "other.db"));
        db.Db().ExecuteUpdate("INSERT INTO t(v) VALUES('more');");
    }
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
    EXPECT_EQ(Count(db, "SELECT count(*) FROM t;"), 28);
}

TEST(SqliteDatabaseOpen, BadFilesFailWithALoggedErrorAndAreLeftUntouched)
{
    TempDir dir;
    std::string junk(4096, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 7919u + 13u) % 251u);

    const std::string corrupt = dir / "corrupt.db";
    MakeDatabase(corrupt, 200, WXSQLITE_JOURNALMODE_DELETE);
    {
        std::string bytes = OrvTest::ReadFile(corrupt);
        ASSERT_GT(bytes.size(), junk.size());
        bytes.replace(0, junk.size(), junk);  // the header page
        OrvTest::WriteFile(corrupt, bytes);
    }
    std::string text;
    for (int i = 0; i < 200; ++i) text += "this is a plain text file, line " + std::to_string(i) + "\n";
    OrvTest::WriteFile(dir / "text.db", text);
    OrvTest::WriteFile(dir / "short.db", "hello\n");
    OrvTest::WriteFile(dir / "junk.db", junk + junk);

    struct Case
    {
        const char* name;
        std::string path;
        bool create;
        bool existed;
    } cases[] = {{"corrupt header page", corrupt, true, true},
                 {"corrupt header page, no create", corrupt, false, true},
                 {"text file", dir / "text.db", true, true},
                 {"short text file", dir / "short.db", false, true},
                 {"random bytes", dir / "junk.db", true, true},
                 {"missing file without create", dir / "missing.db", false, false},
                 {"missing directory", dir / "no/such/dir.db", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = c.existed ? OrvTest::ReadFile(c.path) : std::string();
        LogCapture log;
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite.bad");
        EXPECT_FALSE(
            db.Open(W(c.path), CSqliteDatabase::SyncNormal, WXSQLITE_JOURNALMODE_WAL, c.create, false));
        EXPECT_FALSE(db.IsOpen());
        EXPECT_EQ(log.CountLines(LogLevel::Error, "orv.test.sqlite.bad", {W(c.path)}), 1u);
        EXPECT_EQ(Exists(c.path), c.existed);
        if (c.existed) {
            EXPECT_TRUE(OrvTest::ReadFile(c.path) == before);
        }
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            EXPECT_FALSE(Exists(c.path + suffix)) << suffix;
        // The wrapped database reports use after a failed open as its own error.
        EXPECT_THROW(db.Db().ExecuteUpdate("CREATE TABLE x(a);"), wxSQLite3Exception);
        EXPECT_FALSE(db.IsInTransaction());
        db.Rollback();  // harmless
    }
    // The error names what SQLite found.
    LogCapture log;
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite.bad");
    EXPECT_FALSE(db.Open(W(dir / "text.db"), 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    EXPECT_EQ(log.CountLines(LogLevel::Error, "orv.test.sqlite.bad", {"not a database"}), 1u);
}

TEST(SqliteDatabaseOpen, EmptyFileAndMemoryOpenAsEmptyDatabases)
{
    TempDir dir;
    OrvTest::WriteFile(dir / "empty.db", "");
    struct Case
    {
        const char* name;
        std::string path;
    } cases[] = {{"empty file", dir / "empty.db"}, {"memory", ":memory:"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_TRUE(db.Open(W(c.path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
        EXPECT_EQ(Count(db, "SELECT count(*) FROM sqlite_master;"), 0);
        db.Db().ExecuteUpdate("CREATE TABLE t(a);");
        EXPECT_EQ(Count(db, "SELECT count(*) FROM sqlite_master;"), 1);
    }
}

TEST(SqliteDatabaseOpen, ReadOnlyConnectionsReadButNeverWriteOrCreate)
{
    TempDir dir;
    const std::string path = dir / "ro.db";
    MakeDatabase(path, 3);
    const std::string before = OrvTest::ReadFile(path);
    struct Case
    {
        const char* name;
        std::string path;
        bool create;
        bool opens;
    } cases[] = {{"existing file", path, false, true},
                 {"existing file, create flag", path, true, true},
                 {"missing file, create flag", dir / "missing.db", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_EQ(db.Open(W(c.path), 1, WXSQLITE_JOURNALMODE_WAL, c.create, true), c.opens);
        if (!c.opens) {
            EXPECT_FALSE(Exists(c.path));
            continue;
        }
        EXPECT_EQ(Count(db, "SELECT count(*) FROM t;"), 3);
        EXPECT_THROW(db.Db().ExecuteUpdate("INSERT INTO t(v) VALUES('no');"), wxSQLite3Exception);
    }
    EXPECT_TRUE(OrvTest::ReadFile(path) == before);
}

// ---- transactions

TEST(SqliteDatabaseTransaction, CommitKeepsAndRollbackDropsTheRows)
{
    TempDir dir;
    const std::string path = dir / "tx.db";
    MakeDatabase(path, 0);
    struct Case
    {
        const char* name;
        bool immediate;
        bool commit;
        long long rowsAfter;
    } cases[] = {{"immediate commit", true, true, 3},
                 {"immediate rollback", true, false, 3},
                 {"deferred commit", false, true, 6},
                 {"deferred rollback", false, false, 6}};
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(db.IsInTransaction());
        db.Begin(c.immediate);
        EXPECT_TRUE(db.IsInTransaction());
        EXPECT_THROW(db.Begin(c.immediate), wxSQLite3Exception);  // no nesting
        for (int i = 0; i < 3; ++i) db.Db().ExecuteUpdate("INSERT INTO t(v) VALUES('x');");
        if (c.commit)
            db.Commit();
        else
            db.Rollback();
        EXPECT_FALSE(db.IsInTransaction());
        EXPECT_EQ(Count(db, "SELECT count(*) FROM t;"), c.rowsAfter);
    }
    db.Rollback();  // nothing open: no effect, no exception
    EXPECT_THROW(db.Commit(), wxSQLite3Exception);
}

TEST(SqliteDatabaseTransaction, ImmediateTransactionHoldsOtherWritersUntilCommit)
{
    TempDir dir;
    const std::string path = dir / "lock.db";
    MakeDatabase(path, 0);
    CSqliteDatabase a(CDom::CreateIsolated(), "orv.test.sqlite.a");
    ASSERT_TRUE(a.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
    a.Begin(true);
    a.Db().ExecuteUpdate("INSERT INTO t(v) VALUES('from a');");

    std::atomic<bool> began{false}, done{false};
    std::atomic<long long> seen{-1};
    std::string error;
    std::thread writer([&] {
        try {
            CSqliteDatabase b(CDom::CreateIsolated(), "orv.test.sqlite.b");
            if (!b.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false)) throw std::runtime_error("open");
            b.Begin(true);  // waits for a's commit
            began = true;
            seen = Count(b, "SELECT count(*) FROM t WHERE v='from a';");
            b.Db().ExecuteUpdate("INSERT INTO t(v) VALUES('from b');");
            b.Commit();
        } catch (wxSQLite3Exception& e) {
            error = e.GetMessage().utf8_string();
        } catch (std::exception& e) {
            error = e.what();
        }
        done = true;
    });
    // b is held while a's transaction is open...
    EXPECT_FALSE(WaitFor([&] { return began.load() || done.load(); }, milliseconds(300)));
    a.Commit();
    // ...and proceeds as soon as a commits.
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, seconds(20)));
    writer.join();
    EXPECT_EQ(error, "");
    EXPECT_TRUE(began.load());
    EXPECT_EQ(seen.load(), 1);
    EXPECT_EQ(Count(a, "SELECT count(*) FROM t;"), 2);
}

TEST(SqliteDatabaseTransaction, BusyTimeoutSettingBoundsTheWaitAndDeferredReadersDoNotBlock)
{
    TempDir dir;
    const std::string path = dir / "busy.db";
    MakeDatabase(path, 1);
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.sqlite.busyTimeoutMs", 150LL);
    CSqliteDatabase a(CDom::CreateIsolated(), "orv.test.sqlite.a");
    CSqliteDatabase b(dom, "orv.test.sqlite.b");
    ASSERT_TRUE(a.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
    ASSERT_TRUE(b.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
    EXPECT_EQ(b.GetBusyTimeoutMs(), 150);

    struct Case
    {
        const char* name;
        bool holderImmediate;  // a's transaction
        bool blocks;           // b's immediate transaction times out
    } cases[] = {{"writer holds the lock", true, true}, {"deferred reader", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        a.Begin(c.holderImmediate);
        EXPECT_EQ(Count(a, "SELECT count(*) FROM t;"), 1);
        auto start = steady_clock::now();
        if (c.blocks) {
            try {
                b.Begin(true);
                ADD_FAILURE() << "b took the write lock";
                b.Rollback();
            } catch (wxSQLite3Exception& e) {
                EXPECT_EQ(e.GetErrorCode(), SQLITE_BUSY) << e.GetMessage().utf8_string();
            }
            auto waited = duration_cast<milliseconds>(steady_clock::now() - start).count();
            EXPECT_GE(waited, 100);
            EXPECT_LT(waited, 10000);
            EXPECT_FALSE(b.IsInTransaction());
        } else {
            b.Begin(true);
            b.Db().ExecuteUpdate("UPDATE t SET v='changed';");
            b.Commit();
            // a's snapshot is older than b's commit.
            EXPECT_EQ(Count(a, "SELECT count(*) FROM t WHERE v='changed';"), 0);
        }
        a.Commit();
    }
    EXPECT_EQ(Count(a, "SELECT count(*) FROM t WHERE v='changed';"), 1);
}

// ---- attached databases

TEST(SqliteDatabaseAttach, AttachCreatesPrivateFilesAndDetachReleasesThem)
{
    TempDir dir;
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(W(dir / "main.db"), 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    MakeDatabase(dir / "existing.db", 4);
    const mode_t saved = umask(0);
    struct Case
    {
        const char* name;
        std::string path;
        const char* alias;
        bool create;
        bool attaches;
        long long rows;  // rows of t seen through the alias
    } cases[] = {{"memory", ":memory:", "mem", false, true, 0},
                 {"new file", dir / "new journal \xc3\xa9.db", "onChange", true, true, 0},
                 {"existing file", dir / "existing.db", "old", false, true, 4},
                 {"missing file without create", dir / "missing.db", "nope", false, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const wxString alias = c.alias;
        if (!c.attaches) {
            EXPECT_THROW(db.AttachDatabase(W(c.path), alias, c.create), wxSQLite3Exception);
            EXPECT_FALSE(Exists(c.path));
            continue;
        }
        db.AttachDatabase(W(c.path), alias, c.create);
        if (c.rows == 0) db.Db().ExecuteUpdate("CREATE TABLE " + alias + ".t(v);");
        EXPECT_EQ(Count(db, "SELECT count(*) FROM " + alias + ".t;"), c.rows);
        if (c.path != ":memory:") {
            EXPECT_EQ(Mode(c.path), 0600);
        }
        EXPECT_EQ(Count(db, "SELECT count(*) FROM pragma_database_list WHERE name='" + alias + "';"), 1);
        db.DetachDatabase(alias);
        EXPECT_EQ(Count(db, "SELECT count(*) FROM pragma_database_list WHERE name='" + alias + "';"), 0);
        EXPECT_THROW(db.DetachDatabase(alias), wxSQLite3Exception);
    }
    umask(saved);
}

// ---- CloneTableSchema

namespace {

// main: an AUTOINCREMENT change table with an index and a trigger that removes
// the details of a deleted change, the detail table, and a plain table.
void MakeJournalSchema(CSqliteDatabase& db)
{
    db.Db().ExecuteUpdate(
        "CREATE TABLE [RealtimeChanges] (realtimeChangeId INTEGER PRIMARY KEY AUTOINCREMENT, entityType "
        "TEXT, "
        "keyCanonical TEXT, entitySetIds TEXT);");
    db.Db().ExecuteUpdate("CREATE INDEX RealtimeChangesKey ON RealtimeChanges(entityType, keyCanonical);");
    db.Db().ExecuteUpdate(
        "CREATE TABLE \"ChangeDetails\" (realtimeChangeId INTEGER, change INTEGER, whenChangedFirst "
        "INTEGER);");
    db.Db().ExecuteUpdate(
        "CREATE TRIGGER RealtimeChangesDelete AFTER DELETE ON RealtimeChanges BEGIN "
        "DELETE FROM ChangeDetails WHERE realtimeChangeId=old.realtimeChangeId; END;");
    db.Db().ExecuteUpdate("CREATE TABLE `plain table` (a INTEGER PRIMARY KEY, b TEXT);");
}

}  // namespace

TEST(SqliteDatabaseClone, CopyFlagContinuesRowIdsAboveTheSource)
{
    struct Case
    {
        const char* name;
        int mainRows;    // rows inserted into main.RealtimeChanges
        int deleteLast;  // of which the newest are deleted again
        bool copyFlag;
        long long firstCloneId;
        bool moveBackWorks;  // INSERT INTO main SELECT * FROM the clone
    } cases[] = {{"copy flag, rows", 40, 0, true, 41, true},
                 {"copy flag, newest rows deleted", 40, 5, true, 41, true},
                 {"copy flag, empty main", 0, 0, true, 1, true},
                 {"copy flag, all rows deleted", 10, 10, true, 11, true},
                 {"no copy flag", 40, 0, false, 1, false},
                 {"no copy flag, empty main", 0, 0, false, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_TRUE(db.Open(W(dir / "si.db"), 1, WXSQLITE_JOURNALMODE_WAL, true, false));
        MakeJournalSchema(db);
        for (int i = 0; i < c.mainRows; ++i)
            db.Db().ExecuteUpdate(wxString::Format(
                "INSERT INTO RealtimeChanges(entityType, keyCanonical) VALUES('File', '/main/%d');", i));
        if (c.deleteLast > 0)
            db.Db().ExecuteUpdate(wxString::Format("DELETE FROM RealtimeChanges WHERE realtimeChangeId > %d;",
                                                   c.mainRows - c.deleteLast));
        db.AttachDatabase(":memory:", "onChange", false);
        db.CloneTableSchema("RealtimeChanges", "onChange", c.copyFlag);
        db.CloneTableSchema("ChangeDetails", "onChange", false);

        // Same definitions, index and trigger included.
        EXPECT_EQ(Count(db,
                        "SELECT count(*) FROM onChange.sqlite_master WHERE name IN ('RealtimeChanges', "
                        "'ChangeDetails', 'RealtimeChangesKey', 'RealtimeChangesDelete');"),
                  4);
        EXPECT_EQ(Count(db,
                        "SELECT count(*) FROM onChange.sqlite_master m JOIN main.sqlite_master s "
                        "USING (type, name, tbl_name, sql);"),
                  5);  // the same definitions, sqlite_sequence included
        // Rows start above main's ids.
        db.Db().ExecuteUpdate(
            "INSERT INTO onChange.RealtimeChanges(entityType, keyCanonical) VALUES('File', '/journal/1');");
        const long long id = db.Db().GetLastRowId().GetValue();
        EXPECT_EQ(id, c.firstCloneId);
        db.Db().ExecuteUpdate(wxString::Format(
            "INSERT INTO onChange.ChangeDetails VALUES(%lld, 2, 1000), (%lld, 1, 2000);", id, id));
        // The cloned index is used for look-ups by key.
        wxSQLite3ResultSet plan = db.Db().ExecuteQuery(
            "EXPLAIN QUERY PLAN SELECT * FROM onChange.RealtimeChanges WHERE entityType='File' AND "
            "keyCanonical='/journal/1';");
        bool usesIndex = false;
        while (plan.NextRow()) usesIndex = usesIndex || plan.GetString(3).Contains("RealtimeChangesKey");
        EXPECT_TRUE(usesIndex);
        plan.Finalize();

        // Moving the rows back into main keeps their ids, unique only with the flag.
        bool moved = true;
        try {
            db.Begin(true);
            db.Db().ExecuteUpdate("INSERT INTO RealtimeChanges SELECT * FROM onChange.RealtimeChanges;");
            db.Db().ExecuteUpdate("INSERT INTO ChangeDetails SELECT * FROM onChange.ChangeDetails;");
            db.Commit();
        } catch (wxSQLite3Exception& e) {
            moved = false;
            EXPECT_EQ(e.GetErrorCode(), SQLITE_CONSTRAINT) << e.GetMessage().utf8_string();
            db.Rollback();
        }
        EXPECT_EQ(moved, c.moveBackWorks);
        // The cloned trigger removes the journal's details with their change.
        db.Db().ExecuteUpdate("DELETE FROM onChange.RealtimeChanges;");
        EXPECT_EQ(Count(db, "SELECT count(*) FROM onChange.ChangeDetails;"), 0);
        EXPECT_EQ(Count(db, "SELECT count(*) FROM main.ChangeDetails;"), moved ? 2 : 0);
        // The journal keeps counting above the moved ids.
        db.Db().ExecuteUpdate("INSERT INTO onChange.RealtimeChanges(entityType) VALUES('File');");
        EXPECT_EQ(db.Db().GetLastRowId().GetValue(), c.firstCloneId + 1);
        db.DetachDatabase("onChange");
    }
}

TEST(SqliteDatabaseClone, FailuresLeaveTheTargetSchemaUnchanged)
{
    struct Case
    {
        const char* name;
        const char* table;
        bool copyFlag;
        bool succeeds;
    } cases[] = {{"plain table, no flag", "plain table", false, true},
                 {"table name in another case", "realtimechanges", false, true},
                 {"plain table with the copy flag", "plain table", true, false},
                 {"unknown table", "NoSuchTable", false, false},
                 {"an index is not a table", "RealtimeChangesKey", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));
        MakeJournalSchema(db);
        db.Db().ExecuteUpdate("INSERT INTO [plain table](b) VALUES('x');");
        db.AttachDatabase(":memory:", "other schema", false);
        if (c.succeeds) {
            db.CloneTableSchema(W(c.table), "other schema", c.copyFlag);
            EXPECT_GT(Count(db, "SELECT count(*) FROM \"other schema\".sqlite_master WHERE type='table';"),
                      0);
            // A second clone of the same table finds the name taken and changes nothing.
            const long long objects = Count(db, "SELECT count(*) FROM \"other schema\".sqlite_master;");
            EXPECT_THROW(db.CloneTableSchema(W(c.table), "other schema", c.copyFlag), wxSQLite3Exception);
            EXPECT_EQ(Count(db, "SELECT count(*) FROM \"other schema\".sqlite_master;"), objects);
        } else {
            EXPECT_THROW(db.CloneTableSchema(W(c.table), "other schema", c.copyFlag), wxSQLite3Exception);
            EXPECT_EQ(Count(db, "SELECT count(*) FROM \"other schema\".sqlite_master;"), 0);
        }
        EXPECT_FALSE(db.IsInTransaction());
    }
}

// ---- HASH

namespace {

enum class Kind
{
    Text,
    Blob,
    Integer,
    Real,
    Null
};
struct Value
{
    Kind kind;
    std::string bytes;  // what the digest sees: UTF-8, blob bytes, SQLite's text of a number
    long long integer;
    double real;
};
Value Text(const std::string& s)
{
    return {Kind::Text, s, 0, 0};
}
Value Blob(const std::string& s)
{
    return {Kind::Blob, s, 0, 0};
}
Value Integer(long long i, const std::string& text)
{
    return {Kind::Integer, text, i, 0};
}
Value Real(double d, const std::string& text)
{
    return {Kind::Real, text, 0, d};
}
Value Null()
{
    return {Kind::Null, "", 0, 0};
}

// The framing computed here independently: 4-byte big-endian length, then
// the bytes; NULL is 0xFFFFFFFF alone.
std::string Digest(const char* evpName, const std::vector<Value>& values)
{
    std::string input;
    for (const Value& v : values) {
        if (v.kind == Kind::Null) {
            input += std::string(4, '\xff');
            continue;
        }
        const uint32_t n = static_cast<uint32_t>(v.bytes.size());
        input += static_cast<char>(n >> 24);
        input += static_cast<char>((n >> 16) & 0xff);
        input += static_cast<char>((n >> 8) & 0xff);
        input += static_cast<char>(n & 0xff);
        input += v.bytes;
    }
    EVP_MD* md = EVP_MD_fetch(nullptr, evpName, nullptr);
    if (!md) return "no digest";
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(input.data(), input.size(), out, &size, md, nullptr);
    EVP_MD_free(md);
    return std::string(reinterpret_cast<char*>(out), size);
}

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void InsertValues(CSqliteDatabase& db, int group, const std::vector<Value>& values)
{
    wxSQLite3Statement st = db.Db().PrepareStatement("INSERT INTO h(grp, seq, v) VALUES(?1, ?2, ?3);");
    int seq = 0;
    for (const Value& v : values) {
        st.Bind(1, group);
        st.Bind(2, seq++);
        switch (v.kind) {
            case Kind::Text:
                st.Bind(3, wxString::FromUTF8(v.bytes));
                break;
            case Kind::Blob:
                st.Bind(3, reinterpret_cast<const unsigned char*>(v.bytes.data()),
                        static_cast<int>(v.bytes.size()));
                break;
            case Kind::Integer:
                st.Bind(3, wxLongLong(v.integer));
                break;
            case Kind::Real:
                st.Bind(3, v.real);
                break;
            case Kind::Null:
                st.BindNull(3);
                break;
        }
        st.ExecuteUpdate();
        st.Reset();
    }
}

std::string HashOf(CSqliteDatabase& db, int group, const wxString& algorithm)
{
    wxSQLite3Statement st =
        db.Db().PrepareStatement("SELECT HASH(v, ?2) FROM (SELECT v FROM h WHERE grp=?1 ORDER BY seq);");
    st.Bind(1, group);
    st.Bind(2, algorithm);
    wxSQLite3ResultSet rs = st.ExecuteQuery();
    if (!rs.NextRow() || rs.IsNull(0)) return "null";
    int size = 0;
    const unsigned char* blob = rs.GetBlob(0, size);
    return std::string(reinterpret_cast<const char*>(blob), size);
}

}  // namespace

TEST(SqliteDatabaseHash, DigestsTheFramedValuesInRowOrder)
{
    const std::vector<Value> mixed = {Text("alpha"),
                                      Null(),
                                      Integer(-42, "-42"),
                                      Real(2.5, "2.5"),
                                      Blob(std::string("\x00\x01\xff\x00", 4)),
                                      Text("gr\xc3\xbc\xc3\x9f \xe6\x97\xa5\xe6\x9c\xac"),
                                      Text(""),
                                      Blob(""),
                                      Integer(9007199254740993LL, "9007199254740993"),
                                      Real(-0.125, "-0.125")};
    std::vector<Value> many;
    for (int i = 0; i < 1000; ++i) many.push_back(i % 7 ? Text("value " + std::to_string(i)) : Null());
    struct Case
    {
        const char* name;
        const char* algorithm;
        const char* evpName;
        size_t digestSize;
        std::vector<Value> values;
    } cases[] = {{"sha1 of mixed values", "sha1", "SHA1", 20, mixed},
                 {"sha256, upper case name", "SHA256", "SHA256", 32, mixed},
                 {"md5, mixed case name", "Md5", "MD5", 16, mixed},
                 {"one NULL", "sha1", "SHA1", 20, {Null()}},
                 {"one empty text", "sha1", "SHA1", 20, {Text("")}},
                 {"ab as one value", "sha1", "SHA1", 20, {Text("ab")}},
                 {"ab as two values", "sha1", "SHA1", 20, {Text("a"), Text("b")}},
                 {"many rows", "sha256", "SHA256", 32, many}};
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    db.Db().ExecuteUpdate("CREATE TABLE h(grp INTEGER, seq INTEGER, v);");
    int group = 0;
    std::vector<std::string> digests;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++group;
        InsertValues(db, group, c.values);
        const std::string expected = Digest(c.evpName, c.values);
        ASSERT_EQ(expected.size(), c.digestSize);
        const std::string actual = HashOf(db, group, c.algorithm);
        EXPECT_EQ(Hex(actual), Hex(expected));
        digests.push_back(actual);
    }
    // Framing keeps value boundaries: "ab" differs from "a","b".
    EXPECT_NE(digests[5], digests[6]);
    // A NULL differs from an empty text.
    EXPECT_NE(digests[3], digests[4]);

    // Several groups aggregated by one statement each get their own digest.
    wxSQLite3ResultSet rs = db.Db().ExecuteQuery(
        "SELECT grp, HASH(v, 'sha1') FROM (SELECT grp, v FROM h ORDER BY grp, seq) GROUP BY grp ORDER BY "
        "grp;");
    int groups = 0;
    while (rs.NextRow()) {
        const int g = rs.GetInt(0);
        SCOPED_TRACE(cases[g - 1].name);
        int size = 0;
        const unsigned char* blob = rs.GetBlob(1, size);
        EXPECT_EQ(Hex(std::string(reinterpret_cast<const char*>(blob), size)),
                  Hex(Digest("SHA1", cases[g - 1].values)));
        ++groups;
    }
    EXPECT_EQ(groups, group);
}

TEST(SqliteDatabaseHash, NoRowsGiveTheDigestOfEmptyInput)
{
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    db.Db().ExecuteUpdate("CREATE TABLE h(grp INTEGER, seq INTEGER, v);");
    InsertValues(db, 1, {Text("not selected")});
    struct Case
    {
        const char* name;
        const char* algorithm;
    } cases[] = {{"sha1", "sha1"},
                 // SQLite shows an aggregate no arguments when there are no
                 // rows: every algorithm yields the SHA-1 of empty input.
                 {"sha256", "sha256"},
                 {"unknown name", "whatever"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string actual = HashOf(db, 2, c.algorithm);
        EXPECT_EQ(Hex(actual), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
        EXPECT_EQ(actual, Digest("SHA1", {}));
    }
}

TEST(SqliteDatabaseHash, UnknownAlgorithmsAndWrongCallsAreSqlErrors)
{
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    db.Db().ExecuteUpdate("CREATE TABLE h(grp INTEGER, seq INTEGER, v);");
    InsertValues(db, 1, {Text("a"), Null(), Text("b")});
    struct Case
    {
        const char* name;
        const char* sql;
        const char* messagePart;
    } cases[] = {{"sha512 is not offered", "SELECT HASH(v, 'sha512') FROM h;", "unknown algorithm"},
                 {"made-up name", "SELECT HASH(v, 'bogus') FROM h;", "unknown algorithm"},
                 {"empty name", "SELECT HASH(v, '') FROM h;", "unknown algorithm"},
                 {"NULL name", "SELECT HASH(v, NULL) FROM h;", "unknown algorithm"},
                 {"one argument", "SELECT HASH(v) FROM h;", "HASH"},
                 {"three arguments", "SELECT HASH(v, 'sha1', 1) FROM h;", "HASH"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            wxSQLite3ResultSet rs = db.Db().ExecuteQuery(c.sql);
            rs.NextRow();
            ADD_FAILURE() << "no error";
        } catch (wxSQLite3Exception& e) {
            EXPECT_TRUE(e.GetMessage().Contains(c.messagePart)) << e.GetMessage().utf8_string();
        }
        // The connection stays usable.
        EXPECT_EQ(HashOf(db, 1, "sha1"), Digest("SHA1", {Text("a"), Null(), Text("b")}));
    }
}

// ---- several threads, one WAL file

TEST(SqliteDatabaseThreads, WritersOnTheirOwnConnectionsNeverSeeDatabaseLocked)
{
    TempDir dir;
    const std::string path = dir / "shared.db";
    {
        CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
        ASSERT_TRUE(db.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, true, false));
        db.Db().ExecuteUpdate(
            "CREATE TABLE w(id INTEGER PRIMARY KEY AUTOINCREMENT, thread INTEGER, n INTEGER, "
            "UNIQUE(thread, n));");
    }
    const int kThreads = 4, kRows = 500;
    std::mutex mutex;
    std::vector<std::string> errors;
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite.writer");
                if (!db.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, true, false))
                    throw wxSQLite3Exception(SQLITE_CANTOPEN, "open failed");
                wxSQLite3Statement insert =
                    db.Db().PrepareStatement("INSERT INTO w(thread, n) VALUES(?1, ?2);");
                wxSQLite3Statement mine = db.Db().PrepareStatement("SELECT count(*) FROM w WHERE thread=?1;");
                for (int n = 0; n < kRows; ++n) {
                    db.Begin(true);
                    int before = -1;
                    {
                        mine.Bind(1, t);
                        wxSQLite3ResultSet rs = mine.ExecuteQuery();
                        if (rs.NextRow()) before = rs.GetInt(0);
                    }
                    mine.Reset();
                    if (before != n) throw wxSQLite3Exception(SQLITE_ERROR, "lost a row");
                    insert.Bind(1, t);
                    insert.Bind(2, n);
                    insert.ExecuteUpdate();
                    insert.Reset();
                    db.Commit();
                }
            } catch (wxSQLite3Exception& e) {
                std::lock_guard<std::mutex> lock(mutex);
                errors.push_back("thread " + std::to_string(t) + ": " + e.GetMessage().utf8_string());
            }
            ++finished;
        });
    }
    EXPECT_TRUE(WaitFor([&] { return finished.load() == kThreads; }, seconds(120)));
    for (std::thread& th : threads) th.join();
    for (const std::string& e : errors) ADD_FAILURE() << e;

    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(W(path), 1, WXSQLITE_JOURNALMODE_WAL, false, false));
    EXPECT_EQ(Count(db, "SELECT count(*) FROM w;"), kThreads * kRows);
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(Count(db, wxString::Format("SELECT count(DISTINCT n) FROM w WHERE thread=%d;", t)), kRows);
    }
    EXPECT_EQ(Count(db, "SELECT max(id) FROM w;"), kThreads * kRows);
}

// ---- vacuum and free pages

TEST(SqliteDatabaseVacuum, VacuumGivesBackThePagesOfDeletedRows)
{
    TempDir dir;
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(W(dir / "vac.db"), 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    db.Db().ExecuteUpdate("CREATE TABLE big(id INTEGER PRIMARY KEY, payload BLOB);");
    EXPECT_EQ(db.GetFreePageCount(), 0);
    db.Begin();
    db.Db().ExecuteUpdate(
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i<3000) "
        "INSERT INTO big SELECT i, randomblob(600) FROM c;");
    db.Commit();
    const long long pagesFull = Count(db, "PRAGMA page_count;");
    db.Db().ExecuteUpdate("DELETE FROM big WHERE id > 100;");
    const long long freePages = db.GetFreePageCount();
    EXPECT_GT(freePages, pagesFull / 2);
    EXPECT_EQ(Count(db, "PRAGMA page_count;"), pagesFull);

    db.Begin();
    EXPECT_THROW(db.Vacuum(), wxSQLite3Exception);  // not inside a transaction
    db.Rollback();
    db.Vacuum();
    EXPECT_EQ(db.GetFreePageCount(), 0);
    EXPECT_LE(Count(db, "PRAGMA page_count;"), pagesFull - freePages);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM big;"), 100);
}

// ---- diagnostics

TEST(SqliteDatabaseTrace, StatementsAreTracedUnderTheConnectionsComponent)
{
    const wxString component = "orv.test.sqlite.trace";
    CSqliteDatabase db(CDom::CreateIsolated(), component);
    EXPECT_THROW(db.SetTrace(true), wxSQLite3Exception);  // not open
    ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));

    struct Case
    {
        const char* name;
        bool componentOn;
        bool hookOn;
        int marker;
        bool traced;
    } cases[] = {{"hook and component on", true, true, 41, true},
                 {"component off", false, true, 42, false},
                 {"hook removed", true, false, 43, false},
                 {"hook on again", true, true, 44, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetTraceComponents(c.componentOn ? component : wxString());
        db.SetTrace(c.hookOn);
        LogCapture log;
        wxSQLite3Statement st = db.Db().PrepareStatement("SELECT ?1 + 1;");
        st.Bind(1, c.marker);
        st.ExecuteScalar();
        const wxString expanded = wxString::Format("SQL [SELECT %d + 1;]", c.marker);
        EXPECT_EQ(log.CountLines(LogLevel::Trace, component, {expanded}), c.traced ? 1u : 0u);
    }
    SetTraceComponents("");
}

TEST(SqliteDatabaseTrace, RawTraceCallbackSeesStatementsAndTheClose)
{
    struct Seen
    {
        std::vector<std::string> statements;
        int closes = 0;
    } seen;
    CSqliteDatabase::TraceCallback callback = [](unsigned mask, void* context, void* p, void* x) -> int {
        Seen* s = static_cast<Seen*>(context);
        if (mask == SQLITE_TRACE_STMT) {
            char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(p));
            s->statements.push_back(sql ? sql : static_cast<const char*>(x));
            sqlite3_free(sql);
        } else if (mask == SQLITE_TRACE_CLOSE) {
            ++s->closes;
        }
        return 0;
    };
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    db.SetTraceCallback(SQLITE_TRACE_STMT | SQLITE_TRACE_CLOSE, callback, &seen);
    db.Db().ExecuteUpdate("CREATE TABLE t(a);");
    wxSQLite3Statement st = db.Db().PrepareStatement("INSERT INTO t VALUES(?1);");
    st.Bind(1, wxString("it's"));
    st.ExecuteUpdate();
    st.Finalize();
    db.Close();
    ASSERT_EQ(seen.statements.size(), 2u);
    EXPECT_EQ(seen.statements[0], "CREATE TABLE t(a);");
    EXPECT_EQ(seen.statements[1], "INSERT INTO t VALUES('it''s');");
    EXPECT_EQ(seen.closes, 1);
}

TEST(SqliteDatabaseTrace, MemoryStatisticsAreWrittenWhenTracedOrForced)
{
    const wxString component = "orv.test.sqlite.memory";
    CSqliteDatabase db(CDom::CreateIsolated(), "orv.test.sqlite");
    ASSERT_TRUE(db.Open(":memory:", 1, WXSQLITE_JOURNALMODE_WAL, true, false));
    db.Db().ExecuteUpdate("CREATE TABLE t(a);");
    db.Db().ExecuteUpdate("INSERT INTO t VALUES(1);");
    struct Case
    {
        const char* name;
        bool componentOn;
        bool force;
        bool written;
        LogLevel level;
    } cases[] = {{"quiet", false, false, false, LogLevel::Trace},
                 {"forced", false, true, true, LogLevel::Info},
                 {"traced", true, false, true, LogLevel::Trace},
                 {"traced and forced", true, true, true, LogLevel::Trace}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetTraceComponents(c.componentOn ? component : wxString());
        LogCapture log;
        EXPECT_EQ(db.DumpMemoryStats(component, c.force), c.written);
        EXPECT_EQ(log.CountLines(c.level, component, {"SQLite memory: used", "connection :memory:", "cache"}),
                  c.written ? 1u : 0u);
        EXPECT_EQ(log.Lines().size(), c.written ? 1u : 0u);
    }
    SetTraceComponents("");
}
