#include "terms/findsets.h"

#include "fs/fs.h"
#include "platform/settings.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {

QString findSetsFullMessage() {
    return QStringLiteral("The find-set list is full: it holds at most ") +
           QString::number(kMaxFindSets) + QStringLiteral(" entries.");
}

QString joinFindSets(const QStringList& entries) {
    QString out;
    for (const QString& e : entries) {
        out += QLatin1String(kFindSetSeparator);
        out += e;
    }
    return out;
}

QStringList splitFindSets(const QString& stored) {
    QStringList out;
    for (const QString& piece : stored.split(QLatin1String(kFindSetSeparator)))
        if (!piece.isEmpty()) out << piece;
    return out;
}

namespace {
// Splits a chosen path into the folder the dialog names and the file name.
void folderAndName(const QString& path, QString& folder, QString& name) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) {
        folder.clear();
        name = path;
        return;
    }
    folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    name = path.mid(slash + 1);
}
}  // namespace

qsizetype dialogSelectionLength(const QStringList& chosen) {
    if (chosen.isEmpty()) return 0;
    if (chosen.size() == 1) return chosen.first().size();
    QString folder, name;
    folderAndName(chosen.first(), folder, name);
    qsizetype length = folder.size();
    for (const QString& p : chosen) {
        folderAndName(p, folder, name);
        length += 1 + name.size();
    }
    return length;
}

QStringList pathsToLoad(const QStringList& chosen) {
    if (chosen.size() <= 1) return chosen;
    QStringList out;
    for (const QString& p : chosen) {
        QString folder, name;
        folderAndName(p, folder, name);
        out << (p.contains(u'/') ? fs::collapseSlashes(folder + u'/' + name) : p);
    }
    return out;
}

bool isBlankLine(const QString& line) {
    for (const QChar c : line)
        if (c != u' ' && c != u'\t') return false;
    return true;
}

void loadPhraseList(QStringList& list, const QString& path, MessageBoxes& boxes) {
    if (!fs::exists(path)) {
        boxes.message(QStringLiteral("File not found"), applicationTitle());
        return;
    }
    appendPhraseLines(list, readFileLines(path, kMaxListFileBytes, findSetsFullMessage()));
}

void appendPhraseLines(QStringList& list, const QStringList& lines) {
    for (const QString& line : lines) {
        if (isBlankLine(line)) continue;
        if (list.size() >= kMaxFindSets) throw Error(findSetsFullMessage());
        list << line;
    }
}

}  // namespace qm
