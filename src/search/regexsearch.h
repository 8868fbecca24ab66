#pragma once
// The search for Perl-compatible patterns (PCRE2 in UTF mode, compiled to
// machine code where it can be): every pattern is matched page by page (a
// match never runs over a form feed), each match from where the one before
// it ended; a match of nothing is no occurrence. Ignoring case matches
// caselessly; ignoring accents matches a text without them (the pattern's
// own letters lose theirs too); whole words allow no word character right
// before or after a match.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>

#include "terms/searchoptions.h"
#include "text/textfile.h"

namespace qm {

class SearchSink;

// A pattern that does not compile: PCRE2's message and the character of the
// pattern (from 1) where it stopped.
struct PatternFault {
    QString pattern;
    QString message;
    std::size_t character = 0;
};

// The first of `patterns` that does not compile, if any.
std::optional<PatternFault> checkPatterns(const QStringList& patterns, const MatchRules& rules);

// Thrown when a pattern meets PCRE2's match, depth or heap limit on a page:
// it backtracks without end there. The rows found before stay reported.
struct PatternTooComplex {
    std::size_t found = 0;  // occurrences reported before
};

std::size_t searchRegexText(const QString& path, const TextChunks& chunks,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink);

// The text file read chunk by chunk, a page at a time held.
std::size_t searchRegexFile(const QString& path, const QString& textPath,
                            const QStringList& phrases, const MatchRules& rules, SearchSink& sink);

}  // namespace qm
