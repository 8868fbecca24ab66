#pragma once
// The text extractor (pdftotext of poppler-utils) and the extraction of one
// PDF file into a text file.

#include <QString>
#include <QStringList>

namespace qm {

// The absolute path of `pdftotext` found on PATH; empty when there is none.
QString findExtractor();

// The message shown once at start-up when findExtractor() found nothing.
QString extractorMissingMessage();

// Names of the work files of an extraction, inside a worker's folder.
inline constexpr const char* kTemporaryPdfName = "tmp.pdf";
inline constexpr const char* kTemporaryTextName = "tmp.txt";

// Extractor arguments. The extractor names its output after its input
// ("x.pdf" gives "x.txt") when no output path is given.
QStringList plainArguments(const QString& pdfPath);
// The password is given as owner and as user password: either may open the file.
QStringList passwordArguments(const QString& pdfPath, const QString& password);

// Replaces the temporary copy by a copy of `source`. Any older copy is deleted
// first, so a copy of an earlier file is never taken for this one. True when
// the copy exists afterwards.
bool copyToTemporary(const QString& source, const QString& temporaryPdf);

}  // namespace qm
