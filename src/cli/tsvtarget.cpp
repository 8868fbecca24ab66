#include "cli/tsvtarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fs/fs.h"
#include "results/exports.h"
#include "text/display.h"
#include "text/error.h"

namespace qm::cli {

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString failure(const QString& path, const QString& what) {
    return QStringLiteral("--tsv ") + path + QStringLiteral(": ") + what;
}

// The descriptor a path names in this process: "-", /dev/stdout, /dev/stderr,
// /dev/fd/N, /proc/self/fd/N; -1 for any other path.
int descriptorOf(const QString& path) {
    if (path == u"-" || path == u"/dev/stdout") return 1;
    if (path == u"/dev/stderr") return 2;
    for (const QString& prefix : {QStringLiteral("/dev/fd/"), QStringLiteral("/proc/self/fd/")}) {
        if (!path.startsWith(prefix)) continue;
        bool number = false;
        const int fd = path.mid(prefix.size()).toInt(&number);
        return number && fd >= 0 ? fd : -1;
    }
    return -1;
}

QString folderOf(const QString& path) {
    return path.contains(u'/') ? fs::splitPath(path).folder : QStringLiteral(".");
}

// The atomic save makes a new file beside the target: try that here.
QString checkFolderTakesAFile(const QString& path, const QString& folder) {
    QByteArray probe = fs::encodeName(folder) + "/.quillmark-tsv-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        const int e = errno;
        return failure(path, QStringLiteral("cannot make a new file in the folder ") + folder +
                                 QStringLiteral(": ") + reason(e));
    }
    ::close(fd);
    ::unlink(probe.constData());
    return {};
}

}  // namespace

bool isProtectedLink(uid_t linkOwner, uid_t folderOwner, mode_t folderMode, uid_t follower) {
    const bool shared = (folderMode & S_ISVTX) && (folderMode & S_IWOTH);
    return shared && linkOwner != follower && linkOwner != folderOwner;
}

QString prepareTsvTarget(const QString& path, TsvTarget& target) {
    target = TsvTarget{};
    target.path = path;
    const int fd = descriptorOf(path);
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0) return failure(path, reason(errno));
        if ((flags & O_ACCMODE) == O_RDONLY) return failure(path, reason(EBADF));
        target.kind = TsvTarget::Kind::Descriptor;
        target.descriptor = fd;
        return {};
    }

    const QByteArray native = fs::encodeName(path);
    struct stat link {};
    if (::lstat(native.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        struct stat folder {};
        if (::stat(fs::encodeName(folderOf(path)).constData(), &folder) == 0 &&
            isProtectedLink(link.st_uid, folder.st_uid, folder.st_mode, ::geteuid()))
            return failure(path, QStringLiteral("refusing to follow a link that belongs to another "
                                                "user in a shared folder"));
    }

    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int e = errno;
        if (e != ENOENT) return failure(path, reason(e));
        if (::lstat(native.constData(), &link) == 0)  // a link whose target is missing
            return checkFolderTakesAFile(path, folderOf(QFileInfo(path).symLinkTarget()));
        return checkFolderTakesAFile(path, folderOf(path));
    }
    if (S_ISDIR(st.st_mode)) return failure(path, reason(EISDIR));
    if (!S_ISREG(st.st_mode)) {
        // A FIFO waits for its reader when opened: only its rights are checked here.
        if (S_ISFIFO(st.st_mode)) {
            if (::access(native.constData(), W_OK) != 0) return failure(path, reason(errno));
        } else {
            const int probe =
                ::open(native.constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (probe < 0) return failure(path, reason(errno));
            ::close(probe);
        }
        target.kind = TsvTarget::Kind::Direct;
        return {};
    }
    // A regular file: it must open for writing, and its folder take the new file.
    const int probe = ::open(native.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) return failure(path, reason(errno));
    ::close(probe);
    target.kind = TsvTarget::Kind::Atomic;
    return checkFolderTakesAFile(path, folderOf(QFileInfo(path).canonicalFilePath()));
}

void writeToTarget(const TsvTarget& target, const QByteArray& bytes) {
    int fd = target.descriptor;
    if (target.kind == TsvTarget::Kind::Direct) {
        fd = ::open(fs::encodeName(target.path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) throw Error(failure(target.path, reason(errno)));
    }
    qsizetype done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += n;
    }
    if (target.kind == TsvTarget::Kind::Direct && ::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) throw Error(failure(target.path, reason(error)));
}

fs::LostAttributes writeTsv(const TsvTarget& target, const ResultRows& rows) {
    fs::LostAttributes lost;
    if (target.kind == TsvTarget::Kind::Atomic) {
        writeResultsText(rows, target.path, {}, &lost);
    } else if (rows.empty()) {
        writeToTarget(target, QByteArray());
    } else {
        // Rows already printed to standard output come before the file's bytes.
        std::fflush(stdout);
        // On a terminal the text is read, not kept: its bidirectional controls
        // shown as the rows show them, so that none reorders what follows.
        const bool terminal =
            target.kind == TsvTarget::Kind::Descriptor && ::isatty(target.descriptor);
        const QString text = resultsText(rows);
        writeToTarget(target, (terminal ? text::showBidiControls(text) : text).toUtf8());
    }
    return lost;
}

}  // namespace qm::cli
