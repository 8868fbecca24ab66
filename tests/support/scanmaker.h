#pragma once
// Makes scanned PDFs for the OCR tests and benchmarks: pages of text are
// rendered by pdftoppm and wrapped as image-only pages, written directly as
// PDF (no QGuiApplication needed), with the image kept as grey, bilevel or
// JPEG as a scanner would. Text pages may stand among them.

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

namespace qm::test {

enum class ScanKind { Grey, Bilevel, Jpeg };

// One page of a made PDF: an image (drawn at `dpi` in the page's lower left
// corner, `cover` of its width and height; over it `text`, one line, as a
// stamp), or, when `image` is null, `text` ("\n" between lines) in Helvetica.
struct MadePage {
    QImage image;
    int dpi = 200;
    QString text;
    int rotate = 0;  // the page's /Rotate: how far a viewer turns it clockwise
    double cover = 1;
};

// Writes `pages` as a PDF; images are stored as `kind`. Throws
// std::runtime_error when the file cannot be written.
void writeMadePdf(const QString& path, const std::vector<MadePage>& pages, ScanKind kind);

// Page `page` of `pdf` rendered in grey at `dpi` by pdftoppm; null when it failed.
QImage renderPage(const QString& pdf, int page, int dpi);

// The page count pdfinfo reports; 0 when it cannot tell.
int pdfPageCount(const QString& pdf);

// A PDF with one page per element of `pages` ("\n" between lines), each
// rendered at `dpi` and kept as an image of `kind`, except the pages of
// `textPages` (0-based), kept as text.
void makeScannedPdf(const QString& path, const QStringList& pages, int dpi = 200,
                    ScanKind kind = ScanKind::Grey, const QList<int>& textPages = {});

// Every page of the PDF `source` rendered at `dpi` and wrapped as `kind`: the
// same document as a scanner would give it. False when rendering failed.
bool scanPdf(const QString& source, const QString& destination, int dpi, ScanKind kind,
             int maxPages = 0);

// A stand-in for tesseract at `folder`/tesseract. It answers `--version`
// ("tesseract <version>") and `--list-langs` (`languages` and "osd"); asked
// to read an image "…/page<N>.pgm" it copies it into `imageCopies`, appends its arguments and its
// OMP_THREAD_LIMIT to `logPath`, waits `sleepSeconds`, and then either
// kills itself with SIGSEGV (`crash`) or prints the words of `text`, where
// "$page" stands for N, in tesseract's tsv form, each of `confidence`, and
// ends with `exitCode`.
struct FakeTesseract {
    QString text = QStringLiteral("scanned words of page $page");
    int confidence = 91;
    QString logPath;
    int sleepSeconds = 0;
    bool crash = false;
    int exitCode = 0;  // after printing `text`
    QStringList languages{QStringLiteral("eng"), QStringLiteral("deu")};
    QString imageCopies;  // a folder the images given to read are copied into

    QString version = QStringLiteral("5.3.0-fake");
};
QString writeFakeTesseract(const QString& folder, const FakeTesseract& fake);

// The lines a fake tesseract logged (one per page read); empty when none.
QStringList fakeTesseractLog(const QString& logPath);

}  // namespace qm::test
