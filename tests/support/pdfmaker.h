#pragma once
// Makes the PDF files the tests and benchmarks search: text pages written with
// Qt's PDF writer, an image-only page like a scanned sheet, encrypted copies
// made with qpdf, and fake extractors. Making PDFs needs a QGuiApplication
// (the offscreen platform is fine).

#include <QString>
#include <QStringList>

namespace qm::test {

// A PDF with one page per element; "\n" breaks lines within a page; `title`
// goes into the document's information. Throws std::runtime_error when the
// file cannot be written.
void makeTextPdf(const QString& path, const QStringList& pages, const QString& title = {});

// A PDF whose only page is a picture (no text at all).
void makeImagePdf(const QString& path);

// An encrypted copy of `source` made by qpdf (AES-256). With a user password
// the file needs it to open; with only an owner password it opens freely but
// forbids copying text. Returns false when qpdf failed.
bool encryptPdf(const QString& source, const QString& destination, const QString& userPassword,
                const QString& ownerPassword);

// Writes `bytes` to `path` (folders made as needed).
void writeBytes(const QString& path, const QByteArray& bytes);

// An executable shell script `folder/name` with the given body after "#!/bin/sh".
// A stand-in extractor: "$1".."$n" are the arguments it is given.
QString writeScript(const QString& folder, const QString& name, const QString& body);

// A stand-in pdftotext in `folder`: readable text on standard output for every
// file, except that a file whose bytes hold "bad" fails (exit 1).
QString writeReadableExtractor(const QString& folder);

// The text pdftotext writes for a file, or an empty text when it writes none.
QByteArray extractWithPdftotext(const QString& pdf);

}  // namespace qm::test
