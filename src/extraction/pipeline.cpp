#include "extraction/pipeline.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <future>

#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/pagesplit.h"
#include "extraction/pipeline_job.h"
#include "fs/fs.h"
#include "platform/services.h"
#include "text/error.h"

namespace qm {

namespace {

// The longest qpdf may take to tell whether a file needs a password.
constexpr int kPasswordCheckLimitMs = 30000;

// False when qpdf tells that the file opens without a password (it is not
// encrypted, or only its permissions are); true when it needs one, and when
// qpdf cannot tell (missing, failed), so that the user is asked as before. qpdf
// runs on a thread of its own while the caller's events are pumped.
bool needsPassword(const QString& qpdf, const QString& path, EventPump* pump) {
    if (qpdf.isEmpty()) return true;
    ChildToken token;
    auto check = std::async(std::launch::async, [&] {
        return runChild(qpdf, requiresPasswordArguments(path), token, {}, kPasswordCheckLimitMs);
    });
    while (check.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        if (pump) pump->pump();
    const ChildResult r = check.get();
    // qpdf --requires-password: 0 needs one, 2 not encrypted, 3 encrypted without one.
    return !(r.exited && (r.exitCode == 2 || r.exitCode == 3));
}

}  // namespace

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
    // room looks again at its next poll if this wake-up comes too early.
    wake_.notify_all();
}

bool TextPipeline::mayBegin(const Job& job) const {
    // The file waited for, a file outside the run and ended work always go;
    // work ahead only while the texts waiting leave room.
    return job.index <= current_.load() || job.token.cancelled() ||
           held_.load() < setup_.memoryBudget;
}

TextPipeline::~TextPipeline() {
    cancelAll();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        for (const auto& job : queue_) job->token.cancel();
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void TextPipeline::beginRun(const RunPlan& plan) {
    cancelAll();
    plan_ = plan;
    inRun_ = true;
    current_ = 0;
}

void TextPipeline::endRun() {
    cancelAll();
    inRun_ = false;
}

void TextPipeline::cancelAll() {
    std::vector<std::shared_ptr<Job>> dropped;
    for (auto& [index, job] : ahead_) dropped.push_back(job);
    ahead_.clear();
    {
        std::lock_guard lock(mutex_);
        for (const auto& job : queue_) dropped.push_back(job);
        queue_.clear();
    }
    for (const auto& job : dropped) job->token.cancel();
}

std::shared_ptr<TextPipeline::Job> TextPipeline::submit(int index, const QString& path,
                                                        const QString& password, bool first) {
    auto job = std::make_shared<Job>();
    job->owner = this;
    job->index = index;
    job->path = path;
    job->password = password;
    job->keptOnDemand = index > 0 && inRun_ && plan_.keptTextsOnDemand;
    {
        std::lock_guard lock(mutex_);
        if (workers_.empty())
            for (int slot = 1; slot <= jobs_; ++slot)
                workers_.emplace_back([this, slot] { workerLoop(slot); });
        if (first)
            queue_.push_front(job);
        else
            queue_.push_back(job);
    }
    wake_.notify_one();
    return job;
}

void TextPipeline::scheduleAhead(int from) {
    // Every later file of the run is queued once; how far the workers get is
    // the memory budget's to say (mayBegin). A list changed under the run is
    // seen when a queued file's path no longer matches (obtain).
    const int first = ahead_.empty() ? from : std::max(from, ahead_.rbegin()->first + 1);
    for (int k = first; k <= plan_.count; ++k) {
        const QString path = plan_.pathAt ? plan_.pathAt(k) : QString();
        if (path.isEmpty()) break;
        ahead_[k] = submit(k, path, QString(), false);
    }
}

FileText TextPipeline::obtain(const FileRequest& request) {
    const int i = request.index;
    if (i <= 0) {
        // A file outside the run (the add-time check): the run's work ahead stays as it is.
        const QString password = askPassword(request);
        return collect(submit(0, request.path, password, true), request);
    }
    // Work for positions the run has passed is of no use any more.
    for (auto it = ahead_.begin(); it != ahead_.end() && it->first < i;) {
        it->second->token.cancel();
        it = ahead_.erase(it);
    }
    current_ = i;
    wake_.notify_all();
    const bool ahead = aheadAllowed();
    if (ahead) {
        scheduleAhead(i);
    } else {
        // Each file waits for its prompt: nothing is begun for later files.
        dropAheadOf(i);
    }

    // A file is copied before its password is asked for: one that can no longer
    // be read is reported as not copied, without a prompt.
    if (request.password && !fs::isFile(request.path)) {
        FileText notCopied;
        notCopied.outcome = TextOutcome::NotCopied;
        return notCopied;
    }
    const QString password = askPassword(request);
    std::shared_ptr<Job> job;
    auto it = ahead_.find(i);
    if (it != ahead_.end()) {
        if (it->second->path == request.path && it->second->password == password) {
            job = it->second;
            ahead_.erase(it);
        } else if (it->second->path != request.path) {
            // The list changed under the run: what was queued ahead is for other files.
            dropAheadOf(i - 1);
        } else {
            it->second->token.cancel();
            ahead_.erase(it);
        }
    }
    if (!job) job = submit(i, request.path, password, true);

    return collect(job, request);
}

QString TextPipeline::askPassword(const FileRequest& request) {
    if (!request.password || !needsPassword(setup_.qpdfPath, request.path, setup_.pump))
        return QString();
    return request.password();
}

FileText TextPipeline::collect(const std::shared_ptr<Job>& job, const FileRequest& request) {
    FileText result;
    if (!wait(*job, request.wait, request.stopRequested)) {
        // Stopped: the extraction ends now and its result is dropped.
        job->token.cancel();
        result.outcome = TextOutcome::Stopped;
        return result;
    }
    {
        std::lock_guard lock(mutex_);
        if (!job->done) {  // the program is closing: ended unfinished
            result.outcome = TextOutcome::Ended;
            return result;
        }
    }
    if (!job->readError.isEmpty()) throw Error(job->readError);
    job->release();
    return std::move(job->text);
}

void TextPipeline::dropAheadOf(int index) {
    std::vector<std::shared_ptr<Job>> dropped;
    for (auto it = ahead_.upper_bound(index); it != ahead_.end();) {
        dropped.push_back(it->second);
        it = ahead_.erase(it);
    }
    if (dropped.empty()) return;
    {
        std::lock_guard lock(mutex_);
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [&](const std::shared_ptr<Job>& j) {
                                        return std::find(dropped.begin(), dropped.end(), j) !=
                                               dropped.end();
                                    }),
                     queue_.end());
    }
    for (const auto& job : dropped) job->token.cancel();
}

bool TextPipeline::aheadAllowed() const {
    return inRun_ && (!plan_.mayWorkAhead || plan_.mayWorkAhead());
}

bool TextPipeline::wait(Job& job, const WaitWatch& watch,
                        const std::function<bool()>& stopRequested) {
    auto done = [&] {
        std::lock_guard lock(mutex_);
        return job.done;
    };
    auto stopped = [&] { return stopRequested && stopRequested(); };
    int polls = 0;
    // A stop click (or the password option ticked) while the run waits ends
    // the work begun for later files at once.
    auto holdAhead = [&] {
        if (!ahead_.empty() && !aheadAllowed()) dropAheadOf(job.index);
    };
    bool wasStopped = false;
    while (!done()) {
        if (setup_.pump) setup_.pump->pump();
        holdAhead();
        if ((wasStopped = stopped())) break;
        if (done() || extractionsEnded()) break;

        // One poll: until the job is done or the period has passed, with the
        // window's events handled meanwhile. Another worker finishing quits
        // the loop too; then the loop runs again for the rest of the period.
        const QDeadlineTimer period(setup_.pollMilliseconds, Qt::PreciseTimer);
        while (!done() && !period.hasExpired() && !extractionsEnded()) {
            QEventLoop loop;
            QTimer timer;
            timer.setSingleShot(true);
            timer.setTimerType(Qt::PreciseTimer);
            QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
            QEventLoop* outer = waiting_;
            waiting_ = &loop;
            timer.start(std::max<qint64>(1, period.remainingTime()));
            int rc = 0;
            if (!done()) rc = loop.exec();
            waiting_ = outer;
            if (rc < 0 || QCoreApplication::closingDown()) {
                // No event loop runs while the application is quitting: wait
                // for the workers' signal for the rest of the period.
                std::unique_lock lock(mutex_);
                done_.wait_for(
                    lock, std::chrono::milliseconds(std::max<qint64>(1, period.remainingTime())),
                    [&] { return job.done; });
                break;
            }
            if (stopped()) break;
        }
        holdAhead();
        if ((wasStopped = stopped())) break;
        if (done() || extractionsEnded()) break;

        ++polls;
        // While the file's scanned pages are read, the watch is told which.
        const int ocrPages = job.ocr.pages.load();
        if (watch.polled)
            watch.polled(polls, std::min(job.ocr.done.load() + 1, ocrPages), ocrPages);
    }
    if (watch.over) watch.over();
    return !wasStopped;
}

void TextPipeline::workerLoop(int slot) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [&] {
                // Workers lent to a split file's ranges begin nothing meanwhile.
                return quit_ || (!queue_.empty() && busy_ < jobs_ && mayBegin(*queue_.front()));
            };
            while (!ready()) wake_.wait_for(lock, std::chrono::milliseconds(50));
            if (quit_) return;
            job = queue_.front();
            queue_.pop_front();
            ++busy_;
        }
        if (job->token.cancelled()) {
            job->text.outcome = TextOutcome::Ended;
        } else {
            try {
                process(*job, slot);
            } catch (const std::exception& e) {
                job->readError = QString::fromLocal8Bit(e.what());
            }
        }
        {
            std::lock_guard lock(mutex_);
            // A text done ahead counts against the budget until it is collected.
            if (job->index > 0 && job->text.outcome == TextOutcome::Text && !job->text.onDisk) {
                job->held = static_cast<std::int64_t>(job->text.chunks.utf8().size());
                held_ += job->held;
            }
            job->done = true;
            --busy_;
        }
        done_.notify_all();
        wake_.notify_all();  // a worker is free: a split file's ranges may take it
        QMetaObject::invokeMethod(
            &notifier_,
            [this] {
                if (waiting_) waiting_->quit();
            },
            Qt::QueuedConnection);
    }
}

}  // namespace qm
