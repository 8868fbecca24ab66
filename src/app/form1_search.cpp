// The search run: "Start Searching" / "Stop Searching". The run itself (list
// order, extraction, matching) is the engine's; here are the button's toggle,
// the window's progress, pointer and messages, and the rows of the results list.
#include <QCheckBox>
#include <QPushButton>
#include <cmath>

#include "app/errorreport.h"
#include "app/form1.h"
#include "app/pagecell.h"
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

// Code points of context the results view keeps on each side of a phrase:
// enough for a wide column, at a bounded cost per row.
constexpr std::size_t kContextAround = 50;

const QString kStartCaption = QStringLiteral("Start Searching");
const QString kStopCaption = QStringLiteral("Stop Searching");

}  // namespace

QString emptyFindSetMessage() {
    SearchProblem empty;
    empty.kind = SearchProblem::Kind::NothingToSearchFor;
    empty.multiple = true;
    return searchProblemText(empty);
}

int progressValue(int i, int n) {
    if (n <= 0) return 0;
    return static_cast<int>(std::floor(static_cast<double>(i) / n * 100.0));
}

QString unreadableReport(const SearchSummary& summary, bool extractorMissing) {
    QString unreadable;
    for (const FileFailure& f : summary.failures)
        if (!extractorMissing || f.outcome != TextOutcome::Protected)
            unreadable += QStringLiteral("\r\n") + f.path + failureSuffix(f.outcome);
    if (!unreadable.isEmpty())
        unreadable = QStringLiteral("\r\n") + QString::fromLatin1(kFailuresHeading) + unreadable;
    if (extractorMissing)
        unreadable.prepend(QStringLiteral("\r\n") + QString::fromLatin1(kExtractorMissingReport));
    return unreadable;
}

QString doneMessage(const SearchSummary& summary, bool extractorMissing) {
    QString report = unreadableReport(summary, extractorMissing);
    const QString weak = weakOcrReport(summary.weakOcrPages, QStringLiteral("\r\n"),
                                       [](const QString& path) { return path; });
    if (!weak.isEmpty()) report += QStringLiteral("\r\n") + weak;
    // Texts beside the pages not searched (only with "Also search comments...").
    QString notes;
    for (const FileNote& n : summary.notes)
        notes += QStringLiteral("\r\n") + n.path + otherNoteSuffix(n.note);
    if (!notes.isEmpty())
        report += QStringLiteral("\r\n") + QString::fromLatin1(kNotesHeading) + notes;
    return QStringLiteral("Done.") + report;
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

    // The session starts and the click returns: the session goes on from the
    // window's event loop. The list, the phrases and the options are taken
    // now: edits made during the run count from the next one.
    void start() {
        Procedure p(boxes(), QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
        std::vector<SearchProblem> problems;
        bool ok =
            p.step(112, [&] { problems = form_.engine().prepare(form_.searchRequest(true)); });
        for (const SearchProblem& problem : problems) {
            if (!said(p, problem)) {
                form_.PushButton7->setText(kStartCaption);
                return;
            }
        }
        if (!ok) return;
        procedure_ = std::make_unique<Procedure>(boxes(), QStringLiteral("Form1"),
                                                 QStringLiteral("PushButton7_Click"));
        Procedure& run = *procedure_;
        run.step(116, [&] { form_.PushButton7->setText(kStopCaption); });
        run.step(118, [&] {
            form_.lastSummary_.reset();
            form_.results.clear();
        });
        run.step(120, [&] { (void)form_.fileList.count(); });
        SessionPlan plan;
        run.step(122, [&] { plan = form_.engine().plan(); });
        form_.lastListed_ = static_cast<int>(plan.files.size());
        const std::shared_ptr<TextPipeline> texts = form_.engine().pipeline();
        if (!session_ || texts != texts_) {
            session_.reset();
            texts_ = texts;
            session_ = std::make_unique<SearchSession>(*texts_, *this, this);
        }
        session_->start(std::move(plan));
    }

    // Says what stands in the way; false when the search cannot go on.
    bool said(Procedure& p, const SearchProblem& problem) {
        using Kind = SearchProblem::Kind;
        switch (problem.kind) {
            case Kind::NothingToSearchFor:
                p.step(112,
                       [&] { boxes().message(searchProblemText(problem), applicationTitle()); });
                return false;
            case Kind::NoFiles:
                p.step(114,
                       [&] { boxes().message(searchProblemText(problem), applicationTitle()); });
                return false;
            case Kind::NoWorkFolder:
                boxes().message(workFolderProblem(), applicationTitle(),
                                MessageBoxes::Icon::Warning);
                return false;
            case Kind::OcrUnavailable:
                // The search goes on, its scanned pages reported unread.
                boxes().message(ocrNotAnsweringText(problem.tesseract), applicationTitle(),
                                MessageBoxes::Icon::Warning);
                return true;
            case Kind::InvalidPattern:
            case Kind::CacheFolderRefused:
            case Kind::OcrLanguagesMissing:
                boxes().message(searchProblemText(problem), applicationTitle(),
                                MessageBoxes::Icon::Warning);
                return !problem.fatal;
        }
        return !problem.fatal;
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
        form_.rememberPassword(path, answer);
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
    void patternTooComplex(const QString& path) override {
        boxes().message(patternTooComplexText(path), applicationTitle(),
                        MessageBoxes::Icon::Warning);
    }
    void readabilityFailed(const QString& description) override {
        Procedure p(boxes(), QStringLiteral("Main"), QStringLiteral("NoTextPDF"));
        p.reportAt(100, description);
    }
    void finished(const SearchSummary& summary) override {
        // The window was closed during the run: nothing more to do.
        if (!summary.ended) {
            form_.lastSummary_ = summary;
            form_.showResultsStatus();
            showEnd(summary);
        }
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
            if (!summary.stopped)
                boxes().message(doneMessage(summary, !canRun(form_.ExtractorPath)),
                                applicationTitle());
        });
        p.step(142, [&] { form_.PushButton7->setText(kStartCaption); });
        // A check that ended during the search says what it found now.
        form_.showPendingCheckReport();
    }

    // --- SearchSink: one row per occurrence ---
    SinkAnswer occurrence(const Hit& hit) override {
        const QPoint match = shownMatch(hit.snippet, hit.length);
        ResultRow row;
        row.path = hit.path;
        row.page = static_cast<int>(hit.page);
        row.phrase = hit.phraseText;
        row.matchAt = match.x();
        row.matchLength = match.y();
        // The view shows as much of the text around the phrase as it has room
        // for; the snippet is cut from that text when exported.
        const Context around = contextOf(hit.snippet, hit.length, kContextAround);
        const char* from = around.before.data();
        const std::size_t size = around.before.size() + around.match.size() + around.after.size();
        const char* snippet = hit.snippet.text.data();
        if (snippet >= from && snippet + hit.snippet.text.size() <= from + size &&
            size <= std::size_t(ContextSpans::kMaxContextBytes)) {
            const auto at = [](std::size_t bytes) { return static_cast<std::uint16_t>(bytes); };
            row.context = QByteArray(from, static_cast<qsizetype>(size));
            row.spans.snippetFrom = at(std::size_t(snippet - from));
            row.spans.snippetTo = at(std::size_t(snippet - from) + hit.snippet.text.size());
            row.spans.matchFrom = at(around.before.size());
            row.spans.matchTo = at(around.before.size() + around.match.size());
            row.spans.leadingMarker = hit.snippet.leadingMarker;
        } else {
            row.snippet = hit.snippet.toString();
        }
        if (hit.other) describeSource(row, *hit.other);
        form_.results.addRow(std::move(row));
        return SinkAnswer::More;
    }

    Form1& form_;
    std::unique_ptr<Procedure> procedure_;  // the report of the run in progress
    std::shared_ptr<TextPipeline> texts_;   // the session's pipeline, kept while it lives
    std::unique_ptr<SearchSession> session_;
};

SearchEngine& Form1::engine() {
    if (!engine_) engine_ = std::make_unique<SearchEngine>();
    return *engine_;
}

SearchRequest Form1::searchRequest(bool match) {
    SearchRequest request;
    request.match = match;
    request.options = searchOptions();
    request.files = fileList.paths();
    request.extractorPath = ExtractorPath;
    request.workFolder = workFolder();
    // Extraction on every core, keeping the texts for the window's life, and
    // on disk between sessions unless the setting "TextCache" is "False".
    const QString store =
        services_.settings ? services_.settings->getSetting(QStringLiteral("TextCache"), QString())
                           : QString();
    request.keep = store.trimmed().compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0
                       ? SearchRequest::Keep::Memory
                       : SearchRequest::Keep::MemoryAndDisk;
    request.memoryCacheBytes = kWindowTextCacheBytes;
    // Scanned pages read as the box says (never by the add-time check).
    request.readScannedPages = Check3->isEnabled() && Check3->isChecked() && !tesseract_.isEmpty();
    request.tesseract = tesseract_;
    return request;
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
