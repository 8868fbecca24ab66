#include "search/searcher.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "search/loosesearch.h"
#include "search/matcher.h"
#include "search/pages.h"
#include "search/regexsearch.h"
#include "search/sink.h"
#include "text/utf8.h"

namespace qm {

namespace {

// Thrown out of a file's chunks when the sink has enough.
struct Enough {};

// Byte offset `count` code points before `from` in valid UTF-8, or 0.
std::size_t backCodePoints(std::string_view text, std::size_t from, std::size_t count) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    for (; count > 0 && from > 0; --count) {
        --from;
        while (from > 0 && utf8::isContinuation(s[from])) --from;
    }
    return from;
}

// An occurrence that begins in one chunk and ends in the next is found in the
// seam of the two: the end of the first chunk (the longest phrase less one
// code point, and a snippet's lead-in before it) joined to the beginning of
// the next (the longest phrase less one code point, and at least a
// snippet's length). Its snippet is cut from the seam by the rules of any
// other, so it runs on into the next chunk; occurrences inside one chunk keep
// the snippets that stop at its end. Ignoring accents, a letter of the phrase
// may stand for a letter and its marks in the text: a seam then reaches three
// code points for each; with whole words it holds the character after the
// longest occurrence too.
struct SeamBounds {
    std::size_t longest = 0;  // code points of the longest phrase
    std::size_t extra = 0;

    SeamBounds(const std::vector<std::string>& prepared, const TermMatcher& matcher) {
        for (const std::string& p : prepared) longest = std::max(longest, utf8::countCodePoints(p));
        if (matcher.ignoresAccents()) longest *= 3;
        extra = matcher.wholeWords() ? 1 : 0;
    }
    bool any() const { return longest > 1; }
    // Where the seam begins in the chunk that ends at it.
    std::size_t tailStart(std::string_view chunk) const {
        return backCodePoints(chunk, chunk.size(), longest - 1 + kSnippetLeadIn);
    }
    // Code points of the seam after the join.
    std::size_t head() const { return std::max(longest - 1 + extra, kSnippetLength); }
    // Where the seam ends in the text that begins at it.
    std::size_t headEnd(std::string_view text) const {
        return utf8::advanceCodePoints(text, 0, head());
    }
};

// Where an occurrence of `length` bytes at `offset` ends without the combining
// marks at its end (they are part of it when accents are ignored).
std::size_t endBeforeMarks(std::string_view text, std::size_t offset, std::size_t length) {
    std::size_t end = offset + length;
    while (end > offset) {
        const std::size_t start = backCodePoints(text, end, 1);
        std::size_t len = end - start;
        const char32_t c =
            utf8::decode(reinterpret_cast<const unsigned char*>(text.data()) + start, len);
        if (!isCombiningMark(c)) break;
        end = start;
    }
    return end;
}

// Every occurrence in `seam` that begins before byte `join` and ends after it
// (marks that follow an occurrence ending at the join leave it there):
// sink(phrase index, offset in the seam, bytes covered), phrase by phrase,
// each by position, while the sink returns true. False when it stopped. The
// seam's ends are the text's or lie beyond any occurrence.
bool findAcross(TermMatcher& matcher, std::string_view seam, std::size_t join,
                const std::vector<std::string>& prepared, TermMatcher::ChunkSink sink) {
    return matcher.findInChunk(
        seam, prepared, [&](std::size_t k, std::size_t offset, std::size_t length) {
            if (offset >= join || offset + length <= join) return true;
            if (matcher.ignoresAccents() && endBeforeMarks(seam, offset, length) <= join)
                return true;
            return sink(k, offset, length);
        });
}

TermMatcher matcherFor(const MatchRules& rules) {
    return TermMatcher(rules.caseMode, rules.ignoreAccents, rules.wholeWords);
}

// What stands beside a piece of a text held whole: the text's ends are no word.
WordEdges edgesIn(std::string_view whole, std::string_view piece, bool skipMarks) {
    const std::size_t begin = static_cast<std::size_t>(piece.data() - whole.data());
    const auto known = [](WordSide s) { return s == WordSide::Unknown ? WordSide::NotWord : s; };
    return {known(wordSideBefore(whole, begin)),
            known(wordSideAfter(whole, begin + piece.size(), skipMarks))};
}

std::size_t searchExact(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                        const MatchRules& rules, SearchSink& sink) {
    TermMatcher matcher = matcherFor(rules);
    PageFinder pages(chunks);
    std::vector<std::string> prepared;
    prepared.reserve(static_cast<std::size_t>(phrases.size()));
    for (const QString& phrase : phrases) prepared.push_back(matcher.prepare(phrase));
    const SeamBounds bounds(prepared, matcher);
    // The seam after chunk `c`: the chunks lie one after the other in one
    // buffer, so the seam runs on over as many chunks as a long phrase needs.
    const std::string_view whole = chunks.utf8();
    const auto seamAfter = [&](std::size_t c, std::size_t& tailStart) {
        const std::string_view chunk = chunks.chunk(c);
        tailStart = bounds.tailStart(chunk);
        const std::string_view rest =
            whole.substr(static_cast<std::size_t>(chunks.chunk(c + 1).data() - whole.data()));
        return std::string_view(chunk.data() + tailStart,
                                chunk.size() - tailStart + bounds.headEnd(rest));
    };
    std::size_t found = 0;
    // False when the sink has enough.
    const auto report = [&](std::size_t phrase, std::size_t c, std::size_t offset, bool across,
                            std::size_t length) {
        std::size_t tailStart = 0;
        const std::string_view text = across ? seamAfter(c, tailStart) : chunks.chunk(c);
        const Snippet snippet = snippetAt(text, offset - tailStart);
        ++found;
        Hit hit{path,
                phrase,
                c,
                offset,
                snippet,
                pages.pageAt(c, offset),
                phrases[static_cast<qsizetype>(phrase)],
                length};
        hit.matched = text.substr(offset - tailStart, length);
        return sink.occurrence(hit) == SinkAnswer::More;
    };

    // Each chunk, then its seam with the next, is searched for all phrases
    // at once. The first phrase's rows come first, so they are reported as
    // they are found; the others' are kept until the whole text has been
    // searched.
    struct At {
        std::size_t chunk;
        std::size_t offset;
        bool across;
        std::size_t length;
    };
    std::vector<std::vector<At>> later(prepared.size());
    for (std::size_t c = 0; c < chunks.count(); ++c) {
        const std::string_view chunk = chunks.chunk(c);
        const bool more = matcher.findInChunk(
            chunk, prepared,
            [&](std::size_t k, std::size_t offset, std::size_t length) {
                if (k == 0) return report(0, c, offset, false, length);
                later[k].push_back({c, offset, false, length});
                return true;
            },
            edgesIn(whole, chunk, rules.ignoreAccents));
        if (!more) return found;
        if (c + 1 == chunks.count() || !bounds.any()) continue;
        std::size_t tailStart = 0;
        const std::string_view seam = seamAfter(c, tailStart);
        const bool moreAcross =
            findAcross(matcher, seam, chunk.size() - tailStart, prepared,
                       [&](std::size_t k, std::size_t offset, std::size_t length) {
                           if (k == 0) return report(0, c, tailStart + offset, true, length);
                           later[k].push_back({c, tailStart + offset, true, length});
                           return true;
                       });
        if (!moreAcross) return found;
    }
    for (std::size_t k = 1; k < later.size(); ++k)
        for (const At& h : later[k])
            if (!report(k, h.chunk, h.offset, h.across, h.length)) return found;
    return found;
}

// The seams of a text that comes chunk by chunk. A seam opens at the end of
// each chunk and is searched once the text after its join holds as much as
// the seam's head (or the text has ended): with phrases no longer than a
// chunk, at once with the head of the next chunk; with a longer phrase, over
// as many chunks as it takes, which then lie in `window_` one after the other.
class OpenSeams {
  public:
    explicit OpenSeams(const SeamBounds& bounds) : head_(bounds.head()) {}

    // Hands over the seam of each occurrence found: (chunk where it begins,
    // offset there, the seam, offset in the seam, page, bytes covered).
    using Report = FunctionRef<void(std::size_t, std::size_t, std::string_view, std::size_t,
                                    std::size_t, std::size_t)>;

    // The next chunk has come: the seams before it take what they need of it,
    // and those that have enough are searched.
    void take(std::string_view chunk, TermMatcher& matcher,
              const std::vector<std::string>& prepared, Report report) {
        if (open_.empty()) return;
        const std::size_t want = head_ - open_.back().after;  // the newest wants the most
        const std::size_t bytes = utf8::advanceCodePoints(chunk, 0, want);
        window_.append(chunk.substr(0, bytes));
        const std::size_t got = bytes < chunk.size() ? want : utf8::countCodePoints(chunk);
        for (Seam& s : open_) s.after += got;
        // A seam no longer than a chunk is searched now: the chunk was whole, or the text ends with
        // it (only the last chunk is short).
        const bool all = head_ <= kChunkLength;
        while (!open_.empty() && (all || open_.front().after >= head_))
            search(open_.front(), matcher, prepared, report);
    }

    // Chunk `index` has been searched: its seam opens; `page` is the page at its tail.
    void open(std::string_view chunk, std::size_t index, std::size_t tailStart, std::size_t page) {
        // An open seam has taken the whole chunk already.
        if (open_.empty()) window_.assign(chunk.substr(tailStart));
        const std::size_t at = window_.size() - (chunk.size() - tailStart);
        open_.push_back({index, tailStart, at, window_.size(), page, 0});
    }

    // The text has ended: the seams still open have all they will get.
    void finish(TermMatcher& matcher, const std::vector<std::string>& prepared, Report report) {
        while (!open_.empty()) search(open_.front(), matcher, prepared, report);
    }

  private:
    struct Seam {
        std::size_t chunk;      // the chunk that ends at the join
        std::size_t tailStart;  // where the seam begins in that chunk
        std::size_t at;         // ... and in the window
        std::size_t join;       // where that chunk ends in the window
        std::size_t page;       // the page at the seam's beginning
        std::size_t after;      // code points after the join in the window
    };

    // Searches the seam at the front and closes it.
    void search(const Seam s, TermMatcher& matcher, const std::vector<std::string>& prepared,
                Report report) {
        open_.pop_front();
        const std::size_t end =
            s.join + utf8::advanceCodePoints(std::string_view(window_).substr(s.join), 0, head_);
        const std::string_view seam = std::string_view(window_).substr(s.at, end - s.at);
        std::size_t page = s.page;
        std::size_t counted = 0;
        findAcross(matcher, seam, s.join - s.at, prepared,
                   [&](std::size_t, std::size_t offset, std::size_t length) {
                       page +=
                           countFormFeeds(std::string_view(seam).substr(counted, offset - counted));
                       counted = offset;
                       report(s.chunk, s.tailStart + offset, seam, offset, page, length);
                       return true;
                   });
        // What no open seam reaches any more goes.
        const std::size_t keep = open_.empty() ? window_.size() : open_.front().at;
        window_.erase(0, keep);
        for (Seam& o : open_) {
            o.at -= keep;
            o.join -= keep;
        }
    }

    std::size_t head_;  // code points a seam holds after its join
    std::string window_;
    std::deque<Seam> open_;
};

std::size_t searchExactChunks(const QString& path, const ChunkSource& text,
                              const QStringList& phrases, const MatchRules& rules,
                              SearchSink& sink) {
    TermMatcher matcher = matcherFor(rules);
    std::size_t found = 0;
    // A sink that only counts reads neither page nor snippet.
    const bool placed = !sink.countsOnly();
    // One chunk at a time, with the end of the ones before kept for the seams
    // between them, finds what the whole text would; phrase by phrase (the
    // text taken once for each) keeps the order of rows.
    try {
        for (qsizetype k = 0; k < phrases.size(); ++k) {
            const std::vector<std::string> prepared{matcher.prepare(phrases[k])};
            if (prepared[0].empty()) continue;
            const SeamBounds bounds(prepared, matcher);
            OpenSeams seams(bounds);
            std::size_t c = 0;
            std::size_t feedsBefore = 0;          // form feeds in the chunks before this one
            WordSide before = WordSide::NotWord;  // what ends the chunks before this one
            const auto emit = [&](std::size_t chunk, std::size_t offset, const Snippet& snippet,
                                  std::size_t page, std::size_t length, std::string_view matched) {
                ++found;
                Hit hit{
                    path,  static_cast<std::size_t>(k), chunk, offset, snippet, page, phrases[k],
                    length};
                hit.matched = matched;
                if (sink.occurrence(hit) == SinkAnswer::Enough) throw Enough{};
                return true;
            };
            const auto across = [&](std::size_t chunk, std::size_t offset, std::string_view seam,
                                    std::size_t at, std::size_t page, std::size_t length) {
                emit(chunk, offset, snippetAt(seam, at), page, length, seam.substr(at, length));
            };
            // With whole words, an occurrence that ends with its chunk waits for
            // the next chunk to tell what follows it.
            struct Waiting {
                std::size_t chunk, offset, page, length;
                std::string text;  // the snippet's, then the occurrence's own
                Snippet snippet;
            };
            std::optional<Waiting> waiting;
            const auto release = [&](WordSide after) {
                if (!waiting) return;
                Waiting w = std::move(*waiting);
                waiting.reset();
                w.snippet.text = std::string_view(w.text).substr(0, w.snippet.text.size());
                if (after != WordSide::Word)
                    emit(w.chunk, w.offset, w.snippet, w.page, w.length,
                         std::string_view(w.text).substr(w.snippet.text.size()));
            };
            text([&](std::string_view chunk) {
                release(wordSideAfter(chunk, 0, rules.ignoreAccents));
                if (bounds.any()) seams.take(chunk, matcher, prepared, across);
                // Offsets of one phrase come in order, so the form feeds
                // before each one are counted once.
                std::size_t counted = 0;
                std::size_t feeds = 0;
                const auto feedsUpTo = [&](std::size_t to) {
                    if (!placed) return std::size_t(0);
                    if (to < counted) return countFormFeeds(chunk.substr(0, to));
                    feeds += countFormFeeds(chunk.substr(counted, to - counted));
                    counted = to;
                    return feeds;
                };
                const WordEdges edges{before,
                                      rules.wholeWords ? WordSide::Unknown : WordSide::NotWord};
                matcher.findInChunk(
                    chunk, prepared,
                    [&](std::size_t, std::size_t offset, std::size_t length) {
                        const std::size_t page = 1 + feedsBefore + feedsUpTo(offset);
                        const Snippet snippet = placed ? snippetAt(chunk, offset) : Snippet();
                        if (rules.wholeWords && offset + length == chunk.size()) {
                            waiting = Waiting{
                                c,
                                offset,
                                page,
                                length,
                                std::string(snippet.text) + std::string(chunk.substr(offset)),
                                snippet};
                            return true;
                        }
                        return emit(c, offset, snippet, page, length, chunk.substr(offset, length));
                    },
                    edges);
                if (bounds.any()) {
                    const std::size_t tailStart = bounds.tailStart(chunk);
                    seams.open(chunk, c, tailStart, 1 + feedsBefore + feedsUpTo(tailStart));
                }
                feedsBefore += feedsUpTo(chunk.size());
                if (const WordSide last = wordSideBefore(chunk, chunk.size());
                    last != WordSide::Unknown)
                    before = last;
                ++c;
            });
            release(WordSide::NotWord);
            seams.finish(matcher, prepared, across);
        }
    } catch (const Enough&) {
    }
    return found;
}

}  // namespace

std::size_t searchText(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                       const MatchRules& rules, SearchSink& sink) {
    if (phrases.isEmpty()) return 0;
    if (rules.regex) return searchRegexText(path, chunks, phrases, rules, sink);
    return rules.loose ? searchLooseText(path, chunks, phrases, rules, sink)
                       : searchExact(path, chunks, phrases, rules, sink);
}

std::size_t searchText(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                       CaseMode caseMode, SearchSink& sink, bool loose) {
    return searchText(path, chunks, phrases, MatchRules{caseMode, loose}, sink);
}

std::size_t searchTextFile(const QString& path, const QString& textPath, const QStringList& phrases,
                           const MatchRules& rules, SearchSink& sink) {
    if (rules.regex) return searchRegexFile(path, textPath, phrases, rules, sink);
    if (rules.loose) return searchLooseFile(path, textPath, phrases, rules, sink);
    return searchExactChunks(
        path,
        [&textPath](const std::function<void(std::string_view)>& chunk) {
            forEachFileChunk(textPath, chunk);
        },
        phrases, rules, sink);
}

std::size_t searchTextFile(const QString& path, const QString& textPath, const QStringList& phrases,
                           CaseMode caseMode, SearchSink& sink, bool loose) {
    return searchTextFile(path, textPath, phrases, MatchRules{caseMode, loose}, sink);
}

std::size_t searchTextChunks(const QString& path, const ChunkSource& text,
                             const QStringList& phrases, const MatchRules& rules,
                             SearchSink& sink) {
    return searchExactChunks(path, text, phrases, rules, sink);
}

}  // namespace qm
