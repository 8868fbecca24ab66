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

#include "search/fold.h"
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

// The same for one needle looked for again and again: the places of its two
// rarest bytes, by which candidates are found, are worked out once.
class ByteFinder {
  public:
    explicit ByteFinder(std::string_view needle);
    std::size_t find(std::string_view haystack, std::size_t from) const;

    // The offsets of the needle's rarest byte and of the next.
    struct Anchors {
        std::size_t a = 0, b = 0;
    };

  private:
    std::string_view needle_;
    Anchors anchors_;
};

// Lowers every code point of valid UTF-8 on its own; appends to `out`.
void lowerUtf8(std::string_view text, std::string& out);

using OccurrenceSink = FunctionRef<void(const Occurrence&)>;

namespace detail {
// From `lowered` on, the lowered text lines up with the original from `original` on.
struct CaseShift {
    std::size_t lowered;
    std::size_t original;
};
}  // namespace detail

// A text folded as the matcher folds it (lowered, without accents), with the
// way back to the original's bytes.
class FoldedText {
  public:
    void fold(std::string_view text, bool lower, bool strip);
    std::string_view text() const { return {buffer_.data(), size_}; }
    // The original byte where the folded byte `n` comes from.
    std::size_t toOriginal(std::size_t n) const;

  private:
    std::string buffer_;
    std::size_t size_ = 0;
    std::vector<detail::CaseShift> shifts_;
};

// Finds phrases in chunks of text. Ignoring case, each chunk is lowered once
// into a buffer the matcher keeps and reuses, then searched for every phrase
// while it is still in the cache. A matcher holds that buffer, so each thread
// needs its own.
// What lies beyond the ends of a chunk, for whole words: an occurrence at an
// edge whose side is Unknown is reported, the caller deciding.
struct WordEdges {
    WordSide before = WordSide::NotWord;
    WordSide after = WordSide::NotWord;
};

class TermMatcher {
  public:
    // Ignoring accents, the text and the phrases are compared without them
    // (search/fold.h); with whole words, an occurrence counts only with no word
    // character right before or after it.
    explicit TermMatcher(CaseMode caseMode, bool ignoreAccents = false, bool wholeWords = false)
        : caseMode_(caseMode),
          lower_(caseMode == CaseMode::IgnoreCase),
          strip_(ignoreAccents),
          words_(wholeWords) {}

    // The bytes searched for a phrase (UTF-8, lowered when ignoring case,
    // without accents when ignoring them).
    std::string prepare(const QString& phrase) const;

    // sink(phrase index, byte offset in the chunk, bytes of the chunk covered).
    using ChunkSink = FunctionRef<bool(std::size_t, std::size_t, std::size_t)>;

    // Every occurrence in `chunk` of each prepared phrase, phrase by phrase in
    // list order, each by position, while the sink returns true. Empty phrases
    // find nothing. False when the sink stopped the search.
    bool findInChunk(std::string_view chunk, const std::vector<std::string>& prepared,
                     ChunkSink sink, WordEdges edges = {});

    // Every occurrence of one phrase inside the chunks of a text (none across
    // two), chunk by chunk, with its snippet.
    void forEachOccurrence(const TextChunks& text, const QString& phrase, OccurrenceSink sink);
    std::size_t countOccurrences(const TextChunks& text, const QString& phrase);

    CaseMode caseMode() const { return caseMode_; }

    bool wholeWords() const { return words_; }
    bool ignoresAccents() const { return strip_; }

  private:
    bool folds() const { return lower_ || strip_; }
    std::size_t toOriginal(std::size_t loweredOffset) const;
    bool standsAlone(std::string_view text, std::size_t begin, std::size_t end,
                     WordEdges edges) const;

    CaseMode caseMode_;
    bool lower_;
    bool strip_;
    bool words_;
    std::string lowered_;                    // the current chunk, lowered
    std::vector<detail::CaseShift> shifts_;  // where lowering changed a byte length
};

}  // namespace qm
