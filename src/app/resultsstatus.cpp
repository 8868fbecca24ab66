#include "app/resultsstatus.h"

#include <QLocale>

namespace qm {

namespace {

QString number(qint64 n) {
    return QLocale(QLocale::English).toString(n);
}

// "1 result", "1,902 results".
QString counted(qint64 n, const char* one, const char* many) {
    return number(n) + u' ' + QLatin1String(n == 1 ? one : many);
}

}  // namespace

ResultsStatusText resultsStatusText(const ResultsCount& c) {
    ResultsStatusText out;
    if (c.ended && c.unreadable > 0)
        out.unreadable =
            counted(c.unreadable, "file", "files") + QStringLiteral(" could not be read");
    if (c.filtered) {
        out.count = QStringLiteral("Showing ") + number(c.shown) + QStringLiteral(" of ") +
                    counted(c.results, "result", "results");
        return out;
    }
    const QString found = counted(c.results, "result", "results");
    if (c.running)
        out.count = found + QStringLiteral(" in ") + counted(c.files, "file", "files") +
                    QStringLiteral(" so far");
    else if (c.ended && c.stopped)
        out.count = QStringLiteral("Stopped: ") + found + QStringLiteral(" in ") +
                    number(c.searched) + QStringLiteral(" of ") +
                    counted(c.listed, "file", "files");
    else if (c.ended || c.results > 0)
        out.count = found + QStringLiteral(" in ") + counted(c.files, "file", "files");
    return out;
}

QString savingShownText(qint64 shown, qint64 results) {
    return QStringLiteral("Saving ") + number(shown) + QStringLiteral(" of ") +
           counted(results, "result", "results");
}

}  // namespace qm
