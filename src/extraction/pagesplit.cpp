#include "extraction/pagesplit.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <thread>

#include "extraction/extractor.h"
#include "fs/fs.h"

namespace qm {

void shareWithHelpers(std::size_t n, std::atomic<std::size_t>& next, const RangeHelpers& helpers,
                      ChildToken& token, const std::function<void()>& work) {
    const auto wanted = [&] { return next.load() < n && !token.cancelled(); };
    std::vector<std::thread> threads;
    const int helperCount = std::min(helpers.count, static_cast<int>(n) - 1);
    for (int t = 0; t < helperCount && helpers.join; ++t)
        threads.emplace_back([&] {
            if (!helpers.join(wanted)) return;
            work();
            if (helpers.leave) helpers.leave();
        });
    work();
    if (helpers.wake) helpers.wake();
    for (std::thread& t : threads) t.join();
}

std::vector<PageRange> planPageRanges(int pages, int parts, int minPages) {
    std::vector<PageRange> out;
    if (pages <= 0) return out;
    parts = std::max(1, std::min(parts, pages / std::max(1, minPages)));
    const int base = pages / parts;
    const int extra = pages % parts;
    int first = 1;
    for (int k = 0; k < parts; ++k) {
        const int size = base + (k < extra ? 1 : 0);
        out.push_back({first, first + size - 1});
        first += size;
    }
    return out;
}

int parsePageCount(const QByteArray& answer) {
    QByteArray line = answer;
    if (line.endsWith('\n')) line.chop(1);
    if (line.isEmpty() || line.size() > 9) return 0;
    for (const char c : line)
        if (c < '0' || c > '9') return 0;
    return line.toInt();
}

int countPages(const QString& qpdfPath, const QString& pdf, const QString& reportPath,
               ChildToken& token, int timeLimitMs) {
    if (qpdfPath.isEmpty()) return 0;
    const ChildResult r =
        runChild(qpdfPath, pageCountArguments(pdf), token, {}, timeLimitMs, reportPath);
    // qpdf's 3: done, with warnings (a repaired file); the count still stands.
    const auto answer = takeAnswer(r, reportPath, 64, {0, 3});
    return answer ? parsePageCount(*answer) : 0;
}

QStringList pageCountArguments(const QString& pdf) {
    return {QStringLiteral("--show-npages"), pathArgument(pdf)};
}

QStringList rangeArguments(const QString& pdf, const PageRange& range) {
    return {QStringLiteral("-f"), QString::number(range.first),
            QStringLiteral("-l"), QString::number(range.last),
            pathArgument(pdf),    QStringLiteral("-")};
}

namespace {

// Appends the file `part` to `out`; false when either fails or the part does
// not hold exactly `pages` page breaks (form feeds).
bool append(QFile& out, const QString& part, int pages) {
    QFile in(part);
    if (!in.open(QIODevice::ReadOnly)) return false;
    qsizetype breaks = 0;
    for (;;) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty()) return (!in.error() || in.atEnd()) && breaks == pages;
        breaks += block.count('\f');
        if (breaks > pages || out.write(block) != block.size()) return false;
    }
}

}  // namespace

SplitResult extractInRanges(const QString& extractor, const QString& pdf, const QString& txt,
                            const QString& folder, const std::vector<PageRange>& ranges,
                            const RangeHelpers& helpers, ChildToken& token, int timeLimitMs) {
    SplitResult result;
    fs::removeQuietly(txt);
    const std::size_t n = ranges.size();
    std::vector<QString> parts(n);
    std::vector<ChildResult> runs(n);
    for (std::size_t k = 0; k < n; ++k)
        parts[k] = folder + QStringLiteral("/part%1.txt").arg(k + 1);
    std::atomic<std::size_t> next{0};
    const auto runRanges = [&] {
        for (std::size_t k = next++; k < n; k = next++) {
            runs[k] = runChild(extractor, rangeArguments(pdf, ranges[k]), token, {}, timeLimitMs,
                               parts[k]);
            // A failed range leaves the file to a whole-file run: the rest are of no use.
            if (!runs[k].exited || runs[k].exitCode != 0 || runs[k].outputLost) next = n;
        }
    };
    shareWithHelpers(n, next, helpers, token, runRanges);

    bool allGood = n > 0;
    for (std::size_t k = 0; k < n; ++k) {
        result.ended = result.ended || runs[k].ended;
        result.timedOut = result.timedOut || runs[k].timedOut;
        allGood = allGood && runs[k].exited && runs[k].exitCode == 0 && !runs[k].outputLost &&
                  fs::isFile(parts[k]);
    }
    if (allGood && !result.ended && !result.timedOut) {
        QFile out(txt);
        bool ok = out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        for (std::size_t k = 0; ok && k < n; ++k)
            ok = append(out, parts[k], ranges[k].last - ranges[k].first + 1);
        ok = out.isOpen() && out.flush() && ok;
        out.close();
        ok = ok && out.error() == QFileDevice::NoError;
        result.done = ok;
        if (!ok) fs::removeQuietly(txt);
    }
    for (const QString& p : parts) fs::removeQuietly(p);
    return result;
}

}  // namespace qm
