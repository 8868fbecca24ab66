#include "cli/clisearch.h"
#include "app/folderwalkreport.h"
#include "text/display.h"

#include <signal.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "cli/cliopts.h"
#include "cli/console.h"
#include "extraction/extractor.h"
#include "extraction/runandwait.h"
#include "extraction/textcache.h"
#include "filelist/filelist.h"
#include "filelist/folderscan.h"
#include "fs/fs.h"
#include "platform/error.h"
#include "platform/settings.h"
#include "results/exports.h"
#include "results/resultslist.h"
#include "search/parallelsource.h"
#include "search/searchrun.h"
#include "search/textsource.h"
#include "terms/findsets.h"

namespace qm::cli {

namespace {

const QString kName = QStringLiteral("quillmark-search");
// Texts kept in memory during one run with --cache (the disk keeps them all).
constexpr std::int64_t kCliMemoryCache = 64ll * 1024 * 1024;

// Standard output, written file by file. A reader that went away (a closed
// pipe) ends the search.
class Output {
  public:
    void write(const QByteArray& bytes) {
        if (broken_ || bytes.isEmpty()) return;
        if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
                static_cast<size_t>(bytes.size()) ||
            std::fflush(stdout) != 0) {
            broken_ = true;
            pipeClosed_ = errno == EPIPE;
        }
    }
    bool broken() const { return broken_; }
    bool pipeClosed() const { return pipeClosed_; }

  private:
    bool broken_ = false;
    bool pipeClosed_ = false;
};

// The search as the run sees it: the window's parts, without a window.
class ConsoleHost : public SearchHost {
  public:
    ConsoleHost(Services& services, SearchOptions options, QString extractor, QString work)
        : services_(services),
          options_(std::move(options)),
          extractor_(std::move(extractor)),
          work_(std::move(work)) {}

    Services& services() override { return services_; }
    ProgressBar& progress() override { return bar_; }
    MousePointer& pointer() override { return pointer_; }
    const FileList& files() override { return files_; }
    ResultsList& results() override { return results_; }
    SearchOptions currentOptions() override { return options_; }
    bool& stopRequested() override { return stop_; }
    QString caption() override { return caption_; }
    void setCaption(const QString& caption) override { caption_ = caption; }
    QString extractorPath() override { return extractor_; }
    QString workFolder() override { return work_; }

    FileList& fileList() { return files_; }
    ResultsList& resultsList() { return results_; }

  private:
    Services& services_;
    SearchOptions options_;
    QString extractor_;
    QString work_;
    QuietProgressBar bar_;
    QuietPointer pointer_;
    FileList files_;
    ResultsList results_;
    bool stop_ = false;
    QString caption_ = QString::fromLatin1(kStartCaption);
};

// Follows the run file by file: shows the progress as each file begins and
// prints a file's rows once the file is done (when the next one begins, or
// when the run ends).
class Reporter {
  public:
    Reporter(const CliOptions& options, ConsoleHost& host, Terminal& terminal, Output& out)
        : options_(options), host_(host), terminal_(terminal), out_(out) {}

    void begin(const FileRequest& request) {
        finish();
        current_ = request.path;
        active_ = true;
        searched_ = false;
        firstRow_ = host_.resultsList().rowCount() + 1;
        terminal_.progress(request.index - 1, host_.files().count(), fs::fileName(request.path));
    }
    void obtained(const FileText& text) {
        searched_ = text.outcome == TextOutcome::Text;
        firstRow_ = host_.resultsList().rowCount() + 1;
    }
    // The current file is done: its rows go out.
    void finish() {
        if (!active_) return;
        active_ = false;
        const ResultsList& rows = host_.resultsList();
        const int last = rows.rowCount();
        QByteArray bytes;
        switch (options_.output) {
            case OutputMode::Rows:
                for (int r = firstRow_; r <= last; ++r) {
                    bytes += text::blankControls(rows.row(r - 1).path).toUtf8();
                    bytes += '\t';
                    bytes += text::blankControls(rows.row(r - 1).snippet).toUtf8();
                    bytes += '\n';
                }
                break;
            case OutputMode::Count:
                if (searched_) {
                    bytes += text::blankControls(current_).toUtf8();
                    bytes += '\t';
                    bytes += QByteArray::number(std::max(0, last - firstRow_ + 1));
                    bytes += '\n';
                }
                break;
            case OutputMode::FilesWithMatches:
                if (last >= firstRow_) {
                    bytes += text::blankControls(current_).toUtf8();
                    bytes += '\n';
                }
                break;
        }
        if (!bytes.isEmpty()) {
            terminal_.clear();
            out_.write(bytes);
        }
        rowsFound_ += std::max(0, last - firstRow_ + 1);
        // Rows that no text file needs are not kept: a long run's memory stays flat.
        if (options_.tsvPath.isEmpty()) host_.resultsList().clear();
        if (out_.broken()) {
            // Nobody reads any more: stop now, the current extraction included.
            host_.stopRequested() = true;
            endAllExtractions();
        }
    }

    int rowsFound() const { return rowsFound_; }

  private:
    const CliOptions& options_;
    ConsoleHost& host_;
    Terminal& terminal_;
    Output& out_;
    QString current_;
    bool active_ = false;
    bool searched_ = false;
    int firstRow_ = 1;
    int rowsFound_ = 0;
};

// Any source of texts, followed by the reporter.
class ReportingSource : public TextSource {
  public:
    ReportingSource(std::shared_ptr<TextSource> inner, Reporter& reporter)
        : inner_(std::move(inner)), reporter_(reporter) {}
    FileText obtain(const FileRequest& request) override {
        reporter_.begin(request);
        FileText text = inner_->obtain(request);
        reporter_.obtained(text);
        return text;
    }
    void beginRun(const RunPlan& plan) override { inner_->beginRun(plan); }
    void endRun() override { inner_->endRun(); }

  private:
    std::shared_ptr<TextSource> inner_;
    Reporter& reporter_;
};

bool extractorUsable(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString chooseExtractor() {
    const QString override = qEnvironmentVariable(kExtractorVariable);
    return override.isEmpty() ? FindExtractor() : override;
}

// The find-set list of the command line: phrases and list files in the order given.
bool collectPhrases(const CliOptions& options, Terminal& terminal, MessageBoxes& boxes,
                    QStringList& phrases) {
    for (const PhraseSource& s : options.phraseSources) {
        if (s.kind == PhraseSource::Kind::Phrase) {
            phrases << s.text;
            continue;
        }
        if (!fs::exists(s.text) || !fs::isFile(s.text)) {
            terminal.errorLine(kName + QStringLiteral(": ") + s.text +
                               QStringLiteral(": File not found"));
            return false;
        }
        try {
            loadPhraseList(phrases, s.text, boxes);
        } catch (const Error& e) {
            terminal.errorLine(kName + QStringLiteral(": ") + e.description());
            return false;
        }
    }
    return true;
}

// The file list of the command line: a file as given, a folder with every
// matching file below it, listed as "Add All PDF File(s) In Folder" lists them.
void collectFiles(const CliOptions& options, Services& services, FileList& list) {
    const QString pattern = QStringLiteral("*.") + options.extension;
    for (const QString& path : options.paths) {
        if (!fs::isFolder(path)) {
            list.add(path);
            continue;
        }
        QString folder = path;
        while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
        QStringList folders{folder == u"/" ? folder : folder + u'/'};
        walkFolders(folders, true, services.pump, folderWalkReport(*services.boxes));
        for (const QString& entry : folders) list.add(filesToAddFromFolder(entry, pattern));
    }
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

int runSearch(const QStringList& arguments) {
    const ParseResult parsed = parseArguments(arguments);
    if (!parsed.ok()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n",
                     kName.toUtf8().constData(), parsed.error.toUtf8().constData(),
                     kName.toUtf8().constData());
        return kExitTrouble;
    }
    const CliOptions& options = parsed.options;
    if (options.help) {
        std::fputs(usageText().toUtf8().constData(), stdout);
        return kExitFound;
    }
    if (options.version) {
        std::fputs((versionText() + u'\n').toUtf8().constData(), stdout);
        return kExitFound;
    }

    Terminal terminal(stderr, !options.quiet && isatty(STDERR_FILENO) == 1);
    const QString extractor = chooseExtractor();
    if (!extractorUsable(extractor)) {
        terminal.errorLine(missingExtractorLine(extractor));
        return kExitTrouble;
    }

    ConsoleBoxes boxes(terminal);
    ConsolePump pump(terminal);
    Services services;
    services.boxes = &boxes;
    services.pump = &pump;

    SearchOptions search;
    search.caseMode = options.caseMode;
    if (options.findSetMode()) {
        search.mode = SearchMode::Multiple;
        if (!collectPhrases(options, terminal, boxes, search.findSets)) return kExitTrouble;
    } else {
        search.mode = SearchMode::Single;
        search.singlePhrase = options.phrase;
    }
    search.promptForPassword = options.hasPassword || options.askPassword;
    if (options.hasPassword) {
        const QString pw = options.password;
        boxes.answer = [pw](const QString&) { return pw; };
    } else if (options.askPassword) {
        boxes.answer = [&terminal](const QString& prompt) {
            return readPassword(prompt, terminal);
        };
    }

    const QString work = createWorkFolder();
    if (work.isEmpty()) {
        terminal.errorLine(kName +
                           QStringLiteral(": cannot make a work folder for the extracted text"));
        return kExitTrouble;
    }
    // A reader that closes the pipe is noticed by the failing write.
    signal(SIGPIPE, SIG_IGN);

    ConsoleHost host(services, search, extractor, work);
    Output out;
    Reporter reporter(options, host, terminal, out);
    pump.onInterrupt = [&](int count) {
        if (count == 1) {
            host.stopRequested() = true;
            terminal.errorLine(kName + QStringLiteral(": stopping after the current file "
                                                      "(Ctrl+C again to stop at once)"));
        } else {
            endAllExtractions();
        }
    };

    collectFiles(options, services, host.fileList());
    pump.checkInterrupts();

    // With --cache, texts are kept on disk between runs (memory holds only a few).
    std::unique_ptr<DiskTextCache> disk;
    std::unique_ptr<TextCache> cache;
    if (options.cache) {
        disk = std::make_unique<DiskTextCache>(DiskTextCache::defaultFolder(),
                                               extractorSalt(extractor));
        cache = std::make_unique<TextCache>(kCliMemoryCache);
        if (disk->usable()) cache->attachDisk(disk.get());
    }
    ParallelTextSource::Setup setup;
    setup.extractorPath = extractor;
    setup.workFolder = work;
    setup.pump = &pump;
    setup.boxes = &boxes;
    setup.jobs = options.jobs;
    setup.cache = cache.get();
    auto source = std::make_shared<ReportingSource>(
        std::make_shared<ParallelTextSource>(std::move(setup)), reporter);
    SearchRun run(host, source);
    if (!host.stopRequested() && !extractionsEnded()) run.start();
    reporter.finish();
    terminal.clear();

    const std::vector<FileFailure>& failed = run.failures();
    if (!failed.empty()) {
        QString report = QStringLiteral("The following files could not be read:");
        for (const FileFailure& f : failed) report += u'\n' + f.path + f.suffix;
        terminal.errorLine(report);
    }

    int status = reporter.rowsFound() > 0 ? kExitFound : kExitNothingFound;
    if (!options.tsvPath.isEmpty() && !out.broken()) {
        try {
            writeResultsText(host.resultsList(), options.tsvPath, services);
        } catch (const Error& e) {
            terminal.errorLine(kName + QStringLiteral(": ") + e.description());
            status = kExitTrouble;
        }
    }
    if (out.broken()) {
        if (!out.pipeClosed())
            terminal.errorLine(kName + QStringLiteral(": cannot write the results"));
        status = kExitTrouble;
    } else if (extractionsEnded()) {
        status = kExitAborted;
    }
    removeWorkFolder();
    return status;
}

}  // namespace qm::cli
