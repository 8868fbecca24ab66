#include "extraction/pipeline.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pagesplit.h"
#include "extraction/pipeline_job.h"
#include "fs/fs.h"

namespace qm {

namespace {

QString keyOf(const QString& path, const QString& password, const OcrSettings& reading,
              bool keptOnDemand, TextSources sources, const TextWork* ownWork) {
    QString key = path + QChar(0) + password + QChar(0) + reading.cacheTag() + QChar(0) +
                  (keptOnDemand ? u'k' : u'-') + QChar(0) + QString::number(sources);
    // A job whose text goes once worked serves its own run only.
    if (ownWork) key += QChar(0) + QString::number(reinterpret_cast<quintptr>(ownWork), 16);
    return key;
}

}  // namespace

// The run's work done on a text just read (once); a work that does not keep
// the text leaves only what it made of it.
void workOn(TextPipeline::Job& job) {
    FileText& text = job.text;
    if (!job.work || job.worked || text.outcome != TextOutcome::Text || text.onDisk ||
        job.token.cancelled())
        return;
    job.worked = true;
    try {
        text.worked = job.work->work(job.path, text, job.token);
    } catch (const std::exception&) {
        text.worked.reset();  // the run's owner works the text itself
    }
    if (!text.worked) return;
    text.workedBy = job.work.get();
    if (!job.work->keepsText()) {
        text.chunks = TextChunks();
        text.kept.reset();
    }
}

TextOnDisk::~TextOnDisk() {
    fs::removeQuietly(path);
}

int TextPipeline::coreCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

TextPipeline::TextPipeline(Setup setup) : setup_(std::move(setup)) {
    if (setup_.qpdfPath.isEmpty()) setup_.qpdfPath = findQpdf();
    jobs_ = setup_.jobs > 0 ? setup_.jobs : coreCount();
}

void TextPipeline::released(std::int64_t bytes) {
    held_ -= bytes;
    // Not under the lock (a job may die with it held); a worker waiting for
    // room looks again at its next poll if this wake-up comes too early. Only
    // a worker that waits for room is woken: idle ones would find nothing.
    if (roomWanted_.exchange(false)) wake_.notify_all();
}

bool TextPipeline::passedOver(const Job& job) {
    // Begun already, or dropped by every run and awaited by nobody.
    return job.begun || (job.token.cancelled() && job.waiting == 0);
}

bool TextPipeline::mayBegin(const Job& job) const {
    // A file someone waits for and ended work always go; work ahead only
    // while the texts waiting leave room.
    return job.waiting > 0 || job.token.cancelled() || held_.load() < setup_.memoryBudget;
}

TextPipeline::~TextPipeline() {
    *alive_ = false;
    for (Run* run : runs_) run->owner_ = nullptr;
    for (auto& [key, job] : live_) job->token.cancel();
    for (auto& check : passwordChecks_) check->token.cancel();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        for (const auto& job : queue_) job->token.cancel();
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
    for (auto& check : passwordChecks_) check->thread.join();
    // Jobs still referenced by a ticket no longer count against a budget.
    for (auto& [key, job] : live_) {
        job->release();
        job->owner = nullptr;
    }
}

std::shared_ptr<TextPipeline::Run> TextPipeline::beginRun(RunPlan plan) {
    std::shared_ptr<Run> run(new Run(*this, std::move(plan)));
    runs_.push_back(run.get());
    // Queued (or joined) at once, so that a run begun while another ends
    // takes that one's work over before it is dropped.
    if (run->plan_.workAhead) scheduleAhead(*run, 1);
    return run;
}

TextPipeline::Run::~Run() {
    if (!owner_) return;
    // Work begun for files the run never asked for is of no use any more.
    owner_->dropAheadOf(*this, 0);
    auto& runs = owner_->runs_;
    runs.erase(std::remove(runs.begin(), runs.end(), this), runs.end());
}

void TextPipeline::Run::holdAhead(int at) {
    plan_.workAhead = false;
    if (owner_) owner_->dropAheadOf(*this, at);
}

std::shared_ptr<TextPipeline::Job> TextPipeline::jobFor(Run* run, int index, const QString& path,
                                                        const QString& password, bool toFront) {
    std::shared_ptr<const TextWork> work = run && index > 0 ? run->plan_.work : nullptr;
    const bool ownWork = work && !work->keepsText();
    const bool onDemand = run && index > 0 && (run->plan_.keptTextsOnDemand || ownWork);
    const OcrSettings& reading = run && run->plan_.ocr ? *run->plan_.ocr : setup_.ocr;
    const TextSources sources = run ? run->plan_.sources : kPageText;
    const QString key =
        keyOf(path, password, reading, onDemand, sources, ownWork ? work.get() : nullptr);
    auto it = live_.find(key);
    if (it != live_.end() && !it->second->token.cancelled()) {
        const std::shared_ptr<Job> job = it->second;
        if (toFront) {
            // Awaited now: it goes before the work ahead (its entry further
            // back is passed over), at no cost for the length of the queue.
            std::lock_guard lock(mutex_);
            if (!job->begun) queue_.push_front(job);
        }
        return job;
    }
    auto job = std::make_shared<Job>();
    job->owner = this;
    job->key = key;
    job->path = path;
    job->password = password;
    job->keptOnDemand = onDemand;
    job->reading = reading;
    job->sources = sources;
    job->work = std::move(work);
    live_[key] = job;
    {
        std::lock_guard lock(mutex_);
        if (workers_.empty())
            for (int slot = 1; slot <= jobs_; ++slot)
                workers_.emplace_back([this, slot] { workerLoop(slot); });
        if (toFront)
            queue_.push_front(job);
        else
            queue_.push_back(job);
    }
    return job;
}

void TextPipeline::scheduleAhead(Run& run, int from) {
    // Every later file of the run is queued once (or joined, when another run
    // has it already); how far the workers get is the memory budget's to say.
    const int count = static_cast<int>(run.plan_.files.size());
    const int first = std::max(from, run.queuedUpTo_ + 1);
    for (int k = first; k <= count; ++k) {
        std::shared_ptr<Job> job = jobFor(&run, k, run.plan_.files.at(k - 1), QString(), false);
        ++job->claims;
        run.ahead_[k] = std::move(job);
        run.queuedUpTo_ = k;
        // The workers begin with the first files while the others are queued.
        if (k - first + 1 == jobs_) wake_.notify_all();
    }
    if (first <= count) wake_.notify_all();
}

TextPipeline::Ticket TextPipeline::fetch(Run* run, const FileRequest& request, Done done) {
    const int i = request.index;
    std::shared_ptr<Job> claimed;  // the run's claim, taken over by the waiter
    if (run) {
        // Work for positions the run has passed is of no use any more; the
        // last dropped first, as in dropAheadOf.
        std::vector<std::shared_ptr<Job>> passed;
        for (auto it = run->ahead_.begin(); it != run->ahead_.end() && it->first < i;) {
            passed.push_back(std::move(it->second));
            it = run->ahead_.erase(it);
        }
        for (auto it = passed.rbegin(); it != passed.rend(); ++it) dropClaim(*it);
        auto it = run->ahead_.find(i);
        if (it != run->ahead_.end()) {
            claimed = std::move(it->second);
            run->ahead_.erase(it);
        }
        if (!run->plan_.workAhead)
            dropAheadOf(*run, i);
        else
            run->queuedUpTo_ = std::max(run->queuedUpTo_, i);
    }
    std::shared_ptr<Job> job = jobFor(run, i, request.path, request.password, true);
    if (claimed == job)
        claimed.reset();  // the claim goes on as the waiter's
    else
        ++job->claims;
    if (claimed) dropClaim(claimed);  // queued with another password: not this one

    Ticket ticket;
    ticket.owner_ = this;
    ticket.job_ = job;
    ticket.waiter_ = ++job->nextWaiter;
    ticket.alive_ = alive_;
    job->waiters.emplace_back(ticket.waiter_, std::move(done));
    bool isDone = false;
    {
        std::lock_guard lock(mutex_);
        ++job->waiting;
        isDone = job->done;
    }
    if (isDone) {
        // Done ahead: handed over from the event loop, as any other.
        job->release();
        if (!job->queuedDelivery) {
            job->queuedDelivery = true;
            QMetaObject::invokeMethod(
                &notifier_, [this, job] { deliver(job); }, Qt::QueuedConnection);
        }
    }
    if (run && run->plan_.workAhead) scheduleAhead(*run, i + 1);
    // A text done already needs no worker.
    if (!isDone) wake_.notify_all();
    return ticket;
}

void TextPipeline::dropClaim(const std::shared_ptr<Job>& job) {
    if (--job->claims > 0) return;
    // Left in the queue: a worker passes it over (a search of the queue for
    // each of many dropped jobs would cost the square of its length).
    job->token.cancel();
    auto it = live_.find(job->key);
    if (it != live_.end() && it->second == job) live_.erase(it);
    job->release();
}

void TextPipeline::withdraw(const std::shared_ptr<Job>& job, int waiter) {
    auto& waiters = job->waiters;
    auto it = std::find_if(waiters.begin(), waiters.end(),
                           [waiter](const auto& w) { return w.first == waiter; });
    if (it == waiters.end()) return;  // handed over already
    waiters.erase(it);
    {
        std::lock_guard lock(mutex_);
        --job->waiting;
    }
    dropClaim(job);
}

void TextPipeline::dropAheadOf(Run& run, int index) {
    std::vector<std::shared_ptr<Job>> dropped;
    for (auto it = run.ahead_.upper_bound(index); it != run.ahead_.end();) {
        dropped.push_back(std::move(it->second));
        it = run.ahead_.erase(it);
    }
    // The last first: a worker freed by the end of an earlier one must not
    // find a later one still queued and start it.
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) dropClaim(*it);
}

void TextPipeline::deliver(const std::shared_ptr<Job>& job) {
    job->queuedDelivery = false;
    if (job->waiters.empty()) return;  // done ahead: kept until a run asks for it
    auto waiters = std::move(job->waiters);
    job->waiters.clear();
    {
        std::lock_guard lock(mutex_);
        job->waiting = 0;
    }
    job->claims -= static_cast<int>(waiters.size());
    // Handed over: a later request extracts anew (from the cache).
    auto it = live_.find(job->key);
    if (it != live_.end() && it->second == job) live_.erase(it);
    job->release();
    for (auto& [id, done] : waiters) done(job->text, job->readError);
    // A run holding it ahead for a later position asks anew then: the text
    // (or its file on disk) is not held for it meanwhile.
    if (job->claims > 0) job->text = FileText();
}

void TextPipeline::Ticket::swap(Ticket& other) noexcept {
    std::swap(owner_, other.owner_);
    std::swap(job_, other.job_);
    std::swap(waiter_, other.waiter_);
    std::swap(alive_, other.alive_);
}

void TextPipeline::Ticket::cancel() {
    if (!job_) return;
    const std::shared_ptr<bool> alive = alive_.lock();
    if (alive && *alive) owner_->withdraw(job_, waiter_);
    job_.reset();
}

std::pair<int, int> TextPipeline::Ticket::ocrReading() const {
    if (!job_) return {0, 0};
    const int pages = job_->ocr.pages.load();
    return {std::min(job_->ocr.done.load() + 1, pages), pages};
}

void TextPipeline::workerLoop(int slot) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [&] {
                // Workers lent to a split file's ranges begin nothing meanwhile.
                if (quit_) return true;
                while (!queue_.empty() && passedOver(*queue_.front())) queue_.pop_front();
                if (queue_.empty() || busy_ >= jobs_) return false;
                // Said before the budget is looked at, so that room made
                // meanwhile wakes this worker.
                roomWanted_ = true;
                return mayBegin(*queue_.front());
            };
            while (!ready()) wake_.wait_for(lock, std::chrono::milliseconds(50));
            if (quit_) return;
            job = queue_.front();
            queue_.pop_front();
            job->begun = true;
            ++busy_;
        }
        if (job->token.cancelled()) {
            job->text.outcome = TextOutcome::Ended;
        } else {
            try {
                process(*job, slot);
                workOn(*job);
            } catch (const std::exception& e) {
                job->readError = QString::fromLocal8Bit(e.what());
            }
        }
        bool awaited = false;
        {
            std::lock_guard lock(mutex_);
            awaited = job->waiting > 0;
            // A text done ahead counts against the budget until it is collected.
            if (job->waiting == 0 && job->text.outcome == TextOutcome::Text && !job->text.onDisk) {
                job->held = static_cast<std::int64_t>(job->text.chunks.utf8().size()) +
                            (job->text.worked ? job->text.worked->bytes : 0);
                held_ += job->held;
            }
            job->done = true;
            --busy_;
        }
        wake_.notify_all();  // a worker is free: a split file's ranges may take it
        // Only a text someone waits for is handed over now; one done ahead is
        // handed over by the fetch that asks for it (fetch() sees it done).
        if (awaited)
            QMetaObject::invokeMethod(
                &notifier_, [this, job] { deliver(job); }, Qt::QueuedConnection);
    }
}

}  // namespace qm
