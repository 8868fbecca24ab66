#pragma once
// The per-user settings store: an INI file of QSettings, application "Veltrane",
// group "Quillmark", every write synced at once.

#include <memory>

#include "platform/services.h"

class QSettings;

namespace qm {

class IniSettingsStore : public SettingsStore {
  public:
    // The user's store (its folder follows XDG_CONFIG_HOME, so tests can move it).
    IniSettingsStore();
    // A store in a given INI file.
    explicit IniSettingsStore(const QString& iniPath);
    ~IniSettingsStore() override;

    QString getSetting(const QString& key, const QString& defaultValue) const override;
    void saveSetting(const QString& key, const QString& value) override;
    QString fileName() const;

  private:
    std::unique_ptr<QSettings> settings_;
    bool writeFailureReported_ = false;
};

// The application title shown on message boxes ("Quillmark").
QString applicationTitle();
// The title made from a product name: cut at its last blank, at least once and
// until at most 40 characters remain. A name without a blank stays whole (cut
// to 40 characters when longer).
QString applicationTitleFromName(const QString& productName);
void setApplicationTitle(const QString& title);

// A pump of the real event loop (QCoreApplication::processEvents).
class QtEventPump : public EventPump {
  public:
    void pump() override;
};

}  // namespace qm
