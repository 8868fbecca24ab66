// Scanned pages of one file read with OCR on the worker that has the file and
// on every worker that has nothing of its own to begin (as the page ranges of
// a split file are): a lent worker counts as busy while it reads pages.
#include "extraction/pipeline.h"
#include "extraction/pipeline_job.h"

namespace qm {

QString TextPipeline::cacheReading() const {
    return setup_.ocr.on() ? setup_.ocr.reading() : QString();
}

OcrStep TextPipeline::readScanned(Job& job, const QString& pdf, const QString& txt,
                                  const QString& folder, int limitMs) {
    RangeHelpers helpers;
    helpers.count = jobs_ - 1;
    helpers.join = [this](const std::function<bool()>& wanted) { return lendWorker(wanted); };
    helpers.leave = [this] { returnWorker(); };
    helpers.wake = [this] { wake_.notify_all(); };
    return readScannedPagesInto(setup_.ocr, pdf, txt, folder, helpers, job.token, limitMs,
                                &job.ocr);
}

}  // namespace qm
