#include "extraction/ocr.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

#include "extraction/extractor.h"
#include "extraction/ocrimage.h"
#include "extraction/ocrtext.h"
#include "fs/fs.h"

namespace qm {

namespace {

// What `tesseract arguments` writes on its standard output; empty when it did
// not run to a clean end.
QByteArray askTesseract(const QString& tesseract, const QStringList& arguments,
                        const QString& answerPath, int timeLimitMs) {
    ChildToken token;
    const ChildResult r =
        runChild(tesseract, arguments, token, {}, timeLimitMs, answerPath, recognizeEnvironment());
    return takeAnswer(r, answerPath, 1 << 20).value_or(QByteArray());
}

// The render at `image` replaced by the scan's own pixels, which pdfimages
// writes into `image`.own-000.pgm or .ppm, when they are clean and show the
// same (poppler's render smooths the scan's letters: tesseract read
// "keeplayout" in a typewriter face as "keepLayout" from it). Left as it is
// when pdfimages fails or the pixels show anything else (a box drawn over the
// scan); false when the image could not be written back.
bool takeOwnPixels(const OcrSettings& settings, const QString& pdf, int page, const QString& image,
                   ChildToken& token, int timeLimitMs, PageReading& reading) {
    // A grainy scan shows its grain in the render too.
    const GreyImage rendered = readPgm(image);
    if (!looksClean(rendered)) return true;
    const QString root = image + QStringLiteral(".own");
    const ChildResult r =
        runChild(settings.pdfimages, ownPixelArguments(pdf, page, root), token, {}, timeLimitMs);
    reading.ended = r.ended;
    reading.timedOut = r.timedOut;
    GreyImage own;
    for (const QLatin1String written : {QLatin1String("-000.pgm"), QLatin1String("-000.ppm")}) {
        if (r.exited && r.exitCode == 0 && own.isNull()) own = readPgm(root + written);
        fs::removeQuietly(root + written);
    }
    if (!looksClean(own) || !showTheSame(own, rendered)) return true;
    return writePgm(own, image);
}

// The mean confidence of the tsv reading at `path`; -1 for none.
int confidenceOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? parseTesseractTsv(f.readAll()).confidence : -1;
}

}  // namespace

QString findTesseract() {
    return findProgram("tesseract");
}

QString findPdftoppm() {
    return findProgram("pdftoppm");
}

QString findPdfimages() {
    return findProgram("pdfimages");
}

QString findPdfinfo() {
    return findProgram("pdfinfo");
}

QStringList parseInstalledLanguages(const QByteArray& listOutput) {
    // List of available languages in "/usr/share/tesseract-ocr/5/tessdata/" (2):
    // eng
    // osd
    QStringList languages;
    const QList<QByteArray> lines = listOutput.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString code = QString::fromUtf8(lines[i].trimmed());
        if (code.isEmpty() || code == QLatin1String("osd")) continue;
        if (i == 0 && code.startsWith(QLatin1String("List of"))) continue;
        // A code is a word of letters, digits and '_' ("chi_sim"); anything
        // else is a message, not a language.
        const bool plain = std::all_of(code.begin(), code.end(), [](QChar c) {
            return c == u'_' || c == u'-' || (c.unicode() < 128 && c.isLetterOrNumber());
        });
        if (plain && !languages.contains(code)) languages << code;
    }
    return languages;
}

QString parseEngineVersion(const QByteArray& versionOutput) {
    const QByteArray first = versionOutput.left(versionOutput.indexOf('\n')).trimmed();
    const QByteArray prefix = "tesseract ";
    if (!first.startsWith(prefix)) return {};
    return QString::fromUtf8(first.mid(prefix.size()).trimmed());
}

OcrEngine OcrEngine::probe(const QString& folder, const QString& tesseract, int timeLimitMs) {
    OcrEngine engine;
    engine.tesseract = tesseract.isEmpty() ? findTesseract() : tesseract;
    if (engine.tesseract.isEmpty()) return engine;
    const QString answer = folder + QStringLiteral("/tesseract-answer.txt");
    engine.version = parseEngineVersion(
        askTesseract(engine.tesseract, {QStringLiteral("--version")}, answer, timeLimitMs));
    if (engine.version.isEmpty()) return engine;
    const QByteArray listing =
        askTesseract(engine.tesseract, {QStringLiteral("--list-langs")}, answer, timeLimitMs);
    engine.installed = parseInstalledLanguages(listing);
    engine.osd = listing.split('\n').contains("osd");
    return engine;
}

QString ocrLanguageOf(const QLocale& locale) {
    switch (locale.language()) {
        case QLocale::C:
        case QLocale::AnyLanguage:
            return {};
        // tesseract departs from the codes of ISO 639-2/T for these.
        case QLocale::Chinese:
            return locale.script() == QLocale::TraditionalChineseScript ||
                           locale.territory() == QLocale::Taiwan ||
                           locale.territory() == QLocale::HongKong
                       ? QStringLiteral("chi_tra")
                       : QStringLiteral("chi_sim");
        case QLocale::NorwegianBokmal:
        case QLocale::NorwegianNynorsk:
            return QStringLiteral("nor");
        case QLocale::Serbian:
            return locale.script() == QLocale::LatinScript ? QStringLiteral("srp_latn")
                                                           : QStringLiteral("srp");
        default:
            return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
    }
}

QString defaultOcrLanguages(const QStringList& installed, const QList<QLocale>& locales) {
    QStringList chosen;
    for (const QLocale& locale : locales) {
        // The user's languages as the system lists them ("de-DE", "de", "en").
        QList<QLocale> wanted{locale};
        for (const QString& name : locale.uiLanguages()) wanted << QLocale(name);
        for (const QLocale& l : wanted) {
            const QString code = ocrLanguageOf(l);
            if (!code.isEmpty() && installed.contains(code) && !chosen.contains(code))
                chosen << code;
        }
    }
    return chosen.isEmpty() ? QString::fromLatin1(kFallbackOcrLanguage) : chosen.join(u'+');
}

QStringList missingOcrLanguages(const QString& languages, const QStringList& installed) {
    QStringList missing;
    for (const QString& code : languages.split(u'+'))
        if (!installed.contains(code) && !missing.contains(code)) missing << code;
    return missing;
}

QString ocrCacheTag(const QString& engineVersion, const QString& languages, int dpi, bool orient,
                    bool deskew) {
    QString tag = QStringLiteral("tesseract %1 -l %2 %3 dpi, %4")
                      .arg(engineVersion, languages)
                      .arg(dpi)
                      .arg(QLatin1String(kOcrMethod));
    if (orient) tag += QStringLiteral(", upright");
    if (deskew) tag += QStringLiteral(", straightened");
    return tag;
}

OcrSettings ocrSettingsOf(const OcrEngine& engine, const QString& languages) {
    OcrSettings settings;
    if (!engine.usable()) return settings;
    settings.tesseract = engine.tesseract;
    settings.pdftoppm = findPdftoppm();
    settings.pdfimages = findPdfimages();
    settings.pdfinfo = findPdfinfo();
    settings.languages = languages;
    settings.orient = engine.osd;
    settings.engineVersion = engine.version;
    return settings;
}

QStringList renderArguments(const QString& pdf, int page, int dpi) {
    // Without an image root pdftoppm writes the image to standard output.
    const QString p = QString::number(page);
    return {QStringLiteral("-gray"),
            QStringLiteral("-r"),
            QString::number(dpi),
            QStringLiteral("-f"),
            p,
            QStringLiteral("-l"),
            p,
            QStringLiteral("-singlefile"),
            pathArgument(pdf)};
}

QStringList ownPixelArguments(const QString& pdf, int page, const QString& root) {
    const QString p = QString::number(page);
    return {QStringLiteral("-f"), p, QStringLiteral("-l"), p, pathArgument(pdf),
            pathArgument(root)};
}

QStringList recognizeArguments(const QString& image, const QString& languages, int dpi,
                               bool orient) {
    QStringList arguments{pathArgument(image), QStringLiteral("stdout"), QStringLiteral("-l"),
                          languages,           QStringLiteral("--dpi"),  QString::number(dpi)};
    // Page segmentation mode 1: orientation and script detection, then the
    // page as mode 3 (the default) reads it.
    if (orient) arguments << QStringLiteral("--psm") << QStringLiteral("1");
    // The words with their places and confidences, one a row (ocrtext.h).
    arguments << QStringLiteral("tsv");
    return arguments;
}

QStringList recognizeEnvironment() {
    return {QStringLiteral("OMP_THREAD_LIMIT=1")};
}

PageReading readScannedPage(const OcrSettings& settings, const QString& pdf, int page,
                            const QString& folder, const QString& textPath, ChildToken& token,
                            int timeLimitMs) {
    PageReading reading;
    const QString image = folder + QStringLiteral("/page%1.pgm").arg(page);
    const ChildResult rendered = runChild(
        settings.pdftoppm, renderArguments(pdf, page, settings.dpi), token, {}, timeLimitMs, image);
    reading.ended = rendered.ended;
    reading.timedOut = rendered.timedOut;
    reading.lost = rendered.outputLost;
    const bool renderedWhole =
        rendered.exited && rendered.exitCode == 0 && !reading.lost && fs::isFile(image);
    if (renderedWhole && settings.ownPixels && !reading.ended &&
        !takeOwnPixels(settings, pdf, page, image, token, timeLimitMs, reading))
        reading.lost = true;
    if (renderedWhole && (settings.deskew || settings.thicken || settings.orient) &&
        !reading.ended && !reading.timedOut && !reading.lost &&
        straightenScan(image, settings.deskew, settings.thicken, settings.orient) ==
            Straightening::Failed)
        reading.lost = true;
    // One reading of the image into `path`; false when it did not end well.
    const auto recognize = [&](const QString& path, bool orient) {
        const ChildResult read = runChild(
            settings.tesseract, recognizeArguments(image, settings.languages, settings.dpi, orient),
            token, {}, timeLimitMs, path, recognizeEnvironment());
        reading.ended = reading.ended || read.ended;
        reading.timedOut = reading.timedOut || read.timedOut;
        reading.lost = reading.lost || read.outputLost;
        return read.exited && read.exitCode == 0 && !reading.lost;
    };
    if (renderedWhole && !reading.lost && !reading.ended && !reading.timedOut)
        reading.done = recognize(textPath, false);
    // tesseract reads a page on its side as it is, one upside down as nonsense
    // of low confidence. A page whose letters show it upside down was turned
    // above (half the time of a second reading); any other page read with low
    // confidence is read again with orientation detection (which would cost
    // every page a fifth more), and the surer reading kept.
    const int first = reading.done && settings.orient ? confidenceOf(textPath) : -1;
    if (first >= 0 && first < kLowOcrConfidence) {
        const QString again = textPath + QStringLiteral(".upright");
        if (recognize(again, true) && confidenceOf(again) > first)
            ::rename(fs::encodeName(again).constData(), fs::encodeName(textPath).constData());
        fs::removeQuietly(again);
        reading.done = !reading.ended && !reading.timedOut && !reading.lost;
    }
    fs::removeQuietly(image);
    if (!reading.done) fs::removeQuietly(textPath);
    return reading;
}

}  // namespace qm
