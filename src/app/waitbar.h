#pragma once
// How a long wait for an extraction shows itself on the progress bar: once a
// wait has lasted about five seconds, the bar counts the polls ("Please
// wait.. N") and creeps forward within the file's share of the run.

#include <QString>
#include <cstdint>

#include "extraction/pipeline.h"

namespace qm {

class ProgressBar;

// Polls before the bar starts counting, and polls between two creep steps
// (of kPollMilliseconds each).
inline constexpr int kPollsBeforeCounting = 50;
inline constexpr int kPollsPerCreep = 150;

// Where the bar stands after `k` creep steps, for a wait that began at
// `startPercent` of a run over `fileCount` files (0: no count given). Halves
// round to the even neighbour.
int creepValue(std::int32_t startPercent, std::int32_t fileCount, int k);

// The bar's text at poll `polls` (counted from 1) of a wait, "" before counting begins.
QString waitText(const QString& statusText, int polls);

// The bar a wait shows itself on (none: the wait is not shown), what it says
// when the wait begins, and where the file's share of the run begins.
struct WaitBar {
    ProgressBar* bar = nullptr;
    QString statusText;
    std::int32_t startPercent = 0;
    std::int32_t fileCount = 0;

    // Poll `polls` of the wait has passed: the counter and the creep. A
    // `reading` text (which scanned page is read) stands on the bar in place
    // of the counter.
    void poll(int polls, const QString& reading = {}) const;
    // The wait is over: the bar says `statusText` again ("Progress Bar" when empty).
    void finish() const;
    // The pipeline's watch of a wait, shown on this bar (a copy of it). While
    // scanned pages are read, `ocrText` (when set) gives the bar's text for
    // page P of N.
    WaitWatch watch(std::function<QString(int page, int pages)> ocrText = {}) const;
};

}  // namespace qm
