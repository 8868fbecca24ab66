#pragma once
// One large file extracted as page ranges at once, on cores that would
// otherwise wait. pdftotext ends every page with a form feed, so the texts of
// consecutive ranges, joined in page order, are byte for byte the text of one
// whole-file run. Any range that fails leaves the file to one whole-file run.

#include <QString>
#include <QStringList>
#include <vector>

#include "extraction/child.h"

namespace qm {

struct PageRange {
    int first = 1;  // 1-based, inclusive
    int last = 1;
    bool operator==(const PageRange&) const = default;
};

// Pages 1..`pages` in at most `parts` ranges of consecutive pages, in page
// order, none shorter than `minPages` (one range when the file is too short
// to share out). Sizes differ by one page at most.
std::vector<PageRange> planPageRanges(int pages, int parts, int minPages);

// The absolute path of `pdfinfo` found on PATH; empty when there is none.
QString findPdfinfo();

// The page count pdfinfo reports for `pdf`; 0 when it cannot tell. Its report
// goes to `reportPath` (removed afterwards).
int countPages(const QString& pdfinfoPath, const QString& pdf, const QString& reportPath,
               ChildToken& token, int timeLimitMs);

// Extractor arguments for one range of `pdf`, its text written to `out`.
QStringList rangeArguments(const QString& pdf, const PageRange& range, const QString& out);

struct SplitResult {
    bool done = false;      // `txt` holds the joined text of every range
    bool ended = false;     // a range was ended through the token
    bool timedOut = false;  // a range reached the time limit
};

// Extracts `pdf` into `txt` as `ranges`, `threads` of them at a time (the
// caller's thread is one), each thread taking the next range not yet begun,
// so a thread slowed by other work takes fewer; then joins the texts in page
// order. The
// ranges' texts are written into `folder` and removed. Not done: `txt` is
// absent.
SplitResult extractInRanges(const QString& extractor, const QString& pdf, const QString& txt,
                            const QString& folder, const std::vector<PageRange>& ranges,
                            int threads, ChildToken& token, int timeLimitMs);

}  // namespace qm
