#include "extraction/scannedpages.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "extraction/extractor.h"
#include "extraction/ocrtext.h"
#include "fs/fs.h"
#include "text/display.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

namespace {

// Counts the pages of a text given piece by piece (valid UTF-8, split between
// code points) and notes those without a printable character, and those with
// only a few.
struct PageScan {
    TextPages pages;
    bool printable = false;
    int characters = 0;  // printable characters but blanks, up to kMaxStampChars

    void see(char32_t c) {
        if (!text::isPrintable(c)) return;
        printable = true;
        if (c != U' ' && c != 0xA0 && characters < kMaxStampChars) ++characters;
    }
    void add(std::string_view chunk) {
        const auto* s = reinterpret_cast<const unsigned char*>(chunk.data());
        const std::size_t n = chunk.size();
        for (std::size_t i = 0; i < n;) {
            if (s[i] < 0x80) {
                const unsigned char b = s[i++];
                if (b == '\f') {
                    ++pages.count;
                    if (!printable)
                        pages.textless.push_back(pages.count);
                    else if (characters < kMaxStampChars)
                        pages.fewCharacters.push_back(pages.count);
                    printable = false;
                    characters = 0;
                } else {
                    see(b);
                }
                continue;
            }
            // Chunks are valid UTF-8.
            const std::size_t len =
                std::max<std::size_t>(1, utf8::validSequenceLength(s + i, n - i));
            see(utf8::decode(s + i, len));
            i += len;
        }
    }
};

}  // namespace

TextPages findTextlessPages(const QString& textPath) {
    PageScan scan;
    forEachFileChunk(textPath, [&](std::string_view chunk) { scan.add(chunk); });
    return scan.pages;
}

TextPages findTextlessPagesIn(std::string_view utf8) {
    PageScan scan;
    scan.add(utf8);
    return scan.pages;
}

QStringList imageListArguments(const QString& pdf, int first, int last) {
    return {QStringLiteral("-list"), QStringLiteral("-f"),  QString::number(first),
            QStringLiteral("-l"),    QString::number(last), pathArgument(pdf)};
}

namespace {

// The square inches an image of a pdfimages listing's row covers on its page;
// infinite when its listing gives no resolution.
double imageArea(const QList<QByteArray>& fields) {
    constexpr double unknown = std::numeric_limits<double>::infinity();
    if (fields.size() < 14) return unknown;
    bool okW = false, okH = false, okX = false, okY = false;
    const double w = fields[3].toDouble(&okW), h = fields[4].toDouble(&okH);
    const double x = fields[12].toDouble(&okX), y = fields[13].toDouble(&okY);
    if (!okW || !okH || !okX || !okY || !(x > 0) || !(y > 0)) return unknown;
    const double area = (w / x) * (h / y);
    return area >= 0 ? area : unknown;
}

}  // namespace

std::vector<int> parseImagePages(const QByteArray& listing, const std::map<int, PageSize>& sizes,
                                 double minCover) {
    // page   num  type   width height color comp bpc  enc interp  object ID x-ppi y-ppi ...
    // --------------------------------------------------------------------...
    //    1     0 image    1240  1754  gray    1   8  image  no         4  0   150   150 ...
    std::map<int, double> covered;  // square inches of images, by page
    for (const QByteArray& line : listing.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3) continue;
        bool ok = false;
        const int page = fields[0].toInt(&ok);
        if (!ok || page <= 0) continue;
        fields[1].toInt(&ok);  // the image's number: a row of the listing
        if (!ok) continue;
        double& area = covered[page];
        if (fields[2] != "mask" && fields[2] != "smask") area += imageArea(fields);
    }
    std::vector<int> pages;
    for (const auto& [page, area] : covered) {
        const auto size = sizes.find(page);
        if (size == sizes.end() ||
            area >= minCover * size->second.width * size->second.height / (72.0 * 72.0))
            pages.push_back(page);
    }
    return pages;
}

std::vector<int> pagesWithImages(const QString& pdfimages, const QString& pdf,
                                 const std::vector<int>& pages, const QString& reportPath,
                                 ChildToken& token, int timeLimitMs, ChildResult* run,
                                 QByteArray* listing) {
    std::vector<int> found;
    if (pages.empty() || pdfimages.isEmpty()) return found;
    // One listing for the span of the pages asked about.
    const ChildResult r = runChild(pdfimages, imageListArguments(pdf, pages.front(), pages.back()),
                                   token, {}, timeLimitMs, reportPath);
    if (run) *run = r;
    if (const auto answer = takeAnswer(r, reportPath)) {
        const std::vector<int> listed = parseImagePages(*answer);
        std::set_intersection(pages.begin(), pages.end(), listed.begin(), listed.end(),
                              std::back_inserter(found));
        if (listing) *listing = *answer;
    }
    return found;
}

QStringList pageSizeArguments(const QString& pdf, int first, int last) {
    return {QStringLiteral("-f"), QString::number(first), QStringLiteral("-l"),
            QString::number(last), pathArgument(pdf)};
}

std::map<int, PageSize> parsePageSizes(const QByteArray& listing) {
    std::map<int, PageSize> sizes;
    for (const QByteArray& line : listing.split('\n')) {
        // Page    2 size:  595.28 x 841.89 pts (A4)
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 7 || f[0] != "Page" || f[2] != "size:" || f[4] != "x" || f[6] != "pts")
            continue;
        bool okPage = false, okW = false, okH = false;
        const int page = f[1].toInt(&okPage);
        const double w = f[3].toDouble(&okW), h = f[5].toDouble(&okH);
        if (okPage && okW && okH && page > 0 && w > 0 && h > 0) sizes[page] = {w, h};
    }
    return sizes;
}

int renderDpi(PageSize size, int dpi) {
    const double longSidePoints = std::max(size.width, size.height);
    if (!(longSidePoints > 0)) return dpi;
    const double fit = std::floor(kMaxRenderPixels * 72.0 / longSidePoints);
    return fit >= dpi ? dpi : std::max(1, static_cast<int>(fit));
}

std::map<int, int> ownScanDpis(const QByteArray& listing, std::set<int>* thickened,
                               std::set<int>* ownPixels) {
    struct Largest {
        double pixels = -1;
        int dpi = 0;         // 0: read at the settings' resolution
        bool thick = false;  // bilevel, scanned no finer than kMaxBilevelDpi
        int rows = 0;        // of the listing, masks included
        bool plain = false;  // grey or colour of 8 bits, as fine across as down
    };
    std::map<int, Largest> largest;
    for (const QByteArray& line : listing.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        bool okPage = false, okW = false, okH = false, okPpi = false;
        const int page = f.size() < 14 ? 0 : f[0].toInt(&okPage);
        if (!okPage || page <= 0) continue;
        ++largest[page].rows;
        if (f[2] != "image") continue;
        const double pixels = f[3].toDouble(&okW) * f[4].toDouble(&okH);
        const double ppi = f[12].toDouble(&okPpi);
        if (!okW || !okH) continue;
        Largest& l = largest[page];
        if (pixels <= l.pixels) continue;
        // JPEG's blocks show in the pixels; the render smooths them.
        l.plain = f[7] == "8" && (f[6] == "1" || f[6] == "3") && f[8] != "jpeg" && f[8] != "jpx" &&
                  f[12] == f[13] && okPpi && ppi >= kMinBilevelDpi && ppi <= kOcrDpi;
        l.pixels = pixels;
        const bool bilevel = f[7] == "1";
        const double own = !okPpi || !(ppi > 0) ? 0
                           : bilevel            ? std::min(ppi, double{kMaxBilevelDpi})
                           : ppi < kOcrDpi      ? ppi
                                                : 0;
        l.dpi = own > 0 ? static_cast<int>(std::lround(std::max(own, double{kMinBilevelDpi}))) : 0;
        l.thick = bilevel && l.dpi > 0 && ppi <= kMaxBilevelDpi;
    }
    std::map<int, int> dpis;
    for (const auto& [page, l] : largest) {
        if (l.dpi > 0) dpis[page] = l.dpi;
        if (l.thick && thickened) thickened->insert(page);
        if (ownPixels && l.rows == 1 && l.plain) ownPixels->insert(page);
    }
    return dpis;
}

OcrRun readScannedPages(const OcrSettings& settings, const QString& pdf,
                        const std::vector<int>& pages, const QString& folder,
                        const RangeHelpers& helpers, ChildToken& token, int timeLimitMs,
                        std::atomic<int>* pagesDone, const std::map<int, int>& dpis,
                        const std::set<int>& bilevel, const std::set<int>& ownPixels) {
    OcrRun run;
    const std::size_t n = pages.size();
    std::vector<PageReading> readings(n);
    std::vector<OcrPageText> texts(n);
    std::atomic<std::size_t> next{0};
    const auto readPages = [&] {
        for (std::size_t k = next++; k < n; k = next++) {
            const QString textPath = folder + QStringLiteral("/ocr%1.txt").arg(pages[k]);
            OcrSettings page = settings;
            if (const auto dpi = dpis.find(pages[k]); dpi != dpis.end()) page.dpi = dpi->second;
            page.thicken = bilevel.contains(pages[k]);
            page.ownPixels = ownPixels.contains(pages[k]) && !page.pdfimages.isEmpty();
            readings[k] =
                readScannedPage(page, pdf, pages[k], folder, textPath, token, timeLimitMs);
            if (readings[k].done) {
                QFile f(textPath);
                if (f.open(QIODevice::ReadOnly)) {
                    texts[k] = parseTesseractTsv(f.readAll());
                    texts[k].text = joinLineEndHyphens(cleanOcrText(texts[k].text));
                }
                f.close();
                fs::removeQuietly(textPath);
                if (pagesDone) ++*pagesDone;
            } else {
                next = n;  // the file is given up: the other pages are of no use
            }
        }
    };
    shareWithHelpers(n, next, helpers, token, readPages);

    run.done = true;
    for (std::size_t k = 0; k < n; ++k) {
        run.ended = run.ended || readings[k].ended;
        run.timedOut = run.timedOut || readings[k].timedOut;
        run.lost = run.lost || readings[k].lost;
        run.done = run.done && readings[k].done;
        if (!readings[k].done || texts[k].text.isEmpty()) continue;
        run.texts[pages[k]] = std::move(texts[k].text);
        run.confidence[pages[k]] = texts[k].confidence;
    }
    run.done = run.done && !run.ended && !run.timedOut;
    if (!run.done) {
        run.texts.clear();
        run.confidence.clear();
    }
    return run;
}

OcrStep readScannedPagesInto(const OcrSettings& settings, const QString& pdf, const QString& txt,
                             const QString& folder, const RangeHelpers& helpers, ChildToken& token,
                             int timeLimitMs, OcrProgress* progress) {
    OcrStep step;
    const TextPages text = findTextlessPages(txt);
    std::vector<int> candidates;
    std::set_union(text.textless.begin(), text.textless.end(), text.fewCharacters.begin(),
                   text.fewCharacters.end(), std::back_inserter(candidates));
    if (candidates.empty()) return step;
    // A listing (or a size) that was ended, timed out or lost ends the step.
    const auto interrupted = [&step](const ChildResult& r) {
        step.ended = r.ended;
        step.timedOut = r.timedOut;
        step.lost = r.outputLost;
        return step.ended || step.timedOut || step.lost;
    };
    ChildResult listed;
    QByteArray listing;
    const std::vector<int> withImages =
        pagesWithImages(settings.pdfimages, pdf, candidates, folder + QStringLiteral("/images.txt"),
                        token, timeLimitMs, &listed, &listing);
    if (interrupted(listed) || withImages.empty()) return step;
    std::map<int, PageSize> sizes;
    if (!settings.pdfinfo.isEmpty()) {
        const QString sizesPath = folder + QStringLiteral("/sizes.txt");
        const ChildResult r = runChild(
            settings.pdfinfo, pageSizeArguments(pdf, withImages.front(), withImages.back()), token,
            {}, timeLimitMs, sizesPath);
        if (const auto answer = takeAnswer(r, sizesPath)) sizes = parsePageSizes(*answer);
        if (interrupted(r)) return step;
    }
    // A page whose only image is a logo is no scanned sheet; a page of its
    // own text is one only when an image covers most of it.
    std::vector<int> scanned;
    std::set<int> stamped;
    for (const int page : parseImagePages(listing, sizes)) {
        if (std::binary_search(text.textless.begin(), text.textless.end(), page))
            scanned.push_back(page);
    }
    for (const int page : parseImagePages(listing, sizes, kMinStampedScanCover)) {
        if (sizes.contains(page) &&
            std::binary_search(text.fewCharacters.begin(), text.fewCharacters.end(), page))
            stamped.insert(page);
    }
    scanned.insert(scanned.end(), stamped.begin(), stamped.end());
    std::sort(scanned.begin(), scanned.end());
    if (scanned.empty()) return step;
    // A bilevel scan, or a coarse grey one, is read at its own resolution, a
    // page larger than a poster coarser; a bilevel scan's strokes are
    // thickened unless it is read coarser than it was scanned (the reduction
    // greys its edges already).
    std::set<int> thickened, ownPixels;
    const std::map<int, int> own = ownScanDpis(listing, &thickened, &ownPixels);
    std::map<int, int> dpis;
    for (const int page : scanned) {
        const auto scan = own.find(page);
        int dpi = scan == own.end() ? settings.dpi : scan->second;
        if (const auto size = sizes.find(page); size != sizes.end())
            dpi = renderDpi(size->second, dpi);
        if (dpi != settings.dpi) dpis[page] = dpi;
    }
    if (progress) progress->pages = static_cast<int>(scanned.size());
    const OcrRun run =
        readScannedPages(settings, pdf, scanned, folder, helpers, token, timeLimitMs,
                         progress ? &progress->done : nullptr, dpis, thickened, ownPixels);
    step.ended = run.ended;
    step.timedOut = run.timedOut;
    step.lost = run.lost;
    step.failed = !run.done;
    if (!run.done || run.texts.empty()) return step;
    const QString spliced = folder + QStringLiteral("/ocr.txt");
    if (!spliceOcrTexts(txt, run.texts, spliced, stamped) ||
        ::rename(fs::encodeName(spliced).constData(), fs::encodeName(txt).constData()) != 0) {
        fs::removeQuietly(spliced);
        step.failed = step.lost = true;
        return step;
    }
    for (const auto& [page, pageText] : run.texts) {
        step.pages.push_back(page);
        step.confidence.push_back(run.confidence.at(page));
    }
    return step;
}

}  // namespace qm
