// Key matching: loading a set's include/exclude entries, the set-membership
// test with its unmatched reasons, the pruning of hierarchical walks and the
// ordering of keys.
#include "plugins/im/SystemIntegrityKeyMatch.h"

#include <climits>
#include <utility>
#include <vector>

#include "core/FileUtil.h"
#include "core/Log.h"

namespace OrvPluginIm {

namespace {

const char* const kSource = "plugins/im/SystemIntegrityKeyMatch";

// Feature names, compared ignoring case.
const wxChar* const kFeatureWhereBaseInOtherSet = wxT("whereBaseInOtherSet");
const wxChar* const kFeatureExecutable = wxT("executable");

// Characters of a key pattern that do not stand for themselves in its
// expression: the wildcards, the escape, and "+" (copied into the expression
// unchanged, where it repeats the preceding character).
const wxChar* const kPatternSpecials = wxT("*?\\+");

// A row of each view, for the column names of the loading statements.
template <class TRow>
const TRow& NamesOf()
{
    static const TRow* row = new TRow();
    return *row;
}

// Moves the rows of a result set to the end of out (a list's own load
// replaces its items).
template <class TList>
void AppendRows(wxSQLite3ResultSet& rows, TList& out)
{
    TList loaded;
    loaded.SQLLoad(rows);
    std::vector<OrvCore::XMLObject*>& items = out.Children();
    items.reserve(items.size() + loaded.GetCount());
    for (OrvCore::XMLObject* item : loaded.Children()) items.push_back(item);
    loaded.Children().clear();
}

inline bool SameChar(wxChar a, wxChar b, bool caseSensitive)
{
    return a == b || (!caseSensitive && wxTolower(a) == wxTolower(b));
}

inline bool SameText(const wxString& a, const wxString& b, bool caseSensitive)
{
    return caseSensitive ? a == b : a.IsSameAs(b, false);
}

inline bool HasAnyOf(const wxString& text, const wxChar* characters)
{
    return text.find_first_of(characters) != wxString::npos;
}

// The non-empty pieces of text between separator characters (all of text
// when separators is empty).
std::vector<wxString> SplitPieces(const wxString& text, const wxString& separators)
{
    std::vector<wxString> pieces;
    if (separators.empty()) {
        if (!text.empty()) pieces.push_back(text);
        return pieces;
    }
    size_t start = 0;
    while (start <= text.length()) {
        size_t end = text.find_first_of(separators, start);
        if (end == wxString::npos) end = text.length();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// Whether a directory component may match a pattern component. A component
// with "+" is a repetition in the expression that a wildcard comparison
// cannot judge, so it may match anything.
bool ComponentMayMatch(const wxString& patternComponent, const wxString& component, bool caseSensitive)
{
    if (patternComponent.find(wxT('+')) != wxString::npos) return true;
    return CSystemIntegrityKeyMatch::WildcardMatches(patternComponent, component, caseSensitive, true);
}

// Whether a pattern whose expression has alternatives ("|" is copied into it
// unchanged) escapes any reasoning over its components.
inline bool PatternIsOpaque(const CSqlIncludeExcludePattern& pattern)
{
    return pattern.m_pattern.find(wxT('|')) != wxString::npos;
}

// Whether no key of directoryComponents.size() + 1 or more components that
// starts with directoryComponents can match a pattern of these components:
// the pattern is shorter, or one of its components before any "**" rejects
// the directory's.
bool NeverMatchesInOrBelow(const std::vector<wxString>& patternComponents,
                           const std::vector<wxString>& directoryComponents, bool caseSensitive)
{
    for (size_t i = 0; i < directoryComponents.size(); ++i) {
        if (i >= patternComponents.size()) return true;
        if (patternComponents[i] == wxT("**")) return false;
        if (!ComponentMayMatch(patternComponents[i], directoryComponents[i], caseSensitive)) return true;
    }
    return patternComponents.size() <= directoryComponents.size();
}

}  // namespace

const char* const CSystemIntegrityKeyMatch::s_Trace = "orp.im.keyMatch";

// ---------------------------------------------------------------- policy

bool CSystemIntegrityKeyMatch::EntityKeysAreCaseSensitive() const
{
    return false;
}

bool CSystemIntegrityKeyMatch::EntityMatchesFeature(
    const wxString& relativeKey, const wxString& fullKey, unsigned long handle,
    const OrvCore::XMLObjectList& allSets, const CSqlEntitySet& set, const CSqlIncludeExcludeFeature& feature,
    const CSqlIncludeExcludeFeatures& features, const CSqlIncludeExcludePatterns& patterns,
    const OrvCore::Int64Set& ids) const
{
    (void)relativeKey;
    (void)handle;
    (void)features;
    (void)patterns;
    (void)ids;
    if (set.HasHierarchicalNames() && feature.m_name.IsSameAs(kFeatureWhereBaseInOtherSet, false)) {
        const bool expected = feature.m_value.IsSameAs(wxT("true"), false);
        return IsBaseInOtherSet(fullKey, allSets, set) == expected;
    }
    ReportUnsupportedFeature(feature.m_name);
    return false;
}

wxString CSystemIntegrityKeyMatch::GetEntityLeafType() const
{
    return wxString();
}

wxString CSystemIntegrityKeyMatch::GetEntityKeySeparator() const
{
    return wxT("/");
}

bool CSystemIntegrityKeyMatch::KeyPathMatchesSearchBase(const wxString& key, const CSqlEntitySet& set) const
{
    (void)key;
    (void)set;
    return false;
}

bool CSystemIntegrityKeyMatch::PatternIsCaseSensitive(const CSqlIncludeExcludePattern& pattern) const
{
    return pattern.IsCaseSensitive(EntityKeysAreCaseSensitive());
}

wxPathFormat CSystemIntegrityKeyMatch::GetKeyPathFormat() const
{
    return GetEntityKeySeparator() == wxT("\\") ? wxPATH_DOS : wxPATH_UNIX;
}

void CSystemIntegrityKeyMatch::ReportUnsupportedFeature(const wxString& name) const
{
    // A feature fails for every entity it is tested on; one line per feature
    // and type says the same.
    const wxString type = GetEntityType();
    if (!m_reportedFeatures.insert(name + wxT("\t") + type).second) return;
    OrvCore::LogWarning(
        s_Trace,
        wxString::Format(wxT("Integrity monitoring '%s' feature not supported for entities of type %s"), name,
                         type));
}

// ---------------------------------------------------------------- loading

void CSystemIntegrityKeyMatch::GetFeatures(wxSQLite3Database& db, const wxString& entityType,
                                           long long entitySetId, CSqlIncludeExcludeFeatures& out)
{
    const CSqlIncludeExcludeFeature& row = NamesOf<CSqlIncludeExcludeFeature>();
    wxSQLite3Statement statement = db.PrepareStatement(
        wxString::Format(wxT("SELECT * FROM [%s] WHERE [%s]=?1 AND [%s]=?2 ORDER BY [%s];"),
                         CSqlIncludeExcludeFeatures::ElementName(), row.GetAttributeName(&row.m_entitySetId),
                         row.GetAttributeName(&row.m_entityType), row.GetAttributeName(&row.m_exclude)));
    statement.Bind(1, wxLongLong(entitySetId));
    statement.Bind(2, entityType);
    wxSQLite3ResultSet rows = statement.ExecuteQuery();
    AppendRows(rows, out);
}

void CSystemIntegrityKeyMatch::GetPatterns(wxSQLite3Database& db, const wxString& entityType,
                                           long long entitySetId, CSqlIncludeExcludePatterns& out)
{
    const CSqlIncludeExcludePattern& row = NamesOf<CSqlIncludeExcludePattern>();
    wxSQLite3Statement statement = db.PrepareStatement(wxString::Format(
        wxT("SELECT * FROM [%s] WHERE [%s]=?1 AND [%s]=?2 ORDER BY [%s],[%s];"),
        CSqlIncludeExcludePatterns::ElementName(), row.GetAttributeName(&row.m_entitySetId),
        row.GetAttributeName(&row.m_entityType), row.GetAttributeName(&row.m_includeExcludeId),
        row.GetAttributeName(&row.m_exclude)));
    statement.Bind(1, wxLongLong(entitySetId));
    statement.Bind(2, entityType);
    wxSQLite3ResultSet rows = statement.ExecuteQuery();
    AppendRows(rows, out);
}

void CSystemIntegrityKeyMatch::GetUniqueIncludeExcludeIds(const CSqlIncludeExcludeFeatures& features,
                                                          const CSqlIncludeExcludePatterns& patterns,
                                                          OrvCore::Int64Set& ids)
{
    ids.clear();
    for (size_t i = 0; i < features.GetCount(); ++i) ids.insert(features.Item(i)->m_includeExcludeId);
    for (size_t i = 0; i < patterns.GetCount(); ++i) ids.insert(patterns.Item(i)->m_includeExcludeId);
}

void CSystemIntegrityKeyMatch::SetUnmatchedReason(int code, int& reason)
{
    if (code == -1)
        reason = -1;
    else if (code > reason)
        reason = code;
}

// ---------------------------------------------------------------- matching

bool CSystemIntegrityKeyMatch::EntityMatches(const wxString& searchBase, const wxString& fullKey,
                                             unsigned long handle, const OrvCore::XMLObjectList& allSets,
                                             const CSqlEntitySet& set,
                                             const CSqlIncludeExcludeFeatures& features,
                                             const CSqlIncludeExcludePatterns& patterns,
                                             const OrvCore::Int64Set& ids, int& reason) const
{
    if (features.GetCount() == 0 && patterns.GetCount() == 0) return true;
    const wxString relativeKey = GetRelativeName(searchBase, fullKey);
    return EntityMatchesIncludeExcludes(fullKey, relativeKey, handle, allSets, set, features, patterns, ids,
                                        reason);
}

bool CSystemIntegrityKeyMatch::EntityIsExcluded(const wxString& searchBase, const wxString& fullKey,
                                                unsigned long handle, const OrvCore::XMLObjectList& allSets,
                                                const CSqlEntitySet& set,
                                                const CSqlIncludeExcludeFeatures& features,
                                                const CSqlIncludeExcludePatterns& patterns,
                                                const OrvCore::Int64Set& ids, int& reason) const
{
    if (features.GetCount() == 0 && patterns.GetCount() == 0) return false;
    const wxString relativeKey = GetRelativeName(searchBase, fullKey);
    for (long long id : ids) {
        if (EntityMatchesAll(id, true, fullKey, relativeKey, handle, allSets, set, features, patterns, ids,
                             reason))
            return true;
    }
    return false;
}

bool CSystemIntegrityKeyMatch::EntityMatchesIncludeExcludes(const wxString& fullKey,
                                                            const wxString& relativeKey, unsigned long handle,
                                                            const OrvCore::XMLObjectList& allSets,
                                                            const CSqlEntitySet& set,
                                                            const CSqlIncludeExcludeFeatures& features,
                                                            const CSqlIncludeExcludePatterns& patterns,
                                                            const OrvCore::Int64Set& ids, int& reason) const
{
    ORV_TRACE(s_Trace, kSource, "EnityMatchesIncludesExcludes fullEntityKey '%s' relativeEntityKey '%s'",
              fullKey, relativeKey);
    if (features.GetCount() == 0 && patterns.GetCount() == 0) return true;

    ORV_TRACE(s_Trace, kSource, "Checking Includes");
    bool included = false;
    for (long long id : ids) {
        if (EntityMatchesAll(id, false, fullKey, relativeKey, handle, allSets, set, features, patterns, ids,
                             reason)) {
            included = true;
            break;
        }
    }
    if (!included) {
        ORV_TRACE(s_Trace, kSource, "Includes do not match");
        return false;
    }

    ORV_TRACE(s_Trace, kSource, "Checking Excludes");
    bool result = true;
    for (long long id : ids) {
        if (EntityMatchesAll(id, true, fullKey, relativeKey, handle, allSets, set, features, patterns, ids,
                             reason)) {
            result = false;
            break;
        }
    }
    ORV_TRACE(s_Trace, kSource, "Excludes match %d", result ? 1 : 0);
    return result;
}

bool CSystemIntegrityKeyMatch::EntityMatchesAll(long long id, bool exclude, const wxString& fullKey,
                                                const wxString& relativeKey, unsigned long handle,
                                                const OrvCore::XMLObjectList& allSets,
                                                const CSqlEntitySet& set,
                                                const CSqlIncludeExcludeFeatures& features,
                                                const CSqlIncludeExcludePatterns& patterns,
                                                const OrvCore::Int64Set& ids, int& reason) const
{
    int count = 0;
    const bool hierarchical = set.HasHierarchicalNames();
    for (size_t i = 0; i < patterns.GetCount(); ++i) {
        const CSqlIncludeExcludePattern& pattern = *patterns.Item(i);
        if (pattern.m_includeExcludeId != id || pattern.m_exclude != exclude) continue;
        ++count;
        if (!hierarchical) {
            // Keys that are not paths (users, groups, ...) compare with the
            // pattern as written.
            if (!WildcardMatches(pattern.m_pattern, relativeKey, PatternIsCaseSensitive(pattern)))
                return false;
            continue;
        }
        // An expression that is empty or did not compile (logged when the row
        // was read) does not restrict the entry.
        const wxRegEx* expression = pattern.GetRegEx();
        if (expression == nullptr) continue;
        const bool matched = expression->Matches(relativeKey);
        if (!exclude) RaiseReasonForPattern(pattern, relativeKey, matched, reason);
        if (!matched) return false;
    }
    for (size_t i = 0; i < features.GetCount(); ++i) {
        const CSqlIncludeExcludeFeature& feature = *features.Item(i);
        if (feature.m_includeExcludeId != id || feature.m_exclude != exclude) continue;
        ++count;
        if (!EntityMatchesFeature(relativeKey, fullKey, handle, allSets, set, feature, features, patterns,
                                  ids))
            return false;
    }
    return count > 0;
}

void CSystemIntegrityKeyMatch::RaiseReasonForPattern(const CSqlIncludeExcludePattern& pattern,
                                                     const wxString& relativeKey, bool matched,
                                                     int& reason) const
{
    const bool caseSensitive = PatternIsCaseSensitive(pattern);
    wxString patternDir, patternName, patternExt;
    bool patternHasExt = false;
    wxFileName::SplitPath(pattern.m_pattern, nullptr, &patternDir, &patternName, &patternExt, &patternHasExt,
                          wxPATH_UNIX);
    wxString keyDir, keyName, keyExt;
    wxFileName::SplitPath(relativeKey, nullptr, &keyDir, &keyName, &keyExt, nullptr, GetKeyPathFormat());
    const bool extensionsEqual = SameText(patternExt, keyExt, caseSensitive);

    if (matched) {
        // The name matched; whatever rejects the entity (an exclude, a
        // feature, another pattern of the entry) is not about its name.
        const bool anyName = patternName == wxT("*");
        int code = (!keyDir.empty() && anyName) ? 4 : 6;
        if (anyName && extensionsEqual) code = 5;
        if (SameText(patternName, keyName, caseSensitive) && extensionsEqual) code = 6;
        SetUnmatchedReason(code, reason);
        return;
    }

    // Each code claims that the pattern can match nothing in a part of the
    // key's neighbourhood (the real-time miss cache drops later changes
    // there), so a code is only given when that holds for every key the
    // expression can match, not only for the text of the pattern.
    int code = 3;
    if (!PatternIsOpaque(pattern)) {
        const std::vector<wxString> keyDirComponents = SplitPieces(keyDir, GetEntityKeySeparator());
        if (NeverMatchesInOrBelow(pattern.GetPatternComponents(), keyDirComponents, caseSensitive)) {
            code = 1;
        } else {
            // The last component's extension is fixed when nothing after its
            // last dot is special, and the dot itself is fixed.
            const wxString leaf = pattern.m_pattern.AfterLast(wxT('/'));
            const bool extensionFixed = !HasAnyOf(patternExt, kPatternSpecials) &&
                                        (patternHasExt || !HasAnyOf(leaf, kPatternSpecials));
            if (extensionFixed && !extensionsEqual) code = 2;
        }
    }
    SetUnmatchedReason(code, reason);
}

// ---------------------------------------------------------------- pruning

bool CSystemIntegrityKeyMatch::EntityPotentiallyMatchesAll(long long id, const wxString& relativeDir,
                                                           const wxString& fullDir,
                                                           const CSqlIncludeExcludeFeatures& features,
                                                           const CSqlIncludeExcludePatterns& patterns) const
{
    (void)fullDir;
    int count = 0;
    for (size_t i = 0; i < patterns.GetCount(); ++i) {
        const CSqlIncludeExcludePattern& pattern = *patterns.Item(i);
        if (pattern.m_includeExcludeId != id || pattern.m_exclude) continue;
        ++count;
        if (PatternWillNeverMatchDescendents(pattern, relativeDir)) return false;
    }
    for (size_t i = 0; i < features.GetCount(); ++i) {
        const CSqlIncludeExcludeFeature& feature = *features.Item(i);
        if (feature.m_includeExcludeId == id && !feature.m_exclude) ++count;
    }
    return count > 0;
}

bool CSystemIntegrityKeyMatch::PatternWillNeverMatchDescendents(const CSqlIncludeExcludePattern& pattern,
                                                                const wxString& relativeDir) const
{
    const std::vector<wxString>& components = pattern.GetPatternComponents();
    if (components.empty()) return true;
    if (PatternIsOpaque(pattern)) return false;
    const bool caseSensitive = PatternIsCaseSensitive(pattern);
    const std::vector<wxString> directory = SplitPieces(relativeDir, GetEntityKeySeparator());
    for (size_t i = 0; i < directory.size(); ++i) {
        // Deeper than a pattern without "**" reaches: nothing below can match.
        if (i >= components.size()) return true;
        if (components[i] == wxT("**")) return false;
        if (!ComponentMayMatch(components[i], directory[i], caseSensitive)) return true;
    }
    return false;
}

// ---------------------------------------------------------------- keys

wxString CSystemIntegrityKeyMatch::GetRelativeName(const wxString& base, const wxString& key) const
{
    if (base.empty()) return key;
    bool starts = key.StartsWith(base);
    if (!starts && !EntityKeysAreCaseSensitive() && key.length() >= base.length())
        starts = key.Left(base.length()).IsSameAs(base, false);
    if (!starts) return key;
    size_t start = base.length();
    const wxString separator = GetEntityKeySeparator();
    if (start < key.length() && !separator.empty() && key[start] == separator[0]) ++start;
    return key.Mid(start);
}

int CSystemIntegrityKeyMatch::CompareStrings(const wxString& a, const wxString& b) const
{
    const int result = EntityKeysAreCaseSensitive() ? a.compare(b) : a.CmpNoCase(b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool CSystemIntegrityKeyMatch::IsBaseInOtherSet(const wxString& key, const OrvCore::XMLObjectList& allSets,
                                                const CSqlEntitySet& set) const
{
    for (const OrvCore::XMLObject* item : allSets.Children()) {
        const CSqlEntitySet* other = dynamic_cast<const CSqlEntitySet*>(item);
        if (other == nullptr || other->m_entitySetId == set.m_entitySetId) continue;
        if (KeyPathMatchesSearchBase(key, *other)) return true;
    }
    return false;
}

int CSystemIntegrityKeyMatch::CompareKeys(const wxString& a, const wxString& b) const
{
    const wxString separator = GetEntityKeySeparator();
    if (separator.empty()) return CompareStrings(a, b);
    const std::vector<wxString> piecesA = SplitPieces(a, separator);
    const std::vector<wxString> piecesB = SplitPieces(b, separator);
    for (size_t i = 0;; ++i) {
        if (i >= piecesA.size()) return i < piecesB.size() ? -1 : 0;
        if (i >= piecesB.size()) return 1;
        const int result = CompareStrings(piecesA[i], piecesB[i]);
        if (result != 0) return result;
    }
}

bool CSystemIntegrityKeyMatch::WildcardMatches(const wxString& pattern, const wxString& text,
                                               bool caseSensitive, bool escapes)
{
    // Greedy matching that remembers only the last star: on a mismatch the
    // last star takes one more character and matching resumes after it. A
    // later star never needs an earlier one to take more, so this is
    // complete, and it costs at most (pattern length x text length).
    enum Kind
    {
        Literal,
        AnyOne,
        AnyRun,
        End
    };
    struct Token
    {
        Kind kind;
        wxChar ch;
        size_t next;  // position of the following token
    };
    const size_t patternLength = pattern.length();
    auto tokenAt = [&](size_t p) -> Token {
        if (p >= patternLength) return {End, 0, p};
        const wxChar c = pattern[p];
        if (c == wxT('*')) return {AnyRun, c, p + 1};
        if (c == wxT('?')) return {AnyOne, c, p + 1};
        if (escapes && c == wxT('\\')) {
            if (p + 1 >= patternLength) return {End, 0, patternLength};  // a final backslash is dropped
            return {Literal, pattern[p + 1], p + 2};
        }
        return {Literal, c, p + 1};
    };

    const size_t textLength = text.length();
    size_t p = 0;
    size_t t = 0;
    size_t starNext = wxString::npos;  // pattern position after the last star
    size_t starText = 0;               // text position that star's run ends at
    while (t < textLength) {
        const Token token = tokenAt(p);
        if (token.kind == AnyRun) {
            starNext = token.next;
            starText = t;
            p = token.next;
            continue;
        }
        if (token.kind == AnyOne || (token.kind == Literal && SameChar(token.ch, text[t], caseSensitive))) {
            p = token.next;
            ++t;
            continue;
        }
        if (starNext == wxString::npos) return false;
        p = starNext;
        t = ++starText;
    }
    for (Token token = tokenAt(p); token.kind == AnyRun; token = tokenAt(p)) p = token.next;
    return tokenAt(p).kind == End;
}

// ---------------------------------------------------------------- directories

CDirectoryIntegrityKeyMatch::CDirectoryIntegrityKeyMatch(wxPathFormat pathFormat)
{
    SetPathFormat(pathFormat);
}

void CDirectoryIntegrityKeyMatch::SetPathFormat(wxPathFormat format)
{
    m_pathFormat = format;
    m_separator = wxString(wxFileName::GetPathSeparator(format));
}

bool CDirectoryIntegrityKeyMatch::EntityKeysAreCaseSensitive() const
{
    return wxFileName::IsCaseSensitive(m_pathFormat);
}

wxString CDirectoryIntegrityKeyMatch::GetEntityLeafType() const
{
    return CSqlFileEntitySet::EntityType();
}

wxString CDirectoryIntegrityKeyMatch::GetEntityType() const
{
    return CSqlDirectoryEntitySet::EntityType();
}

bool CDirectoryIntegrityKeyMatch::KeyPathMatchesSearchBase(const wxString& key,
                                                           const CSqlEntitySet& set) const
{
    const wxString directory = wxFileName(key, m_pathFormat).GetPath(wxPATH_GET_VOLUME, m_pathFormat);
    wxString comparedDirectory = directory;
    wxString base = set.GetSearchBase();
    if (!EntityKeysAreCaseSensitive()) {
        comparedDirectory.MakeLower();
        base.MakeLower();
    }
    if (!comparedDirectory.StartsWith(base)) return false;
    // "/etc" is the base of "/etc/ssh", not of "/etcetera".
    const size_t length = base.length();
    if (length > 0 && length < comparedDirectory.length() &&
        !wxFileName::IsPathSeparator(base[length - 1], m_pathFormat) &&
        !wxFileName::IsPathSeparator(comparedDirectory[length], m_pathFormat))
        return false;
    const wxRegEx* expression = set.GetSearchRegEx();
    return expression == nullptr || expression->Matches(directory);
}

// ---------------------------------------------------------------- files

CFileIntegrityKeyMatch::CFileIntegrityKeyMatch(IsExecutableFunction isExecutable, wxPathFormat pathFormat)
    : CDirectoryIntegrityKeyMatch(pathFormat),
      m_isExecutable(isExecutable ? std::move(isExecutable) : IsExecutableFunction(&HostFileIsExecutable))
{
}

bool CFileIntegrityKeyMatch::HostFileIsExecutable(const wxString& path, unsigned long handle)
{
    // Scanners pass -1 without a descriptor, and 0 where they have none for
    // the entity; both mean "use the path".
    const int fd =
        (handle == 0 || handle > static_cast<unsigned long>(INT_MAX)) ? -1 : static_cast<int>(handle);
    return OrvCore::FileIsExecutable(path, fd);
}

wxString CFileIntegrityKeyMatch::GetEntityLeafType() const
{
    return wxString();
}

wxString CFileIntegrityKeyMatch::GetEntityType() const
{
    return CSqlFileEntitySet::EntityType();
}

bool CFileIntegrityKeyMatch::EntityMatchesFeature(const wxString& relativeKey, const wxString& fullKey,
                                                  unsigned long handle, const OrvCore::XMLObjectList& allSets,
                                                  const CSqlEntitySet& set,
                                                  const CSqlIncludeExcludeFeature& feature,
                                                  const CSqlIncludeExcludeFeatures& features,
                                                  const CSqlIncludeExcludePatterns& patterns,
                                                  const OrvCore::Int64Set& ids) const
{
    if (feature.m_name.IsSameAs(kFeatureExecutable, false)) {
        const bool expected = feature.m_value.IsSameAs(wxT("true"), false);
        return m_isExecutable(fullKey, handle) == expected;
    }
    return CDirectoryIntegrityKeyMatch::EntityMatchesFeature(relativeKey, fullKey, handle, allSets, set,
                                                             feature, features, patterns, ids);
}

}  // namespace OrvPluginIm
