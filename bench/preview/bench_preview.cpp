// The preview pane, headless, on real PDFs:
//
//   bench_preview [--width PIXELS] [--password PASSWORD] PHRASE FILE...
//   bench_preview --agree PAGES PHRASE FILE...
//
// For each file (its page count from qpdf): the pane is asked for five
// pages spread over the file, each not shown before ("first": pdftotext's
// word boxes and pdftoppm's render in child processes), then for the same
// five again ("repeated": the pages kept in memory). Prints the median and the
// slowest of each, in milliseconds, from the request to the pane's hitShown.
// With --agree: for the first PAGES pages of each file, whether the pane finds
// as many occurrences on the page (ignoring case) as the search finds in the
// page's text as pdftotext extracts it; prints the pages that disagree.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "app/previewpane.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "preview/hitmap.h"
#include "search/matcher.h"

namespace {

using namespace qm;

int pageCount(const QString& pdf, const QString& password = {}) {
    QProcess p;
    // qpdf reads the password from standard input.
    p.start(findQpdf(),
            {QStringLiteral("--password-file=-"), QStringLiteral("--show-npages"), pdf});
    p.write(password.toUtf8() + '\n');
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed().toInt();
}

// Milliseconds from asking for `page` to the pane showing it.
double timeHit(PreviewPane& pane, const QString& pdf, int page, const QString& phrase,
               const QString& password) {
    if (!password.isEmpty()) pane.rememberPassword(pdf, password);
    QEventLoop loop;
    bool shown = false;
    const auto c = QObject::connect(&pane, &PreviewPane::hitShown, &loop, [&] {
        shown = true;
        loop.quit();
    });
    QElapsedTimer t;
    t.start();
    pane.showHit({pdf, page, phrase, 0, CaseMode::IgnoreCase, false});
    // A kept page is shown before showHit returns.
    if (!shown) loop.exec();
    const double ms = t.nsecsElapsed() / 1e6;
    QObject::disconnect(c);
    return ms;
}

// Occurrences of `phrase` in page `page` as extracted, and as the pane finds them.
std::pair<std::size_t, std::size_t> counts(const QString& pdf, int page, const QString& phrase,
                                           const QString& folder) {
    QProcess p;
    const QString n = QString::number(page);
    p.start(findExtractor(),
            {QStringLiteral("-f"), n, QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    TermMatcher matcher(CaseMode::IgnoreCase);
    const std::size_t extracted = matcher.countOccurrences(
        TextChunks::fromUtf8(decodeToUtf8(p.readAllStandardOutput().toStdString())), phrase);
    ChildToken token;
    const PageImage image =
        loadPage({pdf, page, 64, {}}, {findPdftoppm(), findExtractor(), {}}, folder, token);
    return {extracted, findOnPage(image.words, phrase, CaseMode::IgnoreCase, false).size()};
}

int agree(const QStringList& args) {
    const int pages = args[0].toInt();
    const QString phrase = args[1];
    QTemporaryDir work;
    int same = 0, all = 0;
    for (const QString& pdf : args.mid(2)) {
        const int last = std::min(pages, pageCount(pdf));
        for (int page = 1; page <= last; ++page) {
            const auto [extracted, found] = counts(pdf, page, phrase, work.path());
            ++all;
            if (extracted == found)
                ++same;
            else
                std::printf("%s page %d: %zu in the text, %zu on the page\n", qPrintable(pdf), page,
                            extracted, found);
        }
    }
    std::printf("%d of %d pages agree (\"%s\")\n", same, all, qPrintable(phrase));
    return 0;
}

struct Figures {
    double median, slowest;
};
Figures summary(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() > 3 && args[0] == QStringLiteral("--agree")) return agree(args.mid(1));
    int width = 800;
    if (args.size() > 1 && args[0] == QStringLiteral("--width")) {
        width = args[1].toInt();
        args = args.mid(2);
    }
    QString password;  // every file's (a protected file is decrypted for each page)
    if (args.size() > 1 && args[0] == QStringLiteral("--password")) {
        password = args[1];
        args = args.mid(2);
    }
    if (args.size() < 2) {
        std::fprintf(
            stderr, "usage: bench_preview [--width PIXELS] [--password PASSWORD] PHRASE FILE...\n");
        return 2;
    }
    const QString phrase = args.takeFirst();
    QTemporaryDir work;
    PreviewPane pane([&] {
        return PageSource::Setup{{findPdftoppm(), findExtractor(), findQpdf()}, work.path()};
    });
    pane.resize(width, 600);
    pane.show();
    std::printf("%-28s %6s  %-22s %-22s\n", "file", "pages", "first: median / max",
                "repeated: median / max");
    for (const QString& pdf : args) {
        const int pages = pageCount(pdf, password);
        if (pages == 0) continue;
        std::vector<int> picked;
        for (int i = 0; i < 5; ++i) picked.push_back(1 + (pages - 1) * i / 4);
        picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
        std::vector<double> first, again;
        for (int p : picked) first.push_back(timeHit(pane, pdf, p, phrase, password));
        for (int p : picked) again.push_back(timeHit(pane, pdf, p, phrase, password));
        const Figures a = summary(first), b = summary(again);
        std::printf(
            "%-28s %6d  %8.1f / %-11.1f %8.1f / %-11.1f%s\n",
            qPrintable(QFileInfo(pdf).fileName().left(28)), pages, a.median, a.slowest, b.median,
            b.slowest,
            pane.message().isEmpty() ? "" : qPrintable(QStringLiteral("  ") + pane.message()));
    }
    return 0;
}
