// Worker lending: a large file begun near the end of the work is extracted as
// page ranges (pagesplit.h), and every worker that has nothing of its own to
// begin joins its ranges until all are begun. A lent worker counts as busy, so
// it begins no file of its own meanwhile.
#include <QFileInfo>
#include <algorithm>
#include <chrono>

#include "extraction/pagesplit.h"
#include "extraction/pipeline.h"
#include "extraction/pipeline_job.h"

namespace qm {

int TextPipeline::queuedThatMayBegin(int atMost) const {
    int count = 0;
    for (const auto& queued : queue_)
        if (!passedOver(*queued) && mayBegin(*queued) && ++count >= atMost) break;
    return count;
}

bool TextPipeline::nearTheEnd() {
    // Fewer files that may begin than workers: before long some worker will
    // have nothing of its own to do.
    std::lock_guard lock(mutex_);
    return queuedThatMayBegin(jobs_) < jobs_;
}

bool TextPipeline::lendWorker(const std::function<bool()>& wanted) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (quit_ || !wanted()) return false;
        // A file of its own comes first for a free worker.
        if (busy_ < jobs_ && queuedThatMayBegin(1) == 0) {
            ++busy_;
            return true;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void TextPipeline::returnWorker() {
    {
        std::lock_guard lock(mutex_);
        --busy_;
    }
    wake_.notify_all();
}

RangeHelpers TextPipeline::lentWorkers() {
    RangeHelpers helpers;
    helpers.count = jobs_ - 1;
    helpers.join = [this](const std::function<bool()>& wanted) { return lendWorker(wanted); };
    helpers.leave = [this] { returnWorker(); };
    helpers.wake = [this] { wake_.notify_all(); };
    return helpers;
}

bool TextPipeline::extractSplit(Job& job, const QString& pdf, const QString& txt,
                                const QString& folder, int limitMs, bool& ended, bool& timedOut) {
    if (jobs_ < 2 || setup_.splitMinBytes < 0 || setup_.qpdfPath.isEmpty() ||
        QFileInfo(pdf).size() < setup_.splitMinBytes || !nearTheEnd())
        return false;
    const int pages =
        countPages(setup_.qpdfPath, pdf, folder + QStringLiteral("/info.txt"), job.token, limitMs);
    const std::vector<PageRange> ranges = planPageRanges(
        pages, jobs_ * std::max(1, setup_.splitRangesPerWorker), setup_.splitMinPages);
    if (ranges.size() < 2) return false;
    // Every other worker joins the ranges as soon as it has nothing else to do.
    const SplitResult r = extractInRanges(setup_.extractorPath, pdf, txt, folder, ranges,
                                          lentWorkers(), job.token, limitMs);
    ended = ended || r.ended;
    timedOut = timedOut || r.timedOut;
    return r.done;
}

}  // namespace qm
