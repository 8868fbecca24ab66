// One large PDF through the pipeline (split into page ranges on the spare
// workers) against one whole-file pdftotext run of the same file.
//
//   bench_pagesplit <file.pdf | folder> [jobs] [files]
//
// Given a folder, its `files` (default 12) largest PDFs are joined with qpdf
// into one file first. Prints the page count, the times (best of two), the
// ratio and whether the texts are the same bytes.
#include <sys/resource.h>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pagesplit.h"
#include "extraction/pipeline.h"

namespace {

using namespace qm;

QString joinLargest(const QString& folder, int count, const QString& out) {
    QFileInfoList pdfs;
    QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) pdfs << QFileInfo(it.next());
    std::sort(pdfs.begin(), pdfs.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.size() > b.size(); });
    QStringList args{QStringLiteral("--empty"), QStringLiteral("--pages")};
    for (int k = 0; k < std::min<int>(count, pdfs.size()); ++k) args << pdfs[k].filePath();
    args << QStringLiteral("--") << out;
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), args);
    qpdf.waitForFinished(-1);
    return qpdf.exitCode() == 0 || qpdf.exitCode() == 3 ? out : QString();
}

// CPU seconds of every child ended so far (user + system).
double childrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_pagesplit <file.pdf | folder> [jobs] [files]\n");
        return 2;
    }
    const int jobs = args.size() > 2 ? args[2].toInt() : 2;
    const int files = args.size() > 3 ? args[3].toInt() : 12;
    QTemporaryDir tmp;
    QString pdf = args[1];
    if (QFileInfo(pdf).isDir())
        pdf = joinLargest(pdf, files, tmp.filePath(QStringLiteral("big.pdf")));
    if (pdf.isEmpty()) {
        std::fprintf(stderr, "qpdf could not join the files\n");
        return 1;
    }
    ChildToken token;
    const int pages = countPages(findQpdf(), pdf, tmp.filePath(QStringLiteral("info")), token, 0);
    std::printf("file: %s, %lld bytes, %d pages\n", qPrintable(pdf),
                static_cast<long long>(QFileInfo(pdf).size()), pages);

    const QString wholeText = tmp.filePath(QStringLiteral("whole.txt"));
    qint64 wholeMs = -1;
    const double cpu0 = childrenCpu();
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {pdf, wholeText});
        p.waitForFinished(-1);
        wholeMs = wholeMs < 0 ? t.elapsed() : std::min(wholeMs, t.elapsed());
    }
    const QByteArray whole = readAll(wholeText);

    const double wholeCpu = (childrenCpu() - cpu0) / 2;
    qint64 splitMs = -1;
    const double cpu1 = childrenCpu();
    QByteArray split;
    for (int round = 0; round < 2; ++round) {
        TextPipeline::Setup s;
        s.extractorPath = findExtractor();
        s.workFolder = tmp.filePath(QStringLiteral("work%1").arg(round));
        QDir().mkpath(s.workFolder);
        s.jobs = jobs;
        TextPipeline pipeline(std::move(s));
        FileRequest request;
        request.path = pdf;
        QElapsedTimer t;
        t.start();
        FileText text;
        QEventLoop loop;
        const TextPipeline::Ticket ticket =
            pipeline.fetch(nullptr, request, [&](const FileText& got, const QString&) {
                text = got;
                loop.quit();
            });
        loop.exec();
        splitMs = splitMs < 0 ? t.elapsed() : std::min(splitMs, t.elapsed());
        split = text.onDisk ? readAll(text.onDisk->path)
                            : QByteArray::fromStdString(text.chunks.utf8());
    }
    const double splitCpu = (childrenCpu() - cpu1) / 2;
    std::printf("whole-file pdftotext:       %8.2f s  (CPU %.2f s)\n", wholeMs / 1000.0, wholeCpu);
    std::printf("pipeline, %d jobs, split:    %8.2f s  (CPU %.2f s)\n", jobs, splitMs / 1000.0,
                splitCpu);
    std::printf("ratio:                      %8.2f (target <= 0.60)\n",
                double(splitMs) / double(std::max<qint64>(1, wholeMs)));
    std::printf("same bytes:                 %s (%lld bytes)\n", split == whole ? "yes" : "NO",
                static_cast<long long>(whole.size()));
    return split == whole ? 0 : 1;
}
