#include "search/session.h"

#include <QPointer>
#include <algorithm>

#include "extraction/ocrtext.h"
#include "extraction/pipeline.h"
#include "fs/fs.h"
#include "search/othersearch.h"
#include "search/regexsearch.h"
#include "search/searchahead.h"
#include "search/sink.h"
#include "text/error.h"

namespace qm {

namespace {

// Hands a file's occurrences on to `sink`, each marked when its page was read
// by OCR (`pages`, in order); with no such page, `sink` itself takes them.
class OcrMarks : public SearchSink {
  public:
    OcrMarks(SearchSink& sink, const FileText& text)
        : sink_(sink), pages_(text.ocrPages), confidence_(text.ocrConfidence) {}
    SearchSink& sink() { return pages_.empty() ? sink_ : *this; }
    void beginFile(const QString& path) override { sink_.beginFile(path); }
    SinkAnswer occurrence(const Hit& hit) override {
        Hit marked = hit;
        const auto page =
            std::lower_bound(pages_.begin(), pages_.end(), static_cast<int>(hit.page));
        marked.ocr = page != pages_.end() && *page == static_cast<int>(hit.page);
        const auto k = static_cast<std::size_t>(page - pages_.begin());
        if (marked.ocr && k < confidence_.size()) marked.ocrConfidence = confidence_[k];
        return sink_.occurrence(marked);
    }
    void endFile(const QString& path, std::size_t found) override { sink_.endFile(path, found); }

  private:
    SearchSink& sink_;
    const std::vector<int>& pages_;
    const std::vector<int>& confidence_;
};

// Hands occurrences on to `sink` and notes whether it had enough of the file.
class EnoughWatch : public SearchSink {
  public:
    explicit EnoughWatch(SearchSink& sink) : sink_(sink) {}
    bool enough = false;
    SinkAnswer occurrence(const Hit& hit) override {
        const SinkAnswer a = sink_.occurrence(hit);
        enough = enough || a == SinkAnswer::Enough;
        return a;
    }
    bool mayStopEarly() const override { return sink_.mayStopEarly(); }

  private:
    SearchSink& sink_;
};

// Runs `body`; an exception is handed to the host as a failure of `stage`.
template <class F>
bool guarded(SessionHost& host, RunStage stage, F&& body) {
    try {
        body();
        return true;
    } catch (const Error& e) {
        host.stageFailed(stage, e.description());
    } catch (const std::exception& e) {
        host.stageFailed(stage, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

}  // namespace

SearchSession::SearchSession(TextPipeline& texts, SessionHost& host, SearchSink* sink)
    : texts_(texts), host_(host), sink_(sink) {
    poll_.setTimerType(Qt::PreciseTimer);
    connect(&poll_, &QTimer::timeout, this, [this] { polled(); });
}

SearchSession::~SearchSession() {
    ++serial_;
    ticket_.cancel();
}

void SearchSession::start(SessionPlan plan) {
    if (running()) cancel();
    plan_ = std::move(plan);
    summary_ = SearchSummary();
    stopAfterFile_ = false;
    at_ = 0;
    RunPlan run;
    run.files = plan_.files;
    // Each file waits for its password prompt: nothing is begun ahead.
    run.workAhead = !plan_.options.promptForPassword;
    run.keptTextsOnDemand = plan_.match && sink_ && sink_->mayStopEarly();
    // A sink that takes every occurrence has each text searched by the worker
    // that read it; one that may stop early searches here, as far as it needs.
    ahead_.reset();
    if (plan_.match && sink_ && !sink_->mayStopEarly())
        ahead_ = std::make_shared<SearchAhead>(plan_.options, sink_->countsOnly(), plan_.keepTexts);
    run.work = ahead_;
    run.ocr = plan_.ocr;
    // The texts beside the pages too, when asked for: read by the window's
    // add-time check as well, whose work a search then takes over.
    run.sources = plan_.options.sources;
    run_ = texts_.beginRun(std::move(run));
    state_ = State::Starting;
    const int serial = ++serial_;
    QTimer::singleShot(0, this, [this, serial] {
        if (serial == serial_ && state_ == State::Starting) next();
    });
}

void SearchSession::next() {
    const int n = static_cast<int>(plan_.files.size());
    if (stopAfterFile_ && at_ > 0) {
        summary_.stopped = true;
        finish();
        return;
    }
    if (++at_ > n) {
        finish();
        return;
    }
    const QString path = plan_.files.at(at_ - 1);
    const int serial = ++serial_;
    host_.fileBegins(at_, n, path);
    if (serial != serial_ || state_ == State::Idle) return;  // cancelled meanwhile
    if (extractionsEnded()) {
        summary_.ended = true;
        finish();
        return;
    }
    if (!plan_.options.promptForPassword) {
        fetch(QString());
        return;
    }
    // A file is looked at before its password is asked for: one that can no
    // longer be read is reported as not copied, without a prompt.
    if (!fs::isFile(path)) {
        // From the event loop too, as every text comes.
        state_ = State::Waiting;
        QTimer::singleShot(0, this, [this, serial] {
            if (serial != serial_ || state_ != State::Waiting) return;
            FileText notCopied;
            notCopied.outcome = TextOutcome::NotCopied;
            arrived(notCopied, QString());
        });
        return;
    }
    state_ = State::Asking;
    texts_.askNeedsPassword(
        path, [this, serial, guard = QPointer<SearchSession>(this), path](bool needs) {
            if (!guard || serial != serial_ || state_ != State::Asking) return;
            if (needs)
                host_.passwordNeeded(path);
            else
                fetch(QString());
        });
}

void SearchSession::providePassword(const QString& path, const QString& answer) {
    if (state_ != State::Asking || at_ < 1 || plan_.files.at(at_ - 1) != path) return;
    fetch(answer);
}

void SearchSession::fetch(const QString& password) {
    const int n = static_cast<int>(plan_.files.size());
    const QString path = plan_.files.at(at_ - 1);
    state_ = State::Waiting;
    watch_ = host_.waitWatch(at_, n, path);
    polls_ = 0;
    const int serial = serial_;
    ticket_ = texts_.fetch(run_.get(), FileRequest{at_, path, password},
                           [this, serial](const FileText& text, const QString& readError) {
                               if (serial == serial_ && state_ == State::Waiting)
                                   arrived(text, readError);
                           });
    poll_.start(plan_.pollMilliseconds);
}

void SearchSession::polled() {
    if (state_ != State::Waiting) return;
    ++polls_;
    const auto [page, pages] = ticket_.ocrReading();
    if (watch_.polled) watch_.polled(polls_, page, pages);
}

void SearchSession::endWait() {
    poll_.stop();
    if (state_ == State::Waiting && watch_.over) watch_.over();
    watch_ = WaitWatch();
}

void SearchSession::arrived(const FileText& text, const QString& readError) {
    endWait();
    state_ = State::Starting;
    const int serial = serial_;
    const QString path = plan_.files.at(at_ - 1);
    // The next file at once: every file's text comes from the event loop, so
    // events wait no longer than a file.
    auto goOn = [this] { next(); };
    if (!readError.isEmpty()) {
        ticket_ = TextPipeline::Ticket();
        host_.stageFailed(RunStage::Extraction, readError);
        if (serial == serial_) goOn();
        return;
    }
    if (text.outcome == TextOutcome::Ended || extractionsEnded()) {
        summary_.ended = true;
        finish();
        return;
    }
    host_.fileRead(at_, path, text);
    if (serial != serial_) return;
    if (!text.readabilityError.isEmpty()) host_.readabilityFailed(text.readabilityError);
    // Pages read badly are named: their words may be missed.
    for (std::size_t k = 0; k < text.ocrPages.size() && k < text.ocrConfidence.size(); ++k)
        if (text.ocrConfidence[k] >= 0 && text.ocrConfidence[k] < kLowOcrConfidence)
            summary_.weakOcrPages.push_back({path, text.ocrPages[k], text.ocrConfidence[k]});
    if (isFailure(text.outcome)) {
        summary_.failures.push_back({path, text.outcome});
    }
    // A file without readable text may still have texts beside its pages.
    if ((text.outcome == TextOutcome::Text || text.others) && plan_.match && sink_) {
        std::size_t found = 0;
        // Rows on pages read by OCR say so.
        OcrMarks marks(*sink_, text);
        SearchSink& to = marks.sink();
        to.beginFile(path);
        bool tooComplex = false;
        guarded(host_, RunStage::Matching, [&] {
            EnoughWatch pages(to);
            try {
                if (has(plan_.options.sources, TextSource::Pages) &&
                    text.outcome == TextOutcome::Text)
                    found = ahead_ && text.worked && text.workedBy == ahead_.get()
                                ? SearchAhead::replay(path, *text.worked, pages)
                                : searchPages(path, text, plan_.options, pages);
                // Then the texts beside the pages, unless the sink has enough of the file.
                if (text.others && !pages.enough)
                    found +=
                        searchOtherTexts(path, *text.others, plan_.options, *sink_, pages.enough);
            } catch (const PatternTooComplex& e) {
                found += e.found;
                tooComplex = true;
            }
        });
        if (tooComplex) host_.patternTooComplex(path);
        to.endFile(path, found);
        ++summary_.filesSearched;
        summary_.occurrences += static_cast<std::int64_t>(found);
        host_.fileSearched(path);
        if (text.others)
            for (const OtherNote& n : text.others->notes) summary_.notes.push_back({path, n});
    }
    // The text goes with the ticket's hold on its job.
    ticket_ = TextPipeline::Ticket();
    if (serial == serial_ && state_ == State::Starting) goOn();
}

void SearchSession::cancel() {
    if (state_ == State::Idle) return;
    ++serial_;
    // The files after this one are dropped first, so that the worker freed
    // by this one's end begins none of them.
    if (run_) run_->holdAhead(at_);
    ticket_.cancel();
    endWait();
    summary_.stopped = true;
    finish();
}

void SearchSession::abandonLater() {
    stop();
    deleteLater();
}

void SearchSession::stopAfterCurrentFile() {
    stopAfterFile_ = true;
    // The current file goes on; nothing after it is begun any more.
    if (run_) run_->holdAhead(at_);
}

void SearchSession::stop() {
    ++serial_;
    poll_.stop();
    ticket_ = TextPipeline::Ticket();
    // Work begun ahead for later files ends with the session, however it ends.
    run_.reset();
    state_ = State::Idle;
    stopAfterFile_ = false;
}

void SearchSession::finish() {
    stop();
    // A copy: the host may start the session again from here.
    const SearchSummary done = summary_;
    host_.finished(done);
}

}  // namespace qm
