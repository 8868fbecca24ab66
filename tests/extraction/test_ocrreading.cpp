// How a scanned page is read: the resolution of a bilevel scan, its image
// straightened and turned upright, the OCR text joined at line-end hyphens.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTransform>
#include <cmath>

#include "extraction/ocr.h"
#include "extraction/ocrimage.h"
#include "extraction/ocrtext.h"
#include "extraction/scannedpages.h"
#include "support/pdfmaker.h"
#include "support/scanmaker.h"

namespace qm {
namespace {

// A typed page of `lines` lines as a scan at `dpi` shows it. Each line
// begins at another word, so that the letters of the lines do not stand in
// columns, as on a real page.
QImage typedPage(const QString& folder, int lines, int dpi) {
    const QStringList words = QStringLiteral(
                                  "Quillmark reads scanned letters without trouble while every "
                                  "page keeps its proper place")
                                  .split(u' ');
    QStringList text;
    for (int i = 0; i < lines; ++i) {
        const qsizetype from = (i * 5) % words.size();
        text << (words.mid(from) + words.mid(0, from)).join(u' ');
    }
    const QString pdf = folder + QStringLiteral("/typed.pdf");
    test::writeMadePdf(pdf, {{QImage(), dpi, text.join(u'\n')}}, test::ScanKind::Grey);
    return test::renderPage(pdf, 1, dpi);
}

// `image` turned clockwise by `degrees` with Qt's own transform, on `ground`.
QImage turned(const QImage& image, double degrees, Qt::GlobalColor ground = Qt::white) {
    const QImage t = image.convertToFormat(QImage::Format_ARGB32)
                         .transformed(QTransform().rotate(degrees), Qt::SmoothTransformation);
    QImage out(t.size(), QImage::Format_RGB32);
    out.fill(ground);
    QPainter(&out).drawImage(0, 0, t);
    return out.convertToFormat(QImage::Format_Grayscale8);
}

GreyImage greyOf(const QImage& image) {
    const QImage g = image.convertToFormat(QImage::Format_Grayscale8);
    GreyImage grey{g.width(), g.height(), {}};
    for (int y = 0; y < g.height(); ++y)
        grey.pixels.insert(grey.pixels.end(), g.constScanLine(y), g.constScanLine(y) + g.width());
    return grey;
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool havePoppler() {
    return !findPdftoppm().isEmpty() && !findPdfimages().isEmpty();
}

// Faults caught: a word split at a line's end left in two (a search for it
// misses), a hyphen that belongs to its word dropped, a dash or a capital
// after a hyphen taken for a split word, a chain of splits joined only once.
TEST(OcrText, LineEndHyphensAreJoined) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"it works automat-\nically and well", "it works automatically\nand well"},
        {"automat-\nically.\n\nNext", "automatically.\n\nNext"},
        {"self-\naware, as self-aware goes", "self-aware,\nas self-aware goes"},
        {"from New-\nYork", "from New-\nYork"},
        {"page 3 -\nnext", "page 3 -\nnext"},
        {"an end-\n\nnext", "an end-\n\nnext"},
        {"auto-\nmat-\nically", "automatically"},
        {"Stra\xC3\x9F"
         "en-  \n  bahn f\xC3\xA4hrt",
         "Stra\xC3\x9F"
         "enbahn\nf\xC3\xA4hrt"},
        {"last line-", "last line-"},
    };
    for (const auto& c : cases) EXPECT_EQ(joinLineEndHyphens(c.in), QByteArray(c.out)) << c.in;
}

// Faults caught: words run together or lines and paragraphs lost; the rows
// of blocks and lines (confidence -1) or empty words counted in the mean; a
// page without a word given a confidence.
TEST(OcrText, TesseractsTsvGivesTextAndConfidence) {
    const QByteArray head =
        "level\tpage_num\tblock_num\tpar_num\tline_num\tword_num\tleft\ttop"
        "\twidth\theight\tconf\ttext\n"
        "1\t1\t0\t0\t0\t0\t0\t0\t99\t99\t-1\t\n";
    const auto word = [](const char* where, const char* conf, const char* text) {
        return QByteArray("5\t1\t") + where + "\t1\t0\t0\t9\t9\t" + conf + '\t' + text + '\n';
    };
    const OcrPageText page = parseTesseractTsv(
        head + "4\t1\t1\t1\t1\t0\t0\t0\t9\t9\t-1\t\n" + word("1\t1\t1", "96.5", "Scanned") +
        word("1\t1\t1", "90", "words") + word("1\t1\t2", "0", "of") + word("1\t1\t2", "95", " ") +
        word("1\t2\t1", "93.5", "a") + word("2\t1\t1", "80", "page"));
    EXPECT_EQ(page.text, QByteArray("Scanned words\nof\n\na\n\npage\n"));
    EXPECT_EQ(page.confidence, 72);  // (96.5 + 90 + 0 + 93.5 + 80) / 5
    EXPECT_EQ(parseTesseractTsv(head), (OcrPageText{}));
}

// Faults caught: a bilevel scan read at the fixed resolution (its jagged
// edges magnified), a fine grey scan read at its own, a coarse one read finer
// (time for nothing), the bounds not kept, the resolution taken from a logo,
// a mask or the y-ppi rather than the scan; a bilevel scan read coarser than
// it was made thickened (its reduction greys the edges already: darker, its
// letters run together), a grey one thickened; the own pixels taken of a
// bilevel, JPEG, masked or finer scan, of one not as fine across as down, or
// of a page of two images.
TEST(OcrText, AScanIsReadAtItsOwnResolution) {
    const struct {
        const char* rows;
        std::map<int, int> dpis;
        std::set<int> unscaled = {};
        std::set<int> own = {};
    } cases[] = {
        {"1 0 image 1240 1754 gray 1 1 image no 9 0 150 150 20K 8%", {{1, 150}}, {1}},
        {"1 0 image 1240 1754 gray 1 8 image no 9 0 150 150 90K 4%", {{1, 150}}, {}, {1}},
        {"1 0 image 1700 2200 rgb 3 8 image no 9 0 200 200 1M 9%", {}, {}, {1}},
        {"1 0 image 1700 2200 gray 1 8 jpeg no 9 0 200 200 1M 9%", {}},
        {"1 0 image 1700 2200 gray 1 8 image no 9 0 200 200 1M 9%\n"
         "1 1 smask 1700 2200 gray 1 8 image no 10 0 200 200 1K 0%",
         {}},
        {"1 0 image 2550 3300 gray 1 8 image no 9 0 300 300 1M 9%", {}},
        {"1 0 image 1700 1650 gray 1 8 image no 9 0 200 150 1M 9%", {}},
        {"2 0 image 4960 7016 gray 1 1 ccitt no 9 0 600 600 90K 2%\n"
         "3 0 image 620 877 gray 1 1 image no 10 0 75 75 9K 9%",
         {{2, 200}, {3, 100}},
         {3}},
        {"1 0 image 1654 2339 gray 1 1 image no 9 0 200 150 20K 8%", {{1, 200}}, {1}},
        {"1 0 image 2 2 gray 1 1 image no 9 0 0 0 12B 100%", {}},
        {"1 0 image 300 100 gray 1 1 image no 9 0 300 300 1K 3%\n"
         "1 1 image 1654 2339 rgb 3 8 jpeg no 10 0 200 200 200K 5%",
         {}},
        {"1 0 image 1654 2339 rgb 3 8 jpeg no 10 0 200 200 200K 5%\n"
         "1 1 smask 1654 2339 gray 1 1 image no 11 0 200 200 1K 0%",
         {}},
    };
    for (const auto& c : cases) {
        std::set<int> unscaled, own;
        EXPECT_EQ(ownScanDpis(c.rows, &unscaled, &own), c.dpis) << c.rows;
        EXPECT_EQ(unscaled, c.unscaled) << c.rows;
        EXPECT_EQ(own, c.own) << c.rows;
    }
}

// Faults caught: a scan's own pixels taken where a box drawn over it hides
// what they hold, or where they are not the page's (another size); taken
// though grainy (the render reads better); refused for the render's
// smoothing, or for the size rounded by a pixel; a PPM's colours made grey
// wrong.
TEST(OcrImage, AScansOwnPixelsAreTakenWhenTheyShowTheRender) {
    if (!havePoppler()) GTEST_SKIP() << "poppler-utils is not installed";
    QTemporaryDir dir;
    const QImage page = typedPage(dir.path(), 30, 100).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_FALSE(page.isNull());
    QImage boxed = page, grainy = page;
    QPainter(&boxed).fillRect(100, 100, 200, 24, Qt::black);
    for (int y = 0; y < grainy.height(); ++y)
        for (int x = (y * 7) % 3; x < grainy.width(); x += 3) grainy.setPixel(x, y, 0xFFD0D0D0);
    const QImage smoothed =
        page.scaled(page.width() * 2, page.height() * 2)
            .scaled(page.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const struct {
        QImage own;
        bool clean;
        bool same;
    } cases[] = {{page, true, true},
                 {smoothed, true, true},
                 {page.copy(0, 0, page.width() - 1, page.height() - 2), true, true},
                 {page.copy(0, 0, page.width() - 3, page.height()), true, false},
                 {boxed, true, false},
                 {grainy, false, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(looksClean(greyOf(c.own)), c.clean) << c.own.width();
        EXPECT_EQ(showTheSame(greyOf(c.own), greyOf(page)), c.same) << c.own.width();
    }
    const QString ppm = dir.path() + QStringLiteral("/own.ppm");
    test::writeBytes(ppm, QByteArray("P6\n2 1\n255\n\xFF\x00\x00\x10\x20\x30", 17));
    EXPECT_EQ(readPgm(ppm).pixels, (std::vector<std::uint8_t>{76, 29}));
}

// Faults caught: a skew not found, or found with the wrong sign (the page
// turned further askew); the columns of a page on its side not looked at; a
// straight page turned (blurred for nothing); a dark border taken for the
// lines; an image written back wrong.
TEST(OcrImage, ASkewedScanIsStraightened) {
    if (!havePoppler()) GTEST_SKIP() << "poppler-utils is not installed";
    QTemporaryDir dir;
    const QImage page = typedPage(dir.path(), 30, 100);
    ASSERT_FALSE(page.isNull());
    const struct {
        double turn;
        double skew;
        Qt::GlobalColor ground = Qt::white;  // black: the scanner's lid around the sheet
    } cases[] = {{0, 0}, {2, 2}, {-3.5, -3.5}, {0.8, 0.8}, {92, 2}, {178, -2}, {2, 2, Qt::black}};
    for (const auto& c : cases)
        EXPECT_NEAR(findSkew(greyOf(turned(page, c.turn, c.ground))), c.skew, 0.15) << c.turn;

    const QString path = dir.path() + QStringLiteral("/page.pgm");
    ASSERT_TRUE(writePgm(greyOf(page), path));
    const QByteArray straight = readBytes(path);
    EXPECT_EQ(straightenScan(path), Straightening::Straight);
    EXPECT_EQ(readBytes(path), straight);
    ASSERT_TRUE(writePgm(greyOf(turned(page, -2.5)), path));
    EXPECT_EQ(straightenScan(path), Straightening::Turned);
    const GreyImage back = readPgm(path);
    EXPECT_LT(std::abs(findSkew(back)), 0.15);
    // Fault caught: a straight bilevel page not written back thickened.
    ASSERT_TRUE(writePgm(GreyImage{2, 1, {128, 255}}, path));
    EXPECT_EQ(straightenScan(path, true, true), Straightening::Turned);
    EXPECT_EQ(readPgm(path).pixels, (std::vector<std::uint8_t>{64, 255}));
}

// Faults caught: a page upside down not told (read as nonsense, then read a
// second time); an upright page taken for upside down (turned into
// nonsense); the lines of a noisy scan lost in its specks; a page on its side
// given half a turn (lying on its other side).
TEST(OcrImage, AnUpsideDownPageIsToldByItsLetters) {
    if (!havePoppler()) GTEST_SKIP() << "poppler-utils is not installed";
    QTemporaryDir dir;
    const QImage page = typedPage(dir.path(), 30, 100);
    ASSERT_FALSE(page.isNull());
    QImage specked = page.convertToFormat(QImage::Format_Grayscale8);
    for (int i = 0; i < specked.width() * specked.height() / 200; ++i)
        specked.setPixel((i * 7919) % specked.width(), (i * 104729) % specked.height(), 0);
    const struct {
        QImage image;
        double turn;
        bool upsideDown;
    } cases[] = {{page, 0, false},
                 {page, 180, true},
                 {specked, 180, true},
                 {specked, 0, false},
                 {QImage(), 0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(looksUpsideDown(c.image.isNull() ? GreyImage{} : greyOf(turned(c.image, c.turn))),
                  c.upsideDown)
            << c.turn;
    const QString path = dir.path() + QStringLiteral("/page.pgm");
    for (const double side : {90, 270}) {
        ASSERT_TRUE(writePgm(greyOf(turned(page, side)), path));
        EXPECT_EQ(straightenScan(path, false, false, true), Straightening::Straight) << side;
    }
    ASSERT_TRUE(writePgm(greyOf(turned(page, 180)), path));
    EXPECT_EQ(straightenScan(path, false, false, true), Straightening::Turned);
    EXPECT_EQ(readPgm(path).pixels, greyOf(page).pixels);
}

// Pages turned on their side, upside down, or turned back by their /Rotate,
// read by the real tesseract. Fault caught: a page read as it lies, giving
// nothing to search.
TEST(OcrImage, TurnedPagesAreReadUpright) {
    if (!havePoppler()) GTEST_SKIP() << "poppler-utils is not installed";
    OcrEngine engine = OcrEngine::probe(QDir::tempPath());
    if (!engine.usable() || !engine.osd || !engine.installed.contains(QLatin1String("eng")))
        GTEST_SKIP() << "tesseract with English and its orientation data is not installed";
    QTemporaryDir dir;
    const QImage page = typedPage(dir.path(), 6, 150);
    const QString pdf = dir.path() + QStringLiteral("/turned.pdf");
    test::writeMadePdf(pdf,
                       {{turned(page, 90), 150, {}},
                        {turned(page, 180), 150, {}},
                        {turned(page, 270), 150, {}},
                        {turned(page, 90), 150, {}, 270}},
                       test::ScanKind::Grey);
    const OcrSettings settings = ocrSettingsOf(engine, QStringLiteral("eng"));
    ChildToken token;
    RangeHelpers helper;
    helper.count = 1;
    helper.join = [](const std::function<bool()>& wanted) { return wanted(); };
    const OcrRun run =
        readScannedPages(settings, pdf, {1, 2, 3, 4}, dir.path(), helper, token, 120000);
    ASSERT_TRUE(run.done);
    for (int p = 1; p <= 4; ++p) {
        const QString text = QString::fromUtf8(run.texts.count(p) ? run.texts.at(p) : "");
        EXPECT_TRUE(text.contains(QLatin1String("scanned letters without trouble")))
            << p << ": " << text.toStdString();
    }
}

// Fault caught: a text read another way (before this way was known, without
// the orientation data, or not straightened) taken from the cache for this one.
TEST(OcrText, TheCacheTagNamesTheWayOfReading) {
    const QString tag = ocrCacheTag("5.3.0", "eng", 200, true, true);
    for (const QString& other :
         {QStringLiteral("tesseract 5.3.0 -l eng 200 dpi"), ocrCacheTag("5.3.0", "eng", 200),
          ocrCacheTag("5.3.0", "eng", 200, false, true),
          ocrCacheTag("5.3.0", "eng", 200, true, false)})
        EXPECT_NE(tag, other);
    EXPECT_TRUE(tag.contains(QLatin1String(kOcrMethod)));
}

// Faults caught: a page of 200 characters but blanks taken for a stamp, or
// its blanks counted.
TEST(OcrText, APageOfAFewCharactersMayBeAStampedScan) {
    const std::string few = std::string(199, 'w') + std::string(500, ' ') + "\f";
    const std::string enough = "w" + few;
    const TextPages pages = findTextlessPagesIn(few + enough + "\n\f" + few);
    EXPECT_EQ(pages.textless, std::vector<int>{3});
    EXPECT_EQ(pages.fewCharacters, (std::vector<int>{1, 4}));
}

// The step over a stamped scan, a letterhead and a skewed scan. Faults
// caught: a scan carrying a stamp left unread (the stamp taken for the page's
// text), the stamp lost for the OCR text or put after it, a letterhead (a logo
// and a few words) read; the image read as rendered, skew and all (the
// worker's straightening left out); a page read with low confidence not read
// again with orientation detection, or every page read so.
TEST(OcrImage, TheStepReadsStampedAndSkewedScans) {
    if (!havePoppler() || findPdfinfo().isEmpty()) GTEST_SKIP() << "poppler-utils is not installed";
    QTemporaryDir dir;
    test::FakeTesseract fake;
    fake.logPath = dir.path() + QStringLiteral("/log.txt");
    fake.imageCopies = dir.path() + QStringLiteral("/copies");
    fake.confidence = 40;
    QDir().mkpath(fake.imageCopies);
    QImage sheet(240, 330, QImage::Format_Grayscale8);
    sheet.fill(200);
    const QString pdf = dir.path() + QStringLiteral("/stamped.pdf");
    test::writeMadePdf(pdf,
                       {{sheet, 40, QStringLiteral("Bates 000123")},
                        {sheet, 40, QStringLiteral("Letterhead of Quillmark"), 0, 0.3},
                        {turned(typedPage(dir.path(), 30, 100), 3), 100, {}},
                        {turned(typedPage(dir.path(), 30, 100), 180), 100, {}}},
                       test::ScanKind::Grey);
    const QString txt = dir.path() + QStringLiteral("/stamped.txt");
    test::writeBytes(txt, test::extractWithPdftotext(pdf));
    OcrSettings settings;
    settings.pdftoppm = findPdftoppm();
    settings.pdfimages = findPdfimages();
    settings.pdfinfo = findPdfinfo();
    settings.tesseract = test::writeFakeTesseract(dir.path(), fake);
    settings.orient = true;
    ChildToken token;
    const OcrStep step = readScannedPagesInto(settings, pdf, txt, dir.path(), {}, token, 0);
    EXPECT_EQ(step.pages, (std::vector<int>{1, 3, 4}));
    const QList<QByteArray> pages = readBytes(txt).split('\f');
    ASSERT_EQ(pages.size(), 5);
    EXPECT_TRUE(pages[0].startsWith("Bates 000123\n")) << pages[0].toStdString();
    EXPECT_TRUE(pages[0].endsWith("\nscanned words of page 1\n")) << pages[0].toStdString();
    EXPECT_FALSE(pages[1].contains("scanned"));
    EXPECT_LT(std::abs(findSkew(readPgm(fake.imageCopies + QStringLiteral("/page3.pgm")))), 0.3);
    // Faults caught: a page upside down given to tesseract as it lies; a
    // clean scan read from poppler's render (which smooths it), not its pixels.
    EXPECT_EQ(readPgm(fake.imageCopies + QStringLiteral("/page4.pgm")).pixels,
              greyOf(typedPage(dir.path(), 30, 100)).pixels);
    const QStringList log = test::fakeTesseractLog(fake.logPath);
    ASSERT_EQ(log.size(), 6);
    EXPECT_FALSE(log[0].contains(QLatin1String("--psm 1"))) << log[0].toStdString();
    EXPECT_TRUE(log[1].contains(QLatin1String("--psm 1"))) << log[1].toStdString();
}

}  // namespace
}  // namespace qm
