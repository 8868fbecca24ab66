#pragma once
// One search run: the listed files one at a time in list order, each one's
// text from the extraction pipeline, every occurrence of the phrases to a
// sink, and a summary at the end. Whoever starts a run (the window, the
// command line, a test) answers its questions through a RunHost.

#include <QString>
#include <cstdint>
#include <vector>

#include "extraction/pipeline.h"
#include "terms/searchoptions.h"

namespace qm {

class SearchSink;
class TextPipeline;

// A file that could not be searched, and why (isFailure of its outcome).
struct FileFailure {
    QString path;
    TextOutcome outcome;
};

// What a run did.
struct SearchSummary {
    int filesSearched = 0;              // files whose text was searched
    std::vector<FileFailure> failures;  // in list order
    std::int64_t occurrences = 0;       // reported to the sink
    bool stopped = false;               // a stop was asked for before the end
    bool ended = false;                 // extractions were ended (the program is closing)
};

// The parts of a run that can fail on their own; the host reports them.
enum class RunStage { Extraction, Matching };

class RunHost {
  public:
    virtual ~RunHost() = default;
    // The list as it stands now (entries may be removed during a run).
    virtual int fileCount() = 0;
    virtual QString fileAt(int position) = 0;  // 1-based
    // The search controls as they stand now; read once, when the run starts.
    virtual SearchOptions options() = 0;
    // File `i` of `n` begins (progress, pending events). Runs before the stop
    // request is read for the file.
    virtual void fileBegins(int i, int n, const QString& path) {
        (void)i;
        (void)n;
        (void)path;
    }
    // Read once per file, after fileBegins, and while extraction works ahead.
    virtual bool stopRequested() = 0;
    // True when a stop also ends the current file's extraction at once (the
    // window's stop click); false when the current file is finished first.
    virtual bool stopEndsCurrentFile() { return false; }
    // The password for a file when the options ask for one; empty for none.
    virtual QString password(const QString& path) {
        (void)path;
        return QString();
    }
    // Told how the wait for file `i` of `n`, `path`, goes on; nobody by default.
    virtual WaitWatch waitWatch(int i, int n, const QString& path) {
        (void)i;
        (void)n;
        (void)path;
        return {};
    }
    // The file's text has been searched (its occurrences are in the sink).
    virtual void fileSearched(const QString& path) { (void)path; }
    // A stage failed for the current file with this description; the run goes on.
    virtual void stageFailed(RunStage stage, const QString& description) = 0;
    // The readability test of a file's text failed; the text is searched anyway.
    virtual void readabilityFailed(const QString& description) = 0;
};

// Runs over the files the host lists when it starts.
SearchSummary runSearch(TextPipeline& texts, RunHost& host, SearchSink& sink);

}  // namespace qm
