#include "text/display.h"

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
    for (QChar& c : out)
        if (isControl(c.unicode())) c = u' ';
    return out;
}

}  // namespace qm::text
