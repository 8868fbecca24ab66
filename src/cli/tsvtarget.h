#pragma once
// Where --tsv writes, decided and checked before the search starts, so that a
// target that cannot be written fails at once and not after the search.
//   - "-", /dev/stdout, /dev/fd/N, /proc/self/fd/N: straight into that
//     descriptor of this process (a shell's >(...) gives /dev/fd/N);
//   - an existing FIFO or device: opened and written directly, never replaced;
//   - anything else: the atomic save (a new file renamed over the target).
// A link that another user planted in a shared sticky folder (such as /tmp) is
// not followed, by the kernel's own rule for such links.

#include <sys/types.h>
#include <QByteArray>
#include <QString>

#include "fs/keptattributes.h"
#include "results/resultrows.h"

namespace qm::cli {

struct TsvTarget {
    enum class Kind { Descriptor, Direct, Atomic };
    Kind kind = Kind::Atomic;
    QString path;
    int descriptor = -1;  // for Kind::Descriptor
    bool isStandardOutput() const { return kind == Kind::Descriptor && descriptor == 1; }
};

// Decides how `path` is written and checks that it can be; on failure returns
// a one-line reason (naming the path), else an empty text.
QString prepareTsvTarget(const QString& path, TsvTarget& target);

// The kernel's rule for links in a folder writable by all and sticky: a link
// is followed only by its owner or when the folder's owner owns it.
bool isProtectedLink(uid_t linkOwner, uid_t folderOwner, mode_t folderMode, uid_t follower);

// Writes `bytes` to a Descriptor or Direct target. Throws qm::Error.
void writeToTarget(const TsvTarget& target, const QByteArray& bytes);

// Writes the rows in the text file format (results/exports.h) to the target in
// one write; a descriptor that is a terminal gets bidirectional controls
// shown as "<U+202E>", as rows show them (a file keeps them: it is data).
// Without rows, an Atomic target is left as it is and a Direct one (a FIFO) is
// opened and closed, so its reader sees the end. Returns what an Atomic
// target's new file could not keep of the old one. Throws qm::Error.
fs::LostAttributes writeTsv(const TsvTarget& target, const ResultRows& rows);

}  // namespace qm::cli
