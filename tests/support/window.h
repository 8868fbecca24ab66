#pragma once
// The window as the tests and the benchmarks of the window open it: a Form1
// over the scripted services, its settings in an INI file of the test (or a
// store of the test's own, or none), without Form_Load unless asked for.
// Header only: qm_testsupport does not link the window; whoever includes this
// links qm_app.

#include <QComboBox>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/form1.h"
#include "platform/settings.h"
#include "support/scripted.h"

namespace qm::test {

// The window with a record of every progress value and pointer value it was given.
class RecordingForm1 : public Form1 {
  public:
    using Form1::Form1;
    void setValue(int v) override {
        values.push_back(v);
        Form1::setValue(v);
    }
    void setMousePointer(int v) override {
        pointers.push_back(v);
        Form1::setMousePointer(v);
    }
    std::vector<int> values;    // the progress bar's values, in order
    std::vector<int> pointers;  // the pointer's values, in order
};

// The configuration of a test's window: no Form_Load (no sample files, no web site).
inline Form1::Config windowConfig() {
    Form1::Config config;
    config.runFormLoad = false;
    return config;
}

struct TestWindow : ScriptedServices {
    // Not open yet: point services.settings at a store, then open().
    TestWindow() = default;
    // Settings in the INI file `iniPath`; opened at once.
    explicit TestWindow(const QString& iniPath, const Form1::Config& config = windowConfig()) {
        useIni(iniPath);
        open(config);
    }

    void useIni(const QString& iniPath) {
        ini = std::make_unique<IniSettingsStore>(iniPath);
        services.settings = ini.get();
    }
    void open(const Form1::Config& config = windowConfig()) {
        form = std::make_unique<RecordingForm1>(services, config);
    }

    // The file list's paths.
    QStringList list() const { return form->fileList.paths(); }
    // The find-set list's entries.
    QStringList findSets() const {
        QStringList out;
        for (int i = 0; i < form->Combo1->count(); ++i) out << form->Combo1->itemText(i);
        return out;
    }
    // The results list's rows as "path|snippet".
    QStringList rows() const {
        QStringList out;
        for (int r = 0; r < form->results.rowCount(); ++r)
            out << form->results.row(r).path + u'|' + form->results.row(r).snippet;
        return out;
    }
    // The texts of the OK-only boxes that begin with `start`.
    QStringList messagesStartingWith(const QString& start) const {
        QStringList out;
        for (const QString& m : boxes.messageTexts())
            if (m.startsWith(start)) out << m;
        return out;
    }
    // The texts of the error reports ("Application Error" boxes), in order.
    QStringList reports() const {
        QStringList out;
        for (const auto& s : boxes.shown)
            if (s.title == QStringLiteral("Application Error")) out << s.text;
        return out;
    }

    std::unique_ptr<IniSettingsStore> ini;  // when the settings are in an INI file
    std::unique_ptr<RecordingForm1> form;
};

}  // namespace qm::test
