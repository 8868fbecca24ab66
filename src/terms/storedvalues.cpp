#include "terms/storedvalues.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "text/error.h"

namespace qm {

namespace {

Error notConvertible(const QString& key, const QString& text, const char* what) {
    return Error(QStringLiteral("Type mismatch: the stored value \"") + text +
                 QStringLiteral("\" of \"") + key + QStringLiteral("\" is not ") +
                 QLatin1String(what) + u'.');
}

bool toNumber(const QString& text, double& out) {
    bool ok = false;
    const double d = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(d)) return false;
    out = d;
    return true;
}

}  // namespace

bool parseStoredBoolean(const QString& key, const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return false;
    double d = 0;
    if (!toNumber(t, d)) throw notConvertible(key, text, "True, False or a number");
    return d != 0;
}

int parseStoredWholeNumber(const QString& key, const QString& text) {
    double d = 0;
    if (!toNumber(text, d)) throw notConvertible(key, text, "a number");
    const double r = std::nearbyint(d);  // the default rounding mode rounds halves to even
    if (r < std::numeric_limits<int>::min() || r > std::numeric_limits<int>::max())
        throw Error(QStringLiteral("Overflow: the stored value \"") + text +
                    QStringLiteral("\" of \"") + key + QStringLiteral("\" is too large."));
    return static_cast<int>(r);
}

}  // namespace qm
