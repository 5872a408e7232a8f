// Benchmark of si.db under the scanners' per-entity statements.
//
// Fills a fresh si.db with N entity versions (default 1,000,000) of 8
// attributes each through the scanner's prepared statements (insert the
// version, its attributes, digest them, store the digest), then runs the
// per-entity statements of an incremental scan for K keys (default 100,000):
// look up the current and the awaiting version of the key, read its
// attributes, record a new version with its attributes and digest, and
// supersede the old one. Prints rows per second for both phases, the
// database size per entity, and the ratio to a reference run that inserts the
// same rows into plain unindexed tables with no digests.
//
// Usage: si_db_bench [--entities N] [--keys K] [--dir DIR]
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "core/Dom.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityScannerThread.h"

using namespace OrvPluginIm;
using Clock = std::chrono::steady_clock;

namespace {

const int kAttributesPerEntity = 8;
const char* const kAttributeNames[kAttributesPerEntity] = {"created", "group",       "lastModified", "owner",
                                                           "permissions", "sha256", "size", "symLinkPath"};

class BenchScanner : public CIntegrityScanThread
{
public:
    explicit BenchScanner(const OrvCore::CDom& dom) : CIntegrityScanThread(dom) {}
    CSqlEntitySet* CreateEntitySetObject() const override { return new CSqlFileEntitySet; }

protected:
    int OnRun() override { return 0; }
};

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Keys and values are made with snprintf: the benchmark measures the
// database work, not the formatting of its test data.
wxString KeyOf(long long i)
{
    char text[64];
    snprintf(text, sizeof text, "/data/d%04lld/file-%07lld.dat", i / 1000, i);
    return wxString::FromAscii(text);
}

wxString ValueOf(int attribute, long long i, int version)
{
    char text[96];
    snprintf(text, sizeof text, "%s-%lld-%d-0123456789abcdef", kAttributeNames[attribute], i, version);
    return wxString::FromAscii(text);
}

long long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// Records one version of key i through the prepared statements; returns its entity id.
long long RecordVersion(BenchScanner& scanner, long long i, int version)
{
    CSqlEntity entity;
    entity.SetAttributeValue(&entity.m_entityType, wxString("File"));
    entity.SetAttributeValue(&entity.m_entitySetId, 1LL);
    entity.SetAttributeValue(&entity.m_integrityRuleId, 1LL);
    entity.SetAttributeValue(&entity.m_keyCanonical, KeyOf(i));
    entity.SetAttributeValue(&entity.m_key, KeyOf(i));
    long long entityId;
    {
        CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtInsertEntity));
        entityId = entity.SQLInsert(scanner.GetDb()->Db(), *use);
    }
    CSqlAttribute attribute;
    for (int a = 0; a < kAttributesPerEntity; ++a) {
        attribute.SetToDefaults();
        attribute.SetAttributeValue(&attribute.m_entityId, entityId);
        attribute.SetAttributeValue(&attribute.m_name, wxString(kAttributeNames[a]));
        attribute.SetAttributeValue(&attribute.m_value, ValueOf(a, i, version));
        CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtInsertAttribute));
        attribute.SQLInsert(scanner.GetDb()->Db(), *use);
    }
    std::string digest;
    {
        CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtAttributeHash));
        use->Bind(1, static_cast<wxLongLong>(entityId));
        wxSQLite3ResultSet row = use->ExecuteQuery();
        if (row.NextRow()) {
            int length = 0;
            const unsigned char* blob = row.GetBlob(0, length);
            digest.assign(reinterpret_cast<const char*>(blob), static_cast<size_t>(length));
        }
    }
    {
        CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtStoreDigest));
        use->Bind(1, reinterpret_cast<const unsigned char*>(digest.data()), static_cast<int>(digest.size()));
        use->Bind(2, static_cast<wxLongLong>(1700000000000LL + i));
        use->Bind(3, static_cast<wxLongLong>(entityId));
        use->ExecuteUpdate();
    }
    return entityId;
}

}  // namespace

int main(int argc, char** argv)
{
    long long entities = 1000000, keys = 100000;
    std::string dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--entities")) entities = atoll(argv[i + 1]);
        else if (!strcmp(argv[i], "--keys")) keys = atoll(argv[i + 1]);
        else if (!strcmp(argv[i], "--dir")) dir = argv[i + 1];
    }
    if (keys > entities) keys = entities;
    if (dir.empty()) {
        char pattern[] = "/tmp/si-db-bench-XXXXXX";
        dir = mkdtemp(pattern);
    }
    const std::string dbPath = dir + "/si.db", refPath = dir + "/reference.db";
    unlink(dbPath.c_str());
    unlink(refPath.c_str());

    OrvCore::CDom dom = OrvCore::CDom::CreateIsolated();
    dom.Set("orp.im.dbPath", wxString::FromUTF8(dbPath));
    BenchScanner scanner(dom);
    if (!scanner.OpenSystemIntegrityDb()) {
        fprintf(stderr, "cannot open %s\n", dbPath.c_str());
        return 1;
    }
    OrvCore::CSqliteDatabase& db = *scanner.GetDb();

    // ---- fill
    auto start = Clock::now();
    const long long batch = 1000;
    for (long long i = 0; i < entities; i += batch) {
        db.Begin(true);
        for (long long j = i; j < i + batch && j < entities; ++j) RecordVersion(scanner, j, 0);
        db.Commit();
        if ((i / batch) % 100 == 99) {
            fprintf(stderr, "  filled %lld entities (%.0f/s)\r", i + batch, (i + batch) / Seconds(start));
        }
    }
    const double fillSeconds = Seconds(start);
    const long long rows = entities * (1 + kAttributesPerEntity);
    fprintf(stderr, "\n");

    // ---- incremental scan of K keys
    std::mt19937_64 random(42);
    std::uniform_int_distribution<long long> pick(0, entities - 1);
    const long long highestAtStart = entities * (1 + kAttributesPerEntity) + 1;
    start = Clock::now();
    long long lookedUp = 0;
    for (long long k = 0; k < keys; k += batch) {
        db.Begin(true);
        for (long long j = k; j < k + batch && j < keys; ++j) {
            const long long i = pick(random);
            CSqlEntity current;
            bool found = false;
            {
                CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtPreviousAwaiting));
                use->Bind(1, static_cast<wxLongLong>(highestAtStart));
                use->Bind(2, KeyOf(i));
                use->Bind(3, wxString("File"));
                use->Bind(4, static_cast<wxLongLong>(1));
                use->Bind(5, static_cast<wxLongLong>(1));
                wxSQLite3ResultSet row = use->ExecuteQuery();
                (void)row.NextRow();
            }
            {
                CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtCurrentVersions));
                use->Bind(1, static_cast<wxLongLong>(highestAtStart));
                use->Bind(2, KeyOf(i));
                use->Bind(3, wxString("File"));
                use->Bind(4, static_cast<wxLongLong>(1));
                use->Bind(5, static_cast<wxLongLong>(1));
                wxSQLite3ResultSet row = use->ExecuteQuery();
                if (row.NextRow()) found = current.SQLLoad(row);
            }
            if (!found) continue;
            ++lookedUp;
            {
                CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtAttributesOfVersion));
                use->Bind(1, static_cast<wxLongLong>(current.m_entityId));
                wxSQLite3ResultSet rowsOfVersion = use->ExecuteQuery();
                current.m_attributes.SQLLoad(rowsOfVersion);
            }
            long long newId = RecordVersion(scanner, i, 1);
            current.SetSupercededBy(newId);
            CStatementUse use(*scanner.GetStatement(CIntegrityScanThread::StmtUpdateEntity));
            current.SQLUpdate(*use);
        }
        db.Commit();
    }
    const double scanSeconds = Seconds(start);
    db.Db().ExecuteQuery("PRAGMA wal_checkpoint(TRUNCATE);").Finalize();
    const long long dbBytes = FileSize(dbPath) + FileSize(dbPath + "-wal");
    scanner.CloseSystemIntegrityDb();

    // ---- reference: the same rows into plain tables, no indices, no digests
    double refSeconds;
    {
        wxSQLite3Database ref;
        ref.Open(wxString::FromUTF8(refPath));
        ref.ExecuteUpdate("PRAGMA journal_mode=WAL; PRAGMA synchronous=1;");
        ref.ExecuteUpdate("CREATE TABLE e(id INTEGER PRIMARY KEY, type TEXT, setId INTEGER, ruleId INTEGER, "
                          "keyCanonical TEXT, key TEXT);");
        ref.ExecuteUpdate("CREATE TABLE a(id INTEGER PRIMARY KEY, entityId INTEGER, name TEXT, value TEXT);");
        wxSQLite3Statement insertEntity = ref.PrepareStatement("INSERT INTO e VALUES(NULL,'File',1,1,?1,?1)");
        wxSQLite3Statement insertAttribute = ref.PrepareStatement("INSERT INTO a VALUES(NULL,?1,?2,?3)");
        start = Clock::now();
        for (long long i = 0; i < entities; i += batch) {
            ref.Begin(WXSQLITE_TRANSACTION_IMMEDIATE);
            for (long long j = i; j < i + batch && j < entities; ++j) {
                insertEntity.Bind(1, KeyOf(j));
                insertEntity.ExecuteUpdate();
                insertEntity.Reset();
                long long id = ref.GetLastRowId().GetValue();
                for (int a = 0; a < kAttributesPerEntity; ++a) {
                    insertAttribute.Bind(1, static_cast<wxLongLong>(id));
                    insertAttribute.Bind(2, wxString(kAttributeNames[a]));
                    insertAttribute.Bind(3, ValueOf(a, j, 0));
                    insertAttribute.ExecuteUpdate();
                    insertAttribute.Reset();
                }
            }
            ref.Commit();
        }
        refSeconds = Seconds(start);
    }

    printf("si.db benchmark: %lld entities x %d attributes, %lld incremental keys (%s)\n", entities,
           kAttributesPerEntity, keys, dir.c_str());
    printf("  fill:        %8.0f entities/s  %10.0f rows/s   %.1f s\n", entities / fillSeconds, rows / fillSeconds,
           fillSeconds);
    printf("  reference:   %8.0f entities/s  %10.0f rows/s   %.1f s  (plain tables, no indices or digests)\n",
           entities / refSeconds, rows / refSeconds, refSeconds);
    printf("  fill / reference time: %.2f\n", fillSeconds / refSeconds);
    printf("  incremental: %8.0f keys/s (%lld keys, each: 2 look-ups, attributes read, new version with %d "
           "attributes and digest, old version superseded)\n",
           keys / scanSeconds, lookedUp, kAttributesPerEntity);
    printf("  database:    %.1f MB, %.0f bytes per entity version\n", dbBytes / 1048576.0,
           static_cast<double>(dbBytes) / static_cast<double>(entities + lookedUp));
    return 0;
}
