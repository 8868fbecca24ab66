#pragma once
// Starting one child process: its command line and environment made ready
// before the fork, and the fork and exec themselves (child.cpp runs them).

#include <sys/types.h>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace qm {

// The program, its arguments and its environment as the exec takes them:
// this program's environment with `environment` ("NAME=VALUE") put in, each
// replacing a variable of the same name.
class ChildCommand {
  public:
    ChildCommand(const QString& program, const QStringList& arguments,
                 const QStringList& environment);
    char* const* argv() { return argv_.data(); }
    char* const* envp() { return envp_.data(); }

  private:
    std::vector<std::string> args_;
    std::vector<std::string> added_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

// What a child is started with; everything is made ready before the fork, as
// the child may only make system calls until it runs the program.
struct Launch {
    char* const* argv;
    char* const* envp;  // the program's environment
    int input;          // read end of the input pipe; -1: /dev/null
    int output;         // write end of the output pipe; -1: /dev/null
};

// Starts a child; its pid, or 0. `execPipe` is told whether the program ran.
pid_t launchChild(const Launch& launch, int& execPipe);
// Reads the child's report: nothing before the pipe closes on exec means the
// program runs. Closes the pipe.
bool execSucceeded(int execPipe);

}  // namespace qm
