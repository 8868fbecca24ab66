#pragma once
// The one way the program gets the text of a PDF file: the search run, the
// add-time check and the command line all go through a TextPipeline.
//
// Worker threads, one per extractor process allowed at a time, take files from
// a queue. Each worker has its own work files ("ex<k>/tmp.pdf" and
// "ex<k>/tmp.txt" in the work folder): it copies the file there, runs the
// extractor on the copy, checks and reads the text, and keeps it in the text
// cache. The caller takes the files one at a time on its own thread; during a
// run, files after the current one are extracted ahead, as far as the memory
// budget allows: texts done and waiting for their turn count against it, so a
// long file holds up no other worker while there is room. A text larger than
// `largeTextBytes` is never held in memory: it waits as its text file on disk
// and is searched from there, chunk by chunk. While the caller waits
// for a file, its events are pumped and whoever asked is told of every poll
// that passes (WaitWatch), so that a face can show the wait.
//
// A large file that a worker begins near the end of the work (fewer files left
// to begin than workers) is extracted as page ranges, and every other worker
// takes ranges from the moment it has nothing else to do; the texts are
// joined in page order (pagesplit.h): the same bytes as one whole-file run.
//
// With the password prompt on, nothing is done ahead: a file's extraction
// starts once its prompt has been answered. When a run ends, work for later
// files is ended and dropped.

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "extraction/outcome.h"
#include "extraction/scannedpages.h"
#include "text/textfile.h"

namespace qm {

struct CachedText;
class EventPump;
class TextCache;

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
    // The pages whose text OCR gave, in order (Setup::ocr).
    std::vector<int> ocrPages;
};

// The period of the poll while the caller waits for a file.
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
    int index = 0;  // 1-based position in the run; 0 outside a run
    QString path;   // as listed
    // Asked once the file is known to be there and qpdf does not tell that it
    // opens without one; the password to try, empty for none. Not set: no password.
    std::function<QString()> password;
    WaitWatch wait;  // told how a long extraction goes on
    // Asked while the caller waits: true ends the file's extraction at once
    // (the outcome is Stopped). Not set: the wait lasts until the file is done.
    std::function<bool()> stopRequested;
};

// What a run tells the pipeline before the first file, so that it can work
// ahead of the file the run is at.
struct RunPlan {
    int count = 0;                       // files of the run
    std::function<QString(int)> pathAt;  // the path at position i now ("" past the end)
    // False while each file waits for its password prompt, and once a stop was asked for.
    std::function<bool()> mayWorkAhead;
    // Texts from the cache are handed over as their entries (FileText::kept),
    // not unpacked ahead: for a search that may stop early in a file.
    bool keptTextsOnDemand = false;
};

class TextPipeline {
  public:
    // beginRun() now, endRun() when the scope ends, however it ends.
    class RunScope {
      public:
        RunScope(TextPipeline& texts, const RunPlan& plan) : texts_(texts) {
            texts_.beginRun(plan);
        }
        ~RunScope() { texts_.endRun(); }
        RunScope(const RunScope&) = delete;
        RunScope& operator=(const RunScope&) = delete;

      private:
        TextPipeline& texts_;
    };

    struct Setup {
        QString extractorPath;
        QString workFolder;
        EventPump* pump = nullptr;   // pumped while the caller waits
        int jobs = 0;                // extractors at once; 0: one per core
        TextCache* cache = nullptr;  // not owned; null: nothing is kept
        int pollMilliseconds = kPollMilliseconds;
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

    // A run begins; obtain() follows for files 1, 2, ... in order.
    void beginRun(const RunPlan& plan);
    // The text of one file, waiting for it with events pumped. Throws qm::Error
    // when an extracted text cannot be read.
    FileText obtain(const FileRequest& request);
    // The run is over (finished or stopped): work begun for later files is dropped.
    void endRun();

    int jobs() const { return jobs_; }
    const QString& extractorPath() const { return setup_.extractorPath; }
    // How scanned pages are read, as the text cache tells readings apart;
    // empty when they are not read.
    QString ocrReading() const { return setup_.ocr.cacheTag(); }
    // The number of cores, at least 1.
    static int coreCount();

    struct Job;

  private:
    void scheduleAhead(int from);
    std::shared_ptr<Job> submit(int index, const QString& path, const QString& password,
                                bool first);
    // False when the wait was stopped through `stopRequested`.
    bool wait(Job& job, const WaitWatch& watch, const std::function<bool()>& stopRequested);
    // The request's password, asked only of a file that needs one.
    QString askPassword(const FileRequest& request);
    // Waits for the job and hands over its text.
    FileText collect(const std::shared_ptr<Job>& job, const FileRequest& request);
    void workerLoop(int slot);
    // One file's extraction, step by step (extractfile.cpp).
    class FileWork;
    void process(Job& job, int slot);
    void cancelAll();
    // Ends and forgets the work begun for files after position `index`.
    void dropAheadOf(int index);
    bool aheadAllowed() const;
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
    void released(std::int64_t bytes);
    RunPlan plan_;
    bool inRun_ = false;
    std::map<int, std::shared_ptr<Job>> ahead_;  // by list position

    // Shared with the workers.
    std::mutex mutex_;
    std::condition_variable wake_;  // work for the workers
    std::condition_variable done_;  // a job is done (when no event loop runs)
    std::deque<std::shared_ptr<Job>> queue_;
    std::atomic<std::int64_t> held_{0};  // bytes of texts done ahead, not yet collected
    std::atomic<int> current_{0};        // the run's position being waited for
    std::atomic<int> spoolSerial_{0};
    bool quit_ = false;
    int busy_ = 0;  // workers on a job, and workers lent to a split file's ranges
    std::vector<std::thread> workers_;

    // Lives on the caller's thread; the workers post their "done" to it.
    QObject notifier_;
    QEventLoop* waiting_ = nullptr;
};

}  // namespace qm
