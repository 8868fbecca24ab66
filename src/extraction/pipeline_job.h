#pragma once
// One file's work in a TextPipeline: made on the pipeline's thread, done by a
// worker, handed back to its waiters by deliver(). Seen only by the pipeline's
// own files.

#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "extraction/child.h"
#include "extraction/pipeline.h"

namespace qm {

struct TextPipeline::Job {
    TextPipeline* owner = nullptr;
    std::int64_t held = 0;  // bytes of `text` counted against the memory budget
    ~Job() { release(); }
    void release() {
        if (held > 0 && owner) owner->released(held);
        held = 0;
    }
    QString key;  // what it extracts, as live_ knows it
    QString path;
    QString password;
    bool keptOnDemand = false;             // a text from the cache is handed over as its entry
    OcrSettings reading;                   // how its scanned pages are read
    TextSources sources = kPageText;       // the texts read besides the pages (othertexts.h)
    std::shared_ptr<const TextWork> work;  // done on the text once read (RunPlan::work)
    bool worked = false;                   // the work was done (or tried)
    ChildToken token;
    bool done = false;  // guarded by the pipeline's mutex_
    // Taken by a worker, guarded by the pipeline's mutex_. A job awaited
    // while queued is queued again at the front; its later entry, and the
    // entry of a job dropped meanwhile, are passed over.
    bool begun = false;
    int waiting = 0;  // waiters, guarded by the pipeline's mutex_: it goes first
    FileText text;
    OcrProgress ocr;    // the file's scanned pages being read
    QString readError;  // the text could not be read: handed to the waiters

    // The pipeline's thread only.
    int claims = 0;  // runs holding it ahead, and waiters
    int nextWaiter = 0;
    std::vector<std::pair<int, Done>> waiters;
    bool queuedDelivery = false;
};

// A check whether a file needs a password, on a thread of its own.
struct TextPipeline::PasswordCheck {
    ChildToken token;
    std::atomic<bool> finished{false};
    std::thread thread;
};

// The job's work done on its text (see TextWork), once.
void workOn(TextPipeline::Job& job);

}  // namespace qm
