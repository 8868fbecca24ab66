#include "search/searchahead.h"

#include <vector>

#include "extraction/textcache.h"
#include "search/regexsearch.h"
#include "search/searcher.h"
#include "search/sink.h"
#include "text/error.h"

namespace qm {

std::size_t searchPages(const QString& path, const FileText& text, const SearchOptions& options,
                        SearchSink& sink) {
    const QStringList phrases = options.phrases();
    const MatchRules rules = options.rules();
    // A large text is searched chunk by chunk from its file.
    if (text.onDisk) return searchTextFile(path, text.onDisk->path, phrases, rules, sink);
    if (!text.kept) return searchText(path, text.chunks, phrases, rules, sink);
    // A kept text is unpacked as the exact search of one phrase goes; the
    // others take it whole, all phrases in one pass.
    if (phrases.size() == 1 && !rules.loose && !rules.regex) {
        const std::shared_ptr<const CachedText> kept = text.kept;
        return searchTextChunks(
            path,
            [&kept](const std::function<void(std::string_view)>& chunk) {
                kept->forEachChunk(chunk);
            },
            phrases, rules, sink);
    }
    return searchText(path, text.kept->chunks(), phrases, rules, sink);
}

namespace {

// One occurrence as the worker found it; its bytes are in Found::kept.
struct KeptHit {
    std::size_t phrase, chunk, offset, page, length;
    std::size_t from;                // the kept stretch of its chunk: bytes[from, from + size)
    std::size_t size, sourceAt;      // and where the occurrence begins in it
    std::size_t textFrom, textSize;  // the snippet's text, in bytes
    std::size_t matchAt;             // Snippet::matchAt
    std::size_t matchedFrom, matchedSize;
    bool leadingMarker, matched;
};

struct Found : WorkedText {
    std::size_t count = 0;  // reported, whether kept or only counted
    bool countedOnly = false;
    std::vector<KeptHit> hits;
    std::string kept;     // the hits' bytes
    QStringList phrases;  // Hit::phraseText, by Hit::phrase
    enum class Failure { None, TooComplex, Error } failure = Failure::None;
    QString error;
};

// Keeps the occurrences of one file, or only counts them.
class Keeper : public SearchSink {
  public:
    Keeper(Found& found, bool countsOnly, const ChildToken& stop, std::size_t bound)
        : found_(found), countsOnly_(countsOnly), stop_(stop), bound_(bound) {}
    bool overflowed = false;  // more than the bound: nothing kept is of use
    bool countsOnly() const override { return countsOnly_; }
    SinkAnswer occurrence(const Hit& hit) override {
        ++found_.count;
        if (!countsOnly_) {
            keep(hit);
            overflowed = found_.kept.size() + found_.hits.size() * sizeof(KeptHit) > bound_;
        }
        // A file withdrawn meanwhile is not searched to its end.
        return overflowed || stop_.cancelled() ? SinkAnswer::Enough : SinkAnswer::More;
    }

  private:
    std::size_t append(std::string_view bytes) {
        const std::size_t at = found_.kept.size();
        found_.kept.append(bytes);
        return at;
    }
    void keep(const Hit& hit) {
        const Snippet& s = hit.snippet;
        const Context around = contextOf(s, hit.length, kHitContextKept);
        // The stretch kept runs over the context and the snippet's text alike.
        const char* first = around.before.data();
        const char* last = around.after.data() + around.after.size();
        const bool textInside = s.text.data() >= s.source.data() &&
                                s.text.data() + s.text.size() <= s.source.data() + s.source.size();
        if (textInside) {
            first = std::min(first, s.text.data());
            last = std::max(last, s.text.data() + s.text.size());
        }
        KeptHit k{};
        k.phrase = hit.phrase;
        k.chunk = hit.chunk;
        k.offset = hit.offset;
        k.page = hit.page;
        k.length = hit.length;
        k.size = static_cast<std::size_t>(last - first);
        k.from = append(std::string_view(first, k.size));
        k.sourceAt = std::min(s.sourceAt, s.source.size()) -
                     static_cast<std::size_t>(first - s.source.data());
        k.textSize = s.text.size();
        k.textFrom =
            textInside ? k.from + static_cast<std::size_t>(s.text.data() - first) : append(s.text);
        k.matchAt = s.matchAt;
        k.leadingMarker = s.leadingMarker;
        k.matched = !hit.matched.empty();
        k.matchedSize = hit.matched.size();
        k.matchedFrom = k.matched ? append(hit.matched) : 0;
        found_.hits.push_back(k);
        if (static_cast<std::size_t>(found_.phrases.size()) <= hit.phrase)
            found_.phrases.resize(qsizetype(hit.phrase) + 1);
        if (found_.phrases.at(qsizetype(hit.phrase)).isEmpty())
            found_.phrases[qsizetype(hit.phrase)] = hit.phraseText;
    }

    Found& found_;
    bool countsOnly_;
    const ChildToken& stop_;
    std::size_t bound_;
};

// Stands in for the sink of a file that was only counted: every occurrence
// bears the same snippet-less hit.
const Snippet kNoSnippet;

}  // namespace

SearchAhead::SearchAhead(SearchOptions options, bool countsOnly, bool keepsText,
                         std::size_t keptBytesBound)
    : options_(std::move(options)),
      countsOnly_(countsOnly),
      keepsText_(keepsText),
      bound_(keptBytesBound) {}

std::shared_ptr<const WorkedText> SearchAhead::work(const QString& path, const FileText& text,
                                                    const ChildToken& stop) const {
    auto found = std::make_shared<Found>();
    found->countedOnly = countsOnly_;
    Keeper keeper(*found, countsOnly_, stop, bound_);
    try {
        searchPages(path, text, options_, keeper);
    } catch (const PatternTooComplex&) {
        found->failure = Found::Failure::TooComplex;
    } catch (const Error& e) {
        found->failure = Found::Failure::Error;
        found->error = e.description();
    } catch (const std::exception& e) {
        found->failure = Found::Failure::Error;
        found->error = QString::fromLocal8Bit(e.what());
    }
    if (keeper.overflowed) return nullptr;
    found->kept.shrink_to_fit();
    found->hits.shrink_to_fit();
    found->bytes = static_cast<std::int64_t>(found->kept.capacity() +
                                             found->hits.capacity() * sizeof(KeptHit));
    return found;
}

std::size_t SearchAhead::replay(const QString& path, const WorkedText& worked, SearchSink& sink) {
    const auto& found = static_cast<const Found&>(worked);
    std::size_t reported = 0;
    const auto take = [&](const Hit& hit) {
        ++reported;
        return sink.occurrence(hit) == SinkAnswer::More;
    };
    if (found.countedOnly) {
        // Counted only: the sink reads nothing of them.
        for (std::size_t k = 0; k < found.count; ++k)
            if (!take(Hit{path, 0, 0, 0, kNoSnippet, 1, QString(), 0})) break;
    } else {
        const std::string_view bytes = found.kept;
        for (const KeptHit& k : found.hits) {
            Snippet s;
            s.leadingMarker = k.leadingMarker;
            s.source = bytes.substr(k.from, k.size);
            s.sourceAt = k.sourceAt;
            s.text = bytes.substr(k.textFrom, k.textSize);
            s.matchAt = k.matchAt;
            Hit hit{path,
                    k.phrase,
                    k.chunk,
                    k.offset,
                    s,
                    k.page,
                    found.phrases.value(qsizetype(k.phrase)),
                    k.length};
            if (k.matched) hit.matched = bytes.substr(k.matchedFrom, k.matchedSize);
            if (!take(hit)) break;
        }
    }
    if (found.failure == Found::Failure::TooComplex) throw PatternTooComplex{reported};
    if (found.failure == Found::Failure::Error) throw Error(found.error);
    return reported;
}

}  // namespace qm
