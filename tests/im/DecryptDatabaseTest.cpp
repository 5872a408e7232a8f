// DecryptDatabase_l on databases made with the sqlcipher command-line tool.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/Log.h"
#include "core/LuaDom.h"
#include "tests/core/TestUtil.h"
#include "tests/im/LuaFixture.h"

namespace {

// Makes an encrypted database with `rows` rows in Entitys using the sqlcipher CLI.
bool MakeEncrypted(const std::string& path, const std::string& key, const char* cipher, int rows)
{
    std::string sql = "PRAGMA key='" + key + "';";
    if (cipher) sql += std::string("PRAGMA cipher='") + cipher + "';";
    sql += "CREATE TABLE Entitys(entityId INTEGER PRIMARY KEY, key TEXT);";
    for (int i = 0; i < rows; ++i) sql += "INSERT INTO Entitys(key) VALUES('/etc/f" + std::to_string(i) + "');";
    std::string cmd = "sqlcipher '" + path + "' \"" + sql + "\" >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

// Row count of Entitys read with the system SQLite, or -1.
int PlainCount(const std::string& path)
{
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM Entitys", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

class DecryptDatabase : public LuaFixture
{
protected:
    void SetUp() override
    {
        LuaFixture::SetUp();
        ASSERT_TRUE(MakeEncrypted(dir / "aes256.db", "s3cret", nullptr, 3));
        ASSERT_TRUE(MakeEncrypted(dir / "aes128.db", "k128", "aes-128-cbc", 2));
        OrvTest::WriteFile(dir / "junk.db", std::string(4096, 'x'));
    }

    // Calls DecryptDatabase_l and returns "code count" or "code".
    std::string Decrypt(const std::string& keySpec, const std::string& source, const std::string& target)
    {
        OrvCore::Lua::PushDom(L, OrvCore::CDom::CreateIsolated());
        lua_setglobal(L, "dom");
        lua_pushstring(L, keySpec.c_str());
        lua_setglobal(L, "keySpec");
        lua_pushstring(L, source.c_str());
        lua_setglobal(L, "source");
        lua_pushstring(L, target.c_str());
        lua_setglobal(L, "target");
        return Eval("table.concat({SLB.im.DecryptDatabase_l(dom, keySpec, source, target)}, ' ')");
    }

    OrvTest::TempDir dir;
};

TEST_F(DecryptDatabase, CiphersKeysAndFailures)
{
    struct Case
    {
        const char* name;
        const char* keySpec;
        const char* source;
        const char* expected;
        int plainCount;  // -1: no target file may exist
    } cases[] = {
        {"aes256 prefix", "aes256:s3cret", "aes256.db", "0 3", 3},
        {"aes256 prefix in capitals", "AES256:s3cret", "aes256.db", "0 3", 3},
        {"aes128 prefix", "aes128:k128", "aes128.db", "0 2", 2},
        {"no prefix means aes128", "k128", "aes128.db", "0 2", 2},
        {"wrong key", "aes256:wrong", "aes256.db", "-1", -1},
        {"wrong cipher", "aes128:s3cret", "aes256.db", "-1", -1},
        {"missing source", "aes256:s3cret", "missing.db", "-1", -1},
        {"not a database", "aes256:s3cret", "junk.db", "-1", -1},
    };
    std::vector<wxString> logged;
    OrvCore::SetLogObserver([&](OrvCore::LogLevel, const wxString&, const wxString& message) { logged.push_back(message); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string target = dir / (std::string("out-") + c.name + ".db");
        EXPECT_EQ(Decrypt(c.keySpec, dir / c.source, target), c.expected);
        EXPECT_EQ(PlainCount(target), c.plainCount);
        if (c.plainCount < 0) {
            EXPECT_FALSE(Exists(target));
        } else {
            struct stat st;
            ASSERT_EQ(stat(target.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        }
    }
    OrvCore::SetLogObserver(nullptr);
    EXPECT_FALSE(Exists(dir / "missing.db"));  // the source is never created
    for (const wxString& line : logged) {
        EXPECT_EQ(line.Find("s3cret"), wxNOT_FOUND) << line;  // the key is never logged
        EXPECT_EQ(line.Find("k128"), wxNOT_FOUND) << line;
    }
    EXPECT_FALSE(logged.empty());
}

TEST_F(DecryptDatabase, ReplacesAnExistingTargetAndLeavesTheSourceReadable)
{
    std::string target = dir / "plain.db";
    OrvTest::WriteFile(target, "old content");
    EXPECT_EQ(Decrypt("aes256:s3cret", dir / "aes256.db", target), "0 3");
    EXPECT_EQ(PlainCount(target), 3);
    EXPECT_EQ(Decrypt("aes256:s3cret", dir / "aes256.db", dir / "again.db"), "0 3");
    // A target in a directory that does not exist fails cleanly.
    EXPECT_EQ(Decrypt("aes256:s3cret", dir / "aes256.db", dir / "no/such/dir.db"), "-1");
}
