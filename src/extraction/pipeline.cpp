#include "extraction/pipeline.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "extraction/extractor.h"
#include "extraction/readability.h"
#include "extraction/textcache.h"
#include "fs/fs.h"
#include "platform/services.h"
#include "text/error.h"

namespace qm {

struct TextPipeline::Job {
    int index = 0;
    QString path;
    QString password;
    ChildToken token;
    bool done = false;  // guarded by the source's mutex
    FileText text;
    QString readError;  // the text could not be read: thrown to the caller
};

namespace {

// The copy left by the last file that gave no text. As with one fixed copy,
// the next copy made (in whichever worker's folder) replaces it.
struct Leftover {
    std::mutex mutex;
    QString path;
};
Leftover& leftover() {
    static Leftover l;
    return l;
}

// Before a copy is made into `pdf`: an older copy left elsewhere goes.
void replaceLeftover(const QString& pdf) {
    Leftover& l = leftover();
    std::lock_guard lock(l.mutex);
    if (!l.path.isEmpty() && l.path != pdf) fs::removeQuietly(l.path);
    l.path.clear();
}

// The copy `pdf` stays: it is now the one left.
void keepLeftover(const QString& pdf) {
    Leftover& l = leftover();
    std::lock_guard lock(l.mutex);
    if (!l.path.isEmpty() && l.path != pdf) fs::removeQuietly(l.path);
    l.path = pdf;
}

TextOutcome outcomeOf(CachedOutcome o) {
    switch (o) {
        case CachedOutcome::Text:
            return TextOutcome::Text;
        case CachedOutcome::Unreadable:
            return TextOutcome::Unreadable;
        case CachedOutcome::NoTextFile:
            break;
    }
    return TextOutcome::Protected;
}

}  // namespace

int TextPipeline::coreCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

TextPipeline::TextPipeline(Setup setup) : setup_(std::move(setup)) {
    jobs_ = setup_.jobs > 0 ? setup_.jobs : coreCount();
    // Besides one file in flight per worker, as many ready and waiting, so the
    // workers never idle while the run is busy with the file before.
    window_ = 2 * jobs_ + 1;
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
    job->index = index;
    job->path = path;
    job->password = password;
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
    const int last = std::min(plan_.count, from + window_ - 1);
    for (int k = from; k <= last; ++k) {
        const QString path = plan_.pathAt ? plan_.pathAt(k) : QString();
        if (path.isEmpty()) break;
        auto it = ahead_.find(k);
        if (it != ahead_.end()) {
            if (it->second->path == path && it->second->password.isEmpty()) continue;
            it->second->token.cancel();  // the list changed under the run
            ahead_.erase(it);
        }
        ahead_[k] = submit(k, path, QString(), false);
    }
}

FileText TextPipeline::obtain(const FileRequest& request) {
    const int i = request.index;
    if (i <= 0) {
        // A file outside the run (the add-time check): the run's work ahead stays as it is.
        const QString password = request.password ? request.password() : QString();
        return collect(submit(0, request.path, password, true), request.wait);
    }
    // Work for positions the run has passed is of no use any more.
    for (auto it = ahead_.begin(); it != ahead_.end() && it->first < i;) {
        it->second->token.cancel();
        it = ahead_.erase(it);
    }
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
    const QString password = request.password ? request.password() : QString();
    std::shared_ptr<Job> job;
    auto it = ahead_.find(i);
    if (it != ahead_.end()) {
        if (it->second->path == request.path && it->second->password == password)
            job = it->second;
        else
            it->second->token.cancel();
        ahead_.erase(it);
    }
    if (!job) job = submit(i, request.path, password, true);

    return collect(job, request.wait);
}

FileText TextPipeline::collect(const std::shared_ptr<Job>& job, const WaitDisplay& display) {
    wait(*job, display);
    FileText result;
    {
        std::lock_guard lock(mutex_);
        if (!job->done) {  // the program is closing: ended unfinished
            result.outcome = TextOutcome::Ended;
            return result;
        }
    }
    if (!job->readError.isEmpty()) throw Error(job->readError);
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

void TextPipeline::wait(Job& job, const WaitDisplay& display) {
    auto done = [&] {
        std::lock_guard lock(mutex_);
        return job.done;
    };
    int polls = 0;
    // A stop click (or the password option ticked) while the run waits ends
    // the work begun for later files at once.
    auto holdAhead = [&] {
        if (!ahead_.empty() && !aheadAllowed()) dropAheadOf(job.index);
    };
    while (!done()) {
        if (setup_.pump) setup_.pump->pump();
        holdAhead();
        if (done() || extractionsEnded()) break;

        // One poll: until the job is done or the period has passed, with the
        // window's events handled meanwhile.
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QEventLoop* outer = waiting_;
        waiting_ = &loop;
        timer.start(setup_.pollMilliseconds);
        if (!done()) loop.exec();
        waiting_ = outer;
        // An event loop does not run while the application is quitting; then
        // wait for the workers' signal for the rest of the period.
        if (timer.isActive() && !extractionsEnded()) {
            std::unique_lock lock(mutex_);
            done_.wait_for(lock, std::chrono::milliseconds(std::max(1, timer.remainingTime())),
                           [&] { return job.done; });
        }
        holdAhead();
        if (done() || extractionsEnded()) break;

        display.poll(++polls);
    }
    display.finish();
}

void TextPipeline::workerLoop(int slot) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (quit_) return;
            job = queue_.front();
            queue_.pop_front();
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
            job->done = true;
        }
        done_.notify_all();
        QMetaObject::invokeMethod(
            &notifier_,
            [this] {
                if (waiting_) waiting_->quit();
            },
            Qt::QueuedConnection);
    }
}

void TextPipeline::process(Job& job, int slot) {
    FileText& out = job.text;
    TextCache* cache = setup_.cache;
    const std::optional<FileIdentity> id = FileIdentity::of(job.path);

    // A kept text serves as long as the file is unchanged and still opens.
    if (cache && id) {
        if (auto entry = cache->find(*id, job.password); entry && fs::isFile(job.path)) {
            try {
                out.chunks = entry->chunks();
                out.outcome = outcomeOf(entry->outcome);
                out.textFileSize = entry->textFileSize;
                return;
            } catch (const Error&) {
                // A damaged entry: extract the file anew.
            }
        }
    }

    const QString folder =
        setup_.workFolder + u'/' + setup_.workerFolderPrefix + QString::number(slot);
    QDir().mkpath(folder);
    const QString pdf = folder + u'/' + QString::fromLatin1(kTemporaryPdfName);
    const QString txt = folder + u'/' + QString::fromLatin1(kTemporaryTextName);
    fs::removeQuietly(txt);
    replaceLeftover(pdf);
    if (!copyToTemporary(job.path, pdf)) {
        out.outcome = TextOutcome::NotCopied;
        return;
    }

    // As for a single extraction: with a password the password command line
    // first, then the plain one when that wrote no text.
    bool started = false;
    bool ended = false;
    auto run = [&](const QStringList& args) {
        const ChildResult r = runChild(setup_.extractorPath, args, job.token);
        started = started || r.started;
        ended = ended || r.ended;
    };
    if (!job.password.isEmpty()) run(passwordArguments(pdf, job.password));
    if (!ended && (job.password.isEmpty() || !QFile::exists(txt))) run(plainArguments(pdf));
    if (ended) {
        // Ended with its run (or the window): the result is dropped.
        fs::removeQuietly(txt);
        out.outcome = TextOutcome::Ended;
        return;
    }
    // Only what the extractor itself made is kept, for a file that stayed as it was.
    bool keep = cache && id && started && FileIdentity::of(job.path) == id;

    if (!fs::isFile(txt)) {
        // The copy stays until the next copy replaces it.
        keepLeftover(pdf);
        out.outcome = TextOutcome::Protected;
        if (keep)
            cache->store(*id, job.password, CachedText::forOutcome(CachedOutcome::NoTextFile, -1));
        return;
    }
    const std::int64_t size = QFileInfo(txt).size();
    out.textFileSize = size;
    struct Cleanup {
        const QString& txt;
        const QString& pdf;
        ~Cleanup() {
            fs::removeQuietly(txt);
            fs::removeQuietly(pdf);
        }
    } cleanup{txt, pdf};

    bool unreadable = false;
    try {
        unreadable = isUnreadableText(txt);
    } catch (const Error& e) {
        out.readabilityError = e.description();
        keep = false;
    }
    if (unreadable) {
        out.outcome = TextOutcome::Unreadable;
        if (keep)
            cache->store(*id, job.password,
                         CachedText::forOutcome(CachedOutcome::Unreadable, size));
        return;
    }
    try {
        out.chunks = readFileChunks(txt);
    } catch (const Error& e) {
        job.readError = e.description();
        return;
    }
    out.outcome = TextOutcome::Text;
    if (keep) cache->store(*id, job.password, CachedText::forText(out.chunks.utf8(), size));
}

}  // namespace qm
