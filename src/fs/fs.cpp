#include "fs/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <vector>

namespace qm::fs {

namespace {

QString collapse(const QString& p) {
    QString out;
    out.reserve(p.size());
    for (qsizetype i = 0; i < p.size(); ++i) {
        out += p[i];
        if (p[i] == u'/' && i + 1 < p.size() && p[i + 1] == u'/') ++i;  // skip the pair's second
    }
    return out;
}
// Copies the bytes of one file into a new file readable by the owner only.
// A copy that fails half way is removed, so no partial copy is ever taken
// for the whole file. The source is opened without blocking and must turn
// out a regular file once open (it may have been swapped since it was looked at).
CopyResult copyBytes(const QString& from, const QString& to,
                     const std::function<bool()>& cancelled) {
    constexpr std::size_t kPiece = std::size_t(16) << 20;
    const auto stop = [&] { return cancelled && cancelled(); };
    const int in = ::open(encodeName(from).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return CopyResult::SourceUnreadable;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return CopyResult::SourceUnreadable;
    }
    const QByteArray target = encodeName(to);
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return CopyResult::WriteFailed;
    }
    CopyResult result = CopyResult::Copied;
    for (;;) {
        if (stop()) {
            result = CopyResult::Cancelled;
            break;
        }
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kPiece, 0);
        if (n > 0) continue;
        if (n == 0) break;
        if (errno == EINTR) continue;
        // Not supported between these files: copy through a buffer.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            std::vector<char> buffer(1 << 20);
            for (;;) {
                if (stop()) {
                    result = CopyResult::Cancelled;
                    break;
                }
                const ssize_t r = ::read(in, buffer.data(), buffer.size());
                if (r == 0) break;
                if (r < 0) {
                    if (errno == EINTR) continue;
                    result = CopyResult::SourceUnreadable;
                    break;
                }
                for (ssize_t done = 0; done < r;) {
                    const ssize_t w = ::write(out, buffer.data() + done, size_t(r - done));
                    if (w < 0 && errno == EINTR) continue;
                    if (w <= 0) {
                        result = CopyResult::WriteFailed;
                        break;
                    }
                    done += w;
                }
                if (result != CopyResult::Copied) break;
            }
        } else {
            // A read error (EIO) is the source's; anything else the copy's.
            result = errno == EIO ? CopyResult::SourceUnreadable : CopyResult::WriteFailed;
        }
        break;
    }
    ::close(in);
    if (::close(out) != 0 && result == CopyResult::Copied) result = CopyResult::WriteFailed;
    if (result != CopyResult::Copied) ::unlink(target.constData());
    return result;
}
}  // namespace

QString collapseSlashes(const QString& path) {
    if (path.isEmpty()) return path;
    if (path[0] != u'/') return collapse(path);
    qsizetype k = 0;
    while (k < path.size() && path[k] == u'/') ++k;
    return QStringLiteral("/") + collapse(path.mid(k));
}

bool isFile(const QString& path) {
    if (path.isEmpty()) return false;
    const QByteArray native = encodeName(path);
    struct stat st {};
    // Follows links; a FIFO or a device could block a reader or never end.
    return ::fstatat(AT_FDCWD, native.constData(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

bool isFolder(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(encodeName(path).constData(), &st) == 0;
}

FolderAndName splitPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return {QString(), path};
    return {slash == 0 ? QStringLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

QString fileName(const QString& path) {
    return splitPath(path).name;
}

QString folderOf(const QString& path) {
    return path.chopped(fileName(path).size());
}

CopyResult copyFileReporting(const QString& source, const QString& destination,
                             const std::function<bool()>& cancelled) {
    if (source.trimmed().isEmpty()) return CopyResult::SourceUnreadable;
    if (destination.trimmed().isEmpty()) return CopyResult::WriteFailed;
    const QString from = collapseSlashes(source);
    const QString to = collapseSlashes(destination);
    if (!isFile(from)) return CopyResult::SourceUnreadable;
    if (!isFolder(folderOf(to))) return CopyResult::WriteFailed;
    removeQuietly(to);
    return copyBytes(from, to, cancelled);
}

void removeQuietly(const QString& path) {
    if (path.isEmpty()) return;
    if (QFile::remove(path)) return;
    if (!QFile::exists(path)) return;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(path);
}

}  // namespace qm::fs
