#pragma once
// The search of one file's text: every occurrence of each phrase, in the
// order rows are shown (phrase by phrase, each by position), each with its
// chunk, snippet and page, handed to a sink until it has enough. An
// occurrence is found wherever it starts, also when it runs on into the next
// chunk, or over several chunks (a phrase longer than a chunk).

#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <string_view>

#include "terms/searchoptions.h"
#include "text/textfile.h"

namespace qm {

class SearchSink;

// Searches the text of one file for every phrase (in order) and reports each
// occurrence to `sink`, stopping at once when the sink has enough; returns the
// number reported. beginFile/endFile are the caller's to send.
// With `loose`, the line-break-tolerant search of search/loose.h; with
// `regex`, the patterns of search/regexsearch.h (page by page).
std::size_t searchText(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                       const MatchRules& rules, SearchSink& sink);
std::size_t searchText(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                       CaseMode caseMode, SearchSink& sink, bool loose = false);

// The same, reading the text file `textPath` chunk by chunk (forEachFileChunk):
// the same occurrences in the same order, in memory bounded by a few chunks
// whatever the text's size. With several phrases the file is read once per
// phrase. An occurrence that runs over several chunks is found too: the end
// of its first chunk is kept with the chunks after it until the phrase fits.
// Throws qm::Error when the file cannot be read.
std::size_t searchTextFile(const QString& path, const QString& textPath, const QStringList& phrases,
                           const MatchRules& rules, SearchSink& sink);
std::size_t searchTextFile(const QString& path, const QString& textPath, const QStringList& phrases,
                           CaseMode caseMode, SearchSink& sink, bool loose = false);

// Hands a text's chunks to its argument one at a time, in order (as
// forEachFileChunk does); an exception thrown by the argument ends it.
using ChunkSource = std::function<void(const std::function<void(std::string_view)>&)>;

// The same as searchTextFile, the chunks coming from `text`: the exact search
// takes no more of them than it needs. Throws what `text` throws. Neither
// loose nor a pattern (their searches take the text whole).
std::size_t searchTextChunks(const QString& path, const ChunkSource& text,
                             const QStringList& phrases, const MatchRules& rules, SearchSink& sink);

}  // namespace qm
