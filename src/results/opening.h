#pragma once
// Opening the files of the results list with the desktop's default viewer.

#include <QStringList>

#include "results/exports.h"
#include "results/resultrows.h"

namespace qm {

// The working list of "Open All Files": an empty first entry, then every row's
// path that is not yet present (exact, case-sensitive comparison), in the
// order of first occurrence. A row with an empty path matches the first entry.
// Takes `step` once per row.
QStringList distinctPaths(const ResultRows& rows, const ExportStep& step = {});

// Returns after `seconds` have passed on a monotonic clock, taking `step`
// meanwhile (with short sleeps between steps so the wait does not spin).
void waitSeconds(int seconds, const ExportStep& step);

}  // namespace qm
