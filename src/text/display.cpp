#include "text/display.h"

namespace qm::text {

QString blankControls(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (isControl(c.unicode())) c = u' ';
    return out;
}

}  // namespace qm::text
