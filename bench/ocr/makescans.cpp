// Makes scanned copies of real text PDFs: each page rendered at DPI and
// wrapped as an image-only page (grey, bilevel or JPEG), at most PAGES pages
// a file. The copies keep the originals' names, numbered.
//
//   qm_makescans OUTFOLDER DPI KIND PAGES FILE.pdf...
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "support/scanmaker.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 6) {
        std::fprintf(stderr,
                     "usage: qm_makescans OUTFOLDER DPI grey|bilevel|jpeg PAGES FILE.pdf...\n");
        return 2;
    }
    const QString out = args[1];
    const int dpi = args[2].toInt();
    const qm::test::ScanKind kind = args[3] == QLatin1String("bilevel")
                                        ? qm::test::ScanKind::Bilevel
                                    : args[3] == QLatin1String("jpeg") ? qm::test::ScanKind::Jpeg
                                                                       : qm::test::ScanKind::Grey;
    const int pages = args[4].toInt();
    QDir().mkpath(out);
    int made = 0;
    for (qsizetype i = 5; i < args.size(); ++i) {
        const QString target = out + QStringLiteral("/%1-%2")
                                         .arg(i - 4, 3, 10, QChar(u'0'))
                                         .arg(QFileInfo(args[i]).fileName());
        if (qm::test::scanPdf(args[i], target, dpi, kind, pages))
            ++made;
        else
            std::fprintf(stderr, "not scanned: %s\n", qPrintable(args[i]));
    }
    std::printf("%d scanned files in %s\n", made, qPrintable(out));
    return made > 0 ? 0 : 1;
}
