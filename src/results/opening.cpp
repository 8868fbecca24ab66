#include "results/opening.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QThread>
#include <algorithm>

namespace qm {

QStringList distinctPaths(const ResultRows& list, const ExportStep& step) {
    QStringList paths{QString()};
    QSet<QString> seen{QString()};
    const int rows = list.count();
    for (int r = 0; r < rows; ++r) {
        if (step) step();
        const QString path = list.row(r).path;
        if (!seen.contains(path)) {
            seen.insert(path);
            paths << path;
        }
    }
    return paths;
}

void waitSeconds(int seconds, const ExportStep& step) {
    const QDeadlineTimer deadline(std::chrono::seconds(std::max(seconds, 0)), Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        if (step) step();
        const qint64 left = deadline.remainingTime();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
    }
}

}  // namespace qm
