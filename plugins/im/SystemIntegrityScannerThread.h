// CIntegrityScanThread: the base of the scanner threads, one per subscan. Each
// scanner owns its own connection to si.db and prepares, once per
// connection, every statement it runs per entity, so that the per-entity work
// parses no SQL.
//
// Ownership: the scanner owns its connection and its prepared statements
// (deleted before the connection is closed). Threads: the connection and the
// statements are used only on the scanner's own thread; GetPathFormat and
// BuildStatementTexts may be called from any thread.
#pragma once

#include <wx/filename.h>
#include <wx/wxsqlite3.h>

#include <memory>
#include <vector>

#include "core/Runnable.h"
#include "core/SqliteDatabase.h"

namespace OrvPluginIm {

class CSqlEntitySet;

// Resets a prepared statement and clears its bindings when the use ends, so
// that no statement keeps a read lock after use.
class CStatementUse
{
public:
    explicit CStatementUse(wxSQLite3Statement& statement) : m_statement(statement) {}
    ~CStatementUse()
    {
        try {
            m_statement.Reset();
            m_statement.ClearBindings();
        } catch (const wxSQLite3Exception&) {
            // The statement's error was reported where it was run.
        }
    }
    wxSQLite3Statement& operator*() { return m_statement; }
    wxSQLite3Statement* operator->() { return &m_statement; }
    CStatementUse(const CStatementUse&) = delete;
    CStatementUse& operator=(const CStatementUse&) = delete;

private:
    wxSQLite3Statement& m_statement;
};

class CIntegrityScanThread : public OrvCore::CRunnable
{
public:
    static const char* const s_Trace;  // "orp.im.scanner"

    // The per-entity statements, in the order they are prepared.
    enum Statement {
        StmtAttributeHash,           // digest of one version's attributes (?1 entityId)
        StmtCopyAttributes,          // copy the attributes of version ?2 to version ?1
        StmtDeleteEntity,            // delete one Entitys row by key
        StmtDeleteRealtimeChanges,   // delete the change records of (?1 type, ?2 key)
        StmtSameContent,             // older version with the same content digest
        StmtPreviousAwaiting,        // previous version still awaiting confirmation
        StmtCurrentVersions,         // current versions of a key, newest first
        StmtLiveVersions,            // all live versions of a key, oldest first
        StmtAttributesOfVersion,     // attributes of one version by name
        StmtAttributesOfTwoVersions, // attributes of two versions interleaved by name
        StmtOneAttribute,            // one named attribute of one version
        StmtCurrentVersionAnySet,    // current versions of a key in any set
        StmtChangedKeys,             // distinct changed keys of a type, by latest change
        StmtChangeDetailsOfKey,      // change details of one key in time order
        StmtResumeEntities,          // entities of the scanner's set table in key order
        StmtInsertAttribute,
        StmtInsertEntity,
        StmtInsertIntegrityEvent,
        StmtStoreDigest,             // attributeHash and whenScanned of one version
        StmtUpdateEntity,
        StmtUpdateSubscan,
        StmtCount
    };

    explicit CIntegrityScanThread(const OrvCore::CDom& dom);
    ~CIntegrityScanThread() override;

    // The host's path format: DOS when the host protects Windows, else the native (Unix) format.
    static wxPathFormat GetPathFormat(const OrvCore::CDom& dom)
    {
        return dom.IsProtectingWindows() ? wxPATH_DOS : wxPATH_NATIVE;
    }

    // A new row object of the scanner's entity-set table (CSqlFileEntitySet, ...).
    virtual CSqlEntitySet* CreateEntitySetObject() const = 0;

    // The texts of the statements, indexed by Statement, for a scanner whose
    // set row is setRow. Table and column names come from the row classes.
    static std::vector<wxString> BuildStatementTexts(const CSqlEntitySet& setRow);

    // Opens the scanner's connection when needed and prepares every statement
    // that is not prepared yet; true when all are. A statement that cannot be
    // prepared surfaces as wxSQLite3Exception (the ones before it stay prepared).
    bool OpenSystemIntegrityDb();
    // Deletes the prepared statements, dumps the connection's memory
    // statistics, closes and deletes the connection. Harmless when closed.
    void CloseSystemIntegrityDb();
    OrvCore::CSqliteDatabase* GetDb() const { return m_db.get(); }
    // A prepared statement (null before OpenSystemIntegrityDb prepared it).
    wxSQLite3Statement* GetStatement(Statement statement) const { return m_statements[statement].get(); }

protected:
    std::unique_ptr<OrvCore::CSqliteDatabase> m_db;
    std::unique_ptr<wxSQLite3Statement> m_statements[StmtCount];
};

}  // namespace OrvPluginIm
