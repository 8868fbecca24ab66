#pragma once
// The text extractor (pdftotext of poppler-utils) and the extraction of one
// PDF file into a text file.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace qm {

class EventPump;
class ProgressBar;

// The absolute path of `pdftotext` found on PATH; empty when there is none.
QString FindExtractor();

// The message shown once at start-up when FindExtractor() found nothing.
QString extractorMissingMessage();

// Names of the fixed work files of a search, inside the work folder.
inline constexpr const char* kTemporaryPdfName = "tmp.pdf";
inline constexpr const char* kTemporaryTextName = "tmp.txt";
QString temporaryPdfPath(const QString& workFolder);
QString temporaryTextPath(const QString& workFolder);
// The add-time check's output for a listed file: "<base name>.txt" in the work folder.
QString checkOutputPath(const QString& workFolder, const QString& listedPath);

// Extractor arguments. The extractor names its output after its input
// ("x.pdf" gives "x.txt") when no output path is given.
QStringList plainArguments(const QString& pdfPath);
// The password is given as owner and as user password: either may open the file.
QStringList passwordArguments(const QString& pdfPath, const QString& password);
QStringList checkArguments(const QString& pdfPath, const QString& outputPath);

// How a wait shows itself on the progress bar (see RunAndWait).
struct WaitDisplay {
    ProgressBar* bar = nullptr;
    QString statusText;
    std::int32_t startPercent = 0;
    std::int32_t fileCount = 0;
};

// Replaces the temporary copy by a copy of `source`. Any older copy is deleted
// first, so a copy of an earlier file is never taken for this one. True when
// the copy exists afterwards.
bool copyToTemporary(const QString& source, const QString& temporaryPdf);

// Extracts `temporaryPdf` into the text file the extractor names after it
// (its ".pdf" replaced by ".txt"); any older text file is deleted first. With a
// password the password command line runs first; when it writes no text, the
// plain command line is tried once more (files restricted only by permissions
// open without a password but refuse a wrong one). True when a text file exists.
bool extractText(const QString& extractor, const QString& temporaryPdf, const QString& password,
                 EventPump* pump, const WaitDisplay& wait);

}  // namespace qm
