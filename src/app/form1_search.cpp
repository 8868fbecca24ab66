// The search run: "Start Searching" / "Stop Searching". The run itself (list
// order, extraction, matching) is the engine's; here are the button's toggle,
// the window's progress, pointer and messages, and the rows of the results list.
#include <QPushButton>
#include <cmath>

#include "app/errorreport.h"
#include "app/form1.h"
#include "app/resultsview.h"
#include "app/waitbar.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/run.h"
#include "search/sink.h"
#include "words/words.h"

namespace qm {

namespace {

const QString kStartCaption = QStringLiteral("Start Searching");
const QString kStopCaption = QStringLiteral("Stop Searching");

}  // namespace

QString emptyFindSetMessage() {
    return QStringLiteral(
        "The find set is empty: there is nothing to search for. Add phrases "
        "with \"+\" or \"Load\", or choose \"Search for this:\".");
}

int progressValue(int i, int n) {
    if (n <= 0) return 0;
    return static_cast<int>(std::floor(static_cast<double>(i) / n * 100.0));
}

QString doneMessage(const SearchSummary& summary, bool extractorMissing) {
    QString unreadable;
    for (const FileFailure& f : summary.failures)
        if (!extractorMissing || f.outcome != TextOutcome::Protected)
            unreadable += QStringLiteral("\r\n") + f.path + failureSuffix(f.outcome);
    if (!unreadable.isEmpty())
        unreadable = QStringLiteral("\r\n") + QString::fromLatin1(kFailuresHeading) + unreadable;
    if (extractorMissing)
        unreadable.prepend(QStringLiteral("\r\n") + QString::fromLatin1(kExtractorMissingReport));
    return QStringLiteral("Done.") + unreadable;
}

// The window as a search run sees it, and the results list as its sink.
class FormSearch : public RunHost, public SearchSink {
  public:
    explicit FormSearch(Form1& form) : form_(form) {}

    // PushButton7's click.
    void click() {
        Procedure p(boxes(), QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
        bool stopClick = false;
        p.step(100, [&] { form_.StopRequested = false; });
        p.step(102, [&] { stopClick = form_.PushButton7->text() == kStopCaption; });
        if (stopClick) {
            p.step(104, [&] {
                form_.StopRequested = true;
                if (active_) abandoned_ = true;
                restartPending_ = false;
            });
            p.step(106, [&] { form_.setMousePointer(MousePointer::Default); });
            p.step(108, [&] {
                form_.setValue(0);
                form_.setText(QStringLiteral("Progress Bar"));
            });
            p.step(110, [&] { form_.PushButton7->setText(kStartCaption); });
            return;
        }
        start();
    }

  private:
    MessageBoxes& boxes() { return *form_.services().boxes; }

    bool inputAccepted() {
        Procedure p(boxes(), QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
        bool ok = true;
        p.step(112, [&] {
            const SearchOptions o = form_.searchOptions();
            if (o.mode == SearchMode::Single && isBlankPhrase(o.singlePhrase)) {
                ok = false;
                boxes().message(QStringLiteral("You forgot to input search text"),
                                applicationTitle());
                form_.PushButton7->setText(kStartCaption);
            } else if (o.mode == SearchMode::Multiple && o.phrases().isEmpty()) {
                ok = false;
                boxes().message(emptyFindSetMessage(), applicationTitle());
                form_.PushButton7->setText(kStartCaption);
            }
        });
        if (!ok) return false;
        p.step(114, [&] {
            if (form_.fileList.count() == 0) {
                ok = false;
                boxes().message(QStringLiteral("No files added."), applicationTitle());
                form_.PushButton7->setText(kStartCaption);
            }
        });
        if (!ok) return false;
        if (workFolder().isEmpty()) {
            boxes().message(workFolderProblem(), applicationTitle(), MessageBoxes::Icon::Warning);
            form_.PushButton7->setText(kStartCaption);
            return false;
        }
        return ok;
    }

    void start() {
        if (!inputAccepted()) return;
        if (active_) {
            // A run that was asked to stop is still finishing its current file:
            // the new run begins as soon as it has, and shows itself running now.
            restartPending_ = true;
            form_.PushButton7->setText(kStopCaption);
            return;
        }
        active_ = true;
        do {
            restartPending_ = false;
            abandoned_ = false;
            runFiles();
        } while (restartPending_ && !extractionsEnded());
        active_ = false;
    }

    void runFiles() {
        Procedure p(boxes(), QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
        procedure_ = &p;
        p.step(116, [&] { form_.PushButton7->setText(kStopCaption); });
        p.step(118, [&] { form_.results.clear(); });
        p.step(120, [&] { (void)form_.fileList.count(); });
        const SearchSummary summary = runSearch(form_.pipeline(), *this, *this);
        procedure_ = nullptr;
        // The window was closed during the run: nothing more to do.
        if (summary.ended) return;

        p.step(138, [&] {
            form_.setMousePointer(MousePointer::Default);
            form_.setValue(0);
            form_.setText(QStringLiteral("Progress Bar"));
        });
        p.step(140, [&] {
            if (!form_.StopRequested && !abandoned_)
                boxes().message(doneMessage(summary, !canRun(form_.ExtractorPath)),
                                applicationTitle());
        });
        p.step(142, [&] {
            if (!restartPending_) form_.PushButton7->setText(kStartCaption);
        });
    }

    // --- RunHost ---
    int fileCount() override { return form_.fileList.count(); }
    QString fileAt(int position) override {
        QString path;
        procedure_->step(122, [&] { path = form_.fileList.text(position); });
        return path;
    }
    SearchOptions options() override { return form_.searchOptions(); }
    void fileBegins(int i, int n, const QString& path) override {
        procedure_->step(124, [&] { form_.setValue(progressValue(i, n)); });
        procedure_->step(
            126, [&] { form_.setText(QStringLiteral("Processing: ") + fs::fileName(path)); });
        procedure_->step(128, [&] {
            if (EventPump* pump = form_.services().pump) pump->pump();
            form_.setMousePointer(MousePointer::Busy);
        });
    }
    bool stopRequested() override { return form_.StopRequested || abandoned_; }
    // A stop click ends the current file's extraction at once.
    bool stopEndsCurrentFile() override { return true; }
    QString password(const QString& path) override {
        return boxes().password(passwordPrompt(path), QStringLiteral("Input Password"));
    }
    WaitWatch waitWatch(int, int, const QString& path) override {
        ProgressBar& bar = form_.progressBar();
        return WaitBar{&bar, bar.text(), bar.value(), form_.fileList.count()}.watch(
            [name = fs::fileName(path)](int page, int pages) {
                return QStringLiteral("Reading page %1 of %2 (OCR): ").arg(page).arg(pages) + name;
            });
    }
    void fileSearched(const QString&) override {
        procedure_->step(134, [&] { form_.results.publish(); });
    }
    void stageFailed(RunStage stage, const QString& description) override {
        procedure_->reportAt(stage == RunStage::Extraction ? 130 : 132, description);
    }
    void readabilityFailed(const QString& description) override {
        Procedure p(boxes(), QStringLiteral("Main"), QStringLiteral("NoTextPDF"));
        p.reportAt(100, description);
    }

    // --- SearchSink: one row per occurrence ---
    SinkAnswer occurrence(const Hit& hit) override {
        const QPoint match = shownMatch(hit.snippet, hit.length);
        form_.results.addRow(hit.path, hit.snippet.toString(), static_cast<int>(hit.page),
                             hit.phraseText, match.x(), match.y());
        return SinkAnswer::More;
    }

    Form1& form_;
    Procedure* procedure_ = nullptr;  // the report of the run in progress
    bool active_ = false;
    bool abandoned_ = false;       // the active run was asked to stop
    bool restartPending_ = false;  // a start click came while a stopped run finished
};

TextCache& Form1::textCache() {
    if (!textCache_) textCache_ = std::make_shared<TextCache>();
    return *textCache_;
}

std::shared_ptr<TextPipeline> Form1::makePipeline(const QString& workerFolderPrefix,
                                                  const OcrSettings& ocr) {
    TextCache& cache = textCache();
    const QString store =
        services_.settings ? services_.settings->getSetting(QStringLiteral("TextCache"), QString())
                           : QString();
    const bool onDisk = store.trimmed().compare(QStringLiteral("False"), Qt::CaseInsensitive) != 0;
    const QString salt = extractorSalt(ExtractorPath);
    if (!onDisk || ExtractorPath.isEmpty()) {
        cache.attachDisk(nullptr);
        diskCache_.reset();
    } else if (!diskCache_ || diskSalt_ != salt) {
        cache.attachDisk(nullptr);
        diskCache_ = std::make_shared<DiskTextCache>(DiskTextCache::defaultFolder(), salt);
        diskSalt_ = salt;
        if (diskCache_->usable())
            cache.attachDisk(diskCache_.get());
        else if (services_.boxes)
            services_.boxes->message(
                cacheFolderRefusedText(diskCache_->folder(), diskCache_->refusal(),
                                       diskCache_->refusalError()),
                applicationTitle(), MessageBoxes::Icon::Warning);
    }
    TextPipeline::Setup setup;
    setup.extractorPath = ExtractorPath;
    setup.workFolder = workFolder();
    setup.pump = services_.pump;
    setup.cache = &cache;
    setup.workerFolderPrefix = workerFolderPrefix;
    setup.ocr = ocr;
    return std::make_shared<TextPipeline>(std::move(setup));
}

TextPipeline& Form1::pipeline() {
    // Extraction on every core, keeping the texts in the window's cache;
    // scanned pages read as the box says.
    const OcrSettings ocr = ocrSettings();
    if (!pipeline_ || pipeline_->extractorPath() != ExtractorPath ||
        pipeline_->ocrReading() != ocr.cacheTag())
        pipeline_ = makePipeline(QStringLiteral("ex"), ocr);
    return *pipeline_;
}

TextPipeline& Form1::checkPipeline() {
    if (!checkPipeline_ || checkPipeline_->extractorPath() != ExtractorPath)
        checkPipeline_ = makePipeline(QStringLiteral("ck"));
    return *checkPipeline_;
}

void Form1::PushButton7_Click() {
    if (!search_) search_ = std::make_shared<FormSearch>(*this);
    // The run may outlive a later reset of the member; keep it alive meanwhile.
    std::shared_ptr<FormSearch> keep = search_;
    keep->click();
}

}  // namespace qm
