#include "search/searcher.h"

#include <algorithm>
#include <string>
#include <vector>

#include "search/loosesearch.h"
#include "search/matcher.h"
#include "search/pages.h"
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
// the snippets that stop at its end.
struct SeamBounds {
    std::size_t longest = 0;  // code points of the longest phrase

    explicit SeamBounds(const std::vector<std::string>& prepared) {
        for (const std::string& p : prepared) longest = std::max(longest, utf8::countCodePoints(p));
    }
    bool any() const { return longest > 1; }
    // Where the seam begins in the chunk that ends at it.
    std::size_t tailStart(std::string_view chunk) const {
        return backCodePoints(chunk, chunk.size(), longest - 1 + kSnippetLeadIn);
    }
    // Where the seam ends in the chunk that begins at it.
    std::size_t headEnd(std::string_view chunk) const {
        return utf8::advanceCodePoints(chunk, 0, std::max(longest - 1, kSnippetLength));
    }
};

// Bytes of `text` from `offset` on that an occurrence of `prepared` covers.
std::size_t coveredBytes(std::string_view text, std::size_t offset, const std::string& prepared,
                         CaseMode caseMode) {
    return caseMode == CaseMode::IgnoreCase ? originalLength(text, offset, prepared.size())
                                            : prepared.size();
}

// Every occurrence in `seam` that begins before byte `join` and ends after it:
// sink(phrase index, offset in the seam, bytes covered), phrase by phrase,
// each by position, while the sink returns true. False when it stopped.
bool findAcross(TermMatcher& matcher, std::string_view seam, std::size_t join,
                const std::vector<std::string>& prepared,
                FunctionRef<bool(std::size_t, std::size_t, std::size_t)> sink) {
    return matcher.findInChunk(seam, prepared, [&](std::size_t k, std::size_t offset) {
        if (offset >= join) return true;
        const std::size_t length = coveredBytes(seam, offset, prepared[k], matcher.caseMode());
        return offset + length <= join || sink(k, offset, length);
    });
}

std::size_t searchExact(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                        CaseMode caseMode, SearchSink& sink) {
    TermMatcher matcher(caseMode);
    PageFinder pages(chunks);
    std::vector<std::string> prepared;
    prepared.reserve(static_cast<std::size_t>(phrases.size()));
    for (const QString& phrase : phrases) prepared.push_back(matcher.prepare(phrase));
    const SeamBounds bounds(prepared);
    // The seam after chunk `c`: the chunks lie one after the other in one buffer.
    const auto seamAfter = [&](std::size_t c, std::size_t& tailStart) {
        const std::string_view chunk = chunks.chunk(c);
        tailStart = bounds.tailStart(chunk);
        const std::string_view next = chunks.chunk(c + 1);
        return std::string_view(chunk.data() + tailStart,
                                chunk.size() - tailStart + bounds.headEnd(next));
    };
    std::size_t found = 0;
    // False when the sink has enough.
    const auto report = [&](std::size_t phrase, std::size_t c, std::size_t offset, bool across) {
        std::size_t tailStart = 0;
        const std::string_view text = across ? seamAfter(c, tailStart) : chunks.chunk(c);
        const Snippet snippet = snippetAt(text, offset - tailStart);
        const std::size_t length =
            coveredBytes(text, offset - tailStart, prepared[phrase], caseMode);
        ++found;
        return sink.occurrence(Hit{path, phrase, c, offset, snippet, pages.pageAt(c, offset),
                                   phrases[static_cast<qsizetype>(phrase)], length}) ==
               SinkAnswer::More;
    };

    // Each chunk, then its seam with the next, is searched for all phrases
    // at once. The first phrase's rows come first, so they are reported as
    // they are found; the others' are kept until the whole text has been
    // searched.
    struct At {
        std::size_t chunk;
        std::size_t offset;
        bool across;
    };
    std::vector<std::vector<At>> later(prepared.size());
    for (std::size_t c = 0; c < chunks.count(); ++c) {
        const bool more =
            matcher.findInChunk(chunks.chunk(c), prepared, [&](std::size_t k, std::size_t offset) {
                if (k == 0) return report(0, c, offset, false);
                later[k].push_back({c, offset, false});
                return true;
            });
        if (!more) return found;
        if (c + 1 == chunks.count() || !bounds.any()) continue;
        std::size_t tailStart = 0;
        const std::string_view seam = seamAfter(c, tailStart);
        const bool moreAcross =
            findAcross(matcher, seam, chunks.chunk(c).size() - tailStart, prepared,
                       [&](std::size_t k, std::size_t offset, std::size_t) {
                           if (k == 0) return report(0, c, tailStart + offset, true);
                           later[k].push_back({c, tailStart + offset, true});
                           return true;
                       });
        if (!moreAcross) return found;
    }
    for (std::size_t k = 1; k < later.size(); ++k)
        for (const At& h : later[k])
            if (!report(k, h.chunk, h.offset, h.across)) return found;
    return found;
}

std::size_t searchExactChunks(const QString& path, const ChunkSource& text,
                              const QStringList& phrases, CaseMode caseMode, SearchSink& sink) {
    TermMatcher matcher(caseMode);
    std::size_t found = 0;
    // One chunk at a time, with the end of the one before kept for the seam
    // between them, finds what the whole text would; phrase by phrase (the
    // text taken once for each) keeps the order of rows.
    try {
        for (qsizetype k = 0; k < phrases.size(); ++k) {
            const std::vector<std::string> prepared{matcher.prepare(phrases[k])};
            if (prepared[0].empty()) continue;
            const SeamBounds bounds(prepared);
            std::size_t c = 0;
            std::size_t feedsBefore = 0;  // form feeds in the chunks before this one
            std::string seam;             // the end of the chunk before, then the seam
            std::size_t tailStart = 0;    // where that end begins in its chunk
            std::size_t tailPage = 1;     // the page there
            const auto emit = [&](std::size_t chunk, std::size_t offset, const Snippet& snippet,
                                  std::size_t page, std::size_t length) {
                ++found;
                if (sink.occurrence(Hit{path, static_cast<std::size_t>(k), chunk, offset, snippet,
                                        page, phrases[k], length}) == SinkAnswer::Enough)
                    throw Enough{};
                return true;
            };
            text([&](std::string_view chunk) {
                if (c > 0 && bounds.any()) {
                    const std::size_t join = seam.size();
                    seam.append(chunk.substr(0, bounds.headEnd(chunk)));
                    std::size_t counted = 0;
                    findAcross(matcher, seam, join, prepared,
                               [&](std::size_t, std::size_t offset, std::size_t length) {
                                   tailPage += static_cast<std::size_t>(std::count(
                                       seam.begin() + static_cast<std::ptrdiff_t>(counted),
                                       seam.begin() + static_cast<std::ptrdiff_t>(offset), '\f'));
                                   counted = offset;
                                   return emit(c - 1, tailStart + offset, snippetAt(seam, offset),
                                               tailPage, length);
                               });
                }
                // Offsets of one phrase come in order, so the form feeds
                // before each one are counted once.
                std::size_t counted = 0;
                std::size_t feeds = 0;
                matcher.findInChunk(chunk, prepared, [&](std::size_t, std::size_t offset) {
                    feeds += static_cast<std::size_t>(
                        std::count(chunk.begin() + static_cast<std::ptrdiff_t>(counted),
                                   chunk.begin() + static_cast<std::ptrdiff_t>(offset), '\f'));
                    counted = offset;
                    return emit(c, offset, snippetAt(chunk, offset), 1 + feedsBefore + feeds,
                                coveredBytes(chunk, offset, prepared[0], caseMode));
                });
                if (bounds.any()) {
                    tailStart = bounds.tailStart(chunk);
                    seam.assign(chunk.substr(tailStart));
                    tailPage = 1 + feedsBefore +
                               static_cast<std::size_t>(std::count(
                                   chunk.begin(),
                                   chunk.begin() + static_cast<std::ptrdiff_t>(tailStart), '\f'));
                }
                feedsBefore +=
                    static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\f'));
                ++c;
            });
        }
    } catch (const Enough&) {
    }
    return found;
}

}  // namespace

std::size_t searchText(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                       CaseMode caseMode, SearchSink& sink, bool loose) {
    if (phrases.isEmpty()) return 0;
    return loose ? searchLooseText(path, chunks, phrases, caseMode, sink)
                 : searchExact(path, chunks, phrases, caseMode, sink);
}

std::size_t searchTextFile(const QString& path, const QString& textPath, const QStringList& phrases,
                           CaseMode caseMode, SearchSink& sink, bool loose) {
    if (loose) return searchLooseFile(path, textPath, phrases, caseMode, sink);
    return searchExactChunks(
        path,
        [&textPath](const std::function<void(std::string_view)>& chunk) {
            forEachFileChunk(textPath, chunk);
        },
        phrases, caseMode, sink);
}

std::size_t searchTextChunks(const QString& path, const ChunkSource& text,
                             const QStringList& phrases, CaseMode caseMode, SearchSink& sink) {
    return searchExactChunks(path, text, phrases, caseMode, sink);
}

}  // namespace qm
