#pragma once
// A search run's host without a window, for tests and benchmarks: the file
// list and the options are plain members, every occurrence becomes a row, the
// password prompt is a scripted input box, and the waits are not shown.

#include <QStringList>
#include <utility>
#include <vector>

#include "extraction/pipeline.h"
#include "search/run.h"
#include "search/sink.h"
#include "support/scripted.h"
#include "terms/searchoptions.h"
#include "words/words.h"

namespace qm::test {

class HeadlessRun : public RunHost, public SearchSink {
  public:
    // Runs a search over `list` with `pipeline`; rows and reports start afresh.
    SearchSummary run(TextPipeline& pipeline) {
        rows.clear();
        phraseOf.clear();
        pages.clear();
        begun.clear();
        reports.clear();
        summary = runSearch(pipeline, *this, *this);
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

    int fileCount() override { return static_cast<int>(list.size()); }
    QString fileAt(int position) override { return list.value(position - 1); }
    SearchOptions options() override { return searchOptions; }
    void fileBegins(int i, int, const QString&) override {
        begun.push_back(i);
        pump.pump();
    }
    bool stopRequested() override { return stop; }
    QString password(const QString& path) override {
        return boxes.input(passwordPrompt(path), QStringLiteral("Input Password"), QString());
    }
    void stageFailed(RunStage, const QString& description) override { reports << description; }
    void readabilityFailed(const QString& description) override { reports << description; }
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
    ScriptedEventPump pump;
    std::vector<std::pair<QString, QString>> rows;  // path, snippet
    std::vector<std::size_t> phraseOf;              // of each row: its phrase's index
    std::vector<std::size_t> pages;                 // of each row: its page
    std::vector<int> begun;                         // positions of the files begun, in order
    QStringList reports;                            // failures reported during the run
    SearchSummary summary;
};

}  // namespace qm::test
