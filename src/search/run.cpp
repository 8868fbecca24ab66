#include "search/run.h"

#include <algorithm>

#include "extraction/pipeline.h"
#include "extraction/textcache.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/error.h"
#include "text/textfile.h"

namespace qm {

namespace {

// Hands a file's occurrences on to `sink`, each marked when its page was read
// by OCR (`pages`, in order); with no such page, `sink` itself takes them.
class OcrMarks : public SearchSink {
  public:
    OcrMarks(SearchSink& sink, const std::vector<int>& pages) : sink_(sink), pages_(pages) {}
    SearchSink& sink() { return pages_.empty() ? sink_ : *this; }
    void beginFile(const QString& path) override { sink_.beginFile(path); }
    SinkAnswer occurrence(const Hit& hit) override {
        Hit marked = hit;
        marked.ocr = std::binary_search(pages_.begin(), pages_.end(), static_cast<int>(hit.page));
        return sink_.occurrence(marked);
    }
    void endFile(const QString& path, std::size_t found) override { sink_.endFile(path, found); }

  private:
    SearchSink& sink_;
    const std::vector<int>& pages_;
};

// Runs `body`; an exception is handed to the host as a failure of `stage`.
template <class F>
bool guarded(RunHost& host, RunStage stage, F&& body) {
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

// Searches one file's text, wherever it is.
std::size_t searchFile(const QString& path, const FileText& text, const SearchOptions& options,
                       SearchSink& sink) {
    const QStringList phrases = options.phrases();
    // A large text is searched chunk by chunk from its file.
    if (text.onDisk)
        return searchTextFile(path, text.onDisk->path, phrases, options.caseMode, sink,
                              options.loose);
    if (!text.kept)
        return searchText(path, text.chunks, phrases, options.caseMode, sink, options.loose);
    // A kept text is unpacked as the exact search of one phrase goes; the
    // others take it whole, all phrases in one pass.
    if (phrases.size() == 1 && !options.loose) {
        const std::shared_ptr<const CachedText> kept = text.kept;
        return searchTextChunks(
            path,
            [&kept](const std::function<void(std::string_view)>& chunk) {
                kept->forEachChunk(chunk);
            },
            phrases, options.caseMode, sink);
    }
    return searchText(path, text.kept->chunks(), phrases, options.caseMode, sink, options.loose);
}

}  // namespace

SearchSummary runSearch(TextPipeline& texts, RunHost& host, SearchSink& sink) {
    SearchSummary summary;
    const int n = host.fileCount();
    // The phrases, the find set and the options as they stand now: an edit
    // made while the run goes on waits for the next run.
    const SearchOptions options = host.options();
    RunPlan plan;
    plan.count = n;
    plan.pathAt = [&host](int i) {
        return i >= 1 && i <= host.fileCount() ? host.fileAt(i) : QString();
    };
    plan.mayWorkAhead = [&host, &options] {
        return !host.stopRequested() && !options.promptForPassword;
    };
    plan.keptTextsOnDemand = sink.mayStopEarly();
    // Work begun ahead for later files ends with the run, however it ends.
    const TextPipeline::RunScope scope(texts, plan);

    for (int i = 1; i <= n; ++i) {
        // Entries removed during the run are not searched.
        if (i > host.fileCount()) break;
        const QString path = host.fileAt(i);
        host.fileBegins(i, n, path);
        if (extractionsEnded()) {
            summary.ended = true;
            return summary;
        }
        if (host.stopRequested()) {
            summary.stopped = true;
            break;
        }

        FileRequest request;
        request.index = i;
        request.path = path;
        if (options.promptForPassword)
            request.password = [&host, &path] { return host.password(path); };
        request.wait = host.waitWatch(i, n, path);
        if (host.stopEndsCurrentFile())
            request.stopRequested = [&host] { return host.stopRequested(); };
        FileText text;
        const bool obtained =
            guarded(host, RunStage::Extraction, [&] { text = texts.obtain(request); });
        // The program is closing: nothing more to do.
        if (extractionsEnded() || (obtained && text.outcome == TextOutcome::Ended)) {
            summary.ended = true;
            return summary;
        }
        if (!obtained) continue;
        if (!text.readabilityError.isEmpty()) host.readabilityFailed(text.readabilityError);

        if (text.outcome == TextOutcome::Stopped) {
            // Stopped during the file's extraction: it is neither searched nor reported.
            summary.stopped = true;
            break;
        }
        if (isFailure(text.outcome)) {
            summary.failures.push_back({path, text.outcome});
            continue;
        }
        if (text.outcome != TextOutcome::Text) continue;
        std::size_t found = 0;
        // Rows on pages read by OCR say so.
        OcrMarks marks(sink, text.ocrPages);
        SearchSink& to = marks.sink();
        to.beginFile(path);
        guarded(host, RunStage::Matching, [&] { found = searchFile(path, text, options, to); });
        to.endFile(path, found);
        ++summary.filesSearched;
        summary.occurrences += static_cast<std::int64_t>(found);
        host.fileSearched(path);
    }
    if (host.stopRequested()) summary.stopped = true;
    return summary;
}

}  // namespace qm
