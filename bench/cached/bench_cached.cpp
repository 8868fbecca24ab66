// Searches with extraction on every core and kept texts, against plain
// pdftotext and pdfgrep, on one corpus in one run:
//
//   bench_cached [count [rounds]]   (default 500 files, made once in the build
//                                    folder; 2 rounds of steps 1 and 2)
//
//   1. a plain loop of pdftotext over the files, one at a time;
//   2. the first search (nothing kept), extracting on every core;
//   3. a second search of the same list for another phrase, in the same process,
//      beside `pdfgrep -r -F` for that phrase;
//   4. quillmark-search --cache run twice, beside `pdfgrep --cache` run twice;
//   5. the window's add-time check of the list (all checked before) with one file added.
// Each figure is printed with the peak resident memory (ru_maxrss) of the
// process that did the work.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "app/form1.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "platform/settings.h"
#include "search/session.h"
#include "support/headlesshost.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"

extern char** environ;

namespace {

using namespace qm;

// The host of the measured runs: events are really pumped, as in the window.
struct QuietHost : test::HeadlessRun {
    explicit QuietHost(const QStringList& files) {
        list = files;
        searchOptions.mode = SearchMode::Single;
        searchOptions.caseMode = CaseMode::IgnoreCase;
    }
};

double peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double cpuSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Measured {
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

// Runs a program to its end (output to /dev/null) and measures its wall time
// and its own peak memory.
Measured runMeasured(const QStringList& command, const QStringList& extraEnv = {},
                     bool watchMemory = true) {
    std::vector<std::string> args;
    for (const QString& a : command) args.push_back(QFile::encodeName(a).toStdString());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
    for (const QString& e : extraEnv) envStore.push_back(e.toStdString());
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    Measured m;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) == 0) {
        // The child's own high-water mark, read while it runs (its rusage would
        // count this process's memory, shared until the exec).
        const QString statusFile = QStringLiteral("/proc/%1/status").arg(pid);
        while (watchMemory) {
            siginfo_t info{};
            info.si_pid = 0;
            if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid)
                break;
            QFile st(statusFile);
            if (st.open(QIODevice::ReadOnly)) {
                for (const QByteArray& l : st.readAll().split('\n'))
                    if (l.startsWith("VmHWM:"))
                        m.peakMiB = std::max(
                            m.peakMiB, l.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0);
            }
            usleep(2000);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        m.seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return m;
}

// Pages of varied text; "kiwi" and "mango" appear on some pages only.
QStringList pagesFor(int n) {
    static const char* words[] = {"flour",  "sugar",  "butter", "salt",   "pepper", "onion",
                                  "garlic", "tomato", "basil",  "olive",  "lemon",  "cream",
                                  "egg",    "rice",   "bean",   "carrot", "celery", "thyme"};
    QStringList pages;
    const int count = 2 + n % 4;
    for (int p = 0; p < count; ++p) {
        QString page = QStringLiteral("Recipe %1, page %2\n").arg(n).arg(p + 1);
        for (int line = 0; line < 35; ++line) {
            for (int w = 0; w < 9; ++w) {
                page += QString::fromLatin1(words[(n * 7 + p * 13 + line * 5 + w * 3) % 18]);
                page += u' ';
            }
            if ((n + line) % 17 == 0) page += QStringLiteral("kiwi ");
            if ((n + p + line) % 23 == 0) page += QStringLiteral("mango ");
            page += u'\n';
        }
        pages << page;
    }
    return pages;
}

void line(const char* what, double seconds, double mib, const QString& note = {}) {
    std::printf("%-44s %9.3f s   peak %7.1f MiB  %s\n", what, seconds, mib,
                note.toUtf8().constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(2, std::atoi(argv[1])) : 500;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    const QString pdftotext = findExtractor();
    const QString pdfgrep = QStandardPaths::findExecutable(QStringLiteral("pdfgrep"));
    if (pdftotext.isEmpty()) {
        std::fprintf(stderr, "pdftotext is not installed\n");
        return 1;
    }
    const int cores = TextPipeline::coreCount();

    // The corpus is made once and kept beside the program.
    const QString corpus =
        QCoreApplication::applicationDirPath() + QStringLiteral("/corpus-%1").arg(count);
    QStringList files;
    for (int n = 1; n <= count; ++n)
        files << corpus + QStringLiteral("/doc%1.pdf").arg(n, 4, 10, QLatin1Char('0'));
    const QString extra = corpus + QStringLiteral("/added/extra.pdf");
    if (!QFile::exists(extra)) {
        std::printf("making %d PDF files in %s ...\n", count + 1, qPrintable(corpus));
        for (int n = 1; n <= count; ++n) test::makeTextPdf(files[n - 1], pagesFor(n));
        test::makeTextPdf(extra, pagesFor(count + 1));
    }
    qint64 bytes = 0;
    for (const QString& f : files) bytes += QFileInfo(f).size();
    std::printf("%d files, %.1f MiB of PDF, %d cores\n\n", count, bytes / 1048576.0, cores);

    QTemporaryDir scratch;
    const QString work = scratch.path() + QStringLiteral("/work");
    QDir().mkpath(work);

    // 1 and 2. The plain loop and the first search, in turns; the machine is
    // shared, so the best of each counts.
    QElapsedTimer t;
    TextCache cache;
    QuietHost host(files);
    TextPipeline::Setup setup;
    setup.extractorPath = pdftotext;
    setup.workFolder = work;
    setup.cache = &cache;
    TextPipeline pipeline(std::move(setup));
    host.searchOptions.singlePhrase = QStringLiteral("kiwi");
    double loop = 1e9;
    double first = 1e9;
    double firstCpu = 0;
    std::int64_t extractions = 0;
    for (int round = 1; round <= rounds; ++round) {
        const double loopChildren = cpuSeconds(RUSAGE_CHILDREN);
        t.start();
        for (const QString& f : files)
            runMeasured({pdftotext, f, scratch.path() + QStringLiteral("/loop.txt")}, {}, false);
        const double l = static_cast<double>(t.nsecsElapsed()) / 1e9;
        loop = std::min(loop, l);
        line("plain pdftotext loop, one at a time", l, peakMiB(),
             QStringLiteral("extractors' CPU %1 s")
                 .arg(cpuSeconds(RUSAGE_CHILDREN) - loopChildren, 0, 'f', 2));

        cache.clear();
        const auto startedBefore = childrenStarted();
        const double cpuBefore = cpuSeconds();
        const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
        t.restart();
        host.run(pipeline);
        const double f = static_cast<double>(t.nsecsElapsed()) / 1e9;
        // Workers reap their children before the run takes their texts.
        const double childrenCpu = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
        if (f < first) firstCpu = cpuSeconds() - cpuBefore;
        first = std::min(first, f);
        extractions = childrenStarted() - startedBefore;
        line("first search (\"kiwi\"), every core", f, peakMiB(),
             QStringLiteral("%1 rows, %2 extractions; extractors' CPU %3 s, %4 of %5 cores busy")
                 .arg(host.rows.size())
                 .arg(extractions)
                 .arg(childrenCpu, 0, 'f', 2)
                 .arg(childrenCpu / f, 0, 'f', 2)
                 .arg(cores));
    }
    const double ideal = loop / cores;
    line("best loop divided by the cores", ideal, peakMiB());
    line("best first search", first, peakMiB(),
         QStringLiteral("%1 x the loop / cores (target <= 1.15); this process's own CPU %2 s")
             .arg(first / ideal, 0, 'f', 2)
             .arg(firstCpu, 0, 'f', 2));

    // 3. The second search, another phrase.
    host.searchOptions.singlePhrase = QStringLiteral("mango");
    const auto startedSecond = childrenStarted();
    t.restart();
    host.run(pipeline);
    const double second = static_cast<double>(t.nsecsElapsed()) / 1e9;
    line("second search (\"mango\"), same process", second, peakMiB(),
         QStringLiteral("%1 rows, %2 extractions; cache %3 MiB of %4 MiB")
             .arg(host.rows.size())
             .arg(childrenStarted() - startedSecond)
             .arg(cache.bytesUsed() / 1048576.0, 0, 'f', 1)
             .arg(cache.bound() / 1048576));
    if (!pdfgrep.isEmpty()) {
        const Measured g = runMeasured(
            {pdfgrep, QStringLiteral("-r"), QStringLiteral("-F"), QStringLiteral("mango"), corpus});
        line("pdfgrep -r -F mango", g.seconds, g.peakMiB,
             QStringLiteral("second search is %1 x faster (target >= 50)")
                 .arg(g.seconds / second, 0, 'f', 1));
    }

    // 4. The command line with --cache, against pdfgrep --cache.
    const QString cli =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../../src/cli/quillmark-search");
    const QString xdg = QStringLiteral("XDG_CACHE_HOME=") + scratch.path() + QStringLiteral("/xdg");
    const QString temp = QStringLiteral("TEMP=") + scratch.path();
    if (QFileInfo(cli).isExecutable()) {
        const Measured c1 = runMeasured(
            {cli, QStringLiteral("-q"), QStringLiteral("--cache"), QStringLiteral("kiwi"), corpus},
            {xdg, temp});
        line("quillmark-search --cache, first run", c1.seconds, c1.peakMiB);
        const Measured c2 = runMeasured(
            {cli, QStringLiteral("-q"), QStringLiteral("--cache"), QStringLiteral("mango"), corpus},
            {xdg, temp});
        line("quillmark-search --cache, second run", c2.seconds, c2.peakMiB);
        if (!pdfgrep.isEmpty()) {
            const Measured g1 =
                runMeasured({pdfgrep, QStringLiteral("-r"), QStringLiteral("--cache"),
                             QStringLiteral("-F"), QStringLiteral("kiwi"), corpus},
                            {xdg});
            line("pdfgrep --cache, first run", g1.seconds, g1.peakMiB);
            const Measured g2 =
                runMeasured({pdfgrep, QStringLiteral("-r"), QStringLiteral("--cache"),
                             QStringLiteral("-F"), QStringLiteral("mango"), corpus},
                            {xdg});
            line("pdfgrep --cache, second run", g2.seconds, g2.peakMiB,
                 QStringLiteral("quillmark-search takes %1 of its time (target <= 0.5)")
                     .arg(c2.seconds / g2.seconds, 0, 'f', 2));
        }
    } else {
        std::printf("(quillmark-search not built: %s)\n", qPrintable(cli));
    }

    // 5. Adding one file to the checked list: the window's add-time check,
    // once over the whole list (not timed), then again with one file added.
    {
        test::TestWindow window(scratch.path() + QStringLiteral("/settings.ini"));
        Form1& form = *window.form;
        // Counted by the extractor's invocations through a logging stand-in.
        const QString log = scratch.path() + QStringLiteral("/calls.log");
        form.ExtractorPath = test::writeScript(
            scratch.path(), QStringLiteral("counting.sh"),
            QStringLiteral("echo x >> '%1'\nexec '%2' \"$@\"").arg(log, pdftotext));
        form.fileList.add(files);
        form.runAddTimeCheck();
        QFile::remove(log);
        form.fileList.add(extra);
        t.restart();
        form.runAddTimeCheck();
        const double add = static_cast<double>(t.nsecsElapsed()) / 1e9;
        QFile f(log);
        const int calls =
            f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
        line("add one file to a checked list (check)", add, peakMiB(),
             QStringLiteral("%1 extraction(s) for %2 listed files")
                 .arg(calls)
                 .arg(form.fileList.count()));
    }
    return 0;
}
