#pragma once
// Extractor processes. Each call starts one child (an argument list, never a
// shell; input and output go nowhere) and blocks its thread until the child
// ends, so children run on worker threads, never on the window's. Any thread
// may end a child through its token, and endAllExtractions() ends every child
// at once and refuses new ones (the window is closing, or the command line
// was interrupted twice).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <mutex>

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
    bool ended = false;  // killed through its token or endAllExtractions()
    int exitCode = -1;
};

// Starts `program` with `arguments` and waits on this thread until it ends.
ChildResult runChild(const QString& program, const QStringList& arguments, ChildToken& token);

// Kills every child and refuses new ones, now and from now on.
void endAllExtractions();
// True after endAllExtractions().
bool extractionsEnded();
// Allows children again (tests).
void allowExtractions();
// Children running right now, and children started since the program began.
int runningChildren();
std::int64_t childrenStarted();

}  // namespace qm
