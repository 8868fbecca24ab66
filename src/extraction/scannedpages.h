#pragma once
// The scanned pages of one extracted file, and their OCR text put in their
// place. pdftotext ends every page with a form feed, so page k of a text is
// what stands between its (k-1)th and kth form feed; a page read by OCR takes
// the place of its (empty) text there, and page numbers, snippets and the
// loose search work on the result as on any text. Texts are read and written
// as streams: memory does not grow with the number of pages.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "extraction/child.h"
#include "extraction/ocr.h"
#include "extraction/pagesplit.h"

namespace qm {

// A page with fewer printable characters than this (blanks not counted) may
// be a scan carrying a stamp: a Bates number, a page number, a header.
inline constexpr int kMaxStampChars = 200;
// The pages of an extracted text: how many (one per form feed), which hold
// no printable character (code points 32-126 and 160 up), and which hold
// some but fewer than kMaxStampChars, in order. Throws qm::Error when the
// file cannot be read.
struct TextPages {
    int count = 0;
    std::vector<int> textless;
    std::vector<int> fewCharacters;
};
TextPages findTextlessPages(const QString& textPath);
// The same of a text in memory (valid UTF-8).
TextPages findTextlessPagesIn(std::string_view utf8);

// A page's size in points, as pdfinfo gives it.
struct PageSize {
    double width = 0;
    double height = 0;
    bool operator==(const PageSize&) const = default;
};

// pdfimages: the images of pages `first` to `last` of `pdf`, listed.
QStringList imageListArguments(const QString& pdf, int first, int last);
// A page without text of its own is read by OCR when its images cover at
// least this share of it: a logo or a stamp alone is no scanned sheet.
inline constexpr double kMinScanCover = 0.15;
// A page with a little text of its own is read by OCR too when its images
// cover at least this share of it (and its size is known): a scan with a stamp.
inline constexpr double kMinStampedScanCover = 0.5;
// The pages named in a listing of pdfimages (`-list`), in order, each once,
// whose images together cover at least `minCover` of the page by `sizes`.
// An image's size on the page is its pixels over its resolution (x-ppi,
// y-ppi); an image without a resolution, and every image of a page not in
// `sizes`, counts as covering its page. Masks lie under their image and are
// not counted again.
std::vector<int> parseImagePages(const QByteArray& listing,
                                 const std::map<int, PageSize>& sizes = {},
                                 double minCover = kMinScanCover);

// Of `pages` (in order), those that hold an image by pdfimages; nothing when
// pdfimages failed, was ended or timed out, or its listing, which goes through
// `reportPath`, could not all be written (`run` tells which). The listing
// itself is put in `listing` when given.
std::vector<int> pagesWithImages(const QString& pdfimages, const QString& pdf,
                                 const std::vector<int>& pages, const QString& reportPath,
                                 ChildToken& token, int timeLimitMs, ChildResult* run = nullptr,
                                 QByteArray* listing = nullptr);

// pdfinfo: the sizes of pages `first` to `last` of `pdf`.
QStringList pageSizeArguments(const QString& pdf, int first, int last);
// The size of each page named in a pdfinfo listing ("Page    2 size: 595.28 x
// 841.89 pts (A4)"). The document's own fields (a title may hold such a line)
// come before the sizes, so a later line for a page replaces an earlier one.
std::map<int, PageSize> parsePageSizes(const QByteArray& listing);
// The longest side of a page's image for reading, in pixels: a page a forged
// file makes huge is rendered coarser rather than as gigabytes.
inline constexpr int kMaxRenderPixels = 8000;
// The resolution a page of `size` is rendered at: `dpi`, lowered (to 1 at
// least) to keep its longer side within kMaxRenderPixels.
int renderDpi(PageSize size, int dpi);

// A page scanned in one bit a pixel is rendered in grey at its scan's own
// resolution, within these bounds: rendered finer, its jagged edges show;
// coarser, its strokes break. Measured on bilevel scans of 8 pages of real
// manuals (bench_ocrquality), 150 dpi scans read at 150 found the words they
// found at 200 with 15 % less processor time; 300 dpi scans read at 300 found
// fewer (96.7 % of the words against 97.3 % at 200) with 30 % more: finer
// than 200 is not worth reading.
inline constexpr int kMinBilevelDpi = 100;
inline constexpr int kMaxBilevelDpi = 200;
// The pages of a pdfimages listing read at their scan's own resolution (of
// their largest image, by pixels), each with that resolution: a scan of one
// bit a pixel, its x-ppi within kMinBilevelDpi..kMaxBilevelDpi; a grey or
// colour scan coarser than kOcrDpi, its x-ppi (at least kMinBilevelDpi): read
// finer, such a scan gives no more words (bench_ocrquality, 6 pages of JPEG
// scans at 150 dpi: 97.9 % at 150 and at 200) for a fifth more processor
// time. Images of unknown resolution are not named. `thickened` (when given)
// gets the bilevel pages scanned no finer than kMaxBilevelDpi; `ownPixels`
// (when given) the pages of one image, grey or colour of 8 bits not stored
// as JPEG, read at its own resolution (its x-ppi and y-ppi alike, at most
// kOcrDpi): those whose render may be taken over by the scan's own pixels
// (ocr.h). Read from their pixels, JPEG scans at 150 dpi gave 97.0 % of the
// words against 98.9 % from the render, which smooths JPEG's blocks.
std::map<int, int> ownScanDpis(const QByteArray& listing, std::set<int>* thickened = nullptr,
                               std::set<int>* ownPixels = nullptr);

struct OcrRun {
    bool done = false;      // every page was read
    bool ended = false;     // a page's reading was ended through the token
    bool timedOut = false;  // a page's reading reached the time limit
    bool lost = false;      // a page's image or text could not all be written
    // The text read from each page that gave any, by page, and how sure the
    // reader was of its words (ocrtext.h).
    std::map<int, QByteArray> texts;
    std::map<int, int> confidence;
};

// Reads `pages` of `pdf`: the caller's thread takes the next page not yet
// begun, and so does each helper from the moment it joins (as the ranges of a
// split extraction do). Work files are made in `folder` and removed.
// `pagesDone` (when given) counts the pages read so far. A page that fails
// ends the rest: the run is then not done. A page in `dpis` is rendered and
// read at its resolution there, every other at the settings' one; a page of
// `bilevel` has its strokes thickened (ocrimage.h), one of `ownPixels` may be
// read from its scan's own pixels.
OcrRun readScannedPages(const OcrSettings& settings, const QString& pdf,
                        const std::vector<int>& pages, const QString& folder,
                        const RangeHelpers& helpers, ChildToken& token, int timeLimitMs,
                        std::atomic<int>* pagesDone = nullptr, const std::map<int, int>& dpis = {},
                        const std::set<int>& bilevel = {}, const std::set<int>& ownPixels = {});

// Progress of one file's OCR, read by the thread that waits for the file.
struct OcrProgress {
    std::atomic<int> pages{0};  // pages to read; 0 while none is known
    std::atomic<int> done{0};   // pages read so far
};

struct OcrStep {
    bool failed = false;          // a page could not be rendered or read: `txt` is as it was
    bool ended = false;           // ended through the token
    bool timedOut = false;        // a render or a reading reached the time limit
    bool lost = false;            // a work file could not all be written (a full disk)
    std::vector<int> pages;       // the pages whose text OCR gave, in order
    std::vector<int> confidence;  // of each of `pages`: its words' mean confidence
};

// The OCR step of one file: the pages of the extracted text `txt` without a
// printable character whose images cover enough of them (parseImagePages) in
// `pdf`, and those with few characters whose images cover most of them, are
// read, and `txt` is rewritten with their texts in place (after the page's
// own text, if any). Work files in `folder`. Throws qm::Error when `txt`
// cannot be read.
OcrStep readScannedPagesInto(const OcrSettings& settings, const QString& pdf, const QString& txt,
                             const QString& folder, const RangeHelpers& helpers, ChildToken& token,
                             int timeLimitMs, OcrProgress* progress = nullptr);

}  // namespace qm
