#pragma once
// "The text of file i": where a search run gets the text of each listed file.
// The run asks one TextSource per file; the one used by the window extracts
// the file there and then, others may extract ahead or keep texts.

#include <QString>
#include <functional>

#include "extraction/extractor.h"
#include "text/textfile.h"

namespace qm {

class EventPump;
class MessageBoxes;

// What became of one file.
enum class TextOutcome {
    Text,        // readable text, in `chunks`
    NotCopied,   // the file could not be copied (gone, unreadable)
    Protected,   // the extractor wrote no text (password, copy protection, not a PDF)
    Unreadable,  // the text holds no readable characters (a scanned image)
};

struct FileText {
    TextOutcome outcome = TextOutcome::Protected;
    TextChunks chunks;
};

struct FileRequest {
    int index = 0;  // 1-based position in the file list
    QString path;   // as listed
    // Asked once the file is at hand; the password to try, empty for none.
    std::function<QString()> password;
    WaitDisplay wait;  // how a long extraction shows itself
};

// What a run tells its source before the first file, so that a source can
// work ahead of the file the run is at.
struct RunPlan {
    int count = 0;                       // files of the run
    std::function<QString(int)> pathAt;  // the path listed at position i now ("" past the end)
    // False while each file waits for its password prompt, and once a stop was asked for.
    std::function<bool()> mayWorkAhead;
};

class TextSource {
  public:
    virtual ~TextSource() = default;
    // The text of one file. Throws qm::Error on unexpected failures.
    virtual FileText obtain(const FileRequest& request) = 0;
    // A run begins; obtain() follows for files 1, 2, ... in order.
    virtual void beginRun(const RunPlan& plan) { (void)plan; }
    // The run is over (finished or stopped): work begun for later files is dropped.
    virtual void endRun() {}
};

// Copies the file to "tmp.pdf" of the work folder, extracts it to "tmp.txt"
// there, checks and reads the text, and deletes both work files (a copy that
// gave no text stays until the next copy replaces it).
class ExtractingTextSource : public TextSource {
  public:
    struct Setup {
        QString extractorPath;
        QString workFolder;
        EventPump* pump = nullptr;
        MessageBoxes* boxes = nullptr;  // for the readability test's own report
    };
    explicit ExtractingTextSource(Setup setup) : setup_(std::move(setup)) {}
    FileText obtain(const FileRequest& request) override;

  private:
    Setup setup_;
};

}  // namespace qm
