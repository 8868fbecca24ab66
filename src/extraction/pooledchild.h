#pragma once
// Extractor processes run from worker threads: each call starts one child and
// blocks its (worker) thread until the child ends. Any thread may end a child
// through its token, and endAllExtractions() ends every such child at once and
// refuses new ones, as it does for RunAndWait's children.

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
    friend struct PooledChildren;
    bool cancelled_ = false;  // guarded by the registry's lock
};

struct PooledChildResult {
    bool started = false;
    bool ended = false;  // killed through its token or endAllExtractions()
    int exitCode = -1;
};

// Starts `program` with `arguments` (no shell; input and output go nowhere) and
// waits on this thread until it ends. Not for the window's thread.
PooledChildResult runPooledChild(const QString& program, const QStringList& arguments,
                                 ChildToken& token);

// Kills every pooled child and refuses new ones (called by endAllExtractions()).
void endPooledExtractions();
// Allows pooled children again (called by allowExtractions(), for tests).
void allowPooledExtractions();
// Children running right now, and children started since the program began.
int runningPooledChildren();
std::int64_t pooledChildrenStarted();

}  // namespace qm
