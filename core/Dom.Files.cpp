// File ownership and permission lookups of CDom.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "core/Dom.h"
#include "core/FileUtil.h"
#include "core/Text.h"

namespace OrvCore {

namespace {

// Largest buffer handed to getpwuid_r/getgrgid_r: large groups can have long
// member lists, but nothing sane needs more than this.
constexpr size_t kMaxLookupBuffer = 1024 * 1024;

// Parses plain decimal text ("0", "1000") into an id. No sign, no spaces, no
// value that does not fit the id type.
template <typename Id>
bool ParseId(const wxString& text, Id& id)
{
    if (text.empty()) return false;
    unsigned long long value = 0;
    const unsigned long long limit = std::numeric_limits<Id>::max();
    for (auto it = text.begin(); it != text.end(); ++it) {
        const wxUint32 c = (*it).GetValue();
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > limit) return false;
    }
    id = static_cast<Id>(value);
    return true;
}

size_t InitialBufferSize(int sysconfName)
{
    long suggested = sysconf(sysconfName);
    if (suggested <= 0 || static_cast<unsigned long>(suggested) > kMaxLookupBuffer) return 1024;
    return static_cast<size_t>(suggested);
}

bool UserName(uid_t uid, wxString& name)
{
    std::vector<char> buffer(InitialBufferSize(_SC_GETPW_R_SIZE_MAX));
    for (;;) {
        struct passwd entry;
        struct passwd* found = nullptr;
        int rc = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < kMaxLookupBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || found == nullptr || found->pw_name == nullptr) return false;
        name = wxString::FromUTF8(found->pw_name);
        return true;
    }
}

bool GroupName(gid_t gid, wxString& name)
{
    std::vector<char> buffer(InitialBufferSize(_SC_GETGR_R_SIZE_MAX));
    for (;;) {
        struct group entry;
        struct group* found = nullptr;
        int rc = getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < kMaxLookupBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || found == nullptr || found->gr_name == nullptr) return false;
        name = wxString::FromUTF8(found->gr_name);
        return true;
    }
}

}  // namespace

bool CDom::LookupUserId(const wxString& id, wxString& name)
{
    uid_t uid;
    if (!ParseId(id, uid)) return false;
    return UserName(uid, name);
}

bool CDom::LookupGroupId(const wxString& id, wxString& name)
{
    gid_t gid;
    if (!ParseId(id, gid)) return false;
    return GroupName(gid, name);
}

bool CDom::FileGetSecurityInfo(const wxString& path, wxString& ownerValue, wxString& ownerFriendly,
                               wxString& groupValue, wxString& groupFriendly, wxString& permissionsValue,
                               wxString& permissionsFriendly)
{
    struct stat st;
    const std::string bytes = path.utf8_string();
    if (lstat(bytes.c_str(), &st) != 0) return false;

    ownerValue = toString(static_cast<unsigned long>(st.st_uid));
    if (!UserName(st.st_uid, ownerFriendly)) ownerFriendly.clear();
    groupValue = toString(static_cast<unsigned long>(st.st_gid));
    if (!GroupName(st.st_gid, groupFriendly)) groupFriendly.clear();

    char octal[16];
    int n = std::snprintf(octal, sizeof(octal), "%04o", static_cast<unsigned int>(st.st_mode & 07777));
    permissionsValue = wxString::FromAscii(octal, n > 0 ? static_cast<size_t>(n) : 0);
    permissionsFriendly = PermissionsToText(st.st_mode);
    return true;
}

}  // namespace OrvCore
