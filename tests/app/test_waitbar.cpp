// The wait for an extraction on the progress bar: the creep within the file's
// share of the run, the poll counter's text, and the bar as a real wait of
// the pipeline leaves it. Fake extractors are small shell scripts.
#include <QtTest>

#include "app/waitbar.h"
#include "extraction/pipeline.h"
#include "support/headlesshost.h"
#include "support/pipelinefixture.h"
#include "support/scripted.h"

namespace qm {

class WaitBarTest : public QObject, test::PipelineFixture {
    Q_OBJECT

    // A session over one file whose wait `watch` is told of, poll by poll of 1 ms.
    void waitFor(TextPipeline& texts, WaitWatch watch) {
        test::HeadlessRun h;
        h.list = {anyPdf()};
        h.searchOptions.singlePhrase = QStringLiteral("t");
        h.pollMilliseconds = 1;
        h.watch = std::move(watch);
        h.run(texts);
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

    void aWaitOverBeforeAnyPollPutsTheTextBack() {
        ScriptedProgressBar bar;
        const WaitWatch watch = WaitBar{&bar, QStringLiteral("Processing: a.pdf"), 25, 4}.watch();
        watch.over();
        // No poll was completed, so nothing was counted or crept; the text is put back.
        QVERIFY(bar.values.empty());
        QCOMPARE(bar.texts, QStringList{QStringLiteral("Processing: a.pdf")});
        // No bar: nobody watches.
        QVERIFY(!WaitBar{}.watch().polled);
    }

    void pollCounterTextAndCreep() {
        // An extraction that lasts about 600 polls of 1 ms: the bar counts from
        // poll 50 on, creeps at polls 50, 200, 350, 500, and gets its text back.
        const QString slow =
            textAfter(QStringLiteral("slow"), QStringLiteral("1.2"), QStringLiteral("slow text"));
        auto p = pipeline(slow);
        ScriptedProgressBar bar;
        waitFor(*p, WaitBar{&bar, QStringLiteral("Processing: a.pdf"), 25, 4}.watch());
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
        auto q = pipeline(slow);
        ScriptedProgressBar checkBar;
        waitFor(*q, WaitBar{&checkBar, QString(), 0, 0}.watch());
        QCOMPARE(checkBar.texts.first(), QStringLiteral("Please wait.. 0"));
        QCOMPARE(checkBar.texts.last(), QStringLiteral("Progress Bar"));
        QCOMPARE(checkBar.values.front(), 0);
        if (checkBar.values.size() > 1) QCOMPARE(checkBar.values[1], 10);
    }

    void lastFileCreepsNoFurtherThanTheEnd() {
        auto p = pipeline(
            textAfter(QStringLiteral("slow2"), QStringLiteral("0.6"), QStringLiteral("t")));
        ScriptedProgressBar bar;
        waitFor(*p, WaitBar{&bar, QStringLiteral("s"), 100, 1}.watch());
        QVERIFY(!bar.values.empty());
        for (int v : bar.values) QCOMPARE(v, 100);
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::WaitBarTest)
#include "test_waitbar.moc"
