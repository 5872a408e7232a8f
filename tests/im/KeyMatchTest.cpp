// Key matching over real rows: include/exclude entries, patterns (translated
// by the controller) and features are written to a temporary si.db, loaded
// back with the matcher's loaders and matched against keys; the executable
// feature runs on real files. Also the unmatched reasons, the pruning of
// hierarchical walks, relative names and key ordering.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Dom.h"
#include "core/Log.h"
#include "core/SqliteDatabase.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityDbSchema.h"
#include "plugins/im/SystemIntegrityKeyMatch.h"
#include "plugins/im/SystemIntegrityThread.h"
#include "tests/im/ControllerDouble.h"
#include "tests/core/TestUtil.h"

// After wxsqlite3.h, whose enumerations reuse names that sqlite3.h defines as macros.
#include <sqlite3.h>

using namespace OrvPluginIm;
using OrvCore::CSqliteDatabase;
using OrvCore::Int64Set;
using OrvTest::TempDir;

namespace {

const unsigned long kNoHandle = static_cast<unsigned long>(-1);

wxString W(const std::string& text)
{
    return wxString::FromUTF8(text.c_str());
}

std::string U(const wxString& text)
{
    return text.utf8_string();
}

using OrvTest::Controller;

// A matcher for keys that are not paths, like a user scanner's.
class UserLikeKeyMatch : public CSystemIntegrityKeyMatch
{
  public:
    explicit UserLikeKeyMatch(bool caseSensitive, const wxString& separator = wxT("/"))
        : m_caseSensitive(caseSensitive), m_separator(separator)
    {
    }
    bool EntityKeysAreCaseSensitive() const override { return m_caseSensitive; }
    wxString GetEntityKeySeparator() const override { return m_separator; }
    wxString GetEntityType() const override { return CSqlUserEntitySet::EntityType(); }

  private:
    bool m_caseSensitive;
    wxString m_separator;
};

// One key pattern of an entry: the pattern as stored, its case code, and
// the stored expression (null: the controller's translation).
struct Pattern
{
    std::string text;
    int code = 2;
    const char* regEx = nullptr;
};

struct Feature
{
    std::string name;
    std::string value;
};

struct Entry
{
    bool exclude = false;
    std::vector<Pattern> patterns;
    std::vector<Feature> features;
};

Entry Include(std::vector<Pattern> patterns, std::vector<Feature> features = {})
{
    return Entry{false, std::move(patterns), std::move(features)};
}

Entry Exclude(std::vector<Pattern> patterns, std::vector<Feature> features = {})
{
    return Entry{true, std::move(patterns), std::move(features)};
}

// A set's entries as the scanners hold them.
struct Loaded
{
    CSqlIncludeExcludeFeatures features;
    CSqlIncludeExcludePatterns patterns;
    Int64Set ids;
};

// Collects the warnings written while it lives.
class WarningCollector
{
  public:
    WarningCollector()
    {
        OrvCore::SetLogObserver([this](OrvCore::LogLevel level, const wxString&, const wxString& message) {
            if (level == OrvCore::LogLevel::Warning) m_lines.push_back(U(message));
        });
    }
    ~WarningCollector() { OrvCore::SetLogObserver(nullptr); }
    size_t Count(const std::string& text) const
    {
        size_t n = 0;
        for (const std::string& line : m_lines) n += line.find(text) != std::string::npos ? 1 : 0;
        return n;
    }

  private:
    std::vector<std::string> m_lines;
};

// A temporary si.db and the controller that translates patterns.
class KeyMatchDb : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_db.reset(new CSqliteDatabase(OrvCore::CDom::CreateIsolated(), wxT("orp.im.test")));
        ASSERT_TRUE(m_db->Open(W(m_dir / "si.db")));
        wxString error;
        ASSERT_TRUE(EnsureSystemIntegritySchema(Db(), error)) << U(error);
        m_dom = OrvCore::CDom::CreateIsolated();
        m_dom.Set("app.path.work", W(m_dir / "work"));
        m_controller.reset(new Controller(m_dom));
    }

    wxSQLite3Database& Db() { return m_db->Db(); }

    template <class Row>
    long long AddPathSet(const std::string& base, const std::string& regEx = std::string())
    {
        Row row;
        row.m_integrityRuleId = 1;
        row.SetDirectory(W(base));
        row.SetDirectorySearchBase(W(base));
        if (!regEx.empty()) row.SetDirectoryRegEx(W(regEx));
        return row.SQLInsert(Db(), row.GetTableName());
    }

    long long AddUserSet()
    {
        CSqlUserEntitySet row;
        row.m_integrityRuleId = 1;
        return row.SQLInsert(Db(), row.GetTableName());
    }

    void AddEntries(const wxString& entityType, long long setId, const std::vector<Entry>& entries,
                    bool hierarchical)
    {
        for (const Entry& e : entries) {
            CSqlIncludeExclude entry;
            entry.m_entityType = entityType;
            entry.m_entitySetId = setId;
            entry.m_exclude = e.exclude;
            const long long entryId = entry.SQLInsert(Db(), CSqlIncludeExcludes::ElementName());
            for (const Pattern& p : e.patterns) {
                CSqlPattern pattern;
                pattern.m_includeExcludeId = entryId;
                pattern.m_pattern = W(p.text);
                pattern.m_regExPattern =
                    p.regEx ? W(p.regEx)
                            : m_controller->PatternToRegEx(W(p.text), wxPATH_UNIX, false, hierarchical);
                pattern.m_caseSensitive = p.code;
                pattern.SQLInsert(Db(), CSqlPatterns::ElementName());
            }
            for (const Feature& f : e.features) {
                CSqlFeature feature;
                feature.m_includeExcludeId = entryId;
                feature.m_name = W(f.name);
                feature.m_value = W(f.value);
                feature.m_caseSensitive = 2;
                feature.SQLInsert(Db(), CSqlFeatures::ElementName());
            }
        }
    }

    std::unique_ptr<Loaded> Load(const wxString& entityType, long long setId)
    {
        std::unique_ptr<Loaded> loaded(new Loaded);
        CSystemIntegrityKeyMatch::GetFeatures(Db(), entityType, setId, loaded->features);
        CSystemIntegrityKeyMatch::GetPatterns(Db(), entityType, setId, loaded->patterns);
        CSystemIntegrityKeyMatch::GetUniqueIncludeExcludeIds(loaded->features, loaded->patterns, loaded->ids);
        return loaded;
    }

    // A file set with base and entries, loaded back: the set list, the set and its entries.
    struct FileSet
    {
        CSqlFileEntitySets sets;
        CSqlFileEntitySet* set = nullptr;
        std::unique_ptr<Loaded> loaded;
    };
    void MakeFileSet(const std::string& base, const std::vector<Entry>& entries, FileSet& out)
    {
        const long long setId = AddPathSet<CSqlFileEntitySet>(base);
        AddEntries(CSqlFileEntitySet::EntityType(), setId, entries, true);
        out.sets.SQLLoad(Db());
        for (size_t i = 0; i < out.sets.GetCount(); ++i) {
            if (out.sets.Item(i)->m_entitySetId == setId) out.set = out.sets.Item(i);
        }
        out.loaded = Load(CSqlFileEntitySet::EntityType(), setId);
    }

    bool Matches(const CSystemIntegrityKeyMatch& matcher, FileSet& fs, const std::string& key, int& reason,
                 unsigned long handle = kNoHandle)
    {
        return matcher.EntityMatches(fs.set->GetSearchBase(), W(key), handle, fs.sets, *fs.set,
                                     fs.loaded->features, fs.loaded->patterns, fs.loaded->ids, reason);
    }

    TempDir m_dir;
    std::unique_ptr<CSqliteDatabase> m_db;
    OrvCore::CDom m_dom;
    std::unique_ptr<Controller> m_controller;
};

int CaptureStatement(unsigned mask, void* context, void* p, void* x)
{
    (void)p;
    if (mask == SQLITE_TRACE_STMT && x != nullptr) {
        static_cast<std::vector<std::string>*>(context)->push_back(static_cast<const char*>(x));
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------- loading

TEST_F(KeyMatchDb, LoadersReadOnlyTheSetsRowsInOrderAndAppend)
{
    const long long fileSet = AddPathSet<CSqlFileEntitySet>("/etc");
    const long long otherFileSet = AddPathSet<CSqlFileEntitySet>("/var");
    // A directory set whose id equals the file set's: the type tells them apart.
    long long directorySet = 0;
    while (directorySet < fileSet) directorySet = AddPathSet<CSqlDirectoryEntitySet>("/etc");
    ASSERT_EQ(directorySet, fileSet);

    AddEntries(CSqlFileEntitySet::EntityType(), fileSet,
               {Exclude({{"*.tmp"}}, {{"executable", "true"}}),
                Include({{"*.conf"}, {"h*"}}, {{"executable", "false"}}), Include({{"x"}})},
               true);
    AddEntries(CSqlFileEntitySet::EntityType(), otherFileSet,
               {Include({{"other"}}, {{"executable", "true"}})}, true);
    AddEntries(CSqlDirectoryEntitySet::EntityType(), directorySet,
               {Include({{"dir"}}, {{"whereBaseInOtherSet", "x"}})}, true);

    std::vector<std::string> statements;
    m_db->SetTraceCallback(SQLITE_TRACE_STMT, &CaptureStatement, &statements);
    std::unique_ptr<Loaded> loaded = Load(CSqlFileEntitySet::EntityType(), fileSet);
    m_db->SetTraceCallback(0, nullptr, nullptr);

    EXPECT_EQ(
        statements,
        (std::vector<std::string>{
            "SELECT * FROM [IncludeExcludeFeatures] WHERE [entitySetId]=?1 AND [entityType]=?2 ORDER BY "
            "[exclude];",
            "SELECT * FROM [IncludeExcludePatterns] WHERE [entitySetId]=?1 AND [entityType]=?2 ORDER BY "
            "[includeExcludeId],[exclude];"}));

    // Features: includes first.
    ASSERT_EQ(loaded->features.GetCount(), 2u);
    EXPECT_FALSE(loaded->features.Item(0)->m_exclude);
    EXPECT_EQ(U(loaded->features.Item(0)->m_value), "false");
    EXPECT_TRUE(loaded->features.Item(1)->m_exclude);
    // Patterns: by entry, then include before exclude.
    ASSERT_EQ(loaded->patterns.GetCount(), 4u);
    std::vector<std::string> texts;
    for (size_t i = 0; i < loaded->patterns.GetCount(); ++i) {
        const CSqlIncludeExcludePattern& row = *loaded->patterns.Item(i);
        texts.push_back(U(row.m_pattern));
        EXPECT_EQ(row.m_entitySetId, fileSet);
        EXPECT_EQ(U(row.m_entityType), "File");
        EXPECT_NE(row.GetRegEx(), nullptr) << U(row.m_pattern);
        if (i > 0) {
            EXPECT_LE(loaded->patterns.Item(i - 1)->m_includeExcludeId, row.m_includeExcludeId);
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"*.tmp", "*.conf", "h*", "x"}));
    EXPECT_EQ(loaded->ids.size(), 3u);
    for (size_t i = 0; i < loaded->patterns.GetCount(); ++i)
        EXPECT_EQ(loaded->ids.count(loaded->patterns.Item(i)->m_includeExcludeId), 1u);

    // The loaders append; the id set is recomputed from scratch.
    CSystemIntegrityKeyMatch::GetPatterns(Db(), CSqlFileEntitySet::EntityType(), otherFileSet,
                                          loaded->patterns);
    ASSERT_EQ(loaded->patterns.GetCount(), 5u);
    EXPECT_EQ(U(loaded->patterns.Item(4)->m_pattern), "other");
    EXPECT_EQ(U(loaded->patterns.Item(0)->m_pattern), "*.tmp");
    CSqlIncludeExcludeFeatures none;
    CSystemIntegrityKeyMatch::GetUniqueIncludeExcludeIds(none, loaded->patterns, loaded->ids);
    EXPECT_EQ(loaded->ids.size(), 4u);

    // A set of another type with the same id, and an unknown set, load their own rows only.
    std::unique_ptr<Loaded> directory = Load(CSqlDirectoryEntitySet::EntityType(), directorySet);
    ASSERT_EQ(directory->patterns.GetCount(), 1u);
    EXPECT_EQ(U(directory->patterns.Item(0)->m_pattern), "dir");
    ASSERT_EQ(directory->features.GetCount(), 1u);
    std::unique_ptr<Loaded> unknown = Load(CSqlFileEntitySet::EntityType(), 999);
    EXPECT_EQ(unknown->patterns.GetCount(), 0u);
    EXPECT_EQ(unknown->features.GetCount(), 0u);
    EXPECT_TRUE(unknown->ids.empty());
}

// ---------------------------------------------------------------- file sets

TEST_F(KeyMatchDb, FileSetPatternsExcludesAndEmptySets)
{
    struct Key
    {
        const char* key;
        bool matches;
    };
    struct Case
    {
        const char* name;
        std::vector<Entry> entries;
        std::vector<Key> keys;
    } cases[] = {
        {"*.conf does not cross a separator",
         {Include({{"*.conf"}})},
         {{"/etc/hosts.conf", true},
          {"/etc/ssh/sshd.conf", false},
          {"/etc/hosts", false},
          {"/etc/a.conf.bak", false}}},
        {"two patterns of one include are both required",
         {Include({{"*.conf"}, {"h*"}})},
         {{"/etc/hosts.conf", true}, {"/etc/resolv.conf", false}, {"/etc/hosts", false}}},
        {"two includes: either one",
         {Include({{"*.conf"}}), Include({{"h*"}})},
         {{"/etc/hosts.conf", true},
          {"/etc/resolv.conf", true},
          {"/etc/hosts", true},
          {"/etc/passwd", false}}},
        {"**/*.log at any depth",
         {Include({{"**/*.log"}})},
         {{"/etc/a.log", true}, {"/etc/a/b/c.log", true}, {"/etc/a/b/c.txt", false}}},
        {"sub/** takes everything below sub",
         {Include({{"ssh/**"}})},
         {{"/etc/ssh/sshd_config", true}, {"/etc/ssh/a/b", true}, {"/etc/sshd", false}}},
        {"an exclude wins over every matching include",
         {Include({{"**"}}), Include({{"*.conf"}}), Include({{"hosts.*"}}), Exclude({{"hosts.conf"}})},
         {{"/etc/hosts.conf", false}, {"/etc/hosts.allow", true}, {"/etc/a.conf", true}}},
        {"an exclude with two patterns needs both",
         {Include({{"**"}}), Exclude({{"*.conf"}, {"a*"}})},
         {{"/etc/a.conf", false}, {"/etc/b.conf", true}, {"/etc/a.txt", true}}},
        {"a set with only excludes matches nothing",
         {Exclude({{"*.tmp"}})},
         {{"/etc/x.conf", false}, {"/etc/x.tmp", false}}},
        {"a set without entries matches everything", {}, {{"/etc/x.conf", true}, {"/etc/a/b/c", true}}},
        {"an expression that does not compile does not restrict its entry",
         {Include({{"broken", 2, "(["}, {"*.conf"}})},
         {{"/etc/hosts.conf", true}, {"/etc/hosts", false}}},
        {"an include whose only expression does not compile takes everything",
         {Include({{"broken", 2, "(["}})},
         {{"/etc/anything", true}, {"/etc/a/b", true}}},
        {"code 1 compares as written",
         {Include({{"*.CONF", 1}})},
         {{"/etc/hosts.conf", false}, {"/etc/hosts.CONF", true}}},
        {"code 0 ignores case (stored lower-cased)",
         {Include({{"*.conf", 0}})},
         {{"/etc/HOSTS.CONF", true}, {"/etc/hosts.conf", true}}},
        {"code 2: file keys are case-sensitive here",
         {Include({{"*.CONF", 2}})},
         {{"/etc/hosts.conf", false}, {"/etc/a.CONF", true}}},
        {"a feature the type does not support fails its entry",
         {Include({{"*.conf"}}, {{"owner", "root"}}), Include({{"h*"}})},
         {{"/etc/a.conf", false}, {"/etc/hosts.conf", true}}},
        {"the search base itself has the empty relative name",
         {Include({{""}})},
         {{"/etc", true}, {"/etc/x", false}}},
    };
    CFileIntegrityKeyMatch matcher(CFileIntegrityKeyMatch::IsExecutableFunction(), wxPATH_UNIX);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSet fs;
        MakeFileSet("/etc", c.entries, fs);
        ASSERT_NE(fs.set, nullptr);
        for (const Key& k : c.keys) {
            SCOPED_TRACE(k.key);
            int reason = -1;
            EXPECT_EQ(Matches(matcher, fs, k.key, reason), k.matches);
            int excludedReason = -1;
            const bool excluded = matcher.EntityIsExcluded(
                fs.set->GetSearchBase(), W(k.key), kNoHandle, fs.sets, *fs.set, fs.loaded->features,
                fs.loaded->patterns, fs.loaded->ids, excludedReason);
            // Excluded keys never match; a set without entries excludes nothing.
            if (excluded) {
                EXPECT_FALSE(k.matches);
            }
            if (c.entries.empty()) {
                EXPECT_FALSE(excluded);
            }
        }
    }
}

TEST_F(KeyMatchDb, EntityIsExcludedTestsOnlyTheExcludes)
{
    struct Case
    {
        const char* key;
        bool excluded;
    } cases[] = {
        {"/etc/hosts.tmp", true},
        {"/etc/hosts.conf", false},
        {"/etc/sub/x.tmp", false},
        {"/etc/readme", false},
    };
    FileSet fs;
    MakeFileSet("/etc", {Include({{"*.conf"}}), Exclude({{"*.tmp"}})}, fs);
    CFileIntegrityKeyMatch matcher;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        int reason = -1;
        EXPECT_EQ(matcher.EntityIsExcluded(wxT("/etc"), W(c.key), kNoHandle, fs.sets, *fs.set,
                                           fs.loaded->features, fs.loaded->patterns, fs.loaded->ids, reason),
                  c.excluded);
        EXPECT_EQ(reason, -1);  // excludes explain nothing
    }
}

TEST_F(KeyMatchDb, ExecutableFeatureOnRealFiles)
{
    TempDir tree;
    OrvTest::WriteFile(tree / "run.sh", "#!/bin/sh\n");
    OrvTest::WriteFile(tree / "notes.txt", "text\n");
    OrvTest::WriteFile(tree / "tool", "#!/bin/sh\n");
    ASSERT_EQ(chmod((tree / "run.sh").c_str(), 0755), 0);
    ASSERT_EQ(chmod((tree / "notes.txt").c_str(), 0644), 0);
    ASSERT_EQ(chmod((tree / "tool").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((tree / "bin").c_str(), 0755), 0);

    struct Case
    {
        const char* name;
        std::vector<Entry> entries;
        const char* file;
        bool matches;
    } cases[] = {
        {"executable=true, mode 0755", {Include({}, {{"executable", "true"}})}, "run.sh", true},
        {"executable=true, mode 0700", {Include({}, {{"executable", "TRUE"}})}, "tool", true},
        {"executable=true, mode 0644", {Include({}, {{"executable", "true"}})}, "notes.txt", false},
        {"executable=true, a directory is no executable file",
         {Include({}, {{"executable", "true"}})},
         "bin",
         false},
        {"executable=true, missing file", {Include({}, {{"executable", "true"}})}, "gone", false},
        {"executable=false, mode 0644", {Include({}, {{"executable", "false"}})}, "notes.txt", true},
        {"executable=false, mode 0755", {Include({}, {{"executable", "false"}})}, "run.sh", false},
        {"pattern and feature", {Include({{"*.sh"}}, {{"Executable", "true"}})}, "run.sh", true},
        {"pattern and feature, pattern fails",
         {Include({{"*.sh"}}, {{"executable", "true"}})},
         "tool",
         false},
        {"executable files excluded",
         {Include({{"**"}}), Exclude({}, {{"executable", "true"}})},
         "run.sh",
         false},
        {"non-executable files kept",
         {Include({{"**"}}), Exclude({}, {{"executable", "true"}})},
         "notes.txt",
         true},
    };
    CFileIntegrityKeyMatch matcher;  // the host's test
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSet fs;
        MakeFileSet(tree.path(), c.entries, fs);
        int reason = -1;
        const std::string path = tree / c.file;
        EXPECT_EQ(Matches(matcher, fs, path, reason), c.matches);
        // With an open descriptor as handle the answer is the same.
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0) {
            int fdReason = -1;
            EXPECT_EQ(Matches(matcher, fs, path, fdReason, static_cast<unsigned long>(fd)), c.matches);
            close(fd);
        }
    }

    // The descriptor is what is tested: an executable's descriptor under another name.
    const int fd = open((tree / "run.sh").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(
        CFileIntegrityKeyMatch::HostFileIsExecutable(W(tree / "notes.txt"), static_cast<unsigned long>(fd)));
    close(fd);
    EXPECT_FALSE(CFileIntegrityKeyMatch::HostFileIsExecutable(W(tree / "notes.txt"), kNoHandle));
    EXPECT_TRUE(CFileIntegrityKeyMatch::HostFileIsExecutable(W(tree / "run.sh"), kNoHandle));
}

TEST_F(KeyMatchDb, ExecutableFeatureAsksTheScannersCallback)
{
    std::vector<std::pair<std::string, unsigned long>> calls;
    CFileIntegrityKeyMatch matcher(
        [&](const wxString& path, unsigned long handle) {
            calls.emplace_back(U(path), handle);
            return path.EndsWith(wxT(".sh"));
        },
        wxPATH_UNIX);
    FileSet fs;
    MakeFileSet("/opt/app", {Include({}, {{"executable", "true"}})}, fs);
    int reason = -1;
    EXPECT_TRUE(Matches(matcher, fs, "/opt/app/bin/start.sh", reason, 42));
    EXPECT_FALSE(Matches(matcher, fs, "/opt/app/readme", reason, 43));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::pair<std::string, unsigned long>("/opt/app/bin/start.sh", 42)));
    EXPECT_EQ(calls[1], (std::pair<std::string, unsigned long>("/opt/app/readme", 43)));
}

TEST_F(KeyMatchDb, UnsupportedFeatureAndBrokenExpressionAreLoggedOnce)
{
    CFileIntegrityKeyMatch matcher;
    FileSet fs;
    {
        WarningCollector warnings;
        MakeFileSet("/etc",
                    {Include({{"*.conf"}}, {{"owner", "root"}}), Include({{"broken", 2, "(["}, {"*.x"}})},
                    fs);
        EXPECT_EQ(warnings.Count("(["), 1u);  // compiled (and refused) once, when the row was read
    }
    WarningCollector warnings;
    for (int i = 0; i < 5; ++i) {
        int reason = -1;
        EXPECT_FALSE(Matches(matcher, fs, "/etc/a.conf", reason));
        EXPECT_TRUE(Matches(matcher, fs, "/etc/a.x", reason));
    }
    EXPECT_EQ(warnings.Count("Integrity monitoring 'owner' feature not supported for entities of type File"),
              1u);
    EXPECT_EQ(warnings.Count("(["), 0u);

    // Another matcher reports it again, once.
    CFileIntegrityKeyMatch other;
    int reason = -1;
    EXPECT_FALSE(Matches(other, fs, "/etc/a.conf", reason));
    EXPECT_FALSE(Matches(other, fs, "/etc/b.conf", reason));
    EXPECT_EQ(warnings.Count("Integrity monitoring 'owner' feature not supported for entities of type File"),
              2u);
}

// ---------------------------------------------------------------- non-hierarchical sets

TEST_F(KeyMatchDb, UserSetWildcardPatternsAndCaseCodes)
{
    struct Case
    {
        const char* name;
        Pattern pattern;
        bool exclude;
        const char* key;
        bool matcherCaseSensitive;
        bool matches;
    } cases[] = {
        {"ADM*, code 2, insensitive matcher", {"ADM*", 2}, false, "admin", false, true},
        {"ADM*, code 2, sensitive matcher", {"ADM*", 2}, false, "admin", true, false},
        {"ADM*, code 2, sensitive matcher, same case", {"ADM*", 2}, false, "ADMIN", true, true},
        {"ADM*, code 1, insensitive matcher", {"ADM*", 1}, false, "admin", false, false},
        {"ADM*, code 1, same case", {"ADM*", 1}, false, "ADMx", false, true},
        {"adm* (code 0, stored lower-cased), sensitive matcher", {"adm*", 0}, false, "ADMIN", true, true},
        {"? is one character", {"us?r", 2}, false, "user", true, true},
        {"? is not zero characters", {"us?r", 2}, false, "usr", true, false},
        {"? is not two characters", {"us?r", 2}, false, "useer", true, false},
        {"* is any run, also empty", {"*adm*", 2}, false, "adm", true, true},
        {"no expression is used", {"a.c", 2}, false, "abc", true, false},
        {"literal dot", {"a.c", 2}, false, "a.c", true, true},
        {"whole key", {"root", 2}, false, "rootkit", true, false},
        {"an exclude pattern", {"svc*", 2}, true, "svc-web", true, false},
        {"an exclude pattern that does not match", {"svc*", 2}, true, "alice", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long long setId = AddUserSet();
        std::vector<Entry> entries;
        if (c.exclude)
            entries = {Include({{"*"}}), Exclude({c.pattern})};
        else
            entries = {Include({c.pattern})};
        AddEntries(CSqlUserEntitySet::EntityType(), setId, entries, false);
        CSqlUserEntitySets sets;
        sets.SQLLoad(Db());
        const CSqlUserEntitySet* set = nullptr;
        for (size_t i = 0; i < sets.GetCount(); ++i)
            if (sets.Item(i)->m_entitySetId == setId) set = sets.Item(i);
        ASSERT_NE(set, nullptr);
        std::unique_ptr<Loaded> loaded = Load(CSqlUserEntitySet::EntityType(), setId);
        for (size_t i = 0; i < loaded->patterns.GetCount(); ++i)
            EXPECT_EQ(loaded->patterns.Item(i)->GetRegEx(), nullptr);  // user patterns have no expression

        UserLikeKeyMatch matcher(c.matcherCaseSensitive);
        int reason = -1;
        EXPECT_EQ(matcher.EntityMatches(wxString(), W(c.key), 0, sets, *set, loaded->features,
                                        loaded->patterns, loaded->ids, reason),
                  c.matches);
        EXPECT_EQ(reason, -1);
    }
}

TEST(KeyMatchWildcard, Table)
{
    struct Case
    {
        const char* pattern;
        const char* text;
        bool caseSensitive;
        bool escapes;
        bool matches;
    } cases[] = {
        {"", "", true, false, true},
        {"", "a", true, false, false},
        {"*", "", true, false, true},
        {"*", "anything/at all", true, false, true},
        {"a*b*c", "aXXbYYc", true, false, true},
        {"a*b*c", "aXXbYY", true, false, false},
        {"*a", "banana", true, false, true},
        {"*an*na", "banana", true, false, true},
        {"b*n?", "banana", true, false, true},
        {"?", "", true, false, false},
        {"??", "ab", true, false, true},
        {"A*", "abc", true, false, false},
        {"A*", "abc", false, false, true},
        {"*B?", "xbY", false, false, true},
        {"*B?", "xbY", true, false, false},
        {"a\\*b", "a\\Xb", true, false, true},
        {"a\\*b", "a*b", true, true, true},
        {"a\\*b", "aXb", true, true, false},
        {"a\\?", "a?", true, true, true},
        {"a\\?", "ab", true, true, false},
        {"ab\\", "ab", true, true, true},
        {"**", "x", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.pattern + "' vs '" + c.text + "'");
        EXPECT_EQ(
            CSystemIntegrityKeyMatch::WildcardMatches(W(c.pattern), W(c.text), c.caseSensitive, c.escapes),
            c.matches);
    }
}

// A backtracking matcher would not finish this in any useful time; the test's
// own timeout catches that, so no clock is read here.
TEST(KeyMatchWildcard, ManyStarsOnALongText)
{
    const wxString text(wxT('a'), 20000);
    EXPECT_FALSE(CSystemIntegrityKeyMatch::WildcardMatches(wxT("*a*a*a*a*a*a*a*a*a*a*b"), text, true));
    EXPECT_TRUE(CSystemIntegrityKeyMatch::WildcardMatches(wxT("*a*a*a*a*a*a*a*a*a*a"), text, true));
}

// ---------------------------------------------------------------- whereBaseInOtherSet

TEST_F(KeyMatchDb, WhereBaseInOtherSetWithTwoDirectorySets)
{
    const long long everywhere = AddPathSet<CSqlDirectoryEntitySet>("/");
    const long long app = AddPathSet<CSqlDirectoryEntitySet>("/opt/app");
    const long long logs = AddPathSet<CSqlDirectoryEntitySet>("/var/log", "^/var/log/([^/]*)(/.+)?$");
    AddEntries(CSqlDirectoryEntitySet::EntityType(), everywhere,
               {Include({{"**"}}, {{"whereBaseInOtherSet", "false"}})}, true);
    AddEntries(CSqlDirectoryEntitySet::EntityType(), app,
               {Include({{"**"}}, {{"whereBaseInOtherSet", "True"}})}, true);
    CSqlDirectoryEntitySets sets;
    ASSERT_TRUE(sets.SQLLoad(Db()));
    ASSERT_EQ(sets.GetCount(), 3u);
    const CSqlDirectoryEntitySet* everywhereSet = nullptr;
    const CSqlDirectoryEntitySet* appSet = nullptr;
    for (size_t i = 0; i < sets.GetCount(); ++i) {
        if (sets.Item(i)->m_entitySetId == everywhere) everywhereSet = sets.Item(i);
        if (sets.Item(i)->m_entitySetId == app) appSet = sets.Item(i);
        if (sets.Item(i)->m_entitySetId == logs) {
            EXPECT_NE(sets.Item(i)->GetSearchRegEx(), nullptr);
        }
    }
    ASSERT_NE(everywhereSet, nullptr);
    ASSERT_NE(appSet, nullptr);
    std::unique_ptr<Loaded> everywhereEntries = Load(CSqlDirectoryEntitySet::EntityType(), everywhere);
    std::unique_ptr<Loaded> appEntries = Load(CSqlDirectoryEntitySet::EntityType(), app);

    // The "/" set takes the directories outside the bases of the other sets.
    struct Case
    {
        const char* key;
        bool inOtherSet;
    } cases[] = {
        {"/usr/share", false},         {"/opt/app/bin", true},
        {"/opt/app/bin/tools", true},  {"/opt/app", false},  // its parent /opt is not below /opt/app
        {"/opt/application/x", false},                       // /opt/application is not /opt/app
        {"/var/log/nginx/old", true},  // /var/log/nginx matches the base expression of /var/log
        {"/var/log/nginx", false},     // /var/log itself does not
    };
    CDirectoryIntegrityKeyMatch matcher(wxPATH_UNIX);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(matcher.IsBaseInOtherSet(W(c.key), sets, *everywhereSet), c.inOtherSet);
        int reason = -1;
        EXPECT_EQ(
            matcher.EntityMatches(wxT("/"), W(c.key), 0, sets, *everywhereSet, everywhereEntries->features,
                                  everywhereEntries->patterns, everywhereEntries->ids, reason),
            !c.inOtherSet);
    }

    // For the /opt/app set (whereBaseInOtherSet="true") the "/" set is another set holding every key.
    for (const char* key : {"/opt/app/bin", "/opt/app/x/y"}) {
        SCOPED_TRACE(key);
        int reason = -1;
        EXPECT_TRUE(matcher.IsBaseInOtherSet(W(key), sets, *appSet));
        EXPECT_TRUE(matcher.EntityMatches(wxT("/opt/app"), W(key), 0, sets, *appSet, appEntries->features,
                                          appEntries->patterns, appEntries->ids, reason));
    }

    // A type without a search-base test never finds a base in another set.
    UserLikeKeyMatch users(true);
    EXPECT_FALSE(users.IsBaseInOtherSet(wxT("/opt/app/bin"), sets, *everywhereSet));
    // whereBaseInOtherSet needs hierarchical names: on a user set it is not supported.
    const long long userSet = AddUserSet();
    AddEntries(CSqlUserEntitySet::EntityType(), userSet, {Include({}, {{"whereBaseInOtherSet", "false"}})},
               false);
    CSqlUserEntitySets userSets;
    ASSERT_TRUE(userSets.SQLLoad(Db()));
    std::unique_ptr<Loaded> userEntries = Load(CSqlUserEntitySet::EntityType(), userSet);
    int reason = -1;
    EXPECT_FALSE(users.EntityMatches(wxString(), wxT("alice"), 0, userSets, *userSets.Item(0),
                                     userEntries->features, userEntries->patterns, userEntries->ids, reason));
}

TEST_F(KeyMatchDb, KeyPathMatchesSearchBase)
{
    struct Case
    {
        const char* name;
        wxPathFormat format;
        const char* searchBase;
        const char* regEx;
        const char* key;
        bool matches;
    } cases[] = {
        {"directly below the base", wxPATH_UNIX, "/etc", "", "/etc/hosts", true},
        {"deeper", wxPATH_UNIX, "/etc", "", "/etc/ssh/sshd_config", true},
        {"the base itself is not below it", wxPATH_UNIX, "/etc", "", "/etc", false},
        {"a sibling with the base as prefix", wxPATH_UNIX, "/etc", "", "/etcetera/x", false},
        {"root base", wxPATH_UNIX, "/", "", "/x", true},
        {"case counts on Unix", wxPATH_UNIX, "/Etc", "", "/etc/hosts", false},
        {"base expression accepts", wxPATH_UNIX, "/var/log", "^/var/log/([^/]*)(/.+)?$", "/var/log/a/b",
         true},
        {"base expression rejects", wxPATH_UNIX, "/var/log", "^/var/log/([^/]*)(/.+)?$", "/var/log/a", false},
        {"DOS ignores case", wxPATH_DOS, "c:\\windows", "", "C:\\Windows\\System32\\x.dll", true},
        {"DOS other volume", wxPATH_DOS, "c:\\windows", "", "D:\\Windows\\x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long long id = AddPathSet<CSqlDirectoryEntitySet>(c.searchBase, c.regEx);
        CSqlDirectoryEntitySet set;
        set.m_entitySetId = id;
        ASSERT_TRUE(set.SQLLoad(Db(), set.GetTableName()));
        CDirectoryIntegrityKeyMatch matcher(c.format);
        EXPECT_EQ(matcher.KeyPathMatchesSearchBase(W(c.key), set), c.matches);
    }
    UserLikeKeyMatch base(true);
    CSqlDirectoryEntitySet set;
    set.SetDirectorySearchBase(wxT("/etc"));
    EXPECT_FALSE(base.KeyPathMatchesSearchBase(wxT("/etc/hosts"), set));
}

// ---------------------------------------------------------------- unmatched reasons

TEST(KeyMatchReason, SetUnmatchedReason)
{
    struct Case
    {
        int code;
        int before;
        int after;
    } cases[] = {{-1, 5, -1}, {3, -1, 3}, {2, 4, 4}, {0, -1, 0}, {6, 6, 6}, {-1, -1, -1}, {1, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " on " + std::to_string(c.before));
        int reason = c.before;
        CSystemIntegrityKeyMatch::SetUnmatchedReason(c.code, reason);
        EXPECT_EQ(reason, c.after);
    }
}

TEST_F(KeyMatchDb, UnmatchedReasons)
{
    struct Case
    {
        const char* name;
        std::vector<Entry> entries;
        const char* key;
        bool matches;
        int reason;
    } cases[] = {
        {"1: the pattern is for the base directory, the key lies deeper",
         {Include({{"*.conf"}})},
         "/etc/ssh/sshd.conf",
         false,
         1},
        {"1: another subdirectory", {Include({{"ssh/*.conf"}})}, "/etc/ssl/x.conf", false, 1},
        {"1: deeper than the pattern reaches", {Include({{"ssh/*.conf"}})}, "/etc/ssh/sub/a.conf", false, 1},
        {"2: same directory, other extension", {Include({{"*.conf"}})}, "/etc/hosts.txt", false, 2},
        {"2: same directory, no extension", {Include({{"*.conf"}})}, "/etc/hosts", false, 2},
        {"2: ** directory part, other extension", {Include({{"**/*.conf"}})}, "/etc/ssh/x.txt", false, 2},
        {"3: same directory and extension", {Include({{"hosts.conf"}})}, "/etc/resolv.conf", false, 3},
        {"3: a subdirectory pattern can still match below the key's directory",
         {Include({{"ssh/sshd_config"}})},
         "/etc/hosts",
         false,
         3},
        {"3: a wildcard extension may match the key's", {Include({{"a*.c*"}})}, "/etc/b.cpp", false, 3},
        {"3: a wildcard name may hold the key's extension", {Include({{"x*"}})}, "/etc/y.txt", false, 3},
        {"the highest of two includes (1 and 2)",
         {Include({{"*.conf"}}), Include({{"**/*.conf"}})},
         "/etc/ssh/x.txt",
         false,
         2},
        {"4: a matching * pattern, key in a subdirectory, other extension",
         {Include({{"**/*"}}), Exclude({{"**/*.conf"}})},
         "/etc/ssh/sshd.conf",
         false,
         4},
        {"5: a matching * pattern with the key's extension",
         {Include({{"*.conf"}}), Exclude({{"hosts.conf"}})},
         "/etc/hosts.conf",
         false,
         5},
        {"5: also when the key is included", {Include({{"*.conf"}})}, "/etc/hosts.conf", true, 5},
        {"5: the entry's feature rejects the key",
         {Include({{"*.sh"}}, {{"executable", "true"}})},
         "/etc/x.sh",
         false,
         5},
        {"6: the matching pattern names the key",
         {Include({{"hosts.conf"}}), Exclude({{"*.conf"}})},
         "/etc/hosts.conf",
         false,
         6},
        {"6: a matching pattern with another name",
         {Include({{"h*"}}), Exclude({{"h*"}})},
         "/etc/hosts",
         false,
         6},
        {"excludes raise nothing",
         {Include({{"**", 2, ""}}), Exclude({{"*.conf"}})},
         "/etc/a.conf",
         false,
         -1},
        {"an entry without patterns raises nothing",
         {Include({}, {{"executable", "true"}})},
         "/etc/x",
         false,
         -1},
        {"a set without entries raises nothing", {}, "/etc/x", true, -1},
    };
    // Nothing is executable here.
    CFileIntegrityKeyMatch matcher([](const wxString&, unsigned long) { return false; }, wxPATH_UNIX);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSet fs;
        MakeFileSet("/etc", c.entries, fs);
        int reason = -1;
        EXPECT_EQ(Matches(matcher, fs, c.key, reason), c.matches);
        EXPECT_EQ(reason, c.reason);
    }
}

// ---------------------------------------------------------------- descent pruning

TEST_F(KeyMatchDb, PatternWillNeverMatchDescendents)
{
    struct Case
    {
        Pattern pattern;
        const char* relativeDir;
        bool never;
    } cases[] = {
        {{"*.conf"}, "", false},
        {{"*.conf"}, "ssh", true},
        {{"ssh/*.conf"}, "ssh", false},
        {{"ssh/*.conf"}, "ssl", true},
        {{"ssh/*.conf"}, "ssh/sub", true},
        {{"s?h/*"}, "ssh", false},
        {{"**/*.log"}, "a/b/c", false},
        {{"etc/**"}, "etc/x/y", false},
        {{"etc/**"}, "etcx", true},
        {{"a/**/b"}, "a/x/y/z", false},
        {{"a/**/b"}, "b", true},
        {{"a"}, "a/b", true},
        {{"/etc//ssh/x"}, "etc/ssh", false},
        {{""}, "", true},
        {{"/"}, "x", true},
        {{"SSH/*", 1}, "ssh", true},
        {{"ssh/*", 0}, "SSH", false},
        {{"SSH/*", 2}, "ssh", true},  // directory keys are case-sensitive here
        {{"we\\*ird/x"}, "we*ird", false},
        {{"we\\*ird/x"}, "weXird", true},
        {{"x+y/*"}, "xxy", false},  // "+" repeats in the expression: undecidable, so descend
        {{"a|b/c"}, "zzz/q", false},
    };
    const long long setId = AddPathSet<CSqlDirectoryEntitySet>("/base");
    std::vector<Entry> entries;
    for (const Case& c : cases) entries.push_back(Include({c.pattern}));
    AddEntries(CSqlDirectoryEntitySet::EntityType(), setId, entries, true);
    std::unique_ptr<Loaded> loaded = Load(CSqlDirectoryEntitySet::EntityType(), setId);
    ASSERT_EQ(loaded->patterns.GetCount(), sizeof(cases) / sizeof(cases[0]));
    CDirectoryIntegrityKeyMatch matcher(wxPATH_UNIX);
    for (size_t i = 0; i < loaded->patterns.GetCount(); ++i) {
        // Rows come back in entry order, which is insertion order here.
        const Case& c = cases[i];
        const CSqlIncludeExcludePattern& row = *loaded->patterns.Item(i);
        SCOPED_TRACE("'" + c.pattern.text + "' code " + std::to_string(c.pattern.code) + " below '" +
                     c.relativeDir + "'");
        ASSERT_EQ(U(row.m_pattern), c.pattern.text);
        EXPECT_EQ(matcher.PatternWillNeverMatchDescendents(row, W(c.relativeDir)), c.never);
    }
}

TEST_F(KeyMatchDb, EntityPotentiallyMatchesAll)
{
    struct Case
    {
        const char* name;
        Entry entry;
        const char* relativeDir;
        bool potentially;
    } cases[] = {
        {"a pattern for this subdirectory", Include({{"ssh/*.conf"}}), "ssh", true},
        {"a pattern for another subdirectory", Include({{"ssh/*.conf"}}), "ssl", false},
        {"one of two patterns never matches", Include({{"**/*.conf"}, {"ssh/*"}}), "ssl", false},
        {"both patterns may match", Include({{"**/*.conf"}, {"s*/*"}}), "ssl", true},
        {"a feature only", Include({}, {{"executable", "true"}}), "any/where", true},
        {"a pattern that prunes and a feature", Include({{"x/*"}}, {{"executable", "true"}}), "y", false},
        {"an exclude entry never says yes", Exclude({{"**"}}), "a", false},
    };
    CFileIntegrityKeyMatch matcher;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long long setId = AddPathSet<CSqlFileEntitySet>("/etc");
        AddEntries(CSqlFileEntitySet::EntityType(), setId, {c.entry}, true);
        std::unique_ptr<Loaded> loaded = Load(CSqlFileEntitySet::EntityType(), setId);
        ASSERT_EQ(loaded->ids.size(), 1u);
        const long long id = *loaded->ids.begin();
        EXPECT_EQ(matcher.EntityPotentiallyMatchesAll(id, W(c.relativeDir), wxT("/etc/") + W(c.relativeDir),
                                                      loaded->features, loaded->patterns),
                  c.potentially);
        EXPECT_FALSE(matcher.EntityPotentiallyMatchesAll(id + 1000, W(c.relativeDir), wxT("/etc"),
                                                         loaded->features, loaded->patterns));
    }
}

// ---------------------------------------------------------------- keys

TEST(KeyMatchKeys, GetRelativeName)
{
    CDirectoryIntegrityKeyMatch unixDirs(wxPATH_UNIX);
    CDirectoryIntegrityKeyMatch dos(wxPATH_DOS);
    UserLikeKeyMatch insensitive(false);
    struct Case
    {
        const char* name;
        const CSystemIntegrityKeyMatch* matcher;
        const char* base;
        const char* key;
        const char* relative;
    } cases[] = {
        {"empty base", &unixDirs, "", "/etc/hosts", "/etc/hosts"},
        {"below the base", &unixDirs, "/etc", "/etc/hosts", "hosts"},
        {"deeper", &unixDirs, "/etc", "/etc/ssh/sshd_config", "ssh/sshd_config"},
        {"base with separator", &unixDirs, "/etc/", "/etc/hosts", "hosts"},
        {"the base itself", &unixDirs, "/etc", "/etc", ""},
        {"root", &unixDirs, "/", "/etc/hosts", "etc/hosts"},
        {"not below", &unixDirs, "/var", "/etc/hosts", "/etc/hosts"},
        {"prefix without separator", &unixDirs, "/etc", "/etcetera/x", "etera/x"},
        {"case-sensitive keys: no fallback", &unixDirs, "/ETC", "/etc/hosts", "/etc/hosts"},
        {"case-insensitive fallback, tail as written", &insensitive, "/ETC", "/etc/Hosts", "Hosts"},
        {"DOS: case-insensitive, own separator", &dos, "c:\\windows", "C:\\Windows\\System32\\x.dll",
         "System32\\x.dll"},
        {"DOS: a slash is not its key separator", &dos, "c:", "c:/x", "/x"},
        {"key shorter than base", &insensitive, "/etc/hosts", "/ETC", "/ETC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U(c.matcher->GetRelativeName(W(c.base), W(c.key))), c.relative);
    }
}

TEST(KeyMatchKeys, CompareStringsAndKeys)
{
    CDirectoryIntegrityKeyMatch unixDirs(wxPATH_UNIX);
    UserLikeKeyMatch insensitive(false);
    UserLikeKeyMatch flat(true, wxString());
    struct Case
    {
        const char* name;
        const CSystemIntegrityKeyMatch* matcher;
        const char* a;
        const char* b;
        int keys;
        int strings;
    } cases[] = {
        {"a/b sorts before a-b", &unixDirs, "a/b", "a-b", -1, 1},
        {"and the other way round", &unixDirs, "a-b", "a/b", 1, -1},
        {"equal", &unixDirs, "/etc/hosts", "/etc/hosts", 0, 0},
        {"empty pieces are skipped", &unixDirs, "a//b/", "a/b", 0, -1},
        {"a prefix sorts first", &unixDirs, "/etc", "/etc/hosts", -1, -1},
        {"longer sorts last", &unixDirs, "/etc/hosts", "/etc", 1, 1},
        {"case-sensitive", &unixDirs, "/Etc/x", "/etc/x", -1, -1},
        {"case-insensitive", &insensitive, "/Etc/X", "/etc/x", 0, 0},
        {"case-insensitive order", &insensitive, "/B", "/a", 1, 1},
        {"no separator: plain strings", &flat, "a/b", "a-b", 1, 1},
        {"both empty", &unixDirs, "", "/", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.matcher->CompareKeys(W(c.a), W(c.b)), c.keys);
        EXPECT_EQ(c.matcher->CompareStrings(W(c.a), W(c.b)), c.strings);
    }
}

TEST(KeyMatchKeys, TypePolicies)
{
    CDirectoryIntegrityKeyMatch directories(wxPATH_UNIX);
    CFileIntegrityKeyMatch files(CFileIntegrityKeyMatch::IsExecutableFunction(), wxPATH_UNIX);
    UserLikeKeyMatch users(false);
    EXPECT_EQ(U(directories.GetEntityType()), "Directory");
    EXPECT_EQ(U(directories.GetEntityLeafType()), "File");
    EXPECT_EQ(U(directories.GetEntityKeySeparator()), "/");
    EXPECT_TRUE(directories.EntityKeysAreCaseSensitive());
    EXPECT_EQ(U(files.GetEntityType()), "File");
    EXPECT_EQ(U(files.GetEntityLeafType()), "");
    EXPECT_EQ(files.GetPathFormat(), wxPATH_UNIX);
    EXPECT_EQ(U(users.GetEntityLeafType()), "");
    EXPECT_EQ(U(users.GetEntityKeySeparator()), "/");

    directories.SetPathFormat(wxPATH_DOS);
    EXPECT_EQ(directories.GetPathFormat(), wxPATH_DOS);
    EXPECT_EQ(U(directories.GetEntityKeySeparator()), "\\");
    EXPECT_FALSE(directories.EntityKeysAreCaseSensitive());
    EXPECT_EQ(U(directories.GetRelativeName(wxT("C:\\TEMP"), wxT("c:\\temp\\a"))), "a");
    directories.SetPathFormat(wxPATH_UNIX);
    EXPECT_EQ(U(directories.GetEntityKeySeparator()), "/");
}
