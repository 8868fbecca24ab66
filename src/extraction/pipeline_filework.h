#pragma once
// The state of one file's extraction on a worker, between the steps of
// TextPipeline::process (extractfile.cpp; the texts beside the pages in
// extractothers.cpp). Seen only by the pipeline's own files.

#include <QString>
#include <optional>

#include "extraction/child.h"
#include "extraction/pipeline.h"
#include "extraction/pipeline_job.h"
#include "extraction/textcache.h"

namespace qm {

// The state of one file's extraction between the steps of process().
class TextPipeline::FileWork {
  public:
    FileWork(TextPipeline& owner, Job& job, int slot);
    // Once the extractor has run: the text file goes, and the copy too unless
    // it gave no text (then it stays until the next copy replaces it).
    ~FileWork();
    FileWork(const FileWork&) = delete;
    FileWork& operator=(const FileWork&) = delete;

    bool servedFromCache();
    bool workedAsRead(const std::shared_ptr<const CachedText>& entry);
    bool copied();
    void extract();
    bool interrupted();
    bool notWritten();
    void decideKeeping();
    bool extractorFailed() const { return !extracted_.exited || extracted_.exitCode != 0; }
    void classifyFailure();
    bool textFileMissing();
    bool scannedPagesUnread();
    bool unreadable();
    bool spooled();
    void readText();
    void addOtherTexts();

  private:
    // Runs a child; with `output`, its standard output is written to that file.
    ChildResult run(const QString& program, const QStringList& args, const QByteArray& input,
                    const QString& output = {});
    void store(const CachedText& entry) {
        setup_.cache->store(*id_, job_.password, entry, job_.reading.cacheTag());
    }

    TextPipeline& owner_;
    const Setup& setup_;
    Job& job_;
    FileText& out_;
    const std::optional<FileIdentity> id_;
    // The worker's folder and its work files: the copy, the text, the decrypted copy.
    QString folder_, pdf_, txt_, opened_;
    int limitMs_ = 0;
    bool ended_ = false;     // a child was ended through the token or with all extractions
    bool timedOut_ = false;  // a child reached the time limit
    bool lost_ = false;      // a child's output could not all be written (a full disk)
    ChildResult extracted_;
    bool keep_ = false;  // the outcome may go into the text cache
    bool cleanUp_ = false;
    bool keepPdf_ = false;
    bool decrypted_ = false;  // `opened_` holds the decrypted copy
    bool copy_ = false;       // `pdf_` holds the copy
};

}  // namespace qm
