// A results list of N rows (1,000,000 by default) in the window's model:
// memory with the snippet alone and with the longer context the view shows,
// the time of each sort, of each key typed into the filter, and of rows found
// later while a sort and a filter are in effect. Prints figures; asserts nothing.
//
//   bench_results [ROWS]
//   bench_results --memory plain|context
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QTreeView>
#include <cstdio>
#include <random>

#include "app/resultsview.h"
#include "results/resultslist.h"

using namespace qm;

namespace {

long rssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

const char* kWords[] = {"search", "kiwi",    "document", "the",    "of",
                        "page",   "manual",  "option",   "value",  "figure",
                        "table",  "chapter", "index",    "Müller", "résumé"};

QString words(std::mt19937& rng, int chars) {
    QString out;
    while (out.size() < chars) {
        out += QString::fromUtf8(kWords[rng() % std::size(kWords)]);
        out += u' ';
    }
    return out.left(chars);
}

// Rows as a search of `files` files adds them: a file's rows one after another.
void fill(ResultsList& list, int rows, bool context, std::mt19937& rng) {
    const int files = std::max(1, rows / 1000);
    std::vector<QString> paths;
    for (int i = 0; i < files; ++i)
        paths.push_back(
            QStringLiteral("/home/user/archive/2019/reports/department-%1/report-%2.pdf")
                .arg(i % 37)
                .arg(i));
    const QString phrase = QStringLiteral("kiwi");
    for (int r = 0; r < rows; ++r) {
        ResultRow row;
        row.path = paths[static_cast<std::size_t>(r * files / rows)];
        row.snippet = QStringLiteral("...") + words(rng, 15) + phrase + words(rng, 11) +
                      QStringLiteral("...");
        row.page = 1 + r % 997;
        row.phrase = phrase;
        row.matchAt = 18;
        row.matchLength = 4;
        if (context) {
            // As the window keeps it: the snippet is cut from the context.
            const QString before = words(rng, 50), after = words(rng, 50);
            // As the window makes it: a copy of exactly the bytes (toUtf8()
            // would keep room for three bytes a character).
            const QByteArray bytes = (before + phrase + after).toUtf8();
            row.context = QByteArray(bytes.constData(), bytes.size());
            row.spans.matchFrom = before.toUtf8().size();
            row.spans.matchTo = row.spans.matchFrom + 4;
            row.spans.snippetFrom = row.spans.matchFrom - 15;
            row.spans.snippetTo = row.spans.matchFrom + 15;
            row.spans.leadingMarker = true;
            row.snippet.clear();
        }
        list.addRow(std::move(row));
        if (r % 10000 == 9999) list.publish();
    }
    list.publish();
}

double ms(QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Memory, each way in a process of its own (`--memory plain|context`):
    // the rows with their snippet alone, as they were kept before, or with
    // the context the window keeps now, shown in a view.
    const bool memoryOnly = argc > 2 && QByteArray(argv[1]) == "--memory";
    const bool context = !memoryOnly || QByteArray(argv[2]) == "context";
    const int rows = memoryOnly ? 1000000 : (argc > 1 ? std::atoi(argv[1]) : 1000000);
    std::mt19937 rng(7);
    const long base = rssKiB();
    ResultsList list;
    QTreeView view;
    ResultsView& model = showResults(view, list, 500);
    fill(list, rows, context, rng);
    const double used = static_cast<double>(rssKiB() - base);
    std::printf("rows: %d, %s: %.1f MiB (%.0f bytes a row)\n", rows,
                context ? "with context" : "snippet only", used / 1024, used * 1024 / rows);
    if (memoryOnly) return 0;
    // Each time below includes the view's own work on the change (its layout
    // of the rows and a paint), as in the window.
    view.resize(1200, 800);
    view.show();
    const auto settle = [] { QCoreApplication::processEvents(); };
    settle();

    QElapsedTimer t;
    for (const auto& [column, name] :
         {std::pair{0, "path"}, std::pair{1, "where"}, std::pair{2, "page"}}) {
        t.start();
        model.sortByColumn(column);
        settle();
        const double up = ms(t);
        t.start();
        model.sortByColumn(column);
        settle();
        const double down = ms(t);
        t.start();
        model.sortByColumn(column);
        settle();
        const double back = ms(t);
        std::printf("sort by %-5s: %7.1f ms, reversed %7.1f ms, as found %7.1f ms\n", name, up,
                    down, back);
    }

    model.sortByColumn(2);  // by page, while typing
    double worst = 0;
    QString typed;
    for (const QChar c : QStringLiteral("report-12 kiwi")) {
        typed += c;
        t.start();
        model.setFilter(typed);
        settle();
        worst = std::max(worst, ms(t));
    }
    std::printf("filter, typing 'report-12 kiwi': worst key %.1f ms, %lld rows shown\n", worst,
                static_cast<long long>(model.rowCount()));
    model.setFilter(QString());
    settle();
    worst = 0;
    typed.clear();
    for (const QChar c : QStringLiteral("résumé")) {
        typed += c;
        t.start();
        model.setFilter(typed);
        settle();
        worst = std::max(worst, ms(t));
    }
    std::printf("filter, typing 'résumé': worst key %.1f ms, %d rows shown\n", worst,
                model.rowCount());
    for (const char* text : {"résumé", "zzz-not-there", ""}) {
        model.setFilter(QStringLiteral("kiwi"));  // held by every row
        settle();
        t.start();
        model.setFilter(QString::fromUtf8(text));
        settle();
        std::printf("filter '%s' from scratch: %.1f ms, %d rows shown\n", text, ms(t),
                    model.rowCount());
    }

    // Rows found later with a sort and a filter in effect: 100 batches of 1,000.
    model.setFilter(QStringLiteral("kiwi"));
    t.start();
    for (int b = 0; b < 100; ++b) {
        for (int i = 0; i < 1000; ++i) {
            ResultRow row;
            row.path = QStringLiteral("/late/file-%1.pdf").arg(b);
            row.snippet = QStringLiteral("...kiwi late...");
            row.page = 1 + i;
            row.matchAt = 3;
            list.addRow(std::move(row));
        }
        list.publish();
        model.flush();  // the window places them at most every 250 ms
        settle();
    }
    std::printf("100 batches of 1,000 rows placed by the sort and filter: %.1f ms a batch\n",
                ms(t) / 100);
    return 0;
}
