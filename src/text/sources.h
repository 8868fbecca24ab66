#pragma once
// The texts of a PDF a search may read: its pages (always, unless left out
// on request) and, on request, the texts a reader shows beside them.

#include <cstdint>

namespace qm {

enum class TextSource : std::uint8_t {
    Pages = 1,        // the text of the pages (pdftotext)
    Comments = 2,     // annotations' contents: notes, pop-up notes, free text
    Forms = 4,        // form fields' values
    Bookmarks = 8,    // the outline's titles
    Properties = 16,  // the document information and its XMP metadata
    Attachments = 32  // attached files, searched as what they are
};

// A set of sources: the sum of their bits.
using TextSources = std::uint8_t;

inline constexpr TextSources kPageText = static_cast<TextSources>(TextSource::Pages);
inline constexpr TextSources kEveryText = 63;

constexpr bool has(TextSources set, TextSource source) {
    return (set & static_cast<TextSources>(source)) != 0;
}
// True when the set asks for more than the pages.
constexpr bool beyondPages(TextSources set) {
    return (set & ~kPageText & kEveryText) != 0;
}

}  // namespace qm
