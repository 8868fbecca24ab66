#pragma once
// The window as the tests and the benchmarks of the window open it: a Form1
// over the scripted services, its settings in an INI file of the test (or a
// store of the test's own, or none), without Form_Load unless asked for.
// Header only: qm_testsupport does not link the window; whoever includes this
// links qm_app.

#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <functional>
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
    void setText(const QString& t) override {
        texts << t;
        Form1::setText(t);
    }
    void setMousePointer(int v) override {
        pointers.push_back(v);
        pointerListSizes.push_back(fileList.count());
        Form1::setMousePointer(v);
        if (onPointer) onPointer();
    }
    std::vector<int> values;            // the progress bar's values, in order
    std::vector<int> pointers;          // the pointer's values, in order
    std::vector<int> pointerListSizes;  // the list's length as each pointer value was given
    QStringList texts;                  // every text the bar was given, in order
    // Told after each pointer value (as a search's file begins, "Processing: NAME" shown).
    std::function<void()> onPointer;
};

// The configuration of a test's window: no Form_Load (no sample files, no web site).
inline Form1::Config windowConfig() {
    Form1::Config config;
    config.runFormLoad = false;
    return config;
}

// Runs `start`, then the event loop until `form` emits `signal` (true) or
// `ms` have passed (false); not at all when `start` says there is nothing to
// wait for (true).
template <class Start>
bool untilSignal(Form1& form, void (Form1::*signal)(), Start&& start, int ms) {
    QEventLoop loop;
    bool fired = false;
    const auto c = QObject::connect(&form, signal, &loop, [&] {
        fired = true;
        loop.quit();
    });
    const bool wait = start();
    if (wait && !fired) {
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(c);
    return fired || !wait;
}

// Clicks "Start Searching" and returns once the search has ended (its
// messages shown); at once when the click started none. False on a time-out.
inline bool searchToEnd(Form1& form, int ms = 120000) {
    return untilSignal(
        form, &Form1::searchFinished,
        [&] {
            form.PushButton7->click();
            return form.searchRunning();
        },
        ms);
}

// Returns once the add-time check (if one runs) has ended. False on a time-out.
inline bool checkToEnd(Form1& form, int ms = 120000) {
    return untilSignal(
        form, &Form1::checkFinished, [&] { return form.checkRunning(); }, ms);
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
            out << form->results.row(r).path + u'|' + form->results.row(r).text(1);
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

    // Runs `f` every 2 ms while the event loop runs (a search or a check is
    // waited for): what the window shows meanwhile, a click in the middle.
    void onTick(std::function<void()> f) {
        ticker.disconnect();
        QObject::connect(&ticker, &QTimer::timeout, std::move(f));
        ticker.start(2);
    }

    QTimer ticker;
    std::unique_ptr<IniSettingsStore> ini;  // when the settings are in an INI file
    std::unique_ptr<RecordingForm1> form;
};

}  // namespace qm::test
