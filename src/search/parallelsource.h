#pragma once
// A text source that extracts on every core and keeps what it extracted.
//
// Worker threads, one per extractor process allowed at a time, take the files
// of a run from a queue in list order, ahead of the file the run is at. Each
// worker has its own work files ("ex<k>/tmp.pdf" and "ex<k>/tmp.txt" in the
// work folder): it copies the listed file there, runs the extractor on the
// copy, checks and reads the text, and keeps it in the text cache. The run
// still takes the files one at a time in list order on the window's thread;
// while it waits for a file, window events are handled and the progress bar
// counts and creeps as it does for a single extraction.
//
// With the password prompt on, nothing is done ahead: a file's extraction
// starts once its prompt has been answered. When a run ends, work for later
// files is ended and dropped.

#include <QEventLoop>
#include <QObject>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "extraction/runandwait.h"
#include "search/textsource.h"

namespace qm {

class TextCache;

class ParallelTextSource : public TextSource {
  public:
    struct Setup {
        QString extractorPath;
        QString workFolder;
        EventPump* pump = nullptr;
        MessageBoxes* boxes = nullptr;  // for the readability test's own report
        int jobs = 0;                   // extractors at once; 0: one per core
        TextCache* cache = nullptr;     // not owned; null: nothing is kept
        int pollMilliseconds = kPollMilliseconds;
    };
    explicit ParallelTextSource(Setup setup);
    ~ParallelTextSource() override;
    ParallelTextSource(const ParallelTextSource&) = delete;
    ParallelTextSource& operator=(const ParallelTextSource&) = delete;

    void beginRun(const RunPlan& plan) override;
    FileText obtain(const FileRequest& request) override;
    void endRun() override;

    int jobs() const { return jobs_; }
    // The number of cores, at least 1.
    static int coreCount();

    struct Job;

  private:
    void scheduleAhead(int from);
    std::shared_ptr<Job> submit(int index, const QString& path, const QString& password,
                                bool first);
    void wait(Job& job, const WaitDisplay& display);
    void workerLoop(int slot);
    void process(Job& job, int slot);
    void cancelAll();
    // Ends and forgets the work begun for files after position `index`.
    void dropAheadOf(int index);
    bool aheadAllowed() const;

    Setup setup_;
    int jobs_ = 1;
    int window_ = 1;  // files in the queue or in flight, the current one included
    RunPlan plan_;
    bool inRun_ = false;
    std::map<int, std::shared_ptr<Job>> ahead_;  // by list position

    // Shared with the workers.
    std::mutex mutex_;
    std::condition_variable wake_;  // work for the workers
    std::condition_variable done_;  // a job is done (when no event loop runs)
    std::deque<std::shared_ptr<Job>> queue_;
    bool quit_ = false;
    std::vector<std::thread> workers_;

    // Lives on the window's thread; the workers post their "done" to it.
    QObject notifier_;
    QEventLoop* waiting_ = nullptr;
};

}  // namespace qm
