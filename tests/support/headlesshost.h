#pragma once
// A search session's host without a window, for tests and benchmarks: the
// file list and the options are plain members, every occurrence becomes a
// row, the password prompt is a scripted input box, and the waits are not
// shown. run() drives the session to its end in an event loop of its own.

#include <QEventLoop>
#include <QStringList>
#include <utility>
#include <vector>

#include "extraction/pipeline.h"
#include "search/session.h"
#include "search/sink.h"
#include "support/scripted.h"
#include "terms/searchoptions.h"
#include "words/words.h"

namespace qm::test {

class HeadlessRun : public SessionHost, public SearchSink {
  public:
    // Runs a search over `list` with `pipeline`; rows and reports start afresh.
    SearchSummary run(TextPipeline& pipeline) {
        rows.clear();
        phraseOf.clear();
        pages.clear();
        begun.clear();
        reports.clear();
        tooComplex.clear();
        SearchSession session(pipeline, *this, this);
        session_ = &session;
        SessionPlan plan;
        plan.files = list;
        plan.options = searchOptions;
        plan.pollMilliseconds = pollMilliseconds;
        session.start(std::move(plan));
        QEventLoop loop;
        quit_ = &loop;
        if (session.running()) loop.exec();
        quit_ = nullptr;
        session_ = nullptr;
        return summary;
    }

    // The failures of the last run as the window lists them after "Done.".
    QString failureLines() const {
        QString out;
        for (const FileFailure& f : summary.failures)
            out += QStringLiteral("\r\n") + f.path + failureSuffix(f.outcome);
        return out;
    }
    QStringList rowPaths() const {
        QStringList out;
        for (const auto& r : rows) out << r.first;
        return out;
    }

    void fileBegins(int i, int n, const QString& path) override {
        begun.push_back(i);
        if (onFileBegins) onFileBegins(i, n, path);
        if (stop) session_->cancel();
    }
    void passwordNeeded(const QString& path) override {
        session_->providePassword(
            path, boxes.input(passwordPrompt(path), QStringLiteral("Input Password"), QString()));
    }
    WaitWatch waitWatch(int, int, const QString&) override { return watch; }
    void finished(const SearchSummary& done) override {
        summary = done;
        if (quit_) quit_->quit();
    }
    void stageFailed(RunStage, const QString& description) override { reports << description; }
    void readabilityFailed(const QString& description) override { reports << description; }
    void patternTooComplex(const QString& path) override { tooComplex << path; }
    SinkAnswer occurrence(const Hit& hit) override {
        rows.emplace_back(hit.path, hit.snippet.toString());
        phraseOf.push_back(hit.phrase);
        pages.push_back(hit.page);
        return SinkAnswer::More;
    }

    QStringList list;
    SearchOptions searchOptions;
    bool stop = false;
    ScriptedMessageBoxes boxes;
    // The session running now (during run()), to stop it from a test's timer.
    SearchSession* session() { return session_; }
    int pollMilliseconds = kPollMilliseconds;
    WaitWatch watch;  // told of every file's wait
    // Told as each file begins, before `stop` is looked at.
    std::function<void(int i, int n, const QString& path)> onFileBegins;
    std::vector<std::pair<QString, QString>> rows;  // path, snippet
    std::vector<std::size_t> phraseOf;              // of each row: its phrase's index
    std::vector<std::size_t> pages;                 // of each row: its page
    std::vector<int> begun;                         // positions of the files begun, in order
    QStringList reports;                            // failures reported during the run
    QStringList tooComplex;                         // files a pattern was too complex for
    SearchSummary summary;

  private:
    SearchSession* session_ = nullptr;
    QEventLoop* quit_ = nullptr;
};

}  // namespace qm::test
