#include "cli/clisearch.h"
#include "text/display.h"

#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "cli/cliopts.h"
#include "cli/console.h"
#include "cli/tsvtarget.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "filelist/folderscan.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "results/resultrows.h"
#include "search/run.h"
#include "search/sink.h"
#include "terms/findsets.h"
#include "text/error.h"
#include "text/textfile.h"
#include "words/words.h"

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

// A JSON string: quotes, backslashes and control characters escaped.
void appendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

constexpr const char* kHighlightOn = "\033[01;31m";
constexpr const char* kHighlightOff = "\033[m";

// The snippet of a row as a line shows it: control characters as blanks, and
// with `color` the occurrence (as far as the snippet shows it) highlighted.
QByteArray displaySnippet(const Hit& hit, bool color) {
    const Snippet& s = hit.snippet;
    if (!color) return text::blankControls(s.toString()).toUtf8();
    const auto part = [&](std::size_t from, std::size_t to) {
        return text::blankControls(
                   QString::fromUtf8(s.text.data() + from, static_cast<qsizetype>(to - from)))
            .toUtf8();
    };
    const std::size_t a = std::min(s.matchAt, s.text.size());
    const std::size_t b = std::min(a + hit.length, s.text.size());
    QByteArray out;
    if (s.leadingMarker) out += kSnippetMarker.data();
    out += part(0, a);
    out += kHighlightOn;
    out += part(a, b);
    out += kHighlightOff;
    out += part(b, s.text.size());
    out += kSnippetMarker.data();
    return out;
}

// Prints what a run finds, file by file, in the form the options ask for:
// rows (path, TAB, [page, TAB,] snippet), counts per searched file, or the
// names of the files with matches; as plain lines or JSON objects. With a
// text file to write, the rows are kept for it.
class Printer : public SearchSink {
  public:
    // `quiet`: the text file goes to standard output, so nothing else does.
    Printer(const CliOptions& options, Terminal& terminal, Output& out, bool quiet, bool color)
        : options_(options),
          terminal_(terminal),
          out_(out),
          quiet_(quiet),
          color_(color && !options.json) {}

    void beginFile(const QString&) override { rows_ = 0; }

    void occurrence(const Hit& hit) override {
        // -m: the rest of the file is left out everywhere.
        if (options_.maxCount > 0 && rows_ >= static_cast<std::size_t>(options_.maxCount)) return;
        ++rows_;
        if (options_.output == OutputMode::Rows && !quiet_) {
            if (options_.json) {
                pending_ += "{\"path\":";
                appendJsonString(pending_, hit.path);
                pending_ += ",\"page\":" + QByteArray::number(static_cast<qulonglong>(hit.page));
                pending_ += ",\"phrase\":";
                appendJsonString(pending_, hit.phraseText);
                pending_ += ",\"snippet\":";
                appendJsonString(pending_, hit.snippet.toString());
                pending_ += "}\n";
            } else {
                appendPath(hit.path, '\t');
                if (options_.pageNumbers) {
                    pending_ += QByteArray::number(static_cast<qulonglong>(hit.page));
                    pending_ += '\t';
                }
                pending_ += displaySnippet(hit, color_);
                pending_ += '\n';
            }
        }
        if (!options_.tsvPath.isEmpty()) kept_.push_back({hit.path, hit.snippet.toString()});
    }

    void endFile(const QString& path, std::size_t) override {
        if (quiet_) return;
        switch (options_.output) {
            case OutputMode::Rows:
                break;
            case OutputMode::Count:
                if (options_.json) {
                    pending_ += "{\"path\":";
                    appendJsonString(pending_, path);
                    pending_ += ",\"count\":" + QByteArray::number(static_cast<qulonglong>(rows_));
                    pending_ += "}\n";
                } else {
                    appendPath(path, '\t');
                    pending_ += QByteArray::number(static_cast<qulonglong>(rows_));
                    pending_ += '\n';
                }
                break;
            case OutputMode::FilesWithMatches:
                if (rows_ > 0) {
                    if (options_.json) {
                        pending_ += "{\"path\":";
                        appendJsonString(pending_, path);
                        pending_ += "}\n";
                    } else {
                        appendPath(path, '\n');
                    }
                }
                break;
        }
        if (!pending_.isEmpty()) {
            terminal_.clear();
            out_.write(pending_);
            pending_.clear();
        }
    }

    // The rows kept for the text file, in the order found.
    const std::vector<std::pair<QString, QString>>& kept() const { return kept_; }

  private:
    // The path and what follows it; with -0 the path as it is and a NUL instead.
    void appendPath(const QString& path, char after) {
        if (options_.nullAfterPath) {
            pending_ += path.toUtf8();
            pending_ += '\0';
        } else {
            pending_ += text::blankControls(path).toUtf8();
            pending_ += after;
        }
    }

    const CliOptions& options_;
    Terminal& terminal_;
    Output& out_;
    bool quiet_ = false;
    bool color_;
    std::size_t rows_ = 0;  // rows of the current file
    QByteArray pending_;
    std::vector<std::pair<QString, QString>> kept_;
};

// The paths of --files-from: one a line (a CR before the LF is dropped), or
// NUL-separated with -0; empty entries are skipped. False when a file cannot be read.
bool readFilesFrom(const CliOptions& options, QStringList& paths, Terminal& terminal) {
    for (const QString& name : options.filesFrom) {
        QFile f;
        const bool open = name == u"-" ? f.open(stdin, QIODevice::ReadOnly)
                                       : (f.setFileName(name), f.open(QIODevice::ReadOnly));
        if (!open) {
            terminal.errorLine(kName + QStringLiteral(": ") + name +
                               QStringLiteral(": cannot read the list of paths"));
            return false;
        }
        const QByteArray all = f.readAll();
        for (QByteArray entry : all.split(options.nullAfterPath ? '\0' : '\n')) {
            if (!options.nullAfterPath && entry.endsWith('\r')) entry.chop(1);
            if (!entry.isEmpty()) paths << QString::fromUtf8(entry);
        }
    }
    return true;
}

// The run's questions, answered from the command line.
class ConsoleRun : public RunHost {
  public:
    ConsoleRun(const CliOptions& cli, SearchOptions options, const QStringList& files,
               Terminal& terminal, Output& out)
        : cli_(cli), options_(std::move(options)), files_(files), terminal_(terminal), out_(out) {}

    int fileCount() override { return static_cast<int>(files_.size()); }
    QString fileAt(int position) override { return files_.at(position - 1); }
    SearchOptions options() override { return options_; }
    void fileBegins(int i, int n, const QString& path) override {
        terminal_.progress(i - 1, n, fs::fileName(path));
    }
    bool stopRequested() override { return stop; }
    QString password(const QString& path) override {
        if (cli_.hasPassword) return cli_.password;
        return readPassword(passwordPrompt(path), terminal_);
    }
    void fileSearched(const QString&) override {
        if (out_.broken()) {
            // Nobody reads any more: stop now, the current extraction included.
            stop = true;
            endAllExtractions();
        }
    }
    void stageFailed(RunStage, const QString& description) override {
        terminal_.errorLine(kName + QStringLiteral(": ") + description);
    }
    void readabilityFailed(const QString& description) override {
        terminal_.errorLine(kName + QStringLiteral(": ") + description);
    }

    bool stop = false;

  private:
    const CliOptions& cli_;
    SearchOptions options_;
    const QStringList& files_;
    Terminal& terminal_;
    Output& out_;
};

bool extractorUsable(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString chooseExtractor() {
    const QString override = qEnvironmentVariable(kExtractorVariable);
    return override.isEmpty() ? findExtractor() : override;
}

QString chooseQpdf() {
    const QString override = qEnvironmentVariable(kQpdfVariable);
    return override.isEmpty() ? findQpdf() : override;
}

// The first line of a password file (without its line end). False, with a
// message, when it cannot be read.
bool readPasswordFile(const QString& path, Terminal& terminal, QString& password) {
    constexpr std::int64_t kMaxPasswordFile = 64 * 1024;
    try {
        if (!fs::isFile(path)) throw Error(QStringLiteral("File not found: ") + path);
        const QStringList lines = readFileLines(
            path, kMaxPasswordFile, QStringLiteral("The password file is too large: ") + path);
        password = lines.isEmpty() ? QString() : lines.first();
        return true;
    } catch (const Error& e) {
        terminal.errorLine(kName + QStringLiteral(": ") + e.description());
        return false;
    }
}

// "-f -": the list read from standard input, by the rules of a list file.
void readPhrasesFromStandardInput(QStringList& phrases) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return;
    // No more than a list file may hold: input without end is refused, not read on.
    // A pipe hands its bytes over in pieces as they are written: read to the end.
    QByteArray bytes;
    while (bytes.size() <= kMaxListFileBytes) {
        const QByteArray more = in.read(kMaxListFileBytes + 1 - bytes.size());
        if (more.isEmpty()) break;  // the end, or nothing more can be read
        bytes += more;
    }
    if (bytes.size() > kMaxListFileBytes) throw Error(findSetsFullMessage());
    appendPhraseLines(phrases, splitLines(decodeToUtf8(bytes.toStdString())));
}

// The find-set list of the command line: phrases and list files in the order given.
bool collectPhrases(const CliOptions& options, Terminal& terminal, MessageBoxes& boxes,
                    QStringList& phrases) {
    for (const PhraseSource& s : options.phraseSources) {
        if (s.kind == PhraseSource::Kind::Phrase) {
            phrases << s.text;
            continue;
        }
        if (s.text == u"-") {
            try {
                readPhrasesFromStandardInput(phrases);
            } catch (const Error& e) {
                terminal.errorLine(kName + QStringLiteral(": ") + e.description());
                return false;
            }
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
void collectFiles(const CliOptions& options, const QStringList& paths, Services& services,
                  Terminal& terminal, QStringList& list) {
    const QString pattern = QStringLiteral("*.") + options.extension;
    for (const QString& path : paths) {
        if (!fs::isFolder(path)) {
            list << path;
            continue;
        }
        QString folder = path;
        while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
        QStringList folders{folder == u"/" ? folder : folder + u'/'};
        walkFolders(folders, true, services.pump, [&](FolderWalkStage, const QString& description) {
            terminal.errorLine(kName + QStringLiteral(": ") + description);
        });
        for (const QString& entry : folders) list << filesToAddFromFolder(entry, pattern);
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
    if (options.clearCache) {
        DiskTextCache disk(DiskTextCache::defaultFolder(), QString());
        if (!disk.clear()) {
            std::fprintf(stderr, "%s: cannot empty the folder of kept texts %s\n",
                         kName.toUtf8().constData(), disk.folder().toUtf8().constData());
            return kExitTrouble;
        }
        // Only that was asked for.
        if (options.paths.isEmpty() && !options.findSetMode() && options.phrase.isEmpty())
            return kExitFound;
    }

    Terminal terminal(stderr, !options.quiet && isatty(STDERR_FILENO) == 1);
    const QString extractor = chooseExtractor();
    if (!extractorUsable(extractor)) {
        terminal.errorLine(missingExtractorLine(extractor));
        return kExitTrouble;
    }

    // The text file's target is checked before anything is searched.
    TsvTarget tsv;
    if (!options.tsvPath.isEmpty()) {
        const QString problem = prepareTsvTarget(options.tsvPath, tsv);
        if (!problem.isEmpty()) {
            terminal.errorLine(kName + QStringLiteral(": ") + problem);
            return kExitTrouble;
        }
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
    search.promptForPassword =
        options.hasPassword || options.askPassword || !options.passwordFile.isEmpty();
    CliOptions withPassword = options;
    if (!options.passwordFile.isEmpty()) {
        if (!readPasswordFile(options.passwordFile, terminal, withPassword.password))
            return kExitTrouble;
        withPassword.hasPassword = true;
    }
    search.loose = options.loose;
    QStringList paths = options.paths;
    if (!readFilesFrom(options, paths, terminal)) return kExitTrouble;

    // Work folders that ended runs left behind go first.
    removeStaleWorkFolders();
    const QString work = createWorkFolder();
    if (work.isEmpty()) {
        terminal.errorLine(kName + QStringLiteral(": ") + workFolderProblem());
        return kExitTrouble;
    }
    // A reader that closes the pipe is noticed by the failing write.
    signal(SIGPIPE, SIG_IGN);

    QStringList files;
    Output out;
    ConsoleRun host(withPassword, search, files, terminal, out);
    const bool color = options.color == CliOptions::Color::Always ||
                       (options.color == CliOptions::Color::Auto && isatty(STDOUT_FILENO) == 1 &&
                        qEnvironmentVariable("NO_COLOR").isEmpty());
    Printer printer(options, terminal, out, !options.tsvPath.isEmpty() && tsv.isStandardOutput(),
                    color);
    pump.onInterrupt = [&](int count) {
        if (count == 1) {
            host.stop = true;
            terminal.errorLine(kName + QStringLiteral(": stopping after the current file "
                                                      "(Ctrl+C again to stop at once)"));
        } else {
            endAllExtractions();
        }
    };

    collectFiles(options, paths, services, terminal, files);
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
    TextPipeline::Setup setup;
    setup.extractorPath = extractor;
    setup.workFolder = work;
    setup.pump = &pump;
    setup.jobs = options.jobs;
    setup.cache = cache.get();
    setup.timeLimitSeconds = options.timeoutSeconds;
    setup.qpdfPath = chooseQpdf();
    TextPipeline pipeline(std::move(setup));
    SearchSummary summary;
    if (search.mode == SearchMode::Single && QString(search.singlePhrase).remove(u' ').isEmpty())
        terminal.errorLine(kName + QStringLiteral(": You forgot to input search text"));
    else if (files.isEmpty())
        terminal.errorLine(kName + QStringLiteral(": No files added."));
    else if (!host.stop && !extractionsEnded())
        summary = runSearch(pipeline, host, printer);
    terminal.clear();

    if (!summary.failures.empty()) {
        QString report = QString::fromLatin1(kFailuresHeading);
        for (const FileFailure& f : summary.failures)
            report += u'\n' + f.path + failureSuffix(f.outcome);
        terminal.errorLine(report);
    }

    int status = summary.occurrences > 0 ? kExitFound : kExitNothingFound;
    if (!options.tsvPath.isEmpty() && !out.broken()) {
        try {
            ResultRows rows;
            for (const auto& [path, snippet] : printer.kept()) rows.append(path, snippet);
            if (rows.empty())
                terminal.errorLine(kName + QStringLiteral(": ") +
                                   QString::fromLatin1(kNoResultsToSave));
            writeTsv(tsv, rows);
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
