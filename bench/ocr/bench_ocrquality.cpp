// How much of a scanned page OCR gives back. Pages of real text PDFs are
// "scanned" (rendered at 150, 200 and 300 dpi and wrapped as an image-only
// PDF, kept as grey, bilevel or JPEG) and read the way a search reads them
// (readScannedPages: rendered again at the OCR resolution, read by tesseract).
// For each kind of scan, prints the share of the original page's distinct
// words of four letters or more that the OCR text holds.
//
//   bench_ocrquality <folder | file.pdf>... [--pages N] [--dpi D] [--langs L]
//
// The pages taken are the first page of each file (sorted by path) that holds
// at least 120 such words, up to N pages (default 6); --dpi is the OCR
// resolution (default that of the search). With QM_BENCH_MISSED set, the
// words not found are listed.
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "extraction/ocr.h"
#include "extraction/pipeline.h"
#include "extraction/scannedpages.h"
#include "support/scanmaker.h"

namespace {

using namespace qm;

QString pageText(const QString& pdf, int page) {
    QProcess p;
    const QString n = QString::number(page);
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-f"), n, QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Distinct words of four letters or more.
QSet<QString> wordsOf(const QString& text) {
    static const QRegularExpression word(QStringLiteral("\\p{L}{4,}"));
    QSet<QString> words;
    for (auto it = word.globalMatch(text); it.hasNext();) words.insert(it.next().captured());
    return words;
}

struct Page {
    QString pdf;
    int page = 0;
    QSet<QString> words;
};

std::vector<Page> choosePages(const QStringList& inputs, int wanted) {
    QStringList pdfs;
    for (const QString& in : inputs) {
        if (QFileInfo(in).isDir()) {
            QDirIterator it(in, {QStringLiteral("*.pdf")}, QDir::Files,
                            QDirIterator::Subdirectories);
            QStringList found;
            while (it.hasNext()) found << it.next();
            found.sort();
            pdfs << found;
        } else {
            pdfs << in;
        }
    }
    std::vector<Page> pages;
    for (const QString& pdf : pdfs) {
        if (static_cast<int>(pages.size()) >= wanted) break;
        const int count = std::min(test::pdfPageCount(pdf), 6);
        for (int p = 1; p <= count; ++p) {
            QSet<QString> words = wordsOf(pageText(pdf, p));
            if (words.size() >= 120) {
                pages.push_back({pdf, p, std::move(words)});
                break;
            }
        }
    }
    return pages;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList inputs;
    int wanted = 6;
    OcrSettings settings;
    settings.tesseract = findTesseract();
    settings.pdftoppm = findPdftoppm();
    settings.pdfimages = findPdfimages();
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pages") && i + 1 < args.size())
            wanted = args[++i].toInt();
        else if (args[i] == QLatin1String("--dpi") && i + 1 < args.size())
            settings.dpi = args[++i].toInt();
        else if (args[i] == QLatin1String("--langs") && i + 1 < args.size())
            settings.languages = args[++i];
        else
            inputs << args[i];
    }
    if (inputs.isEmpty() || settings.tesseract.isEmpty() || settings.pdftoppm.isEmpty()) {
        std::fprintf(stderr,
                     "usage: bench_ocrquality <folder | file.pdf>... [--pages N] [--dpi D] "
                     "[--langs L] (needs tesseract and pdftoppm)\n");
        return 2;
    }
    const std::vector<Page> pages = choosePages(inputs, wanted);
    std::printf("%zu pages, OCR at %d dpi, languages %s, %d cores\n", pages.size(), settings.dpi,
                qPrintable(settings.languages), TextPipeline::coreCount());
    for (const Page& p : pages)
        std::printf("  %s page %d: %lld words\n", qPrintable(p.pdf), p.page,
                    static_cast<long long>(p.words.size()));

    QTemporaryDir dir;
    const struct {
        test::ScanKind kind;
        const char* name;
    } kinds[] = {{test::ScanKind::Grey, "grey"},
                 {test::ScanKind::Bilevel, "bilevel"},
                 {test::ScanKind::Jpeg, "JPEG"}};
    // Every page read at once on every core, as a search reads the pages of one file.
    RangeHelpers helpers;
    helpers.count = TextPipeline::coreCount() - 1;
    helpers.join = [](const std::function<bool()>& wanted) { return wanted(); };
    bool allMet = true;
    const bool showMissed = qEnvironmentVariableIsSet("QM_BENCH_MISSED");
    for (int scanDpi : {150, 200, 300}) {
        for (const auto& k : kinds) {
            std::vector<test::MadePage> made;
            long long total = 0;
            for (const Page& p : pages) {
                made.push_back({test::renderPage(p.pdf, p.page, scanDpi), scanDpi, {}});
                total += p.words.size();
            }
            const QString scan = dir.path() + QStringLiteral("/scan.pdf");
            test::writeMadePdf(scan, made, k.kind);
            std::vector<int> numbers;
            for (std::size_t i = 0; i < pages.size(); ++i) numbers.push_back(int(i) + 1);
            ChildToken token;
            QElapsedTimer clock;
            clock.start();
            const OcrRun run =
                readScannedPages(settings, scan, numbers, dir.path(), helpers, token, 0);
            const double seconds = clock.elapsed() / 1000.0;
            long long found = 0;
            double worst = 100.0;
            for (std::size_t i = 0; i < pages.size(); ++i) {
                const auto it = run.texts.find(int(i) + 1);
                const QSet<QString> read = it == run.texts.end()
                                               ? QSet<QString>()
                                               : wordsOf(QString::fromUtf8(it->second));
                long long here = 0;
                QStringList missed;
                for (const QString& w : pages[i].words) {
                    if (read.contains(w))
                        ++here;
                    else
                        missed << w;
                }
                if (showMissed && !missed.isEmpty())
                    std::printf("    missed on page %zu: %s\n", i + 1,
                                qPrintable(missed.join(u' ')));
                found += here;
                worst =
                    std::min(worst, 100.0 * here / std::max<qsizetype>(1, pages[i].words.size()));
            }
            const double share = 100.0 * found / std::max(1LL, total);
            allMet = allMet && share >= 97.0;
            std::printf(
                "scan %3d dpi %-7s: %lld of %lld words found (%.1f %%, worst page %.1f %%), "
                "%.1f s (%.2f s a page)%s\n",
                scanDpi, k.name, found, total, share, worst, seconds,
                seconds / std::max<std::size_t>(1, pages.size()), run.done ? "" : " (OCR failed)");
        }
    }
    std::printf("target (97 %% of the words for every kind of scan): %s\n",
                allMet ? "met" : "NOT met");
    return 0;
}
