#pragma once
// Term matching: every occurrence of a phrase in a text held as chunks, each
// reported with a snippet of the text around it. Plain substring search on
// code points: no words, no wildcards, no normalising of blanks or line ends.
//
// Occurrences are found within one chunk only (one straddling two chunks is
// not found) and overlap freely: the next search starts one code point after
// the previous start. Ignoring case lowers every code point on its own, in the
// text and in the phrase; positions found in the lowered text are mapped back
// to the chunk, so snippets are always cut from the original text.

#include <QString>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "extraction/textreader.h"
#include "terms/searchoptions.h"

namespace qm {

class ResultsList;

inline constexpr std::size_t kSnippetLeadIn = 15;  // code points shown before a match
inline constexpr std::size_t kSnippetLength = 30;  // code points in a snippet
inline constexpr std::string_view kSnippetMarker = "...";

// The context of one occurrence: up to 30 code points of the chunk, starting
// 15 before the match (or at the chunk's start), with "..." in front when
// the match is at code point 16 or later, and "..." always behind.
struct Snippet {
    bool leadingMarker = false;
    std::string_view text;  // UTF-8, points into the chunk

    std::size_t appendTo(char* out) const;  // writes at most maxBytes(); returns bytes written
    static constexpr std::size_t maxBytes() { return kSnippetLength * 4 + 6; }
    std::string toUtf8() const;
    QString toString() const;
};

struct Occurrence {
    std::size_t chunk = 0;   // index of the chunk, from 0
    std::size_t offset = 0;  // byte offset of the match within the chunk
    Snippet snippet;
};

// The snippet for a match that starts at byte `offset` of `chunk`.
Snippet snippetAt(std::string_view chunk, std::size_t offset);

// The 1-based code point position of byte `offset` of `chunk`.
std::size_t positionInChunk(std::string_view chunk, std::size_t offset);

// Byte offset of the first occurrence of `needle` in `haystack` at or after
// `from`, or std::string_view::npos. `needle` must not be empty.
std::size_t findBytes(std::string_view haystack, std::string_view needle, std::size_t from);

// A non-owning reference to a callable; cheap to pass, never allocates.
template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
  public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
    FunctionRef(F&& f)  // NOLINT(google-explicit-constructor)
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
          call_([](void* o, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

  private:
    void* object_;
    R (*call_)(void*, Args...);
};

using OccurrenceSink = FunctionRef<void(const Occurrence&)>;

namespace detail {
// From `lowered` on, the lowered text lines up with the original from `original` on.
struct CaseShift {
    std::size_t lowered;
    std::size_t original;
};
}  // namespace detail

// Searches one text for any number of phrases. Built once per text (ignoring
// case, the lowered copy of the text is made here); after that the search
// functions are const and may run from several threads at once. The text must
// outlive the matcher.
class TermMatcher {
  public:
    TermMatcher(const TextChunks& text, CaseMode caseMode);

    // The bytes searched for a phrase (UTF-8, lowered when ignoring case).
    std::string prepare(const QString& phrase) const;

    // Every occurrence of a prepared phrase, chunk by chunk, by position.
    // An empty phrase finds nothing.
    void forEachOccurrence(std::string_view prepared, OccurrenceSink sink) const;
    void forEachOccurrenceInChunk(std::string_view prepared, std::size_t chunk,
                                  OccurrenceSink sink) const;
    void forEachOccurrence(const QString& phrase, OccurrenceSink sink) const {
        const std::string p = prepare(phrase);
        forEachOccurrence(std::string_view(p), sink);
    }

    std::size_t countOccurrences(const QString& phrase) const;
    const TextChunks& text() const { return text_; }
    CaseMode caseMode() const { return caseMode_; }

  private:
    std::size_t toOriginal(std::size_t loweredOffset) const;

    const TextChunks& text_;
    CaseMode caseMode_;
    std::string lowered_;                    // ignoring case: the whole text lowered
    std::vector<std::size_t> loweredStart_;  // chunk starts in lowered_, count()+1
    std::vector<detail::CaseShift> shifts_;  // where lowering changed a code point's byte length
};

// Lowers every code point of valid UTF-8 on its own; appends to `out`.
void lowerUtf8(std::string_view text, std::string& out);

// Searches the text of one file for every phrase of `options` (in order) and
// adds one row per occurrence to `results`: the path, then the snippet in column 2.
void SearchChunks(const QString& path, const TextChunks& chunks, const SearchOptions& options,
                  ResultsList& results);

}  // namespace qm
