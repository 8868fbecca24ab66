#include "search/searcher.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "search/loosesearch.h"
#include "search/matcher.h"
#include "search/pages.h"
#include "search/regexsearch.h"
#include "search/seams.h"
#include "search/sink.h"
#include "text/utf8.h"

namespace qm {

namespace {

// Thrown out of a file's chunks when the sink has enough.
struct Enough {};

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
