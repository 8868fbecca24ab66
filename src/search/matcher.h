#pragma once
// Term matching: every occurrence of a phrase in a chunk of text. Plain
// substring search on code points: no words, no wildcards, no normalising of
// blanks or line ends.
//
// The matcher searches the text it is given; the searcher (search/searcher.h)
// also searches the seams between chunks. Occurrences overlap freely: the
// next search starts one code point after the previous start. Ignoring case lowers every code point
// on its own, in the text and in the phrase; positions found in the lowered text are mapped back to
// the chunk, so snippets are always cut from the original text.

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "search/functionref.h"
#include "search/snippet.h"
#include "terms/searchoptions.h"
#include "text/textfile.h"

namespace qm {

struct Occurrence {
    std::size_t chunk = 0;   // index of the chunk, from 0
    std::size_t offset = 0;  // byte offset of the match within the chunk
    Snippet snippet;
};

// Byte offset of the first occurrence of `needle` in `haystack` at or after
// `from`, or std::string_view::npos. `needle` must not be empty.
std::size_t findBytes(std::string_view haystack, std::string_view needle, std::size_t from);

// Lowers every code point of valid UTF-8 on its own; appends to `out`.
void lowerUtf8(std::string_view text, std::string& out);

// Bytes of `chunk` from `offset` on whose lowered form is `loweredLength` bytes long.
std::size_t originalLength(std::string_view chunk, std::size_t offset, std::size_t loweredLength);

using OccurrenceSink = FunctionRef<void(const Occurrence&)>;

namespace detail {
// From `lowered` on, the lowered text lines up with the original from `original` on.
struct CaseShift {
    std::size_t lowered;
    std::size_t original;
};
}  // namespace detail

// Finds phrases in chunks of text. Ignoring case, each chunk is lowered once
// into a buffer the matcher keeps and reuses, then searched for every phrase
// while it is still in the cache. A matcher holds that buffer, so each thread
// needs its own.
class TermMatcher {
  public:
    explicit TermMatcher(CaseMode caseMode) : caseMode_(caseMode) {}

    // The bytes searched for a phrase (UTF-8, lowered when ignoring case).
    std::string prepare(const QString& phrase) const;

    // Every occurrence in `chunk` of each prepared phrase: sink(phrase index,
    // byte offset in the chunk), phrase by phrase in list order, each by
    // position, while the sink returns true. Empty phrases find nothing.
    // False when the sink stopped the search.
    bool findInChunk(std::string_view chunk, const std::vector<std::string>& prepared,
                     FunctionRef<bool(std::size_t, std::size_t)> sink);

    // Every occurrence of one phrase inside the chunks of a text (none across
    // two), chunk by chunk, with its snippet.
    void forEachOccurrence(const TextChunks& text, const QString& phrase, OccurrenceSink sink);
    std::size_t countOccurrences(const TextChunks& text, const QString& phrase);

    CaseMode caseMode() const { return caseMode_; }

  private:
    std::size_t toOriginal(std::size_t loweredOffset) const;

    CaseMode caseMode_;
    std::string lowered_;                    // the current chunk, lowered
    std::vector<detail::CaseShift> shifts_;  // where lowering changed a byte length
};

}  // namespace qm
