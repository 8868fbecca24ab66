#pragma once
// Runs a child process and waits for it without freezing the window: the
// window's events are pumped while the child runs, and once a wait has lasted
// about five seconds the progress bar counts the polls ("Please wait.. N") and
// creeps forward.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace qm {

class EventPump;
class ProgressBar;

// Added to an error number when a child process cannot be started.
inline constexpr std::int32_t kStartFailureBase = -2147221504;  // 0x80040000
// Error numbers of a failed start.
inline constexpr std::int32_t kErrorFileNotFound = 53;
inline constexpr std::int32_t kErrorPermissionDenied = 70;
inline constexpr std::int32_t kErrorCannotStart = 5;

// The period of the poll counter.
inline constexpr int kPollMilliseconds = 100;
// Polls before the bar starts counting, and polls between two creep steps.
inline constexpr int kPollsBeforeCounting = 50;
inline constexpr int kPollsPerCreep = 150;

// Where the bar stands after `k` creep steps, for a wait that began at
// `startPercent` of a run over `fileCount` files (0: no count given). Halves
// round to the even neighbour.
int creepValue(std::int32_t startPercent, std::int32_t fileCount, int k);

// The bar's text at poll `polls` (counted from 1) of a wait, "" before counting begins.
QString waitText(const QString& statusText, int polls);

// Starts `program` with `arguments` (no shell) and waits until it ends. Every
// poll period the window's events are pumped; with a bar, its text and value
// change as described above, and at the end its text goes back to
// `statusText`, or "Progress Bar" when that is empty. The wait returns as soon
// as the child ends, not at the next poll. Returns the child's exit code, or
// kStartFailureBase plus an error number when it cannot be started. There is
// no time limit; endAllExtractions() ends a wait at once.
// `pollMilliseconds` is the poll period; tests shorten it.
std::int32_t RunAndWait(const QString& program, const QStringList& arguments, EventPump* pump,
                        ProgressBar* bar, const QString& statusText, std::int32_t startPercent,
                        std::int32_t fileCount, int pollMilliseconds = kPollMilliseconds);

// Kills every child that RunAndWait is waiting for, now and from now on (a
// later RunAndWait starts nothing and answers as for a start failure). For
// closing the window in the middle of a wait.
void endAllExtractions();
// True after endAllExtractions().
bool extractionsEnded();
// Allows children again (tests).
void allowExtractions();
// Number of children being waited for right now.
int runningExtractions();

}  // namespace qm
