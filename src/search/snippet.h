#pragma once
// The snippet of an occurrence: the text around it, cut from the chunk where
// it begins, as a row shows it.

#include <QString>
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace qm {

inline constexpr std::size_t kSnippetLeadIn = 15;  // code points shown before a match
inline constexpr std::size_t kSnippetLength = 30;  // code points in a snippet
inline constexpr std::string_view kSnippetMarker = "...";

// The context of one occurrence: up to 30 code points of the chunk, starting
// 15 before the match (or at the chunk's start), with "..." in front when
// the match is at code point 16 or later, and "..." always behind.
struct Snippet {
    bool leadingMarker = false;
    std::string_view text;     // UTF-8, points into the chunk
    std::size_t matchAt = 0;   // byte of `text` where the occurrence begins
    std::string_view source;   // the chunk it was cut from
    std::size_t sourceAt = 0;  // byte of `source` where the occurrence begins

    // Writes text.size() + 6 bytes at most; returns the bytes written.
    std::size_t appendTo(char* out) const;
    std::string toUtf8() const;
    QString toString() const;
    // The bytes [first, second) of `text` that an occurrence of `length` bytes
    // covers, as far as the snippet shows it.
    std::pair<std::size_t, std::size_t> matchBytes(std::size_t length) const {
        const std::size_t a = std::min(matchAt, text.size());
        return {a, std::min(a + length, text.size())};
    }
};

// A longer stretch of the text around an occurrence: up to `around` code
// points of the chunk on each side of its `length` bytes.
struct Context {
    std::string_view before, match, after;
};
Context contextOf(const Snippet& snippet, std::size_t length, std::size_t around);

// The snippet for a match that starts at byte `offset` of `chunk`.
Snippet snippetAt(std::string_view chunk, std::size_t offset);

// The 1-based code point position of byte `offset` of `chunk`.
std::size_t positionInChunk(std::string_view chunk, std::size_t offset);

}  // namespace qm
