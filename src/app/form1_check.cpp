// The add-time check: after every addition to the file list, every listed file
// is extracted (texts kept from before cost nothing) and the files whose text
// is shorter than 10 bytes are reported in one message.
#include <utility>
#include "app/errorreport.h"
#include "app/form1.h"
#include "app/waitbar.h"
#include "extraction/pipeline.h"
#include "extraction/readability.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/session.h"
#include "words/words.h"

namespace qm {

QString checkReportText(const QString& reportedPaths) {
    return QStringLiteral("These files could not be read:\r\n\r\n") + reportedPaths +
           QStringLiteral(
               "\r\nThis program will extract text from a PDF but this program will not extract "
               "text within an image within a PDF.\r\n\r\nEmail ") +
           supportEmail() + QStringLiteral(" if you have any questions.");
}

// The add-time check as a session that reads every listed file's text and
// matches nothing. It shares the search's pipeline: a file one of them is
// extracting is awaited by the other, never extracted twice. While a search
// runs the bar and the pointer are the search's, and the report waits for its end.
class FormCheck : public SessionHost {
  public:
    explicit FormCheck(Form1& form) : form_(form) {}

    void start() {
        MessageBoxes& boxes = *form_.services().boxes;
        // The check begun before goes once this one has taken over its work.
        std::unique_ptr<SearchSession> before = std::move(session_);
        procedure_ = std::make_unique<Procedure>(boxes, QStringLiteral("Check"),
                                                 QStringLiteral("CheckByCodeNotPreviewTextbox"));
        Procedure& p = *procedure_;
        report_.clear();
        p.step(100, [&] {
            if (!form_.searchRunning()) form_.setMousePointer(MousePointer::Busy);
        });
        std::vector<SearchProblem> problems;
        p.step(102, [&] { problems = form_.engine().prepare(form_.searchRequest(false)); });
        for (const SearchProblem& problem : problems) {
            // Nothing listed, or no work folder: nothing to check.
            if (problem.fatal) {
                if (before) before.release()->abandonLater();
                finished(SearchSummary());
                return;
            }
            boxes.message(searchProblemText(problem), applicationTitle(),
                          MessageBoxes::Icon::Warning);
        }
        SessionPlan plan = form_.engine().plan();
        count_ = static_cast<int>(plan.files.size());
        std::shared_ptr<TextPipeline> texts = form_.engine().pipeline();
        texts_ = texts;
        session_ = std::make_unique<SearchSession>(*texts_, *this, nullptr);
        session_->start(std::move(plan));
        // Taken over: it ends without a word.
        if (before) before.release()->abandonLater();
    }
    void stop() {
        if (session_) session_->cancel();
    }
    bool running() const { return session_ && session_->running(); }

  private:
    bool showing() const { return !form_.searchRunning(); }

    void fileBegins(int i, int n, const QString& path) override {
        procedure_->step(104, [&] { path_ = path; });
        procedure_->step(106, [&] {
            if (!showing()) return;
            form_.setValue(progressValue(i - 1, n));
            form_.setText(QStringLiteral("Checking: ") + fs::fileName(path) + QStringLiteral(" (") +
                          QString::number(i) + QStringLiteral(" of ") + QString::number(n) + u')');
        });
    }
    WaitWatch waitWatch(int, int, const QString&) override {
        if (!showing()) return {};
        return WaitBar{&form_.progressBar(), form_.text(), form_.value(), count_}.watch();
    }
    void fileRead(int, const QString& path, const FileText& text) override {
        procedure_->step(108, [] {});
        procedure_->step(110, [&] {
            if (lowSize(text.textFileSize) < kCheckMinimumSize) {
                report_ += path;
                // A file without text for a reason the check alone would not
                // explain (protected, damaged, failed, ended) says why; without
                // an extractor (start-up said so) every file is listed bare.
                const TextOutcome o = text.outcome;
                const bool noExtractor = form_.ExtractorPath.isEmpty();
                if (isFailure(o) && o != TextOutcome::Unreadable && o != TextOutcome::NotCopied &&
                    !(o == TextOutcome::Protected && noExtractor))
                    report_ += failureSuffix(o);
                report_ += QStringLiteral("\r\n");
            }
        });
    }
    void stageFailed(RunStage, const QString& description) override {
        procedure_->reportAt(108, description);
    }
    void readabilityFailed(const QString&) override {}
    void patternTooComplex(const QString&) override {}
    void finished(const SearchSummary& summary) override {
        // The window is closing: nothing more to say.
        if (!summary.ended) showEnd();
        Q_EMIT form_.checkFinished();
    }
    void showEnd() {
        Procedure& p = *procedure_;
        p.step(114, [&] {
            if (!showing()) return;
            form_.setMousePointer(MousePointer::Default);
            form_.setValue(0);
            form_.setText(QStringLiteral("Progress Bar"));
        });
        p.step(116, [&] {
            if (report_.isEmpty()) return;
            if (showing())
                form_.services().boxes->message(checkReportText(report_), applicationTitle());
            else
                form_.pendingCheckReport_ = report_;
        });
    }

    Form1& form_;
    std::unique_ptr<Procedure> procedure_;
    std::shared_ptr<TextPipeline> texts_;
    std::unique_ptr<SearchSession> session_;
    QString report_;
    QString path_;
    int count_ = 0;
};

void Form1::runAddTimeCheck() {
    // Without a work folder nothing can be extracted; start-up said why.
    if (workFolder().isEmpty()) return;
    if (!check_) check_ = std::make_shared<FormCheck>(*this);
    check_->start();
}

void Form1::stopCheck() {
    if (check_) check_->stop();
}

bool Form1::checkRunning() const {
    return check_ && check_->running();
}

void Form1::showPendingCheckReport() {
    if (pendingCheckReport_.isEmpty()) return;
    const QString report = std::exchange(pendingCheckReport_, QString());
    services_.boxes->message(checkReportText(report), applicationTitle());
}

}  // namespace qm
