#pragma once
#include <QString>
#include <functional>
class QApplication;
namespace qm {
class Form1;

// What a start of the main window may change.
struct ProgramStart {
    // The folder the window looks in for "Samples" and its optional files;
    // empty: the program's own folder.
    QString applicationFolder;
    // Runs once the window is shown, before the event loop starts.
    std::function<void(Form1&)> shown;
};

// Makes the platform services and the main window, runs the event loop.
int runProgram(QApplication& app, const ProgramStart& start = {});
}  // namespace qm
