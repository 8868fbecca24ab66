#pragma once
// The results list as a tab-separated text file and as column-aligned text on
// the clipboard. Every cell goes out as the view shows it, so a snippet's line
// ends, tabs and form feeds never break a line of the export.

#include <QString>

#include "platform/services.h"
#include "results/resultslist.h"

namespace qm {

// The text of the text file: a header line with the titles of the columns that
// are filled in the first row, then one line per row. Every non-empty cell is
// followed by a TAB (an empty cell is left out with its TAB); every line ends
// with CR LF. Pumps events once per header column, once per row and once per
// cell. A row that disappears meanwhile throws qm::Error.
QString resultsText(const ResultsList& list, EventPump* pump);

// Replaces the file at `path` with `text` in UTF-8 without BOM. The text goes
// to a temporary file beside the target that is then renamed over it, so a
// failed write leaves an existing file as it was. Throws qm::Error on failure.
void writeTextFile(const QString& text, const QString& path);

// Writes the list to `path`, or shows "There are no results to save." when it
// has no rows (then nothing is written).
void writeResultsText(const ResultsList& list, const QString& path, Services& services);

// The clipboard text: one line per ticked row, each cell padded with blanks to
// the longest cell of its column over all rows, cells joined by TAB, trailing
// blanks removed, CR LF after every line. Empty when nothing is ticked.
QString clipboardText(const ResultsList& list, EventPump* pump);

// With at least one row: empties the clipboard, then puts `clipboardText` on
// it. With none: leaves the clipboard alone.
void copyResultsToClipboard(const ResultsList& list, Services& services);

// Number of characters (code points) of a text.
int characterCount(const QString& text);

}  // namespace qm
