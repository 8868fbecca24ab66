#pragma once
// One request, one assembly: what a face asks a search for (SearchRequest),
// and the engine that serves it (SearchEngine: the text cache in memory and on
// disk, the extraction pipeline, the OCR engine), built the same way for the
// window and the command line. What stands in the way comes back as typed
// problems; words/ puts them into words. A new search option is one field
// here, one control or flag in a face, and its use below.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "extraction/textcache.h"
#include "search/session.h"
#include "terms/searchoptions.h"

namespace qm {

class TextPipeline;

struct SearchRequest {
    SearchOptions options;  // phrases, case, loose, the password prompt
    // False: the texts are only read (the add-time check): no phrase is
    // needed, no password is asked and scanned pages are never read.
    bool match = true;
    QStringList files;      // as listed now
    QString extractorPath;  // pdftotext
    QString qpdfPath;       // empty: looked up on PATH
    QString workFolder;
    int jobs = 0;  // extractors at once; 0: one per core
    int timeLimitSeconds = kDefaultTimeLimitSeconds;
    // Scanned pages read with OCR, in these languages ("eng+deu"; empty: the
    // user's that are installed), by `tesseract` (empty: looked up on PATH).
    bool readScannedPages = false;
    QString ocrLanguages;
    QString tesseract;
    // Where extracted texts are kept: not at all, in memory for the engine's
    // life, or also on disk between runs.
    enum class Keep { Nothing, Memory, MemoryAndDisk } keep = Keep::Memory;
    std::int64_t memoryCacheBytes = TextCache::kDefaultBound;
};

struct SearchProblem {
    enum class Kind {
        NothingToSearchFor,   // a blank phrase, or a find set without one
        NoFiles,              // the list is empty
        NoWorkFolder,         // no private work folder could be made
        CacheFolderRefused,   // texts are not kept on disk (`folder`, `refusal`, `error`)
        OcrUnavailable,       // tesseract missing or not answering (`tesseract`)
        OcrLanguagesMissing,  // languages asked for that are not installed
        InvalidPattern,       // a pattern that does not compile (`pattern`, `message`, `character`)
    };
    Kind kind = Kind::NothingToSearchFor;
    // Whether the search can go on without what is missing.
    bool fatal = true;
    QString folder;
    CacheFolderRefusal refusal = CacheFolderRefusal::None;
    int error = 0;
    QString tesseract;          // as asked; empty when none was found
    bool present = false;       // OcrUnavailable: tesseract is there but gave no version
    QStringList missing;        // languages not installed
    QStringList installed;      // languages that are
    bool multiple = false;      // NothingToSearchFor: the find set was asked for
    QString pattern;            // InvalidPattern: the pattern as given,
    QString message;            // what PCRE2 says of it,
    std::size_t character = 0;  // and where (from 1)
};

// The first pattern of `options` that does not compile, when they are patterns.
std::optional<SearchProblem> invalidPattern(const SearchOptions& options);

// Owned by a face for as long as its texts should be kept (the window's life,
// one command line run); every search and check goes through it.
class SearchEngine {
  public:
    SearchEngine();
    ~SearchEngine();
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // Builds the pipeline for `request` (kept when nothing it depends on
    // changed) and the session's plan. A problem said once stays unsaid while
    // its cause stays (a refused cache folder, a tesseract that did not
    // answer). Nothing is built when a problem is fatal.
    std::vector<SearchProblem> prepare(const SearchRequest& request);
    // Only the reading of scanned pages, checked ahead of the rest (the
    // command line refuses an unusable --ocr before it walks any folder);
    // tesseract is asked once, so prepare() does not ask again.
    std::optional<SearchProblem> prepareOcr(const SearchRequest& request) {
        return readScans(request);
    }
    // The plan of the request prepared last.
    const SessionPlan& plan() const { return plan_; }
    // The pipeline of the request prepared last (null before the first).
    const std::shared_ptr<TextPipeline>& pipeline() const { return pipeline_; }
    TextCache* cache() { return cache_.get(); }

  private:
    std::optional<SearchProblem> keepTexts(const SearchRequest& request);
    std::optional<SearchProblem> readScans(const SearchRequest& request);

    SessionPlan plan_;
    std::unique_ptr<TextCache> cache_;
    std::unique_ptr<DiskTextCache> disk_;
    QString diskSalt_;
    std::optional<OcrEngine> ocr_;
    QString ocrAsked_;  // the tesseract `ocr_` answers for
    std::shared_ptr<TextPipeline> pipeline_;
    QString pipelineKey_;  // what `pipeline_` was built for
};

}  // namespace qm
