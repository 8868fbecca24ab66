#include "search/engine.h"

#include <QLocale>

#include "extraction/pipeline.h"
#include "fs/fs.h"
#include "search/regexsearch.h"

namespace qm {

namespace {

SearchProblem problem(SearchProblem::Kind kind, bool fatal = true) {
    SearchProblem p;
    p.kind = kind;
    p.fatal = fatal;
    return p;
}

}  // namespace

std::optional<SearchProblem> invalidPattern(const SearchOptions& options) {
    if (!options.regex) return std::nullopt;
    const auto fault = checkPatterns(options.phrases(), options.rules());
    if (!fault) return std::nullopt;
    SearchProblem p = problem(SearchProblem::Kind::InvalidPattern);
    p.pattern = fault->pattern;
    p.message = fault->message;
    p.character = fault->character;
    return p;
}

SearchEngine::SearchEngine() = default;

SearchEngine::~SearchEngine() {
    // The workers go first: they may still be storing texts in the caches.
    pipeline_.reset();
    if (cache_) cache_->attachDisk(nullptr);
}

std::vector<SearchProblem> SearchEngine::prepare(const SearchRequest& request) {
    std::vector<SearchProblem> problems;
    const SearchOptions& o = request.options;
    if (request.match &&
        (o.mode == SearchMode::Single ? isBlankPhrase(o.singlePhrase) : o.phrases().isEmpty())) {
        SearchProblem p = problem(SearchProblem::Kind::NothingToSearchFor);
        p.multiple = o.mode == SearchMode::Multiple;
        return {p};
    }
    // A pattern that does not compile is refused before any file is read.
    if (request.match) {
        if (auto p = invalidPattern(o)) return {*p};
    }
    if (request.files.isEmpty()) return {problem(SearchProblem::Kind::NoFiles)};
    if (request.workFolder.isEmpty()) return {problem(SearchProblem::Kind::NoWorkFolder)};

    plan_ = SessionPlan();
    plan_.files = request.files;
    plan_.options = o;
    plan_.match = request.match;
    // Texts only read are read without a password: nobody is asked.
    if (!request.match) plan_.options.promptForPassword = false;
    if (auto p = readScans(request)) {
        problems.push_back(*p);
        if (p->fatal) return problems;
    }
    if (auto p = keepTexts(request)) problems.push_back(*p);

    // The pipeline stays while what its workers depend on stays: its work
    // in hand and its workers serve every later search and check.
    const QString key = request.extractorPath + u'\n' + request.qpdfPath + u'\n' +
                        request.workFolder + u'\n' + QString::number(request.jobs) + u'\n' +
                        QString::number(request.timeLimitSeconds) + u'\n' +
                        QString::number(quintptr(cache_.get()));
    if (!pipeline_ || key != pipelineKey_) {
        TextPipeline::Setup setup;
        setup.extractorPath = request.extractorPath;
        setup.qpdfPath = request.qpdfPath;
        setup.workFolder = request.workFolder;
        setup.jobs = request.jobs;
        setup.timeLimitSeconds = request.timeLimitSeconds;
        setup.cache = cache_.get();
        pipeline_ = std::make_shared<TextPipeline>(std::move(setup));
        pipelineKey_ = key;
    }
    return problems;
}

std::optional<SearchProblem> SearchEngine::keepTexts(const SearchRequest& request) {
    if (request.keep == SearchRequest::Keep::Nothing) {
        if (cache_) pipeline_.reset();  // its workers store into the cache that goes
        cache_.reset();
        disk_.reset();
        return std::nullopt;
    }
    if (!cache_) cache_ = std::make_unique<TextCache>(request.memoryCacheBytes);
    const QString salt = extractorSalt(request.extractorPath);
    if (request.keep != SearchRequest::Keep::MemoryAndDisk || request.extractorPath.isEmpty()) {
        cache_->attachDisk(nullptr);
        disk_.reset();
        return std::nullopt;
    }
    if (disk_ && diskSalt_ == salt) return std::nullopt;  // said once, if at all
    cache_->attachDisk(nullptr);
    disk_ = std::make_unique<DiskTextCache>(DiskTextCache::defaultFolder(), salt);
    diskSalt_ = salt;
    if (disk_->usable()) {
        cache_->attachDisk(disk_.get());
        return std::nullopt;
    }
    SearchProblem p = problem(SearchProblem::Kind::CacheFolderRefused, false);
    p.folder = disk_->folder();
    p.refusal = disk_->refusal();
    p.error = disk_->refusalError();
    return p;
}

std::optional<SearchProblem> SearchEngine::readScans(const SearchRequest& request) {
    plan_.ocr = OcrSettings();
    plan_.ocr->tesseract.clear();
    if (!request.readScannedPages || !request.match) return std::nullopt;
    // tesseract is asked once for its version and languages.
    const bool fresh = !ocr_ || ocrAsked_ != request.tesseract;
    if (fresh) {
        ocr_ = OcrEngine::probe(request.workFolder, request.tesseract);
        ocrAsked_ = request.tesseract;
    }
    if (!ocr_->usable()) {
        // Said once; the search may go on without reading scanned pages.
        if (!fresh) return std::nullopt;
        SearchProblem p = problem(SearchProblem::Kind::OcrUnavailable, false);
        p.tesseract = request.tesseract.isEmpty() ? ocr_->tesseract : request.tesseract;
        // One that is there but gives no version is broken, not missing.
        p.present = !ocr_->tesseract.isEmpty() && fs::isFile(ocr_->tesseract);
        return p;
    }
    const QString languages = request.ocrLanguages.isEmpty()
                                  ? defaultOcrLanguages(ocr_->installed, {QLocale::system()})
                                  : request.ocrLanguages;
    const QStringList missing = missingOcrLanguages(languages, ocr_->installed);
    if (!missing.isEmpty()) {
        SearchProblem p = problem(SearchProblem::Kind::OcrLanguagesMissing);
        p.missing = missing;
        p.installed = ocr_->installed;
        return p;
    }
    plan_.ocr = ocrSettingsOf(*ocr_, languages);
    return std::nullopt;
}

}  // namespace qm
