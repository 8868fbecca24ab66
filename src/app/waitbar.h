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
    // The bar's text while scanned pages of the file are read (page P of N);
    // not set: the wait shows as any other.
    std::function<QString(int page, int pages)> ocrText;

    // Poll `polls` of the wait has passed: the counter and the creep. With
    // `ocrPages` above 0 and `ocrText` set, the bar says which page is read.
    void poll(int polls, int ocrPage = 0, int ocrPages = 0) const;
    // The wait is over: the bar says `statusText` again ("Progress Bar" when empty).
    void finish() const;
    // The pipeline's watch of a wait, shown on this bar (a copy of it).
    WaitWatch watch() const;
};

}  // namespace qm
