// The window on one folder of real PDFs, headless, against a plain pdftotext
// loop over the same files measured in the same run:
//
//   bench_window FOLDER [PHRASE]      (PHRASE: "the" unless given)
//   bench_window --during-check FOLDER [PHRASE]
//
//   1. a plain loop of pdftotext over the folder's PDF files, one at a time;
//   2. a new window (texts kept on disk in a fresh store): "Add All PDF File(s)
//      In Folder" of FOLDER, the walk and the add-time check;
//   3. the first search after that, PHRASE, ignoring case;
//   4. a new process, another new window with the store of step 2: the same
//      add and the same search.
// Each step prints its wall time and the peak resident memory of the process
// that did it, with the window's memory cache beside it. With --during-check:
// a search started at a tenth of the add-time check against the check alone
// (duringCheck below).
#include <sys/resource.h>
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>

#include "app/form1.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "support/scripted.h"
#include "support/window.h"

namespace {

using namespace qm;

double peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

struct WindowFigures {
    double add = 0, addPeak = 0, search = 0, searchPeak = 0, cacheMiB = 0;
    int listed = 0, rows = 0;
    QString done;
};

// A new window, as a user would find it: adds the folder, then searches.
WindowFigures addAndSearch(const QString& folder, const QString& phrase, const QString& scratch) {
    test::TestWindow window(scratch + QStringLiteral("/settings.ini"));
    ScriptedMessageBoxes& boxes = window.boxes;
    Form1& form = *window.form;
    form.ExtractorPath = findExtractor();

    WindowFigures w;
    boxes.answerInput(QStringLiteral("pdf"));
    window.dialogs.folderAnswers.push_back(folder);
    QElapsedTimer t;
    t.start();
    form.PushButton6->click();
    test::checkToEnd(form, 3600000);
    w.add = seconds(t);
    w.addPeak = peakMiB();
    w.listed = form.fileList.count();

    const std::size_t before = boxes.shown.size();
    form.Text1->setText(phrase);
    form.Option3->setChecked(true);
    form.Option2->setChecked(true);
    t.restart();
    test::searchToEnd(form, 3600000);
    w.search = seconds(t);
    w.searchPeak = peakMiB();
    w.rows = form.results.rowCount();
    if (boxes.shown.size() > before) w.done = boxes.shown.back().text.section(u'\n', 0, 0);
    w.cacheMiB = static_cast<double>(form.engine().cache()->bytesUsed()) / 1048576.0;
    return w;
}

void print(const WindowFigures& w, const char* who) {
    std::printf("%s: add (walk + check) %.2f s, %d files listed, peak %.1f MiB\n", who, w.add,
                w.listed, w.addPeak);
    std::printf("%s: first search %.3f s, %d rows, peak %.1f MiB, memory cache %.1f MiB (%s)\n",
                who, w.search, w.rows, w.searchPeak, w.cacheMiB, qPrintable(w.done.trimmed()));
    std::fflush(stdout);
}

// A search started while the add-time check is at a tenth of FOLDER, against
// the check alone and a search of the kept texts, each in a new window that
// keeps texts in memory only (every file extracted): the search may take no
// longer than the check alone plus the matching.
int duringCheck(const QString& folder, const QString& phrase, const QString& scratch) {
    struct Run {
        double check = 0, both = 0, match = 0;
        int extractions = 0;
    };
    const auto run = [&](bool search) {
        Run r;
        test::TestWindow window(scratch + QStringLiteral("/during.ini"));
        window.ini->saveSetting(QStringLiteral("TextCache"), QStringLiteral("False"));
        Form1& form = *window.form;
        form.ExtractorPath = findExtractor();
        form.Text1->setText(phrase);
        form.Option3->setChecked(true);
        window.boxes.answerInput(QStringLiteral("pdf"));
        window.dialogs.folderAnswers.push_back(folder);
        bool started = false;
        QElapsedTimer t;
        if (search)
            window.onTick([&] {
                // The check has begun a tenth of the files.
                const int n = form.fileList.count();
                const int begun =
                    static_cast<int>(window.form->texts.filter(QStringLiteral("Checking: ")).size());
                if (!started && n > 0 && begun >= std::max(1, n / 10)) {
                    started = true;
                    test::searchToEnd(form, 3600000);
                }
            });
        t.start();
        form.PushButton6->click();
        test::checkToEnd(form, 3600000);
        while (search && (!started || form.searchRunning())) QCoreApplication::processEvents();
        r.both = seconds(t);
        r.check = r.both;
        window.ticker.stop();
        // The matching alone: the same search again, every text kept.
        t.restart();
        test::searchToEnd(form, 3600000);
        r.match = seconds(t);
        return r;
    };
    const Run alone = run(false);
    const Run both = run(true);
    std::printf("check alone %.2f s; search started at a tenth of the check, both done %.2f s; "
                "matching of the kept texts %.2f s\n",
                alone.check, both.both, both.match);
    std::printf("ratio: (search during check) / (check alone + matching)  %.3f (target <= 1)\n",
                both.both / (alone.check + both.match));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool second = args.value(1) == QStringLiteral("--second");
    const bool during = args.value(1) == QStringLiteral("--during-check");
    const QString folder = args.value(second || during ? 2 : 1);
    const QString phrase = args.value(second || during ? 3 : 2, QStringLiteral("the"));
    const QString pdftotext = findExtractor();
    if (folder.isEmpty() || pdftotext.isEmpty()) {
        std::fprintf(stderr, "usage: bench_window FOLDER [PHRASE] (pdftotext needed)\n");
        return 1;
    }
    if (workFolder().isEmpty()) {
        std::fprintf(stderr, "no work folder: %s\n", qPrintable(workFolderProblem()));
        return 1;
    }

    if (second) {
        // The store of the first process is in XDG_CACHE_HOME, set by it.
        const WindowFigures w =
            addAndSearch(folder, phrase, QString::fromLocal8Bit(qgetenv("SCRATCH")));
        print(w, "new process");
        std::printf("SECOND %.3f %.3f %.1f\n", w.add, w.search, w.searchPeak);
        removeWorkFolder();
        return 0;
    }

    QTemporaryDir scratch;
    if (during) {
        const int rc = duringCheck(folder, phrase, scratch.path());
        removeWorkFolder();
        return rc;
    }
    qputenv("XDG_CACHE_HOME", QFile::encodeName(scratch.path() + QStringLiteral("/xdg")));
    qputenv("SCRATCH", QFile::encodeName(scratch.path()));
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    const int cores = TextPipeline::coreCount();
    std::printf("folder %s: %lld PDF files, %d cores\n", qPrintable(folder),
                static_cast<long long>(files.size()), cores);

    // 1. The plain loop.
    QElapsedTimer t;
    t.start();
    const QString out = scratch.path() + QStringLiteral("/loop.txt");
    for (const QString& f : files) {
        QProcess one;
        one.setStandardErrorFile(QProcess::nullDevice());
        one.start(pdftotext, {f, out});
        one.waitForFinished(-1);
    }
    const double loop = seconds(t);
    std::printf("plain pdftotext loop: %.2f s (divided by %d cores: %.2f s)\n", loop, cores,
                loop / cores);
    std::fflush(stdout);

    // 2 and 3. A new window: the add and the first search.
    const WindowFigures w = addAndSearch(folder, phrase, scratch.path());
    print(w, "window");

    // 4. A new process with the texts kept on disk.
    QProcess next;
    next.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    t.restart();
    next.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--second"), folder, phrase});
    next.waitForFinished(-1);
    const double nextWall = seconds(t);
    const QByteArray nextOut = next.readAllStandardOutput();
    std::fputs(nextOut.constData(), stdout);
    double nextAdd = 0, nextSearch = 0;
    for (const QByteArray& l : nextOut.split('\n'))
        if (l.startsWith("SECOND ")) {
            nextAdd = l.split(' ').value(1).toDouble();
            nextSearch = l.split(' ').value(2).toDouble();
        }

    std::printf("\nratios:\n");
    std::printf("  add / (loop / cores)            %.2f  (target <= 1.15)\n",
                w.add / (loop / cores));
    std::printf("  first search / loop             %.3f (target <= 0.05)\n", w.search / loop);
    std::printf("  new process add + search / loop %.3f (target <= 0.05; whole process %.2f s)\n",
                (nextAdd + nextSearch) / loop, nextWall);
    std::printf("  window peak minus its memory cache: %.1f MiB (target < 200)\n",
                std::max(w.addPeak, w.searchPeak) - w.cacheMiB);
    removeWorkFolder();
    return 0;
}
