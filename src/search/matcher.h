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

#include "terms/searchoptions.h"
#include "text/textfile.h"

namespace qm {

class SearchSink;

inline constexpr std::size_t kSnippetLeadIn = 15;  // code points shown before a match
inline constexpr std::size_t kSnippetLength = 30;  // code points in a snippet
inline constexpr std::string_view kSnippetMarker = "...";

// The context of one occurrence: up to 30 code points of the chunk, starting
// 15 before the match (or at the chunk's start), with "..." in front when
// the match is at code point 16 or later, and "..." always behind.
struct Snippet {
    bool leadingMarker = false;
    std::string_view text;    // UTF-8, points into the chunk
    std::size_t matchAt = 0;  // byte of `text` where the occurrence begins

    // Writes text.size() + 6 bytes at most; returns the bytes written.
    std::size_t appendTo(char* out) const;
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
    // position. Empty phrases find nothing.
    void findInChunk(std::string_view chunk, const std::vector<std::string>& prepared,
                     FunctionRef<void(std::size_t, std::size_t)> sink);

    // Every occurrence of one phrase in a text, chunk by chunk, with its snippet.
    void forEachOccurrence(const TextChunks& text, const QString& phrase, OccurrenceSink sink);
    std::size_t countOccurrences(const TextChunks& text, const QString& phrase);

    CaseMode caseMode() const { return caseMode_; }

  private:
    std::size_t toOriginal(std::size_t loweredOffset) const;

    CaseMode caseMode_;
    std::string lowered_;                    // the current chunk, lowered
    std::vector<detail::CaseShift> shifts_;  // where lowering changed a byte length
};

// Lowers every code point of valid UTF-8 on its own; appends to `out`.
void lowerUtf8(std::string_view text, std::string& out);

// The page of a place in a text: 1 + the form feeds before it (the extractor
// writes one after each page). The form feeds are found once, on the first
// question, so a text without occurrences costs nothing and each occurrence a
// binary search.
class PageFinder {
  public:
    explicit PageFinder(const TextChunks& text) : text_(text) {}
    // The page of byte `offset` of chunk `chunk`.
    std::size_t pageAt(std::size_t chunk, std::size_t offset);
    // The page of byte `offset` of the whole text.
    std::size_t pageAtByte(std::size_t offset);

  private:
    const TextChunks& text_;
    bool scanned_ = false;
    std::vector<std::size_t> formFeeds_;  // byte offsets in the whole text
};

// Searches the text of one file for every phrase (in order) and reports each
// occurrence to `sink`; returns the number reported. beginFile/endFile are the
// caller's to send.
// With `loose`, the line-break-tolerant search of search/loose.h.
std::size_t searchText(const QString& path, const TextChunks& chunks, const QStringList& phrases,
                       CaseMode caseMode, SearchSink& sink, bool loose = false);

// The same, reading the text file `textPath` chunk by chunk (forEachFileChunk):
// the same occurrences in the same order, in memory bounded by a chunk
// whatever the text's size. With several phrases the file is read once per
// phrase. Throws qm::Error when the file cannot be read.
std::size_t searchTextFile(const QString& path, const QString& textPath, const QStringList& phrases,
                           CaseMode caseMode, SearchSink& sink);

}  // namespace qm
