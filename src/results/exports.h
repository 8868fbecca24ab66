#pragma once
// Results rows as a tab-separated text file and as column-aligned text on the
// clipboard. Every cell goes out as the view shows it, so a snippet's line
// ends, tabs and form feeds never break a line of the export.
//
// The formatters take a step: called once per header column, once per row
// and once per cell, so a window can keep itself alive through a long export
// (and notice rows cleared meanwhile: row() then throws qm::Error).

#include <QString>
#include <functional>

#include "fs/keptattributes.h"
#include "results/resultrows.h"

namespace qm {

class Clipboard;

using ExportStep = std::function<void()>;

// The text of the text file: a header line with the titles of the columns that
// are filled in the first row, then one line per row. Every non-empty cell is
// followed by a TAB (an empty cell is left out with its TAB); every line ends
// with CR LF. Empty without rows.
QString resultsText(const ResultRows& rows, const ExportStep& step = {});

// Replaces the file at `path` with `text` in UTF-8 without BOM. The text goes
// to a temporary file beside the target that is then renamed over it, so a
// failed write leaves an existing file as it was; the new file keeps the old
// one's owner, group, mode and access list where it may, and what it could
// not keep is returned. Throws qm::Error on failure.
fs::LostAttributes writeTextFile(const QString& text, const QString& path);

// Writes the rows as the text file at `path`; false, writing nothing, when
// there are none. What of the old file could not be kept goes to `lost`
// (may be null). Throws qm::Error on failure.
bool writeResultsText(const ResultRows& rows, const QString& path, const ExportStep& step = {},
                      fs::LostAttributes* lost = nullptr);

// The clipboard text: one line per ticked row (per row when none is ticked),
// each cell padded with blanks to the longest cell of its column over all
// rows, cells joined by TAB, trailing blanks removed, CR LF after every line.
QString clipboardText(const ResultRows& rows, const ExportStep& step = {});

// With at least one row: empties the clipboard, then puts `clipboardText` on
// it. With none: leaves the clipboard alone.
void copyResultsToClipboard(const ResultRows& rows, Clipboard& clipboard,
                            const ExportStep& step = {});

}  // namespace qm
