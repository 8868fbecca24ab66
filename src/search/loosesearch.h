#pragma once
// The line-break-tolerant search of a file's text (search/loose.h), for the
// searcher: a text held in memory, and a text read from its file.

#include <QString>
#include <QStringList>
#include <cstddef>

#include "terms/searchoptions.h"
#include "text/textfile.h"

namespace qm {

class SearchSink;

// The whole text brought to the normal form at once.
std::size_t searchLooseText(const QString& path, const TextChunks& chunks,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink);

// The text file read chunk by chunk: each chunk is searched together with the
// chunks after it that an occurrence beginning in it may reach (the next one,
// unless the phrase or a run of white space is longer than a chunk).
std::size_t searchLooseFile(const QString& path, const QString& textPath,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink);

}  // namespace qm
