#include "results/viewer.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>

#include "fs/fs.h"
#include "platform/workfolder.h"
#include "text/display.h"

namespace qm {

namespace {

enum class Viewer { Unknown, GnomeFamily, GnomeFamilyNoFind, Okular, Zathura, Qpdfview, MuPdf };

// The viewer behind a desktop entry such as "org.gnome.Evince.desktop",
// "okularApplication_pdf.desktop" or "org.pwmt.zathura-pdf-mupdf.desktop".
Viewer viewerOf(const QString& desktopEntry) {
    const QString id = desktopEntry.toLower();
    if (id.contains(QStringLiteral("zathura"))) return Viewer::Zathura;
    if (id.contains(QStringLiteral("evince"))) return Viewer::GnomeFamily;
    if (id.contains(QStringLiteral("atril")) || id.contains(QStringLiteral("xreader")))
        return Viewer::GnomeFamilyNoFind;
    if (id.contains(QStringLiteral("okular"))) return Viewer::Okular;
    if (id.contains(QStringLiteral("qpdfview"))) return Viewer::Qpdfview;
    if (id.contains(QStringLiteral("mupdf"))) return Viewer::MuPdf;
    return Viewer::Unknown;
}

}  // namespace

ViewerCommand viewerCommand(const QString& desktopEntry, const QString& path, int page,
                            const QString& phrase) {
    ViewerCommand c;
    if (page < 1 || path.isEmpty()) return c;
    const QString n = QString::number(page);
    const QString id = desktopEntry.toLower();
    switch (viewerOf(desktopEntry)) {
        case Viewer::Unknown:
            return c;
        case Viewer::GnomeFamily:
            // evince: -i/--page-index is the page's number, not its label.
            c.program = QStringLiteral("evince");
            c.arguments << QStringLiteral("--page-index=") + n;
            if (!phrase.isEmpty()) c.arguments << QStringLiteral("--find=") + phrase;
            c.arguments << path;
            return c;
        case Viewer::GnomeFamilyNoFind:
            // atril (MATE) and xreader (Cinnamon) take the page index but no phrase.
            c.program = id.contains(QStringLiteral("atril")) ? QStringLiteral("atril")
                                                             : QStringLiteral("xreader");
            c.arguments << QStringLiteral("--page-index=") + n << path;
            return c;
        case Viewer::Okular:
            c.program = QStringLiteral("okular");
            c.arguments << QStringLiteral("-p") << n;
            if (!phrase.isEmpty()) c.arguments << QStringLiteral("--find") << phrase;
            c.arguments << path;
            return c;
        case Viewer::Zathura:
            c.program = QStringLiteral("zathura");
            c.arguments << QStringLiteral("-P") << n;
            if (!phrase.isEmpty()) c.arguments << QStringLiteral("-f") << phrase;
            c.arguments << path;
            return c;
        case Viewer::Qpdfview:
            // The page follows the file name after a '#'.
            c.program = QStringLiteral("qpdfview");
            if (!phrase.isEmpty()) c.arguments << QStringLiteral("--search") << phrase;
            c.arguments << path + u'#' + n;
            return c;
        case Viewer::MuPdf:
            c.program = QStringLiteral("mupdf");
            c.arguments << path << n;
            return c;
    }
    return c;
}

QString pathForViewer(const QString& path) {
    if (!fs::holdsRawBytes(path) || workFolder().isEmpty()) return path;
    static std::atomic<int> made{0};
    const QString folder = workFolder() + QStringLiteral("/view") + QString::number(++made);
    if (!QDir().mkpath(folder)) return path;
    const QString link = folder + u'/' + text::blankControls(fs::fileName(path));
    const QByteArray target = fs::encodeName(QFileInfo(path).absoluteFilePath());
    return ::symlink(target.constData(), fs::encodeName(link).constData()) == 0 ? link : path;
}

bool openAtPage(Desktop& desktop, const QString& given, int page, const QString& phrase) {
    const QString path = pathForViewer(given);
    const QString pdf = QStringLiteral("application/pdf");
    const auto own = [](const QString& entry) {
        return entry.compare(QLatin1String(kOwnDesktopEntry), Qt::CaseInsensitive) == 0;
    };
    QString entry = desktop.defaultApplication(pdf);
    // The desktop would start a second window of this program: the next viewer opens it.
    const bool passOver = own(entry);
    if (passOver) {
        const QStringList registered = desktop.applicationsFor(pdf);
        const auto next = std::find_if_not(registered.begin(), registered.end(), own);
        if (next == registered.end()) return false;
        entry = *next;
    }
    if (page >= 1) {
        const ViewerCommand c = viewerCommand(entry, path, page, phrase);
        if (!c.program.isEmpty() && desktop.startDetached(c.program, c.arguments)) return true;
    }
    if (passOver) return desktop.openWith(entry, path);
    desktop.openDocument(path);
    return true;
}

}  // namespace qm
