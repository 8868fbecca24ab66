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
    const struct {
        int step;
        const char* key;
        const char* fallback;
    } options[] = {{176, "Option1", "0"},
                   {178, "Option2", "1"},
                   {180, "Option3", "1"},
                   {182, "Option4", "0"},
                   {184, "Check1", "0"}};

    // The stored choices are taken before any control changes: restoring the
    // phrase selects "Search for this:" and stores that mode, and a restored
    // option stores its whole pair; the values found at start-up must still win.
    QString stored[5];
    p.step(158, [&] {
        for (int i = 0; i < 5; ++i)
            stored[i] = settings.getSetting(QString::fromLatin1(options[i].key),
                                            QString::fromLatin1(options[i].fallback));
    });
    p.step(158, [&] {
        const QString phrase = settings.getSetting(QStringLiteral("Text1"), QString());
        if (!phrase.isEmpty()) controls.setPhrase(phrase);
    });

    QString findSets;
    QStringList entries;
    p.step(160, [&] { findSets = settings.getSetting(QStringLiteral("FindSets"), QString()); });
    p.step(162, [&] {
        if (!findSets.isEmpty()) entries = SplitFindSets(findSets);
    });
    p.step(164, [&] {
        if (entries.size() > kMaxFindSets) {
            controls.appendFindSets(entries.mid(0, kMaxFindSets));
            throw Error(QStringLiteral("The find-set list is full: it holds at most ") +
                        QString::number(kMaxFindSets) + QStringLiteral(" entries."));
        }
        if (!entries.isEmpty()) controls.appendFindSets(entries);
    });

    for (int i = 0; i < 4; ++i) {
        p.step(options[i].step, [&] {
            controls.setOption(i + 1,
                               SettingToBoolean(QString::fromLatin1(options[i].key), stored[i]));
        });
    }

    p.step(184, [&] {
        const int n = SettingToWholeNumber(QStringLiteral("Check1"), stored[4]);
        if (n != 0 && n != 1)
            throw Error(QStringLiteral("Invalid property value: the stored value \"") + stored[4] +
                        QStringLiteral("\" of \"Check1\" is not 0 or 1."));
        controls.setPasswordPrompt(n == 1);
    });
}

}  // namespace qm
