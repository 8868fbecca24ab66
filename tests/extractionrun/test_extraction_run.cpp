// The extraction run: path helpers, the quiet copy and delete, the child
// process wait with its poll counter and creep, and ending children when the
// window closes. Fake extractors are small shell scripts.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/extractor.h"
#include "extraction/runandwait.h"
#include "fs/fs.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"

namespace qm {

using test::writeBytes;
using test::writeScript;

class ExtractionRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d() const { return dir_.path(); }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

  private Q_SLOTS:
    void pathHelpers() {
        QCOMPARE(fs::fileName(QStringLiteral("/a/b/c.pdf")), QStringLiteral("c.pdf"));
        QCOMPARE(fs::fileName(QStringLiteral("c.pdf")), QStringLiteral("c.pdf"));
        QCOMPARE(fs::fileName(QStringLiteral("/a/b/")), QString());
        QCOMPARE(fs::folderOf(QStringLiteral("/a/b/c.pdf")), QStringLiteral("/a/b/"));
        QCOMPARE(fs::folderOf(QStringLiteral("c.pdf")), QString());
        QCOMPARE(fs::stripExtension(QStringLiteral(".profile")), QStringLiteral(".profile"));
        QCOMPARE(fs::stripExtension(QStringLiteral("a.tar.gz")), QStringLiteral("a.tar"));
        QCOMPARE(fs::stripExtension(QStringLiteral("ab.")), QStringLiteral("ab"));
        QCOMPARE(fs::stripExtension(QStringLiteral("noext")), QStringLiteral("noext"));
        QCOMPARE(fs::stripExtension(QString()), QString());
        // The extension is taken off the whole path, so a dot in a folder name
        // counts when the file has none.
        QCOMPARE(fs::fileName(fs::stripExtension(QStringLiteral("/x.y/file"))),
                 QStringLiteral("x"));
        QCOMPARE(checkOutputPath(QStringLiteral("/w"), QStringLiteral("/d/Report 1.pdf")),
                 QStringLiteral("/w/Report 1.txt"));
    }

    void copyReplacesAndRefusesQuietly() {
        const QString src = d() + QStringLiteral("/src dir/ä \"q\" 'x'.pdf");
        const QString dst = d() + QStringLiteral("/tmp.pdf");
        writeBytes(src, "new content");
        writeBytes(dst, "old content that is longer");
        fs::copyFile(src, dst);
        QCOMPARE(read(dst), QByteArray("new content"));
        // Doubled separators are cleaned first.
        QFile::remove(dst);
        fs::copyFile(d() + QStringLiteral("//src dir//ä \"q\" 'x'.pdf"), dst);
        QCOMPARE(read(dst), QByteArray("new content"));
        // A missing source, a missing folder, blank paths: nothing happens.
        fs::copyFile(d() + QStringLiteral("/gone.pdf"), dst);
        QCOMPARE(read(dst), QByteArray("new content"));
        fs::copyFile(src, d() + QStringLiteral("/no such folder/tmp.pdf"));
        QVERIFY(!QFile::exists(d() + QStringLiteral("/no such folder/tmp.pdf")));
        fs::copyFile(QStringLiteral("  "), dst);
        fs::copyFile(src, QStringLiteral(" "));
        // A leftover copy never stands in for a file that cannot be copied.
        QVERIFY(!copyToTemporary(d() + QStringLiteral("/gone.pdf"), dst));
        QVERIFY(!QFile::exists(dst));
        QVERIFY(copyToTemporary(src, dst));
    }

    void deleteQuietly() {
        const QString ro = d() + QStringLiteral("/readonly.txt");
        writeBytes(ro, "x");
        QFile::setPermissions(ro, QFile::ReadOwner);
        fs::removeQuietly(ro);
        QVERIFY(!QFile::exists(ro));
        fs::removeQuietly(d() + QStringLiteral("/never there"));  // no failure
        fs::removeQuietly(QString());
    }

    void creep() {
        // Four files, the second file's wait: 25, 27, ..., 47, then 48 for good.
        QList<int> values;
        for (int k = 0; k <= 14; ++k) values << creepValue(25, 4, k);
        QCOMPARE(values, (QList<int>{25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 48, 48, 48}));
        // No count given: steps of 10 up to 90; from 40 steps of 6 up to 94.
        QCOMPARE(creepValue(0, 0, 0), 0);
        QCOMPARE(creepValue(0, 0, 3), 30);
        QCOMPARE(creepValue(0, 0, 9), 90);
        QCOMPARE(creepValue(0, 0, 50), 90);
        QCOMPARE(creepValue(40, 0, 1), 46);
        QCOMPARE(creepValue(40, 0, 99), 94);
        // 20 files and more: the step rounds to 0 and the bar stands still.
        QCOMPARE(creepValue(35, 20, 7), 35);
        QCOMPARE(creepValue(35, 40, 7), 35);
        // Halves go to the even neighbour: 100/8/10 = 1.25 -> 1; 100/6/10 = 1.67 -> 2.
        QCOMPARE(creepValue(12, 8, 3), 15);
        QCOMPARE(creepValue(16, 6, 1), 18);
        QCOMPARE(creepValue(33, 3, 40), 63);  // ceiling 100/3 + 33 - 3 = 63.3 -> 63
    }

    void waitTexts() {
        QCOMPARE(waitText(QStringLiteral("Processing: a.pdf"), 49), QString());
        QCOMPARE(waitText(QStringLiteral("Processing: a.pdf"), 50),
                 QStringLiteral("Processing: a.pdf, Please wait.. 0"));
        QCOMPARE(waitText(QString(), 173), QStringLiteral("Please wait.. 123"));
    }

    void exitCodeAndStartFailure() {
        const QString ok = writeScript(d(), QStringLiteral("exit3"), QStringLiteral("exit 3"));
        QCOMPARE(RunAndWait(ok, {}, nullptr, nullptr, QString(), 0, 0), 3);
        QCOMPARE(
            RunAndWait(d() + QStringLiteral("/missing"), {}, nullptr, nullptr, QString(), 0, 0),
            kStartFailureBase + kErrorFileNotFound);
        QCOMPARE(RunAndWait(QString(), {}, nullptr, nullptr, QString(), 0, 0),
                 kStartFailureBase + kErrorFileNotFound);
        const QString notExec = d() + QStringLiteral("/plain.txt");
        writeBytes(notExec, "#!/bin/sh\n");
        QCOMPARE(RunAndWait(notExec, {}, nullptr, nullptr, QString(), 0, 0),
                 kStartFailureBase + kErrorPermissionDenied);
        // A bar given to a wait that fails to start is left alone.
        ScriptedProgressBar bar;
        RunAndWait(QString(), {}, nullptr, &bar, QStringLiteral("x"), 0, 0);
        QVERIFY(bar.texts.isEmpty());
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
        QCOMPARE(RunAndWait(echo, args, nullptr, nullptr, QString(), 0, 0), 0);
        QCOMPARE(QString::fromUtf8(read(out)),
                 QStringLiteral("a b|\"q\"|it's|Zürich €|$HOME;`x`|"));
        QCOMPARE(passwordArguments(QStringLiteral("/w/tmp.pdf"), QStringLiteral("pw")),
                 (QStringList{"-opw", "pw", "-upw", "pw", "/w/tmp.pdf"}));
    }

    void returnsWhenTheChildEndsNotAtTheNextPoll() {
        // With a poll period of ten minutes the test would time out if the
        // wait slept out its period after the child ended.
        const QString quick = writeScript(d(), QStringLiteral("quick"), QStringLiteral("exit 0"));
        ScriptedEventPump pump;
        ScriptedProgressBar bar;
        QCOMPARE(
            RunAndWait(quick, {}, &pump, &bar, QStringLiteral("Processing: a.pdf"), 25, 4, 600000),
            0);
        QVERIFY(pump.count >= 1);
        // No poll was completed, so nothing was counted or crept; the text is put back.
        QVERIFY(bar.values.empty());
        QCOMPARE(bar.texts, QStringList{QStringLiteral("Processing: a.pdf")});
    }

    void pollCounterTextAndCreep() {
        // A child that runs for about 600 polls of 1 ms: the bar counts from
        // poll 50 on, creeps at polls 50, 200, 350, 500, and gets its text back.
        const QString slow = writeScript(d(), QStringLiteral("slow"), QStringLiteral("sleep 1.2"));
        ScriptedEventPump pump;
        ScriptedProgressBar bar;
        RunAndWait(slow, {}, &pump, &bar, QStringLiteral("Processing: a.pdf"), 25, 4, 1);
        QVERIFY2(bar.texts.size() > 200, qPrintable(QString::number(bar.texts.size())));
        QCOMPARE(bar.texts.first(), QStringLiteral("Processing: a.pdf, Please wait.. 0"));
        QCOMPARE(bar.texts.at(1), QStringLiteral("Processing: a.pdf, Please wait.. 1"));
        QCOMPARE(bar.texts.at(150), QStringLiteral("Processing: a.pdf, Please wait.. 150"));
        QCOMPARE(bar.texts.last(), QStringLiteral("Processing: a.pdf"));
        QVERIFY(bar.values.size() >= 2);
        for (size_t k = 0; k < bar.values.size(); ++k)
            QCOMPARE(bar.values[k], creepValue(25, 4, int(k)));

        // The check's wait: no status text, no count; "Progress Bar" at the end.
        ScriptedProgressBar checkBar;
        RunAndWait(slow, {}, &pump, &checkBar, QString(), 0, 0, 1);
        QCOMPARE(checkBar.texts.first(), QStringLiteral("Please wait.. 0"));
        QCOMPARE(checkBar.texts.last(), QStringLiteral("Progress Bar"));
        QCOMPARE(checkBar.values.front(), 0);
        if (checkBar.values.size() > 1) QCOMPARE(checkBar.values[1], 10);
    }

    void lastFileCreepsNoFurtherThanTheEnd() {
        const QString slow = writeScript(d(), QStringLiteral("slow2"), QStringLiteral("sleep 0.6"));
        ScriptedProgressBar bar;
        RunAndWait(slow, {}, nullptr, &bar, QStringLiteral("s"), 100, 1, 1);
        QVERIFY(!bar.values.empty());
        for (int v : bar.values) QCOMPARE(v, 100);
    }

    void closingTheWindowEndsTheChild() {
        const QString hang = writeScript(d(), QStringLiteral("hang"), QStringLiteral("sleep 300"));
        ScriptedEventPump pump;
        pump.onPump = [&] {
            if (pump.count == 5) {
                QCOMPARE(runningExtractions(), 1);
                endAllExtractions();
            }
        };
        RunAndWait(hang, {}, &pump, nullptr, QString(), 0, 0);
        QCOMPARE(runningExtractions(), 0);
        QVERIFY(extractionsEnded());
        // Nothing more is started until extractions are allowed again.
        QCOMPARE(RunAndWait(hang, {}, nullptr, nullptr, QString(), 0, 0),
                 kStartFailureBase + kErrorCannotStart);
        allowExtractions();
        const QString ok = writeScript(d(), QStringLiteral("ok"), QStringLiteral("exit 0"));
        QCOMPARE(RunAndWait(ok, {}, nullptr, nullptr, QString(), 0, 0), 0);
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
        const QString pdf = d() + QStringLiteral("/w/tmp.pdf");
        writeBytes(pdf, "%PDF-1.4");
        writeBytes(d() + QStringLiteral("/w/tmp.txt"), "stale text of another file");
        QVERIFY(extractText(fake, pdf, QStringLiteral("pw"), nullptr, {}));
        QCOMPARE(read(d() + QStringLiteral("/w/tmp.txt")), QByteArray("some text here"));
        QCOMPARE(read(d() + QStringLiteral("/calls")),
                 QByteArray("-opw pw -upw pw ") + pdf.toUtf8() + "\n" + pdf.toUtf8() + "\n");
        // A stale text file is removed before the run, so a failing extractor
        // leaves none behind.
        const QString fails = writeScript(d(), QStringLiteral("fails"), QStringLiteral("exit 1"));
        QVERIFY(!extractText(fails, pdf, QString(), nullptr, {}));
        QVERIFY(!QFile::exists(d() + QStringLiteral("/w/tmp.txt")));
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::ExtractionRunTest)
#include "test_extraction_run.moc"
