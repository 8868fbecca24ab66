#pragma once
// One large file extracted as page ranges at once, on cores that would
// otherwise wait, now or before the file is done. pdftotext ends every page with a form feed, so
// the texts of consecutive ranges, joined in page order, are byte for byte the text of one
// whole-file run. Any range that fails leaves the file to one whole-file run.

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstddef>
#include <functional>
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

// The page count of `pdf` as qpdf counts the pages of its page tree
// (`qpdf --show-npages`); 0 when it cannot tell. Nothing the document holds
// (its title, say) can stand in for the count. qpdf's answer goes to
// `reportPath` (removed afterwards).
int countPages(const QString& qpdfPath, const QString& pdf, const QString& reportPath,
               ChildToken& token, int timeLimitMs);

// The page count qpdf's `--show-npages` answer gives: one number on one line,
// nothing else; 0 for anything else.
int parsePageCount(const QByteArray& answer);

// qpdf: the page count of `pdf` on standard output.
QStringList pageCountArguments(const QString& pdf);

// Extractor arguments for one range of `pdf`, its text on standard output.
QStringList rangeArguments(const QString& pdf, const PageRange& range);

struct SplitResult {
    bool done = false;      // `txt` holds the joined text of every range
    bool ended = false;     // a range was ended through the token
    bool timedOut = false;  // a range reached the time limit
};

// Further workers for one file's ranges while they run: each of `count`
// threads waits in `join` for a worker to be free (true) or for `wanted` to
// turn false (false: all ranges are begun, or the file's work was ended); a
// thread that joined gives its worker back through `leave`. `wake` is called
// once every range has been begun, so that threads still waiting see it at once.
struct RangeHelpers {
    int count = 0;
    std::function<bool(const std::function<bool()>& wanted)> join;
    std::function<void()> leave;
    std::function<void()> wake;
};

// Runs `work` on this thread and on each helper from the moment it joins (while
// `next` of `n` items is not reached and `token` not cancelled); `work` takes
// items by `next` until none is left. Returns when every thread is done.
void shareWithHelpers(std::size_t n, std::atomic<std::size_t>& next, const RangeHelpers& helpers,
                      ChildToken& token, const std::function<void()>& work);

// Extracts `pdf` into `txt` as `ranges`: the caller's thread takes the next
// range not yet begun, and so does each helper from the moment it joins, so
// a worker that becomes free half way takes the ranges still left; then the
// texts are joined in page order. A range's text counts only when it holds one
// page break per page of the range: a text with fewer or more is not the
// range's pages, and the file is left to a whole-file run. The ranges' texts
// are written into `folder` (by this program, every write checked) and
// removed. Not done (also when a write failed): `txt` is absent.
SplitResult extractInRanges(const QString& extractor, const QString& pdf, const QString& txt,
                            const QString& folder, const std::vector<PageRange>& ranges,
                            const RangeHelpers& helpers, ChildToken& token, int timeLimitMs);

}  // namespace qm
