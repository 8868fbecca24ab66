#include "support/scripted.h"

#include <cstdio>
#include <cstdlib>

namespace qm {

UnscriptedHandler& unscriptedHandler() {
    static UnscriptedHandler handler = [](const QString& what) {
        std::fprintf(stderr, "Unscripted request in a test: %s\n", qPrintable(what));
        std::abort();
    };
    return handler;
}

void ScriptedMessageBoxes::message(const QString& text, const QString& title, Icon icon) {
    shown.push_back({Kind::Message, text, title, icon, {}});
    if (onShow) onShow(shown.back());
}

bool ScriptedMessageBoxes::question(const QString& text, const QString& title) {
    shown.push_back({Kind::Question, text, title, Icon::None, {}});
    if (onShow) onShow(shown.back());
    if (questionAnswers.empty()) {
        unscriptedHandler()(QStringLiteral("question: ") + text);
        return false;
    }
    bool answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
}

QString ScriptedMessageBoxes::password(const QString& prompt, const QString& title) {
    const QString answer = input(prompt, title, QString());
    shown.back().concealed = true;
    return answer;
}

QString ScriptedMessageBoxes::input(const QString& prompt, const QString& title,
                                    const QString& defaultText) {
    shown.push_back({Kind::Input, prompt, title, Icon::None, defaultText});
    if (onShow) onShow(shown.back());
    if (inputAnswers.empty()) {
        unscriptedHandler()(QStringLiteral("input: ") + prompt);
        return QString();
    }
    QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

QStringList ScriptedMessageBoxes::messageTexts() const {
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == Kind::Message) out << s.text;
    return out;
}

void ScriptedEventPump::pump() {
    ++count;
    if (onPump) onPump();
}

QStringList ScriptedFileDialogs::openFiles(const QString& title, const QString& filter) {
    requests.push_back({QStringLiteral("open"), title, filter, {}});
    if (openAnswers.empty()) {
        unscriptedHandler()(QStringLiteral("open dialog: ") + title);
        return {};
    }
    QStringList a = openAnswers.front();
    openAnswers.pop_front();
    return a;
}

QString ScriptedFileDialogs::saveFile(const QString& title, const QString& filter) {
    requests.push_back({QStringLiteral("save"), title, filter, {}});
    if (saveAnswers.empty()) {
        unscriptedHandler()(QStringLiteral("save dialog: ") + title);
        return {};
    }
    QString a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}

QString ScriptedFileDialogs::chooseFolder(const QString& title, const QString& initialFolder) {
    requests.push_back({QStringLiteral("folder"), title, {}, initialFolder});
    if (folderAnswers.empty()) {
        unscriptedHandler()(QStringLiteral("folder dialog: ") + title);
        return {};
    }
    QString a = folderAnswers.front();
    folderAnswers.pop_front();
    return a;
}

}  // namespace qm
