// A large file extracted as page ranges on spare workers: the joined text is
// byte for byte the text of one whole-file run, a search finds the same rows
// on the same pages, and a range that fails leaves the file to a whole-file
// run. The extractor is a shell script that logs its arguments and runs the
// real pdftotext.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/pagesplit.h"
#include "extraction/pipeline.h"
#include "search/session.h"
#include "support/headlesshost.h"
#include "support/obtain.h"
#include "support/pdfmaker.h"

namespace qm {

namespace {

constexpr int kPages = 300;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every page ends inside a hyphenated word that the next page finishes, so
// each range boundary falls inside one; page 200 (the last of the middle of
// three ranges) is empty, and so is page 150.
QStringList hyphenatedPages() {
    QStringList pages;
    for (int p = 1; p <= kPages; ++p) {
        if (p == 150 || p == 200) {
            pages << QString();
            continue;
        }
        pages << QStringLiteral(
                     "tion of page %1 quillmark\nsome words to search, marker%1\n"
                     "and a word cut at the end: extrac-")
                     .arg(p);
    }
    return pages;
}

}  // namespace

class PageSplitTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString big_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }

    // An extractor that logs "$*" to `log` and then runs pdftotext; with
    // `failFirst`, the range beginning at that page fails instead.
    QString loggingExtractor(const QString& name, const QString& log, int failFirst = 0) {
        QString body = QStringLiteral("echo \"$*\" >> '%1'\n").arg(log);
        if (failFirst > 0)
            body += QStringLiteral("[ \"$1\" = -f ] && [ \"$2\" = %1 ] && exit 1\n").arg(failFirst);
        body += QStringLiteral("exec pdftotext \"$@\"");
        return test::writeScript(dir_.path(), name, body);
    }

    TextPipeline::Setup setup(const QString& extractor, int jobs, bool split,
                              int rangesPerWorker = 1) {
        TextPipeline::Setup s;
        s.extractorPath = extractor;
        s.workFolder = d(QStringLiteral("work-") + QFileInfo(extractor).fileName());
        QDir().mkpath(s.workFolder);
        s.jobs = jobs;
        s.splitMinBytes = split ? 0 : -1;
        s.splitMinPages = 10;
        s.splitRangesPerWorker = rangesPerWorker;
        s.largeTextBytes = 0;  // every text stays on disk: its bytes are compared as they are
        return s;
    }

    // The bytes of the text the pipeline gives for the big file.
    QByteArray textOf(TextPipeline& p) {
        FileRequest request;
        request.path = big_;
        const FileText text = test::obtainText(p, request);
        if (text.outcome != TextOutcome::Text || !text.onDisk) return "no text";
        return readAll(text.onDisk->path);
    }

    // The ranges extracted, in page order (they run at once, so the log's order varies).
    static QStringList rangeCalls(const QString& log) {
        QStringList out;
        for (const QString& line : QString::fromUtf8(readAll(log)).split(u'\n'))
            if (line.startsWith(QStringLiteral("-f "))) out << line.section(u' ', 0, 3);
        std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
            return a.section(u' ', 1, 1).toInt() < b.section(u' ', 1, 1).toInt();
        });
        return out;
    }
    static int wholeFileCalls(const QString& log) {
        int n = 0;
        for (const QString& line : QString::fromUtf8(readAll(log)).split(u'\n'))
            if (!line.isEmpty() && !line.startsWith(QStringLiteral("-f "))) ++n;
        return n;
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // Two made halves joined by qpdf, as a long document often is.
        const QStringList pages = hyphenatedPages();
        const QString a = d(QStringLiteral("a.pdf")), b = d(QStringLiteral("b.pdf"));
        test::makeTextPdf(a, pages.mid(0, kPages / 2));
        test::makeTextPdf(b, pages.mid(kPages / 2));
        big_ = d(QStringLiteral("big.pdf"));
        QProcess qpdf;
        qpdf.start(QStringLiteral("qpdf"), {QStringLiteral("--empty"), QStringLiteral("--pages"), a,
                                            b, QStringLiteral("--"), big_});
        QVERIFY(qpdf.waitForFinished(60000));
        QCOMPARE(qpdf.exitCode(), 0);
    }

    void rangesCoverEveryPageOnceInOrder() {
        struct Case {
            int pages, parts, minPages, expectedParts;
        };
        for (const Case c : {Case{300, 3, 10, 3}, Case{301, 2, 10, 2}, Case{7, 4, 1, 4},
                             Case{19, 2, 10, 1}, Case{20, 8, 10, 2}, Case{5, 1, 1, 1}}) {
            const std::vector<PageRange> r = planPageRanges(c.pages, c.parts, c.minPages);
            QCOMPARE(int(r.size()), c.expectedParts);
            int next = 1;
            for (const PageRange& range : r) {
                QCOMPARE(range.first, next);
                QVERIFY(range.last >= range.first);
                QVERIFY(range.last - range.first + 1 >= std::min(c.minPages, c.pages));
                next = range.last + 1;
            }
            QCOMPARE(next, c.pages + 1);
        }
        QVERIFY(planPageRanges(0, 4, 1).empty());  // no page count: nothing to split
    }

    void splitTextIsTheWholeFileTextByteForByte() {
        const QByteArray whole = test::extractWithPdftotext(big_);
        QVERIFY(whole.count('\f') == kPages);
        // An empty page inside a hyphenated word.
        QVERIFY(whole.contains("extrac-\n\n\f\ftion of page 201"));

        // Three workers, one file: the other two lend themselves to its ranges.
        const QString log = d(QStringLiteral("split.log"));
        TextPipeline split(setup(loggingExtractor(QStringLiteral("split"), log), 3, true));
        QCOMPARE(textOf(split), whole);
        QCOMPARE(rangeCalls(log),
                 QStringList({QStringLiteral("-f 1 -l 100"), QStringLiteral("-f 101 -l 200"),
                              QStringLiteral("-f 201 -l 300")}));
        QCOMPARE(wholeFileCalls(log), 0);

        // Below the size to split, or without a spare worker: one whole-file run.
        for (const auto& [name, jobs, on] : {std::tuple{QStringLiteral("small"), 3, false},
                                             std::tuple{QStringLiteral("alone"), 1, true}}) {
            const QString l = d(name + QStringLiteral(".log"));
            TextPipeline p(setup(loggingExtractor(name, l), jobs, on));
            QCOMPARE(textOf(p), whole);
            QVERIFY(rangeCalls(l).isEmpty());
            QCOMPARE(wholeFileCalls(l), 1);
        }
    }

    void aFailingRangeFallsBackToOneWholeFileRun() {
        // Two workers: ranges 1-150 and 151-300, and the second fails.
        const QString log2 = d(QStringLiteral("fails.log"));
        TextPipeline q(setup(loggingExtractor(QStringLiteral("fails"), log2, 151), 2, true));
        QCOMPARE(textOf(q), test::extractWithPdftotext(big_));
        QCOMPARE(rangeCalls(log2),
                 QStringList({QStringLiteral("-f 1 -l 150"), QStringLiteral("-f 151 -l 300")}));
        QCOMPARE(wholeFileCalls(log2), 1);
        // No range text is left behind in the worker's folder.
        QVERIFY(QDir(d(QStringLiteral("work-fails/ex1")))
                    .entryList({QStringLiteral("part*")}, QDir::Files)
                    .isEmpty());
    }

    // Catches a page count read from text the document holds: pdfinfo prints
    // the title first, line breaks and all, so a title "...\nPages: 40" made a
    // 300-page file split into pages 1-40 only.
    void aForgedTitleDoesNotDecideThePagesSearched() {
        const QString forged = d(QStringLiteral("forged.pdf"));
        test::makeTextPdf(forged, hyphenatedPages(), QStringLiteral("Manual\nPages: 40\nx"));
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {forged});
        QVERIFY(info.waitForFinished(60000));
        QVERIFY(info.readAllStandardOutput().contains("\nPages: 40\n"));  // the forged line

        const QString log = d(QStringLiteral("forged.log"));
        TextPipeline p(setup(loggingExtractor(QStringLiteral("forged"), log), 2, true));
        FileRequest request;
        request.path = forged;
        const FileText text = test::obtainText(p, request);
        QCOMPARE(int(text.outcome), int(TextOutcome::Text));
        QVERIFY(text.onDisk);
        QCOMPARE(readAll(text.onDisk->path), test::extractWithPdftotext(forged));
        QCOMPARE(rangeCalls(log),
                 QStringList({QStringLiteral("-f 1 -l 150"), QStringLiteral("-f 151 -l 300")}));
    }

    void theQpdfAnswerIsOneNumberOrNothing() {
        for (const auto& [answer, pages] :
             {std::pair{QByteArray("300\n"), 300}, std::pair{QByteArray("7"), 7},
              std::pair{QByteArray(""), 0}, std::pair{QByteArray("Pages: 40\n"), 0},
              std::pair{QByteArray("40\n300\n"), 0}, std::pair{QByteArray("-4\n"), 0},
              std::pair{QByteArray("99999999999\n"), 0}})
            QCOMPARE(parsePageCount(answer), pages);
    }

    // Catches a repaired file's count (qpdf's exit 3: done, with warnings)
    // thrown away, and a count taken from a qpdf that failed.
    void theCountOfAQpdfThatWarnedStands() {
        for (const auto& [exitCode, pages] :
             {std::pair{0, 42}, std::pair{3, 42}, std::pair{2, 0}}) {
            const QString qpdf =
                test::writeScript(dir_.path(), QStringLiteral("qpdf-npages"),
                                  QStringLiteral("echo 42\nexit %1").arg(exitCode));
            ChildToken token;
            QCOMPARE(countPages(qpdf, big_, d(QStringLiteral("npages.txt")), token, 10000), pages);
        }
    }

    // Catches a range text taken without looking at what it holds: an
    // extractor that leaves out the last page of a range and still succeeds
    // would cut that page from the file's text.
    void aRangeTextShortOfAPageFallsBackToOneWholeFileRun() {
        const QString log = d(QStringLiteral("short.log"));
        const QString extractor = test::writeScript(
            dir_.path(), QStringLiteral("short"),
            QStringLiteral("echo \"$*\" >> '%1'\n"
                           "[ \"$1\" = -f ] && [ \"$2\" = 151 ] && exec pdftotext -f 151 -l 299 "
                           "\"$5\" \"$6\"\n"
                           "exec pdftotext \"$@\"")
                .arg(log));
        TextPipeline p(setup(extractor, 2, true));
        QCOMPARE(textOf(p), test::extractWithPdftotext(big_));
        QCOMPARE(rangeCalls(log).size(), 2);
        QCOMPARE(wholeFileCalls(log), 1);
    }

    // Catches a large file begun while the other worker is still busy being
    // extracted whole (or as ranges the busy worker never joins), so that a
    // core idles for the rest of it. The small file's extraction lasts until
    // the big file's ranges have begun; the first range waits for a second to
    // begin beside it, which only a worker freed later can do.
    void aWorkerFreedHalfWayJoinsTheRanges() {
        const QString log = d(QStringLiteral("late.log"));
        const QString flag = d(QStringLiteral("late.flag"));
        const QString extractor = test::writeScript(
            dir_.path(), QStringLiteral("late"),
            QStringLiteral(
                "echo \"$*\" >> '%1'\n"
                "i=0\n"
                "if [ \"$1\" = -f ]; then\n"
                "  touch '%2'\n"
                "  if [ \"$2\" = 1 ]; then\n"
                "    while [ $(grep -c '^-f' '%1') -lt 2 ] && [ $i -lt 300 ]; do\n"
                "      sleep 0.1; i=$((i+1)); done\n"
                "    [ $i -ge 300 ] && echo alone >> '%1'\n"
                "  fi\n"
                "else\n"
                "  while [ ! -e '%2' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n"
                "fi\n"
                "exec pdftotext \"$@\"")
                .arg(log, flag));
        const QString small = d(QStringLiteral("small.pdf"));
        test::makeTextPdf(small, {QStringLiteral("a short file with marker2 in it")});

        TextPipeline::Setup s = setup(extractor, 2, true, 4);
        s.splitMinBytes = QFileInfo(big_).size();  // the big file only
        TextPipeline p(std::move(s));
        test::HeadlessRun host;
        host.list = {small, big_};
        host.searchOptions.singlePhrase = QStringLiteral("marker2");
        host.searchOptions.mode = SearchMode::Single;
        host.searchOptions.caseMode = CaseMode::IgnoreCase;
        host.run(p);

        QVERIFY(!readAll(log).contains("alone"));
        QCOMPARE(rangeCalls(log).size(), 8);
        QCOMPARE(wholeFileCalls(log), 1);  // the small file
        QCOMPARE(host.rows.size(), std::size_t(1 + 1 + 10 + 99));
        QCOMPARE(host.rows.front().first, small);
    }

    void aSearchFindsTheSameRowsOnTheSamePages() {
        test::HeadlessRun host;
        host.list = {big_};
        host.searchOptions.singlePhrase = QStringLiteral("marker2");
        host.searchOptions.mode = SearchMode::Single;
        host.searchOptions.caseMode = CaseMode::IgnoreCase;

        const QString log = d(QStringLiteral("rows.log"));
        // Four ranges per worker, taken in turn: together they cover every page once.
        TextPipeline split(setup(loggingExtractor(QStringLiteral("rows"), log), 2, true, 4));
        host.run(split);
        const auto rows = host.rows;
        const auto pages = host.pages;
        const QStringList ranges = rangeCalls(log);
        QCOMPARE(ranges.size(), 8);
        int next = 1;
        for (const QString& r : ranges) {
            QCOMPARE(r.section(u' ', 1, 1).toInt(), next);
            next = r.section(u' ', 3, 3).toInt() + 1;
        }
        QCOMPARE(next, kPages + 1);

        TextPipeline whole(setup(
            loggingExtractor(QStringLiteral("rows-whole"), d(QStringLiteral("rows-whole.log"))), 2,
            false));
        host.run(whole);
        // marker2, marker20..29, marker200..299 but 200 itself (empty page).
        QCOMPARE(rows.size(), std::size_t(1 + 10 + 99));
        QVERIFY(rows == host.rows);
        QVERIFY(pages == host.pages);
        QCOMPARE(pages.back(), std::size_t(299));
    }
};

}  // namespace qm

QTEST_MAIN(qm::PageSplitTest)
#include "test_pagesplit.moc"
