// Scanned pages: which pages of an extracted text are empty, which hold an
// image, the OCR text put in its page's place, the languages and the engine
// tesseract reports, and pages read over several threads by a stand-in
// tesseract that logs, sleeps or crashes (and by the real one when installed).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "extraction/child.h"
#include "extraction/ocr.h"
#include "extraction/ocrtext.h"
#include "extraction/scannedpages.h"
#include "support/pdfmaker.h"
#include "support/scanmaker.h"

namespace qm {
namespace {

using test::writeBytes;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class OcrTest : public ::testing::Test {
  protected:
    QTemporaryDir dir_;
    QString d(const char* name = "") const { return dir_.path() + u'/' + QString::fromUtf8(name); }
};

TEST_F(OcrTest, TextlessPagesAreThoseWithoutAPrintableCharacter) {
    struct Case {
        const char* text;
        int count;
        std::vector<int> textless;
    } cases[] = {
        {"", 0, {}},
        {"no form feed at all", 0, {}},
        {"a\f\f", 2, {2}},
        {"\fb\f", 2, {1}},
        {"\n\r\t\x01\f \f", 2, {1}},          // controls only; a blank is printable
        {"a\f\xC2\x85\f\xC2\xA0\f", 3, {2}},  // U+0085 is a control, U+00A0 is printable
        {"\xA9\f\x85\f", 2, {2}},             // bytes outside UTF-8 read as Latin-1
        {"\f\f\f", 3, {1, 2, 3}},
        {"x\fy\ftail without its form feed", 2, {}},
    };
    for (const Case& c : cases) {
        const QString path = d("t.txt");
        writeBytes(path, QByteArray(c.text));
        const TextPages pages = findTextlessPages(path);
        EXPECT_EQ(pages.count, c.count) << c.text;
        EXPECT_EQ(pages.textless, c.textless) << c.text;
    }
}

TEST_F(OcrTest, SplicedTextsTakeTheirPagesPlace) {
    struct Case {
        QByteArray text;
        std::map<int, QByteArray> pages;
        QByteArray expected;
    } cases[] = {
        {"a\f\n\fc\f", {{2, "B\n"}}, "a\fB\n\fc\f"},
        {"\f\f", {{1, "one"}, {2, "two"}}, "one\ftwo\f"},
        {"a\f\x01\x02\fc", {{2, "B"}}, "a\fB\fc"},  // the page's own bytes go
        {"a\fb\f", {{5, "none"}}, "a\fb\f"},        // no such page
        {"a\fb\f", {}, "a\fb\f"},
    };
    for (const Case& c : cases) {
        writeBytes(d("in.txt"), c.text);
        ASSERT_TRUE(spliceOcrTexts(d("in.txt"), c.pages, d("out.txt")));
        EXPECT_EQ(readAll(d("out.txt")), c.expected) << c.text.toStdString();
    }
    // Pages that straddle the reader's blocks of 1 MiB.
    const QByteArray big(1536 * 1024, 'x');
    writeBytes(d("in.txt"), big + "\f\f" + big + "\f\f");
    ASSERT_TRUE(spliceOcrTexts(d("in.txt"), {{2, "two"}, {4, "four"}}, d("out.txt")));
    EXPECT_EQ(readAll(d("out.txt")), big + "\ftwo\f" + big + "\ffour\f");
}

TEST_F(OcrTest, OcrTextsAreCleanedForTheirPage) {
    EXPECT_EQ(cleanOcrText("words\n\f"), QByteArray("words\n"));
    EXPECT_EQ(cleanOcrText("a\fb"), QByteArray("ab"));
    EXPECT_EQ(cleanOcrText(" \n\n\f"), QByteArray(" \n\n"));  // a blank is printable
    EXPECT_EQ(cleanOcrText("\n\n\f"), QByteArray());
    EXPECT_EQ(cleanOcrText("caf\xE9"), QByteArray("caf\xC3\xA9"));  // made valid UTF-8
}

TEST_F(OcrTest, ImageListingsNameTheirPages) {
    const QByteArray listing =
        "page   num  type   width height color comp bpc  enc interp  object ID x-ppi y-ppi size "
        "ratio\n"
        "-----------------------------------------------------------------------------------\n"
        "   2     0 image    1654  2339  gray    1   8  image  no         9  0   200   200 91.0K "
        "2.4%\n"
        "   2     1 smask    1654  2339  gray    1   8  image  no         9  0   200   200 1.0K "
        "0.1%\n"
        "  10     2 image    1654  2339  gray    1   1  image  no        12  0   200   200 20K "
        "4%\n";
    EXPECT_EQ(parseImagePages(listing), (std::vector<int>{2, 10}));
    EXPECT_TRUE(parseImagePages("Syntax Error: something\n").empty());
}

// Faults caught: a forged title's size line taken for the page's, a rotated
// page measured by its short side, a huge page rendered at full resolution.
TEST_F(OcrTest, PageSizesAreTheListingsLastAndBoundTheRender) {
    // A title of two lines, the second made to look like a size.
    const QByteArray listing =
        "Title:          Scan\n"
        "Page    1 size: 10 x 10 pts\n"
        "Pages:          2\n"
        "Page    1 size: 595.28 x 841.89 pts (A4)\n"
        "Page    1 rot:  0\n"
        "Page    2 size: 14400 x 7200 pts\n"
        "Page    3 size: wide x 10 pts\n";
    EXPECT_EQ(parsePageSizes(listing),
              (std::map<int, PageSize>{{1, {595.28, 841.89}}, {2, {14400, 7200}}}));
    const struct {
        PageSize size;
        int dpi;
    } cases[] = {{{595.28, 841.89}, 200}, {{2880, 10}, 200}, {{10, 2881}, 199},
                 {{14400, 7200}, 40},     {{1e9, 1}, 1},     {{0, 0}, 200}};
    for (const auto& c : cases)
        EXPECT_EQ(renderDpi(c.size, 200), c.dpi) << c.size.width << 'x' << c.size.height;
}

// A textless page of A4 (96.7 square inches) is read only when its images
// cover 15 % of it (14.5 square inches).
TEST_F(OcrTest, APageIsReadWhenItsImagesCoverEnoughOfIt) {
    const std::map<int, PageSize> a4{{1, {595.28, 841.89}}};
    const QByteArray tenth = "1 0 image 600 660 gray 1 8 image no 9 0 200 200 9K 2%\n";
    const struct {
        QByteArray rows;
        bool sized;
        bool read;
    } cases[] = {
        // A full-page scan missed: its size measured in the wrong units.
        {"1 0 image 1654 2339 gray 1 8 image no 9 0 200 200 91K 2%\n", true, true},
        // A logo alone counted as a scan: every page of a letterhead read.
        {"1 0 image 300 100 rgb 3 8 image no 9 0 300 300 9K 10%\n", true, false},
        // Only one image of a page counted: two tenths of it, each too small.
        {tenth, true, false},
        {tenth + "1 1 image 600 660 gray 1 8 image no 10 0 200 200 9K 2%\n", true, true},
        // A soft mask counted again with the image it lies under.
        {tenth + "1 1 smask 600 660 gray 1 8 image no 10 0 200 200 1K 0%\n", true, false},
        // An image stretched over the page (0 ppi) skipped as of no size.
        {"1 0 image 2 2 gray 1 8 image no 9 0 0 0 12B 100%\n", true, true},
        // A listing without resolutions read past its row or taken as no image.
        {"1 0 image 300 100 rgb 3 8 image no 9 0\n", true, true},
        // A page of unknown size measured against some default: its image lost.
        {"1 0 image 300 100 rgb 3 8 image no 9 0 300 300 9K 10%\n", false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseImagePages(c.rows, c.sized ? a4 : std::map<int, PageSize>{}),
                  c.read ? std::vector<int>{1} : std::vector<int>{})
            << c.rows.toStdString();
}

TEST_F(OcrTest, TesseractsReportsAreRead) {
    EXPECT_EQ(parseInstalledLanguages("List of available languages in \"/x/\" (4):\n"
                                      "deu\neng\nosd\nchi_sim\n"),
              (QStringList{"deu", "eng", "chi_sim"}));
    EXPECT_TRUE(parseInstalledLanguages("List of available languages in \"/x/\" (0):\n").isEmpty());
    EXPECT_EQ(parseEngineVersion("tesseract 5.3.0\n leptonica-1.82.0\n"), QStringLiteral("5.3.0"));
    EXPECT_EQ(parseEngineVersion("Error opening data file\n"), QString());

    const QStringList installed{"eng", "deu", "chi_tra"};
    EXPECT_EQ(missingOcrLanguages("eng+deu", installed), QStringList());
    EXPECT_EQ(missingOcrLanguages("eng+xyz+fra+xyz", installed), (QStringList{"xyz", "fra"}));
    EXPECT_EQ(missingOcrLanguages("eng+", installed), QStringList{""});
    EXPECT_EQ(missingOcrLanguages("", installed), QStringList{""});
}

TEST_F(OcrTest, DefaultLanguagesAreTheUsersThatAreInstalled) {
    struct Case {
        const char* locale;
        const char* code;
    } codes[] = {{"de_DE", "deu"},     {"fr_CA", "fra"},     {"en_US", "eng"}, {"nl_BE", "nld"},
                 {"zh_CN", "chi_sim"}, {"zh_TW", "chi_tra"}, {"nb_NO", "nor"}, {"C", ""}};
    for (const Case& c : codes)
        EXPECT_EQ(ocrLanguageOf(QLocale(QString::fromLatin1(c.locale))),
                  QString::fromLatin1(c.code))
            << c.locale;

    const QStringList installed{"eng", "deu"};
    EXPECT_EQ(defaultOcrLanguages(installed, {QLocale("de_DE")}), QStringLiteral("deu"));
    EXPECT_EQ(defaultOcrLanguages(installed, {QLocale("de_DE"), QLocale("en_GB")}),
              QStringLiteral("deu+eng"));
    EXPECT_EQ(defaultOcrLanguages(installed, {QLocale("fr_FR")}), QStringLiteral("eng"));
    EXPECT_EQ(defaultOcrLanguages(installed, {QLocale::c()}), QStringLiteral("eng"));
    EXPECT_NE(ocrCacheTag("5.3.0", "eng"), ocrCacheTag("5.3.0", "deu"));
    EXPECT_NE(ocrCacheTag("5.3.0", "eng"), ocrCacheTag("5.3.1", "eng"));
}

TEST_F(OcrTest, TheEngineIsAskedForItsVersionAndLanguages) {
    test::FakeTesseract fake;
    fake.languages = {"eng", "fra"};
    const QString tesseract = test::writeFakeTesseract(d(), fake);
    const OcrEngine engine = OcrEngine::probe(d(), tesseract);
    EXPECT_TRUE(engine.usable());
    EXPECT_EQ(engine.version, fake.version);
    EXPECT_EQ(engine.installed, fake.languages);
    EXPECT_FALSE(OcrEngine::probe(d(), d("missing-tesseract")).usable());
}

// A scanned PDF of four pages: 1 and 3 typed, 2 and 4 scanned, and an
// engine set up with a stand-in tesseract.
class ScannedPagesTest : public OcrTest {
  protected:
    void SetUp() override {
        if (findPdftoppm().isEmpty() || findPdfimages().isEmpty())
            GTEST_SKIP() << "poppler-utils is not installed";
        pdf_ = d("mixed.pdf");
        test::makeScannedPdf(pdf_, {"typed one", "scanned two", "typed three", "scanned four"}, 100,
                             test::ScanKind::Grey, {0, 2});
        settings_.pdftoppm = findPdftoppm();
        settings_.pdfimages = findPdfimages();
        QDir().mkpath(d("work"));
    }
    void useFake(const test::FakeTesseract& fake) {
        QDir().mkpath(d("bin"));
        settings_.tesseract = test::writeFakeTesseract(d("bin"), fake);
    }
    OcrRun read(const std::vector<int>& pages, const RangeHelpers& helpers, ChildToken& token,
                int limitMs = 0) {
        return readScannedPages(settings_, pdf_, pages, d("work"), helpers, token, limitMs);
    }
    // Helpers that join at once, each on a thread of its own.
    static RangeHelpers eager(int count) {
        RangeHelpers h;
        h.count = count;
        h.join = [](const std::function<bool()>& wanted) { return wanted(); };
        return h;
    }
    QString pdf_;
    OcrSettings settings_;
};

TEST_F(ScannedPagesTest, OnlyScannedPagesAreTextlessAndHoldImages) {
    ChildToken token;
    const QString txt = d("mixed.txt");
    writeBytes(txt, test::extractWithPdftotext(pdf_));
    const TextPages pages = findTextlessPages(txt);
    EXPECT_EQ(pages.count, 4);
    EXPECT_EQ(pages.textless, (std::vector<int>{2, 4}));
    EXPECT_EQ(pagesWithImages(settings_.pdfimages, pdf_, {1, 2, 3, 4}, d("list.txt"), token, 0),
              (std::vector<int>{2, 4}));
    // A typed page left empty holds no image: nothing there for OCR.
    const QString blank = d("blank.pdf");
    test::writeMadePdf(blank, {{QImage(), 72, QString()}}, test::ScanKind::Grey);
    EXPECT_TRUE(pagesWithImages(settings_.pdfimages, blank, {1}, d("list.txt"), token, 0).empty());
}

TEST_F(ScannedPagesTest, PagesAreReadOneThreadEachAndKeptByPage) {
    test::FakeTesseract fake;
    fake.logPath = d("log.txt");
    useFake(fake);
    ChildToken token;
    const OcrRun run = read({2, 4}, eager(3), token);
    ASSERT_TRUE(run.done);
    ASSERT_EQ(run.texts.size(), 2u);
    EXPECT_EQ(run.texts.at(2), QByteArray("scanned words of page 2\n"));
    EXPECT_EQ(run.texts.at(4), QByteArray("scanned words of page 4\n"));
    const QStringList log = test::fakeTesseractLog(fake.logPath);
    ASSERT_EQ(log.size(), 2);
    for (const QString& line : log) {
        EXPECT_TRUE(line.contains(QLatin1String("-l eng --dpi 200"))) << line.toStdString();
        EXPECT_TRUE(line.endsWith(QLatin1String("OMP_THREAD_LIMIT=1"))) << line.toStdString();
    }
    EXPECT_TRUE(QDir(d("work")).isEmpty());  // images and texts removed
}

// The page sizes reach the step. Faults caught: a forged page of 200 by 200
// inches rendered as 1.6 GB at 200 dpi (not at 40: 8000 pixels), and a page of
// A4 whose only image is a logo of an inch by half an inch read by OCR.
TEST_F(ScannedPagesTest, PageSizesBoundTheRenderAndLeaveALogoUnread) {
    test::FakeTesseract fake;
    fake.logPath = d("log.txt");
    useFake(fake);
    settings_.pdfinfo = findPdfinfo();
    QImage dot(200, 200, QImage::Format_Grayscale8);
    dot.fill(Qt::black);
    const QString huge = d("huge.pdf");
    test::writeMadePdf(huge, {{dot, 1, QString()}}, test::ScanKind::Grey);
    const QString txt = d("huge.txt");
    writeBytes(txt, "\f");
    ChildToken token;
    const OcrStep step = readScannedPagesInto(settings_, huge, txt, d("work"), {}, token, 0);
    EXPECT_EQ(step.pages, std::vector<int>{1});
    const QStringList log = test::fakeTesseractLog(fake.logPath);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(QLatin1String("--dpi 40 "))) << log[0].toStdString();

    const QString letter = d("letter.pdf");
    QPdfWriter writer(letter);
    writer.setResolution(72);  // A4
    QPainter(&writer).drawImage(QRect(36, 36, 72, 36), dot);
    ASSERT_EQ(pagesWithImages(settings_.pdfimages, letter, {1}, d("list.txt"), token, 0),
              std::vector<int>{1});  // the logo is listed
    writeBytes(txt, "\f");
    EXPECT_TRUE(
        readScannedPagesInto(settings_, letter, txt, d("work"), {}, token, 0).pages.empty());
    EXPECT_EQ(test::fakeTesseractLog(fake.logPath).size(), 1);
}

TEST_F(ScannedPagesTest, TheStepPutsEachScannedPagesTextInItsPlace) {
    test::FakeTesseract fake;
    fake.logPath = d("log.txt");
    useFake(fake);
    const QString txt = d("mixed.txt");
    const QByteArray extracted = test::extractWithPdftotext(pdf_);
    writeBytes(txt, extracted);
    ChildToken token;
    OcrProgress progress;
    const OcrStep step =
        readScannedPagesInto(settings_, pdf_, txt, d("work"), eager(1), token, 0, &progress);
    EXPECT_FALSE(step.failed || step.ended || step.timedOut);
    EXPECT_EQ(step.pages, (std::vector<int>{2, 4}));
    EXPECT_EQ(progress.pages.load(), 2);
    EXPECT_EQ(progress.done.load(), 2);
    const QList<QByteArray> pages = readAll(txt).split('\f');
    ASSERT_EQ(pages.size(), 5);  // four pages, each ended by its form feed
    EXPECT_TRUE(pages[0].contains("typed one"));
    EXPECT_EQ(pages[1], QByteArray("scanned words of page 2\n"));
    EXPECT_TRUE(pages[2].contains("typed three"));
    EXPECT_EQ(pages[3], QByteArray("scanned words of page 4\n"));

    // A crash leaves the text as it was.
    test::FakeTesseract crashing;
    crashing.crash = true;
    useFake(crashing);
    writeBytes(txt, extracted);
    const OcrStep crashed = readScannedPagesInto(settings_, pdf_, txt, d("work"), {}, token, 0);
    EXPECT_TRUE(crashed.failed);
    EXPECT_TRUE(crashed.pages.empty());
    EXPECT_EQ(readAll(txt), extracted);
    EXPECT_EQ(test::fakeTesseractLog(fake.logPath).size(), 2);  // typed pages never read
}

TEST_F(ScannedPagesTest, APageReadAsEmptyStaysEmpty) {
    test::FakeTesseract fake;
    fake.text.clear();  // a heading and no word
    useFake(fake);
    ChildToken token;
    const OcrRun run = read({2}, {}, token);
    EXPECT_TRUE(run.done);
    EXPECT_TRUE(run.texts.empty());
}

// Faults caught: a crash, or an exit that says failure after printing,
// taken for a page read; a stop or the time limit waited out.
TEST_F(ScannedPagesTest, ACrashOrAStopOrTheTimeLimitLeavesNothingRead) {
    test::FakeTesseract crashing, failing;
    crashing.crash = true;
    failing.exitCode = 1;
    ChildToken token;
    OcrRun run;
    for (const test::FakeTesseract& fake : {crashing, failing}) {
        useFake(fake);
        run = read({2, 4}, eager(1), token);
        EXPECT_FALSE(run.done);
        EXPECT_FALSE(run.ended || run.timedOut);
        EXPECT_TRUE(run.texts.empty());
    }

    test::FakeTesseract sleeping;
    sleeping.sleepSeconds = 60;
    useFake(sleeping);
    const auto started = std::chrono::steady_clock::now();
    run = read({2, 4}, {}, token, 300);
    EXPECT_TRUE(run.timedOut);
    EXPECT_FALSE(run.done);

    ChildToken stopped;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stopped.cancel();
    });
    run = read({2, 4}, eager(1), stopped);
    stopper.join();
    EXPECT_TRUE(run.ended);
    EXPECT_FALSE(run.done);
    EXPECT_TRUE(run.texts.empty());
    // Neither waited for the sleeping tesseracts (60 s each).
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(runningChildren(), 0);
}

TEST_F(ScannedPagesTest, TheRealTesseractReadsAScannedPage) {
    settings_.tesseract = findTesseract();
    if (settings_.tesseract.isEmpty()) GTEST_SKIP() << "tesseract is not installed";
    const QString scan = d("scan.pdf");
    test::makeScannedPdf(scan, {"Quillmark reads scanned letters\nwithout trouble"}, 200,
                         test::ScanKind::Bilevel);
    ChildToken token;
    const OcrRun run = readScannedPages(settings_, scan, {1}, d("work"), {}, token, 120000);
    ASSERT_TRUE(run.done);
    ASSERT_EQ(run.texts.count(1), 1u);
    const QString text = QString::fromUtf8(run.texts.at(1));
    for (const char* word : {"Quillmark", "scanned", "letters", "trouble"})
        EXPECT_TRUE(text.contains(QLatin1String(word))) << text.toStdString();
}

}  // namespace
}  // namespace qm
