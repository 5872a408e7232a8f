// File status helpers of the agent core.
#include "core/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace OrvCore {

namespace {

long long StatxMillis(const struct statx_timestamp& ts)
{
    return static_cast<long long>(ts.tv_sec) * 1000LL + static_cast<long long>(ts.tv_nsec / 1000000U);
}

struct timespec StatxTimespec(const struct statx_timestamp& ts)
{
    struct timespec out;
    out.tv_sec = static_cast<time_t>(ts.tv_sec);
    out.tv_nsec = static_cast<long>(ts.tv_nsec);
    return out;
}

}  // namespace

bool GetFileTimestamps(const wxString& path, long long* lastAccessed, long long* lastModified, long long* created,
                       unsigned long long* size, struct stat* status, bool followLinks)
{
    const std::string bytes = path.utf8_string();
    return GetFileTimestamps(bytes.c_str(), lastAccessed, lastModified, created, size, status, followLinks);
}

bool GetFileTimestamps(const char* path, long long* lastAccessed, long long* lastModified, long long* created,
                       unsigned long long* size, struct stat* status, bool followLinks)
{
    if (path == nullptr) {
        errno = EFAULT;
        return false;
    }
    struct statx sx;
    std::memset(&sx, 0, sizeof(sx));
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (statx(AT_FDCWD, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;

    if (lastAccessed) *lastAccessed = StatxMillis(sx.stx_atime);
    if (lastModified) *lastModified = StatxMillis(sx.stx_mtime);
    if (created) *created = (sx.stx_mask & STATX_BTIME) ? StatxMillis(sx.stx_btime) : 0;
    if (size) *size = sx.stx_size;
    if (status) {
        struct stat st;
        std::memset(&st, 0, sizeof(st));
        st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        st.st_ino = static_cast<ino_t>(sx.stx_ino);
        st.st_mode = static_cast<mode_t>(sx.stx_mode);
        st.st_nlink = static_cast<nlink_t>(sx.stx_nlink);
        st.st_uid = static_cast<uid_t>(sx.stx_uid);
        st.st_gid = static_cast<gid_t>(sx.stx_gid);
        st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
        st.st_size = static_cast<off_t>(sx.stx_size);
        st.st_blksize = static_cast<blksize_t>(sx.stx_blksize);
        st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
        st.st_atim = StatxTimespec(sx.stx_atime);
        st.st_mtim = StatxTimespec(sx.stx_mtime);
        st.st_ctim = StatxTimespec(sx.stx_ctime);
        *status = st;
    }
    return true;
}

long long FileTimestampToJTime(long long fileTimestamp)
{
    return fileTimestamp;
}

long long FileTimestampToJTimeWindows(long long fileTime)
{
    // 100-ns ticks to ms, then from the 1601 epoch to the 1970 one.
    return fileTime / 10000LL - 11644473600000LL;
}

bool FileIsExecutable(const wxString& path, int fd)
{
    struct stat st;
    int rc;
    if (fd >= 0) {
        rc = fstat(fd, &st);
    } else {
        const std::string bytes = path.utf8_string();
        rc = stat(bytes.c_str(), &st);
    }
    if (rc != 0) return false;
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

wxString PermissionsToText(unsigned int mode)
{
    char text[10];
    text[0] = (mode & S_IRUSR) ? 'r' : '-';
    text[1] = (mode & S_IWUSR) ? 'w' : '-';
    if (mode & S_ISUID)
        text[2] = (mode & S_IXUSR) ? 's' : 'S';
    else
        text[2] = (mode & S_IXUSR) ? 'x' : '-';
    text[3] = (mode & S_IRGRP) ? 'r' : '-';
    text[4] = (mode & S_IWGRP) ? 'w' : '-';
    if (mode & S_ISGID)
        text[5] = (mode & S_IXGRP) ? 's' : 'S';
    else
        text[5] = (mode & S_IXGRP) ? 'x' : '-';
    text[6] = (mode & S_IROTH) ? 'r' : '-';
    text[7] = (mode & S_IWOTH) ? 'w' : '-';
    if (mode & S_ISVTX)
        text[8] = (mode & S_IXOTH) ? 't' : 'T';
    else
        text[8] = (mode & S_IXOTH) ? 'x' : '-';
    text[9] = '\0';
    return wxString::FromAscii(text, 9);
}

}  // namespace OrvCore
