#include "terms/findsets.h"

#include <QStringDecoder>
#include <string_view>

#include "fs/fs.h"
#include "platform/settings.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {

QString findSetsFullMessage() {
    return QStringLiteral("The find-set list is full: it holds at most ") +
           QString::number(kMaxFindSets) + QStringLiteral(" entries.");
}

namespace {

// The mark before the escaped form; the plain form begins with "::" or is empty.
constexpr char16_t kEscapedMark = u'%';

QStringList splitPlain(const QString& stored) {
    QStringList out;
    for (const QString& piece : stored.split(QLatin1String(kFindSetSeparator)))
        if (!piece.isEmpty()) out << piece;
    return out;
}

}  // namespace

QString joinFindSets(const QStringList& entries) {
    QString out;
    for (const QString& e : entries) {
        out += QLatin1String(kFindSetSeparator);
        out += e;
    }
    // The plain form, which every version reads, wherever it holds the list.
    if (splitPlain(out) == entries) return out;
    out = QString(kEscapedMark);
    for (QString e : entries) {
        e.replace(u'%', QStringLiteral("%25")).replace(u':', QStringLiteral("%3A"));
        out += QLatin1String(kFindSetSeparator) + e;
    }
    return out;
}

QStringList splitFindSets(const QString& stored) {
    if (!stored.startsWith(kEscapedMark)) return splitPlain(stored);
    QStringList out;
    for (QString e : stored.mid(1).split(QLatin1String(kFindSetSeparator))) {
        if (e.isEmpty()) continue;  // no entry is empty
        e.replace(QStringLiteral("%3A"), QStringLiteral(":"));
        out << e.replace(QStringLiteral("%25"), QStringLiteral("%"));
    }
    return out;
}

qsizetype dialogSelectionLength(const QStringList& chosen) {
    if (chosen.isEmpty()) return 0;
    if (chosen.size() == 1) return chosen.first().size();
    qsizetype length = fs::splitPath(chosen.first()).folder.size();
    for (const QString& p : chosen) length += 1 + fs::splitPath(p).name.size();
    return length;
}

QStringList pathsToLoad(const QStringList& chosen) {
    if (chosen.size() <= 1) return chosen;
    QStringList out;
    for (const QString& p : chosen) {
        const auto [folder, name] = fs::splitPath(p);
        out << (p.contains(u'/') ? fs::collapseSlashes(folder + u'/' + name) : p);
    }
    return out;
}

bool isBlankLine(const QString& line) {
    for (const QChar c : line)
        if (c != u' ' && c != u'\t') return false;
    return true;
}

bool loadPhraseList(QStringList& list, const QString& path) {
    if (!fs::exists(path)) return false;
    appendPhraseLines(
        list, phraseListLines(readFileBytes(path, kMaxListFileBytes, findSetsFullMessage()), path));
    return true;
}

QStringList phraseListLines(const std::string& bytes, const QString& name) {
    const std::string_view all(bytes);
    const bool little = all.starts_with("\xFF\xFE");
    if (little || all.starts_with("\xFE\xFF")) {
        // The decoder drops the mark.
        QStringDecoder utf16(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        const QString text = utf16(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        return splitLines(text.toStdString());
    }
    const std::string_view text = all.starts_with("\xEF\xBB\xBF") ? all.substr(3) : all;
    if (text.find('\0') != std::string_view::npos)
        throw Error(QStringLiteral("The list ") + name +
                    QStringLiteral(" holds NUL bytes and no byte-order mark, so it is not read: "
                                   "save it as UTF-8, or as UTF-16 with a byte-order mark."));
    return splitLines(decodeToUtf8(text));
}

void appendPhraseLines(QStringList& list, const QStringList& lines) {
    for (const QString& line : lines) {
        if (isBlankLine(line)) continue;
        if (list.size() >= kMaxFindSets) throw Error(findSetsFullMessage());
        list << line;
    }
}

}  // namespace qm
