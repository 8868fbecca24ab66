// Makes a folder of PDFs of mixed size for timing searches: mostly short
// files, some of a dozen pages, a few long ones, spread over subfolders. Every
// page has the frequent word "river" (in all letter cases) many times; the
// rare phrase "zephyr quill" is on one page of one file in fifty, in lower
// case or capitalised. The same arguments always give the same files.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>
#include <random>

#include "support/pdfmaker.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qm_makepdfs FOLDER [COUNT]\n");
        return 2;
    }
    const QString folder = args[1];
    const int count = args.size() > 2 ? args[2].toInt() : 300;

    static const char* const kWords[] = {
        "the",   "of",     "and",    "a",       "to",     "in",      "is",    "water",
        "stone", "bridge", "north",  "harbour", "market", "evening", "road",  "field",
        "light", "letter", "garden", "village", "winter", "mill",    "bank",  "crossing",
        "ferry", "meadow", "valley", "summer",  "tower",  "lantern", "miles", "boats"};
    constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    for (int i = 0; i < count; ++i) {
        // 60 % of the files have 1-3 pages, 30 % 4-15, 10 % 20-60.
        const int kind = pick(10);
        const int pages = kind < 6 ? 1 + pick(3) : kind < 9 ? 4 + pick(12) : 20 + pick(41);
        const int rarePage = (i % 50 == 7 || i % 50 == 32) ? pick(pages) : -1;
        QStringList text;
        for (int p = 0; p < pages; ++p) {
            QStringList lines;
            for (int l = 0; l < 45; ++l) {
                QStringList words;
                for (int w = 0; w < 12; ++w) {
                    const int r = pick(40);
                    if (r == 0)
                        words << QStringLiteral("river");
                    else if (r == 1)
                        words << QStringLiteral("River");
                    else if (r == 2)
                        words << QStringLiteral("RIVER");
                    else
                        words << QString::fromLatin1(kWords[pick(kWordCount)]);
                }
                if (p == rarePage && l == 20)
                    words.insert(5, i % 50 == 7 ? QStringLiteral("zephyr quill")
                                                : QStringLiteral("Zephyr Quill"));
                lines << words.join(u' ');
            }
            text << lines.join(u'\n');
        }
        const QString path = folder + QStringLiteral("/set-") + QString::number(i / 50) +
                             QStringLiteral("/doc-") + QString::number(i).rightJustified(4, u'0') +
                             QStringLiteral(".pdf");
        qm::test::makeTextPdf(path, text);
    }
    std::printf("%d PDF files in %s\n", count, qPrintable(folder));
    return 0;
}
