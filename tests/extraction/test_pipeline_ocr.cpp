// Scanned pages read with OCR through the pipeline: a scanned file gives text
// only with OCR on, a scanned page among typed ones takes its place, the
// cache serves the second search and tells languages apart, a stop and the
// time limit end a reading, a crash leaves the file failed and uncached, and
// a password-protected file is read from its decrypted copy and kept in
// memory only. tesseract is a logging stand-in; pdftotext, pdftoppm,
// pdfimages and qpdf are the real ones.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "support/pdfmaker.h"
#include "support/pipelinefixture.h"
#include "support/scanmaker.h"
#include "support/scripted.h"

namespace qm {

class PipelineOcrTest : public QObject, test::PipelineFixture {
    Q_OBJECT

    QString scanned_, mixed_, log_, extractor_, pdfimages_;

    // A pipeline of `jobs` workers with real tools, reading scanned pages
    // with `fake` in `languages` (no fake: OCR off).
    std::unique_ptr<TextPipeline> pipeline(const test::FakeTesseract* fake, TextCache* cache,
                                           const QString& languages = QStringLiteral("eng"),
                                           int jobs = 2, int timeLimitSeconds = 600) {
        TextPipeline::Setup s;
        s.extractorPath = extractor_;
        s.workFolder = d() + QStringLiteral("/work");
        s.jobs = jobs;
        s.cache = cache;
        s.timeLimitSeconds = timeLimitSeconds;
        if (fake) {
            QDir().mkpath(d() + QStringLiteral("/bin"));
            s.ocr.tesseract = test::writeFakeTesseract(d() + QStringLiteral("/bin"), *fake);
            s.ocr.pdftoppm = findPdftoppm();
            s.ocr.pdfimages = pdfimages_;
            s.ocr.languages = languages;
            s.ocr.engineVersion = fake->version;
        }
        return std::make_unique<TextPipeline>(std::move(s));
    }
    test::FakeTesseract logging() const {
        test::FakeTesseract fake;
        fake.logPath = log_;
        return fake;
    }
    static FileText obtain(TextPipeline& p, const QString& path, const QString& password = {}) {
        FileRequest request;
        request.path = path;
        if (!password.isEmpty()) request.password = password;
        return test::obtainText(p, request);
    }
    static QStringList pagesOf(const FileText& text) {
        return QString::fromStdString(text.chunks.utf8()).split(u'\f');
    }
    int readings() const { return int(test::fakeTesseractLog(log_).size()); }

  private Q_SLOTS:
    void initTestCase() {
        if (findExtractor().isEmpty() || findPdftoppm().isEmpty() || findPdfimages().isEmpty())
            QSKIP("poppler-utils is not installed");
        scanned_ = d() + QStringLiteral("/scanned.pdf");
        test::makeScannedPdf(scanned_, {"first scanned sheet", "second scanned sheet"}, 100);
        mixed_ = d() + QStringLiteral("/mixed.pdf");
        test::makeScannedPdf(mixed_, {"typed one", "scanned two", "typed three"}, 100,
                             test::ScanKind::Bilevel, {0, 2});
        log_ = d() + QStringLiteral("/tesseract.log");
        extractor_ = findExtractor();
        pdfimages_ = findPdfimages();
    }
    void init() {
        allowExtractions();
        QFile::remove(log_);
    }

    void aScannedFileGivesTextOnlyWithOcr() {
        const auto plain = pipeline(nullptr, nullptr);
        QCOMPARE(obtain(*plain, scanned_).outcome, TextOutcome::Unreadable);

        const test::FakeTesseract fake = logging();
        const auto ocr = pipeline(&fake, nullptr);
        const FileText text = obtain(*ocr, scanned_);
        QCOMPARE(text.outcome, TextOutcome::Text);
        QCOMPARE(pagesOf(text),
                 (QStringList{"scanned words of page 1\n", "scanned words of page 2\n", ""}));
        QCOMPARE(text.ocrPages, (std::vector<int>{1, 2}));
        for (const QString& line : test::fakeTesseractLog(log_))
            QVERIFY(line.endsWith(QLatin1String("-l eng --dpi 100 tsv OMP_THREAD_LIMIT=1")));

        // A scanned file read as empty is reported as without OCR.
        test::FakeTesseract blank;
        blank.text.clear();
        QCOMPARE(obtain(*pipeline(&blank, nullptr), scanned_).outcome, TextOutcome::Unreadable);
    }

    void aScannedPageAmongTypedOnesTakesItsPlace() {
        const test::FakeTesseract fake = logging();
        const FileText text = obtain(*pipeline(&fake, nullptr), mixed_);
        QCOMPARE(text.outcome, TextOutcome::Text);
        const QStringList pages = pagesOf(text);
        QCOMPARE(pages.size(), 4);
        QVERIFY(pages[0].contains(QLatin1String("typed one")));
        QCOMPARE(pages[1], QStringLiteral("scanned words of page 2\n"));
        QVERIFY(pages[2].contains(QLatin1String("typed three")));
        QCOMPARE(text.ocrPages, std::vector<int>{2});
        QCOMPARE(readings(), 1);  // typed pages are never read
    }

    void theCacheServesTheSecondSearchAndTellsLanguagesApart() {
        const QString folder = d() + QStringLiteral("/diskcache");
        DiskTextCache disk(folder, QStringLiteral("x"));
        TextCache cache;
        cache.attachDisk(&disk);
        const test::FakeTesseract fake = logging();
        QCOMPARE(obtain(*pipeline(&fake, &cache), mixed_).ocrPages, std::vector<int>{2});
        QCOMPARE(readings(), 1);
        // A second search, and a later program with only the disk: no reading.
        const FileText again = obtain(*pipeline(&fake, &cache), mixed_);
        QCOMPARE(again.ocrPages, std::vector<int>{2});
        QVERIFY(again.chunks.utf8().find("scanned words of page 2") != std::string::npos);
        TextCache later;
        later.attachDisk(&disk);
        QCOMPARE(obtain(*pipeline(&fake, &later), mixed_).ocrPages, std::vector<int>{2});
        QCOMPARE(readings(), 1);
        // Another language, and OCR off, are other texts.
        QCOMPARE(obtain(*pipeline(&fake, &cache, QStringLiteral("deu")), mixed_).outcome,
                 TextOutcome::Text);
        QCOMPARE(readings(), 2);
        const FileText plain = obtain(*pipeline(nullptr, &cache), mixed_);
        QVERIFY(plain.ocrPages.empty());
        QVERIFY(plain.chunks.utf8().find("scanned words") == std::string::npos);
    }

    void aPlainTextWithoutEmptyPagesServesAnOcrSearch() {
        // An extractor that counts its runs.
        const QString runs = d() + QStringLiteral("/extractor.log");
        extractor_ = test::writeScript(
            d(), QStringLiteral("counting"),
            QStringLiteral("echo x >> '%1'\nexec '%2' \"$@\"").arg(runs, findExtractor()));
        const auto extractions = [&] { return int(read(runs).count('\n')); };
        const QString typed = d() + QStringLiteral("/typed.pdf");
        // Pages of text enough: a page of a few words may be a scan with a stamp.
        const QString page =
            QStringList(12, QStringLiteral("typed words to make a page")).join('\n');
        test::makeScannedPdf(typed, {page, page}, 100, test::ScanKind::Grey, {0, 1});
        TextCache cache;
        const test::FakeTesseract fake = logging();
        QCOMPARE(obtain(*pipeline(nullptr, &cache), typed).outcome, TextOutcome::Text);
        QCOMPARE(obtain(*pipeline(&fake, &cache), typed).outcome, TextOutcome::Text);
        QCOMPARE(extractions(), 1);
        // A plain text with an empty page, or none at all, is read again.
        QCOMPARE(obtain(*pipeline(nullptr, &cache), mixed_).ocrPages, std::vector<int>{});
        QCOMPARE(obtain(*pipeline(&fake, &cache), mixed_).ocrPages, std::vector<int>{2});
        QCOMPARE(obtain(*pipeline(nullptr, &cache), scanned_).outcome, TextOutcome::Unreadable);
        QCOMPARE(obtain(*pipeline(&fake, &cache), scanned_).outcome, TextOutcome::Text);
        QCOMPARE(extractions(), 5);
        extractor_ = findExtractor();
    }

    void aStopAndTheTimeLimitEndAReading() {
        test::FakeTesseract sleeping = logging();
        sleeping.sleepSeconds = 60;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(
            obtain(*pipeline(&sleeping, nullptr, QStringLiteral("eng"), 2, 1), scanned_).outcome,
            TextOutcome::TimedOut);
        // Fault caught: a listing of images that timed out taken for an
        // ended run, which stops the whole search.
        pdfimages_ =
            test::writeScript(d(), QStringLiteral("pdfimages"), QStringLiteral("sleep 60"));
        const test::FakeTesseract fake = logging();
        QCOMPARE(obtain(*pipeline(&fake, nullptr, QStringLiteral("eng"), 2, 1), scanned_).outcome,
                 TextOutcome::TimedOut);
        pdfimages_ = findPdfimages();

        TextCache cache;
        const auto p = pipeline(&sleeping, &cache);
        FileRequest request;
        request.path = scanned_;
        // Withdrawn once both pages are being read, each on a worker of its
        // own. The ticket tells which page of how many is read.
        std::vector<std::pair<int, int>> told;
        bool arrived = false;
        TextPipeline::Ticket ticket =
            p->fetch(nullptr, request, [&](const FileText&, const QString&) { arrived = true; });
        QTimer poll;
        QEventLoop loop;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const auto [page, pages] = ticket.ocrReading();
            if (pages > 0) told.emplace_back(page, pages);
            if (readings() == 2 && !told.empty()) {
                ticket.cancel();
                loop.quit();
            }
        });
        poll.start(20);
        loop.exec();
        QCoreApplication::processEvents();
        QVERIFY(!arrived);                 // a withdrawn ticket hears nothing more
        QVERIFY(clock.elapsed() < 30000);  // neither waited for tesseract's 60 s
        QTRY_COMPARE(runningChildren(), 0);
        QCOMPARE(cache.entryCount(), std::size_t(0));
        QCOMPARE(told.front(), std::make_pair(1, 2));
    }

    void aCrashingTesseractLeavesTheFileFailedAndUncached() {
        TextCache cache;
        test::FakeTesseract crashing = logging();
        crashing.crash = true;
        QCOMPARE(obtain(*pipeline(&crashing, &cache), scanned_).outcome, TextOutcome::Failed);
        QCOMPARE(cache.entryCount(), std::size_t(0));
    }

    void aProtectedFileIsReadFromItsDecryptedCopyAndKeptInMemoryOnly() {
        const QString locked = d() + QStringLiteral("/locked.pdf");
        if (findQpdf().isEmpty() || !test::encryptPdf(scanned_, locked, "pw", "owner"))
            QSKIP("qpdf is not installed");
        const QString folder = d() + QStringLiteral("/lockedcache");
        DiskTextCache disk(folder, QStringLiteral("x"));
        TextCache cache;
        cache.attachDisk(&disk);
        const test::FakeTesseract fake = logging();
        const FileText text = obtain(*pipeline(&fake, &cache), locked, QStringLiteral("pw"));
        QCOMPARE(text.outcome, TextOutcome::Text);
        QCOMPARE(text.ocrPages, (std::vector<int>{1, 2}));
        QCOMPARE(cache.entryCount(), std::size_t(1));
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        // The decrypted copy is gone with the file.
        QVERIFY(!QFile::exists(d() + QStringLiteral("/work/ex1/open.pdf")));
        QVERIFY(!QFile::exists(d() + QStringLiteral("/work/ex2/open.pdf")));
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::PipelineOcrTest)
#include "test_pipeline_ocr.moc"
