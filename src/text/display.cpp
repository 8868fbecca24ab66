#include "text/display.h"

#include "text/names.h"

#include <QStringList>
#include <algorithm>

namespace qm::text {

namespace {
// The UTF-16 units of the character at `i`: 2 for a surrogate pair, else 1.
qsizetype unitsAt(const QString& text, qsizetype i) {
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
               ? 2
               : 1;
}

}  // namespace

qsizetype characterCount(const QString& text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); i += unitsAt(text, i)) ++n;
    return n;
}

QString leftCharacters(const QString& text, qsizetype limit) {
    qsizetype i = 0;
    for (qsizetype n = 0; n < limit && i < text.size(); ++n) i += unitsAt(text, i);
    return text.left(i);
}

QString blankControls(const QString& text) {
    QString out = text;
    bool raw = false;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (isControl(out[i].unicode())) out[i] = u' ';
        raw = raw || isRawByte(out, i);
    }
    if (!raw) return out;
    QString shown;
    shown.reserve(out.size() + 8);
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (isRawByte(out, i))
            shown += QStringLiteral("\\x") +
                     QString::number(0x80 + (out[i].unicode() - 0xDC80), 16).toUpper();
        else
            shown += out[i];
    }
    return shown;
}

QString displayText(const QString& text, bool keepLineFeeds) {
    if (keepLineFeeds && text.contains(u'\n')) {
        QStringList lines = text.split(u'\n');
        for (QString& line : lines) line = displayText(line, false);
        return lines.join(u'\n');
    }
    return showBidiControls(blankControls(text));
}

QString showBidiControls(const QString& shown) {
    if (std::none_of(shown.begin(), shown.end(),
                     [](QChar c) { return isBidiControl(c.unicode()); }))
        return shown;
    QString out;
    out.reserve(shown.size());
    for (const QChar c : shown) {
        if (isBidiControl(c.unicode()))
            out += QStringLiteral("<U+%1>").arg(c.unicode(), 4, 16, QChar(u'0')).toUpper();
        else
            out += c;
    }
    return out;
}

QByteArray displayBytes(const QString& text, bool keepLineFeeds) {
    if (!holdsRawBytes(text)) return displayText(text, keepLineFeeds).toUtf8();
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isRawByte(text, i)) continue;
        out += displayText(text.mid(start, i - start), keepLineFeeds).toUtf8();
        out += encodeName(text.mid(i, 1));
        start = i + 1;
    }
    return out + displayText(text.mid(start), keepLineFeeds).toUtf8();
}

}  // namespace qm::text
