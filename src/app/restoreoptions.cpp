#include "app/restoreoptions.h"

#include "terms/findsets.h"
#include "terms/storedvalues.h"

namespace qm {

void restoreSearchOptions(Procedure& p, const SettingsStore& settings, SearchControls& controls) {
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
        if (!findSets.isEmpty()) entries = splitFindSets(findSets);
    });
    p.step(164, [&] {
        if (entries.size() > kMaxFindSets) {
            controls.appendFindSets(entries.mid(0, kMaxFindSets));
            throw Error(findSetsFullMessage());
        }
        if (!entries.isEmpty()) controls.appendFindSets(entries);
    });

    for (int i = 0; i < 4; ++i) {
        p.step(options[i].step, [&] {
            controls.setOption(i + 1,
                               parseStoredBoolean(QString::fromLatin1(options[i].key), stored[i]));
        });
    }

    p.step(184, [&] {
        const int n = parseStoredWholeNumber(QStringLiteral("Check1"), stored[4]);
        if (n != 0 && n != 1)
            throw Error(QStringLiteral("Invalid property value: the stored value \"") + stored[4] +
                        QStringLiteral("\" of \"Check1\" is not 0 or 1."));
        controls.setPasswordPrompt(n == 1);
    });
}

}  // namespace qm
