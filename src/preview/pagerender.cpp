#include "preview/pagerender.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>

#include "extraction/extractor.h"
#include "fs/fs.h"

namespace qm {

namespace {

// What a child's end says of the page, when it did not do its work.
std::optional<PageOutcome> stopped(const ChildResult& r) {
    if (r.ended) return PageOutcome::Ended;
    if (r.timedOut) return PageOutcome::TimedOut;
    if (r.outputLost) return PageOutcome::WorkFolderFull;
    return std::nullopt;
}

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

}  // namespace

int renderDpi(double pageWidthPoints, int widthPixels) {
    if (!(pageWidthPoints > 0)) pageWidthPoints = 612;  // a letter page
    const double dpi = widthPixels * 72.0 / pageWidthPoints;
    const int stepped = static_cast<int>(std::ceil(dpi / 8.0)) * 8;
    return std::clamp(stepped, 24, 600);
}

PageImage loadPage(const PageRequest& request, const PageTools& tools, const QString& folder,
                   ChildToken& token, const QString& keptCopy) {
    PageImage image;
    auto fail = [&](PageOutcome outcome, const ChildResult* r = nullptr) {
        image.outcome = outcome;
        if (r && r->exited) image.exitCode = r->exitCode;
        image.png.clear();
        return image;
    };
    if (tools.pdftoppm.isEmpty()) return fail(PageOutcome::NoRenderer);
    if (!fs::isFile(request.path)) return fail(PageOutcome::NoFile);
    QDir().mkpath(folder);
    const QString decrypted = keptCopy.isEmpty() ? folder + QStringLiteral("/open.pdf") : keptCopy;
    struct Removal {
        QString path;
        ~Removal() {
            if (!path.isEmpty()) fs::removeQuietly(path);
        }
    } removal{keptCopy.isEmpty() ? decrypted : QString()};
    QString source = request.path;
    if (!request.password.isEmpty()) {
        if (!fs::isFile(decrypted)) {
            if (tools.qpdf.isEmpty()) return fail(PageOutcome::NotDecrypted);
            // Written under another name, so that a copy found is a whole one.
            const QString part = decrypted + QStringLiteral(".part");
            const ChildResult r =
                runChild(tools.qpdf, decryptArguments(request.path), token,
                         passwordInput(request.password), tools.timeLimitMs, part);
            const bool made = r.exited && (r.exitCode == 0 || r.exitCode == 3) &&  // 3: warnings
                              !r.outputLost && QFile::rename(part, decrypted);
            fs::removeQuietly(part);
            if (auto s = stopped(r)) return fail(*s, &r);
            if (!made) return fail(PageOutcome::NotDecrypted, &r);
        }
        source = decrypted;
    }
    const QString page = QString::number(request.page);
    if (!tools.pdftotext.isEmpty()) {
        const QString out = folder + QStringLiteral("/words.html");
        const ChildResult r =
            runChild(tools.pdftotext,
                     {QStringLiteral("-bbox-layout"), QStringLiteral("-f"), page,
                      QStringLiteral("-l"), page, pathArgument(source), QStringLiteral("-")},
                     token, {}, tools.timeLimitMs, out);
        if (r.ended) {
            fs::removeQuietly(out);
            return fail(PageOutcome::Ended, &r);
        }
        // Without boxes the page is still shown, without marks.
        if (auto xhtml = takeAnswer(r, out)) image.words = parsePageWords(*xhtml);
    }
    image.dpi = renderDpi(image.words.size.width(), request.widthPixels);
    const QString out = folder + QStringLiteral("/page.png");
    const ChildResult r =
        runChild(tools.pdftoppm,
                 {QStringLiteral("-f"), page, QStringLiteral("-l"), page, QStringLiteral("-png"),
                  QStringLiteral("-r"), QString::number(image.dpi), pathArgument(source)},
                 token, {}, tools.timeLimitMs, out);
    if (auto s = stopped(r)) {
        fs::removeQuietly(out);
        return fail(*s, &r);
    }
    auto png = takeAnswer(r, out);
    if (!png || !png->startsWith(kPngSignature)) return fail(PageOutcome::RenderFailed, &r);
    image.png = std::move(*png);
    image.outcome = PageOutcome::Shown;
    return image;
}

}  // namespace qm
