// How much of a scanned page OCR gives back, and at what cost. Pages of real
// text PDFs are "scanned" in several kinds (bilevel at 150, 200 and 300 dpi,
// grey at 200, JPEG at 150, grey with noise, skewed by 2 degrees, upside
// down), each kind wrapped as one image-only PDF, and read four ways:
//
//   quillmark  the search's OCR step (readScannedPagesInto: the listing, each
//              page's resolution, a clean scan's own pixels, orientation,
//              straightening, hyphens)
//   before     pages rendered at 200 dpi and read as they lie (no orientation,
//              no straightening), as the search read them before
//   ocrmypdf   Debian's ocrmypdf with its defaults (PDF output, not PDF/A)
//   ocrmypdf+  the same with --clean --deskew (when unpaper is installed)
//
// For each kind and way it prints the share of the original pages' distinct
// words of five letters or more found (and the worst page), the processor
// time a page (this process and its children) and the wall time. Every way
// runs on as many threads as the machine has cores.
//
//   bench_ocrquality <folder | file.pdf>... [--pages N] [--langs L] [--kind NAME]
//                    [--no-ocrmypdf]
//
// The pages taken are the first page of each file (sorted by path) that holds
// at least 120 such words, up to N pages (default 3). With QM_BENCH_MISSED
// set, the words not found are listed.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTransform>
#include <algorithm>
#include <cstdio>
#include <random>

#include "extraction/ocr.h"
#include "extraction/pipeline.h"
#include "extraction/scannedpages.h"
#include "support/pdfmaker.h"
#include "support/scanmaker.h"

namespace {

using namespace qm;

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pageText(const QString& pdf, int page) {
    const QString n = QString::number(page);
    return run(QStringLiteral("pdftotext"),
               {QStringLiteral("-f"), n, QStringLiteral("-l"), n, pdf, QStringLiteral("-")});
}

// Distinct words of five letters or more.
QSet<QString> wordsOf(const QString& text) {
    static const QRegularExpression word(QStringLiteral("\\p{L}{5,}"));
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
        if (!QFileInfo(in).isDir()) {
            pdfs << in;
            continue;
        }
        QDirIterator it(in, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
        QStringList found;
        while (it.hasNext()) found << it.next();
        found.sort();
        pdfs << found;
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

// `image` turned clockwise by `degrees`, on white.
QImage turned(const QImage& image, double degrees) {
    const QImage t = image.convertToFormat(QImage::Format_ARGB32)
                         .transformed(QTransform().rotate(degrees), Qt::SmoothTransformation);
    QImage out(t.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter(&out).drawImage(0, 0, t);
    return out.convertToFormat(QImage::Format_Grayscale8);
}

// Grain of ±40 levels and one pixel in 200 black, as a poor scanner gives.
QImage noisy(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_Grayscale8);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> grain(-40, 40), speck(0, 199);
    for (int y = 0; y < out.height(); ++y) {
        uchar* line = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x)
            line[x] = speck(random) == 0 ? 0 : uchar(std::clamp(line[x] + grain(random), 0, 255));
    }
    return out;
}

struct Kind {
    const char* name;
    int dpi;
    test::ScanKind stored;
    QImage (*change)(const QImage&);
};

QImage same(const QImage& i) {
    return i;
}
QImage skewed(const QImage& i) {
    return turned(i, 2);
}
QImage upsideDown(const QImage& i) {
    return turned(i, 180);
}

// Processor seconds of this process and its children so far.
double cpuSeconds() {
    double s = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        s +=
            u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return s;
}

struct Score {
    double share = 0, worst = 100, cpuPerPage = 0, wall = 0;
    bool ok = true;
};

Score score(const std::vector<Page>& pages, const std::vector<QString>& texts) {
    Score s;
    long long found = 0, total = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const QSet<QString> read = wordsOf(texts[i]);
        long long here = 0;
        QStringList missed;
        for (const QString& w : pages[i].words) {
            if (read.contains(w))
                ++here;
            else
                missed << w;
        }
        if (qEnvironmentVariableIsSet("QM_BENCH_MISSED") && !missed.isEmpty())
            std::printf("    missed on page %zu: %s\n", i + 1, qPrintable(missed.join(u' ')));
        found += here;
        total += pages[i].words.size();
        s.worst = std::min(s.worst, 100.0 * here / std::max<qsizetype>(1, pages[i].words.size()));
    }
    s.share = 100.0 * found / std::max(1LL, total);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList inputs;
    int wanted = 3;
    QString languages = QStringLiteral("eng");
    QString only;  // the kinds whose name holds this
    bool ocrmypdf = !QStandardPaths::findExecutable(QStringLiteral("ocrmypdf")).isEmpty();
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pages") && i + 1 < args.size())
            wanted = args[++i].toInt();
        else if (args[i] == QLatin1String("--langs") && i + 1 < args.size())
            languages = args[++i];
        else if (args[i] == QLatin1String("--kind") && i + 1 < args.size())
            only = args[++i];
        else if (args[i] == QLatin1String("--no-ocrmypdf"))
            ocrmypdf = false;
        else
            inputs << args[i];
    }
    QTemporaryDir dir;
    const OcrEngine engine = OcrEngine::probe(dir.path());
    const OcrSettings settings = ocrSettingsOf(engine, languages);
    if (inputs.isEmpty() || !settings.on() || settings.pdftoppm.isEmpty()) {
        std::fprintf(stderr,
                     "usage: bench_ocrquality <folder | file.pdf>... [--pages N] [--langs L] "
                     "[--kind NAME] [--no-ocrmypdf] (needs tesseract and poppler-utils)\n");
        return 2;
    }
    OcrSettings before = settings;
    before.orient = before.deskew = false;
    const bool unpaper = !QStandardPaths::findExecutable(QStringLiteral("unpaper")).isEmpty();
    const int cores = TextPipeline::coreCount();
    const std::vector<Page> pages = choosePages(inputs, wanted);
    std::printf("%zu pages a kind, languages %s, %d cores, orientation data %s\n", pages.size(),
                qPrintable(languages), cores, engine.osd ? "installed" : "missing");
    if (pages.empty()) {
        std::fprintf(stderr, "no page with 120 words of five letters or more\n");
        return 1;
    }
    for (const Page& p : pages)
        std::printf("  %s page %d: %lld words\n", qPrintable(p.pdf), p.page,
                    static_cast<long long>(p.words.size()));

    const Kind kinds[] = {
        {"bilevel 150", 150, test::ScanKind::Bilevel, same},
        {"bilevel 200", 200, test::ScanKind::Bilevel, same},
        {"bilevel 300", 300, test::ScanKind::Bilevel, same},
        {"grey 200", 200, test::ScanKind::Grey, same},
        {"JPEG 150", 150, test::ScanKind::Jpeg, same},
        {"noisy 200", 200, test::ScanKind::Grey, noisy},
        {"skewed 2 deg", 200, test::ScanKind::Grey, skewed},
        {"upside down", 200, test::ScanKind::Grey, upsideDown},
    };
    RangeHelpers helpers;
    helpers.count = cores - 1;
    helpers.join = [](const std::function<bool()>& wanted) { return wanted(); };
    const int n = static_cast<int>(pages.size());
    std::vector<int> numbers;
    for (int i = 1; i <= n; ++i) numbers.push_back(i);
    const char* ways[] = {"quillmark", "before", "ocrmypdf", "ocrmypdf+"};
    std::map<std::string, std::vector<double>> cpu, wall;
    std::printf("%-12s %-10s %8s %7s %9s %8s\n", "kind", "way", "words %", "worst", "cpu/page",
                "wall s");
    for (const Kind& k : kinds) {
        if (!QString::fromUtf8(k.name).contains(only)) continue;
        std::vector<test::MadePage> made;
        for (const Page& p : pages)
            made.push_back({k.change(test::renderPage(p.pdf, p.page, k.dpi)), k.dpi, {}});
        const QString scan = dir.path() + QStringLiteral("/scan.pdf");
        test::writeMadePdf(scan, made, k.stored);
        for (const char* way : ways) {
            const std::string w = way;
            if (w.starts_with("ocrmypdf") && (!ocrmypdf || (w == "ocrmypdf+" && !unpaper)))
                continue;
            std::vector<QString> texts(pages.size());
            const double cpu0 = cpuSeconds();
            QElapsedTimer clock;
            clock.start();
            bool ok = true;
            if (w == "quillmark") {
                const QString txt = dir.path() + QStringLiteral("/scan.txt");
                test::writeBytes(txt, QByteArray(n, '\f'));
                ChildToken token;
                const OcrStep step =
                    readScannedPagesInto(settings, scan, txt, dir.path(), helpers, token, 0);
                ok = !step.failed;
                QFile f(txt);
                f.open(QIODevice::ReadOnly);
                const QList<QByteArray> read = f.readAll().split('\f');
                for (int i = 0; i < n && i < read.size(); ++i)
                    texts[i] = QString::fromUtf8(read[i]);
            } else if (w == "before") {
                ChildToken token;
                const OcrRun r =
                    readScannedPages(before, scan, numbers, dir.path(), helpers, token, 0);
                ok = r.done;
                for (const auto& [page, text] : r.texts) texts[page - 1] = QString::fromUtf8(text);
            } else {
                const QString out = dir.path() + QStringLiteral("/ocrmypdf.pdf");
                QStringList a{QStringLiteral("-q"),
                              QStringLiteral("-j"),
                              QString::number(cores),
                              QStringLiteral("--output-type"),
                              QStringLiteral("pdf"),
                              QStringLiteral("-l"),
                              languages};
                if (w == "ocrmypdf+") a << QStringLiteral("--clean") << QStringLiteral("--deskew");
                QProcess p;
                p.start(QStringLiteral("ocrmypdf"), a << scan << out);
                p.waitForFinished(-1);
                ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
                for (int i = 0; i < n; ++i) texts[i] = pageText(out, i + 1);
                QFile::remove(out);
            }
            Score s = score(pages, texts);
            s.wall = clock.elapsed() / 1000.0;
            s.cpuPerPage = (cpuSeconds() - cpu0) / std::max(1, n);
            cpu[w].push_back(s.cpuPerPage);
            wall[w].push_back(s.wall);
            std::printf("%-12s %-10s %8.1f %7.1f %9.2f %8.1f%s\n", k.name, way, s.share, s.worst,
                        s.cpuPerPage, s.wall, ok ? "" : " (failed)");
            std::fflush(stdout);
        }
    }
    std::printf("totals: processor seconds a page (mean over kinds), wall seconds (sum)\n");
    for (const char* way : ways) {
        const auto& c = cpu[way];
        if (c.empty()) continue;
        double cs = 0, ws = 0;
        for (double v : c) cs += v;
        for (double v : wall[way]) ws += v;
        std::printf("  %-10s %6.2f %8.1f\n", way, cs / c.size(), ws);
    }
    return 0;
}
