#pragma once
// The program's settings file read and written by a store of the test's own.

#include <QSettings>
#include <QString>

namespace qm::test {

// The value of `key` in the program's group of `ini`; "<missing>" without one.
inline QString storedValue(const QString& ini, const QString& key) {
    QSettings s(ini, QSettings::IniFormat);
    return s.value(QStringLiteral("Quillmark/") + key, QStringLiteral("<missing>")).toString();
}

inline void storeValue(const QString& ini, const QString& key, const QString& value) {
    QSettings s(ini, QSettings::IniFormat);
    s.setValue(QStringLiteral("Quillmark/") + key, value);
    s.sync();
}

}  // namespace qm::test
