#include "terms/restoreoptions.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "terms/findsets.h"

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

bool SettingToBoolean(const QString& key, const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return false;
    double d = 0;
    if (!toNumber(t, d)) throw notConvertible(key, text, "True, False or a number");
    return d != 0;
}

int SettingToWholeNumber(const QString& key, const QString& text) {
    double d = 0;
    if (!toNumber(text, d)) throw notConvertible(key, text, "a number");
    const double r = std::nearbyint(d);  // the default rounding mode rounds halves to even
    if (r < std::numeric_limits<int>::min() || r > std::numeric_limits<int>::max())
        throw Error(QStringLiteral("Overflow: the stored value \"") + text +
                    QStringLiteral("\" of \"") + key + QStringLiteral("\" is too large."));
    return static_cast<int>(r);
}

void RestoreSearchOptions(Procedure& p, const SettingsStore& settings, SearchControls& controls) {
    p.step(158, [&] {
        const QString phrase = settings.getSetting(QStringLiteral("Text1"), QString());
        if (!phrase.isEmpty()) controls.setPhrase(phrase);
    });

    QString stored;
    QStringList entries;
    p.step(160, [&] { stored = settings.getSetting(QStringLiteral("FindSets"), QString()); });
    p.step(162, [&] {
        if (!stored.isEmpty()) entries = SplitFindSets(stored);
    });
    p.step(164, [&] {
        if (entries.size() > kMaxFindSets) {
            controls.appendFindSets(entries.mid(0, kMaxFindSets));
            throw Error(QStringLiteral("The find-set list is full: it holds at most ") +
                        QString::number(kMaxFindSets) + QStringLiteral(" entries."));
        }
        if (!entries.isEmpty()) controls.appendFindSets(entries);
    });

    const struct {
        int step;
        int option;
        const char* fallback;
    } options[] = {{176, 1, "0"}, {178, 2, "1"}, {180, 3, "1"}, {182, 4, "0"}};
    for (const auto& o : options) {
        p.step(o.step, [&] {
            const QString key = QStringLiteral("Option") + QString::number(o.option);
            const bool on =
                SettingToBoolean(key, settings.getSetting(key, QString::fromLatin1(o.fallback)));
            controls.setOption(o.option, on);
        });
    }

    p.step(184, [&] {
        const QString key = QStringLiteral("Check1");
        const QString text = settings.getSetting(key, QStringLiteral("0"));
        const int n = SettingToWholeNumber(key, text);
        if (n != 0 && n != 1)
            throw Error(QStringLiteral("Invalid property value: the stored value \"") + text +
                        QStringLiteral("\" of \"Check1\" is not 0 or 1."));
        controls.setPasswordPrompt(n == 1);
    });
}

}  // namespace qm
