// The extraction pipeline: extractor children (argument lists, exit codes,
// ending them all), the wait with its poll counter and creep, the password
// command line and its fallback, and the work files. Fake extractors are small
// shell scripts.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "fs/fs.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"

namespace qm {

using test::writeBytes;
using test::writeScript;

class PipelineTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d() const { return dir_.path(); }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // A pipeline with one worker in a work folder of its own.
    std::unique_ptr<TextPipeline> pipeline(const QString& extractor, EventPump* pump,
                                           int pollMilliseconds) {
        TextPipeline::Setup s;
        s.extractorPath = extractor;
        s.workFolder = d() + QStringLiteral("/work");
        QDir().mkpath(s.workFolder);
        s.pump = pump;
        s.jobs = 1;
        s.pollMilliseconds = pollMilliseconds;
        return std::make_unique<TextPipeline>(std::move(s));
    }
    // An extractor that writes `text` beside its input after `seconds`.
    QString textAfter(const QString& name, const QString& seconds, const QString& text) {
        return writeScript(d(), name,
                           QStringLiteral("sleep %1\nfor a; do :; done\n"
                                          "printf '%2' > \"${a%.pdf}.txt\"")
                               .arg(seconds, text));
    }
    QString anyPdf() {
        const QString pdf = d() + QStringLiteral("/in.pdf");
        if (!QFile::exists(pdf)) writeBytes(pdf, "%PDF-1.4 stand-in");
        return pdf;
    }

  private Q_SLOTS:
    void init() { allowExtractions(); }

    void creep() {
        // Four files, the second file's wait: 25, 27, ..., 47, then 48 for good.
        QList<int> values;
        for (int k = 0; k <= 14; ++k) values << creepValue(25, 4, k);
        QCOMPARE(values, (QList<int>{25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 48, 48, 48}));
        // No count given: steps of 10 up to 90; from 40 steps of 6 up to 94.
        QCOMPARE(creepValue(0, 0, 3), 30);
        QCOMPARE(creepValue(0, 0, 20), 90);
        QCOMPARE(creepValue(40, 0, 1), 46);
        QCOMPARE(creepValue(40, 0, 50), 94);
        // Halves round to even: 100/6/10 = 1.67 -> 2; 100/3/10 = 3.33 -> 3.
        QCOMPARE(creepValue(16, 6, 1), 18);
        QCOMPARE(creepValue(33, 3, 40), 63);  // ceiling 100/3 + 33 - 3 = 63.3 -> 63
    }

    void waitTexts() {
        QCOMPARE(waitText(QStringLiteral("Processing: a.pdf"), 49), QString());
        QCOMPARE(waitText(QStringLiteral("Processing: a.pdf"), 50),
                 QStringLiteral("Processing: a.pdf, Please wait.. 0"));
        QCOMPARE(waitText(QString(), 173), QStringLiteral("Please wait.. 123"));
    }

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
        QCOMPARE(passwordArguments(QStringLiteral("/w/tmp.pdf"), QStringLiteral("pw")),
                 (QStringList{"-opw", "pw", "-upw", "pw", "/w/tmp.pdf"}));
    }

    void endingAllExtractionsEndsTheChildAndRefusesNewOnes() {
        const QString hang = writeScript(d(), QStringLiteral("hang"), QStringLiteral("sleep 300"));
        ScriptedEventPump pump;
        pump.onPump = [&] {
            if (runningChildren() == 1 && !extractionsEnded()) endAllExtractions();
        };
        auto p = pipeline(hang, &pump, 5);
        FileRequest request;
        request.path = anyPdf();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(p->obtain(request).outcome, TextOutcome::Ended);
        QVERIFY2(clock.elapsed() < 20000, "the child was not ended");
        QTRY_COMPARE(runningChildren(), 0);
        // Nothing more is started until extractions are allowed again.
        ChildToken token;
        QVERIFY(!runChild(hang, {}, token).started);
        allowExtractions();
        const QString ok = writeScript(d(), QStringLiteral("ok"), QStringLiteral("exit 0"));
        QVERIFY(runChild(ok, {}, token).started);
    }

    void returnsWhenTheTextIsReadyNotAtTheNextPoll() {
        // With a poll period of ten minutes the test would time out if the
        // wait slept out its period after the extraction ended.
        ScriptedEventPump pump;
        ScriptedProgressBar bar;
        auto p = pipeline(textAfter(QStringLiteral("quick"), QStringLiteral("0"),
                                    QStringLiteral("quick text here")),
                          &pump, 600000);
        FileRequest request;
        request.path = anyPdf();
        request.wait = {&bar, QStringLiteral("Processing: a.pdf"), 25, 4};
        const FileText text = p->obtain(request);
        QCOMPARE(text.outcome, TextOutcome::Text);
        QCOMPARE(text.chunks.chunkString(0), QStringLiteral("quick text here"));
        QCOMPARE(text.textFileSize, 15);
        QVERIFY(pump.count >= 1);
        // No poll was completed, so nothing was counted or crept; the text is put back.
        QVERIFY(bar.values.empty());
        QCOMPARE(bar.texts, QStringList{QStringLiteral("Processing: a.pdf")});
    }

    void pollCounterTextAndCreep() {
        // An extraction that lasts about 600 polls of 1 ms: the bar counts from
        // poll 50 on, creeps at polls 50, 200, 350, 500, and gets its text back.
        ScriptedEventPump pump;
        const QString slow =
            textAfter(QStringLiteral("slow"), QStringLiteral("1.2"), QStringLiteral("slow text"));
        auto p = pipeline(slow, &pump, 1);
        ScriptedProgressBar bar;
        FileRequest request;
        request.path = anyPdf();
        request.wait = {&bar, QStringLiteral("Processing: a.pdf"), 25, 4};
        p->obtain(request);
        QVERIFY2(bar.texts.size() > 200, qPrintable(QString::number(bar.texts.size())));
        QCOMPARE(bar.texts.first(), QStringLiteral("Processing: a.pdf, Please wait.. 0"));
        QCOMPARE(bar.texts.at(1), QStringLiteral("Processing: a.pdf, Please wait.. 1"));
        QCOMPARE(bar.texts.at(150), QStringLiteral("Processing: a.pdf, Please wait.. 150"));
        QCOMPARE(bar.texts.last(), QStringLiteral("Processing: a.pdf"));
        QVERIFY(bar.values.size() >= 2);
        for (size_t k = 0; k < bar.values.size(); ++k)
            QCOMPARE(bar.values[k], creepValue(25, 4, int(k)));

        // The check's wait: no status text, no count; "Progress Bar" at the end.
        // (A new file: the same one would come from the extraction already made.)
        auto q = pipeline(slow, &pump, 1);
        ScriptedProgressBar checkBar;
        request.wait = {&checkBar, QString(), 0, 0};
        q->obtain(request);
        QCOMPARE(checkBar.texts.first(), QStringLiteral("Please wait.. 0"));
        QCOMPARE(checkBar.texts.last(), QStringLiteral("Progress Bar"));
        QCOMPARE(checkBar.values.front(), 0);
        if (checkBar.values.size() > 1) QCOMPARE(checkBar.values[1], 10);
    }

    void lastFileCreepsNoFurtherThanTheEnd() {
        auto p = pipeline(
            textAfter(QStringLiteral("slow2"), QStringLiteral("0.6"), QStringLiteral("t")),
            nullptr, 1);
        ScriptedProgressBar bar;
        FileRequest request;
        request.path = anyPdf();
        request.wait = {&bar, QStringLiteral("s"), 100, 1};
        p->obtain(request);
        QVERIFY(!bar.values.empty());
        for (int v : bar.values) QCOMPARE(v, 100);
    }

    void passwordRunFallsBackToThePlainCommandLine() {
        // A stand-in that refuses any password, like pdftotext on a file with
        // only an owner password given a wrong one.
        const QString fake =
            writeScript(d(), QStringLiteral("nopw"),
                        QStringLiteral("echo \"$@\" >> \"%1/calls\"\n"
                                       "[ \"$1\" = -opw ] && exit 1\n"
                                       "printf 'some text here' > \"${1%.pdf}.txt\"")
                            .arg(d()));
        auto p = pipeline(fake, nullptr, 5);
        FileRequest request;
        request.path = anyPdf();
        request.password = [] { return QStringLiteral("pw"); };
        const FileText text = p->obtain(request);
        QCOMPARE(text.outcome, TextOutcome::Text);
        QCOMPARE(text.chunks.chunkString(0), QStringLiteral("some text here"));
        const QString copy = d() + QStringLiteral("/work/ex1/tmp.pdf");
        QCOMPARE(read(d() + QStringLiteral("/calls")),
                 QByteArray("-opw pw -upw pw ") + copy.toUtf8() + "\n" + copy.toUtf8() + "\n");
        // Both work files are gone once the text is read.
        QVERIFY(QDir(d() + QStringLiteral("/work/ex1")).entryList(QDir::Files).isEmpty());
    }

    void aStaleTextIsNeverTakenForTheFilesText() {
        // A text file left in the worker's folder (a crash, an earlier run) is
        // removed first, so an extractor that writes nothing gives no text.
        const QString fails = writeScript(d(), QStringLiteral("fails"), QStringLiteral("exit 1"));
        auto p = pipeline(fails, nullptr, 5);
        writeBytes(d() + QStringLiteral("/work/ex1/tmp.txt"), "stale text of another file");
        FileRequest request;
        request.path = anyPdf();
        const FileText text = p->obtain(request);
        QCOMPARE(text.outcome, TextOutcome::Protected);
        QCOMPARE(text.textFileSize, -1);
        QVERIFY(!QFile::exists(d() + QStringLiteral("/work/ex1/tmp.txt")));
        // A file that is gone cannot be copied, and a leftover copy never stands in for it.
        request.path = d() + QStringLiteral("/gone.pdf");
        QCOMPARE(p->obtain(request).outcome, TextOutcome::NotCopied);
        QVERIFY(!copyToTemporary(d() + QStringLiteral("/gone.pdf"),
                                 d() + QStringLiteral("/work/ex1/tmp.pdf")));
        QVERIFY(!QFile::exists(d() + QStringLiteral("/work/ex1/tmp.pdf")));
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::PipelineTest)
#include "test_pipeline.moc"
