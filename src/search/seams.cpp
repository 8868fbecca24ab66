// The seams between a text's chunks (seams.h).
#include "search/seams.h"

#include "search/fold.h"
#include "search/pages.h"

namespace qm {

std::size_t backCodePoints(std::string_view text, std::size_t from, std::size_t count) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    for (; count > 0 && from > 0; --count) {
        --from;
        while (from > 0 && utf8::isContinuation(s[from])) --from;
    }
    return from;
}

namespace {

// Where an occurrence of `length` bytes at `offset` ends without the combining
// marks at its end (they are part of it when accents are ignored).
std::size_t endBeforeMarks(std::string_view text, std::size_t offset, std::size_t length) {
    std::size_t end = offset + length;
    while (end > offset) {
        const std::size_t start = backCodePoints(text, end, 1);
        std::size_t len = end - start;
        const char32_t c =
            utf8::decode(reinterpret_cast<const unsigned char*>(text.data()) + start, len);
        if (!isCombiningMark(c)) break;
        end = start;
    }
    return end;
}

}  // namespace

bool findAcross(TermMatcher& matcher, std::string_view seam, std::size_t join,
                const std::vector<std::string>& prepared, TermMatcher::ChunkSink sink) {
    return matcher.findInChunk(
        seam, prepared, [&](std::size_t k, std::size_t offset, std::size_t length) {
            if (offset >= join || offset + length <= join) return true;
            if (matcher.ignoresAccents() && endBeforeMarks(seam, offset, length) <= join)
                return true;
            return sink(k, offset, length);
        });
}

void OpenSeams::take(std::string_view chunk, TermMatcher& matcher,
                     const std::vector<std::string>& prepared, Report report) {
    if (open_.empty()) return;
    const std::size_t want = head_ - open_.back().after;  // the newest wants the most
    const std::size_t bytes = utf8::advanceCodePoints(chunk, 0, want);
    window_.append(chunk.substr(0, bytes));
    const std::size_t got = bytes < chunk.size() ? want : utf8::countCodePoints(chunk);
    for (Seam& s : open_) s.after += got;
    // A seam no longer than a chunk is searched now: the chunk was whole, or the text ends with
    // it (only the last chunk is short).
    const bool all = head_ <= kChunkLength;
    while (!open_.empty() && (all || open_.front().after >= head_))
        search(open_.front(), matcher, prepared, report);
}

void OpenSeams::open(std::string_view chunk, std::size_t index, std::size_t tailStart,
                     std::size_t page) {
    // An open seam has taken the whole chunk already.
    if (open_.empty()) window_.assign(chunk.substr(tailStart));
    const std::size_t at = window_.size() - (chunk.size() - tailStart);
    open_.push_back({index, tailStart, at, window_.size(), page, 0});
}

void OpenSeams::search(const Seam s, TermMatcher& matcher, const std::vector<std::string>& prepared,
                       Report report) {
    open_.pop_front();
    const std::size_t end =
        s.join + utf8::advanceCodePoints(std::string_view(window_).substr(s.join), 0, head_);
    const std::string_view seam = std::string_view(window_).substr(s.at, end - s.at);
    std::size_t page = s.page;
    std::size_t counted = 0;
    findAcross(matcher, seam, s.join - s.at, prepared,
               [&](std::size_t, std::size_t offset, std::size_t length) {
                   page += countFormFeeds(std::string_view(seam).substr(counted, offset - counted));
                   counted = offset;
                   report(s.chunk, s.tailStart + offset, seam, offset, page, length);
                   return true;
               });
    // What no open seam reaches any more goes.
    const std::size_t keep = open_.empty() ? window_.size() : open_.front().at;
    window_.erase(0, keep);
    for (Seam& o : open_) {
        o.at -= keep;
        o.join -= keep;
    }
}

}  // namespace qm
