#pragma once
// One search session: the files listed when it starts, one at a time in list
// order, each one's text from the extraction pipeline, every occurrence of the
// phrases to a sink, and a summary at the end. The session is driven by the
// event loop of the thread that owns it: it asks the pipeline for a file and
// returns; the pipeline's "done" moves it on. Nothing in it waits or pumps
// events. Whoever starts it (the window, the command line, a test) hears of
// it through a SessionHost and may cancel it at any time.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "extraction/pipeline.h"
#include "terms/searchoptions.h"

namespace qm {

class SearchSink;
class SearchAhead;

// A file that could not be searched, and why (isFailure of its outcome).
struct FileFailure {
    QString path;
    TextOutcome outcome;
};

// Something about a file's texts beside its pages (an attachment not searched,
// a limit reached); the file was searched all the same.
struct FileNote {
    QString path;
    OtherNote note;
};

// What a session did.
// A page OCR read with a mean confidence below kLowOcrConfidence.
struct WeakOcrPage {
    QString path;
    int page = 0;
    int confidence = 0;
};

struct SearchSummary {
    int filesSearched = 0;                  // files whose text was searched
    std::vector<FileFailure> failures;      // in list order
    std::vector<WeakOcrPage> weakOcrPages;  // in list order, by page
    std::vector<FileNote> notes;            // in list order
    std::int64_t occurrences = 0;           // reported to the sink
    bool stopped = false;                   // cancelled, or stopped after a file, before the end
    bool ended = false;                     // extractions were ended (the program is closing)
};

// The parts of a file's search that can fail on their own; the host reports them.
enum class RunStage { Extraction, Matching };

// What a session is asked to do.
struct SessionPlan {
    QStringList files;  // as listed when the session starts; later edits do not count
    // The phrases, the find set and the options as they stand at the start.
    SearchOptions options;
    // False: the texts are only read (the add-time check), nothing is matched.
    bool match = true;
    // How scanned pages are read; not set: as the pipeline's Setup says.
    std::optional<OcrSettings> ocr;
    // The period of the wait's polls told to the host (WaitWatch).
    int pollMilliseconds = kPollMilliseconds;
    // False: a text goes once searched, and the session's files are read for
    // it alone (the command line, where no other session shares them).
    bool keepTexts = true;
};

class SessionHost {
  public:
    virtual ~SessionHost() = default;
    // File `i` of `n` begins. The host may cancel the session here.
    virtual void fileBegins(int i, int n, const QString& path) {
        (void)i;
        (void)n;
        (void)path;
    }
    // Told how the wait for file `i` of `n`, `path`, goes on; nobody by default.
    virtual WaitWatch waitWatch(int i, int n, const QString& path) {
        (void)i;
        (void)n;
        (void)path;
        return {};
    }
    // The file needs a password: the host answers with providePassword(),
    // now or later (an empty answer: none).
    virtual void passwordNeeded(const QString& path) { (void)path; }
    // File `i`'s text came (or its outcome without one), before it is searched.
    virtual void fileRead(int i, const QString& path, const FileText& text) {
        (void)i;
        (void)path;
        (void)text;
    }
    // The file's text has been searched (its occurrences are in the sink).
    virtual void fileSearched(const QString& path) { (void)path; }
    // A stage failed for the current file with this description; the session goes on.
    virtual void stageFailed(RunStage stage, const QString& description) = 0;
    // A pattern backtracked without end in the file's text (PCRE2's limits):
    // its search stopped there, the rows found before it stay; the session goes on.
    virtual void patternTooComplex(const QString& path) = 0;
    // The readability test of a file's text failed; the text is searched anyway.
    virtual void readabilityFailed(const QString& description) = 0;
    // The session is over; it may be started again from here.
    virtual void finished(const SearchSummary& summary) = 0;
};

class SearchSession : public QObject {
  public:
    // `sink` may be null when the plans do not match (the add-time check).
    SearchSession(TextPipeline& texts, SessionHost& host, SearchSink* sink);
    ~SearchSession() override;

    // Begins with the first file on the next turn of the event loop.
    void start(SessionPlan plan);
    // Ends now: the current file's extraction too, unless another session
    // awaits it. The host hears finished() with what was done so far.
    void cancel();
    // Ends without a word to the host (another session took its work over),
    // and deletes itself from the event loop.
    void abandonLater();
    // Ends once the current file is done (searched and reported).
    void stopAfterCurrentFile();
    // The answer to passwordNeeded(path).
    void providePassword(const QString& path, const QString& answer);

    bool running() const { return state_ != State::Idle; }
    // The summary so far (the whole one once finished).
    const SearchSummary& summary() const { return summary_; }

  private:
    enum class State { Idle, Starting, Waiting, Asking };
    void next();
    void fetch(const QString& password);
    void polled();
    void arrived(const FileText& text, const QString& readError);
    // Ends without a word to the host; finish() tells it.
    void stop();
    void finish();
    void endWait();

    TextPipeline& texts_;
    SessionHost& host_;
    SearchSink* sink_;
    SessionPlan plan_;
    SearchSummary summary_;
    State state_ = State::Idle;
    int at_ = 0;  // the file being worked on, from 1
    bool stopAfterFile_ = false;
    std::shared_ptr<TextPipeline::Run> run_;
    std::shared_ptr<const SearchAhead> ahead_;  // the search done by the workers, if any
    TextPipeline::Ticket ticket_;
    WaitWatch watch_;
    QTimer poll_;
    int polls_ = 0;
    int serial_ = 0;  // of the file being worked on: late answers of an earlier one are ignored
};

}  // namespace qm
