#pragma once
// Opening the files of the results list with the desktop's default viewer.

#include <QStringList>

#include "platform/services.h"
#include "results/resultslist.h"

namespace qm {

// The working list of "Open All Files": an empty first entry, then every row's
// path that is not yet present (exact, case-sensitive comparison), in the
// order of first occurrence. A row with an empty path matches the first entry.
// Pumps events once per row.
QStringList distinctPaths(const ResultsList& list, EventPump* pump);

// Returns after `seconds` have passed on a monotonic clock, pumping events
// meanwhile (with short sleeps between pumps so the wait does not spin).
void waitSeconds(int seconds, EventPump* pump);

}  // namespace qm
