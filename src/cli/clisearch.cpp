#include "cli/clisearch.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "cli/cliopts.h"
#include "cli/console.h"
#include "cli/consolerun.h"
#include "cli/inputs.h"
#include "cli/printer.h"
#include "cli/tsvtarget.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "results/resultrows.h"
#include "search/engine.h"
#include "search/session.h"
#include "search/sink.h"
#include "text/display.h"
#include "text/error.h"
#include "words/words.h"

namespace qm::cli {

namespace {

const QString kName = QString::fromLatin1(kProgramName);
// Texts kept in memory during one run with --cache (the disk keeps them all).
// A run reads each file's entry once: memory that keeps entries read goes
// unused, and fresh memory for each costs more than the reading itself.
constexpr std::int64_t kCliMemoryCache = 0;

QString chooseExtractor() {
    const QString override = qEnvironmentVariable(kExtractorVariable);
    return override.isEmpty() ? findExtractor() : override;
}

QString chooseQpdf() {
    const QString override = qEnvironmentVariable(kQpdfVariable);
    return override.isEmpty() ? findQpdf() : override;
}

}  // namespace

QString missingExtractorLine(const QString& extractor) {
    QString line = kName + QStringLiteral(": the text extractor ");
    line += extractor.isEmpty() ? QStringLiteral("\"pdftotext\" was not found")
                                : u'"' + extractor + QStringLiteral("\" cannot be run");
    return line + QStringLiteral(
                      "; please install the package poppler-utils "
                      "(sudo apt install poppler-utils)");
}

namespace {

// The search of the command line's files, from the check of the extractor
// to the exit status.
class CommandLineSearch {
  public:
    explicit CommandLineSearch(const CliOptions& options)
        : options_(options),
          terminal_(stderr, !options.quiet && !options.noProgress && isatty(STDERR_FILENO) == 1),
          boxes_(terminal_),
          pump_(terminal_),
          withPassword_(options) {
        services_.boxes = &boxes_;
        services_.pump = &pump_;
        terminal_.beforeWriting = [this] { out_.flush(); };
    }

    int run() {
        if (!extractorFound() || !textFileTargetUsable() || !searchGathered() || !workFolderMade())
            return kExitTrouble;
        if (!ocrReady() || !patternsReady()) return finish(kExitTrouble);
        searchFiles();
        reportUnreadFiles();
        reportWeakOcrPages();
        // -q: a match is the answer, whatever else happened.
        if (options_.quiet && summary_.occurrences > 0) return finish(kExitFound, false);
        int status = summary_.occurrences > 0 ? kExitFound : kExitNothingFound;
        if (errorOccurred()) status = kExitTrouble;
        if (!options_.tsvPath.isEmpty() && !out_.broken() && !textFileWritten())
            status = kExitTrouble;
        return finish(status);
    }

  private:
    void problem(const QString& description) { terminal_.problem(description); }

    bool extractorFound() {
        extractor_ = chooseExtractor();
        if (canRun(extractor_)) return true;
        terminal_.errorLine(missingExtractorLine(extractor_));
        return false;
    }

    // The text file's target is checked before anything is searched.
    bool textFileTargetUsable() {
        if (options_.tsvPath.isEmpty()) return true;
        const QString trouble = prepareTsvTarget(options_.tsvPath, tsv_);
        if (!trouble.isEmpty()) problem(trouble);
        return trouble.isEmpty();
    }

    // The phrases, the password and the paths.
    bool searchGathered() {
        search_.caseMode = options_.caseMode;
        if (options_.findSetMode()) {
            search_.mode = SearchMode::Multiple;
            if (!collectPhrases(options_, terminal_, search_.findSets)) return false;
        } else {
            search_.mode = SearchMode::Single;
            search_.singlePhrase = options_.phrase;
        }
        search_.promptForPassword =
            options_.hasPassword || options_.askPassword || !options_.passwordFile.isEmpty();
        if (!options_.passwordFile.isEmpty()) {
            if (!readPasswordFile(options_.passwordFile, terminal_, withPassword_.password))
                return false;
            withPassword_.hasPassword = true;
        }
        search_.loose = options_.loose;
        search_.sources = options_.sources;
        search_.wholeWords = options_.wholeWords;
        search_.ignoreAccents = options_.ignoreAccents;
        search_.regex = options_.regex;
        paths_ = options_.paths;
        return readFilesFrom(options_, paths_, terminal_);
    }

    bool workFolderMade() {
        // Work folders that ended runs left behind go first.
        removeStaleWorkFolders();
        work_ = createWorkFolder();
        if (!work_.isEmpty()) return true;
        problem(workFolderProblem());
        return false;
    }

    // What the engine is asked for (the files once they are listed).
    SearchRequest request() const {
        SearchRequest r;
        r.options = search_;
        r.files = files_;
        r.extractorPath = extractor_;
        r.qpdfPath = chooseQpdf();
        r.workFolder = work_;
        r.jobs = options_.jobs;
        r.timeLimitSeconds = options_.timeoutSeconds;
        r.readScannedPages = options_.ocr;
        r.ocrLanguages = options_.ocrLanguages;
        // With --cache, texts are kept on disk between runs (memory holds only a few).
        r.keep = options_.cache ? SearchRequest::Keep::MemoryAndDisk : SearchRequest::Keep::Nothing;
        r.memoryCacheBytes = kCliMemoryCache;
        return r;
    }

    // --ocr: tesseract asked for its version and languages, the languages
    // checked, before anything is walked.
    bool ocrReady() {
        const std::optional<SearchProblem> trouble = engine_.prepareOcr(request());
        if (trouble) problem(searchProblemText(*trouble));
        return !trouble;
    }

    // -P: a pattern that does not compile is refused before anything is walked.
    bool patternsReady() {
        const std::optional<SearchProblem> fault = invalidPattern(search_);
        if (fault) problem(searchProblemText(*fault));
        return !fault;
    }

    void searchFiles() {
        // A reader that closes the pipe is noticed by the failing write.
        signal(SIGPIPE, SIG_IGN);
        printer_ =
            makePrinter({options_, terminal_, out_,
                         options_.quiet || (!options_.tsvPath.isEmpty() && tsv_.isStandardOutput()),
                         colorWanted() && !options_.json});
        host_ = std::make_unique<ConsoleRun>(withPassword_, terminal_, out_, *printer_);
        pump_.onInterrupt = [this](int count) { interrupted(count); };
        walkedAll_ = collectFiles(options_, paths_, terminal_, files_);
        pump_.checkInterrupts();
        bool ready = true;
        for (const SearchProblem& p : engine_.prepare(request())) {
            problem(searchProblemText(p));
            ready = ready && !p.fatal;
        }
        if (ready && !interrupted_ && !extractionsEnded()) runSession();
        terminal_.clear();
    }

    // The session runs under the event loop; Ctrl+C and the progress line are
    // looked after between its events.
    void runSession() {
        SearchSession session(*engine_.pipeline(), *host_, printer_.get());
        host_->session = &session;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [this] {
            pump_.checkInterrupts();
            out_.flush();
            terminal_.refresh();
        });
        watch.start(kPollMilliseconds);
        // No other session shares the files: a text goes once searched.
        SessionPlan plan = engine_.plan();
        plan.keepTexts = false;
        session.start(std::move(plan));
        session_ = &session;
        QCoreApplication::exec();
        session_ = nullptr;
        host_->session = nullptr;
        summary_ = host_->summary;
    }

    bool colorWanted() const {
        return options_.color == CliOptions::Color::Always ||
               (options_.color == CliOptions::Color::Auto && isatty(STDOUT_FILENO) == 1 &&
                qEnvironmentVariable("NO_COLOR").isEmpty());
    }

    // Ctrl+C: the first stops after the current file, the second at once.
    void interrupted(int count) {
        interrupted_ = true;
        if (count == 1) {
            if (session_) session_->stopAfterCurrentFile();
            problem(
                QStringLiteral("stopping after the current file "
                               "(Ctrl+C again to stop at once)"));
        } else if (session_) {
            session_->cancel();
        }
    }

    void reportUnreadFiles() {
        if (!summary_.notes.empty() && !options_.noMessages) {
            QString report = QString::fromLatin1(kNotesHeading);
            for (const FileNote& n : summary_.notes)
                report += u'\n' + nameInReport(n.path) + otherNoteSuffix(n.note);
            terminal_.errorLine(report);
        }
        if (summary_.failures.empty() || options_.noMessages) return;
        QString report = QString::fromLatin1(kFailuresHeading);
        // A line end in a name must not make a line of the report.
        for (const FileFailure& f : summary_.failures)
            report += u'\n' + nameInReport(f.path) + failureSuffix(f.outcome);
        terminal_.errorLine(report);
    }

    void reportWeakOcrPages() {
        if (options_.noMessages) return;
        const QString report =
            weakOcrReport(summary_.weakOcrPages, QStringLiteral("\n"),
                          [](const QString& path) { return nameInReport(path); });
        if (!report.isEmpty()) terminal_.errorLine(report);
    }

    // A path that could not be listed, a file that could not be had or
    // searched. Files without text (scanned or protected) are answers.
    bool errorOccurred() const {
        if (!walkedAll_ || host_->trouble) return true;
        for (const FileFailure& f : summary_.failures)
            if (f.outcome != TextOutcome::Protected && f.outcome != TextOutcome::Unreadable)
                return true;
        return false;
    }

    bool textFileWritten() {
        try {
            ResultRows rows;
            for (const auto& [path, snippet] : printer_->kept()) rows.append(path, snippet);
            if (rows.empty()) problem(QString::fromLatin1(kNoResultsToSave));
            const fs::LostAttributes lost = writeTsv(tsv_, rows);
            if (lost.any()) problem(attributesNotKeptText(tsv_.path, lost));
            return true;
        } catch (const Error& e) {
            problem(e.description());
            return false;
        }
    }

    // Ctrl+C, or the extractions ended, makes the status 130, SIGTERM 143,
    // SIGHUP 129 (after what was found was printed); unless `ended` is
    // false, when the run ended them itself.
    int finish(int status, bool ended = true) {
        out_.flush();
        if (out_.broken()) {
            if (!out_.pipeClosed()) problem(QStringLiteral("cannot write the results"));
            status = kExitTrouble;
        } else if (ended && (extractionsEnded() || interrupted_)) {
            status = abortedStatus();
        }
        removeWorkFolder();
        return status;
    }

    const CliOptions& options_;
    Terminal terminal_;
    ConsoleBoxes boxes_;
    ConsolePump pump_;
    Services services_;
    QString extractor_;
    TsvTarget tsv_;
    SearchOptions search_;
    CliOptions withPassword_;  // with the password of --password-file
    QStringList paths_;        // files and folders as given and listed
    QString work_;             // the work folder
    QStringList files_;
    bool walkedAll_ = true;     // every folder and file below the named folders was read
    bool interrupted_ = false;  // Ctrl+C came
    std::unique_ptr<ConsoleRun> host_;
    Output out_;
    std::unique_ptr<Printer> printer_;
    SearchEngine engine_;
    SearchSession* session_ = nullptr;  // while it runs
    SearchSummary summary_;
};

int usageError(const QString& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n",
                 kName.toUtf8().constData(), error.toUtf8().constData(),
                 kName.toUtf8().constData());
    return kExitTrouble;
}

int print(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    return kExitFound;
}

bool keptTextsCleared() {
    DiskTextCache disk(DiskTextCache::defaultFolder(), QString());
    if (disk.clear()) return true;
    std::fprintf(stderr, "%s: cannot empty the folder of kept texts %s\n",
                 kName.toUtf8().constData(), disk.folder().toUtf8().constData());
    return false;
}

}  // namespace

int runCommandLine(const QStringList& arguments) {
    const ParseResult parsed = parseArguments(arguments);
    Terminal warnings(stderr, false);
    for (const QString& w : parsed.warnings) warnings.problem(w);
    if (!parsed.ok()) return usageError(parsed.error);
    const CliOptions& options = parsed.options;
    if (options.help) return print(usageText());
    if (options.version) return print(versionText() + u'\n');
    if (options.clearCache) {
        if (!keptTextsCleared()) return kExitTrouble;
        // Only that was asked for.
        if (options.paths.isEmpty() && !options.findSetMode() && options.phrase.isEmpty())
            return kExitFound;
    }
    return CommandLineSearch(options).run();
}

}  // namespace qm::cli
