// Times the folder walk and file listing of the folder scan on a tree of
// 100,000 files in 10,000 folders, beside `find DIR -iname '*.pdf'` on the
// same tree, and prints both times, their ratio and the peak memory.
//
//   bench_folderscan [base folder] [runs]
//
// The tree is made in a temporary folder below the base (default: TMPDIR or
// /tmp) and removed at the end. Times are the median of the runs, after one
// warm-up run of each.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "filelist/folderscan.h"
#include "support/scripted.h"

namespace {

constexpr int kTopFolders = 100;
constexpr int kSubFolders = 99;  // below each top folder: 100 + 100 * 99 = 10,000 folders
constexpr int kFilesPerFolder = 10;

long peakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void makeFiles(const QByteArray& folder, int seed, long& files) {
    static const char* kNames[] = {"report.pdf", "Scan.PDF",   "notes.txt", "paper.Pdf",
                                   "data.csv",   "book.pdf",   "image.png", "letter.doc",
                                   "slides.pdf", "archive.zip"};
    for (int i = 0; i < kFilesPerFolder; ++i) {
        const QByteArray p = folder + '/' + QByteArray::number(seed) + '-' + kNames[i];
        const int fd = ::open(p.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            ++files;
        }
    }
}

void makeTree(const QString& root, long& folders, long& files) {
    const QByteArray base = QFile::encodeName(root);
    for (int t = 0; t < kTopFolders; ++t) {
        const QByteArray top = base + "/top" + QByteArray::number(t);
        if (::mkdir(top.constData(), 0755) == 0) ++folders;
        makeFiles(top, t, files);
        for (int s = 0; s < kSubFolders; ++s) {
            const QByteArray sub = top + "/sub" + QByteArray::number(s);
            if (::mkdir(sub.constData(), 0755) == 0) ++folders;
            makeFiles(sub, s, files);
        }
    }
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir tmp(base + QStringLiteral("/qm-folderscan-XXXXXX"));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder below %s\n", qPrintable(base));
        return 1;
    }
    long folders = 0, files = 0;
    const auto made = std::chrono::steady_clock::now();
    makeTree(tmp.path(), folders, files);
    std::printf("tree: %ld folders, %ld files in %s (made in %.2f s)\n", folders, files,
                qPrintable(tmp.path()), seconds(std::chrono::steady_clock::now() - made));
    const long before = peakKiB();

    qm::ScriptedEventPump pump;
    int failures = 0;
    const qm::FolderWalkFailure failed = [&](qm::FolderWalkStage, const QString&) { ++failures; };

    long listed = 0, walked = 0;
    auto scan = [&] {
        QStringList collection{tmp.path() + u'/'};
        qm::walkFolders(collection, true, failed, nullptr, [&pump] { pump.pump(); });
        walked = collection.size();
        QStringList all;
        for (const QString& f : collection) all += qm::filesToAddFromFolder(f, "*.pdf");
        listed = all.size();
    };
    long found = 0;
    auto find = [&] {
        QProcess p;
        p.start(QStringLiteral("find"), {tmp.path(), QStringLiteral("-iname"), "*.pdf"});
        p.waitForFinished(-1);
        found = p.readAllStandardOutput().count('\n');
    };

    scan();
    find();
    std::vector<double> scanTimes, findTimes;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        scan();
        scanTimes.push_back(seconds(std::chrono::steady_clock::now() - t0));
        t0 = std::chrono::steady_clock::now();
        find();
        findTimes.push_back(seconds(std::chrono::steady_clock::now() - t0));
    }
    const double s = median(scanTimes), f = median(findTimes);
    std::printf("walk + listing: %.3f s (%ld folders, %ld files listed, %d pumps)\n", s, walked,
                listed, pump.count);
    std::printf("find -iname '*.pdf': %.3f s (%ld files)\n", f, found);
    std::printf("ratio walk/find: %.2f\n", s / f);
    std::printf("peak memory: %ld KiB after making the tree, %ld KiB after the scans (+%ld KiB)\n",
                before, peakKiB(), peakKiB() - before);
    if (failures > 0) std::printf("error reports: %d\n", failures);
    return listed == found ? 0 : 2;
}
