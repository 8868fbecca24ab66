#pragma once
// A save that writes a new file and renames it over the old one makes a file
// of the saver's own: the old file's owner, group, mode and access control
// list would go. They are read from the old file before the save and given to
// the new one before it takes the old one's place.

#include <sys/types.h>
#include <QByteArray>
#include <QString>

namespace qm::fs {

// What a file held that its replacement is to keep.
struct FileAttributes {
    bool exists = false;  // there was a file (else nothing is to be kept)
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    QByteArray acl;  // the system.posix_acl_access attribute; empty when none
};

// What could not be given to the new file, with the first refusal's error number.
struct LostAttributes {
    bool owner = false;  // the owner or the group
    bool mode = false;
    bool acl = false;
    int error = 0;
    bool any() const { return owner || mode || acl; }
};

// The attributes of the file at `path` (a link is followed); `exists` false
// when there is none or it cannot be read.
FileAttributes attributesOf(const QString& path);

// Gives the new file open as `fd` the owner and group (where the system
// allows), the mode and the access control list of `old`; what it could not
// give is returned. Nothing is done when `old` does not exist.
LostAttributes giveAttributes(int fd, const FileAttributes& old);

}  // namespace qm::fs
