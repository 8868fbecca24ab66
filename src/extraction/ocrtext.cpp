#include "extraction/ocrtext.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <cmath>

namespace qm {

namespace {

bool isHyphen(QChar c) {
    return c == u'-' || c == QChar(0x00AD) || c == QChar(0x2010);  // soft hyphen, hyphen
}

// A token without the punctuation around it: "(self-aware)," gives "self-aware".
QString bare(QStringView token) {
    qsizetype from = 0, to = token.size();
    while (from < to && !token[from].isLetterOrNumber()) ++from;
    while (to > from && !token[to - 1].isLetterOrNumber()) --to;
    return token.mid(from, to - from).toString();
}

}  // namespace

OcrPageText parseTesseractTsv(const QByteArray& tsv) {
    // level page_num block_num par_num line_num word_num left top width height conf text
    OcrPageText page;
    double sum = 0;
    int words = 0;
    QByteArray block, paragraph, line;  // where the last word stood
    for (const QByteArray& row : tsv.split('\n')) {
        const QList<QByteArray> f = row.split('\t');
        if (f.size() < 12 || f[0] != "5") continue;
        const QByteArray word = f[11].trimmed();
        if (word.isEmpty()) continue;
        if (!page.text.isEmpty()) {
            if (f[2] != block || f[3] != paragraph)
                page.text += "\n\n";
            else if (f[4] != line)
                page.text += '\n';
            else
                page.text += ' ';
        }
        page.text += word;
        block = f[2];
        paragraph = f[3];
        line = f[4];
        bool ok = false;
        const double confidence = f[10].toDouble(&ok);
        if (ok && confidence >= 0 && confidence <= 100) {
            sum += confidence;
            ++words;
        }
    }
    if (!page.text.isEmpty()) page.text += '\n';
    if (words > 0) page.confidence = static_cast<int>(std::lround(sum / words));
    return page;
}

QByteArray joinLineEndHyphens(const QByteArray& utf8) {
    QStringList lines = QString::fromUtf8(utf8).split(u'\n');
    QSet<QString> words;  // the page's words, to tell a hyphen that belongs to its word
    for (const QString& line : lines)
        for (QStringView token : QStringView(line).split(u' ', Qt::SkipEmptyParts))
            words.insert(bare(token));
    for (qsizetype i = 0; i + 1 < lines.size();) {
        QString& line = lines[i];
        QString& next = lines[i + 1];
        qsizetype end = line.size();
        while (end > 0 && line[end - 1].isSpace()) --end;
        qsizetype from = 0;
        while (from < next.size() && next[from] == u' ') ++from;
        if (end < 2 || !isHyphen(line[end - 1]) || !line[end - 2].isLetter() ||
            from == next.size() || !next[from].isLower()) {
            ++i;
            continue;
        }
        qsizetype to = next.indexOf(u' ', from);
        if (to < 0) to = next.size();
        const QString tail = next.mid(from, to - from);
        const qsizetype start = line.lastIndexOf(u' ', end - 1) + 1;
        const QString stem = line.mid(start, end - 1 - start);
        const bool hyphenKept =
            words.contains(bare(stem + line[end - 1] + tail)) && !words.contains(bare(stem + tail));
        line = line.left(end - 1) + (hyphenKept ? QString(line[end - 1]) : QString()) + tail;
        while (to < next.size() && next[to] == u' ') ++to;
        if (to == next.size())
            lines.removeAt(i + 1);  // the line held only the word's end
        else
            next.remove(0, to);
        // The joined line is looked at again: its word may end in a hyphen too.
    }
    return lines.join(u'\n').toUtf8();
}

}  // namespace qm
