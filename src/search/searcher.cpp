#include "search/searcher.h"

#include <algorithm>
#include <string>
#include <vector>

#include "search/loosesearch.h"
#include "search/matcher.h"
#include "search/pages.h"
#include "search/sink.h"

namespace qm {

namespace {

// Thrown out of a file's chunks when the sink has enough.
struct Enough {};

std::size_t searchExact(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                        CaseMode caseMode, SearchSink& sink) {
    TermMatcher matcher(caseMode);
    PageFinder pages(chunks);
    std::vector<std::string> prepared;
    prepared.reserve(static_cast<std::size_t>(phrases.size()));
    for (const QString& phrase : phrases) prepared.push_back(matcher.prepare(phrase));
    std::size_t found = 0;
    // False when the sink has enough.
    const auto report = [&](std::size_t phrase, std::size_t c, std::size_t offset) {
        const std::string_view chunk = chunks.chunk(c);
        const Snippet snippet = snippetAt(chunk, offset);
        const std::size_t length = caseMode == CaseMode::IgnoreCase
                                       ? originalLength(chunk, offset, prepared[phrase].size())
                                       : prepared[phrase].size();
        ++found;
        return sink.occurrence(Hit{path, phrase, c, offset, snippet, pages.pageAt(c, offset),
                                   phrases[static_cast<qsizetype>(phrase)], length}) ==
               SinkAnswer::More;
    };

    // Each chunk is searched for all phrases at once. The first phrase's rows
    // come first, so they are reported as they are found; the others' are
    // kept until the whole text has been searched.
    struct At {
        std::size_t chunk;
        std::size_t offset;
    };
    std::vector<std::vector<At>> later(prepared.size());
    for (std::size_t c = 0; c < chunks.count(); ++c) {
        const bool more =
            matcher.findInChunk(chunks.chunk(c), prepared, [&](std::size_t k, std::size_t offset) {
                if (k == 0) return report(0, c, offset);
                later[k].push_back({c, offset});
                return true;
            });
        if (!more) return found;
    }
    for (std::size_t k = 1; k < later.size(); ++k)
        for (const At& h : later[k])
            if (!report(k, h.chunk, h.offset)) return found;
    return found;
}

std::size_t searchExactChunks(const QString& path, const ChunkSource& text,
                              const QStringList& phrases, CaseMode caseMode, SearchSink& sink) {
    TermMatcher matcher(caseMode);
    std::size_t found = 0;
    // Occurrences never straddle two chunks, so one chunk at a time finds
    // what the whole text would; phrase by phrase (the text taken once for
    // each) keeps the order of rows.
    try {
        for (qsizetype k = 0; k < phrases.size(); ++k) {
            const std::vector<std::string> prepared{matcher.prepare(phrases[k])};
            if (prepared[0].empty()) continue;
            std::size_t c = 0;
            std::size_t feedsBefore = 0;  // form feeds in the chunks before this one
            text([&](std::string_view chunk) {
                // Offsets of one phrase come in order, so the form feeds
                // before each one are counted once.
                std::size_t counted = 0;
                std::size_t feeds = 0;
                matcher.findInChunk(chunk, prepared, [&](std::size_t, std::size_t offset) {
                    feeds += static_cast<std::size_t>(
                        std::count(chunk.begin() + static_cast<std::ptrdiff_t>(counted),
                                   chunk.begin() + static_cast<std::ptrdiff_t>(offset), '\f'));
                    counted = offset;
                    const Snippet snippet = snippetAt(chunk, offset);
                    const std::size_t length =
                        caseMode == CaseMode::IgnoreCase
                            ? originalLength(chunk, offset, prepared[0].size())
                            : prepared[0].size();
                    ++found;
                    if (sink.occurrence(Hit{path, static_cast<std::size_t>(k), c, offset, snippet,
                                            1 + feedsBefore + feeds, phrases[k], length}) ==
                        SinkAnswer::Enough)
                        throw Enough{};
                    return true;
                });
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
