// Searches with extraction on several cores and with kept texts: what the user
// sees (rows, their order, the report, the prompts, the stop) is the same as
// with one extraction at a time, and files are extracted only when needed.
// Fake extractors are shell scripts that log their calls and then run the
// real pdftotext.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/checks.h"
#include "extraction/extractor.h"
#include "extraction/pooledchild.h"
#include "extraction/runandwait.h"
#include "extraction/textcache.h"
#include "filelist/filelist.h"
#include "platform/scripted.h"
#include "results/resultslist.h"
#include "search/parallelsource.h"
#include "search/searchrun.h"
#include "support/headlesshost.h"
#include "support/pdfmaker.h"

namespace qm {

namespace {

using Host = test::HeadlessHost;

// What a run showed: every row, then every message box text.
QStringList outcome(const Host& h) {
    QStringList out;
    for (int r = 0; r < h.rows.rowCount(); ++r)
        out << h.rows.row(r).path + u'|' + h.rows.row(r).snippet;
    for (const auto& s : h.boxes.shown) out << QStringLiteral("box: ") + s.text;
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

class ParallelSearchTest : public QObject {
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

    std::shared_ptr<ParallelTextSource> parallel(const QString& extractor, int jobs,
                                                 TextCache* cache, Host& h) {
        ParallelTextSource::Setup s;
        s.extractorPath = extractor;
        s.workFolder = work_;
        s.pump = &h.pump;
        s.boxes = &h.boxes;
        s.jobs = jobs;
        s.cache = cache;
        s.pollMilliseconds = 20;
        return std::make_shared<ParallelTextSource>(std::move(s));
    }

    void prepare(Host& h, const QString& extractor, const QStringList& paths,
                 const QString& phrase) {
        h.extractor = extractor;
        h.work = work_;
        h.list.add(paths);
        h.options.singlePhrase = phrase;
        h.options.mode = SearchMode::Single;
        h.options.caseMode = CaseMode::IgnoreCase;
    }

  private Q_SLOTS:
    void initTestCase() {
        pdftotext_ = FindExtractor();
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

    // One search, run every way: one extraction at a time in the work folder,
    // then 1 and 3 workers, without and with kept texts (cold and warm).
    void sameRowsOrderAndReportEveryWay() {
        QStringList baseline;
        {
            Host h;
            prepare(h, pdftotext_, files_, QStringLiteral("alpha"));
            SearchRun run(h);
            run.click();
            baseline = outcome(h);
        }
        QVERIFY(baseline.size() > 20);
        QVERIFY(baseline.last().startsWith(QStringLiteral("box: Done.\r\nThe following files")));
        QVERIFY(baseline.last().contains(d("scan.pdf") + QString::fromLatin1(kUnreadableSuffix)));
        QVERIFY(baseline.last().contains(d("notapdf.pdf") + QString::fromLatin1(kProtectedSuffix)));

        TextCache cache;
        struct Way {
            const char* name;
            int jobs;
            TextCache* cache;
            bool extracts;
        };
        const Way ways[] = {{"1 worker", 1, nullptr, true},
                            {"3 workers", 3, nullptr, true},
                            {"3 workers, cold cache", 3, &cache, true},
                            {"3 workers, warm cache", 3, &cache, false},
                            {"1 worker, warm cache", 1, &cache, false}};
        for (const Way& w : ways) {
            Host h;
            prepare(h, pdftotext_, files_, QStringLiteral("alpha"));
            const auto started = pooledChildrenStarted();
            SearchRun run(h, parallel(pdftotext_, w.jobs, w.cache, h));
            run.click();
            QCOMPARE(outcome(h), baseline);
            QCOMPARE(h.caption_, QString::fromLatin1(kStartCaption));
            QCOMPARE(h.bar.value(), 0);
            QCOMPARE(h.bar.text(), QStringLiteral("Progress Bar"));
            // The progress value was set per file, in order.
            std::vector<int> expected;
            for (int i = 1; i <= files_.size(); ++i)
                expected.push_back(SearchRun::progressValue(i, static_cast<int>(files_.size())));
            expected.push_back(0);
            QCOMPARE(h.bar.values, expected);
            if (!w.extracts) QCOMPARE(pooledChildrenStarted(), started);
            if (w.extracts) QVERIFY(pooledChildrenStarted() > started);
        }
        // Every worker's work files are gone: a copy that gave no text stays
        // only until the next copy is made, in whichever worker's folder.
        QStringList left;
        for (const QString& sub : QDir(work_).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& name : QDir(work_ + u'/' + sub).entryList(QDir::Files))
                left << sub + u'/' + name;
        QCOMPARE(left, QStringList());
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
        prepare(h, ex, {a, b, c}, QStringLiteral("kiwi"));
        SearchRun run(h, parallel(ex, 2, &cache, h));
        run.click();
        QCOMPARE(h.rows.rowCount(), 3);
        QCOMPARE(readLines(log).size(), 3);

        // Another phrase: nothing is extracted.
        h.options.singlePhrase = QStringLiteral("file");
        run.click();
        QCOMPARE(h.rows.rowCount(), 3);
        QCOMPARE(readLines(log).size(), 3);

        // The second file is rewritten: it alone is extracted again, and its new text is found.
        test::makeTextPdf(b, {QStringLiteral("second file, now with kiwi and more words")});
        h.options.singlePhrase = QStringLiteral("kiwi");
        h.boxes.shown.clear();
        run.click();
        QCOMPARE(readLines(log).size(), 4);
        QStringList paths;
        for (int r = 0; r < h.rows.rowCount(); ++r) paths << h.rows.row(r).path;
        QCOMPARE(paths, (QStringList{a, b, c, c}));
        QCOMPARE(h.boxes.messageTexts(), QStringList{QStringLiteral("Done.")});

        // A file that no longer opens is not served from the kept texts.
        QFile::rename(a, a + QStringLiteral(".gone"));
        h.boxes.shown.clear();
        run.click();
        QVERIFY(
            h.boxes.messageTexts().value(0).contains(a + QString::fromLatin1(kNotCopiedSuffix)));
    }

    // Without an extractor every file is reported as protected, and nothing of
    // that is kept: once there is one, the files are extracted.
    void aMissingExtractorLeavesNothingKept() {
        TextCache cache;
        const QStringList paths{d("t1.pdf"), d("t2.pdf"), d("t3.pdf")};
        {
            Host h;
            const QString none = d(QStringLiteral("no such extractor"));
            prepare(h, none, paths, QStringLiteral("alpha"));
            SearchRun run(h, parallel(none, 2, &cache, h));
            run.click();
            QCOMPARE(h.rows.rowCount(), 0);
            QString expected = QStringLiteral("Done.\r\nThe following files could not be read:");
            for (const QString& p : paths)
                expected += QStringLiteral("\r\n") + p + QString::fromLatin1(kProtectedSuffix);
            QCOMPARE(h.boxes.messageTexts(), QStringList{expected});
            QCOMPARE(cache.entryCount(), 0u);
        }
        Host h;
        prepare(h, pdftotext_, paths, QStringLiteral("alpha"));
        SearchRun run(h, parallel(pdftotext_, 2, &cache, h));
        run.click();
        QVERIFY(h.rows.rowCount() >= 6);
        QCOMPARE(h.boxes.messageTexts(), QStringList{QStringLiteral("Done.")});
    }

    // A stop click while the first of several slow extractions runs: that
    // file's rows come, the run ends there without a report, and the
    // extractions begun for later files are ended.
    void stopDuringParallelExtraction() {
        const QString ex =
            loggingExtractor(QStringLiteral("slow.sh"), QStringLiteral("sleep 1\n") + realTail());
        QStringList paths;
        for (int n = 1; n <= 6; ++n) paths << d(QStringLiteral("t%1.pdf").arg(n));
        Host h;
        prepare(h, ex, paths, QStringLiteral("alpha"));
        SearchRun run(h, parallel(ex, 2, nullptr, h));
        QElapsedTimer clock;
        bool clicked = false;
        int childrenAtClick = 0;
        h.pump.onPump = [&] {
            // Once the first file and the one after it are being extracted.
            if (!clicked && clock.elapsed() > 300 && runningPooledChildren() == 2) {
                clicked = true;
                childrenAtClick = runningPooledChildren();
                run.click();
                QCOMPARE(h.caption_, QString::fromLatin1(kStartCaption));
            }
        };
        clock.start();
        run.click();
        QVERIFY(clicked);
        QCOMPARE(childrenAtClick, 2);
        QVERIFY(h.rows.rowCount() > 0);
        for (int r = 0; r < h.rows.rowCount(); ++r) QCOMPARE(h.rows.row(r).path, paths[0]);
        QVERIFY(h.boxes.shown.empty());
        QCOMPARE(h.bar.value(), 0);
        QCOMPARE(h.bar.text(), QStringLiteral("Progress Bar"));
        QVERIFY(waitUntil([] { return runningPooledChildren() == 0; }, 3000));
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
        prepare(h, ex, paths, QStringLiteral("alpha"));
        h.options.promptForPassword = true;
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
        SearchRun run(h, parallel(ex, 3, &cache, h));
        run.click();

        QStringList expectedPrompts;
        for (const QString& p : paths) expectedPrompts << SearchRun::passwordPrompt(p);
        QCOMPARE(prompted, expectedPrompts);
        QStringList expectedLog;
        for (int i = 0; i < paths.size(); ++i)
            expectedLog << QStringLiteral("prompt") << QStringLiteral("run");
        QCOMPARE(readLines(log), expectedLog);
        // The locked file opened with its password: its rows are there, under its name.
        QStringList rowPaths;
        for (int r = 0; r < h.rows.rowCount(); ++r) rowPaths << h.rows.row(r).path;
        if (haveLocked) QVERIFY(rowPaths.contains(d(QStringLiteral("locked.pdf"))));
        QCOMPARE(h.boxes.messageTexts(), QStringList{QStringLiteral("Done.")});
    }

    // Closing the window ends hanging extractors of every worker at once.
    void closingEndsEveryWorkersChild() {
        const QString ex =
            loggingExtractor(QStringLiteral("hang.sh"), QStringLiteral("exec sleep 60"));
        Host h;
        prepare(h, ex, {d("t1.pdf"), d("t2.pdf"), d("t3.pdf"), d("t4.pdf")}, QStringLiteral("x"));
        SearchRun run(h, parallel(ex, 2, nullptr, h));
        QElapsedTimer clock;
        bool ended = false;
        h.pump.onPump = [&] {
            if (!ended && clock.elapsed() > 300 && runningPooledChildren() == 2) {
                ended = true;
                endAllExtractions();
            }
        };
        clock.start();
        run.click();
        QVERIFY(ended);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(waitUntil([] { return runningPooledChildren() == 0; }, 3000));
        QCOMPARE(readLines(d(QStringLiteral("hang.sh.log"))).size(), 2);
        allowExtractions();
    }

    // The add-time check extracts only files it has not seen as they are, and
    // a search afterwards uses what it extracted.
    void addTimeCheckExtractsOnlyNewOrChangedFiles() {
        const QString ex = loggingExtractor(QStringLiteral("check.sh"), realTail());
        const QString log = d(QStringLiteral("check.sh.log"));
        TextCache cache;
        ScriptedMessageBoxes boxes;
        ScriptedEventPump pump;
        Services svc;
        svc.boxes = &boxes;
        svc.pump = &pump;
        ScriptedProgressBar bar;
        ScriptedMousePointer ptr;
        CheckContext context;
        context.services = &svc;
        context.progress = &bar;
        context.pointer = &ptr;
        context.extractorPath = ex;
        context.workFolder = work_;
        context.cache = &cache;
        FileList list;
        list.add(QStringList{d("t1.pdf"), d("scan.pdf"), d("t2.pdf"), d("notapdf.pdf")});
        CheckByCodeNotPreviewTextbox(context, list);
        QCOMPARE(readLines(log).size(), 4);
        const QStringList firstReport = boxes.messageTexts();
        QCOMPARE(firstReport.size(), 1);
        QVERIFY(firstReport[0].contains(d("scan.pdf") + QStringLiteral("\r\n")));
        QVERIFY(firstReport[0].contains(d("notapdf.pdf") + QStringLiteral("\r\n")));

        // One file more: one extraction more, and the same files reported as
        // without kept texts.
        list.add(d("t3.pdf"));
        CheckByCodeNotPreviewTextbox(context, list);
        QCOMPARE(readLines(log).size(), 5);
        CheckContext plain = context;
        plain.cache = nullptr;
        CheckByCodeNotPreviewTextbox(plain, list);
        QCOMPARE(readLines(log).size(), 10);
        QCOMPARE(boxes.messageTexts().size(), 3);
        QCOMPARE(boxes.messageTexts()[1], boxes.messageTexts()[2]);
        QCOMPARE(boxes.messageTexts()[1], firstReport[0]);

        // A changed file is extracted again.
        const QString changed = d(QStringLiteral("changing.pdf"));
        test::makeTextPdf(changed, {QStringLiteral("short")});
        list.add(changed);
        CheckByCodeNotPreviewTextbox(context, list);
        QCOMPARE(readLines(log).size(), 11);
        test::makeTextPdf(changed, {QStringLiteral("a longer text than before, kiwi")});
        CheckByCodeNotPreviewTextbox(context, list);
        QCOMPARE(readLines(log).size(), 12);

        // The search finds every text ready: no extraction at all.
        Host h;
        prepare(h, ex, {d("t1.pdf"), d("scan.pdf"), d("t2.pdf"), d("notapdf.pdf"), changed},
                QStringLiteral("kiwi"));
        SearchRun run(h, parallel(ex, 2, &cache, h));
        run.click();
        QCOMPARE(readLines(log).size(), 12);
        QCOMPARE(h.rows.rowCount(), 1);
        QCOMPARE(h.rows.row(0).path, changed);
        const QString report = h.boxes.messageTexts().value(0);
        QVERIFY(report.contains(d("scan.pdf") + QString::fromLatin1(kUnreadableSuffix)));
        QVERIFY(report.contains(d("notapdf.pdf") + QString::fromLatin1(kProtectedSuffix)));
    }
};

}  // namespace qm

QTEST_MAIN(qm::ParallelSearchTest)
#include "test_parallel_search.moc"
