// One file's extraction on a worker (TextPipeline::process), step by step:
// the text cache, the copy into the worker's folder, qpdf for a password, the
// extractor (whole, or as page ranges), the time limit, scanned pages read
// with OCR when asked for, and what the result is: a text held or spooled to
// disk, or an outcome without text.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

#include "extraction/extractor.h"
#include "extraction/pipeline.h"
#include "extraction/pipeline_filework.h"
#include "extraction/pipeline_job.h"
#include "extraction/readability.h"
#include "extraction/textcache.h"
#include "fs/fs.h"
#include "text/error.h"

namespace qm {

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

}  // namespace

TextPipeline::FileWork::FileWork(TextPipeline& owner, Job& job, int slot)
    : owner_(owner),
      setup_(owner.setup_),
      job_(job),
      out_(job.text),
      id_(FileIdentity::of(job.path)),
      folder_(setup_.workFolder + u'/' + setup_.workerFolderPrefix + QString::number(slot)),
      pdf_(folder_ + u'/' + QString::fromLatin1(kTemporaryPdfName)),
      txt_(folder_ + u'/' + QString::fromLatin1(kTemporaryTextName)),
      opened_(folder_ + u'/' + QString::fromLatin1(kDecryptedPdfName)),
      limitMs_(setup_.timeLimitSeconds > 0 ? setup_.timeLimitSeconds * 1000 : 0) {}

TextPipeline::FileWork::~FileWork() {
    if (!cleanUp_) return;
    fs::removeQuietly(txt_);
    fs::removeQuietly(opened_);
    if (keepPdf_)
        keepLeftover(pdf_);
    else
        fs::removeQuietly(pdf_);
}

ChildResult TextPipeline::FileWork::run(const QString& program, const QStringList& args,
                                        const QByteArray& input, const QString& output) {
    const ChildResult r = runChild(program, args, job_.token, input, limitMs_, output);
    ended_ = ended_ || r.ended;
    timedOut_ = timedOut_ || r.timedOut;
    lost_ = lost_ || r.outputLost;
    return r;
}

// A kept text serves as long as the file is unchanged and still opens. With
// scanned pages read, a plain text serves too when it has no page for OCR
// (every page has text enough, or the file gave no text at all).
bool TextPipeline::FileWork::servedFromCache() {
    if (!setup_.cache || !id_) return false;
    // A run that only keeps what its work finds searches a large text as it
    // reads it from the disk cache.
    const bool streamed = job_.keptOnDemand && job_.work && !job_.work->keepsText();
    auto entry = setup_.cache->find(*id_, job_.password, job_.reading.cacheTag(), streamed);
    if (entry && entry->stream) {
        if (workedAsRead(entry)) return true;
        // Damaged, or the work left the text to its run: read it whole.
        entry = setup_.cache->find(*id_, job_.password, job_.reading.cacheTag());
    }
    const bool plain = !entry && job_.reading.on();
    if (plain) {
        entry = setup_.cache->find(*id_, job_.password);
        if (entry && entry->outcome == TextOutcome::Unreadable) entry.reset();
    }
    // The identity was taken from the file a moment ago (a regular file's
    // only): looking at it again tells nothing more.
    if (!entry) return false;
    try {
        if (plain && entry->outcome == TextOutcome::Text) {
            out_.chunks = entry->chunks();
            const TextPages pages = findTextlessPagesIn(out_.chunks.utf8());
            if (!pages.textless.empty() || !pages.fewCharacters.empty()) {
                out_.chunks = TextChunks();
                return false;  // a plain text with a page of little text: the page may be a scan
            }
        } else if (job_.keptOnDemand && entry->outcome == TextOutcome::Text) {
            out_.kept = entry;
        } else {
            out_.chunks = entry->chunks();
        }
        out_.outcome = entry->outcome;
        out_.textFileSize = entry->textFileSize;
        out_.ocrPages = entry->ocrPages;
        out_.ocrConfidence = entry->ocrConfidence;
        return true;
    } catch (const Error&) {
        return false;  // a damaged entry: the file is extracted anew
    }
}

// The run's work done on a text as it streams from the disk cache. What it
// found is kept only when the whole entry then passes its check.
bool TextPipeline::FileWork::workedAsRead(const std::shared_ptr<const CachedText>& entry) {
    out_.kept = entry;
    out_.outcome = TextOutcome::Text;
    workOn(job_);
    if (out_.worked && entry->stream->whole()) {
        out_.textFileSize = entry->textFileSize;
        out_.ocrPages = entry->ocrPages;
        out_.ocrConfidence = entry->ocrConfidence;
        return true;
    }
    const bool left = out_.worked == nullptr;
    out_ = FileText();
    // A text the work left to the run is not worked again.
    job_.worked = left;
    return false;
}

// The file is copied into the worker's folder; the extractor only ever sees the copy.
bool TextPipeline::FileWork::copied() {
    QDir().mkpath(folder_);
    fs::removeQuietly(txt_);
    fs::removeQuietly(opened_);
    replaceLeftover(pdf_);
    // A stop at once (or the end of the run's work) ends a long copy too.
    Job& job = job_;
    const auto copyEnded = [&job] { return job.token.cancelled() || extractionsEnded(); };
    switch (copyToTemporary(job_.path, pdf_, copyEnded)) {
        case fs::CopyResult::Copied:
            return copy_ = true;
        case fs::CopyResult::Cancelled:
            out_.outcome = TextOutcome::Ended;
            break;
        case fs::CopyResult::SourceUnreadable:
            out_.outcome = TextOutcome::NotCopied;
            break;
        case fs::CopyResult::WriteFailed:
            out_.outcome = TextOutcome::CopyFailed;
            break;
    }
    return false;
}

// With a password, qpdf decrypts the copy (the password goes to it on
// standard input) and the decrypted copy is extracted; when that fails (a
// wrong password, a file without one) the copy is extracted as it is. A file
// without a password may be extracted as page ranges on workers lent to it.
// The children's output comes through pipes and is written here: the
// decrypted copy to `opened_`, the text to `txt_`.
void TextPipeline::FileWork::extract() {
    if (!job_.password.isEmpty() && !setup_.qpdfPath.isEmpty()) {
        const ChildResult r =
            run(setup_.qpdfPath, decryptArguments(pdf_), passwordInput(job_.password), opened_);
        // qpdf's 3: done, with warnings.
        decrypted_ =
            r.exited && (r.exitCode == 0 || r.exitCode == 3) && !lost_ && fs::isFile(opened_);
        if (!decrypted_) fs::removeQuietly(opened_);
    }
    if (!ended_ && !timedOut_ && !lost_ && job_.password.isEmpty() &&
        owner_.extractSplit(job_, pdf_, txt_, folder_, limitMs_, ended_, timedOut_)) {
        extracted_.started = extracted_.exited = true;
        extracted_.exitCode = 0;
    }
    if (!ended_ && !timedOut_ && !lost_ && !extracted_.exited) {
        extracted_ =
            run(setup_.extractorPath, plainArguments(decrypted_ ? opened_ : pdf_), {}, txt_);
    }
    // Scanned pages are rendered from the decrypted copy: it stays until the
    // file is done.
    if (!job_.reading.on() && !beyondPages(job_.sources)) fs::removeQuietly(opened_);
    cleanUp_ = true;
}

bool TextPipeline::FileWork::interrupted() {
    if (ended_) {
        // Ended with its run (or the window): the result is dropped.
        out_.outcome = TextOutcome::Ended;
        return true;
    }
    if (timedOut_) {
        out_.outcome = TextOutcome::TimedOut;
        return true;
    }
    return false;
}

// A text, or a decrypted copy, that could not be written whole is never taken
// (nor kept): the file is reported as not copied for want of room, and its
// copy goes to give the room back.
bool TextPipeline::FileWork::notWritten() {
    if (!lost_) return false;
    out_.outcome = TextOutcome::CopyFailed;
    return true;
}

// Only what the extractor itself made, having run to its end, is kept, for a
// file that stayed as it was.
void TextPipeline::FileWork::decideKeeping() {
    keep_ = setup_.cache && id_ && extracted_.exited && FileIdentity::of(job_.path) == id_;
}

// No text: a half-written one is never taken for the file's text. The
// extractor's exit code tells a protected file; qpdf tells a damaged one.
void TextPipeline::FileWork::classifyFailure() {
    keepPdf_ = true;
    out_.outcome = TextOutcome::Failed;
    if (!extracted_.started) {
        // The extractor is missing or cannot be started: as before, the file
        // is reported as giving no text.
        out_.outcome = TextOutcome::Protected;
        return;
    }
    if (extracted_.exited && extracted_.exitCode == kExtractorPermissions) {
        out_.outcome = TextOutcome::Protected;
    } else if (extracted_.exited && extracted_.exitCode == kExtractorCannotOpen) {
        // A password needed, or a file no password would open?
        out_.outcome = TextOutcome::Protected;
        keep_ = keep_ && !setup_.qpdfPath.isEmpty();
        if (!setup_.qpdfPath.isEmpty()) {
            const ChildResult q = run(setup_.qpdfPath, requiresPasswordArguments(pdf_), {});
            if (ended_ || timedOut_ || !q.exited) {
                keep_ = false;
            } else if (q.exitCode != 0) {
                out_.outcome = TextOutcome::Damaged;
            }
        }
    } else if (extracted_.exited && extracted_.exitCode == kExtractorOtherError &&
               !setup_.qpdfPath.isEmpty()) {
        // No pages, for one: damaged when qpdf's check finds fault with it too.
        const ChildResult q = run(setup_.qpdfPath, checkArguments(pdf_), {});
        if (!ended_ && !timedOut_ && q.exited && q.exitCode != 0)
            out_.outcome = TextOutcome::Damaged;
        else
            keep_ = false;
    } else {
        keep_ = false;  // a passing cause: a signal, no room, no memory
    }
    if (keep_) store(CachedText::forOutcome(out_.outcome, -1));
}

bool TextPipeline::FileWork::textFileMissing() {
    if (fs::isFile(txt_)) {
        out_.textFileSize = QFileInfo(txt_).size();
        return false;
    }
    // Done, and no text file (not one byte of text): as ever, a file that
    // gives no text.
    keepPdf_ = true;
    out_.outcome = TextOutcome::Protected;
    return true;
}

// A text without readable characters (a scanned image). When the test cannot
// read the text file, the text is searched as it is and this is reported.
bool TextPipeline::FileWork::unreadable() {
    bool unreadable = false;
    try {
        unreadable = isUnreadableText(txt_);
    } catch (const Error& e) {
        out_.readabilityError = e.description();
        keep_ = false;
    }
    if (!unreadable) return false;
    out_.outcome = TextOutcome::Unreadable;
    if (keep_) store(CachedText::forOutcome(TextOutcome::Unreadable, out_.textFileSize));
    return true;
}

// Too large to hold: the text file itself waits for its turn, beside the
// worker's folder, and goes when its reader lets it go. Not kept in the
// cache, whose entries are held whole.
bool TextPipeline::FileWork::spooled() {
    if (out_.textFileSize <= setup_.largeTextBytes) return false;
    const QString kept = setup_.workFolder + u'/' + setup_.workerFolderPrefix +
                         QStringLiteral("text%1.txt").arg(++owner_.spoolSerial_);
    fs::removeQuietly(kept);
    if (!QFile::rename(txt_, kept)) {
        job_.readError = QStringLiteral("Cannot keep the text file ") + txt_;
        return true;
    }
    out_.onDisk = std::make_shared<TextOnDisk>(kept);
    out_.outcome = TextOutcome::Text;
    return true;
}

// With OCR on, the pages without text of their own that hold an image are
// read and their text put in its place in the text file. A page that could
// not be read leaves the file failed, and nothing is kept.
bool TextPipeline::FileWork::scannedPagesUnread() {
    if (!job_.reading.on()) return false;
    OcrStep step;
    try {
        step = owner_.readScanned(job_, decrypted_ ? opened_ : pdf_, txt_, folder_, limitMs_);
    } catch (const Error&) {
        return false;  // the text file cannot be read: the readability test says so
    }
    ended_ = ended_ || step.ended;
    timedOut_ = timedOut_ || step.timedOut;
    if (interrupted()) return true;
    lost_ = step.lost;
    if (notWritten()) return true;
    if (step.failed) {
        keepPdf_ = true;
        out_.outcome = TextOutcome::Failed;
        return true;
    }
    out_.ocrPages = std::move(step.pages);
    out_.ocrConfidence = std::move(step.confidence);
    if (!out_.ocrPages.empty()) out_.textFileSize = QFileInfo(txt_).size();
    // A file changed while its pages were read is not kept.
    keep_ = keep_ && FileIdentity::of(job_.path) == id_;
    return false;
}

void TextPipeline::FileWork::readText() {
    try {
        out_.chunks = readFileChunks(txt_);
    } catch (const Error& e) {
        job_.readError = e.description();
        return;
    }
    out_.outcome = TextOutcome::Text;
    if (keep_)
        store(CachedText::forText(out_.chunks.utf8(), out_.textFileSize, out_.ocrPages,
                                  out_.ocrConfidence));
}

// One file, on worker `slot`: each step either settles the outcome (and the
// file is done) or hands on to the next.
void TextPipeline::process(Job& job, int slot) {
    FileWork file(*this, job, slot);
    if (file.servedFromCache()) return file.addOtherTexts();
    if (!file.copied()) return;
    file.extract();
    if (file.interrupted()) return;
    if (file.notWritten()) return;
    file.decideKeeping();
    if (file.extractorFailed()) return file.classifyFailure();
    if (file.textFileMissing()) return;
    if (file.scannedPagesUnread()) return;
    if (file.unreadable()) return file.addOtherTexts();
    if (!file.spooled()) file.readText();
    file.addOtherTexts();
}

}  // namespace qm
