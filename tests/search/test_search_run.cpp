// The search session over the extraction pipeline: what the user gets (rows,
// their order, the failures, the prompts, the stop) is the same with one
// worker or several, with and without kept texts, and files are extracted only
// when needed (two sessions at a time: test_window_cache.cpp). Fake extractors are shell scripts
// that log their calls and then run the real pdftotext.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/readability.h"
#include "extraction/textcache.h"
#include "filelist/filelist.h"
#include "results/resultslist.h"
#include "search/session.h"
#include "support/headlesshost.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "words/words.h"

namespace qm {

namespace {

using Host = test::HeadlessRun;

// What a run gave: every row, then the failures as the window lists them.
QStringList outcome(const Host& h) {
    QStringList out;
    for (const auto& [path, snippet] : h.rows) out << path + u'|' + snippet;
    out << QStringLiteral("failures:") + h.failureLines();
    return out;
}

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace

class SearchRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString work_;
    QString pdftotext_;
    QStringList files_;  // the mixed list of the identical-results test

    // A fake extractor that logs one line per call, then does what `tail` says.
    QString loggingExtractor(const QString& name, const QString& tail) {
        return test::writeScript(dir_.path(), name,
                                 QStringLiteral("echo \"run $*\" >> '%1'\n%2")
                                     .arg(d(name + QStringLiteral(".log")), tail));
    }
    QString realTail() const { return QStringLiteral("exec '%1' \"$@\"").arg(pdftotext_); }

    std::unique_ptr<TextPipeline> pipeline(const QString& extractor, int jobs, TextCache* cache,
                                           Host& h, const QString& qpdf = QString()) {
        TextPipeline::Setup s;
        s.extractorPath = extractor;
        s.qpdfPath = qpdf;
        s.workFolder = work_;
        s.jobs = jobs;
        s.cache = cache;
        h.pollMilliseconds = 20;
        return std::make_unique<TextPipeline>(std::move(s));
    }

    void prepare(Host& h, const QStringList& paths, const QString& phrase) {
        h.list = paths;
        h.searchOptions.singlePhrase = phrase;
        h.searchOptions.mode = SearchMode::Single;
        h.searchOptions.caseMode = CaseMode::IgnoreCase;
    }

  private Q_SLOTS:
    void initTestCase() {
        pdftotext_ = findExtractor();
        if (pdftotext_.isEmpty()) QSKIP("pdftotext is not installed");
        work_ = d(QStringLiteral("work"));
        QDir().mkpath(work_);
        // Text files of different lengths, so that extractions end out of order.
        for (int n = 1; n <= 9; ++n) {
            QStringList pages;
            for (int p = 0; p < (n % 3) + 1; ++p)
                pages << QStringLiteral("Recipe %1 page %2\nAlpha beta gamma alpha\nno match here")
                             .arg(n)
                             .arg(p + 1);
            test::makeTextPdf(d(QStringLiteral("t%1.pdf").arg(n)), pages);
        }
        test::makeImagePdf(d(QStringLiteral("scan.pdf")));
        test::writeBytes(d(QStringLiteral("notapdf.pdf")), "this is not a PDF at all");
        const bool encrypted =
            test::encryptPdf(d(QStringLiteral("t1.pdf")), d(QStringLiteral("locked.pdf")),
                             QStringLiteral("secret"), QStringLiteral("owner"));
        files_ =
            QStringList{d("t1.pdf"), d("t2.pdf"),      d("scan.pdf"), d("t3.pdf"), d("missing.pdf"),
                        d("t4.pdf"), d("notapdf.pdf"), d("t5.pdf"),   d("t2.pdf"), d("t6.pdf"),
                        d("t7.pdf"), d("t8.pdf"),      d("t9.pdf")};
        if (encrypted) files_.insert(6, d(QStringLiteral("locked.pdf")));
    }

    void init() { allowExtractions(); }

    // One search, run every way: 1 and 3 workers, without and with kept texts
    // (cold and warm).
    void sameRowsOrderAndReportEveryWay() {
        QStringList baseline;
        {
            Host h;
            prepare(h, files_, QStringLiteral("alpha"));
            h.run(*pipeline(pdftotext_, 1, nullptr, h));
            baseline = outcome(h);
        }
        QVERIFY(baseline.size() > 20);
        const QString failures = baseline.last();
        QVERIFY(failures.contains(d("scan.pdf") + QString::fromLatin1(kUnreadableSuffix)));
        QVERIFY(failures.contains(d("notapdf.pdf") + QString::fromLatin1(kDamagedSuffix)));
        QVERIFY(failures.contains(d("missing.pdf") + QString::fromLatin1(kNotCopiedSuffix)));

        TextCache cache;
        struct Way {
            const char* name;
            int jobs;
            TextCache* cache;
            bool extracts;
        };
        const Way ways[] = {{"3 workers", 3, nullptr, true},
                            {"3 workers, cold cache", 3, &cache, true},
                            {"3 workers, warm cache", 3, &cache, false},
                            {"1 worker, warm cache", 1, &cache, false}};
        for (const Way& w : ways) {
            Host h;
            prepare(h, files_, QStringLiteral("alpha"));
            const auto started = childrenStarted();
            const SearchSummary summary = h.run(*pipeline(pdftotext_, w.jobs, w.cache, h));
            QCOMPARE(outcome(h), baseline);
            QVERIFY(!summary.stopped);
            QCOMPARE(summary.occurrences, static_cast<std::int64_t>(h.rows.size()));
            // Every file was begun, in list order.
            std::vector<int> expected;
            for (int i = 1; i <= files_.size(); ++i) expected.push_back(i);
            QCOMPARE(h.begun, expected);
            if (!w.extracts) QCOMPARE(childrenStarted(), started);
            if (w.extracts) QVERIFY(childrenStarted() > started);
        }
        // Every worker's work files are gone: a copy that gave no text stays
        // only until the next copy is made, in whichever worker's folder.
        QStringList left;
        for (const QString& sub : QDir(work_).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& name : QDir(work_ + u'/' + sub).entryList(QDir::Files))
                left << sub + u'/' + name;
        QCOMPARE(left, QStringList());
    }

    // Several phrases: rows phrase by phrase, each by position, and every hit
    // names the phrase that found it.
    void findSetsReportPhraseByPhrase() {
        Host h;
        h.list = {d("t1.pdf")};
        h.searchOptions.mode = SearchMode::Multiple;
        h.searchOptions.findSets = {QStringLiteral("gamma"), QString(), QStringLiteral("Recipe")};
        h.searchOptions.caseMode = CaseMode::MatchCase;
        h.run(*pipeline(pdftotext_, 1, nullptr, h));
        QStringList snippets;
        for (const auto& r : h.rows) snippets << r.second;
        // Two pages, each with one "gamma" and one "Recipe"; the empty entry finds nothing.
        QCOMPARE(snippets.size(), 4);
        QVERIFY(snippets[0].contains(QStringLiteral("gamma")));
        QVERIFY(snippets[1].contains(QStringLiteral("gamma")));
        QVERIFY(snippets[2].startsWith(QStringLiteral("Recipe 1 page 1")));
        QVERIFY(snippets[3].contains(QStringLiteral("Recipe 1 page 2")));
        QCOMPARE(h.phraseOf, (std::vector<std::size_t>{0, 0, 1, 1}));
    }

    // Pages on a made PDF as the extractor writes them: the first page, a page
    // after an empty one, and the last page.
    void everyRowKnowsItsPage() {
        const QString pdf = d(QStringLiteral("pages.pdf"));
        test::makeTextPdf(pdf, {QStringLiteral("kiwi on the first page"), QString(),
                                QStringLiteral("page three\nkiwi and kiwi"),
                                QStringLiteral("nothing here"), QStringLiteral("the last kiwi")});
        Host h;
        prepare(h, {pdf}, QStringLiteral("kiwi"));
        h.run(*pipeline(pdftotext_, 1, nullptr, h));
        QCOMPARE(h.pages, (std::vector<std::size_t>{1, 3, 3, 5}));
    }

    void aFileChangedOnDiskIsExtractedAgain() {
        const QString ex = loggingExtractor(QStringLiteral("count.sh"), realTail());
        const QString a = d(QStringLiteral("c1.pdf"));
        const QString b = d(QStringLiteral("c2.pdf"));
        const QString c = d(QStringLiteral("c3.pdf"));
        test::makeTextPdf(a, {QStringLiteral("first file kiwi")});
        test::makeTextPdf(b, {QStringLiteral("second file mango")});
        test::makeTextPdf(c, {QStringLiteral("third file kiwi kiwi")});
        TextCache cache;
        const QString log = d(QStringLiteral("count.sh.log"));

        Host h;
        prepare(h, {a, b, c}, QStringLiteral("kiwi"));
        auto texts = pipeline(ex, 2, &cache, h);
        h.run(*texts);
        QCOMPARE(h.rows.size(), size_t(3));
        QCOMPARE(readLines(log).size(), 3);

        // Another phrase: nothing is extracted.
        h.searchOptions.singlePhrase = QStringLiteral("file");
        h.run(*texts);
        QCOMPARE(h.rows.size(), size_t(3));
        QCOMPARE(readLines(log).size(), 3);

        // The second file is rewritten: it alone is extracted again, and its new text is found.
        test::makeTextPdf(b, {QStringLiteral("second file, now with kiwi and more words")});
        h.searchOptions.singlePhrase = QStringLiteral("kiwi");
        h.run(*texts);
        QCOMPARE(readLines(log).size(), 4);
        QCOMPARE(h.rowPaths(), (QStringList{a, b, c, c}));
        QVERIFY(h.summary.failures.empty());

        // A file that no longer opens is not served from the kept texts.
        QFile::rename(a, a + QStringLiteral(".gone"));
        h.run(*texts);
        QCOMPARE(h.failureLines(),
                 QStringLiteral("\r\n") + a + QString::fromLatin1(kNotCopiedSuffix));
    }

    // Without an extractor every file is reported as protected, and nothing of
    // that is kept: once there is one, the files are extracted.
    void aMissingExtractorLeavesNothingKept() {
        TextCache cache;
        const QStringList paths{d("t1.pdf"), d("t2.pdf"), d("t3.pdf")};
        {
            Host h;
            const QString none = d(QStringLiteral("no such extractor"));
            prepare(h, paths, QStringLiteral("alpha"));
            h.run(*pipeline(none, 2, &cache, h));
            QCOMPARE(h.rows.size(), size_t(0));
            QString expected;
            for (const QString& p : paths)
                expected += QStringLiteral("\r\n") + p + QString::fromLatin1(kProtectedSuffix);
            QCOMPARE(h.failureLines(), expected);
            QCOMPARE(cache.entryCount(), 0u);
        }
        Host h;
        prepare(h, paths, QStringLiteral("alpha"));
        h.run(*pipeline(pdftotext_, 2, &cache, h));
        QVERIFY(h.rows.size() >= 6);
        QVERIFY(h.summary.failures.empty());
    }

    // A stop after the current file, asked while the first of several slow
    // extractions runs: that file's rows come, the session ends there as a
    // stopped one, and the extractions begun for later files are ended.
    void stopDuringParallelExtraction() {
        const QString ex =
            loggingExtractor(QStringLiteral("slow.sh"), QStringLiteral("sleep 1\n") + realTail());
        QStringList paths;
        for (int n = 1; n <= 6; ++n) paths << d(QStringLiteral("t%1.pdf").arg(n));
        Host h;
        prepare(h, paths, QStringLiteral("alpha"));
        auto texts = pipeline(ex, 2, nullptr, h);
        QElapsedTimer clock;
        int childrenAtStop = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // Once the first file and the one after it are being extracted.
            if (!childrenAtStop && clock.elapsed() > 300 && runningChildren() == 2) {
                childrenAtStop = runningChildren();
                h.session()->stopAfterCurrentFile();
            }
        });
        poll.start(5);
        clock.start();
        const SearchSummary summary = h.run(*texts);
        QVERIFY(summary.stopped);
        QCOMPARE(childrenAtStop, 2);
        QVERIFY(!h.rows.empty());
        for (const QString& p : h.rowPaths()) QCOMPARE(p, paths[0]);
        QCOMPARE(h.begun, (std::vector<int>{1}));
        QVERIFY(waitUntil([] { return runningChildren() == 0; }, 3000));
        // No later file was begun after the stop.
        QTest::qWait(300);
        QCOMPARE(readLines(d(QStringLiteral("slow.sh.log"))).size(), 2);
    }

    // With the password option on, one prompt per file in list order, and a
    // file's extraction starts only after its prompt was answered.
    void promptsComeOneAtATimeInListOrder() {
        const QString log = d(QStringLiteral("order.log"));
        const QString ex = test::writeScript(
            dir_.path(), QStringLiteral("order.sh"),
            QStringLiteral("echo run >> '%1'\nsleep 0.2\n%2").arg(log, realTail()));
        QStringList paths{d("t1.pdf"), d("t2.pdf"), d("t3.pdf"), d("t4.pdf")};
        const bool haveLocked = QFile::exists(d(QStringLiteral("locked.pdf")));
        if (haveLocked) paths.insert(2, d(QStringLiteral("locked.pdf")));
        TextCache cache;
        Host h;
        prepare(h, paths, QStringLiteral("alpha"));
        h.searchOptions.promptForPassword = true;
        QStringList prompted;
        h.boxes.onShow = [&](const ScriptedMessageBoxes::Shown& s) {
            if (s.kind != ScriptedMessageBoxes::Kind::Input) return;
            prompted << s.text;
            QFile f(log);
            QVERIFY(f.open(QIODevice::Append));
            f.write("prompt\n");
        };
        for (const QString& p : paths)
            h.boxes.answerInput(p.endsWith(QStringLiteral("locked.pdf")) ? QStringLiteral("secret")
                                                                         : QString());
        // A qpdf that takes every file for one that needs a password, so that
        // every file is asked for one; it decrypts with the real qpdf.
        const QString realQpdf = findQpdf();
        const QString qpdf = test::writeScript(
            dir_.path(), QStringLiteral("qpdf-all-locked"),
            QStringLiteral("[ \"$1\" = --requires-password ] && exit 0\n") +
                (realQpdf.isEmpty() ? QStringLiteral("exit 2")
                                    : QStringLiteral("exec '%1' \"$@\"").arg(realQpdf)));
        h.run(*pipeline(ex, 3, &cache, h, qpdf));

        QStringList expectedPrompts;
        for (const QString& p : paths) expectedPrompts << passwordPrompt(p);
        QCOMPARE(prompted, expectedPrompts);
        QStringList expectedLog;
        for (int i = 0; i < paths.size(); ++i)
            expectedLog << QStringLiteral("prompt") << QStringLiteral("run");
        QCOMPARE(readLines(log), expectedLog);
        // The locked file opened with its password: its rows are there, under its name.
        if (haveLocked) QVERIFY(h.rowPaths().contains(d(QStringLiteral("locked.pdf"))));
        QVERIFY(h.summary.failures.empty());
    }

    // The wait as the host hears of it: poll after poll from 1, then its end
    // once; a text ready before the first poll ends the wait at once. Faults:
    // a wait that sleeps out its period, polls skipped or told twice, no end.
    void theWaitIsToldPollByPollAndEndsWhenTheTextIsThere() {
        struct Case {
            const char* sleep;
            int pollMilliseconds;
            bool polled;
        };
        for (const Case c : {Case{"0.3", 1, true}, Case{"0", 600000, false}}) {
            const QString ex =
                loggingExtractor(QStringLiteral("wait%1.sh").arg(c.pollMilliseconds),
                                 QStringLiteral("sleep %1\n").arg(c.sleep) + realTail());
            Host h;
            prepare(h, {d("t1.pdf")}, QStringLiteral("alpha"));
            std::vector<int> polls;
            int overs = 0;
            int pollsAtOver = -1;
            h.watch = {[&](int n, int, int) { polls.push_back(n); },
                       [&] {
                           ++overs;
                           pollsAtOver = static_cast<int>(polls.size());
                       }};
            auto texts = pipeline(ex, 1, nullptr, h);
            h.pollMilliseconds = c.pollMilliseconds;
            h.run(*texts);
            QVERIFY(!h.rows.empty());
            QCOMPARE(!polls.empty(), c.polled);
            if (c.polled) QVERIFY2(polls.size() > 50, qPrintable(QString::number(polls.size())));
            for (std::size_t k = 0; k < polls.size(); ++k) QCOMPARE(polls[k], int(k) + 1);
            QCOMPARE(overs, 1);
            QCOMPARE(pollsAtOver, int(polls.size()));
        }
    }

    // A cancel while a file is extracted ends its extractor at once; no row of
    // it comes and the summary holds the files done before. Faults: a cancel
    // that waits for the extraction, or loses the partial summary.
    void aCancelEndsTheCurrentExtractionWithThePartialSummary() {
        const QString log = d(QStringLiteral("cancel.sh.log"));
        const QString ex = loggingExtractor(
            QStringLiteral("cancel.sh"),
            QStringLiteral("[ $(wc -l < '%1') -ge 2 ] && exec sleep 60\n%2").arg(log, realTail()));
        Host h;
        prepare(h, {d("t1.pdf"), d("t2.pdf"), d("t3.pdf")}, QStringLiteral("alpha"));
        auto texts = pipeline(ex, 1, nullptr, h);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (h.session() && !h.rows.empty() && runningChildren() == 1) h.session()->cancel();
        });
        poll.start(5);
        QElapsedTimer clock;
        clock.start();
        const SearchSummary summary = h.run(*texts);
        QVERIFY(summary.stopped);
        QCOMPARE(summary.filesSearched, 1);
        QCOMPARE(summary.occurrences, static_cast<std::int64_t>(h.rows.size()));
        for (const QString& p : h.rowPaths()) QCOMPARE(p, d("t1.pdf"));
        QVERIFY(waitUntil([] { return runningChildren() == 0; }, 5000));
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(readLines(log).size() <= 2);  // the file after the current one was never begun
    }

    // Ending all extractions (the window closing) ends hanging extractors of
    // every worker at once, and the run ends without a summary of failures.
    void closingEndsEveryWorkersChild() {
        const QString ex =
            loggingExtractor(QStringLiteral("hang.sh"), QStringLiteral("exec sleep 60"));
        Host h;
        prepare(h, {d("t1.pdf"), d("t2.pdf"), d("t3.pdf"), d("t4.pdf")}, QStringLiteral("x"));
        auto texts = pipeline(ex, 2, nullptr, h);
        QElapsedTimer clock;
        bool ended = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!ended && clock.elapsed() > 300 && runningChildren() == 2) {
                ended = true;
                endAllExtractions();
            }
        });
        poll.start(5);
        clock.start();
        const SearchSummary summary = h.run(*texts);
        QVERIFY(ended);
        QVERIFY(summary.ended);
        QVERIFY(summary.failures.empty());
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(waitUntil([] { return runningChildren() == 0; }, 3000));
        QCOMPARE(readLines(d(QStringLiteral("hang.sh.log"))).size(), 2);
        allowExtractions();
    }
};

}  // namespace qm

QTEST_MAIN(qm::SearchRunTest)
#include "test_search_run.moc"
