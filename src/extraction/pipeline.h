#pragma once
// The one way the program gets the text of a PDF file: the search run, the
// add-time check and the command line all go through a TextPipeline.
//
// Worker threads, one per extractor process allowed at a time, take files from
// a queue. Each worker has its own work files ("ex<k>/tmp.pdf" and
// "ex<k>/tmp.txt" in the work folder): it copies the file there, runs the
// extractor on the copy, checks and reads the text, and keeps it in the text
// cache. Nothing here waits: a face (through a SearchSession) asks for a file
// with fetch() and is called back on its own thread, from its event loop, when
// the text is there. During a run, files after the one asked for are extracted
// ahead, as far as the memory budget allows: texts done and waiting for their
// turn count against it, so a long file holds up no other worker while there
// is room. Two runs at once (the window's search and its add-time check) share
// the work: a file being extracted for one is awaited by the other. A text
// larger than `largeTextBytes` is never held in memory: it waits as its text
// file on disk and is searched from there, chunk by chunk.
//
// A large file that a worker begins near the end of the work (fewer files left
// to begin than workers) is extracted as page ranges, and every other worker
// takes ranges from the moment it has nothing else to do; the texts are
// joined in page order (pagesplit.h): the same bytes as one whole-file run.
//
// With the password prompt on, nothing is done ahead: a file's extraction
// starts once its prompt has been answered. When a run ends, work for later
// files is ended and dropped.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "extraction/othertexts.h"
#include "extraction/outcome.h"
#include "extraction/scannedpages.h"
#include "text/textfile.h"

namespace qm {

struct CachedText;
class TextCache;

// What a run's TextWork made of a file's text, on the worker that read it.
struct WorkedText {
    virtual ~WorkedText() = default;
    std::int64_t bytes = 0;  // held in memory: counted against the budget while it waits
};

struct FileText;

// Work a run has done on each of its texts by the worker that read it, before
// the text is handed over: a search, so that texts are searched on every core
// while the run's owner only reports what was found. Not done for a text on
// disk nor for one without readable text.
class TextWork {
  public:
    virtual ~TextWork() = default;
    // False: the text goes once it is worked, and a text from the cache is
    // given to the work as its entry (FileText::kept), never unpacked whole;
    // such a run's files are then its own, shared with no other run.
    virtual bool keepsText() const = 0;
    // Called on worker threads, for several texts at once. Null: nothing was
    // done, the text is handed over as it is. `stop` is the file's token.
    virtual std::shared_ptr<const WorkedText> work(const QString& path, const FileText& text,
                                                   const ChildToken& stop) const = 0;
};

// A text file kept on disk for its reader; removed with the last reference.
struct TextOnDisk {
    QString path;
    explicit TextOnDisk(QString p) : path(std::move(p)) {}
    ~TextOnDisk();
    TextOnDisk(const TextOnDisk&) = delete;
    TextOnDisk& operator=(const TextOnDisk&) = delete;
};

struct FileText {
    TextOutcome outcome = TextOutcome::Protected;
    TextChunks chunks;  // the text, unless it is on disk
    // Set for a text too large to hold in memory: its text file, to be read
    // chunk by chunk (forEachFileChunk); `chunks` is then empty.
    std::shared_ptr<TextOnDisk> onDisk;
    // Set for a text from the cache when the run takes kept texts on demand
    // (RunPlan): the entry, to be unpacked as far as the search goes
    // (CachedText::forEachChunk, or chunks() for the whole); `chunks` is then empty.
    std::shared_ptr<const CachedText> kept;
    // Size in bytes of the text file the extractor wrote; -1 when it wrote none.
    std::int64_t textFileSize = -1;
    // The readability test could not read the text file: the text is searched
    // as it is, and this is reported.
    QString readabilityError;
    // The pages whose text OCR gave, in order (Setup::ocr), and how sure the
    // reader was of each one's words (0 to 100; -1: not known).
    std::vector<int> ocrPages;
    std::vector<int> ocrConfidence;
    // The texts beside the pages, when the run asked for them (RunPlan::sources)
    // and the file gave a text, readable or not.
    std::shared_ptr<const OtherTexts> others;
    // What the run's TextWork made of the text, and the work that made it (a
    // file shared with another run may have been worked by that run's work).
    std::shared_ptr<const WorkedText> worked;
    const TextWork* workedBy = nullptr;
};

// The period of the poll while a face waits for a file (the session's timer).
inline constexpr int kPollMilliseconds = 100;

// Told about a wait for a file's text that lasts: each poll that passed
// (counted from 1, one by one) and the end of the wait. Either may be unset.
// While the file's scanned pages are read with OCR, each poll also tells the
// page being read (from 1) of how many (0: none is read).
struct WaitWatch {
    std::function<void(int polls, int ocrPage, int ocrPages)> polled;
    std::function<void()> over;
};

struct FileRequest {
    int index = 0;     // 1-based position in its run; 0 outside a run
    QString path;      // as listed
    QString password;  // the password to try; empty for none
};

// What a run tells the pipeline before its first file, so that it can work
// ahead of the file the run is at.
struct RunPlan {
    QStringList files;  // the run's files, position i at files[i - 1]
    // False while each file waits for its password prompt: nothing is begun ahead.
    bool workAhead = true;
    // Texts from the cache are handed over as their entries (FileText::kept),
    // not unpacked ahead: for a search that may stop early in a file.
    bool keptTextsOnDemand = false;
    // How the run's scanned pages are read; not set: as the pipeline's Setup says.
    std::optional<OcrSettings> ocr;
    // The texts read: the pages' always, the others (othertexts.h) when asked for.
    TextSources sources = kPageText;
    // Done on each text by the worker that read it; null: nothing.
    std::shared_ptr<const TextWork> work;
};

class TextPipeline {
  public:
    // What a fetch hands back on the pipeline's thread: the text (or the
    // outcome without one) and, when the extracted text could not be read,
    // why (the text is then empty).
    using Done = std::function<void(const FileText& text, const QString& readError)>;

    struct Setup {
        QString extractorPath;
        QString workFolder;
        int jobs = 0;                // extractors at once; 0: one per core
        TextCache* cache = nullptr;  // not owned; null: nothing is kept
        // Worker k works in "<workFolder>/<workerFolderPrefix><k>"; two pipelines
        // in one work folder need prefixes of their own.
        QString workerFolderPrefix = QStringLiteral("ex");
        // An extraction still running after this many seconds is ended (0: no limit).
        int timeLimitSeconds = kDefaultTimeLimitSeconds;
        // qpdf (decrypting, telling a protected file from a damaged one, and
        // the page count of a file to split); empty: looked up on PATH.
        QString qpdfPath;
        // Bytes of texts extracted ahead and waiting for their turn: no worker
        // begins a later file while they reach this.
        std::int64_t memoryBudget = kDefaultMemoryBudget;
        // A text file larger than this stays on disk (FileText::onDisk).
        std::int64_t largeTextBytes = kDefaultLargeTextBytes;
        // A file of at least this many bytes may be extracted as page ranges
        // near the end of the work, on the workers that would otherwise wait;
        // -1: never.
        std::int64_t splitMinBytes = kDefaultSplitMinBytes;
        // Pages of one range at least: a file shorter than two is not split.
        int splitMinPages = kDefaultSplitMinPages;
        // Ranges per worker taking part: a worker slowed by other work takes fewer.
        int splitRangesPerWorker = 4;
        // Scanned pages (no text of their own, an image) read with OCR, their
        // pages spread over the workers; the texts are kept in the cache apart
        // from plain ones. `ocr.tesseract` empty: not read.
        OcrSettings ocr;
    };
    static constexpr std::int64_t kDefaultSplitMinBytes = 4ll * 1024 * 1024;
    static constexpr int kDefaultSplitMinPages = 40;
    static constexpr std::int64_t kDefaultMemoryBudget = 128ll * 1024 * 1024;
    static constexpr std::int64_t kDefaultLargeTextBytes = 64ll * 1024 * 1024;
    explicit TextPipeline(Setup setup);
    ~TextPipeline();
    TextPipeline(const TextPipeline&) = delete;
    TextPipeline& operator=(const TextPipeline&) = delete;

    struct Job;
    class Run;

    // One file asked for: withdrawn by cancel() or by letting the ticket go
    // before its text came.
    class Ticket {
      public:
        Ticket() = default;
        Ticket(Ticket&& other) noexcept { swap(other); }
        Ticket& operator=(Ticket&& other) noexcept {
            cancel();
            swap(other);
            return *this;
        }
        ~Ticket() { cancel(); }
        // The text is no longer wanted here; its extraction ends unless another
        // run or fetch still wants it. `done` is not called any more.
        void cancel();
        bool active() const { return job_ != nullptr; }
        // The scanned page being read (from 1) and how many there are (0: none).
        std::pair<int, int> ocrReading() const;

      private:
        friend class TextPipeline;
        void swap(Ticket& other) noexcept;
        TextPipeline* owner_ = nullptr;
        std::shared_ptr<Job> job_;
        int waiter_ = 0;
        std::weak_ptr<bool> alive_;
    };

    // A run begins: files of `plan` may be extracted ahead of the one asked
    // for. The run ends (its work ahead dropped) when the last reference goes.
    std::shared_ptr<Run> beginRun(RunPlan plan);
    // The text of one file, for `run` at `request.index` (null: outside any
    // run). A file being extracted already, for any run, is not begun again:
    // its extraction is awaited. `done` is called later on the thread that
    // made the pipeline, from its event loop, unless the ticket is cancelled first.
    Ticket fetch(Run* run, const FileRequest& request, Done done);
    // Whether `path` needs a password: false when qpdf tells that it opens
    // without one; true when it needs one and when qpdf cannot tell. Asked on
    // a thread of its own; `answer` is called later on the pipeline's thread.
    void askNeedsPassword(const QString& path, std::function<void(bool needs)> answer);

    int jobs() const { return jobs_; }
    // The number of cores, at least 1.
    static int coreCount();

  private:
    friend class Run;
    std::shared_ptr<Job> jobFor(Run* run, int index, const QString& path, const QString& password,
                                bool toFront);
    void scheduleAhead(Run& run, int from);
    // One claim on the job fewer; the last one ends and forgets it.
    void dropClaim(const std::shared_ptr<Job>& job);
    void withdraw(const std::shared_ptr<Job>& job, int waiter);
    void dropAheadOf(Run& run, int index);
    // A job is done: its waiters get the text (on the pipeline's thread).
    void deliver(const std::shared_ptr<Job>& job);
    void workerLoop(int slot);
    // One file's extraction, step by step (extractfile.cpp).
    class FileWork;
    void process(Job& job, int slot);
    // Worker lending (lending.cpp). Extracts the copy `pdf` into `txt` as page
    // ranges when it is worth it near the end of the work; false when it was
    // not, or a range failed.
    bool extractSplit(Job& job, const QString& pdf, const QString& txt, const QString& folder,
                      int limitMs, bool& ended, bool& timedOut);
    // Reads the scanned pages of `pdf` into `txt` with OCR, on this worker and
    // the workers lent to it (ocrlending.cpp).
    OcrStep readScanned(Job& job, const QString& pdf, const QString& txt, const QString& folder,
                        int limitMs);
    // Every other worker, each lent from the moment it has nothing of its own
    // to begin (lending.cpp).
    RangeHelpers lentWorkers();
    // Queued files a worker may begin now, counted up to `atMost` (with mutex_ held).
    int queuedThatMayBegin(int atMost) const;
    // True when fewer files may begin than there are workers.
    bool nearTheEnd();
    // Waits until a worker has nothing it may begin and counts it busy (true),
    // or until `wanted` is false (false); returnWorker() gives it back.
    bool lendWorker(const std::function<bool()>& wanted);
    void returnWorker();

    Setup setup_;
    int jobs_ = 1;
    // Whether a worker may begin `job` now (called with mutex_ held).
    bool mayBegin(const Job& job) const;
    static bool passedOver(const Job& job);  // under mutex_
    void released(std::int64_t bytes);

    // The pipeline's thread only: the jobs not yet handed over, by what they
    // extract (path, password, way of reading), so that none is begun twice.
    std::unordered_map<QString, std::shared_ptr<Job>> live_;
    std::vector<Run*> runs_;
    struct PasswordCheck;
    std::vector<std::unique_ptr<PasswordCheck>> passwordChecks_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    // Shared with the workers.
    std::mutex mutex_;
    std::condition_variable wake_;  // work for the workers
    std::deque<std::shared_ptr<Job>> queue_;
    std::atomic<std::int64_t> held_{0};    // bytes of texts done ahead, not yet collected
    std::atomic<bool> roomWanted_{false};  // a worker waits for texts done ahead to go
    std::atomic<int> spoolSerial_{0};
    bool quit_ = false;
    int busy_ = 0;  // workers on a job, and workers lent to a split file's ranges
    std::vector<std::thread> workers_;

    // Lives on the pipeline's thread; the workers post their "done" to it.
    QObject notifier_;
};

// One run's work ahead: the files of its plan queued once, each claimed until
// the run asks for it or ends.
class TextPipeline::Run {
  public:
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    // Nothing more is begun ahead of position `at`: what was begun for later
    // files ends (a stop after the current file).
    void holdAhead(int at);

  private:
    friend class TextPipeline;
    Run(TextPipeline& owner, RunPlan plan) : owner_(&owner), plan_(std::move(plan)) {}
    TextPipeline* owner_;
    RunPlan plan_;
    std::map<int, std::shared_ptr<Job>> ahead_;  // by position
    int queuedUpTo_ = 0;                         // the last position queued ahead
};

}  // namespace qm
