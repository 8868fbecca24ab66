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
// for the whole file.
void copyBytes(const QString& from, const QString& to) {
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return;
    const QByteArray target = QFile::encodeName(to);
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return;
    }
    bool ok = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n > 0) continue;
        if (n == 0) break;
        if (errno == EINTR) continue;
        // Not supported between these files: copy through a buffer.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            std::vector<char> buffer(1 << 20);
            for (;;) {
                const ssize_t r = ::read(in, buffer.data(), buffer.size());
                if (r == 0) break;
                if (r < 0) {
                    if (errno == EINTR) continue;
                    ok = false;
                    break;
                }
                for (ssize_t done = 0; done < r;) {
                    const ssize_t w = ::write(out, buffer.data() + done, size_t(r - done));
                    if (w < 0 && errno == EINTR) continue;
                    if (w <= 0) {
                        ok = false;
                        break;
                    }
                    done += w;
                }
                if (!ok) break;
            }
        } else {
            ok = false;
        }
        break;
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(target.constData());
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
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    // Only a regular file is ever opened: a FIFO or a device could block or never end.
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool isFolder(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

QString fileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString stripExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    // A dot at index 0 (position 1) or none leaves the name as it is.
    return dot >= 1 ? name.left(dot) : name;
}

void copyFile(const QString& source, const QString& destination) {
    if (source.trimmed().isEmpty() || destination.trimmed().isEmpty()) return;
    const QString from = collapseSlashes(source);
    const QString to = collapseSlashes(destination);
    if (!isFile(from) || !isFolder(folderOf(to))) return;
    removeQuietly(to);
    copyBytes(from, to);
}

void removeQuietly(const QString& path) {
    if (path.isEmpty()) return;
    if (QFile::remove(path)) return;
    if (!QFile::exists(path)) return;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(path);
}

}  // namespace qm::fs
