#include "search/run.h"

#include "extraction/pipeline.h"
#include "search/matcher.h"
#include "search/sink.h"
#include "text/error.h"

namespace qm {

QString failureSuffix(FailureReason reason) {
    switch (reason) {
        case FailureReason::NotCopied:
            return QString::fromLatin1(kNotCopiedSuffix);
        case FailureReason::Protected:
            return QString::fromLatin1(kProtectedSuffix);
        case FailureReason::Unreadable:
            break;
    }
    return QString::fromLatin1(kUnreadableSuffix);
}

QString passwordPrompt(const QString& path) {
    return QStringLiteral("Enter password for file (") + path + QStringLiteral("): \r\n") +
           QStringLiteral("Note: Leave this box blank if file is not password protected");
}

namespace {

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

}  // namespace

SearchSummary runSearch(TextPipeline& texts, RunHost& host, SearchSink& sink) {
    SearchSummary summary;
    const int n = host.fileCount();
    RunPlan plan;
    plan.count = n;
    plan.pathAt = [&host](int i) {
        return i >= 1 && i <= host.fileCount() ? host.fileAt(i) : QString();
    };
    plan.mayWorkAhead = [&host] {
        return !host.stopRequested() && !host.options().promptForPassword;
    };
    texts.beginRun(plan);
    // Work begun ahead for later files ends with the run, however it ends.
    struct RunEnd {
        TextPipeline& texts;
        ~RunEnd() { texts.endRun(); }
    } runEnd{texts};

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
        if (host.options().promptForPassword)
            request.password = [&host, &path] { return host.password(path); };
        request.wait = host.waitDisplay(i, n);
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

        switch (text.outcome) {
            case TextOutcome::NotCopied:
                summary.failures.push_back({path, FailureReason::NotCopied});
                break;
            case TextOutcome::Protected:
                summary.failures.push_back({path, FailureReason::Protected});
                break;
            case TextOutcome::Unreadable:
                summary.failures.push_back({path, FailureReason::Unreadable});
                break;
            case TextOutcome::Ended:
                break;
            case TextOutcome::Text: {
                const SearchOptions options = host.options();
                std::size_t found = 0;
                sink.beginFile(path);
                guarded(host, RunStage::Matching, [&] {
                    found = searchText(path, text.chunks, options.phrases(), options.caseMode, sink,
                                       options.loose);
                });
                sink.endFile(path, found);
                ++summary.filesSearched;
                summary.occurrences += static_cast<std::int64_t>(found);
                host.fileSearched(path);
                break;
            }
        }
    }
    if (host.stopRequested()) summary.stopped = true;
    return summary;
}

}  // namespace qm
