// The extraction pipeline: extractor children (argument lists, exit codes,
// ending them all), work ahead within the memory budget, ends, and texts
// spooled to disk. The wait's polls and stops are the session's
// (tests/search/test_search_run.cpp). What
// becomes of one file is in test_extractfile.cpp. Fake extractors are small
// shell scripts.
#include <algorithm>
#include <atomic>
#include <functional>

#include <QDir>
#include <QFile>
#include <QTimer>
#include <QtTest>

#include "extraction/child.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "support/pdfmaker.h"
#include "support/pipelinefixture.h"
#include "support/scripted.h"
#include "text/textfile.h"

namespace qm {

using test::writeBytes;
using test::writeScript;

class PipelineTest : public QObject, test::PipelineFixture {
    Q_OBJECT

    // A run over `count` files where file 1 is slow: its extractor waits for
    // a "go" file, which `release` writes from the wait's poll once it sees
    // fit (it gets the number of other files done so far, read from the
    // extractors' log). Every other file's text is "text of <n>" padded to
    // `textBytes`. Returns the texts in list order; file 1's is "on time" or,
    // when the go never came (the extractor gives up after 30 s), "late".
    QStringList slowFirstRun(const QString& tag, int count, int textBytes, std::int64_t budget,
                             const std::function<bool(int)>& release, int* doneWhenReleased) {
        const QString go = d() + u'/' + tag + QStringLiteral("-go");
        const QString log = d() + u'/' + tag + QStringLiteral("-log");
        const QString fake = writeScript(
            d(), tag + QStringLiteral("-fake"),
            QStringLiteral(
                "if grep -q slow \"$1\"; then\n"
                "  n=0; while [ ! -e '%1' ] && [ $n -lt 300 ]; do sleep 0.1; n=$((n+1)); done\n"
                "  [ -e '%1' ] && printf 'on time' || printf 'late'\n"
                "else printf 'text of %-*s' %3 \"$(cat \"$1\")\"; "
                "echo done >> '%2'; fi")
                .arg(go, log, QString::number(textBytes - 8)));
        QStringList paths;
        for (int i = 1; i <= count; ++i) {
            const QString path = d() + u'/' + tag + QStringLiteral("-%1.pdf").arg(i);
            writeBytes(path, i == 1 ? QByteArray("slow") : QByteArray::number(i));
            paths << path;
        }
        TextPipeline::Setup s;
        s.extractorPath = fake;
        s.workFolder = d() + u'/' + tag + QStringLiteral("-work");
        s.jobs = 2;
        s.memoryBudget = budget;
        TextPipeline p(std::move(s));
        auto run = p.beginRun(planOf(paths));
        const auto othersDone = [&] {
            const QByteArray l = read(log);
            return l == "<missing>" ? 0 : static_cast<int>(l.count('\n'));
        };
        // Looked at every 10 ms while file 1 is waited for.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!QFile::exists(go) && release(othersDone())) {
                *doneWhenReleased = othersDone();
                writeBytes(go, "");
            }
        });
        poll.start(10);
        QStringList texts;
        for (int i = 1; i <= count; ++i) {
            FileRequest request;
            request.index = i;
            request.path = paths[i - 1];
            const FileText t = test::obtainText(p, request, run.get());
            texts << (t.outcome == TextOutcome::Text ? t.chunks.chunkString(0).trimmed()
                                                     : QStringLiteral("no text"));
        }
        run.reset();
        return texts;
    }

  private Q_SLOTS:
    void init() { allowExtractions(); }

    void childExitCodesAndStartFailures() {
        ChildToken token;
        const QString ok = writeScript(d(), QStringLiteral("exit3"), QStringLiteral("exit 3"));
        ChildResult r = runChild(ok, {}, token);
        QVERIFY(r.started);
        QCOMPARE(r.exitCode, 3);
        QVERIFY(!runChild(d() + QStringLiteral("/missing"), {}, token).started);
        QVERIFY(!runChild(QString(), {}, token).started);
        const QString notExec = d() + QStringLiteral("/plain.txt");
        writeBytes(notExec, "#!/bin/sh\n");
        QVERIFY(!runChild(notExec, {}, token).started);
        // Catches output taken as written when its file could not be made (a
        // text then searched short, or an empty one cached).
        const QString says = writeScript(d(), QStringLiteral("says"), QStringLiteral("echo text"));
        for (const auto& [output, lost] :
             {std::pair{d() + QStringLiteral("/said.txt"), false},
              std::pair{d() + QStringLiteral("/missing/said.txt"), true}, std::pair{d(), true}}) {
            r = runChild(says, {}, token, {}, 0, output);
            QVERIFY(r.exited);
            QCOMPARE(r.outputLost, lost);
            if (!lost) QCOMPARE(read(output), QByteArray("text\n"));
        }
    }

    void argumentsArriveUnchanged() {
        // Every argument reaches the child as it is: no shell, no quoting.
        const QString echo = writeScript(
            d(), QStringLiteral("args"),
            QStringLiteral(
                "out=\"$1\"; shift; for a in \"$@\"; do printf '%s|' \"$a\"; done > \"$out\""));
        const QString out = d() + QStringLiteral("/args.out");
        const QStringList args{out,
                               QStringLiteral("a b"),
                               QStringLiteral("\"q\""),
                               QStringLiteral("it's"),
                               QStringLiteral("Zürich €"),
                               QStringLiteral("$HOME;`x`")};
        ChildToken token;
        QCOMPARE(runChild(echo, args, token).exitCode, 0);
        QCOMPARE(QString::fromUtf8(read(out)),
                 QStringLiteral("a b|\"q\"|it's|Zürich €|$HOME;`x`|"));
    }

    void endingAllExtractionsEndsTheChildAndRefusesNewOnes() {
        const QString hang = writeScript(d(), QStringLiteral("hang"), QStringLiteral("sleep 300"));
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (runningChildren() == 1 && !extractionsEnded()) endAllExtractions();
        });
        watch.start(5);
        auto p = pipeline(hang);
        FileRequest request;
        request.path = anyPdf();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Ended);
        QVERIFY2(clock.elapsed() < 20000, "the child was not ended");
        QTRY_COMPARE(runningChildren(), 0);
        // Nothing more is started until extractions are allowed again.
        ChildToken token;
        QVERIFY(!runChild(hang, {}, token).started);
        allowExtractions();
        const QString ok = writeScript(d(), QStringLiteral("ok"), QStringLiteral("exit 0"));
        QVERIFY(runChild(ok, {}, token).started);
    }

    void aFileEndedWhileExtractedAheadIsReportedEndedInItsTurn() {
        // File 2 is extracted ahead while the run is at file 1, and the
        // extractions are ended (the window closing) before its turn: it is
        // reported as ended, not as a file the extractor failed on.
        const QString fake =
            writeScript(d(), QStringLiteral("endahead"),
                        QStringLiteral("grep -q slow \"$1\" && exec sleep 302\nprintf 'text'"));
        const QStringList paths{d() + QStringLiteral("/endahead-1.pdf"),
                                d() + QStringLiteral("/endahead-2.pdf")};
        writeBytes(paths[0], "quick");
        writeBytes(paths[1], "slow");
        TextPipeline p(setup(fake, QStringLiteral("endahead-work"), 2));
        const auto run = p.beginRun(planOf(paths));
        FileRequest request;
        request.index = 1;
        request.path = paths[0];
        QCOMPARE(test::obtainText(p, request, run.get()).outcome, TextOutcome::Text);
        QTRY_COMPARE(runningChildren(), 1);  // file 2's extractor
        endAllExtractions();
        QTRY_COMPARE(runningChildren(), 0);
        allowExtractions();
        request.index = 2;
        request.path = paths[1];
        QCOMPARE(test::obtainText(p, request, run.get()).outcome, TextOutcome::Ended);
    }

    void aLongFileHoldsUpNoOtherFile() {
        // While file 1 is extracted, the other worker goes on through all of
        // the other files (a fixed window of files ahead would stop after a
        // few, and file 1 would never be released); texts come in list order.
        int doneWhenReleased = -1;
        const QStringList texts = slowFirstRun(
            QStringLiteral("stall"), 12, 40, TextPipeline::kDefaultMemoryBudget,
            [](int othersDone) { return othersDone == 11; }, &doneWhenReleased);
        QCOMPARE(doneWhenReleased, 11);
        QStringList expected{QStringLiteral("on time")};
        for (int i = 2; i <= 12; ++i) expected << QStringLiteral("text of %1").arg(i);
        QCOMPARE(texts, expected);
    }

    // Catches a file asked for out of turn extracted twice (its place further
    // back in the queue not passed over) and files the run has passed begun
    // all the same, now that the queue is never searched.
    void aFileAskedForGoesFirstOnceAndPassedFilesAreNeverBegun() {
        const QString log = d() + QStringLiteral("/order-log");
        const QString fake =
            writeScript(d(), QStringLiteral("order"),
                        QStringLiteral("cat \"$1\" >> '%1'; echo >> '%1'; "
                                       "if grep -q slow \"$1\"; then sleep 5; fi; cat \"$1\"")
                            .arg(log));
        QStringList paths;
        for (const char* name : {"slow", "b", "c", "d", "e"}) {
            paths << d() + QStringLiteral("/order-%1.pdf").arg(QLatin1String(name));
            writeBytes(paths.last(), name);
        }
        TextPipeline p(setup(fake, QStringLiteral("work5"), 1));
        auto run = p.beginRun(planOf(paths));
        QTRY_VERIFY_WITH_TIMEOUT(read(log).startsWith("slow"), 10000);  // the one worker is at it
        const FileText fourth = test::obtainText(p, FileRequest{4, paths[3], QString()}, run.get());
        QCOMPARE(fourth.chunks.utf8(), std::string("d"));
        const FileText fifth = test::obtainText(p, FileRequest{5, paths[4], QString()}, run.get());
        QCOMPARE(fifth.chunks.utf8(), std::string("e"));
        run.reset();
        QCOMPARE(read(log), QByteArray("slow\nd\ne\n"));
    }

    void textsWaitingAheadStayWithinTheMemoryBudget() {
        // Texts of 600 bytes, a budget of 1000: once two wait, no later file
        // is begun until file 1 is taken (one more may be in flight as the
        // budget fills). File 1 is released after 2 others are done and 100
        // polls more, time enough for a run that ignored the budget to do all.
        int polls = 0;
        int doneWhenReleased = -1;
        const QStringList texts = slowFirstRun(
            QStringLiteral("budget"), 12, 600, 1000,
            [&](int othersDone) { return othersDone >= 2 && ++polls > 100; }, &doneWhenReleased);
        QVERIFY2(doneWhenReleased >= 2 && doneWhenReleased <= 3,
                 qPrintable(QString::number(doneWhenReleased)));
        QStringList expected{QStringLiteral("on time")};
        for (int i = 2; i <= 12; ++i) expected << QStringLiteral("text of %1").arg(i);
        QCOMPARE(texts, expected);
    }

    void aTextAboveTheLimitWaitsOnDiskAndGoesWithItsReader() {
        const QString big = QString(300, u'x');
        const QString fake = writeScript(d(), QStringLiteral("bigsmall"),
                                         QStringLiteral("if grep -q big \"$1\"; then printf '%1'; "
                                                        "else printf 'small'; fi")
                                             .arg(big));
        const QString bigPdf = d() + QStringLiteral("/big.pdf");
        const QString smallPdf = d() + QStringLiteral("/small.pdf");
        writeBytes(bigPdf, "big");
        writeBytes(smallPdf, "tiny");
        TextPipeline::Setup s;
        s.extractorPath = fake;
        s.workFolder = d() + QStringLiteral("/bigwork");
        s.jobs = 2;
        s.largeTextBytes = 100;
        TextCache cache;
        s.cache = &cache;
        auto owned = std::make_unique<TextPipeline>(std::move(s));
        TextPipeline& p = *owned;
        auto run = p.beginRun(planOf({bigPdf, smallPdf, bigPdf}));
        FileRequest request;
        request.index = 1;
        request.path = bigPdf;
        QString onDisk;
        {
            const FileText t = test::obtainText(p, request, run.get());
            QCOMPARE(t.outcome, TextOutcome::Text);
            QVERIFY(t.onDisk);
            QCOMPARE(t.chunks.utf8(), std::string());
            QCOMPARE(t.textFileSize, std::int64_t(300));
            onDisk = t.onDisk->path;
            QCOMPARE(read(onDisk), big.toLatin1());
        }
        QVERIFY(!QFile::exists(onDisk));  // gone with its reader
        request.index = 2;
        request.path = smallPdf;
        const FileText small = test::obtainText(p, request, run.get());
        QVERIFY(!small.onDisk);
        QCOMPARE(small.chunks.chunkString(0), QStringLiteral("small"));
        // File 3 (big again) was extracted ahead, never taken: its text file
        // goes with the run (and its workers); only the small text was kept
        // in the cache.
        run.reset();
        owned.reset();
        QCOMPARE(cache.entryCount(), std::size_t(1));
        const QStringList left = QDir(d() + QStringLiteral("/bigwork"))
                                     .entryList(QStringList{QStringLiteral("*.txt")}, QDir::Files);
        QCOMPARE(left, QStringList());
    }

    // Catches a run's work not done by the worker (or its result lost), the
    // text a work let go handed to another run that asked for the same file,
    // and a work from an earlier run taken for a later one's.
    void aRunsWorkIsDoneByTheWorkerAndItsTextStaysItsOwn() {
        struct Length : TextWork {
            bool keeps;
            bool gives = true;  // false: nothing done, as for a text past a work's bound
            explicit Length(bool k) : keeps(k) {}
            bool keepsText() const override { return keeps; }
            std::shared_ptr<const WorkedText> work(const QString&, const FileText& text,
                                                   const ChildToken&) const override {
                if (!gives) return nullptr;
                auto out = std::make_shared<WorkedText>();
                out->bytes = static_cast<std::int64_t>(text.chunks.utf8().size());
                return out;
            }
        };
        TextPipeline p(setup(
            textAfter(QStringLiteral("worked"), QStringLiteral("0"), QStringLiteral("some text")),
            QStringLiteral("work3"), 2));
        const QString pdf = anyPdf();
        FileRequest request{1, pdf, QString()};
        for (const bool keeps : {true, false}) {
            RunPlan plan = planOf({pdf});
            const auto work = std::make_shared<Length>(keeps);
            plan.work = work;
            auto run = p.beginRun(plan);
            auto plain = p.beginRun(planOf({pdf}));  // another run, no work of its own
            const FileText worked = test::obtainText(p, request, run.get());
            QVERIFY(worked.worked);
            QCOMPARE(worked.workedBy, work.get());
            QCOMPARE(worked.worked->bytes, std::int64_t(9));
            QCOMPARE(worked.chunks.utf8(), keeps ? std::string("some text") : std::string());
            const FileText other = test::obtainText(p, request, plain.get());
            QCOMPARE(other.chunks.utf8(), std::string("some text"));
            QVERIFY(other.workedBy != work.get() || keeps);
        }
        // A work that did nothing leaves the text to its run, even one that lets texts go.
        RunPlan plan = planOf({pdf});
        const auto idle = std::make_shared<Length>(false);
        idle->gives = false;
        plan.work = idle;
        auto run = p.beginRun(plan);
        const FileText unworked = test::obtainText(p, request, run.get());
        QVERIFY(!unworked.worked);
        QCOMPARE(unworked.chunks.utf8(), std::string("some text"));
    }

    // Catches what a run's work found in a large text streamed from the disk
    // cache used although the entry was damaged (the file must be extracted
    // anew), and a text the work left to its run lost or worked twice.
    void aLargeKeptTextIsWorkedAsItIsReadAndKeptOnlyWhenWhole() {
        struct Tally : TextWork {
            bool gives = true;
            mutable std::atomic<int> calls{0};
            bool keepsText() const override { return false; }
            std::shared_ptr<const WorkedText> work(const QString&, const FileText& text,
                                                   const ChildToken&) const override {
                ++calls;
                if (!gives) return nullptr;
                auto out = std::make_shared<WorkedText>();
                const auto count = [&](std::string_view c) {
                    out->bytes += static_cast<std::int64_t>(std::count(c.begin(), c.end(), 'w'));
                };
                if (text.kept)
                    text.kept->forEachChunk(count);
                else
                    count(text.chunks.utf8());
                return out;
            }
        };
        const QString big = d() + QStringLiteral("/big.txt");
        writeBytes(big, QByteArray("word ").repeated(80000));  // 80000 w's
        const QString calls = d() + QStringLiteral("/calls");
        const QString fake =
            writeScript(d(), QStringLiteral("big"),
                        QStringLiteral("printf x >> '%1'; cat '%2'").arg(calls, big));
        DiskTextCache disk(d() + QStringLiteral("/diskcache"), QStringLiteral("x"));
        TextCache cache(0);  // memory keeps nothing: every text comes from the disk
        cache.attachDisk(&disk);
        TextPipeline::Setup s = setup(fake, QStringLiteral("work4"), 1);
        s.cache = &cache;
        TextPipeline p(s);
        const QString pdf = anyPdf();
        const auto obtain = [&](const std::shared_ptr<Tally>& work) {
            RunPlan plan = planOf({pdf});
            plan.work = work;
            auto run = p.beginRun(plan);
            return test::obtainText(p, FileRequest{1, pdf, QString()}, run.get());
        };
        const auto tally = std::make_shared<Tally>();
        QCOMPARE(obtain(tally).worked->bytes, std::int64_t(80000));  // extracted and kept
        QCOMPARE(obtain(tally).worked->bytes, std::int64_t(80000));  // from the disk
        QCOMPARE(read(calls), QByteArray("x"));
        // A "w" made an "x" on disk: the entry is not used, the file is extracted anew.
        const std::string key = textCacheKey(*FileIdentity::of(pdf), QString());
        QByteArray entry = read(disk.pathFor(key));
        entry[entry.indexOf('w', entry.size() / 2)] = 'x';
        writeBytes(disk.pathFor(key), entry);
        QCOMPARE(obtain(tally).worked->bytes, std::int64_t(80000));
        QCOMPARE(read(calls), QByteArray("xx"));
        // A work that leaves the text to its run is tried once; the run gets it whole.
        const auto idle = std::make_shared<Tally>();
        idle->gives = false;
        const FileText left = obtain(idle);
        QVERIFY(!left.worked);
        QCOMPARE(idle->calls.load(), 1);
        QVERIFY(left.kept && !left.kept->stream);
        QCOMPARE(left.kept->chunks().utf8().size(), std::size_t(400000));
    }

    void anotherWorkerFinishingDoesNotBlockTheWait() {
        // File 1's extractor waits for a file that only an event of this
        // thread makes, once file 2 (extracted ahead) is done. A wait that
        // blocks for the rest of its period after file 2 is done (here ten
        // minutes) would not see that event; the extractor gives up after 30 s.
        const QString go = d() + QStringLiteral("/go");
        const QString bDone = d() + QStringLiteral("/b-done");
        const QString fake = writeScript(
            d(), QStringLiteral("waiter"),
            QStringLiteral(
                "if grep -q first \"$1\"; then\n"
                "  n=0; while [ ! -e '%1' ] && [ $n -lt 300 ]; do sleep 0.1; n=$((n+1)); done\n"
                "  [ -e '%1' ] && printf 'on time' || printf 'late'\n"
                "else printf 'second'; touch '%2'; fi")
                .arg(go, bDone));
        const QString first = d() + QStringLiteral("/first.pdf");
        const QString second = d() + QStringLiteral("/second.pdf");
        writeBytes(first, "first");
        writeBytes(second, "other");
        TextPipeline p(setup(fake, QStringLiteral("work2"), 2));
        auto run = p.beginRun(planOf({first, second}));
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            // File 2's work files are gone once it is done.
            if (QFile::exists(bDone) &&
                !QFile::exists(d() + QStringLiteral("/work2/ex2/tmp.txt")) &&
                !QFile::exists(d() + QStringLiteral("/work2/ex1/tmp.txt")))
                writeBytes(go, "");
        });
        watch.start(5);
        FileRequest request;
        request.index = 1;
        request.path = first;
        const FileText text = test::obtainText(p, request, run.get());
        run.reset();
        QCOMPARE(text.chunks.chunkString(0), QStringLiteral("on time"));
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::PipelineTest)
#include "test_pipeline.moc"
