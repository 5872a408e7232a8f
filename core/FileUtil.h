// File status helpers of the agent core. Thread-safe, no state. Paths given
// as wxString are encoded as UTF-8; the const char* forms take the raw bytes
// of a path (file names need not be valid UTF-8 on Linux).
#pragma once

#include <sys/stat.h>
#include <wx/string.h>

#include "core/CoreApi.h"

namespace OrvCore {

// Reads a path's times and status with statx(2). Times are milliseconds since
// 1970 (nanoseconds truncated); created is the birth time when the file system
// reports one, else 0. Each out-pointer may be null. status receives the
// classic status record (device, inode, mode, links, owner, size, blocks, ...).
// By default a symbolic link is described itself; followLinks describes its
// target. False on failure with errno set and the outputs untouched.
ORV_CORE_API bool GetFileTimestamps(const wxString& path, long long* lastAccessed, long long* lastModified,
                                    long long* created, unsigned long long* size, struct stat* status,
                                    bool followLinks = false);
ORV_CORE_API bool GetFileTimestamps(const char* path, long long* lastAccessed, long long* lastModified,
                                    long long* created, unsigned long long* size, struct stat* status,
                                    bool followLinks = false);

// Converts a stored file timestamp to milliseconds since 1970. On Linux the
// stored timestamp already is that, so this is the identity.
ORV_CORE_API long long FileTimestampToJTime(long long fileTimestamp);

// Converts a Windows FILETIME (100-ns ticks since 1601-01-01) to milliseconds
// since 1970.
ORV_CORE_API long long FileTimestampToJTimeWindows(long long fileTime);

// True for a regular file (links followed) with any execute bit set. When fd
// is an open descriptor of the file it is used instead of the path.
ORV_CORE_API bool FileIsExecutable(const wxString& path, int fd = -1);

// "rwxr-x---" style text of the permission bits, with setuid, setgid and
// sticky shown the way ls(1) shows them.
ORV_CORE_API wxString PermissionsToText(unsigned int mode);

}  // namespace OrvCore
