// Throughput of the search run against a plain loop of pdftotext over the same
// files, and against pdfgrep -F for the same phrase.
//
//   bench_pipeline [folder] [count]
//
// Without a folder, `count` PDFs (default 300) of 1 to 40 pages are made in a
// temporary folder first. Prints files/s and pages/s for each way and the run's
// overhead over the plain loop.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/readability.h"
#include "filelist/filelist.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/session.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "support/headlesshost.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"

namespace {

using namespace qm;

const QString kPhrase = QStringLiteral("quillmark");

// A search run's host without a window.
struct QuietHost : test::HeadlessRun {
    explicit QuietHost(const QStringList& files) {
        list = files;
        searchOptions.singlePhrase = kPhrase;
        searchOptions.mode = SearchMode::Single;
        searchOptions.caseMode = CaseMode::IgnoreCase;
    }
};

// Counts occurrences, nothing more.
struct Counter : SearchSink {
    std::size_t found = 0;
    SinkAnswer occurrence(const Hit&) override {
        ++found;
        return SinkAnswer::More;
    }
};

const QStringList kWords = {
    QStringLiteral("the"),    QStringLiteral("of"),     QStringLiteral("and"),
    QStringLiteral("search"), QStringLiteral("text"),   QStringLiteral("page"),
    QStringLiteral("file"),   QStringLiteral("window"), QStringLiteral("report"),
    QStringLiteral("Zürich"), QStringLiteral("λόγος"),  QStringLiteral("слово"),
    QStringLiteral("table"),  QStringLiteral("number"), QStringLiteral("result")};

int makeFolder(const QString& folder, int count, QStringList& files) {
    QRandomGenerator rng(20240601);
    int pages = 0;
    for (int f = 0; f < count; ++f) {
        // Mostly short files, some long ones.
        const int n = rng.bounded(100) < 80 ? 1 + rng.bounded(5) : 10 + rng.bounded(31);
        QStringList texts;
        for (int p = 0; p < n; ++p) {
            QStringList lines;
            for (int l = 0; l < 45; ++l) {
                QStringList words;
                for (int w = 0; w < 12; ++w) words << kWords[rng.bounded(kWords.size())];
                if (rng.bounded(40) == 0) words << kPhrase;
                lines << words.join(u' ');
            }
            texts << lines.join(u'\n');
        }
        const QString path = folder + QStringLiteral("/doc %1.pdf").arg(f, 4, 10, QChar(u'0'));
        test::makeTextPdf(path, texts);
        files << path;
        pages += n;
    }
    return pages;
}

int countPages(const QStringList& files) {
    int pages = 0;
    for (const QString& f : files) {
        QProcess p;
        p.start(QStringLiteral("pdfinfo"), {f});
        p.waitForFinished(-1);
        for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
            if (line.startsWith("Pages:")) pages += line.mid(6).trimmed().toInt();
    }
    return pages;
}

void print(const char* what, double seconds, int files, int pages) {
    std::printf("%-28s %8.2f s %9.1f files/s %9.1f pages/s\n", what, seconds, files / seconds,
                pages / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString extractor = findExtractor();
    if (extractor.isEmpty()) {
        std::fprintf(stderr, "pdftotext not found\n");
        return 1;
    }
    QTemporaryDir made;
    QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int count = argc > 2 ? std::atoi(argv[2]) : 300;
    const int limit = argc > 3 ? std::atoi(argv[3]) : 0;  // search only the first files
    QStringList files;
    int pages = 0;
    if (folder.isEmpty() || !QDir(folder).exists() ||
        QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty()) {
        if (folder.isEmpty()) folder = made.path();
        QDir().mkpath(folder);
        std::printf("making %d PDFs in %s ...\n", count, qPrintable(folder));
        pages = makeFolder(folder, count, files);
    } else {
        for (const QString& n : QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files))
            files << folder + u'/' + n;
        if (limit > 0 && files.size() > limit) files = files.mid(0, limit);
        pages = countPages(files);
    }
    qint64 bytes = 0;
    for (const QString& f : files) bytes += QFileInfo(f).size();
    std::printf("%lld files, %d pages, %.1f MB, phrase \"%s\"\n\n",
                static_cast<long long>(files.size()), pages, bytes / 1e6, qPrintable(kPhrase));

    // Warm the page cache and the extractor's libraries once.
    for (const QString& f : files) QFile(f).open(QIODevice::ReadOnly);

    QTemporaryDir out;
    QElapsedTimer t;
    double plain = 0, engine = 0, grep = 0;
    int engineRows = 0;
    const int rounds = 2;  // best of two for each way
    for (int r = 0; r < rounds; ++r) {
        t.start();
        for (const QString& f : files) {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(extractor, {f, out.path() + QStringLiteral("/out.txt")});
            p.waitForFinished(-1);
        }
        const double a = t.nsecsElapsed() / 1e9;
        plain = r == 0 ? a : std::min(plain, a);

        // One extraction at a time, as the plain loop does.
        QuietHost host(files);
        TextPipeline::Setup setup;
        setup.extractorPath = extractor;
        setup.workFolder = qm::workFolder();
        setup.jobs = 1;
        TextPipeline pipeline(std::move(setup));
        t.start();
        host.run(pipeline);
        const double b = t.nsecsElapsed() / 1e9;
        engine = r == 0 ? b : std::min(engine, b);
        engineRows = static_cast<int>(host.rows.size());
        if (!host.summary.failures.empty())
            std::fprintf(stderr, "unexpected failures:%s\n", qPrintable(host.failureLines()));

        if (!QStandardPaths::findExecutable(QStringLiteral("pdfgrep")).isEmpty()) {
            QProcess g;
            QStringList args{QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("-c"),
                             kPhrase};
            args << files;
            g.setStandardOutputFile(QProcess::nullDevice());
            t.start();
            g.start(QStringLiteral("pdfgrep"), args);
            g.waitForFinished(-1);
            const double c = t.nsecsElapsed() / 1e9;
            grep = r == 0 ? c : std::min(grep, c);
        }
    }
    // Where the run's time goes, one step at a time (one round).
    {
        double st[5] = {0, 0, 0, 0, 0};
        const QString work = qm::workFolder();
        const QString pdf = work + QStringLiteral("/tmp.pdf");
        const QString txt = work + QStringLiteral("/tmp.txt");
        Counter rows;
        ChildToken token;
        for (const QString& f : files) {
            t.start();
            copyToTemporary(f, pdf);
            st[0] += t.nsecsElapsed() / 1e9;
            t.start();
            runChild(extractor, plainArguments(pdf), token, {}, 0, txt);
            st[1] += t.nsecsElapsed() / 1e9;
            t.start();
            isUnreadableText(txt);
            st[2] += t.nsecsElapsed() / 1e9;
            t.start();
            const TextChunks chunks = readFileChunks(txt);
            st[3] += t.nsecsElapsed() / 1e9;
            t.start();
            searchText(f, chunks, {kPhrase}, CaseMode::IgnoreCase, rows);
            st[4] += t.nsecsElapsed() / 1e9;
        }
        std::printf(
            "steps: copy %.3f s, extract %.3f s, check %.3f s, read %.3f s, match %.3f s\n\n",
            st[0], st[1], st[2], st[3], st[4]);
    }
    print("plain pdftotext loop", plain, files.size(), pages);
    print("search run (no window)", engine, files.size(), pages);
    if (grep > 0) print("pdfgrep -F (one process)", grep, files.size(), pages);
    std::printf("\nrows found by the run: %d\n", engineRows);
    std::printf("run overhead over the plain loop: %+.1f %%\n", (engine / plain - 1.0) * 100.0);
    removeWorkFolder();
    return 0;
}
