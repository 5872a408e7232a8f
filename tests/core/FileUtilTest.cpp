// Tests of the file status helpers (core/FileUtil.h) and of CDom's ownership
// lookups, against stat(2)/lstat(2) of real files in a temporary directory.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/Dom.h"
#include "core/FileUtil.h"
#include "core/Text.h"

using namespace OrvCore;

namespace {

std::string U8(const wxString& text)
{
    return text.utf8_string();
}

// A fresh directory under $TMPDIR (or /tmp), removed with its content.
class TempDir
{
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orv-fileutil-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempDir()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

bool WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644)
{
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ok = close(fd) == 0 && ok;
    return ok && chmod(path.c_str(), mode) == 0;
}

long long Millis(const struct timespec& ts)
{
    return static_cast<long long>(ts.tv_sec) * 1000LL + ts.tv_nsec / 1000000L;
}

void ExpectSameStatus(const struct stat& expected, const struct stat& actual)
{
    EXPECT_EQ(actual.st_dev, expected.st_dev);
    EXPECT_EQ(actual.st_ino, expected.st_ino);
    EXPECT_EQ(actual.st_mode, expected.st_mode);
    EXPECT_EQ(actual.st_nlink, expected.st_nlink);
    EXPECT_EQ(actual.st_uid, expected.st_uid);
    EXPECT_EQ(actual.st_gid, expected.st_gid);
    EXPECT_EQ(actual.st_rdev, expected.st_rdev);
    EXPECT_EQ(actual.st_size, expected.st_size);
    EXPECT_EQ(actual.st_blksize, expected.st_blksize);
    EXPECT_EQ(actual.st_blocks, expected.st_blocks);
    EXPECT_EQ(actual.st_atim.tv_sec, expected.st_atim.tv_sec);
    EXPECT_EQ(actual.st_atim.tv_nsec, expected.st_atim.tv_nsec);
    EXPECT_EQ(actual.st_mtim.tv_sec, expected.st_mtim.tv_sec);
    EXPECT_EQ(actual.st_mtim.tv_nsec, expected.st_mtim.tv_nsec);
    EXPECT_EQ(actual.st_ctim.tv_sec, expected.st_ctim.tv_sec);
    EXPECT_EQ(actual.st_ctim.tv_nsec, expected.st_ctim.tv_nsec);
}

// Birth time as the file system reports it, or 0.
long long BirthMillis(const std::string& path, bool followLinks)
{
    struct statx sx;
    if (statx(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0) return -1;
    if (!(sx.stx_mask & STATX_BTIME)) return 0;
    return static_cast<long long>(sx.stx_btime.tv_sec) * 1000LL + sx.stx_btime.tv_nsec / 1000000U;
}

class FileUtilTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(dir.path().empty()) << "mkdtemp failed: " << std::strerror(errno); }
    TempDir dir;
};

}  // namespace

TEST_F(FileUtilTest, DescribesFilesDirectoriesAndLinks)
{
    const std::string file = dir / "data.bin";
    const std::string subdir = dir / "sub";
    const std::string link = dir / "link";
    ASSERT_TRUE(WriteFile(file, std::string(12345, 'x')));
    ASSERT_EQ(mkdir(subdir.c_str(), 0750), 0);
    ASSERT_EQ(symlink("data.bin", link.c_str()), 0);

    // Distinct access and modification times with sub-millisecond parts.
    const struct timespec times[2] = {{1600000000, 123456789}, {1500000000, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const struct timespec subdirTimes[2] = {{1400000000, 5000000}, {1300000000, 999999}};
    ASSERT_EQ(utimensat(AT_FDCWD, subdir.c_str(), subdirTimes, 0), 0);

    struct Case
    {
        const char* name;
        std::string path;
        bool followLinks;
        bool useLstat;
    };
    const Case cases[] = {
        {"regular file", file, false, true},
        {"regular file, following", file, true, false},
        {"directory", subdir, false, true},
        {"symbolic link itself", link, false, true},
        {"symbolic link followed", link, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct stat expected;
        ASSERT_EQ(c.useLstat ? lstat(c.path.c_str(), &expected) : stat(c.path.c_str(), &expected), 0);

        for (bool wide : {false, true}) {
            SCOPED_TRACE(wide ? "wxString path" : "const char* path");
            long long accessed = -1, modified = -1, created = -1;
            unsigned long long size = 0;
            struct stat status;
            std::memset(&status, 0xA5, sizeof(status));
            const bool ok = wide ? GetFileTimestamps(wxString::FromUTF8(c.path), &accessed, &modified, &created,
                                                     &size, &status, c.followLinks)
                                 : GetFileTimestamps(c.path.c_str(), &accessed, &modified, &created, &size,
                                                     &status, c.followLinks);
            ASSERT_TRUE(ok);
            ExpectSameStatus(expected, status);
            EXPECT_EQ(accessed, Millis(expected.st_atim));
            EXPECT_EQ(modified, Millis(expected.st_mtim));
            EXPECT_EQ(size, static_cast<unsigned long long>(expected.st_size));
            EXPECT_EQ(created, BirthMillis(c.path, c.followLinks));
        }
    }

    // The values set above, truncated to milliseconds.
    long long accessed = 0, modified = 0;
    unsigned long long size = 0;
    ASSERT_TRUE(GetFileTimestamps(file.c_str(), &accessed, &modified, nullptr, &size, nullptr));
    EXPECT_EQ(accessed, 1600000000123LL);
    EXPECT_EQ(modified, 1500000000987LL);
    EXPECT_EQ(size, 12345u);
    ASSERT_TRUE(GetFileTimestamps(link.c_str(), &accessed, &modified, nullptr, &size, nullptr, true));
    EXPECT_EQ(modified, 1500000000987LL);
    EXPECT_EQ(size, 12345u);
    // Not followed: the link's own size is the length of its target text.
    ASSERT_TRUE(GetFileTimestamps(link.c_str(), nullptr, nullptr, nullptr, &size, nullptr, false));
    EXPECT_EQ(size, std::strlen("data.bin"));
    ASSERT_TRUE(GetFileTimestamps(subdir.c_str(), &accessed, &modified, nullptr, nullptr, nullptr));
    EXPECT_EQ(accessed, 1400000000005LL);
    EXPECT_EQ(modified, 1300000000000LL);
}

TEST_F(FileUtilTest, BirthTimeIsRecentWhenReported)
{
    const std::string file = dir / "new";
    struct timespec before;
    clock_gettime(CLOCK_REALTIME, &before);
    ASSERT_TRUE(WriteFile(file, "x"));
    long long created = -1;
    ASSERT_TRUE(GetFileTimestamps(file.c_str(), nullptr, nullptr, &created, nullptr, nullptr));
    if (BirthMillis(file, false) == 0) {
        EXPECT_EQ(created, 0);
    } else {
        // File system clocks are coarse: allow for their granularity.
        EXPECT_GE(created, Millis(before) - 1000);
        struct timespec after;
        clock_gettime(CLOCK_REALTIME, &after);
        EXPECT_LE(created, Millis(after) + 1000);
    }
}

TEST_F(FileUtilTest, FailuresSetErrnoAndLeaveOutputsAlone)
{
    const std::string file = dir / "plain";
    ASSERT_TRUE(WriteFile(file, "abc"));
    struct Case
    {
        const char* name;
        std::string path;
        bool followLinks;
        int expectedErrno;
    };
    const std::string dangling = dir / "dangling";
    ASSERT_EQ(symlink("nowhere", dangling.c_str()), 0);
    const Case cases[] = {
        {"missing", dir / "missing", false, ENOENT},
        {"missing parent", dir / "missing/child", false, ENOENT},
        {"empty path", "", false, ENOENT},
        {"file used as directory", file + "/x", false, ENOTDIR},
        {"dangling link followed", dangling, true, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        long long accessed = 11, modified = 22, created = 33;
        unsigned long long size = 44;
        struct stat status;
        std::memset(&status, 0x5A, sizeof(status));
        errno = 0;
        EXPECT_FALSE(GetFileTimestamps(c.path.c_str(), &accessed, &modified, &created, &size, &status,
                                       c.followLinks));
        EXPECT_EQ(errno, c.expectedErrno);
        EXPECT_EQ(accessed, 11);
        EXPECT_EQ(modified, 22);
        EXPECT_EQ(created, 33);
        EXPECT_EQ(size, 44u);
        struct stat untouched;
        std::memset(&untouched, 0x5A, sizeof(untouched));
        EXPECT_EQ(std::memcmp(&status, &untouched, sizeof(status)), 0);
        errno = 0;
        EXPECT_FALSE(GetFileTimestamps(wxString::FromUTF8(c.path), nullptr, nullptr, nullptr, nullptr, nullptr,
                                       c.followLinks));
        EXPECT_EQ(errno, c.expectedErrno);
    }
    // The dangling link itself exists.
    EXPECT_TRUE(GetFileTimestamps(dangling.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(FileUtilTest, FileNamesBeyondAscii)
{
    struct Case
    {
        const char* name;
        std::string fileName;
        std::string content;
    };
    const Case cases[] = {
        {"UTF-8 name", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac.txt", "hello"},
        {"invalid UTF-8 name", "bad\xff\xfe\x80name", "0123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.fileName;
        ASSERT_TRUE(WriteFile(path, c.content));
        struct stat expected;
        ASSERT_EQ(lstat(path.c_str(), &expected), 0);
        unsigned long long size = 0;
        struct stat status;
        ASSERT_TRUE(GetFileTimestamps(path.c_str(), nullptr, nullptr, nullptr, &size, &status));
        EXPECT_EQ(size, c.content.size());
        EXPECT_EQ(status.st_ino, expected.st_ino);
        if (isLegalUTF8String(path)) {
            size = 0;
            ASSERT_TRUE(GetFileTimestamps(wxString::FromUTF8(path), nullptr, nullptr, nullptr, &size, nullptr));
            EXPECT_EQ(size, c.content.size());
        }
    }
}

TEST(FileUtilTimestamps, Conversions)
{
    struct Case
    {
        const char* name;
        long long fileTime;
        long long expected;
    };
    const Case cases[] = {
        {"unix epoch", 116444736000000000LL, 0},
        {"2020-01-01", 132223104000000000LL, 1577836800000LL},
        {"sub-millisecond ticks dropped", 132223104000009999LL, 1577836800000LL},
        {"one millisecond", 132223104000010000LL, 1577836800001LL},
        {"windows epoch", 0, -11644473600000LL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileTimestampToJTimeWindows(c.fileTime), c.expected);
    }
    for (long long value : {0LL, 1LL, -1LL, 1577836800123LL}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(FileTimestampToJTime(value), value);
    }
}

TEST_F(FileUtilTest, FileIsExecutableTable)
{
    const std::string target = dir / "tool";
    ASSERT_TRUE(WriteFile(target, "#!/bin/sh\n", 0755));
    const std::string plain = dir / "notes";
    ASSERT_TRUE(WriteFile(plain, "text", 0644));
    ASSERT_EQ(symlink("tool", (dir / "tool-link").c_str()), 0);
    ASSERT_EQ(symlink("notes", (dir / "notes-link").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "subdir").c_str(), 0755), 0);

    struct Case
    {
        const char* name;
        mode_t mode;
        bool expected;
    };
    const Case modes[] = {
        {"0644", 0644, false}, {"0755", 0755, true},  {"0700", 0700, true},   {"0100 owner only", 0100, true},
        {"0010 group only", 0010, true},              {"0001 others only", 0001, true},
        {"0666", 0666, false}, {"0000", 0000, false}, {"04644 setuid, no x", 04644, false},
        {"06000", 06000, false},                      {"01001 sticky and x", 01001, true},
    };
    for (const Case& c : modes) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "mode-file";
        ASSERT_TRUE(WriteFile(path, "data", c.mode));
        EXPECT_EQ(FileIsExecutable(wxString::FromUTF8(path)), c.expected);
        int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        // With a descriptor, the path is not looked at.
        EXPECT_EQ(FileIsExecutable(wxString::FromUTF8(dir / "missing"), fd), c.expected);
        close(fd);
    }

    struct PathCase
    {
        const char* name;
        std::string path;
        bool expected;
    };
    const PathCase paths[] = {
        {"link to executable", dir / "tool-link", true},
        {"link to non-executable", dir / "notes-link", false},
        {"directory", dir / "subdir", false},
        {"missing", dir / "missing", false},
        {"empty path", "", false},
    };
    for (const PathCase& c : paths) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileIsExecutable(wxString::FromUTF8(c.path)), c.expected);
    }

    // The descriptor wins over the path.
    int fd = open(plain.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(FileIsExecutable(wxString::FromUTF8(target), fd));
    close(fd);
    fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(FileIsExecutable(wxString::FromUTF8(plain), fd));
    close(fd);
}

TEST(FileUtilPermissions, TextLikeLs)
{
    struct Case
    {
        unsigned int mode;
        const char* expected;
    };
    const Case cases[] = {
        {0000, "---------"},
        {0644, "rw-r--r--"},
        {0755, "rwxr-xr-x"},
        {0777, "rwxrwxrwx"},
        {0400, "r--------"},
        {0020, "----w----"},
        {0001, "--------x"},
        {04755, "rwsr-xr-x"},
        {04644, "rwSr--r--"},
        {02755, "rwxr-sr-x"},
        {02644, "rw-r-Sr--"},
        {01777, "rwxrwxrwt"},
        {01666, "rw-rw-rwT"},
        {07777, "rwsrwsrwt"},
        {07000, "--S--S--T"},
        {S_IFREG | 0640, "rw-r-----"},
        {S_IFDIR | 01777, "rwxrwxrwt"},
        {S_IFLNK | 0777, "rwxrwxrwx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(U8(PermissionsToText(c.mode)), c.expected);
    }
}

// ---- CDom's lookups of owners and permissions

namespace {

std::string UserNameOf(uid_t uid)
{
    struct passwd* pw = getpwuid(uid);
    return pw ? pw->pw_name : "";
}

std::string GroupNameOf(gid_t gid)
{
    struct group* gr = getgrgid(gid);
    return gr ? gr->gr_name : "";
}

class DomFilesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(dir.path().empty()) << "mkdtemp failed: " << std::strerror(errno); }
    TempDir dir;
};

}  // namespace

TEST(DomFilesLookup, KnownIds)
{
    struct Case
    {
        const char* name;
        bool user;
        std::string id;
        std::string expected;
    };
    const Case cases[] = {
        {"uid 0", true, "0", "root"},
        {"gid 0", false, "0", "root"},
        {"current uid", true, std::to_string(getuid()), UserNameOf(getuid())},
        {"current gid", false, std::to_string(getgid()), GroupNameOf(getgid())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.expected.empty()) << "no account database entry for id " << c.id;
        wxString name;
        const wxString id = wxString::FromUTF8(c.id);
        ASSERT_TRUE(c.user ? CDom::LookupUserId(id, name) : CDom::LookupGroupId(id, name));
        EXPECT_EQ(U8(name), c.expected);
    }
}

TEST(DomFilesLookup, RejectsJunkAndUnknownIds)
{
    const char* junk[] = {"",           "abc",         "-1",         "+0",         " 0",
                          "0 ",         "1x",          "0x10",       "1.0",        "4294967296",
                          "99999999999999999999999",   "18446744073709551616",   "\xd9\xa0"};
    for (const char* text : junk) {
        SCOPED_TRACE(text);
        wxString name = wxT("unchanged");
        EXPECT_FALSE(CDom::LookupUserId(wxString::FromUTF8(text), name));
        EXPECT_FALSE(CDom::LookupGroupId(wxString::FromUTF8(text), name));
        EXPECT_EQ(U8(name), "unchanged");
    }
    // Ids nobody has: numeric, but without a name.
    ASSERT_EQ(getpwuid(3999999001U), nullptr);
    ASSERT_EQ(getgrgid(3999999002U), nullptr);
    wxString name;
    EXPECT_FALSE(CDom::LookupUserId(wxT("3999999001"), name));
    EXPECT_FALSE(CDom::LookupGroupId(wxT("3999999002"), name));
}

TEST_F(DomFilesTest, SecurityInfoMatchesLstat)
{
    const std::string file = dir / "file";
    const std::string link = dir / "link";
    const std::string sub = dir / "sub";
    ASSERT_TRUE(WriteFile(file, "x", 0640));
    ASSERT_EQ(symlink("file", link.c_str()), 0);
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    ASSERT_EQ(chmod(sub.c_str(), 01777), 0);
    const std::string setuid = dir / "setuid";
    ASSERT_TRUE(WriteFile(setuid, "x", 04755));
    const std::string weird = dir / "\xc3\xa9t\xc3\xa9";
    ASSERT_TRUE(WriteFile(weird, "x", 02604));

    struct Case
    {
        const char* name;
        std::string path;
        const char* permissions;
        const char* friendly;
    };
    const Case cases[] = {
        {"file", file, "0640", "rw-r-----"},
        {"symbolic link itself", link, "0777", "rwxrwxrwx"},
        {"sticky directory", sub, "1777", "rwxrwxrwt"},
        {"setuid file", setuid, "4755", "rwsr-xr-x"},
        {"non-ASCII name, setgid", weird, "2604", "rw---Sr--"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct stat st;
        ASSERT_EQ(lstat(c.path.c_str(), &st), 0);
        wxString owner, ownerName, group, groupName, permissions, permissionsText;
        ASSERT_TRUE(CDom::FileGetSecurityInfo(wxString::FromUTF8(c.path), owner, ownerName, group, groupName,
                                              permissions, permissionsText));
        EXPECT_EQ(U8(owner), std::to_string(st.st_uid));
        EXPECT_EQ(U8(ownerName), UserNameOf(st.st_uid));
        EXPECT_EQ(U8(group), std::to_string(st.st_gid));
        EXPECT_EQ(U8(groupName), GroupNameOf(st.st_gid));
        EXPECT_EQ(U8(permissions), c.permissions);
        EXPECT_EQ(U8(permissionsText), c.friendly);
    }
}

TEST_F(DomFilesTest, UnknownOwnerLeavesNamesEmpty)
{
    if (geteuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
    uid_t uid = 3999999001U;
    gid_t gid = 3999999002U;
    ASSERT_EQ(getpwuid(uid), nullptr);
    ASSERT_EQ(getgrgid(gid), nullptr);
    const std::string file = dir / "orphan";
    ASSERT_TRUE(WriteFile(file, "x", 0600));
    ASSERT_EQ(chown(file.c_str(), uid, gid), 0);
    wxString owner = wxT("?"), ownerName = wxT("?"), group = wxT("?"), groupName = wxT("?");
    wxString permissions, permissionsText;
    ASSERT_TRUE(CDom::FileGetSecurityInfo(wxString::FromUTF8(file), owner, ownerName, group, groupName,
                                          permissions, permissionsText));
    EXPECT_EQ(U8(owner), "3999999001");
    EXPECT_TRUE(ownerName.empty());
    EXPECT_EQ(U8(group), "3999999002");
    EXPECT_TRUE(groupName.empty());
    EXPECT_EQ(U8(permissions), "0600");
    EXPECT_EQ(U8(permissionsText), "rw-------");
}

TEST_F(DomFilesTest, MissingPathFails)
{
    wxString owner = wxT("o"), ownerName, group, groupName, permissions, permissionsText;
    EXPECT_FALSE(CDom::FileGetSecurityInfo(wxString::FromUTF8(dir / "missing"), owner, ownerName, group,
                                           groupName, permissions, permissionsText));
    EXPECT_EQ(U8(owner), "o");
}
