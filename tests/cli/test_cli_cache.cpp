// quillmark-search with several extractors and with --cache: the same output
// every way, a second run extracts nothing, a changed or damaged entry is
// extracted and written again. The extractor is a script that logs each call
// and then runs pdftotext.
#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "extraction/extractor.h"
#include "support/cliprocess.h"
#include "support/pdfmaker.h"
#include "words/words.h"

namespace qm {

class CliCacheTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString extractor_;
    QString log_;
    QString cacheFolder() const { return d(QStringLiteral("xdg/quillmark")); }

    using Outcome = test::CliOutcome;
    // With `fileSizeLimit`, the program (and every child it starts) runs
    // with writes cut at that many bytes a file and failing, as on a full
    // disk: SIGXFSZ is ignored, so nothing dies of it.
    Outcome run(const QStringList& args, const QString& xdg = QStringLiteral("xdg"),
                qint64 fileSizeLimit = -1) {
        QProcess p;
        if (fileSizeLimit >= 0)
            p.setChildProcessModifier([fileSizeLimit] {
                rlimit r{};
                ::getrlimit(RLIMIT_FSIZE, &r);
                r.rlim_cur = static_cast<rlim_t>(fileSizeLimit);
                ::setrlimit(RLIMIT_FSIZE, &r);
                ::signal(SIGXFSZ, SIG_IGN);
            });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), d(xdg));
        env.insert(QStringLiteral("QM_EXTRACTOR"), extractor_);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_.path());
        p.start(qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search"),
                QStringList{QStringLiteral("--no-progress")} + args);
        return test::finishCli(p);
    }
    int calls() const {
        QFile f(log_);
        if (!f.open(QIODevice::ReadOnly)) return 0;
        return static_cast<int>(f.readAll().count('\n'));
    }

  private Q_SLOTS:
    void initTestCase() {
        const QString real = findExtractor();
        if (real.isEmpty()) QSKIP("pdftotext is not installed");
        QDir().mkpath(d(QStringLiteral("work")));
        log_ = d(QStringLiteral("calls.log"));
        extractor_ =
            test::writeScript(dir_.path(), QStringLiteral("logging.sh"),
                              QStringLiteral("echo x >> '%1'\nexec '%2' \"$@\"").arg(log_, real));
        for (int n = 1; n <= 6; ++n)
            test::makeTextPdf(d(QStringLiteral("docs/f%1.pdf").arg(n)),
                              {QStringLiteral("File %1 holds pear and plum\nplum again").arg(n)});
        test::makeImagePdf(d(QStringLiteral("docs/scan.pdf")));
    }

    void sameOutputEveryWayAndNoExtractionTheSecondTime() {
        const Outcome plain = run({QStringLiteral("-j"), QStringLiteral("1"),
                                   QStringLiteral("plum"), QStringLiteral("docs")});
        QCOMPARE(plain.status, 0);
        QCOMPARE(plain.out.count('\n'), 12);
        QVERIFY(plain.err.contains("scan.pdf"));
        QCOMPARE(calls(), 7);

        const Outcome parallel =
            run({QStringLiteral("--jobs=3"), QStringLiteral("plum"), QStringLiteral("docs")});
        QCOMPARE(parallel.out, plain.out);
        QCOMPARE(parallel.err, plain.err);
        QCOMPARE(calls(), 14);

        const Outcome cold =
            run({QStringLiteral("--cache"), QStringLiteral("plum"), QStringLiteral("docs")});
        QCOMPARE(cold.out, plain.out);
        QCOMPARE(cold.err, plain.err);
        QCOMPARE(calls(), 21);
        QCOMPARE(QDir(cacheFolder()).entryList(QDir::Files).size(), 7);

        const Outcome warm = run({QStringLiteral("--cache"), QStringLiteral("-j2"),
                                  QStringLiteral("plum"), QStringLiteral("docs")});
        QCOMPARE(warm.out, plain.out);
        QCOMPARE(warm.err, plain.err);
        QCOMPARE(calls(), 21);

        // Another phrase, still nothing extracted.
        const Outcome pear =
            run({QStringLiteral("--cache"), QStringLiteral("pear"), QStringLiteral("docs")});
        QCOMPARE(pear.out.count('\n'), 6);
        QCOMPARE(calls(), 21);

        // --no-cache neither reads nor writes the store.
        const Outcome off = run({QStringLiteral("--cache"), QStringLiteral("--no-cache"),
                                 QStringLiteral("pear"), QStringLiteral("docs")});
        QCOMPARE(off.out, pear.out);
        QCOMPARE(calls(), 28);

        // --clear-cache alone empties the store and searches nothing; the next
        // --cache run extracts every file again.
        const Outcome cleared = run({QStringLiteral("--clear-cache")});
        QCOMPARE(cleared.status, 0);
        QVERIFY(cleared.out.isEmpty());
        QCOMPARE(QDir(cacheFolder()).entryList(QDir::Files).size(), 0);
        run({QStringLiteral("--cache"), QStringLiteral("pear"), QStringLiteral("docs")});
        QCOMPARE(calls(), 35);
    }

    // Catches texts written into a cache folder someone else made (here a
    // link into another folder), and a search that stops or stays silent
    // about it: the run goes on without the disk cache and says so once.
    void aCacheFolderNotTheUsersOwnIsNotUsed() {
        QVERIFY(QDir().mkpath(d(QStringLiteral("shared/elsewhere"))));
        QVERIFY(QFile::link(d(QStringLiteral("shared/elsewhere")),
                            d(QStringLiteral("shared/quillmark"))));
        const Outcome o =
            run({QStringLiteral("--cache"), QStringLiteral("plum"), QStringLiteral("docs")},
                QStringLiteral("shared"));
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out.count('\n'), 12);
        QCOMPARE(o.err.count("is not used: it is a symbolic link"), qsizetype(1));
        QVERIFY(QDir(d(QStringLiteral("shared/elsewhere"))).isEmpty());
    }

    void aDamagedEntryIsIgnoredAndWrittenAgain() {
        run({QStringLiteral("--cache"), QStringLiteral("plum"), QStringLiteral("docs")});
        const int before = calls();
        const QStringList entries = QDir(cacheFolder()).entryList(QDir::Files);
        QVERIFY(!entries.isEmpty());
        QMap<QString, QByteArray> whole;
        for (const QString& e : entries) {
            QFile f(cacheFolder() + u'/' + e);
            QVERIFY(f.open(QIODevice::ReadOnly));
            whole[e] = f.readAll();
        }
        // One entry cut short, as by a crash in the middle of a plain write.
        const QString cut = cacheFolder() + u'/' + entries.first();
        test::writeBytes(cut, whole[entries.first()].left(whole[entries.first()].size() / 2));
        const Outcome o =
            run({QStringLiteral("--cache"), QStringLiteral("plum"), QStringLiteral("docs")});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out.count('\n'), 12);
        QCOMPARE(calls(), before + 1);
        QFile f(cut);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), whole[entries.first()]);

        // A file changed on disk is extracted again; the others are not.
        test::makeTextPdf(d(QStringLiteral("docs/f3.pdf")),
                          {QStringLiteral("now without that fruit")});
        const Outcome changed =
            run({QStringLiteral("--cache"), QStringLiteral("plum"), QStringLiteral("docs")});
        QCOMPARE(changed.out.count('\n'), 10);
        QCOMPARE(calls(), before + 2);
    }

    // A text that could not be written whole is neither searched nor kept:
    // the file is reported for want of room, and a run with room counts all.
    void aWriteCutShortIsReportedAndNothingKept() {
        // Pages of one line over and over: a text far larger than its PDF.
        const QString line = QStringLiteral("A quince, a quince, a quince and a quince.\n");
        const QStringList pages(30, line.repeated(50));
        const QString manual = d(QStringLiteral("full/manual.pdf"));
        test::makeTextPdf(manual, pages);
        const qint64 pdfBytes = QFileInfo(manual).size();
        const qint64 textBytes = test::extractWithPdftotext(manual).size();
        // The copy of the PDF fits under the limit, the text does not.
        QVERIFY2(pdfBytes + 8192 < textBytes,
                 qPrintable(QStringLiteral("%1 %2").arg(pdfBytes).arg(textBytes)));
        const qint64 limit = (pdfBytes + textBytes) / 2;

        QCOMPARE(run({QStringLiteral("--clear-cache")}).status, 0);
        const QStringList count = {QStringLiteral("--cache"), QStringLiteral("-c"),
                                   QStringLiteral("quince"), manual};
        const Outcome full = run(count, QStringLiteral("xdg"), limit);
        QVERIFY2(full.err.contains((manual + QString::fromLatin1(kCopyFailedSuffix)).toUtf8()),
                 full.err.constData());
        QVERIFY2(!full.out.contains(manual.toUtf8()), full.out.constData());
        QCOMPARE(QDir(cacheFolder()).entryList(QDir::Files), QStringList());

        const Outcome room = run(count);
        QCOMPARE(room.status, 0);
        QCOMPARE(room.out, manual.toUtf8() + "\t6000\n");
        QCOMPARE(run(count).out, room.out);  // and from the cache
    }

    void badJobCounts() {
        for (const QString& bad :
             {QStringLiteral("0"), QStringLiteral("x"), QStringLiteral("-3")}) {
            const Outcome o =
                run({QStringLiteral("-j"), bad, QStringLiteral("plum"), QStringLiteral("docs")});
            QCOMPARE(o.status, 2);
            QVERIFY(o.err.contains("-j"));
        }
    }
};

}  // namespace qm

QTEST_MAIN(qm::CliCacheTest)
#include "test_cli_cache.moc"
