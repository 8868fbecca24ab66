#pragma once
class QApplication;
namespace qm {
// Makes the platform services and the main window, runs the event loop.
int runProgram(QApplication& app);
}  // namespace qm
