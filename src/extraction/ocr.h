#pragma once
// Scanned pages read with OCR. A page is rendered as a grey image by pdftoppm
// (poppler-utils) and read by tesseract (package tesseract-ocr, languages as
// tesseract-ocr-LANG); both run through runChild (child.h), each tesseract on
// one thread, so that J workers keep J cores busy. Languages are written in
// tesseract's form: codes joined by '+' ("eng+deu").

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include "extraction/child.h"

namespace qm {

// The package that brings tesseract (with English).
inline constexpr const char* kOcrPackage = "tesseract-ocr";
// The resolution pages are rendered at for reading. Measured on scans of real
// pages (grey, bilevel, JPEG at 150, 200 and 300 dpi), 200 read as many words
// as 300 or more (bilevel scans more: a coarse 1-bit scan rendered finer shows
// its jagged edges to the reader), in three quarters of the time.
inline constexpr int kOcrDpi = 200;
// The languages read when none of the user's are installed.
inline constexpr const char* kFallbackOcrLanguage = "eng";

// The absolute paths of tesseract, pdftoppm and pdfimages found on PATH; empty
// when there is none.
QString findTesseract();
QString findPdftoppm();
QString findPdfimages();
QString findPdfinfo();

// What tesseract says of itself: the languages installed (from the output of
// `--list-langs`; its heading and the script detector "osd" left out), and
// its version (from the first line of `--version`, "tesseract 5.3.0" gives
// "5.3.0"; empty when there is none).
QStringList parseInstalledLanguages(const QByteArray& listOutput);
QString parseEngineVersion(const QByteArray& versionOutput);

// The engine as asked once: its path, installed languages and version. Not
// usable when tesseract is missing or did not answer.
struct OcrEngine {
    QString tesseract;
    QStringList installed;
    QString version;
    bool osd = false;  // the data of orientation and script detection is installed
    bool usable() const { return !tesseract.isEmpty() && !version.isEmpty(); }

    // Asks `tesseract` (empty: found on PATH); its answers pass through
    // files in `folder`, removed afterwards.
    static OcrEngine probe(const QString& folder, const QString& tesseract = {},
                           int timeLimitMs = 30000);
};

// The tesseract code of a locale's language ("de_DE" gives "deu", Chinese
// "chi_sim" or "chi_tra" by its script); empty for the C locale.
QString ocrLanguageOf(const QLocale& locale);
// The languages of `locales` (the user's, most wanted first) that are
// installed, joined in tesseract's form; `kFallbackOcrLanguage` when none is.
QString defaultOcrLanguages(const QStringList& installed,
                            const QList<QLocale>& locales = {QLocale::system()});
// The codes of `languages` ("eng+deu") that are not installed, in order; an
// empty code (as in "eng+" or "") counts as one missing.
QStringList missingOcrLanguages(const QString& languages, const QStringList& installed);

// The way pages are read beyond the settings: bilevel and coarse scans at
// their own resolution, bilevel ones with their strokes thickened, clean grey
// and colour scans from their own pixels, stamped scans read, the text from
// tesseract's tsv with words split at line ends joined. Any change to it is a
// change of this name, so that texts read the old way are read again, once.
inline constexpr const char* kOcrMethod =
    "own dpi of bilevel and coarse scans, thickened, own pixels of clean scans, stamps, tsv, "
    "hyphens joined";
// What tells an OCR text apart in the text cache: the engine's version, the
// languages, the resolution and the way of reading (the method, orientation
// detection, straightening), so that a text read otherwise is not taken for
// this one.
QString ocrCacheTag(const QString& engineVersion, const QString& languages, int dpi = kOcrDpi,
                    bool orient = false, bool deskew = false);

// How pages are read: the programs, the languages and the resolution.
struct OcrSettings {
    QString tesseract;
    QString pdftoppm;
    QString pdfimages;
    QString pdfinfo;  // page sizes; none: every page at `dpi`
    QString languages = QString::fromLatin1(kFallbackOcrLanguage);
    int dpi = kOcrDpi;
    // A page whose letters show it upside down is turned (ocrimage.h); a page
    // read with low confidence is read again with tesseract's orientation
    // detection (its data installed), so that a page on its side or upside
    // down is read upright; the surer reading is kept.
    bool orient = false;
    // A page's image is straightened before it is read (ocrimage.h).
    bool deskew = true;
    // The page is a bilevel scan: its strokes are thickened before it is
    // read (ocrimage.h). Set page by page.
    bool thicken = false;
    // The page is one grey or colour scan at `dpi`: its own pixels are read
    // (pdfimages) when they show what the render shows. Set page by page.
    bool ownPixels = false;
    QString engineVersion;
    bool on() const { return !tesseract.isEmpty(); }
    // What tells texts read this way apart in the text cache.
    QString reading() const { return ocrCacheTag(engineVersion, languages, dpi, orient, deskew); }
    // The cache's way of reading: this reading when pages are read, else plain.
    QString cacheTag() const { return on() ? reading() : QString(); }
};

// How this engine reads pages in `languages`, with poppler's tools found on
// PATH; not on when the engine is not usable.
OcrSettings ocrSettingsOf(const OcrEngine& engine, const QString& languages);

// pdftoppm: page `page` of `pdf` as one grey PGM image on standard output.
QStringList renderArguments(const QString& pdf, int page, int dpi);
// pdfimages: the images of page `page` of `pdf` as they are stored, written
// as `root`-000.pgm or .ppm (and on).
QStringList ownPixelArguments(const QString& pdf, int page, const QString& root);
// tesseract: the words of `image` in its tsv form (ocrtext.h) on standard
// output; `orient`: the page's orientation detected first and the page read
// upright.
QStringList recognizeArguments(const QString& image, const QString& languages, int dpi,
                               bool orient = false);
// The environment tesseract runs in: one thread.
QStringList recognizeEnvironment();

// How reading one page ended.
struct PageReading {
    bool done = false;      // `textPath` holds what tesseract read (its tsv form)
    bool ended = false;     // ended through the token
    bool timedOut = false;  // the render or the reading reached the time limit
    bool lost = false;      // the image or the text could not all be written (a full disk)
};

// Renders page `page` of `pdf` into `folder` (and takes its scan's own
// pixels instead, when asked and they show the same) and reads it into
// `textPath`; the images are removed afterwards. Each program may take `timeLimitMs`. Both
// outputs come through pipes and are written here, every write checked.
PageReading readScannedPage(const OcrSettings& settings, const QString& pdf, int page,
                            const QString& folder, const QString& textPath, ChildToken& token,
                            int timeLimitMs);

}  // namespace qm
