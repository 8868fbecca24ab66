#include "filelist/pathhelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>

namespace qm {

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
}  // namespace

QString FixDoubleBackslashes(const QString& path) {
    if (path.isEmpty()) return path;
    if (path[0] != u'/') return collapse(path);
    qsizetype k = 0;
    while (k < path.size() && path[k] == u'/') ++k;
    return QStringLiteral("/") + collapse(path.mid(k));
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return ok;
}

bool FolderExists(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace qm
