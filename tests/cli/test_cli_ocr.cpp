// quillmark-search --ocr over made scanned PDFs, with a stand-in tesseract
// first on PATH that logs each page it reads: a scanned file's words found
// only with --ocr, a scanned page's rows with its page number and marked in
// JSON, the cache serving a second run and missing on another language, the
// languages checked, a sleeping tesseract ended by the time limit, a crashing
// one leaving the file reported and nothing kept, and --ocr refused without
// tesseract. The real pdftotext, pdftoppm and pdfimages do the rest.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "support/scanmaker.h"

namespace qm {

class CliOcrTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString d(const QString& name) const { return dir_.path() + u'/' + name; }
    QString scanned_, mixed_, log_;

    struct Outcome {
        int status = -1;
        QString out;
        QString err;
        QStringList lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    };
    // Runs the program with `fake` as the tesseract on PATH (none: no
    // tesseract on PATH at all) and a cache folder of its own; `terminal`:
    // on a pseudo-terminal made by script(1), standard error shown as output.
    Outcome run(const QStringList& args, const test::FakeTesseract* fake, bool terminal = false) {
        const QString bin = d(QStringLiteral("bin"));
        QDir(bin).removeRecursively();
        QDir().mkpath(bin);
        if (fake) test::writeFakeTesseract(bin, *fake);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMP"), d(QStringLiteral("work")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), d(QStringLiteral("xdg")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("QM_EXTRACTOR"), findExtractor());
        // pdftoppm and pdfimages are found beside pdftotext.
        const QString tools = QFileInfo(findPdftoppm()).absolutePath();
        env.insert(QStringLiteral("PATH"), fake ? bin + u':' + env.value(QStringLiteral("PATH"))
                                                : bin + u':' + linkTools(tools));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_.path());
        const QString program =
            qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/cli/quillmark-search");
        if (terminal) {
            QString line = program;
            for (const QString& a : args) line += QStringLiteral(" '") + a + u'\'';
            p.start(QStringLiteral("script"),
                    {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"), line,
                     QStringLiteral("/dev/null")});
            p.closeWriteChannel();
        } else {
            p.start(program, QStringList{QStringLiteral("--no-progress")} + args);
        }
        Outcome o;
        if (!p.waitForFinished(90000)) p.kill();
        o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.out = QString::fromUtf8(p.readAllStandardOutput());
        o.err = QString::fromUtf8(p.readAllStandardError());
        return o;
    }
    // A folder with poppler's tools and nothing else: no tesseract.
    QString linkTools(const QString& from) {
        const QString tools = d(QStringLiteral("tools"));
        QDir().mkpath(tools);
        for (const char* name : {"pdftotext", "pdftoppm", "pdfimages", "pdfinfo", "qpdf"})
            QFile::link(from + u'/' + QLatin1String(name), tools + u'/' + QLatin1String(name));
        return tools;
    }
    test::FakeTesseract logging() const {
        test::FakeTesseract fake;
        fake.logPath = log_;
        return fake;
    }
    int readings() const { return int(test::fakeTesseractLog(log_).size()); }

  private Q_SLOTS:
    void initTestCase() {
        if (findExtractor().isEmpty() || findPdftoppm().isEmpty() || findPdfimages().isEmpty())
            QSKIP("poppler-utils is not installed");
        QDir().mkpath(d(QStringLiteral("work")));
        scanned_ = d(QStringLiteral("scanned.pdf"));
        test::makeScannedPdf(scanned_, {"a sheet"}, 100);
        mixed_ = d(QStringLiteral("mixed.pdf"));
        test::makeScannedPdf(mixed_, {"typed words one", "scanned", "typed words three"}, 100,
                             test::ScanKind::Jpeg, {0, 2});
        log_ = d(QStringLiteral("tesseract.log"));
    }
    void init() {
        QFile::remove(log_);
        QDir(d(QStringLiteral("xdg"))).removeRecursively();
    }

    void aScannedFilesWordsAreFoundOnlyWithOcr() {
        const test::FakeTesseract fake = logging();
        const Outcome plain = run({QStringLiteral("scanned words"), scanned_}, &fake);
        QCOMPARE(plain.status, 1);
        QVERIFY(plain.err.contains(QLatin1String("text unreadable")));
        QCOMPARE(readings(), 0);
        const Outcome ocr =
            run({QStringLiteral("--ocr"), QStringLiteral("scanned words"), scanned_}, &fake);
        QCOMPARE(ocr.status, 0);
        QCOMPARE(ocr.lines().size(), 1);
        QVERIFY(ocr.lines()[0].startsWith(scanned_ + QStringLiteral("\tscanned words of page 1")));
        QVERIFY(ocr.err.isEmpty());
    }

    void aScannedPageAmongTypedOnesHasItsPageNumberAndSaysSo() {
        const test::FakeTesseract fake = logging();
        const Outcome rows =
            run({QStringLiteral("--ocr"), QStringLiteral("-n"), QStringLiteral("words"), mixed_},
                &fake);
        QCOMPARE(rows.status, 0);
        QStringList pages;
        for (const QString& line : rows.lines()) pages << line.section(u'\t', 1, 1);
        QCOMPARE(pages, (QStringList{"1", "2", "3"}));
        QVERIFY(rows.err.isEmpty());  // a page read well is not named
        // A page read badly is named in the report and its rows say how badly.
        // Faults caught: the confidence lost on its way from tesseract, a weak
        // page searched without a word to the user.
        test::FakeTesseract weak = fake;
        weak.confidence = 40;
        const Outcome json = run(
            {QStringLiteral("--ocr"), QStringLiteral("--json"), QStringLiteral("words"), mixed_},
            &weak);
        QStringList marks;
        for (const QString& line : json.lines()) {
            const QJsonObject row = QJsonDocument::fromJson(line.toUtf8()).object();
            marks << QStringLiteral("%1:%2:%3")
                         .arg(row.value(QStringLiteral("page")).toInt())
                         .arg(row.value(QStringLiteral("ocr")).toBool() ? "ocr" : "typed")
                         .arg(row.value(QStringLiteral("ocr_confidence")).toInt(-1));
        }
        QCOMPARE(marks, (QStringList{"1:typed:-1", "2:ocr:40", "3:typed:-1"}));
        QVERIFY2(json.err.contains(mixed_ + QStringLiteral("  - page 2 read by OCR with low "
                                                           "confidence.")),
                 qPrintable(json.err));
    }

    void theCacheServesTheSecondRunAndAnotherLanguageMissesIt() {
        const test::FakeTesseract fake = logging();
        const QStringList args{QStringLiteral("--ocr"), QStringLiteral("--cache"),
                               QStringLiteral("-c"), QStringLiteral("words"), mixed_};
        QCOMPARE(run(args, &fake).out, mixed_ + QStringLiteral("\t3\n"));
        QCOMPARE(readings(), 1);
        QCOMPARE(run(args, &fake).out, mixed_ + QStringLiteral("\t3\n"));
        QCOMPARE(readings(), 1);
        QCOMPARE(run(QStringList{QStringLiteral("--ocr-lang"), QStringLiteral("deu")} + args, &fake)
                     .status,
                 0);
        QCOMPARE(readings(), 2);
    }

    // Fault caught: a terminal that shows nothing but the file's name while
    // its scanned pages are read for a long time.
    void theProgressLineSaysWhichPageIsRead() {
        if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
            QSKIP("no 'script' command to make a pseudo-terminal");
        test::FakeTesseract slow = logging();
        slow.sleepSeconds = 1;
        const Outcome shown =
            run({QStringLiteral("--ocr"), QStringLiteral("x"), scanned_}, &slow, true);
        QVERIFY2(shown.out.contains(QLatin1String("Reading page 1 of 1 (OCR): scanned.pdf")),
                 qPrintable(shown.out));
    }

    void languagesAreCheckedAgainstTheInstalledOnes() {
        const test::FakeTesseract fake = logging();
        for (const char* languages : {"fra", "eng+", "eng+xyz"}) {
            const Outcome o = run({QStringLiteral("--ocr-lang"), QLatin1String(languages),
                                   QStringLiteral("x"), scanned_},
                                  &fake);
            QCOMPARE(o.status, 2);
            QVERIFY2(o.err.contains(QLatin1String("installed: eng, deu")), qPrintable(o.err));
        }
        QCOMPARE(readings(), 0);
        // The default of a C locale: English.
        QCOMPARE(run({QStringLiteral("--ocr"), QStringLiteral("x"), scanned_}, &fake).status, 1);
        QVERIFY(test::fakeTesseractLog(log_).value(0).contains(QLatin1String("-l eng ")));
    }

    void theTimeLimitEndsAReadingAndACrashIsReportedAndNotKept() {
        test::FakeTesseract sleeping = logging();
        sleeping.sleepSeconds = 60;
        const Outcome late = run({QStringLiteral("--ocr"), QStringLiteral("--timeout"),
                                  QStringLiteral("1"), QStringLiteral("x"), scanned_},
                                 &sleeping);
        QCOMPARE(late.status, 2);  // a file that timed out is an error
        QVERIFY2(late.err.contains(QLatin1String("text extraction took too long.")),
                 qPrintable(late.err));

        test::FakeTesseract crashing = logging();
        crashing.crash = true;
        const QStringList args{QStringLiteral("--ocr"), QStringLiteral("--cache"),
                               QStringLiteral("scanned words"), scanned_};
        const Outcome crashed = run(args, &crashing);
        QCOMPARE(crashed.status, 2);
        QVERIFY2(crashed.err.contains(QLatin1String("text extraction failed.")),
                 qPrintable(crashed.err));
        // Nothing was kept: the next run reads the page.
        const int before = readings();
        const test::FakeTesseract fake = logging();
        QCOMPARE(run(args, &fake).status, 0);
        QCOMPARE(readings(), before + 1);
    }

    // Catches a tesseract that gives no version reported as one not installed.
    void ocrIsRefusedWithoutTesseract() {
        test::FakeTesseract silent;
        silent.version.clear();  // "tesseract" alone: no version
        for (const auto& [fake, says] :
             {std::pair<const test::FakeTesseract*, const char*>{nullptr, "please install"},
              {&silent, "did not answer"}}) {
            const Outcome o = run({QStringLiteral("--ocr"), QStringLiteral("x"), scanned_}, fake);
            QCOMPARE(o.status, 2);
            QVERIFY2(o.err.contains(QLatin1String(says)), qPrintable(o.err));
            QVERIFY2(o.err.contains(QLatin1String("tesseract-ocr")), qPrintable(o.err));
        }
        // Without --ocr nothing needs it.
        QCOMPARE(run({QStringLiteral("x"), scanned_}, nullptr).status, 1);
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::CliOcrTest)
#include "test_cli_ocr.moc"
