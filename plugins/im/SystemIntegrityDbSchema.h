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

// PRAGMA user_version of the main database.
int GetSystemIntegritySchemaVersion(wxSQLite3Database& db);

}  // namespace OrvPluginIm
