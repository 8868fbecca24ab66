#pragma once
// Extractor processes. Each call starts one child (an argument list, never a
// shell; output goes nowhere, input is empty or the bytes given) and blocks
// its thread until the child ends, so children run on worker threads, never on
// the window's. Any thread may end a child through its token, and
// endAllExtractions() ends every child at once and refuses new ones (the
// window is closing, or the command line was interrupted).
//
// Each child leads a process group of its own: a Ctrl+C typed at the terminal
// reaches only this program, which ends its children itself; and ending a
// child ends everything it started. A child is killed when this program ends
// in any way (even by SIGKILL), so no extractor runs on as an orphan.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>

namespace qm {

// Lets one piece of work end the child it runs (or is about to run).
class ChildToken {
  public:
    // Ends the child running under this token, and refuses any later start.
    void cancel();
    bool cancelled() const;

  private:
    friend struct Children;
    bool cancelled_ = false;  // guarded by the registry's lock
};

struct ChildResult {
    bool started = false;
    bool ended = false;     // killed through its token or endAllExtractions()
    bool timedOut = false;  // killed when its time limit was reached
    bool exited = false;    // ended by itself through exit (not by a signal)
    int exitCode = -1;      // when `exited`
    // Its output could not all be written to the output file (a full disk):
    // the file holds only part of it, or nothing.
    bool outputLost = false;
    // Its output passed the cap given: the child was ended, the file holds the cap's bytes.
    bool outputCapped = false;
};

// Starts `program` with `arguments` and waits on this thread until it ends.
// `input` is written to its standard input (then closed). A child still
// running after `timeLimitMs` milliseconds (0: no limit) is killed. With
// `outputPath`, its standard output is read from a pipe and written to that
// file (made anew at the first byte, owner-only; no output leaves no file) by
// this thread, every write checked: a child cannot leave a file cut short by a
// full disk unnoticed (`outputLost`).
// `environment` ("NAME=VALUE" entries) is added to the program's environment,
// replacing a variable of the same name. With `outputCap` (not negative), a
// child whose output passes that many bytes is ended (`outputCapped`).
ChildResult runChild(const QString& program, const QStringList& arguments, ChildToken& token,
                     const QByteArray& input = {}, int timeLimitMs = 0,
                     const QString& outputPath = {}, const QStringList& environment = {},
                     std::int64_t outputCap = -1);

// What a child run with the output file `path` wrote, read back (at most
// `maxBytes`; -1: all) and the file removed; nothing when it did not exit with
// one of `goodExits` or its output was not all written.
std::optional<QByteArray> takeAnswer(const ChildResult& r, const QString& path,
                                     qint64 maxBytes = -1,
                                     std::initializer_list<int> goodExits = {0});

// Kills every child and refuses new ones, now and from now on.
void endAllExtractions();
// True after endAllExtractions().
bool extractionsEnded();
// Allows children again (tests).
void allowExtractions();
// Children running right now, and children started since the program began.
int runningChildren();
std::int64_t childrenStarted();

// Stops (SIGSTOP) and resumes (SIGCONT) the process groups of every running
// child: for the handler of Ctrl+Z, which stops this program, whose children,
// in groups of their own, the terminal does not stop. Async-signal-safe.
void stopChildrenFromSignal();
void continueChildrenFromSignal();

}  // namespace qm
