#pragma once
// The page of a place in a text: 1 + the form feeds before it (the extractor
// writes one after each page).

#include <cstddef>
#include <string_view>
#include <vector>

#include "text/textfile.h"

namespace qm {

// The form feeds in `bytes` (they are rare: one a page).
std::size_t countFormFeeds(std::string_view bytes);

// The form feeds are found as far as the questions reach (a stretch at a
// time), so a text without occurrences costs nothing, one whose search stops
// early only its beginning, and each occurrence a binary search.
class PageFinder {
  public:
    explicit PageFinder(const TextChunks& text) : text_(text) {}
    // The page of byte `offset` of chunk `chunk`.
    std::size_t pageAt(std::size_t chunk, std::size_t offset);
    // The page of byte `offset` of the whole text.
    std::size_t pageAtByte(std::size_t offset);

  private:
    const TextChunks& text_;
    std::size_t scanned_ = 0;             // bytes of the text whose form feeds are known
    std::vector<std::size_t> formFeeds_;  // byte offsets in the whole text
};

}  // namespace qm
