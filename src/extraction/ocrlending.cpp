// Scanned pages of one file read with OCR on the worker that has the file and
// on every worker that has nothing of its own to begin (as the page ranges of
// a split file are): a lent worker counts as busy while it reads pages.
#include "extraction/pipeline.h"
#include "extraction/pipeline_job.h"

namespace qm {

OcrStep TextPipeline::readScanned(Job& job, const QString& pdf, const QString& txt,
                                  const QString& folder, int limitMs) {
    return readScannedPagesInto(job.reading, pdf, txt, folder, lentWorkers(), job.token, limitMs,
                                &job.ocr);
}

}  // namespace qm
