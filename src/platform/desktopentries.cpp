#include "platform/desktopentries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>
#include <map>

namespace qm {

namespace {

QStringList pathList(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable);
    QStringList out;
    for (const QString& p : (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts))
        out << p;
    return out;
}

QStringList dataFolders() {
    const QString home =
        qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    return QStringList{home} +
           pathList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
}

// The keys of one group of a desktop entry or mimeapps.list file.
std::map<QString, QString> readGroup(const QString& file, const QString& group) {
    std::map<QString, QString> keys;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return keys;
    QTextStream in(&f);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == u'[' + group + u']';
        } else if (inGroup && !line.startsWith(u'#')) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0) keys.emplace(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
    }
    return keys;
}

QStringList listValue(const std::map<QString, QString>& keys, const QString& key) {
    const auto it = keys.find(key);
    return it == keys.end() ? QStringList() : it->second.split(u';', Qt::SkipEmptyParts);
}

// The mimeapps.list files, the most important first.
QStringList mimeappsLists() {
    const QString configHome =
        qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    QStringList out{configHome + QStringLiteral("/mimeapps.list")};
    for (const QString& d : pathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
        out << d + QStringLiteral("/mimeapps.list");
    for (const QString& d : applicationFolders()) out << d + QStringLiteral("/mimeapps.list");
    return out;
}

// Whether the entry's program is there to be started.
bool installed(const std::map<QString, QString>& entry) {
    if (entry.count(QStringLiteral("Hidden")) &&
        entry.at(QStringLiteral("Hidden")) == QStringLiteral("true"))
        return false;
    const auto tryExec = entry.find(QStringLiteral("TryExec"));
    if (tryExec != entry.end() && QStandardPaths::findExecutable(tryExec->second).isEmpty())
        return false;
    const auto exec = entry.find(QStringLiteral("Exec"));
    if (exec == entry.end()) return false;
    const QStringList command = execCommand(exec->second, QStringLiteral("/x.pdf"));
    return !command.isEmpty() && !QStandardPaths::findExecutable(command.first()).isEmpty();
}

}  // namespace

QStringList applicationFolders() {
    QStringList out;
    for (const QString& d : dataFolders()) out << d + QStringLiteral("/applications");
    return out;
}

QString desktopEntryFile(const QString& id) {
    if (id.isEmpty()) return QString();
    // "kde4-okular.desktop" may stand for "kde4/okular.desktop".
    for (const QString& folder : applicationFolders()) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (QDir(folder).relativeFilePath(file).replace(u'/', u'-') == id) return file;
        }
    }
    return QString();
}

QStringList registeredApplications(const QString& mimeType) {
    QStringList candidates;
    QSet<QString> removed;
    for (const QString& list : mimeappsLists()) {
        candidates << listValue(readGroup(list, QStringLiteral("Added Associations")), mimeType);
        for (const QString& id :
             listValue(readGroup(list, QStringLiteral("Removed Associations")), mimeType))
            removed.insert(id);
    }
    // Every entry read once; an id stands for the first folder's file of that
    // name, as desktopEntryFile finds it.
    std::map<QString, std::map<QString, QString>> entries;
    for (const QString& folder : applicationFolders()) {
        QStringList ids;
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString id = QDir(folder).relativeFilePath(file).replace(u'/', u'-');
            const auto entry = readGroup(file, QStringLiteral("Desktop Entry"));
            if (listValue(entry, QStringLiteral("MimeType")).contains(mimeType)) ids << id;
            entries.emplace(id, entry);
        }
        ids.sort();
        candidates << ids;
    }
    QStringList out;
    QSet<QString> seen;
    for (const QString& id : candidates) {
        if (seen.contains(id) || removed.contains(id)) continue;
        seen.insert(id);
        const auto entry = entries.find(id);
        if (entry != entries.end() && installed(entry->second)) out << id;
    }
    return out;
}

QStringList openCommand(const QString& id, const QString& path) {
    const QString file = desktopEntryFile(id);
    if (file.isEmpty()) return {};
    const auto entry = readGroup(file, QStringLiteral("Desktop Entry"));
    const auto exec = entry.find(QStringLiteral("Exec"));
    return exec == entry.end() ? QStringList() : execCommand(exec->second, path);
}

QStringList execCommand(const QString& exec, const QString& path) {
    // The value's own escapes first (\s \n \t \r \\; others stay for the
    // quoting), then the arguments with their quoting.
    QString value;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar n = i + 1 < exec.size() ? exec[i + 1] : QChar();
        if (exec[i] != u'\\' || !QStringLiteral("sntr\\").contains(n)) {
            value += exec[i];
            continue;
        }
        ++i;
        value += n == u's'   ? QChar(u' ')
                 : n == u'n' ? QChar(u'\n')
                 : n == u't' ? QChar(u'\t')
                 : n == u'r' ? QChar(u'\r')
                             : n;
    }
    QStringList out;
    bool fileGiven = false;
    QString arg;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < value.size()) {
                arg += value[++i];
            } else {
                arg += c;
            }
        } else if (c == u'"') {
            quoted = inArg = true;
        } else if (c == u' ' || c == u'\t') {
            if (inArg) out << arg;
            arg.clear();
            inArg = false;
        } else if (c == u'%' && i + 1 < value.size()) {
            const QChar code = value[++i];
            if (code == u'%') {
                arg += u'%';
            } else if (code == u'f' || code == u'F') {
                arg += path;
                fileGiven = true;
            } else if (code == u'u' || code == u'U') {
                arg += QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
                fileGiven = true;
            }
            inArg = inArg || !arg.isEmpty();
        } else {
            arg += c;
            inArg = true;
        }
    }
    if (inArg) out << arg;
    if (!out.isEmpty() && !fileGiven) out << path;
    return out;
}

}  // namespace qm
