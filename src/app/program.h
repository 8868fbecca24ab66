#pragma once
#include <QString>
#include <QStringList>
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
    // Files and folders to add to the list once the event loop runs, as given
    // on the command line (see openPaths).
    QStringList paths;
};

// Makes the platform services and the main window, runs the event loop.
int runProgram(QApplication& app, const ProgramStart& start = {});

// The command line of `quillmark [--help|--version] [--] [FILE|FOLDER]...`.
struct ProgramArguments {
    bool help = false;
    bool version = false;
    QString error;      // the first argument that is no option of ours
    QStringList paths;  // the other arguments, in order
};
// Reads the arguments after the program's name. Every argument is read, so
// --help and --version are seen also after an unknown option.
ProgramArguments parseProgramArguments(const QStringList& arguments);
QString programUsageText();
// The arguments without Qt's own options (-platform, -style, ...) and their
// values, so that a mistaken option is told before Qt, and a display, starts.
QStringList withoutQtOptions(const QStringList& arguments);
QString programVersionText();

// Adds the paths of the command line to the window's file list as a drop of
// them does. A relative path is taken from `currentFolder` (the process's
// current folder when empty); the paths that do not exist are passed over,
// named in one message of the window (missingPathsMessage) and, when `missing`
// is given, appended to it. Nothing is added, and no add-time check runs,
// when no path is left.
QString missingPathsMessage(const QStringList& paths);
void openPaths(Form1& window, const QStringList& paths, const QString& currentFolder = QString(),
               QStringList* missing = nullptr);
}  // namespace qm
