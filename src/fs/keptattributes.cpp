#include "fs/keptattributes.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>

#include "text/names.h"

namespace qm::fs {

namespace {

constexpr const char* kAclName = "system.posix_acl_access";

void lose(LostAttributes& lost, bool LostAttributes::*what, int error) {
    lost.*what = true;
    if (lost.error == 0) lost.error = error;
}

}  // namespace

FileAttributes attributesOf(const QString& path) {
    FileAttributes a;
    const QByteArray native = text::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return a;
    a.exists = true;
    a.owner = st.st_uid;
    a.group = st.st_gid;
    a.mode = st.st_mode & 07777;
    // No list (ENODATA), or a file system without them (ENOTSUP): nothing to keep.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t size = ::getxattr(native.constData(), kAclName, nullptr, 0);
        if (size <= 0) break;
        a.acl.resize(size);
        const ssize_t got = ::getxattr(native.constData(), kAclName, a.acl.data(), a.acl.size());
        if (got >= 0) {
            a.acl.resize(got);
            break;
        }
        a.acl.clear();
        if (errno != ERANGE) break;  // ERANGE: it grew meanwhile
    }
    return a;
}

LostAttributes giveAttributes(int fd, const FileAttributes& old) {
    LostAttributes lost;
    if (!old.exists) return lost;
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        lose(lost, &LostAttributes::owner, errno);
        return lost;
    }
    if (now.st_uid != old.owner || now.st_gid != old.group) {
        // The saver may give its file a group it belongs to; only root another owner.
        const uid_t owner = now.st_uid == old.owner ? static_cast<uid_t>(-1) : old.owner;
        if (::fchown(fd, owner, old.group) != 0) {
            const int error = errno;
            // The owner refused: the group alone, where it may be given.
            if (owner != static_cast<uid_t>(-1))
                (void)::fchown(fd, static_cast<uid_t>(-1), old.group);
            lose(lost, &LostAttributes::owner, error);
        }
    }
    // After the owner: a change of owner clears the set-user and set-group bits.
    if (::fchmod(fd, old.mode) != 0) lose(lost, &LostAttributes::mode, errno);
    if (!old.acl.isEmpty() &&
        ::fsetxattr(fd, kAclName, old.acl.constData(), old.acl.size(), 0) != 0)
        lose(lost, &LostAttributes::acl, errno);
    return lost;
}

}  // namespace qm::fs
