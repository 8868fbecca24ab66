#pragma once
// Scripted stand-ins for the platform services, for tests. They record every
// request. Requests that need an answer (questions, prompts, dialogs) take the
// next scripted answer; one that the test did not script is handed to
// `onUnscripted`, which by default prints it and aborts, so a forgotten answer
// fails the test instead of waiting for a user that is not there.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/services.h"

namespace qm {

// Called with a description of a request that had no scripted answer.
using UnscriptedHandler = std::function<void(const QString&)>;
UnscriptedHandler& unscriptedHandler();  // process-wide; tests may replace it

class ScriptedMessageBoxes : public MessageBoxes {
  public:
    enum class Kind { Message, Question, Input };
    struct Shown {
        Kind kind;
        QString text;
        QString title;
        Icon icon = Icon::None;
        QString defaultText;
        bool concealed = false;  // a password prompt: what is typed is not shown
    };

    void message(const QString& text, const QString& title, Icon icon) override;
    bool question(const QString& text, const QString& title) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    // Recorded as an input box that conceals its text; answered from inputAnswers.
    QString password(const QString& prompt, const QString& title) override;

    void answerQuestion(bool yes) { questionAnswers.push_back(yes); }
    void answerInput(const QString& text) { inputAnswers.push_back(text); }

    std::vector<Shown> shown;
    std::deque<bool> questionAnswers;
    std::deque<QString> inputAnswers;
    // Runs when a box is shown, after it was recorded (e.g. to click something meanwhile).
    std::function<void(const Shown&)> onShow;

    QStringList messageTexts() const;  // texts of the OK-only boxes, in order
};

class ScriptedEventPump : public EventPump {
  public:
    void pump() override;
    int count = 0;
    std::function<void()> onPump;  // runs at every pump
};

class ScriptedFileDialogs : public FileDialogs {
  public:
    struct Request {
        QString kind;  // "open", "save", "folder"
        QString title;
        QString filter;
        QString initialFolder;
    };
    QStringList openFiles(const QString& title, const QString& filter) override;
    QString saveFile(const QString& title, const QString& filter) override;
    QString chooseFolder(const QString& title, const QString& initialFolder) override;

    std::vector<Request> requests;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<QString> folderAnswers;
};

class ScriptedDesktop : public Desktop {
  public:
    void openDocument(const QString& path) override { opened.push_back(path); }
    void openUrl(const QString& url) override { urls.push_back(url); }
    bool hasDefaultApplication(const QString& mimeType) override {
        asked.push_back(mimeType);
        return hasDefault;
    }
    QString defaultApplication(const QString& mimeType) override {
        asked.push_back(mimeType);
        return defaultApp;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started.push_back(QStringList{program} + arguments);
        return startable;
    }
    QStringList applicationsFor(const QString& mimeType) override {
        asked.push_back(mimeType);
        return registered;
    }
    bool openWith(const QString& desktopEntry, const QString& path) override {
        started.push_back(QStringList{desktopEntry, path});
        return startable;
    }
    QStringList opened;
    QStringList urls;
    QStringList asked;
    QStringList registered;  // the answer of applicationsFor
    bool hasDefault = true;
    QString defaultApp;     // the answer of defaultApplication
    bool startable = true;  // the answer of startDetached
    // Each start: the program, then its arguments; or an entry opened with a file.
    std::vector<QStringList> started;
    std::function<void(const QString&)> onOpen;
};

class ScriptedClipboard : public Clipboard {
  public:
    void clear() override {
        ++clears;
        value.clear();
    }
    void setText(const QString& text) override {
        ++sets;
        value = text;
    }
    QString text() const override { return value; }
    QString value;
    int clears = 0;
    int sets = 0;
};

// A progress bar and pointer that only remember their values; with a log of
// every value the bar took.
class ScriptedProgressBar : public ProgressBar {
  public:
    int value() const override { return value_; }
    void setValue(int v) override {
        value_ = v;
        values.push_back(v);
    }
    QString text() const override { return text_; }
    void setText(const QString& t) override {
        text_ = t;
        texts.push_back(t);
    }
    std::vector<int> values;
    QStringList texts;

  private:
    int value_ = 0;
    QString text_ = QStringLiteral("Progress Bar");
};

class ScriptedMousePointer : public MousePointer {
  public:
    int mousePointer() const override { return value_; }
    void setMousePointer(int v) override {
        value_ = v;
        history.push_back(v);
    }
    std::vector<int> history;

  private:
    int value_ = 0;
};

// Every scripted stand-in in one place, with `services` pointing at them and
// at the given settings store.
struct ScriptedServices {
    explicit ScriptedServices(SettingsStore* settings = nullptr)
        : services{&boxes, &pump, &dialogs, &desktop, &clipboard, settings} {}
    ScriptedServices(const ScriptedServices&) = delete;
    ScriptedServices& operator=(const ScriptedServices&) = delete;

    ScriptedMessageBoxes boxes;
    ScriptedEventPump pump;
    ScriptedFileDialogs dialogs;
    ScriptedDesktop desktop;
    ScriptedClipboard clipboard;
    Services services;
};

}  // namespace qm
