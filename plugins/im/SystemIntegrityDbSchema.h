// The schema of si.db: its tables, views, indices and triggers, generated from
// the row classes (SqlRows.h, SqlEntitySets.h) so that no table or column name
// is written twice, and versioned with PRAGMA user_version.
//
// Version 1 (this one):
// - one table per row class, its columns in declaration order, with the
//   affinity of the attribute type (integers and booleans INTEGER, text TEXT,
//   byte strings BLOB); a row's key is INTEGER PRIMARY KEY AUTOINCREMENT, so an
//   id is never handed out twice, not even after the highest row was deleted;
// - the views EntityAttributes, IncludeExcludeFeatures, IncludeExcludePatterns
//   and RealtimeChangeDetails (inner joins of a table with the table named by
//   the view row's further columns);
// - indices for the per-entity and per-key statements of the scanners, the
//   on-change journal and the controller (see SystemIntegrityDbSchema.cpp);
// - triggers that delete dependent rows with their owner: an entity version's
//   Attributes, a real-time change's ChangeDetails (also in the journal, which
//   copies the RealtimeChanges table with its trigger), a rule's entity sets,
//   a set's include/exclude entries, an entry's Patterns and Features.
//
// Upgrades: a later version N+1 adds one step to the upgrade table in the
// .cpp that takes a file from version N to N+1 in place (ALTER TABLE ... ADD
// COLUMN, CREATE INDEX, ...), and raises kSystemIntegritySchemaVersion. Ensure
// runs the steps from the file's version up to the current one and writes the
// new user_version, all in the one transaction.
//
// Threads: the functions work on the connection they are given, on the
// calling thread (normally the controller's, before any scanner starts).
#pragma once

#include <wx/string.h>
#include <wx/wxsqlite3.h>

#include <vector>

#include "core/Dom.h"
#include "core/SqliteDatabase.h"
#include "core/XMLObject.h"

namespace OrvPluginIm {

constexpr int kSystemIntegritySchemaVersion = 1;

// One object of the schema: type is "table", "index", "view" or "trigger".
struct SystemIntegritySchemaObject
{
    wxString type;
    wxString name;
    wxString sql;
};

// The objects of the current schema version, in creation order.
std::vector<SystemIntegritySchemaObject> SystemIntegritySchemaObjects();

// "CREATE TABLE [table] ([column] TYPE,...);" from row's declared attributes.
wxString SqlCreateTableStatement(const OrvCore::XMLObject& row, const wxString& table);

// Gives the database the current schema, or checks that it has it:
// - a file of the current version that holds every object of the schema is
//   left untouched (nothing is written, no write lock is taken);
// - an empty file (user_version 0, no objects) gets the full schema and the
//   current user_version;
// - a file of an older version is upgraded in place;
// all changes in one immediate transaction (a savepoint when the caller has a
// transaction open). Refused, with the reason in error and the file
// unchanged: a newer (or negative) user_version, a non-empty file at version
// 0, a file of the current version that lacks an object of the schema, and
// any database error. Returns whether the schema is in place afterwards.
bool EnsureSystemIntegritySchema(wxSQLite3Database& db, wxString& error);

// Checks an existing si.db file through a read-only connection before a
// writing connection opens it (which switches the file to the write-ahead
// log and so changes its header). True when the file is missing or empty, or
// holds no objects yet (it will get the schema), or holds the current schema;
// false, with the reason in error and the file unchanged, for anything else.
bool CheckSystemIntegrityDbFile(const OrvCore::CDom& dom, const wxString& path, wxString& error);

// The path of si.db: the setting "orp.im.dbPath", else si.db in the
// plugin's work directory (created 0700 when missing); empty when neither is usable.
wxString GetSystemIntegrityDbPath(OrvCore::CDom& dom);

// Opens a connection of the controller or a scanner to si.db: synchronous
// mode 1, write-ahead log, created 0600 when missing; an existing file is
// checked first and left unchanged when it is not an si.db of this version;
// a new file gets the schema. Failures are logged under component. Harmless
// on an open connection.
bool OpenSystemIntegrityConnection(OrvCore::CSqliteDatabase& db, OrvCore::CDom& dom, const wxString& component);

// PRAGMA user_version of the main database.
int GetSystemIntegritySchemaVersion(wxSQLite3Database& db);

}  // namespace OrvPluginIm
