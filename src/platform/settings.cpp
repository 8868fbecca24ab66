#include "platform/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include "text/error.h"

namespace qm {

namespace {
const QString kGroup = QStringLiteral("Quillmark");
}

IniSettingsStore::IniSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Veltrane"))) {}

IniSettingsStore::IniSettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::fileName() const {
    return settings_->fileName();
}

QString IniSettingsStore::getSetting(const QString& key, const QString& defaultValue) const {
    const QString full = kGroup + u'/' + key;
    if (!settings_->contains(full)) return defaultValue;
    const QVariant v = settings_->value(full);
    // A hand-edited value with an unquoted comma reads as a list; keep its text.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

void IniSettingsStore::saveSetting(const QString& key, const QString& value) {
    // Each write on its own store object: QSettings keeps the first error it
    // meets for the object's whole life, and counts a line it cannot parse in a
    // hand-edited file as one although the write itself goes through.
    QSettings store(settings_->fileName(), QSettings::IniFormat);
    store.setValue(kGroup + u'/' + key, value);
    store.sync();
    if (store.status() != QSettings::AccessError) return;
    // A store that cannot be written is reported once; later writes fail quietly.
    if (writeFailureReported_) return;
    writeFailureReported_ = true;
    throw Error(QStringLiteral("The settings could not be written to ") + store.fileName() +
                QStringLiteral("."));
}

namespace {
QString& titleValue() {
    static QString t = QStringLiteral("Quillmark");
    return t;
}
}  // namespace

QString applicationTitle() {
    return titleValue();
}

QString applicationTitleFromName(const QString& productName) {
    constexpr qsizetype kMaxTitle = 40;
    QString t = productName;
    do {
        const qsizetype blank = t.lastIndexOf(u' ');
        if (blank < 0) break;
        t.truncate(blank);
    } while (t.size() > kMaxTitle);
    if (t.size() > kMaxTitle) t.truncate(kMaxTitle);
    return t;
}
void setApplicationTitle(const QString& title) {
    titleValue() = title;
}

void QtEventPump::pump() {
    QCoreApplication::processEvents();
}

}  // namespace qm
