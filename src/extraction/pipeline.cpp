#include "extraction/pipeline.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "extraction/extractor.h"
#include "extraction/pagesplit.h"
#include "extraction/readability.h"
#include "extraction/textcache.h"
#include "fs/fs.h"
#include "platform/services.h"
#include "text/error.h"

namespace qm {

TextOnDisk::~TextOnDisk() {
    fs::removeQuietly(path);
}

struct TextPipeline::Job {
    TextPipeline* owner = nullptr;
    std::int64_t held = 0;  // bytes of `text` counted against the memory budget
    ~Job() { release(); }
    void release() {
        if (held > 0) owner->released(held);
        held = 0;
    }
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
        case CachedOutcome::Damaged:
            return TextOutcome::Damaged;
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
    if (setup_.qpdfPath.isEmpty()) setup_.qpdfPath = findQpdf();
    if (setup_.pdfinfoPath.isEmpty()) setup_.pdfinfoPath = findPdfinfo();
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
        const QString password = request.password ? request.password() : QString();
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
    const QString password = request.password ? request.password() : QString();
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

bool TextPipeline::wait(Job& job, const WaitDisplay& display,
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

        display.poll(++polls);
    }
    display.finish();
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
    const QString opened = folder + u'/' + QString::fromLatin1(kDecryptedPdfName);
    fs::removeQuietly(txt);
    fs::removeQuietly(opened);
    replaceLeftover(pdf);
    // A stop at once (or the end of the run's work) ends a long copy too.
    const auto copyEnded = [&job] { return job.token.cancelled() || extractionsEnded(); };
    switch (copyToTemporary(job.path, pdf, copyEnded)) {
        case fs::CopyResult::Copied:
            break;
        case fs::CopyResult::Cancelled:
            out.outcome = TextOutcome::Ended;
            return;
        case fs::CopyResult::SourceUnreadable:
            out.outcome = TextOutcome::NotCopied;
            return;
        case fs::CopyResult::WriteFailed:
            out.outcome = TextOutcome::CopyFailed;
            return;
    }

    const int limitMs = setup_.timeLimitSeconds > 0 ? setup_.timeLimitSeconds * 1000 : 0;
    bool ended = false;
    bool timedOut = false;
    auto run = [&](const QString& program, const QStringList& args, const QByteArray& input) {
        const ChildResult r = runChild(program, args, job.token, input, limitMs);
        ended = ended || r.ended;
        timedOut = timedOut || r.timedOut;
        return r;
    };
    // With a password, qpdf decrypts the copy (the password goes to it on
    // standard input) and the decrypted copy is extracted; when that fails
    // (a wrong password, a file without one) the copy is extracted as it is.
    bool decrypted = false;
    if (!job.password.isEmpty() && !setup_.qpdfPath.isEmpty()) {
        const ChildResult r =
            run(setup_.qpdfPath, decryptArguments(pdf, opened), passwordInput(job.password));
        // qpdf's 3: done, with warnings.
        decrypted = r.exited && (r.exitCode == 0 || r.exitCode == 3) && fs::isFile(opened);
        if (!decrypted) fs::removeQuietly(opened);
    }
    ChildResult extracted;
    if (!ended && !timedOut && job.password.isEmpty() &&
        extractSplit(job, pdf, txt, folder, limitMs, ended, timedOut)) {
        extracted.started = extracted.exited = true;
        extracted.exitCode = 0;
    }
    if (!ended && !timedOut && !extracted.exited) {
        extracted = decrypted ? run(setup_.extractorPath, {opened, txt}, {})
                              : run(setup_.extractorPath, plainArguments(pdf), {});
    }
    fs::removeQuietly(opened);

    struct Cleanup {
        const QString& txt;
        const QString& pdf;
        bool keepPdf = false;
        ~Cleanup() {
            fs::removeQuietly(txt);
            if (keepPdf)
                keepLeftover(pdf);  // the copy stays until the next copy replaces it
            else
                fs::removeQuietly(pdf);
        }
    } cleanup{txt, pdf};

    if (ended) {
        // Ended with its run (or the window): the result is dropped.
        out.outcome = TextOutcome::Ended;
        return;
    }
    if (timedOut) {
        out.outcome = TextOutcome::TimedOut;
        return;
    }
    // Only what the extractor itself made, having run to its end, is kept,
    // for a file that stayed as it was.
    bool keep = cache && id && extracted.exited && FileIdentity::of(job.path) == id;

    if (!extracted.exited || extracted.exitCode != 0) {
        // No text: a half-written one is never taken for the file's text.
        cleanup.keepPdf = true;
        out.outcome = TextOutcome::Failed;
        if (!extracted.started) {
            // The extractor is missing or cannot be started: as before, the
            // file is reported as giving no text.
            out.outcome = TextOutcome::Protected;
            return;
        }
        CachedOutcome cached = CachedOutcome::NoTextFile;
        if (extracted.exited && extracted.exitCode == kExtractorPermissions) {
            out.outcome = TextOutcome::Protected;
        } else if (extracted.exited && extracted.exitCode == kExtractorCannotOpen) {
            // A password needed, or a file no password would open?
            out.outcome = TextOutcome::Protected;
            keep = keep && !setup_.qpdfPath.isEmpty();
            if (!setup_.qpdfPath.isEmpty()) {
                const ChildResult q = run(setup_.qpdfPath, requiresPasswordArguments(pdf), {});
                if (ended || timedOut || !q.exited) {
                    keep = false;
                } else if (q.exitCode != 0) {
                    out.outcome = TextOutcome::Damaged;
                    cached = CachedOutcome::Damaged;
                }
            }
        } else {
            keep = false;  // a passing cause: a signal, no room, no memory
        }
        if (keep) cache->store(*id, job.password, CachedText::forOutcome(cached, -1));
        return;
    }
    if (!fs::isFile(txt)) {
        // Done, and no text file: as ever, a file that gives no text.
        cleanup.keepPdf = true;
        out.outcome = TextOutcome::Protected;
        return;
    }
    const std::int64_t size = QFileInfo(txt).size();
    out.textFileSize = size;

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
    if (size > setup_.largeTextBytes) {
        // Too large to hold: the text file itself waits for its turn, beside
        // the worker's folder, and goes when its reader lets it go. Not kept
        // in the cache, whose entries are held whole.
        const QString kept = setup_.workFolder + u'/' + setup_.workerFolderPrefix +
                             QStringLiteral("text%1.txt").arg(++spoolSerial_);
        fs::removeQuietly(kept);
        if (!QFile::rename(txt, kept)) {
            job.readError = QStringLiteral("Cannot keep the text file ") + txt;
            return;
        }
        out.onDisk = std::make_shared<TextOnDisk>(kept);
        out.outcome = TextOutcome::Text;
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

namespace qm {

int TextPipeline::queuedThatMayBegin(int atMost) const {
    int count = 0;
    for (const auto& queued : queue_)
        if (mayBegin(*queued) && ++count >= atMost) break;
    return count;
}

bool TextPipeline::nearTheEnd() {
    // Fewer files that may begin than workers: before long some worker will
    // have nothing of its own to do.
    std::lock_guard lock(mutex_);
    return queuedThatMayBegin(jobs_) < jobs_;
}

bool TextPipeline::lendWorker(const std::function<bool()>& wanted) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (quit_ || !wanted()) return false;
        // A file of its own comes first for a free worker.
        if (busy_ < jobs_ && queuedThatMayBegin(1) == 0) {
            ++busy_;
            return true;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(50));
    }
}

void TextPipeline::returnWorker() {
    {
        std::lock_guard lock(mutex_);
        --busy_;
    }
    wake_.notify_all();
}

bool TextPipeline::extractSplit(Job& job, const QString& pdf, const QString& txt,
                                const QString& folder, int limitMs, bool& ended, bool& timedOut) {
    if (jobs_ < 2 || setup_.splitMinBytes < 0 || setup_.pdfinfoPath.isEmpty() ||
        QFileInfo(pdf).size() < setup_.splitMinBytes || !nearTheEnd())
        return false;
    const int pages = countPages(setup_.pdfinfoPath, pdf, folder + QStringLiteral("/info.txt"),
                                 job.token, limitMs);
    const std::vector<PageRange> ranges = planPageRanges(
        pages, jobs_ * std::max(1, setup_.splitRangesPerWorker), setup_.splitMinPages);
    if (ranges.size() < 2) return false;
    // Every other worker joins the ranges as soon as it has nothing else to do.
    RangeHelpers helpers;
    helpers.count = jobs_ - 1;
    helpers.join = [this](const std::function<bool()>& wanted) { return lendWorker(wanted); };
    helpers.leave = [this] { returnWorker(); };
    helpers.wake = [this] { wake_.notify_all(); };
    const SplitResult r = extractInRanges(setup_.extractorPath, pdf, txt, folder, ranges, helpers,
                                          job.token, limitMs);
    ended = ended || r.ended;
    timedOut = timedOut || r.timedOut;
    return r.done;
}

}  // namespace qm
