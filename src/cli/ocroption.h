#pragma once
// --ocr and --ocr-lang: the engine asked once, the languages checked, and the
// settings the pipeline reads scanned pages with.

#include <QString>

#include "cli/cliopts.h"
#include "extraction/ocr.h"

namespace qm::cli {

// Fills `settings` for `options` (nothing to do without --ocr); tesseract's
// answers pass through `workFolder`. Returns the usage error when tesseract
// is missing or does not answer, or a language is not installed (naming the
// installed ones),
// else the empty text.
QString setUpOcr(const CliOptions& options, const QString& workFolder, OcrSettings& settings,
                 const QString& tesseract = {});

}  // namespace qm::cli
