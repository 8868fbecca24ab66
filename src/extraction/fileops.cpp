#include "extraction/fileops.h"

#include <QFile>

#include "filelist/pathhelpers.h"
#include "platform/services.h"

namespace qm {

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
    // A failed copy leaves no destination (QFile::copy removes a partial one).
    QFile::copy(from, to);
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
