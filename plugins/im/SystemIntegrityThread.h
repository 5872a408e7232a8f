// CSystemIntegrityThread: the controller of integrity monitoring. It owns the
// controller's connection to si.db, translates rule patterns and bases into
// the expressions stored with the rules, and (as the agent's "main") runs the
// loop that schedules scans.
//
// Ownership: the controller owns its database connection and the prepared
// statement kept with it. Threads: everything here runs on the host thread
// that runs the controller, except PatternToRegEx, which only reads the
// host's settings and may be called from any thread.
#pragma once

#include <wx/filename.h>
#include <wx/string.h>
#include <wx/wxsqlite3.h>

#include <functional>
#include <memory>

#include "core/Runnable.h"
#include "core/XMLObject.h"
#include "plugins/im/IntegrityRules.h"
#include "core/SqliteDatabase.h"

namespace OrvPluginIm {

class CIntegrityRule;
class CEntitySet;
class CFileOrDirSet;
class CFileSet;
class CGroupSet;
class CInstalledSoftwareSet;
class CPortSet;
class CProcessSet;
class CUserSet;
class CIncludeOrExclude;
class CSqlEntitySet;
class CSqlDirectoryEntitySet;
class CSqlFileEntitySet;
class CSqlGroupEntitySet;
class CSqlInstalledSoftwareEntitySet;
class CSqlPortEntitySet;
class CSqlProcessEntitySet;
class CSqlUserEntitySet;

class CSystemIntegrityThread : public OrvCore::CRunnable
{
public:
    static const char* const s_Trace;  // "orp.im.ImThread"

    // The controller works on the agent of the calling thread (CDom::This()).
    CSystemIntegrityThread();
    // The controller of the given agent (tests, several agents in one process).
    explicit CSystemIntegrityThread(const OrvCore::CDom& dom);
    ~CSystemIntegrityThread() override;
    wxString GetThreadName() const override { return "CSystemIntegrityThread"; }

    // ---- si.db
    // Opens the controller's connection when it is not open yet and prepares
    // its statement once; true when the connection is open afterwards.
    bool OpenSystemIntegrityDb();
    // Deletes the statement, closes and deletes the connection. Harmless when closed.
    void CloseSystemIntegrityDb();
    OrvCore::CSqliteDatabase* GetDb() const { return m_db.get(); }
    // The rules for which no current entity exists: (integrityRuleId, name) rows.
    wxSQLite3Statement* GetRulesWithoutEntitiesStatement() const { return m_rulesWithoutEntities.get(); }
    // SQLite trace callback: prints each statement with its values expanded
    // ("IM SQL [...]") and connection closes ("IM DB CLOSE") to standard output.
    static int TraceHandler(unsigned mask, void* context, void* p, void* x);

    // ---- patterns and search bases
    // Translates a key pattern into an anchored extended regular expression.
    // patternFormat is the format the pattern is split in; rooted anchors the
    // expression at the file-system root and also matches everything below;
    // hierarchical is false for entity types whose keys are not paths (they
    // get the empty expression).
    wxString PatternToRegEx(const wxString& pattern, wxPathFormat patternFormat, bool rooted,
                            bool hierarchical) const;

    typedef std::function<void(const wxString&)> Setter;
    // Expands and checks a set's base and hands the base as written, its
    // search base and (when the base has wildcards) its expression to the
    // setters. With report, problems raise agent events 8003 (undefined
    // environment variable) and 8004 (invalid base) and set the rule-warning
    // flag. False when the base cannot be used.
    bool PopulateSearchBaseInfo(int ruleId, const wxString& ruleName, const wxString& base, bool validate,
                                bool report, const Setter& setDirectory, const Setter& setSearchBase,
                                const Setter& setRegEx);
    template <class Row>
    bool PopulateSearchBaseInfo(const CIntegrityRule& rule, const wxString& base, bool validate, bool report,
                                Row& row, void (Row::*setDirectory)(const wxString&),
                                void (Row::*setSearchBase)(const wxString&), void (Row::*setRegEx)(const wxString&));

    bool GetRuleWarning() const { return m_ruleWarning; }
    void SetRuleWarning(bool warning) { m_ruleWarning = warning; }

    // ---- rule persistence: one rule object flattened into the rule tables
    // of si.db (IntegrityRules, the set tables, IncludeExcludes, Patterns,
    // Features), on the controller's open connection. Name problems are
    // reported as agent events 8005 to 8011 and set the rule-warning flag;
    // database errors surface as wxSQLite3Exception.
    void AddRuleToDb(const CIntegrityRule& rule);
    // The type overloads fill the type's columns and end with the common
    // part, which inserts the row and its entries. False when the set is not stored.
    bool PopulateEntitySet(const CIntegrityRule& rule, const CEntitySet& set, CSqlEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CFileOrDirSet& set, CSqlDirectoryEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CFileSet& set, CSqlFileEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CGroupSet& set, CSqlGroupEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CInstalledSoftwareSet& set,
                           CSqlInstalledSoftwareEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CPortSet& set, CSqlPortEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CProcessSet& set, CSqlProcessEntitySet& row);
    bool PopulateEntitySet(const CIntegrityRule& rule, const CUserSet& set, CSqlUserEntitySet& row);
    void PopulateIncludeExcludes(const CIntegrityRule& rule, const CSqlEntitySet& setRow,
                                 const OrvCore::XMLObjectList& entries, bool exclude);
    void PopulatePattern(long long includeExcludeId, const wxString& pattern, const wxString& caseSensitiveText,
                         bool hierarchical);
    void PopulateFeature(long long includeExcludeId, const wxString& name, const wxString& value,
                         const wxString& caseSensitiveText);

    // The hash names that the rule attribute "contents" stands for
    // (configuration "contentShortHandMapping"; "sha1" when empty).
    const wxString& GetContentShortHandMapping() const { return m_contentShortHandMapping; }
    void SetContentShortHandMapping(const wxString& mapping)
    {
        m_contentShortHandMapping = mapping.empty() ? wxString("sha1") : mapping;
    }
    // On a VMsafe guest ("orv.mode.vmsafeGuest") only file sets are stored and scanned.
    bool IsVmsafeGuest() const { return m_vmsafeGuest; }

protected:
    std::unique_ptr<OrvCore::CSqliteDatabase> m_db;
    std::unique_ptr<wxSQLite3Statement> m_rulesWithoutEntities;
    bool m_ruleWarning = false;
    wxString m_contentShortHandMapping = "sha1";
    bool m_vmsafeGuest = false;
};

template <class Row>
bool CSystemIntegrityThread::PopulateSearchBaseInfo(const CIntegrityRule& rule, const wxString& base, bool validate,
                                                    bool report, Row& row,
                                                    void (Row::*setDirectory)(const wxString&),
                                                    void (Row::*setSearchBase)(const wxString&),
                                                    void (Row::*setRegEx)(const wxString&))
{
    return PopulateSearchBaseInfo(
        static_cast<int>(rule.m_id), rule.m_name, base, validate, report,
        [&](const wxString& value) { (row.*setDirectory)(value); },
        [&](const wxString& value) { (row.*setSearchBase)(value); },
        [&](const wxString& value) { (row.*setRegEx)(value); });
}

}  // namespace OrvPluginIm
