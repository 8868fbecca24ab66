#pragma once
// The seams between the chunks of a text: where an occurrence that begins in
// one chunk and ends in the next is found. Seen only by the searcher.

#include <algorithm>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "search/functionref.h"
#include "search/matcher.h"
#include "search/snippet.h"
#include "text/textfile.h"
#include "text/utf8.h"

namespace qm {

// Byte offset `count` code points before `from` in valid UTF-8, or 0.
std::size_t backCodePoints(std::string_view text, std::size_t from, std::size_t count);

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

// Every occurrence in `seam` that begins before byte `join` and ends after it
// (marks that follow an occurrence ending at the join leave it there):
// sink(phrase index, offset in the seam, bytes covered), phrase by phrase,
// each by position, while the sink returns true. False when it stopped. The
// seam's ends are the text's or lie beyond any occurrence.
bool findAcross(TermMatcher& matcher, std::string_view seam, std::size_t join,
                const std::vector<std::string>& prepared, TermMatcher::ChunkSink sink);

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
              const std::vector<std::string>& prepared, Report report);
    // Chunk `index` has been searched: its seam opens; `page` is the page at its tail.
    void open(std::string_view chunk, std::size_t index, std::size_t tailStart, std::size_t page);
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
                Report report);

    std::size_t head_;  // code points a seam holds after its join
    std::string window_;
    std::deque<Seam> open_;
};

}  // namespace qm
