#include "cli/clisearch.h"

#include <signal.h>
#include <unistd.h>

#include <QFileInfo>
#include <cstdio>
#include <memory>

#include "cli/cliopts.h"
#include "cli/console.h"
#include "cli/inputs.h"
#include "cli/ocroption.h"
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
#include "search/run.h"
#include "search/sink.h"
#include "text/display.h"
#include "text/error.h"
#include "words/words.h"

namespace qm::cli {

namespace {

const QString kName = QString::fromLatin1(kProgramName);
// Texts kept in memory during one run with --cache (the disk keeps them all).
constexpr std::int64_t kCliMemoryCache = 64ll * 1024 * 1024;

// The run's questions, answered from the command line.
class ConsoleRun : public RunHost {
  public:
    ConsoleRun(const CliOptions& cli, SearchOptions options, const QStringList& files,
               Terminal& terminal, Output& out, const Printer& printer)
        : cli_(cli),
          options_(std::move(options)),
          files_(files),
          terminal_(terminal),
          out_(out),
          printer_(printer) {}

    int fileCount() override { return static_cast<int>(files_.size()); }
    QString fileAt(int position) override { return files_.at(position - 1); }
    SearchOptions options() override { return options_; }
    void fileBegins(int i, int n, const QString& path) override {
        terminal_.progress(i - 1, n, fs::fileName(path));
    }
    bool stopRequested() override { return stop; }
    WaitWatch waitWatch(int, int, const QString&) override {
        return {[this](int, int page, int pages) { terminal_.reading(page, pages); }, {}};
    }
    QString password(const QString& path) override {
        if (cli_.hasPassword) return cli_.password;
        // The name on one line, as every name on the terminal.
        return readPassword(passwordPrompt(text::displayText(path)), terminal_);
    }
    void fileSearched(const QString&) override {
        // -q: the first match answers the question.
        if (out_.broken() || (cli_.quiet && printer_.anyRow())) {
            // Nobody reads any more: stop now, the current extraction included.
            stop = true;
            endAllExtractions();
        }
    }
    void stageFailed(RunStage, const QString& description) override {
        trouble = true;
        if (!cli_.noMessages) terminal_.problem(description);
    }
    void readabilityFailed(const QString& description) override {
        if (!cli_.noMessages) terminal_.problem(description);
    }

    bool stop = false;
    bool trouble = false;  // a file's search failed

  private:
    const CliOptions& cli_;
    SearchOptions options_;
    const QStringList& files_;
    Terminal& terminal_;
    Output& out_;
    const Printer& printer_;
};

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
    }

    int run() {
        if (!extractorFound() || !textFileTargetUsable() || !searchGathered() || !workFolderMade())
            return kExitTrouble;
        if (!ocrReady()) return finish(kExitTrouble);
        searchFiles();
        reportUnreadFiles();
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

    // --ocr: tesseract asked for its version and languages, the languages checked.
    bool ocrReady() {
        const QString trouble = setUpOcr(options_, work_, ocr_);
        if (!trouble.isEmpty()) problem(trouble);
        return trouble.isEmpty();
    }

    void searchFiles() {
        // A reader that closes the pipe is noticed by the failing write.
        signal(SIGPIPE, SIG_IGN);
        printer_ =
            makePrinter({options_, terminal_, out_,
                         options_.quiet || (!options_.tsvPath.isEmpty() && tsv_.isStandardOutput()),
                         colorWanted() && !options_.json});
        host_ = std::make_unique<ConsoleRun>(withPassword_, search_, files_, terminal_, out_,
                                             *printer_);
        pump_.onInterrupt = [this](int count) { interrupted(count); };
        walkedAll_ = collectFiles(options_, paths_, services_, terminal_, files_);
        pump_.checkInterrupts();
        pipeline_ = std::make_unique<TextPipeline>(pipelineSetup());
        if (search_.mode == SearchMode::Single && isBlankPhrase(search_.singlePhrase))
            problem(QStringLiteral("You forgot to input search text"));
        else if (files_.isEmpty())
            problem(QStringLiteral("No files added."));
        else if (!host_->stop && !extractionsEnded())
            summary_ = runSearch(*pipeline_, *host_, *printer_);
        terminal_.clear();
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
            host_->stop = true;
            problem(
                QStringLiteral("stopping after the current file "
                               "(Ctrl+C again to stop at once)"));
        } else {
            endAllExtractions();
        }
    }

    TextPipeline::Setup pipelineSetup() {
        // With --cache, texts are kept on disk between runs (memory holds only a few).
        if (options_.cache) {
            disk_ = std::make_unique<DiskTextCache>(DiskTextCache::defaultFolder(),
                                                    extractorSalt(extractor_));
            cache_ = std::make_unique<TextCache>(kCliMemoryCache);
            if (disk_->usable())
                cache_->attachDisk(disk_.get());
            else
                problem(cacheFolderRefusedText(disk_->folder(), disk_->refusal(),
                                               disk_->refusalError()));
        }
        TextPipeline::Setup setup;
        setup.extractorPath = extractor_;
        setup.workFolder = work_;
        setup.pump = &pump_;
        setup.jobs = options_.jobs;
        setup.cache = cache_.get();
        setup.timeLimitSeconds = options_.timeoutSeconds;
        setup.qpdfPath = chooseQpdf();
        setup.ocr = ocr_;
        return setup;
    }

    void reportUnreadFiles() {
        if (summary_.failures.empty() || options_.noMessages) return;
        QString report = QString::fromLatin1(kFailuresHeading);
        // A line end in a name must not make a line of the report.
        for (const FileFailure& f : summary_.failures)
            report += u'\n' + text::displayText(f.path) + failureSuffix(f.outcome);
        terminal_.errorLine(report);
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

    // Ctrl+C, or the extractions ended, makes the status 130 (after what
    // was found was printed); unless `ended` is false, when the run ended
    // them itself.
    int finish(int status, bool ended = true) {
        if (out_.broken()) {
            if (!out_.pipeClosed()) problem(QStringLiteral("cannot write the results"));
            status = kExitTrouble;
        } else if (ended && (extractionsEnded() || interrupted_)) {
            status = kExitAborted;
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
    OcrSettings ocr_;          // how scanned pages are read (--ocr)
    QStringList files_;
    bool walkedAll_ = true;     // every folder and file below the named folders was read
    bool interrupted_ = false;  // Ctrl+C came
    std::unique_ptr<ConsoleRun> host_;
    Output out_;
    std::unique_ptr<Printer> printer_;
    std::unique_ptr<DiskTextCache> disk_;
    std::unique_ptr<TextCache> cache_;
    std::unique_ptr<TextPipeline> pipeline_;
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
