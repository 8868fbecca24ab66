// One file's extraction: the password through qpdf on standard input and its
// fallback, what a file gives when it cannot be copied, times out, is
// damaged or protected, or its extractor dies, and the work files left
// behind. Fake extractors are small shell scripts.
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "extraction/pagesplit.h"
#include "extraction/pipeline.h"
#include "extraction/scannedpages.h"
#include "extraction/textcache.h"
#include "fs/fs.h"
#include "support/pdfmaker.h"
#include "support/pipelinefixture.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {

using test::writeBytes;
using test::writeScript;

class ExtractFileTest : public QObject, test::PipelineFixture {
    Q_OBJECT

  private Q_SLOTS:
    void init() { allowExtractions(); }

    void passwordGoesToQpdfOnStandardInputNeverOnACommandLine() {
        // Stand-ins that log their argument lists: a qpdf that takes the
        // password "pw" only (read from standard input) and an extractor.
        const QString log = d() + QStringLiteral("/calls");
        // It takes every file for one that needs a password.
        const QString qpdf =
            writeScript(d(), QStringLiteral("qpdf"),
                        QStringLiteral("[ \"$1\" = --requires-password ] && exit 0\n"
                                       "echo \"qpdf $*\" >> \"%1\"\n"
                                       "read -r pw\n"
                                       "[ \"$pw\" = pw ] || exit 2\n"
                                       "cat \"$3\"")
                            .arg(log));
        const QString fake = writeScript(d(), QStringLiteral("logging"),
                                         QStringLiteral("echo \"pdftotext $*\" >> \"%1\"\n"
                                                        "printf 'some text here'")
                                             .arg(log));
        TextPipeline::Setup s;
        s.extractorPath = fake;
        s.qpdfPath = qpdf;
        s.workFolder = d() + QStringLiteral("/work");
        s.jobs = 1;
        TextPipeline p(std::move(s));
        FileRequest request;
        request.path = anyPdf();
        request.password = QStringLiteral("pw");
        const FileText text = test::obtainText(p, request);
        QCOMPARE(text.outcome, TextOutcome::Text);
        QCOMPARE(text.chunks.chunkString(0), QStringLiteral("some text here"));
        const QString folder = d() + QStringLiteral("/work/ex1/");
        QCOMPARE(QString::fromUtf8(read(log)),
                 QStringLiteral("qpdf --password-file=- --decrypt %1tmp.pdf -\n"
                                "pdftotext %1open.pdf -\n")
                     .arg(folder));
        // The decrypted copy and the work files are gone once the text is read.
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());

        // A wrong password: the copy is extracted as it is, still without a password.
        QFile::remove(log);
        request.password = QStringLiteral("wrong");
        QCOMPARE(test::obtainText(p, request).outcome, TextOutcome::Text);
        const QString calls = QString::fromUtf8(read(log));
        QCOMPARE(calls, QStringLiteral("qpdf --password-file=- --decrypt %1tmp.pdf -\n"
                                       "pdftotext %1tmp.pdf -\n")
                            .arg(folder));
        QVERIFY(!calls.contains(QStringLiteral("wrong")));
    }

    void aFifoIsReportedNeverOpened() {
        // A named pipe without a writer blocks whoever opens it for reading.
        const QString fifo = d() + QStringLiteral("/pipe.pdf");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString ok =
            textAfter(QStringLiteral("fifo-ok"), QStringLiteral("0"), QStringLiteral("never used"));
        auto p = pipeline(ok);
        FileRequest request;
        request.path = fifo;
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::NotCopied);
        request.path = QStringLiteral("/dev/zero");
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::NotCopied);
        QVERIFY_THROWS_EXCEPTION(Error, readFileLines(fifo));
    }

    void anExtractionThatTakesTooLongIsEnded() {
        const QString pidFile = d() + QStringLiteral("/sleeper.pid");
        const QString hang =
            writeScript(d(), QStringLiteral("sleeper"),
                        QStringLiteral("sleep 300 &\necho $! > '%1'\nwait\nexit 0").arg(pidFile));
        TextPipeline::Setup s;
        s.extractorPath = hang;
        s.workFolder = d() + QStringLiteral("/work");
        s.jobs = 1;
        s.timeLimitSeconds = 1;
        TextPipeline p(std::move(s));
        FileRequest request;
        request.path = anyPdf();
        QCOMPARE(test::obtainText(p, request).outcome, TextOutcome::TimedOut);
        // The extractor's own children went with it.
        QCOMPARE(runningChildren(), 0);
        const pid_t sleeper = static_cast<pid_t>(read(pidFile).trimmed().toInt());
        QVERIFY(sleeper > 0);
        QTRY_VERIFY(::kill(sleeper, 0) != 0);
    }

    void aHalfTextIsNeverTakenNorKept() {
        // An extractor that writes part of a text and then dies by a signal;
        // another that fails once for a passing cause, then works.
        const QString dies = writeScript(d(), QStringLiteral("dies"),
                                         QStringLiteral("printf 'half a te'\nkill -9 $$"));
        TextCache cache;
        TextPipeline::Setup s;
        s.extractorPath = dies;
        s.workFolder = d() + QStringLiteral("/work3");
        s.jobs = 1;
        s.cache = &cache;
        auto p = std::make_unique<TextPipeline>(s);
        FileRequest request;
        request.path = anyPdf();
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Failed);
        QCOMPARE(cache.entryCount(), 0u);

        const QString marker = d() + QStringLiteral("/failed-once");
        s.extractorPath =
            writeScript(d(), QStringLiteral("once"),
                        QStringLiteral("if [ ! -e '%1' ]; then touch '%1'; kill -TERM $$; fi\n"
                                       "printf 'the whole text'")
                            .arg(marker));
        p = std::make_unique<TextPipeline>(s);
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Failed);
        const FileText again = test::obtainText(*p, request);
        QCOMPARE(again.outcome, TextOutcome::Text);
        QCOMPARE(again.chunks.chunkString(0), QStringLiteral("the whole text"));
        QCOMPARE(cache.entryCount(), 1u);
    }

    void aRunThatMayStopEarlyTakesKeptTextsAsTheirEntries() {
        // Files 1 and 2 of a run, the second extracted ahead: once extracted,
        // then from the cache. Only a run that takes kept texts on demand gets
        // the entries (nothing unpacked); any other gets the chunks.
        TextCache cache;
        TextPipeline::Setup s =
            setup(writeScript(d(), QStringLiteral("kept"),
                              QStringLiteral("printf 'kept %s' \"$(cat \"$1\")\"")),
                  QStringLiteral("work-kept"), 2);
        s.cache = &cache;
        TextPipeline p(std::move(s));
        QStringList paths;
        for (int i = 1; i <= 2; ++i) {
            paths << d() + QStringLiteral("/kept%1.pdf").arg(i);
            writeBytes(paths.last(), QByteArray::number(i));
        }
        for (const bool onDemand : {false, false, true}) {
            RunPlan plan = planOf(paths);
            plan.keptTextsOnDemand = onDemand;
            const auto run = p.beginRun(plan);
            for (int i = 1; i <= 2; ++i) {
                FileRequest request;
                request.index = i;
                request.path = paths[i - 1];
                const FileText t = test::obtainText(p, request, run.get());
                QCOMPARE(t.outcome, TextOutcome::Text);
                QCOMPARE(bool(t.kept), onDemand);
                const TextChunks chunks = t.kept ? t.kept->chunks() : t.chunks;
                QCOMPARE(chunks.chunkString(0), QStringLiteral("kept %1").arg(i));
                if (t.kept) QVERIFY(t.chunks.utf8().empty());
            }
        }
    }

    // qpdf makes the PDFs: one blank page (its text a lone page break) at `plain`,
    // and at `locked` the same encrypted with the password "pw".
    void makeBlankPdfs(const QString& plain, const QString& locked) {
        const QString raw = d() + QStringLiteral("/raw.pdf");
        writeBytes(raw,
                   "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                   "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                   "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>endobj\n"
                   "trailer<</Root 1 0 R>>\n%%EOF\n");
        QProcess::execute(findQpdf(), {raw, plain});  // repaired, with warnings
        QVERIFY(QFile::exists(plain));
        QProcess::execute(findQpdf(), {"--encrypt", "pw", "pw", "256", "--", plain, locked});
        QVERIFY(QFile::exists(locked));
    }

  private Q_SLOTS:
    void aDamagedFileIsToldFromAProtectedOne() {
        const QString extractor = findExtractor();
        if (extractor.isEmpty() || findQpdf().isEmpty()) QSKIP("pdftotext and qpdf are needed");
        const QString plain = d() + QStringLiteral("/plain.pdf");
        const QString locked = d() + QStringLiteral("/locked.pdf");
        makeBlankPdfs(plain, locked);
        const QString empty = d() + QStringLiteral("/empty.pdf");
        writeBytes(empty, "");
        QFile whole(plain);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QString cut = d() + QStringLiteral("/cut.pdf");
        writeBytes(cut, whole.read(whole.size() / 3));
        auto p = pipeline(extractor);
        FileRequest request;
        request.path = locked;
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Protected);
        request.path = empty;
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Damaged);
        request.path = cut;
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Damaged);
        // With the password, the real qpdf opens it: its text is a lone page break.
        request.path = locked;
        request.password = QStringLiteral("pw");
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Unreadable);
    }

    // Catches a relative name beginning with "-" read by qpdf as an option: its
    // "not encrypted" answer kept the password from being asked and used.
    void aProtectedFileNamedLikeAnOptionGetsItsPassword() {
        const QString extractor = findExtractor();
        if (extractor.isEmpty() || findQpdf().isEmpty()) QSKIP("pdftotext and qpdf are needed");
        makeBlankPdfs(d() + QStringLiteral("/plain.pdf"), d() + QStringLiteral("/-enc.pdf"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(d()));
        auto p = pipeline(extractor);
        bool needs = false;
        bool answered = false;
        QEventLoop loop;
        p->askNeedsPassword(QStringLiteral("-enc.pdf"), [&](bool n) {
            needs = n;
            answered = true;
            loop.quit();
        });
        if (!answered) loop.exec();
        FileRequest request;
        request.path = QStringLiteral("-enc.pdf");
        request.password = QStringLiteral("pw");
        const TextOutcome outcome = test::obtainText(*p, request).outcome;
        QDir::setCurrent(before);
        QVERIFY(needs);
        // Opened with the password, its blank page reads as unreadable, not protected.
        QCOMPARE(outcome, TextOutcome::Unreadable);
    }

    // Catches a child reading a path beginning with "-" as an option: every
    // argument builder passes such a path as "./-…", an absolute one unchanged.
    void aPathLikeAnOptionIsNeverAnOption() {
        const auto lists = [](const QString& path) {
            return std::vector<QStringList>{plainArguments(path),
                                            decryptArguments(path),
                                            requiresPasswordArguments(path),
                                            checkArguments(path),
                                            pageCountArguments(path),
                                            rangeArguments(path, PageRange{1, 2}),
                                            renderArguments(path, 1, 200),
                                            recognizeArguments(path, QStringLiteral("eng"), 200),
                                            imageListArguments(path, 1, 2),
                                            pageSizeArguments(path, 1, 2)};
        };
        for (const QString& path : {QStringLiteral("-enc.pdf"), QStringLiteral("/w/-enc.pdf")}) {
            const QString expected = path.startsWith(u'/') ? path : QStringLiteral("./-enc.pdf");
            for (const QStringList& args : lists(path)) {
                QVERIFY2(args.contains(expected), qPrintable(args.join(u' ')));
                QVERIFY(!args.contains(QStringLiteral("-enc.pdf")));
            }
        }
    }

    // A PDF without pages makes the extractor give up ("Wrong page range
    // given"): a failed extraction, unless qpdf's check finds fault with the
    // file too, when it is damaged.
    void aPdfWithoutPagesIsDamagedWhenQpdfFindsItSo() {
        const QString extractor = findExtractor();
        if (extractor.isEmpty() || findQpdf().isEmpty()) QSKIP("pdftotext and qpdf are needed");
        const QString sound = d() + QStringLiteral("/nopages.pdf");
        QCOMPARE(QProcess::execute(findQpdf(), {QStringLiteral("--empty"), sound}), 0);
        // No cross-reference table: qpdf repairs it, with warnings.
        const QString broken = d() + QStringLiteral("/nopages-broken.pdf");
        writeBytes(broken,
                   "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                   "2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\n"
                   "trailer<</Root 1 0 R>>\n%%EOF\n");
        auto p = pipeline(extractor);
        FileRequest request;
        request.path = sound;
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Failed);
        request.path = broken;
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::Damaged);
    }

    void aFullWorkFolderIsNotTakenForAMissingFile() {
        // A file size limit stands in for a full disk: the copy's writes fail.
        const QString big = d() + QStringLiteral("/big.pdf");
        writeBytes(big, QByteArray(256 * 1024, 'x'));
        auto p = pipeline(
            textAfter(QStringLiteral("full-ok"), QStringLiteral("0"), QStringLiteral("x")));
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        FileRequest request;
        request.path = big;
        const TextOutcome outcome = test::obtainText(*p, request).outcome;
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, oldHandler);
        QCOMPARE(outcome, TextOutcome::CopyFailed);
    }

    void aStaleTextIsNeverTakenForTheFilesText() {
        // A text file left in the worker's folder (a crash, an earlier run) is
        // removed first, so an extractor that writes nothing gives no text.
        const QString fails = writeScript(d(), QStringLiteral("fails"), QStringLiteral("exit 1"));
        auto p = pipeline(fails);
        writeBytes(d() + QStringLiteral("/work/ex1/tmp.txt"), "stale text of another file");
        FileRequest request;
        request.path = anyPdf();
        const FileText text = test::obtainText(*p, request);
        QCOMPARE(text.outcome, TextOutcome::Damaged);  // the stand-in is no PDF
        QCOMPARE(text.textFileSize, -1);
        QVERIFY(!QFile::exists(d() + QStringLiteral("/work/ex1/tmp.txt")));
        // A file that is gone cannot be copied, and a leftover copy never stands in for it.
        request.path = d() + QStringLiteral("/gone.pdf");
        QCOMPARE(test::obtainText(*p, request).outcome, TextOutcome::NotCopied);
        QCOMPARE(copyToTemporary(d() + QStringLiteral("/gone.pdf"),
                                 d() + QStringLiteral("/work/ex1/tmp.pdf")),
                 fs::CopyResult::SourceUnreadable);
        QVERIFY(!QFile::exists(d() + QStringLiteral("/work/ex1/tmp.pdf")));
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::ExtractFileTest)
#include "test_extractfile.moc"
