#include "extraction/ocrtext.h"

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cmath>

#include "text/display.h"
#include "text/textfile.h"
#include "text/utf8.h"

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

// The text of pages read by OCR, and those texts put in place of the pages'
// own (scannedpages.h).

QByteArray cleanOcrText(const QByteArray& raw) {
    std::string text = decodeToUtf8(std::string_view(raw.constData(), raw.size()));
    std::erase(text, '\f');
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    bool printable = false;
    for (std::size_t i = 0; i < text.size() && !printable;) {
        const std::size_t len =
            std::max<std::size_t>(1, utf8::validSequenceLength(s + i, text.size() - i));
        printable = text::isPrintable(utf8::decode(s + i, len));
        i += len;
    }
    if (!printable) return {};
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

bool spliceOcrTexts(const QString& textPath, const std::map<int, QByteArray>& pageTexts,
                    const QString& outPath, const std::set<int>& kept) {
    QFile in(textPath);
    QFile out(outPath);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    int page = 1;  // the page the bytes read belong to
    auto replaced = pageTexts.find(page);
    bool ownKept = kept.contains(page);
    const auto write = [&out](const QByteArray& bytes) { return out.write(bytes) == bytes.size(); };
    bool ok = true;
    if (replaced != pageTexts.end() && !ownKept) ok = write(replaced->second);
    while (ok) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty()) {
            ok = in.atEnd();
            break;
        }
        qsizetype from = 0;
        while (ok && from < block.size()) {
            const qsizetype ff = block.indexOf('\f', from);
            const qsizetype end = ff < 0 ? block.size() : ff;
            // A page replaced keeps none of its own bytes, only its form feed.
            if ((replaced == pageTexts.end() || ownKept) && end > from)
                ok = out.write(block.constData() + from, end - from) == end - from;
            if (ff < 0) break;
            if (ok && replaced != pageTexts.end() && ownKept) ok = write('\n' + replaced->second);
            ok = ok && out.write("\f", 1) == 1;
            ++page;
            replaced = pageTexts.find(page);
            ownKept = kept.contains(page);
            if (ok && replaced != pageTexts.end() && !ownKept) ok = write(replaced->second);
            from = ff + 1;
        }
    }
    ok = out.flush() && ok;
    out.close();
    return ok;
}

}  // namespace qm
