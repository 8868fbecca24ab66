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
#include "search/session.h"
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

QString doneMessage(const SearchSummary& summary) {
    QString unreadable;
    for (const FileFailure& f : summary.failures)
        unreadable += QStringLiteral("\r\n") + f.path + failureSuffix(f.outcome);
    if (!unreadable.isEmpty())
        unreadable = QStringLiteral("\r\n") + QString::fromLatin1(kFailuresHeading) + unreadable;
    return QStringLiteral("Done.") + unreadable;
}

// The window as a search session sees it, and the results list as its sink.
class FormSearch : public SessionHost, public SearchSink {
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
                // The current extraction ends at once; so does an add-time check.
                form_.stopCheck();
                if (session_) session_->cancel();
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

    bool running() const { return session_ && session_->running(); }

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

    // The session starts and the click returns: the session goes on from the
    // window's event loop.
    void start() {
        if (!inputAccepted()) return;
        procedure_ = std::make_unique<Procedure>(boxes(), QStringLiteral("Form1"),
                                                 QStringLiteral("PushButton7_Click"));
        Procedure& p = *procedure_;
        SessionPlan plan;
        p.step(116, [&] { form_.PushButton7->setText(kStopCaption); });
        p.step(118, [&] { form_.results.clear(); });
        // The list as it stands now: edits made during the run count from the next one.
        p.step(120, [&] { (void)form_.fileList.count(); });
        p.step(122, [&] { plan.files = form_.fileList.paths(); });
        plan.options = form_.searchOptions();
        plan.ocr = form_.ocrSettings();
        const std::shared_ptr<TextPipeline> texts = form_.sharedPipeline();
        if (!session_ || texts != texts_) {
            session_.reset();
            texts_ = texts;
            session_ = std::make_unique<SearchSession>(*texts_, *this, this);
        }
        session_->start(std::move(plan));
    }

    // --- SessionHost ---
    void fileBegins(int i, int n, const QString& path) override {
        procedure_->step(124, [&] { form_.setValue(progressValue(i, n)); });
        procedure_->step(
            126, [&] { form_.setText(QStringLiteral("Processing: ") + fs::fileName(path)); });
        procedure_->step(128, [&] { form_.setMousePointer(MousePointer::Busy); });
    }
    void passwordNeeded(const QString& path) override {
        const QString answer =
            boxes().password(passwordPrompt(path), QStringLiteral("Input Password"));
        if (session_) session_->providePassword(path, answer);
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
    void finished(const SearchSummary& summary) override {
        // The window was closed during the run: nothing more to do.
        if (!summary.ended) showEnd(summary);
        Q_EMIT form_.searchFinished();
    }
    void showEnd(const SearchSummary& summary) {
        Procedure& p = *procedure_;
        p.step(138, [&] {
            form_.setMousePointer(MousePointer::Default);
            form_.setValue(0);
            form_.setText(QStringLiteral("Progress Bar"));
        });
        p.step(140, [&] {
            if (!summary.stopped) boxes().message(doneMessage(summary), applicationTitle());
        });
        p.step(142, [&] { form_.PushButton7->setText(kStartCaption); });
        // A check that ended during the search says what it found now.
        form_.showPendingCheckReport();
    }

    // --- SearchSink: one row per occurrence ---
    SinkAnswer occurrence(const Hit& hit) override {
        const QPoint match = shownMatch(hit.snippet, hit.length);
        form_.results.addRow(hit.path, hit.snippet.toString(), static_cast<int>(hit.page),
                             hit.phraseText, match.x(), match.y());
        return SinkAnswer::More;
    }

    Form1& form_;
    std::unique_ptr<Procedure> procedure_;  // the report of the run in progress
    std::shared_ptr<TextPipeline> texts_;   // the session's pipeline, kept while it lives
    std::unique_ptr<SearchSession> session_;
};

TextCache& Form1::textCache() {
    if (!textCache_) textCache_ = std::make_shared<TextCache>();
    return *textCache_;
}

std::shared_ptr<TextPipeline> Form1::sharedPipeline() {
    // Extraction on every core, keeping the texts in the window's cache; the
    // searches and the add-time check share it, and so the work of a file.
    if (pipeline_ && pipeline_->extractorPath() == ExtractorPath) return pipeline_;
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
    setup.cache = &cache;
    pipeline_ = std::make_shared<TextPipeline>(std::move(setup));
    return pipeline_;
}

TextPipeline& Form1::pipeline() {
    return *sharedPipeline();
}

bool Form1::searchRunning() const {
    return search_ && search_->running();
}

void Form1::PushButton7_Click() {
    if (!search_) search_ = std::make_shared<FormSearch>(*this);
    // The click may outlive a later reset of the member; keep it alive meanwhile.
    std::shared_ptr<FormSearch> keep = search_;
    keep->click();
}

}  // namespace qm
