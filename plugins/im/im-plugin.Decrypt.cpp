// DecryptDatabase_l: copies an encrypted database into a plain SQLite file.
//
// Encrypted databases are SQLCipher files (AES-256-CBC or AES-128-CBC, chosen
// with SQLCipher's cipher pragma). SQLCipher exports the same sqlite3_*
// symbols as the SQLite that the rest of the process uses, so it is never
// linked: it is loaded once with RTLD_LOCAL | RTLD_DEEPBIND and called only
// through its own handle. The key is never logged or traced.
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

extern "C" {
#include <lauxlib.h>
}

#include "core/Log.h"
#include "core/LuaDom.h"
#include "plugins/im/im-plugin.h"

namespace OrvPluginIm {

namespace {

const char* const kComponent = "orp.im.ImThread";
const char* const kSource = "plugins/im/im-plugin";

// The entry points of SQLCipher that the copy needs, resolved from its own handle.
struct CSqlCipherApi
{
    int (*open_v2)(const char*, sqlite3**, int, const char*) = nullptr;
    int (*close_v2)(sqlite3*) = nullptr;
    int (*key)(sqlite3*, const void*, int) = nullptr;
    int (*exec)(sqlite3*, const char*, int (*)(void*, int, char**, char**), void*, char**) = nullptr;
    int (*prepare_v2)(sqlite3*, const char*, int, sqlite3_stmt**, const char**) = nullptr;
    int (*bind_text)(sqlite3_stmt*, int, const char*, int, void (*)(void*)) = nullptr;
    int (*step)(sqlite3_stmt*) = nullptr;
    const unsigned char* (*column_text)(sqlite3_stmt*, int) = nullptr;
    int (*finalize)(sqlite3_stmt*) = nullptr;
    const char* (*errmsg)(sqlite3*) = nullptr;
    void (*free)(void*) = nullptr;
    std::string loadError;
    bool loaded = false;
};

template <typename F>
bool Resolve(void* handle, const char* name, F& function, std::string& error)
{
    function = reinterpret_cast<F>(dlsym(handle, name));
    if (!function) error = std::string("SQLCipher lacks ") + name;
    return function != nullptr;
}

const CSqlCipherApi& SqlCipher()
{
    static CSqlCipherApi api;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = dlopen("libsqlcipher.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
        if (!handle) {
            const char* error = dlerror();
            api.loadError = std::string("cannot load SQLCipher: ") + (error ? error : "unknown error");
            return;
        }
        std::string& e = api.loadError;
        api.loaded = Resolve(handle, "sqlite3_open_v2", api.open_v2, e) &&
                     Resolve(handle, "sqlite3_close_v2", api.close_v2, e) &&
                     Resolve(handle, "sqlite3_key", api.key, e) && Resolve(handle, "sqlite3_exec", api.exec, e) &&
                     Resolve(handle, "sqlite3_prepare_v2", api.prepare_v2, e) &&
                     Resolve(handle, "sqlite3_bind_text", api.bind_text, e) &&
                     Resolve(handle, "sqlite3_step", api.step, e) &&
                     Resolve(handle, "sqlite3_column_text", api.column_text, e) &&
                     Resolve(handle, "sqlite3_finalize", api.finalize, e) &&
                     Resolve(handle, "sqlite3_errmsg", api.errmsg, e) && Resolve(handle, "sqlite3_free", api.free, e);
        // The handle is kept for the life of the process.
    });
    return api;
}

struct DecryptError
{
    std::string message;
};

// One SQLCipher connection, closed on scope exit.
class CCipherConnection
{
public:
    explicit CCipherConnection(const CSqlCipherApi& api) : m_api(api) {}
    ~CCipherConnection()
    {
        if (m_db) m_api.close_v2(m_db);
    }
    void Open(const std::string& path)
    {
        // Read-write without create: a missing source must not leave an empty file behind.
        int rc = m_api.open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) Fail("cannot open " + path);
    }
    void Key(const std::string& key)
    {
        if (m_api.key(m_db, key.data(), static_cast<int>(key.size())) != SQLITE_OK) Fail("cannot set the key");
    }
    void Exec(const char* sql)
    {
        char* error = nullptr;
        if (m_api.exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : m_api.errmsg(m_db);
            if (error) m_api.free(error);
            throw DecryptError{message};
        }
    }
    // Runs a statement with an optional text parameter; returns column 0 of its first row.
    std::string Query(const char* sql, const std::string* parameter = nullptr)
    {
        sqlite3_stmt* statement = nullptr;
        if (m_api.prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
        if (parameter)
            m_api.bind_text(statement, 1, parameter->c_str(), static_cast<int>(parameter->size()), SQLITE_TRANSIENT);
        int rc = m_api.step(statement);
        std::string result;
        if (rc == SQLITE_ROW) {
            const unsigned char* text = m_api.column_text(statement, 0);
            result = text ? reinterpret_cast<const char*>(text) : "";
        }
        m_api.finalize(statement);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(sql);
        return result;
    }

private:
    [[noreturn]] void Fail(const std::string& what)
    {
        throw DecryptError{what + ": " + (m_db ? m_api.errmsg(m_db) : "out of memory")};
    }

    const CSqlCipherApi& m_api;
    sqlite3* m_db = nullptr;
};

// Chooses SQLCipher's cipher and the key text from keySpec.
void ParseKeySpec(const wxString& keySpec, const char*& cipher, std::string& key)
{
    wxString lower = keySpec.Lower();
    wxString keyText = keySpec;
    if (lower.Contains("aes256:")) {
        cipher = "aes-256-cbc";
        keyText = keySpec.AfterFirst(':');
    } else if (lower.Contains("aes128:")) {
        cipher = "aes-128-cbc";
        keyText = keySpec.AfterFirst(':');
    } else {
        cipher = "aes-128-cbc";
    }
    key = keyText.utf8_string();
}

// Copies sourcePath into a new plain database at targetPath. The copy is
// written to a temporary file beside the target and renamed over it only when
// complete, so a failure leaves no file behind. Returns the Entitys row count.
std::string Decrypt(const wxString& keySpec, const std::string& sourcePath, const std::string& targetPath)
{
    const CSqlCipherApi& api = SqlCipher();
    if (!api.loaded) throw DecryptError{api.loadError};

    const char* cipher = nullptr;
    std::string key;
    ParseKeySpec(keySpec, cipher, key);

    CCipherConnection source(api);
    source.Open(sourcePath);
    source.Key(key);
    // AES-256-CBC is SQLCipher's own default; only other ciphers need its
    // (deprecated, and noisy) cipher pragma.
    if (strcmp(cipher, "aes-256-cbc") != 0) source.Exec((std::string("PRAGMA cipher = '") + cipher + "';").c_str());
    source.Exec("pragma synchronous=1;");
    std::string count = source.Query("SELECT COUNT(*) From Entitys;");  // a wrong key fails here

    std::string temporary = targetPath + ".XXXXXX";
    int fd = mkstemp(&temporary[0]);  // mode 0600
    if (fd < 0) throw DecryptError{"cannot create " + temporary + ": " + strerror(errno)};
    close(fd);
    try {
        source.Query("ATTACH DATABASE ?1 AS plaintext KEY '';", &temporary);
        source.Query("SELECT sqlcipher_export('plaintext');");
        source.Exec("DETACH DATABASE plaintext;");
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
    if (rename(temporary.c_str(), targetPath.c_str()) != 0) {
        std::string message = "cannot create " + targetPath + ": " + strerror(errno);
        unlink(temporary.c_str());
        throw DecryptError{message};
    }
    return count;
}

}  // namespace

int DecryptDatabase_l(lua_State* L)
{
    if (!OrvCore::Lua::ToDom(L, 1)) return luaL_argerror(L, 1, "orv.Dom object expected");
    wxString keySpec = wxString::FromUTF8(luaL_checkstring(L, 2));
    std::string sourcePath = luaL_checkstring(L, 3);
    std::string targetPath = luaL_checkstring(L, 4);

    if (OrvCore::LogTraceIsEnabled(kComponent))
        OrvCore::LogTrace(kComponent, kSource, __LINE__, "DecryptDatabase",
                          "im-plugin::DecryptDatabase - DecryptDatabase entered.");
    try {
        std::string count = Decrypt(keySpec, sourcePath, targetPath);
        ORV_TRACE(kComponent, kSource, "im-plugin::decryptDatabase_l - DecryptDatabase returned successfully with %s entities.",
                  wxString::FromUTF8(count));
        lua_pushinteger(L, 0);
        lua_pushstring(L, count.c_str());
        return 2;
    } catch (const DecryptError& e) {
        OrvCore::LogError(kComponent, "im-plugin::DecryptDatabase error: " + wxString::FromUTF8(e.message));
    }
    OrvCore::LogError(kComponent, "im-plugin::decryptDatabase_l - DecryptDatabase returned unsuccessfully.");
    lua_pushinteger(L, -1);
    return 1;
}

}  // namespace OrvPluginIm
