#include "cli/ocroption.h"

#include "fs/fs.h"

namespace qm::cli {

QString setUpOcr(const CliOptions& options, const QString& workFolder, OcrSettings& settings,
                 const QString& tesseract) {
    settings = OcrSettings();
    if (!options.ocr) return {};
    const OcrEngine engine = OcrEngine::probe(workFolder, tesseract);
    // One that is there but gives no version is broken, not missing.
    if (!engine.usable() && !engine.tesseract.isEmpty() && fs::isFile(engine.tesseract))
        return QStringLiteral(
                   "--ocr needs tesseract to read scanned pages, and tesseract (%1) did not "
                   "answer when asked for its version: please reinstall the package %2 (sudo apt "
                   "install --reinstall %2)")
            .arg(engine.tesseract, QString::fromLatin1(kOcrPackage));
    if (!engine.usable())
        return QStringLiteral(
                   "--ocr needs tesseract to read scanned pages: please install the package ") +
               QString::fromLatin1(kOcrPackage) + QStringLiteral(" (sudo apt install ") +
               QString::fromLatin1(kOcrPackage) + u')';
    const QString languages = options.ocrLanguages.isEmpty()
                                  ? defaultOcrLanguages(engine.installed, {QLocale::system()})
                                  : options.ocrLanguages;
    const QStringList missing = missingOcrLanguages(languages, engine.installed);
    if (!missing.isEmpty()) {
        QStringList named;
        for (const QString& m : missing)
            named << (m.isEmpty() ? QStringLiteral("(empty)") : u'"' + m + u'"');
        return QStringLiteral("OCR language not installed: ") + named.join(QStringLiteral(", ")) +
               QStringLiteral("; installed: ") +
               (engine.installed.isEmpty() ? QStringLiteral("none")
                                           : engine.installed.join(QStringLiteral(", "))) +
               QStringLiteral(" (more come as packages tesseract-ocr-LANG)");
    }
    settings = ocrSettingsOf(engine, languages);
    return {};
}

}  // namespace qm::cli
