// Key matching: whether an entity (a file, a directory, a user, ...) belongs
// to an entity set. CSystemIntegrityKeyMatch is the per-entity-type policy
// (key separator, case sensitivity, supported features) together with the
// matching algorithm over a set's search base and its include and exclude
// entries (key patterns and feature conditions) as stored in si.db.
// CDirectoryIntegrityKeyMatch and CFileIntegrityKeyMatch are the policies of
// directories and files; the host-metadata scanners derive their own.
//
// Ownership: every scanner (and the on-change thread, per monitored type)
// owns one matcher for its lifetime. The matcher owns nothing but its path
// format and executable callback; the set rows, the loaded feature and
// pattern rows (each pattern row holding its compiled expression) and the id
// sets belong to the caller, which loads them per set with GetFeatures,
// GetPatterns and GetUniqueIncludeExcludeIds.
//
// Threads: a matcher and the rows it is given are used by the thread that
// owns them only. The static loaders run on the caller's connection.
//
// Unmatched reason: an int that the caller initialises (SetUnmatchedReason(-1,
// reason)) and that a failed include raises to say how much of the key's
// neighbourhood the set can never include; the real-time miss cache records a
// miss by it: 1 and 4 the key's whole directory and everything below it, 2
// and 5 the names in that directory with the key's extension, 3 and 6 the
// key's name only.
#pragma once

#include <wx/filename.h>
#include <wx/string.h>
#include <wx/wxsqlite3.h>

#include <functional>

#include "core/Text.h"
#include "core/XMLObject.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"

namespace OrvPluginIm {

class CSystemIntegrityKeyMatch
{
  public:
    // Trace component of key matching and of the entity type info.
    static const char* const s_Trace;  // "orp.im.keyMatch"

    CSystemIntegrityKeyMatch() = default;
    virtual ~CSystemIntegrityKeyMatch() = default;
    CSystemIntegrityKeyMatch(const CSystemIntegrityKeyMatch&) = delete;
    CSystemIntegrityKeyMatch& operator=(const CSystemIntegrityKeyMatch&) = delete;

    // ---- the entity type's policy (keep this order: subclasses of other
    // types override these slots)

    // Whether keys compare case-sensitively. Base: false.
    virtual bool EntityKeysAreCaseSensitive() const;
    // One feature condition of an include or exclude entry. relativeKey is the
    // key below the set's search base, fullKey the whole key, handle what the
    // scanner passes through (an open descriptor of a file or -1, a host
    // record, 0). Base: "whereBaseInOtherSet" on sets with hierarchical
    // names; any other feature is not supported and fails.
    virtual bool EntityMatchesFeature(const wxString& relativeKey, const wxString& fullKey,
                                      unsigned long handle, const OrvCore::XMLObjectList& allSets,
                                      const CSqlEntitySet& set, const CSqlIncludeExcludeFeature& feature,
                                      const CSqlIncludeExcludeFeatures& features,
                                      const CSqlIncludeExcludePatterns& patterns,
                                      const OrvCore::Int64Set& ids) const;
    // The entity type of the leaves below this type's entities ("File" below
    // "Directory"); empty for none. Base: none.
    virtual wxString GetEntityLeafType() const;
    // The separator of key pieces; empty when keys are not structured. Base: "/".
    virtual wxString GetEntityKeySeparator() const;
    // The entity type name ("File", "Directory", "User", ...).
    virtual wxString GetEntityType() const = 0;
    // Whether key lies below the search base of set (and its base expression).
    // Base: false.
    virtual bool KeyPathMatchesSearchBase(const wxString& key, const CSqlEntitySet& set) const;

    // ---- loading a set's entries (static, on the caller's connection)

    // Appends the IncludeExcludeFeatures rows of the set, includes first.
    static void GetFeatures(wxSQLite3Database& db, const wxString& entityType, long long entitySetId,
                            CSqlIncludeExcludeFeatures& out);
    // Appends the IncludeExcludePatterns rows of the set, ordered by entry,
    // includes first; each row compiles its expression when read.
    static void GetPatterns(wxSQLite3Database& db, const wxString& entityType, long long entitySetId,
                            CSqlIncludeExcludePatterns& out);
    // ids becomes the distinct includeExcludeId values of both lists.
    static void GetUniqueIncludeExcludeIds(const CSqlIncludeExcludeFeatures& features,
                                           const CSqlIncludeExcludePatterns& patterns,
                                           OrvCore::Int64Set& ids);

    // code -1 sets reason to -1; any other code raises reason to code.
    static void SetUnmatchedReason(int code, int& reason);

    // ---- matching. allSets are all set rows of the entity type (rows built on
    // CSqlEntitySet), set the one tested, features/patterns/ids its loaded
    // entries.

    // Whether the entity belongs to the set: a set without entries takes
    // every key; otherwise the key relative to searchBase must match an
    // include entry and no exclude entry.
    bool EntityMatches(const wxString& searchBase, const wxString& fullKey, unsigned long handle,
                       const OrvCore::XMLObjectList& allSets, const CSqlEntitySet& set,
                       const CSqlIncludeExcludeFeatures& features, const CSqlIncludeExcludePatterns& patterns,
                       const OrvCore::Int64Set& ids, int& reason) const;
    // Whether some exclude entry of the set matches the key (false for a set
    // without entries).
    bool EntityIsExcluded(const wxString& searchBase, const wxString& fullKey, unsigned long handle,
                          const OrvCore::XMLObjectList& allSets, const CSqlEntitySet& set,
                          const CSqlIncludeExcludeFeatures& features,
                          const CSqlIncludeExcludePatterns& patterns, const OrvCore::Int64Set& ids,
                          int& reason) const;
    // EntityMatches with the relative key already computed.
    bool EntityMatchesIncludeExcludes(const wxString& fullKey, const wxString& relativeKey,
                                      unsigned long handle, const OrvCore::XMLObjectList& allSets,
                                      const CSqlEntitySet& set, const CSqlIncludeExcludeFeatures& features,
                                      const CSqlIncludeExcludePatterns& patterns,
                                      const OrvCore::Int64Set& ids, int& reason) const;
    // One entry (the rows of id with this exclude value): true when it has at
    // least one pattern or feature and all of them hold.
    bool EntityMatchesAll(long long id, bool exclude, const wxString& fullKey, const wxString& relativeKey,
                          unsigned long handle, const OrvCore::XMLObjectList& allSets,
                          const CSqlEntitySet& set, const CSqlIncludeExcludeFeatures& features,
                          const CSqlIncludeExcludePatterns& patterns, const OrvCore::Int64Set& ids,
                          int& reason) const;

    // ---- pruning of a hierarchical walk

    // Whether the include entry id may still match something at or below the
    // directory relativeDir (relative to the search base): false when one of
    // its patterns can never match there, or when it has no include pattern
    // or feature.
    bool EntityPotentiallyMatchesAll(long long id, const wxString& relativeDir, const wxString& fullDir,
                                     const CSqlIncludeExcludeFeatures& features,
                                     const CSqlIncludeExcludePatterns& patterns) const;
    // Whether nothing below relativeDir can match the pattern: its leading
    // components are compared with the directory's as wildcard patterns; a
    // "**" component matches any depth.
    bool PatternWillNeverMatchDescendents(const CSqlIncludeExcludePattern& pattern,
                                          const wxString& relativeDir) const;

    // ---- keys

    // key with base and one following separator removed (base compared
    // ignoring case when keys are not case-sensitive); key itself when it
    // does not start with base, or when base is empty.
    wxString GetRelativeName(const wxString& base, const wxString& key) const;
    // -1, 0 or 1, comparing case as EntityKeysAreCaseSensitive says.
    int CompareStrings(const wxString& a, const wxString& b) const;
    // Whether some set of allSets other than set (by entitySetId) has key
    // below its search base (KeyPathMatchesSearchBase).
    bool IsBaseInOtherSet(const wxString& key, const OrvCore::XMLObjectList& allSets,
                          const CSqlEntitySet& set) const;
    // Key order: piece by piece between separators (empty pieces skipped),
    // so "a/b" sorts before "a-b"; a key that is a prefix of the other in
    // pieces sorts first. -1, 0 or 1.
    int CompareKeys(const wxString& a, const wxString& b) const;

    // Whether text matches pattern, where "*" stands for any run of
    // characters and "?" for exactly one; with escapes, a backslash makes the
    // next character literal (and a final backslash is ignored), as in key
    // patterns of hierarchical sets. Linear in the text for each star
    // restart; never exponential.
    static bool WildcardMatches(const wxString& pattern, const wxString& text, bool caseSensitive,
                                bool escapes = false);

  protected:
    // Whether a pattern row compares case-sensitively under this matcher.
    bool PatternIsCaseSensitive(const CSqlIncludeExcludePattern& pattern) const;
    // The path format that keys of this type are parsed in (from the separator).
    wxPathFormat GetKeyPathFormat() const;

  private:
    // Raises reason for a hierarchical include pattern: matched tells whether
    // its expression matched relativeKey.
    void RaiseReasonForPattern(const CSqlIncludeExcludePattern& pattern, const wxString& relativeKey,
                               bool matched, int& reason) const;
    // Logs an unsupported feature once per feature name and entity type.
    void ReportUnsupportedFeature(const wxString& name) const;

    // Unsupported features already logged by this matcher ("name\ttype").
    mutable OrvCore::WxStringSet m_reportedFeatures;
};

// Directories: keys are paths in the host's path format.
class CDirectoryIntegrityKeyMatch : public CSystemIntegrityKeyMatch
{
  public:
    explicit CDirectoryIntegrityKeyMatch(wxPathFormat pathFormat = wxPATH_NATIVE);

    wxPathFormat GetPathFormat() const { return m_pathFormat; }
    // Also sets the key separator to the first path separator of format.
    void SetPathFormat(wxPathFormat format);

    // Case-sensitive exactly when the path format is.
    bool EntityKeysAreCaseSensitive() const override;
    wxString GetEntityLeafType() const override;  // "File"
    wxString GetEntityKeySeparator() const override { return m_separator; }
    wxString GetEntityType() const override;  // "Directory"
    // The key's directory part starts with the set's search base at a
    // separator boundary (both lower-cased when keys are not case-sensitive)
    // and, when the set has a base expression, the expression matches it.
    bool KeyPathMatchesSearchBase(const wxString& key, const CSqlEntitySet& set) const override;

  private:
    wxPathFormat m_pathFormat = wxPATH_NATIVE;
    wxString m_separator;
};

// Files: directories' policy plus the "executable" feature.
class CFileIntegrityKeyMatch : public CDirectoryIntegrityKeyMatch
{
  public:
    // Answers whether the file at path is executable; handle is the scanner's
    // open descriptor of it, or (unsigned long)-1 when it has none.
    typedef std::function<bool(const wxString& path, unsigned long handle)> IsExecutableFunction;

    // isExecutable empty: the host's test (HostFileIsExecutable).
    explicit CFileIntegrityKeyMatch(IsExecutableFunction isExecutable = IsExecutableFunction(),
                                    wxPathFormat pathFormat = wxPATH_NATIVE);

    // The host's test, OrvCore::FileIsExecutable, with handle as descriptor.
    static bool HostFileIsExecutable(const wxString& path, unsigned long handle);

    wxString GetEntityLeafType() const override;  // none
    wxString GetEntityType() const override;      // "File"
    // "executable": the callback's answer for fullKey and handle must equal
    // the feature's value; other features as for directories.
    bool EntityMatchesFeature(const wxString& relativeKey, const wxString& fullKey, unsigned long handle,
                              const OrvCore::XMLObjectList& allSets, const CSqlEntitySet& set,
                              const CSqlIncludeExcludeFeature& feature,
                              const CSqlIncludeExcludeFeatures& features,
                              const CSqlIncludeExcludePatterns& patterns,
                              const OrvCore::Int64Set& ids) const override;

  private:
    IsExecutableFunction m_isExecutable;
};

}  // namespace OrvPluginIm
