#include "extraction/fileops.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <vector>

#include "filelist/pathhelpers.h"
#include "platform/services.h"

namespace qm {

namespace {
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

QString FileNameOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString FolderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString StripExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    // A dot at index 0 (position 1) or none leaves the name as it is.
    return dot >= 1 ? name.left(dot) : name;
}

void CopyFileIfPossible(const QString& source, const QString& destination) {
    if (source.trimmed().isEmpty() || destination.trimmed().isEmpty()) return;
    const QString from = FixDoubleBackslashes(source);
    const QString to = FixDoubleBackslashes(destination);
    if (!FileExists(from) || !FolderExists(FolderOf(to))) return;
    if (QFile::exists(to)) {
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(to);
    }
    copyBytes(from, to);
}

void DeleteFileQuietly(const QString& path, EventPump* pump) {
    if (pump) pump->pump();
    if (path.isEmpty()) return;
    if (QFile::remove(path)) return;
    if (!QFile::exists(path)) return;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(path);
}

}  // namespace qm
